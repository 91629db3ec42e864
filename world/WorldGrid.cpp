#include "core/Determinism.h"

#include "world/WorldGrid.h"

#include <algorithm>

#include "core/VFSFile.h"
#include "e3d/Surface.h"
#include "world/GameScene.h"
#include "world/ObjectLink.h"
#include "world/ObjectTemplate.h"
#include "world/StateArchive.h"
#include "world/TessarakObject.h"
#include "world/World.h"

CWorldGrid::CWorldGrid(CWorld* world) : m_world(world) {
    m_jitter.Reset();
    Reset();
}

CWorldGrid::~CWorldGrid() {
    Clear();
}

bool CWorldGrid::SetMapRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    int64_t w = int64_t(x2) - x1, h = int64_t(y1) - y2;
    if (w < 0 || h < 0 || w > kMaxMapSide || h > kMaxMapSide) return false;
    // Corners within the range where map units times 3 still fit.
    const int32_t kFar = 1 << 24;
    if (x1 < -kFar || x2 > kFar || y2 < -kFar || y1 > kFar) return false;
    m_x1 = x1;
    m_y1 = y1;
    m_x2 = x2;
    m_y2 = y2;
    m_fineX1 = 3 * x1;
    m_fineY1 = 3 * y1;
    m_fineX2 = 3 * x2;
    m_fineY2 = 3 * y2;
    return true;
}

void CWorldGrid::Reset() {
    EndRequest();
    m_jitter.Reset();
    m_pathOwner = -1;
    m_requesters.clear();
    for (auto& cache : m_pathCache) cache.clear();
    ++m_generation;
    m_pathGrid.Init(m_x1, m_y1, m_x2, m_y2);
    m_layer[0].Init(m_x1, m_y1, m_x2, m_y2, kCoarseCell, 0);
    m_layer[1].Init(m_x1, m_y1, m_x2, m_y2, 1, 1);
    m_cellMap.Init(m_x1, m_y1, m_x2, m_y2, m_cellMap.m_fogOfWar);
    m_pathFinder.Prepare(&m_pathGrid);
}

void CWorldGrid::Clear() {
    EndRequest();
    m_pathFinder.Release();
    m_pathOwner = -1;
    m_requesters.clear();
    for (auto& cache : m_pathCache) {
        cache.clear();
        cache.shrink_to_fit();
    }
    ++m_generation;
    m_cellMap.Free();
    m_layer[0].Free();
    m_layer[1].Free();
    m_pathGrid.Clear();
}

void CWorldGrid::ClampToMap(float& x, float& z) const {
    auto clamp = [](float v, float lo, float hi) {
        if (lo > hi) return (lo + hi) * 0.5f;  // a map narrower than its margins
        return v < lo ? lo : (v > hi ? hi : v);
    };
    x = clamp(x, float(m_x1) + 2.0f, float(m_x2) - 2.0f);
    z = clamp(z, float(m_y2) + 2.0f, float(m_y1) - 2.0f);
}

namespace {

bool IsCellUnder(const CCellMap& map, float x, float z, int level) {
    int cx, cy;
    map.CellOf(x, z, cx, cy);
    if (cx < 0 || cy < 0 || cx > map.Width() - 2 || cy > map.Height() - 2) return true;
    return map.At(cx, cy)->state < level;
}

}  // namespace

bool CWorldGrid::IsCellUnder200(float x, float z) const {
    return IsCellUnder(m_cellMap, x, z, 200);
}

bool CWorldGrid::IsCellUnder120(float x, float z) const {
    return IsCellUnder(m_cellMap, x, z, 120);
}

bool CWorldGrid::IsLineClear(const CGridObject& unit, float fromX, float fromZ, float toX, float toZ) const {
    const int r = unit.GridClearance();
    int sx, sy, ex, ey;
    m_pathGrid.CellOf(fromX, fromZ, sx, sy);
    m_pathGrid.CellOf(toX, toZ, ex, ey);
    if (!m_pathGrid.IsSquareFree(r, ex, ey)) return false;
    if (!m_pathGrid.Contains(sx, sy)) return false;
    const int dx = ex - sx, dy = ey - sy;
    const int n = std::max(std::abs(dx), std::abs(dy));
    for (int i = 0; i < n; ++i) {
        int x, y;
        if (std::abs(dx) >= std::abs(dy)) {
            x = sx + (dx > 0 ? i : -i);
            y = sy + Math_RoundToInt(float(dy) * float(i) / float(n));
        } else {
            y = sy + (dy > 0 ? i : -i);
            x = sx + Math_RoundToInt(float(dx) * float(i) / float(n));
        }
        if (!m_pathGrid.IsSquareFree(r, x, y)) return false;
    }
    return true;
}

bool CWorldGrid::IsFarFromSpecialObjects(float x, float z) const {
    CGameScene* scene = m_world ? &m_world->Scene() : nullptr;
    if (!scene || !scene->m_spotTemplate) return false;
    for (CObjectMembership* m = scene->m_spotTemplate->m_instances.GetHead(); m; m = m->GetNextInGroup()) {
        const CTessarakObject* o = m->GetObject();
        if (o && DistanceSquared2D(o->m_position[0], o->m_position[2], x, z) < 1.0f) return false;
    }
    return true;
}

CGridObject* CWorldGrid::FindNearestOwnUnit(const CPlayer* owner, const void* unitTemplate, int n,
                                            float maxDistance, float x, float z) const {
    const uint32_t want = CGridObject::kGridUnit | CGridObject::kGridService | CGridObject::kGridReady;
    return m_layer[0].FindNearest(x, z, n, maxDistance, [&](const CGridObject& o) {
        return o.HasTraits(want) && o.GridOwner() == owner && o.GridTemplate() == unitTemplate;
    });
}

void CWorldGrid::Link(CGridObject& object, float x, float z, float lookX, float lookZ) {
    m_layer[0].Link(object, x, z);
    m_layer[1].Link(object, lookX, lookZ);
}

void CWorldGrid::Unlink(CGridObject& object) {
    m_layer[0].Unlink(object);
    m_layer[1].Unlink(object);
}

void CWorldGrid::MarkFootprint(CGridObject& object, float x, float z, int halfSize) {
    SGridFootprint next;
    if (halfSize > 0) {
        int cx, cy;
        m_pathGrid.CellOf(x, z, cx, cy);
        // Far-away points round to INT32_MIN; keep the sums in range.
        cx = std::clamp(cx, -halfSize, m_pathGrid.Width() + halfSize);
        cy = std::clamp(cy, -halfSize, m_pathGrid.Height() + halfSize);
        int x0 = std::max(0, cx - halfSize), y0 = std::max(0, cy - halfSize);
        int x1 = std::min(m_pathGrid.Width(), cx + halfSize),
            y1 = std::min(m_pathGrid.Height(), cy + halfSize);
        if (x1 > x0 && y1 > y0) next = {x0, y0, x1 - x0, y1 - y0, m_generation};
    }
    SGridFootprint& old = object.m_footprint;
    if (old.generation == m_generation && old.x == next.x && old.y == next.y && old.width == next.width &&
        old.height == next.height)
        return;
    RemoveFootprint(object);
    if (next.IsEmpty()) return;
    m_pathGrid.AddRect(next.x, next.y, next.x + next.width, next.y + next.height, 1);
    object.m_footprint = next;
}

void CWorldGrid::RemoveFootprint(CGridObject& object) {
    SGridFootprint& f = object.m_footprint;
    if (f.generation == m_generation && !f.IsEmpty())
        m_pathGrid.AddRect(f.x, f.y, f.x + f.width, f.y + f.height, -1);
    f = SGridFootprint();
}

// A path request, one slice per call, one unit at a time:
//  1. A unit without a request in progress begins one: start cell = the fine
//     cell of its position, goal cell = that of the goal, its clearance and
//     the cost grid given. A call for another unit than the one being served
//     drops that unit's request.
//  2. One slice of the search: the budget's count of expansions.
//  3. Expansions spent: when the slices reach the maximum the request gives
//     up, else it goes on at the next call.
//  4. No way (the search exhausted or proved the goal walled in): give up.
//  5. Arrived: the list is the goal cell, preceded by every node of the way
//     (walked back from the arrival) where its direction changes, the arrival
//     node first among them; corners carry 0xFFFF in y, the goal 0. A way of
//     more than kMaxPathNodes nodes is searched again from start and goal
//     cells moved by up to 3, at most kMaxPathRetries times.
//  6. Giving up: an empty list with its no-path flag.
// The computer player's costs are used by the one search; the old second
// search of the same request with the same costs gave the same way and is
// not run.
bool CWorldGrid::FindPath(const CGridObject& unit, float goalX, float goalY, float goalZ, int budgetMs,
                          int maxSlices, std::unique_ptr<CWaypointList>& out, const CPathCosts*& costs) {
    (void)goalY;
    m_noPath = 0;
    if (!m_requestInProgress || m_requestUnit != unit.GridId()) {
        EndRequest();
        m_pathFinder.SetClearance(unit.GridClearance());
        m_pathFinder.SetCosts(costs);
        m_requestUnit = unit.GridId();
        m_slices = 0;
        m_retries = 0;
        m_pathGrid.ClampedCellOf(unit.GridX(), unit.GridZ(), m_startX, m_startY);
        m_pathGrid.ClampedCellOf(goalX, goalZ, m_goalX, m_goalY);
        m_requestInProgress = true;
    }
    const uint32_t expansions = budgetMs > 0 ? uint32_t(std::min(budgetMs, 1000000)) * kExpansionsPerMs : 1;
    switch (m_pathFinder.Search(m_startX, m_startY, m_goalX, m_goalY, expansions)) {
        case CPathFinder::kRunning:
            if (++m_slices >= maxSlices) return GiveUp(out);
            return false;
        case CPathFinder::kExhausted:
            return GiveUp(out);
        case CPathFinder::kArrived:
            break;
    }
    costs = nullptr;

    auto list = std::make_unique<CWaypointList>();
    list->PushFrontRaw(float(m_goalX), 0.0f, float(m_goalY));
    const SPathNode* prev = nullptr;
    int lastDx = -100, lastDy = -100, count = 0;
    for (const SPathNode* n = m_pathFinder.ResultNode(); n; prev = n, n = n->parent) {
        if (++count > kMaxPathNodes) {
            if (++m_retries > kMaxPathRetries) return GiveUp(out);
            m_slices = 0;
            m_pathFinder.SetIdle();
            m_startX += m_jitter.Rand() % 6 - 3;
            m_startY += m_jitter.Rand() % 6 - 3;
            m_goalX += m_jitter.Rand() % 6 - 3;
            m_goalY += m_jitter.Rand() % 6 - 3;
            return false;
        }
        if (!prev) continue;
        int dx = n->x - prev->x, dy = n->y - prev->y;
        if (dx != lastDx || dy != lastDy) {
            list->PushFrontRaw(float(prev->x), float(0xFFFF), float(prev->y));
            lastDx = dx;
            lastDy = dy;
        }
    }
    // A way that sets out from a cell beside the unit (there was no room
    // where it stands) leads there first.
    if (m_pathFinder.StartMoved())
        list->PushFrontRaw(float(m_pathFinder.StartX()), float(0xFFFF), float(m_pathFinder.StartY()));
    EndRequest();
    out = std::move(list);
    return true;
}

bool CWorldGrid::GiveUp(std::unique_ptr<CWaypointList>& out) {
    EndRequest();
    out = std::make_unique<CWaypointList>();
    out->m_noPath = 1;
    m_noPath = 1;
    return true;
}

void CWorldGrid::EndRequest() {
    m_requestInProgress = false;
    m_requestUnit = -1;
    m_pathFinder.SetIdle();
}

void CWorldGrid::ReleasePathRequest(int32_t unitId) {
    if (m_requestInProgress && m_requestUnit == unitId) EndRequest();
    if (m_pathOwner == unitId) m_pathOwner = -1;
    RemoveRequester(unitId);
}

void CWorldGrid::AddRequester(int32_t unitId) {
    if (std::find(m_requesters.begin(), m_requesters.end(), unitId) == m_requesters.end())
        m_requesters.push_back(unitId);
}

void CWorldGrid::RemoveRequester(int32_t unitId) {
    m_requesters.erase(std::remove(m_requesters.begin(), m_requesters.end(), unitId), m_requesters.end());
}

bool CWorldGrid::FindCachedPath(int radius, uint64_t now, int unitCellX, int unitCellY, int targetCellX,
                                int targetCellY, int32_t ownerId, CWaypointList& out) {
    if (radius < 0 || radius >= kPathCaches) return false;
    auto& cache = m_pathCache[radius];
    cache.erase(std::remove_if(
                    cache.begin(), cache.end(),
                    [&](const SPathCacheEntry& e) { return int64_t(now - e.time) > int64_t(kPathCacheAge); }),
                cache.end());
    auto distance = [](int ax, int ay, int bx, int by) {
        float dx = float(ax - bx), dy = float(ay - by);
        return Math_Sqrt(dx * dx + dy * dy);
    };
    const SPathCacheEntry* best = nullptr;
    float bestSum = kPathCacheReach;
    for (const SPathCacheEntry& e : cache) {
        if (e.ownerId != ownerId) continue;
        float sum = distance(e.goalX, e.goalY, targetCellX, targetCellY) +
                    distance(e.startX, e.startY, unitCellX, unitCellY);
        if (sum < bestSum) {
            bestSum = sum;
            best = &e;
        }
    }
    if (!best) return false;
    out.AssignRaw(*best->list);
    out.AppendRaw(float(targetCellX), 0.0f, float(targetCellY));
    return true;
}

void CWorldGrid::StorePath(int radius, uint64_t now, const CWaypointList& list, int32_t ownerId) {
    if (radius < 0 || radius >= kPathCaches || list.IsEmpty()) return;
    SPathCacheEntry e;
    e.list = std::make_unique<CWaypointList>();
    e.list->AssignRaw(list);
    e.time = now;
    e.goalX = Math_RoundToInt(list.Tail()->x);
    e.goalY = Math_RoundToInt(list.Tail()->z);
    e.startX = Math_RoundToInt(list.Head()->x);
    e.startY = Math_RoundToInt(list.Head()->z);
    e.ownerId = ownerId;
    m_pathCache[radius].push_back(std::move(e));
}

size_t CWorldGrid::CachedPathCount(int radius) const {
    return radius >= 0 && radius < kPathCaches ? m_pathCache[radius].size() : 0;
}

bool CWorldGrid::NearestStandingPoint(int clearance, float x, float z, float maxDistance, float& outX,
                                      float& outZ) const {
    outX = x;
    outZ = z;
    int cx, cy;
    m_pathGrid.ClampedCellOf(x, z, cx, cy);
    if (m_pathGrid.IsSquareFree(clearance, cx, cy)) return true;
    const int reach = std::max(0, Math_RoundToInt(maxDistance * float(CPathGrid::kCellsPerUnit)));
    int best = -1, bestX = 0, bestY = 0;
    // Ring by ring (the cells whose larger offset is `ring`); a cell of a
    // ring lies at least `ring` away, so the search ends once that passes the
    // best found.
    for (int ring = 1; ring <= reach && (best < 0 || ring * ring < best); ++ring)
        for (int dy = -ring; dy <= ring; ++dy)
            for (int dx = -ring; dx <= ring; dx += (dy == -ring || dy == ring) ? 1 : 2 * ring) {
                const int d2 = dx * dx + dy * dy;
                if ((best >= 0 && d2 >= best) || !m_pathGrid.IsSquareFree(clearance, cx + dx, cy + dy))
                    continue;
                best = d2;
                bestX = cx + dx;
                bestY = cy + dy;
            }
    if (best < 0) return false;
    m_pathGrid.PointOf(bestX, bestY, outX, outZ);
    return true;
}

void CWorldGrid::WaypointToWorld(int32_t a, int32_t b, float& x, float& z) const {
    a = std::clamp(a, 0, std::max(m_pathGrid.Width() - 1, 0));
    b = std::clamp(b, 0, std::max(m_pathGrid.Height() - 1, 0));
    m_pathGrid.PointOf(a, b, x, z);
}

// Saved-game record, little-endian:
//   4 x i32  map rectangle x1, y1, x2, y2
//   4 x i32  the rectangle multiplied by 3
//   u32      cell count of the cell map (= (x2 - x1) * (y1 - y2))
//   count x  cell: u8 state, u8 paint, u16 observer count
//   u8       finished flag
// The observer counts are written but not read back: every unit stamps its
// sight again after a load (its stamp is not saved), so keeping them would
// count each observer twice and leave cells watched for ever.
void CWorldGrid::SaveRecord(CStateArchive& ar) const {
    for (int32_t v : {m_x1, m_y1, m_x2, m_y2, m_fineX1, m_fineY1, m_fineX2, m_fineY2}) ar.WriteI32(v);
    ar.WriteU32(uint32_t(m_cellMap.CellCount()));
    for (const SMapCell& c : m_cellMap.Cells()) {
        ar.WriteU8(c.state);
        ar.WriteU8(c.paint);
        ar.WriteU8(uint8_t(c.count));
        ar.WriteU8(uint8_t(c.count >> 8));
    }
    ar.WriteU8(m_cellMap.m_finished);
}

bool CWorldGrid::Save(CVFSFile& file) const {
    CStateArchive ar;
    SaveRecord(ar);
    return file.Write(ar.GetData(), uint32_t(ar.GetSize())) == ar.GetSize();
}

bool CWorldGrid::Load(CVFSFile& file, bool apply) {
    int32_t r[4], fine[4];
    for (int32_t& v : r)
        if (!file.ReadS32(v)) return false;
    for (int32_t& v : fine)
        if (!file.ReadS32(v)) return false;
    int64_t w = int64_t(r[2]) - r[0], h = int64_t(r[1]) - r[3];
    if (w < 0 || h < 0 || w > kMaxMapSide || h > kMaxMapSide) return false;
    for (int i = 0; i < 4; ++i)
        if (int64_t(fine[i]) != 3 * int64_t(r[i])) return false;
    uint32_t count;
    if (!file.ReadU32(count) || uint64_t(count) != uint64_t(w * h)) return false;
    std::vector<uint8_t> bytes(size_t(count) * 4);
    if (count && file.Read(bytes.data(), uint32_t(bytes.size())) != bytes.size()) return false;
    uint8_t finished;
    if (!file.ReadU8(finished)) return false;
    if (!apply) return true;

    const int32_t old[4] = {m_x1, m_y1, m_x2, m_y2};
    if (!SetMapRect(r[0], r[1], r[2], r[3])) {
        SetMapRect(old[0], old[1], old[2], old[3]);
        return false;
    }
    Reset();
    std::vector<SMapCell>& cells = m_cellMap.Cells();
    for (size_t i = 0; i < cells.size(); ++i) {
        cells[i].state = bytes[4 * i];
        cells[i].paint = bytes[4 * i + 1];
        cells[i].count = 0;
    }
    m_cellMap.m_finished = finished ? 1 : 0;
    return true;
}

void CWorldGrid::DrawDebug(CE3DSurface& canvas) const {
    const int w = m_pathGrid.Width(), h = m_pathGrid.Height();
    if (!w || !h || !canvas.Lock()) return;
    canvas.DrawFilledRect(25, 25, 25 + w, 25 + h, 0, 255, 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (!m_pathGrid.IsFree(x, y)) canvas.PutPixel(25 + x, 25 + y, 255, 255, 255);
    canvas.Unlock();
}
