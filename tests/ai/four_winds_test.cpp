// Four computer players on the demo map FourWinds, headless, played to the
// end on one machine's own local game with a virtual time (so nothing of
// the machine's speed decides which frame an order runs in): one side is
// left, and a second game from the same seed gives the same winner and the
// same sync CRC at every tick.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <vector>

#include "tests/ai/AIGame.h"

namespace {

// 15 ticks a game second.
constexpr int kTicksPerMinute = 15 * 60;

}  // namespace

namespace {

struct SFourWinds {
    int32_t winner = -1;
    int minutes = 0;
    std::vector<uint32_t> crcs;  // every tick's sync CRC in order
};

// Four computer players on FourWinds (the host's own player watches: it
// gets no start unit), played until one side is left or an hour of game
// time has passed.
SFourWinds PlayFourWinds(uint32_t seed) {
    SFourWinds result;
    CAISession s;
    CAIMachine* host = s.AddAI("host", "FourWinds", 80);
    // The machine's own local game (its session through the local loopback
    // pair, no socket) on a virtual time: nothing of the machine's speed
    // decides which frame an order runs in.
    if (!host->ok || !host->net->IsHosting()) return result;
    host->UseVirtualTime(1.0f / 15.0f);
    host->sidesOut.insert(host->net->LocalPlayer()->m_id);
    host->logCrcs = true;
    host->ai->m_seed = seed;
    const char* races[4] = {"Granite", "Coral", "Granite", "Coral"};
    for (int i = 0; i < 4; ++i)
        if (!host->ai->AddCommander(2 + i, races[i])) return result;
    if (!s.StartGame()) return result;
    for (result.minutes = 0; result.minutes < 120; ++result.minutes) {
        s.RunTicks(kTicksPerMinute);
        std::set<int32_t> left = host->SidesLeft();
        if (left.size() <= 1 && host->tickCount > kTicksPerMinute) {
            result.winner = left.empty() ? 0 : *left.begin();
            break;
        }
    }
    result.crcs = host->crcLog;
    return result;
}

}  // namespace

// Four computer players play FourWinds until one side is left; the same seed
// gives the same winner and the same sync CRC at every tick.
TEST(Skirmish, FourComputerPlayersPlayToOneSideAndRepeatFromTheSeed) {
    SFourWinds first = PlayFourWinds(1234);
    ASSERT_GT(first.winner, 1) << "no winner after " << first.minutes << " minutes";
    SFourWinds second = PlayFourWinds(1234);
    EXPECT_EQ(second.winner, first.winner);
    EXPECT_EQ(second.minutes, first.minutes);
    ASSERT_EQ(second.crcs.size(), first.crcs.size());
    size_t firstDiffering = first.crcs.size();
    for (size_t i = 0; i < first.crcs.size() && firstDiffering == first.crcs.size(); ++i)
        if (first.crcs[i] != second.crcs[i]) firstDiffering = i;
    EXPECT_EQ(firstDiffering, first.crcs.size()) << "the sync CRCs part at tick " << firstDiffering;
    std::printf("FourWinds: player %d won after %d minutes of game time\n", (int)first.winner, first.minutes);
}
