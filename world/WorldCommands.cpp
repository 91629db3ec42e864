#include "core/Determinism.h"
// The lockstep guard comes first in every simulation source.
//
// The world-space order interface (world/WorldCommands.h). What a command
// makes of the selection and the queues: what was picked, the order left
// pending, the queue mode and what the local player sees of the point's
// cell decide which.
#include <algorithm>
#include <vector>

#include "core/LittleEndian.h"
#include "world/GameMessages.h"
#include "world/GameScene.h"
#include "world/GridMember.h"
#include "world/ObjectTemplate.h"
#include "world/Player.h"
#include "world/TessarakObject.h"
#include "world/Unit.h"
#include "world/UnitOrder.h"
#include "world/World.h"
#include "world/WorldCommands.h"
#include "world/WorldGrid.h"

namespace {

bool Selected(const CTessarakObject* o) {
    return (o->m_stateA & CTessarakObject::kA_Selected) != 0;
}

// A unit the player can command: complete and selected.
bool Commandable(const CUnit* u) {
    return u->IsComplete() && Selected(u);
}

bool InternalBuilder(const CUnit* u) {
    const CUnitTemplate* t = u->UnitTemplate();
    return t && (t->m_classMask & kClassUnit) && t->m_buildMethod == CUnitTemplate::kBuildInternal;
}

// Every queued order but the running one goes, without a message; a factory
// that builds inside itself keeps its build orders.
void DeleteQueued(CUnit* u) {
    COrderList* list = u->m_orderList;
    if (!InternalBuilder(u)) {
        list->RemoveQueued();
        return;
    }
    for (CUnitOrder* o = list->FirstChild(); o;) {
        CUnitOrder* next = o->Next();
        if (o != u->m_runningOrder && !(o->m_type & CUnitOrder::kProduce)) delete o;
        o = next;
    }
}

// The unit's orders are cleared: every order but the running one goes and
// the order-list reset is sent; a factory that builds inside itself keeps
// its build orders, and sends the reset only when it runs something else.
void ClearOrders(CUnit* u) {
    if (!InternalBuilder(u)) {
        u->m_orderList->RemoveAll();
        return;
    }
    DeleteQueued(u);
    CUnitOrder* running = u->m_runningOrder;
    if (running && !(running->m_type & CUnitOrder::kProduce)) u->m_orderList->SendReset();
}

// A move to (x, 0, z) at the back of the unit's queue: given at once, or,
// with the queue mode, appended unsent for the queue to send in turn.
void MoveUnit(CUnit* u, float x, float z, bool queued) {
    if (!queued) {
        DeleteQueued(u);
        u->AddMoveOrder(x, z, 0);
        return;
    }
    u->QueueMoveOrder(x, z, 0);
}

template <class T>
T* TargetOrder(CUnit* u, CTessarakObject* target) {
    T* order = new T(u->m_orderList, nullptr, u);
    order->m_targetLink.Set(target);
    return order;
}

// The order's target and destination (x, 0, z).
CUnitOrder* AtPoint(CUnitOrder* order, float x, float z) {
    order->m_target[0] = order->m_destination[0] = x;
    order->m_target[2] = order->m_destination[2] = z;
    return order;
}

// ---- one unit's part of each order (the selection's and a named unit's)

// An attack on the object, or on the ground point when there is none.
bool GiveAttack(CUnit* u, CTessarakObject* target, float x, float z, bool queued) {
    const CUnitTemplate* t = u->UnitTemplate();
    const bool nuke = t && (t->m_classMask & kClassUnit) && t->m_warpNuke;
    if (!(u->m_unitState & CUnit::kU_Armed) && !nuke) return false;
    if (!queued) ClearOrders(u);
    if (target) {
        CAttackOrder* attack = new CAttackOrder(u->m_orderList, nullptr, u, 0);
        attack->m_targetLink.Set(target);
    } else {
        AtPoint(new CAttackOrder(u->m_orderList, nullptr, u, 1), x, z);
    }
    return true;
}

// A harvest of the field, by a unit that can hold resources.
bool GiveHarvest(CUnit* u, CTessarakObject* field, bool queued) {
    const CUnitTemplate* t = u->UnitTemplate();
    if (!t || !(t->m_classMask & kClassUnit) || !(t->m_maxResourcesHeld > 0.0f)) return false;
    if (!queued) u->m_orderList->RemoveAll();
    CHarvestOrder* harvest = new CHarvestOrder(u->m_orderList, nullptr, u);
    AtPoint(harvest, field->m_position[0], field->m_position[2]);
    harvest->m_resource.Set(field);
    return true;
}

// A patrol to (x, z): a mobile unit patrols from where it stands, the new
// point just before the last patrol point of its last patrol command; a
// structure's is its rally point.
bool GivePatrol(CUnit* u, float x, float z, bool queued) {
    if ((u->m_gridFlags & CUnit::kG_Blocked) || InternalBuilder(u)) return false;
    bool hasPatrol = false;
    for (CUnitOrder* o = u->m_orderList->FirstChild(); o && !hasPatrol; o = o->Next())
        hasPatrol = o->m_type == CUnitOrder::kPatrol;
    if (hasPatrol && queued) return false;
    const bool mobile = (u->m_unitState & CUnit::kU_Mobile) != 0;
    const bool empty = u->m_orderList->ChildCount() == 0;
    if (mobile) {
        if (!queued) ClearOrders(u);
        CPatrolOrder* first = new CPatrolOrder(u->m_orderList, nullptr, u);
        AtPoint(first, u->m_position[0], u->m_position[2])->m_issuedHere = 1;
        u->m_lastPatrolPoint = first;
    } else if (empty && !queued) {
        ClearOrders(u);
    }
    if (!mobile && (!queued || empty)) {
        // A structure's rally point.
        if (!queued) DeleteQueued(u);
        AtPoint(new CMoveOrder(u->m_orderList, nullptr, u, x, z, 0), x, z)->m_issuedHere = 1;
        return true;
    }
    // The new point runs just before the last patrol point of the last
    // patrol command (at the queue's back when that order is gone).
    CUnitOrder* last = u->m_lastPatrolPoint;
    bool alive = false;
    for (CUnitOrder* o = u->m_orderList->FirstChild(); o && !alive; o = o->Next()) alive = o == last;
    CPatrolOrder* point = new CPatrolOrder(u->m_orderList, alive ? last->Prev() : nullptr, u);
    AtPoint(point, x, z)->m_issuedHere = 1;
    u->m_lastPatrolPoint = point;
    return true;
}

// A tow of a structure, or of a grid member that is no unit, by a towing unit.
bool GiveTow(CUnit* u, CTessarakObject* target, bool queued) {
    if (!queued) ClearOrders(u);
    if (!target || target == u || !(u->m_unitState & CUnit::kU_Tow)) return false;
    const bool towable = target->IsUnit() ? !(static_cast<CUnit*>(target)->m_unitState & CUnit::kU_Mobile)
                                          : target->IsGridMember();
    if (towable) TargetOrder<CTowOrder>(u, target);
    return towable;
}

// What the command's acknowledgement is.
enum EAck { kAckNone, kAckMove, kAckAttack, kAckHarvest };

// The steps of the square spiral that spreads a group around its goal.
constexpr int8_t kSpiral[22][2] = {{0, 0},  {1, 0},  {0, 1},  {-1, 0}, {-1, 0}, {0, -1}, {0, -1}, {1, 0},
                                   {1, 0},  {1, 0},  {0, 1},  {0, 1},  {0, 1},  {-1, 0}, {-1, 0}, {-1, 0},
                                   {-1, 0}, {0, -1}, {0, -1}, {0, -1}, {0, -1}, {1, 0}};

// The queue mode of a command holds in the units' messages for its length.
class CQueueScope {
public:
    CQueueScope(CGameScene& scene, uint32_t modes) : m_scene(scene), m_was(scene.CommandQueued()) {
        scene.SetCommandQueued((modes & kCommandQueue) != 0);
    }
    ~CQueueScope() { m_scene.SetCommandQueued(m_was); }

private:
    CGameScene& m_scene;
    bool m_was;
};

}  // namespace

CWorldCommands::CWorldCommands(CWorld& world) : m_world(world) {}

CTessarakObject* CWorldCommands::ObjectOf(int32_t id) const {
    if (id < 0) return nullptr;
    CTessarakObject* o = m_world.Scene().m_idTable.Find(id);
    return o && !o->IsReleased() ? o : nullptr;
}

CUnit* CWorldCommands::UnitOf(int32_t id) const {
    CTessarakObject* o = ObjectOf(id);
    CUnit* u = o && o->IsUnit() ? static_cast<CUnit*>(o) : nullptr;
    return u && u->IsComplete() && u->m_orderList ? u : nullptr;
}

// The end of every command that changed the selection or gave orders: what
// is selected goes back to the interface, and the first selected unit of the
// list acknowledges at the command's point: with its Move sounds for a
// movement or a command on no object (other than a harvest), its Attack
// sounds for an attack, else its Clicked sounds.
SCommandResult CWorldCommands::Selection() const {
    SCommandResult result;
    for (CUnit* u = m_world.Scene().m_units; u; u = u->m_unitNext)
        if (Selected(u)) {
            result.singleUnit = result.selected == 0 ? u->m_objectId : -1;
            ++result.selected;
        }
    return result;
}

SCommandResult CWorldCommands::Finish(float x, float z, int ack, bool objectClicked) {
    SCommandResult result = Selection();
    result.refresh = true;
    CUnit* first = nullptr;
    for (CUnit* u = m_world.Scene().m_units; u && !first; u = u->m_unitNext)
        if (Selected(u)) first = u;
    const CUnitTemplate* t = first ? first->UnitTemplate() : nullptr;
    if (!t || !(t->m_classMask & kClassUnit)) return result;
    CUnitTemplate::ESound sound = CUnitTemplate::kClicked;
    if (ack == kAckMove || (!objectClicked && ack != kAckHarvest))
        sound = CUnitTemplate::kMove;
    else if (ack == kAckAttack)
        sound = CUnitTemplate::kAttack;
    const SSoundSet& set = t->m_sounds[sound];
    first->PlaySoundAt(set, static_cast<int>(set.m_samples.size()), x, z);
    return result;
}

// ---- the selection

SCommandResult CWorldCommands::Box(const std::vector<int32_t>& inside, bool radar, float x, float z,
                                   uint32_t modes) {
    CGameScene& scene = m_world.Scene();
    CPlayer* local = scene.LocalPlayer();
    const bool queued = (modes & kCommandQueue) != 0;
    std::vector<CUnit*> units;
    for (int32_t id : inside) {
        CTessarakObject* o = ObjectOf(id);
        if (o && o->IsUnit() && static_cast<CUnit*>(o)->IsComplete()) units.push_back(static_cast<CUnit*>(o));
    }
    auto isInside = [&](const CUnit* u) { return std::find(units.begin(), units.end(), u) != units.end(); };
    SCommandResult unchanged;
    if (scene.m_controlType == 1) {
        bool allowed = false;
        for (CUnit* u = scene.m_units; u && !allowed; u = u->m_unitNext)
            allowed = local && local->IsAlliedWith(u->m_owner) && isInside(u);
        if (!allowed) return unchanged;
    }
    CQueueScope scope(scene, modes);
    int32_t selected = 0;
    if (!radar) {
        if (!queued) scene.BroadcastMessage(kClassUnit, CTessarakObject::kMsgDeselect, 0);
        for (CUnit* u = scene.m_units; u; u = u->m_unitNext)
            if (u->m_owner == local && isInside(u)) {
                u->HandleMessage(CTessarakObject::kMsgSelect, 0);
                ++selected;
            }
    } else {
        for (CUnit* u = scene.m_units; u; u = u->m_unitNext) {
            if (!u->IsComplete()) continue;
            if (isInside(u) && u->m_owner == local) {
                u->HandleMessage(CTessarakObject::kMsgSelect, 0);
                ++selected;
            } else if (!queued) {
                u->HandleMessage(CTessarakObject::kMsgDeselect, 0);
            }
        }
    }
    if (scene.m_majoritySelection && selected > 1 && !queued) scene.FilterSelection();
    return Finish(x, z, kAckNone, selected > 0);
}

SCommandResult CWorldCommands::SelectUnits(const std::vector<int32_t>& ids) {
    CPlayer* local = m_world.Scene().LocalPlayer();
    for (int32_t id : ids) {
        CTessarakObject* o = ObjectOf(id);
        if (o && o->IsUnit() && local && o->m_owner == local && static_cast<CUnit*>(o)->IsComplete())
            o->HandleMessage(CTessarakObject::kMsgSelect, 0);
    }
    return Selection();
}

SCommandResult CWorldCommands::SelectAll() {
    CGameScene& scene = m_world.Scene();
    CPlayer* local = scene.LocalPlayer();
    for (CUnit* u = scene.m_units; u; u = u->m_unitNext)
        if (local && u->m_owner == local && !Selected(u)) u->HandleMessage(CTessarakObject::kMsgSelect, 0);
    return Selection();
}

void CWorldCommands::DeselectAll() {
    m_world.Scene().BroadcastMessage(kClassObject, CTessarakObject::kMsgDeselect, 0);
}

void CWorldCommands::SelectInLayer(const std::vector<int32_t>& inside, uint32_t modes) {
    CGameScene& scene = m_world.Scene();
    const bool queued = (modes & kCommandQueue) != 0;
    for (CTessarakObject* o = scene.m_allObjects; o; o = o->m_allNext) {
        if (o->m_layer != scene.m_editLayer) continue;
        if (std::find(inside.begin(), inside.end(), o->m_objectId) != inside.end() && o->m_objectId >= 0)
            o->m_stateA |= CTessarakObject::kA_Selected;
        else if (!queued)
            o->m_stateA &= ~CTessarakObject::kA_Selected;
    }
}

void CWorldCommands::AssignGroup(int32_t group) {
    if (group <= 0 || group >= CGameScene::kGroupLists) return;
    m_world.Scene().BroadcastMessage(kClassUnit, CUnit::kMsgGroupAssign, group);
}

void CWorldCommands::SelectGroup(int32_t group, uint32_t modes) {
    if (group <= 0 || group >= CGameScene::kGroupLists) return;
    CQueueScope scope(m_world.Scene(), modes);
    m_world.Scene().BroadcastMessage(kClassUnit, CUnit::kMsgGroupSelect, group);
}

void CWorldCommands::JoinGroup(int32_t group) {
    if (group <= 0 || group >= CGameScene::kGroupLists) return;
    m_world.Scene().BroadcastMessage(kClassUnit, CUnit::kMsgGroupJoin, group);
}

SCommandResult CWorldCommands::SelectSameTemplates() {
    CGameScene& scene = m_world.Scene();
    CPlayer* local = scene.LocalPlayer();
    std::vector<const CTessarakObjectTemplate*> kinds;
    for (CUnit* u = scene.m_units; u; u = u->m_unitNext)
        if (Selected(u) && std::find(kinds.begin(), kinds.end(), u->m_template) == kinds.end())
            kinds.push_back(u->m_template);
    for (CUnit* u = scene.m_units; u; u = u->m_unitNext)
        if (local && u->m_owner == local && !Selected(u) &&
            std::find(kinds.begin(), kinds.end(), u->m_template) != kinds.end())
            u->HandleMessage(CTessarakObject::kMsgSelect, 0);
    return Selection();
}

// ---- the selection's group orders

bool CWorldCommands::HarvestSelected(int32_t field, uint32_t modes) {
    CTessarakObject* target = ObjectOf(field);
    if (!target) return false;
    const bool queued = (modes & kCommandQueue) != 0;
    bool any = false;
    for (CUnit* u = m_world.Scene().m_units; u; u = u->m_unitNext)
        if (Selected(u)) any = GiveHarvest(u, target, queued) || any;
    return any;
}

bool CWorldCommands::RepairSelected(int32_t target, uint32_t modes) {
    CTessarakObject* object = ObjectOf(target);
    const bool queued = (modes & kCommandQueue) != 0;
    for (CUnit* u = m_world.Scene().m_units; u; u = u->m_unitNext) {
        if (!Selected(u)) continue;
        if (!queued) u->m_orderList->RemoveAll();
        TargetOrder<CRepairOrder>(u, object);
    }
    return true;
}

bool CWorldCommands::MoveSelected(float x, float z, uint32_t modes) {
    std::vector<CUnit*> units;
    for (CUnit* u = m_world.Scene().m_units; u; u = u->m_unitNext)
        if (Selected(u) && (u->m_unitState & CUnit::kU_Mobile)) units.push_back(u);
    const bool queued = (modes & kCommandQueue) != 0;
    if (modes & kCommandDirect) {
        for (CUnit* u : units) {
            if (!queued) DeleteQueued(u);
            u->AddMoveOrder(x, z, 0);
        }
        return true;
    }
    if (modes & kCommandFormation) {
        if (units.empty()) return false;
        float minX = 10000.0f, maxX = -10000.0f, minZ = 10000.0f, maxZ = -10000.0f;
        for (CUnit* u : units) {
            minX = std::min(minX, u->m_position[0]);
            maxX = std::max(maxX, u->m_position[0]);
            minZ = std::min(minZ, u->m_position[2]);
            maxZ = std::max(maxZ, u->m_position[2]);
        }
        const float halfW = (maxX - minX) * 0.5f, halfD = (maxZ - minZ) * 0.5f;
        for (CUnit* u : units)
            MoveUnit(u, x - halfW + u->m_position[0] - minX, z - halfD + u->m_position[2] - minZ, queued);
        return true;
    }
    if (units.empty()) return true;
    // Nearest to the group's centre first (a pass swaps one pair out of
    // order and starts again: the result is the stable order by distance).
    float cx = 0.0f, cz = 0.0f;
    for (CUnit* u : units) {
        cx += u->m_position[0];
        cz += u->m_position[2];
    }
    cx /= static_cast<float>(units.size());
    cz /= static_cast<float>(units.size());
    std::stable_sort(units.begin(), units.end(), [cx, cz](const CUnit* a, const CUnit* b) {
        return DistanceSquared2D(cx, cz, a->m_position[0], a->m_position[2]) <
               DistanceSquared2D(cx, cz, b->m_position[0], b->m_position[2]);
    });
    float px = x, pz = z, previous = 0.0f;
    for (size_t i = 0; i < units.size(); ++i) {
        CUnit* u = units[i];
        const int step = static_cast<int>(i % 22);
        const float spacing = (previous + u->m_objectRadius) * 0.2f;
        px += static_cast<float>(kSpiral[step][0]) * spacing;
        pz += static_cast<float>(kSpiral[step][1]) * spacing;
        if (i == 22) px = x, pz = z;
        previous = u->m_objectRadius;
        // With the queue mode the move goes behind what the unit has (as
        // the other moves do), not in place of its running order.
        MoveUnit(u, px, pz, queued);
    }
    return true;
}

// ---- the click

SCommandResult CWorldCommands::Point(const SPointCommand& c) {
    CGameScene& scene = m_world.Scene();
    CWorldGrid& grid = m_world.Grid();
    CPlayer* local = scene.LocalPlayer();
    const bool queued = (c.modes & kCommandQueue) != 0;
    CQueueScope scope(scene, c.modes);
    SCommandResult outside;
    outside.done = false;
    if (c.x < static_cast<float>(grid.m_x1) || c.x > static_cast<float>(grid.m_x2) ||
        c.z < static_cast<float>(grid.m_y2) || c.z > static_cast<float>(grid.m_y1))
        return outside;

    EAck ack = kAckNone;
    CTessarakObject* picked = ObjectOf(c.target);
    const bool objectClicked = picked != nullptr;
    const bool fogged = grid.IsCellUnder200(c.x, c.z);
    const bool hidden = grid.IsCellUnder120(c.x, c.z);
    const uint32_t pending = c.order;
    uint32_t order = pending;
    bool applied = false;
    bool pendingTaken = false;
    if (c.kind == SPointCommand::kSelect && !pending) {
        SCommandResult nothing;
        if (!picked) return nothing;
        CUnit* unit = picked->IsUnit() ? static_cast<CUnit*>(picked) : nullptr;
        if (unit && unit->m_owner == local && unit->IsComplete()) {
            if (!queued) {
                scene.BroadcastMessage(kClassUnit, CTessarakObject::kMsgDeselect, 0);
                unit->HandleMessage(CTessarakObject::kMsgSelect, 0);
            } else if (Selected(unit)) {
                unit->HandleMessage(CTessarakObject::kMsgDeselect, 0);
                unit->m_group = 0;
            } else {
                unit->HandleMessage(CTessarakObject::kMsgSelect, 0);
            }
        }
    } else {
        if (!pending && ((c.kind == SPointCommand::kRightPress && c.overRadar) || fogged ||
                         c.kind == SPointCommand::kMove))
            order = CUnitOrder::kMove;
        const bool localTarget = picked && picked->m_owner == local;
        switch (order) {
            case CUnitOrder::kMove:
                applied = true;
                ack = kAckMove;
                for (CUnit* u = scene.m_units; u; u = u->m_unitNext)
                    if (Commandable(u)) MoveUnit(u, c.x, c.z, queued);
                break;
            case CUnitOrder::kAttack: {
                applied = true;
                ack = kAckAttack;
                const bool onObject = picked && ((!hidden && picked->IsUnit()) || !fogged);
                for (CUnit* u = scene.m_units; u; u = u->m_unitNext)
                    if (Commandable(u)) GiveAttack(u, onObject ? picked : nullptr, c.x, c.z, queued);
                break;
            }
            case CUnitOrder::kRepair:
            case CUnitOrder::kGuard:
                applied = true;
                ack = kAckMove;
                if (!localTarget) break;
                for (CUnit* u = scene.m_units; u; u = u->m_unitNext) {
                    if (!Commandable(u) || u == picked) continue;
                    if (!queued) ClearOrders(u);
                    if (order == CUnitOrder::kRepair)
                        TargetOrder<CRepairOrder>(u, picked);
                    else
                        TargetOrder<CGuardOrder>(u, picked);
                }
                break;
            case CUnitOrder::kPatrol:
                applied = true;
                ack = kAckMove;
                for (CUnit* u = scene.m_units; u; u = u->m_unitNext)
                    if (Commandable(u)) GivePatrol(u, c.x, c.z, queued);
                break;
            case CUnitOrder::kTow:
                applied = true;
                ack = kAckMove;
                for (CUnit* u = scene.m_units; u; u = u->m_unitNext)
                    if (Commandable(u)) GiveTow(u, picked, queued);
                break;
            default: {
                // The smart order: by what was clicked.
                if (!picked) break;
                CUnit* unit = picked->IsUnit() ? static_cast<CUnit*>(picked) : nullptr;
                const CUnitTemplate* ut = unit ? unit->UnitTemplate() : nullptr;
                if (ut && !(ut->m_classMask & kClassUnit)) ut = nullptr;
                // The neutral player counts as everyone's ally, but its units
                // (a map's outposts) are fought as the cursor says.
                const bool allied = unit && local && unit->m_owner && local->IsAlliedWith(unit->m_owner) &&
                                    !unit->m_owner->IsNeutral();
                if (unit && !allied) {
                    if (ut && ut->m_friendly) return SCommandResult();
                    scene.BroadcastMessage(kClassUnit, CUnit::kMsgAttack, reinterpret_cast<intptr_t>(picked));
                    ack = kAckAttack;
                } else if (unit && !unit->IsComplete()) {
                    for (CUnit* u = scene.m_units; u; u = u->m_unitNext) {
                        const CUnitTemplate* t = u->UnitTemplate();
                        if (Commandable(u) && (u->m_unitState & CUnit::kU_Builder) && t &&
                            t->m_buildMethod == CUnitTemplate::kBuildExternal && !queued)
                            ClearOrders(u);
                    }
                    scene.BroadcastMessage(kClassUnit, CUnit::kMsgHelpBuild,
                                           reinterpret_cast<intptr_t>(picked));
                    ack = kAckMove;
                } else if (unit && ut && ut->m_repairCaps) {
                    RepairSelected(picked->m_objectId, c.modes);
                    ack = kAckMove;
                } else if (unit) {
                    bool wentTo = false;
                    if (ut && ut->m_childUnit) {
                        for (CUnit* u = scene.m_units; u; u = u->m_unitNext) {
                            const CUnitTemplate* t = u->UnitTemplate();
                            if (!Selected(u) || !t || !(t->m_classMask & kClassUnit) || !t->m_harvestType ||
                                u->m_template != ut->m_childUnit)
                                continue;
                            u->m_orderList->RemoveAll();
                            CHarvestOrder* harvest = new CHarvestOrder(u->m_orderList, nullptr, u);
                            AtPoint(harvest, picked->m_position[0], picked->m_position[2]);
                            harvest->m_resource.Set(picked);
                            ack = kAckMove;
                        }
                    }
                    CTessarakObject* shownObject = ObjectOf(c.shownUnit);
                    CUnit* shown =
                        shownObject && shownObject->IsUnit() ? static_cast<CUnit*>(shownObject) : nullptr;
                    if ((unit->m_unitState & CUnit::kU_Warp) && scene.IsAnyUnitSelected() &&
                        !(shown && (shown->m_unitState & CUnit::kU_Warp))) {
                        scene.BroadcastMessage(kClassUnit, CUnit::kMsgGoToObject,
                                               reinterpret_cast<intptr_t>(picked));
                        wentTo = true;
                        ack = kAckMove;
                    }
                    if (!wentTo && c.kind != SPointCommand::kRightPress) {
                        if (!queued) scene.BroadcastMessage(kClassUnit, CTessarakObject::kMsgDeselect, 0);
                        unit->HandleMessage(CTessarakObject::kMsgSelect, 0);
                    }
                }
                if (picked->m_resourceType > 0 && HarvestSelected(picked->m_objectId, c.modes))
                    ack = kAckHarvest;
                break;
            }
        }
        pendingTaken = applied && !queued && pending != 0;
    }
    // A plain right click on the ground moves the selection.
    if (!applied && !picked && c.kind != SPointCommand::kSelect) {
        const bool moved = MoveSelected(c.x, c.z, c.modes);
        SCommandResult result = Finish(c.x, c.z, kAckMove, false);
        result.done = moved;
        return result;
    }
    SCommandResult result = Finish(c.x, c.z, ack, objectClicked);
    result.pendingTaken = pendingTaken;
    return result;
}

// ---- orders for named units

bool CWorldCommands::Move(const std::vector<int32_t>& units, float x, float z, uint32_t modes) {
    bool any = false;
    for (int32_t id : units)
        if (CUnit* u = UnitOf(id))
            if (u->m_unitState & (CUnit::kU_Mobile | CUnit::kU_Warp)) {
                MoveUnit(u, x, z, (modes & kCommandQueue) != 0);
                any = true;
            }
    return any;
}

bool CWorldCommands::Attack(const std::vector<int32_t>& units, int32_t target, uint32_t modes) {
    CTessarakObject* object = ObjectOf(target);
    if (!object) return false;
    bool any = false;
    for (int32_t id : units)
        if (CUnit* u = UnitOf(id))
            if (u != object) any = GiveAttack(u, object, 0.0f, 0.0f, (modes & kCommandQueue) != 0) || any;
    return any;
}

bool CWorldCommands::AttackGround(const std::vector<int32_t>& units, float x, float z, uint32_t modes) {
    bool any = false;
    for (int32_t id : units)
        if (CUnit* u = UnitOf(id)) any = GiveAttack(u, nullptr, x, z, (modes & kCommandQueue) != 0) || any;
    return any;
}

bool CWorldCommands::Harvest(const std::vector<int32_t>& units, int32_t field, uint32_t modes) {
    CTessarakObject* object = ObjectOf(field);
    if (!object || object->m_resourceType <= 0) return false;
    bool any = false;
    for (int32_t id : units)
        if (CUnit* u = UnitOf(id)) any = GiveHarvest(u, object, (modes & kCommandQueue) != 0) || any;
    return any;
}

// An order of class T on the target for each of the units but the target
// itself (behind their orders in the queue mode, else in their place).
template <class T>
bool CWorldCommands::TargetOrders(const std::vector<int32_t>& units, int32_t target, uint32_t modes) {
    CTessarakObject* object = ObjectOf(target);
    if (!object) return false;
    bool any = false;
    for (int32_t id : units)
        if (CUnit* u = UnitOf(id)) {
            if (u == object) continue;
            if (!(modes & kCommandQueue)) ClearOrders(u);
            TargetOrder<T>(u, object);
            any = true;
        }
    return any;
}

bool CWorldCommands::Repair(const std::vector<int32_t>& units, int32_t target, uint32_t modes) {
    return TargetOrders<CRepairOrder>(units, target, modes);
}

bool CWorldCommands::Guard(const std::vector<int32_t>& units, int32_t target, uint32_t modes) {
    return TargetOrders<CGuardOrder>(units, target, modes);
}

bool CWorldCommands::Patrol(const std::vector<int32_t>& units, float x, float z, uint32_t modes) {
    bool any = false;
    for (int32_t id : units)
        if (CUnit* u = UnitOf(id)) any = GivePatrol(u, x, z, (modes & kCommandQueue) != 0) || any;
    return any;
}

bool CWorldCommands::Tow(const std::vector<int32_t>& units, int32_t target, uint32_t modes) {
    CTessarakObject* object = ObjectOf(target);
    bool any = false;
    for (int32_t id : units)
        if (CUnit* u = UnitOf(id)) any = GiveTow(u, object, (modes & kCommandQueue) != 0) || any;
    return any;
}

bool CWorldCommands::HarvestAt(const std::vector<int32_t>& units, float x, float z, uint32_t modes) {
    bool any = false;
    for (int32_t id : units) {
        CUnit* u = UnitOf(id);
        const CUnitTemplate* t = u ? u->UnitTemplate() : nullptr;
        if (!t || !(t->m_maxResourcesHeld > 0.0f)) continue;
        if (!(modes & kCommandQueue)) u->m_orderList->RemoveAll();
        AtPoint(new CHarvestOrder(u->m_orderList, nullptr, u), x, z);
        any = true;
    }
    return any;
}

bool CWorldCommands::Stop(const std::vector<int32_t>& units) {
    bool any = false;
    for (int32_t id : units)
        if (CUnit* u = UnitOf(id)) {
            u->m_orderList->RemoveAll();
            any = true;
        }
    return any;
}

bool CWorldCommands::Kill(const std::vector<int32_t>& objects, bool remove) {
    bool any = false;
    for (int32_t id : objects)
        if (CTessarakObject* o = ObjectOf(id)) {
            // KILLUNIT: u32 object id, u32 command (0 destroy, else remove).
            uint8_t payload[8];
            LE_StoreU32(payload, static_cast<uint32_t>(id));
            LE_StoreU32(payload + 4, remove ? 1u : 0u);
            m_world.Sender().SendForPlayer(o->m_owner, NS_NOTIFYTYPE_KILLUNIT, payload, 8);
            any = true;
        }
    return any;
}

// One message per unit of the list: its id (u32) and the extra bytes.
bool CWorldCommands::SendForUnits(const std::vector<int32_t>& units, uint16_t type, const uint8_t* extra,
                                  int extraLength) {
    bool any = false;
    for (int32_t id : units) {
        CTessarakObject* o = ObjectOf(id);
        if (!o || !o->IsUnit()) continue;
        uint8_t payload[8];
        LE_StoreU32(payload, static_cast<uint32_t>(id));
        for (int i = 0; i < extraLength; ++i) payload[4 + i] = extra[i];
        m_world.Sender().SendForPlayer(o->m_owner, type, payload, 4 + extraLength);
        any = true;
    }
    return any;
}

bool CWorldCommands::SwitchOn(const std::vector<int32_t>& units, bool on) {
    return SendForUnits(units, on ? NS_NOTIFYTYPE_MODE_ON : NS_NOTIFYTYPE_MODE_OFF, nullptr, 0);
}

bool CWorldCommands::ReleaseTow(const std::vector<int32_t>& units) {
    return SendForUnits(units, NS_NOTIFYTYPE_UNIT_DISCONNECT, nullptr, 0);
}

bool CWorldCommands::Signal(const std::vector<int32_t>& units, int32_t signal) {
    if (signal < 0 || signal > 255) return false;
    const uint8_t value = static_cast<uint8_t>(signal);
    return SendForUnits(units, NS_NOTIFYTYPE_SIGNAL, &value, 1);
}

bool CWorldCommands::BuildAllowed(const CTessarakObjectTemplate* item) const {
    return !m_world.Scene().m_buildRestrictionMode || item->m_noBuildRestriction;
}

bool CWorldCommands::Build(int32_t builder, CTessarakObjectTemplate* structure, float x, float z,
                           uint32_t modes) {
    CUnit* u = UnitOf(builder);
    if (!u || !structure || !(u->m_unitState & CUnit::kU_Builder) || !BuildAllowed(structure)) return false;
    if (!(modes & kCommandQueue)) ClearOrders(u);
    CBuildOrder::ConstructAt(u->m_orderList, nullptr, structure, x, z);
    return true;
}

bool CWorldCommands::HelpBuild(int32_t builder, int32_t site, uint32_t modes) {
    CUnit* u = UnitOf(builder);
    CTessarakObject* target = ObjectOf(site);
    if (!u || !target || !(u->m_unitState & CUnit::kU_Builder) || !target->IsGridMember()) return false;
    if (!(modes & kCommandQueue)) ClearOrders(u);
    CBuildOrder::ConstructOn(u->m_orderList, nullptr, target);
    return true;
}

bool CWorldCommands::Produce(int32_t factory, CTessarakObjectTemplate* product, uint32_t repeat,
                             uint32_t modes) {
    CUnit* u = UnitOf(factory);
    if (!u || !product || !(u->m_unitState & CUnit::kU_Builder) || !BuildAllowed(product)) return false;
    if (!(modes & kCommandQueue)) DeleteQueued(u);
    CBuildOrder::Produce(u->m_orderList, nullptr, product, repeat);
    return true;
}

// ---- the map scripts' orders

bool CWorldCommands::ScriptControl(int32_t mapId) {
    bool any = false;
    for (CUnit* u = m_world.Scene().m_units; u; u = u->m_unitNext)
        if (u->m_mapId == mapId) {
            u->m_scriptControl = 1;
            any = true;
        }
    return any;
}

bool CWorldCommands::ScriptMove(int32_t mapId, float x, float y, float z, bool force) {
    bool any = false;
    for (CUnit* u = m_world.Scene().m_units; u; u = u->m_unitNext) {
        if (u->m_mapId != mapId || !u->m_orderList) continue;
        CMoveOrder* move = new CMoveOrder(u->m_orderList, nullptr, u, x, z, force ? 1 : 0);
        move->m_target[1] = move->m_destination[1] = y;
        move->m_issuedHere = 1;
        u->m_scriptControl = 1;
        any = true;
    }
    return any;
}

bool CWorldCommands::ScriptAttack(int32_t mapId, int32_t targetMapId) {
    CTessarakObject* target = nullptr;
    for (CTessarakObject* o = m_world.Scene().m_allObjects; o && !target; o = o->m_allNext)
        if (o->m_mapId == targetMapId && !o->Dying()) target = o;
    if (!target) return false;
    for (CUnit* u = m_world.Scene().m_units; u; u = u->m_unitNext) {
        if (u->m_mapId != mapId || !u->m_orderList || u == target || !(u->m_unitState & CUnit::kU_Armed))
            continue;
        CAttackOrder* attack = new CAttackOrder(u->m_orderList, nullptr, u, 0);
        attack->m_targetLink.Set(target);
        attack->m_issuedHere = 1;
        u->m_scriptControl = 1;
    }
    return true;
}

bool CWorldCommands::ScriptPatrol(int32_t mapId, float x, float z) {
    bool any = false;
    for (CUnit* u = m_world.Scene().m_units; u; u = u->m_unitNext) {
        if (u->m_mapId != mapId || !u->m_orderList) continue;
        CPatrolOrder* patrol = new CPatrolOrder(u->m_orderList, nullptr, u);
        AtPoint(patrol, x, z)->m_issuedHere = 1;
        u->m_scriptControl = 1;
        any = true;
    }
    return any;
}

bool CWorldCommands::SetScriptPoint(int32_t point, float x, float z) {
    if (point < 0 || point >= CGameScene::kScriptPoints) return false;
    m_world.Scene().SetScriptPoint(point, x, z, true);
    return true;
}

void CWorldCommands::RemoveScriptPoints() {
    m_world.Scene().SetScriptPoint(CGameScene::kScriptPoints, 0.0f, 0.0f, false);
}
