#include "core/Determinism.h"

#include "world/WorldGridLayer.h"

#include <algorithm>

namespace {

float Dist2(const CGridObject& o, float x, float z) {
    float dx = o.GridX() - x, dz = o.GridZ() - z;
    return dx * dx + dz * dz;
}

bool Covers(float d2, float reach) {
    return reach > 0.0f && d2 < reach * reach;
}

struct SOffset {
    int dx, dz;
};

// Lattice offsets around a point, nearest first; ties in row order (dz, then
// dx), so the spot found is the same on every machine.
const std::vector<SOffset>& FreeSpotOffsets() {
    static const std::vector<SOffset> offsets = [] {
        const int k = int(CWorldGridLayer::kFreeSpotReach);
        std::vector<SOffset> v;
        for (int dz = -k; dz <= k; ++dz)
            for (int dx = -k; dx <= k; ++dx)
                if (dx * dx + dz * dz <= k * k) v.push_back({dx, dz});
        std::stable_sort(v.begin(), v.end(), [](const SOffset& a, const SOffset& b) {
            return a.dx * a.dx + a.dz * a.dz < b.dx * b.dx + b.dz * b.dz;
        });
        return v;
    }();
    return offsets;
}

}  // namespace

CWorldGridLayer::~CWorldGridLayer() {
    Free();
}

void CWorldGridLayer::Init(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int cellSize, int linkIndex) {
    Clear();
    m_x1 = x1;
    m_y1 = y1;
    m_x2 = x2;
    m_y2 = y2;
    if (cellSize < 1) cellSize = 1;
    m_cellSize = float(cellSize);
    m_link = linkIndex ? 1 : 0;
    int64_t w = (int64_t(x2) - x1) / cellSize + 1;
    int64_t h = (int64_t(y1) - y2) / cellSize + 1;
    m_width = w > 0 ? int(w) : 0;
    m_height = h > 0 ? int(h) : 0;
    m_cells.assign(size_t(m_width) * size_t(m_height), nullptr);
}

void CWorldGridLayer::Clear() {
    for (CGridObject*& head : m_cells) {
        for (CGridObject* o = head; o;) {
            SGridLayerLink& l = LinkOf(*o);
            CGridObject* next = l.next;
            l = SGridLayerLink();
            o = next;
        }
        head = nullptr;
    }
    Free();
}

void CWorldGridLayer::Free() {
    m_cells.clear();
    m_cells.shrink_to_fit();
    m_width = m_height = 0;
}

void CWorldGridLayer::CellOf(float x, float z, int& cx, int& cy) const {
    cx = Math_RoundToInt((x - float(m_x1)) / m_cellSize);
    cy = Math_RoundToInt(-(float(m_y2) + z) / m_cellSize);
}

void CWorldGridLayer::ClampedCellOf(float x, float z, int& cx, int& cy) const {
    CellOf(x, z, cx, cy);
    cx = std::clamp(cx, 0, std::max(m_width - 1, 0));
    cy = std::clamp(cy, 0, std::max(m_height - 1, 0));
}

CGridObject* CWorldGridLayer::Cell(int cx, int cy) const {
    if (m_cells.empty()) return nullptr;
    cx = std::clamp(cx, 0, m_width - 1);
    cy = std::clamp(cy, 0, m_height - 1);
    return m_cells[size_t(cy) * size_t(m_width) + size_t(cx)];
}

void CWorldGridLayer::Link(CGridObject& object, float x, float z) {
    if (m_cells.empty()) return;
    int cx, cy;
    ClampedCellOf(x, z, cx, cy);
    int32_t cell = cy * m_width + cx;
    SGridLayerLink& l = LinkOf(object);
    if (l.cell == cell) return;
    Unlink(object);
    l.cell = cell;
    // A cell keeps its objects by descending id (a new object, whose id is
    // the highest, comes first): the order follows what stands in the cell,
    // not the way it came there, so a loaded world walks its cells as the
    // world that saved it did.
    const int32_t id = object.GridId();
    CGridObject* before = nullptr;
    CGridObject* at = m_cells[size_t(cell)];
    while (at && at->GridId() > id) {
        before = at;
        at = LinkOf(*at).next;
    }
    l.prev = before;
    l.next = at;
    if (at) LinkOf(*at).prev = &object;
    if (before)
        LinkOf(*before).next = &object;
    else
        m_cells[size_t(cell)] = &object;
}

void CWorldGridLayer::Unlink(CGridObject& object) {
    SGridLayerLink& l = LinkOf(object);
    if (l.cell < 0 || size_t(l.cell) >= m_cells.size()) {
        l = SGridLayerLink();
        return;
    }
    if (l.prev)
        LinkOf(*l.prev).next = l.next;
    else if (m_cells[size_t(l.cell)] == &object)
        m_cells[size_t(l.cell)] = l.next;
    if (l.next) LinkOf(*l.next).prev = l.prev;
    l = SGridLayerLink();
}

bool CWorldGridLayer::Range(float x, float z, int n, int& cx0, int& cy0, int& cx1, int& cy1) const {
    if (m_cells.empty() || n < 0) return false;
    int cx, cy;
    CellOf(x, z, cx, cy);
    // A point far outside (or not a number) rounds to INT32_MIN; keep the
    // arithmetic below in range.
    cx = int(std::clamp<int64_t>(cx, -int64_t(n) - 1, int64_t(m_width) + n));
    cy = int(std::clamp<int64_t>(cy, -int64_t(n) - 1, int64_t(m_height) + n));
    cx0 = std::max(cx - n, 0);
    cy0 = std::max(cy - n, 0);
    cx1 = std::min(cx + n, m_width - 1);
    cy1 = std::min(cy + n, m_height - 1);
    return cx0 <= cx1 && cy0 <= cy1;
}

bool CWorldGridLayer::IsFreeOfEnemyUnits(const CPlayer* player, float radius, float x, float z) const {
    int n = Math_RoundToInt(radius / m_cellSize) + 1;
    return !Walk(x, z, n, [&](CGridObject& o) {
        uint32_t t = o.GridTraits();
        if (!(t & CGridObject::kGridUnit) || (t & CGridObject::kGridMobile) || o.GridIsAlliedWith(player))
            return true;
        return !Covers(Dist2(o, x, z), radius);
    });
}

bool CWorldGridLayer::QueryAround(float radius, float x, float z) const {
    return !Walk(x, z, 1, [&](CGridObject& o) { return !Covers(Dist2(o, x, z), radius + o.GridRadius()); });
}

bool CWorldGridLayer::IsFreeOfObstacles(float radius, float x, float z) const {
    return !Walk(x, z, 1, [&](CGridObject& o) {
        if (o.GridTraits() & CGridObject::kGridUnit) return true;
        return !Covers(Dist2(o, x, z), radius + o.GridRadius());
    });
}

bool CWorldGridLayer::IsFreeFor(const CGridObject& object, float x, float z, float margin) const {
    return !Walk(x, z, 1, [&](CGridObject& o) {
        if (&o == &object) return true;
        return !Covers(Dist2(o, x, z), object.GridRadius() + o.GridRadius() - margin);
    });
}

bool CWorldGridLayer::IsFreeForIgnoringMoving(const CGridObject& object, float x, float z,
                                              float margin) const {
    return !Walk(x, z, 1, [&](CGridObject& o) {
        if (&o == &object || (o.GridTraits() & CGridObject::kGridOnWaypoints)) return true;
        return !Covers(Dist2(o, x, z), object.GridRadius() + o.GridRadius() - margin);
    });
}

bool CWorldGridLayer::FindFree(bool noUnits, float radius, float x, float z, float& outX, float& outZ,
                               float maxDistance) const {
    const float loX = float(m_x1) + 2.0f, hiX = float(m_x2) - 2.0f;
    const float loZ = float(m_y2) + 2.0f, hiZ = float(m_y1) - 2.0f;
    const float reach2 = maxDistance * maxDistance;
    for (const SOffset& off : FreeSpotOffsets()) {
        float d2 = float(off.dx * off.dx + off.dz * off.dz);
        if (d2 > reach2) break;
        float cx = x + float(off.dx), cz = z + float(off.dz);
        if (!(cx >= loX && cx <= hiX && cz >= loZ && cz <= hiZ)) continue;
        if (noUnits ? IsFreeOfObstacles(radius, cx, cz) : QueryAround(radius, cx, cz)) {
            outX = cx;
            outZ = cz;
            return true;
        }
    }
    return false;
}

bool CWorldGridLayer::FindFreeSpot(float radius, float x, float z, float& outX, float& outZ,
                                   float maxDistance) const {
    return FindFree(false, radius, x, z, outX, outZ, maxDistance);
}

bool CWorldGridLayer::FindFreeSpotNoUnits(float radius, float x, float z, float& outX, float& outZ,
                                          float maxDistance) const {
    return FindFree(true, radius, x, z, outX, outZ, maxDistance);
}

bool CWorldGridLayer::FindFreeSpotFor(const CGridObject& object, const CGridObject* besides, float x, float z,
                                      float dirX, float dirZ, float& outX, float& outZ,
                                      float maxDistance) const {
    const float loX = float(m_x1) + 2.0f, hiX = float(m_x2) - 2.0f;
    const float loZ = float(m_y2) + 2.0f, hiZ = float(m_y1) - 2.0f;
    const float reach2 = maxDistance * maxDistance;
    for (const SOffset& off : FreeSpotOffsets()) {
        if (float(off.dx * off.dx + off.dz * off.dz) > reach2) break;
        const float cx = x + float(off.dx), cz = z + float(off.dz);
        if (!(cx >= loX && cx <= hiX && cz >= loZ && cz <= hiZ)) continue;
        // Not behind the point as seen along the direction.
        if (float(off.dx) * dirX + float(off.dz) * dirZ < 0.0f) continue;
        const bool blocked = Walk(cx, cz, 1, [&](CGridObject& o) {
                                 if (&o == &object || &o == besides) return true;
                                 return !Covers(Dist2(o, cx, cz), object.GridRadius() + o.GridRadius());
                             }) != nullptr;
        if (!blocked) {
            outX = cx;
            outZ = cz;
            return true;
        }
    }
    return false;
}

CGridObject* CWorldGridLayer::QueryAt(float x, float z) const {
    return Walk(x, z, 1, [&](CGridObject& o) { return !Covers(Dist2(o, x, z), o.GridRadius()); });
}

CGridObject* CWorldGridLayer::FindOverlapping(const CGridObject& object, float x, float z) const {
    return Walk(x, z, 1, [&](CGridObject& o) {
        if (&o == &object) return true;
        return !Covers(Dist2(o, x, z), object.GridRadius() + o.GridRadius());
    });
}

CGridObject* CWorldGridLayer::FindOverlappingFootprint(const CGridObject& object, float x, float z) const {
    return Walk(x, z, 1, [&](CGridObject& o) {
        if (&o == &object) return true;
        return !Covers(Dist2(o, x, z), object.GridFootprintRadius() + o.GridRadius());
    });
}

CGridObject* CWorldGridLayer::FindNearestEnemyUnit(float x, float z, float radius,
                                                   const CPlayer* player) const {
    const int n = Math_RoundToInt(radius / m_cellSize) + 1;
    int cx0, cy0, cx1, cy1;
    if (!Range(x, z, n, cx0, cy0, cx1, cy1)) return nullptr;
    // The answer is the one a walk of the whole square in row order would
    // give (the nearest; of equally near ones the first in that order), found
    // by visiting the square's cells in rings outward from the point's cell
    // and stopping once no object of a farther ring can be as near. Of two
    // equally near units the one whose cell comes first in row order wins
    // (within a cell, the first in the cell's list), whatever ring it is in.
    int cx, cy;
    CellOf(x, z, cx, cy);
    cx = int(std::clamp<int64_t>(cx, -int64_t(n) - 1, int64_t(m_width) + n));
    cy = int(std::clamp<int64_t>(cy, -int64_t(n) - 1, int64_t(m_height) + n));
    // How far the point is from its cell's centre, in cells (at most 0.5
    // inside the map).
    const float ex = Math_Fabs((x - float(m_x1)) / m_cellSize - float(cx));
    const float ez = Math_Fabs(-(float(m_y2) + z) / m_cellSize - float(cy));
    const float e = std::max(ex, ez);
    CGridObject* best = nullptr;
    float bestD2 = radius * radius;
    int64_t bestRank = 0;
    auto visitCell = [&](int ix, int iy) {
        const int64_t rank = int64_t(iy) * m_width + ix;
        for (CGridObject* o = m_cells[size_t(rank)]; o; o = LinkOf(*o).next) {
            // The distance first: it is cheap, and a unit that cannot be
            // nearer needs no other test.
            const float d2 = Dist2(*o, x, z);
            if (!(d2 < bestD2 || (d2 == bestD2 && best && rank < bestRank))) continue;
            const uint32_t t = o->GridTraits();
            if (!(t & CGridObject::kGridUnit) ||
                (t & (CGridObject::kGridNoTarget | CGridObject::kGridAside)) || o->GridIsAlliedWith(player))
                continue;
            best = o;
            bestD2 = d2;
            bestRank = rank;
        }
    };
    for (int k = 0; k <= n; ++k) {
        if (best && k > 0) {
            // An object is linked into the cell of where it stood when it
            // last moved; since then it moved at most one tick's way, far
            // less than a cell. So an object of ring k or beyond stands at
            // least (k - 1.5 - e) cells from the point. (An object beyond
            // the map's edge is linked into an edge cell, which is no farther
            // from the point than its own would be: the point's cell is
            // taken unclamped.)
            const float reach = (float(k) - 1.5f - e) * m_cellSize - 0.01f;
            if (reach > 0.0f && reach * reach > bestD2) break;
        }
        const int ry0 = std::max(cy - k, cy0), ry1 = std::min(cy + k, cy1);
        const int rx0 = std::max(cx - k, cx0), rx1 = std::min(cx + k, cx1);
        for (int iy = ry0; iy <= ry1; ++iy) {
            const bool rowOnRing = iy == cy - k || iy == cy + k;
            for (int ix = rx0; ix <= rx1; ++ix) {
                if (!rowOnRing && ix != cx - k && ix != cx + k) {
                    // Inside the ring: jump to its right side.
                    if (ix < cx + k) ix = std::max(ix, cx + k - 1);
                    continue;
                }
                visitCell(ix, iy);
            }
        }
    }
    return best;
}

template <typename Add>
void CWorldGridLayer::ForEachNeighbour(CGridObject& object, float x, float z, int n, Add add) const {
    uint32_t t = object.GridTraits();
    if (!(t & CGridObject::kGridUnit) || (t & CGridObject::kGridAside)) return;
    const CGridObject* skip = nullptr;
    if (t & CGridObject::kGridBuilder) {
        const CGridObject* linked = object.GridLinkedUnit();
        if (linked && linked->HasTraits(CGridObject::kGridUnit | CGridObject::kGridAside)) skip = linked;
    }
    Walk(x, z, n, [&](CGridObject& o) {
        if (&o != &object && &o != skip) add(o);
        return true;
    });
}

CGridObject* CWorldGridLayer::CollectNeighbours(CGridObject& object, float x, float z, int n) const {
    CGridObject* first = nullptr;
    CGridObject* last = nullptr;
    ForEachNeighbour(object, x, z, n, [&](CGridObject& o) {
        o.m_nextNeighbour = nullptr;
        if (last)
            last->m_nextNeighbour = &o;
        else
            first = &o;
        last = &o;
    });
    return first;
}

void CWorldGridLayer::CollectNeighbours(CGridObject& object, float x, float z, int n,
                                        std::vector<CGridObject*>& out) const {
    ForEachNeighbour(object, x, z, n, [&](CGridObject& o) { out.push_back(&o); });
}

void CWorldGridLayer::ClearNeighbours(CGridObject* first) {
    while (first) {
        CGridObject* next = first->m_nextNeighbour;
        first->m_nextNeighbour = nullptr;
        first = next;
    }
}
