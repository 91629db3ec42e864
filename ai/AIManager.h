// The computer-player manager: owns the computer players of a game and
// steps them once per executed logic tick, before the world's own tick.
#pragma once

class CNetGameHost;

class CAIManager {
public:
    explicit CAIManager(CNetGameHost* game);
    ~CAIManager();

    // One tick of every computer player while any is active.
    void Tick();

    CNetGameHost* m_game;
    int m_playerCount = 0;
    unsigned m_ticks = 0;
};
