// The input manager against a stand-in game: key and mouse events from the
// window's event records to bound command lines, the per-context binding
// files, script files, the input commands and MIDI messages.
#include "app/InputManager.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "commands/ScriptFlow.h"
#include "console/CommandHost.h"
#include "console/CommandInterpreter.h"
#include "console/CommandTable.h"
#include "console/Console.h"
#include "platform/display/Display.h"
#include "platform/sys/Path.h"
#include "tests/support/TempDir.h"

namespace {

std::vector<std::string> g_marks;

// Records its arguments, joined by blanks.
void Cmd_Mark(CConsoleCommand*, SCommandArgs* args, CVFSFile*) {
    std::string text;
    for (int i = 0; i < args->count; ++i) text += (i ? " " : "") + std::string(args->Text(i));
    g_marks.push_back(text);
}

class CFakeGame : public IInputHost, public ICommandHost, public IConsoleHost {
public:
    CFakeGame() : console(this) {
        console.Init(CConsole::kScrollBackLines, 17, 8);
        console.SetLineSink([](void* user, const char* text, int, int, int,
                               bool) { static_cast<CFakeGame*>(user)->printed.push_back(text); },
                            this);
        input = std::make_unique<CInputManager>(nullptr, this, this);
        CCommandInterpreter* ip = input->Interpreter();
        RegisterScriptCommands(ip);
        CommandArea_Get(kAreaInput)(ip);
        const SCommandRow rows[] = {SCommandRow::Function("Mark", Cmd_Mark, "test marker", "Mark(str);")};
        CommandTable_Register(ip, rows);
        g_marks.clear();
    }

    // IInputHost
    uint64_t Now() override { return now; }
    float FrameTime() override { return 0.02f; }
    bool HasFocus() override { return focus; }
    uint8_t* KeyboardSwitch() override { return &kbSwitch; }
    uint8_t* MouseSwitch() override { return &mouseSwitch; }
    uint8_t* InputDebugSwitch() override { return &debugSwitch; }
    void ScreenSize(int* w, int* h) override { *w = 640, *h = 480; }
    bool Windowed() override { return true; }
    bool SystemCursor(int* x, int* y, uint32_t* b) override {
        *x = sysX, *y = sysY, *b = sysButtons;
        return true;
    }
    void ShowSystemCursor(bool show) override { cursorShown = show; }
    void SetInterfaceCursor(int, int) override {}
    void UpdateCursorRay(float, float) override {}
    bool RenderFrames() override { return renderFrames; }
    bool InterfaceScreenActive() override { return false; }
    bool FullConsole() override { return false; }
    float ScrollSpeed() override { return 1.0f; }
    bool PointerInWindow() override { return pointerIn; }
    float ViewReach() override { return reach; }
    void ScrollView(float vx, float vz, float ax, float az) override {
        scroll[0] = vx, scroll[1] = vz, scroll[2] = ax, scroll[3] = az;
    }
    void ContextFacts(SInputContextFacts& f) override { f = facts; }
    CConsole* Console() override { return &console; }
    CStrBuf* SettingsEditString() override { return settingsEdit; }
    void MouseEvent(int code) override { mouseEvents.push_back(code); }
    bool MapEditMode() override { return false; }
    const char* GetPath(const char* sub, const char* name) override {
        path = dir.Win() + "\\" + sub + "\\" + name;
        return path.c_str();
    }
    // ICommandHost
    uint32_t GetGameStateBits() override { return 0; }
    CConsole* GetConsole() override { return &console; }
    // IConsoleHost
    uint64_t ConsoleClockNow() override { return now; }
    uint64_t ConsoleClockFrequency() override { return 1193182; }
    CCommandInterpreter* ConsoleInterpreter() override { return input->Interpreter(); }
    void ConsoleSendChat(const char*) override {}

    void Key(int sdlScancode, bool down) {
        SDisplayEvent e;
        e.type = down ? EDisplayEvent::KeyDown : EDisplayEvent::KeyUp;
        e.scancode = sdlScancode;
        input->Devices().OnDisplayEvent(e);
    }
    void Mouse(EDisplayEvent type, int button = 0, int wheel = 0) {
        SDisplayEvent e;
        e.type = type;
        e.button = button;
        e.wheelY = wheel;
        input->Devices().OnDisplayEvent(e);
    }
    void Run(const char* text) { input->Interpreter()->Execute(false, text); }

    CTempDir dir;
    std::string path;
    uint64_t now = 1193182;
    bool focus = true;
    uint8_t kbSwitch = 1, mouseSwitch = 1, debugSwitch = 0;
    int sysX = 100, sysY = 100;
    uint32_t sysButtons = 0;
    bool cursorShown = true;
    bool renderFrames = false;
    float scroll[4] = {0, 0, 0, 0};
    bool pointerIn = true;
    float reach = 1.0f;
    SInputContextFacts facts;
    CStrBuf* settingsEdit = nullptr;
    std::vector<std::string> printed;
    std::vector<int> mouseEvents;
    CConsole console;
    std::unique_ptr<CInputManager> input;
};

using Lines = std::vector<std::string>;
constexpr int kSdlQ = 20, kSdlA = 4, kSdlLShift = 225;

}  // namespace

TEST(InputContext, FileChoice) {
    struct {
        SInputContextFacts facts;
        const char* file;
    } cases[6];
    cases[0].facts.progressActive = true, cases[0].facts.consoleVisible = true,
    cases[0].file = "Commands_Progress.cfg";
    cases[1].facts.consoleVisible = true, cases[1].facts.miniConsole = true,
    cases[1].file = "Commands_MiniConsole.cfg";
    cases[2].facts.guiWord = 1, cases[2].facts.interfaceMode = 3, cases[2].file = "Commands_GUISetting.cfg";
    cases[3].facts.gameState = 2, cases[3].facts.activeGUI = 5, cases[3].facts.guiBindingFile = "Own.cfg",
    cases[3].file = "Own.cfg";
    cases[4].facts.gameState = 2, cases[4].facts.mapEdit = true, cases[4].file = "Commands_MapEdit.cfg";
    cases[5].facts.gameState = 1, cases[5].file = "Commands_Progress.cfg";
    for (const auto& c : cases) EXPECT_STREQ(Input_ChooseContextFile(c.facts), c.file);
    SInputContextFacts video;
    video.videoPlaying = true;
    EXPECT_EQ(Input_ChooseContextFile(video), nullptr);
    SInputContextFacts game;
    game.gameState = 2;
    EXPECT_STREQ(Input_ChooseContextFile(game), "Commands_Game.cfg");
}

TEST(InputContext, ContextFilesRunOnceAndReleaseHeldKeys) {
    CFakeGame g;
    g.dir.Write("Scripts/Commands_Console.cfg",
                "input_LastFile(\"Commands_Console.cfg\");\nMark(console);\nBind(q, \"Mark(q console);\");\n"
                "Bind(Up, none, q, \"Mark(q up console);\");\n");
    g.dir.Write("Scripts/Commands_GUI.cfg", "Mark(gui);\nBind(q, \"Mark(q gui);\");\n");
    g.facts.consoleVisible = true;
    g.input->UpdateCommandContext();
    g.input->UpdateCommandContext();
    EXPECT_EQ(g_marks, Lines{"console"});
    // The console's command line is what the edit keys now work on.
    EXPECT_EQ(g.input->Edit().Attached(), &g.console.CommandLine());

    // A held key gets the old file's Up line, then the new file's Down line
    // once that file is in place; a file that never names itself runs again
    // every frame.
    g.input->Startup();
    g.input->ProcessInput();
    g.Key(kSdlQ, true);
    g.input->ProcessInput();
    g_marks.clear();
    g.facts.consoleVisible = false;
    g.facts.guiWord = 1;
    g.input->UpdateCommandContext();
    EXPECT_EQ(g_marks, (Lines{"q up console", "gui"}));
    EXPECT_EQ(g.input->Edit().Attached(), nullptr);
    g.input->UpdateCommandContext();
    EXPECT_EQ(g_marks, (Lines{"q up console", "gui", "q up console", "gui"}));
}

TEST(InputContext, MissingScriptIsReported) {
    CFakeGame g;
    g.input->RunScriptFile("nope.cfg", false, false);
    ASSERT_EQ(g.printed.size(), 3u);
    EXPECT_EQ(g.printed[0], "File '" + g.dir.Win() + "\\Scripts\\nope.cfg' not found");
    EXPECT_EQ(g.printed[1], " ");
    EXPECT_EQ(g.printed[2], " ");
}

TEST(InputManager, KeysFromWindowEventsRunBindings) {
    CFakeGame g;
    g.Run("Bind(q, \"Mark(q);\"); Bind(Up, none, q, \"Mark(q up);\"); Bind(shift, q, \"Mark(Q);\");");
    g.input->Startup();
    g.input->ProcessInput();
    EXPECT_FALSE(g.cursorShown);
    g.Key(kSdlQ, true);
    g.Key(kSdlQ, false);
    g.Key(kSdlLShift, true);
    g.Key(kSdlQ, true);
    g.input->ProcessInput();
    EXPECT_EQ(g_marks, (Lines{"q", "q up", "Q"}));

    // Without the focus nothing is read, and the cursor comes back.
    g_marks.clear();
    g.focus = false;
    g.input->ProcessInput();
    g.Key(kSdlA, true);
    g.input->ProcessInput();
    EXPECT_TRUE(g.cursorShown);
    EXPECT_EQ(g.input->Keys().Value(30), 0.0f);
}

TEST(InputManager, FailedKeyboardReadReleasesKeysButKeepsTheMouse) {
    CFakeGame g;
    g.Run("Bind(Up, none, q, \"Mark(q up);\"); Bind(Up, none, MOUSE_BUTTON1, \"Mark(button up);\");");
    g.input->Startup();
    g.input->ProcessInput();
    g.Key(kSdlQ, true);
    g.Mouse(EDisplayEvent::MouseButtonDown, kDisplayMouseLeft);
    g.input->ProcessInput();
    EXPECT_EQ(g.input->Keys().Value(16), 1.0f);
    EXPECT_EQ(g.input->Keys().Value(kKeyMouseButton1), 1.0f);
    g.input->Devices().AcquireKeyboard(false);  // the next state read fails
    g.input->ProcessInput();
    EXPECT_EQ(g_marks, Lines{"q up"});
    EXPECT_EQ(g.input->Keys().Value(kKeyMouseButton1), 1.0f);
}

TEST(InputManager, MouseButtonsAndWheel) {
    CFakeGame g;
    g.Run(
        "Bind(MOUSE_WHEELUP, \"Mark(wheel);\"); Bind(Up, none, MOUSE_WHEELUP, \"Mark(wheel up);\");"
        "Bind(MOUSE_BUTTON1, \"Mark(left);\"); Bind(Up, none, MOUSE_BUTTON1, \"Mark(left up);\");"
        "Bind(MOUSE_BUTTON2, \"Mark(right);\");");
    g.input->Startup();
    g.input->ProcessInput();
    g.Mouse(EDisplayEvent::MouseWheel, 0, 1);
    g.Mouse(EDisplayEvent::MouseButtonDown, kDisplayMouseRight);
    g.input->ProcessInput();
    g.input->ProcessInput();
    EXPECT_EQ(g_marks, (Lines{"wheel", "right"}));

    // With the mouse device off the window system's buttons are polled.
    g_marks.clear();
    g.mouseSwitch = 0;
    g.sysButtons = 1;
    g.input->ProcessInput();
    g.input->ProcessInput();
    g.sysButtons = 0;
    g.input->ProcessInput();
    EXPECT_EQ(g_marks, (Lines{"left", "left up"}));
}

TEST(InputCommands, Bind) {
    CFakeGame g;
    CKeyBindings& k = g.input->Keys();
    g.Run("Bind(q, \"Mark(a);\");");
    EXPECT_EQ(k.Binding(BINDGROUP_NONE, KEYEVENT_DOWN, 16), "Mark(a);");
    g.Run("Bind(Up, control, q, \"x\");");
    EXPECT_EQ(k.Binding(BINDGROUP_CONTROL, KEYEVENT_UP, 16), "x");
    g.Run("Bind(DBLCLK, \"Alt+Shift+CONTROL\", q, \"y\");");
    EXPECT_EQ(k.Binding(BINDGROUP_CONTROL_SHIFT_ALT, KEYEVENT_DBLCLK, 16), "y");
    g.Run("Bind(down, \"override shift\", q, \"z\");");
    EXPECT_EQ(k.Binding(BINDGROUP_SHIFT, KEYEVENT_DOWN, 16), "z");
    g.Run("Bind(override, q, \"o\");");
    EXPECT_EQ(k.Binding(BINDGROUP_OVERRIDE, KEYEVENT_DOWN, 16), "o");

    g.printed.clear();
    g.Run("Bind(#5000, \"x\");");
    g.Run("Bind(#0, \"x\");");
    g.Run("Bind(nokey, \"x\");");
    g.Run("Bind(Press, none, q, \"x\");");
    EXPECT_EQ(g.printed, (Lines{"Bind: Invalid key.", "Bind: Invalid key.", "Bind: Invalid key.",
                                "Bind: Bogus event specified"}));
    g.printed.clear();
    g.Run("Bind(q);");
    ASSERT_EQ(g.printed.size(), 4u);
    EXPECT_EQ(g.printed[1], "Event: Down (Default), Up, Change, Repeat or Continuous");

    g.Run("RemoveBonds();");
    EXPECT_EQ(k.Binding(BINDGROUP_NONE, KEYEVENT_DOWN, 16), "");
    g.printed.clear();
    g.Run("ShowBindings();");
    EXPECT_EQ(g.printed, (Lines{"Key Down", "Key Up", "Key Contineous", "Key Change", "Key Repeate"}));
    g.Run("Bind(shift, q, \"s\");");
    g.printed.clear();
    g.Run("ShowBindings();");
    EXPECT_EQ(g.printed[1], "Shift              016: s");
}

TEST(InputCommands, EditAndMouseCommands) {
    CFakeGame g;
    CStrBuf line;
    g.input->Edit().m_selectOnAttach = 0;
    g.input->EditAttach(&line);
    g.Run(
        "Edit_AddChar(h); Edit_AddChar(i); Edit_MoveHome(); Edit_AddChar(\">\"); Edit_MoveEnd(); "
        "Edit_EraseChar();");
    EXPECT_STREQ(line.GetText(), ">h");
    g.Run("Edit_Insert(false); Edit_MoveHome(); Edit_AddChar(x);");
    EXPECT_STREQ(line.GetText(), "xh");

    g.Run(
        "m_SetLB(true); m_SetLB(true); m_SetLB(false); m_SetLB(false); m_SetRB(1); m_SetRB(0); "
        "m_DoubleClick();");
    EXPECT_EQ(g.mouseEvents, (std::vector<int>{0, 5, 1, 2, 7, 6}));
    g.mouseEvents.clear();
    g.console.Show();
    g.Run("m_DoubleClick();");
    EXPECT_TRUE(g.mouseEvents.empty());
}

TEST(InputMidi, MessagesAreCheckedAndMasked) {
    SMidiState m;
    Input_MidiMessage(m, 0x90 | (60 << 8) | (100 << 16));
    EXPECT_EQ(m.held[60], 1);
    Input_MidiMessage(m, 0x91 | (60 << 8));
    EXPECT_EQ(m.held[60], 0);
    Input_MidiMessage(m, 0x90 | (61 << 8) | (1 << 16));
    Input_MidiMessage(m, 0x80 | (61 << 8) | (64 << 16));
    EXPECT_EQ(m.held[61], 0);
    Input_MidiMessage(m, 0xB0 | (7 << 8) | (0xff << 16));  // value masked to 127
    EXPECT_EQ(m.controller[7], 127);
    EXPECT_EQ(m.changed[7], 1);
    Input_MidiMessage(m, 0xB0 | (0 << 8) | (5 << 16));  // controller 0 is ignored
    EXPECT_EQ(m.changed[0], 0);
    Input_MidiMessage(m, 0x90 | (0xff << 8) | (1 << 16));  // note 255 is note 127
    EXPECT_EQ(m.held[127], 1);
    Input_MidiMessage(m, 0x3C1 /* open notice, not a message */);
    Input_MidiMessage(m, 0xF0 | (5 << 8) | (5 << 16));
    EXPECT_EQ(m.held[5], 0);
    EXPECT_EQ(m.controller[5], 0);
}

TEST(InputContent, KeyBindingFilesOfTheDemoContent) {
    const char* source = std::getenv("TESSARAK_SOURCE");
    ASSERT_NE(source, nullptr);
    const char* files[] = {"Commands_Progress.cfg", "Commands_Console.cfg",     "Commands_MiniConsole.cfg",
                           "Commands_Game.cfg",     "Commands_EmitterEdit.cfg", "Commands_MapEdit.cfg",
                           "Commands_GUI.cfg",      "Commands_GUISetting.cfg"};
    for (const char* name : files) {
        CFakeGame g;
        std::string path = std::string(source) + "/content/Tessarak/Content.box/Scripts/" + name;
        g.input->RunScriptFile(Sys_ToWindowsPath(path.c_str()).c_str(), false, true);
        for (const std::string& line : g.printed) ADD_FAILURE() << name << ": " << line;
        EXPECT_TRUE(g.input->Interpreter()->LastBindingsFile().EqualsNoCase(name)) << name;
        // Every context can open or close the console.
        EXPECT_NE(g.input->Keys().Binding(BINDGROUP_NONE, KEYEVENT_DOWN, 41), "") << name;
    }
    CFakeGame g;
    std::string path = std::string(source) + "/content/Tessarak/Content.box/Scripts/Commands_Console.cfg";
    g.input->RunScriptFile(Sys_ToWindowsPath(path.c_str()).c_str(), false, true);
    const CKeyBindings& k = g.input->Keys();
    EXPECT_EQ(k.Binding(BINDGROUP_NONE, KEYEVENT_DOWN, 28), "Console_ExecuteCommandLine();");
    EXPECT_EQ(k.Binding(BINDGROUP_NONE, KEYEVENT_REPEAT, 14), "Edit_EraseChar();");
    EXPECT_EQ(k.Binding(BINDGROUP_CONTROL, KEYEVENT_REPEAT, 203), "Edit_MoveWordLeft();");
    EXPECT_EQ(k.Binding(BINDGROUP_CONTROL_SHIFT, KEYEVENT_REPEAT, 205), "Edit_ExtendSelectionWordRight();");
    EXPECT_EQ(k.Binding(BINDGROUP_SHIFT, KEYEVENT_DOWN, 210), "Edit_PasteSelection();");
}

// The binding files of the demo content as a player uses them: keys pressed
// and text typed, not command text. Insert switches between inserting and
// overwriting wherever a line is edited.
TEST(InputContent, EditKeysOfTheDemoContentAsPressed) {
    const char* source = std::getenv("TESSARAK_SOURCE");
    ASSERT_NE(source, nullptr);
    constexpr int kSdlInsert = 73, kSdlHome = 74, kSdlEnd = 77, kSdlBackspace = 42;
    for (int context = 0; context < 3; ++context) {
        const char* name = context == 0   ? "Commands_Console.cfg"
                           : context == 1 ? "Commands_MiniConsole.cfg"
                                          : "Commands_GUISetting.cfg";
        CFakeGame g;
        std::ifstream in(std::string(source) + "/content/Tessarak/Content.box/Scripts/" + name);
        g.dir.Write(std::string("Scripts/") + name, std::string(std::istreambuf_iterator<char>(in), {}));
        CStrBuf settings;
        g.settingsEdit = &settings;
        g.facts.consoleVisible = context < 2;
        g.facts.miniConsole = context == 1;
        g.facts.guiWord = 1;
        g.facts.interfaceMode = 3;
        g.input->Edit().m_selectOnAttach = 0;
        g.input->UpdateCommandContext();
        CStrBuf& line = context < 2 ? g.console.CommandLine() : settings;
        ASSERT_EQ(g.input->Edit().Attached(), &line) << name;
        g.input->Startup();
        auto frame = [&] {
            Display_PumpEvents();
            g.input->ProcessInput();
        };
        auto press = [&](int scancode) {
            SDisplayEvent e;
            e.scancode = scancode;
            e.type = EDisplayEvent::KeyDown;
            Display_PostEvent(e);
            frame();
            e.type = EDisplayEvent::KeyUp;
            Display_PostEvent(e);
            frame();
        };
        auto type = [&](const char* text) {
            SDisplayEvent e;
            e.type = EDisplayEvent::TextInput;
            std::snprintf(e.text, sizeof e.text, "%s", text);
            Display_PostEvent(e);
            frame();
        };
        frame();
        type("abc");
        press(kSdlHome);
        press(kSdlInsert);
        EXPECT_EQ(g.input->Edit().m_insert, 0) << name;
        type("X");
        EXPECT_STREQ(line.GetText(), "Xbc") << name;
        press(kSdlInsert);
        EXPECT_EQ(g.input->Edit().m_insert, 1) << name;
        type("Y");
        press(kSdlEnd);
        press(kSdlBackspace);
        EXPECT_STREQ(line.GetText(), "XYb") << name;
        for (const std::string& printed : g.printed) ADD_FAILURE() << name << ": " << printed;
    }
}

// A key the window delivers before a frame runs its binding in that same
// frame: one frame from the event to the command.
TEST(InputManager, KeyRunsItsBindingInTheFrameThatReceivesIt) {
    CFakeGame g;
    g.Run("Bind(RETURN, \"Mark(run);\");");
    g.input->Startup();
    auto frame = [&] {
        Display_PumpEvents();
        g.input->ProcessInput();
    };
    frame();
    SDisplayEvent down;
    down.type = EDisplayEvent::KeyDown;
    down.scancode = 40;  // Return
    Display_PostEvent(down);
    frame();
    EXPECT_EQ(g_marks, Lines{"run"});

    // Typed text reaches the attached line at once, and the key that runs a
    // binding types nothing.
    CStrBuf line;
    g.input->Edit().m_selectOnAttach = 0;
    g.input->EditAttach(&line);
    SDisplayEvent a;
    a.type = EDisplayEvent::KeyDown;
    a.scancode = kSdlA;
    SDisplayEvent text;
    text.type = EDisplayEvent::TextInput;
    std::snprintf(text.text, sizeof text.text, "%s", "a\xc3\xa9");  // a, e acute
    Display_PostEvent(a);
    Display_PostEvent(text);
    Display_PostEvent(down);
    std::snprintf(text.text, sizeof text.text, "%s", "\r");
    Display_PostEvent(text);
    frame();
    EXPECT_STREQ(line.GetText(), "a\xe9");
}

TEST(InputManager, EdgeScrolling) {
    CFakeGame g;
    g.renderFrames = true;
    g.input->Startup();
    g.sysX = 0, g.sysY = 240;
    g.reach = 30.0f;  // the view spans 30 map units
    for (int i = 0; i < 100; ++i) g.input->ProcessInput();
    // Held to the scroll speed times the view's distance factor: seven
    // tenths of what the view spans a second.
    EXPECT_FLOAT_EQ(g.scroll[0], -21.0f);
    EXPECT_FLOAT_EQ(g.scroll[2], -0.7f);
    EXPECT_EQ(g.scroll[1], 0.0f);
    // Over to the other edge: the direction turns at once.
    g.sysX = 639;
    g.input->ProcessInput();
    EXPECT_GT(g.scroll[0], 0.0f);
    EXPECT_FLOAT_EQ(g.scroll[2], 0.7f);
    // A pointer that left the window (its last place on the edge) stops the
    // view at once.
    g.pointerIn = false;
    g.input->ProcessInput();
    EXPECT_EQ(g.scroll[0], 0.0f);
    EXPECT_EQ(g.scroll[2], 0.0f);
    g.pointerIn = true;
    // Off the edge the speed dies down.
    g.sysX = 320;
    for (int i = 0; i < 100; ++i) g.input->ProcessInput();
    EXPECT_EQ(g.scroll[0], 0.0f);
    EXPECT_EQ(g.scroll[2], 0.0f);
    // In a window the open console keeps the edges for the pointer.
    g.console.Show();
    g.sysY = 479;
    g.input->ProcessInput();
    EXPECT_EQ(g.scroll[1], 0.0f);
}

// With the keyboard device switched off the window's key messages fill the
// buffer: at most 255 a frame.
TEST(InputManager, WindowKeysWithoutTheKeyboardDevice) {
    CFakeGame g;
    g.kbSwitch = 0;
    g.Run("Bind(q, \"Mark(q);\"); Bind(Up, none, q, \"Mark(q up);\");");
    g.input->Startup();
    g.input->ProcessInput();
    SDisplayEvent e;
    e.scancode = kSdlQ;
    for (int i = 0; i < 200; ++i) {
        e.type = i % 2 ? EDisplayEvent::KeyUp : EDisplayEvent::KeyDown;
        Display_PostEvent(e);
    }
    Display_PumpEvents();
    g.input->ProcessInput();
    EXPECT_EQ(g_marks.size(), 200u);
    EXPECT_EQ(g_marks[0], "q");
    EXPECT_EQ(g_marks[1], "q up");
    g_marks.clear();
    for (int i = 0; i < 300; ++i) {
        e.type = i % 2 ? EDisplayEvent::KeyUp : EDisplayEvent::KeyDown;
        Display_PostEvent(e);
    }
    Display_PumpEvents();
    g.input->ProcessInput();
    EXPECT_EQ(g_marks.size(), 255u);
}
