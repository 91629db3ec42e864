// The skirmish of the start-up script in a window, on an X server of the
// test's own: the map, its units in their team's colour and the console's
// screen lines over them are drawn, and a tank clicked and ordered with real X events (xdotool)
// drives to the place clicked. The camera is put over a point with the
// View_GameScene commands, so that the point is the middle of the window;
// positions are read back through the console (dbg_UnitOut). Without Xvfb,
// xdotool or ImageMagick's import the test is skipped.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/GameRun.h"
#include "tests/support/Installation.h"
#include "tests/support/Process.h"
#include "tests/support/TempDir.h"
#include "tests/support/XServer.h"

namespace {

// Pixels of the rectangle whose colour passes the test.
template <class Test>
int Count(const STestShot& s, int x0, int y0, int x1, int y1, Test test) {
    return Test_CountPixels(s, x0, y0, x1, y1, test);
}

}  // namespace

TEST(PlayWindow, MapUnitsAndTeamColourDrawnAndATankClickedAndOrdered) {
    if (!Test_OnPath("Xvfb") || !Test_OnPath("xdotool") || !Test_OnPath("import"))
        GTEST_SKIP() << "needs Xvfb, xdotool and ImageMagick";
    CTempDir dir;
    if (!Test_CopyInstallation(dir)) FAIL() << "the game program is not built";
    // The shipped start, with a team colour of the test's choice: red, which
    // nothing else on the map has.
    dir.Write(
        "Tessarak/Scripts/Autoexec.cfg",
        "GameMode(GM_Skirmish);\nStartLocalServer();\nColor(230, 20, 20);\nMap(\"Skerry\");\nStartGame();\n");
    CTestXServer x;
    ASSERT_TRUE(x.Start());
    CTestProcess game;
    ASSERT_TRUE(Test_StartGameOn(game, dir, x));
    std::vector<SUnitSeen> units;
    for (int i = 0; i < 120 && units.empty(); ++i) {
        units = Test_ReadUnits(game, 5.0);
        if (units.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
    ASSERT_EQ(units.size(), 4u) << game.Output();
    game.Write("Color();\n");
    ASSERT_TRUE(game.WaitForOutput("Your color is R 230.000000 G 20.000000 B 20.000000", 10))
        << game.Output();
    const std::string window = Test_GameWindow(x);
    ASSERT_FALSE(window.empty());
    // Nothing selected yet: the read-out above chose every unit.
    x.Shell("xdotool mousemove --window " + window + " 600 20");

    // Over the first player's three tanks: grass, and the team's red on the
    // tanks; no red where the map's bare ground is.
    Test_LookAt(game, -20.0f, -22.0f);
    STestShot shot = x.Screenshot(window);
    ASSERT_TRUE(shot.Valid());
    ASSERT_EQ(shot.width, 640);
    auto grass = [](const unsigned char* p) { return p[1] > p[0] + 15 && p[1] > p[2] + 15; };
    auto red = [](const unsigned char* p) {
        return p[0] > 120 && p[0] > 2 * p[1] + 20 && p[0] > 2 * p[2] + 20;
    };
    EXPECT_GT(Count(shot, 0, 0, 640, 480, grass), 640 * 480 / 3);
    EXPECT_GT(Count(shot, 0, 0, 640, 480, red), 60);
    // The tank of map id 11 stands in the middle of the view.
    EXPECT_GT(Count(shot, 280, 200, 360, 280, red), 10);
    Test_LookAt(game, 0.0f, 30.0f);  // the ground far from any unit
    // No red in the game view (the HUD's bar at the bottom, and the radar
    // with the energy gauge at its left at the top right aside), once the
    // start-up's red notices (the fonts built) have left the screen.
    STestShot bare;
    int redOnGround = -1;
    for (int i = 0; i < 60 && redOnGround != 0; ++i) {
        if (i > 0) std::this_thread::sleep_for(std::chrono::milliseconds(250));
        bare = x.Screenshot(window);
        ASSERT_TRUE(bare.Valid());
        redOnGround = Count(bare, 0, 0, 496, 440, red) + Count(bare, 496, 128, 640, 440, red);
    }
    EXPECT_EQ(redOnGround, 0);

    // The console's lines over the game: a line echoed on the screen.
    Test_RunAndDraw(game, "ScreenEcho(\"Over the battlefield\");");
    STestShot console = x.Screenshot(window);
    ASSERT_TRUE(console.Valid());
    auto white = [](const unsigned char* p) { return p[0] > 200 && p[1] > 200 && p[2] > 200; };
    EXPECT_GT(Count(console, 0, 0, 640, 240, white), Count(bare, 0, 0, 640, 240, white) + 40);
    EXPECT_GT(Count(console, 0, 0, 640, 480, grass), 640 * 480 / 3);  // the game shows on

    // A left click on the tank in the middle selects it alone.
    Test_LookAt(game, -20.0f, -22.0f);
    x.Shell("xdotool mousemove --window " + window + " 320 240 click 1");
    std::vector<SUnitSeen> selected;
    for (int i = 0; i < 20 && selected.size() != 1; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        selected = Test_SelectedUnits(game);
    }
    ASSERT_EQ(selected.size(), 1u) << game.Output();
    EXPECT_NEAR(selected[0].x, -20.0f, 0.5f);
    EXPECT_NEAR(selected[0].z, -22.0f, 0.5f);

    // A right click on the ground in the middle of the view, now over
    // (-12, -30): the tank drives there.
    Test_LookAt(game, -12.0f, -30.0f);
    x.Shell("xdotool mousemove --window " + window + " 320 240 click 3");
    bool arrived = false;
    for (int i = 0; i < 60 && !arrived; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        selected = Test_SelectedUnits(game);
        arrived = selected.size() == 1 && std::hypot(selected[0].x + 12.0f, selected[0].z + 30.0f) < 2.5f;
    }
    EXPECT_TRUE(arrived) << game.Output();

    game.Write("Quit();\n");
    EXPECT_EQ(game.Wait(30), 0) << game.Output();
}

// The mini console over a running skirmish: its newest lines show in a band
// at the bottom of the window, the game goes on drawing around them, and
// they go when it is hidden.
TEST(PlayWindow, MiniConsoleDrawsItsLinesOverTheGame) {
    if (!Test_OnPath("Xvfb") || !Test_OnPath("xdotool") || !Test_OnPath("import"))
        GTEST_SKIP() << "needs Xvfb, xdotool and ImageMagick";
    CTempDir dir;
    if (!Test_CopyInstallation(dir)) FAIL() << "the game program is not built";
    ASSERT_TRUE(Test_WriteSkirmishStart(dir));
    CTestXServer x;
    ASSERT_TRUE(x.Start());
    CTestProcess game;
    ASSERT_TRUE(Test_StartGameOn(game, dir, x));
    ASSERT_FALSE(Test_UnitsOnceRunning(game, 30.0).empty()) << game.Output();
    const std::string window = Test_GameWindow(x);
    ASSERT_FALSE(window.empty());
    x.Shell("xdotool mousemove --window " + window + " 600 20");

    // Bare ground far from the units.
    Test_LookAt(game, 0.0f, 30.0f);
    STestShot hidden = x.Screenshot(window);
    ASSERT_TRUE(hidden.Valid());
    ASSERT_EQ(hidden.width, 640);
    auto white = [](const unsigned char* p) { return p[0] > 200 && p[1] > 200 && p[2] > 200; };
    auto grass = [](const unsigned char* p) { return p[1] > p[0] + 15 && p[1] > p[2] + 15; };
    ASSERT_GT(Count(hidden, 0, 0, 640, 480, grass), 640 * 480 / 2);

    // Two wide lines into the console (not echoed on the screen), then the
    // mini console: they are among its newest lines.
    Test_RunAndDraw(game,
                    "echo(\"MMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMM\"); "
                    "echo(\"WWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWW\"); Console_ShowMini();");
    STestShot mini = x.Screenshot(window);
    ASSERT_TRUE(mini.Valid());
    // The lines in the band at the bottom, over the ground.
    int band = Count(mini, 0, 340, 640, 480, white);
    EXPECT_GT(band, Count(hidden, 0, 340, 640, 480, white) + 300);
    // Their text, not a filled box: most of the game the band showed (around
    // the HUD's bar and selection slots) still shows.
    EXPECT_GT(Count(mini, 0, 340, 640, 480, grass), Count(hidden, 0, 340, 640, 480, grass) * 3 / 4);
    // The rest of the window is the game as before (the full console would
    // hide the scene).
    EXPECT_GT(Count(mini, 0, 0, 640, 340, grass), Count(hidden, 0, 0, 640, 340, grass) * 9 / 10);
    EXPECT_LT(Count(mini, 0, 0, 640, 300, white), Count(hidden, 0, 0, 640, 300, white) + 40);
    // The wide lines are there: white spans most of the band's width on
    // some row (the test's short marks do not).
    int widest = 0;
    for (int y = 340; y < 480; ++y) {
        int first = 640, last = -1;
        for (int px = 0; px < 640; ++px)
            if (white(mini.At(px, y))) {
                first = std::min(first, px);
                last = px;
            }
        widest = std::max(widest, last - first);
    }
    EXPECT_GT(widest, 200);

    Test_RunAndDraw(game, "Console_Hide();");
    STestShot again = x.Screenshot(window);
    ASSERT_TRUE(again.Valid());
    EXPECT_LT(Count(again, 0, 340, 640, 480, white), Count(hidden, 0, 340, 640, 480, white) + 40);

    game.Write("Quit();\n");
    EXPECT_EQ(game.Wait(30), 0) << game.Output();
}
