// The path finder: an A* search on the fine path grid, in slices of a fixed
// number of node expansions so that a long search spreads over several logic
// ticks.
//
// Nodes lie on the lattice of every third cell from the start; a step goes
// three cells straight (cost 3) or diagonally (cost 4), plus the penalty a
// computer player's area grid puts on the map square stepped into. A step is
// taken only when the clearance square of every cell it passes (the two
// between and the one it ends on) is free. The search arrives at the first
// node nearer the goal than 6 cells. The heuristic is the exact cost of the
// unobstructed way to the nearest lattice node in that disc, so it never
// overestimates and never drops by more than a step costs: the first node to
// arrive ends a shortest way on the grid's costs, and a node's key is lowered
// in place when a cheaper way reaches it (a closed node is reopened). Being
// exact on open ground, it lets the search (which prefers the deeper of two
// nodes of equal cost) walk straight down one of the many equal ways instead
// of opening all of them.
//
// A goal walled in (inside a ring, inside a structure) would otherwise cost
// a flood of the whole reachable map. Once the forward search has worked
// longer than a direct way needs, a breadth-first flood from the goal's side
// runs beside it; when that flood closes without meeting the forward search,
// no way exists and the search ends at once.
//
// The search never reads a clock: a slice ends after a fixed count of
// expansions, so the same request on the same grid ends in the same slice
// with the same way on every machine, however fast or busy the machine is.
// The unit's orders may therefore take part in lockstep while they wait for
// a search.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

class CPathGrid;

// Extra cost per map square that a computer player puts on the paths of its
// units: one signed byte per square, row by row (negative values count as 0;
// a step into a square costs byte / 5 more).
class CPathCosts {
public:
    virtual ~CPathCosts() = default;
    virtual const int8_t* GetPathCosts(int& width, int& height) const = 0;
};

struct SPathNode {
    int32_t x, y;  // fine cells
    int32_t g;     // cost from the start, in thirds of a cell step
    int32_t h;     // heuristic, same unit
    uint64_t key;  // f in the high half, h in the low: the open heap's order
    SPathNode* parent;
    uint32_t heap;     // 1-based place in the open heap, 0 when not in it
    uint32_t lattice;  // its place in the search's lattice index
};

class CPathFinder {
public:
    enum EResult { kRunning, kArrived, kExhausted };

    CPathFinder();
    ~CPathFinder();
    CPathFinder(const CPathFinder&) = delete;
    CPathFinder& operator=(const CPathFinder&) = delete;

    // Binds to a grid (after every map reset): forgets any search and frees
    // the node blocks. A null grid unbinds.
    void Prepare(const CPathGrid* grid);
    // Unbinds and frees everything (shutdown).
    void Release();
    // Forgets the nodes of the last search (they go back to the free pool).
    void ReleaseSearch();

    // Settings of the next search that begins.
    void SetClearance(int r) { m_nextClearance = r < 0 ? 0 : r; }
    void SetCosts(const CPathCosts* costs) { m_nextCosts = costs; }

    // One slice of at most maxExpansions node expansions (0 counts as 1).
    // When idle it begins a new search from the start cell to the goal cell
    // (both clamped into the grid less the clearance and a margin); while
    // running it goes on with the search it has. kRunning: the slice's
    // expansions are spent. kArrived: ResultNode() is the last node of the
    // way. kExhausted: no way exists.
    EResult Search(int startX, int startY, int goalX, int goalY, uint32_t maxExpansions);
    bool IsRunning() const { return m_running; }
    // Ends the search (the next Search begins anew).
    void SetIdle() { m_running = false; }

    const SPathNode* ResultNode() const { return m_result; }
    // The node nearest the goal so far.
    const SPathNode* BestNode() const { return m_best; }
    int GoalX() const { return m_goalX; }
    int GoalY() const { return m_goalY; }
    // Where the current (or last) search began, and whether that is not the
    // start cell it was given: a unit standing where the grid has no room
    // for it (by a building's footprint, at a crystal field) sets out from
    // the nearest cell with room, within kStartReach cells.
    int StartX() const { return m_startX; }
    int StartY() const { return m_startY; }
    bool StartMoved() const { return m_startMoved; }
    static constexpr int kStartReach = 24;
    // Work of the current (or last) search: forward expansions and cells the
    // goal-side flood took.
    uint32_t Expansions() const { return m_expansions; }
    uint32_t FloodCount() const { return m_floodDone; }
    size_t NodeBlocks() const { return m_blocks.size(); }

    static constexpr int kNodesPerBlock = 8192;
    static constexpr int32_t kStraight = 9;  // a step of 3 cells, in thirds
    static constexpr int32_t kDiagonal = 12;
    // Goal-side flood: how many cells it may take before the search gives up
    // proving the goal walled in.
    static constexpr uint32_t kFloodCap = 1024;

private:
    bool Begin(int startX, int startY, int goalX, int goalY);
    SPathNode* NewNode(int x, int y, size_t lattice);
    // The place of a lattice cell in the index (nodes and the flood).
    size_t Lattice(int x, int y) const {
        return size_t((y - m_latticeY) / 3) * size_t(m_latticeWidth) + size_t((x - m_latticeX) / 3);
    }
    int32_t Heuristic(int x, int y) const;
    // The cost of the unobstructed way from offset (vx, vy) off the goal to
    // the nearest arrival node, by trying them all.
    int32_t ArrivalCost(int vx, int vy) const;
    void PrepareHeuristic();
    int32_t Penalty(int x, int y) const;
    // Whether a step to a free square passes only free squares on its way.
    bool CanPass(int x, int y, int dx, int dy, bool fromFree) const;
    void Expand(SPathNode* node);
    bool Arrived(const SPathNode* n) const;
    // The goal-side flood; false when it has proved that no way exists.
    bool FloodStep();
    bool StartFlood();

    void HeapPush(SPathNode* n);
    void HeapUp(uint32_t i);
    SPathNode* HeapPop();

    const CPathGrid* m_grid = nullptr;
    int m_width = 0, m_height = 0;

    std::vector<std::unique_ptr<SPathNode[]>> m_blocks;
    uint32_t m_used = 0;  // nodes handed out by the current search
    // Lattice cell -> node of the current search, or &m_blocked. Every node
    // of a search lies on the lattice of every third cell from its start, so
    // the index has a ninth of the grid's cells and stays in the cache.
    std::vector<SPathNode*> m_index;
    int m_latticeX = 0, m_latticeY = 0, m_latticeWidth = 1;
    SPathNode m_blocked{};  // marks cells found blocked by this search
    std::vector<int32_t> m_blockedCells;
    std::vector<SPathNode*> m_heap;  // 1-based

    int m_clearance = 0, m_nextClearance = 0;
    const CPathCosts* m_costs = nullptr;
    const CPathCosts* m_nextCosts = nullptr;
    const int8_t* m_costBytes = nullptr;
    int m_costWidth = 0, m_costHeight = 0;

    // The lattice nodes of the arrival disc (offsets from the goal) and the
    // heuristic's tables derived from them (see PrepareHeuristic).
    int m_arrivalCount = 0;
    int8_t m_arrivalX[16], m_arrivalY[16];
    int32_t m_nearAxisX[2][11], m_nearAxisY[2][11];
    int32_t m_majorX[2][2], m_majorY[2][2];
    int32_t m_diagonal[2][2][17];

    bool m_running = false;
    bool m_startFree = false;
    bool m_startMoved = false;
    int m_startX = 0, m_startY = 0, m_goalX = 0, m_goalY = 0;
    SPathNode* m_result = nullptr;
    SPathNode* m_best = nullptr;
    uint32_t m_expansions = 0;

    enum EFlood { kFloodWaiting, kFloodRunning, kFloodOff };
    EFlood m_flood = kFloodOff;
    uint32_t m_floodAfter = 0;  // forward expansions before the flood starts
    uint32_t m_floodDone = 0;
    std::vector<uint32_t> m_floodMark;  // lattice cell -> flood generation
    uint32_t m_floodGen = 0;
    std::vector<uint32_t> m_floodQueue;  // lattice cells
    size_t m_floodHead = 0;
};
