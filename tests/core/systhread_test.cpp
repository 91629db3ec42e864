#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/sys/Clock.h"
#include "platform/sys/Thread.h"

TEST(SysThread, LocksAreRecursiveAndExclusive) {
    CSysCriticalSection cs(4000);
    CSysMutex mutex;
    int counter = 0;
    auto work = [&] {
        for (int i = 0; i < 20000; ++i) {
            cs.Enter();
            cs.Enter();  // the owner re-enters
            ASSERT_TRUE(mutex.Wait());
            ASSERT_TRUE(mutex.Wait());
            ++counter;
            mutex.Release();
            mutex.Release();
            cs.Leave();
            cs.Leave();
        }
    };
    CSysThread a, b;
    ASSERT_TRUE(a.Start(work));
    ASSERT_TRUE(b.Start(work));
    EXPECT_FALSE(a.Start(work));  // one body per thread object
    a.Join();
    b.Join();
    EXPECT_EQ(counter, 40000);
    EXPECT_FALSE(a.IsRunning());

    // A mutex held by one thread times out for another, and cannot be released by it.
    ASSERT_TRUE(mutex.Wait());
    bool gotIt = true, released = true;
    std::thread other([&] {
        gotIt = mutex.Wait(30);
        released = mutex.Release();
    });
    other.join();
    EXPECT_FALSE(gotIt);
    EXPECT_FALSE(released);
    EXPECT_TRUE(mutex.Release());
    EXPECT_FALSE(mutex.Release());
}

TEST(SysThread, EventsWake) {
    CSysEvent autoReset;
    std::atomic<int> woke{0};
    CSysThread t;
    t.Start([&] {
        if (autoReset.Wait(5000)) ++woke;
    });
    autoReset.Set();
    t.Join();
    EXPECT_EQ(woke.load(), 1);
    EXPECT_FALSE(autoReset.Wait(0));  // consumed
    CSysEvent manual(true, true);
    EXPECT_TRUE(manual.Wait(0));
    EXPECT_TRUE(manual.Wait(0));
    manual.Reset();
    EXPECT_FALSE(manual.Wait(1));
}

TEST(SysClock, PerformanceCounterRunsAtTheGameRate) {
    EXPECT_EQ(Sys_QueryPerformanceFrequency(), 1193182);
    int64_t c0 = Sys_QueryPerformanceCounter();
    auto t0 = std::chrono::steady_clock::now();
    uint32_t ms0 = Sys_GetTickCount();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    int64_t c1 = Sys_QueryPerformanceCounter();
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    double counted = static_cast<double>(c1 - c0) / 1193182.0;
    EXPECT_NEAR(counted, seconds, 0.005);
    EXPECT_GE(Sys_GetTickCount() - ms0, 45u);
    for (int i = 0; i < 1000; ++i) {
        int64_t c = Sys_QueryPerformanceCounter();
        ASSERT_GE(c, c1);
        c1 = c;
    }
}
