#include "core/Determinism.h"
// The lockstep guard comes first in every simulation source.
//
// The scene's own values in a saved state (after its objects), little-endian:
//   u32       the scene's tick counter
//   u32       the seed of the next object without an id
//   i32       the highest map id
//   f32 x 3   the spots' smallest and largest size and their movement
//   f32 x 256 the layers' heights, u8 x 256 the layers' flags
#include <cstring>
#include <unordered_set>

#include "core/LittleEndian.h"
#include "world/GameMessages.h"
#include "world/GameScene.h"
#include "world/StateArchive.h"
#include "world/Unit.h"
#include "world/UnitOrder.h"
#include "world/World.h"
#include "world/WorldGrid.h"

void CGameScene::SaveValues(CStateArchive& ar) {
    ar.WriteU32(m_frameCounter);
    ar.WriteU32(m_anonymousSeed);
    ar.WriteI32(m_highestMapId);
    float spots[3] = {m_spotSizeMin, m_spotSizeMax, m_spotMovement};
    ar.F32s(spots, 3);
    ar.F32s(m_layerPositions, kLayers);
    ar.Bytes(m_layerFlags, kLayers);
}

bool CGameScene::LoadValues(CStateArchive& ar) {
    const CStateArchive::EMode mode = ar.SetReadMode(CStateArchive::kApply);
    const uint32_t frames = ar.ReadU32();
    const uint32_t seed = ar.ReadU32();
    const int32_t highest = ar.ReadI32();
    float spots[3] = {};
    ar.F32s(spots, 3);
    float layers[kLayers];
    ar.F32s(layers, kLayers);
    uint8_t flags[kLayers];
    ar.Bytes(flags, kLayers);
    ar.SetReadMode(mode);
    if (!ar.Ok()) return false;
    if (!ar.IsApplying()) return true;
    m_frameCounter = frames;
    m_anonymousSeed = seed;
    m_highestMapId = highest;
    m_spotSizeMin = spots[0];
    m_spotSizeMax = spots[1];
    m_spotMovement = spots[2];
    std::memcpy(m_layerPositions, layers, sizeof m_layerPositions);
    std::memcpy(m_layerFlags, flags, sizeof m_layerFlags);
    return true;
}

namespace {
template <class Visit>
void ForEachOrder(CUnitOrder* order, Visit visit) {
    for (CUnitOrder* o = order ? order->FirstChild() : nullptr; o; o = o->Next()) {
        visit(o);
        ForEachOrder(o, visit);
    }
}
}  // namespace

void CWorld::ResumeWaySearches(const CTurnOrders& carried) {
    // The units whose way is among the turn's orders, for their current
    // request (membership only).
    std::unordered_set<int32_t> coming;
    for (const CTurnOrders::SOrder& o : carried.Orders()) {
        if (o.type != NS_NOTIFYTYPE_WAYPOINTLIST || o.data.size() < 8) continue;
        const int32_t id = static_cast<int32_t>(LE_LoadU32(o.data.data()));
        CTessarakObject* object = m_scene->m_idTable.Find(id);
        if (object && object->IsUnit() &&
            LE_LoadU32(o.data.data() + 4) == static_cast<CUnit*>(object)->m_pathWord)
            coming.insert(id);
    }
    const std::deque<int32_t> queue = m_grid->Requesters();
    std::unordered_set<int32_t> registered;
    for (CUnit* u = m_scene->m_units; u; u = u->m_unitNext) {
        const bool queued = std::find(queue.begin(), queue.end(), u->m_objectId) != queue.end();
        ForEachOrder(u->m_orderList, [&](CUnitOrder* o) {
            if (o->m_type != CUnitOrder::kGotoPosition) return;
            CGotoPositionOrder* go = static_cast<CGotoPositionOrder*>(o);
            go->ResumeSearch(coming.count(u->m_objectId) != 0, queued);
            if (go->IsRegistered()) registered.insert(u->m_objectId);
        });
    }
    // The queue keeps the units this machine searches for, in their order.
    for (int32_t id : queue)
        if (!registered.count(id)) m_grid->ReleasePathRequest(id);
}
