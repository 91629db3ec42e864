#include "core/Determinism.h"
// The lockstep guard comes first in every simulation source.
#include <algorithm>
#include <vector>

#include "e3d/Screen.h"
#include "e3d/VertexList.h"
#include "world/ExplosionManager.h"
#include "world/GameScene.h"
#include "world/GridMember.h"
#include "world/PhysicsEngine.h"
#include "world/Player.h"
#include "world/SceneList.h"
#include "world/TessarakObject.h"
#include "world/Unit.h"
#include "world/World.h"

CTessarakObject::CTessarakObject(CGameScene* scene, CTessarakObjectTemplate* tmpl, CE3DFrame* parent,
                                 const float* position, uint8_t worldObject, CPlayer* owner, int32_t id)
    : CGameNode(scene, tmpl, parent, worldObject), m_template(tmpl), m_objectId(id) {
    m_classMask |= kClassObject;
    if (position) SetPosition(position[0], position[1], position[2]);
    if (tmpl && scene->m_spotTemplate == tmpl) m_resourceSpot = new SResourceSpot;
    // An object without an id takes no part in the simulation, so its seed
    // only has to differ from its neighbours'.
    uint32_t seed = id == -1 ? scene->m_anonymousSeed++ : static_cast<uint32_t>(id) & 0x7FFF;
    if (id != -1) scene->m_idTable.Insert(this);
    m_random.Seed(seed);
    m_random.Rand();
    m_randomByte = static_cast<uint8_t>(m_random.Rand());
    if (owner) SetOwner(owner);
    if (tmpl) {
        m_objectRadius = tmpl->m_collisionRadius;
        m_footprintHalfSize = tmpl->m_footprintHalfSize;
        AddMembership(&tmpl->m_instances);
    }
    if (worldObject) {
        SceneList_PushFront<&CTessarakObject::m_allNext, &CTessarakObject::m_allPrev>(
            scene->m_allObjects, &scene->m_objectCount, this);
        m_inWorldList = 1;
    }
}

CTessarakObject::~CTessarakObject() {
    ReleaseOwnParts();
    LeaveWorldList();
}

void CTessarakObject::LeaveWorldList() {
    if (!m_inWorldList) return;
    SceneList_Unlink<&CTessarakObject::m_allNext, &CTessarakObject::m_allPrev>(
        m_gameScene->m_allObjects, &m_gameScene->m_objectCount, this);
    m_inWorldList = 0;
}

void CTessarakObject::ReleaseOwnParts() {
    CE3DFrame::m_flagsB |= kFrameReleased;
    CObjectIdTable::Unhook(this);
    m_name.Clear();
    if (m_forces && Physics()) Physics()->ReleaseForces(this);
    while (m_memberships) delete m_memberships;
    delete m_resourceSpot;
    m_resourceSpot = nullptr;
    Deactivate();
    while (CObjectLink* l = m_referrers) {
        m_referrers = l->m_next;
        l->m_target = nullptr;
        l->m_next = l->m_prev = nullptr;
    }
    // Its own links leave their targets' lists.
    m_link1.Clear();
    m_throwerLink.Clear();
    m_aimedLink.Clear();
    m_homingLink.Clear();
    m_cableA.Clear();
    m_cableB.Clear();
}

void CTessarakObject::Release() {
    if (m_stateB & kB_Released) return;
    m_stateB |= kB_Released;
    ReleaseOwnParts();
    for (CTessarakObject* c = FirstChildObject(); c; c = c->NextSiblingObject()) c->Release();
}

// ---- the tree

CTessarakObject* CTessarakObject::FirstChildObject() const {
    for (CE3DFrame* f = m_firstChild; f; f = f->m_siblingNext)
        if (CTessarakObject* o = AsObject(f)) return o;
    return nullptr;
}

CTessarakObject* CTessarakObject::NextSiblingObject() const {
    for (CE3DFrame* f = m_siblingNext; f; f = f->m_siblingNext)
        if (CTessarakObject* o = AsObject(f)) return o;
    return nullptr;
}

int32_t CTessarakObject::CountChildObjects() const {
    int32_t n = 0;
    for (CTessarakObject* c = FirstChildObject(); c; c = c->NextSiblingObject()) ++n;
    return n;
}

void CTessarakObject::SortChildren() {
    std::vector<CE3DFrame*> kids;
    for (CE3DFrame* f = m_firstChild; f; f = f->m_siblingNext) kids.push_back(f);
    if (kids.size() < 2) return;
    auto objectsFirst =
        std::stable_partition(kids.begin(), kids.end(), [](CE3DFrame* f) { return AsObject(f) != nullptr; });
    std::stable_sort(kids.begin(), objectsFirst, [](CE3DFrame* a, CE3DFrame* b) {
        return AsObject(a)->m_objectId < AsObject(b)->m_objectId;
    });
    CE3DFrame* prev = nullptr;
    for (CE3DFrame* f : kids) {
        f->m_siblingPrev = prev;
        f->m_siblingNext = nullptr;
        if (prev)
            prev->m_siblingNext = f;
        else
            m_firstChild = f;
        prev = f;
    }
}

void CTessarakObject::DeleteChildObjects() {
    while (CTessarakObject* c = FirstChildObject()) delete c;
}

// ---- ownership

void CTessarakObject::SetOwner(CPlayer* player) {
    if (!player) return;
    CGameScene* scene = m_gameScene;
    CPlayer* old = m_owner;
    if (old && old != player) TakeCountedCostFrom(old);
    if (m_attachment && old) {
        // The memberships of the old owner's lists move to the new owner's.
        CObjectGroup* oldTemplateGroup = m_template ? m_template->GetPlayerData(old) : nullptr;
        CObjectGroup* newTemplateGroup = m_template ? m_template->GetPlayerData(player) : nullptr;
        for (CObjectMembership *m = m_memberships, *next; m; m = next) {
            next = m->GetNextOfObject();
            CObjectGroup* g = m->GetGroup();
            if (g >= old->m_categories && g < old->m_categories + CPlayer::kCategoryCount)
                m->Join(&player->m_categories[g - old->m_categories]);
            else if (g == &scene->m_radarList)
                delete m;
            else if (g && g == oldTemplateGroup)
                m->Join(newTemplateGroup);
        }
        if (IsUnit()) LeaveOwnerUnitLists(old);
    } else if (m_attachment) {
        JoinOwnerCategories(player);
        if (m_template)
            if (CObjectGroup* g = m_template->GetPlayerData(player)) AddMembership(g);
    }
    if (IsUnit()) JoinOwnerUnitLists(player);
    m_owner = player;
    CPlayerList* players = player->m_list;
    if (player->IsLocal() || players->m_revealAll)
        m_stateB |= kB_LocalOwner;
    else
        m_stateB &= ~kB_LocalOwner;
    for (CTessarakObject* c = FirstChildObject(); c; c = c->NextSiblingObject()) c->SetOwner(player);
    if (!player->IsNeutral())
        SetColor(player->m_colour[0] * (1.0f / 255.0f), player->m_colour[1] * (1.0f / 255.0f),
                 player->m_colour[2] * (1.0f / 255.0f));
}

void CTessarakObject::JoinOwnerCategories(CPlayer* newOwner) {
    AddMembership(&newOwner->m_categories[CPlayer::kCategoryAll]);
}

void CTessarakObject::LeaveOwnerUnitLists(CPlayer*) {}
void CTessarakObject::JoinOwnerUnitLists(CPlayer*) {}

void CTessarakObject::ForgetOwner() {
    if (m_owner) {
        CObjectGroup* templateGroup = m_template ? m_template->GetPlayerData(m_owner) : nullptr;
        for (CObjectMembership *m = m_memberships, *next; m; m = next) {
            next = m->GetNextOfObject();
            CObjectGroup* g = m->GetGroup();
            if ((g >= m_owner->m_categories && g < m_owner->m_categories + CPlayer::kCategoryCount) ||
                (g && g == templateGroup))
                delete m;
        }
    }
    m_owner = nullptr;
    for (CTessarakObject* c = FirstChildObject(); c; c = c->NextSiblingObject()) c->ForgetOwner();
}

// ---- activity

void CTessarakObject::Activate() {
    if (m_stateA & kA_Active) return;
    m_gameScene->LinkActive(this);
    m_stateA |= kA_Active;
}

void CTessarakObject::Deactivate() {
    if (!(m_stateA & kA_Active)) return;
    m_gameScene->UnlinkActive(this);
    m_stateA &= ~kA_Active;
}

void CTessarakObject::RemoveFromGrid() {
    if (m_stateA & kA_Selected) m_deselectedOnRemoval = 1;
    if (CE3DFrame::m_flagsA & kFrameOnUpdateList) return;
    AddToUpdateList();
    if (IsGridMember()) static_cast<CGridMember*>(this)->UnlinkFromLayers();
}

void CTessarakObject::SetName(const char* text) {
    if (text)
        m_name = text;
    else
        m_name.Clear();
}

void CTessarakObject::AddMembership(CObjectGroup* group) {
    new CObjectMembership(this, group);
}

void CTessarakObject::RemoveMembership(CObjectGroup* group) {
    for (CObjectMembership* m = m_memberships; m; m = m->GetNextOfObject())
        if (m->GetGroup() == group) {
            delete m;
            return;
        }
}

bool CTessarakObject::IsMemberOf(const CObjectGroup* group) const {
    for (CObjectMembership* m = m_memberships; m; m = m->GetNextOfObject())
        if (m->GetGroup() == group) return true;
    return false;
}

// ---- messages and effects

void CTessarakObject::HandleMessage(int message, intptr_t) {
    bool select = message == kMsgSelect;
    if (message != kMsgDeselect && !select) return;
    if (select == ((m_stateA & kA_Selected) != 0)) return;
    // The selection ring: the children made from a template named "Selection".
    for (CTessarakObject* c = FirstChildObject(); c; c = c->NextSiblingObject())
        if (c->m_template && c->m_template->m_name.Equals("Selection"))
            c->m_pendingVisibility = select ? -1 : 1;
    if (select)
        m_stateA |= kA_Selected;
    else
        m_stateA &= ~kA_Selected;
}

void CTessarakObject::AfterLoad() {
    HandleMessage(kMsgDeselect, 0);
    Invalidate();
    if (m_stateA & kA_Active) {
        // To the head of the active list, as a newly active object.
        Deactivate();
        Activate();
    }
    SortChildren();
    if (m_attachment && m_owner) SetOwner(m_owner);
    const CObjectIdTable& table = m_gameScene->m_idTable;
    m_link1.Resolve(table);
    m_throwerLink.Resolve(table);
    m_aimedLink.Resolve(table);
    m_homingLink.Resolve(table);
    m_cableA.Resolve(table);
    m_cableB.Resolve(table);
    for (CTessarakObject* c = FirstChildObject(); c; c = c->NextSiblingObject()) c->AfterLoad();
}

namespace {
// What a hit of amount is worth against an object of the template: the
// share of its power it takes, times the template's expense.
float DamageValue(const CTessarakObjectTemplate* tmpl, float amount) {
    if (!tmpl || !(tmpl->m_classMask & kClassGridMember) || amount <= 0.0f) return 0.0f;
    const float power = tmpl->m_power;
    return power > 0.0f ? amount / power * static_cast<const CGridMemberTemplate*>(tmpl)->m_expense : 0.0f;
}
}  // namespace

void CTessarakObject::ApplyDamage(CTessarakObject* attacker, float amount, bool forced) {
    if (m_stateA & kA_Selected) m_deselectedOnRemoval = 1;
    if (IsMarked()) return;
    m_power -= amount;
    if (m_power >= 1.0f && !forced) {
        if (amount > 1.0f) NoticeAttack();
    } else {
        if (m_stateA & kA_Selected) m_deselectedOnRemoval = 1;
        // What a destruction tells happens once: further hits on an object
        // already going count no kill and make no second notice.
        if (!(m_stateA & kA_Destroyed)) {
            if (Explosions()) Explosions()->ExplodeObject(this);
            NoticeLoss(attacker);
        }
        // What a factory was making inside itself (held apart from the world
        // until it is led out) goes with it.
        if (IsUnit())
            if (CTessarakObject* inside = static_cast<CUnit*>(this)->m_buildTarget.Get())
                if (inside->IsUnit() && (static_cast<CUnit*>(inside)->m_gridFlags & CUnit::kG_Blocked))
                    inside->RemoveFromGrid();
    }
    OnDamage(amount);
    // A hit by an attacker: the victim remembers who it was; a unit's loss
    // and the attacking unit's gain are each measured against its own
    // template (what the computer players' danger maps take in).
    if (attacker && IsGridMember()) {
        CGridMember* victim = static_cast<CGridMember*>(this);
        victim->m_lastAttacker.Set(attacker);
        if (IsUnit()) victim->m_valueLost += DamageValue(m_template, amount);
        if (attacker->IsUnit())
            static_cast<CGridMember*>(attacker)->m_valueDestroyed +=
                DamageValue(attacker->m_template, amount);
    }
}

void CTessarakObject::SetMeshFlag(bool CE3DMesh::*flag) {
    this->*flag = true;
    for (CTessarakObject* c = FirstChildObject(); c; c = c->NextSiblingObject()) c->SetMeshFlag(flag);
}

namespace {
// A race's key building: the one it names, else its start unit (its
// headquarters).
const CTessarakObjectTemplate* KeyTemplateOf(const CRace* race) {
    if (!race) return nullptr;
    return race->m_keyTemplate ? race->m_keyTemplate : race->m_startUnit;
}
}  // namespace

// The owner's notices of an attack, each kind at most once in the sound
// engine's notice delay. The notices are the local player's: it keeps the
// next time of every kind (also of an attack on another player's unit, which
// it is told about in its own time), and they reach only the view, so
// nothing of them feeds back into the simulation.
void CTessarakObject::NoticeAttack() {
    CWorld* world = World();
    CPlayer* owner = m_owner;
    CPlayer* local = m_gameScene->LocalPlayer();
    if (!world || !owner || !local) return;
    const CUnit* unit = IsUnit() ? static_cast<const CUnit*>(this) : nullptr;
    const CUnitTemplate* ut = unit ? unit->UnitTemplate() : nullptr;
    const bool own = owner == local;
    int code = 0, kind = 0;
    if (own && ut && ut->m_harvestType != 0) {
        code = kEventHarvesterUnderAttack;
        kind = 0;
    } else if (own && m_template && m_template == KeyTemplateOf(owner->m_race)) {
        code = kEventCentralUnderAttack;
        kind = 1;
    } else if (own && unit && (unit->m_unitState & CUnit::kU_Mobile)) {
        code = kEventUnitUnderAttack;
        kind = 2;
    } else if (unit) {
        code = kEventBaseUnderAttack;
        kind = own ? 3 : 4;
    } else {
        return;
    }
    const uint64_t now = world->Clock().GameTime();
    // Every kind's next time is the local player's: the notices are its.
    uint64_t& next = local->m_timers[kind];
    if (now <= next && next != 0) return;
    const int32_t delay = world->Sound().NoticeDelay();
    next = now + static_cast<uint64_t>(delay > 0 ? delay : 0) * 1193182u;
    world->View().PostEventMessage(code, owner->m_ownerId, m_position[0], m_position[2],
                                   m_template ? m_template->DisplayName() : "");
}

void CTessarakObject::NoticeLoss(CTessarakObject* attacker) {
    CWorld* world = World();
    CPlayer* owner = m_owner;
    if (world && owner && owner == m_gameScene->LocalPlayer() && m_template &&
        m_template == KeyTemplateOf(owner->m_race))
        world->View().PostEventMessage(kEventCentralDestroyed, owner->m_ownerId, m_position[0], m_position[2],
                                       m_template->DisplayName());
    // A unit destroyed by an attacker counts for the attacker's owner and
    // that player's team.
    if (attacker && attacker->m_owner && IsUnit()) {
        ++attacker->m_owner->m_kills;
        if (CTeam* team = attacker->m_owner->m_team) ++team->m_kills;
        // The statistics' "destroyed": the value (cost) of what an enemy
        // lost to the player.
        const CGridMemberTemplate* t = dynamic_cast<const CGridMemberTemplate*>(m_template);
        if (t && owner && owner != attacker->m_owner && !owner->IsAlliedWith(attacker->m_owner)) {
            attacker->m_owner->m_scoreValue += t->m_expense;
            if (CTeam* team = attacker->m_owner->m_team) team->m_scoreValue += t->m_expense;
        }
    }
}

void CTessarakObject::PlaySound(const SSoundSet& set, int count) {
    PlaySoundAt(set, count, m_position[0], m_position[2]);
}

void CTessarakObject::PlaySoundAt(const SSoundSet& set, int count, float x, float z) {
    CWorld* world = World();
    if (!world || count <= 0 || set.m_samples.empty()) return;
    IWorldSound& sound = world->Sound();
    count = std::min<int>(count, static_cast<int>(set.m_samples.size()));
    SWorldSample* sample = nullptr;
    for (int tries = 0; tries < 15 && !sample; ++tries)
        sample = set.m_samples[static_cast<int>(Random01() * static_cast<float>(count)) % count];
    if (!sample || (CE3DFrame::m_flagsA & kFrameHidden) || (m_stateA & kA_Silent)) return;
    float lx = 0.0f, lz = 0.0f;
    sound.ListeningPoint(&lx, &lz);
    float d = Distance2D(lx, lz, x, z);
    if (d >= 40.0f) return;
    d = std::max(d, 0.1f);
    sound.PlaySample(sample, Math_RoundToInt((40.0f - d) * 0.025f * 80.0f));
}

void CTessarakObject::Shatter(float amount, int32_t count, bool flag) {
    CE3DMesh::Shatter(amount, static_cast<float>(count), flag);
    m_stateC |= kC_Shattered;
    if (flag)
        m_stateC |= kC_ShatterFlag;
    else
        m_stateC &= ~kC_ShatterFlag;
    m_shatterAmount = amount;
    m_shatterCount = count;
}

void CTessarakObject::Jitter(float amount) {
    CE3DMesh::Jitter(amount);
    m_stateC |= kC_Jittered;
}

void CTessarakObject::SetMaterial(uint16_t projectId, uint32_t materialId) {
    m_stateC |= kC_Material;
    m_materialProjectId = projectId;
    m_materialId = materialId;
    // Every vertex list of the mesh takes the material (the screen's default
    // when it has none of that pair).
    if (CE3DMaterial* material = m_screen ? m_screen->FindMaterial(projectId, materialId) : nullptr)
        for (CE3DVertexList* l = m_lists; l; l = l->m_next) {
            if (l->m_ownsMaterial) continue;
            l->m_material = material;
            l->m_materialProject = projectId;
            l->m_materialId = materialId;
        }
    for (CTessarakObject* c = FirstChildObject(); c; c = c->NextSiblingObject())
        c->SetMaterial(projectId, materialId);
}

void CTessarakObject::ApplyDestructionLook() {
    if (m_template && m_template->m_disableOnDestruction) m_pendingVisibility = 1;
    if (m_template && m_template->m_disableAnimationOnDestruction) m_animating = false;
    for (CTessarakObject* c = FirstChildObject(); c; c = c->NextSiblingObject()) c->ApplyDestructionLook();
}

void CTessarakObject::SteerTowards(float x, float y, float z) {
    if (m_steeringTimer < 0.2f) {
        // The timer is simulated state (it is in the sync image): it runs on
        // the tick's time, never on the frame's, so every machine steers on
        // the same tick.
        if (CWorld* world = World()) m_steeringTimer += world->Clock().TickStep();
        return;
    }
    float d[3] = {x - m_position[0], y - m_position[1], z - m_position[2]};
    float len = Math_Sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    if (len <= 0.0f) return;
    for (int i = 0; i < 3; ++i) m_velocity[i] = d[i] / len * m_homingStrength;
}
