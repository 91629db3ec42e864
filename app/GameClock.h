// The game clock: real time, game time and frame statistics.
//
// Game time counts in units of 1/1193182 second whatever the counter's own
// rate, and advances in whole logic ticks (15 per second by default, a tick
// period of 79545 units). Real time runs with the speed factor, which stays
// 0 until a game is reset, so menus do not build up a backlog. The clock
// also averages three timed sections of every frame (game logic, the whole
// frame, drawing) over 30 samples and keeps one named stopwatch for the
// console's timing commands.
#pragma once

#include <cstdint>

#include "core/StrBuf.h"
#include "platform/sys/Thread.h"

class CE3DSurface;

// Game-time units per second.
constexpr double kGameTimeRate = 1193182.0;

// One timed section: the last duration and a 30-sample average.
struct SClockSection {
    uint64_t start = 0;
    float last = 0.0f;
    float samples[30];
    float sum = 3.0f;
    int32_t index = 0;

    SClockSection();
    void Begin(uint64_t now) { start = now; }
    // Adds one sample; a single long frame counts at most 0.75 s.
    void End(uint64_t now, float frequency);
};

class CGameClock {
public:
    CGameClock();
    ~CGameClock();

    void Start();
    // step must be null (every caller passes null); tick consumes one tick;
    // takeMutex waits on the game's game-time mutex around the tick.
    // lockstepTick marks the logic tick's own step: the world steps one
    // frame of the lockstep whether or not this machine's clock stands, so
    // game time must step with it (a machine paused here while its peers
    // play on would otherwise run its world on a time the others left).
    void AdvanceGameTime(const float* step, bool tick, bool takeMutex, bool lockstepTick = false);
    void UpdateFrameTime(int unused);

    void BeginGameSection() { m_game.Begin(Now()); }
    void EndGameSection() { m_game.End(Now(), m_frequency); }
    void BeginFrameSection() { m_frame.Begin(Now()); }
    void EndFrameSection() { m_frame.End(Now(), m_frequency); }
    void BeginVisualSection() { m_visual.Begin(Now()); }
    void EndVisualSection() { m_visual.End(Now(), m_frequency); }

    // The raw performance counter (overridable in tests through
    // SetCounterSource).
    uint64_t Now() const;
    void ResetGameSeconds() { m_gameSeconds = 0.0f; }
    void PrintResolution();
    void DrawStats(CE3DSurface* surface, int unused);

    // Tests drive the clock with a counter of their own.
    typedef uint64_t (*CounterFn)(void* ctx);
    void SetCounterSource(CounterFn fn, void* ctx, double frequency);

    // The game time at which the next tick falls due.
    uint64_t NextTickTime() const { return m_gameTime + m_tickPeriod; }
    // Real time minus next tick time, in seconds: how far the game lags.
    float Backlog() const;
    // The same, read under the clock's lock (the clock's advance may run on
    // another thread).
    float LockedBacklog();

    CSysCriticalSection m_lock;
    float m_tickStep = 0.0f;
    float m_frameTime = 0.0f;
    // Seconds the main loop waited between the last two frames: part of
    // m_frameTime, but no cost of the frame (the pace a machine reports
    // leaves it out).
    float m_waitBefore = 0.0f;
    float m_frameRate = 0.0f;
    int32_t m_afterFrameTime = 0;
    SClockSection m_game, m_frame, m_visual;
    float m_averageCost = 0.3f;
    float m_animPhase = 0.0f;
    float m_frequency = 0.0f;
    float m_lag = 0.0f;
    uint64_t m_gameTime = 1;
    uint64_t m_lastCounter = 0;
    uint64_t m_startCounter = 0;  // the counter when the clock started
    uint64_t m_lastFrameCounter = 0;
    uint64_t m_lastRawCounter = 0;
    uint64_t m_tickPeriod = 79545;
    uint64_t m_realTime = 0;
    uint64_t m_frameDelta = 0;
    uint8_t m_frozen = 0;
    float m_gameSeconds = 0.0f;
    float m_gameMilliseconds = 0.0f;
    float m_tickRate = 15.0f;
    float m_speedFactor = 0.0f;
    uint64_t m_clockTime = 0;
    uint8_t m_convert = 0;
    float m_convertFactor = 1.0f;
    uint64_t m_offset = 0;

    uint64_t m_stopwatchStart = 0;
    CStrBuf m_stopwatchName;

private:
    CounterFn m_counterFn = nullptr;
    void* m_counterCtx = nullptr;
    double m_counterFrequency = 0.0;
};

void Stopwatch_Start(const char* name);
void Stopwatch_Stop();
