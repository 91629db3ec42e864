#include "core/Determinism.h"
// The lockstep guard comes first in every simulation source.
#include <vector>

#include "core/LittleEndian.h"
#include "world/GameMessages.h"
#include "world/GameScene.h"
#include "world/OrderMessages.h"
#include "world/StateArchive.h"
#include "world/Unit.h"
#include "world/UnitOrder.h"
#include "world/WaypointList.h"
#include "world/World.h"
#include "world/WorldGrid.h"

namespace {

// Unit id and type, destination and target points, the local reference.
constexpr size_t kOrderHead = 8 + 12 + 12 + 4;
constexpr size_t kWaypointHead = 15;
constexpr size_t kNoWayLength = 9;  // no way: the id, the number and the flags

CUnit* UnitOf(CGameScene& scene, uint32_t id) {
    CTessarakObject* o = scene.m_idTable.Find(static_cast<int32_t>(id));
    if (!o || !o->IsUnit() || o->IsReleased()) return nullptr;
    return static_cast<CUnit*>(o);
}

}  // namespace

size_t Orders_MessageLength(uint32_t type) {
    switch (type) {
        case CUnitOrder::kMove:
            return kOrderHead + 8;
        case CUnitOrder::kGotoPosition:
        case CUnitOrder::kHarvest:
            return kOrderHead + 1;
        case CUnitOrder::kAttack:
            return kOrderHead + 5;
        case CUnitOrder::kProduce:
        case CUnitOrder::kConstruct:
            return kOrderHead + 17;
        case CUnitOrder::kRepair:
        case CUnitOrder::kGoToObject:
        case CUnitOrder::kGuard:
        case CUnitOrder::kTow:
            return kOrderHead + 4;
        case CUnitOrder::kPatrol:
            return kOrderHead;
        default:
            return 0;
    }
}

bool Orders_ApplyOrder(CGameScene& scene, const void* data, size_t length) {
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    if (!bytes || length < 8) return false;
    const uint32_t type = LE_LoadU32(bytes + 4);
    const size_t expected = Orders_MessageLength(type);
    if (!expected || length != expected) return false;
    CUnit* unit = UnitOf(scene, LE_LoadU32(bytes));
    if (!unit || !unit->m_orderList) return false;
    COrderList* root = unit->m_orderList;
    // The order this unit sent and the one that ran before make way.
    for (CUnitOrder* o = root->FirstChild(); o;) {
        CUnitOrder* next = o->Next();
        if (o->m_sent) delete o;
        o = next;
    }
    CUnitOrder* order = CUnitOrder::Create(type, root, root->LastChild(), unit);
    CStateArchive body(bytes + 8, length - 8, CStateArchive::kApply);
    order->Unpack(body);
    if (body.Ok() && !order->m_sent) {
        order->m_orderId = unit->NextOrderId();
        unit->m_runningOrder = order;
        order->m_sent = 1;
    } else {
        delete order;
    }
    unit->m_serviceFlags &= ~CUnit::kS_AwaitingOrder;
    return true;
}

bool Orders_ApplyStopOrder(CGameScene& scene, const void* data, size_t length) {
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    if (!bytes || length != 8) return false;
    CUnit* unit = UnitOf(scene, LE_LoadU32(bytes));
    if (!unit) return false;
    CUnitOrder* running = unit->m_runningOrder;
    if (running && running->m_orderId == LE_LoadU32(bytes + 4)) delete running;
    return true;
}

void Orders_SendWaypointList(CUnit* unit, const CWaypointList& cells, float height) {
    CWorld* world = unit ? unit->World() : nullptr;
    if (!world) return;
    const size_t count = cells.m_noPath ? 0 : std::min<size_t>(size_t(cells.Count()), 0xFFFF);
    std::vector<uint8_t> message(cells.m_noPath ? kNoWayLength : kWaypointHead + 4 * count);
    uint8_t* p = message.data();
    LE_StoreU32(p, static_cast<uint32_t>(unit->m_objectId));
    LE_StoreU32(p + 4, unit->m_pathWord);
    p[8] = cells.m_noPath ? 1 : 0;
    if (cells.m_noPath) {
        world->Sender().Send(NS_NOTIFYTYPE_WAYPOINTLIST, message.data(), static_cast<int>(message.size()));
        return;
    }
    uint32_t bits;
    std::memcpy(&bits, &height, 4);
    LE_StoreU32(p + 9, bits);
    LE_StoreU16(p + 13, static_cast<uint16_t>(count));
    p += kWaypointHead;
    size_t n = 0;
    for (const CWaypointPoint* point = cells.Head(); point && n < count; point = point->next, ++n, p += 4) {
        LE_StoreU16(p, static_cast<uint16_t>(static_cast<int32_t>(point->x)));
        LE_StoreU16(p + 2, static_cast<uint16_t>(static_cast<int32_t>(point->z)));
    }
    world->Sender().Send(NS_NOTIFYTYPE_WAYPOINTLIST, message.data(), static_cast<int>(message.size()));
}

bool Orders_ApplyWaypointList(CGameScene& scene, const void* data, size_t length) {
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    if (!bytes || length < kNoWayLength) return false;
    const bool noPath = (bytes[8] & 1) != 0;
    const size_t count = noPath || length < kWaypointHead ? 0 : LE_LoadU16(bytes + 13);
    if (length != (noPath ? kNoWayLength : kWaypointHead + 4 * count)) return false;
    CUnit* unit = UnitOf(scene, LE_LoadU32(bytes));
    if (!unit || !unit->m_waypoints) return false;
    // A way of an older request is late: the unit has gone on since.
    if (LE_LoadU32(bytes + 4) != unit->m_pathWord) return true;
    CWorldGrid* grid = &scene.World().Grid();
    CWaypointList* path = unit->m_waypoints;
    path->Clear();
    float height = 0.0f;
    if (!noPath) {
        uint32_t bits = LE_LoadU32(bytes + 9);
        std::memcpy(&height, &bits, 4);
    }
    if (noPath || !grid) {
        // No way: the unit halts where it is.
        path->m_noPath = 1;
        unit->m_motionFlags |= CUnit::kM_Arrived;
        unit->m_steeringFlags &= ~CUnit::kT_PathPending;
        // Without waypoints it does not move (and others need not wait for
        // it to pass).
        unit->m_gridFlags &= ~CUnit::kG_Moving;
    } else {
        path->m_noPath = 0;
        const uint8_t* p = bytes + kWaypointHead;
        for (size_t i = 0; i < count; ++i, p += 4) {
            float x, z;
            grid->WaypointToWorld(static_cast<int16_t>(LE_LoadU16(p)),
                                  static_cast<int16_t>(LE_LoadU16(p + 2)), x, z);
            const float y = height + static_cast<float>(unit->m_random.Rand() % 10 - 5) * 0.05f;
            path->Append(x, y, z);
        }
        if (path->Head()) path->Head()->y = height;
    }
    path->First();
    unit->m_steeringFlags |= CUnit::kT_PathReceived;
    return true;
}
