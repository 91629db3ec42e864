// The demo campaign played through by a script in the game program: the
// first mission's briefing, its game won by destroying the Coral outpost,
// the second mission's briefing (what the end screen's button opens; the
// window test presses it), the second mission lost when the headquarters
// falls, then won by keeping the convoy's harvester alive for the minute.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/GameRun.h"
#include "tests/support/Installation.h"
#include "tests/support/Process.h"
#include "tests/support/TempDir.h"

TEST(Campaign, TheDemoCampaignIsWonMissionByMission) {
    CTempDir dir;
    if (!Test_CopyInstallation(dir)) FAIL() << "the game program is not built";
    // What the campaign's own script does (the menu's campaign list runs
    // it): its first mission's briefing; the mission is played from the
    // briefing's button (StartCampaignGame).
    ASSERT_TRUE(
        dir.Write("Tessarak/Scripts/Autoexec.cfg",
                  "SetActiveCampaign(\"Demo\");\nStartCampaignMission(\"Mission1\");\nStartCampaignGame;\n"));
    CTestProcess game;
    ASSERT_TRUE(Test_StartGame(game, dir));
    ASSERT_TRUE(game.WaitForOutput("Mission 1: The Outpost", 30)) << game.Output();

    // Mission 1: every tank attacks the depot, then the factory; the game
    // runs four times as fast.
    ASSERT_FALSE(Test_UnitsOnceRunning(game, 30.0).empty()) << game.Output();
    game.Write("srv_GameSpeed(4);\n");
    for (const char* target : {"501", "502"})
        for (const char* tank : {"510", "511", "11", "12", "13"})
            game.Write(std::string("AddAttackOrder(") + tank + ", " + target + ");\n");
    ASSERT_TRUE(game.WaitForOutput("Mission 1 won.", 120)) << game.Output();
    EXPECT_EQ(game.Output().find("Mission 2: The Convoy"), std::string::npos) << game.Output();
    // What the end screen's button does after a won mission (its end.cfg):
    // the next mission's briefing.
    game.Write("StartCampaignMission(\"Mission2\");\n");
    ASSERT_TRUE(game.WaitForOutput("Mission 2: The Convoy", 10)) << game.Output();
    // Until the mission's own script chooses the map, the session's map
    // names the mission's folder.
    const std::string mapFile = Test_Answer(game, "si_Map_File;", "si_Map_File = ");
    const std::string folder = "\\Tessarak\\Campaigns\\Demo\\Mission2";
    ASSERT_GT(mapFile.size(), folder.size()) << mapFile;
    EXPECT_EQ(mapFile.substr(mapFile.size() - folder.size()), folder) << mapFile;

    // Mission 2, lost: the player gives up its own headquarters.
    game.Write("StartCampaignGame;\n");
    const std::vector<SUnitSeen> convoy = Test_UnitsOnceRunning(game, 30.0);
    ASSERT_TRUE(Test_Near(Test_NearestUnit(convoy, "Granite_Harvester", -66, -62), -66, -62))
        << game.Output();
    game.Write("SelectAllUnits();\nKillSelected();\n");
    ASSERT_TRUE(game.WaitForOutput("Mission 2 lost.", 60)) << game.Output();

    // Mission 2 again, won: each tank takes on a raider, the harvester
    // keeps out of the way until the minute is over.
    game.Write("StartCampaignGame;\n");
    ASSERT_FALSE(Test_UnitsOnceRunning(game, 30.0).empty()) << game.Output();
    game.Write("srv_GameSpeed(4);\nAddMoveOrder(601, -70, 0, -70, 0);\n");
    for (int i = 0; i < 6; ++i)
        game.Write("AddAttackOrder(" + std::to_string(610 + i) + ", " + std::to_string(620 + i) + ");\n");
    ASSERT_TRUE(game.WaitForOutput("Mission 2 won. The demo campaign is won.", 120)) << game.Output();
    const std::string out = game.Output();
    EXPECT_EQ(out.find("Mission 1 lost."), std::string::npos) << out;
    game.Write("Quit();\n");
    EXPECT_EQ(game.Wait(30), 0) << game.Output();
}
