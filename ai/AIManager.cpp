#include "core/Determinism.h"
// The lockstep guard comes first in every simulation source.
#include "ai/AIManager.h"

CAIManager::CAIManager(CWorld* world) : m_world(world) {}

CAIManager::~CAIManager() {}

void CAIManager::Tick() {
    if (m_playerCount > 0) ++m_ticks;
}
