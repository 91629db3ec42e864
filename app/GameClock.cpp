#include "app/GameClock.h"

#include <cmath>

#include "app/Game.h"
#include "app/GameConsole.h"
#include "netgame/NetGame.h"
#include "platform/sys/Clock.h"
#include "ui/Interface.h"

SClockSection::SClockSection() {
    for (float& s : samples) s = 0.1f;
}

void SClockSection::End(uint64_t now, float frequency) {
    float duration = frequency > 0.0f ? (float)(int64_t)(now - start) / frequency : 0.0f;
    last = duration;
    sum -= std::min(samples[index], 0.75f);
    sum += std::min(duration, 0.75f);
    samples[index] = duration;
    if (++index == 30) index = 0;
}

CGameClock::CGameClock() {}

CGameClock::~CGameClock() {}

void CGameClock::SetCounterSource(CounterFn fn, void* ctx, double frequency) {
    m_counterFn = fn;
    m_counterCtx = ctx;
    m_counterFrequency = frequency;
}

uint64_t CGameClock::Now() const {
    if (m_counterFn) return m_counterFn(m_counterCtx);
    return (uint64_t)Sys_QueryPerformanceCounter();
}

void CGameClock::Start() {
    m_frequency = (float)(m_counterFn ? m_counterFrequency : (double)Sys_QueryPerformanceFrequency());
    uint64_t now = Now();
    m_startCounter = now;
    m_lastCounter = now;
    m_clockTime = now;
    m_lastFrameCounter = now;
    for (SClockSection* s : {&m_game, &m_frame, &m_visual}) {
        s->start = now;
        s->last = 0.0f;
        s->index = 0;
    }
    m_tickStep = 0.0f;
    m_frameTime = 0.0f;
    m_afterFrameTime = 0;
    if (m_frequency == 1193182.0f) {
        m_convert = 0;
        m_convertFactor = 1.0f;
    } else {
        m_convert = 1;
        m_convertFactor = (float)(1193182.0 / m_frequency);
    }
    m_offset = 0;
}

void CGameClock::AdvanceGameTime(const float* /*step*/, bool tick, bool takeMutex, bool lockstepTick) {
    CGame* game = g_pGame;
    int32_t captureMode = game ? game->CaptureMode() : 0;

    uint64_t counter = Now();
    m_frameDelta =
        (uint64_t)(int64_t)((double)(int64_t)(counter - m_lastCounter) * m_convertFactor * m_speedFactor);
    m_lastCounter = counter;

    if (m_frozen) {
        if (tick && lockstepTick) {
            // The lockstep moves on under a stood clock: a whole tick of
            // game time, and no backlog builds behind it.
            bool locked = takeMutex && game;
            if (locked) game->GameTimeMutex().Wait();
            m_gameTime += m_tickPeriod;
            m_gameSeconds = (float)((double)m_gameTime * (1.0 / 1193182.0));
            m_gameMilliseconds = (float)((double)m_gameTime * (1000.0 / 1193182.0));
            if (locked) game->GameTimeMutex().Release();
        }
        m_realTime = m_gameTime;
        m_tickStep = 0.0f;
    } else {
        m_lock.Enter();
        m_realTime += m_frameDelta;
        m_lock.Leave();

        if (tick || captureMode == 2) {
            bool locked = takeMutex && game;
            if (locked) game->GameTimeMutex().Wait();
            m_tickStep = 1.0f / m_tickRate;
            if (captureMode == 2) {
                float rate = game->CaptureRate();
                m_gameTime += (uint64_t)(int64_t)((1.0f / rate) * 1193182.0f);
                m_lastCounter = m_gameTime;
                m_realTime = m_gameTime;
                m_tickStep = 1.0f / rate;
                m_tickPeriod = (uint64_t)(int64_t)(m_tickStep * 1193182.0f);
            } else {
                m_gameTime += m_tickPeriod;
            }
            m_gameSeconds = (float)((double)m_gameTime * (1.0 / 1193182.0));
            m_gameMilliseconds = (float)((double)m_gameTime * (1000.0 / 1193182.0));
            if (locked) game->GameTimeMutex().Release();
        }

        m_lock.Enter();
        m_lag = (float)((double)(int64_t)(m_realTime - m_gameTime) * (1.0 / 1193182.0));
        // A host that falls far behind drops the backlog instead of racing
        // through it; clients must follow the server's frames and keep theirs.
        // Behind counts in real seconds: a fast game builds up game seconds
        // of backlog in every frame, and runs them all.
        const float behind = m_lag / (m_speedFactor > 1.0f ? m_speedFactor : 1.0f);
        if (behind > 0.7f && game && game->NetGame() && game->NetGame()->m_hosting) m_realTime = m_gameTime;
        m_lock.Leave();
    }

    m_averageCost = (m_game.sum + m_frame.sum + m_visual.sum) * 0.033333335f;
    if (m_convert)
        m_clockTime = (uint64_t)(int64_t)((double)m_lastCounter * m_convertFactor) + m_offset;
    else
        m_clockTime = m_lastCounter + m_offset;
}

void CGameClock::UpdateFrameTime(int) {
    CGame* game = g_pGame;
    if (game && game->CaptureMode() == 2) {
        m_lastFrameCounter = m_gameTime;
        m_frameTime = m_tickStep;
        m_frameRate = game->CaptureRate();
        return;
    }
    uint64_t counter = Now();
    uint64_t counts = counter - m_lastFrameCounter;
    m_frameTime = m_frequency > 0.0f ? (float)(int64_t)counts / m_frequency : 0.0f;
    float animLength = (game && game->Interface()) ? (float)game->Interface()->m_animLength : 0.0f;
    float phase = m_animPhase + m_frameTime * 10.0f;
    m_animPhase = animLength > 0.0f ? std::fmod(phase, animLength) : phase;
    m_lastFrameCounter = counter;
    m_frameRate = m_frameTime > 0.0f ? 1.0f / m_frameTime : 0.0f;
}

float CGameClock::Backlog() const {
    return (float)((double)(int64_t)(m_realTime - NextTickTime()) * (1.0 / 1193182.0));
}

float CGameClock::LockedBacklog() {
    CSysScopedLock<CSysCriticalSection> hold(m_lock);
    return Backlog();
}

void CGameClock::PrintResolution() {
    Game_Printf("Timer resulotion %f MHz", (double)m_frequency * 0.000001);
}

void CGameClock::DrawStats(CE3DSurface* surface, int) {
    CStrBuf text;
    float game = m_game.last > 0.0f ? 1.0f / m_game.last : 0.0f;
    float visual = m_visual.last > 0.0f ? 1.0f / m_visual.last : 0.0f;
    text.Format("Total %4.0f Game %4.0f Visual %4.0f GameTime %-10.3f ", (double)m_frameRate, (double)game,
                (double)visual, (double)m_gameSeconds);
    Game_DrawSurfaceText(surface, text.GetText(), -300, 0, 0, 255, 0);
}

void Stopwatch_Start(const char* name) {
    CGameClock* clock = g_pGame ? g_pGame->Clock() : nullptr;
    if (!clock) return;
    clock->m_stopwatchName.Assign(name ? name : "");
    clock->m_stopwatchStart = clock->Now();
}

void Stopwatch_Stop() {
    CGameClock* clock = g_pGame ? g_pGame->Clock() : nullptr;
    if (!clock) return;
    int64_t counts = (int64_t)(clock->Now() - clock->m_stopwatchStart);
    double seconds = clock->m_frequency > 0.0f ? (double)counts / (double)clock->m_frequency : 0.0;
    // The micro sign is the console's code page byte, as every console text.
    Game_Printf("%s : %I64d (%lf s) (%lf ms) (%lf \xB5s)", clock->m_stopwatchName.GetText(), counts, seconds,
                seconds * 1000.0, seconds * 1000000.0);
}
