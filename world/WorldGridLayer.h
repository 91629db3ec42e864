// One link layer of the world grid: the map cut into square cells of a given
// size (6 map units for layer 0, 1 for layer 1), each cell the head of a list
// of the grid objects standing in it, by descending object id (newest first). The area queries walk the
// cells of a square around a point row by row (rows outer, columns inner) and
// each cell's list from its head; a query that returns the first hit returns
// the first in that order, so the order of the lists is part of the lockstep
// simulation.
#pragma once

#include <cstdint>
#include <vector>

#include "world/GridObject.h"

class CWorldGridLayer {
public:
    CWorldGridLayer() = default;
    ~CWorldGridLayer();
    CWorldGridLayer(const CWorldGridLayer&) = delete;
    CWorldGridLayer& operator=(const CWorldGridLayer&) = delete;

    // Sizes the layer for the map rectangle (y1 above y2): width = (x2 - x1)
    // / cell + 1, height = (y1 - y2) / cell + 1 (integer division). Objects
    // still linked are let go first. linkIndex chooses which of the object's
    // two link records this layer uses.
    void Init(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int cellSize, int linkIndex);
    // Lets every linked object go (their link records are cleared) and frees
    // the cells.
    void Clear();
    // Frees the cells without touching the objects (shutdown, when the
    // objects are gone).
    void Free();

    int Width() const { return m_width; }
    int Height() const { return m_height; }
    float CellSize() const { return m_cellSize; }

    // The cell of a world point: cx = round((x - x1) / cell), cy = round(-(y2
    // + z) / cell). Unclamped; the clamped form is the cell an object at that
    // point is linked into.
    void CellOf(float x, float z, int& cx, int& cy) const;
    void ClampedCellOf(float x, float z, int& cx, int& cy) const;
    // The first object of a cell (the cell is clamped into the layer).
    CGridObject* Cell(int cx, int cy) const;

    // Links the object into the cell of (x, z) at its place by id; an object
    // already in that cell stays where it is.
    void Link(CGridObject& object, float x, float z);
    void Unlink(CGridObject& object);
    bool IsLinked(const CGridObject& object) const { return object.m_gridLink[m_link].cell >= 0; }

    // Area queries. "Covers" means the squared ground distance is below the
    // square of the summed radii.
    // False when a unit that cannot move, whose owner is not allied with the
    // player, lies within the radius.
    bool IsFreeOfEnemyUnits(const CPlayer* player, float radius, float x, float z) const;
    // False when any object covers the point with radius + its own radius.
    bool QueryAround(float radius, float x, float z) const;
    // The same, for objects that are not units.
    bool IsFreeOfObstacles(float radius, float x, float z) const;
    // False when an object other than the given one lies closer than the two
    // radii less the margin.
    bool IsFreeFor(const CGridObject& object, float x, float z, float margin) const;
    // The same, not counting objects that move along their waypoints.
    bool IsFreeForIgnoringMoving(const CGridObject& object, float x, float z, float margin) const;
    // The free spot nearest the point, on a lattice of 1.0 map units around
    // it, no farther than maxDistance and inside the map less 2.0: by
    // QueryAround, or by IsFreeOfObstacles for the NoUnits form. False when
    // there is none.
    bool FindFreeSpot(float radius, float x, float z, float& outX, float& outZ,
                      float maxDistance = kFreeSpotReach) const;
    bool FindFreeSpotNoUnits(float radius, float x, float z, float& outX, float& outZ,
                             float maxDistance = kFreeSpotReach) const;
    // The lattice point of FindFreeSpot's order nearest (x, z) (the point
    // itself first) where the object stands clear of every object but itself
    // and `besides` (IsFreeFor, no margin), and that does not lie behind
    // (x, z) as seen along (dirX, dirZ): a unit leaving a factory stays
    // before its door. False when there is none.
    bool FindFreeSpotFor(const CGridObject& object, const CGridObject* besides, float x, float z, float dirX,
                         float dirZ, float& outX, float& outZ, float maxDistance = kFreeSpotReach) const;
    // The first object whose own radius covers the point.
    CGridObject* QueryAt(float x, float z) const;
    // The first object other than the given one that the object's radius (at
    // x, z) plus its own covers; the Footprint form takes the object's
    // footprint radius instead.
    CGridObject* FindOverlapping(const CGridObject& object, float x, float z) const;
    CGridObject* FindOverlappingFootprint(const CGridObject& object, float x, float z) const;
    // The nearest unit within the radius that can be targeted, is not aside
    // and whose owner is not allied with the player; of equally near ones the
    // first in visiting order. The cells are visited in rings outward from the
    // point's cell, and the search stops once no farther ring can hold a
    // nearer unit (an object stands less than a cell from the cell it is
    // linked into: it is linked again after every step it moves).
    CGridObject* FindNearestEnemyUnit(float x, float z, float radius, const CPlayer* player) const;
    // Chains the objects of the cells within n of (x, z) through their
    // m_nextNeighbour, in visiting order, and returns the first: every object
    // but the given one (and, for a builder, but its linked unit when that is
    // aside). Nothing for an object that is not a unit or is aside.
    CGridObject* CollectNeighbours(CGridObject& object, float x, float z, int n) const;
    // The same objects in the same order, appended to the caller's list:
    // nothing is written into the objects, so a crowd's contact step does not
    // touch every neighbour's memory twice.
    void CollectNeighbours(CGridObject& object, float x, float z, int n,
                           std::vector<CGridObject*>& out) const;
    // Unchains a list that CollectNeighbours made.
    static void ClearNeighbours(CGridObject* first);

    // The nearest object within the cells [cx - n, cx + n] around (x, z)
    // nearer than maxDistance for which accept(object) holds; null when none.
    template <typename Accept>
    CGridObject* FindNearest(float x, float z, int n, float maxDistance, Accept accept) const;

    static constexpr float kFreeSpotReach = 16.0f;

private:
    // The cell range of the square of half-size n around (x, z), clipped to
    // the layer; false when nothing of it lies inside.
    bool Range(float x, float z, int n, int& cx0, int& cy0, int& cx1, int& cy1) const;
    // Calls visit(object) for every object of the square, in visiting order,
    // until it returns false; returns that object, or null.
    template <typename Visit>
    CGridObject* Walk(float x, float z, int n, Visit visit) const;
    bool FindFree(bool noUnits, float radius, float x, float z, float& outX, float& outZ,
                  float maxDistance) const;
    // Calls add(o) for every neighbour CollectNeighbours takes, in its order.
    template <typename Add>
    void ForEachNeighbour(CGridObject& object, float x, float z, int n, Add add) const;
    const SGridLayerLink& LinkOf(const CGridObject& o) const { return o.m_gridLink[m_link]; }
    SGridLayerLink& LinkOf(CGridObject& o) const { return o.m_gridLink[m_link]; }

    std::vector<CGridObject*> m_cells;
    int m_width = 0;
    int m_height = 0;
    float m_cellSize = 1.0f;
    int m_link = 0;
    int32_t m_x1 = 0, m_y1 = 0, m_x2 = 0, m_y2 = 0;
};

template <typename Visit>
CGridObject* CWorldGridLayer::Walk(float x, float z, int n, Visit visit) const {
    int cx0, cy0, cx1, cy1;
    if (!Range(x, z, n, cx0, cy0, cx1, cy1)) return nullptr;
    for (int cy = cy0; cy <= cy1; ++cy)
        for (int cx = cx0; cx <= cx1; ++cx)
            for (CGridObject* o = m_cells[size_t(cy) * size_t(m_width) + size_t(cx)]; o;) {
                CGridObject* next = LinkOf(*o).next;
                if (!visit(*o)) return o;
                o = next;
            }
    return nullptr;
}

template <typename Accept>
CGridObject* CWorldGridLayer::FindNearest(float x, float z, int n, float maxDistance, Accept accept) const {
    CGridObject* best = nullptr;
    float bestD2 = maxDistance * maxDistance;
    Walk(x, z, n, [&](CGridObject& o) {
        if (!accept(o)) return true;
        float dx = o.GridX() - x, dz = o.GridZ() - z;
        float d2 = dx * dx + dz * dz;
        if (d2 < bestD2) {
            bestD2 = d2;
            best = &o;
        }
        return true;
    });
    return best;
}
