#include "core/Determinism.h"
// The lockstep guard comes first in every simulation source.
//
// The order interface's commands of the HUD's build icons and of the order
// paths (world/WorldCommands.h).
#include "world/GameScene.h"
#include "world/TessarakObject.h"
#include "world/Unit.h"
#include "world/UnitOrder.h"
#include "world/World.h"
#include "world/WorldCommands.h"

namespace {

CUnit* LiveUnit(CWorld& world, int32_t id) {
    CTessarakObject* o = id >= 0 ? world.Scene().m_idTable.Find(id) : nullptr;
    if (!o || !o->IsUnit() || o->IsReleased()) return nullptr;
    CUnit* u = static_cast<CUnit*>(o);
    return u->IsAlive() && u->m_orderList ? u : nullptr;
}

// The order at index from the front of the unit's queue, or null.
CUnitOrder* OrderAt(CUnit* u, int32_t index) {
    if (index < 0) return nullptr;
    CUnitOrder* o = u->m_orderList->LastChild();
    for (int32_t i = 0; o && i < index; ++i) o = o->Prev();
    return o;
}

bool Queued(const CUnit* u, const CUnitOrder* o) {
    return o && o != u->m_runningOrder && !o->m_sent;
}

}  // namespace

int32_t CWorldCommands::CancelProduce(int32_t factory, const CTessarakObjectTemplate* product, int32_t count,
                                      bool repeating) {
    CUnit* u = LiveUnit(m_world, factory);
    if (!u || !product) return 0;
    int32_t cancelled = 0;
    for (CUnitOrder* o = u->m_orderList->LastChild(); o && cancelled < count;) {
        CUnitOrder* next = o->Prev();
        if (o->m_type == CUnitOrder::kProduce && !o->m_finished) {
            const CBuildOrder* b = static_cast<const CBuildOrder*>(o);
            // One sent and not yet running is past taking back: its copy
            // comes back to run.
            const bool running = o == u->m_runningOrder;
            if (b->m_template == product && (b->m_repeat != 0) == repeating && (running || !o->m_sent)) {
                if (running)
                    u->m_orderList->SendReset();
                else
                    delete o;
                ++cancelled;
            }
        }
        o = next;
    }
    return cancelled;
}

bool CWorldCommands::InsertMove(int32_t unit, int32_t beforeIndex, float x, float z) {
    CUnit* u = LiveUnit(m_world, unit);
    if (!u || beforeIndex < 1) return false;
    CUnitOrder* before = OrderAt(u, beforeIndex);
    if (!Queued(u, before)) return false;
    // Made toward the front of the order it runs before.
    CMoveOrder* move = new CMoveOrder(u->m_orderList, before, u, x, z, 0);
    move->m_issuedHere = 1;
    return true;
}

bool CWorldCommands::MoveOrderTarget(int32_t unit, int32_t index, uint32_t type, float x, float z) {
    CUnit* u = LiveUnit(m_world, unit);
    CUnitOrder* o = u ? OrderAt(u, index) : nullptr;
    if (!Queued(u, o) || o->m_type != type ||
        !(type == CUnitOrder::kMove || type == CUnitOrder::kConstruct || type == CUnitOrder::kPatrol))
        return false;
    o->m_target[0] = o->m_destination[0] = x;
    o->m_target[2] = o->m_destination[2] = z;
    return true;
}

bool CWorldCommands::RemoveOrder(int32_t unit, int32_t index, uint32_t type) {
    CUnit* u = LiveUnit(m_world, unit);
    CUnitOrder* o = u ? OrderAt(u, index) : nullptr;
    if (!o || o->m_type != type) return false;
    if (o == u->m_runningOrder)
        u->m_orderList->SendReset();
    else if (o->m_sent)
        return false;  // its copy comes back to run
    else
        delete o;
    return true;
}
