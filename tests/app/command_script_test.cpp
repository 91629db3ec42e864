// The game program's command set, from its standard input, in the demo
// skirmish (a start-up script of the test's own) without a window: Cmdlist
// writes every row of the play, map-script order, view, effects, developer
// test and debug areas with its syntax and description and the total the
// console counts; a script of 10,000 lines of mixed commands, a good share
// of them called wrongly, runs to its end with one console line for each
// fault, and the game goes on.
#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/GameRun.h"
#include "tests/support/Installation.h"
#include "tests/support/Process.h"
#include "tests/support/TempDir.h"

namespace {

// The rows these areas register, in their registration order.
const char* const kRows[] = {
    // play
    "UnselectAll", "pe_SpringConstant", "pe_MaxGridMemberMovement", "pe_MaxTowObjectMovement", "KillSelected",
    "StopSelected", "GroupSelected", "SelectGroup", "JoinSelectedWithGroup", "SelectSameSort",
    "fm_AttackMode", "fm_GuardMode", "fm_PatrolMode", "fm_MoveMode", "fm_TowMode", "fm_RepairMode",
    "ReleaseTowConnections", "OnOff", "SelectAllUnits", "SelectAllUnitsOnScreen", "MoveCameraTo",
    "MoveCameraToGroup", "AddCustomizedControl", "AddMoveOrder", "AddPatrolOrder",
    // map-script orders
    "ss_SetScriptPoint", "ss_RemoveScriptPoints", "ss_Move", "ss_Attack", "ss_Build", "ss_Patrol",
    "ss_Harvest", "ss_Guard", "ss_Repair", "ss_Tow", "ss_RemoveOrders", "ss_UnitArrayMove",
    "ss_SetWaitForSignal", "ss_GiveSignal",
    // view
    "JumpToEvent", "vid_TestCharSet", "FlipTracking", "MultiplyRadarScale", "DivRadarScale", "View_MaxVis",
    "cg_RadarScreenPortion", "Center", "CenterSelected", "cg_DrawFullScreenRadar", "cg_DrawGUI",
    "cg_DrawGrid", "cg_DrawRadar", "MoveSceneAngle", "MoveSceneAngleUp", "MultiplyZoom", "DivZoom",
    "CameraShake", "CameraDamping", "CameraShakeRoof", "CameraShakeRange", "Disable3DEngine",
    "View_GameSceneAngle", "View_GameSceneAngleUp", "View_GameSceneDistance", "View_GameSceneZoom",
    "View_GameSceneCenterX", "View_GameSceneCenterY", "view_FarClipping", "view_NearClipping",
    "scene_sun_red", "scene_sun_green", "scene_sun_blue", "scene_sun_heading", "scene_sun_pitch",
    "scene_ambinet_red", "scene_ambinet_green", "scene_ambinet_blue", "scene_bgcolor_red",
    "scene_bgcolor_green", "scene_bgcolor_blue", "cg_EnableTextures", "cg_EnableAlphaBlending",
    "cg_EnableAntialiasing", "cg_EnableDithering", "cg_MaxNumLights", "cg_TextureMagnification",
    "cg_TextureMinification", "cg_TextureMipmapMode", "cg_MaxFillMode", "cg_MaxShadeMode",
    // effects
    "Effect_GenerateStars",
    // developer tests, and our own two
    "ApplyForce", "TestInt", "TestFloat", "TestSQRT", "TestConsoleCommands", "perf_Render", "perf_FlipUnit",
    "dbg_UnitOut", "dbg_FrameStats", "dbg_UnitState", "dbg_SyncCrc",
    // debug
    "SaveScreenCapture", "ReportClassSizes", "Capture_Start", "Capture_Stop", "ShowTime"};

std::vector<std::string> Split(const std::string& text, char by) {
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(text);
    while (std::getline(in, part, by)) parts.push_back(part);
    return parts;
}

}  // namespace

TEST(CommandScript, CmdlistAndAScriptOfTenThousandLinesWithFaults) {
    CTempDir dir;
    if (!Test_CopyInstallation(dir)) FAIL() << "the game program is not built";
    // Statements that do their work quietly, and statements called wrongly,
    // each of which says so in one line.
    const std::vector<std::string> good = {"SelectAllUnits();",
                                           "UnselectAll();",
                                           "MoveSceneAngle(3);",
                                           "View_GameSceneZoom(1.0);",
                                           "Center();",
                                           "ss_RemoveScriptPoints();",
                                           "SelectAllUnits(); GroupSelected(4); UnselectAll();",
                                           "SelectGroup(4);",
                                           "fm_MoveMode();",
                                           "MultiplyRadarScale(1.5);",
                                           "DivRadarScale(1.5);",
                                           "ss_Move(0, 0);",
                                           "StopSelected();",
                                           "MoveCameraToGroup(4);",
                                           "CenterSelected();",
                                           "cg_MaxFillMode(3);",
                                           "scene_sun_red(256);"};
    const std::vector<std::string> bad = {"GroupSelected();",
                                          "SelectGroup(abc);",
                                          "MoveCameraTo(-1);",
                                          "MoveCameraTo(77);",
                                          "ss_Move(300);",
                                          "ss_Move(1, x);",
                                          "ss_Attack(1, 2, 3);",
                                          "ss_UnitArrayMove(1);",
                                          "ss_UnitArrayMove(1, 2, 3);",
                                          "ss_SetWaitForSignal(0);",
                                          "ss_GiveSignal(x);",
                                          "ss_SetScriptPoint(999);",
                                          "ss_Build();",
                                          "MultiplyZoom(0);",
                                          "DivRadarScale(nope);",
                                          "MoveSceneAngle();",
                                          "Capture_Start(-1);",
                                          "AddMoveOrder(1);",
                                          "AddMoveOrder(12345, 1, 0, 1, 0);",
                                          "Effect_GenerateStars(1);",
                                          "JoinSelectedWithGroup(0);",
                                          "NoSuchCommand(1);",
                                          "ApplyForce(1, 2);"};
    std::string script;
    int faults = 0;
    for (int i = 0; i < 10000; ++i) {
        const bool wrong = i % 3 == 1;
        script += (wrong ? bad[(i / 3) % bad.size()] : good[i % good.size()]) + "\n";
        faults += wrong;
    }
    ASSERT_TRUE(dir.Write("Tessarak/Scripts/Mixed.cfg", script));
    ASSERT_TRUE(Test_WriteSkirmishStart(dir));
    CTestProcess game;
    ASSERT_TRUE(Test_StartGame(game, dir));
    ASSERT_EQ(Test_UnitsOnceRunning(game, 60.0).size(), 7u) << game.Output();

    // Every row of the areas, with its syntax and description, and the
    // total that the list holds.
    game.Write("Cmdlist(\"Rows.txt\"); echo(\"listed\");\n");
    ASSERT_TRUE(game.WaitForLine("listed", 20.0)) << game.Output();
    const std::vector<std::string> lines = Split(dir.Read("System/Rows.txt"), '\n');
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines.front(), "Name\tSyntax\tDescription\r");
    std::map<std::string, int> listed;
    for (size_t i = 1; i + 1 < lines.size(); ++i) {
        const std::vector<std::string> fields = Split(lines[i], '\t');
        ASSERT_EQ(fields.size(), 3u) << lines[i];
        EXPECT_FALSE(fields[1].empty()) << lines[i];
        EXPECT_GT(fields[2].size(), 1u) << lines[i];  // the help text ends in "\r"
        ++listed[fields[0]];
    }
    for (const char* row : kRows) EXPECT_EQ(listed[row], std::string(row) == "StopSelected" ? 2 : 1) << row;
    EXPECT_EQ(lines.back(), "A total of " + std::to_string(lines.size() - 2) + " commands\r");
    game.Write("Cmdlist();\n");
    ASSERT_TRUE(game.WaitForLine("A total of " + std::to_string(lines.size() - 2) + " commands", 20.0));

    // The script: one line per fault, and the game goes on.
    game.Write("echo(\"script begins\"); Exec(\"Mixed.cfg\"); echo(\"ran to its end\");\n");
    ASSERT_TRUE(game.WaitForLine("ran to its end", 120.0)) << game.Output().substr(0, 4000);
    const std::string out = game.Output();
    const size_t from = out.find("script begins\n"), to = out.find("ran to its end\n", from);
    ASSERT_NE(from, std::string::npos);
    int said = 0, other = 0;
    for (const std::string& l : Split(out.substr(from, to - from), '\n')) {
        if (l == "script begins") continue;
        if (l.find("Syntax: ") != std::string::npos ||
            l.find("No such command: NoSuchCommand") != std::string::npos ||
            l == "ApplyForce cannot be run at this time or gamestate")
            ++said;
        else
            ++other;
    }
    EXPECT_EQ(said, faults);
    EXPECT_EQ(other, 0);
    EXPECT_EQ(Test_ReadUnits(game).size(), 7u) << game.Output().substr(game.Output().size() - 3000);
    game.Write("Quit();\n");
    EXPECT_EQ(game.Wait(30), 0);
}

namespace {
size_t Occurrences(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}
}  // namespace

// A skirmish starts only against an opponent: StartGame with the player
// alone in the session sends nothing; with a computer player added it
// starts; typed into the running game it starts nothing again (the units
// stay where they are and the ticks run on).
TEST(CommandScript, StartGameWantsAnOpponentAndNeverRestartsARunningGame) {
    CTempDir dir;
    if (!Test_CopyInstallation(dir)) FAIL() << "the game program is not built";
    ASSERT_TRUE(dir.Write("Tessarak/Scripts/Autoexec.cfg",
                          "GameMode(GM_Skirmish);\nStartLocalServer();\nMap(\"Skerry\");\nStartGame();\n"
                          "echo(\"asked alone\");\n"));
    CTestProcess game;
    ASSERT_TRUE(Test_StartGame(game, dir));
    ASSERT_TRUE(game.WaitForLine("asked alone", 60.0)) << game.Output();
    // Thirty frames of the lobby, each seen to run: the start would have
    // come back long before.
    for (int i = 0; i < 30; ++i) Test_RunAndDraw(game, "");
    EXPECT_EQ(Occurrences(game.Output(), "Initializing Game..."), 0u) << game.Output();

    game.Write("AI_AddCommander(); AI_Active(0); StartGame();\n");
    const std::vector<SUnitSeen> units = Test_UnitsOnceRunning(game, 60.0);
    ASSERT_FALSE(units.empty()) << game.Output();
    EXPECT_EQ(Occurrences(game.Output(), "Initializing Game..."), 1u);
    // Every font of the start and of the game's interface comes with the
    // game: none is made with a warning.
    EXPECT_EQ(Occurrences(game.Output(), "Waring font dynamicly allocated"), 0u) << game.Output();

    // Typed into the running game: thirty ticks later the same game runs on
    // (a new start would count its ticks from 0 again).
    game.Write("dbg_SyncCrc(1);\n");
    size_t from = game.Output().size();
    for (int i = 0; i < 100 && Test_SyncCrcs(game.Output().substr(from)).empty(); ++i)
        Test_RunAndDraw(game, "");
    const std::map<int, std::string> before = Test_SyncCrcs(game.Output().substr(from));
    ASSERT_FALSE(before.empty());
    game.Write("StartGame();\n");
    from = game.Output().size();
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (Test_SyncCrcs(game.Output().substr(from)).size() < 30 && std::chrono::steady_clock::now() < end)
        Test_RunAndDraw(game, "");
    const std::map<int, std::string> after = Test_SyncCrcs(game.Output().substr(from));
    ASSERT_GE(after.size(), 30u) << game.Output().substr(from);
    EXPECT_GT(after.begin()->first, before.rbegin()->first - 5) << game.Output().substr(from);
    EXPECT_EQ(Occurrences(game.Output(), "Initializing Game..."), 1u) << game.Output().substr(from);
    EXPECT_EQ(Test_ReadUnits(game).size(), units.size());
    game.Write("Quit();\n");
    EXPECT_EQ(game.Wait(30), 0);
}
