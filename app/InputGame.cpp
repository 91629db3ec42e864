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
    bool HasFocus() override { return m_game && m_game->m_hasFocus; }
    uint8_t* KeyboardSwitch() override { return m_game ? &m_game->m_kbDirectInput : &m_fallback[0]; }
    uint8_t* MouseSwitch() override { return m_game ? &m_game->m_mDirectInput : &m_fallback[1]; }
    uint8_t* InputDebugSwitch() override { return m_game ? &m_game->m_inputDebug : &m_fallback[2]; }
    void ScreenSize(int* width, int* height) override {
        CGameView* view = m_game ? m_game->m_gameView : nullptr;
        *width = view ? view->m_viewRect[2] : 640;
        *height = view ? view->m_viewRect[3] : 480;
    }
    bool Windowed() override {
        CGameView* view = m_game ? m_game->m_gameView : nullptr;
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
        if (!m_game || !m_game->m_interface) return;
        m_game->m_critSect.Enter();
        m_game->m_interface->m_cursorX = x;
        m_game->m_interface->m_cursorY = y;
        m_game->m_critSect.Leave();
    }
    void UpdateCursorRay(float x, float y) override {
        if (m_game && m_game->m_gameView) m_game->m_gameView->UpdateCursorRay(x, y);
    }
    bool RenderFrames() override { return m_game && m_game->m_guiWord == 0 && m_game->m_gameState == 2; }
    bool InterfaceScreenActive() override {
        return m_game && m_game->m_interface && m_game->m_interface->m_activeGUI != 1000;
    }
    bool FullConsole() override {
        return m_game && m_game->m_interface && m_game->m_interface->m_fullConsole;
    }
    float ScrollSpeed() override {
        return m_game && m_game->m_interface ? m_game->m_interface->m_scrollSpeed : 1.0f;
    }
    void ScrollView(float vx, float vz, float arrowX, float arrowZ) override {
        if (m_game && m_game->m_gameView)
            m_game->m_gameView->ScrollCamera(vx, vz, arrowX, arrowZ, FrameTime());
    }
    void UpdateInterfaceContext() override {
        CInterface* ui = m_game ? m_game->m_interface : nullptr;
        if (!ui) return;
        if (ui->m_mode == 3)
            ui->m_guiBindingFile = "Commands_GUISetting.cfg";
        else if (ui->m_guiBindingFile.IsEmpty() ||
                 ui->m_guiBindingFile.EqualsNoCase("Commands_GUISetting.cfg"))
            ui->m_guiBindingFile = "Commands_GUI.cfg";
        // Outside render frames there is no mini console.
        if (!RenderFrames())
            if (CConsole* console = Console()) console->m_mini = 0;
    }
    void ContextFacts(SInputContextFacts& f) override {
        if (!m_game) return;
        CConsole* console = Console();
        CInterface* ui = m_game->m_interface;
        f.progressActive = g_ProgressTop != nullptr;
        f.consoleVisible = console && console->IsVisible();
        f.miniConsole = console && console->m_mini;
        f.guiWord = m_game->m_guiWord;
        f.gameState = m_game->m_gameState;
        f.gameScreen = ui && ui->m_gameScreen;
        f.activeGUI = ui ? ui->m_activeGUI : 1000;
        f.interfaceMode = ui ? ui->m_mode : 0;
        f.guiBindingFile = ui ? ui->m_guiBindingFile.GetText() : "";
        f.emitterEdit = m_game->m_emitterEditMode != 0;
        f.mapEdit = m_game->m_mapEditMode != 0;
        f.videoPlaying = m_game->m_fullScreenVideo != nullptr;
    }
    CConsole* Console() override {
        CInputManager* input = m_game ? m_game->m_inputManager : nullptr;
        return input && input->Interpreter() ? input->Interpreter()->GetConsole() : nullptr;
    }
    CStrBuf* SettingsEditString() override {
        CInterface* ui = m_game ? m_game->m_interface : nullptr;
        return ui && ui->m_mode == 3 ? &ui->m_settingsEdit : nullptr;
    }
    void MouseEvent(int code) override {
        CInterface* ui = m_game ? m_game->m_interface : nullptr;
        if (ui) ui->OnMouseEvent(code, ui->m_cursorX, ui->m_cursorY);
    }
    int CodePage() override { return m_game ? m_game->m_codePage : 1252; }
    bool MapEditMode() override { return m_game && m_game->m_mapEditMode; }
    const char* GetPath(const char* subFolder, const char* name) override {
        return m_game ? m_game->GetPath(subFolder, name) : name;
    }

private:
    CGame* m_game;
    uint8_t m_fallback[3] = {1, 1, 0};
};

float CGameInputHost::FrameTime() {
    return m_game && m_game->m_clock ? m_game->m_clock->m_frameTime : 0.0f;
}

}  // namespace

IInputHost* Input_CreateGameHost(CGame* game) {
    return new CGameInputHost(game);
}

CInputManager::CInputManager(CGame* game, ICommandHost* commandHost)
    : CInputManager(game, Input_CreateGameHost(game), commandHost, true) {}
