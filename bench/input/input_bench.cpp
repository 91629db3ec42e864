// The input step of a frame: its cost with and without key events, and how
// many frames pass from a key the window delivers to its bound command.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "app/InputManager.h"
#include "console/CommandInterpreter.h"
#include "console/CommandTable.h"
#include "platform/display/Display.h"

namespace {

int g_commandRuns = 0;
void Cmd_Count(CConsoleCommand*, SCommandArgs*, CVFSFile*) {
    ++g_commandRuns;
}

// The game as far as the input step looks at it: focused, windowed, no GUI.
class CBenchHost : public IInputHost {
public:
    uint64_t Now() override { return m_now += 1193182 / 60; }
    float FrameTime() override { return 1.0f / 60; }
    bool HasFocus() override { return true; }
    uint8_t* KeyboardSwitch() override { return &m_switches[0]; }
    uint8_t* MouseSwitch() override { return &m_switches[1]; }
    uint8_t* InputDebugSwitch() override { return &m_switches[2]; }
    void ScreenSize(int* w, int* h) override { *w = 640, *h = 480; }
    bool Windowed() override { return false; }
    bool SystemCursor(int*, int*, uint32_t*) override { return false; }
    void ShowSystemCursor(bool) override {}
    void SetInterfaceCursor(int, int) override {}
    void UpdateCursorRay(float, float) override {}
    bool RenderFrames() override { return true; }
    bool InterfaceScreenActive() override { return false; }
    bool FullConsole() override { return false; }
    float ScrollSpeed() override { return 1.0f; }
    void ScrollView(float, float, float, float) override {}
    void ContextFacts(SInputContextFacts& f) override { f.gameState = 2; }
    CConsole* Console() override { return nullptr; }
    CStrBuf* SettingsEditString() override { return nullptr; }
    void MouseEvent(int) override {}
    bool MapEditMode() override { return false; }
    const char* GetPath(const char*, const char* name) override { return name; }

private:
    uint64_t m_now = 1193182;
    uint8_t m_switches[3] = {1, 1, 0};
};

struct SBench {
    CBenchHost host;
    std::unique_ptr<CInputManager> input;
    SBench() {
        input = std::make_unique<CInputManager>(nullptr, &host, nullptr);
        const SCommandRow rows[] = {SCommandRow::Function("Count", Cmd_Count, "counts", "Count();")};
        CommandTable_Register(input->Interpreter(), rows);
        CommandArea_Get(kAreaInput)(input->Interpreter());
        input->Interpreter()->Execute(false, "Bind(RETURN, \"Count();\");");
        input->Startup();
        Frame();
    }
    void Frame() {
        Display_PumpEvents();
        input->ProcessInput();
    }
};

SDisplayEvent KeyEvent(bool down) {
    SDisplayEvent e;
    e.type = down ? EDisplayEvent::KeyDown : EDisplayEvent::KeyUp;
    e.scancode = 40;  // Return
    return e;
}

void BM_IdleFrame(benchmark::State& state) {
    SBench b;
    for (auto _ : state) b.Frame();
}
BENCHMARK(BM_IdleFrame);

// Each iteration: a press and a release arrive; frames run until the bound
// command has run. The counter is the frames that took, on average.
void BM_KeyToCommand(benchmark::State& state) {
    SBench b;
    int64_t frames = 0, presses = 0;
    for (auto _ : state) {
        int before = g_commandRuns;
        Display_PostEvent(KeyEvent(true));
        Display_PostEvent(KeyEvent(false));
        do {
            b.Frame();
            ++frames;
        } while (g_commandRuns == before);
        ++presses;
    }
    state.counters["frames_to_command"] = static_cast<double>(frames) / static_cast<double>(presses);
}
BENCHMARK(BM_KeyToCommand);

void BM_EditTyping(benchmark::State& state) {
    SBench b;
    CStrBuf line;
    b.input->Edit().m_selectOnAttach = 0;
    b.input->EditAttach(&line);
    for (auto _ : state) {
        for (char c : std::string("Vid_Resolution(800,600); Vid_Restart();")) b.input->EditInsertChar(c);
        b.input->Edit().SelectHome();
        b.input->Edit().Backspace();
    }
}
BENCHMARK(BM_EditTyping);

}  // namespace
