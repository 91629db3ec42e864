#include "core/Determinism.h"
// The lockstep guard comes first in every simulation source.
#include <strings.h>

#include <algorithm>

#include "core/Math.h"
#include "world/GameScene.h"
#include "world/Player.h"
#include "world/TessarakObject.h"
#include "world/Unit.h"
#include "world/UnitOrder.h"
#include "world/UnitTemplate.h"
#include "world/World.h"
#include "world/WorldGrid.h"
#include "world/WorldQuery.h"

namespace {

SUnitView ViewOf(const CUnit* u) {
    SUnitView v;
    v.id = u->m_objectId;
    v.ownerId = u->m_owner ? u->m_owner->m_id : -1;
    const CUnitTemplate* t = u->UnitTemplate();
    v.tmpl = t && (t->m_classMask & kClassUnit) ? t : nullptr;
    v.x = u->m_position[0];
    v.z = u->m_position[2];
    v.power = u->m_power;
    v.complete = u->IsComplete();
    v.mobile = (u->m_unitState & CUnit::kU_Mobile) != 0;
    v.armed = (u->m_unitState & CUnit::kU_Armed) != 0;
    v.builder = (u->m_unitState & CUnit::kU_Builder) != 0;
    v.harvester = v.tmpl && v.tmpl->m_maxResourcesHeld > 0.0f;
    v.orders = u->m_orderList ? static_cast<uint32_t>(u->m_orderList->ChildCount()) : 0;
    return v;
}

bool InPlay(const CUnit* u) {
    return u->IsAlive() && !u->IsReleased();
}

}  // namespace

CWorldQuery::CWorldQuery(const CWorld& world) : m_world(world) {}

std::vector<SUnitView> CWorldQuery::UnitsOf(int32_t playerId) const {
    std::vector<SUnitView> units;
    for (const CUnit* u = m_world.Scene().m_units; u; u = u->m_unitNext)
        if (InPlay(u) && u->m_owner && u->m_owner->m_id == playerId) units.push_back(ViewOf(u));
    return units;
}

bool CWorldQuery::Unit(int32_t id, SUnitView* out) const {
    const CTessarakObject* o = id >= 0 ? m_world.Scene().m_idTable.Find(id) : nullptr;
    if (!o || !o->IsUnit() || !InPlay(static_cast<const CUnit*>(o))) return false;
    if (out) *out = ViewOf(static_cast<const CUnit*>(o));
    return true;
}

bool CWorldQuery::Position(int32_t id, float* x, float* z) const {
    const CTessarakObject* o = id >= 0 ? m_world.Scene().m_idTable.Find(id) : nullptr;
    if (!o || o->IsReleased()) return false;
    *x = o->m_position[0];
    *z = o->m_position[2];
    return true;
}

std::vector<const CUnitTemplate*> CWorldQuery::UnitTemplates() const {
    std::vector<const CUnitTemplate*> list;
    for (const CUnitTemplate* t = m_world.Scene().m_unitTemplates; t; t = t->m_unitNext)
        if (t->m_classMask & kClassUnit) list.push_back(t);
    return list;
}

const CUnitTemplate* CWorldQuery::FindUnitTemplate(const char* name) const {
    if (!name) return nullptr;
    for (const CUnitTemplate* t : UnitTemplates())
        if (strcasecmp(t->m_name.GetText(), name) == 0) return t;
    return nullptr;
}

std::vector<int32_t> CWorldQuery::ResourceFieldsNear(float x, float z, float radius) const {
    std::vector<std::pair<float, int32_t>> found;
    const float reach = radius * radius;
    for (const CTessarakObject* o = m_world.Scene().m_allObjects; o; o = o->m_allNext) {
        if (o->m_resourceType <= 0 || o->m_objectId < 0 || o->IsReleased()) continue;
        const float d = DistanceSquared2D(x, z, o->m_position[0], o->m_position[2]);
        if (d <= reach) found.push_back({d, o->m_objectId});
    }
    // Nearest first; of equal distances the lower id (the same on every machine).
    std::sort(found.begin(), found.end());
    std::vector<int32_t> ids;
    for (const auto& f : found) ids.push_back(f.second);
    return ids;
}

bool CWorldQuery::FindBuildSite(const CUnitTemplate* structure, float x, float z, float reach, float* outX,
                                float* outZ) const {
    if (!structure) return false;
    const float radius =
        structure->m_footprintRadius > 0.0f ? structure->m_footprintRadius : structure->m_collisionRadius;
    float fx = x, fz = z;
    if (!m_world.Grid().m_layer[0].FindFreeSpot(radius, x, z, fx, fz, reach)) return false;
    *outX = fx;
    *outZ = fz;
    return true;
}

float CWorldQuery::Danger(int32_t playerId, float x, float z, float radius) const {
    const CPlayerList* players = m_world.Players();
    const CPlayer* player = players ? players->FindPlayerById(playerId) : nullptr;
    const float reach = radius * radius;
    float danger = 0.0f;
    for (const CUnit* u = m_world.Scene().m_units; u; u = u->m_unitNext) {
        if (!InPlay(u) || !u->IsComplete() || !(u->m_unitState & CUnit::kU_Armed)) continue;
        if (u->m_owner == player || (player && player->IsAlliedWith(u->m_owner))) continue;
        if (DistanceSquared2D(x, z, u->m_position[0], u->m_position[2]) <= reach) danger += u->m_power;
    }
    return danger;
}
