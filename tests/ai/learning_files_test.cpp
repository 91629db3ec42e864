// The computer players' learning files: keys are found from the start of
// a file and their numbers read as they stand, nothing refused or said;
// what the writers write (the game's statistics, the content builder's
// files) reads back as written; a computer player takes its numbers from
// the files the content build made of a source.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "ai/AIManager.h"
#include "ai/ComputerPlayer.h"
#include "ai/LearningFiles.h"
#include "tests/support/TempDir.h"
#include "tests/support/UnitWorld.h"
#include "tools/lib/LearningFileWriter.h"
#include "world/UnitTemplate.h"

TEST(LearningFiles, KeysAreFoundFromTheStartAndTheirNumbersReadAsTheyStand) {
    const struct {
        const char* text;
        const char* key;
        bool whole;
        bool found;
        float first, second;
    } cases[] = {
        // A "//" word skips the rest of its line while a key is looked for;
        // any blanks and line ends separate words.
        {"// DefendRadius 1 1\nDefendRadius 10 20\n", "DefendRadius", true, true, 10, 20},
        {"//\tInstantAttack 1 1\r\nInstantAttack\t0 0", "InstantAttack", true, true, 0, 0},
        // Only "//" itself: a word that begins with it is a word.
        {"//note DefendRadius 7 1\nDefendRadius 10 20\n", "DefendRadius", true, true, 7, 1},
        // The numbers behind a found key are read as they stand, a "//"
        // among them too (as no number).
        {"DefendRadius // 5\n", "DefendRadius", true, true, 0, 5},
        // A number is what its word begins with: a whole one where whole
        // numbers are read; a word without one, or the file's end, reads 0.
        {"cheating 12abc 3.75\n", "cheating", true, true, 12, 3},
        {"attackDistanceIncrement 2.5x -0.125\n", "attackDistanceIncrement", false, true, 2.5f, -0.125f},
        {"cheating abc", "cheating", true, true, 0, 0},
        // Kept within +-1,000,000, and finite.
        {"cheating 1e30 -1e999\n", "cheating", false, true, 1000000, -1000000},
        {"cheating nan 5\n", "cheating", false, true, 0, 5},
        // The first word that equals the key, byte for byte, wherever it stands.
        {"Granite_Factory 120\nGranite_Factory 5\n", "Granite_Factory", true, true, 120, 0},
        {"AttackDelay 10 3\n", "10", true, true, 3, 0},
        {"DefendRadius 10 20\n", "defendradius", true, false, 0, 0},
        {"// DefendRadius 10 20\n", "DefendRadius", true, false, 0, 0},
        {"", "DefendRadius", true, false, 0, 0},
    };
    for (const auto& c : cases) {
        CAIFile file;
        file.Parse(c.text, 2);
        float first = -1.0f, second = -1.0f;
        EXPECT_EQ(file.FindNumbers(c.key, &first, &second, c.whole), c.found) << c.text;
        if (!c.found) continue;
        EXPECT_EQ(first, c.first) << c.text;
        EXPECT_EQ(second, c.second) << c.text;
    }
    // The entries as the file reads from its start.
    CAIFile file;
    ASSERT_TRUE(file.Parse("\xEF\xBB\xBF// heading\nA 1 2\n// note\nB 3 x\nC", 2));
    ASSERT_EQ(file.Entries().size(), 3u);
    EXPECT_EQ(file.Entries()[1].key, "B");
    EXPECT_EQ(file.Entries()[1].line, 4);
    EXPECT_EQ(file.Entries()[1].numbers[1], 0.0f);
    EXPECT_EQ(file.Entries()[2].key, "C");
    EXPECT_FALSE(file.Parse("// nothing but a comment\n\n", 1));

    CTempDir dir;
    EXPECT_EQ(file.Open(dir.File("none.ai").c_str(), 1), CAIFile::kMissing);
    dir.Write("bad.ai", std::string("Granite_Factory 1\0 2\n", 21));
    ASSERT_EQ(file.Open(dir.File("bad.ai").c_str(), 1), CAIFile::kRead);
    float v = 0.0f;
    EXPECT_TRUE(file.FindNumber("Granite_Factory", &v, true));
    EXPECT_EQ(v, 1.0f);
}

// The lines the game and the content builder write: tabs that line the
// numbers up after a key of 7, 8, 15 and 16 characters, numbers two blanks
// apart, fractions kept; they read back as written.
TEST(LearningFiles, TheWrittenLinesReadBack) {
    const float stats[2] = {7, 10};
    EXPECT_EQ(AIFile_Line("Granite", stats, 2), "Granite\t\t\t7  10\n");
    EXPECT_EQ(AIFile_Line("Granite_", stats, 2), "Granite_\t\t7  10\n");
    EXPECT_EQ(AIFile_Line("Granite_HeavyTan", stats, 2), "Granite_HeavyTan\t7  10\n");
    EXPECT_EQ(AIFile_Line("Granite_HeavyTa", stats, 2), "Granite_HeavyTa\t\t7  10\n");
    const float fraction[2] = {2.5f, -0.125f};
    const std::string line = AIFile_Line("attackDistanceIncrement", fraction, 2);
    EXPECT_EQ(line, "attackDistanceIncrement\t2.5  -0.125\n");
    CAIFile file;
    ASSERT_TRUE(file.Parse(line + AIFile_Line("Granite_HeavyTa", stats, 2), 2));
    float a = 0.0f, b = 0.0f;
    ASSERT_TRUE(file.FindNumbers("attackDistanceIncrement", &a, &b));
    EXPECT_EQ(a, 2.5f);
    EXPECT_EQ(b, -0.125f);
}

// The content builder's source of a race's files: one file of each table
// for each difficulty that has lines, alike where the value is one, the
// difficulty's own where it names it; the files read back.
TEST(LearningFiles, TheContentSourceMakesTheFilesOfEachDifficulty) {
    CTempDir dir;
    dir.Write("src/Learning.toml",
              "about = \"\"\"\nHow it plays.\n\nSecond line.\"\"\"\n"
              "[InitParameters]\n"
              "FirstAttackDelay = [150, 30]\n"
              "AttackDelay = { easy = [6, 2], hard = [4.5, 1] }\n"
              "[BuildFitness]\n"
              "Granite_Factory = 120\n"
              "Granite_HeavyTank = { medium = 95 }\n");
    std::vector<SLearningFileOut> files;
    std::string error;
    ASSERT_TRUE(LearningSource_Build(dir.File("src/Learning.toml"), files, error)) << error;
    auto text = [&files](const char* name) {
        for (const SLearningFileOut& f : files)
            if (f.name == name) return f.text;
        return std::string("(none)");
    };
    EXPECT_EQ(text("InitParameters0.ai"),
              "// How it plays.\n//\n// Second line.\nFirstAttackDelay\t150  30\nAttackDelay\t\t6  2\n");
    EXPECT_EQ(text("InitParameters1.ai"),
              "// How it plays.\n//\n// Second line.\nFirstAttackDelay\t150  30\n");
    EXPECT_EQ(text("InitParameters2.ai"),
              "// How it plays.\n//\n// Second line.\nFirstAttackDelay\t150  30\nAttackDelay\t\t4.5  1\n");
    EXPECT_EQ(text("BuildFitness1.ai"),
              "// How it plays.\n//\n// Second line.\nGranite_Factory\t\t120\nGranite_HeavyTank\t95\n");
    EXPECT_EQ(files.size(), 6u);
    ASSERT_TRUE(LearningSource_Write(dir.File("out"), files, error)) << error;
    CAIFile file;
    ASSERT_EQ(file.Open(dir.File("out/InitParameters2.ai").c_str(), 2), CAIFile::kRead);
    float a = 0.0f, b = 0.0f;
    ASSERT_TRUE(file.FindNumbers("AttackDelay", &a, &b));
    EXPECT_EQ(a, 4.5f);
    EXPECT_EQ(b, 1.0f);

    // Mistakes name the file and the line.
    const struct {
        const char* source;
        const char* error;
    } bad[] = {
        {"[InitParameters]\nDefendRadius = 10\n", "Learning.toml:2: DefendRadius = [default, spread]"},
        {"[BuildFitness]\nGranite_Factory = [1, 2]\n", "Learning.toml:2: Granite_Factory = a number"},
        {"[BuildFitness]\nX = { easy = 1, nightmare = 2 }\n",
         "Learning.toml:2: X takes easy, medium or hard"},
        {"[BuildFitness]\n\"Two words\" = 1\n", "Learning.toml:2: \"Two words\" cannot be a key"},
        {"[BuildFitness]\n\"12\" = 1\n", "Learning.toml:2: \"12\" cannot be a key"},
        {"[Statistics]\nX = 1\n", "Learning.toml:1: Statistics is no table of learning files"},
        {"[BuildFitness]\nX = 2000000\n", "Learning.toml:2: X = a number of at most +-1000000"},
    };
    for (const auto& b : bad) {
        dir.Write("bad/Learning.toml", b.source);
        EXPECT_FALSE(LearningSource_Build(dir.File("bad/Learning.toml"), files, error)) << b.source;
        EXPECT_NE(error.find(b.error), std::string::npos) << error;
    }
}

namespace {

// A computer player of the Granite race in a world of the demo units, its
// learning files in a folder of the test.
class LearningFileReading : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(world.LoadDemoTemplates(error)) << error;
        world.root = dir.Win();
        ASSERT_TRUE(world.Spawn("Granite_Headquarters", 0, 0, world.red));
        manager.InitializeCommanders("Skerry", (dir.Win() + "\\Maps\\Skerry").c_str());
    }
    CComputerPlayer* Start() {
        players.emplace_back(new CComputerPlayer(manager, world.world, world.red->m_id, 3));
        players.back()->Reset();
        return players.back().get();
    }
    const CComputerPlayer::SKnowledge* Knowledge(CComputerPlayer* cp, const char* name) {
        for (const CComputerPlayer::SKnowledge& k : cp->Knowledge())
            if (k.tmpl->m_name.Equals(name)) return &k;
        return nullptr;
    }

    CTempDir dir;
    CUnitWorld world{64};
    CAIManager manager{&world.world, nullptr};
    std::vector<std::unique_ptr<CComputerPlayer>> players;
};

}  // namespace

// A map file with a damaged entry is read as it stands, and nothing is
// said: what it holds counts (the shared file is not read in its place), a
// key it lacks keeps its value, a number cut short reads 0.
TEST_F(LearningFileReading, ADamagedFileIsReadAsItStandsAndNothingIsSaid) {
    dir.Write("AIVALUES/Granite/InitParameters0.ai", "DefendRadius 40 0\nAttackDelay 20 0\n");
    dir.Write("Maps/Skerry/AI/Granite/InitParameters0.ai", "DefendRadius 30 0\ncheating 5");
    dir.Write("AIVALUES/Granite/MaxNumberOfUnits0.ai", "Granite_Factory\n");
    const size_t before = world.lines.size();
    CComputerPlayer* cp = Start();
    EXPECT_EQ(world.lines.size(), before) << world.lines.back();
    EXPECT_EQ(cp->IntParameter(CComputerPlayer::kDefendRadius), 30);
    EXPECT_EQ(cp->IntParameter(CComputerPlayer::kCheating), 5);
    EXPECT_EQ(cp->Parameter(CComputerPlayer::kAttackDelay).def, 10.0f);
    ASSERT_NE(Knowledge(cp, "Granite_Factory"), nullptr);
    EXPECT_EQ(Knowledge(cp, "Granite_Factory")->aliveMax, 0);
    ASSERT_NE(Knowledge(cp, "Granite_Depot"), nullptr);
    EXPECT_EQ(Knowledge(cp, "Granite_Depot")->aliveMax, 10000);
}

// The statistics of the learning matches add to a fighting unit's fitness:
// 7 wins in 10 matches give +40 (a structure a third: +13), no match adds
// nothing; the learned fitness of the shipped files comes from the content
// build's source.
TEST_F(LearningFileReading, TheStatisticsAddToTheFitness) {
    std::vector<SLearningFileOut> files;
    std::string error;
    dir.Write("src/Learning.toml", "[BuildFitness]\nGranite_LightTank = 70\nGranite_HeavyTank = 90\n");
    ASSERT_TRUE(LearningSource_Build(dir.File("src/Learning.toml"), files, error)) << error;
    ASSERT_TRUE(LearningSource_Write(dir.File("AIVALUES/Granite"), files, error)) << error;
    dir.Write("AIVALUES/UnitsWithAttackStatistics.ai",
              "Granite_LightTank\t7  10\nGranite_HeavyTank\t0  0\nGranite_Headquarters\t7  10\n");
    CComputerPlayer* cp = Start();
    ASSERT_TRUE(Knowledge(cp, "Granite_LightTank") && Knowledge(cp, "Granite_HeavyTank"));
    EXPECT_EQ(Knowledge(cp, "Granite_LightTank")->fitness, 110);
    EXPECT_EQ(Knowledge(cp, "Granite_HeavyTank")->fitness, 90);
    const CComputerPlayer::SKnowledge* hq = Knowledge(cp, "Granite_Headquarters");
    ASSERT_NE(hq, nullptr);
    EXPECT_EQ(hq->fitness, 80 + 13);  // the mean of the named ones, then a third of +40
}
