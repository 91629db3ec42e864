#include "e3d/Timer.h"

#include "e3d/Engine.h"
#include "platform/sys/Clock.h"

namespace {
int64_t (*g_clock)(void*) = nullptr;
void* g_clockUser = nullptr;
}  // namespace

CE3DTimer::CE3DTimer()
    : m_frequency(float(Sys_QueryPerformanceFrequency())), m_frameStamp(Sys_QueryPerformanceCounter()) {}

void CE3DTimer::Update(const int64_t* gameTime) {
    int64_t now = Sys_QueryPerformanceCounter();
    m_frameTime = float(now - m_frameStamp) / m_frequency;
    m_frameStamp = now;
    int64_t stamp = gameTime ? *gameTime : now;
    // The first update only starts the step: counting from 0 would report the
    // whole game time (or the whole uptime) as one enormous step.
    if (!m_stepStarted) {
        m_stepStarted = true;
        m_stepStamp = stamp;
    }
    if (gameTime)
        m_gameStep = float(stamp - m_stepStamp) * 8.380951e-7f;
    else
        m_gameStep = float(stamp - m_stepStamp) / m_frequency;
    m_stepStamp = stamp;
}

int64_t CE3DTimer::Elapsed() const {
    return Sys_QueryPerformanceCounter() - m_baseCount;
}

void E3D_SetTimerClock(int64_t (*now)(void*), void* user) {
    g_clock = now;
    g_clockUser = user;
}

int64_t E3D_TimerNow(const CE3DEngine* engine) {
    if (g_clock) return g_clock(g_clockUser);
    if (engine && engine->m_timer && engine->m_timer->m_drawnTimeSet) return engine->m_timer->m_drawnTime;
    if (engine && engine->m_timer) return engine->m_timer->Elapsed();
    return Sys_QueryPerformanceCounter();
}
