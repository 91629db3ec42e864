#include "commands/ConsoleCommands.h"

#include <strings.h>

#include <string>

#include "app/Game.h"
#include "app/GameServices.h"
#include "app/InputManager.h"
#include "commands/CommandArgs.h"
#include "commands/CommandContext.h"
#include "console/CommandInterpreter.h"
#include "console/CommandTable.h"
#include "console/ConfigText.h"
#include "console/Console.h"
#include "core/VFSFile.h"
#include "e3d/Video.h"
#include "platform/sys/Path.h"
#include "ui/Interface.h"

namespace {
const int32_t kCharSets[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10};

CGame* Game(CConsoleCommand* record) {
    return GameOf(record);
}

CInterface* Ui(CConsoleCommand* record) {
    CGame* game = Game(record);
    return game ? game->Interface() : nullptr;
}

CConsole* Console(CConsoleCommand* record) {
    CInterface* ui = Ui(record);
    return ui ? &ui->m_console : nullptr;
}

// The edit field follows the command line again after it changed.
void Reattach(CConsoleCommand* record) {
    CGame* game = Game(record);
    CConsole* console = Console(record);
    if (!game || !game->InputManager() || !console) return;
    if (game->InputManager()->Edit().Attached() == &console->CommandLine())
        game->InputManager()->EditAttach(&console->CommandLine());
}

void Cmd_SaveSettings(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    if (!file) record->GetInterpreter()->SaveConfigFiles();
}

void Cmd_Echo(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CConsole* console = Console(record);
    if (file || !args || args->count < 1 || !console) return;
    console->Print(args->Text(0), false, 255, 255, 255, false);
}

void Cmd_ScreenEcho(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CConsole* console = Console(record);
    if (file || !args || args->count < 1 || !console) return;
    console->Print(args->Text(0), false, 255, 255, 255, true);
}

// The command name of a Help or Syntax argument: up to its first blank,
// cut to the buffer the lookup uses.
std::string CommandName(const char* text) {
    std::string name(text ? text : "");
    size_t blank = name.find(' ');
    if (blank != std::string::npos) name.resize(blank);
    if (name.size() > 1023) name.resize(1023);
    return name;
}

void Cmd_Help(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CConsole* console = Console(record);
    if (file || !args || !console) return;
    if (args->count == 0) {
        console->Printf("To arguments");
        return;
    }
    if (args->count > 1) return;
    CConsoleCommand* c = record->GetInterpreter()->GetCommand(CommandName(args->Text(0)).c_str());
    if (!c) {
        console->Printf("No such command");
        return;
    }
    auto blank = [console](int n) {
        for (int i = 0; i < n; ++i) console->Print("", false, 255, 255, 255, false);
    };
    auto help = [console](const char* text) { console->Print(text, false, 255, 255, 128, false); };
    blank(2);
    console->PrintfColor("Help for command: %s", 255, 255, 128, false, c->GetName());
    blank(2);
    help("SYNTAX");
    blank(1);
    help(Args_Syntax(c));
    blank(2);
    help("DESCRIPTION");
    blank(1);
    help(c->GetDescription());
    blank(2);
}

void Cmd_Syntax(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CConsole* console = Console(record);
    if (file || !args || !console) return;
    if (args->count == 0) {
        console->Printf("To arguments");
        return;
    }
    if (args->count > 1) return;
    CConsoleCommand* c = record->GetInterpreter()->GetCommand(CommandName(args->Text(0)).c_str());
    console->Print(c ? Args_Syntax(c) : "No such command", false, 255, 255, 128, false);
}

// Cmdlist("File"): every record's name, syntax and description as lines of
// tab-separated fields into the file, after a head line and before the
// total, each line ending in CR LF.
void WriteCmdlist(CConsoleCommand* record, const char* name) {
    CCommandInterpreter* ip = record->GetInterpreter();
    // The list goes into a folder that is there: a missing one is not made.
    const std::string path(name);
    const size_t slash = path.find_last_of("\\/");
    if (slash != std::string::npos && slash > 0 && !Sys_IsFolder(path.substr(0, slash).c_str()))
        return ip->Printf("Error in %s: Unable to write file : %s", record->GetName(), name);
    CVFSFile out(name, CVFSFile::kModeWrite);
    if (!out.IsOpen()) return ip->Printf("Error in %s: Unable to write file : %s", record->GetName(), name);
    CStrBuf line;
    auto write = [&out, &line] {
        const uint32_t n = static_cast<uint32_t>(line.GetLength());
        return out.Write(line.GetText(), n) == n;
    };
    line.Format("%s\t%s\t%s\r\n", "Name", "Syntax", "Description");
    bool ok = write();
    for (CConsoleCommand* c = ip->First(); c && ok; c = c->Next()) {
        line.Format("%s\t%s\t%s\r\n", c->GetName(), c->GetSyntax(), c->GetDescription());
        ok = write();
    }
    line.Format("A total of %d commands\r\n", ip->GetCount());
    ok = ok && write();
    if (!ok) ip->Printf("Error in %s: Unable to write file : %s", record->GetName(), name);
}

void Cmd_Cmdlist(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CConsole* console = Console(record);
    if (file || !args || !console || args->count > 1) return;
    if (args->count == 1) return WriteCmdlist(record, args->Text(0));
    CCommandInterpreter* ip = record->GetInterpreter();
    console->PrintfColor("%-30s%-40s%-40s", 255, 255, 255, false, "Name", "Syntax", "Description");
    for (CConsoleCommand* c = ip->First(); c; c = c->Next())
        console->PrintfColor("%-30s%-40s%-40s", 255, 255, 255, false, c->GetName(), c->GetSyntax(),
                             c->GetDescription());
    console->Printf("A total of %d commands", ip->GetCount());
}

void Cmd_Next(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    if (CConsole* console = file ? nullptr : Console(record)) console->ScrollNewer(1);
}

void Cmd_Prev(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    CConsole* console = file ? nullptr : Console(record);
    if (!console) return;
    // Never closer to the oldest line than one page.
    int page = Ui(record)->ConsolePageRows();
    int limit = console->GetLineCount() - page;
    if (console->GetViewOffset() + 1 <= limit) console->ScrollOlder(1);
}

void Cmd_Top(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    CConsole* console = file ? nullptr : Console(record);
    if (!console) return;
    int page = Ui(record)->ConsolePageRows();
    console->ScrollToNewest();
    int offset = console->GetLineCount() - page;
    if (offset > 0) console->ScrollOlder(offset);
}

void Cmd_Bottom(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    if (CConsole* console = file ? nullptr : Console(record)) console->ScrollToNewest();
}

void Cmd_Show(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    CConsole* console = file ? nullptr : Console(record);
    if (!console) return;
    console->ScrollToNewest();
    console->Show();
    console->m_mini = 0;
}

void Cmd_ShowMini(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    CConsole* console = file ? nullptr : Console(record);
    if (!console) return;
    console->Show();
    CGame* game = Game(record);
    console->m_mini = (game && game->GuiWord() == 1) ? 0 : 1;
}

void Cmd_Hide(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    if (CConsole* console = file ? nullptr : Console(record)) console->Hide();
}

// The command-line keys: one console operation, then the edit field follows
// the changed line.
template <void (CConsole::*Operation)()>
void Cmd_LineOperation(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    if (CConsole* console = file ? nullptr : Console(record)) {
        (console->*Operation)();
        Reattach(record);
    }
}

// Paste and completion change the line only when they succeed.
template <bool (CConsole::*Operation)()>
void Cmd_LineChange(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    if (CConsole* console = file ? nullptr : Console(record))
        if ((console->*Operation)()) Reattach(record);
}

void Cmd_Copy(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    if (CConsole* console = file ? nullptr : Console(record)) console->CopyFromCommandLine();
}

// The console's background video: saved as the line that sets it again.
// A full path of a file under the game's folders, as the game's names read
// it back: relative to the movies' folder, or "!!" and the path below the
// game's root; any other path as it is.
std::string GameRelativeName(CGame* game, const char* full) {
    if (!game || !full) return full ? full : "";
    auto below = [full](const std::string& folder) {
        const std::string prefix = folder + "\\";
        return prefix.size() > 1 && strncasecmp(full, prefix.c_str(), prefix.size()) == 0
                   ? full + prefix.size()
                   : nullptr;
    };
    if (const char* rest = below(game->GetPath("Movies", ""))) return rest;
    if (const char* rest = below(game->GetPath(nullptr, ""))) return std::string("!!") + rest;
    return full;
}

void Cmd_SetBackGroundAnim(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CConsole* console = Console(record);
    if (!console) return;
    if (file) {
        CE3DVideo* video = console->BackgroundVideo();
        CStrBuf line;
        // The name is quoted as every saved text is, so that a path's
        // backslashes read back as they were; it is kept relative to the
        // game's folders (the movies' folder, else "!!" and the path below
        // the game's root), never the installation's place.
        if (video)
            line.Format(
                "%s(%s);\r\n", record->GetName(),
                ConfigText_Quote(GameRelativeName(Game(record), video->m_name.GetText()).c_str()).c_str());
        else
            line.Format("%s();\r\n", record->GetName());
        file->Write(line.GetText(), (uint32_t)line.GetLength());
        return;
    }
    console->SetBackgroundVideo(nullptr);
    CGame* game = Game(record);
    CE3DScreen* screen = game ? Game_Screen(game) : nullptr;
    if (!args || args->count < 1 || !screen) return;
    CStrBuf name(args->Text(0));
    if (name.IsEmpty()) return;  // "" clears the background as no name does
    CE3DVideo* video = new CE3DVideo(screen);
    video->OpenFile(game->GetPath("Movies", name.GetText()), false, true);
    video->m_loop = 1;
    video->Play();
    console->SetBackgroundVideo(video);
}

}  // namespace

void RegisterConsoleCommands(CCommandInterpreter* ip) {
    CGame* game = GameOf(ip);
    CInterface* ui = game ? game->Interface() : nullptr;
    if (!ui) return;
    const char* csNames[] = {"CS_DOS",         "CS_WIN_ARABIC",  "CS_WIN_BALTIC", "CS_WIN_CENTRALEUROPE",
                             "CS_WIN_CRYLLIC", "CS_WIN_GREEK",   "CS_WIN_HEBREW", "CS_WIN_THAI",
                             "CS_WIN_TURKISH", "CS_WIN_WESTERN", "CS_WIN_VIETNAM"};
    for (int i = 0; i < 11; ++i) {
        // CS_WIN_CENTRALEUROPE describes itself as CS_DOS, as it always did.
        const char* text = i == 3 ? "CS_DOS" : csNames[i];
        SCommandRow row =
            SCommandRow::Int(csNames[i], const_cast<int32_t*>(&kCharSets[i]), 0, 12, text, text).ReadOnly();
        CommandTable_Register(ip, &row, 1);
    }
    const SCommandRow save[] = {
        SCommandRow::Function("SaveSettings", Cmd_SaveSettings, "Saves settings",
                              "SaveSettings(str String);"),
    };
    CommandTable_Register(ip, save);
    // The console's fonts: the interface's own settings.
    ui->RegisterSettings(ip);
    const SCommandRow rows[] = {
        SCommandRow::Function("ScreenEcho", Cmd_ScreenEcho, "Echos the supplied string to the screen console",
                              "ScreenEcho(str String);"),
        SCommandRow::Function("echo", Cmd_Echo, "Echos the supplied string to the console",
                              "echo(str String);"),
        SCommandRow::Function("ScreenEcho", Cmd_ScreenEcho, "Echos the supplied string to the screen console",
                              "ScreenEcho(str String);"),
        SCommandRow::Function("Syntax", Cmd_Syntax, "Displays syntax data for the supplied command",
                              "Syntax (str Command);"),
        SCommandRow::Function("?", Cmd_Help, "Displays help data for the supplied command",
                              "? (str Command);"),
        SCommandRow::Function("Help", Cmd_Help, "Displays help data for the supplied command",
                              "Help (str Command);"),
        SCommandRow::Function("Cmdlist", Cmd_Cmdlist, "Saves all commands to the supplied filename",
                              "Cmdlist (str FileName);"),
        SCommandRow::Function("Console_SetBackGroundAnim", Cmd_SetBackGroundAnim,
                              "Sets a animation to the console background",
                              "console_SetBackGroundAnim(str AnimFileName);")
            .Config("Console.cfg"),
        SCommandRow::Function("Console_Next", Cmd_Next, "Scrolls the consle one step", "Console_Next();"),
        SCommandRow::Function("Console_Prev", Cmd_Prev, "Scrolls the consle one step", "Console_Prev();"),
        SCommandRow::Function("Console_Top", Cmd_Top, "Scrolls the consle to the top", "Console_Top();"),
        SCommandRow::Function("Console_Bottom", Cmd_Bottom, "Scrolls the consle to the bottom",
                              "Console_Bottom();"),
        SCommandRow::Function("Console_Show", Cmd_Show, "Shows the console", "Console_Show();"),
        SCommandRow::Function("Console_ShowMini", Cmd_ShowMini, "Shows the mini console",
                              "Console_ShowMini();"),
        SCommandRow::Function("Console_Hide", Cmd_Hide, "Hides the console", "Console_Hide();"),
        SCommandRow::Function("Console_ExecuteCommandLine", Cmd_LineOperation<&CConsole::SubmitCommandLine>,
                              "Executes the current command line in the console",
                              "Console_ExecuteCommandLine();"),
        SCommandRow::Function("Console_HistoryCommandLine", Cmd_LineOperation<&CConsole::StoreCommandLine>,
                              "Executes the current command line in the console",
                              "Console_HistoryCommandLine();"),
        SCommandRow::Function("Console_PrevHistory", Cmd_LineOperation<&CConsole::HistoryOlder>,
                              "Select previous command line history", "Console_PrevHistory();"),
        SCommandRow::Function("Console_NextHistory", Cmd_LineOperation<&CConsole::HistoryNewer>,
                              "Select next command line history", "Console_NextHistory();"),
        SCommandRow::Function("Console_PasteToCommandLine", Cmd_LineChange<&CConsole::PasteToCommandLine>,
                              "Paste from clipboard", "Console_PasteToCommandLine();"),
        SCommandRow::Function("Console_CopyFromCommandLine", Cmd_Copy, "Copy to clip board",
                              "Console_CopyFromCommandLine();"),
        SCommandRow::Function("Console_GetClosestCommand", Cmd_LineChange<&CConsole::CompleteCommandLine>,
                              "Completes the current console command in the command line",
                              "Console_GetClosestCommand();"),
    };
    CommandTable_Register(ip, rows);
}
