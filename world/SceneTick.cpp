#include "core/Determinism.h"
// The lockstep guard comes first in every simulation source.
//
// The world's one step per logic tick. Every machine of a network game runs
// the same messages and then this same step, so its order is part of the
// lockstep contract: the players' pre-pass, every active object in the
// active list's order (its class step, then its motion), the economy pass,
// the resource spots, and last the deletion of what left play.
#include <algorithm>
#include <vector>

#include "core/CRC32.h"
#include "e3d/Frame.h"
#include "world/ExplosionManager.h"
#include "world/GameScene.h"
#include "world/GridMember.h"
#include "world/Player.h"
#include "world/StateArchive.h"
#include "world/TessarakObject.h"
#include "world/Unit.h"
#include "world/UnitWeapon.h"
#include "world/WaypointList.h"
#include "world/World.h"
#include "world/WorldGrid.h"

namespace {

// The active list's order: descending ids, objects without an id last.
bool ActiveBefore(const CTessarakObject* a, const CTessarakObject* b) {
    if (a->m_objectId < 0) return false;
    if (b->m_objectId < 0) return true;
    return a->m_objectId > b->m_objectId;
}

}  // namespace

// ---- the active list

void CGameScene::LinkActive(CTessarakObject* object) {
    CTessarakObject* before = nullptr;  // the object it goes after
    if (object->m_objectId < 0) {
        before = m_activeTail;
    } else {
        for (CTessarakObject* o = m_activeObjects; o && ActiveBefore(o, object); o = o->m_sceneActiveNext)
            before = o;
    }
    object->m_sceneActivePrev = before;
    object->m_sceneActiveNext = before ? before->m_sceneActiveNext : m_activeObjects;
    if (before)
        before->m_sceneActiveNext = object;
    else
        m_activeObjects = object;
    if (object->m_sceneActiveNext)
        object->m_sceneActiveNext->m_sceneActivePrev = object;
    else
        m_activeTail = object;
}

void CGameScene::UnlinkActive(CTessarakObject* object) {
    if (m_tickNext == object) m_tickNext = object->m_sceneActiveNext;
    if (object->m_sceneActivePrev)
        object->m_sceneActivePrev->m_sceneActiveNext = object->m_sceneActiveNext;
    else
        m_activeObjects = object->m_sceneActiveNext;
    if (object->m_sceneActiveNext)
        object->m_sceneActiveNext->m_sceneActivePrev = object->m_sceneActivePrev;
    else
        m_activeTail = object->m_sceneActivePrev;
    object->m_sceneActiveNext = object->m_sceneActivePrev = nullptr;
}

// ---- the sync CRC of the world

uint32_t CGameScene::ComputeSyncCRC() {
    std::vector<CTessarakObject*> objects;
    objects.reserve(static_cast<size_t>(std::max(m_objectCount, 0)));
    for (CTessarakObject* o = m_allObjects; o; o = o->m_allNext)
        if (o->m_objectId >= 0) objects.push_back(o);
    std::sort(objects.begin(), objects.end(), [](const CTessarakObject* a, const CTessarakObject* b) {
        return a->m_objectId < b->m_objectId;
    });
    uint32_t crc = 0;
    CStateArchive& image = m_syncImage;
    for (CTessarakObject* o : objects) {
        image.Reset();
        o->WriteSyncState(image);
        crc = CRC32_Compute(image.GetData(), image.GetSize(), crc);
    }
    return crc;
}

// ---- radar cover

bool CGameScene::FindUnitCovering(float x, float z) const {
    auto reach = [](const CTessarakObject* o) {
        const CUnitTemplate* t = static_cast<const CUnit*>(o)->UnitTemplate();
        float ratio = o->m_owner ? o->m_owner->m_energyRatio : 1.0f;
        return t && (t->m_classMask & kClassUnit) ? t->m_radarRange * ratio : 0.0f;
    };
    auto counts = [](const CTessarakObject* o) {
        if (!o->IsUnit()) return false;
        const CUnit* u = static_cast<const CUnit*>(o);
        return u->IsComplete() && u->IsAlive();
    };
    for (CObjectMembership* m = m_antiRadarList.GetHead(); m; m = m->GetNextInGroup()) {
        const CTessarakObject* o = m->GetObject();
        if (o && counts(o) && Distance2D(x, z, o->m_position[0], o->m_position[2]) < reach(o)) return false;
    }
    for (CObjectMembership* m = m_radarList.GetHead(); m; m = m->GetNextInGroup()) {
        const CTessarakObject* o = m->GetObject();
        if (!o || !counts(o)) continue;
        const CUnitTemplate* t = static_cast<const CUnit*>(o)->UnitTemplate();
        if (t && t->m_antiRadar) continue;
        if (Distance2D(x, z, o->m_position[0], o->m_position[2]) < reach(o)) return true;
    }
    return false;
}

// ---- warp cover

CUnit* CGameScene::WarpCatcher(const CPlayer* mover, float x, float z) const {
    for (CObjectMembership* m = m_thirdUnitList.GetHead(); m; m = m->GetNextInGroup()) {
        CTessarakObject* o = m->GetObject();
        if (!o || !o->IsUnit()) continue;
        CUnit* u = static_cast<CUnit*>(o);
        const CUnitTemplate* t = u->UnitTemplate();
        if (!u->IsComplete() || !u->IsAlive() || !t || !(t->m_classMask & kClassUnit) || !t->m_antiWarp)
            continue;
        const CPlayer* owner = u->m_owner;
        if (!owner || !(owner->m_energyRatio > 0.5f)) continue;
        if (mover && (owner == mover || mover->IsAlliedWith(owner))) continue;
        if (Distance2D(x, z, u->m_position[0], u->m_position[2]) < t->m_warpMaxRange) return u;
    }
    return nullptr;
}

// ---- the weapon step

namespace {

void WeaponStep(CUnitWeapon* w, float dt) {
    // 1. The heading the frame has in the world.
    w->Invalidate();
    w->UpdateMatrixUp();
    float heading = Math_Atan2(-w->m_world[0][2], w->m_world[0][0]);
    if (heading < 0.0f) heading += kTwoPi;
    float& current = w->Heading();
    float& turnRate = w->RotationSpeed();
    float& target = w->AimHeading();
    float& reload = w->ReloadTimer();
    current = heading;
    // 2. The fire point: the weapon's child object named "FirePoint".
    CObjectLink& firePoint = w->FirePointLink();
    if (!firePoint) {
        for (CTessarakObject* c = w->FirstChildObject(); c; c = c->NextSiblingObject())
            if (c->m_template && c->m_template->m_name.Equals("FirePoint")) {
                firePoint.Set(c);
                break;
            }
        if (!firePoint) {
            w->m_byte = 0;
            CTessarakObject* mother = w->MotherUnit();
            if (CWorld* world = w->World())
                world->Console().Printf(
                    "Fatal Errror : Weapon '%s' ( mother is '%s' ) has no 'FirePoint' child object. "
                    "Weapon is disabled",
                    w->m_template ? w->m_template->m_name.GetText() : "",
                    mother && mother->m_template ? mother->m_template->m_name.GetText() : "");
            return;
        }
    }
    // 3. Turning toward the target heading, the short way.
    const bool fixed = (w->m_weaponFlags & CUnitWeapon::kW_LockedRotation) != 0;
    if (!fixed) {
        float step = dt * turnRate;
        if (AngleWithin(current, target, step)) {
            w->m_weaponFlags |= CUnitWeapon::kW_Aligned;
            current = target;
        } else {
            if (target > kTwoPi) target -= kTwoPi;
            if (target < 0.0f) target += kTwoPi;
            float lo = current, hi = target;
            float direction = 1.0f;
            if (target < current) {
                direction = -1.0f;
                lo = target;
                hi = current;
            }
            float d = hi - lo;
            if (kTwoPi - d <= d) direction = -direction;
            w->m_weaponFlags &= ~CUnitWeapon::kW_Aligned;
            current += direction * step;
            if (current > kTwoPi) current -= kTwoPi;
            if (current < 0.0f) current += kTwoPi;
        }
    }
    w->Invalidate();
    if (!fixed && w->m_scene) w->SetOrientation(current, w->m_pitch, w->m_roll, w->m_scene);

    // 4. Aim and fire.
    CUnit* mother = static_cast<CUnit*>(w->MotherUnit());
    CTessarakObject* aimed = mother ? mother->m_attackTarget.Get() : nullptr;
    w->m_target.Set(aimed && aimed->IsGridMember() ? aimed : nullptr);
    bool aim = false;
    float point[3] = {0.0f, 0.0f, 0.0f};
    CUnitOrder* running = mother ? mother->m_runningOrder : nullptr;
    if (running && running->m_type == CUnitOrder::kAttack && static_cast<CAttackOrder*>(running)->m_ground) {
        // A ground attack aims at its order's point.
        point[0] = running->m_destination[0];
        point[2] = running->m_destination[2];
        aim = true;
    } else if (CTessarakObject* t = w->m_target.Get()) {
        for (int i = 0; i < 3; ++i) point[i] = t->m_position[i];
        aim = true;
    }
    if (mother && !mother->IsAlive()) return;
    const CUnitWeaponTemplate* wt = w->m_template && (w->m_template->m_classMask & kClassWeapon)
                                        ? static_cast<CUnitWeaponTemplate*>(w->m_template)
                                        : nullptr;
    if (reload > 0.0f) reload -= dt * (mother && mother->m_owner ? mother->m_owner->m_energyRatio : 1.0f);
    if (wt && wt->m_updatesReloadBar && mother && wt->m_reloadTime > 0.0f)
        mother->m_float1 = 1.0f - reload / wt->m_reloadTime;
    if (!w->m_word) {
        // The weapon's first tick: its hit damage counts in its unit's fire power.
        if (mother && wt) mother->m_firePower += wt->m_hitDamage;
        w->m_word = 1;
    }
    if (!aim) {
        // An idle turret of a unit follows the unit's heading.
        if (mother) target = mother->m_yaw;
        return;
    }
    w->AimAt(point[0], point[1], point[2]);
    if (!wt || wt->m_reloadTime <= 0.0f || reload <= 0.0f) w->Fire();
}

// The construction part of the structure step (while not complete).
void ConstructionStep(CUnit* unit, float dt) {
    if (CExplosionManager* effects = unit->Explosions()) effects->UpdateConstruction(unit);
    const CUnitTemplate* t = unit->UnitTemplate();
    if (!t || !(t->m_classMask & kClassUnit)) return;
    const float full = t->m_buildTime;
    unit->BuildValue() = std::min(unit->BuildValue(), full);
    unit->Invalidate();
    if (unit->GraceTimer() > 0.0f) unit->GraceTimer() -= dt;
    if (unit->IsComplete() || unit->GraceTimer() > 0.0f) return;
    // Left unfinished, it decays and gives part of its cost back.
    unit->BuildValue() -= full * 0.0025f * dt;
    if (CPlayer* owner = unit->m_owner) {
        float refund = t->m_expense * 0.0025f * dt;
        owner->m_resourcesGained += refund;
        owner->m_incomeTotal += refund;
    }
    if (unit->BuildValue() < 2.0f) {
        unit->BuildValue() = 2.0f;
        unit->RemoveFromGrid();
    }
    unit->ProgressValue() = std::max(unit->ProgressValue() - full * 0.0025f * dt, 0.0f);
}

}  // namespace

// The grid bookkeeping of the structure step.
void CGridMember::KeepGridPlace() {
    CWorldGrid* grid = WorldGrid();
    if (!grid) return;
    const float x = m_position[0], z = m_position[2];
    if (x != m_lastGridPosition[0] || z != m_lastGridPosition[2]) {
        if (m_gridFlags & kG_NoYCollision) grid->MarkFootprint(*this, x, z, m_footprintHalfSize);
        grid->m_layer[0].Link(*this, x, z);
        if (x != m_lastFinePosition[0] || z != m_lastFinePosition[2]) grid->m_layer[1].Link(*this, x, z);
        for (int i = 0; i < 3; ++i) m_lastGridPosition[i] = m_position[i];
    }
    for (int i = 0; i < 3; ++i) m_lastFinePosition[i] = m_position[i];
}

// ---- the tick

namespace {

// The tick asks the processor to bring what it steps next into its cache
// while it steps this object: the objects lie wherever they were allocated,
// a list the processor cannot foresee, and a crowd of thousands no longer
// fits its nearer cache. In three stages, each reading only what the stage
// before brought in: the object after next; the next one's way; this one's
// point on its way (which its steering reads). No effect on what the tick
// computes: a prefetch never faults, nor changes memory.
void PrefetchObject(const CTessarakObject* o) {
    // Its kind is not read first: that would wait for the memory.
    constexpr size_t kSize = std::max(sizeof(CUnit), sizeof(CUnitWeapon));
    const char* p = reinterpret_cast<const char*>(o);
    for (size_t at = 0; at < kSize; at += 64) __builtin_prefetch(p + at);
}

void PrefetchWay(const CTessarakObject* o) {
    if (o->IsUnit()) __builtin_prefetch(static_cast<const CUnit*>(o)->m_waypoints);
}

void PrefetchWayPoint(const CTessarakObject* o) {
    if (!o->IsUnit()) return;
    if (const CWaypointList* way = static_cast<const CUnit*>(o)->m_waypoints)
        __builtin_prefetch(way->Cursor());
}

}  // namespace

bool CGameScene::Tick() {
    ++m_frameCounter;
    m_ticked = 1;
    const float dt = m_world.Clock().TickStep();
    CPlayerList* players = Players();

    // 1. The players' pre-pass.
    if (players)
        for (CPlayer* p : players->m_players) {
            p->m_storageLast = p->m_storage;
            p->m_energyProduced = 0.0f;
            p->m_energyConsumed = 0.0f;
            p->m_storage = 0.0f;
        }

    // 2. Every active object, in the list's order.
    for (CTessarakObject* o = m_activeObjects; o; o = m_tickNext) {
        m_tickNext = o->m_sceneActiveNext;
        if (m_tickNext) {
            if (const CTessarakObject* after = m_tickNext->m_sceneActiveNext) PrefetchObject(after);
            PrefetchWay(m_tickNext);
        }
        PrefetchWayPoint(o);
        if (!o->IsUnit()) {
            if (o->IsWeapon() && static_cast<CUnitWeapon*>(o)->m_byte)
                WeaponStep(static_cast<CUnitWeapon*>(o), dt);
        } else {
            CUnit* unit = static_cast<CUnit*>(o);
            const CUnitTemplate* t = unit->UnitTemplate();
            uint8_t structure = 0;
            if (t && (t->m_classMask & kClassUnit) && t->m_updateDisabled) {
                unit->m_gridFlags &= ~CGridMember::kG_Marked;
                structure = 1;
            } else {
                unit->Update(&structure);
            }
            if (structure && !(unit->m_gridFlags & CGridMember::kG_Marked)) {
                if (!unit->IsComplete()) ConstructionStep(unit, dt);
                unit->KeepGridPlace();
            }
        }
        o->Integrate();
    }
    m_tickNext = nullptr;

    // 3. The mission objectives (not in the map editor: the objectives
    // know the game's mode).
    m_objectives.Evaluate();

    // 4. The players' economy.
    if (players)
        for (CPlayer* p : players->m_players) {
            if (p->m_energyAccelerator > 1.0f) p->m_energyProduced *= Math_Pow(p->m_energyAccelerator, 0.7f);
            p->m_energyProduced += p->m_energyHelp;
            if (p->m_energyProduced > p->m_energyProducedSmooth)
                p->m_energyProducedSmooth += (p->m_energyProduced - p->m_energyProducedSmooth) * dt;
            else if (p->m_energyProduced < p->m_energyProducedSmooth)
                p->m_energyProducedSmooth -= (p->m_energyProducedSmooth - p->m_energyProduced) * dt;
            if (p->m_energyConsumed > p->m_energyConsumedSmooth)
                p->m_energyConsumedSmooth += (p->m_energyConsumed - p->m_energyConsumedSmooth) * dt;
            else if (p->m_energyConsumed < p->m_energyConsumedSmooth)
                p->m_energyConsumedSmooth -= (p->m_energyConsumedSmooth - p->m_energyConsumed) * dt;
            p->m_energyRatio = p->m_energyConsumedSmooth <= p->m_energyProducedSmooth
                                   ? 1.0f
                                   : p->m_energyProducedSmooth / p->m_energyConsumedSmooth;
            p->m_resources += p->m_resourcesGained - p->m_resourcesSpent;
            p->m_gainRate = dt > 0.0f ? p->m_resourcesGained / dt : 0.0f;
            p->m_spendRate = dt > 0.0f ? p->m_resourcesSpent / dt : 0.0f;
            p->m_resourcesGained = 0.0f;
            p->m_resourcesSpent = 0.0f;
            p->m_resources = std::min(p->m_resources, p->m_storage);
        }

    // 5. The resource spots shimmer.
    if (m_spotTemplate)
        for (CObjectMembership* m = m_spotTemplate->m_instances.GetHead(); m; m = m->GetNextInGroup()) {
            CTessarakObject* spot = m->GetObject();
            if (!spot || !spot->m_resourceSpot) continue;
            SResourceSpot& r = *spot->m_resourceSpot;
            r.m_phase += dt * r.m_speed;
            r.m_current = Math_Sin(r.m_phase) * m_spotMovement + r.m_base;
        }

    // 6. What left play this tick goes out of play now, on every machine at
    // the same point of the tick (never by the drawing, which a server does
    // not run); the logic tick counts the lingering objects down.
    DeleteQueuedFrames(0.0f);
    return true;
}

// ---- the view's step (per render frame, outside the tick)

void CGameScene::StepView(float frame) {
    if (CPlayerList* players = Players())
        for (CPlayer* p : players->m_players) {
            p->m_noticeTimer -= frame;
            if (p->m_noticeTimer < 0.0f) p->m_notice = 0;
            if (p->m_combatTimer > 0.0f) {
                p->m_combatTimer -= frame;
                if (p->m_combatTimer <= 0.0f) p->m_combatMark = 0;
            }
        }
    for (CUnit* u = m_units; u; u = u->m_unitNext) u->StepView(frame);
}
