// The game played from its scripts, without anyone at the window: the
// shipped start-up script's skirmish on the small demo map, and a start that
// cannot find its map. The game takes console commands on its standard input
// (a scripted order, the read-out of the units) and prints what it did.
#include <gtest/gtest.h>

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

namespace {}  // namespace

// A player's own start-up script starts a skirmish on Skerry, as the README
// tells: its map and start units are there, and a scripted order moves a
// tank.
TEST(Play, TheStartScriptsSkirmishTakesAScriptedOrder) {
    CTempDir dir;
    if (!Test_CopyInstallation(dir)) FAIL() << "the game program is not built";
    ASSERT_TRUE(Test_WriteSkirmishStart(dir));
    CTestProcess game;
    ASSERT_TRUE(Test_StartGame(game, dir));
    std::vector<SUnitSeen> units = Test_UnitsOnceRunning(game, 30.0);
    ASSERT_EQ(units.size(), 4u) << game.Output();
    // The start unit at the first start position, the map's three tanks of
    // the first player by it.
    EXPECT_TRUE(Test_Near(Test_NearestUnit(units, "Granite_Headquarters", -30, -30), -30, -30))
        << game.Output();
    for (auto at :
         {std::make_pair(-20.0f, -22.0f), std::make_pair(-24.0f, -18.0f), std::make_pair(-16.0f, -18.0f)})
        EXPECT_TRUE(
            Test_Near(Test_NearestUnit(units, "Granite_LightTank", at.first, at.second), at.first, at.second))
            << at.first << ", " << at.second << "\n"
            << game.Output();
    // The map loaded whole, nothing went wrong on the way.
    const std::string out = game.Output();
    for (const char* fault : {"Error", "not found"})
        EXPECT_EQ(out.find(fault), std::string::npos) << fault << "\n" << out;

    // A map script's order: the tank of map id 11 drives to the point.
    game.Write("AddMoveOrder(11, -14, 0, -28, 0);\n");
    EXPECT_TRUE(Test_WaitForUnitAt(game, "Granite_LightTank", -14.0f, -28.0f, 2.5f, 15.0)) << game.Output();
    units = Test_ReadUnits(game);
    EXPECT_TRUE(Test_Near(Test_NearestUnit(units, "Granite_LightTank", -24, -18), -24, -18, 1.0f));
    game.Write("Quit();\n");
    EXPECT_EQ(game.Wait(30), 0) << game.Output();
}

// A map whose box is not there: the map load says so, and the start is
// called off (the host's own machine answered with its failure), so the game
// goes back to the lobby instead of running an empty world.
TEST(Play, AMissingMapCallsTheStartOff) {
    CTempDir dir;
    if (!Test_CopyInstallation(dir)) FAIL() << "the game program is not built";
    dir.Write("Tessarak/Scripts/Autoexec.cfg",
              "GameMode(GM_Skirmish);\nStartLocalServer();\nMap(\"Nowhere\");\nStartGame();\n");
    CTestProcess game;
    ASSERT_TRUE(Test_StartGame(game, dir));
    EXPECT_TRUE(game.WaitForOutput("Error loading map: MapData.box not found", 30)) << game.Output();
    EXPECT_TRUE(game.WaitForOutput("The game could not start on Player; back to the lobby", 10))
        << game.Output();
    EXPECT_TRUE(Test_ReadUnits(game).empty());
    game.Write("Quit();\n");
    EXPECT_EQ(game.Wait(30), 0) << game.Output();
}
