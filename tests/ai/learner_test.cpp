// The learner on FourWinds, headless, in one machine's local game on a
// virtual time: the command text it stages a match with (the view lines,
// then each side's AI_Create lines in rows), what a match's end does to
// the counts and the statistics file, a match that runs out, and the stop.
// The test takes the learner's lines and does what the game's rows would:
// AI_AddCommander makes the computer player, AI_Create asks the session for
// the unit.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "ai/AILearner.h"
#include "ai/LearningFiles.h"
#include "tests/ai/AIGame.h"
#include "tests/support/TempDir.h"
#include "world/Player.h"
#include "world/UnitOrder.h"
#include "world/UnitTemplate.h"

namespace {

using SCreate = SLearnerCreate;

class Learner : public ::testing::Test {
protected:
    void SetUp() override {
        host = s.AddAI("host", "FourWinds", 80);
        ASSERT_TRUE(host->ok) << "the installation is not built";
        ASSERT_TRUE(host->net->IsHosting());
        host->UseVirtualTime(1.0f / 15.0f);
        host->sidesOut.insert(host->net->LocalPlayer()->m_id);
        host->ai->m_seed = 5;
        ASSERT_TRUE(s.StartGame());
        ASSERT_TRUE(s.RunTicks(5));
        // The learning files of this test's own folder (the map and the
        // units were read from the installation).
        host->root = data.Win();
        learner = host->ai->Learner();
        ASSERT_NE(learner, nullptr);
        learner->m_execute = [this](const std::string& line) { Take(line); };
    }
    // What the game's rows would do with the learner's lines.
    void Take(const std::string& line) {
        lines.push_back(line);
        SCreate c;
        if (AIGame_TakeLearnerLine(host, line, &c) && !c.name.empty()) creates.push_back(c);
    }
    const CUnitTemplate* Template(const char* name) {
        return static_cast<const CUnitTemplate*>(host->scene->FindTemplate(name));
    }
    std::string StatisticsPath() { return host->ai->StatisticsPath(); }

    CTempDir data;
    CAISession s;
    CAIMachine* host = nullptr;
    CAILearner* learner = nullptr;
    std::vector<std::string> lines;
    std::vector<SCreate> creates;
};

}  // namespace

// A match's set-up: the six view and speed lines first, then side 2's units
// (a mobile template) and side 3's, each bought up to the budget (at most
// 50), in rows of the square root of what the budget buys, ids counting up
// from 10 across both sides; the learning-match byte is set on both sides.
TEST_F(Learner, AMatchIsStagedInRowsBoughtWithTheBudget) {
    ASSERT_TRUE(learner->Start());
    ASSERT_TRUE(learner->Running());
    const CUnitTemplate* sides[2] = {learner->Side(2), learner->Side(3)};
    ASSERT_TRUE(sides[0] && sides[1]);
    EXPECT_GT(sides[0]->m_speed, 0.0f);
    EXPECT_NE(sides[0], sides[1]);
    int32_t nextId = CAILearner::kFirstUnitId;
    size_t at = 0;
    for (int side = 0; side < 2; ++side) {
        const CUnitTemplate* t = sides[side];
        const int32_t owner = host->net->FindPlayerById(2 + side)->m_ownerId;
        const float cost = t->m_expense;
        const int bought =
            std::min(CAILearner::kMaxUnits, static_cast<int>(std::ceil(CAILearner::kBudget / cost)));
        const int row = std::max(1, static_cast<int>(std::sqrt(std::min(
                                        50, static_cast<int>(CAILearner::kBudget / (cost + 10.0f))))));
        ASSERT_LE(at + bought, creates.size());
        for (int i = 0; i < bought; ++i, ++at) {
            const SCreate& c = creates[at];
            EXPECT_EQ(c.name, t->m_name.GetText());
            EXPECT_EQ(c.team, owner);
            EXPECT_EQ(c.layer, 3);
            EXPECT_EQ(c.id, nextId++);
            // In rows: a row's units share x, the rows' units share z.
            const SCreate& rowFirst = creates[at - i % row];
            const SCreate& column = creates[at - i + i % row];
            EXPECT_EQ(c.x, rowFirst.x) << i;
            EXPECT_EQ(c.z, column.z) << i;
        }
    }
    EXPECT_EQ(at, creates.size());
    for (const auto& cp : host->ai->Players()) EXPECT_TRUE(cp->m_learningMatch);
    // Both sides' units come; then the match is fought.
    ASSERT_TRUE(s.RunUntil([&] { return host->UnitsOf(2) > 0 && host->UnitsOf(3) > 0; }));
}

// The budget's arithmetic for a template of cost 590: rows of 3 and 11
// units (the eleventh brings the sum to 6490); side 3's ids go on from 21.
TEST_F(Learner, ACostOf590BuysElevenUnitsInRowsOfThree) {
    std::vector<std::pair<CUnitTemplate*, float>> saved;
    for (const CUnitTemplate* c : host->ai->World()->Query().UnitTemplates()) {
        CUnitTemplate* t = const_cast<CUnitTemplate*>(c);
        saved.push_back({t, t->m_expense});
        t->m_expense = 590.0f;
    }
    const bool started = learner->Start();
    for (auto& t : saved) t.first->m_expense = t.second;
    ASSERT_TRUE(started);
    ASSERT_EQ(creates.size(), 22u);
    for (int i = 0; i < 22; ++i) {
        const SCreate& c = creates[static_cast<size_t>(i)];
        EXPECT_EQ(c.id, CAILearner::kFirstUnitId + i);
        EXPECT_EQ(c.name, learner->Side(i < 11 ? 2 : 3)->m_name.GetText());
        // Rows of three: a row's units share x, the next row stands further.
        const int first = i < 11 ? 0 : 11, k = i - first;
        EXPECT_EQ(c.x, creates[static_cast<size_t>(first + k / 3 * 3)].x) << i;
        EXPECT_EQ(c.z, creates[static_cast<size_t>(first + k % 3)].z) << i;
        if (k == 3) {
            EXPECT_NE(c.x, creates[static_cast<size_t>(first)].x);
        }
    }
}

// Matches to their end: the side whose units are all gone loses; each
// result adds a win to the winner's template and a match to both, and the
// statistics file read back gives the counts, the highest share first. A
// match that runs out of time counts for neither; the stop comes at the
// match's end.
TEST_F(Learner, EachResultIsCountedAndWrittenAndARunOutMatchIsNot) {
    ASSERT_TRUE(learner->Start());
    std::map<const CUnitTemplate*, std::pair<int, int>> counts;
    for (int match = 0; match < 3; ++match) {
        const CUnitTemplate* sides[2] = {learner->Side(2), learner->Side(3)};
        ASSERT_TRUE(s.RunUntil([&] { return host->UnitsOf(2) > 0 && host->UnitsOf(3) > 0; }));
        ASSERT_TRUE(s.RunTicks(20));
        // Side 3 falls in the first match, side 2 in the others.
        const int loser = match == 0 ? 3 : 2;
        std::vector<int32_t> ids;
        for (const SUnitView& u : host->ai->World()->Query().AllUnits())
            if (u.ownerId == host->net->FindPlayerById(loser)->m_ownerId) ids.push_back(u.id);
        ASSERT_TRUE(host->ai->World()->Commands().Kill(ids, true));
        const std::string done = "Learning match " + std::to_string(match + 1) + ":";
        ASSERT_TRUE(s.RunUntil([&] { return !host->FindLine(done.c_str()).empty(); }));
        EXPECT_NE(host->FindLine(done.c_str()).find("player " + std::to_string(5 - loser) + " won"),
                  std::string::npos)
            << host->FindLine(done.c_str());
        ++counts[sides[5 - loser - 2]].first;
        ++counts[sides[0]].second;
        ++counts[sides[1]].second;
    }
    CAIFile file;
    ASSERT_EQ(file.Open(StatisticsPath().c_str(), AIFile_StatisticsNumbers), CAIFile::kRead);
    double previous = 2.0;
    size_t named = 0;
    for (const CAILearner::SRecord& r : learner->Statistics()) {
        float wins = -1.0f, matches = -1.0f;
        ASSERT_TRUE(file.FindNumbers(r.tmpl->m_name.GetText(), &wins, &matches)) << r.tmpl->m_name.GetText();
        const auto c = counts.count(r.tmpl) ? counts[r.tmpl] : std::make_pair(0, 0);
        EXPECT_EQ(wins, c.first) << r.tmpl->m_name.GetText();
        EXPECT_EQ(matches, c.second) << r.tmpl->m_name.GetText();
        named += c.second > 0;
    }
    EXPECT_EQ(named, counts.size());
    for (const CAIFile::SEntry& e : file.Entries()) {
        const double share = e.numbers[1] > 0 ? e.numbers[0] / e.numbers[1] : 0.0;
        EXPECT_LE(share, previous) << e.key;
        previous = share;
    }
    // The fourth match runs out (here after a game second, before the
    // sides meet): the counts stay.
    ASSERT_TRUE(s.RunUntil([&] { return host->UnitsOf(2) > 0 && host->UnitsOf(3) > 0; }));
    learner->m_matchTime = 1193182;
    ASSERT_TRUE(s.RunUntil([&] { return !host->FindLine("Learning match 4:").empty(); }, 600.0));
    EXPECT_NE(host->FindLine("Learning match 4:").find("no result in time"), std::string::npos)
        << host->FindLine("Learning match 4:");
    // A stop in the fifth match stops at once: the match counts for nobody.
    ASSERT_TRUE(learner->Running());
    learner->Stop();
    EXPECT_FALSE(learner->Running());
    EXPECT_NE(host->FindLine("Learning stopped after 4 matches"), "");
    ASSERT_TRUE(s.RunTicks(20));
    EXPECT_EQ(host->FindLine("Learning match 5:"), "");
    CAIFile again;
    ASSERT_EQ(again.Open(StatisticsPath().c_str(), AIFile_StatisticsNumbers), CAIFile::kRead);
    ASSERT_EQ(again.Entries().size(), file.Entries().size());
    for (size_t i = 0; i < file.Entries().size(); ++i)
        EXPECT_EQ(again.Entries()[i].numbers[1], file.Entries()[i].numbers[1]);
    // The scene is empty, the two sides are gone.
    EXPECT_EQ(host->ai->Find(2), nullptr);
    EXPECT_EQ(host->ai->Find(3), nullptr);
}

// A statistics file that cannot be written (a folder stands where it
// belongs): said once with its name, and the matches go on.
TEST_F(Learner, AStatisticsFileThatCannotBeWrittenIsSaidOnce) {
    ASSERT_TRUE(
        data.Write("AIVALUES/UnitsWithAttackStatistics.ai/blocked", "a folder where the file belongs"));
    ASSERT_TRUE(learner->Start());
    for (int match = 0; match < 2; ++match) {
        ASSERT_TRUE(s.RunUntil([&] { return host->UnitsOf(2) > 0 && host->UnitsOf(3) > 0; }));
        ASSERT_TRUE(s.RunTicks(20));
        std::vector<int32_t> ids;
        for (const SUnitView& u : host->ai->World()->Query().AllUnits())
            if (u.ownerId == host->net->FindPlayerById(3)->m_ownerId) ids.push_back(u.id);
        ASSERT_TRUE(host->ai->World()->Commands().Kill(ids, true));
        const std::string done = "Learning match " + std::to_string(match + 1) + ":";
        ASSERT_TRUE(s.RunUntil([&] { return !host->FindLine(done.c_str()).empty(); }));
    }
    EXPECT_TRUE(learner->Running());
    EXPECT_EQ(host->CountLines("Cannot write "), 1);
    EXPECT_NE(host->FindLine("UnitsWithAttackStatistics.ai: the learning goes on without it"), "");
}

// The cheat's energy help: the units of a learning match take energy and
// no plant gives any; each computer player's production is raised by its
// "cheating" share of the deficit (through the session, once, not every
// tick), so its weapons reload at full speed.
TEST_F(Learner, TheCheatClosesAComputerPlayersEnergyDeficit) {
    ASSERT_TRUE(learner->Start());
    ASSERT_TRUE(s.RunUntil([&] { return host->UnitsOf(2) > 0 && host->UnitsOf(3) > 0; }));
    ASSERT_TRUE(s.RunTicks(60));
    for (int32_t id : {2, 3}) {
        CPlayer* p = host->net->FindPlayerById(id);
        ASSERT_NE(p, nullptr);
        EXPECT_GT(p->m_energyConsumed, 0.0f) << id;
        const float factor =
            std::min(1.0f, host->ai->Find(id)->IntParameter(CComputerPlayer::kCheating) * 0.01f);
        EXPECT_NEAR(p->m_energyHelp, p->m_energyConsumed * factor, 0.11f) << id;
        EXPECT_NEAR(p->m_energyRatio, factor, 0.05f) << id;
    }
}
