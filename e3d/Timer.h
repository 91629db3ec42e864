// CE3DTimer: the engine's frame timer on the performance counter. It measures
// the real time between updates and the game-time step between updates; the
// counter runs at 1,193,182 counts per second, the unit of game time and of
// the content's durations.
#pragma once

#include <cstdint>

class CE3DEngine;

class CE3DTimer {
public:
    CE3DTimer();
    // With a game time (in counter units): the game step is the game time since
    // the last update; without one, the real time since then.
    void Update(const int64_t* gameTime);
    // The counter's value (the game seeds its random numbers with it).
    int64_t Elapsed() const;
    // The game time a render draws (units of the counter's rate): from then
    // on the effects and animations measure against it, so that they stand
    // while the game is paused and follow its speed.
    void SetDrawnTime(int64_t gameTime) {
        m_drawnTime = gameTime;
        m_drawnTimeSet = true;
    }

    uint32_t m_kind = 4;
    float m_frequency;
    int64_t m_stepStamp = 0;
    float m_gameStep = 0.0f;  // seconds between the last two updates
    int64_t m_baseCount = 0;
    int64_t m_frameStamp;
    float m_frameTime = 0.0f;    // real seconds between the last two updates
    bool m_stepStarted = false;  // the step stamp holds a real stamp
    int64_t m_drawnTime = 0;
    bool m_drawnTimeSet = false;  // a render gave its game time
};

// The count (game-time units of 1/1193182 second) that the engine's effects
// and animations measure against: the game time the last render drew, else
// the engine's timer, or the counter itself without an engine. A test installs its own clock (null: the timer
// again).
int64_t E3D_TimerNow(const CE3DEngine* engine);
void E3D_SetTimerClock(int64_t (*now)(void* user), void* user);
