// The mouse in a real window: xdotool clicks, drags and right-clicks in a
// window on an X server of the test's own, and the events take the game's
// whole road: the window's events, the input manager's buffered mouse, the
// key bindings of Commands_Game.cfg (m_SetLB, m_SetRB), the interface's
// mouse dispatch and its mouse orders, which pick through the game view's
// viewport and give the world's commands. The selection and the orders are
// then read in the scene.
// Without Xvfb or xdotool the test is skipped.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "app/InputManager.h"
#include "commands/ScriptFlow.h"
#include "console/CommandHost.h"
#include "console/CommandInterpreter.h"
#include "console/CommandTable.h"
#include "console/Console.h"
#include "e3d/View.h"
#include "e3d/Viewport.h"
#include "platform/d3d/D3DDeviceState.h"
#include "platform/display/Display.h"
#include "tests/support/UnitWorld.h"
#include "tests/support/XServer.h"
#include "ui/Interface.h"
#include "world/Player.h"
#include "world/Unit.h"
#include "world/UnitOrder.h"
#include "world/WorldCommands.h"

namespace {

constexpr int kWidth = 640, kHeight = 480;

// The game around the input manager and the interface: the window's cursor
// and focus, a console, the running game's state, the game view's viewport,
// and the mouse events handed to the interface with the buttons and
// modifiers of the moment, as the game object does.
class CMouseGame : public IInputHost,
                   public ICommandHost,
                   public IConsoleHost,
                   public IInterfaceState,
                   public IInterfaceScreen {
public:
    explicit CMouseGame(CDisplayWindow* window) : m_window(window), console(this), ui(Roles()) {
        console.Init(CConsole::kScrollBackLines, 17, 8);
        input = std::make_unique<CInputManager>(nullptr, this, this);
        CCommandInterpreter* ip = input->Interpreter();
        RegisterScriptCommands(ip);
        CommandArea_Get(kAreaInput)(ip);
        // The running game's mouse bindings (Commands_Game.cfg).
        for (const char* line : {"Bind(\"MOUSE_BUTTON1\", \"m_SetLB(true);\");",
                                 "Bind(Up, \"\", \"MOUSE_BUTTON1\", \"m_SetLB(false);\");",
                                 "Bind(DBLCLK, \"\", \"MOUSE_BUTTON1\", \"m_DoubleClick();\");",
                                 "Bind(\"MOUSE_BUTTON2\", \"m_SetRB(true);\");",
                                 "Bind(Up, \"\", \"MOUSE_BUTTON2\", \"m_SetRB(false);\");"})
            ip->Execute(false, line);
        input->Startup();
    }

    // IInputHost
    uint64_t Now() override {
        return uint64_t(
            std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count() *
            1193182.0);
    }
    float FrameTime() override { return 0.02f; }
    bool HasFocus() override { return m_window->HasInputFocus(); }
    uint8_t* KeyboardSwitch() override { return &m_keyboard; }
    uint8_t* MouseSwitch() override { return &m_mouse; }
    uint8_t* InputDebugSwitch() override { return &m_debug; }
    void ScreenSize(int* w, int* h) override { *w = kWidth, *h = kHeight; }
    bool Windowed() override { return true; }
    bool SystemCursor(int* x, int* y, uint32_t* buttons) override {
        *buttons = Display_GetMouseState(x, y) & 7;
        return true;
    }
    void ShowSystemCursor(bool) override {}
    void SetInterfaceCursor(int x, int y) override {
        ui.m_cursorX = x;
        ui.m_cursorY = y;
    }
    void UpdateCursorRay(float, float) override {}
    bool RenderFrames() override { return true; }
    bool InterfaceScreenActive() override { return false; }
    bool FullConsole() override { return false; }
    float ScrollSpeed() override { return 1.0f; }
    void ScrollView(float, float, float, float) override {}
    void ContextFacts(SInputContextFacts&) override {}
    CConsole* Console() override { return &console; }
    CStrBuf* SettingsEditString() override { return nullptr; }
    void MouseEvent(int code) override {
        ui.m_mouseState.left = input->m_leftButton;
        ui.m_mouseState.right = input->m_rightButton;
        ui.m_mouseState.shift = input->Keys().m_shift;
        ui.m_mouseState.ctrl = input->Keys().m_control;
        ui.OnMouseEvent(code, ui.m_cursorX, ui.m_cursorY);
    }
    bool MapEditMode() override { return false; }
    const char* GetPath(const char*, const char* name) override { return name; }
    // IInterfaceState: a running game; the queue mode while Shift is held
    int32_t GuiWord() override { return 0; }
    int32_t GameState() override { return 2; }
    uint32_t OrderModes() override { return input && input->Keys().m_shift ? kCommandQueue : 0u; }
    // IInterfaceScreen: only the game view's viewport
    CE3DSurface* BackSurface() override { return nullptr; }
    void ClearScreen() override {}
    void Redraw() override {}
    CE3DFont* GetFont(const char*, int, int, int, int, int) override { return nullptr; }
    CE3DScreen* Screen() override { return nullptr; }
    CE3DViewport* Viewport() override { return viewport; }
    SInterfaceRoles Roles() {
        SInterfaceRoles r;
        r.state = this;
        r.screen = this;
        return r;
    }
    // ICommandHost
    uint32_t GetGameStateBits() override { return 0; }
    CConsole* GetConsole() override { return &console; }
    // IConsoleHost
    uint64_t ConsoleClockNow() override { return Now(); }
    uint64_t ConsoleClockFrequency() override { return 1193182; }
    CCommandInterpreter* ConsoleInterpreter() override { return input->Interpreter(); }
    void ConsoleSendChat(const char*) override {}

    // Frames of input until done() holds or the seconds ran out.
    bool RunUntil(const std::function<bool()>& done, double seconds = 5.0) {
        auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        do {
            Display_PumpEvents();
            input->ProcessInput();
            if (done()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        } while (std::chrono::steady_clock::now() < end);
        return false;
    }

    CDisplayWindow* m_window;
    uint8_t m_keyboard = 0, m_mouse = 1, m_debug = 0;
    CConsole console;
    CE3DViewport* viewport = nullptr;
    CInterface ui;
    std::unique_ptr<CInputManager> input;
};

bool Selected(const CTessarakObject* o) {
    return (o->m_stateA & CTessarakObject::kA_Selected) != 0;
}

CUnitOrder* Front(CUnit* u) {
    return u->m_orderList->LastChild();
}

}  // namespace

TEST(MouseWindow, ClicksDragsAndRightClicksSelectAndOrder) {
    if (!Test_OnPath("Xvfb") || !Test_OnPath("xdotool")) GTEST_SKIP() << "needs Xvfb and xdotool";
    CTestXServer x;
    ASSERT_TRUE(x.Start());
    setenv("DISPLAY", x.Display().c_str(), 1);
    unsetenv("SDL_VIDEODRIVER");

    // The world: red's three light tanks and a harvester, blue's tank, a
    // field of crystals; a game view of the window's size over them.
    CUnitWorld w;
    std::string error;
    ASSERT_TRUE(w.LoadDemoTemplates(error)) << error;
    w.players->m_local = w.red;
    CUnit* a = w.Spawn("Granite_LightTank", -6.0f, 0.0f, w.red);
    CUnit* b = w.Spawn("Granite_LightTank", 4.0f, 2.0f, w.red);
    CUnit* c = w.Spawn("Granite_LightTank", 7.0f, -1.0f, w.red);
    CUnit* enemy = w.Spawn("Coral_LightTank", -2.0f, 8.0f, w.blue);
    const float spotAt[3] = {-8.0f, 0.0f, -6.0f};
    CTessarakObject* spot = w.scene->CreateObjectByClass(w.scene->m_spotTemplate, spotAt,
                                                         w.players->m_neutral, w.scene->m_idTable.NewId());
    CUnit* harvester = w.Spawn("Granite_Harvester", -9.0f, 3.0f, w.red);
    ASSERT_TRUE(a && b && c && enemy && spot && harvester);
    CE3DViewport view(nullptr);
    view.SetRect(0, 0, kWidth, kHeight);
    view.m_view->LookAt(D3DVECTOR{0.0f, 30.0f, -20.0f}, D3DVECTOR{0.0f, 0.0f, 0.0f}, 0.0f);
    view.m_view->SetProjection(1.0f, 200.0f, 1.0471976f, float(kWidth) / float(kHeight), true);
    view.m_combined = D3D_Multiply(view.m_view->view, view.m_view->projection);
    auto pixel = [&](float px, float pz) {
        int32_t p[2] = {0, 0};
        view.ProjectPoint(p, D3DVECTOR{px, 0.0f, pz});
        return std::to_string(p[0]) + " " + std::to_string(p[1]);
    };
    auto at = [&](CTessarakObject* o) { return pixel(o->m_position[0], o->m_position[2]); };

    std::unique_ptr<CDisplayWindow> window(CDisplayWindow::Create("Tessarak mouse test", kWidth, kHeight));
    ASSERT_NE(window, nullptr);
    CMouseGame game(window.get());
    game.viewport = &view;
    game.ui.SetWorld(&w.world);
    window->Raise();
    std::string id = x.Shell("timeout 10 xdotool search --sync --name '^Tessarak mouse test$' | head -1");
    ASSERT_FALSE(id.empty());
    id.pop_back();
    x.Shell("xdotool windowfocus --sync " + id);
    auto mouse = [&](const std::string& what) { x.Shell("xdotool " + what); };
    // The window has the focus and the pointer: the mouse device reads.
    mouse("mousemove --window " + id + " 320 240");
    ASSERT_TRUE(game.RunUntil([&] { return game.input->Devices().MouseAcquired(); }));

    // A click on a tank selects it.
    mouse("mousemove --window " + id + " " + at(a) + " click 1");
    EXPECT_TRUE(game.RunUntil([&] { return Selected(a); })) << "at " << at(a);
    EXPECT_FALSE(Selected(b) || Selected(c));

    // A box dragged over the other two selects them instead.
    mouse("mousemove --window " + id + " " + pixel(2.0f, 5.0f) + " mousedown 1");
    game.RunUntil([&] { return game.ui.m_boxActive != 0; });
    for (float f : {0.25f, 0.5f, 0.75f, 1.0f}) {
        mouse("mousemove --window " + id + " " + pixel(2.0f + 8.0f * f, 5.0f - 9.0f * f));
        game.RunUntil([] { return false; }, 0.05);
    }
    mouse("mouseup 1");
    EXPECT_TRUE(game.RunUntil([&] { return Selected(b) && Selected(c); }));
    EXPECT_FALSE(Selected(a));
    EXPECT_FALSE(game.ui.m_boxActive);

    // A right click on the ground moves them there.
    mouse("mousemove --window " + id + " " + pixel(0.0f, -10.0f) + " click 3");
    ASSERT_TRUE(game.RunUntil([&] { return Front(b) && Front(c); }));
    for (CUnit* u : {b, c}) {
        EXPECT_EQ(Front(u)->m_type, CUnitOrder::kMove);
        EXPECT_NEAR(Front(u)->m_target[2], -10.0f, 2.5f);
    }
    EXPECT_EQ(Front(a), nullptr);

    // On the enemy they attack it.
    mouse("mousemove --window " + id + " " + at(enemy) + " click 3");
    ASSERT_TRUE(game.RunUntil([&] { return Front(b) && Front(b)->m_type == CUnitOrder::kAttack; }));
    EXPECT_EQ(static_cast<CAttackOrder*>(Front(b))->m_targetLink.Get(), enemy);
    EXPECT_EQ(Front(c)->m_type, CUnitOrder::kAttack);

    // The harvester, clicked, on the crystals harvests them.
    mouse("mousemove --window " + id + " " + at(harvester) + " click 1");
    ASSERT_TRUE(game.RunUntil([&] { return Selected(harvester) && !Selected(b); }));
    mouse("mousemove --window " + id + " " + at(spot) + " click 3");
    ASSERT_TRUE(game.RunUntil([&] { return Front(harvester) != nullptr; }));
    ASSERT_EQ(Front(harvester)->m_type, CUnitOrder::kHarvest);
    EXPECT_EQ(static_cast<CHarvestOrder*>(Front(harvester))->m_resource.Get(), spot);

    // A box keeps its start on the ground it began on while the view moves
    // under it (each frame projects it, after the scene): with the view at
    // rest the pressed pixel stays exactly; once the view has moved 6 to
    // the east the start lies where that ground shows now, and the release
    // takes the tanks between that ground and the mouse.
    // More than the double click's half second after the harvester's click,
    // so the press starts a box (a double click would select every unit).
    game.RunUntil([] { return false; }, 0.6);
    mouse("mousemove --window " + id + " " + pixel(1.0f, 5.0f) + " mousedown 1");
    ASSERT_TRUE(game.RunUntil([&] { return game.ui.m_boxActive != 0; }));
    mouse("mousemove --window " + id + " " + pixel(-4.0f, 2.0f));
    game.RunUntil([] { return false; }, 0.1);
    int32_t pressed[2];
    view.ProjectPoint(pressed, D3DVECTOR{1.0f, 0.0f, 5.0f});
    game.ui.ProjectSelection();
    EXPECT_NEAR(game.ui.m_boxStartScreen[0], pressed[0], 1);
    EXPECT_NEAR(game.ui.m_boxStartScreen[1], pressed[1], 1);
    const int32_t still[2] = {game.ui.m_boxStartScreen[0], game.ui.m_boxStartScreen[1]};
    game.ui.ProjectSelection();
    EXPECT_EQ(game.ui.m_boxStartScreen[0], still[0]);
    EXPECT_EQ(game.ui.m_boxStartScreen[1], still[1]);
    view.m_view->LookAt(D3DVECTOR{6.0f, 30.0f, -20.0f}, D3DVECTOR{6.0f, 0.0f, 0.0f}, 0.0f);
    view.m_combined = D3D_Multiply(view.m_view->view, view.m_view->projection);
    game.ui.ProjectSelection();
    int32_t moved[2];
    view.ProjectPoint(moved, D3DVECTOR{1.0f, 0.0f, 5.0f});
    EXPECT_LT(moved[0], pressed[0] - 40);  // the ground went west on the screen
    EXPECT_NEAR(game.ui.m_boxStartScreen[0], moved[0], 2);
    EXPECT_NEAR(game.ui.m_boxStartScreen[1], moved[1], 2);
    // The mouse now shows the ground at (2, 2): the box from (1, 5) to there
    // holds no unit (the pressed pixel, now over (7, 5), would have reached
    // the tank at (4, 2)).
    mouse("mouseup 1");
    EXPECT_TRUE(game.RunUntil([&] { return !game.ui.m_boxActive; }));
    EXPECT_FALSE(Selected(a) || Selected(b) || Selected(c));
}
