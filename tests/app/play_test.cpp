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

// The local player's resources and what its harvesters unloaded, as
// dbg_UnitState prints them last; -1 when the game gave no answer.
float Harvested(CTestProcess& game) {
    float resources = 0.0f, harvested = -1.0f;
    std::sscanf(Test_Answer(game, "dbg_UnitState();", "Resources: ").c_str(), "%f, harvested %f", &resources,
                &harvested);
    return harvested;
}

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
    // The first call's time is the game's own so far, not the machine's.
    double first = -1.0;
    const std::string out = game.Output();
    const size_t at = out.find(" over ", out.find("Frames per second"));
    if (at != std::string::npos) std::sscanf(out.c_str() + at, " over %lf s", &first);
    EXPECT_GE(first, 0.0);
    EXPECT_LT(first, 600.0) << out;
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
// tells: its map and the race's start units are there (the headquarters on
// the start position, the depot, the factory and the harvester around it),
// the harvester sets to work at the crystals by it and unloads at the depot,
// and a scripted order moves a tank.
TEST(Play, TheStartScriptsSkirmishTakesAScriptedOrder) {
    CTempDir dir;
    if (!Test_CopyInstallation(dir)) FAIL() << "the game program is not built";
    ASSERT_TRUE(Test_WriteSkirmishStart(dir));
    CTestProcess game;
    ASSERT_TRUE(Test_StartGame(game, dir));
    std::vector<SUnitSeen> units = Test_UnitsOnceRunning(game, 30.0);
    ASSERT_EQ(units.size(), 7u) << game.Output();
    // The start unit at the first start position, the race's further start
    // units by it, the map's three tanks of the first player.
    EXPECT_TRUE(Test_Near(Test_NearestUnit(units, "Granite_Headquarters", -30, -30), -30, -30))
        << game.Output();
    for (const char* name : {"Granite_Depot", "Granite_Factory", "Granite_Harvester"})
        EXPECT_TRUE(Test_Near(Test_NearestUnit(units, name, -30, -30), -30, -30, 20.0f)) << name << "\n"
                                                                                         << game.Output();
    // The economy runs from the first minute: loads come home to the depot.
    float harvested = 0.0f;
    for (int i = 0; i < 120 && harvested < 150.0f; ++i) {
        harvested = Harvested(game);
        if (harvested < 150.0f) std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
    EXPECT_GE(harvested, 150.0f) << game.Output();
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
    game.Write("AddMoveOrder(11, -8, 0, -22, 0);\n");
    EXPECT_TRUE(Test_WaitForUnitAt(game, "Granite_LightTank", -8.0f, -22.0f, 2.5f, 15.0)) << game.Output();
    units = Test_ReadUnits(game);
    EXPECT_TRUE(Test_Near(Test_NearestUnit(units, "Granite_LightTank", -24, -18), -24, -18, 1.0f));

    // A map that is not there is refused, and the game goes on as it was.
    game.Write("Map(\"Nowhere\");\n");
    EXPECT_TRUE(
        game.WaitForOutput("There is no map Nowhere (Maps\\Nowhere\\MapData.box); the map stays Skerry", 10))
        << game.Output();
    EXPECT_EQ(Test_ReadUnits(game).size(), units.size());
    // A line longer than a command line holds is said to be so, not cut
    // into something else; a long one within it runs.
    game.Write("echo(\"" + std::string(20000, 'x') + "\");\n");
    EXPECT_TRUE(game.WaitForLine(std::string(20000, 'x'), 10)) << game.Output().substr(0, 2000);
    game.Write("echo(\"" + std::string(70000, 'y') + "\");\n");
    EXPECT_TRUE(game.WaitForOutput(
        "A line of 70009 characters is longer than the 65536 a command line holds; it is not run", 10));
    EXPECT_EQ(game.Output().find("Missing closing"), std::string::npos);
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
              "GameMode(GM_Skirmish);\nStartLocalServer();\nMap(\"Nowhere\");\nAI_AddCommander();\nAI_Active("
              "0);\nStartGame();\n");
    CTestProcess game;
    ASSERT_TRUE(Test_StartGame(game, dir));
    // The lobby refuses the map, and the start without one says so.
    EXPECT_TRUE(game.WaitForOutput("There is no map Nowhere", 30)) << game.Output();
    EXPECT_TRUE(game.WaitForOutput("Error loading map: MapData.box not found", 30)) << game.Output();
    EXPECT_TRUE(game.WaitForOutput("The game could not start on Player; back to the lobby", 10))
        << game.Output();
    EXPECT_TRUE(Test_ReadUnits(game).empty());
    game.Write("Quit();\n");
    EXPECT_EQ(game.Wait(30), 0) << game.Output();
}

// The player's name and colour are the player's from one start to the next,
// also when the start-up script starts a skirmish at once (its session used
// to drop the settings' requests and save "Player" and a colour of the
// server's list over them).
TEST(Play, NameAndColourAreKeptFromRunToRun) {
    CTempDir dir;
    if (!Test_CopyInstallation(dir)) FAIL() << "the game program is not built";
    ASSERT_TRUE(Test_WriteSkirmishStart(dir));
    // Asks until the answer begins with what is wanted: the rest of the
    // answer's line, or "(never)".
    auto ask = [](CTestProcess& game, const char* command, const std::string& said, const std::string& want) {
        for (int i = 0; i < 40; ++i) {
            const std::string answer = Test_Answer(game, command, said);
            if (answer.compare(0, want.size(), want) == 0) return answer;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return std::string("(never)");
    };
    std::string colour;
    {
        CTestProcess game;
        ASSERT_TRUE(Test_StartGame(game, dir));
        ASSERT_FALSE(Test_UnitsOnceRunning(game, 60.0).empty()) << game.Output();
        game.Write("Name(\"Ann\");\n");
        ASSERT_EQ(ask(game, "Name();", "You are called ", "Ann"), "Ann") << game.Output();
        colour = ask(game, "Color();", "Your color is ", "R ");
        ASSERT_NE(colour, "(never)") << game.Output();
        game.Write("Quit();\n");
        ASSERT_EQ(game.Wait(30), 0) << game.Output();
    }
    {
        CTestProcess game;
        ASSERT_TRUE(Test_StartGame(game, dir));
        ASSERT_FALSE(Test_UnitsOnceRunning(game, 60.0).empty()) << game.Output();
        EXPECT_EQ(ask(game, "Name();", "You are called ", "Ann"), "Ann") << game.Output();
        // The colour of the first run, not another of the list.
        EXPECT_EQ(ask(game, "Color();", "Your color is ", colour), colour) << game.Output();
        game.Write("Color(200, 100, 0);\nQuit();\n");
        ASSERT_EQ(game.Wait(30), 0) << game.Output();
    }
    CTestProcess game;
    ASSERT_TRUE(Test_StartGame(game, dir));
    ASSERT_FALSE(Test_UnitsOnceRunning(game, 60.0).empty()) << game.Output();
    const std::string chosen = "R 200.000000 G 100.000000 B 0.000000";
    EXPECT_EQ(ask(game, "Color();", "Your color is ", chosen), chosen) << game.Output();
    EXPECT_EQ(ask(game, "Name();", "You are called ", "Ann"), "Ann") << game.Output();
    // The server's next colour, asked for, becomes the player's.
    game.Write("NextColor();\n");
    std::string next;
    for (int i = 0; i < 100 && (next.empty() || next == chosen); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        next = Test_Answer(game, "Color();", "Your color is ");
    }
    ASSERT_NE(next, chosen) << game.Output();
    game.Write("Quit();\n");
    EXPECT_EQ(game.Wait(30), 0) << game.Output();
    CTestProcess again;
    ASSERT_TRUE(Test_StartGame(again, dir));
    ASSERT_FALSE(Test_UnitsOnceRunning(again, 60.0).empty()) << again.Output();
    EXPECT_EQ(ask(again, "Color();", "Your color is ", next), next) << again.Output();
    again.Write("Quit();\n");
    EXPECT_EQ(again.Wait(30), 0) << again.Output();
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

    game.Write(
        "GameMode(GM_Skirmish); StartLocalServer(); Map(\"Skerry\"); AI_AddCommander(); AI_Active(0); "
        "StartGame();\n");
    ASSERT_FALSE(Test_UnitsOnceRunning(game, 30.0).empty()) << game.Output();
    stats = FrameStatsOver(game, 3);
    double running = LastRate(stats, "Frames per second");
    EXPECT_GT(running, 5.0) << stats;
    EXPECT_LT(running, 23.0) << stats;
    game.Write("Quit();\n");
    EXPECT_EQ(game.Wait(30), 0) << game.Output();
}
