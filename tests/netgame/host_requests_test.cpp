// What the host asks of a running network game reaches both machines in
// step: an alliance made and broken (a client's request through the host),
// resources given to every player, the game speed and the pause. Every frame
// both machines ran holds the same world and the same messages.
#include <gtest/gtest.h>

#include <cmath>

#include "tests/netgame/NetTestMachine.h"

namespace {
// Frames both machines ran, compared: each the same world after the same
// messages. The count of frames compared.
int CompareFrames(CNetMachine* a, CNetMachine* b) {
    int compared = 0;
    for (const auto& t : b->ticks) {
        auto h = a->ticks.find(t.first);
        if (h == a->ticks.end()) continue;
        EXPECT_EQ(h->second.worldCrc, t.second.worldCrc) << "frame " << t.first;
        EXPECT_EQ(h->second.digest, t.second.digest) << "frame " << t.first;
        ++compared;
    }
    return compared;
}
}  // namespace

TEST(NetHostRequests, AllianceResourcesSpeedAndPauseInStep) {
    CNetSession s;
    CNetMachine* host = s.Add("host");
    CNetMachine* client = s.Add("client");
    ASSERT_TRUE(s.JoinAll());
    host->net->m_serverInfo.m_cheats = 1;
    ASSERT_TRUE(s.StartGame());
    // The frames of the game (the lobby's went before the client had the
    // host's players).
    host->ticks.clear();
    client->ticks.clear();
    const int32_t hostId = host->net->LocalPlayer()->m_id;
    const int32_t clientId = client->net->LocalPlayer()->m_id;
    auto allied = [&](CNetMachine* m) {
        CPlayer* c = m->net->FindPlayerById(clientId);
        CPlayer* h = m->net->FindPlayerById(hostId);
        return c && h && c->IsAlliedWith(h);
    };

    // The client allies with the host's player: every machine takes it in
    // one frame; then breaks it again.
    ASSERT_TRUE(client->net->RequestAlliance(client->net->FindPlayerById(hostId), true));
    ASSERT_TRUE(s.RunUntil([&] { return allied(host) && allied(client); }));
    EXPECT_FALSE(host->net->LocalPlayer()->IsAlliedWith(host->net->FindPlayerById(clientId)));
    ASSERT_TRUE(client->net->RequestAlliance(client->net->FindPlayerById(hostId), false));
    ASSERT_TRUE(s.RunUntil([&] { return !allied(host) && !allied(client); }));

    // Resources for everyone, from the host (within the storage a unit of
    // each player gives).
    for (CNetMachine* m : {host, client}) m->tank->m_storage = 10000.0f;
    host->RequestUnit(host->tank, 1.0f, 1.0f, host->net->LocalPlayer()->m_ownerId);
    host->RequestUnit(host->tank, -1.0f, 1.0f, client->net->LocalPlayer()->m_ownerId);
    ASSERT_TRUE(
        s.RunUntil([&] { return host->scene->m_objectCount == 2 && client->scene->m_objectCount == 2; }));
    auto resources = [&](CNetMachine* m, int32_t id) { return m->net->FindPlayerById(id)->m_resources; };
    const float before = resources(host, clientId);
    ASSERT_TRUE(host->net->GiveResourcesToAll(250.0f));
    ASSERT_TRUE(s.RunUntil([&] {
        for (CNetMachine* m : {host, client})
            for (int32_t id : {hostId, clientId})
                if (resources(m, id) != before + 250.0f) return false;
        return true;
    }));

    // Twice the speed: both clocks take it.
    host->net->SetSpeedFactor(2.0f);
    ASSERT_TRUE(s.RunUntil(
        [&] { return std::fabs(host->speed - 2.0f) < 0.1f && std::fabs(client->speed - 2.0f) < 0.1f; }));
    // Far faster than real time: the game takes it as asked, no bound of
    // ours holds it back (what the machines keep up with does).
    host->net->SetSpeedFactor(200.0f);
    ASSERT_TRUE(s.RunUntil([&] { return host->speed > 150.0f && client->speed > 150.0f; }));
    host->net->SetSpeedFactor(-1.0f);
    EXPECT_EQ(host->net->m_speedFactor, 0.0f);
    host->net->SetSpeedFactor(1e9f);
    EXPECT_EQ(host->net->m_speedFactor, 99999.0f);
    host->net->SetSpeedFactor(1.0f);

    // The pause stops both; going on starts both.
    host->net->SendPause(1);
    ASSERT_TRUE(s.RunUntil([&] { return host->paused && client->paused; }));
    const int hostTicks = host->tickCount, clientTicks = client->tickCount;
    s.RunUntil([] { return false; }, 0.3);
    EXPECT_EQ(host->tickCount, hostTicks);
    EXPECT_EQ(client->tickCount, clientTicks);
    host->net->SendPause(0);
    ASSERT_TRUE(
        s.RunUntil([&] { return !host->paused && !client->paused && client->tickCount > clientTicks + 15; }));

    EXPECT_GT(CompareFrames(host, client), 20);
}
