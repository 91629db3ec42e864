// A host and two clients, each client behind a relay that loses 10% of the
// datagrams, sends 5% twice and holds 5% back (so they overtake each other),
// both ways: over 5,000 ticks of a game with units made, ordered and
// destroyed on the way, every machine runs the same frames with the same
// messages and has the same world after each, without a resync.
#include <gtest/gtest.h>

#include <memory>

#include "tests/netgame/NetTestMachine.h"
#include "tools/lib/UdpRelay.h"

TEST(NetImpaired, ThreeMachinesStayInStepOverFiveThousandTicks) {
    CNetSession s;
    CNetMachine* host = s.Add("host");
    CNetMachine* clients[2] = {s.Add("one"), s.Add("two")};
    // The host runs up to a second and a half of frames ahead of its
    // slowest client, as a server does whose clock does not wait.
    s.lead = 24;
    ASSERT_TRUE(host->net->StartServer(0, true));
    SNetAddress server;
    host->net->m_gameSocket->GetSocketName(&server);
    server.ip = kNetLoopback;
    SRelayImpairment bad;
    bad.loss = 0.10;
    bad.duplicate = 0.05;
    bad.delay = 0.05;
    std::unique_ptr<CUdpRelay> relays[2];
    for (int i = 0; i < 2; ++i) {
        relays[i].reset(new CUdpRelay(server, 1234u + i));
        relays[i]->SetImpairment(bad, bad);
        ASSERT_TRUE(relays[i]->Start());
        clients[i]->net->Connect(Net_FormatAddress(relays[i]->GetAddress()).c_str());
    }
    ASSERT_TRUE(s.RunUntil(
        [&] {
            for (CNetMachine* c : clients)
                if (!c->net->IsJoined() || c->net->CountPlayers() != 3) return false;
            return host->net->CountPlayers() == 3;
        },
        15.0));
    host->net->m_serverInfo.m_cheats = 1;
    ASSERT_TRUE(s.StartGame(15.0));
    uint16_t first = 0;
    for (auto& m : s.m_machines) first = std::max(first, m->net->m_frameTable->GetCurrentNumber());
    first += 1;
    const int kTicks = 5000;
    int hostStart = host->tickCount;
    int step = 0;
    ASSERT_TRUE(s.RunUntil(
        [&] {
            // Now and then the players act: units for each of them, orders
            // for their own units, one destroyed.
            int ticks = host->tickCount - hostStart;
            if (ticks >= step * 250 && ticks < kTicks - 100) {
                ++step;
                for (auto& m : s.m_machines) {
                    CNetMachine* owner = m.get();
                    host->RequestUnit(host->tank, step * 3.0f, 1.0f, owner->net->LocalPlayer()->m_ownerId);
                    std::vector<CTessarakObject*> own = owner->OwnUnits();
                    if (!own.empty()) owner->OrderMove(own.back(), step * 1.0f, -step * 1.0f);
                    if (step % 4 == 0 && own.size() > 1) {
                        own.front()->SendCommand(1);
                    }
                }
            }
            for (CNetMachine* c : clients)
                if (c->tickCount - hostStart < kTicks) return false;
            return true;
        },
        20.0))
        << "host " << host->tickCount << " one " << clients[0]->tickCount << " two " << clients[1]->tickCount;
    int compared = 0;
    uint16_t last = std::min(clients[0]->net->m_frameTable->GetCurrentNumber(),
                             clients[1]->net->m_frameTable->GetCurrentNumber());
    for (uint16_t f = first; f != last; f = NWEFrameTable::NextFrameNumber(f)) {
        auto h = host->ticks.find(f);
        ASSERT_NE(h, host->ticks.end()) << f;
        for (CNetMachine* c : clients) {
            auto t = c->ticks.find(f);
            ASSERT_NE(t, c->ticks.end()) << f;
            ASSERT_EQ(h->second.worldCrc, t->second.worldCrc) << c->m_name << " frame " << f;
            ASSERT_EQ(h->second.digest, t->second.digest) << c->m_name << " frame " << f;
            ASSERT_EQ(h->second.gameTime, t->second.gameTime) << c->m_name << " frame " << f;
        }
        ++compared;
    }
    EXPECT_GE(compared, kTicks);
    EXPECT_GE(host->scene->m_idTable.GetCounter(), 30);  // the game made its units
    for (auto& m : s.m_machines) {
        EXPECT_EQ(m->FindLine("Resyncing"), "") << m->m_name;
        if (!m->FindLine("Resyncing").empty())
            for (auto& l : m->lines) printf("%s: %s\n", m->m_name.c_str(), l.c_str());
    }
    SRelayCounts counts = relays[0]->GetCounts();
    EXPECT_GT(counts.dropped, 100u);
    EXPECT_GT(counts.duplicated, 50u);
}
