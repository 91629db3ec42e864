// What the play and map-script commands give through the world's order
// interface, between a host and a client over UDP on 127.0.0.1: signals
// that hold a unit and let it go, stops, switches and kills take effect in
// the same frame on both machines (their worlds stay equal tick by tick), a
// client cannot give them for the host's units, and script points stay on
// the machine that sets them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "tests/netgame/NetTestMachine.h"
#include "world/Unit.h"
#include "world/WorldCommands.h"

namespace {

uint16_t Frame(CNetMachine* m) {
    return m->net->m_frameTable->GetCurrentNumber();
}

// Frames both machines ran from `from` on with the same world CRC; how many.
int SameFrames(CNetMachine* a, CNetMachine* b, uint16_t from, uint16_t to) {
    int same = 0;
    for (uint16_t f = from; f < to; ++f) {
        auto x = a->ticks.find(f), y = b->ticks.find(f);
        if (x == a->ticks.end() || y == b->ticks.end()) continue;
        EXPECT_EQ(x->second.worldCrc, y->second.worldCrc) << "frame " << f;
        same += x->second.worldCrc == y->second.worldCrc;
    }
    return same;
}

CUnit* UnitOn(CNetMachine* m, int32_t id) {
    CTessarakObject* o = m->scene->m_idTable.Find(id);
    return o && o->IsUnit() ? static_cast<CUnit*>(o) : nullptr;
}

}  // namespace

TEST(ScriptOrdersLockstep, SignalsStopsKillsAndScriptPointsInStepAndOnlyForTheOwner) {
    CNetSession s;
    CNetMachine* host = s.Add("host");
    CNetMachine* client = s.Add("client");
    ASSERT_TRUE(s.JoinAll());
    host->net->m_serverInfo.m_cheats = 1;
    ASSERT_TRUE(s.StartGame());
    host->RequestUnit(host->tank, 0.0f, 10.0f, host->net->LocalPlayer()->m_ownerId);
    host->RequestUnit(host->tank, 0.0f, -10.0f, client->net->LocalPlayer()->m_ownerId);
    host->RequestUnit(host->tank, 8.0f, -10.0f, client->net->LocalPlayer()->m_ownerId);
    ASSERT_TRUE(s.RunUntil([&] { return host->OwnUnits().size() == 1 && client->OwnUnits().size() == 2; }));
    const int32_t hostTank = host->OwnUnits().front()->m_objectId;
    const int32_t mine = client->OwnUnits().front()->m_objectId;
    const int32_t other = client->OwnUnits().back()->m_objectId;
    CWorldCommands& orders = client->m_world->Commands();
    const uint16_t from = std::max(Frame(host), Frame(client));

    // The client's unit waits for signal 9 on both machines, and holds a
    // move there while it waits.
    ASSERT_TRUE(orders.Signal({mine}, 9));
    ASSERT_TRUE(s.RunUntil(
        [&] { return UnitOn(host, mine)->m_waitSignal == 9 && UnitOn(client, mine)->m_waitSignal == 9; }));
    const float z0 = UnitOn(client, mine)->m_position[2];
    orders.Move({mine}, 0.0f, 30.0f, 0);
    const uint16_t held = Frame(client);
    ASSERT_TRUE(s.RunUntil([&] { return Frame(client) > held + 30; }));
    EXPECT_EQ(UnitOn(client, mine)->m_position[2], z0);
    EXPECT_EQ(UnitOn(host, mine)->m_position[2], z0);
    // The signal: it drives on, on both.
    orders.Signal(client->m_world->Query().LocalUnitsWaitingFor(9), 0);
    ASSERT_TRUE(s.RunUntil([&] { return UnitOn(client, mine)->m_position[2] > z0 + 2.0f; }));
    EXPECT_EQ(UnitOn(host, mine)->m_waitSignal, 0);

    // Switches, a stop and a kill of the client's own units.
    orders.SwitchOn({mine, other}, false);
    ASSERT_TRUE(s.RunUntil(
        [&] { return !(UnitOn(host, other)->m_mode & 0x80) && !(UnitOn(client, other)->m_mode & 0x80); }));
    orders.Stop({mine});
    ASSERT_TRUE(s.RunUntil(
        [&] { return !UnitOn(host, mine)->m_runningOrder && !UnitOn(client, mine)->m_runningOrder; }));
    orders.Kill({other}, false);
    ASSERT_TRUE(s.RunUntil([&] {
        CUnit* h = UnitOn(host, other);
        CUnit* c = UnitOn(client, other);
        return (!h || h->Dying()) && (!c || c->Dying());
    }));

    // A script point is the client's own table's: the map's scripts set it
    // on every machine, so none reaches the host.
    orders.SetScriptPoint(12, 5.5f, -7.25f);
    EXPECT_TRUE(client->scene->ScriptPoint(12, nullptr, nullptr));
    EXPECT_FALSE(host->scene->ScriptPoint(12, nullptr, nullptr));

    // What the client asks for the host's unit is refused by the server:
    // nothing of it happens anywhere.
    const int refused = host->CountLines("Refused message");
    orders.Kill({hostTank}, false);
    orders.Signal({hostTank}, 4);
    orders.SwitchOn({hostTank}, false);
    orders.Stop({hostTank});
    ASSERT_TRUE(s.RunUntil([&] { return host->CountLines("Refused message") >= refused + 3; }))
        << host->FindLine("Refused");
    const uint16_t after = std::max(Frame(host), Frame(client));
    ASSERT_TRUE(s.RunUntil([&] { return Frame(client) > after + 20 && Frame(host) > after + 20; }));
    for (CNetMachine* m : {host, client}) {
        CUnit* u = UnitOn(m, hostTank);
        ASSERT_NE(u, nullptr);
        EXPECT_FALSE(u->Dying());
        EXPECT_EQ(u->m_waitSignal, 0);
        EXPECT_TRUE(u->m_mode & 0x80);  // still on, as every unit starts
    }
    // In step all along.
    EXPECT_GT(SameFrames(host, client, from, std::min(Frame(host), Frame(client))), 60);
}
