// Loading a saved game from the menus in a real window, with real X events
// (xdotool): a skirmish saved with SaveCurrentGame (a tank driven off
// first), then a new run that opens the main menu; its "Load game" button
// shows the saved games with when each was written, and a click on the
// saved game's row starts the game that continues it: the tank stands where
// the save left it. Without Xvfb, xdotool or ImageMagick the test is
// skipped.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/GameRun.h"
#include "tests/support/Process.h"
#include "tests/support/WindowTest.h"

namespace {

// The saved games' list: the row of a saved game in its dark green.
bool DarkGreen(const unsigned char* p) {
    return p[1] > 100 && p[0] < 60 && p[2] < 60;
}
bool SavedGameRow(const STestShot& s) {
    return s.Valid() && s.width == 640 && Test_CountPixels(s, 122, 168, 300, 190, DarkGreen) > 40;
}

}  // namespace

using LoadWindow = CWindowTest;

TEST_F(LoadWindow, ASavedGameIsContinuedFromTheMainMenusLoadScreen) {
    // A skirmish whose tank drives off, saved.
    ASSERT_TRUE(Test_WriteSkirmishStart(dir));
    {
        CTestProcess game;
        ASSERT_TRUE(Test_StartGame(game, dir));
        ASSERT_EQ(Test_DriveOffAndSave(game), "");
        game.Write("Quit();\n");
        EXPECT_EQ(game.Wait(30), 0) << game.Output();
    }

    // The shipped start: the main menu, in a window.
    ASSERT_EQ(std::remove(dir.File("Tessarak/Scripts/Autoexec.cfg").c_str()), 0);
    CTestProcess game;
    const std::string window = Test_MenuWindow(game, dir, x);
    ASSERT_FALSE(window.empty()) << game.Output();
    auto click = [&](int px, int py) { Test_ClickAt(x, window, px, py); };
    // "Load game", then the saved game's row.
    click(290, 324);
    ASSERT_TRUE(SavedGameRow(Test_ShotUntil(x, window, SavedGameRow, 20.0))) << game.Output();
    click(150, 177);
    const std::vector<SUnitSeen> units = Test_UnitsOnceRunning(game, 30.0);
    ASSERT_GE(units.size(), 4u) << game.Output();
    EXPECT_NE(game.Output().find("The next start continues the saved game 'Skerry (2) 1' on 'Skerry'"),
              std::string::npos)
        << game.Output();
    EXPECT_TRUE(Test_Near(Test_NearestUnit(units, "Granite_LightTank", -8, -22), -8, -22, 2.5f))
        << game.Output();
    game.Write("Quit();\n");
    EXPECT_EQ(game.Wait(30), 0) << game.Output();
}
