// The network game runs headless: a host and a client, each a session with
// its world and nothing of the game object, the interface or the programs
// (this program links the network game library and what lies below it),
// join over 127.0.0.1, start, make a unit and move it through the world's
// order interface; both worlds agree. The display is taken away first, and
// nothing may have started the video at the end.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "platform/display/Display.h"
#include "tests/netgame/NetTestMachine.h"
#include "world/WorldCommands.h"

TEST(HeadlessNetGame, AGameOfTwoMachinesRunsWithoutADisplay) {
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    setenv("SDL_VIDEODRIVER", "offscreen", 1);

    CNetSession s;
    CNetMachine* host = s.Add("host");
    CNetMachine* client = s.Add("client");
    ASSERT_TRUE(s.JoinAll());
    host->net->m_serverInfo.m_cheats = 1;  // the host makes a unit in a running game
    ASSERT_TRUE(s.StartGame());
    host->RequestUnit(host->tank, 0.0f, 0.0f, client->net->LocalPlayer()->m_ownerId);
    ASSERT_TRUE(s.RunUntil([&] { return client->OwnUnits().size() == 1; }));

    // The client's order, given in world terms, reaches both worlds through
    // the frames.
    const uint16_t from = client->net->CurrentFrame();
    CTessarakObject* unit = client->OwnUnits().front();
    CTessarakObject* same = host->scene->m_idTable.Find(unit->m_objectId);
    ASSERT_NE(same, nullptr);
    EXPECT_TRUE(client->m_world->Commands().Move({unit->m_objectId}, 20.0f, 0.0f, 0));
    ASSERT_TRUE(s.RunUntil([&] { return unit->m_position[0] > 2.0f && same->m_position[0] > 2.0f; }));
    // In step: every frame both ran since left the same world.
    EXPECT_GT(Net_CompareWorlds(host, client, from), 10);
    EXPECT_EQ(client->net->WorldSyncCrc(), client->m_world->StateHash());

    EXPECT_STREQ(Display_DriverName(), "");
}
