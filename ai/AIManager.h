// The computer-player manager: owns the computer players of a game and
// steps them once per executed logic tick, before the world's own turn. It
// runs on the host only: the players read the world through its query
// (CWorld::Query) and give orders through its order interface
// (CWorld::Commands), which travel to every machine as any player's do.
#pragma once

class CWorld;

class CAIManager {
public:
    explicit CAIManager(CWorld* world);
    ~CAIManager();

    // One tick of every computer player while any is active.
    void Tick();

    CWorld* m_world;
    int m_playerCount = 0;
    unsigned m_ticks = 0;
};
