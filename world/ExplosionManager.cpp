#include "core/Determinism.h"
// The lockstep guard comes first in every simulation source.
#include <cstring>

#include "world/ExplosionManager.h"
#include "world/GameHost.h"
#include "world/TessarakObject.h"

CExplosionType::CExplosionType(CExplosionManager* manager, const char* name)
    : m_manager(manager), m_name(name) {
    m_next = manager->m_types;
    if (m_next) m_next->m_prev = this;
    manager->m_types = this;
}

CExplosionType::~CExplosionType() {
    if (m_prev)
        m_prev->m_next = m_next;
    else
        m_manager->m_types = m_next;
    if (m_next) m_next->m_prev = m_prev;
}

CExplosionManager::CExplosionManager(CGameHost* game) : m_game(game) {}

CExplosionManager::~CExplosionManager() {
    Load();
    for (SoundSample*& s : m_warpSounds) {
        if (s && GameHost()) GameHost()->FreeSample(s);
        s = nullptr;
    }
}

CExplosionType* CExplosionManager::FindType(const char* name) const {
    if (!name) return nullptr;
    for (CExplosionType* t = m_types; t; t = t->m_next)
        if (std::strncmp(t->m_name.GetText(), name, 256) == 0) return t;
    return nullptr;
}

void CExplosionManager::Load() {
    while (m_types) delete m_types;
}

void CExplosionManager::ExplodeObject(CTessarakObject* object) {
    object->RemoveFromGrid();
    object->m_stateA |= CTessarakObject::kA_Destroyed;
}

void CExplosionManager::ShowLaserBeam(CUnitWeapon*, CTessarakObjectTemplate*, float, int32_t, const float*,
                                      const float*) {
    // The engine's beam frames come with the particle emitters and beams of
    // the engine; until then a laser shot deals its damage unseen.
}

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
