// The game in a window of 800 x 600, played with real X events (xdotool):
// picking follows the window's size. A click on a tank selects it, a right
// click on open ground beyond the 640 pixels of the smallest window sends it
// there, and the radar sits in the window's top right corner.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "tests/support/GameRun.h"
#include "tests/support/Installation.h"
#include "tests/support/Process.h"
#include "tests/support/TempDir.h"
#include "tests/support/XServer.h"

namespace {
constexpr int kWidth = 800, kHeight = 600;
}  // namespace

TEST(LargeWindow, PickingAndOrdersFollowTheWindowAt800x600) {
    if (!Test_OnPath("Xvfb") || !Test_OnPath("xdotool") || !Test_OnPath("import"))
        GTEST_SKIP() << "needs Xvfb, xdotool and ImageMagick";
    CTempDir dir;
    if (!Test_CopyInstallation(dir)) FAIL() << "the game program is not built";
    ASSERT_TRUE(Test_WriteSkirmishStart(dir));
    // The saved display settings ask for the larger window.
    ASSERT_TRUE(dir.Write("Tessarak/Scripts/Config/Video.cfg", "Vid_Resolution(800,600);\r\n"));
    CTestXServer x;
    ASSERT_TRUE(x.Start());
    CTestProcess game;
    ASSERT_TRUE(Test_StartGameOn(game, dir, x));
    const std::vector<SUnitSeen> units = Test_UnitsOnceRunning(game, 60.0);
    ASSERT_FALSE(units.empty()) << game.Output();
    const std::string window = Test_GameWindow(x);
    ASSERT_FALSE(window.empty());
    ASSERT_NE(x.Shell("xdotool getwindowgeometry " + window).find("800x600"), std::string::npos)
        << x.Shell("xdotool getwindowgeometry " + window);
    Test_RunAndDraw(game, kTestCamera);
    Test_RunAndDraw(game, "UnselectAll();");

    // A click on the tank selects it: the camera looks at a point left of it
    // so that the tank shows right of the middle.
    const SUnitSeen* tank = Test_NearestUnit(units, "Granite_LightTank", -16.0f, -18.0f);
    ASSERT_NE(tank, nullptr);
    const float fx = tank->x, fz = tank->z;
    Test_LookAt(game, fx, fz);
    const std::vector<int> at = Test_GroundPixelIn(kWidth, kHeight, fx, fz, tank->x, tank->z);
    x.Shell("xdotool mousemove --window " + window + " " + std::to_string(at[0]) + " " +
            std::to_string(at[1]) + " click 1");
    std::vector<SUnitSeen> selected;
    for (int i = 0; i < 20 && selected.size() != 1; ++i) selected = Test_SelectedUnits(game);
    ASSERT_EQ(selected.size(), 1u) << game.Output();
    EXPECT_TRUE(Test_Near(&selected[0], tank->x, tank->z, 1.0f));

    // A right click on open ground that shows beyond x 640 sends it there.
    float gx = 0.0f, gz = 0.0f;
    std::vector<int> goal;
    for (float dx = -12.0f; dx <= 12.0f && goal.empty(); dx += 1.0f)
        for (float dz = -12.0f; dz <= 12.0f && goal.empty(); dz += 1.0f) {
            const std::vector<int> p = Test_GroundPixelIn(kWidth, kHeight, fx, fz, fx + dx, fz + dz);
            bool clear = true;
            for (const SUnitSeen& u : units) clear = clear && std::hypot(u.x - fx - dx, u.z - fz - dz) > 5.0f;
            if (clear && p[0] > 680 && p[0] < 760 && p[1] > 200 && p[1] < 420) {
                goal = p;
                gx = fx + dx;
                gz = fz + dz;
            }
        }
    ASSERT_FALSE(goal.empty()) << "no open ground beyond x 640 in view";
    x.Shell("xdotool mousemove --window " + window + " " + std::to_string(goal[0]) + " " +
            std::to_string(goal[1]) + " click 3");
    EXPECT_TRUE(Test_WaitForUnitAt(game, "Granite_LightTank", gx, gz, 2.0f, 60.0))
        << gx << " " << gz << " " << game.Output();

    // The radar (the map's grass) sits in the top right corner.
    const STestShot shot = x.Screenshot(window);
    ASSERT_TRUE(shot.Valid());
    EXPECT_EQ(shot.width, kWidth);
    auto grass = [](const unsigned char* p) { return p[1] > p[0] + 15 && p[1] > p[2] + 15; };
    EXPECT_GT(Test_CountPixels(shot, kWidth - 128, 0, kWidth, 128, grass), 1000);

    game.Write("Quit();\n");
    EXPECT_EQ(game.Wait(30), 0) << game.Output();
}
