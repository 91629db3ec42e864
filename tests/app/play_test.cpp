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

namespace {
// The rate the frame statistics print last for the line's start ("Frames per
// second" or "Interface frames per second"), or -1.
double LastRate(const std::string& out, const std::string& start) {
    size_t at = out.rfind(start);
    double rate = -1.0;
    if (at != std::string::npos) std::sscanf(out.c_str() + at + start.size(), " %lf", &rate);
    return rate;
}

// Two calls of the frame statistics some seconds apart: the second prints
// the rates over that time.
std::string FrameStatsOver(CTestProcess& game, int seconds) {
    game.Write("dbg_FrameStats();\n");
    EXPECT_TRUE(game.WaitForOutput("Interface frames per second", 20)) << game.Output();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    size_t before = game.Output().size();
    game.Write("dbg_FrameStats();\n");
    for (int i = 0; i < 200 && game.Output().find("Interface frames per second", before) == std::string::npos;
         ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return game.Output().substr(before);
}
}  // namespace

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

// Left alone, the game does no more than it needs: a lobby nobody touches
// and a running game alike draw at most ge_MaxFPS frames a second (here 20;
// the lobby fewer when it can), neither spins to draw the same picture again
// and again.
TEST(Play, AGameLeftAloneDoesNotSpin) {
    CTempDir dir;
    if (!Test_CopyInstallation(dir)) FAIL() << "the game program is not built";
    ASSERT_TRUE(dir.Write("Tessarak/Scripts/Autoexec.cfg",
                          "ge_MaxFPS(20);\nGameMode(GM_Multi);\nStartServer(0);\n"
                          "Map(\"Skerry\");\necho(\"lobby ready\");\n"));
    CTestProcess game;
    ASSERT_TRUE(Test_StartGame(game, dir));
    ASSERT_TRUE(game.WaitForOutput("lobby ready", 60)) << game.Output();
    std::string stats = FrameStatsOver(game, 3);
    double lobby = LastRate(stats, "Interface frames per second");
    EXPECT_GT(lobby, 5.0) << stats;
    EXPECT_LT(lobby, 23.0) << stats;

    game.Write("GameMode(GM_Skirmish); StartLocalServer(); Map(\"Skerry\"); StartGame();\n");
    ASSERT_FALSE(Test_UnitsOnceRunning(game, 30.0).empty()) << game.Output();
    stats = FrameStatsOver(game, 3);
    double running = LastRate(stats, "Frames per second");
    EXPECT_GT(running, 5.0) << stats;
    EXPECT_LT(running, 23.0) << stats;
    game.Write("Quit();\n");
    EXPECT_EQ(game.Wait(30), 0) << game.Output();
}
