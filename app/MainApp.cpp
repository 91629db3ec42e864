#include "app/MainApp.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "app/FramePacing.h"
#include "app/Game.h"
#include "app/GameClock.h"
#include "app/GameServices.h"
#include "platform/display/Display.h"
#include "platform/sys/Clock.h"

CMainDialog* g_pMainWindow = nullptr;
CMainApp* g_pMainApp = nullptr;

static bool s_quit = false;
static int s_exitCode = 0;
static std::string s_commandLine;

const char* Game_CommandLine() {
    return s_commandLine.c_str();
}

// ---------------------------------------------------------------------------

static void MainWindowListener(const SDisplayEvent& event, void* context) {
    static_cast<CMainDialog*>(context)->OnEvent(event);
}

CMainDialog::CMainDialog() {}

CMainDialog::~CMainDialog() {
    if (m_listener) Display_RemoveListener(m_listener);
    delete m_window;
}

bool CMainDialog::Create() {
    if (!Display_Init()) return false;
    m_window = CDisplayWindow::Create("Tessarak", 640, 480);
    if (!m_window) return false;
    // Dragging an edge stops at this size; the game view is never smaller.
    m_window->SetMinimumSize(kMinClientSize, kMinClientSize);
    m_listener = Display_AddListener(MainWindowListener, this);
    return true;
}

void CMainDialog::ShowForGame(bool minimized) {
    if (!m_window) return;
    if (minimized)
        m_window->Minimize();
    else
        m_window->Raise();
}

void CMainDialog::Destroy() {
    delete g_pMainWindow;
    g_pMainWindow = nullptr;
}

void CMainDialog::OnEvent(const SDisplayEvent& event) {
    CGame* game = g_pGame;
    switch (event.type) {
        case EDisplayEvent::Quit:
        case EDisplayEvent::WindowClose:
            g_StopFlag = 1;
            delete g_pGame;
            g_pGame = nullptr;
            CMainApp::PostQuitMessage(0);
            break;
        case EDisplayEvent::WindowResized:
            if (game && !game->IsShutDown() && !game->ModeSwitch() && !Game_ScreenSwitchingModes(game)) {
                int w = event.width < kMinClientSize ? kMinClientSize : event.width;
                int h = event.height < kMinClientSize ? kMinClientSize : event.height;
                game->Lock();
                Game_ResizeView(game, w, h);
                game->Unlock();
            }
            break;
        case EDisplayEvent::FocusGained:
            m_hasFocus = true;
            break;
        case EDisplayEvent::FocusLost:
            m_hasFocus = false;
            if (game && !game->IsShutDown() && !game->ModeSwitch()) Game_FocusLost(game);
            break;
        case EDisplayEvent::Exposed:
            if (game && !Game_ScreenSwitchingModes(game) && Game_ScreenWindowed(game)) game->Redraw();
            break;
        default:
            break;
    }
}

// ---------------------------------------------------------------------------

CMainApp::CMainApp() {
    g_pMainWindow = nullptr;
    g_pGame = nullptr;
    g_pMainApp = this;
}

CMainApp::~CMainApp() {
    delete g_pGame;
    CMainDialog::Destroy();
    if (g_pMainApp == this) g_pMainApp = nullptr;
}

bool CMainApp::InitInstance(const char* commandLine) {
    s_commandLine = commandLine ? commandLine : "";
    std::srand((unsigned)Sys_GetWallTime());
    Game_SetFloatMode();

    g_pMainWindow = new CMainDialog;
    if (!g_pMainWindow->Create()) {
        std::fprintf(stderr, "Tessarak: the main window could not be created.\n");
        CMainDialog::Destroy();
        return false;
    }
    new CGame(nullptr, "No datafile");
    if (!g_pGame) return false;
    g_pGame->Startup(1);
    return true;
}

bool CMainApp::OnIdle(long) {
    if (!g_StopFlag && g_pGame) g_pGame->Frame();
    return true;
}

// When the player last pressed a key or moved or clicked the mouse (the
// performance counter): the menus run fewer frames while nobody does.
static int64_t s_lastInput = 0;

static void InputListener(const SDisplayEvent& event, void*) {
    if (event.type >= EDisplayEvent::KeyDown) s_lastInput = Sys_QueryPerformanceCounter();
}

int CMainApp::Run() {
    // Nobody has touched anything yet.
    s_lastInput = Sys_QueryPerformanceCounter() - 60 * Sys_QueryPerformanceFrequency();
    int listener = Display_AddListener(InputListener, nullptr);
    for (long count = 0; !s_quit; ++count) {
        Display_PumpEvents();
        if (s_quit) break;
        int64_t frameStart = Sys_QueryPerformanceCounter();
        OnIdle(count);
        // Until the next frame or tick is due, the loop waits for events
        // (and hands them on as they come) instead of spinning; the clock
        // learns how long, which is no cost of the frame.
        int64_t waitStart = Sys_QueryPerformanceCounter();
        for (;;) {
            int64_t now = Sys_QueryPerformanceCounter();
            int wait = s_quit || g_StopFlag
                           ? 0
                           : Game_MillisecondsToNextFrame(g_pGame, frameStart, now, s_lastInput);
            if (wait <= 0) break;
            Display_WaitEvents(wait);
        }
        if (!s_quit && !g_StopFlag && g_pGame && g_pGame->Clock())
            g_pGame->Clock()->m_waitBefore =
                static_cast<float>(static_cast<double>(Sys_QueryPerformanceCounter() - waitStart) /
                                   static_cast<double>(Sys_QueryPerformanceFrequency()));
    }
    Display_RemoveListener(listener);
    return s_exitCode;
}

void CMainApp::PostQuitMessage(int code) {
    s_quit = true;
    s_exitCode = code;
}
