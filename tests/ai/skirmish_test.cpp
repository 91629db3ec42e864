// A computer player playing the demo map Skerry headless, through the
// world's door and the network game as the game runs them: against a side
// that does nothing, and in a network game over UDP.
#include <gtest/gtest.h>

#include <cstdio>

#include "ai/AIGroup.h"
#include "tests/ai/AIGame.h"
#include "world/UnitOrder.h"

namespace {

// 15 ticks a game second.
constexpr int kTicksPerMinute = 15 * 60;

}  // namespace

// On Skerry a computer player against a side that does nothing: it builds
// harvesters and sends them out, builds a factory and fighting units, groups
// them and destroys the other side's headquarters, all within twenty
// minutes of game time.
TEST(Skirmish, AComputerPlayerBuildsABaseAndDestroysAnIdleSide) {
    CAISession s;
    CAIMachine* host = s.AddAI("host", "Skerry", 48);
    ASSERT_TRUE(host->ok) << "the installation is not built";
    host->SetRace(host->net->LocalPlayer(), "Granite");
    ASSERT_TRUE(s.JoinAll());
    host->ai->m_seed = 7;
    host->ai->m_debug = 1;
    CComputerPlayer* cp = host->ai->AddCommander(2, "Coral");
    ASSERT_NE(cp, nullptr);
    ASSERT_TRUE(s.StartGame());
    const int32_t human = host->net->LocalPlayer()->m_id;
    ASSERT_TRUE(s.RunUntil([&] { return host->UnitsOf(2, "Coral_Headquarters") == 1; }));
    ASSERT_EQ(host->UnitsOf(human, "Granite_Headquarters"), 1);

    bool harvesting = false, factory = false, grouped = false, fighters = false;
    int minutes = 0;
    for (; minutes < 20 && host->UnitsOf(human, "Granite_Headquarters") > 0; ++minutes) {
        ASSERT_TRUE(s.RunTicks(kTicksPerMinute));
        for (CUnit* u = host->scene->m_units; u; u = u->m_unitNext)
            if (u->m_owner && u->m_owner->m_id == 2 && u->m_runningOrder &&
                u->m_runningOrder->m_type == CUnitOrder::kHarvest)
                harvesting = true;
        factory = factory || host->UnitsOf(2, "Coral_Factory") > 0;
        fighters = fighters || host->UnitsOf(2, "Coral_HeavyTank") + host->UnitsOf(2, "Coral_Artillery") > 0;
        for (const auto& g : cp->Groups()) grouped = grouped || g->m_members.size() >= 2;
    }
    // Its harvesters went out and brought resources home.
    EXPECT_TRUE(harvesting);
    EXPECT_GT(host->net->FindPlayerById(2)->m_harvested, 0.0f);
    // A factory, the fighting units only a factory makes, groups of them.
    EXPECT_TRUE(factory);
    EXPECT_TRUE(fighters);
    EXPECT_TRUE(grouped);
    EXPECT_EQ(host->UnitsOf(human, "Granite_Headquarters"), 0) << "after " << minutes << " minutes";
    // What it decided, on the console with AI_Debug.
    EXPECT_NE(host->FindLine("Computer 2: Building Coral_Factory..."), "");
    EXPECT_NE(host->FindLine("Computer 2: Sending group to attack Granite_Headquarters!"), "");
    std::printf("Skerry: the idle side's headquarters fell within %d minutes of game time\n", minutes);
}

// A network game over UDP with one computer player on the host: its orders
// travel as any player's, and host and client keep the same sync CRC for
// 3,000 ticks.
TEST(Skirmish, AComputerPlayerOnTheHostKeepsHostAndClientInStep) {
    CAISession s;
    CAIMachine* host = s.AddAI("host", "Skerry", 48);
    CAIMachine* client = s.AddAI("client", "Skerry", 48);
    ASSERT_TRUE(host->ok && client->ok) << "the installation is not built";
    host->SetRace(host->net->LocalPlayer(), "Granite");
    client->SetRace(client->net->LocalPlayer(), "Granite");
    ASSERT_TRUE(s.JoinAll());
    // Two start positions: the host's player and the computer player's; the
    // client's player watches.
    host->sidesOut.insert(client->net->LocalPlayer()->m_id);
    host->ai->m_seed = 99;
    ASSERT_NE(host->ai->AddCommander(5, "Coral"), nullptr);
    // The client learns the computer player through the session; its own
    // manager runs nobody.
    ASSERT_TRUE(s.RunUntil([&] { return client->net->FindPlayerById(5) != nullptr; }));
    EXPECT_TRUE(client->net->FindPlayerById(5)->m_computer);
    EXPECT_FALSE(client->net->FindPlayerById(5)->m_computerHere);
    EXPECT_EQ(client->ai->AddCommander(6, "Coral"), nullptr);
    ASSERT_TRUE(s.StartGame());
    // The frames of the running game.
    host->ticks.clear();
    client->ticks.clear();
    const int from = client->tickCount;
    ASSERT_TRUE(s.RunUntil([&] { return client->tickCount >= from + 3010; }, 300.0));
    int compared = 0, differ = 0;
    for (const auto& t : client->ticks) {
        auto h = host->ticks.find(t.first);
        if (h == host->ticks.end()) continue;
        ++compared;
        if (h->second.worldCrc != t.second.worldCrc) {
            if (differ < 10) std::printf("frame %d differs\n", (int)t.first);
            ++differ;
        }
    }
    EXPECT_GE(compared, 3000);
    EXPECT_EQ(differ, 0);
    // The computer player played: it built and its units went out.
    EXPECT_GT(client->UnitsOf(5), 3);
    EXPECT_EQ(client->UnitsOf(5), host->UnitsOf(5));
    EXPECT_EQ(client->ai->Count(), 0u);
}
