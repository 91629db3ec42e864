// Fuzz target: the order messages as a machine takes them from the session.
// The first byte picks the message, the rest is its payload:
//   0: an order (134) for unit 1 (a tank with a queued and a sent move);
//   1: a stop (137);
//   2: a way (142).
// A refused message must leave the unit as it was; a taken order runs with
// a body of its type's own length; a taken way holds the points it carried.
#include <cstdint>
#include <cstdlib>

#include "core/LittleEndian.h"
#include "tests/support/WorldTestHost.h"
#include "world/OrderMessages.h"
#include "world/StateArchive.h"
#include "world/Unit.h"
#include "world/UnitOrder.h"
#include "world/WaypointList.h"
#include "world/WorldGrid.h"

namespace {

struct SWorld {
    CWorldTestHost host;
    SDemoTemplates t{host};
    SWorld() {
        host.grid->SetMapRect(-64, 64, 64, -64);
        host.grid->Reset();
    }
};

void Check(bool ok) {
    if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static SWorld* world = new SWorld;
    if (size < 1) return 0;
    CGameScene* scene = world->host.scene;
    scene->Clear();
    world->host.sent.clear();
    CUnit* unit = static_cast<CUnit*>(
        scene->CreateObjectByClass(world->t.tank, nullptr, world->host.players->m_local, 1));
    scene->CreateObjectByClass(world->t.rock, nullptr, nullptr, 2);  // an object that is no unit
    new CMoveOrder(unit->m_orderList, nullptr, unit, 3.0f, 4.0f, 0);
    unit->AddMoveOrder(5.0f, 6.0f, 0);
    const uint8_t* payload = data + 1;
    const size_t length = size - 1;
    const int32_t children = unit->m_orderList->ChildCount();
    switch (data[0] % 3) {
        case 0:
            if (!Orders_ApplyOrder(*scene, payload, length)) {
                Check(unit->m_orderList->ChildCount() == children && !unit->m_runningOrder);
                Check((unit->m_serviceFlags & CUnit::kS_AwaitingOrder) != 0);
                break;
            }
            Check(!(unit->m_serviceFlags & CUnit::kS_AwaitingOrder));
            if (CUnitOrder* running = unit->m_runningOrder) {
                // A build order is a produce or a construct order by its flag.
                const uint32_t type = LE_LoadU32(payload + 4);
                const uint32_t build = CUnitOrder::kProduce | CUnitOrder::kConstruct;
                Check(running->m_type == type || ((type & build) && (running->m_type & build)));
                CStateArchive again;
                running->Pack(again);
                Check(again.GetSize() + 8 == length);
            }
            break;
        case 1:
            if (!Orders_ApplyStopOrder(*scene, payload, length))
                Check(unit->m_orderList->ChildCount() == children);
            break;
        case 2: {
            const int32_t before = unit->m_waypoints->Count();
            if (!Orders_ApplyWaypointList(*scene, payload, length)) {
                Check(unit->m_waypoints->Count() == before);
                break;
            }
            if (LE_LoadU32(payload) == 1 && LE_LoadU32(payload + 4) == unit->m_pathWord)
                Check(unit->m_waypoints->Count() == (payload[8] ? 0 : LE_LoadU16(payload + 13)));
            break;
        }
    }
    return 0;
}
