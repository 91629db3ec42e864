// The computer players' learning files: a file is taken whole or refused
// whole (with its name on the console, once a map, and the defaults used);
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

namespace {

struct SCase {
    std::string text;
    int numbers;
    const char* why;  // null: read; else a part of the reason
};

}  // namespace

TEST(LearningFiles, AFileIsReadWholeOrRefusedWhole) {
    const SCase cases[] = {
        // Read: comments (a word that begins with //) skip their line, any
        // blanks and line ends separate words, an editor's UTF-8 mark.
        {"// heading\nDefendRadius 10 20\n//no blank\r\nInstantAttack\t1 0", 2, nullptr},
        {"\xEF\xBB\xBFGranite_Factory 120\n", 1, nullptr},
        {"Granite_Factory -5.5e2 // a note\n", 1, nullptr},
        // Refused: damaged, cut short, empty, binary.
        {"DefendRadius 10 abc\n", 2, "line 1: \"abc\" stands where a number of DefendRadius belongs"},
        {"DefendRadius 10\nAttackDelay 5 1\n", 2, "line 2: \"AttackDelay\" stands where a number"},
        {"DefendRadius 10 20\nAttackDelay 5", 2, "line 2: the file ends inside the entry AttackDelay"},
        {"DefendRadius 10 20 30\n", 2, "the number \"30\" stands where a key belongs"},
        {"cheating nan 0\n", 2, "\"nan\" stands where a number"},
        {"cheating 1e999 0\n", 2, "\"1e999\" stands where a number"},
        {"", 2, "it holds no entry"},
        {"// nothing but a comment\n\n", 1, "it holds no entry"},
        {std::string("Granite_Factory 1\n\nGranite_Depot\0 2\n", 36), 1, "line 3: not text (a NUL byte)"},
        // What cannot be shown is quoted escaped, a key's bytes too.
        {"Defend\x7F\xE9 10 1\x9B"
         "2\n",
         2, "line 1: \"1\\x9B2\" stands where a number of Defend\\x7F\\xE9 belongs"},
        {"DefendRadius 10 20\nAttack\xFF\x80 5", 2,
         "line 2: the file ends inside the entry Attack\\xFF\\x80"},
    };
    for (const SCase& c : cases) {
        CAIFile file;
        std::string why;
        const bool read = file.Parse(c.text, c.numbers, &why);
        EXPECT_EQ(read, c.why == nullptr) << c.text << " -> " << why;
        if (c.why) {
            EXPECT_NE(why.find(c.why), std::string::npos) << why;
            EXPECT_TRUE(file.Entries().empty());
        }
    }
    // The first entry of a key counts; numbers are cut to +-1,000,000.
    CAIFile file;
    ASSERT_TRUE(file.Parse("cheating 1e30 -1e30\ncheating 5 0\n", 2));
    float first = 0.0f, second = 0.0f;
    ASSERT_TRUE(file.FindNumbers("cheating", &first, &second));
    EXPECT_EQ(first, 1000000.0f);
    EXPECT_EQ(second, -1000000.0f);
    EXPECT_FALSE(file.FindNumber("Cheating", &first));  // byte for byte

    // A file too large to be a learning file is refused unread.
    CTempDir dir;
    std::string big;
    while (big.size() <= CAIFile::kMaxSize) big += "Granite_Factory 120\n";
    dir.Write("big.ai", big);
    std::string why;
    EXPECT_EQ(file.Open(dir.File("big.ai").c_str(), 1, &why), CAIFile::kRefused);
    EXPECT_EQ(why, "larger than 262144 bytes");
    EXPECT_EQ(file.Open(dir.File("none.ai").c_str(), 1, &why), CAIFile::kMissing);
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
    int LinesWith(const std::string& text) const {
        return static_cast<int>(
            std::count_if(world.lines.begin(), world.lines.end(),
                          [&](const std::string& l) { return l.find(text) != std::string::npos; }));
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

// A damaged map file is refused with its name, once however many computer
// players read it, and the defaults stand (the shared file is not read in
// its place); a sound file of the map is read.
TEST_F(LearningFileReading, ARefusedFileIsSaidOnceAndTheDefaultsStand) {
    dir.Write("AIVALUES/Granite/InitParameters0.ai", "DefendRadius 40 0\n");
    dir.Write("Maps/Skerry/AI/Granite/InitParameters0.ai", "DefendRadius 30 0\ncheating 5");
    dir.Write("AIVALUES/Granite/MaxNumberOfUnits0.ai", "Granite_Factory\n");
    CComputerPlayer* first = Start();
    CComputerPlayer* second = Start();
    const std::string map = dir.Win() + "\\Maps\\Skerry\\AI\\Granite\\InitParameters0.ai";
    EXPECT_EQ(LinesWith("Learning file " + map +
                        " refused (line 2: the file ends inside the entry cheating): the defaults are used"),
              1);
    EXPECT_EQ(
        LinesWith("MaxNumberOfUnits0.ai refused (line 1: the file ends inside the entry Granite_Factory)"),
        1);
    for (CComputerPlayer* cp : {first, second}) {
        EXPECT_EQ(cp->Parameter(CComputerPlayer::kDefendRadius).def, 15.0f);
        EXPECT_EQ(cp->IntParameter(CComputerPlayer::kCheating), 70);
        ASSERT_NE(Knowledge(cp, "Granite_Factory"), nullptr);
        EXPECT_EQ(Knowledge(cp, "Granite_Factory")->aliveMax, 10000);
    }
    // Mended: read at once, the map's before the shared one.
    dir.Write("Maps/Skerry/AI/Granite/InitParameters0.ai", "DefendRadius 30 0\ncheating 5 0\n");
    first->ReadInitParameters();
    EXPECT_EQ(first->IntParameter(CComputerPlayer::kDefendRadius), 30);
    EXPECT_EQ(first->IntParameter(CComputerPlayer::kCheating), 5);
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
