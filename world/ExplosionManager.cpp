#include "core/Determinism.h"

#include "world/ExplosionManager.h"

CExplosionManager::CExplosionManager(CGameHost* game) : m_game(game) {}

CExplosionManager::~CExplosionManager() {}

void CExplosionManager::Restart() {
    m_focusX = m_focusZ = 0.0f;
    m_liveCount = 0;
    m_hover = 0;
    for (int i = 0; i < 3; ++i) {
        m_lightPos[i] = 0.0f;
        m_lightColour[i] = 0;
    }
}

void CExplosionManager::Update() {
    if (m_liveCount == 0)
        for (int& c : m_lightColour) c = 0;
}

void CExplosionManager::Draw() {
    // With no live explosion the light stays dark.
    if (m_liveCount == 0)
        for (int& c : m_lightColour) c = 0;
}
