#include "core/Determinism.h"
// The lockstep guard comes first in every simulation source.
#include <algorithm>
#include <new>

#include "console/CommandTable.h"
#include "world/GameScene.h"
#include "world/GridMember.h"
#include "world/PhysicsEngine.h"
#include "world/Player.h"
#include "world/TessarakObject.h"
#include "world/Unit.h"
#include "world/World.h"

CPhysicsEngine::CPhysicsEngine(CWorld* world) : m_world(world) {}

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

void CPhysicsEngine::ReleaseForce(CTessarakObject* object, SForceRecord* r) {
    if (!r || r->m_object != object) return;
    if (r->m_prev)
        r->m_prev->m_next = r->m_next;
    else
        object->m_forces = r->m_next;
    if (r->m_next)
        r->m_next->m_prev = r->m_prev;
    else
        object->m_forcesTail = r->m_prev;
    r->m_object = nullptr;
    r->m_prev = nullptr;
    r->m_next = m_free;
    m_free = r;
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

// ---- sizes

float PhysicsEngine_Radius(const CTessarakObjectTemplate* tmpl) {
    return std::max(tmpl ? tmpl->m_collisionRadius : 1.0f, kMinRadius);
}

float PhysicsEngine_CrossSection(const CTessarakObjectTemplate* tmpl) {
    float r = PhysicsEngine_Radius(tmpl);
    return 3.1415927f * r * r;
}

float PhysicsEngine_Mass(const CTessarakObjectTemplate* tmpl) {
    float r = PhysicsEngine_Radius(tmpl);
    float density = tmpl ? tmpl->m_density : 1.0f;
    return std::max(2.3561945f * r * r * r * density, kMinMass);
}

// ---- the pressure wave

bool CPhysicsEngine::ApplyPressureWave(float x, float y, float z, float spreadingSpeed, float explosionMass,
                                       float damagePower, float damageRadius) {
    CGameScene* scene = m_world ? &m_world->Scene() : nullptr;
    if (!scene) return true;
    const float reach = spreadingSpeed * explosionMass;
    for (CTessarakObject* o = scene->m_allObjects; o; o = o->m_allNext) {
        float dir[3] = {o->m_position[0] - x, o->m_position[1] - y, o->m_position[2] - z};
        float d = Math_Sqrt(dir[0] * dir[0] + dir[1] * dir[1] + dir[2] * dir[2]);
        if (!((d > 0.015f && d < reach) || d < damageRadius)) continue;
        if (d == 0.0f) {
            // At the centre itself the wave goes along +z.
            dir[2] = 0.001f;
            d = 0.001f;
        }
        for (float& c : dir) c /= d;
        const CTessarakObjectTemplate* t = o->m_template;
        float m = Math_Sqrt(PhysicsEngine_CrossSection(t) / (4.0f * 3.1415927f * d * d) * damagePower *
                            explosionMass * explosionMass / PhysicsEngine_Mass(t));
        m = std::min(m, 1.5f);
        float impulse[3] = {dir[0] * m, dir[1] * m, dir[2] * m};
        float delay = spreadingSpeed > 0.0f ? d / spreadingSpeed : 0.0f;
        if (damageRadius > 0.0f && d < 0.8f * damageRadius) {
            float damage = (damageRadius - d) / damageRadius * damagePower;
            if (damage > 10.0f) {
                if (t && (t->m_classMask & kClassGridMember))
                    damage *= static_cast<const CGridMemberTemplate*>(t)->m_splashDamageModifier;
                AddForce(o, impulse, delay, damage);
                continue;
            }
        }
        if (m > 0.1f) AddForce(o, impulse, delay, 0.0f);
    }
    return true;
}

// ---- tow cables

namespace {
CTessarakObjectTemplate* CableTemplateOf(const CUnit* unit) {
    const CRace* race = nullptr;
    if (unit->m_template && unit->m_template->m_race)
        race = unit->m_template->m_race;
    else if (unit->m_owner)
        race = unit->m_owner->m_race;
    return race ? race->m_cableObject : nullptr;
}

CTessarakObject* MakeCable(CUnit* a, CUnit* b, float rest) {
    CTessarakObjectTemplate* t = CableTemplateOf(a);
    CGameScene* scene = a->m_gameScene;
    if (!t) return nullptr;
    const float at[3] = {a->m_position[0], 0.0f, a->m_position[2]};
    CTessarakObject* cable =
        scene->CreateObjectByClass(t, at, scene->DefaultOwner(), scene->m_idTable.NewId());
    if (!cable) return nullptr;
    cable->m_stateB |= CTessarakObject::kB_TowCable;
    cable->Activate();
    cable->m_stateB &= ~CTessarakObject::kB_MayRest;
    cable->m_cableA.Set(a);
    cable->m_cableB.Set(b);
    cable->m_cableRestLength = rest;
    ++Object_TowCount(a);
    ++Object_TowCount(b);
    return cable;
}
}  // namespace

CTessarakObject* CPhysicsEngine::AttachTowCable(CUnit* a, CUnit* b) {
    if (!a || !b) return nullptr;
    CTessarakObject* cable = MakeCable(a, b, a->m_objectRadius + b->m_objectRadius + m_touchMargin);
    if (!cable) return nullptr;
    TowCable_Update(cable);
    cable->UpdateMatrix();
    return cable;
}

bool CPhysicsEngine::TryAttachTowCable(CUnit* a, CUnit* b) {
    if (!a || !b) return false;
    float rest = a->m_objectRadius + b->m_objectRadius + m_touchMargin;
    float d = Distance3D(a->m_position[0], a->m_position[1], a->m_position[2], b->m_position[0],
                         b->m_position[1], b->m_position[2]);
    if (d > rest) return false;
    CTessarakObject* cable = MakeCable(a, b, rest);
    if (cable) cable->UpdateMatrix();
    return cable != nullptr;
}

bool CPhysicsEngine::ReleaseLinksTo(CUnit* unit) {
    CTessarakObjectTemplate* t = unit ? CableTemplateOf(unit) : nullptr;
    if (!t) return true;
    for (CObjectMembership* m = t->m_instances.GetHead(); m; m = m->GetNextInGroup()) {
        CTessarakObject* cable = m->GetObject();
        if (!cable) continue;
        for (CObjectLink* end : {&cable->m_cableA, &cable->m_cableB})
            if (end->Get() == unit) {
                Object_TowCount(unit) = 0;
                end->Clear();
            }
    }
    return true;
}

void CPhysicsEngine::RegisterSettings(CCommandInterpreter* ip) {
    const SCommandRow rows[] = {
        SCommandRow::Float("pe_SpringConstant", &m_springConstant, 0.001f, 1e32f,
                           "Sets the spring constant for tow cables", "pe_SpringConstant(float Constant);"),
        SCommandRow::Float("pe_MaxGridMemberMovement", &m_maxGridMemberMovement, 0.001f, 1e32f,
                           "Sets the max force movement of a gridmember",
                           "pe_MaxGridMemberMovement(float Movement);"),
        SCommandRow::Float("pe_MaxTowObjectMovement", &m_maxTowObjectMovement, 0.001f, 1e32f,
                           "Sets the max force movement of a gridmember",
                           "pe_MaxTowObjectMovement(float Movement);"),
    };
    CommandTable_Register(ip, rows);
}
