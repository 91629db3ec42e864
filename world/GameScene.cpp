#include "core/Determinism.h"

#include "world/GameScene.h"

CGameScene::CGameScene(CGameHost* game) : m_game(game) {}

CGameScene::~CGameScene() {
    Clear();
}

void CGameScene::Clear() {
    WinGame = LooseGame = 0;
    m_finished = 0;
    m_watching = 0;
    m_endTimer = 0.0f;
    m_ticked = 0;
    m_frameCounter = 0;
    m_objectCount = 0;
}

void CGameScene::Tick() {
    ++m_frameCounter;
    m_ticked = 1;
}
