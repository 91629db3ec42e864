// The world grid: the spatial index of the battlefield.
//
// It holds, for the map rectangle x1, y1, x2, y2 (map units, y1 above y2;
// map y runs against world z):
//  - two link layers of cells holding lists of the objects standing in them
//    (layer 0 with cells of 6 map units, layer 1 with cells of 1), which the
//    area queries of units, orders and computer players walk;
//  - the fine path grid of 3 cells per map unit, on which grid members mark
//    their footprints and the path finder searches;
//  - the cell map of the fog of war;
//  - the path finder with the one path request it serves at a time, the
//    queue of units waiting for their turn, and ten caches of recent paths
//    (one per clearance radius 0 to 9).
// The game creates it at start-up, sets the map rectangle and resets it on
// every map load and saved-game load, and deletes it at shutdown. The link
// layers and the path grid are lockstep state (units query them in their
// update); so are the path search, its queue and its caches, because a
// search slice is a fixed count of node expansions, never a time (see
// PathFinder.h): every machine serves the same request in the same tick and
// finds the same way. The cell map is the local player's view.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "core/Random.h"
#include "world/CellMap.h"
#include "world/GridObject.h"
#include "world/PathFinder.h"
#include "world/PathGrid.h"
#include "world/WaypointList.h"
#include "world/WorldGridLayer.h"

class CWorld;
class CVFSFile;
class CE3DSurface;
class CStateArchive;

// A recent path of one player's unit, offered to its other units that go
// between the same regions.
struct SPathCacheEntry {
    std::unique_ptr<CWaypointList> list;  // fine cells, as the path finder made it
    uint64_t time = 0;                    // game time it was stored
    int32_t goalX = 0, goalY = 0;
    int32_t startX = 0, startY = 0;
    int32_t ownerId = -1;
};

class CWorldGrid {
public:
    static constexpr int kCoarseCell = 6;
    static constexpr int kPathCaches = 10;
    static constexpr uint64_t kPathCacheAge = 4000000;  // game-time units
    static constexpr float kPathCacheReach = 60.0f;     // fine cells, start and goal together
    static constexpr int kMaxPathNodes = 2000;
    // A path longer than kMaxPathNodes is searched again from jittered cells
    // at most this many times; then the request ends with no path.
    static constexpr int kMaxPathRetries = 3;
    // A request's slice budget is given in milliseconds, as the orders ask
    // for it; it is spent as this many node expansions per millisecond, so
    // that it is the same on every machine. A slice of 20 ms (20,000
    // expansions) takes about 1.5 ms on a desktop machine of 2020.
    static constexpr uint32_t kExpansionsPerMs = 1000;
    // The largest map side (map units) the grid accepts, from the game or a
    // saved game.
    static constexpr int32_t kMaxMapSide = 1024;

    // Made by its world (CWorld), or alone (null: a grid without objects).
    explicit CWorldGrid(CWorld* world);
    ~CWorldGrid();
    CWorldGrid(const CWorldGrid&) = delete;
    CWorldGrid& operator=(const CWorldGrid&) = delete;

    // Sets the map rectangle (and its multiple by 3) for the next Reset.
    // False, and nothing changed, for a rectangle that is not ordered (x1 <=
    // x2, y1 >= y2) or whose sides exceed kMaxMapSide.
    bool SetMapRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2);
    // Rebuilds the path grid, both layers, the cell map and the path finder
    // for the current rectangle; every path request, queue entry and cache
    // entry is dropped.
    void Reset();
    // Frees everything (shutdown).
    void Clear();
    // The logic tick's step, after the scene's: the fog of war follows the
    // units' sight.
    void Update() { m_cellMap.Rebuild(); }

    // x into [x1 + 2, x2 - 2], z into [y2 + 2, y1 - 2].
    void ClampToMap(float& x, float& z) const;
    // True for a point outside the cell map (less its last row and column) or
    // whose cell's visibility is below 200 (120).
    bool IsCellUnder200(float x, float z) const;
    bool IsCellUnder120(float x, float z) const;
    // Whether a unit of this clearance can go straight from one point to the
    // other: the square around the end cell is free, and so is the square
    // around every fine cell of the line between (walked along its longer
    // axis).
    bool IsLineClear(const CGridObject& unit, float fromX, float fromZ, float toX, float toZ) const;
    // False when the game scene has no special template (resource spots);
    // otherwise whether no object of it stands within 1.0 of the point.
    bool IsFarFromSpecialObjects(float x, float z) const;
    // The nearest unit in the layer-0 cells within n of (x, z), nearer than
    // maxDistance, of the owner and template, that offers service and is
    // ready (where a harvester unloads).
    CGridObject* FindNearestOwnUnit(const CPlayer* owner, const void* unitTemplate, int n, float maxDistance,
                                    float x, float z) const;

    // Grid members in the layers and on the path grid.
    // Links the object into layer 0 by its position and layer 1 by its
    // look-ahead point.
    void Link(CGridObject& object, float x, float z, float lookX, float lookZ);
    void Unlink(CGridObject& object);
    // Marks the footprint of half-size h (path cells) around (x, z): the
    // cells [cx - h, cx + h) x [cy - h, cy + h), clipped to the grid; the
    // old footprint is given back. Nothing changes when it is the same.
    void MarkFootprint(CGridObject& object, float x, float z, int halfSize);
    void RemoveFootprint(CGridObject& object);

    // One slice of the path request of a unit (see the comment in the source):
    // budgetMs x kExpansionsPerMs node expansions (one for a budget of 0).
    // Returns false while the request goes on and true when it has finished;
    // then out holds the list (empty, with its no-path flag, when there is no
    // way) and m_noPath tells the same. costs is the computer player's cost
    // grid for the request (null for none); it is cleared once used.
    bool FindPath(const CGridObject& unit, float goalX, float goalY, float goalZ, int budgetMs, int maxSlices,
                  std::unique_ptr<CWaypointList>& out, const CPathCosts*& costs);
    // Ends the request of the unit (when it has one), takes it out of the
    // queue and releases the path owner when it holds it. Called when its
    // go-to-position order ends or the unit goes.
    void ReleasePathRequest(int32_t unitId);
    bool IsRequestInProgress() const { return m_requestInProgress; }

    // The queue of units waiting for the path finder, by object id.
    void AddRequester(int32_t unitId);
    void RemoveRequester(int32_t unitId);
    int32_t HeadRequester() const { return m_requesters.empty() ? -1 : m_requesters.front(); }
    size_t RequesterCount() const { return m_requesters.size(); }
    const std::deque<int32_t>& Requesters() const { return m_requesters; }

    // Path caches, index = clearance radius 0 to 9 (other radii are not
    // cached). FindCachedPath drops entries older than kPathCacheAge, takes
    // the owner's entry whose goal and start lie nearest the target and the
    // unit (together below kPathCacheReach fine cells) and copies its cells
    // into out as they are, then the target cell. StorePath keeps a copy of a
    // finished list.
    bool FindCachedPath(int radius, uint64_t now, int unitCellX, int unitCellY, int targetCellX,
                        int targetCellY, int32_t ownerId, CWaypointList& out);
    void StorePath(int radius, uint64_t now, const CWaypointList& list, int32_t ownerId);
    size_t CachedPathCount(int radius) const;

    // The point nearest (x, z), within maxDistance, where a unit of the
    // clearance can stand on the path grid (its square of cells free): the
    // point itself when it can, else the centre of the nearest such cell
    // (the first of equal distances, rings walked row by row). False, and the
    // point kept, when there is none.
    bool NearestStandingPoint(int clearance, float x, float z, float maxDistance, float& outX,
                              float& outZ) const;
    // The fine cell of a world point, clamped into the path grid; the world
    // point of a fine cell that a waypoint-list message carries (clamped into
    // the grid first).
    void FineCellOf(float x, float z, int& cx, int& cy) const { m_pathGrid.ClampedCellOf(x, z, cx, cy); }
    void WaypointToWorld(int32_t a, int32_t b, float& x, float& z) const;

    // The saved-game record (see the source for its layout). Load checks the
    // whole record before it changes anything and refuses one that does not
    // fit the grid; false then. Without apply it only checks.
    void SaveRecord(CStateArchive& ar) const;
    bool Save(CVFSFile& file) const;
    bool Load(CVFSFile& file, bool apply = true);

    // The way searches of this machine in a saved state (WorldGridSave.cpp):
    // the units waiting for a search in their order, the unit the path
    // finder serves, the ways kept for reuse and the generator that moves a
    // search that ran too long. A search half done is not kept: a save waits
    // until none is (SearchInProgress). LoadPathState checks everything
    // before it takes anything; false when it does not fit.
    void SavePathState(CStateArchive& ar) const;
    bool LoadPathState(CStateArchive& ar);
    bool SearchInProgress() const { return m_requestInProgress; }

    // Draws the path grid at (25, 25): green where free, white where blocked.
    void DrawDebug(CE3DSurface& canvas) const;

    CWorld* m_world;
    int32_t m_x1 = 1, m_y1 = 1, m_x2 = 1, m_y2 = 1;
    int32_t m_fineX1 = 3, m_fineY1 = 3, m_fineX2 = 3, m_fineY2 = 3;
    CPathGrid m_pathGrid;
    CWorldGridLayer m_layer[2];
    CCellMap m_cellMap;
    CPathFinder m_pathFinder;
    int32_t m_pathOwner = -1;  // id of the unit the path finder serves, -1 for none
    uint8_t m_noPath = 0;      // the last request ended without a way

private:
    bool GiveUp(std::unique_ptr<CWaypointList>& out);
    void EndRequest();

    uint32_t m_generation = 1;  // of the path grid, against stale footprints
    bool m_requestInProgress = false;
    int32_t m_requestUnit = -1;
    int m_startX = 0, m_startY = 0, m_goalX = 0, m_goalY = 0;
    int m_slices = 0;
    int m_retries = 0;
    std::deque<int32_t> m_requesters;
    std::vector<SPathCacheEntry> m_pathCache[kPathCaches];
    CRandom m_jitter;  // moves the cells of a path found too long; reset with the map
};
