#include "tests/support/LockstepScene.h"

#include "core/Math.h"
#include "tests/support/UnitWorld.h"
#include "world/GameScene.h"
#include "world/Unit.h"
#include "world/WaypointList.h"
#include "world/WorldGrid.h"

namespace {

const char* const kMobile[2][4] = {
    {"Granite_LightTank", "Granite_HeavyTank", "Granite_Artillery", "Granite_Harvester"},
    {"Coral_LightTank", "Coral_HeavyTank", "Coral_Artillery", "Coral_Harvester"},
};

CUnit* UnitOf(CUnitWorld& w, int32_t id) {
    CTessarakObject* o = w.scene->m_idTable.Find(id);
    return o && o->IsUnit() && !(o->m_stateA & CTessarakObject::kA_Destroyed) ? static_cast<CUnit*>(o)
                                                                              : nullptr;
}

// A way of one point, set as the waypoint-list message sets it.
void SendTo(CUnit* u, float x, float z) {
    u->m_waypoints->Clear();
    u->m_waypoints->Append(x, 0.0f, z);
    u->m_waypoints->First();
    u->m_steeringFlags |= CUnit::kT_PathReady;
    u->m_motionFlags &= ~CUnit::kM_Arrived;
    u->m_gridFlags |= CUnit::kG_Moving;
}

}  // namespace

CLockstepScene::CLockstepScene(CUnitWorld& w, int unitsPerSide, bool orders, float spacing)
    : m_world(w), m_orders(orders) {
    m_script.Seed(4242);
    const int32_t half = w.grid->m_x2;
    const float edge = static_cast<float>(half) * 0.6f;
    CPlayer* sides[2] = {w.red, w.blue};
    const char* hq[2] = {"Granite_Headquarters", "Coral_Headquarters"};
    const char* factory[2] = {"Granite_Factory", "Coral_Factory"};
    for (int s = 0; s < 2; ++s) {
        const float z = s == 0 ? -edge : edge;
        w.Spawn(hq[s], -20.0f, z, sides[s]);
        w.Spawn(factory[s], 20.0f, z, sides[s]);
        const int perRow = 20;
        for (int i = 0; i < unitsPerSide; ++i) {
            float x = (static_cast<float>(i % perRow) - perRow * 0.5f) * spacing;
            float rowZ = z + (s == 0 ? 1.0f : -1.0f) * (8.0f + static_cast<float>(i / perRow) * spacing);
            CUnit* u = w.Spawn(kMobile[s][i % 4], x, rowZ, sides[s]);
            if (u) m_ids.push_back(u->m_objectId);
        }
    }
}

void CLockstepScene::Step() {
    if (m_ticks % 40 == 0 && !m_ids.empty()) {
        const float reach = static_cast<float>(m_world.grid->m_x2) * 0.8f;
        // Some units go somewhere new.
        for (int n = 0; n < 8; ++n) {
            CUnit* u = UnitOf(m_world, m_ids[static_cast<size_t>(m_script.Rand()) % m_ids.size()]);
            float x = (m_script.RandFloat() * 2.0f - 1.0f) * reach;
            float z = (m_script.RandFloat() * 2.0f - 1.0f) * reach;
            if (!u || !(u->m_unitState & CUnit::kU_Mobile)) continue;
            if (m_orders)
                u->AddMoveOrder(x, z, 0);
            else
                SendTo(u, x, z);
        }
        // Some take the nearest enemy unit as their target.
        for (int n = 0; n < 6; ++n) {
            CUnit* u = UnitOf(m_world, m_ids[static_cast<size_t>(m_script.Rand()) % m_ids.size()]);
            if (!u) continue;
            CUnit* best = nullptr;
            float bestD = 1e30f;
            for (CUnit* e = m_world.scene->m_units; e; e = e->m_unitNext) {
                if (e->m_owner == u->m_owner || (e->m_stateA & CTessarakObject::kA_Destroyed)) continue;
                float d =
                    DistanceSquared2D(u->m_position[0], u->m_position[2], e->m_position[0], e->m_position[2]);
                if (d < bestD) {
                    bestD = d;
                    best = e;
                }
            }
            u->m_attackTarget.Set(best);
        }
    }
    if (m_orders)
        m_world.Run();
    else
        m_world.Tick();
    ++m_ticks;
}
