#include "core/Determinism.h"
// The lockstep guard comes first in every simulation source.
//
// The steps of the orders that move a unit or keep it near another object:
// move, go-to-position, go-to-object, patrol, repair, tow and guard. The
// unit's motion (CUnit::Update) follows the waypoints these orders give it;
// the orders read and set the unit's flags:
//  - motion flags: kM_Arrived is also the orders' halt bit;
//  - grid flags: kG_Moving (the unit moves along its waypoints);
//  - steering flags: kT_Direct, kT_PathPending, kT_PathReady (the way is
//    known and the unit may drive at speed), kT_PathReceived (message 142 of
//    the current path request has been taken).
#include "world/ExplosionManager.h"
#include "world/GameScene.h"
#include "world/OrderMessages.h"
#include "world/OrderSteps.h"
#include "world/PhysicsEngine.h"
#include "world/Player.h"
#include "world/Unit.h"
#include "world/UnitOrder.h"
#include "world/WaypointList.h"
#include "world/World.h"
#include "world/WorldGrid.h"

namespace {

using namespace OrderSteps;

// Whether this machine searches the unit's ways: the unit is the local
// player's (the player at this machine), or a computer player's or the
// map's (the neutral player's, which the map's scripts command) that this
// machine runs (the host). The others wait for the way to come.
bool SearchesHere(const CUnit* unit) {
    return (unit->m_stateB & CTessarakObject::kB_LocalOwner) ||
           (unit->m_owner && unit->m_owner->m_computerHere);
}

// A way found for another unit between the same regions fits this one when
// the unit can drive straight to where it begins and from its last corner
// straight on to this unit's own goal (the last point).
bool CachedWayFits(const CWorldGrid& grid, const CUnit& unit, const CWaypointList& cells) {
    const CWaypointPoint* first = cells.Head();
    const CWaypointPoint* goal = cells.Tail();
    if (!first || !goal) return false;
    float x, z, gx, gz;
    grid.WaypointToWorld(static_cast<int32_t>(first->x), static_cast<int32_t>(first->z), x, z);
    if (!grid.IsLineClear(unit, unit.m_position[0], unit.m_position[2], x, z)) return false;
    const CWaypointPoint* corner = goal->prev ? goal->prev : first;
    grid.WaypointToWorld(static_cast<int32_t>(corner->x), static_cast<int32_t>(corner->z), x, z);
    grid.WaypointToWorld(static_cast<int32_t>(goal->x), static_cast<int32_t>(goal->z), gx, gz);
    return grid.IsLineClear(unit, x, z, gx, gz);
}

// What a builder drops when it stops working for an order.
void ResetBuildState(CUnit* unit) {
    unit->m_buildTarget.Clear();
    if (unit->m_unitState & CUnit::kU_Builder)
        if (CExplosionManager* effects = unit->Explosions()) effects->StopBuilderEffect(unit);
}

}  // namespace

// ---- move

CMoveOrder::~CMoveOrder() {
    if (IsRunning() && !(m_unit->m_gridFlags & CUnit::kG_Blocked)) m_unit->m_motionFlags |= CUnit::kM_Arrived;
}

bool CMoveOrder::Execute() {
    CUnit* u = m_unit;
    // A warp unit does not drive: its move sends the units on it instead.
    if (u->m_unitState & CUnit::kU_Warp) return true;
    if (u->m_scanWord || !u->IsAlive()) return true;
    if (m_step == 0) {
        // A point outside the map is taken 2 units inside its edge.
        if (CWorldGrid* grid = Grid(m_unit)) grid->ClampToMap(m_target[0], m_target[2]);
        m_destination[0] = m_target[0];
        m_destination[2] = m_target[2];
        CGotoPositionOrder* go = new CGotoPositionOrder(this, nullptr, u);
        for (int i = 0; i < 3; ++i) go->m_target[i] = m_target[i];
        go->m_force = m_force;
        for (int i = 0; i < 3; ++i) u->m_gotoDestination[i] = m_target[i];
        m_step = 1;
        RunOnce(go);
    }
    if (m_firstChild) return true;
    if (!(u->m_motionFlags & CUnit::kM_Arrived) && (u->m_gridFlags & CUnit::kG_Moving)) return true;
    m_finished = 1;
    return false;
}

// ---- go to position

CGotoPositionOrder::~CGotoPositionOrder() {
    LeaveQueue();
    if (CWorldGrid* grid = Grid(m_unit))
        if (m_unit && grid->m_pathOwner == m_unit->m_objectId) grid->ReleasePathRequest(m_unit->m_objectId);
    if (IsRunning()) m_unit->m_steeringFlags &= ~CUnit::kT_PathPending;
}

void CGotoPositionOrder::LeaveQueue() {
    if (!m_registered || !m_unit) return;
    if (CWorldGrid* grid = Grid(m_unit)) grid->ReleasePathRequest(m_unit->m_objectId);
    m_registered = 0;
}

void CGotoPositionOrder::Send(const CWaypointList& list) {
    Orders_SendWaypointList(m_unit, list, m_target[1]);
}

void CGotoPositionOrder::ResumeSearch(bool wayComing, bool queued) {
    CUnit* u = m_unit;
    m_registered = 0;
    if (!u || m_step == kStart || (u->m_steeringFlags & CUnit::kT_PathReceived)) return;
    const bool here = SearchesHere(u);
    if (m_step == kCache || m_step == kSearch) {
        m_step = here ? kCache : kFollow;
        m_registered = here && queued ? 1 : 0;
    } else if (m_step == kFollow && !wayComing && here) {
        m_step = kCache;
    }
}

bool CGotoPositionOrder::Execute() {
    CUnit* u = m_unit;
    if (!(u->m_unitState & CUnit::kU_Mobile)) return false;
    CWorldGrid* grid = Grid(m_unit);
    const CUnitTemplate* t = u->UnitTemplate();
    const bool flies = t && (t->m_classMask & kClassUnit) && t->m_flying;
    for (;;) {
        const bool received = (u->m_steeringFlags & CUnit::kT_PathReceived) != 0;
        switch (m_step) {
            case kStart: {
                // The goal is a free spot near the point, clear of what is
                // not a unit.
                const float factor = u->DoubleSearchRadius() ? 2.0f : 1.0f;
                float x, z;
                if (!flies && grid) {
                    if (grid->m_layer[0].FindFreeSpotNoUnits(factor * u->m_objectRadius, m_target[0],
                                                             m_target[2], x, z)) {
                        m_target[0] = x;
                        m_target[2] = z;
                    }
                    // A point inside a building (a unit that stands on the
                    // ground, which the spot above passes over) is taken to
                    // the nearest place the unit can stand.
                    if (grid->NearestStandingPoint(u->GridClearance(), m_target[0], m_target[2],
                                                   CWorldGridLayer::kFreeSpotReach, x, z)) {
                        m_target[0] = x;
                        m_target[2] = z;
                    }
                }
                u->m_steeringFlags &= ~CUnit::kT_PathReceived;
                ++u->m_pathWord;  // the number of this request
                for (int i = 0; i < 3; ++i) u->m_gotoDestination[i] = m_target[i];
                CWaypointList* path = u->m_waypoints;
                const CWaypointPoint* tail = path->Tail();
                u->m_gridFlags |= CUnit::kG_Moving;
                u->m_motionFlags &= ~CUnit::kM_Arrived;
                if (tail && Distance2D(tail->x, tail->z, m_target[0], m_target[2]) < 0.5f) {
                    // The way the unit has already ends there.
                    u->m_steeringFlags = static_cast<uint8_t>((u->m_steeringFlags | CUnit::kT_PathReady) &
                                                              ~CUnit::kT_PathPending);
                    m_finished = 1;
                    return false;
                }
                path->Clear();
                path->PushFrontPoint(m_target);
                path->First();
                u->m_steeringFlags &= ~CUnit::kT_PathReady;
                if (flies) {
                    u->m_steeringFlags =
                        static_cast<uint8_t>((u->m_steeringFlags | CUnit::kT_PathReady | CUnit::kT_Direct) &
                                             ~CUnit::kT_PathPending);
                    return false;
                }
                u->m_steeringFlags |= CUnit::kT_PathPending;
                m_step = SearchesHere(u) ? kCache : kFollow;
                continue;
            }
            case kCache: {
                if (received || !grid) {
                    m_step = kFollow;
                    continue;
                }
                const int radius = u->GridClearance();
                const uint64_t now = u->World()->Clock().GameTime();
                const int32_t ownerId = u->m_owner ? u->m_owner->m_ownerId : -1;
                const float d = Distance2D(u->m_position[0], u->m_position[2], m_target[0], m_target[2]);
                if (!u->DoubleSearchRadius() && d > kCacheDistance) {
                    int ux, uy, tx, ty;
                    grid->FineCellOf(u->m_position[0], u->m_position[2], ux, uy);
                    grid->FineCellOf(m_target[0], m_target[2], tx, ty);
                    CWaypointList cached;
                    if (grid->FindCachedPath(radius, now, ux, uy, tx, ty, ownerId, cached) &&
                        CachedWayFits(*grid, *u, cached)) {
                        Send(cached);
                        LeaveQueue();
                        m_step = kFollow;
                        continue;
                    }
                }
                if (!m_registered) {
                    grid->AddRequester(u->m_objectId);
                    m_registered = 1;
                }
                if (grid->HeadRequester() != u->m_objectId) return true;
                grid->m_pathOwner = u->m_objectId;
                m_step = kSearch;
                continue;
            }
            case kSearch: {
                if (received || !grid) {
                    LeaveQueue();
                    m_step = kFollow;
                    continue;
                }
                const float d = Distance2D(u->m_position[0], u->m_position[2], m_target[0], m_target[2]);
                const CPathCosts* costs = u->m_owner ? u->m_owner->m_pathCosts : nullptr;
                std::unique_ptr<CWaypointList> list;
                if (!grid->FindPath(*u, m_target[0], m_target[1], m_target[2], kSliceBudgetMs,
                                    Math_RoundToInt(d) / 20 + 5, list, costs))
                    return true;
                if (list->Count() > 0)
                    grid->StorePath(u->GridClearance(), u->World()->Clock().GameTime(), *list,
                                    u->m_owner ? u->m_owner->m_ownerId : -1);
                Send(*list);
                LeaveQueue();
                m_step = kFollow;
                continue;
            }
            case kFollow:
                LeaveQueue();
                if (!received) return true;
                // The way has come (on every machine in the same frame): the
                // unit drives on it.
                u->m_steeringFlags |= CUnit::kT_PathReady;
                if (u->m_waypoints) u->m_waypoints->First();
                m_finished = 1;
                return false;
            default:
                return true;
        }
    }
}

// ---- go to object, patrol

bool CGoToObjectOrder::Execute() {
    CTessarakObject* target = m_targetLink.Get();
    if (!target) return false;
    if (m_step) return true;
    m_unit->m_steeringFlags |= CUnit::kT_Direct;
    RunOnce(new CMoveOrder(this, nullptr, m_unit, target->m_position[0], target->m_position[2], 0));
    m_step = 1;
    return true;
}

bool CPatrolOrder::Execute() {
    m_finished = 1;
    return true;
}

// ---- repair

bool CRepairOrder::Execute() {
    CTessarakObject* target = m_targetLink.Get();
    const uint8_t needed = CUnit::kU_Builder | CUnit::kU_Mobile;
    if (!target || (m_unit->m_unitState & needed) != needed) return false;
    if (m_step == 0) {
        m_step = 1;
        RunOnce(CBuildOrder::ConstructOn(this, nullptr, target));
        return true;
    }
    if (m_step == 1) return m_firstChild != nullptr;
    return true;
}

// ---- tow

CTowOrder::~CTowOrder() {
    if (IsRunning()) m_unit->m_motionFlags |= CUnit::kM_Arrived;
}

bool CTowOrder::Execute() {
    CTessarakObject* target = m_targetLink.Get();
    CUnit* u = m_unit;
    if (!target || !target->IsUnit() || !(u->m_unitState & CUnit::kU_Tow)) return false;
    CPhysicsEngine* physics = u->Physics();
    if (!physics) return false;
    CUnit* towed = static_cast<CUnit*>(target);
    const float reach = physics->m_touchMargin + u->m_objectRadius + target->m_objectRadius;
    const float d =
        Distance2D(u->m_position[0], u->m_position[2], target->m_position[0], target->m_position[2]);
    if (m_step == 0) {
        physics->ReleaseLinksTo(u);
        m_step = 1;
        if (d >= reach) {
            if (!(u->m_unitState & CUnit::kU_Mobile)) return false;
            const CUnitTemplate* t = u->UnitTemplate();
            const float towDistance = t && (t->m_classMask & kClassUnit) ? t->m_towDistance : 0.0f;
            float distance = d < towDistance - 1.0f ? d : towDistance - 1.0f;
            float at[3];
            PointToward(target->m_position, u->m_position, distance, 0.0f, at);
            RunOnce(new CMoveOrder(this, nullptr, u, at[0], at[2], 0));
            return true;
        }
    }
    if (d < reach) {
        physics->AttachTowCable(u, towed);
        return false;
    }
    return m_firstChild != nullptr;
}

// ---- guard

CGuardOrder::~CGuardOrder() {
    if (IsRunning()) ResetBuildState(m_unit);
}

bool CGuardOrder::Execute() {
    CUnit* u = m_unit;
    m_finished = 1;
    CTessarakObject* guarded = m_targetLink.Get();
    if (!guarded || !guarded->IsUnit()) {
        ResetBuildState(u);
        return false;
    }
    CUnit* g = static_cast<CUnit*>(guarded);
    CUnitOrder* theirs = g->m_runningOrder;
    // A guard of a guard guards what that one guards.
    if (theirs && theirs->m_type == kGuard) {
        m_targetLink.Set(static_cast<CGuardOrder*>(theirs)->m_targetLink.Get());
        return true;
    }
    if (m_step) return true;
    const float d = Distance2D(u->m_position[0], u->m_position[2], g->m_position[0], g->m_position[2]);
    CUnitOrder* child = m_lastChild;
    if (child || d < u->m_guardDistance) {
        // 1. Nothing to build with the guarded unit: the builder stops.
        if (!g->m_buildTarget && !(child && (child->m_type & kRepair))) ResetBuildState(u);
        // 2. What it does now decides what this unit does; a move or a repair
        // of this unit's own runs to its end.
        const bool keeps = child && (child->m_type & (kRepair | kMove));
        if (!theirs) {
            if (child) {
                if (keeps) return true;
                DeleteChildren();
                m_lastSeenId = 0;
            }
        } else if (theirs->m_orderId != m_lastSeenId) {
            m_lastSeenId = theirs->m_orderId;
            if (keeps) return true;
            DeleteChildren();
        }
        // 3. A damaged guarded unit is repaired.
        const CTessarakObjectTemplate* gt = g->m_template;
        if ((u->m_unitState & CUnit::kU_Builder) && !m_firstChild && gt && g->m_power < gt->m_power) {
            CRepairOrder* repair = new CRepairOrder(this, nullptr, u);
            repair->m_targetLink.Set(g);
        }
        // 4. The guarded unit's work is joined.
        if (!m_firstChild && theirs) {
            const CUnitTemplate* t = u->UnitTemplate();
            if (theirs->m_type == kAttack && (u->m_unitState & CUnit::kU_Armed)) {
                const CAttackOrder* a = static_cast<const CAttackOrder*>(theirs);
                CAttackOrder* join = new CAttackOrder(this, nullptr, u, a->m_ground);
                if (a->m_ground)
                    for (int i = 0; i < 3; ++i) join->m_destination[i] = a->m_destination[i];
                else
                    join->m_targetLink.Set(a->m_targetLink.Get());
                RunOnce(join);
            } else if ((theirs->m_type & (kProduce | kConstruct)) && (u->m_unitState & CUnit::kU_Builder) &&
                       t && (t->m_classMask & kClassUnit) && t->m_buildMethod != CUnitTemplate::kBuildNone &&
                       g->m_buildTarget) {
                RunOnce(CBuildOrder::ConstructOn(this, nullptr, g->m_buildTarget.Get()));
            } else if (theirs->m_type == kTow && (u->m_unitState & CUnit::kU_Tow)) {
                CTowOrder* tow = new CTowOrder(this, nullptr, u);
                tow->m_targetLink.Set(static_cast<const CTowOrder*>(theirs)->m_targetLink.Get());
                RunOnce(tow);
            }
        }
        return true;
    }
    // Too far: back to a point inside the guard distance on the way.
    float at[3];
    PointToward(g->m_position, u->m_position, u->m_guardDistance - 1.0f, 0.0f, at);
    RunOnce(new CMoveOrder(this, nullptr, u, at[0], at[2], 0));
    return true;
}
