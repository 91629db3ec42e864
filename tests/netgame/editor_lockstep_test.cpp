// The map editor's road through the network game, over UDP on 127.0.0.1:
// CREATEUNIT places an object on host and client alike exactly as a map's
// objects file places it (MapObject_Place), the next map id for one asked
// without; a game is the editor's only while it runs on this machine alone:
// then the host's own client may create objects in the running game, and
// once another machine has joined the server refuses it.
#include <gtest/gtest.h>

#include "netgame/MapFiles.h"
#include "tests/netgame/NetTestMachine.h"
#include "world/MapEditor.h"

namespace {

CTessarakObject* WithMapId(CNetMachine* m, int32_t mapId) {
    for (CTessarakObject* o = m->scene->m_allObjects; o; o = o->m_allNext)
        if (o->m_mapId == mapId && o->m_objectId >= 0) return o;
    return nullptr;
}

}  // namespace

TEST(EditorLockstep, CreateUnitPlacesAsTheMapFileOnEveryMachine) {
    CNetSession s;
    CNetMachine* host = s.Add("host");
    CNetMachine* client = s.Add("client");
    ASSERT_TRUE(s.JoinAll());
    host->net->m_serverInfo.m_cheats = 1;
    ASSERT_TRUE(s.StartGame());
    for (CNetMachine* m : {host, client}) {
        m->scene->m_highestMapId = 30;
        m->scene->m_layerPositions[5] = 0.75f;
    }
    const int32_t owner = client->net->LocalPlayer()->m_ownerId;
    const uint16_t from = client->net->CurrentFrame();
    CGameScene::SPlacement p;
    p.x = 6.0f;
    p.y = 0.75f;
    p.z = -3.0f;
    p.ownerId = owner;
    p.layer = 5;
    p.headingIncrement = 7.5f;  // more than a turn
    p.scaleIncrement = 0.25f;
    ASSERT_TRUE(CMapEditor(*host->m_world).RequestCreate(host->rock, p));
    p.mapId = 12;
    p.x = -6.0f;
    p.headingIncrement = -2.0f;
    ASSERT_TRUE(CMapEditor(*client->m_world).RequestCreate(client->rock, p));
    ASSERT_TRUE(s.RunUntil([&] {
        return WithMapId(host, 31) && WithMapId(client, 31) && WithMapId(host, 12) && WithMapId(client, 12);
    }));

    // What the map's objects file makes of the same record, on a world of
    // the same content.
    CNetMachine reference("reference");
    reference.scene->m_layerPositions[5] = 0.75f;
    for (int32_t mapId : {31, 12}) {
        const float x = mapId == 31 ? 6.0f : -6.0f, heading = mapId == 31 ? 7.5f : -2.0f;
        CTessarakObject* r = reference.m_world->CreateUnit(reference.rock, x, -3.0f, nullptr, -1);
        ASSERT_NE(r, nullptr);
        MapObject_Place(reference.scene, r, x, -3.0f, owner, 5, mapId, heading, 0.25f, nullptr);
        for (CNetMachine* m : {host, client}) {
            CTessarakObject* o = WithMapId(m, mapId);
            SCOPED_TRACE(m->m_name + " " + std::to_string(mapId));
            for (int i = 0; i < 3; ++i) {
                EXPECT_EQ(o->m_position[i], r->m_position[i]);
                EXPECT_EQ(o->m_scale[i], r->m_scale[i]);
            }
            EXPECT_EQ(o->m_yaw, r->m_yaw);
            EXPECT_GE(o->m_yaw, 0.0f);
            EXPECT_LT(o->m_yaw, 6.2831855f);
            EXPECT_EQ(o->m_layer, 5u);
            EXPECT_EQ(o->m_headingIncrement, heading);
            EXPECT_EQ(o->m_scaleIncrement, 0.25f);
            EXPECT_EQ(o->m_objectRadius, r->m_objectRadius);
            ASSERT_NE(o->m_owner, nullptr);
            EXPECT_EQ(o->m_owner->m_ownerId, owner);
            EXPECT_EQ(o->m_mapTeam, owner);
        }
    }
    EXPECT_EQ(host->scene->m_highestMapId, 31);
    EXPECT_EQ(client->scene->m_highestMapId, 31);
    // Every frame both ran since left the same world.
    EXPECT_GT(Net_CompareWorlds(host, client, from), 0);
}

TEST(EditorLockstep, TheEditorsCreationsOnlyWhileTheGameRunsOnThisMachineAlone) {
    CNetSession s;
    CNetMachine* host = s.Add("host");
    ASSERT_TRUE(s.JoinAll());
    ASSERT_TRUE(s.StartGame());
    EXPECT_TRUE(host->net->AloneOnThisMachine());
    const int32_t owner = host->net->LocalPlayer()->m_ownerId;
    host->RequestUnit(host->rock, 2.0f, 2.0f, owner);
    ASSERT_TRUE(s.RunUntil([&] { return host->scene->m_objectCount == 1; }));

    // Another machine joins: no longer alone, and the running game's
    // creations are refused (cheats are off).
    CNetSession both;
    CNetMachine* h = both.Add("host");
    CNetMachine* c = both.Add("client");
    ASSERT_TRUE(both.JoinAll());
    EXPECT_FALSE(h->net->AloneOnThisMachine());
    EXPECT_FALSE(c->net->AloneOnThisMachine());
    ASSERT_TRUE(both.StartGame());
    const int refused = h->CountLines("Refused message");
    h->RequestUnit(h->rock, 2.0f, 2.0f, h->net->LocalPlayer()->m_ownerId);
    ASSERT_TRUE(both.RunUntil([&] { return h->CountLines("Refused message") > refused; }));
    EXPECT_EQ(h->scene->m_objectCount, 0);
    EXPECT_EQ(c->scene->m_objectCount, 0);
}
