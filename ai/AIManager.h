// The computer-player manager: owns the computer players of a game and
// steps them once per executed logic tick, before the world's own tick.
#pragma once

class CGame;

class CAIManager {
public:
    explicit CAIManager(CGame* game);
    ~CAIManager();

    // One tick of every computer player while any is active.
    void Tick();

    CGame* m_game;
    int m_playerCount = 0;
    unsigned m_ticks = 0;
};
