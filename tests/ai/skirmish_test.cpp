// Computer players playing the demo maps headless, through the world's door
// and the network game as the game runs them.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <vector>

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

    bool harvesting = false, factory = false, grouped = false;
    int minutes = 0;
    for (; minutes < 20 && host->UnitsOf(human, "Granite_Headquarters") > 0; ++minutes) {
        ASSERT_TRUE(s.RunTicks(kTicksPerMinute));
        for (CUnit* u = host->scene->m_units; u; u = u->m_unitNext)
            if (u->m_owner && u->m_owner->m_id == 2 && u->m_runningOrder &&
                u->m_runningOrder->m_type == CUnitOrder::kHarvest)
                harvesting = true;
        factory = factory || host->UnitsOf(2, "Coral_Factory") > 0;
        for (const auto& g : cp->Groups()) grouped = grouped || g->m_members.size() >= 2;
        std::printf("minute %d: units %d harvesters %d factories %d tanks %d/%d/%d groups %zu res %.0f\n",
                    minutes + 1, host->UnitsOf(2), host->UnitsOf(2, "Coral_Harvester"),
                    host->UnitsOf(2, "Coral_Factory"), host->UnitsOf(2, "Coral_LightTank"),
                    host->UnitsOf(2, "Coral_HeavyTank"), host->UnitsOf(2, "Coral_Artillery"),
                    cp->Groups().size(), (double)host->net->FindPlayerById(2)->m_resources);
        if (std::getenv("AI_TEST_LINES")) {
            int attacking = 0, near = 0;
            float hqPower = 0;
            for (CUnit* u = host->scene->m_units; u; u = u->m_unitNext) {
                if (u->m_owner && u->m_owner->m_id == 2 && u->m_runningOrder &&
                    u->m_runningOrder->m_type == CUnitOrder::kAttack)
                    ++attacking;
                if (u->m_owner && u->m_owner->m_id == 2 && u->m_position[0] < -15 && u->m_position[2] < -15)
                    ++near;
                if (u->m_owner && u->m_owner->m_id == human) hqPower = u->m_power;
            }
            std::printf("  attacking %d near %d hq %.0f\n", attacking, near, (double)hqPower);
        }
    }
    if (std::getenv("AI_TEST_LINES"))
        for (const std::string& l : host->lines) std::printf("%s\n", l.c_str());
    if (std::getenv("AI_TEST_LINES"))
        std::printf("player 2: computer %d here %d connection %p local %p\n",
                    host->net->FindPlayerById(2)->m_computer, host->net->FindPlayerById(2)->m_computerHere,
                    (void*)host->net->FindPlayerById(2)->m_connection,
                    (void*)host->net->LocalPlayer()->m_connection);
    if (std::getenv("AI_TEST_LINES"))
        for (CUnit* u = host->scene->m_units; u; u = u->m_unitNext)
            std::printf("unit %d %s owner %d at %.1f %.1f running %x orders %d grid %x steer %x motion %x\n",
                        u->m_objectId, u->m_template->m_name.GetText(), u->m_owner ? u->m_owner->m_id : -1,
                        u->m_position[0], u->m_position[2], u->m_runningOrder ? u->m_runningOrder->m_type : 0,
                        u->m_orderList ? u->m_orderList->ChildCount() : -1, u->m_gridFlags,
                        u->m_steeringFlags, u->m_motionFlags);
    if (std::getenv("AI_TEST_LINES"))
        for (const auto& e : host->events)
            std::printf("event %d owner %d at %.1f %.1f %s\n", e.code, e.ownerId, e.x, e.z, e.text.c_str());
    EXPECT_TRUE(harvesting);
    EXPECT_TRUE(factory);
    EXPECT_TRUE(grouped);
    EXPECT_EQ(host->UnitsOf(human, "Granite_Headquarters"), 0) << "after " << minutes << " minutes";
    EXPECT_NE(host->FindLine("Computer 2: Sending group to attack"), "");
}

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
    if (!host->ok || !s.JoinAll()) return result;
    host->sidesOut.insert(host->net->LocalPlayer()->m_id);
    host->logCrcs = true;
    host->ai->m_seed = seed;
    host->ai->m_debug = std::getenv("AI_TEST_LINES") ? 1 : 0;
    const char* races[4] = {"Granite", "Coral", "Granite", "Coral"};
    for (int i = 0; i < 4; ++i)
        if (!host->ai->AddCommander(2 + i, races[i])) return result;
    if (!s.StartGame()) return result;
    for (result.minutes = 0; result.minutes < 120; ++result.minutes) {
        s.RunTicks(kTicksPerMinute);
        std::set<int32_t> left = host->SidesLeft();
        if (std::getenv("AI_TEST_LINES") && result.minutes % 5 == 4)
            std::printf("minute %d: %d %d %d %d units, HQ %d %d %d %d\n", result.minutes + 1,
                        host->UnitsOf(2), host->UnitsOf(3), host->UnitsOf(4), host->UnitsOf(5),
                        host->UnitsOf(2, "Granite_Headquarters"), host->UnitsOf(3, "Coral_Headquarters"),
                        host->UnitsOf(4, "Granite_Headquarters"), host->UnitsOf(5, "Coral_Headquarters"));
        if (left.size() <= 1 && host->tickCount > kTicksPerMinute) {
            result.winner = left.empty() ? 0 : *left.begin();
            break;
        }
    }
    result.crcs = host->crcLog;
    if (std::getenv("AI_TEST_LINES"))
        for (const std::string& l : host->lines) std::printf("%s\n", l.c_str());
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
