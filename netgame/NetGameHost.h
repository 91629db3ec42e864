// What the network game asks of the game around it, beyond what the world
// asks (CGameHost): the game object implements it, the network game and the
// computer players (which sit above the network game) reach the game through
// it, and a test drives them with a host of its own.
#pragma once

#include "world/GameHost.h"

class CNetGameHost : public CGameHost {
public:
    // Writes the configuration scripts (a reset of the session does, unless
    // told not to).
    virtual void SaveConfigFiles() = 0;
    // Seconds the frame loop waits for a missing lockstep frame before it asks
    // the server; the reset value of the network game's frame countdown.
    virtual float FrameTimeout() = 0;
    // The game clock's speed factor (1.0 after a reset, 0 stops real time).
    virtual void SetGameSpeed(float factor) = 0;
    // The clock's frame rate and lag in seconds, for the statistics line.
    virtual float FrameRate() = 0;
    virtual float Lag() = 0;
};
