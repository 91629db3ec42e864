// The path finder: on a table of grids and on random grids the way found is
// valid and exactly as cheap as a plain Dijkstra search of the same lattice;
// walled-in goals are answered without a flood of the map; requests run in
// slices, give up when they must, and their lists have the promised shape.
#include <gtest/gtest.h>

#include <functional>
#include <queue>
#include <random>
#include <vector>

#include "tests/support/PathGrids.h"
#include "tests/world/GridTestUnit.h"
#include "world/WorldGrid.h"

namespace {

class CTestCosts : public CPathCosts {
public:
    CTestCosts(int w, int h, std::mt19937& rng) : w(w), h(h), bytes(size_t(w) * size_t(h)) {
        for (auto& b : bytes) b = int8_t(int(rng() % 100) - 30);
    }
    const int8_t* GetPathCosts(int& width, int& height) const override {
        width = w;
        height = h;
        return bytes.data();
    }
    int Penalty(int x, int y) const {
        int b = bytes[size_t(std::min(y / 3, h - 1)) * size_t(w) + size_t(std::min(x / 3, w - 1))];
        return b > 0 ? b / 5 : 0;
    }
    int w, h;
    std::vector<int8_t> bytes;
};

// The lattice graph spelled out plainly: a node can stand where the square of
// its clearance is inside the grid and free; a step of 3 cells (straight or
// diagonal) needs that for the two cells it passes and the one it ends on.
bool SquareFree(const CPathGrid& g, int r, int x, int y) {
    if (x - r < 0 || y - r < 0 || x + r >= g.Width() || y + r >= g.Height()) return false;
    for (int j = y - r; j <= y + r; ++j)
        for (int i = x - r; i <= x + r; ++i)
            if (!g.IsFree(i, j)) return false;
    return true;
}

bool StepOk(const CPathGrid& g, int r, int x, int y, int dx, int dy) {
    for (int k = 1; k <= 3; ++k)
        if (!SquareFree(g, r, x + k * dx / 3, y + k * dy / 3)) return false;
    return true;
}

int StepCost(int dx, int dy, int x, int y, const CTestCosts* costs) {
    return (dx && dy ? 12 : 9) + (costs ? 3 * costs->Penalty(x, y) : 0);
}

struct SCells {
    int sx, sy, gx, gy;      // as the search clamps them
    int requestX, requestY;  // the goal cell asked for, which ends the list
};

// Start and goal as the search clamps them.
SCells Clamped(const CPathGrid& g, int r, const SPathCase& c) {
    int lo = r + 4, hx = g.Width() - r - 5, hy = g.Height() - r - 5;
    return {std::clamp(c.startX, lo, hx),
            std::clamp(c.startY, lo, hy),
            std::clamp(c.goalX, lo, hx),
            std::clamp(c.goalY, lo, hy),
            c.goalX,
            c.goalY};
}

bool InDisc(int x, int y, int gx, int gy) {
    return (x - gx) * (x - gx) + (y - gy) * (y - gy) < 36;
}

// Cheapest cost from the start to a node nearer the goal than 6 cells; -1
// when there is none.
int Dijkstra(const CPathGrid& g, int r, SCells c, const CTestCosts* costs) {
    std::vector<int> dist(size_t(g.CellCount()), INT32_MAX);
    using Item = std::pair<int, int>;
    std::priority_queue<Item, std::vector<Item>, std::greater<Item>> open;
    dist[size_t(g.Index(c.sx, c.sy))] = 0;
    open.push({0, g.Index(c.sx, c.sy)});
    const int steps[8][2] = {{-3, -3}, {-3, 0}, {-3, 3}, {0, 3}, {3, 3}, {3, 0}, {3, -3}, {0, -3}};
    while (!open.empty()) {
        auto [d, cell] = open.top();
        open.pop();
        if (d != dist[size_t(cell)]) continue;
        int x = cell % g.Width(), y = cell / g.Width();
        if (InDisc(x, y, c.gx, c.gy)) return d;
        for (auto& s : steps) {
            if (!StepOk(g, r, x, y, s[0], s[1])) continue;
            int nx = x + s[0], ny = y + s[1];
            int nd = d + StepCost(s[0], s[1], nx, ny, costs);
            int next = g.Index(nx, ny);
            if (nd < dist[size_t(next)]) {
                dist[size_t(next)] = nd;
                open.push({nd, next});
            }
        }
    }
    return -1;
}

int Sign(int v) {
    return (v > 0) - (v < 0);
}

// Walks a finished list from the start (the search's own, which the list
// names first when it is not the unit's cell): every corner lies on a straight or
// diagonal line of steps from the one before, every step is allowed, no corner
// repeats the direction before it, and the last corner is in the arrival disc
// of the goal, which ends the list. Returns the cost, or -1 with a failure.
int ListCost(const CPathGrid& g, int r, SCells c, const CWaypointList& list, const CTestCosts* costs) {
    EXPECT_GE(list.Count(), 1);
    if (list.Count() < 1) return -1;
    const CWaypointPoint* goal = list.Tail();
    EXPECT_EQ(goal->x, float(c.requestX));
    EXPECT_EQ(goal->z, float(c.requestY));
    EXPECT_EQ(goal->y, 0.0f);
    int x = c.sx, y = c.sy, cost = 0, lastDx = 0, lastDy = 0;
    // A way that sets out from a cell beside the unit leads there first.
    const CWaypointPoint* first = list.Head();
    if (first != goal && int(first->x) == c.sx && int(first->z) == c.sy) first = first->next;
    for (const CWaypointPoint* p = first; p != goal; p = p->next) {
        EXPECT_EQ(p->y, 65535.0f);
        int dx = int(p->x) - x, dy = int(p->z) - y;
        bool line = dx % 3 == 0 && dy % 3 == 0 && (dx == 0 || dy == 0 || std::abs(dx) == std::abs(dy));
        EXPECT_TRUE(line && (dx || dy)) << "corner (" << p->x << ", " << p->z << ")";
        if (!line || !(dx || dy)) return -1;
        int sdx = 3 * Sign(dx), sdy = 3 * Sign(dy);
        EXPECT_FALSE(sdx == lastDx && sdy == lastDy) << "a corner where the way goes straight on";
        for (int n = std::max(std::abs(dx), std::abs(dy)) / 3; n > 0; --n) {
            EXPECT_TRUE(StepOk(g, r, x, y, sdx, sdy)) << "step from (" << x << ", " << y << ")";
            if (!StepOk(g, r, x, y, sdx, sdy)) return -1;
            x += sdx;
            y += sdy;
            cost += StepCost(sdx, sdy, x, y, costs);
        }
        lastDx = sdx;
        lastDy = sdy;
    }
    EXPECT_TRUE(InDisc(x, y, c.gx, c.gy)) << "the way ends at (" << x << ", " << y << ")";
    return cost;
}

class PathFinderTest : public ::testing::Test {
protected:
    void SetUp() override { Map(64); }
    void Map(int side) {
        grid.SetMapRect(0, side, side, 0);
        grid.Reset();
    }
    CPathGrid& Cells() { return grid.m_pathGrid; }
    // Runs a request to its end; returns the number of calls.
    int Run(CTestGridObject& unit, int gx, int gy, std::unique_ptr<CWaypointList>& out, int budget = 20,
            int maxSlices = 100000, const CPathCosts* costs = nullptr) {
        float wx, wz;
        Cells().PointOf(gx, gy, wx, wz);
        int calls = 1;
        while (!grid.FindPath(unit, wx, 0.0f, wz, budget, maxSlices, out, costs)) ++calls;
        return calls;
    }
    CTestGridObject UnitAt(int cx, int cy, int clearance) {
        float x, z;
        Cells().PointOf(cx, cy, x, z);
        CTestGridObject u(7, x, z, 1.0f, CGridObject::kGridUnit | CGridObject::kGridMobile);
        u.clearance = clearance;
        return u;
    }

    CWorldGrid grid{nullptr};
};

TEST_F(PathFinderTest, TableOfGridsGivesValidShortestWays) {
    using Builder = SPathCase (*)(CPathGrid&);
    const Builder builders[] = {PathGrids::OpenField,
                                PathGrids::WallWithGap,
                                PathGrids::ClosedRing,
                                PathGrids::StartIsGoal,
                                PathGrids::GoalOnBlockedCell,
                                PathGrids::GoalInsideStructure,
                                [](CPathGrid& g) { return PathGrids::Maze(g); }};
    for (Builder build : builders) {
        for (int r : {0, 1, 2}) {
            grid.Reset();
            SPathCase c = build(Cells());
            SCOPED_TRACE(c.name + ", clearance " + std::to_string(r));
            SCells cells = Clamped(Cells(), r, c);
            int expect = Dijkstra(Cells(), r, cells, nullptr);
            ASSERT_EQ(expect >= 0, c.reachable);

            CTestGridObject unit = UnitAt(c.startX, c.startY, r);
            std::unique_ptr<CWaypointList> list;
            EXPECT_EQ(Run(unit, c.goalX, c.goalY, list), 1);
            ASSERT_TRUE(list);
            if (!c.reachable) {
                EXPECT_EQ(list->Count(), 0);
                EXPECT_EQ(list->m_noPath, 1);
                EXPECT_EQ(grid.m_noPath, 1);
                continue;
            }
            EXPECT_EQ(list->m_noPath, 0);
            EXPECT_EQ(ListCost(Cells(), r, cells, *list, nullptr), expect);
            if (c.startX == c.goalX && c.startY == c.goalY) {
                EXPECT_EQ(list->Count(), 1);
            }
        }
    }
}

TEST_F(PathFinderTest, RandomGridsMatchDijkstraWithAndWithoutComputerPlayerCosts) {
    Map(40);
    std::mt19937 rng(2024);
    int reachable = 0, unreachable = 0;
    for (int round = 0; round < 60; ++round) {
        grid.Reset();
        PathGrids::Scatter(Cells(), rng, 3 + round % 4);
        CTestCosts costs(40, 40, rng);
        const int r = round % 3;
        const CTestCosts* use = round % 2 ? &costs : nullptr;
        SPathCase c{"random", int(rng() % 121), int(rng() % 121), int(rng() % 121), int(rng() % 121), true};
        SCOPED_TRACE("round " + std::to_string(round));
        CTestGridObject unit = UnitAt(c.startX, c.startY, r);
        std::unique_ptr<CWaypointList> list;
        Run(unit, c.goalX, c.goalY, list, 20, 100000, use);
        ASSERT_TRUE(list);
        // The shortest way from where the search set out (a start without
        // room moves to the nearest cell with room).
        SCells cells = Clamped(Cells(), r, c);
        if (grid.m_pathFinder.StartMoved()) {
            EXPECT_FALSE(Cells().IsSquareFree(r, cells.sx, cells.sy));
            EXPECT_LE(std::max(std::abs(grid.m_pathFinder.StartX() - cells.sx),
                               std::abs(grid.m_pathFinder.StartY() - cells.sy)),
                      CPathFinder::kStartReach);
            cells.sx = grid.m_pathFinder.StartX();
            cells.sy = grid.m_pathFinder.StartY();
        }
        int expect = Dijkstra(Cells(), r, cells, use);
        if (expect < 0) {
            ++unreachable;
            EXPECT_EQ(list->m_noPath, 1);
            EXPECT_EQ(list->Count(), 0);
        } else {
            ++reachable;
            EXPECT_EQ(ListCost(Cells(), r, cells, *list, use), expect);
        }
    }
    // The grids must exercise both answers.
    EXPECT_GT(reachable, 20);
    EXPECT_GT(unreachable, 3);
}

TEST_F(PathFinderTest, OpenGroundIsSearchedAlongTheWayOnly) {
    // The heuristic is the exact cost on open ground, whatever the goal's
    // place against the start's lattice: a search expands the nodes of its
    // way and nothing else (an underestimate would open the many equal ways).
    std::mt19937 rng(5);
    CPathFinder& finder = grid.m_pathFinder;
    for (int round = 0; round < 200; ++round) {
        int sx = 8 + int(rng() % 170), sy = 8 + int(rng() % 170), gx = 8 + int(rng() % 170),
            gy = 8 + int(rng() % 170);
        SCOPED_TRACE(std::to_string(sx) + "," + std::to_string(sy) + " to " + std::to_string(gx) + "," +
                     std::to_string(gy));
        finder.SetClearance(int(rng() % 3));
        finder.SetIdle();
        ASSERT_EQ(finder.Search(sx, sy, gx, gy, 100000), CPathFinder::kArrived);
        uint32_t nodes = 0;
        for (const SPathNode* n = finder.ResultNode(); n; n = n->parent) ++nodes;
        EXPECT_EQ(finder.Expansions(), nodes - 1);
    }
}

TEST_F(PathFinderTest, WalledInGoalIsAnsweredWithoutFloodingTheMap) {
    Map(256);
    const int lattice = Cells().CellCount() / 9;
    for (auto build : {PathGrids::ClosedRing, PathGrids::GoalInsideStructure}) {
        grid.Reset();
        SPathCase c = build(Cells());
        SCOPED_TRACE(c.name);
        CTestGridObject unit = UnitAt(c.startX, c.startY, 1);
        std::unique_ptr<CWaypointList> list;
        EXPECT_EQ(Run(unit, c.goalX, c.goalY, list), 1);
        EXPECT_EQ(list->m_noPath, 1);
        uint32_t work = grid.m_pathFinder.Expansions() + grid.m_pathFinder.FloodCount();
        EXPECT_LT(work, uint32_t(lattice / 20)) << "the search flooded the map";
    }
    // A walled-in start ends as soon as its own room is searched.
    grid.Reset();
    SPathCase c = PathGrids::ClosedRing(Cells());
    CTestGridObject unit = UnitAt(c.goalX, c.goalY, 1);
    std::unique_ptr<CWaypointList> list;
    EXPECT_EQ(Run(unit, 20, 20, list), 1);
    EXPECT_EQ(list->m_noPath, 1);
    EXPECT_LT(grid.m_pathFinder.Expansions(), 200u);
}

// Every machine of a network game serves the same request in the same tick:
// a slice is a count of expansions (the budget's milliseconds times
// kExpansionsPerMs), so the call that finishes a request and the way it gives
// follow from the grid alone, never from how fast the machine runs.
TEST_F(PathFinderTest, SlicesAreCountedInExpansionsSoTheFinishingCallIsTheSameEverywhere) {
    Map(256);
    SPathCase c = PathGrids::WallWithGap(Cells());
    CTestGridObject unit = UnitAt(c.startX, c.startY, 1);
    std::unique_ptr<CWaypointList> whole;
    EXPECT_EQ(Run(unit, c.goalX, c.goalY, whole, 1000), 1);
    ASSERT_EQ(whole->m_noPath, 0);
    const uint32_t total = grid.m_pathFinder.Expansions();
    ASSERT_GT(total, 3 * CWorldGrid::kExpansionsPerMs) << "the maze must take several slices";

    for (int budgetMs : {1, 2, 3}) {
        SCOPED_TRACE("budget " + std::to_string(budgetMs) + " ms");
        const uint32_t perSlice = uint32_t(budgetMs) * CWorldGrid::kExpansionsPerMs;
        float wx, wz;
        Cells().PointOf(c.goalX, c.goalY, wx, wz);
        std::unique_ptr<CWaypointList> sliced;
        const CPathCosts* costs = nullptr;
        uint32_t calls = 1;
        while (!grid.FindPath(unit, wx, 0.0f, wz, budgetMs, 100000, sliced, costs)) {
            ASSERT_EQ(grid.m_pathFinder.Expansions(), calls * perSlice);
            ++calls;
        }
        EXPECT_EQ(calls, total / perSlice + 1);
        EXPECT_EQ(grid.m_pathFinder.Expansions(), total);
        ASSERT_EQ(sliced->Count(), whole->Count());
        for (const CWaypointPoint *a = whole->Head(), *b = sliced->Head(); a; a = a->next, b = b->next) {
            EXPECT_EQ(a->x, b->x);
            EXPECT_EQ(a->z, b->z);
        }
    }
}

TEST_F(PathFinderTest, ZeroBudgetExpandsOneNodePerSliceAndGivesUpAtTheMaximum) {
    SPathCase c = PathGrids::OpenField(Cells());
    CTestGridObject unit = UnitAt(c.startX, c.startY, 1);
    float wx, wz;
    Cells().PointOf(c.goalX, c.goalY, wx, wz);
    std::unique_ptr<CWaypointList> list;
    const CPathCosts* costs = nullptr;
    for (int slice = 1; slice < 5; ++slice) {
        EXPECT_FALSE(grid.FindPath(unit, wx, 0.0f, wz, 0, 5, list, costs));
        EXPECT_EQ(grid.m_pathFinder.Expansions(), uint32_t(slice));
    }
    EXPECT_TRUE(grid.FindPath(unit, wx, 0.0f, wz, 0, 5, list, costs));
    ASSERT_TRUE(list);
    EXPECT_EQ(list->Count(), 0);
    EXPECT_EQ(list->m_noPath, 1);
    EXPECT_FALSE(grid.IsRequestInProgress());
}

TEST_F(PathFinderTest, OverlongWayIsRetriedABoundedNumberOfTimes) {
    // A serpentine: walls across the map every 12 cells, open at alternate
    // ends, make a way of some 16,000 nodes.
    Map(256);
    const int w = Cells().Width(), h = Cells().Height();
    for (int y = 12, k = 0; y < h - 12; y += 12, ++k) {
        if (k % 2)
            PathGrids::Block(Cells(), 12, y, w, y + 3);
        else
            PathGrids::Block(Cells(), 0, y, w - 12, y + 3);
    }
    CTestGridObject unit = UnitAt(6, 6, 1);
    std::unique_ptr<CWaypointList> list;
    int calls = Run(unit, 6, h - 7, list, 1000);  // each search in one slice
    EXPECT_EQ(calls, CWorldGrid::kMaxPathRetries + 1);
    EXPECT_EQ(list->m_noPath, 1);
    EXPECT_FALSE(grid.IsRequestInProgress());
}

TEST_F(PathFinderTest, ListHoldsTheGoalAndOnlyTheTurns) {
    // A straight corridor: the arrival node and the goal.
    PathGrids::Block(Cells(), 0, 40, Cells().Width(), 43);
    PathGrids::Block(Cells(), 0, 53, Cells().Width(), 56);
    CTestGridObject unit = UnitAt(10, 48, 1);
    std::unique_ptr<CWaypointList> list;
    Run(unit, 100, 48, list);
    ASSERT_EQ(list->Count(), 2);
    EXPECT_EQ(list->Head()->x, 97.0f);
    EXPECT_EQ(list->Head()->z, 48.0f);
    EXPECT_EQ(list->Tail()->x, 100.0f);

    // Within 6 cells of the goal: only the goal.
    CTestGridObject near = UnitAt(98, 50, 1);
    Run(near, 100, 48, list);
    ASSERT_EQ(list->Count(), 1);
    EXPECT_EQ(list->Head()->x, 100.0f);
    EXPECT_EQ(list->Head()->z, 48.0f);
}

// A unit that stands where the grid has no room for it (pressed against a
// building's footprint, by a crystal field) sets out from the nearest cell
// with room: its way leads there first, then on to the goal. Walled in all
// round beyond reach, it has no way.
TEST_F(PathFinderTest, AUnitWithoutRoomWhereItStandsSetsOutFromTheNearestCellWithRoom) {
    PathGrids::Block(Cells(), 20, 20, 40, 40);  // a building
    CTestGridObject unit = UnitAt(38, 30, 2);   // its east edge, inside the footprint
    std::unique_ptr<CWaypointList> list;
    Run(unit, 100, 30, list);
    ASSERT_TRUE(list);
    ASSERT_EQ(list->m_noPath, 0);
    ASSERT_GE(list->Count(), 2);
    // Out of the footprint by the clearance, east: the first cell with room.
    EXPECT_EQ(list->Head()->x, 42.0f);
    EXPECT_EQ(list->Head()->z, 30.0f);
    EXPECT_EQ(list->Tail()->x, 100.0f);
    EXPECT_EQ(list->Tail()->z, 30.0f);

    PathGrids::Block(Cells(), 60, 60, 130, 130);  // a wide one
    CTestGridObject deep = UnitAt(95, 95, 2);     // farther than the reach from its edges
    Run(deep, 20, 100, list);
    EXPECT_EQ(list->m_noPath, 1);
}

TEST_F(PathFinderTest, CostlySquaresAreWalkedAroundAndTheCostsAreSpent) {
    // A band of expensive squares across the way with a cheap detour around
    // its lower end.
    std::mt19937 rng(1);
    CTestCosts costs(64, 64, rng);
    std::fill(costs.bytes.begin(), costs.bytes.end(), 0);
    for (int y = 0; y < 31; ++y)
        for (int x = 28; x < 33; ++x) costs.bytes[size_t(y) * 64 + size_t(x)] = 127;
    CTestGridObject unit = UnitAt(60, 60, 1);
    float wx, wz;
    Cells().PointOf(130, 60, wx, wz);
    std::unique_ptr<CWaypointList> list;
    const CPathCosts* use = &costs;
    while (!grid.FindPath(unit, wx, 0.0f, wz, 20, 1000, list, use)) {
    }
    EXPECT_EQ(use, nullptr);
    SCells cells = Clamped(Cells(), 1, {"", 60, 60, 130, 60, true});
    EXPECT_EQ(ListCost(Cells(), 1, cells, *list, &costs), Dijkstra(Cells(), 1, cells, &costs));
    bool below = false;
    for (const CWaypointPoint* p = list->Head(); p; p = p->next) below |= p->z >= 93.0f;
    EXPECT_TRUE(below) << "the way crosses the expensive band";
}

TEST_F(PathFinderTest, OneRequestAtATimeAndReleasedWithItsUnit) {
    SPathCase c = PathGrids::Maze(Cells());
    CTestGridObject a = UnitAt(c.startX, c.startY, 1), b = UnitAt(c.startX, c.startY, 1);
    b.id = 8;
    grid.AddRequester(a.id);
    grid.AddRequester(b.id);
    grid.AddRequester(a.id);
    EXPECT_EQ(grid.RequesterCount(), 2u);
    EXPECT_EQ(grid.HeadRequester(), a.id);
    grid.m_pathOwner = a.id;

    float wx, wz;
    Cells().PointOf(c.goalX, c.goalY, wx, wz);
    std::unique_ptr<CWaypointList> list;
    const CPathCosts* costs = nullptr;
    EXPECT_FALSE(grid.FindPath(a, wx, 0.0f, wz, 0, 100, list, costs));
    EXPECT_TRUE(grid.IsRequestInProgress());
    // The unit's order ends: its request, its place in the queue and the
    // path owner go with it, and the next unit is at the head.
    grid.ReleasePathRequest(a.id);
    EXPECT_FALSE(grid.IsRequestInProgress());
    EXPECT_EQ(grid.m_pathOwner, -1);
    EXPECT_EQ(grid.HeadRequester(), b.id);
    EXPECT_EQ(grid.RequesterCount(), 1u);
}

TEST_F(PathFinderTest, NodeBlocksAreKeptForTheMapAndFreedByAReset) {
    Map(256);
    PathGrids::Maze(Cells());
    CTestGridObject unit = UnitAt(5, 5, 1);
    std::unique_ptr<CWaypointList> list;
    Run(unit, 700, 700, list);
    size_t blocks = grid.m_pathFinder.NodeBlocks();
    EXPECT_GT(blocks, 1u);
    Run(unit, 700, 700, list);
    EXPECT_EQ(grid.m_pathFinder.NodeBlocks(), blocks);
    grid.Reset();
    EXPECT_EQ(grid.m_pathFinder.NodeBlocks(), 0u);
}

}  // namespace
