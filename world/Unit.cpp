#include "core/Determinism.h"
// The lockstep guard comes first in every simulation source.
#include <algorithm>
#include <cstring>

#include "e3d/Beam.h"
#include "e3d/Emitter.h"
#include "e3d/VertexList.h"
#include "world/ExplosionManager.h"
#include "world/GameScene.h"
#include "world/PhysicsEngine.h"
#include "world/Player.h"
#include "world/SceneList.h"
#include "world/Unit.h"
#include "world/UnitWeapon.h"
#include "world/WaypointList.h"
#include "world/World.h"
#include "world/WorldGrid.h"

CUnit::CUnit(CGameScene* scene, CTessarakObjectTemplate* tmpl, CE3DFrame* parent, const float* position,
             uint8_t worldObject, CPlayer* owner, int32_t id)
    : CGridMember(scene, tmpl, parent, position, worldObject, nullptr, id) {
    m_classMask |= kClassUnit;
    SetOwner(owner);
    if (CWorld* world = World()) m_contactTime = world->Clock().GameTime();
    // The unit's own draws, after the object's two, in this order.
    int32_t stagger = scene->m_unitUpdateStagger > 0 ? scene->m_unitUpdateStagger : 20;
    m_scanCounter = static_cast<uint8_t>(m_random.Rand() % stagger);
    m_hoverAmplitude = m_random.RandFloat() * 0.25f;
    m_hoverPhase = m_random.RandFloat() * kTwoPi;
    if (m_random.Rand() & 1) m_motionFlags |= kM_Above;
    m_orbitDirection = m_random.Rand() % 10 >= 5 ? -1 : 1;
    m_word = static_cast<uint32_t>(m_random.Rand() % 20);
    // A new unit is switched on: bit 0x80 of its mode byte (MODE_ON, MODE_OFF)
    // over its flight level.
    m_mode |= 0x80;
    m_waypoints = new CWaypointList(WorldGrid());
    m_orderList = new COrderList(this);
    m_currentOrder = m_orderList;
    if (worldObject) {
        SceneList_PushFront<&CUnit::m_unitNext, &CUnit::m_unitPrev>(scene->m_units, &scene->m_unitCount,
                                                                    this);
        m_onUnitList = 1;
    }
    m_gridFlags = static_cast<uint8_t>((m_gridFlags & ~(kG_Moving | kG_Complete | kG_Blocked)) | kG_Avoiding);
    m_stateA |= kA_Selected;  // until CreateFromTemplate deselects it
}

CUnit::~CUnit() {
    delete m_warpEmitter;
    m_warpEmitter = nullptr;
    delete m_smokeEmitter.Get();
    delete m_harvestEmitter.Get();
    CUnit::Release();
    // What a record read after the release made (a released unit keeps no
    // orders; its list of points and its build counters come with every
    // record).
    delete m_orderList;
    m_orderList = nullptr;
    delete[] m_buildCounters;
    m_buildCounters = nullptr;
    if (m_waypoints) {
        m_waypoints->Clear();
        delete m_waypoints;
        m_waypoints = nullptr;
    }
    LeaveSceneUnitList();
}

void CUnit::LeaveSceneUnitList() {
    if (!m_onUnitList) return;
    SceneList_Unlink<&CUnit::m_unitNext, &CUnit::m_unitPrev>(m_gameScene->m_units, &m_gameScene->m_unitCount,
                                                             this);
    m_onUnitList = 0;
}

// ---- capabilities

SFirePoint::SFirePoint() = default;
SFirePoint::SFirePoint(SFirePoint&&) noexcept = default;
SFirePoint& SFirePoint::operator=(SFirePoint&&) noexcept = default;

SFirePoint::~SFirePoint() {
    // The bolt goes with the point, at the end of the tick (the render may
    // hold it until then).
    if (CE3DFrame* bolt = m_lightning ? m_lightning->Get() : nullptr) bolt->AddToUpdateList();
}

CE3DLightning* SFirePoint::Lightning() const {
    return m_lightning ? static_cast<CE3DLightning*>(m_lightning->Get()) : nullptr;
}

void SFirePoint::ShowBolt() {
    CE3DLightning* bolt = Lightning();
    if (!bolt || !m_object) return;
    m_object->UpdateMatrixUp();
    for (int i = 0; i < 3; ++i) {
        bolt->m_start[i] = m_object->m_world[3][i];
        bolt->m_end[i] = m_boltEnd[i];
    }
    bolt->Build();
    bolt->m_pendingVisibility = -1;
}

namespace {
// The look of the build beam: the material of the laser of the weapon
// template it is named after (its own, when it has no laser), else the
// effect system's wire lightning.
CE3DMaterial* BuildBeamMaterial(CGameScene* scene, CExplosionManager* effects) {
    const CTessarakObjectTemplate* w = scene->FindTemplate(CUnit::kBuildBeamWeapon);
    if (w && (w->m_classMask & kClassWeapon)) {
        const CTessarakObjectTemplate* laser = static_cast<const CUnitWeaponTemplate*>(w)->m_laserObject;
        if (laser && laser->m_lists && laser->m_lists->m_material) return laser->m_lists->m_material;
        if (w->m_lists && w->m_lists->m_material) return w->m_lists->m_material;
    }
    return effects->m_wireLightningMaterial;
}
}  // namespace

void CUnit::BuildFirePoints() {
    ClearFirePoints();
    CExplosionManager* effects = Explosions();
    CE3DFrame* root = m_gameScene->m_rootFrame;
    const bool bolts = effects && effects->m_viewEffects && root;
    CE3DMaterial* material = bolts ? BuildBeamMaterial(m_gameScene, effects) : nullptr;
    for (CTessarakObject* c = FirstChildObject(); c; c = c->NextSiblingObject())
        if (c->m_template && c->m_template->m_name.Equals("FirePoint")) {
            SFirePoint point;
            point.m_object = c;
            point.m_random.Seed(static_cast<uint32_t>(m_objectId) * 8u +
                                static_cast<uint32_t>(m_firePoints.size()));
            if (bolts) {
                CE3DLightning* bolt = new CE3DLightning(root, material);
                bolt->Seed(static_cast<uint32_t>(m_objectId) * 8u +
                           static_cast<uint32_t>(m_firePoints.size()));
                bolt->m_pendingVisibility = 1;
                point.m_lightning.reset(new CE3DFrameRef);
                point.m_lightning->Set(bolt);
            }
            m_firePoints.push_back(std::move(point));
        }
}

void CUnit::MakeBuildCounters() {
    delete[] m_buildCounters;
    m_buildCounters = nullptr;
    const CUnitTemplate* t = UnitTemplate();
    if ((m_unitState & kU_Builder) && t && (t->m_classMask & kClassUnit) && t->m_buildCount > 0)
        m_buildCounters = new int32_t[t->m_buildCount]();
}

void CUnit::ClearFirePoints() {
    m_firePoints.clear();
}

bool CUnit::CreateFromTemplate(CTessarakObjectTemplate* tmpl) {
    if (!CGridMember::CreateFromTemplate(tmpl)) return false;
    HandleMessage(kMsgDeselect, 0);
    if (!(tmpl->m_classMask & kClassUnit)) return true;
    CUnitTemplate* t = static_cast<CUnitTemplate*>(tmpl);
    auto setBit = [this](uint8_t bit, bool on) {
        m_unitState = on ? uint8_t(m_unitState | bit) : uint8_t(m_unitState & ~bit);
    };
    setBit(kU_Armed, t->m_weaponCount != 0);
    if (t->m_harvestType != 0) MakeHarvestEmitter(t);
    setBit(kU_Builder, t->m_canBuild != 0);
    MakeBuildCounters();
    // A factory that builds inside itself runs only build orders; the rest
    // of its queue waits (its rally point).
    if (t->m_buildMethod == CUnitTemplate::kBuildInternal) m_orderList->m_childMask = CUnitOrder::kProduce;
    setBit(kU_Radar, t->m_hasRadar != 0);
    setBit(kU_Docks, t->m_hasSpot != 0);
    setBit(kU_Warp, t->m_canWarp != 0);
    if (t->m_speed > 0.0f) {
        m_unitState |= kU_Mobile;
        m_maxSpeed = t->m_speed;
    } else {
        m_unitState &= ~kU_Mobile;
    }
    if (m_unitState & kU_Builder) BuildFirePoints();
    setBit(kU_Tow, t->m_canTow != 0);
    if (t->m_canTow) m_towByte |= 0x01;
    if (t->m_phasing) {
        m_gridFlags &= ~kG_Avoiding;
        m_gridFlags2 |= kG2_Phasing;
    }
    // A unit runs its update every tick: it is always on the active list,
    // whatever its template says (content need not mark its units).
    if (m_attachment) Activate();
    return true;
}

// ---- the harvest beam (the view's: no record, no random draw of the world)

void CUnit::MakeHarvestEmitter(const CUnitTemplate* t) {
    if (!t || t->m_harvestType == 0 || m_harvestEmitter.Get()) return;
    CExplosionManager* effects = Explosions();
    if (!effects || !effects->m_viewEffects || !effects->m_harvestTemplate) return;
    CE3DEmitter* emitter = CE3DEmitter::Create(this, effects->m_harvestTemplate);
    if (!emitter) return;
    m_harvestEmitter.Set(emitter);
    // On, but quiet until the harvest turns it up.
    emitter->SetEmitting(true);
    TurnDownHarvestEmitter();
}

void CUnit::TurnDownHarvestEmitter() {
    CE3DEmitter* emitter = static_cast<CE3DEmitter*>(m_harvestEmitter.Get());
    if (!emitter) return;
    emitter->SetRate(0.0f);
    emitter->SetSpreadRadius(0.1f);
}

void CUnit::AimHarvestEmitter(const float* at, float rate, float jitter, float growth) {
    CE3DEmitter* emitter = static_cast<CE3DEmitter*>(m_harvestEmitter.Get());
    if (!emitter || !at) return;
    emitter->SetRate(rate);
    emitter->SetJitter(jitter);
    emitter->SetGrowth(growth);
    // The emitter sits at the unit's origin and shoots along its own axis:
    // the way to the point in the unit's axes (the rows of its last world
    // matrix, scale included; the world's axes before it has one).
    float d[3];
    VectorSubtract(d, at, m_position);
    float local[3];
    bool axes = true;
    for (int i = 0; i < 3; ++i) {
        const float* axis = m_world[i];
        const float squared = axis[0] * axis[0] + axis[1] * axis[1] + axis[2] * axis[2];
        if (!(squared > 1e-12f)) axes = false;
        local[i] = axes ? (d[0] * axis[0] + d[1] * axis[1] + d[2] * axis[2]) / squared : 0.0f;
    }
    if (!axes) std::memcpy(local, d, sizeof local);
    const float length = Math_Sqrt(local[0] * local[0] + local[1] * local[1] + local[2] * local[2]);
    if (!(length > 1e-6f)) return;
    const float rise = std::min(std::max(local[1] / length, -1.0f), 1.0f);
    emitter->m_heading = Math_Atan2(local[0], local[2]);
    emitter->m_elevation = Math_Asin(rise);
}

uint32_t CUnit::GridTraits() const {
    uint32_t traits = kGridUnit;
    if (m_unitState & kU_Mobile) traits |= kGridMobile;
    if (m_unitState & kU_Builder) traits |= kGridBuilder;
    const CUnitTemplate* t = UnitTemplate();
    if (t && (t->m_classMask & kClassUnit)) {
        if (t->m_noTarget) traits |= kGridNoTarget;
        if (t->m_harvestDepot) traits |= kGridService;
    }
    if (IsComplete() && IsAlive()) traits |= kGridReady;
    if (m_gridFlags & kG_Moving) traits |= kGridOnWaypoints;
    if ((m_stateA & kA_Destroyed) || (CE3DFrame::m_flagsA & kFrameOnUpdateList)) traits |= kGridAside;
    return traits;
}

float CUnit::GridFootprintRadius() const {
    const CUnitTemplate* t = UnitTemplate();
    return t && (t->m_classMask & kClassUnit) && t->m_footprintRadius > 0.0f ? t->m_footprintRadius
                                                                             : m_objectRadius;
}

// ---- messages

void CUnit::HandleMessage(int message, intptr_t argument) {
    const bool selected = (m_stateA & kA_Selected) != 0;
    CGameScene* scene = m_gameScene;
    switch (message) {
        case kMsgGroupAssign: {
            int16_t group = static_cast<int16_t>(argument);
            if (selected)
                m_group = group;
            else if (m_group == group)
                m_group = 0;
            return;
        }
        case kMsgGroupSelect: {
            if (m_group == static_cast<int16_t>(argument))
                CGridMember::HandleMessage(kMsgSelect, 0);
            else if (!scene->CommandQueued())
                CGridMember::HandleMessage(kMsgDeselect, 0);
            return;
        }
        case kMsgGroupJoin: {
            if (!selected) return;
            const CUnitTemplate* t = UnitTemplate();
            if (t && (t->m_classMask & kClassUnit) && t->m_speed > 0.0f) m_maxSpeed = t->m_speed;
            if (m_group > 0 && m_group < CGameScene::kGroupLists)
                RemoveMembership(&scene->m_groupLists[m_group]);
            m_group = static_cast<int16_t>(argument);
            if (m_group > 0 && m_group < CGameScene::kGroupLists)
                AddMembership(&scene->m_groupLists[m_group]);
            return;
        }
        case kMsgAttack: {
            CTessarakObject* target = reinterpret_cast<CTessarakObject*>(argument);
            if (!selected || !target || !m_orderList) return;
            if (!scene->CommandQueued()) m_orderList->RemoveAll();
            CAttackOrder* attack = new CAttackOrder(m_orderList, nullptr, this, 0);
            attack->m_targetLink.Set(target);
            return;
        }
        case kMsgHelpBuild: {
            CTessarakObject* target = reinterpret_cast<CTessarakObject*>(argument);
            const CUnitTemplate* t = UnitTemplate();
            if (!selected || !target || !(m_unitState & kU_Builder) || !t || !m_orderList ||
                t->m_buildMethod != CUnitTemplate::kBuildExternal)
                return;
            CBuildOrder* help = new CBuildOrder(m_orderList, nullptr, this, 1);
            help->m_site.Set(target);
            return;
        }
        case kMsgGoToObject: {
            CTessarakObject* target = reinterpret_cast<CTessarakObject*>(argument);
            if (!selected || !target || !(m_unitState & kU_Mobile) || !m_orderList) return;
            if (!scene->CommandQueued()) m_orderList->RemoveAll();
            if (m_stateB & kB_LocalOwner) {
                CGoToObjectOrder* go = new CGoToObjectOrder(m_orderList, nullptr, this);
                go->m_targetLink.Set(target);
            }
            return;
        }
        default:
            CGridMember::HandleMessage(message, argument);
    }
}

void CUnit::OnDamage(float amount) {
    m_hitFlashTimer = 2.0f;
    // A selected unit's damage adds up; at a tenth of its power the panels
    // that show it are drawn again.
    if (!(m_stateA & kA_Selected)) return;
    m_selectedDamage += amount;
    const float power = m_template ? m_template->m_power : 0.0f;
    if (m_selectedDamage > power * 0.1f) {
        m_selectedDamage = 0.0f;
        if (CWorld* world = World()) world->View().RefreshSelection();
    }
}

// ---- the owner's lists: the scene's radar, anti-radar and detector lists

void CUnit::LeaveOwnerUnitLists(CPlayer*) {
    CGameScene* scene = m_gameScene;
    RemoveMembership(&scene->m_radarList);
    RemoveMembership(&scene->m_antiRadarList);
    RemoveMembership(&scene->m_thirdUnitList);
}

void CUnit::TakeCountedCostFrom(CPlayer* oldOwner) {
    const CUnitTemplate* t = UnitTemplate();
    if (!oldOwner || !(m_energyByte & 0x01) || !t || !(t->m_classMask & kClassUnit)) return;
    oldOwner->m_energyAccelerator -= t->m_energyAccelerator;
    m_energyByte &= ~0x01;
}

void CUnit::JoinOwnerUnitLists(CPlayer* newOwner) {
    const CUnitTemplate* t = UnitTemplate();
    if (!m_attachment || !newOwner || !t || !(t->m_classMask & kClassUnit)) return;
    CGameScene* scene = m_gameScene;
    LeaveOwnerUnitLists(m_owner);
    // The detectors that catch warping objects.
    if (t->m_antiWarp) AddMembership(&scene->m_thirdUnitList);
    if (newOwner->IsLocal()) {
        if (t->m_hasRadar || t->m_antiRadar) AddMembership(&scene->m_radarList);
    } else if (t->m_antiRadar) {
        AddMembership(&scene->m_antiRadarList);
    }
}

// ---- orders

void CUnit::AddMoveOrder(float x, float z, uint8_t force) {
    if (!m_orderList) return;  // released
    CMoveOrder* move = new CMoveOrder(m_orderList, nullptr, this, x, z, force);
    move->m_issuedHere = 1;
    uint32_t mask = m_orderList->m_childMask;
    if (mask && !(mask & CUnitOrder::kMove)) return;  // waits in the queue
    m_serviceFlags |= kS_AwaitingOrder;
    COrderList::SendOrder(move);
    move->m_sent = 1;
}

void CUnit::CancelBuildOrder(uint32_t orderId) {
    if (!m_orderList) return;
    for (CUnitOrder* o = m_orderList->LastChild(); o; o = o->Prev()) {
        if (!(o->m_type & CUnitOrder::kProduce) || o->m_orderId != orderId) continue;
        if (o == m_runningOrder)
            m_orderList->SendReset();
        else
            delete o;
        return;
    }
}

void CUnit::QueueMoveOrder(float x, float z, uint8_t force) {
    if (!m_orderList) return;
    CMoveOrder* move = new CMoveOrder(m_orderList, nullptr, this, x, z, force);
    move->m_issuedHere = 1;
}

void CUnit::CopyQueuedOrders(const CUnit* source) {
    if (!m_orderList || !source->m_orderList) return;
    const CUnitOrder* running = source->m_runningOrder;
    for (const CUnitOrder* o = source->m_orderList->LastChild(); o; o = o->Prev()) {
        if (o == running) continue;
        switch (o->m_type) {
            case CUnitOrder::kMove: {
                const CMoveOrder* m = static_cast<const CMoveOrder*>(o);
                new CMoveOrder(m_orderList, nullptr, this, m->m_target[0], m->m_target[2], m->m_force);
                break;
            }
            case CUnitOrder::kAttack: {
                const CAttackOrder* a = static_cast<const CAttackOrder*>(o);
                CAttackOrder* c = new CAttackOrder(m_orderList, nullptr, this, a->m_ground);
                if (a->m_ground)
                    std::memcpy(c->m_destination, a->m_destination, sizeof c->m_destination);
                else
                    c->m_targetLink.Set(a->m_targetLink.Get());
                break;
            }
            case CUnitOrder::kGuard:
            case CUnitOrder::kRepair:
            case CUnitOrder::kTow: {
                CTargetOrder* c =
                    static_cast<CTargetOrder*>(CUnitOrder::Create(o->m_type, m_orderList, nullptr, this));
                c->m_targetLink.Set(static_cast<const CTargetOrder*>(o)->m_targetLink.Get());
                break;
            }
            case CUnitOrder::kPatrol: {
                CUnitOrder* c = new CPatrolOrder(m_orderList, nullptr, this);
                c->m_destination[0] = o->m_destination[0];
                c->m_destination[2] = o->m_destination[2];
                break;
            }
            default:
                break;
        }
    }
}

// ---- relocation

void CUnit::Relocate(CUnit* source, float x, float z) {
    if (CPhysicsEngine* physics = Physics()) physics->ReleaseLinksTo(this);
    if (m_orderList) m_orderList->RemoveAll();
    if (source && source != this && (m_stateB & kB_LocalOwner)) CopyQueuedOrders(source);
    m_motionFlags |= kM_Arrived;
    CGridMember::Relocate(source, x, z);
}

// ---- other operations

bool CUnit::KeepsToGround() const {
    const CUnitTemplate* t = UnitTemplate();
    return (m_unitState & kU_Mobile) && !(t && t->m_flying);
}

float CUnit::RestHeight() const {
    return kGroundLevel + Math_Sin(m_hoverPhase) * m_hoverAmplitude;
}

CTessarakObject* CUnit::FindNearestDock() {
    if (!(m_unitState & kU_Docks)) return nullptr;
    CTessarakObjectTemplate* spots = m_gameScene->m_spotTemplate;
    if (!spots) return nullptr;
    CTessarakObject* best = nullptr;
    float bestD = 1e8f;
    for (CObjectMembership* m = spots->m_instances.GetHead(); m; m = m->GetNextInGroup()) {
        CTessarakObject* o = m->GetObject();
        if (!o || o == this) continue;
        float d = Distance2D(m_position[0], m_position[2], o->m_position[0], o->m_position[2]);
        if (d < bestD) {
            bestD = d;
            best = o;
        }
    }
    return best;
}

void CUnit::PlayWeaponSound(int32_t weapon) {
    const CUnitTemplate* t = UnitTemplate();
    if (!t || !(t->m_classMask & kClassUnit)) return;
    for (const SWeaponFireSound* w : t->m_weaponFireSounds)
        if (w->m_weapon == weapon) PlaySound(w->m_set, static_cast<int>(w->m_set.m_samples.size()));
}

void CUnit::ResetFirePointBeams() {
    if (m_firePoints.empty()) return;
    CTessarakObject* first = m_firePoints.front().m_object;
    if (!first || (first->CE3DFrame::m_flagsB & kFrameReleased)) return;
    for (SFirePoint& p : m_firePoints) {
        p.m_boltShown = 0;
        p.m_timer = -1.0f;
        if (CE3DLightning* bolt = p.Lightning()) bolt->m_pendingVisibility = 1;
    }
}

int CUnit::SightRadius() const {
    const CUnitTemplate* t = UnitTemplate();
    if (!t || !(t->m_classMask & kClassUnit)) return 0;
    int r = Math_RoundToInt(t->m_visibleRange);
    return std::min(r, CCellMap::kMaxSightRadius);
}

void CUnit::StampSight(int delta) {
    CWorldGrid* grid = WorldGrid();
    if (!grid || m_sightCell[0] == kNoSightCell) return;
    grid->m_cellMap.StampDisc(m_sightCell[0], m_sightCell[1], SightRadius(), delta);
}

// ---- release

void CUnit::Release() {
    if (IsReleased()) return;
    ResetFirePointBeams();
    if (CWorld* world = World()) {
        // The computer players sum up what the unit cost and made others
        // lose; the interface lets go of it when it was selected.
        IUnitWatcher* watcher = world->UnitWatcher();
        if (watcher && m_objectId >= 0 && !m_gameScene->m_emptying)
            watcher->FlushUnit(m_objectId, m_position[0], m_position[2], m_valueLost, m_valueDestroyed);
        if (m_deselectedOnRemoval) world->View().SelectionChanged();
    }
    CPlayer* owner = m_owner;
    const CUnitTemplate* t = UnitTemplate();
    const bool unitTemplate = t && (t->m_classMask & kClassUnit);
    if (owner && (m_energyByte & 0x01) && unitTemplate) {
        owner->m_energyAccelerator -= t->m_energyAccelerator;
        m_energyByte &= ~0x01;
    }
    if (m_serviceFlags & kS_SightStamped) {
        StampSight(-1);
        m_serviceFlags &= ~kS_SightStamped;
    }
    if (CTessarakObject* back = m_backLinked.Get())
        if (back->IsUnit()) static_cast<CUnit*>(back)->m_backLinked.Clear();
    for (CObjectLink& f : m_fence)
        if (CTessarakObject* post = f.Get())
            if (post->IsUnit()) static_cast<CUnit*>(post)->m_serviceFlags &= ~kS_FencePost;
    for (CObjectLink& b : m_fenceBeam)
        if (CTessarakObject* beam = b.Get()) beam->AddToUpdateList();
    // The path finder lets the unit go when it serves or queues it.
    if (WorldGrid() && m_objectId >= 0) WorldGrid()->ReleasePathRequest(m_objectId);
    m_updateByte = 0;
    m_runningOrder = nullptr;
    delete m_orderList;
    m_orderList = nullptr;
    m_currentOrder = nullptr;
    if (m_waypoints) {
        m_waypoints->Clear();
        delete m_waypoints;
        m_waypoints = nullptr;
    }
    delete[] m_buildCounters;
    m_buildCounters = nullptr;
    // The build-effect object goes with its builder, at the end of the tick
    // (deleting it here could delete an object that is itself being deleted:
    // a record may name any object, the unit itself included).
    if (CTessarakObject* effect = m_buildEffect.Get()) {
        m_buildEffect.Clear();
        if (effect != this && effect->m_rootObject != this) effect->AddToUpdateList();
    }
    ClearFirePoints();
    LeaveSceneUnitList();
    CGridMember::Release();
}

// ---- after a load

void CUnit::AfterLoad() {
    CGridMember::AfterLoad();
    if (m_orderList) m_orderList->VisitSubOrders();
    const CObjectIdTable& table = m_gameScene->m_idTable;
    m_blocking.Resolve(table);
    m_attackTarget.Resolve(table);
    m_threat.Resolve(table);
    m_backLinked.Resolve(table);
    m_link9.Resolve(table);
    m_dock.Resolve(table);
    for (CObjectLink& f : m_fence) f.Resolve(table);
    for (CObjectLink& b : m_fenceBeam) b.Resolve(table);
    m_buildEffect.Resolve(table);
    m_buildTarget.Resolve(table);
    m_blocker.Resolve(table);
    // Control groups are the player's own: the unit joins its group's list
    // again (the lists themselves are not saved).
    if (m_group > 0 && m_group < CGameScene::kGroupLists && !IsMemberOf(&m_gameScene->m_groupLists[m_group]))
        AddMembership(&m_gameScene->m_groupLists[m_group]);
}

void CUnit::MarkFinished() {
    const CGridMemberTemplate* t = dynamic_cast<const CGridMemberTemplate*>(m_template);
    float full = t ? t->m_buildTime : 0.0f;
    BuildValue() = full;
    ProgressValue() = full;
    m_gridFlags |= kG_Complete;
    SetVisibleFraction(1.0f);
}
