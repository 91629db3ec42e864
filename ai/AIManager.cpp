#include "core/Determinism.h"
// The lockstep guard comes first in every simulation source.
#include "ai/AIManager.h"

CAIManager::CAIManager(CNetGameHost* game) : m_game(game) {}

CAIManager::~CAIManager() {}

void CAIManager::Tick() {
    if (m_playerCount > 0) ++m_ticks;
}
