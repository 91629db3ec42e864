// A host and a client in a running game: the same requests take effect in
// the same frame on both, their worlds stay equal tick by tick, and a client
// whose world is changed behind the game's back is found out by the sync
// checks and brought back by a resync while the game goes on.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <functional>
#include <vector>

#include "tests/netgame/NetTestMachine.h"

namespace {
// Frames both machines ran from `from` on: their world CRCs, message
// digests and game times must agree; returns how many were compared.
int CompareFrames(CNetMachine* a, CNetMachine* b, uint16_t from, uint16_t to) {
    int compared = 0;
    for (uint16_t f = from; f < to; ++f) {
        auto x = a->ticks.find(f), y = b->ticks.find(f);
        if (x == a->ticks.end() || y == b->ticks.end()) continue;
        EXPECT_EQ(x->second.worldCrc, y->second.worldCrc) << "frame " << f;
        EXPECT_EQ(x->second.digest, y->second.digest) << "frame " << f;
        EXPECT_EQ(x->second.gameTime, y->second.gameTime) << "frame " << f;
        ++compared;
    }
    return compared;
}

uint16_t Frame(CNetMachine* m) {
    return m->net->m_frameTable->GetCurrentNumber();
}
}  // namespace

TEST(NetLockstep, SameRequestsSameWorldAndAResyncMendsACorruptedClient) {
    CNetSession s;
    CNetMachine* host = s.Add("host");
    CNetMachine* client = s.Add("client");
    ASSERT_TRUE(s.JoinAll());
    host->net->m_serverInfo.m_cheats = 1;  // the host makes the units below in a running game
    ASSERT_TRUE(s.StartGame());
    const int32_t hostOwner = host->net->LocalPlayer()->m_ownerId;
    const int32_t clientOwner = client->net->LocalPlayer()->m_ownerId;
    ASSERT_NE(hostOwner, clientOwner);
    for (int i = 0; i < 3; ++i) {
        host->RequestUnit(host->tank, 10.0f * i, 5.0f, hostOwner);
        host->RequestUnit(host->tank, 10.0f * i, -5.0f, clientOwner);
    }
    ASSERT_TRUE(s.RunUntil([&] { return host->OwnUnits().size() == 3 && client->OwnUnits().size() == 3; }));
    uint16_t from = std::max(Frame(host), Frame(client));
    // Orders from both sides, each for its own units; the client's resources.
    for (CTessarakObject* u : client->OwnUnits()) EXPECT_TRUE(client->OrderMove(u, 50.0f, 50.0f));
    for (CTessarakObject* u : host->OwnUnits()) EXPECT_TRUE(host->OrderMove(u, -50.0f, 20.0f));
    uint8_t give[8];
    NWE_Put32(give, static_cast<uint32_t>(client->net->LocalPlayer()->m_id));
    float amount = 1234.0f;
    std::memcpy(give + 4, &amount, 4);
    host->net->Send(NS_NOTIFYTYPE_GIVERESOURCES, give, 8);
    // The orders run: the units find their ways and drive.
    CTessarakObject* mover = client->OwnUnits().front();
    const float startX = mover->m_position[0];
    ASSERT_TRUE(s.RunUntil([&] { return Frame(client) > from + 40 && mover->m_position[0] != startX; }));
    EXPECT_GE(CompareFrames(host, client, from, Frame(client)), 35);
    EXPECT_EQ(host->net->FindPlayerById(client->net->LocalPlayer()->m_id)->m_resources,
              client->net->LocalPlayer()->m_resources);

    // Someone moves a unit on the client only: the spot checks find it, the
    // client reports, the server resyncs, and the unit stands where the
    // server has it.
    ASSERT_FALSE(client->OwnUnits().empty());
    CTessarakObject* moved = client->OwnUnits().front();
    CTessarakObject* original = host->scene->m_idTable.Find(moved->m_objectId);
    ASSERT_NE(original, nullptr);
    moved->SetPosition(moved->m_position[0] + 7.0f, 0.0f, moved->m_position[2]);
    ASSERT_TRUE(s.RunUntil([&] {
        CTessarakObject* now = client->scene->m_idTable.Find(original->m_objectId);
        return !client->FindLine("Resyncing Game").empty() && now &&
               now->m_position[0] == original->m_position[0] && client->net->m_syncState == 0 &&
               host->net->m_syncState == 0;
    })) << client->FindLine("");
    EXPECT_NE(host->FindLine("Resyncing on frame"), "");
    // The game goes on, in step.
    uint16_t after = std::max(Frame(host), Frame(client));
    ASSERT_TRUE(s.RunUntil([&] { return Frame(client) > after + 20; }));
    EXPECT_GE(CompareFrames(host, client, after, Frame(client)), 15);
    EXPECT_EQ(client->OwnUnits().size(), 3u);
    EXPECT_EQ(host->OwnUnits().size(), 3u);
}

// The server's speed control lowers the tick rate in the very frame the game
// starts in, the frame that also sets every client's clock: the clients tick
// at the rate the server ticks at from there on, and their game times stay
// the server's.
TEST(NetLockstep, ARateChangeInTheStartFrameRunsOnEveryMachine) {
    CNetSession s;
    CNetMachine* host = s.Add("host");
    CNetMachine* client = s.Add("client");
    ASSERT_TRUE(s.JoinAll());
    // Lowered now, sent by the speed control of the step that takes the start.
    host->net->m_targetFps = 12.0f;
    ASSERT_TRUE(s.StartGame());
    uint16_t from = std::max(Frame(host), Frame(client));
    ASSERT_TRUE(s.RunUntil([&] { return Frame(client) > from + 30; }));
    EXPECT_EQ(host->rate, client->rate);
    EXPECT_LT(host->rate, 15.0f);
    EXPECT_GE(CompareFrames(host, client, from, Frame(client)), 25);
}

namespace {
// Makes the client lose a message: the host gives the client's player
// resources (GIVERESOURCES), and the first frame ahead of the client that
// holds it keeps it out and waits for one message more than it will ever
// get, as a frame does whose datagram never came. The client's frames are
// its own to run (only its network is served meanwhile). True once done.
bool LoseAMessage(CNetSession& s, CNetMachine* host, CNetMachine* client) {
    uint8_t give[8];
    NWE_Put32(give, static_cast<uint32_t>(client->net->LocalPlayer()->m_id));
    const float amount = 4321.0f;
    std::memcpy(give + 4, &amount, 4);
    host->net->Send(NS_NOTIFYTYPE_GIVERESOURCES, give, 8);
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < end) {
        host->Step(s.HostMayTick());
        client->Step(false);
        NWEFrameTable* table = client->net->m_frameTable;
        for (int k = 0; k < 64; ++k) {
            NWEFrame* f = table->Lookup(table->Advance(k));
            if (!f) continue;
            bool taken = false;
            if (f->IsComplete()) {
                std::vector<NWEMessagePtr> all = f->TakeMessages(), kept;
                for (NWEMessagePtr& m : all)
                    if (m->GetId() == NS_NOTIFYTYPE_GIVERESOURCES && !taken) {
                        client->net->m_queue3.Remove(m.get());
                        taken = true;
                    } else {
                        kept.push_back(m);
                    }
                f->PutBack(kept);
                if (taken) f->SetExpected(static_cast<uint16_t>(f->GetExpected() + 1));
            }
            table->Release(f);
            if (taken) return true;
        }
    }
    return false;
}
}  // namespace

// A client forced past a frame it did not have whole (the server ran on)
// asks for a resync with a SYNC_REPORT that carries nothing; the server takes
// it, resyncs, and the client's player is the server's again, in step.
TEST(NetLockstep, AClientForcedPastAFrameAsksForAResyncAndIsResynced) {
    CNetSession s;
    CNetMachine* host = s.Add("host");
    CNetMachine* client = s.Add("client");
    ASSERT_TRUE(s.JoinAll());
    host->net->m_serverInfo.m_cheats = 1;
    ASSERT_TRUE(s.StartGame());
    client->frameTimeout = 0.3f;
    ASSERT_TRUE(LoseAMessage(s, host, client));
    ASSERT_TRUE(s.RunUntil([&] {
        return !client->FindLine("asking server to resync").empty() && host->net->m_syncState == 0 &&
               client->net->m_syncState == 0 && !client->FindLine("Resyncing Game").empty() &&
               client->net->LocalPlayer()->m_resources ==
                   host->net->FindPlayerById(client->net->LocalPlayer()->m_id)->m_resources;
    })) << client->FindLine("");
    EXPECT_NE(host->FindLine("Resyncing on frame"), "");
    EXPECT_EQ(host->CountLines("names nothing"), 0);
    uint16_t after = std::max(Frame(host), Frame(client));
    ASSERT_TRUE(s.RunUntil([&] { return Frame(client) > after + 20; }));
    EXPECT_GE(CompareFrames(host, client, after, Frame(client)), 15);
}

// A client that asks for a resync and then answers none of it (it hangs) is
// dropped once the resync's bound runs out; the host and the other client
// finish the resync and play on in step.
TEST(NetLockstep, AResyncThatCannotBeServedDropsTheClientAndTheOthersPlayOn) {
    CNetSession s;
    CNetMachine* host = s.Add("host");
    CNetMachine* good = s.Add("good");
    CNetMachine* bad = s.Add("bad");
    ASSERT_TRUE(s.JoinAll());
    host->net->m_serverInfo.m_cheats = 1;
    host->net->m_resyncTimeout = 1.0f;
    ASSERT_TRUE(s.StartGame());
    bad->frameTimeout = 0.3f;
    // The bad client runs until it asks for its resync, then hangs.
    ASSERT_TRUE(LoseAMessage(s, host, bad));
    ASSERT_TRUE(s.RunUntil([&] { return !bad->FindLine("asking server to resync").empty(); }));
    bad->Step(false);  // its request leaves (its network served once more)
    // From here on only the host and the good client are stepped, the host
    // at most four frames ahead of the good one.
    auto run = [&](const std::function<bool()>& done) {
        auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (std::chrono::steady_clock::now() < end) {
            const int ahead = (Frame(host) - Frame(good) + 8191) % 8191;
            host->Step(ahead <= 4 || ahead > 4000);
            good->Step();
            if (done()) return true;
        }
        return done();
    };
    ASSERT_TRUE(run([&] {
        return !host->FindLine("did not answer the resync and is dropped").empty() &&
               host->net->m_syncState == 0 && good->net->m_syncState == 0;
    })) << host->FindLine("");
    ASSERT_TRUE(run([&] { return host->net->CountPlayers() == 2 && good->net->CountPlayers() == 2; }));
    uint16_t after = std::max(Frame(host), Frame(good));
    ASSERT_TRUE(run([&] { return Frame(good) > after + 30; }));
    EXPECT_GE(CompareFrames(host, good, after, Frame(good)), 25);
}

// A client held back (its frames stand while its network runs on) keeps the
// host waiting: the host counts the real seconds for that client's player,
// and the wait goes back to 0 once the client has caught up.
TEST(NetLockstep, AHostCountsTheRealSecondsAHeldBackClientKeepsItWaitingUntilItCatchesUp) {
    CNetSession s;
    CNetMachine* host = s.Add("host");
    CNetMachine* client = s.Add("client");
    ASSERT_TRUE(s.JoinAll());
    ASSERT_TRUE(s.StartGame());
    CPlayer* remote = host->net->FindPlayerById(client->net->LocalPlayer()->m_id);
    ASSERT_TRUE(remote);
    // In step nobody waits.
    float most = 0.0f;
    s.RunUntil(
        [&] {
            most = std::max(most, host->net->LargestWait());
            return false;
        },
        2.5);
    EXPECT_EQ(most, 0.0f);

    // Held back: the host runs on until it is far ahead, then stands.
    s.lead = 60;
    const auto held = std::chrono::steady_clock::now();
    const auto realSeconds = [&] {
        return std::chrono::duration<float>(std::chrono::steady_clock::now() - held).count();
    };
    bool waited = false;
    for (auto end = held + std::chrono::seconds(30); std::chrono::steady_clock::now() < end && !waited;) {
        const bool hostMay = s.HostMayTick();
        host->Step(hostMay);
        client->Step(false);
        const float wait = host->net->LargestWait();
        // Never more than the real time the client has been held.
        ASSERT_LE(wait, realSeconds() + 0.05f);
        waited = wait > 2.0f;
    }
    ASSERT_TRUE(waited);
    EXPECT_EQ(host->net->LargestWait(), remote->m_waitTime);
    EXPECT_EQ(host->net->LocalPlayer()->m_waitTime, 0.0f);

    // Let go, it catches up and the wait is over.
    s.lead = 4;
    const uint16_t heldAt = Frame(client);
    ASSERT_TRUE(s.RunUntil([&] { return host->net->LargestWait() == 0.0f; }, 20.0));
    EXPECT_EQ(remote->m_waitTime, 0.0f);
    EXPECT_GT(NWEFrameTable::Compare(Frame(client), heldAt), 0);
}
