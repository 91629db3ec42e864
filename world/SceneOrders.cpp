#include "core/Determinism.h"
// The lockstep guard comes first in every simulation source.
//
// Orders from the mouse. One command of the mouse in the game view becomes
// selection changes and unit orders of the local player: what is under the
// cursor, the order a HUD button left pending, the queue modifier and what
// the local player sees of the cursor's cell decide which.
//
// Nothing here changes the simulation by itself. The orders it makes go into
// the units' queues unsent (or, for a move given at once, sent by
// CUnit::AddMoveOrder); the queue sends each as message 134 when its turn
// comes, and only the copy that comes back through the server's frame runs,
// on every machine in the same tick.
#include <algorithm>
#include <vector>

#include "e3d/Viewport.h"
#include "world/GameHost.h"
#include "world/GameScene.h"
#include "world/GridMember.h"
#include "world/InterfaceFields.h"
#include "world/Player.h"
#include "world/TessarakObject.h"
#include "world/Unit.h"
#include "world/UnitOrder.h"
#include "world/WorldGrid.h"

namespace {

bool Queued() {
    CGameHost* host = GameHost();
    return host && host->QueueModifier();
}

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
// with the queue modifier, appended unsent for the queue to send in turn.
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

// What the command's acknowledgement is.
enum EAck { kAckNone, kAckMove, kAckAttack, kAckHarvest };

// The end of every command that changed the selection or gave orders: the
// interface learns what is selected, and the first selected unit of the
// list acknowledges at the command's point: with its Move sounds for a
// movement or a command on no object (other than a harvest), its Attack
// sounds for an attack, else its Clicked sounds.
void FinishCommand(CGameScene* scene, float x, float z, EAck ack, bool objectClicked) {
    CGameHost* host = GameHost();
    SInterfaceFields* ui = host ? host->InterfaceFields() : nullptr;
    CUnit* first = nullptr;
    int32_t count = 0;
    for (CUnit* u = scene->m_units; u; u = u->m_unitNext)
        if (Selected(u)) {
            if (!first) first = u;
            ++count;
        }
    if (ui) {
        ui->m_anyUnitSelected = count > 0;
        if (count == 1)
            ui->m_singleUnit.Set(first);
        else
            ui->m_singleUnit.Clear();
        ui->m_forcedAction = 0;
        ui->m_selectionChanged = 1;
    }
    const CUnitTemplate* t = first ? first->UnitTemplate() : nullptr;
    if (!t || !(t->m_classMask & kClassUnit)) return;
    CUnitTemplate::ESound sound = CUnitTemplate::kClicked;
    if (ack == kAckMove || (!objectClicked && ack != kAckHarvest))
        sound = CUnitTemplate::kMove;
    else if (ack == kAckAttack)
        sound = CUnitTemplate::kAttack;
    const SSoundSet& set = t->m_sounds[sound];
    first->PlaySoundAt(set, static_cast<int>(set.m_samples.size()), x, z);
}

}  // namespace

// ---- the group orders

bool CGameScene::OrderSelectedToHarvest(CTessarakObject* target) {
    if (!target) return false;
    const bool queued = Queued();
    bool any = false;
    for (CUnit* u = m_units; u; u = u->m_unitNext) {
        const CUnitTemplate* t = u->UnitTemplate();
        if (!Selected(u) || !t || !(t->m_classMask & kClassUnit) || !(t->m_maxResourcesHeld > 0.0f)) continue;
        if (!queued) u->m_orderList->RemoveAll();
        CHarvestOrder* harvest = new CHarvestOrder(u->m_orderList, nullptr, u);
        AtPoint(harvest, target->m_position[0], target->m_position[2]);
        harvest->m_resource.Set(target);
        any = true;
    }
    return any;
}

bool CGameScene::OrderSelectedToRepair(CTessarakObject* target) {
    const bool queued = Queued();
    for (CUnit* u = m_units; u; u = u->m_unitNext) {
        if (!Selected(u)) continue;
        if (!queued) u->m_orderList->RemoveAll();
        TargetOrder<CRepairOrder>(u, target);
    }
    return true;
}

namespace {

// The steps of the square spiral that spreads a group around its goal.
constexpr int8_t kSpiral[22][2] = {{0, 0},  {1, 0},  {0, 1},  {-1, 0}, {-1, 0}, {0, -1}, {0, -1}, {1, 0},
                                   {1, 0},  {1, 0},  {0, 1},  {0, 1},  {0, 1},  {-1, 0}, {-1, 0}, {-1, 0},
                                   {-1, 0}, {0, -1}, {0, -1}, {0, -1}, {0, -1}, {1, 0}};

}  // namespace

bool CGameScene::OrderSelectedToMove(float x, float z) {
    CGameHost* host = GameHost();
    const bool queued = Queued();
    const bool direct = host && host->DirectMoveModifier();
    const bool formation = host && host->FormationModifier();
    std::vector<CUnit*> units;
    for (CUnit* u = m_units; u; u = u->m_unitNext)
        if (Selected(u) && (u->m_unitState & CUnit::kU_Mobile)) units.push_back(u);

    if (direct) {
        for (CUnit* u : units) {
            if (!queued) DeleteQueued(u);
            u->AddMoveOrder(x, z, 0);
        }
        return true;
    }
    if (formation) {
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
        if (!queued) DeleteQueued(u);
        u->AddMoveOrder(px, pz, 0);
    }
    return true;
}

// ---- the command

bool CGameScene::IssueOrder(float x1, float z1, float x2, float z2, int32_t left, int32_t top, int32_t right,
                            int32_t bottom, int32_t mode, uint8_t doubleClick) {
    CGameHost* host = GameHost();
    SInterfaceFields* ui = host ? host->InterfaceFields() : nullptr;
    CWorldGrid* grid = host ? host->WorldGrid() : nullptr;
    CPlayer* local = LocalPlayer();
    const bool queued = Queued();
    const int32_t cursorX = ui ? ui->m_cursorX : left, cursorY = ui ? ui->m_cursorY : top;

    // 1. A double click selects the units of the clicked unit's type on screen.
    if (doubleClick) {
        CTessarakObject* picked = PickObject(cursorX, cursorY);
        if (picked && picked->IsUnit()) SelectSameTypeOnScreen(picked);
        return true;
    }

    // 2. The map editor: the rectangle of the two ground points selects the
    // objects of the current layer.
    if (host && host->MapEditMode()) {
        int32_t a[2] = {0, 0}, b[2] = {0, 0};
        CE3DViewport* view = host->Viewport();
        if (view) {
            view->ProjectPoint(a, D3DVECTOR{x1, 0.0f, z1});
            view->ProjectPoint(b, D3DVECTOR{x2, 0.0f, z2});
        }
        const int32_t l = std::min(a[0], b[0]), r = std::max(a[0], b[0]);
        const int32_t t = std::min(a[1], b[1]), btm = std::max(a[1], b[1]);
        for (CTessarakObject* o = m_allObjects; o; o = o->m_allNext) {
            if (o->m_layer != m_editLayer) continue;
            int32_t p[2];
            const bool inside = ScreenPointOf(o, p) && l < p[0] && p[0] < r && t < p[1] && p[1] < btm;
            if (inside)
                o->m_stateA |= CTessarakObject::kA_Selected;
            else if (!queued)
                o->m_stateA &= ~CTessarakObject::kA_Selected;
        }
        return true;
    }

    EAck ack = kAckNone;
    bool objectClicked = false;
    const bool overRadar = ui && ui->m_overRadar;
    const uint32_t pending = ui ? ui->m_pendingOrder : 0;

    if (right - left >= 4 && bottom - top >= 4) {
        // 3. A drag: the units inside the rectangle.
        const bool radar = overRadar || (ui && ui->m_radarDrag);
        auto inside = [&](CUnit* u) {
            int32_t p[2];
            if (radar) {
                if (!grid || !ui) return false;
                int c = 0, row = 0;
                grid->m_cellMap.CellOf(u->m_position[0], u->m_position[2], c, row);
                p[0] = ui->m_radarOrigin[0] + c * ui->m_radarCellPixels;
                p[1] = ui->m_radarOrigin[1] + row * ui->m_radarCellPixels;
            } else if (!ScreenPointOf(u, p) || (u->m_flagsA & (kFrameHidden | kFrameQueued))) {
                return false;
            }
            return left < p[0] && p[0] < right && top < p[1] && p[1] < bottom;
        };
        bool allowed = true;
        if (m_controlType == 1) {
            allowed = false;
            for (CUnit* u = m_units; u && !allowed; u = u->m_unitNext)
                allowed = u->IsComplete() && local && local->IsAlliedWith(u->m_owner) && inside(u);
        }
        if (!allowed) return true;
        int32_t selected = 0;
        if (!radar) {
            if (!queued) BroadcastMessage(kClassUnit, CTessarakObject::kMsgDeselect, 0);
            for (CUnit* u = m_units; u; u = u->m_unitNext)
                if (u->IsComplete() && u->m_owner == local && inside(u)) {
                    u->HandleMessage(CTessarakObject::kMsgSelect, 0);
                    ++selected;
                }
        } else {
            for (CUnit* u = m_units; u; u = u->m_unitNext) {
                if (!u->IsComplete()) continue;
                if (inside(u) && u->m_owner == local) {
                    u->HandleMessage(CTessarakObject::kMsgSelect, 0);
                    ++selected;
                } else if (!queued) {
                    u->HandleMessage(CTessarakObject::kMsgDeselect, 0);
                }
            }
        }
        if (m_majoritySelection && selected > 1 && !queued) FilterSelection();
        objectClicked = selected > 0;
    } else {
        // 4. A click.
        if (grid && (x1 < static_cast<float>(grid->m_x1) || x1 > static_cast<float>(grid->m_x2) ||
                     z1 < static_cast<float>(grid->m_y2) || z1 > static_cast<float>(grid->m_y1)))
            return false;
        CTessarakObject* picked = PickObject(cursorX, cursorY);
        objectClicked = picked != nullptr;
        const bool fogged = grid ? grid->IsCellUnder200(x1, z1) : false;
        const bool hidden = grid ? grid->IsCellUnder120(x1, z1) : false;
        uint32_t order = pending;
        bool applied = false;
        if (mode == 1 && !pending) {
            if (!picked) return true;
            CUnit* unit = picked->IsUnit() ? static_cast<CUnit*>(picked) : nullptr;
            if (unit && unit->m_owner == local && unit->IsComplete()) {
                if (!queued) {
                    BroadcastMessage(kClassUnit, CTessarakObject::kMsgDeselect, 0);
                    unit->HandleMessage(CTessarakObject::kMsgSelect, 0);
                } else if (Selected(unit)) {
                    unit->HandleMessage(CTessarakObject::kMsgDeselect, 0);
                    unit->m_group = 0;
                } else {
                    unit->HandleMessage(CTessarakObject::kMsgSelect, 0);
                }
            }
        } else {
            if (!pending && ((mode == 2 && overRadar) || fogged || mode == 3)) order = CUnitOrder::kMove;
            const bool localTarget = picked && picked->m_owner == local;
            switch (order) {
                case CUnitOrder::kMove:
                    applied = true;
                    ack = kAckMove;
                    for (CUnit* u = m_units; u; u = u->m_unitNext)
                        if (Commandable(u)) MoveUnit(u, x1, z1, queued);
                    break;
                case CUnitOrder::kAttack: {
                    applied = true;
                    ack = kAckAttack;
                    const bool onObject = picked && ((!hidden && picked->IsUnit()) || !fogged);
                    for (CUnit* u = m_units; u; u = u->m_unitNext) {
                        if (!Commandable(u) || !(u->m_unitState & CUnit::kU_Armed)) continue;
                        if (!queued) ClearOrders(u);
                        if (onObject) {
                            CAttackOrder* attack = new CAttackOrder(u->m_orderList, nullptr, u, 0);
                            attack->m_targetLink.Set(picked);
                        } else {
                            AtPoint(new CAttackOrder(u->m_orderList, nullptr, u, 1), x1, z1);
                        }
                    }
                    break;
                }
                case CUnitOrder::kRepair:
                case CUnitOrder::kGuard:
                    applied = true;
                    ack = kAckMove;
                    if (!localTarget) break;
                    for (CUnit* u = m_units; u; u = u->m_unitNext) {
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
                    for (CUnit* u = m_units; u; u = u->m_unitNext) {
                        if (!Commandable(u) || (u->m_gridFlags & CUnit::kG_Blocked) || InternalBuilder(u))
                            continue;
                        bool hasPatrol = false;
                        for (CUnitOrder* o = u->m_orderList->FirstChild(); o && !hasPatrol; o = o->Next())
                            hasPatrol = o->m_type == CUnitOrder::kPatrol;
                        if (hasPatrol && queued) continue;
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
                            AtPoint(new CMoveOrder(u->m_orderList, nullptr, u, x1, z1, 0), x1, z1)
                                ->m_issuedHere = 1;
                            continue;
                        }
                        // The new point runs just before the last patrol point
                        // of the last patrol command (at the queue's back when
                        // that order is gone).
                        CUnitOrder* last = u->m_lastPatrolPoint;
                        bool alive = false;
                        for (CUnitOrder* o = u->m_orderList->FirstChild(); o && !alive; o = o->Next())
                            alive = o == last;
                        CPatrolOrder* point =
                            new CPatrolOrder(u->m_orderList, alive ? last->Prev() : nullptr, u);
                        AtPoint(point, x1, z1)->m_issuedHere = 1;
                        u->m_lastPatrolPoint = point;
                    }
                    break;
                case CUnitOrder::kTow:
                    applied = true;
                    ack = kAckMove;
                    for (CUnit* u = m_units; u; u = u->m_unitNext) {
                        if (!Commandable(u)) continue;
                        if (!queued) ClearOrders(u);
                        if (!picked || picked == u || !(u->m_unitState & CUnit::kU_Tow)) continue;
                        const bool towable =
                            picked->IsUnit() ? !(static_cast<CUnit*>(picked)->m_unitState & CUnit::kU_Mobile)
                                             : picked->IsGridMember();
                        if (towable) TargetOrder<CTowOrder>(u, picked);
                    }
                    break;
                default: {
                    // The smart order: by what was clicked.
                    if (!picked) break;
                    CUnit* unit = picked->IsUnit() ? static_cast<CUnit*>(picked) : nullptr;
                    const CUnitTemplate* ut = unit ? unit->UnitTemplate() : nullptr;
                    if (ut && !(ut->m_classMask & kClassUnit)) ut = nullptr;
                    const bool allied = unit && local && local->IsAlliedWith(unit->m_owner);
                    if (unit && !allied) {
                        if (ut && ut->m_friendly) return true;
                        BroadcastMessage(kClassUnit, CUnit::kMsgAttack, reinterpret_cast<intptr_t>(picked));
                        ack = kAckAttack;
                    } else if (unit && !unit->IsComplete()) {
                        for (CUnit* u = m_units; u; u = u->m_unitNext) {
                            const CUnitTemplate* t = u->UnitTemplate();
                            if (Commandable(u) && (u->m_unitState & CUnit::kU_Builder) && t &&
                                t->m_buildMethod == CUnitTemplate::kBuildExternal && !queued)
                                ClearOrders(u);
                        }
                        BroadcastMessage(kClassUnit, CUnit::kMsgHelpBuild,
                                         reinterpret_cast<intptr_t>(picked));
                        ack = kAckMove;
                    } else if (unit && ut && ut->m_repairCaps) {
                        OrderSelectedToRepair(picked);
                        ack = kAckMove;
                    } else if (unit) {
                        bool wentTo = false;
                        if (ut && ut->m_childUnit) {
                            for (CUnit* u = m_units; u; u = u->m_unitNext) {
                                const CUnitTemplate* t = u->UnitTemplate();
                                if (!Selected(u) || !t || !(t->m_classMask & kClassUnit) ||
                                    !t->m_harvestType || u->m_template != ut->m_childUnit)
                                    continue;
                                u->m_orderList->RemoveAll();
                                CHarvestOrder* harvest = new CHarvestOrder(u->m_orderList, nullptr, u);
                                AtPoint(harvest, picked->m_position[0], picked->m_position[2]);
                                harvest->m_resource.Set(picked);
                                ack = kAckMove;
                            }
                        }
                        CUnit* shown = ui && ui->m_singleUnit.Get() && ui->m_singleUnit.Get()->IsUnit()
                                           ? static_cast<CUnit*>(ui->m_singleUnit.Get())
                                           : nullptr;
                        if ((unit->m_unitState & CUnit::kU_Warp) && IsAnyUnitSelected() &&
                            !(shown && (shown->m_unitState & CUnit::kU_Warp))) {
                            BroadcastMessage(kClassUnit, CUnit::kMsgGoToObject,
                                             reinterpret_cast<intptr_t>(picked));
                            wentTo = true;
                            ack = kAckMove;
                        }
                        if (!wentTo && mode != 2) {
                            if (!queued) BroadcastMessage(kClassUnit, CTessarakObject::kMsgDeselect, 0);
                            unit->HandleMessage(CTessarakObject::kMsgSelect, 0);
                        }
                    }
                    if (picked->m_resourceType > 0 && OrderSelectedToHarvest(picked)) ack = kAckHarvest;
                    break;
                }
            }
            if (applied && !queued && ui) ui->m_pendingOrder = 0;
        }
        // 7. A plain right click on the ground moves the selection.
        if (!applied && !picked && mode != 1) {
            const bool moved = OrderSelectedToMove(x1, z1);
            ack = kAckMove;
            FinishCommand(this, x1, z1, ack, false);
            return moved;
        }
    }

    // 6. The common end.
    FinishCommand(this, x1, z1, ack, objectClicked);
    return true;
}
