// Learning matches in the game program, headless, on the demo map
// FourWinds: AI_StartLearn plays matches between two computer players back
// to back at the game speed 20, rewrites the attack statistics after each,
// and AI_StopLearn stops at once.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <regex>
#include <string>

#include "ai/LearningFiles.h"
#include "tests/support/GameRun.h"
#include "tests/support/Installation.h"
#include "tests/support/Process.h"
#include "tests/support/TempDir.h"

namespace {

const char* kStatistics = "Tessarak/AIVALUES/UnitsWithAttackStatistics.ai";

struct SCounts {
    int wins = 0, matches = 0;
};

// The statistics the matches of the output gave, by template: a match's
// line names side 2's template, side 3's and the result.
std::map<std::string, SCounts> CountsOf(const std::string& out, int* results, int* runOut) {
    std::map<std::string, SCounts> counts;
    static const std::regex line(
        "Learning match \\d+: (\\S+) \\(player 2\\) against (\\S+) \\(player 3\\): ([^\\n]+)");
    *results = *runOut = 0;
    for (std::sregex_iterator i(out.begin(), out.end(), line), end; i != end; ++i) {
        const std::string sides[2] = {(*i)[1], (*i)[2]};
        const std::string result = (*i)[3];
        if (result == "no result in time") {
            ++*runOut;
            continue;
        }
        ++*results;
        for (int side = 0; side < 2; ++side) {
            ++counts[sides[side]].matches;
            if (result == "player " + std::to_string(2 + side) + " won") ++counts[sides[side]].wins;
        }
    }
    return counts;
}

void StartFourWinds(const CTempDir& dir, CTestProcess& game) {
    ASSERT_TRUE(
        dir.Write("Tessarak/Scripts/Autoexec.cfg",
                  "GameMode(GM_Skirmish);\nStartLocalServer();\nMap(\"FourWinds\");\nAI_AddCommander();\n"
                  "StartGame();\n"));
    ASSERT_TRUE(Test_StartGame(game, dir));
    ASSERT_FALSE(Test_UnitsOnceRunning(game, 60.0).empty()) << game.Output();
}

}  // namespace

// AI_StartLearn in the running game stages a match through the game's own
// rows; after the first match AI_StopLearn ends the run at once (the
// second match counts for nobody, the scene is cleared, the two sides are
// gone, the game speed is 1 again), and the first match's result is in the
// statistics file, highest share first. The wall time of a
// match is printed (matches an hour).
TEST(LearningRun, AMatchOnFourWindsThenAStopThatStopsAtOnce) {
    CTempDir dir;
    if (!Test_CopyInstallation(dir)) FAIL() << "the game program is not built";
    CTestProcess game;
    StartFourWinds(dir, game);
    const auto started = std::chrono::steady_clock::now();
    game.Write("AI_StartLearn();\n");
    ASSERT_TRUE(game.WaitForOutput("fighting units take part; AI_StopLearn stops", 20)) << game.Output();
    ASSERT_TRUE(game.WaitForOutput("Learning match 1:", 240)) << game.Output();
    game.Write("AI_StopLearn();\n");
    ASSERT_TRUE(game.WaitForOutput("Learning stopped after 1 matches", 20)) << game.Output();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const std::string out = game.Output();
    EXPECT_EQ(out.find("Learning match 2:"), std::string::npos) << out;
    int results = 0, runOut = 0;
    const std::map<std::string, SCounts> expected = CountsOf(out, &results, &runOut);
    EXPECT_EQ(results + runOut, 1) << out;
    CAIFile file;
    if (results > 0) {
        ASSERT_EQ(file.Open(dir.File(kStatistics).c_str(), AIFile_StatisticsNumbers), CAIFile::kRead);
        for (const auto& e : expected) {
            float wins = -1.0f, matches = -1.0f;
            EXPECT_TRUE(file.FindNumbers(e.first.c_str(), &wins, &matches)) << e.first;
            EXPECT_EQ(wins, e.second.wins) << e.first;
            EXPECT_EQ(matches, e.second.matches) << e.first;
        }
    }
    std::printf("Learning on FourWinds: a match in %.1f s of wall time (%.0f an hour)\n", seconds,
                3600.0 / seconds);
    // The units of the match are gone; a second stop has nothing to stop.
    EXPECT_TRUE(Test_ReadUnits(game).empty());
    game.Write("AI_StopLearn();\n");
    EXPECT_TRUE(game.WaitForOutput("AI_StopLearn: no learning runs", 10)) << game.Output();
    game.Write("Quit();\n");
    EXPECT_EQ(game.Wait(30), 0) << game.Output();
}
