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
    int n = Math_RoundToInt(radius / m_cellSize) + 1;
    return FindNearest(x, z, n, radius, [&](const CGridObject& o) {
        uint32_t t = o.GridTraits();
        return (t & CGridObject::kGridUnit) &&
               !(t & (CGridObject::kGridNoTarget | CGridObject::kGridAside)) && !o.GridIsAlliedWith(player);
    });
}

CGridObject* CWorldGridLayer::CollectNeighbours(CGridObject& object, float x, float z, int n) const {
    uint32_t t = object.GridTraits();
    if (!(t & CGridObject::kGridUnit) || (t & CGridObject::kGridAside)) return nullptr;
    const CGridObject* skip = nullptr;
    if (t & CGridObject::kGridBuilder) {
        const CGridObject* linked = object.GridLinkedUnit();
        if (linked && linked->HasTraits(CGridObject::kGridUnit | CGridObject::kGridAside)) skip = linked;
    }
    CGridObject* first = nullptr;
    CGridObject* last = nullptr;
    Walk(x, z, n, [&](CGridObject& o) {
        if (&o == &object || &o == skip) return true;
        o.m_nextNeighbour = nullptr;
        if (last)
            last->m_nextNeighbour = &o;
        else
            first = &o;
        last = &o;
        return true;
    });
    return first;
}

void CWorldGridLayer::ClearNeighbours(CGridObject* first) {
    while (first) {
        CGridObject* next = first->m_nextNeighbour;
        first->m_nextNeighbour = nullptr;
        first = next;
    }
}
