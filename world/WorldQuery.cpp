#include "core/Determinism.h"
// The lockstep guard comes first in every simulation source.
#include <strings.h>

#include <algorithm>

#include "core/Math.h"
#include "world/GameScene.h"
#include "world/PathGrid.h"
#include "world/Player.h"
#include "world/TessarakObject.h"
#include "world/Unit.h"
#include "world/UnitOrder.h"
#include "world/UnitTemplate.h"
#include "world/World.h"
#include "world/WorldGrid.h"
#include "world/WorldQuery.h"

namespace {

int32_t IdOf(const CTessarakObject* o) {
    return o && !o->IsReleased() ? o->m_objectId : -1;
}

SPlayerView PlayerViewOf(const CPlayer* p, float tickStep) {
    SPlayerView v;
    v.id = p->m_id;
    v.ownerId = p->m_ownerId;
    v.neutral = p->IsNeutral();
    v.computer = p->m_computer != 0;
    v.outOfGame = p->m_outOfGame != 0;
    v.watching = p->m_race && p->m_race->m_watching;
    v.resources = p->m_resources;
    v.storage = p->m_storageLast > p->m_storage ? p->m_storageLast : p->m_storage;
    v.energyProduced = p->m_energyProduced;
    v.energyConsumed = p->m_energyConsumed;
    v.energyRatio = p->m_energyRatio;
    v.energyHelp = p->m_energyHelp;
    v.spent = p->m_spendRate * tickStep;
    v.gainRate = p->m_gainRate;
    v.spendRate = p->m_spendRate;
    for (int i = 0; i < 3; ++i) v.colour[i] = p->m_colour[i];
    v.startUnit = p->m_race ? p->m_race->m_startUnit : nullptr;
    return v;
}

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
    v.on = (u->m_mode & 0x80) != 0;
    v.towing = (u->m_unitState & CUnit::kU_Tow) != 0;
    v.waitSignal = u->m_waitSignal;
    v.orders = u->m_orderList ? static_cast<uint32_t>(u->m_orderList->ChildCount()) : 0;
    v.radius = u->m_objectRadius;
    v.maxPower = u->m_template ? u->m_template->m_power : 0.0f;
    v.cost = v.tmpl ? v.tmpl->m_expense : 0.0f;
    v.running = u->m_runningOrder ? u->m_runningOrder->m_type : 0;
    v.building = IdOf(u->m_buildTarget.Get());
    v.lastAttacker = IdOf(u->m_lastAttacker.Get());
    v.scanned = IdOf(u->m_threat.Get());
    v.scripted = u->m_scriptControl != 0;
    v.valueLost = u->m_valueLost;
    v.valueDestroyed = u->m_valueDestroyed;
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

std::vector<SUnitView> CWorldQuery::AllUnits() const {
    std::vector<SUnitView> units;
    for (const CUnit* u = m_world.Scene().m_units; u; u = u->m_unitNext)
        if (InPlay(u)) units.push_back(ViewOf(u));
    return units;
}

std::vector<SPlayerView> CWorldQuery::Players() const {
    std::vector<SPlayerView> list;
    if (const CPlayerList* players = m_world.Players())
        for (const CPlayer* p : players->m_players)
            list.push_back(PlayerViewOf(p, m_world.Clock().TickStep()));
    return list;
}

bool CWorldQuery::Player(int32_t playerId, SPlayerView* out) const {
    const CPlayerList* players = m_world.Players();
    const CPlayer* p = players ? players->FindPlayerById(playerId) : nullptr;
    if (!p) return false;
    if (out) {
        *out = PlayerViewOf(p, m_world.Clock().TickStep());
        out->local = p == players->m_local;
    }
    return true;
}

bool CWorldQuery::Allied(int32_t a, int32_t b) const {
    const CPlayerList* players = m_world.Players();
    const CPlayer* pa = players ? players->FindPlayerById(a) : nullptr;
    const CPlayer* pb = players ? players->FindPlayerById(b) : nullptr;
    return pa && pb && (pa->IsAlliedWith(pb) || pb->IsNeutral());
}

uint64_t CWorldQuery::GameTime() const {
    return m_world.Clock().GameTime();
}

void CWorldQuery::MapRect(int32_t* left, int32_t* top, int32_t* right, int32_t* bottom) const {
    const CWorldGrid& grid = m_world.Grid();
    *left = grid.m_x1;
    *top = grid.m_y1;
    *right = grid.m_x2;
    *bottom = grid.m_y2;
}

std::vector<int32_t> CWorldQuery::ResourceFields() const {
    std::vector<int32_t> ids;
    for (const CTessarakObject* o = m_world.Scene().m_allObjects; o; o = o->m_allNext)
        if (o->m_resourceType > 0 && o->m_objectId >= 0 && !o->IsReleased()) ids.push_back(o->m_objectId);
    std::sort(ids.begin(), ids.end());
    return ids;
}

bool CWorldQuery::IsAreaFree(float radius, float x, float z) const {
    // Every cell an object covering the disc could be linked into: the
    // largest structures reach kReach beyond their cell.
    constexpr float kReach = 8.0f;
    const CWorldGridLayer& layer = m_world.Grid().m_layer[0];
    const int n = static_cast<int>((radius + kReach) / layer.CellSize()) + 1;
    return !layer.FindNearest(x, z, n, radius + 2.0f * kReach, [&](const CGridObject& o) {
        const float reach = radius + o.GridRadius();
        return DistanceSquared2D(x, z, o.GridX(), o.GridZ()) < reach * reach;
    });
}

bool CWorldQuery::IsFreeOfEnemyStructures(int32_t playerId, float radius, float x, float z) const {
    const CPlayerList* players = m_world.Players();
    const CPlayer* p = players ? players->FindPlayerById(playerId) : nullptr;
    return m_world.Grid().m_layer[0].IsFreeOfEnemyUnits(p, radius, x, z);
}

bool CWorldQuery::Reachable(float fromX, float fromZ, float toX, float toZ, float reach) const {
    const CPathGrid& cells = m_world.Grid().m_pathGrid;
    if (cells.CellCount() <= 0) return false;
    int gx, gz, sx, sz;
    cells.CellOf(toX, toZ, gx, gz);
    cells.ClampedCellOf(fromX, fromZ, sx, sz);
    const int r = static_cast<int>(reach * static_cast<float>(CPathGrid::kCellsPerUnit)) + 1;
    // A breadth-first walk over free cells from the start; the cells of the
    // start's own footprint are walked too until the walk leaves them.
    std::vector<uint8_t> seen(static_cast<size_t>(cells.CellCount()), 0);
    std::vector<int> queue;
    queue.push_back(cells.Index(sx, sz));
    seen[static_cast<size_t>(queue.back())] = 1;
    bool inFootprint = !cells.IsFree(sx, sz);
    for (size_t head = 0; head < queue.size(); ++head) {
        const int cx = queue[head] % cells.Width(), cz = queue[head] / cells.Width();
        if (std::abs(cx - gx) <= r && std::abs(cz - gz) <= r && cells.IsFree(cx, cz)) return true;
        const bool here = cells.IsFree(cx, cz);
        static const int kSteps[4][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}};
        for (const auto& s : kSteps) {
            const int nx = cx + s[0], nz = cz + s[1];
            if (!cells.Contains(nx, nz)) continue;
            const size_t i = static_cast<size_t>(cells.Index(nx, nz));
            if (seen[i]) continue;
            // Occupied cells are walked only from occupied cells of the
            // start's footprint (the way out of it).
            if (!cells.IsFree(nx, nz) && !(inFootprint && !here)) continue;
            seen[i] = 1;
            queue.push_back(static_cast<int>(i));
        }
    }
    return false;
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

// ---- the local player's view

namespace {
bool Selected(const CTessarakObject* o) {
    return (o->m_stateA & CTessarakObject::kA_Selected) != 0;
}
}  // namespace

std::vector<int32_t> CWorldQuery::SelectedUnits() const {
    std::vector<int32_t> ids;
    for (const CUnit* u = m_world.Scene().m_units; u; u = u->m_unitNext)
        if (Selected(u) && !u->IsReleased()) ids.push_back(u->m_objectId);
    return ids;
}

std::vector<int32_t> CWorldQuery::SelectedObjects() const {
    std::vector<int32_t> ids;
    for (const CTessarakObject* o = m_world.Scene().m_allObjects; o; o = o->m_allNext)
        if (Selected(o) && !o->IsReleased() && !(o->m_flagsA & kFrameQueued) && o->m_objectId >= 0)
            ids.push_back(o->m_objectId);
    return ids;
}

int32_t CWorldQuery::ObjectAt(float x, float z) const {
    const CGridObject* o = m_world.Grid().m_layer[0].QueryAt(x, z);
    return o ? o->GridId() : -1;
}

bool CWorldQuery::ScriptPoint(int32_t point, float* x, float* z) const {
    return m_world.Scene().ScriptPoint(point, x, z);
}

int32_t CWorldQuery::LocalStartUnit() const {
    const CGameScene& scene = m_world.Scene();
    const CPlayer* local = scene.LocalPlayer();
    const CTessarakObjectTemplate* start = local && local->m_race ? local->m_race->m_startUnit : nullptr;
    if (!start) return -1;
    for (const CUnit* u = scene.m_units; u; u = u->m_unitNext)
        if (u->m_owner == local && u->m_template == start && !u->IsReleased()) return u->m_objectId;
    return -1;
}

std::vector<int32_t> CWorldQuery::LocalUnitsWaitingFor(int32_t signal) const {
    std::vector<int32_t> ids;
    const CGameScene& scene = m_world.Scene();
    const CPlayer* local = scene.LocalPlayer();
    for (const CUnit* u = scene.m_units; u; u = u->m_unitNext)
        if (local && u->m_owner == local && signal > 0 && u->m_waitSignal == signal && !u->IsReleased())
            ids.push_back(u->m_objectId);
    return ids;
}
