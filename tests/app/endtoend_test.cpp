// The running game driven by real X events: xdotool opens the console, types
// a command, edits it with the bound keys, runs it, clicks the mouse, and
// changes the windowed mode by command and back; the results are read from
// the game's standard output and from screenshots of its window. The test
// starts an X server of its own (Xvfb), so that no other window takes the
// keyboard focus meanwhile; without Xvfb, xdotool or ImageMagick's import it
// is skipped.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/Installation.h"
#include "tests/support/Process.h"
#include "tests/support/TempDir.h"
#include "tests/support/XServer.h"

namespace {

using Clock = std::chrono::steady_clock;

CTestXServer* g_x = nullptr;  // the test's own X server

std::string Shell(const std::string& command) {
    return g_x ? g_x->Shell(command) : std::string();
}

// Runs the game of the installation in folder, with a home of its own there.
bool StartGame(CTestProcess& game, const std::string& folder) {
    SProcessOptions options;
    options.program = folder + "/System/Tessarak";
    options.workDir = folder + "/System";
    options.env = {{"DISPLAY", g_x->Display()},
                   {"LIBGL_ALWAYS_SOFTWARE", "1"},
                   {"SDL_AUDIODRIVER", "dummy"},
                   {"HOME", folder + "/home"},
                   {"XDG_CONFIG_HOME", folder + "/home/config"},
                   {"XDG_DATA_HOME", folder + "/home/data"}};
    return game.Start(options);
}

// Drawn pixels in the bottom quarter of the window: the console lays its
// newest lines out there, so they show that drawing follows the new size.
bool DrawsNearTheBottom(const STestShot& s) {
    if (!s.Valid()) return false;
    for (int y = s.height * 3 / 4; y < s.height; ++y)
        for (int x = 0; x < s.width; ++x) {
            const unsigned char* p = s.At(x, y);
            if (p[0] > 64 || p[1] > 64 || p[2] > 64) return true;
        }
    return false;
}

// The window's picture once it is the width wide and the console draws near
// its bottom (the game draws at a new size from its next frames on); the
// last picture taken when that does not come within the time.
STestShot ShotOnceDrawn(const std::string& window, int width, double seconds = 10.0) {
    auto until = Clock::now() + std::chrono::duration<double>(seconds);
    STestShot shot = g_x->Screenshot(window);
    while (!(shot.width == width && DrawsNearTheBottom(shot)) && Clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        shot = g_x->Screenshot(window);
    }
    return shot;
}

bool WaitForGeometry(const std::string& window, int width, int height) {
    char want[64];
    std::snprintf(want, sizeof want, "Geometry: %dx%d", width, height);
    for (int i = 0; i < 100; ++i) {
        if (Shell("xdotool getwindowgeometry " + window).find(want) != std::string::npos) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

}  // namespace

TEST(EndToEnd, ConsoleKeysMouseAndModeChange) {
    if (!Test_OnPath("Xvfb") || !Test_OnPath("xdotool") || !Test_OnPath("import"))
        GTEST_SKIP() << "needs Xvfb, xdotool and ImageMagick";
    // The game saves its settings at the end: it runs in a copy of the
    // installation, so that no other run reads them.
    CTempDir installation;
    if (!Test_CopyInstallation(installation)) FAIL() << "the game is not built";
    // The console alone, without the demo's game.
    installation.Write("Tessarak/Scripts/Autoexec.cfg", "echo(\"Tessarak is ready.\");\n");

    CTestXServer x;
    ASSERT_TRUE(x.Start());
    g_x = &x;
    CTestProcess game;
    ASSERT_TRUE(StartGame(game, installation.Path()));
    ASSERT_TRUE(game.WaitForLine("Tessarak is ready.", 60)) << game.Output();
    std::string window = Shell("timeout 30 xdotool search --sync --name '^Tessarak$' | head -1");
    ASSERT_FALSE(window.empty());
    window.pop_back();
    Shell("xdotool windowfocus --sync " + window);
    auto key = [](const std::string& keys) {
        Shell("xdotool key --delay 40 " + keys);
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
    };
    auto type = [](const std::string& text) {
        Shell("xdotool type --delay 30 '" + text + "'");
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
    };

    // Escape closes the console if it is open (and does nothing otherwise);
    // the console key opens it.
    key("Escape");
    key("grave");
    // Type with mistakes, then mend them with the command line's keys.
    type("ech(\"e2e-ok-ZZ\")");
    key("Home Right Right Right");
    type("o");
    key("End Left Left BackSpace BackSpace BackSpace");
    key("End");
    type(" junk");
    key("ctrl+shift+Left BackSpace BackSpace");
    auto sent = Clock::now();
    Shell("xdotool key Return");
    ASSERT_TRUE(game.WaitForLine("e2e-ok", 10)) << game.Output();
    double ms = std::chrono::duration<double, std::milli>(Clock::now() - sent).count();
    std::printf("Return to command output: %.0f ms (xdotool included)\n", ms);
    EXPECT_TRUE(game.HasLine("echo(\"e2e-ok\")", true)) << game.Output();

    // The line that ran is the newest of the edit history: Up brings it back.
    key("Up Return");
    for (int i = 0; i < 100 && game.CountLines("e2e-ok") < 2; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(game.CountLines("e2e-ok"), 2) << game.Output();

    // The mouse: the button's key events show with kb_ShowKeys on.
    type("kb_ShowKeys(1);");
    key("Return");
    Shell("xdotool mousemove --window " + window + " 200 150 click 1");
    EXPECT_TRUE(game.WaitForLine("Key Change (259): MOUSE_BUTTON1", 10)) << game.Output();

    // Two windowed sizes and back; the console keeps drawing at each.
    auto windowedSize = [&](int width, int height) {
        char command[96];
        std::snprintf(command, sizeof command, "Vid_Resolution(%d,%d); Vid_Restart();", width, height);
        type(command);
        key("Return");
        ASSERT_TRUE(WaitForGeometry(window, width, height)) << Shell("xdotool getwindowgeometry " + window);
        STestShot shot = ShotOnceDrawn(window, width);
        EXPECT_EQ(shot.width, width);
        EXPECT_TRUE(DrawsNearTheBottom(shot)) << width << "x" << height;
    };
    type("kb_ShowKeys(0);");
    key("Return");
    windowedSize(800, 600);
    windowedSize(640, 480);

    // The window system resizes the window: drawing follows it.
    Shell("xdotool windowsize " + window + " 720 520");
    ASSERT_TRUE(WaitForGeometry(window, 720, 520));
    STestShot resized = ShotOnceDrawn(window, 720);
    EXPECT_EQ(resized.width, 720);
    EXPECT_TRUE(DrawsNearTheBottom(resized));

    // Full screen with the default depth of 16 bits, and back to a window.
    type("Vid_Windowed(0); Vid_Restart();");
    key("Return");
    ASSERT_TRUE(WaitForGeometry(window, 1280, 1024)) << Shell("xdotool getwindowgeometry " + window);
    Shell("xdotool windowfocus --sync " + window);
    type("Vid_Windowed(1); Vid_Restart();");
    key("Return");
    ASSERT_TRUE(WaitForGeometry(window, 640, 480)) << Shell("xdotool getwindowgeometry " + window);
    Shell("xdotool windowfocus --sync " + window);

    // A restart that changes nothing says so.
    type("Vid_Restart();");
    key("Return");
    EXPECT_TRUE(
        game.WaitForLine("Video does not need restarting. To force a restart use vid_ForceRestart();", 10))
        << game.Output();
}
