// Two engines over real UDP sockets on 127.0.0.1: delivery, receipts, loss
// hints, the checks made before a datagram is believed, keep-alive, time-out,
// and the packet-size and rate requests.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "core/VFSFile.h"
#include "tests/nwe/NweLink.h"
#include "tools/lib/UdpRelay.h"

TEST(NweEngine, ReliableDeliveryExactlyOnceThroughImpairment) {
    SEnd server, client;
    CUdpRelay relay(server.address, 1234);
    ASSERT_TRUE(relay.Start());
    SRelayImpairment bad;
    bad.loss = 0.10;
    bad.duplicate = 0.05;
    bad.delay = 0.05;
    bad.corrupt = 0.02;
    relay.SetImpairment(bad, bad);
    client.Connect(relay.GetAddress());
    client.peer->SetSettingC(20e6f);
    // The server learns the client's address through the relay's port.
    server.Connect(relay.GetAddress());
    NWEList group;
    const uint32_t kCount = 400;
    for (uint32_t i = 0; i < kCount; ++i) {
        size_t size = i % 10 == 0 ? 3000 : (i % 3 == 0 ? 300 : 8);  // some split over several packets
        std::vector<uint8_t> p = IndexedPayload(i, size);
        uint16_t id = size == 8 ? kTestShort : kTestLong;
        ASSERT_TRUE(
            client.peer->SendMessage(id, p.data(), static_cast<uint32_t>(p.size()), &group, 65535, 0));
    }
    ASSERT_TRUE(WaitFor([&] { return NWEQueue::IsEmpty(&group); }, 20.0));
    EXPECT_FALSE(group.HasFailed());
    EXPECT_EQ(group.GetDelivered(), static_cast<int>(kCount));
    ASSERT_TRUE(WaitFor([&] { return server.got.Total() >= static_cast<int>(kCount); }, 5.0));
    for (uint32_t i = 0; i < kCount; ++i) {
        ASSERT_EQ(server.got.Count(i), 1) << "message " << i;
        size_t size = i % 10 == 0 ? 3000 : (i % 3 == 0 ? 300 : 8);
        ASSERT_EQ(server.got.payloads[i], IndexedPayload(i, size)) << "message " << i;
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

TEST(NweEngine, FirstDatagramOnTheWire) {
    // Reliable short message 92 on an active link, seed 13, its first packet.
    SEnd a(false);
    a.registry.Register("VALIDATE", 92, nullptr, nullptr, nullptr, nullptr, nullptr, 0, 5, 0, 0, 1);
    CRawEndpoint raw;
    a.Connect(raw.Address());
    uint8_t payload[4] = {0x78, 0x56, 0x34, 0x12};
    ASSERT_TRUE(a.peer->SendMessage(92, payload, 4, nullptr, 65535, 0));
    EXPECT_EQ(raw.Receive(), Hex("01 80 01 00 00 80 ff a3 53 ea 0f 00 5c 04 00 78 56 34 12"));
    // Engine statistics count every datagram with 8 bytes for the UDP header.
    EXPECT_EQ(a.engine.GetPacketsOut(), 1u);
    EXPECT_EQ(a.engine.GetDataOut(), 19u + 8);
}

TEST(NweEngine, ReceiptsDuplicatesAndLossHints) {
    SEnd a(false);
    CRawEndpoint raw;
    a.Connect(raw.Address());
    auto receiveMessages = [&](double seconds) {
        std::vector<std::pair<uint16_t, uint32_t>> out;
        for (;;) {
            std::vector<uint8_t> d = raw.Receive(seconds);
            if (d.empty()) return out;
            SPacketHeader h;
            if (NWE_ReadPacketHeader(d.data(), d.size(), 13, true, &h) != EHeaderError::None) continue;
            const uint8_t* p = d.data() + h.size;
            for (unsigned i = 0; i < h.count; ++i) {
                uint16_t id = static_cast<uint16_t>((p[0] << 8) | p[1]);
                uint16_t len = NWE_Get16(p + 2);
                if (id <= 2 && len == 4) out.push_back({id, NWE_Get32(p + 4)});
                p += 4 + len;
            }
            seconds = 0.05;
        }
    };
    auto packet = [&](uint32_t seq, uint8_t tries, uint32_t index) {
        return MakeDatagram(EPacketForm::SequencedCrc, 1, seq, true, tries, 13,
                            ShortMessage(kTestShort, IndexedPayload(index, 4)));
    };
    raw.Send(packet(10, 127, 10), a.address);
    EXPECT_EQ(receiveMessages(2.0), (std::vector<std::pair<uint16_t, uint32_t>>{{0, 10}}));
    // A resent copy is acknowledged again but not handed on twice.
    raw.Send(packet(10, 126, 10), a.address);
    EXPECT_EQ(receiveMessages(2.0), (std::vector<std::pair<uint16_t, uint32_t>>{{0, 10}}));
    EXPECT_EQ(a.got.Count(10), 1);
    EXPECT_GE(a.engine.GetDuplicateCount(), 1u);
    // A gap after a first transmission asks for exactly the missing numbers.
    raw.Send(packet(14, 127, 14), a.address);
    auto msgs = receiveMessages(2.0);
    std::vector<std::pair<uint16_t, uint32_t>> want = {{2, 11}, {2, 12}, {2, 13}, {0, 14}};
    std::sort(msgs.begin(), msgs.end());
    std::sort(want.begin(), want.end());
    EXPECT_EQ(msgs, want);
    // A gap seen on a resend, or a jump too far to be a loss, asks for nothing.
    raw.Send(packet(16, 126, 16), a.address);
    EXPECT_EQ(receiveMessages(2.0), (std::vector<std::pair<uint16_t, uint32_t>>{{0, 16}}));
    raw.Send(packet(40, 127, 40), a.address);
    EXPECT_EQ(receiveMessages(2.0), (std::vector<std::pair<uint16_t, uint32_t>>{{0, 40}}));
    // Late arrivals of the missing numbers are taken once.
    raw.Send(packet(12, 127, 12), a.address);
    EXPECT_EQ(receiveMessages(2.0), (std::vector<std::pair<uint16_t, uint32_t>>{{0, 12}}));
    EXPECT_EQ(a.got.Count(12), 1);
}

TEST(NweEngine, BadDatagramsAreNeitherAcknowledgedNorDelivered) {
    SEnd a(false);
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
        EXPECT_TRUE(WaitFor([&] { return a.engine.GetRejectedCount() > rejected; }, 2.0));
        EXPECT_TRUE(raw.Receive(0.05).empty());
        EXPECT_EQ(a.got.Total(), 0);
    }
    EXPECT_TRUE(a.engine.HasReport("A message has just been lost in the void 999"));
    EXPECT_TRUE(a.engine.HasReport("Packet CRC check failed, ignoring data, 2"));
    // The peer still works: sequence number 1 was never recorded.
    raw.Send(MakeDatagram(EPacketForm::SequencedCrc, 1, 1, true, 127, 13, good), a.address);
    EXPECT_TRUE(WaitFor([&] { return a.got.Count(1) == 1; }));
}

TEST(NweEngine, PartsInAnyOrderMakeOneMessage) {
    SEnd a(false);
    CRawEndpoint raw;
    a.Connect(raw.Address());
    std::vector<uint8_t> body = IndexedPayload(77, 30);
    std::vector<uint8_t> p1(64), p2(64), p3(64);
    p1.resize(NWE_WriteFirstPart(p1.data(), 64, kTestLong, 9, false, 0, 30, body.data(), 10, false, 0));
    p2.resize(NWE_WriteContinuation(p2.data(), 64, 9, 10, body.data() + 10, 10, false, 0));
    p3.resize(NWE_WriteContinuation(p3.data(), 64, 9, 20, body.data() + 20, 10, true, 3));
    raw.Send(MakeDatagram(EPacketForm::SequencedCrc, 1, 1, true, 127, 13, p3), a.address);
    raw.Send(MakeDatagram(EPacketForm::SequencedCrc, 1, 2, true, 127, 13, p3), a.address);  // a repeated part
    raw.Send(MakeDatagram(EPacketForm::SequencedCrc, 1, 3, true, 127, 13, p1), a.address);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(a.got.Total(), 0);  // every byte must be there, not just enough parts
    raw.Send(MakeDatagram(EPacketForm::SequencedCrc, 1, 4, true, 127, 13, p2), a.address);
    ASSERT_TRUE(WaitFor([&] { return a.got.Total() == 1; }));
    EXPECT_EQ(a.got.payloads[77], body);
    // A part that disagrees with the message it belongs to is refused whole.
    std::vector<uint8_t> q1(64), q2(64);
    q1.resize(NWE_WriteFirstPart(q1.data(), 64, kTestLong, 10, false, 0, 30, body.data(), 10, false, 0));
    q2.resize(NWE_WriteContinuation(q2.data(), 64, 10, 25, body.data(), 10, true, 2));
    raw.Send(MakeDatagram(EPacketForm::SequencedCrc, 1, 5, true, 127, 13, q1), a.address);
    uint32_t rejected = a.engine.GetRejectedCount();
    raw.Send(MakeDatagram(EPacketForm::SequencedCrc, 1, 6, true, 127, 13, q2), a.address);
    EXPECT_TRUE(WaitFor([&] { return a.engine.GetRejectedCount() > rejected; }));
}

TEST(NweEngine, KeepAliveOnlyOnAnIdleLink) {
    SEnd a;
    CRawEndpoint raw;
    a.Connect(raw.Address());
    a.peer->SetKeepAliveInterval(0.05f);
    a.peer->SetKeepAlive(true);
    int keepAlives = 0;
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(400);
    while (std::chrono::steady_clock::now() < end) {
        std::vector<uint8_t> d = raw.Receive(0.1);
        if (d.size() == 15 && std::vector<uint8_t>(d.begin() + 11, d.end()) == Hex("00 03 00 00"))
            ++keepAlives;
    }
    EXPECT_GE(keepAlives, 3);
    EXPECT_LE(keepAlives, 9);
}

TEST(NweEngine, SilenceTimesThePeerOutOnce) {
    // With a time-out notification type: one notice per silence.
    {
        SEnd a;
        NWEQueue notices;
        a.registry.Register("TIMEOUT", NWE_TIMEOUT_NOTIFICATION, nullptr, nullptr, &notices, nullptr, nullptr,
                            0, 5, 0, 0, 0);
        CRawEndpoint raw;
        a.Connect(raw.Address());
        a.peer->SetSettingD(0.15f);
        EXPECT_TRUE(WaitFor([&] { return notices.GetCount() == 1; }));
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        EXPECT_EQ(notices.GetCount(), 1u);
        EXPECT_FALSE(a.peer->IsTimedOut());
    }
    // Without one: the peer is marked and removed.
    {
        SEnd a;
        CRawEndpoint raw;
        a.Connect(raw.Address());
        a.peer->SetSettingD(0.15f);
        EXPECT_TRUE(WaitFor([&] { return a.socket->GetPeerCount() == 0; }));
    }
}

TEST(NweEngine, ExhaustedTriesFailTheLinkVisibly) {
    SEnd a;
    CRawEndpoint raw;  // never answers
    a.Connect(raw.Address());
    a.peer->SetResendInterval(0.004f);
    a.peer->SetTimeoutCheck(false);
    NWEList group;
    std::vector<uint8_t> p = IndexedPayload(1, 8);
    a.peer->SendMessage(kTestShort, p.data(), 8, &group, 65535, 0);
    ASSERT_TRUE(WaitFor([&] { return NWEQueue::IsEmpty(&group); }, 10.0));
    EXPECT_TRUE(group.HasFailed());
    EXPECT_EQ(group.GetDelivered(), 0);
    EXPECT_TRUE(a.engine.HasReport("Failed to send a very important network message"));
    EXPECT_GE(a.engine.GetResendCount(), 127u);
    EXPECT_TRUE(WaitFor([&] { return a.socket->GetPeerCount() == 0; }));
}

TEST(NweEngine, PacketSizeAndRateRequests) {
    SEnd server, client;
    client.Connect(server.address);
    server.Connect(client.address);
    struct SCase {
        uint32_t request, packetSize;
    } cases[] = {{1024, 992}, {2000, 1468}, {33, 544}, {1300, 1268}};
    for (const SCase& c : cases) {
        client.peer->RequestPacketSize(c.request);
        EXPECT_TRUE(WaitFor([&] { return server.peer->GetSettingF() == c.packetSize; })) << c.request;
    }
    // No datagram exceeds the packet size, however large the message.
    CRawEndpoint raw;
    SEnd probe(false);
    probe.Connect(raw.Address());
    probe.peer->SetSettingE(1024);
    probe.peer->SetSettingC(20e6f);
    std::vector<uint8_t> big = IndexedPayload(5, 5000);
    ASSERT_TRUE(probe.peer->SendMessage(kTestLong, big.data(), 5000, nullptr, 65535, 0));
    size_t largest = 0, total = 0;
    for (std::vector<uint8_t> d = raw.Receive(); !d.empty(); d = raw.Receive(0.1)) {
        largest = std::max(largest, d.size());
        total += d.size();
    }
    EXPECT_LT(largest, 992u);
    EXPECT_GT(total, 5000u);

    client.peer->RequestRate(100000);
    EXPECT_TRUE(WaitFor([&] { return server.peer->GetSendRate() == 100000.0f; }));
    client.peer->RequestRate(0);  // clamped, never a stopped link
    EXPECT_TRUE(WaitFor([&] { return server.peer->GetSendRate() == 400.0f; }));
}

TEST(NweEngine, RateSharedAmongPeers) {
    SEnd a(false);
    CRawEndpoint r1, r2;
    NWEPeer* p1 = new NWEPeer(a.socket, &a.registry, "one");
    p1->SetAddress(r1.Address());
    NWEPeer* p2 = new NWEPeer(a.socket, &a.registry, "two");
    p2->SetAddress(r2.Address());
    a.socket->SetSetting(600);
    p1->SetSettingC(100);
    p2->SetSettingC(900);
    EXPECT_EQ(p1->GetSendRate(), 100.0f);
    EXPECT_EQ(p2->GetSendRate(), 500.0f);
}

TEST(NweEngine, OneDepartedRemoteDoesNotCloseTheSharedSocket) {
    SEnd server, client;
    client.Connect(server.address);
    server.Connect(client.address);
    // A second peer whose remote has gone: sends to it draw ICMP errors.
    CRawEndpoint gone;
    SNetAddress goneAddress = gone.Address();
    gone.Close();
    NWEPeer* dead = new NWEPeer(server.socket, &server.registry, "gone");
    dead->SetAddress(goneAddress);
    dead->SetActive(true);
    std::vector<uint8_t> p = IndexedPayload(1, 8);
    for (int i = 0; i < 5; ++i) dead->SendMessage(kTestShort, p.data(), 8, nullptr, 65535, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(server.socket->IsMarkedForClosing());
    // Linux reports ICMP errors on unconnected sockets only with IP_RECVERR,
    // so the refusal is made to happen: the next read fails as it would.
    Net_InjectReceiveError(server.socket->GetHandle(), ECONNREFUSED);
    std::vector<uint8_t> q = IndexedPayload(2, 8);
    client.peer->SendMessage(kTestShort, q.data(), 8, nullptr, 65535, 0);
    EXPECT_TRUE(WaitFor([&] { return server.got.Count(2) == 1; }));
    EXPECT_FALSE(server.socket->IsMarkedForClosing());
    EXPECT_FALSE(server.engine.HasReport("Socket error from FD_READ"));
    // A real socket error is reported, and the socket still serves the next datagram.
    Net_InjectReceiveError(server.socket->GetHandle(), EBADF);
    std::vector<uint8_t> r = IndexedPayload(3, 8);
    client.peer->SendMessage(kTestShort, r.data(), 8, nullptr, 65535, 0);
    EXPECT_TRUE(WaitFor([&] { return server.got.Count(3) == 1; }));
    EXPECT_TRUE(server.engine.HasReport("Socket error from FD_READ"));
}

TEST(NweEngine, LocalPartnersSkipTheNetwork) {
    SEnd a(false);
    NWEPeer* host = new NWEPeer(a.socket, &a.registry, "host");
    NWEPeer* own = new NWEPeer(a.socket, &a.registry, "own client");
    host->LinkLocal(own);
    own->LinkLocal(host);
    std::vector<uint8_t> p = IndexedPayload(3, 40);
    EXPECT_TRUE(host->SendMessage(kTestLong, p.data(), 40));
    EXPECT_EQ(a.got.Count(3), 1);
    EXPECT_EQ(a.engine.GetPacketsOut(), 0u);
    EXPECT_FALSE(host->SendMessage(4000, p.data(), 4));
    EXPECT_TRUE(a.engine.HasReport("unregistered message DataType: 4000"));
}

TEST(NweEngine, FileSendCarriesHeaderAndFileSlice) {
    char dir[] = "/tmp/nwefileXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    std::string path = std::string(dir) + "/map.box";
    std::vector<uint8_t> content(9000);
    for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<uint8_t>(i * 7);
    FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(content.data(), 1, content.size(), f);
    std::fclose(f);
    SEnd server, client;
    client.Connect(server.address);
    server.Connect(client.address);
    CVFSFile file(path.c_str(), CVFSFile::kModeRead);
    ASSERT_TRUE(file.IsOpen());
    std::vector<uint8_t> header = IndexedPayload(42, 8);
    NWEList group;
    ASSERT_TRUE(client.peer->SendById(kTestLong, header.data(), 8, &file, 1000, 6000, &group));
    EXPECT_FALSE(client.peer->SendById(4000, header.data(), 8, &file, 0, 10));
    EXPECT_TRUE(client.engine.HasReport("unregistered message ID: 4000"));
    ASSERT_TRUE(WaitFor([&] { return server.got.Count(42) == 1; }));
    std::vector<uint8_t> want = header;
    want.insert(want.end(), content.begin() + 1000, content.begin() + 7000);
    EXPECT_EQ(server.got.payloads[42], want);
    EXPECT_TRUE(WaitFor([&] { return NWEQueue::IsEmpty(&group) && group.GetDelivered() == 1; }));
    std::remove(path.c_str());
    rmdir(dir);
}

TEST(NweEngine, TickModesStraysAndMarkedSockets) {
    CTestEngine e;
    NWESocket* s = new NWESocket(&e);
    ASSERT_TRUE(s->Open(SNetAddress{kNetLoopback, 0}));
    SNetAddress at;
    ASSERT_TRUE(s->GetSocketName(&at));
    // A datagram no peer owns, on a socket without a default peer.
    CRawEndpoint stray;
    stray.Send(MakeDatagram(EPacketForm::Unsafe, 1, 0, false, 0, 0, ShortMessage(3, {})), at);
    EXPECT_TRUE(WaitFor([&] { return e.HasReport("Nonhomed packet received"); }));
    // Mode 0: the tick thread's Tick(1) only checks; Tick(0) closes marked sockets.
    e.SetOptionA(0);
    s->MarkForClosing();
    e.Tick(true);
    EXPECT_EQ(e.GetSocketCount(), 1u);
    e.Tick(false);
    EXPECT_EQ(e.GetSocketCount(), 0u);
}

TEST(NweEngine, CountersWrapWithoutLossOrRepeat) {
    // The raw view: after 0x7FFFFFFE comes 1, never 0 or 0x7FFFFFFF.
    {
        SEnd a(false);
        CRawEndpoint raw;
        a.Connect(raw.Address());
        a.peer->SetSequenceCounter(0x7FFFFFFE);
        std::vector<uint32_t> seqs;
        for (uint32_t i = 0; i < 2; ++i) {
            std::vector<uint8_t> p = IndexedPayload(i, 8);
            a.peer->SendMessage(kTestShort, p.data(), 8, nullptr, 65535, 0);
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
    SEnd server, client(false);
    client.Connect(server.address);
    client.peer->SetSequenceCounter(0x7FFFFFF0);
    client.peer->SetKeyCounter(0x7FFFF8);
    client.engine.SetOptionC(1);
    server.Connect(client.address);
    NWEList group;
    for (uint32_t i = 0; i < 40; ++i) {
        std::vector<uint8_t> p = IndexedPayload(i, i % 4 == 0 ? 2500 : 16);
        client.peer->SendMessage(kTestLong, p.data(), static_cast<uint32_t>(p.size()), &group, 65535, 0);
    }
    ASSERT_TRUE(WaitFor([&] { return server.got.Total() == 40 && NWEQueue::IsEmpty(&group); }));
    for (uint32_t i = 0; i < 40; ++i) EXPECT_EQ(server.got.Count(i), 1) << i;
    EXPECT_EQ(group.GetDelivered(), 40);
}

TEST(NweEngine, LossHintResendsAtOnce) {
    SEnd a(false);
    CRawEndpoint raw;
    a.Connect(raw.Address());
    std::vector<uint8_t> p = IndexedPayload(1, 8);
    a.peer->SendMessage(kTestShort, p.data(), 8, nullptr, 65535, 0);
    std::vector<uint8_t> first = raw.Receive();
    SPacketHeader h;
    ASSERT_EQ(NWE_ReadPacketHeader(first.data(), first.size(), 13, true, &h), EHeaderError::None);
    ASSERT_TRUE(h.receiptWanted);
    // Long before any resend time-out, a hint brings the same packet back with
    // one try less.
    raw.Send(MakeDatagram(EPacketForm::SequencedCrc, 1, 1, false, 127, 13,
                          ShortMessage(2, U32Payload(h.sequence))),
             a.address);
    std::vector<uint8_t> again = raw.Receive(0.1);
    ASSERT_EQ(again.size(), first.size());
    EXPECT_EQ(again[6], 0x80 | 126);
    EXPECT_EQ(std::vector<uint8_t>(again.begin() + 7, again.end()),
              std::vector<uint8_t>(first.begin() + 7, first.end()));
    EXPECT_TRUE(a.engine.HasReport("Packet Lost hint received"));
    // A receipt ends it: no more resends.
    raw.Send(MakeDatagram(EPacketForm::SequencedCrc, 1, 2, false, 127, 13,
                          ShortMessage(0, U32Payload(h.sequence))),
             a.address);
    EXPECT_TRUE(WaitFor([&] { return a.peer->GetUnackedCount() == 0; }));
}

TEST(NweEngine, ReliableOnAnInactiveLinkIsNeverReportedDelivered) {
    SEnd a(false);
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
    SEnd a;
    CRawEndpoint raw;  // answers the test's packets with receipts only when told to
    a.Connect(raw.Address());
    a.peer->SetKeepAlive(false);
    using Time = std::chrono::steady_clock::time_point;
    uint32_t rawSequence = 0;
    auto receipt = [&](uint32_t sequence) {
        raw.Send(MakeDatagram(EPacketForm::SequencedCrc, 1, ++rawSequence, false, 127, 13,
                              ShortMessage(0, U32Payload(sequence))),
                 a.address);
    };
    // Whether a packet carries a test message (all of these are short messages).
    auto carriesTest = [](const std::vector<uint8_t>& d, const SPacketHeader& h) {
        size_t at = h.size;
        for (unsigned i = 0; i < h.count && at + 4 <= d.size(); ++i) {
            if ((((d[at] & 0x7F) << 8) | d[at + 1]) == kTestShort) return true;
            at += 4 + NWE_Get16(&d[at + 2]);
        }
        return false;
    };
    // The next packet carrying a test message (of the given sequence number,
    // when not 0); the engine's own requests are answered at once.
    auto next = [&](uint32_t sequence, SPacketHeader* h, Time* at) {
        for (;;) {
            std::vector<uint8_t> d = raw.Receive(5.0);
            *at = std::chrono::steady_clock::now();
            if (d.empty()) return false;
            if (NWE_ReadPacketHeader(d.data(), d.size(), 13, true, h) != EHeaderError::None) continue;
            bool ours = carriesTest(d, *h);
            if (ours && (sequence == 0 || h->sequence == sequence)) return true;
            if (!ours && h->receiptWanted) receipt(h->sequence);
        }
    };
    // Waits until nothing is left unacknowledged, answering whatever still comes.
    auto settled = [&] {
        return WaitFor([&] {
            std::vector<uint8_t> d = raw.Receive(0.0);
            SPacketHeader h;
            if (!d.empty() && NWE_ReadPacketHeader(d.data(), d.size(), 13, true, &h) == EHeaderError::None &&
                h.receiptWanted)
                receipt(h.sequence);
            return a.peer->GetUnackedCount() == 0;
        });
    };
    // Sends one message and waits for its resend; the seconds from the send to the second copy.
    auto resendDelay = [&](uint32_t index, uint32_t* sequence) {
        std::vector<uint8_t> p = IndexedPayload(index, 8);
        Time sent = std::chrono::steady_clock::now(), arrived, resent;
        a.peer->SendMessage(kTestShort, p.data(), 8, nullptr, 65535, 0);
        SPacketHeader first, again;
        if (!next(0, &first, &arrived) || !next(first.sequence, &again, &resent)) return 1e9;
        EXPECT_EQ(first.tries, 127);
        EXPECT_EQ(again.tries, 126);
        *sequence = first.sequence;
        return std::chrono::duration<double>(resent - sent).count();
    };
    uint32_t s = 0;

    // No round trip measured yet: the first resend waits the initial quarter second.
    EXPECT_GE(resendDelay(1, &s), 0.2);
    receipt(s);  // a receipt of a resent packet gives no round trip
    ASSERT_TRUE(settled());

    // Prompt receipts measure a short round trip; a packet that then goes
    // unanswered comes back long before the three-second bound of the back-off.
    for (uint32_t i = 2; i < 10; ++i) {
        std::vector<uint8_t> p = IndexedPayload(i, 8);
        a.peer->SendMessage(kTestShort, p.data(), 8, nullptr, 65535, 0);
        SPacketHeader h;
        Time at;
        ASSERT_TRUE(next(0, &h, &at));
        receipt(h.sequence);
        ASSERT_TRUE(settled());
    }
    EXPECT_LT(resendDelay(10, &s), 1.5);
    receipt(s);
    ASSERT_TRUE(settled());
}

TEST(NweEngine, ADeletedPeerFailsWhatItHadNotDelivered) {
    SEnd a;
    CRawEndpoint raw;  // never answers
    a.Connect(raw.Address());
    NWEList group;
    std::vector<uint8_t> small = IndexedPayload(1, 8), large = IndexedPayload(2, 3000);
    ASSERT_TRUE(a.peer->SendMessage(kTestShort, small.data(), 8, &group, 65535, 0));
    ASSERT_TRUE(a.peer->SendMessage(kTestLong, large.data(), 3000, &group, 65535, 0));
    ASSERT_FALSE(raw.Receive().empty());
    ASSERT_TRUE(WaitFor([&] { return a.peer->GetUnackedCount() > 0; }));
    delete a.peer;
    a.peer = nullptr;
    EXPECT_TRUE(NWEQueue::IsEmpty(&group));
    EXPECT_TRUE(group.HasFailed());
    EXPECT_EQ(group.GetDelivered(), 0);
}
