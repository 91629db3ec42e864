// The game clock driven by a counter the test moves by hand.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/Game.h"
#include "app/GameClock.h"
#include "app/GameRoles.h"
#include "netgame/NetGame.h"
#include "ui/Interface.h"

namespace {
struct SCounter {
    uint64_t now = 1000;
    static uint64_t Read(void* ctx) { return static_cast<SCounter*>(ctx)->now; }
};

struct SCapture {
    std::vector<std::string> lines;
    static void Sink(void* user, const char* text, int, int, int, bool) {
        static_cast<SCapture*>(user)->lines.push_back(text);
    }
};

class GameClockTest : public ::testing::Test {
protected:
    void Start(double frequency) {
        clock.SetCounterSource(&SCounter::Read, &counter, frequency);
        clock.Start();
    }
    CGame game{nullptr, "No datafile"};
    CGameClock clock;
    SCounter counter;
};
}  // namespace

TEST_F(GameClockTest, CounterAtGameRateNeedsNoConversion) {
    Start(1193182.0);
    EXPECT_EQ(clock.m_convert, 0);
    counter.now = 5000000;
    clock.AdvanceGameTime(nullptr, false, true);
    EXPECT_EQ(clock.m_clockTime, 5000000u);
    // The speed factor stays 0 until a game is reset: menus build no backlog.
    EXPECT_EQ(clock.m_realTime, 0u);
}

TEST_F(GameClockTest, OtherFrequenciesConvertToGameUnits) {
    Start(1e9);
    EXPECT_EQ(clock.m_convert, 1);
    clock.m_speedFactor = 1.0f;
    counter.now += 1000000000;  // one second
    clock.AdvanceGameTime(nullptr, false, true);
    EXPECT_NEAR((double)clock.m_realTime, 1193182.0, 2.0);
}

TEST_F(GameClockTest, TicksAdvanceGameTimeByThePeriod) {
    Start(1193182.0);
    uint64_t before = clock.m_gameTime;
    clock.AdvanceGameTime(nullptr, true, true);
    clock.AdvanceGameTime(nullptr, true, true);
    EXPECT_EQ(clock.m_gameTime - before, 2u * 79545u);
    EXPECT_FLOAT_EQ(clock.m_tickStep, 1.0f / 15.0f);
    EXPECT_NEAR(clock.m_gameSeconds, (double)clock.m_gameTime / 1193182.0, 1e-4);
}

TEST_F(GameClockTest, ALockstepTickOnAStoodClockStepsAWholeTick) {
    Start(1193182.0);
    clock.m_speedFactor = 1.0f;
    clock.m_frozen = 1;
    uint64_t before = clock.m_gameTime;
    counter.now += 5000000;
    // The interface's own ticks and frames leave a stood clock where it is.
    clock.AdvanceGameTime(nullptr, true, true);
    clock.AdvanceGameTime(nullptr, false, true);
    EXPECT_EQ(clock.m_gameTime, before);
    // The lockstep's tick steps game time by one period; no backlog.
    clock.AdvanceGameTime(nullptr, true, true, true);
    EXPECT_EQ(clock.m_gameTime - before, 79545u);
    EXPECT_EQ(clock.m_realTime, clock.m_gameTime);
    EXPECT_NEAR(clock.m_gameSeconds, (double)clock.m_gameTime / 1193182.0, 1e-4);
}

TEST_F(GameClockTest, CaptureModeAdvancesAFixedStep) {
    Start(1193182.0);
    game.SetCaptureMode(2);
    game.SetCaptureRate(25.0f);
    uint64_t before = clock.m_gameTime;
    clock.AdvanceGameTime(nullptr, false, true);
    EXPECT_EQ(clock.m_gameTime - before, 47727u);
    counter.now += 10000000;  // real time does not matter
    clock.AdvanceGameTime(nullptr, false, true);
    EXPECT_EQ(clock.m_gameTime - before, 2u * 47727u);
    clock.UpdateFrameTime(0);
    EXPECT_FLOAT_EQ(clock.m_frameRate, 25.0f);
    game.SetCaptureMode(0);
}

TEST_F(GameClockTest, HostDropsABacklogClientKeepsIt) {
    game.SetNetGame(new CNetGame(game.Roles().Net()));
    for (uint8_t hosting : {1, 0}) {
        CGameClock c;
        c.SetCounterSource(&SCounter::Read, &counter, 1193182.0);
        c.Start();
        c.m_speedFactor = 1.0f;
        game.NetGame()->m_hosting = hosting;
        counter.now += (uint64_t)(0.8 * 1193182.0);
        c.AdvanceGameTime(nullptr, false, true);
        if (hosting)
            EXPECT_EQ(c.m_realTime, c.m_gameTime);
        else
            EXPECT_GT(c.m_realTime, c.m_gameTime + 900000u);
    }
    delete game.NetGame();
    game.SetNetGame(nullptr);
}

TEST_F(GameClockTest, SectionsAverageWithLongFramesCapped) {
    Start(1193182.0);
    clock.BeginFrameSection();
    counter.now += 2 * 1193182;  // a two-second frame
    clock.EndFrameSection();
    EXPECT_FLOAT_EQ(clock.m_frame.last, 2.0f);
    // 30 samples of 0.1 at first: one replaced by at most 0.75.
    EXPECT_NEAR(clock.m_frame.sum, 3.0f - 0.1f + 0.75f, 1e-5);
    for (int i = 0; i < 29; ++i) {
        clock.BeginFrameSection();
        clock.EndFrameSection();
    }
    EXPECT_EQ(clock.m_frame.index, 0);
}

TEST_F(GameClockTest, PrintsResolutionAndStopwatch) {
    game.SetInterface(new CInterface(game.Roles().Interface()));
    game.Interface()->m_console.Init(100, 17, 8);
    SCapture printed;
    game.Interface()->m_console.SetLineSink(&SCapture::Sink, &printed);
    game.SetClock(&clock);
    Start(1e9);
    clock.PrintResolution();
    Stopwatch_Start("load");
    counter.now += 500000000;  // half a second
    Stopwatch_Stop();
    game.SetClock(nullptr);
    delete game.Interface();
    game.SetInterface(nullptr);
    ASSERT_EQ(printed.lines.size(), 2u);
    EXPECT_EQ(printed.lines[0], "Timer resulotion 1000.000000 MHz");
    EXPECT_EQ(printed.lines[1], "load : 500000000 (0.500000 s) (500.000000 ms) (500000.000000 \xB5s)");
}

namespace {
// A counter that moves by the next of its steps at every read.
struct SScriptedCounter {
    std::vector<uint64_t> steps;
    size_t reads = 0;
    uint64_t now = 0;
    static uint64_t Read(void* ctx) {
        auto* c = static_cast<SScriptedCounter*>(ctx);
        if (c->reads < c->steps.size()) c->now += c->steps[c->reads];
        ++c->reads;
        return c->now;
    }
};
}  // namespace

TEST_F(GameClockTest, BenchmarkScoresArithmeticAndMemoryPerTickAndRandomReadsPerSecond) {
    // Each phase reads the counter at its start and its end; the ticks of the
    // three phases come from the script. The speed is
    // ((1/A)/F + (1/A)/F + (1/M)/F + 1/(R/F)) / 4 x 100.
    const double f = 1193182.0;
    const struct {
        uint64_t a, m, r;
    } cases[] = {
        {1193182, 1193182, 1193182},  // one second each: 25, not 100
        {596591, 298295, 149147},     // the random reads in 1/8 s: about 200
        {1, 1, 1193182 * 4},          // fast arithmetic and memory weigh nothing
    };
    for (const auto& c : cases) {
        SScriptedCounter counter{{0, c.a, 0, c.m, 0, c.r}};
        clock.SetCounterSource(&SScriptedCounter::Read, &counter, f);
        clock.Start();
        counter.reads = 0;
        game.SetClock(&clock);
        game.Benchmark();
        game.SetClock(nullptr);
        EXPECT_EQ(counter.reads, 6u);
        double expected = ((1.0 / c.a) / f * 2 + (1.0 / c.m) / f + 1.0 / (c.r / f)) / 4.0 * 100.0;
        EXPECT_NEAR(game.BenchmarkSpeed(), expected, expected * 1e-6) << c.a << " " << c.m << " " << c.r;
    }
}
