// An X server of a test's own (Xvfb): windows that the test drives with real
// X events (xdotool) meet no other window that could take the keyboard
// focus meanwhile.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "tests/support/Process.h"

// A window's picture: width x height pixels of three bytes (red, green,
// blue), rows from the top.
struct STestShot {
    int width = 0, height = 0;
    std::vector<unsigned char> rgb;
    bool Valid() const { return width > 0 && rgb.size() >= static_cast<size_t>(width) * height * 3; }
    const unsigned char* At(int x, int y) const { return &rgb[(static_cast<size_t>(y) * width + x) * 3]; }
};

// Pixels of the shot's rectangle [x0, x1) x [y0, y1) whose colour (r, g, b
// bytes) passes the test.
template <class Test>
int Test_CountPixels(const STestShot& s, int x0, int y0, int x1, int y1, Test test) {
    int n = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) n += test(s.At(x, y)) ? 1 : 0;
    return n;
}

class CTestXServer {
public:
    CTestXServer() = default;
    ~CTestXServer() { m_server.Stop(); }
    CTestXServer(const CTestXServer&) = delete;
    CTestXServer& operator=(const CTestXServer&) = delete;

    // Starts Xvfb (1280 x 1024, 24 bits, no TCP); false when it does not run.
    // The server picks a free display itself. A display whose lock file is
    // gone while its server still runs makes it give up, not try the next:
    // then numbers of our own are tried.
    bool Start();
    // ":N" once started, else "".
    const std::string& Display() const { return m_display; }
    // Runs a command line against this server: its standard output.
    std::string Shell(const std::string& command) const;
    // The window's picture as it shows now (ImageMagick's import); not Valid
    // when it could not be taken.
    STestShot Screenshot(const std::string& window) const;
    // Asks the window to close as a window manager's close button does (the
    // WM_DELETE_WINDOW message of its protocols); false when the message
    // could not be sent.
    bool CloseWindow(const std::string& window) const;

private:
    bool StartOn(const char* display);

    CTestProcess m_server;
    std::string m_display;
};

// Whether a tool is on the PATH.
bool Test_OnPath(const char* tool);

// Screenshots of the window until one of the game's 640 x 480 frames passes
// the check (the frames catch up with the events); the last one taken when
// none did within the seconds.
STestShot Test_ShotUntil(const CTestXServer& x, const std::string& window,
                         const std::function<bool(const STestShot&)>& check, double seconds);
// A click of the left button at the window's point, the mouse moved there.
void Test_ClickAt(const CTestXServer& x, const std::string& window, int px, int py);
