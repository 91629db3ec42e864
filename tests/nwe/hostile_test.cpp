// The engine under senders that do not play by the rules: junk and unanswering
// senders against a listening socket, messages that claim more than they
// bring, partial messages that stall or crawl, a remote that never
// acknowledges, and a sender whose receipts must keep its window moving.
#include <gtest/gtest.h>

#include <memory>

#include "tests/nwe/NweLink.h"

namespace {

// A listening server as the echo tool and a game server run one: a peer for
// every valid datagram from a new address.
struct SListener {
    CManualClock& clock;
    SEnd server;
    explicit SListener(CManualClock& c) : clock(c), server(&c) {
        server.socket->SetListener(&server.registry, 13, &Accept, this);
    }
    static NWEPeer* Accept(NWESocket* socket, const SNetAddress& from, void* context) {
        SListener* l = static_cast<SListener*>(context);
        NWEPeer* p = new NWEPeer(socket, &l->server.registry, "guest");
        p->SetReceiveCrcSeed(13);
        p->SetSendCrcSeed(13);
        p->SetAddress(from);
        p->SetActive(true);
        return NWEEngine::GetPeer(p);
    }
    size_t Peers() { return server.socket->GetPeerCount(); }
};

std::vector<uint8_t> ValidDatagram(uint32_t seq, uint32_t index) {
    return MakeDatagram(EPacketForm::SequencedCrc, 1, seq, true, 127, 13,
                        ShortMessage(kTestShort, IndexedPayload(index, 8)));
}

}  // namespace

TEST(NweHostile, JunkMakesNothingAndUnansweringSendersCannotKeepARealOneOut) {
    CManualClock clock;
    SListener l(clock);
    // 64 one-byte datagrams from 64 ports: nothing is made for them.
    std::vector<std::unique_ptr<CRawEndpoint>> junk;
    for (int i = 0; i < 64; ++i) {
        junk.emplace_back(new CRawEndpoint);
        junk.back()->Send({0x42}, l.server.address);
    }
    ASSERT_TRUE(Pump({&l.server.engine}, [&] { return l.server.engine.GetPacketsIn() == 64; }));
    EXPECT_EQ(l.Peers(), 0u);
    EXPECT_EQ(l.server.got.Total(), 0);
    // 64 valid datagrams from 64 ports whose senders never answer: half-open
    // peers, never more than the limit for one address.
    for (int i = 0; i < 64; ++i)
        junk[static_cast<size_t>(i)]->Send(ValidDatagram(1, 1000 + i), l.server.address);
    ASSERT_TRUE(Pump({&l.server.engine}, [&] { return l.server.engine.GetPacketsIn() == 128; }));
    EXPECT_LE(l.server.socket->GetHalfOpenCount(), static_cast<size_t>(NWESocket::kHalfOpenPerAddress));
    l.server.engine.Tick(true);  // the ones that gave way go
    EXPECT_LE(l.Peers(), static_cast<size_t>(NWESocket::kHalfOpenPerAddress));
    // A real sender gets in, is answered, and stays once the half-open ones expire.
    SEnd real(&clock);
    real.Connect(l.server.address);
    NWEList group;
    ASSERT_TRUE(real.Send(kTestShort, 7, 8, &group));
    // Its peer at the server is established once it confirms what the server
    // sent it (the rate request every new link makes).
    auto established = [&] {
        bool yes = false;
        for (NWEPeer* p = l.server.socket->FirstPeer(); p; p = l.server.socket->NextPeer(p))
            yes = yes || (p->GetAddress() == real.address && p->IsEstablished());
        return yes;
    };
    ASSERT_TRUE(Drive({&l.server.engine, &real.engine}, clock, [&] {
        return l.server.got.Count(7) == 1 && NWEQueue::IsEmpty(&group) && established();
    }));
    EXPECT_EQ(group.GetDelivered(), 1);
    clock.Advance(NWESocket::kHalfOpenLife + 0.1);
    l.server.engine.Tick(true);
    l.server.engine.Tick(true);
    EXPECT_EQ(l.Peers(), 1u);
    EXPECT_EQ(l.server.socket->GetHalfOpenCount(), 0u);
    ASSERT_TRUE(real.Send(kTestShort, 8, 8));
    EXPECT_TRUE(Pump({&l.server.engine}, [&] { return l.server.got.Count(8) == 1; }));
}

TEST(NweHostile, HalfOpenPeersAreBoundedPerAddressAndInAll) {
    CManualClock clock;
    SListener l(clock);
    l.server.socket->SetHalfOpenLimits(3, 5, 1.0f);
    std::vector<std::unique_ptr<CRawEndpoint>> senders;
    auto sendFrom = [&](uint32_t ip) {
        senders.emplace_back(new CRawEndpoint(ip));
        senders.back()->Send(ValidDatagram(1, 1), l.server.address);
        uint32_t in = l.server.engine.GetPacketsIn();
        EXPECT_TRUE(Pump({&l.server.engine}, [&] { return l.server.engine.GetPacketsIn() > in; }));
        l.server.engine.Tick(true);
    };
    for (int i = 0; i < 6; ++i) sendFrom(0x7F000001);  // 127.0.0.1
    EXPECT_EQ(l.server.socket->GetHalfOpenCount(), 3u);
    for (int i = 0; i < 4; ++i) sendFrom(0x7F000002);  // 127.0.0.2
    EXPECT_EQ(l.server.socket->GetHalfOpenCount(), 5u);
    EXPECT_EQ(l.Peers(), 5u);
    // Every newcomer got in (its message was delivered), the oldest gave way.
    EXPECT_EQ(l.server.got.Count(1), 10);
    clock.Advance(1.1);
    l.server.engine.Tick(true);
    l.server.engine.Tick(true);
    EXPECT_EQ(l.Peers(), 0u);
}

TEST(NweHostile, PartialMessagesHoldWhatArrivedAndGiveItBack) {
    CManualClock clock;
    SEnd a(&clock);
    CRawEndpoint raw;
    a.Connect(raw.Address())->SetTimeoutCheck(false);
    // 378 first parts that each claim the largest message (8 MiB) and bring
    // 16 bytes: what is held is what came.
    uint32_t seq = 0;
    for (uint32_t key = 1; key <= 378; ++key)
        raw.Send(MakeDatagram(EPacketForm::SequencedCrc, 1, ++seq, true, 127, 13,
                              FirstPart(kTestLong, key, NWEEngine::kDefaultMaxMessageSize,
                                        std::vector<uint8_t>(16, 1), false)),
                 a.address);
    ASSERT_TRUE(Pump({&a.engine}, [&] { return a.engine.GetPacketsIn() == 378; }));
    EXPECT_EQ(a.peer->GetPartialCount(), 378u);
    EXPECT_EQ(a.peer->GetPartialBytes(), 378u * (16 + NWEPeer::kPieceOverhead));
    EXPECT_EQ(a.socket->GetPartialBytes(), static_cast<int64_t>(a.peer->GetPartialBytes()));
    // 17 s without a new part: they expire and their memory is counted back.
    clock.Advance(17.5);
    a.engine.Tick(true);
    EXPECT_EQ(a.peer->GetPartialCount(), 0u);
    EXPECT_EQ(a.peer->GetPartialBytes(), 0u);
    EXPECT_EQ(a.socket->GetPartialBytes(), 0);
}

TEST(NweHostile, PartialMemoryHasBudgetsPerPeerAndPerSocket) {
    CManualClock clock;
    SEnd a(&clock);
    a.engine.SetMaxMessageSize(16 << 10);  // a peer may hold 48 KiB of parts
    CRawEndpoint r1, r2;
    NWEPeer* p1 = a.Connect(r1.Address());
    NWEPeer* p2 = a.Connect(r2.Address());
    a.socket->SetPartialBudget(60 << 10);
    uint32_t seq1 = 0, seq2 = 0;
    // Sends one 1000-byte first part of a new message; whether it was taken
    // (acknowledged) or refused.
    auto part = [&](CRawEndpoint& from, uint32_t* seq, uint32_t key) {
        uint32_t rejected = a.engine.GetRejectedCount(), out = a.engine.GetPacketsOut();
        from.Send(MakeDatagram(EPacketForm::SequencedCrc, 1, ++*seq, true, 127, 13,
                               FirstPart(kTestLong, key, 16 << 10, std::vector<uint8_t>(1000, 2), false)),
                  a.address);
        EXPECT_TRUE(Pump({&a.engine}, [&] {
            return a.engine.GetRejectedCount() > rejected || a.engine.GetPacketsOut() > out;
        }));
        return a.engine.GetRejectedCount() == rejected;
    };
    int taken1 = 0;
    for (uint32_t key = 1; key <= 60; ++key) taken1 += part(r1, &seq1, key);
    EXPECT_EQ(taken1, static_cast<int>((48u << 10) / (1000 + NWEPeer::kPieceOverhead)));
    EXPECT_LE(p1->GetPartialBytes(), 48u << 10);
    EXPECT_TRUE(a.engine.HasReport("unfinished messages over their memory budget"));
    // The second peer has room of its own, until the socket's budget is used.
    int taken2 = 0;
    for (uint32_t key = 1; key <= 60; ++key) taken2 += part(r2, &seq2, key);
    EXPECT_LT(taken2, taken1);
    EXPECT_LE(a.socket->GetPartialBytes(), 60 << 10);
    EXPECT_EQ(static_cast<uint64_t>(a.socket->GetPartialBytes()),
              p1->GetPartialBytes() + p2->GetPartialBytes());
}

TEST(NweHostile, AnUnfinishedMessageLivesWhileItsPartsKeepComing) {
    CManualClock clock;
    SEnd a(&clock);
    CRawEndpoint raw;
    a.Connect(raw.Address())->SetTimeoutCheck(false);
    std::vector<uint8_t> body = IndexedPayload(5, 4000);
    auto piece = [&](uint32_t from, uint32_t n) {
        return std::vector<uint8_t>(body.begin() + from, body.begin() + from + n);
    };
    uint32_t seq = 0;
    auto send = [&](const std::vector<uint8_t>& part) {
        uint32_t in = a.engine.GetPacketsIn();
        raw.Send(MakeDatagram(EPacketForm::SequencedCrc, 1, ++seq, true, 127, 13, part), a.address);
        EXPECT_TRUE(Pump({&a.engine}, [&] { return a.engine.GetPacketsIn() > in; }));
    };
    // A part every 10 s: 40 s from first to last, longer than the 17 s a
    // stalled message lives, and still delivered.
    send(FirstPart(kTestLong, 3, 4000, piece(0, 1000), false));
    for (uint32_t i = 1; i < 4; ++i) {
        clock.Advance(10.0);
        a.engine.Tick(true);
        ASSERT_EQ(a.peer->GetPartialCount(), 1u) << "after " << i * 10 << " s";
        send(Continuation(3, i * 1000, piece(i * 1000, 1000), i == 3, 4));
    }
    EXPECT_EQ(a.got.Count(5), 1);
    EXPECT_EQ(a.got.Payload(5), body);
    // A repeated part is not progress: a message whose parts stop expires 17 s
    // after its last new one.
    send(FirstPart(kTestLong, 4, 4000, piece(0, 1000), false));
    clock.Advance(10.0);
    send(FirstPart(kTestLong, 4, 4000, piece(0, 1000), false));  // a resent copy under a new number
    clock.Advance(7.5);
    a.engine.Tick(true);
    EXPECT_EQ(a.peer->GetPartialCount(), 0u);
}

TEST(NweHostile, ARemoteThatNeverAcknowledgesIsBoundedAndGivenUp) {
    CManualClock clock;
    SEnd a(&clock);
    CRawEndpoint raw;  // answers nothing
    a.Connect(raw.Address());
    a.peer->SetOwnRate(1e9f);
    a.socket->SetRateCap(1e9f);
    a.peer->SetSendLimits(8 << 10, 100 << 10);
    // The window: reliable packets out without a receipt stay within 8 KiB
    // (and one packet); the rest waits in the queue.
    for (uint32_t i = 0; i < 50; ++i) ASSERT_TRUE(a.Send(kTestLong, i, 500));
    for (int i = 0; i < 20; ++i) {  // time for the budget to let it all go
        clock.Advance(0.01);
        a.engine.Tick(true);
    }
    EXPECT_GT(a.peer->GetUnackedBytes(), 7u << 10);
    EXPECT_LE(a.peer->GetUnackedBytes(), (8u << 10) + 1024);
    EXPECT_GT(a.peer->GetPendingBytes(), 0u);
    // The queue: past its limit the link is given up, and what it held goes.
    bool refused = false;
    for (uint32_t i = 50; i < 200 && !refused; ++i) refused = !a.Send(kTestLong, i, 500);
    EXPECT_TRUE(refused);
    EXPECT_TRUE(a.engine.HasReport("over the limit"));
    EXPECT_TRUE(a.peer->IsTimedOut());
    EXPECT_EQ(a.peer->GetPendingBytes(), 0u);
    EXPECT_EQ(a.peer->GetHeldBytes(), 0u);
    EXPECT_EQ(a.peer->GetUnackedBytes(), 0u);

    // A remote that keeps talking (so it never falls silent) but confirms
    // nothing is given up after the time-out, not after minutes of resends.
    SEnd b(&clock);
    CRawEndpoint chatty;
    b.Connect(chatty.Address());
    b.peer->SetTimeout(2.0f);
    ASSERT_TRUE(b.Send(kTestShort, 1, 8));
    uint32_t seq = 0;
    for (int i = 0; i < 30 && !b.peer->IsTimedOut(); ++i) {
        chatty.Send(MakeDatagram(EPacketForm::SequencedCrc, 1, ++seq, false, 127, 13,
                                 ShortMessage(NS_NOTIFYTYPE_KEEP_ALIVE, {})),
                    b.address);
        uint32_t in = b.engine.GetPacketsIn();
        ASSERT_TRUE(Pump({&b.engine}, [&] { return b.engine.GetPacketsIn() > in; }));
        clock.Advance(0.1);
        b.engine.Tick(true);
    }
    EXPECT_TRUE(b.peer->IsTimedOut());
    EXPECT_TRUE(b.engine.HasReport("nothing confirmed for"));
    EXPECT_LT(b.engine.GetResendCount(), 20u);
}

TEST(NweHostile, MessagesAboveTheLargestSizeAreRefusedBySender) {
    CManualClock clock;
    SEnd a(&clock);
    CRawEndpoint raw;
    a.Connect(raw.Address());
    a.engine.SetMaxMessageSize(1000);
    std::vector<uint8_t> big(1001, 1);
    EXPECT_FALSE(a.peer->SendMessage(kTestLong, big.data(), 1001));
    EXPECT_TRUE(a.engine.HasReport("larger than the largest message (1000 bytes)"));
    EXPECT_TRUE(a.peer->SendMessage(kTestLong, big.data(), 1000));
}

TEST(NweHostile, ReceiptsLeaveEveryFewDatagramsOfABurst) {
    CManualClock clock;
    SEnd a(&clock);
    CRawEndpoint raw;
    a.Connect(raw.Address());
    a.engine.Tick(true);
    raw.Receive();  // the rate request of the new link
    // A burst of 12 datagrams read in one go is acknowledged in several
    // replies, not one at its end: the sender's window moves meanwhile.
    const uint32_t kBurst = 12;
    for (uint32_t s = 1; s <= kBurst; ++s) raw.Send(ValidDatagram(s, s), a.address);
    ASSERT_TRUE(Pump({&a.engine}, [&] { return a.got.Total() == static_cast<int>(kBurst); }));
    std::vector<uint32_t> acked;
    size_t largestReply = 0;
    for (uint32_t n = a.engine.GetPacketsOut() - 1; n > 0; --n) {
        size_t receipts = 0;
        for (auto& m : ShortMessagesOf(raw.Receive()))
            if (m.first == NS_NOTIFYTYPE_RECEIPT) {
                acked.push_back(m.second);
                ++receipts;
            }
        largestReply = std::max(largestReply, receipts);
    }
    std::sort(acked.begin(), acked.end());
    EXPECT_EQ(acked.size(), kBurst);
    EXPECT_LE(largestReply, NWEPeer::kReceiptBatch);
}

// The CRC covers the messages only, so a header damaged on the way passes it;
// what the header must agree with refuses it whole (counted): a sequence
// number of 0 or 0x7FFFFFFF or far ahead of the window, tries below their
// first value on a packet without a receipt, a reliable message in a packet
// that asks for none. None of them moves the receive window: the next real
// packet is taken. A sender that really jumped ahead is followed once its
// next packet confirms the jump.
TEST(NweHostile, ADamagedHeaderIsRefusedByItsChecksAndMovesNothing) {
    CManualClock clock;
    SEnd a(&clock);
    CRawEndpoint raw;
    a.Connect(raw.Address());
    raw.Send(ValidDatagram(1, 1), a.address);
    ASSERT_TRUE(Pump({&a.engine}, [&] { return a.got.Total() == 1; }));
    std::vector<uint8_t> message = ShortMessage(kTestShort, IndexedPayload(7, 8));
    struct SCase {
        const char* name;
        uint32_t seq;
        bool receipt;
        uint8_t tries;
    } cases[] = {
        {"sequence number 0", 0, true, 127},
        {"sequence number 0x7FFFFFFF", 0x7FFFFFFF, true, 127},
        {"far ahead of the window", 2 + 4096, true, 127},
        {"resent without a receipt", 2, false, 126},
        {"reliable message without a receipt", 2, false, 127},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.name);
        uint32_t rejected = a.engine.GetRejectedCount();
        raw.Send(MakeDatagram(EPacketForm::SequencedCrc, 1, c.seq, c.receipt, c.tries, 13, message),
                 a.address);
        ASSERT_TRUE(Pump({&a.engine}, [&] { return a.engine.GetRejectedCount() > rejected; }));
        EXPECT_EQ(a.got.Total(), 1);
    }
    raw.Send(ValidDatagram(2, 2), a.address);
    ASSERT_TRUE(Pump({&a.engine}, [&] { return a.got.Total() == 2; }));
    // A real jump: refused once, then followed.
    uint32_t rejected = a.engine.GetRejectedCount();
    raw.Send(ValidDatagram(3 + 7000, 3), a.address);
    ASSERT_TRUE(Pump({&a.engine}, [&] { return a.engine.GetRejectedCount() > rejected; }));
    raw.Send(ValidDatagram(4 + 7000, 4), a.address);
    ASSERT_TRUE(Pump({&a.engine}, [&] { return a.got.Total() == 3; }));
}
