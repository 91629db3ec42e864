// Engines over real UDP sockets on 127.0.0.1, driven by the test in engine
// time: delivery, receipts, loss hints, the checks made before a datagram is
// believed, keep-alive, time-out, resends, and the packet-size and rate
// requests.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <vector>

#include "core/VFSFile.h"
#include "platform/net/SocketDouble.h"
#include "tests/nwe/NweLink.h"
#include "tests/support/TempDir.h"
#include "tools/lib/UdpRelay.h"

using Replies = std::vector<std::pair<uint16_t, uint32_t>>;

TEST(NweEngine, ReliableDeliveryExactlyOnceThroughImpairment) {
    CManualClock clock;
    SEnd server(&clock), client(&clock);
    CUdpRelay relay(server.address, 1234);
    ASSERT_TRUE(relay.Start());
    SRelayImpairment bad;
    bad.loss = 0.10;
    bad.duplicate = 0.05;
    bad.delay = 0.05;
    bad.corrupt = 0.02;
    relay.SetImpairment(bad, bad);
    client.Connect(relay.GetAddress());
    client.peer->SetOwnRate(20e6f);
    // The server learns the client's address through the relay's port.
    server.Connect(relay.GetAddress());
    NWEList group;
    const uint32_t kCount = 400;
    auto sizeOf = [](uint32_t i) -> size_t { return i % 10 == 0 ? 3000 : (i % 3 == 0 ? 300 : 8); };
    for (uint32_t i = 0; i < kCount; ++i)  // some split over several packets
        ASSERT_TRUE(client.Send(sizeOf(i) == 8 ? kTestShort : kTestLong, i, sizeOf(i), &group));
    ASSERT_TRUE(Drive({&client.engine, &server.engine}, clock, [&] {
        return NWEQueue::IsEmpty(&group) && server.got.Total() >= static_cast<int>(kCount);
    }));
    EXPECT_FALSE(group.HasFailed());
    EXPECT_EQ(group.GetDelivered(), static_cast<int>(kCount));
    for (uint32_t i = 0; i < kCount; ++i) {
        ASSERT_EQ(server.got.Count(i), 1) << "message " << i;
        ASSERT_EQ(server.got.Payload(i), IndexedPayload(i, sizeOf(i))) << "message " << i;
    }
    SRelayCounts c = relay.GetCounts();
    EXPECT_GT(c.dropped, 0u);
    EXPECT_GT(c.duplicated, 0u);
    EXPECT_GT(c.corrupted, 0u);
    EXPECT_GT(server.engine.GetDuplicateCount(), 0u);
    EXPECT_GT(server.engine.GetRejectedCount(), 0u);
    EXPECT_GT(client.engine.GetResendCount(), 0u);
    relay.Stop();
}

TEST(NweEngine, EnginesWithTheirOwnThreads) {
    // As the game runs them: receive and tick threads, the real clock.
    SEnd server(nullptr), client(nullptr);
    client.Connect(server.address);
    server.Connect(client.address);
    NWEList group;
    for (uint32_t i = 0; i < 50; ++i)
        ASSERT_TRUE(client.Send(i % 2 ? kTestShort : kTestLong, i, 600, &group));
    ASSERT_TRUE(server.got.WaitForTotal(50));
    for (uint32_t i = 0; i < 50; ++i) EXPECT_EQ(server.got.Count(i), 1) << i;
}

TEST(NweEngine, FirstDatagramOnTheWire) {
    // Reliable short message 92 on an active link, seed 13, its first packet.
    CManualClock clock;
    SEnd a(&clock);
    a.registry.Register("VALIDATE", 92, nullptr, nullptr, nullptr, nullptr, nullptr, 0, 5, 0, 0, 1);
    CRawEndpoint raw;
    a.Connect(raw.Address());
    uint8_t payload[4] = {0x78, 0x56, 0x34, 0x12};
    ASSERT_TRUE(a.peer->SendMessage(92, payload, 4, nullptr, 65535, 0));
    // The CRC (a3 53 ea 0f) is that of the message behind the header, bytes
    // 11 to the end, seeded 13.
    EXPECT_EQ(raw.Receive(), Hex("01 80 01 00 00 80 ff a3 53 ea 0f 00 5c 04 00 78 56 34 12"));
    // Engine statistics count every datagram with 8 bytes for the UDP header.
    EXPECT_EQ(a.engine.GetPacketsOut(), 1u);
    EXPECT_EQ(a.engine.GetDataOut(), 19u + 8);
}

TEST(NweEngine, ReceiptsDuplicatesAndLossHints) {
    CManualClock clock;
    SEnd a(&clock);
    CRawEndpoint raw;
    a.Connect(raw.Address());
    // Each datagram the engine reads is answered by one datagram of replies.
    auto exchange = [&](uint32_t seq, uint8_t tries, uint32_t index) {
        uint32_t in = a.engine.GetPacketsIn();
        raw.Send(MakeDatagram(EPacketForm::SequencedCrc, 1, seq, true, tries, 13,
                              ShortMessage(kTestShort, IndexedPayload(index, 4))),
                 a.address);
        EXPECT_TRUE(Pump({&a.engine}, [&] { return a.engine.GetPacketsIn() > in; }));
        Replies r = ShortMessagesOf(raw.Receive());
        std::sort(r.begin(), r.end());
        return r;
    };
    EXPECT_EQ(exchange(10, 127, 10), (Replies{{0, 10}}));
    // A resent copy is acknowledged again but not handed on twice.
    EXPECT_EQ(exchange(10, 126, 10), (Replies{{0, 10}}));
    EXPECT_EQ(a.got.Count(10), 1);
    EXPECT_EQ(a.engine.GetDuplicateCount(), 1u);
    // A gap after a first transmission asks for exactly the missing numbers.
    EXPECT_EQ(exchange(14, 127, 14), (Replies{{0, 14}, {2, 11}, {2, 12}, {2, 13}}));
    // A gap seen on a resend, or a jump too far to be a loss, asks for nothing.
    EXPECT_EQ(exchange(16, 126, 16), (Replies{{0, 16}}));
    EXPECT_EQ(exchange(40, 127, 40), (Replies{{0, 40}}));
    // Late arrivals of the missing numbers are taken once.
    EXPECT_EQ(exchange(12, 127, 12), (Replies{{0, 12}}));
    EXPECT_EQ(a.got.Count(12), 1);
}

TEST(NweEngine, BadDatagramsAreNeitherAcknowledgedNorDelivered) {
    CManualClock clock;
    SEnd a(&clock);
    CRawEndpoint raw;
    a.Connect(raw.Address());
    std::vector<uint8_t> good = ShortMessage(kTestShort, IndexedPayload(1, 4));
    std::vector<uint8_t> unknown = ShortMessage(999, {});
    std::vector<uint8_t> withUnknown = good;
    withUnknown.insert(withUnknown.end(), unknown.begin(), unknown.end());
    std::vector<uint8_t> hugeTotal = Hex("00 c8 00 07 00 04 40 00 00 00 40 01 02 03 04");  // 1 GiB message
    std::vector<uint8_t> overrun = Hex("80 01 00 04 c0 ff ff ff ff 01 02 03 04 02 00");  // offset near 4 GiB
    struct SCase {
        const char* name;
        std::vector<uint8_t> datagram;
    } cases[] = {
        {"unknown id after a good message",
         MakeDatagram(EPacketForm::SequencedCrc, 2, 1, true, 127, 13, withUnknown)},
        {"bad CRC", MakeDatagram(EPacketForm::SequencedCrc, 1, 2, true, 127, 14, good)},
        {"count one short of the bytes", MakeDatagram(EPacketForm::SequencedCrc, 0, 3, true, 127, 13, good)},
        {"total above the largest message",
         MakeDatagram(EPacketForm::SequencedCrc, 1, 4, true, 127, 13, hugeTotal)},
        {"part offset past any message",
         MakeDatagram(EPacketForm::SequencedCrc, 1, 5, true, 127, 13, overrun)},
        {"wrong size of a receipt",
         MakeDatagram(EPacketForm::SequencedCrc, 1, 6, true, 127, 13, ShortMessage(0, {1, 2}))},
        {"bare form while CRC is required", MakeDatagram(EPacketForm::Bare, 1, 0, false, 0, 0, good)},
    };
    for (SCase& c : cases) {
        SCOPED_TRACE(c.name);
        uint32_t rejected = a.engine.GetRejectedCount();
        raw.Send(c.datagram, a.address);
        EXPECT_TRUE(Pump({&a.engine}, [&] { return a.engine.GetRejectedCount() > rejected; }));
        EXPECT_EQ(a.engine.GetPacketsOut(), 0u);  // no receipt
        EXPECT_EQ(a.got.Total(), 0);
    }
    EXPECT_TRUE(a.engine.HasReport("A message has just been lost in the void 999"));
    EXPECT_TRUE(a.engine.HasReport("Packet CRC check failed, ignoring data, 2"));
    // The peer still works: sequence number 1 was never recorded.
    raw.Send(MakeDatagram(EPacketForm::SequencedCrc, 1, 1, true, 127, 13, good), a.address);
    EXPECT_TRUE(Pump({&a.engine}, [&] { return a.got.Count(1) == 1; }));
}

TEST(NweEngine, PartsInAnyOrderMakeOneMessage) {
    CManualClock clock;
    SEnd a(&clock);
    CRawEndpoint raw;
    a.Connect(raw.Address());
    std::vector<uint8_t> body = IndexedPayload(77, 30);
    auto slice = [&](size_t from, size_t n) {
        return std::vector<uint8_t>(body.begin() + static_cast<long>(from),
                                    body.begin() + static_cast<long>(from + n));
    };
    std::vector<uint8_t> p1 = FirstPart(kTestLong, 9, 30, slice(0, 10), false);
    std::vector<uint8_t> p2 = Continuation(9, 10, slice(10, 10), false);
    std::vector<uint8_t> p3 = Continuation(9, 20, slice(20, 10), true, 3);
    uint32_t seq = 0;
    auto deliver = [&](const std::vector<uint8_t>& part) {
        uint32_t in = a.engine.GetPacketsIn();
        raw.Send(MakeDatagram(EPacketForm::SequencedCrc, 1, ++seq, true, 127, 13, part), a.address);
        return Pump({&a.engine}, [&] { return a.engine.GetPacketsIn() > in; });
    };
    ASSERT_TRUE(deliver(p3));
    ASSERT_TRUE(deliver(p3));  // a repeated part
    ASSERT_TRUE(deliver(p1));
    EXPECT_EQ(a.got.Total(), 0);  // every byte must be there, not just enough parts
    ASSERT_TRUE(deliver(p2));
    EXPECT_EQ(a.got.Total(), 1);
    EXPECT_EQ(a.got.Payload(77), body);
    EXPECT_EQ(a.peer->GetPartialBytes(), 0u);
    // A part that disagrees with the message it belongs to, or overlaps a part
    // already there, is refused whole.
    struct SCase {
        const char* name;
        std::vector<uint8_t> first, second;
    } cases[] = {
        {"past the end", FirstPart(kTestLong, 10, 30, slice(0, 10), false),
         Continuation(10, 25, slice(0, 10), true, 2)},
        {"overlapping", FirstPart(kTestLong, 11, 30, slice(0, 10), false),
         Continuation(11, 5, slice(0, 10), false)},
        {"another total", FirstPart(kTestLong, 12, 30, slice(0, 10), false),
         FirstPart(kTestLong, 12, 40, slice(0, 10), false)},
    };
    for (SCase& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(deliver(c.first));
        uint32_t rejected = a.engine.GetRejectedCount();
        ASSERT_TRUE(deliver(c.second));
        EXPECT_EQ(a.engine.GetRejectedCount(), rejected + 1);
    }
    EXPECT_EQ(a.got.Total(), 1);
}

TEST(NweEngine, KeepAliveOnlyOnAnIdleLink) {
    CManualClock clock;
    SEnd a(&clock);
    CRawEndpoint raw;
    a.Connect(raw.Address());
    a.peer->SetKeepAliveInterval(0.05f);
    a.peer->SetKeepAlive(true);
    auto keepAlivesOver = [&](int ticks, bool busy) {
        int keepAlives = 0;
        for (int i = 0; i < ticks; ++i) {
            uint32_t out = a.engine.GetPacketsOut();
            std::vector<uint8_t> p = IndexedPayload(static_cast<uint32_t>(i), 8);
            if (busy) a.peer->SendMessage(kTestShort, p.data(), 8, nullptr, 65535, 0, 1);  // unacknowledged
            clock.Advance(0.02);
            a.engine.Tick(true);
            for (uint32_t n = a.engine.GetPacketsOut() - out; n > 0; --n) {
                std::vector<uint8_t> d = raw.Receive();
                SPacketHeader h;
                // Keep-alives are reliable: their resends are not new ones.
                if (NWE_ReadPacketHeader(d.data(), d.size(), 13, true, &h) != EHeaderError::None ||
                    h.tries != 127)
                    continue;
                for (auto& m : ShortMessagesOf(d)) keepAlives += m.first == NS_NOTIFYTYPE_KEEP_ALIVE;
            }
        }
        return keepAlives;
    };
    // Traffic moves the due time: no keep-alive while messages flow.
    EXPECT_EQ(keepAlivesOver(25, true), 0);
    // Idle for 0.5 s: one when 0.05 s have passed since the last datagram (it
    // goes with the next tick, and moves the due time itself).
    int idle = keepAlivesOver(25, false);
    EXPECT_GE(idle, 4);
    EXPECT_LE(idle, 10);
}

TEST(NweEngine, SilenceTimesThePeerOutOnce) {
    CManualClock clock;
    // With a time-out notification type: one notice per silence.
    {
        SEnd a(&clock);
        NWEQueue notices;
        a.registry.Register("TIMEOUT", NWE_TIMEOUT_NOTIFICATION, nullptr, nullptr, &notices, nullptr, nullptr,
                            0, 5, 0, 0, 0);
        CRawEndpoint raw;
        a.Connect(raw.Address());
        a.peer->SetTimeout(0.15f);
        clock.Advance(0.1);
        a.engine.Tick(true);
        EXPECT_EQ(notices.GetCount(), 0u);
        clock.Advance(0.1);
        for (int i = 0; i < 5; ++i) {
            a.engine.Tick(true);
            clock.Advance(0.1);
        }
        EXPECT_EQ(notices.GetCount(), 1u);
        EXPECT_FALSE(a.peer->IsTimedOut());
    }
    // Without one: the peer is marked and removed.
    {
        SEnd a(&clock);
        CRawEndpoint raw;
        a.Connect(raw.Address());
        a.peer->SetTimeout(0.15f);
        clock.Advance(0.2);
        a.engine.Tick(true);  // marks it
        a.engine.Tick(true);  // removes it
        EXPECT_EQ(a.socket->GetPeerCount(), 0u);
    }
}

TEST(NweEngine, ExhaustedTriesFailTheLinkVisibly) {
    CManualClock clock;
    SEnd a(&clock);
    CRawEndpoint raw;  // never answers
    a.Connect(raw.Address());
    a.peer->SetResendInterval(0.004f);
    a.peer->SetTimeoutCheck(false);
    NWEList group;
    a.Send(kTestShort, 1, 8, &group);
    ASSERT_TRUE(Drive(
        {&a.engine}, clock, [&] { return NWEQueue::IsEmpty(&group); }, 0.004));
    EXPECT_TRUE(group.HasFailed());
    EXPECT_EQ(group.GetDelivered(), 0);
    EXPECT_TRUE(a.engine.HasReport("Failed to send a very important network message"));
    EXPECT_GE(a.engine.GetResendCount(), 127u);  // the test message's, and the rate request's
    a.engine.Tick(true);
    EXPECT_EQ(a.socket->GetPeerCount(), 0u);
}

TEST(NweEngine, PacketSizeAndRateRequests) {
    CManualClock clock;
    SEnd server(&clock), client(&clock);
    client.Connect(server.address);
    server.Connect(client.address);
    struct SCase {
        uint32_t request, packetSize;
    } cases[] = {{1024, 992}, {2000, 1468}, {33, 544}, {1300, 1268}};
    for (const SCase& c : cases) {
        client.peer->RequestPacketSize(c.request);
        EXPECT_TRUE(Drive({&server.engine, &client.engine}, clock, [&] {
            return server.peer->GetPacketSize() == c.packetSize;
        })) << c.request;
    }
    // No datagram exceeds the packet size, however large the message.
    CRawEndpoint raw;
    SEnd probe(&clock);
    probe.Connect(raw.Address());
    probe.peer->SetRequestedPacketSize(1024);
    probe.peer->SetOwnRate(20e6f);
    ASSERT_TRUE(probe.Send(kTestLong, 5, 5000));
    size_t largest = 0, total = 0;
    uint32_t read = 0;
    for (int step = 0; total <= 5000 && step < 100; ++step) {
        for (; read < probe.engine.GetPacketsOut(); ++read) {
            std::vector<uint8_t> d = raw.Receive();
            largest = std::max(largest, d.size());
            total += d.size();
        }
        // What the budget held back goes with the next ticks.
        clock.Advance(0.01);
        probe.engine.Tick(true);
    }
    EXPECT_LT(largest, 992u);
    EXPECT_GT(total, 5000u);

    client.peer->RequestRate(100000);
    EXPECT_TRUE(Drive({&server.engine, &client.engine}, clock,
                      [&] { return server.peer->GetSendRate() == 100000.0f; }));
    client.peer->RequestRate(0);  // clamped, never a stopped link
    EXPECT_TRUE(
        Drive({&server.engine, &client.engine}, clock, [&] { return server.peer->GetSendRate() == 400.0f; }));
}

TEST(NweEngine, RateSharedAmongPeers) {
    CManualClock clock;
    SEnd a(&clock);
    CRawEndpoint r1, r2;
    NWEPeer* p1 = new NWEPeer(a.socket, &a.registry, "one");
    p1->SetAddress(r1.Address());
    NWEPeer* p2 = new NWEPeer(a.socket, &a.registry, "two");
    p2->SetAddress(r2.Address());
    a.socket->SetRateCap(600);
    p1->SetOwnRate(100);
    p2->SetOwnRate(900);
    EXPECT_EQ(p1->GetSendRate(), 100.0f);
    EXPECT_EQ(p2->GetSendRate(), 500.0f);
}

// Thousands of links above the rate cap, as a master server has them: a
// link costs the same however many there are (its own values at once, the
// share worked out once a check, sorted), so they are all made in a moment
// where working out the share for each new link took minutes; after the
// next check each has its equal share, and when half of them go the rest
// share the cap again.
TEST(NweEngine, ThousandsOfLinksAboveTheRateCapAreMadeQuicklyAndShareIt) {
    CManualClock clock;
    SEnd a(&clock);
    a.socket->SetRateCap(8e6f);
    const uint32_t kLinks = 6000;
    std::vector<NWEPeer*> peers;
    const auto started = std::chrono::steady_clock::now();
    for (uint32_t i = 0; i < kLinks; ++i) {
        NWEPeer* p = new NWEPeer(a.socket, &a.registry, "many");
        p->SetAddress(SNetAddress{0x7F030000u + i, 9});
        peers.push_back(p);
        if (i % 200 == 199) a.engine.Tick(true);
    }
    a.engine.Tick(true);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    EXPECT_LT(seconds, 20.0);
    EXPECT_EQ(a.socket->GetPeerCount(), kLinks);
    for (NWEPeer* p : peers) ASSERT_FLOAT_EQ(p->GetSendRate(), 8e6f / kLinks);
    // One link that asks for little gets what it asks; the rest share what is left.
    peers[0]->SetOwnRate(100.0f);
    EXPECT_FLOAT_EQ(peers[0]->GetSendRate(), 100.0f);
    EXPECT_FLOAT_EQ(peers[1]->GetSendRate(), (8e6f - 100.0f) / (kLinks - 1));
    for (uint32_t i = 0; i < kLinks; i += 2) peers[i]->SetTimedOut(true);
    a.engine.Tick(true);
    a.engine.Tick(true);
    EXPECT_EQ(a.socket->GetPeerCount(), kLinks / 2);
    for (uint32_t i = 1; i < kLinks; i += 2) ASSERT_FLOAT_EQ(peers[i]->GetSendRate(), 8e6f / (kLinks / 2));
}

TEST(NweEngine, SocketErrorsOfOneRemoteDoNotCloseTheSharedSocket) {
    CManualClock clock;
    CNetSocketDouble* net = new CNetSocketDouble(SNetAddress{kNetLoopback, 0});
    SEnd server(&clock, net), client(&clock);
    client.Connect(server.address);
    server.Connect(client.address);
    // Linux reports an ICMP error on an unconnected socket's next read (with
    // IP_RECVERR): the double makes it happen. The socket serves on.
    net->FailReceives(ECONNREFUSED);
    client.Send(kTestShort, 2, 8);
    EXPECT_TRUE(Pump({&server.engine}, [&] { return server.got.Count(2) == 1; }));
    EXPECT_FALSE(server.socket->IsMarkedForClosing());
    EXPECT_FALSE(server.engine.HasReport("Socket error from FD_READ"));
    // A real socket error is reported, and the socket still serves the next datagram.
    net->FailReceives(EBADF);
    client.Send(kTestShort, 3, 8);
    EXPECT_TRUE(Pump({&server.engine}, [&] { return server.got.Count(3) == 1; }));
    EXPECT_TRUE(server.engine.HasReport("Socket error from FD_READ"));
    EXPECT_FALSE(server.socket->IsMarkedForClosing());
    // A full send buffer holds the packet back (both budgets spent) until
    // later; nothing is lost and nothing is reported.
    net->FailSends(EAGAIN);
    NWEList group;
    server.Send(kTestShort, 4, 8, &group);
    EXPECT_EQ(client.got.Count(4), 0);
    EXPECT_TRUE(Drive({&server.engine, &client.engine}, clock, [&] { return NWEQueue::IsEmpty(&group); }));
    EXPECT_EQ(client.got.Count(4), 1);
    EXPECT_FALSE(server.engine.HasReport("Socket error from SendData"));
}

TEST(NweEngine, LocalPartnersSkipTheNetwork) {
    CManualClock clock;
    SEnd a(&clock);
    NWEPeer* host = new NWEPeer(a.socket, &a.registry, "host");
    NWEPeer* own = new NWEPeer(a.socket, &a.registry, "own client");
    host->LinkLocal(own);
    own->LinkLocal(host);
    EXPECT_TRUE(host->HasId(own));
    EXPECT_FALSE(host->HasId(host));
    NWEList group;
    std::vector<uint8_t> p = IndexedPayload(3, 40);
    EXPECT_TRUE(host->SendMessage(kTestLong, p.data(), 40, &group));
    EXPECT_EQ(a.got.Count(3), 1);
    EXPECT_EQ(group.GetDelivered(), 1);
    EXPECT_EQ(a.engine.GetPacketsOut(), 0u);
    EXPECT_FALSE(host->SendMessage(4000, p.data(), 4));
    EXPECT_TRUE(a.engine.HasReport("unregistered message DataType: 4000"));
    // The partner goes: its link names nothing, and sending reaches no one.
    delete own;
    EXPECT_FALSE(host->HasId(own));
    EXPECT_TRUE(host->SendMessage(kTestLong, p.data(), 40));
    EXPECT_EQ(a.got.Total(), 1);
}

TEST(NweEngine, FileSendCarriesHeaderAndFileSlice) {
    CTempDir dir;
    std::vector<uint8_t> content(9000);
    for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<uint8_t>(i * 7);
    ASSERT_TRUE(dir.Write("map.box", std::string(content.begin(), content.end())));
    const std::string path = dir.File("map.box");
    CManualClock clock;
    SEnd server(&clock), client(&clock);
    client.Connect(server.address);
    server.Connect(client.address);
    CVFSFile file(path.c_str(), CVFSFile::kModeRead);
    ASSERT_TRUE(file.IsOpen());
    std::vector<uint8_t> header = IndexedPayload(42, 8);
    NWEList group;
    ASSERT_TRUE(client.peer->SendById(kTestLong, header.data(), 8, &file, 1000, 6000, &group));
    EXPECT_FALSE(client.peer->SendById(4000, header.data(), 8, &file, 0, 10));
    EXPECT_TRUE(client.engine.HasReport("unregistered message ID: 4000"));
    ASSERT_TRUE(Drive({&server.engine, &client.engine}, clock,
                      [&] { return server.got.Count(42) == 1 && NWEQueue::IsEmpty(&group); }));
    std::vector<uint8_t> want = header;
    want.insert(want.end(), content.begin() + 1000, content.begin() + 7000);
    EXPECT_EQ(server.got.Payload(42), want);
    EXPECT_EQ(group.GetDelivered(), 1);
}

TEST(NweEngine, TickModesStraysAndMarkedSockets) {
    CManualClock clock;
    CTestEngine e(&clock);
    NWESocket* s = new NWESocket(&e);
    ASSERT_TRUE(s->Open(SNetAddress{kNetLoopback, 0}));
    SNetAddress at;
    ASSERT_TRUE(s->GetSocketName(&at));
    // A datagram no peer owns, on a socket without a default peer or listener.
    CRawEndpoint stray;
    stray.Send(MakeDatagram(EPacketForm::Unsafe, 1, 0, false, 0, 0, ShortMessage(3, {})), at);
    EXPECT_TRUE(Pump({&e}, [&] { return e.HasReport("Nonhomed packet received"); }));
    // Mode 0: the tick thread's Tick(1) only checks; Tick(0) closes marked sockets.
    e.SetTickThreadMode(0);
    s->MarkForClosing();
    e.Tick(true);
    EXPECT_EQ(e.GetSocketCount(), 1u);
    e.Tick(false);
    EXPECT_EQ(e.GetSocketCount(), 0u);
}

TEST(NweEngine, CountersWrapWithoutLossOrRepeat) {
    CManualClock clock;
    // The raw view: after 0x7FFFFFFE comes 1, never 0 or 0x7FFFFFFF.
    {
        SEnd a(&clock);
        CRawEndpoint raw;
        a.Connect(raw.Address());
        a.peer->SetSequenceCounter(0x7FFFFFFE);
        std::vector<uint32_t> seqs;
        for (uint32_t i = 0; i < 2; ++i) {
            a.Send(kTestShort, i, 8);
            std::vector<uint8_t> d = raw.Receive();
            SPacketHeader h;
            ASSERT_EQ(NWE_ReadPacketHeader(d.data(), d.size(), 13, true, &h), EHeaderError::None);
            seqs.push_back(h.sequence);
        }
        EXPECT_EQ(seqs, (std::vector<uint32_t>{0x7FFFFFFE, 1}));
    }
    // Two engines across both wraps: sequence numbers and 23-bit message keys.
    // (The counters are set before the client's first packet: a sequence number
    // reused within the receive window would rightly count as a duplicate.)
    SEnd server(&clock), client(&clock);
    client.Connect(server.address);
    client.peer->SetSequenceCounter(0x7FFFFFF0);
    client.peer->SetKeyCounter(0x7FFFF8);
    server.Connect(client.address);
    NWEList group;
    for (uint32_t i = 0; i < 40; ++i) client.Send(kTestLong, i, i % 4 == 0 ? 2500 : 16, &group);
    ASSERT_TRUE(Drive({&server.engine, &client.engine}, clock,
                      [&] { return server.got.Total() == 40 && NWEQueue::IsEmpty(&group); }));
    for (uint32_t i = 0; i < 40; ++i) EXPECT_EQ(server.got.Count(i), 1) << i;
    EXPECT_EQ(group.GetDelivered(), 40);
}

TEST(NweEngine, LossHintResendsAtOnce) {
    CManualClock clock;
    SEnd a(&clock);
    CRawEndpoint raw;
    a.Connect(raw.Address());
    a.Send(kTestShort, 1, 8);
    std::vector<uint8_t> first = raw.Receive();
    SPacketHeader h;
    ASSERT_EQ(NWE_ReadPacketHeader(first.data(), first.size(), 13, true, &h), EHeaderError::None);
    ASSERT_TRUE(h.receiptWanted);
    // Long before any resend time-out (the clock does not move), a hint brings
    // the same packet back with one try less.
    raw.Send(MakeDatagram(EPacketForm::SequencedCrc, 1, 1, false, 127, 13,
                          ShortMessage(2, U32Payload(h.sequence))),
             a.address);
    ASSERT_TRUE(Pump({&a.engine}, [&] { return a.engine.GetResendCount() == 1; }));
    std::vector<uint8_t> again = raw.Receive();
    ASSERT_EQ(again.size(), first.size());
    // The same packet: only the tries byte differs, and the CRC that covers it.
    EXPECT_EQ(again[6], 0x80 | 126);
    EXPECT_EQ(std::vector<uint8_t>(again.begin(), again.begin() + 6),
              std::vector<uint8_t>(first.begin(), first.begin() + 6));
    EXPECT_EQ(std::vector<uint8_t>(again.begin() + 11, again.end()),
              std::vector<uint8_t>(first.begin() + 11, first.end()));
    EXPECT_EQ(NWE_ReadPacketHeader(again.data(), again.size(), 13, true, &h), EHeaderError::None);
    EXPECT_TRUE(a.engine.HasReport("Packet Lost hint received"));
    // A receipt ends it: no more resends.
    raw.Send(MakeDatagram(EPacketForm::SequencedCrc, 1, 2, false, 127, 13,
                          ShortMessage(0, U32Payload(h.sequence))),
             a.address);
    EXPECT_TRUE(Pump({&a.engine}, [&] { return a.peer->GetUnackedCount() == 0; }));
}

TEST(NweEngine, ReliableOnAnInactiveLinkIsNeverReportedDelivered) {
    CManualClock clock;
    SEnd a(&clock);
    CRawEndpoint raw;
    NWEPeer* p = new NWEPeer(a.socket, &a.registry, "not active");
    p->SetSendCrcSeed(13);
    p->SetAddress(raw.Address());
    NWEList group;
    std::vector<uint8_t> payload = IndexedPayload(1, 8);
    ASSERT_TRUE(p->SendMessage(kTestShort, payload.data(), 8, &group, 65535, 0));
    std::vector<uint8_t> d = raw.Receive();
    SPacketHeader h;
    ASSERT_EQ(NWE_ReadPacketHeader(d.data(), d.size(), 13, true, &h), EHeaderError::None);
    EXPECT_EQ(h.form, EPacketForm::UnsequencedCrc);  // sent once, without a receipt to wait for
    EXPECT_TRUE(NWEQueue::IsEmpty(&group));
    EXPECT_TRUE(group.HasFailed());
    EXPECT_EQ(p->GetUnackedCount(), 0u);
}

TEST(NweEngine, ResendTimeOutFollowsTheRoundTrip) {
    CManualClock clock;
    SEnd a(&clock);
    CRawEndpoint raw;  // answers with receipts only when told to
    a.Connect(raw.Address());
    uint32_t rawSequence = 0;
    auto receipt = [&](uint32_t sequence) {
        uint32_t in = a.engine.GetPacketsIn();
        raw.Send(MakeDatagram(EPacketForm::SequencedCrc, 1, ++rawSequence, false, 127, 13,
                              ShortMessage(0, U32Payload(sequence))),
                 a.address);
        EXPECT_TRUE(Pump({&a.engine}, [&] { return a.engine.GetPacketsIn() > in; }));
    };
    auto sequenceOf = [](const std::vector<uint8_t>& d) {
        SPacketHeader h;
        EXPECT_EQ(NWE_ReadPacketHeader(d.data(), d.size(), 13, true, &h), EHeaderError::None);
        return h.sequence;
    };
    // Moves engine time on and ticks; whether the packet came again.
    auto resentAfter = [&](double seconds) {
        uint32_t resends = a.engine.GetResendCount();
        clock.Advance(seconds);
        a.engine.Tick(true);
        bool again = a.engine.GetResendCount() > resends;
        if (again) {
            EXPECT_FALSE(raw.Receive().empty());
        }
        return again;
    };

    // The rate request that activating the link sent is answered first, after
    // a resend (which gives no round trip).
    a.engine.Tick(true);
    uint32_t rate = sequenceOf(raw.Receive());
    clock.Advance(0.26);
    a.engine.Tick(true);
    EXPECT_EQ(sequenceOf(raw.Receive()), rate);
    receipt(rate);
    // No round trip measured yet: the first resend waits a quarter second.
    a.Send(kTestShort, 1, 8);
    uint32_t s = sequenceOf(raw.Receive());
    EXPECT_FALSE(resentAfter(0.24));
    EXPECT_TRUE(resentAfter(0.02));
    // Each resend doubles the time-out.
    EXPECT_FALSE(resentAfter(0.49));
    EXPECT_TRUE(resentAfter(0.02));
    receipt(s);  // a receipt of a resent packet gives no round trip
    EXPECT_EQ(a.peer->GetSmoothedRtt(), 0.0);

    // Receipts 10 ms after each send measure the round trip; a packet that
    // then goes unanswered comes back after SRTT + 4 RTTVAR, not 0.25 s.
    for (uint32_t i = 2; i < 12; ++i) {
        a.Send(kTestShort, i, 8);
        uint32_t sent = sequenceOf(raw.Receive());
        clock.Advance(0.010);
        receipt(sent);
    }
    EXPECT_NEAR(a.peer->GetSmoothedRtt(), 0.010, 0.001);
    EXPECT_LT(a.peer->GetResendTimeout(), 0.02);
    a.Send(kTestShort, 12, 8);
    s = sequenceOf(raw.Receive());
    EXPECT_FALSE(resentAfter(0.009));
    EXPECT_TRUE(resentAfter(0.012));
    receipt(s);
    EXPECT_EQ(a.peer->GetUnackedCount(), 0u);
}

TEST(NweEngine, ADeletedPeerFailsWhatItHadNotDelivered) {
    CManualClock clock;
    SEnd a(&clock);
    CRawEndpoint raw;  // never answers
    a.Connect(raw.Address());
    NWEList group;
    ASSERT_TRUE(a.Send(kTestShort, 1, 8, &group));
    ASSERT_TRUE(a.Send(kTestLong, 2, 3000, &group));
    ASSERT_FALSE(raw.Receive().empty());
    ASSERT_GT(a.peer->GetUnackedCount(), 0u);
    delete a.peer;
    a.peer = nullptr;
    EXPECT_TRUE(NWEQueue::IsEmpty(&group));
    EXPECT_TRUE(group.HasFailed());
    EXPECT_EQ(group.GetDelivered(), 0);
}

TEST(NweEngine, WhatWaitsInAQueuePastItsPeerIsNeverHandled) {
    CManualClock clock;
    SEnd a(&clock);
    NWEQueue queue;
    const uint16_t kQueued = 202;
    a.registry.Register("TEST_QUEUED", kQueued, SDeliveries::Handler, &a.got, &queue, nullptr, nullptr, 0, 5,
                        0, 0, 0);
    NWEPeer* host = new NWEPeer(a.socket, &a.registry, "host");
    NWEPeer* own = new NWEPeer(a.socket, &a.registry, "own client");
    host->LinkLocal(own);
    own->LinkLocal(host);
    std::vector<uint8_t> p = IndexedPayload(1, 8);
    // Received by `own` and waiting for the game's next flush.
    ASSERT_TRUE(host->SendMessage(kQueued, p.data(), 8));
    ASSERT_TRUE(own->SendMessage(kQueued, IndexedPayload(2, 8).data(), 8));
    ASSERT_EQ(queue.GetCount(), 2u);
    delete host;  // the message from `own`, received by `host`, stays behind
    queue.Flush();
    EXPECT_EQ(a.got.Count(1), 1);  // its peer lives: handled
    EXPECT_EQ(a.got.Count(2), 0);  // its peer is gone: dropped
    delete own;
}
