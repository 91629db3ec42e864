// The input manager's view of the running game: focus, screen, cursor,
// interface and console, all over g_pGame.
#include "app/Game.h"
#include "app/GameClock.h"
#include "app/GameView.h"
#include "app/InputManager.h"
#include "app/Progress.h"
#include "console/CommandInterpreter.h"
#include "console/Console.h"
#include "platform/display/Display.h"
#include "platform/sys/Clock.h"
#include "ui/Interface.h"

namespace {

class CGameInputHost : public IInputHost {
public:
    explicit CGameInputHost(CGame* game) : m_game(game) {}

    uint64_t Now() override { return static_cast<uint64_t>(Sys_QueryPerformanceCounter()); }
    float FrameTime() override;
    bool HasFocus() override { return m_game && m_game->HasFocus(); }
    uint8_t* KeyboardSwitch() override {
        return m_game ? &m_game->Variables().kbDirectInput : &m_fallback[0];
    }
    uint8_t* MouseSwitch() override { return m_game ? &m_game->Variables().mDirectInput : &m_fallback[1]; }
    uint8_t* InputDebugSwitch() override { return m_game ? &m_game->Variables().inputDebug : &m_fallback[2]; }
    void ScreenSize(int* width, int* height) override {
        CGameView* view = m_game ? m_game->GameView() : nullptr;
        *width = view ? view->m_viewRect[2] : 640;
        *height = view ? view->m_viewRect[3] : 480;
    }
    bool Windowed() override {
        CGameView* view = m_game ? m_game->GameView() : nullptr;
        return !view || view->m_windowed;
    }
    bool SystemCursor(int* x, int* y, uint32_t* buttons) override {
        if (!Windowed()) return false;
        uint32_t bits = Display_GetMouseState(x, y);
        // Window-system bits: button n is bit n - 1 (left, middle, right).
        *buttons = bits & 7;
        return true;
    }
    void ShowSystemCursor(bool show) override { Display_ShowCursor(show); }
    void SetInterfaceCursor(int x, int y) override {
        if (!m_game || !m_game->Interface()) return;
        m_game->CritSect().Enter();
        m_game->Interface()->m_cursorX = x;
        m_game->Interface()->m_cursorY = y;
        m_game->CritSect().Leave();
    }
    void UpdateCursorRay(float x, float y) override {
        if (m_game && m_game->GameView()) m_game->GameView()->UpdateCursorRay(x, y);
    }
    bool RenderFrames() override { return m_game && m_game->GuiWord() == 0 && m_game->GameState() == 2; }
    bool InterfaceScreenActive() override {
        return m_game && m_game->Interface() && m_game->Interface()->m_activeGUI != 1000;
    }
    bool FullConsole() override {
        return m_game && m_game->Interface() && m_game->Interface()->m_fullConsole;
    }
    float ScrollSpeed() override {
        return m_game && m_game->Interface() ? m_game->Interface()->m_scrollSpeed : 1.0f;
    }
    bool PointerInWindow() override { return !Windowed() || Display_PointerInWindow(); }
    float ViewReach() override {
        CInterface* ui = m_game ? m_game->Interface() : nullptr;
        return ui ? ui->m_camera.m_distance * ui->m_camera.m_zoom : 1.0f;
    }
    void ScrollView(float vx, float vz, float arrowX, float arrowZ) override {
        if (m_game && m_game->GameView())
            m_game->GameView()->ScrollCamera(vx, vz, arrowX, arrowZ, FrameTime());
    }
    void UpdateInterfaceContext() override {
        CInterface* ui = m_game ? m_game->Interface() : nullptr;
        if (!ui) return;
        ui->UpdateGUIContext();
        // Outside render frames there is no mini console.
        if (!RenderFrames())
            if (CConsole* console = Console()) console->m_mini = 0;
    }
    void ContextFacts(SInputContextFacts& f) override {
        if (!m_game) return;
        CConsole* console = Console();
        CInterface* ui = m_game->Interface();
        f.progressActive = g_ProgressTop != nullptr;
        f.consoleVisible = console && console->IsVisible();
        f.miniConsole = console && console->m_mini;
        f.guiWord = m_game->GuiWord();
        f.gameState = m_game->GameState();
        f.gameScreen = ui && ui->m_gameScreen;
        f.activeGUI = ui ? ui->m_activeGUI : 1000;
        f.interfaceMode = ui ? ui->m_mode : 0;
        f.guiBindingFile = ui ? ui->m_guiBindingFile.GetText() : "";
        f.emitterEdit = m_game->Variables().emitterEditMode != 0;
        f.mapEdit = m_game->Variables().mapEditMode != 0;
        f.videoPlaying = m_game->FullScreenVideo() != nullptr;
    }
    CConsole* Console() override {
        CInputManager* input = m_game ? m_game->InputManager() : nullptr;
        return input && input->Interpreter() ? input->Interpreter()->GetConsole() : nullptr;
    }
    CStrBuf* SettingsEditString() override {
        CInterface* ui = m_game ? m_game->Interface() : nullptr;
        return ui && ui->m_mode == 3 ? &ui->m_settingsEdit : nullptr;
    }
    void MouseEvent(int code) override {
        CInterface* ui = m_game ? m_game->Interface() : nullptr;
        if (!ui) return;
        // The dispatch reads the buttons and modifiers as they are now.
        if (CInputManager* input = m_game->InputManager()) {
            ui->m_mouseState.left = input->m_leftButton;
            ui->m_mouseState.right = input->m_rightButton;
            ui->m_mouseState.shift = input->Keys().m_shift;
            ui->m_mouseState.ctrl = input->Keys().m_control;
            ui->m_mouseState.dy = input->m_mouseMoveY;
        }
        ui->OnMouseEvent(code, ui->m_cursorX, ui->m_cursorY);
    }
    int CodePage() override { return m_game ? m_game->CodePage() : 1252; }
    bool MapEditMode() override { return m_game && m_game->Variables().mapEditMode; }
    const char* GetPath(const char* subFolder, const char* name) override {
        return m_game ? m_game->GetPath(subFolder, name) : name;
    }

private:
    CGame* m_game;
    uint8_t m_fallback[3] = {1, 1, 0};
};

float CGameInputHost::FrameTime() {
    return m_game && m_game->Clock() ? m_game->Clock()->m_frameTime : 0.0f;
}

}  // namespace

IInputHost* Input_CreateGameHost(CGame* game) {
    return new CGameInputHost(game);
}

CInputManager::CInputManager(CGame* game, ICommandHost* commandHost)
    : CInputManager(game, Input_CreateGameHost(game), commandHost, true) {}
