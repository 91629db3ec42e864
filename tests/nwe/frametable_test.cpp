// The lockstep frame table, alone and fed by a server engine over UDP.
#include <gtest/gtest.h>

#include "tests/nwe/NweLink.h"

TEST(NweFrameTable, NumbersWrapAndCompare) {
    CManualClock clock;
    CTestEngine e(&clock);
    NWEFrameTable t(&e);
    EXPECT_EQ(NWEFrameTable::NextFrameNumber(8191), 1);
    EXPECT_EQ(NWEFrameTable::NextFrameNumber(1), 2);
    t.SetCurrent(8190);
    EXPECT_EQ(t.Advance(3), 2);
    EXPECT_EQ(t.Advance(0), 8190);
    struct {
        uint16_t a, b;
        int expect;
    } cases[] = {{1, 8191, 1}, {8191, 1, -1}, {100, 4196, -1}, {4196, 100, -1},
                 {5, 5, 0},    {6, 5, 1},     {5, 6, -1}};
    for (auto& c : cases) EXPECT_EQ(NWEFrameTable::Compare(c.a, c.b), c.expect) << c.a << " " << c.b;
    EXPECT_EQ(t.GetShared(0), nullptr);
    EXPECT_EQ(t.GetShared(8192), nullptr);
    EXPECT_EQ(t.GetShared(65535), nullptr);
}

TEST(NweFrameTable, CompletenessOnBothSides) {
    CManualClock clock;
    CTestEngine e(&clock);
    NWEFrameTable receiving(&e);
    NWEFrame* f = receiving.GetShared(7);
    EXPECT_EQ(f->GetExpected(), -1);  // 65535: not announced yet
    EXPECT_FALSE(f->IsComplete());
    f->SetExpected(0);
    EXPECT_TRUE(f->IsComplete());
    receiving.Release(f);
    EXPECT_EQ(receiving.Lookup(8), nullptr);

    NWEFrameTable announcing(&e);
    announcing.SetAnnouncing(true);
    announcing.SetCurrent(8191);
    NWEFrame* a = announcing.Current();
    a->IncReceived();
    a->IncReceived();
    EXPECT_EQ(a->GetExpected(), 2);
    announcing.Release(a);
    announcing.Process();
    EXPECT_EQ(announcing.GetCurrentNumber(), 1);
    EXPECT_EQ(announcing.Lookup(8191), nullptr);  // cleared when it closed
}

namespace {

constexpr uint16_t kOrder = 134;

struct SLockstep {
    CManualClock clock;
    SEnd server{&clock}, client{&clock};
    NWEFrameTable serverTable{&server.engine}, clientTable{&client.engine};
    NWEQueue clientQueue;
    SLockstep() {
        serverTable.SetAnnouncing(true);
        server.registry.Register("FRAME", NS_NOTIFYTYPE_FRAME_INFO, nullptr, nullptr, nullptr, &serverTable,
                                 nullptr, 0, 2, 1, 1, 1);
        server.registry.Register("ORDER", kOrder, nullptr, nullptr, nullptr, &serverTable, nullptr, 0, 5, 0,
                                 0, 0);
        client.registry.Register("FRAME", NS_NOTIFYTYPE_FRAME_INFO, nullptr, nullptr, nullptr, &clientTable,
                                 nullptr, 0, 2, 1, 1, 1);
        client.registry.Register("ORDER", kOrder, SDeliveries::Handler, &client.got, &clientQueue,
                                 &clientTable, nullptr, 0, 5, 0, 0, 0);
        client.Connect(server.address);
        server.Connect(client.address);
        client.peer->SetFrameSync(true);
        server.peer->SetFrameSync(true);
        serverTable.AddPeer(server.peer);
    }
    ~SLockstep() {
        // The sockets (and with them every peer) go before the tables they file into.
        client.socket->Destroy();
        client.socket = nullptr;
        server.socket->Destroy();
        server.socket = nullptr;
    }
    // The server closes a frame with n orders in it.
    void ServerFrame(int n, uint32_t firstIndex) {
        uint16_t frame = serverTable.GetCurrentNumber();
        for (int i = 0; i < n; ++i) {
            std::vector<uint8_t> p = IndexedPayload(firstIndex + i, 20);
            server.peer->SendMessage(kOrder, p.data(), 20, nullptr, 65535, 0, 65535, frame);
            NWEFrame* f = serverTable.Current();
            f->IncReceived();
            serverTable.Release(f);
        }
        serverTable.Process();
    }
    // The client executes its current frame when complete.
    bool ClientFrame() {
        NWEFrame* f = clientTable.TryCurrent();
        if (!f) return false;
        bool done = f->IsComplete();
        if (done) NWEPeer::ProcessIncoming(f, &clientQueue);
        clientTable.Release(f);
        if (done) clientTable.Process();
        return done;
    }
};

}  // namespace

TEST(NweFrameTable, FramesThroughTheWrapOverUdp) {
    SLockstep l;
    l.serverTable.SetCurrent(8188);
    l.clientTable.SetCurrent(8188);
    uint32_t index = 0;
    std::vector<uint16_t> executed;
    for (int tick = 0; tick < 8; ++tick) {
        uint16_t frame = l.serverTable.GetCurrentNumber();
        l.ServerFrame(tick % 3, index);
        index += tick % 3;
        ASSERT_TRUE(Pump({&l.client.engine, &l.server.engine}, [&] { return l.ClientFrame(); }))
            << "frame " << frame;
        executed.push_back(frame);
        l.clientQueue.Flush();  // framed messages stay for their frame
    }
    EXPECT_EQ(executed, (std::vector<uint16_t>{8188, 8189, 8190, 8191, 1, 2, 3, 4}));
    EXPECT_EQ(l.client.got.Total(), static_cast<int>(index));
    for (uint32_t i = 0; i < index; ++i) EXPECT_EQ(l.client.got.Count(i), 1);
}

TEST(NweFrameTable, FrameInformationOnlyFromTheServingPeer) {
    SLockstep l;
    // Another peer on the client's socket without frame sync tries to set counts.
    CRawEndpoint intruder;
    NWEPeer* other = new NWEPeer(l.client.socket, &l.client.registry, "other");
    other->SetReceiveCrcSeed(13);
    other->SetAddress(intruder.Address());
    other->SetActive(true);
    std::vector<uint8_t> info = {5, 0, 0, 0};  // frame 5, no messages
    intruder.Send(MakeDatagram(EPacketForm::SequencedCrc, 1, 1, true, 127, 13, ShortMessage(1, info)),
                  l.client.address);
    ASSERT_TRUE(Pump({&l.client.engine}, [&] { return other->GetPacketsIn() == 1; }));
    NWEFrame* f = l.clientTable.Lookup(5);
    EXPECT_TRUE(f == nullptr || f->GetExpected() == -1);
    l.clientTable.Release(f);
    // A frame number far ahead of the current one is refused with its packet.
    uint32_t rejected = l.client.engine.GetRejectedCount();
    std::vector<uint8_t> body = IndexedPayload(1, 8);
    l.server.peer->SendMessage(kOrder, body.data(), 8, nullptr, 65535, 0, 65535, 5000);
    EXPECT_TRUE(Pump({&l.client.engine}, [&] { return l.client.engine.GetRejectedCount() > rejected; }));
    EXPECT_EQ(l.client.got.Total(), 0);
}
