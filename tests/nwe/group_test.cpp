// Message groups (their end while members are in flight, their reuse, and
// sending after a group) and the links that name peers from lists.
#include <gtest/gtest.h>

#include <new>

#include "tests/nwe/NweLink.h"

namespace {

// The test indexes of the messages in a datagram, in the order they stand.
std::vector<uint32_t> IndexesIn(const std::vector<uint8_t>& d) {
    std::vector<uint32_t> out;
    for (auto& m : ShortMessagesOf(d))
        if (m.first == kTestShort) out.push_back(m.second);
    return out;
}

}  // namespace

TEST(NweGroup, ADeletedGroupIsNeverReachedByItsMembers) {
    CManualClock clock;
    SEnd server(&clock), client(&clock);
    client.Connect(server.address);
    server.Connect(client.address);
    // A new group often takes the memory of the one just deleted: the members
    // of the old one must not count in it.
    alignas(NWEList) unsigned char storage[sizeof(NWEList)];
    NWEList* group = new (storage) NWEList;
    ASSERT_TRUE(client.Send(kTestShort, 1, 8, group));
    ASSERT_TRUE(client.Send(kTestLong, 2, 3000, group));
    EXPECT_EQ(group->GetMembers(), 2);
    group->~NWEList();
    NWEList* reused = new (storage) NWEList;
    // The members are delivered (their receipts come) after their group went.
    ASSERT_TRUE(Drive({&server.engine, &client.engine}, clock,
                      [&] { return server.got.Total() == 2 && client.peer->GetUnackedCount() == 0; }));
    EXPECT_EQ(reused->GetMembers(), 0);
    EXPECT_EQ(reused->GetDelivered(), 0);
    // And members that fail after their group went do not reach it either.
    CRawEndpoint raw;
    NWEPeer* silent = client.Connect(raw.Address());
    ASSERT_TRUE(client.Send(kTestShort, 3, 8, reused));
    reused->~NWEList();
    NWEList* third = new (storage) NWEList;
    delete silent;
    EXPECT_EQ(third->GetMembers(), 0);
    EXPECT_EQ(third->GetFailed(), 0);
    third->~NWEList();
}

TEST(NweGroup, WaitEmptyLetsTheMembersGoAndTheGroupCountsAfresh) {
    CManualClock clock;
    SEnd a(&clock);
    CRawEndpoint raw;  // never answers
    a.Connect(raw.Address());
    NWEList group;
    ASSERT_TRUE(a.Send(kTestShort, 1, 8, &group));
    ASSERT_TRUE(a.Send(kTestShort, 2, 8, &group));
    EXPECT_FALSE(NWEQueue::IsEmpty(&group));
    NWEQueue::WaitEmpty(&group);
    EXPECT_TRUE(NWEQueue::IsEmpty(&group));
    ASSERT_TRUE(a.Send(kTestShort, 3, 8, &group));
    EXPECT_EQ(group.GetMembers(), 1);
    delete a.peer;  // all three fail; only the one sent since counts
    a.peer = nullptr;
    EXPECT_EQ(group.GetMembers(), 0);
    EXPECT_EQ(group.GetFailed(), 1);
}

TEST(NweGroup, MessagesSentAfterTheirGroupGoInTheOrderSent) {
    CManualClock clock;
    SEnd a(&clock);
    CRawEndpoint raw;
    a.Connect(raw.Address());
    // Priorities would reverse these three; a player's send slot passed as
    // both group and "after" keeps them in the order they were sent.
    auto send = [&](NWEList* slot, uint32_t index, uint16_t priority) {
        std::vector<uint8_t> p = IndexedPayload(index, 8);
        return a.peer->SendMessage(kTestShort, p.data(), 8, slot, priority, 1, 0, 0, slot);
    };
    struct SCase {
        bool slot;
        std::vector<uint32_t> order;
    } cases[] = {{false, {3, 2, 1}}, {true, {1, 2, 3}}};
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.slot ? "after the slot" : "no slot");
        NWEList slot;
        NWEList* s = c.slot ? &slot : nullptr;
        ASSERT_TRUE(send(s, 1, 5));
        ASSERT_TRUE(send(s, 2, 2));
        ASSERT_TRUE(send(s, 3, 0));
        uint32_t out = a.engine.GetPacketsOut();
        a.peer->Flush();
        std::vector<uint32_t> order;
        for (uint32_t n = a.engine.GetPacketsOut() - out; n > 0; --n)
            for (uint32_t i : IndexesIn(raw.Receive())) order.push_back(i);
        EXPECT_EQ(order, c.order);
    }
}

TEST(NweGroup, AnUnacknowledgedMessageAfterAGroupWaitsForItAndDoesNotBlockIt) {
    CManualClock clock;
    SEnd a(&clock);
    CRawEndpoint raw;
    a.Connect(raw.Address());
    NWEList slot;
    std::vector<uint8_t> first = IndexedPayload(1, 8), second = IndexedPayload(2, 8);
    // The reliable member waits in its queue (sent with a delay); the
    // unacknowledged message after the group, sent at once, waits for it.
    ASSERT_TRUE(a.peer->SendMessage(kTestShort, first.data(), 8, &slot, 65535, 1, 0));
    ASSERT_TRUE(a.peer->SendMessage(kTestShort, second.data(), 8, nullptr, 65535, 0, 1, 0, &slot));
    EXPECT_EQ(a.engine.GetPacketsOut(), 0u);
    // The unacknowledged queue is packed before the reliable one: what waits
    // there must not hold up the member it waits for.
    a.peer->Flush();
    std::vector<uint32_t> seen;
    for (uint32_t n = a.engine.GetPacketsOut(); n > 0; --n)
        for (uint32_t i : IndexesIn(raw.Receive())) seen.push_back(i);
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(seen, (std::vector<uint32_t>{1, 2}));
}

TEST(NweLinks, EntriesLetGoOfWhatTheyName) {
    CManualClock clock;
    SEnd a(&clock);
    NWEPeer* p = new NWEPeer(a.socket, &a.registry, "p");
    NWEPeer* q = new NWEPeer(a.socket, &a.registry, "q");
    {
        NWERefList list;
        NWEListEntry* e1 = new NWEListEntry(&list, p, 7);
        NWEListEntry* e2 = new NWEListEntry(&list, p);
        EXPECT_EQ(list.GetCount(), 2u);
        EXPECT_EQ(e1->GetValue(), 7u);
        NWEPeer* got = NWEEngine::GetPeer(e1);
        ASSERT_EQ(got, p);
        EXPECT_EQ(p->m_guard.Readers(), 1);
        got->Release();
        e2->Retarget(q);
        EXPECT_TRUE(e2->Names(q));
        EXPECT_FALSE(e2->Names(p));
        // The peer goes: its entry names nothing, the other is untouched.
        delete p;
        EXPECT_EQ(NWEEngine::GetPeer(e1), nullptr);
        EXPECT_TRUE(e1->Names(nullptr));
        NWEPeer* other = NWEEngine::GetPeer(e2);
        EXPECT_EQ(other, q);
        if (other) other->Release();
        // Walking skips nothing that is there and returns each entry shared.
        int walked = 0;
        for (NWEListEntry* e = list.FirstShared(); e; e = list.NextShared(e)) {
            EXPECT_EQ(e->m_guard.Readers(), 1);
            ++walked;
        }
        EXPECT_EQ(walked, 2);
        e1->Destroy();
        EXPECT_EQ(list.GetCount(), 1u);
    }          // the list destroys the entry left in it
    delete q;  // no entry names it any more
    // A frame table that announces to a peer that has gone skips it.
    NWEFrameTable table(&a.engine);
    table.SetAnnouncing(true);
    NWEPeer* r = new NWEPeer(a.socket, &a.registry, "r");
    r->SetFrameSync(true);
    table.AddPeer(r);
    delete r;
    table.Process();
    EXPECT_EQ(table.GetCurrentNumber(), 2);
}
