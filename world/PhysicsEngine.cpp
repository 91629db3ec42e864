#include "core/Determinism.h"
// The lockstep guard comes first in every simulation source.
#include <new>

#include "world/PhysicsEngine.h"
#include "world/TessarakObject.h"

CPhysicsEngine::CPhysicsEngine(CGameHost* game) : m_game(game) {}

CPhysicsEngine::~CPhysicsEngine() {
    ClearForces();
}

bool CPhysicsEngine::AddForce(CTessarakObject* object, const float impulse[3], float delay, float damage) {
    if (!m_free) {
        SForceRecord* block = new (std::nothrow) SForceRecord[kBlockSize];
        if (!block) return false;
        m_blocks.push_back(block);
        for (int i = kBlockSize - 1; i >= 0; --i) {
            block[i].m_next = m_free;
            m_free = &block[i];
        }
    }
    if (!(object->m_stateA & CTessarakObject::kA_Active)) object->m_stateB |= CTessarakObject::kB_MayRest;
    object->Activate();
    SForceRecord* r = m_free;
    m_free = r->m_next;
    r->m_object = object;
    r->m_delay = delay;
    r->m_damage = damage;
    for (int i = 0; i < 3; ++i) r->m_impulse[i] = impulse[i];
    r->m_next = nullptr;
    r->m_prev = object->m_forcesTail;
    if (object->m_forcesTail)
        object->m_forcesTail->m_next = r;
    else
        object->m_forces = r;
    object->m_forcesTail = r;
    return true;
}

void CPhysicsEngine::ReleaseForces(CTessarakObject* object) {
    while (SForceRecord* r = object->m_forces) {
        object->m_forces = r->m_next;
        r->m_object = nullptr;
        r->m_prev = nullptr;
        r->m_next = m_free;
        m_free = r;
    }
    object->m_forcesTail = nullptr;
}

void CPhysicsEngine::ReleaseAllForces() {
    for (SForceRecord* block : m_blocks)
        for (int i = 0; i < kBlockSize; ++i)
            if (CTessarakObject* o = block[i].m_object) ReleaseForces(o);
}

void CPhysicsEngine::ClearForces() {
    ReleaseAllForces();
    for (SForceRecord* block : m_blocks) delete[] block;
    m_blocks.clear();
    m_free = nullptr;
}

int32_t CPhysicsEngine::CountFree() const {
    int32_t n = 0;
    for (SForceRecord* r = m_free; r; r = r->m_next) ++n;
    return n;
}
