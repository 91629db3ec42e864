// A host and a client join, play their lobby and leave, over UDP on
// 127.0.0.1, each with its own world and network game.
#include <gtest/gtest.h>

#include "tests/netgame/NetTestMachine.h"

namespace {
std::string ServerAddress(CNetMachine* host) {
    SNetAddress a;
    host->net->m_gameSocket->GetSocketName(&a);
    return "127.0.0.1:" + std::to_string(a.port);
}

bool Joined(CNetMachine* client, CNetMachine* host, const char* name) {
    std::string line = std::string(name) + " entered the game";
    return client->net->IsJoined() && !host->FindLine(line.c_str()).empty() &&
           !client->FindLine(line.c_str()).empty();
}
}  // namespace

TEST(NetJoin, ClientJoinsBothSeeItAndItLeavesCleanly) {
    CNetSession s;
    CNetMachine* host = s.Add("host");
    CNetMachine* client = s.Add("client");
    host->net->LocalPlayer()->m_name = "Hosty";
    ASSERT_TRUE(host->net->StartServer(0, true));
    client->net->LocalPlayer()->m_name = "Clienty";
    ASSERT_TRUE(client->net->Connect(ServerAddress(host).c_str()));
    EXPECT_FALSE(client->net->m_hosting);
    ASSERT_TRUE(s.RunUntil([&] { return Joined(client, host, "Clienty"); })) << client->FindLine("");

    // Both know both players under the same ids; the server gave the owner id.
    CPlayer* onHost = host->net->FindPlayerByName("Clienty");
    ASSERT_NE(onHost, nullptr);
    EXPECT_EQ(onHost->m_id, client->net->LocalPlayer()->m_id);
    EXPECT_GE(onHost->m_id, 2);
    EXPECT_EQ(client->net->LocalPlayer()->m_ownerId, onHost->m_ownerId);
    CPlayer* hostOnClient = client->net->FindPlayerByName("Hosty");
    ASSERT_NE(hostOnClient, nullptr);
    EXPECT_EQ(hostOnClient->m_id, 1);
    EXPECT_EQ(host->net->m_clients.GetCount(), 2u);  // the host's own client and the new one

    // Frames flow: the client ticks the host's frames, the same messages in
    // each. Until its registration's frame (within the host's lead of now)
    // the client knows itself and the host does not yet.
    int before = client->tickCount;
    uint16_t registered = client->net->m_frameTable->GetCurrentNumber() + s.lead + 1;
    ASSERT_TRUE(s.RunUntil([&] { return client->tickCount > before + 30; }));
    for (const auto& t : client->ticks) {
        if (t.first < registered) continue;
        auto h = host->ticks.find(t.first);
        ASSERT_NE(h, host->ticks.end()) << t.first;
        EXPECT_EQ(h->second.digest, t.second.digest) << "frame " << t.first;
        EXPECT_EQ(h->second.worldCrc, t.second.worldCrc) << "frame " << t.first;
    }

    // A lobby change goes through the server to both in one frame.
    client->net->LocalPlayer()->SetName("Renamed");
    ASSERT_TRUE(s.RunUntil([&] {
        return host->net->FindPlayerByName("Renamed") && client->net->LocalPlayer()->m_name.Equals("Renamed");
    }));

    client->net->Disconnect();
    EXPECT_TRUE(client->net->m_hosting);  // back in its own local game
    ASSERT_TRUE(s.RunUntil([&] { return host->net->FindPlayerByName("Renamed") == nullptr; }));
    EXPECT_NE(host->FindLine("disconnected"), "");
    EXPECT_EQ(host->net->m_clients.GetCount(), 1u);
    // A clean leave is told once, as a leave, not as a time-out too.
    EXPECT_EQ(host->FindLine("timed out"), "");
}

// A second game on one machine finds the client port taken by the first: it
// takes a free one, says which, and joins all the same.
TEST(NetJoin, ASecondGameOnOneMachineTakesAFreeClientPort) {
    CNetSession s;
    CNetMachine* host = s.Add("host");
    CNetMachine* first = s.Add("first");
    CNetMachine* second = s.Add("second");
    ASSERT_TRUE(host->net->StartServer(0, true));
    first->net->LocalPlayer()->m_name = "First";
    ASSERT_TRUE(first->net->Connect(ServerAddress(host).c_str()));
    SNetAddress taken;
    ASSERT_TRUE(first->net->m_gameSocket->GetSocketName(&taken));
    ASSERT_TRUE(s.RunUntil([&] { return Joined(first, host, "First"); }));
    second->net->m_clientPort = taken.port;
    second->net->LocalPlayer()->m_name = "Second";
    ASSERT_TRUE(second->net->Connect(ServerAddress(host).c_str()));
    SNetAddress used;
    ASSERT_TRUE(second->net->m_gameSocket->GetSocketName(&used));
    EXPECT_NE(used.port, taken.port);
    EXPECT_NE(second->FindLine(("The client port " + std::to_string(taken.port) + " is in use").c_str()), "");
    EXPECT_NE(second->FindLine(("using port " + std::to_string(used.port)).c_str()), "");
    EXPECT_TRUE(s.RunUntil([&] { return Joined(second, host, "Second"); }));
}

// Names of every length a player may have join: the registration's length
// is the record's (32 bytes and the name's letters), not a fixed minimum.
TEST(NetJoin, NamesOfEveryLengthJoin) {
    const std::string longest(CPlayer::kMaxNameLength, 'L');
    for (const std::string& name : {std::string("B"), std::string("Bob"), std::string("Bobo"), longest}) {
        SCOPED_TRACE(name);
        CNetSession s;
        CNetMachine* host = s.Add("host");
        CNetMachine* client = s.Add("client");
        ASSERT_TRUE(host->net->StartServer(0, true));
        client->net->LocalPlayer()->m_name = name.c_str();
        ASSERT_TRUE(client->net->Connect(ServerAddress(host).c_str()));
        ASSERT_TRUE(s.RunUntil([&] { return Joined(client, host, name.c_str()); }, 5.0))
            << host->FindLine("Refused");
        CPlayer* onHost = host->net->FindPlayerByName(name.c_str());
        ASSERT_NE(onHost, nullptr);
        EXPECT_EQ(onHost->m_id, client->net->LocalPlayer()->m_id);
        EXPECT_EQ(host->FindLine("Refused"), "");
    }
}

// The view holds back the order overlays of a scene while its map loads: on
// every machine from MAPCHANGESTART until the game loop starts on the whole
// scene.
TEST(NetJoin, TheOrderOverlaysWaitWhileTheMapLoads) {
    CNetSession s;
    CNetMachine* host = s.Add("host");
    CNetMachine* client = s.Add("client");
    ASSERT_TRUE(s.JoinAll());
    bool heldWhileLoading[2] = {false, false};
    host->net->SendStartRequest();
    ASSERT_TRUE(s.RunUntil([&] {
        CNetMachine* m[2] = {host, client};
        for (int i = 0; i < 2; ++i)
            if (!m[i]->Running() && m[i]->scene->m_overlaySuppress) heldWhileLoading[i] = true;
        return host->Running() && client->Running();
    }));
    EXPECT_TRUE(heldWhileLoading[0]);
    EXPECT_TRUE(heldWhileLoading[1]);
    EXPECT_EQ(host->scene->m_overlaySuppress, 0);
    EXPECT_EQ(client->scene->m_overlaySuppress, 0);
}
