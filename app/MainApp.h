// The application object and the main window.
//
// CMainApp is the process: it creates the main window (hidden until start-up
// has run), creates the one CGame and runs its start-up, then drives every
// frame from its idle handler. There is no loop of our own beyond that: each
// turn pumps the window events without waiting and, while the stop flag is
// clear, runs one CGame::Frame. Closing the window sets the stop flag, deletes
// the game (which shuts down in order) and ends the loop with exit code 0.
#pragma once

#include <cstdint>

class CDisplayWindow;
struct SDisplayEvent;

class CMainDialog {
public:
    // The smallest client area, across and down, the window can be sized to.
    enum { kMinClientSize = 100 };

    CMainDialog();
    ~CMainDialog();

    // Creates the window; false when no window can be had.
    bool Create();
    // Shows the window once start-up is done, minimized when asked.
    void ShowForGame(bool minimized);
    CDisplayWindow* Window() const { return m_window; }
    bool HasFocus() const { return m_hasFocus; }
    // Tears the main window down (the fatal exit's last step).
    static void Destroy();

    // Window events: close, focus, resize, expose.
    void OnEvent(const SDisplayEvent& event);

private:
    CDisplayWindow* m_window = nullptr;
    int m_listener = 0;
    bool m_hasFocus = false;
};

class CMainApp {
public:
    CMainApp();
    ~CMainApp();

    // Seeds the random generator, creates the main window and the game and
    // runs the game's start-up. False when the window or the game could not
    // be made.
    bool InitInstance(const char* commandLine);
    // One idle turn: runs a frame unless the stop flag is set. Always true.
    bool OnIdle(long count);
    // Pumps events and idles until the quit message; returns the exit code.
    int Run();
    // Ends Run with the given code (the quit message).
    static void PostQuitMessage(int code);
};

extern CMainDialog* g_pMainWindow;
extern CMainApp* g_pMainApp;

// The text after the program name (the language name).
const char* Game_CommandLine();
