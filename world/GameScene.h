// The game scene: the one world object. It holds the objects of the running
// game, their templates and the state of a game's end; the logic tick runs
// CGameScene::Tick once per executed tick. Start-up creates it once the
// display is set up.
#pragma once

#include <cstdint>

#include "core/StrBuf.h"

class CGameHost;

class CGameScene {
public:
    explicit CGameScene(CGameHost* game);
    ~CGameScene();

    // Removes every object and resets the world for a new game.
    void Clear();
    // One logic tick of the world.
    void Tick();

    CGameHost* m_game;
    uint8_t WinGame = 0;
    uint8_t LooseGame = 0;
    uint8_t m_finished = 0;
    uint8_t m_watching = 0;
    uint8_t m_DevmapMode = 0;
    float m_endTimer = 0.0f;
    uint8_t m_ticked = 0;
    uint32_t m_frameCounter = 0;
    CStrBuf m_unitSource;  // "local" or empty: the root's Units folder
    int32_t m_objectCount = 0;
};
