// The input area of the command set: the edit-field commands that the
// key-binding files bind, the mouse-button commands, the keyboard and mouse
// variables and the binding commands Bind, ShowBindings and RemoveBonds.
#include <strings.h>

#include <cctype>
#include <cstdio>
#include <string>

#include "app/InputManager.h"
#include "console/CommandInterpreter.h"
#include "console/CommandTable.h"
#include "console/Console.h"

extern CInputManager* g_pInputManager;

namespace {

CInputManager* Input() {
    return g_pInputManager;
}

void Print(CConsoleCommand* record, const char* text) {
    record->GetInterpreter()->Print(text);
}

#define EDIT_COMMAND(Name, Call)                            \
    void Name(CConsoleCommand*, SCommandArgs*, CVFSFile*) { \
        if (CInputManager* m = Input()) m->Edit().Call();   \
    }
EDIT_COMMAND(Cmd_EraseChar, Backspace)
EDIT_COMMAND(Cmd_DeleteChar, Delete)
EDIT_COMMAND(Cmd_EraseWord, DeleteWordLeft)
EDIT_COMMAND(Cmd_DeleteWord, DeleteWordRight)
EDIT_COMMAND(Cmd_MoveLeft, CursorLeft)
EDIT_COMMAND(Cmd_MoveRight, CursorRight)
EDIT_COMMAND(Cmd_MoveWordLeft, WordLeft)
EDIT_COMMAND(Cmd_MoveWordRight, WordRight)
EDIT_COMMAND(Cmd_MoveHome, Home)
EDIT_COMMAND(Cmd_MoveEnd, End)
EDIT_COMMAND(Cmd_SelectLeft, SelectLeft)
EDIT_COMMAND(Cmd_SelectRight, SelectRight)
EDIT_COMMAND(Cmd_SelectWordLeft, SelectWordLeft)
EDIT_COMMAND(Cmd_SelectWordRight, SelectWordRight)
EDIT_COMMAND(Cmd_SelectHome, SelectHome)
EDIT_COMMAND(Cmd_SelectEnd, SelectEnd)
EDIT_COMMAND(Cmd_Copy, Copy)
EDIT_COMMAND(Cmd_Paste, Paste)
EDIT_COMMAND(Cmd_Cut, Cut)
EDIT_COMMAND(Cmd_HistoryNext, HistoryNewer)
EDIT_COMMAND(Cmd_HistoryPrev, HistoryOlder)
#undef EDIT_COMMAND

void Cmd_AddChar(CConsoleCommand*, SCommandArgs* args, CVFSFile*) {
    const char* text = args->Text(0);
    if (CInputManager* m = Input(); m && text && *text) m->Edit().InsertChar(text[0]);
}

// Edit_Insert and Edit_DisplayControlCodes: show the cursor at once.
void Cmd_CursorRestart(CConsoleCommand*, SCommandArgs*, CVFSFile*) {
    if (CInputManager* m = Input())
        if (CConsole* console = m->Host()->Console()) console->ResetBlink();
}

// A bool argument is true when it starts with the digit 1, or is the word
// true: the constant true reaches a handler as its value "true", which the
// bindings write as m_SetLB(true).
bool ArgBool(SCommandArgs* args, bool* value) {
    const char* text = args->Text(0);
    if (!text) return false;
    *value = text[0] == '1' || strcasecmp(text, "true") == 0;
    return true;
}

bool FullConsoleOpen(CInputManager* m) {
    CConsole* console = m->Host()->Console();
    return console && console->IsVisible() && !console->m_mini;
}

void Cmd_SetLB(CConsoleCommand*, SCommandArgs* args, CVFSFile*) {
    CInputManager* m = Input();
    bool down;
    if (!m || !ArgBool(args, &down)) return;
    if (down) {
        if (m->m_leftButton) return;
        m->m_leftButton = 1;
        if (!FullConsoleOpen(m)) {
            m->Host()->MouseEvent(0);
            m->Host()->MouseEvent(5);
        }
    } else {
        if (!m->m_leftButton) return;
        m->m_leftButton = 0;
        if (!FullConsoleOpen(m)) m->Host()->MouseEvent(1);
    }
}

void Cmd_SetRB(CConsoleCommand*, SCommandArgs* args, CVFSFile*) {
    CInputManager* m = Input();
    bool down;
    if (!m || !ArgBool(args, &down)) return;
    if (!down) {
        m->m_rightButton = 0;
        return;
    }
    if (m->m_rightButton) return;
    m->m_rightButton = 1;
    if (!FullConsoleOpen(m) && !m->Host()->MapEditMode()) {
        m->Host()->MouseEvent(2);
        m->Host()->MouseEvent(7);
    }
}

void Cmd_SetMB(CConsoleCommand*, SCommandArgs* args, CVFSFile*) {
    CInputManager* m = Input();
    bool down;
    if (m && ArgBool(args, &down)) m->m_middleButton = down;
}

void Cmd_DoubleClick(CConsoleCommand*, SCommandArgs*, CVFSFile*) {
    CInputManager* m = Input();
    if (m && !FullConsoleOpen(m)) m->Host()->MouseEvent(6);
}

void Cmd_RemoveBonds(CConsoleCommand*, SCommandArgs*, CVFSFile*) {
    if (CInputManager* m = Input()) m->InitBindingTables();
}

void Cmd_Bind(CConsoleCommand* record, SCommandArgs* args, CVFSFile*) {
    CInputManager* m = Input();
    if (!m) return;
    int n = args->count;
    if (n < 2) {
        Print(record, "Bind: To few arguments. Syntax: Bind ([Event]) (\"[prekey]\") [key] \"[Command]\"");
        Print(record, "Event: Down (Default), Up, Change, Repeat or Continuous");
        Print(record, "PreKey: Control | Shift | Alt");
        Print(record, "Command: Any valid command sequence");
        return;
    }
    int i = 0, event = KEYEVENT_DOWN;
    if (n >= 4) {
        event = KeyEventFromName(args->Text(i++));
        if (event < 0) {
            Print(record, "Bind: Bogus event specified");
            return;
        }
    }
    bool control = false, shift = false, alt = false, override = false;
    if (n >= 3) {
        std::string pre = args->Text(i++);
        for (char& c : pre) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        control = pre.find("control") != std::string::npos;
        alt = pre.find("alt") != std::string::npos;
        shift = pre.find("shift") != std::string::npos;
        override = pre.find("override") != std::string::npos;
    }
    int code = KeyCodeFromName(args->Text(i++));
    const char* line = args->Text(i);
    // Code 0 is no key: nothing can be bound to it.
    if (code < 1 || code >= kKeyCodeCount) {
        Print(record, "Bind: Invalid key.");
        return;
    }
    m->Keys().SetBinding(BindGroupFromModifiers(control, shift, alt, override), event, code,
                         line ? line : "");
}

void Cmd_ShowBindings(CConsoleCommand* record, SCommandArgs*, CVFSFile*) {
    CInputManager* m = Input();
    if (!m) return;
    static const char* const kHeadings[kKeyEventCount] = {"Key Down",   "Key Up",      "Key Contineous",
                                                          "Key Change", "Key Repeate", nullptr};
    static const struct {
        int group;
        const char* format;
    } kGroups[] = {
        {BINDGROUP_NONE, "                   %03d: %s"},
        {BINDGROUP_CONTROL, "Control            %03d: %s"},
        {BINDGROUP_SHIFT, "Shift              %03d: %s"},
        {BINDGROUP_ALT, "Alt                %03d: %s"},
        {BINDGROUP_CONTROL_SHIFT, "Control Shift      %03d: %s"},
        {BINDGROUP_CONTROL_ALT, "Control Alt        %03d: %s"},
        {BINDGROUP_SHIFT_ALT, "Shitf Alt          %03d: %s"},
        {BINDGROUP_CONTROL_SHIFT_ALT, "Control Shift Alt  %03d: %s"},
        {BINDGROUP_OVERRIDE, "Override           %03d: %s"},
    };
    for (int event = 0; event < kKeyEventCount; ++event) {
        if (kHeadings[event]) Print(record, kHeadings[event]);
        for (int code = 0; code < kKeyCodeCount; ++code)
            for (const auto& g : kGroups) {
                const std::string& line = m->Keys().Binding(g.group, event, code);
                if (line.empty()) continue;
                CStrBuf out;
                out.Format(g.format, code, line.c_str());
                Print(record, out.GetText());
            }
    }
}

}  // namespace

void RegisterInputCommands(CCommandInterpreter* ip) {
    if (CInputManager* m = Input()) m->RegisterCommands(ip);
}

void CInputManager::RegisterCommands(CCommandInterpreter* ip) {
    static const char kEditText[] = "Adds a char to current editstring";
    auto edit = [](const char* name, CommandHandler h, const char* syntax) {
        return SCommandRow::Function(name, h, kEditText, syntax);
    };
    const SCommandRow rows[] = {
        edit("Edit_AddChar", Cmd_AddChar, "Edit_AddChar(char character);"),
        edit("Edit_EraseChar", Cmd_EraseChar, "Edit_EraseChar(char character);"),
        edit("Edit_DeleteChar", Cmd_DeleteChar, "Edit_DeleteChar(char character);"),
        edit("Edit_EraseWord", Cmd_EraseWord, "Edit_EraseWord(char character);"),
        edit("Edit_DeleteWord", Cmd_DeleteWord, "Edit_DeleteWord(char character);"),
        edit("Edit_MoveLeft", Cmd_MoveLeft, "Edit_MoveLeft(char character);"),
        edit("Edit_MoveRight", Cmd_MoveRight, "Edit_MoveRight(char character);"),
        edit("Edit_MoveWordLeft", Cmd_MoveWordLeft, "Edit_MoveWordLeft(char character);"),
        edit("Edit_MoveWordRight", Cmd_MoveWordRight, "Edit_MoveWordRight(char character);"),
        edit("Edit_MoveHome", Cmd_MoveHome, "Edit_MoveHome(char character);"),
        edit("Edit_MoveEnd", Cmd_MoveEnd, "Edit_MoveEnd(char character);"),
        edit("Edit_ExtendSelectionLeft", Cmd_SelectLeft, "Edit_ExtendSelectionLeft(char character);"),
        edit("Edit_ExtendSelectionRight", Cmd_SelectRight, "Edit_ExtendSelectionRight(char character);"),
        edit("Edit_ExtendSelectionWordLeft", Cmd_SelectWordLeft,
             "Edit_ExtendSelectionWordLeft(char character);"),
        edit("Edit_ExtendSelectionWordRight", Cmd_SelectWordRight,
             "Edit_ExtendSelectionWordRight(char character);"),
        edit("Edit_ExtendSelectionHome", Cmd_SelectHome, "Edit_ExtendSelectionHome(char character);"),
        edit("Edit_ExtendSelectionEnd", Cmd_SelectEnd, "Edit_ExtendSelectionEnd(char character);"),
        edit("Edit_CopySelection", Cmd_Copy, "Edit_CopySelection(char character);"),
        edit("Edit_PasteSelection", Cmd_Paste, "Edit_PasteSelection(char character);"),
        edit("Edit_CutSelection", Cmd_Cut, "Edit_CutSelection(char character);"),
        SCommandRow::Bool("Edit_Insert", &m_edit.m_insert, kEditText, "Edit_Insert(char character);")
            .OnChange(Cmd_CursorRestart),
        SCommandRow::Bool("Edit_DisplayControlCodes", &m_edit.m_displayControlCodes, kEditText,
                          "Edit_DisplayControlCodes(char character);")
            .OnChange(Cmd_CursorRestart),
        edit("Edit_HistoryNext", Cmd_HistoryNext, "Edit_HistoryNext(char character);"),
        edit("Edit_HistoryPrev", Cmd_HistoryPrev, "Edit_HistoryPrev(char character);"),
        SCommandRow::Bool("kb_ShowKeys", &m_keys.m_showKeys,
                          "Tunrs showing of pressed keys in the console on or off",
                          "kb_ShowKeys(bool Enable);"),
        SCommandRow::Bool("InputDebug", m_host->InputDebugSwitch(),
                          "Shows input debug information in the console", "InputDebug(bool Enable);"),
        SCommandRow::Bool("kb_DirectInput", m_host->KeyboardSwitch(),
                          "Turns the use of direct input for keyboard on or off",
                          "kb_DirectInput(bool Enable);")
            .Config("Keyboard.cfg"),
        SCommandRow::Bool("m_DirectInput", m_host->MouseSwitch(),
                          "Turns the use of direct input for mouse on or off", "m_DirectInput(bool Enable);")
            .Config("Mouse.cfg"),
        SCommandRow::Function("m_SetLB", Cmd_SetLB, "Sets the state of the left mouse button",
                              "m_SetLB(bool ButtonDown);"),
        SCommandRow::Function("m_SetRB", Cmd_SetRB, "Sets the state of the right mouse button",
                              "m_SetRB(bool ButtonDown);"),
        SCommandRow::Function("m_SetMB", Cmd_SetMB, "Sets the state of the middle mouse button",
                              "m_SetMB(bool ButtonDown);"),
        SCommandRow::Function("m_DoubleClick", Cmd_DoubleClick,
                              "Performs a double click at the current position", "m_DoubleClick();"),
        SCommandRow::Float("m_PosX", &m_cursorX, -65536.0f, 65536.0f, "Sets the cursor position x value",
                           "m_PosX(float Pos);"),
        SCommandRow::Float("m_PosY", &m_cursorY, -65536.0f, 65536.0f, "Sets the cursor position y value",
                           "m_PosY(float Pos);"),
        SCommandRow::Function("RemoveBonds", Cmd_RemoveBonds, "Removes all keyboard bonds", "RemoveBonds();"),
        SCommandRow::Function(
            "Bind", Cmd_Bind,
            "Binds a command line the a key. Event: Down, Up, Change, Repeat or Continuous. "
            "PreKey: Control | Shift | Alt. Command: Any valid command sequence",
            "Bind(str Event = Down, str PreKey = None, str Key, str CommandLine);"),
        SCommandRow::Function("ShowBindings", Cmd_ShowBindings, "Shows the current bound keys",
                              "ShowBindings();"),
    };
    CommandTable_Register(ip, rows);
}
