// Whether learning helps: an experiment, not a check of CI (run it with
// --gtest_also_run_disabled_tests; it takes minutes). A learning run of
// LEARN_MATCHES matches (default 60) on FourWinds writes the attack
// statistics; then, over the same seeds, a Granite computer player plays a
// Granite computer player on Skerry, first with no statistics for either,
// then with the learned statistics for the first only. It prints both win
// rates of the first player and the learned counts.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "ai/AILearner.h"
#include "tests/ai/AIGame.h"
#include "tests/support/TempDir.h"

namespace fs = std::filesystem;

namespace {

constexpr int kTicksPerMinute = 15 * 60;

// A folder standing for the installation: its maps and units, and a copy
// of its shared learning files that the run may write.
bool MakeRoot(const CTempDir& dir) {
    const fs::path install = AIGame_Install();
    std::error_code ec;
    fs::create_symlink(install / "Maps", dir.File("Maps"), ec);
    if (ec) return false;
    fs::copy(install / "AIVALUES", dir.File("AIVALUES"), fs::copy_options::recursive, ec);
    return !ec;
}

// A game on Skerry of two Granite computer players (2 and 3) from the seed;
// with learned, player 2 alone reads the statistics of root. The winner: the
// side left alone, else after 40 minutes the side whose live units cost
// more (0: even).
int PlaySkerry(const CTempDir& root, uint32_t seed, bool learned) {
    const std::string stats = root.File("AIVALUES/UnitsWithAttackStatistics.ai");
    const std::string kept = root.File("stats.learned");
    std::error_code ec;
    fs::remove(stats, ec);
    if (learned) fs::copy_file(kept, stats, ec);
    CAISession s;
    CAIMachine* host = s.AddAI("host", "Skerry", 48);
    if (!host->ok) return -1;
    host->UseVirtualTime(1.0f / 15.0f);
    host->sidesOut.insert(host->net->LocalPlayer()->m_id);
    host->root = root.Win();
    host->ai->m_seed = seed;
    CComputerPlayer* first = host->ai->AddCommander(2, "Granite");
    CComputerPlayer* second = host->ai->AddCommander(3, "Granite");
    if (!first || !second || !s.StartGame()) return -1;
    if (learned) {
        // The second player starts again without the statistics.
        fs::remove(stats, ec);
        second->Reset();
        for (const SUnitView& u : host->ai->World()->Query().AllUnits()) second->AddUnit(u.id);
    }
    for (int minutes = 0; minutes < 40; ++minutes) {
        s.RunTicks(kTicksPerMinute);
        const std::set<int32_t> left = host->SidesLeft();
        if (left.size() == 1 && minutes > 0) return *left.begin();
    }
    float worth[2] = {0.0f, 0.0f};
    for (const SUnitView& u : host->ai->World()->Query().AllUnits())
        if (u.ownerId == 2 || u.ownerId == 3) worth[u.ownerId - 2] += u.cost;
    return worth[0] > worth[1] ? 2 : worth[1] > worth[0] ? 3 : 0;
}

}  // namespace

TEST(LearningHelps, DISABLED_LearnedStatisticsAgainstTheDefaultsOverTheSameSeeds) {
    CTempDir root;
    ASSERT_TRUE(MakeRoot(root));
    const char* env = std::getenv("LEARN_MATCHES");
    const int matches = env ? std::atoi(env) : 60;

    // The learning run.
    {
        CAISession s;
        CAIMachine* host = s.AddAI("host", "FourWinds", 80);
        ASSERT_TRUE(host->ok) << "the installation is not built";
        host->UseVirtualTime(1.0f / 15.0f);
        host->sidesOut.insert(host->net->LocalPlayer()->m_id);
        host->root = root.Win();
        host->ai->m_seed = 11;
        ASSERT_TRUE(s.StartGame());
        ASSERT_TRUE(s.RunTicks(5));
        CAILearner* learner = host->ai->Learner();
        learner->m_execute = [host](const std::string& line) { AIGame_TakeLearnerLine(host, line); };
        ASSERT_TRUE(learner->Start()) << host->FindLine("AI_StartLearn");
        const std::string last = "Learning match " + std::to_string(matches) + ":";
        const auto t0 = std::chrono::steady_clock::now();
        const int tick0 = host->tickCount;
        ASSERT_TRUE(s.RunUntil([&] { return !host->FindLine(last.c_str()).empty(); }, 3600.0));
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        int results = host->CountLines("won") + host->CountLines("both sides fell");
        std::printf(
            "Learning run: %d matches, %d with a result, in %.1f s of wall time (%.0f matches an hour), "
            "%.1f minutes of game time\n",
            matches, results, wall, matches * 3600.0 / wall, (host->tickCount - tick0) / 900.0);
        for (const CAILearner::SRecord& r : learner->Statistics())
            std::printf("  %-20s %3d wins in %3d matches\n", r.tmpl->m_name.GetText(), (int)r.wins,
                        (int)r.matches);
    }
    std::error_code ec;
    fs::copy_file(root.File("AIVALUES/UnitsWithAttackStatistics.ai"), root.File("stats.learned"), ec);
    ASSERT_FALSE(ec);

    const char* seedsEnv = std::getenv("LEARN_SEEDS");
    const int seeds = seedsEnv ? std::atoi(seedsEnv) : 12;
    int before = 0, after = 0, decidedBefore = 0, decidedAfter = 0;
    for (int seed = 1; seed <= seeds; ++seed) {
        const int b = PlaySkerry(root, static_cast<uint32_t>(seed), false);
        const int a = PlaySkerry(root, static_cast<uint32_t>(seed), true);
        before += b == 2;
        after += a == 2;
        decidedBefore += b > 0;
        decidedAfter += a > 0;
        std::printf("seed %2d: defaults: winner %d; learned: winner %d\n", seed, b, a);
    }
    std::printf(
        "Player 2 won %d of %d games with the defaults (%d decided), %d of %d with the learned "
        "statistics (%d decided)\n",
        before, seeds, decidedBefore, after, seeds, decidedAfter);
}
