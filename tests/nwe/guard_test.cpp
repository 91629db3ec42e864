// The access guard, the priority queue and the message-type registry.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "tests/nwe/NweTestKit.h"

TEST(NweGuard, SharedExclusiveAndClosing) {
    NWEAccessGuard g;
    ASSERT_TRUE(g.Exclusive());
    EXPECT_FALSE(g.TryShared());  // at once, no wait
    g.Downgrade();
    EXPECT_EQ(g.Readers(), 1);
    EXPECT_TRUE(g.TryShared());
    g.ReleaseShared();
    EXPECT_TRUE(g.CloseWhileShared());
    EXPECT_FALSE(g.TryShared());
    EXPECT_FALSE(g.Exclusive());
    EXPECT_FALSE(g.Close());
}

TEST(NweGuard, WaitingWriterIsNotStarvedAndExclusiveWaitsForReaders) {
    NWEAccessGuard g;
    ASSERT_TRUE(g.TryShared());
    std::atomic<bool> got{false};
    std::thread writer([&] {
        got = g.Exclusive();
        g.ReleaseExclusive();
    });
    // Once the writer waits, it keeps new readers out.
    while (g.TryShared()) {
        g.ReleaseShared();
        std::this_thread::yield();
    }
    EXPECT_FALSE(got.load());
    g.ReleaseShared();
    writer.join();
    EXPECT_TRUE(got.load());
}

TEST(NweGuard, NeverTwoExclusiveHolders) {
    NWEAccessGuard g;
    std::atomic<int> holders{0}, most{0}, upgrades{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 2000; ++i) {
                bool exclusive = false;
                if ((i + t) % 2 == 0) {
                    if (!g.Shared()) continue;
                    if (g.Upgrade()) {
                        exclusive = true;
                        ++upgrades;
                    } else {
                        g.ReleaseShared();
                        continue;
                    }
                } else {
                    exclusive = g.Exclusive();
                }
                if (!exclusive) continue;
                int now = ++holders;
                int m = most.load();
                while (now > m && !most.compare_exchange_weak(m, now)) {
                }
                --holders;
                g.ReleaseExclusive();
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(most.load(), 1);
    EXPECT_GT(upgrades.load(), 0);
}

TEST(NweQueue, PriorityThenArrivalAndKeyOrderAtZero) {
    NWEQueue q;
    auto make = [](uint8_t prio, uint32_t key) {
        NWEMessagePtr m = std::make_shared<NWEMessage>();
        m->m_priority = prio;
        m->m_key = key;
        return m;
    };
    q.Put(make(5, 1));
    q.Put(make(5, 2));
    q.Put(make(2, 3));
    q.Put(make(0, 9));
    q.Put(make(0, 4));
    std::vector<std::pair<int, uint32_t>> order;
    while (NWEMessagePtr m = q.Take()) order.push_back({m->m_priority, m->m_key});
    EXPECT_EQ(order, (std::vector<std::pair<int, uint32_t>>{{0, 4}, {0, 9}, {2, 3}, {5, 1}, {5, 2}}));
}

TEST(NweRegistry, RegistrationResultsAndOverhead) {
    CManualClock clock;
    CTestEngine engine(&clock);
    NWEMessageTypes r(&engine);
    EXPECT_EQ(r.Register("LAST", 32767, nullptr, nullptr, nullptr, nullptr, nullptr, 0, 5, 0, 0, 0), 0);
    EXPECT_EQ(r.Register("TOO_HIGH", 32768, nullptr, nullptr, nullptr, nullptr, nullptr, 0, 5, 0, 0, 0), 1);
    EXPECT_EQ(r.Register("SHORT", 40, nullptr, nullptr, nullptr, nullptr, nullptr, 1, 3, 0, 0, 1), 0);
    EXPECT_EQ(r.Register("AGAIN", 40, nullptr, nullptr, nullptr, nullptr, nullptr, 0, 7, 0, 0, 0), 2);
    NWEMessageType* t = r.Get(40);
    ASSERT_NE(t, nullptr);
    EXPECT_STREQ(t->m_name.GetText(), "SHORT");  // the first registration stays
    EXPECT_EQ(t->m_class, 1);
    r.Release(t);
    EXPECT_EQ(r.Get(41), nullptr);
    EXPECT_EQ(r.Get(1000000), nullptr);
    EXPECT_EQ(r.Overhead(32767, 100, 3), 100u + 17 + 39);
    EXPECT_EQ(r.Overhead(40, 100, 1), 104u);
    EXPECT_EQ(r.Overhead(41, 100, 1), 100u);
    // The system registry holds ids 0 to 5, all short and direct.
    for (uint32_t id = 0; id < 6; ++id) {
        NWEMessageType* s = engine.GetSystemRegistry()->Get(id);
        ASSERT_NE(s, nullptr) << id;
        EXPECT_EQ(s->m_shortHeader, 1);
        EXPECT_EQ(s->m_direct, 1);
        engine.GetSystemRegistry()->Release(s);
    }
}

TEST(NweEngineLife, StartsAndStopsPromptly) {
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 20; ++i) {
        CTestEngine e(nullptr, true);
        e.SetTickThreadEnabled(1);
        NWESocket* s = new NWESocket(&e);
        ASSERT_TRUE(s->Open(SNetAddress{kNetLoopback, 0}));
    }  // the engine closes its socket and joins both threads
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

TEST(NweList, WalksSharedAndSkipsClosingElements) {
    NWEList list;
    NWEObject a, b, c;
    list.Add(&a);
    list.Add(&b);
    list.Add(&c);
    list.Add(&b);  // once only
    ASSERT_TRUE(b.m_guard.Close());
    std::vector<NWEObject*> seen;
    for (NWEObject* o = list.FirstShared(); o; o = list.NextShared(o)) {
        EXPECT_EQ(o->m_guard.Readers(), 1);
        seen.push_back(o);
    }
    EXPECT_EQ(seen, (std::vector<NWEObject*>{&a, &c}));
    EXPECT_EQ(a.m_guard.Readers(), 0);  // every step gave its element back
    EXPECT_EQ(list.GetElementCount(), 3u);
}
