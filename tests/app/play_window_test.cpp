// The skirmish of the start-up script in a window, on an X server of the
// test's own: the map, its units in their team's colour and the console's
// screen lines over them are drawn, and a tank clicked and ordered with real X events (xdotool)
// drives to the place clicked. The camera is put over a point with the
// View_GameScene commands, so that the point is the middle of the window;
// positions are read back through the console (dbg_UnitState). Without Xvfb,
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
    dir.Write("Tessarak/Scripts/Autoexec.cfg",
              "GameMode(GM_Skirmish);\nStartLocalServer();\nColor(230, 20, "
              "20);\nMap(\"Skerry\");\nAI_AddCommander();\nAI_Active(0);\n"
              "StartGame();\n");
    CTestXServer x;
    ASSERT_TRUE(x.Start());
    CTestProcess game;
    ASSERT_TRUE(Test_StartGameOn(game, dir, x));
    std::vector<SUnitSeen> units;
    for (int i = 0; i < 120 && units.empty(); ++i) {
        units = Test_ReadUnits(game, 5.0);
        if (units.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
    ASSERT_EQ(units.size(), 7u) << game.Output();
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
    std::vector<SUnitSeen> selected = Test_SelectionOf(game, 1);
    ASSERT_EQ(selected.size(), 1u) << game.Output();
    EXPECT_NEAR(selected[0].x, -20.0f, 0.5f);
    EXPECT_NEAR(selected[0].z, -22.0f, 0.5f);

    // A right click on the ground in the middle of the view, now over
    // (-8, -22), clear of the base's harvester and its crystals: the tank
    // drives there.
    Test_LookAt(game, -8.0f, -22.0f);
    x.Shell("xdotool mousemove --window " + window + " 320 240 click 3");
    bool arrived = false;
    for (int i = 0; i < 60 && !arrived; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        selected = Test_SelectedUnits(game);
        arrived = selected.size() == 1 && std::hypot(selected[0].x + 8.0f, selected[0].z + 22.0f) < 2.5f;
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
    CTestXServer x;
    CTestProcess game;
    std::string window;
    ASSERT_TRUE(Test_SkirmishInWindow(dir, x, game, window)) << game.Output();
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

namespace {

// A console variable's value as the game prints it; NaN without an answer.
float Value(CTestProcess& game, const char* name) {
    float v = NAN;
    std::sscanf(Test_Answer(game, std::string(name) + "();", std::string(name) + " = ").c_str(), "%f", &v);
    return v;
}

}  // namespace

// The camera of the demo as a player meets it: it starts far out and looking
// down at a slant (its tilt shows), the wheel zooms in and out within what
// the view may span, a pointer that left the window scrolls nothing, one on
// the window's edge scrolls at the view's speed and never past the map's
// edge, and the ground tiles meet without a crack.
TEST(PlayWindow, TheCameraStartsWideZoomsWithTheWheelAndStaysOverTheMap) {
    if (!Test_OnPath("Xvfb") || !Test_OnPath("xdotool") || !Test_OnPath("import"))
        GTEST_SKIP() << "needs Xvfb, xdotool and ImageMagick";
    CTempDir dir;
    CTestXServer x;
    CTestProcess game;
    std::string window;
    ASSERT_TRUE(Test_SkirmishInWindow(dir, x, game, window)) << game.Output();
    x.Shell("xdotool mousemove --window " + window + " 320 240");

    // Far out and tilted: the tilt changes the picture.
    EXPECT_FLOAT_EQ(Value(game, "View_GameSceneDistance"), 30.0f);
    EXPECT_FLOAT_EQ(Value(game, "View_GameSceneAngleUp"), 35.0f);
    Test_LookAt(game, -30.0f, -30.0f);
    STestShot slant = x.Screenshot(window);
    Test_RunAndDraw(game, "View_GameSceneAngleUp(0);");
    STestShot overhead = x.Screenshot(window);
    ASSERT_TRUE(slant.Valid() && overhead.Valid());
    int differ = 0;
    for (int y = 0; y < 480; y += 4)
        for (int px = 0; px < 640; px += 4)
            differ += std::abs(slant.At(px, y)[1] - overhead.At(px, y)[1]) > 30 ? 1 : 0;
    EXPECT_GT(differ, 160 * 120 / 10);

    // The wheel: away from the player zooms in, toward him out, never past
    // the field of view's range.
    const float zoom = Value(game, "View_GameSceneZoom");
    x.Shell("xdotool click 4 click 4");
    Test_RunAndDraw(game, "");
    EXPECT_LT(Value(game, "View_GameSceneZoom"), zoom * 0.8f);
    x.Shell("xdotool click 5 click 5 click 5 click 5 click 5 click 5 click 5 click 5");
    Test_RunAndDraw(game, "");
    const float wide = Value(game, "View_GameSceneZoom");
    EXPECT_GT(wide, zoom * 1.2f);
    EXPECT_LE(wide, 1.5f);

    // Not a crack between the ground's tiles, looking straight down where
    // four of them meet (and nothing else stands).
    Test_RunAndDraw(game, "View_GameSceneZoom(1); View_GameSceneAngleUp(0);");
    x.Shell("xdotool mousemove --window " + window + " 600 20");
    Test_LookAt(game, -32.0f, 16.0f);
    STestShot corner = x.Screenshot(window);
    ASSERT_TRUE(corner.Valid());
    int dark = 0;
    for (int y = 180; y < 300; ++y)
        for (int px = 260; px < 380; ++px) {
            const unsigned char* p = corner.At(px, y);
            dark += p[0] + p[1] + p[2] < 60 ? 1 : 0;
        }
    EXPECT_EQ(dark, 0);

    // A pointer outside the window (its last place on the window's left
    // edge) scrolls nothing; on the edge in the window it scrolls fast, and
    // stops at the map's edge.
    x.Shell("xdotool mousemove --window " + window + " 0 240 sleep 0.2 mousemove 2 2");
    Test_LookAt(game, -10.0f, -10.0f);
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    Test_RunAndDraw(game, "");
    EXPECT_FLOAT_EQ(Value(game, "View_GameSceneCenterX"), -10.0f);
    const auto from = std::chrono::steady_clock::now();
    x.Shell("xdotool mousemove --window " + window + " 0 240");
    float focus = -10.0f;
    for (int i = 0; i < 40 && focus > -48.0f; ++i) {  // held at the edge, exactly
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        focus = Value(game, "View_GameSceneCenterX");
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
    EXPECT_FLOAT_EQ(focus, -48.0f);
    EXPECT_GT(38.0 / seconds, 5.0) << "map units a second";
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_FLOAT_EQ(Value(game, "View_GameSceneCenterX"), -48.0f);

    x.Shell("xdotool mousemove --window " + window + " 320 240");
    game.Write("Quit();\n");
    EXPECT_EQ(game.Wait(30), 0) << game.Output();
}

// Shift held through the X server's key events: a Shift+click adds a tank to
// the selection, and Shift+right-clicks queue the orders (the tank drives to
// the first point, then on to the second). Then Disconnect() and the
// window's close button.
TEST(PlayWindow, ShiftAddsToTheSelectionAndQueuesOrders) {
    if (!Test_OnPath("Xvfb") || !Test_OnPath("xdotool")) GTEST_SKIP() << "needs Xvfb and xdotool";
    CTempDir dir;
    CTestXServer x;
    CTestProcess game;
    std::string window;
    size_t units = 0;
    ASSERT_TRUE(Test_SkirmishInWindow(dir, x, game, window, &units)) << game.Output();
    ASSERT_EQ(units, 7u) << game.Output();
    auto click = [&](float fx, float fz, const char* button, bool shift) {
        // Clicks apart by more than the double-click time (a double click
        // chooses all of the kind on screen).
        std::this_thread::sleep_for(std::chrono::milliseconds(600));
        Test_LookAt(game, fx, fz);
        std::string keys = shift ? "keydown shift " : "";
        x.Shell("xdotool mousemove --window " + window + " 320 240 " + keys + "click " + button +
                (shift ? " keyup shift" : ""));
        Test_RunAndDraw(game, "");
    };

    click(-20.0f, -22.0f, "1", false);
    ASSERT_EQ(Test_SelectionOf(game, 1).size(), 1u) << game.Output();
    click(-24.0f, -18.0f, "1", true);
    std::vector<SUnitSeen> both = Test_SelectionOf(game, 2);
    ASSERT_EQ(both.size(), 2u) << game.Output();
    for (const SUnitSeen& u : both) EXPECT_EQ(u.name, "Granite_LightTank");
    // A plain click chooses anew.
    click(-20.0f, -22.0f, "1", false);
    ASSERT_EQ(Test_SelectionOf(game, 1).size(), 1u) << game.Output();

    // Two queued ground orders: first east to (-4, -22), then north to
    // (-4, -8). Without the queue the tank would take the second alone and
    // never pass the first.
    click(-4.0f, -22.0f, "3", true);
    click(-4.0f, -8.0f, "3", true);
    bool first = false, second = false;
    for (int i = 0; i < 120 && !second; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        std::vector<SUnitSeen> s = Test_SelectedUnits(game);
        if (s.size() != 1) continue;
        first = first || std::hypot(s[0].x + 4.0f, s[0].z + 22.0f) < 2.5f;
        second = std::hypot(s[0].x + 4.0f, s[0].z + 8.0f) < 2.5f;
    }
    EXPECT_TRUE(first) << game.Output();
    EXPECT_TRUE(second) << game.Output();

    // Leaving the session with Disconnect(): the game says so and is back
    // at the main menu, and the window's close button ends it.
    game.Write("Disconnect();\n");
    EXPECT_TRUE(game.WaitForLine("Disconnected from the server.", 10)) << game.Output();
    ASSERT_TRUE(x.CloseWindow(window));
    EXPECT_EQ(game.Wait(30), 0) << game.Output();
}

// A harvester a player makes with Create, chosen with a click and sent with a
// right click onto the crystals, mines there, carries its load to the depot
// and unloads it.
TEST(PlayWindow, AHarvesterSentToTheCrystalsMinesAndUnloads) {
    if (!Test_OnPath("Xvfb") || !Test_OnPath("xdotool")) GTEST_SKIP() << "needs Xvfb and xdotool";
    CTempDir dir;
    CTestXServer x;
    CTestProcess game;
    std::string window;
    size_t units = 0;
    ASSERT_TRUE(Test_SkirmishInWindow(dir, x, game, window, &units)) << game.Output();
    game.Write("Create(\"Granite_Harvester\", -6, -44, 1, 0, 31);\n");
    for (int i = 0; i < 40 && Test_ReadUnits(game).size() == units; ++i) Test_RunAndDraw(game, "");
    ASSERT_EQ(Test_ReadUnits(game).size(), units + 1) << game.Output();

    Test_LookAt(game, -6.0f, -44.0f);
    Test_RunAndDraw(game, "UnselectAll();");
    x.Shell("xdotool mousemove --window " + window + " 320 240 click 1");
    std::vector<SUnitSeen> selected = Test_SelectionOf(game, 1);
    ASSERT_EQ(selected.size(), 1u) << game.Output();
    ASSERT_EQ(selected[0].name, "Granite_Harvester");
    // The crystal field by the base.
    Test_LookAt(game, -18.0f, -34.0f);
    x.Shell("xdotool mousemove --window " + window + " 320 240 click 3");

    // Its load grows at the crystals and is gone once it was at the depot.
    float most = 0.0f, load = 0.0f;
    for (int i = 0; i < 240 && !(most > 0.0f && load == 0.0f); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        load = -1.0f;
        std::sscanf(Test_Answer(game, "dbg_UnitState();", "Load: ").c_str(), "%f", &load);
        most = std::max(most, load);
    }
    EXPECT_GT(most, 0.0f) << game.Output();
    EXPECT_EQ(load, 0.0f) << game.Output();
    game.Write("Quit();\n");
    EXPECT_EQ(game.Wait(30), 0) << game.Output();
}
