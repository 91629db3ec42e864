#include "core/Determinism.h"
// The lockstep guard comes first in every simulation source.
//
// The steps of the orders that change the world: attack, harvest, produce
// and construct. Their moves are move and go-to-position sub-orders
// (MoveOrders.cpp); what they cannot do is told to the owner as an event:
//  12 the unit limit is reached (production waits),
//  15 the builder is too far from its site,
//  17 the site is taken by units,
//  18 the site has gone,
//  20 the builder could not reach its site after 11 tries,
//  21 the builder has lost its site,
//  23 the unit could not be made,
//  24 the site is taken by obstacles,
//  25 a harvester has no depot to unload at.
// Every time is the tick's (the clock's tick step), every random number the
// unit's own: the same on every machine.
#include <vector>

#include "world/ExplosionManager.h"
#include "world/GameScene.h"
#include "world/OrderSteps.h"
#include "world/Player.h"
#include "world/Unit.h"
#include "world/UnitOrder.h"
#include "world/WaypointList.h"
#include "world/WorldGrid.h"

namespace {

using namespace OrderSteps;

float WrapAngle(float a) {
    a = Math_Fmod(a, kTwoPi);
    return a < 0.0f ? a + kTwoPi : a;
}

float GroundDistance(const CTessarakObject* a, const CTessarakObject* b) {
    return Distance2D(a->m_position[0], a->m_position[2], b->m_position[0], b->m_position[2]);
}

// An object of the world that has not left play.
bool InPlay(const CTessarakObject* o) {
    return o && !o->IsReleased() && !(o->m_stateA & CTessarakObject::kA_Destroyed);
}

// The unit turns toward the point (its update turns it).
void Face(CUnit* unit, float x, float z) {
    unit->m_desiredHeading = Angle2DDeg(unit->m_position[0], unit->m_position[2], x, z);
}

bool Faces(const CUnit* unit, float x, float z) {
    return AngleWithin(DegToRad(unit->m_headingDeg), Angle2D(unit->m_position[0], unit->m_position[2], x, z),
                       0.1f);
}

}  // namespace

// ---- attack

CAttackOrder::~CAttackOrder() {
    if (!IsRunning()) return;
    m_unit->m_motionFlags |= CUnit::kM_Arrived;
    m_unit->m_motionFlags &= ~CUnit::kM_NoTargetScan;
    m_unit->m_attackTarget.Clear();
    m_unit->m_threat.Clear();
}

bool CAttackOrder::Execute() {
    CUnit* u = m_unit;
    const CUnitTemplate* t = UnitTemplateOf(u);
    if (!t) return false;
    CTessarakObject* target = m_targetLink.Get();
    if (!m_ground && (!InPlay(target) || !target->IsGridMember())) {
        m_finished = 1;
        return false;
    }
    if (t->m_warpNuke) return WarpNuke(target);
    if (m_step == 0) {
        if (!m_ground) {
            u->m_attackTarget.Set(target);
            u->m_motionFlags &= ~CUnit::kM_NoTargetScan;
            m_step = 3;
        } else {
            // The weapons aim at the order's point (the scene's weapon step).
            if (CWorldGrid* grid = Grid(m_unit)) grid->ClampToMap(m_destination[0], m_destination[2]);
            m_destination[1] = 0.0f;
            u->m_attackTarget.Clear();
            if (t->m_groundFire)
                u->m_motionFlags |= CUnit::kM_NoTargetScan;
            else
                u->m_motionFlags &= ~CUnit::kM_NoTargetScan;
            m_step = 1;
        }
        if (!(u->m_unitState & CUnit::kU_Mobile)) m_step = 2;
        if (t->m_explodeOnAttack) {
            // A unit made to blow up where it attacks does so at once.
            u->m_orderList->RemoveQueued();
            u->m_gridFlags &= ~CUnit::kG_Avoiding;
            u->ApplyDamage(nullptr, u->m_power + 1.0f, true);
            return false;
        }
    }
    const float* aim = m_ground ? m_destination : target->m_position;
    const float d = Distance2D(u->m_position[0], u->m_position[2], aim[0], aim[2]);
    auto approach = [&]() {
        DeleteChildren();
        float at[3];
        const float rise = (u->m_motionFlags & CUnit::kM_Above) ? 2.0f : -2.0f;
        PointToward(aim, u->m_position, t->m_approachDistance - 2.0f, rise, at);
        CMoveOrder* move = new CMoveOrder(this, nullptr, u, at[0], at[2], 0);
        move->m_subLocalRef = m_localRef;
        RunOnce(move);
    };
    for (;;) {
        switch (m_step) {
            case 1:
                if (t->m_directFire || d >= t->m_fireRange) {
                    if (!m_firstChild) approach();
                    return true;
                }
                return t->m_groundFire != 0;
            case 2:
                return !(!t->m_groundFire && !u->m_attackTarget && !m_firstChild);
            case 3:
                if (d < t->m_fireRange) {
                    m_step = 4;
                    continue;
                }
                if (!m_firstChild) approach();
                return true;
            case 4:
                if (d >= t->m_fireRange) {
                    m_step = 3;
                    continue;
                }
                return true;
            default:
                return true;
        }
    }
}

// A warp nuke neither drives nor fires: it jumps to the point (the target's
// place) and bursts there. It waits while its owner's energy ratio is below
// 0.5; a point beyond its WarpMaxRange x that ratio ends the order with the
// warp failed and the nuke where it stood. An enemy's anti-warp unit that
// covers the point catches it there, as it catches every warped object:
// destroyed before it bursts.
bool CAttackOrder::WarpNuke(CTessarakObject* target) {
    CUnit* u = m_unit;
    const CUnitTemplate* t = UnitTemplateOf(u);
    if (m_step == 0 && m_ground)
        if (CWorldGrid* grid = Grid(u)) grid->ClampToMap(m_destination[0], m_destination[2]);
    m_step = 1;
    if (!u->IsAlive() || !u->IsComplete()) return true;
    CPlayer* owner = u->m_owner;
    const float ratio = owner ? owner->m_energyRatio : 0.0f;
    if (ratio < 0.5f) return true;
    const float x = m_ground ? m_destination[0] : target->m_position[0];
    const float z = m_ground ? m_destination[2] : target->m_position[2];
    const float fromX = u->m_position[0], fromZ = u->m_position[2];
    CExplosionManager* effects = Effects(u);
    if (Distance2D(fromX, fromZ, x, z) > t->m_warpMaxRange * ratio) {
        if (effects) effects->PlayWarp(false, fromX, fromZ, x, z);
        m_finished = 1;
        return false;
    }
    u->m_orderList->RemoveQueued();
    // The burst is at the nuke's own height over the point.
    u->SetPosition(x, u->m_position[1], z);
    u->Invalidate();
    u->ResetMatrixHistory();
    if (u->CatchArrival()) {
        m_finished = 1;
        return false;
    }
    if (effects) effects->PlayWarp(true, fromX, fromZ, x, z);
    // The blast: every object of the world within DamageRadius of the point
    // takes DamagePower, less the farther it stands (x its splash modifier),
    // as the nuke's damage.
    const float radius = t->m_damageRadius;
    std::vector<CGridMember*> hit;
    for (CTessarakObject* o = u->m_gameScene->m_allObjects; o; o = o->m_allNext)
        if (o != u && o->IsGridMember() && o->m_objectId >= 0 && !o->Dying() &&
            Distance2D(x, z, o->m_position[0], o->m_position[2]) < radius)
            hit.push_back(static_cast<CGridMember*>(o));
    for (CGridMember* o : hit) {
        const CTessarakObjectTemplate* ot = o->m_template;
        const float splash = ot && (ot->m_classMask & kClassGridMember)
                                 ? static_cast<const CGridMemberTemplate*>(ot)->m_splashDamageModifier
                                 : 1.0f;
        const float d = Distance2D(x, z, o->m_position[0], o->m_position[2]);
        o->ApplyDamage(u, (radius - d) / radius * t->m_damagePower * splash, false);
    }
    u->ApplyDamage(nullptr, u->m_power + 1.0f, true);
    return false;
}

// ---- harvest
//
// The unit mines its resource field at its template's HarvestSpeed per
// second until it holds MaxResourcesHeld (or the field runs out), carries the
// load to the nearest depot of its owner (a unit whose template's
// HarvestDepot names the harvester's), unloads it there at 100 a second into
// the owner's resources (as far as the owner's storage takes them) and goes
// back for more: to the same field while it lasts, else to the nearest other.
// Steps: 0 go to the field, 1 on the way, 2 choose what to mine, 4 mine,
// 5 go to the depot, 6 on the way, 7 unload, 9 choose the next field.

// The harvest beam (the view's): births a second, speed jitter, growth.
constexpr float kBeamRate = 25.0f;
constexpr float kBeamJitter = 2.5f;
constexpr float kBeamGrowth = 1.1f;

CHarvestOrder::~CHarvestOrder() {
    if (IsRunning()) m_unit->m_motionFlags |= CUnit::kM_Arrived;
    if (m_unit) m_unit->TurnDownHarvestEmitter();
}

CTessarakObject* CHarvestOrder::FindNearestResource(int n, float maxDistance, float x, float z) const {
    CWorldGrid* grid = Grid(m_unit);
    if (!grid) return nullptr;
    const CUnitTemplate* t = UnitTemplateOf(m_unit);
    const int32_t kind = t ? t->m_harvestType : 0;
    CGameScene* scene = m_unit->m_gameScene;
    CGridObject* found = grid->m_layer[0].FindNearest(x, z, n, maxDistance, [&](const CGridObject& g) {
        const CTessarakObject* o = scene->m_idTable.Find(g.GridId());
        return InPlay(o) && o->m_resourceType != 0 && (!kind || o->m_resourceType == kind) &&
               o->m_resourceAmount > 0.0f;
    });
    return found ? scene->m_idTable.Find(found->GridId()) : nullptr;
}

void CHarvestOrder::ApproachPoint(CTessarakObject* object) {
    CUnit* u = m_unit;
    const CUnitTemplate* t = UnitTemplateOf(u);
    u->m_steeringFlags &= ~CUnit::kT_Direct;
    const float rise = static_cast<float>(u->m_random.Rand() % 3) - 1.5f;
    float at[3];
    PointToward(object->m_position, u->m_position, u->m_objectRadius + object->m_objectRadius, rise, at);
    if (!t || !t->m_flying) u->m_gridFlags |= CUnit::kG_Yields;
    CGotoPositionOrder* go = new CGotoPositionOrder(this, nullptr, u);
    for (int i = 0; i < 3; ++i) go->m_target[i] = at[i];
    for (int i = 0; i < 3; ++i) u->m_gotoDestination[i] = at[i];
    RunOnce(go);
}

bool CHarvestOrder::Execute() {
    CUnit* u = m_unit;
    const CUnitTemplate* t = UnitTemplateOf(u);
    CWorldGrid* grid = Grid(m_unit);
    if (!t || !grid) return false;
    CGameScene* scene = u->m_gameScene;
    CPlayer* owner = u->m_owner;
    const float dt = TickStep(m_unit);
    const float capacity = t->m_maxResourcesHeld;
    float& load = u->m_harvestLoad;
    // The beam is out unless a step below shows it again.
    u->TurnDownHarvestEmitter();
    // The depot: the nearest ready one of the owner's, kept while it stands.
    CTessarakObject* depot = u->UnloadingUnit().Get();
    if (!InPlay(depot) || !depot->IsUnit() || !static_cast<CUnit*>(depot)->IsComplete()) {
        const CTessarakObjectTemplate* depotTemplate = nullptr;
        for (CUnitTemplate* d = scene->m_unitTemplates; d; d = d->m_unitNext)
            if (d->m_harvestDepot == t) {
                depotTemplate = d;
                break;
            }
        CGridObject* found =
            grid->FindNearestOwnUnit(owner, depotTemplate, 20, 1000.0f, u->m_position[0], u->m_position[2]);
        depot = found ? scene->m_idTable.Find(found->GridId()) : nullptr;
        u->UnloadingUnit().Set(depot);
        if (!depot) {
            if (CWorld* world = u->World())
                world->View().PostEventMessage(25, owner ? owner->m_ownerId : -1, u->m_position[0],
                                               u->m_position[2], t->m_name.GetText());
            m_finished = 1;
            return false;
        }
        if (m_step != 0) m_step = 5;
    }
    if (m_returnNow) {
        m_returnNow = 0;
        m_step = 5;
    }
    for (int steps = 0; steps < 16; ++steps) {
        switch (m_step) {
            case 0:  // to the field
                grid->ClampToMap(m_destination[0], m_destination[2]);
                m_step = 1;
                u->DoubleSearchRadius() = 1;
                RunOnce(new CMoveOrder(this, nullptr, u, m_destination[0], m_destination[2], 0));
                return true;
            case 1:
                if (m_firstChild) return true;
                m_step = 2;
                continue;
            case 2: {  // what to mine: a field by the unit, else the nearest far one
                u->DoubleSearchRadius() = 0;
                CTessarakObject* field =
                    FindNearestResource(3, 5.0f + u->m_objectRadius, u->m_position[0], u->m_position[2]);
                m_resource.Set(field);
                if (!field) {
                    CTessarakObject* far =
                        FindNearestResource(25, 1000.0f, u->m_position[0], u->m_position[2]);
                    if (!far) {
                        m_finished = 1;
                        return false;
                    }
                    for (int i = 0; i < 3; ++i) m_destination[i] = far->m_position[i];
                    m_step = 0;
                    continue;
                }
                m_step = 4;
                continue;
            }
            case 3:
                m_step = 4;
                continue;
            case 4: {  // mining
                CTessarakObject* field = m_resource.Get();
                if (!InPlay(field) || field->m_resourceAmount <= 0.0f) {
                    m_resource.Clear();
                    m_step = load >= 1.0f ? 5 : 2;
                    if (m_step == 2 && steps > 0) return true;  // look again next tick
                    continue;
                }
                Face(u, field->m_position[0], field->m_position[2]);
                if (Faces(u, field->m_position[0], field->m_position[2])) {
                    u->AimHarvestEmitter(field->m_position, kBeamRate, kBeamJitter, kBeamGrowth);
                    float take = t->m_harvestSpeed * dt;
                    take = std::min(take, std::max(capacity - load, 0.0f));
                    take = std::min(take, field->m_resourceAmount);
                    load += take;
                    field->m_resourceAmount -= take;
                    if (field->m_resourceAmount <= 0.0f) {
                        // A field mined out leaves the world.
                        field->m_resourceAmount = 0.0f;
                        field->RemoveFromGrid();
                        m_resource.Clear();
                    }
                }
                if (load >= capacity) {
                    load = capacity;
                    m_step = 5;
                    continue;
                }
                return true;
            }
            case 5:  // to the depot
                if (load < 1.0f) {
                    m_step = 9;
                    continue;
                }
                m_slowTime = 0.0f;
                DeleteChildren();
                ApproachPoint(depot);
                m_step = 6;
                return true;
            case 6: {
                const float* at = u->m_gotoDestination;
                if (Distance2D(u->m_position[0], u->m_position[2], at[0], at[2]) >= 6.0f) {
                    // Crept for five seconds without arriving: it tries anew.
                    if (u->m_speed < 0.2f) m_slowTime += dt;
                    if (m_slowTime > 5.0f) m_step = 5;
                    return true;
                }
                Face(u, depot->m_position[0], depot->m_position[2]);
                m_step = 7;
                continue;
            }
            case 7: {  // unloading
                if (GroundDistance(u, depot) >= 10.0f + depot->m_objectRadius) {
                    m_step = 5;
                    continue;
                }
                // 100 a second, as far as the owner's storage takes it.
                float amount = static_cast<float>(Math_Truncate(dt * 100.0f));
                if (owner) {
                    float room = static_cast<float>(
                        Math_Truncate(owner->m_storageLast - owner->m_resources - owner->m_resourcesGained));
                    amount = std::min(amount, std::max(room, 0.0f));
                }
                amount = std::min(amount, load);
                // The beam into the depot carries what flows: the full rate
                // at 100 a second, less while the storage takes less.
                const int32_t full = Math_Truncate(dt * 100.0f);
                u->AimHarvestEmitter(depot->m_position, full > 0 ? amount * kBeamRate / float(full) : 0.0f,
                                     kBeamJitter, kBeamGrowth);
                load -= amount;
                if (owner) {
                    owner->m_resourcesGained += amount;
                    owner->m_incomeTotal += amount;
                    owner->m_harvested += amount;
                    if (owner->m_team) owner->m_team->m_harvested += amount;
                    // The statistics' resources: what was brought home.
                    owner->m_scoreCounters[1] = Math_Truncate(owner->m_harvested);
                    if (owner->m_team)
                        owner->m_team->m_scoreCounters[1] = Math_Truncate(owner->m_team->m_harvested);
                }
                m_finished = 1;
                if (load <= 0.0f) {
                    load = 0.0f;
                    m_step = 9;
                    continue;
                }
                return true;
            }
            case 9: {  // back to the field, or the nearest other one
                CTessarakObject* field = m_resource.Get();
                if (!InPlay(field) || field->m_resourceAmount <= 0.0f)
                    field = FindNearestResource(10, 1000.0f, m_destination[0], m_destination[2]);
                if (!field) {
                    m_finished = 1;
                    return false;
                }
                float beside[3];
                PointToward(field->m_position, u->m_position, field->m_objectRadius + 4.0f + 1.5f, 0.0f,
                            beside);
                for (int i = 0; i < 3; ++i) m_destination[i] = beside[i];
                m_step = 0;
                continue;
            }
            default:
                return true;
        }
    }
    return true;
}

// ---- build

namespace {

// Whether something other than the builder stands on the site: an object
// nearer its centre than the footprint and its own radius less the margin
// (with ignoreMoving, what moves along its waypoints passes and is not
// counted).
bool SiteTaken(const CWorldGrid& grid, const CUnit* builder, float x, float z, float footprint, float margin,
               bool ignoreMoving) {
    const CGridObject* self = builder;
    return grid.m_layer[0].FindNearest(x, z, 1, 1e30f, [&](const CGridObject& o) {
        if (&o == self || (ignoreMoving && (o.GridTraits() & CGridObject::kGridOnWaypoints))) return false;
        const float reach = footprint + o.GridRadius() - margin;
        return DistanceSquared2D(o.GridX(), o.GridZ(), x, z) < reach * reach;
    }) != nullptr;
}

float FootprintOf(const CTessarakObjectTemplate* t) {
    if (!t) return 0.0f;
    if (t->m_classMask & kClassUnit) return static_cast<const CUnitTemplate*>(t)->m_footprintRadius;
    return t->m_collisionRadius;
}

}  // namespace

CBuildOrder* CBuildOrder::Produce(CUnitOrder* parent, CUnitOrder* predecessor, CTessarakObjectTemplate* tmpl,
                                  uint32_t repeat) {
    CBuildOrder* order = new CBuildOrder(parent, predecessor, nullptr, 0);
    order->m_template = tmpl;
    order->m_repeat = repeat;
    if (CUnit* u = order->m_unit)
        for (int i = 0; i < 3; ++i) order->m_destination[i] = u->m_position[i];
    return order;
}

CBuildOrder* CBuildOrder::ConstructAt(CUnitOrder* parent, CUnitOrder* predecessor,
                                      CTessarakObjectTemplate* tmpl, float x, float z) {
    CBuildOrder* order = new CBuildOrder(parent, predecessor, nullptr, 1);
    order->m_template = tmpl;
    order->m_target[0] = order->m_destination[0] = x;
    order->m_target[2] = order->m_destination[2] = z;
    return order;
}

CBuildOrder* CBuildOrder::ConstructOn(CUnitOrder* parent, CUnitOrder* predecessor, CTessarakObject* site) {
    CBuildOrder* order = new CBuildOrder(parent, predecessor, nullptr, 1);
    order->m_site.Set(site);
    if (site) {
        order->m_template = site->m_template;
        for (int i = 0; i < 3; ++i) order->m_destination[i] = site->m_position[i];
    }
    return order;
}

CBuildOrder::~CBuildOrder() {
    CUnit* u = m_unit;
    if (!IsRunning()) return;
    if (!m_construct) {
        // A production broken off: the unfinished unit goes.
        CTessarakObject* product = m_site.Get();
        if (product && product->IsUnit() && !static_cast<CUnit*>(product)->IsComplete())
            product->RemoveFromGrid();
        if (u->m_buildTarget.Get() == product) u->m_buildTarget.Clear();
        return;
    }
    u->m_motionFlags |= CUnit::kM_Arrived;
    u->m_buildTarget.Clear();
    if (CExplosionManager* effects = Effects(m_unit)) effects->StopBuilderEffect(u);
}

void CBuildOrder::Event(int code) {
    CWorld* world = m_unit ? m_unit->World() : nullptr;
    if (!world) return;
    world->View().PostEventMessage(code, m_unit->m_owner ? m_unit->m_owner->m_ownerId : -1,
                                   m_unit->m_position[0], m_unit->m_position[2],
                                   m_template ? m_template->DisplayName() : "");
}

bool CBuildOrder::AtUnitLimit() {
    CWorld* world = m_unit ? m_unit->World() : nullptr;
    const int32_t limit = world ? world->Session().UnitLimit() : 0;
    if (limit <= 0) return false;
    int32_t count = 0;
    for (const CUnit* unit = m_unit->m_gameScene->m_units; unit; unit = unit->m_unitNext)
        if (unit->m_owner == m_unit->m_owner && unit->IsAlive()) ++count;
    if (limit > count) return false;
    if (++m_aux > kTickCounterLimit) {
        Event(12);
        m_aux = 0;
    }
    return true;
}

bool CBuildOrder::Execute() {
    return m_construct ? ExecuteConstruct() : ExecuteProduce();
}

// Produce: the factory makes the unit at its exit, builds it (its own work
// goes into it as a builder's: CUnit::Update) and lets it go once complete.
bool CBuildOrder::ExecuteProduce() {
    CUnit* f = m_unit;
    const CUnitTemplate* ft = UnitTemplateOf(f);
    if (!ft || !(f->m_unitState & CUnit::kU_Builder) || !f->IsComplete() || !m_template) return false;
    CTessarakObject* made = m_site.Get();
    CUnit* product = made && made->IsUnit() ? static_cast<CUnit*>(made) : nullptr;
    const float exit[3] = {f->m_position[0] + ft->m_exitOffset[0], 0.0f,
                           f->m_position[2] + ft->m_exitOffset[1]};
    CGameScene* scene = f->m_gameScene;
    if (m_step == 0) m_step = 3;
    switch (m_step) {
        case 3: {
            if (AtUnitLimit()) return true;
            CTessarakObject* o =
                scene->CreateObjectByClass(m_template, exit, f->m_owner, scene->m_idTable.NewId());
            if (!o || !o->IsUnit()) {
                if (o) scene->DeleteObject(o);
                Event(23);
                m_finished = 1;
                return false;
            }
            product = static_cast<CUnit*>(o);
            product->m_power = m_template->m_power;
            product->BuildValue() = 0.0f;
            // Under construction in the factory: no contact, no avoiding.
            product->m_gridFlags = static_cast<uint8_t>(
                (product->m_gridFlags & ~(CUnit::kG_Complete | CUnit::kG_Avoiding)) | CUnit::kG_Blocked);
            product->SetOrientation(WrapAngle(product->m_yaw + 3.1415927f), product->m_pitch,
                                    product->m_roll);
            product->SetVisibleFraction(0.0f);
            m_site.Set(product);
            f->m_buildTarget.Set(product);
            if (CExplosionManager* effects = Effects(m_unit)) {
                effects->StartConstruction(product);
                effects->StartBuilderEffect(f);
            }
            m_step = 1;
            m_auxPoint[0] = 2.0f;
            return true;
        }
        case 1:
            if (!product || !InPlay(product)) {
                Event(18);
                m_finished = 1;
                return false;
            }
            product->SetPosition(exit[0], product->m_position[1], exit[2]);
            if (!product->IsComplete()) return true;
            // Led out at the exit, or at the first free place near it when
            // another unit (an earlier product) stands there: never onto one.
            if (CWorldGrid* grid = Grid(f)) {
                float x = exit[0], z = exit[2];
                if (grid->m_layer[0].FindFreeSpotFor(*product, f, exit[0], exit[2], ft->m_exitOffset[0],
                                                     ft->m_exitOffset[1], x, z))
                    product->SetPosition(x, product->m_position[1], z);
            }
            // Led out: it takes part in the world again.
            product->m_gridFlags =
                static_cast<uint8_t>((product->m_gridFlags & ~CUnit::kG_Blocked) | CUnit::kG_Avoiding);
            m_step = 2;
            [[fallthrough]];
        case 2: {
            const bool local = (f->m_stateB & CTessarakObject::kB_LocalOwner) != 0;
            if (product && local) {
                // The factory's queue is its rally orders.
                product->CopyQueuedOrders(f);
                const CUnitTemplate* pt = UnitTemplateOf(product);
                if (pt && pt->m_harvestType) {
                    CHarvestOrder* harvest = new CHarvestOrder(product->m_orderList, nullptr, product);
                    for (int i = 0; i < 3; ++i) harvest->m_destination[i] = product->m_position[i];
                }
            }
            if (f->m_buildTarget.Get() == product) f->m_buildTarget.Clear();
            m_site.Clear();
            f->PlaySound(ft->m_readySound, static_cast<int>(ft->m_readySound.m_samples.size()));
            // Its owner is told that it is ready (the view tells only the
            // local player).
            if (product) Event(9);
            m_finished = 1;
            if (m_repeat && local) Produce(f->m_orderList, nullptr, m_template, 1);
            return false;
        }
        default:
            return true;
    }
}

// Construct: the builder goes to the site, makes the building there (or
// takes the existing site) and works on it (its update transfers the work)
// until the building is whole.
bool CBuildOrder::ExecuteConstruct() {
    CUnit* u = m_unit;
    const CUnitTemplate* ut = UnitTemplateOf(u);
    if (!ut || !(u->m_unitState & CUnit::kU_Builder)) return false;
    CWorldGrid* grid = Grid(m_unit);
    CGameScene* scene = u->m_gameScene;
    const float footprint = FootprintOf(m_template);
    const float near = footprint + u->m_objectRadius + 1.5f;
    const float far = footprint + u->m_objectRadius + 3.0f;
    for (int steps = 0; steps < 8; ++steps) {
        CTessarakObject* site = m_site.Get();
        const float* at = site ? site->m_position : m_destination;
        const float d = Distance2D(u->m_position[0], u->m_position[2], at[0], at[2]);
        switch (m_step) {
            case 0: {
                u->m_steeringFlags &= ~CUnit::kT_Direct;
                // The unit's own generator: every machine draws the same.
                const float rise = static_cast<float>(u->m_random.Rand() % 3) - 1.5f;
                if (!ut->m_flying) u->m_gridFlags |= CUnit::kG_Yields;
                // It works from beside the site, on the side it comes from.
                CGotoPositionOrder* go = new CGotoPositionOrder(this, nullptr, u);
                PointToward(m_destination, u->m_position, footprint + u->m_objectRadius + 1.0f, rise,
                            go->m_target);
                for (int i = 0; i < 3; ++i) u->m_gotoDestination[i] = go->m_target[i];
                m_step = 1;
                RunOnce(go);
                return true;
            }
            case 1: {
                if (d < near) u->m_motionFlags |= CUnit::kM_Arrived;
                const bool stopped =
                    (u->m_motionFlags & CUnit::kM_Arrived) || !(u->m_gridFlags & CUnit::kG_Moving);
                if (!stopped || u->m_speed >= 0.05f) return true;
                DeleteChildren();
                m_step = 3;
                continue;
            }
            case 3:
                u->m_steeringFlags |= CUnit::kT_Direct;
                if (!site) {
                    if (m_retries == 0 && d > far) {
                        Event(15);
                        m_finished = 1;
                        return false;
                    }
                    if (!grid ||
                        SiteTaken(*grid, u, m_destination[0], m_destination[2], footprint, 0.8f, true)) {
                        Event(24);
                        m_finished = 1;
                        return false;
                    }
                    if (SiteTaken(*grid, u, m_destination[0], m_destination[2], footprint, 0.8f, false)) {
                        m_step = 5;
                        Event(17);
                        m_aux = 0;
                        return true;
                    }
                    if (AtUnitLimit()) return true;
                    m_step = 7;
                    continue;
                }
                if (m_retries == 0 && d > far) {
                    Event(15);
                    m_finished = 1;
                    return false;
                }
                m_step = 4;
                continue;
            case 4: {
                if (!InPlay(site)) {
                    Event(18);
                    m_finished = 1;
                    return false;
                }
                Face(u, at[0], at[2]);
                if (++m_aux > 20) {
                    m_aux = 0;
                    if (d > far) {
                        // Pushed away from the site: it goes back, eleven times at most.
                        u->m_buildTarget.Clear();
                        for (int i = 0; i < 3; ++i) m_destination[i] = site->m_position[i];
                        if (++m_retries > 11) {
                            Event(20);
                            m_finished = 1;
                            return false;
                        }
                        m_step = 0;
                        continue;
                    }
                }
                if (!Faces(u, at[0], at[2])) return true;
                const CTessarakObjectTemplate* st = site->m_template;
                const bool built = !site->IsGridMember() ||
                                   (static_cast<CGridMember*>(site)->m_gridFlags & CGridMember::kG_Complete);
                if (built && st && site->m_power >= st->m_power) {
                    site->m_power = st->m_power;
                    u->m_buildTarget.Clear();
                    u->PlaySound(ut->m_completionSound,
                                 static_cast<int>(ut->m_completionSound.m_samples.size()));
                    m_finished = 1;
                    return false;
                }
                // The builder works on the site: its update adds its work.
                if (u->m_buildTarget.Get() != site) {
                    u->m_buildTarget.Set(site);
                    if (CExplosionManager* effects = Effects(m_unit)) effects->StartBuilderEffect(u);
                }
                return true;
            }
            case 5: {
                if (++m_aux <= 40) return true;
                m_aux = 0;
                ++m_waitRetries;
                if (grid &&
                    !SiteTaken(*grid, u, m_destination[0], m_destination[2], footprint, 0.8f, false)) {
                    m_step = 3;
                    continue;
                }
                Event(17);
                if (m_waitRetries > 4) {
                    m_finished = 1;
                    return false;
                }
                return true;
            }
            case 7: {
                // The building begins here: a site that the builder's work
                // raises from nothing to its full power over its BuildTime.
                const float place[3] = {m_destination[0], 0.0f, m_destination[2]};
                CTessarakObject* o = m_template ? scene->CreateObjectByClass(m_template, place, u->m_owner,
                                                                             scene->m_idTable.NewId())
                                                : nullptr;
                if (!o) {
                    Event(23);
                    m_finished = 1;
                    return false;
                }
                if (o->IsGridMember()) {
                    CGridMember* building = static_cast<CGridMember*>(o);
                    building->m_gridFlags &= ~CGridMember::kG_Complete;
                    building->m_powerWord1 = 0.0f;
                    building->m_power = 1.0f;
                    building->EnterGrid();
                    if (CExplosionManager* effects = Effects(m_unit)) effects->StartConstruction(building);
                }
                m_site.Set(o);
                m_aux = 0;
                m_step = 4;
                continue;
            }
            default:
                return true;
        }
    }
    return true;
}
