// Path searches per second on a 256 x 256 map (a fine path grid of 769 x 769
// cells, clearance 1), ours against a textbook A* written here: a binary heap
// (std::priority_queue with stale entries skipped), g, parent and closed
// arrays made valid for one search by a stamp (a cell's g counts only when its
// stamp is the search's, so nothing is cleared between searches), the same
// lattice, steps, costs, heuristic and arrival disc. Both walk the way back from the arrival node. The grids
// are those of the path finder's tests; "ring" is a goal walled in, which ours answers without searching the
// map.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <queue>
#include <vector>

#include "tests/support/PathGrids.h"
#include "tests/world/GridTestUnit.h"
#include "world/PathFinder.h"
#include "world/PathGrid.h"
#include "world/WorldGrid.h"

namespace {

constexpr int kClearance = 1;

struct SGridCase {
    CPathGrid grid;
    SPathCase path;
};

SGridCase& Grid(int index) {
    static std::vector<std::unique_ptr<SGridCase>> cases;
    if (cases.empty()) {
        using Builder = SPathCase (*)(CPathGrid&);
        const Builder builders[] = {PathGrids::OpenField, PathGrids::WallWithGap,
                                    [](CPathGrid& g) { return PathGrids::Maze(g); },
                                    PathGrids::GoalOnBlockedCell, PathGrids::ClosedRing};
        for (Builder b : builders) {
            auto c = std::make_unique<SGridCase>();
            c->grid.Init(-128, 128, 128, -128);
            c->path = b(c->grid);
            cases.push_back(std::move(c));
        }
    }
    return *cases[size_t(index)];
}

// The textbook search, on the same graph as ours.
class CTextbookAStar {
public:
    explicit CTextbookAStar(const CPathGrid& grid)
        : m_grid(grid),
          m_g(size_t(grid.CellCount())),
          m_parent(size_t(grid.CellCount())),
          m_seen(size_t(grid.CellCount()), 0),
          m_closed(size_t(grid.CellCount()), 0) {}

    // Nodes on the way found, or 0 when there is none.
    int Search(int sx, int sy, int gx, int gy) {
        const int w = m_grid.Width();
        const int lo = kClearance + 4, hx = w - kClearance - 5, hy = m_grid.Height() - kClearance - 5;
        sx = std::clamp(sx, lo, hx), sy = std::clamp(sy, lo, hy);
        gx = std::clamp(gx, lo, hx), gy = std::clamp(gy, lo, hy);
        // A new stamp forgets every cell of the searches before.
        if (++m_stamp == 0) {
            std::fill(m_seen.begin(), m_seen.end(), 0);
            std::fill(m_closed.begin(), m_closed.end(), 0);
            m_stamp = 1;
        }
        const uint32_t stamp = m_stamp;
        auto g = [&](int cell) { return m_seen[size_t(cell)] == stamp ? m_g[size_t(cell)] : INT32_MAX; };
        auto h = [&](int x, int y) {
            int dx = std::abs(x - gx), dy = std::abs(y - gy);
            int n = dx > dy ? 3 * dx + dy : 3 * dy + dx;
            return std::max(n - 18, 0);
        };
        using Item = std::pair<int64_t, int32_t>;
        std::priority_queue<Item, std::vector<Item>, std::greater<Item>> open;
        int start = sy * w + sx;
        m_g[size_t(start)] = 0;
        m_parent[size_t(start)] = -1;
        m_seen[size_t(start)] = stamp;
        open.push({h(sx, sy), start});
        const int steps[8][2] = {{-3, -3}, {-3, 0}, {-3, 3}, {0, 3}, {3, 3}, {3, 0}, {3, -3}, {0, -3}};
        while (!open.empty()) {
            int cell = open.top().second;
            open.pop();
            if (m_closed[size_t(cell)] == stamp) continue;
            m_closed[size_t(cell)] = stamp;
            int x = cell % w, y = cell / w;
            if ((x - gx) * (x - gx) + (y - gy) * (y - gy) < 36) {
                int n = 0;
                for (int c = cell; c >= 0; c = m_parent[size_t(c)]) ++n;
                return n;
            }
            for (auto& s : steps) {
                int nx = x + s[0], ny = y + s[1];
                if (!m_grid.IsSquareFree(kClearance, nx, ny) ||
                    !m_grid.IsSquareFree(kClearance, x + s[0] / 3, y + s[1] / 3) ||
                    !m_grid.IsSquareFree(kClearance, x + 2 * s[0] / 3, y + 2 * s[1] / 3))
                    continue;
                int next = ny * w + nx;
                int gNext = m_g[size_t(cell)] + (s[0] && s[1] ? 12 : 9);
                if (gNext < g(next)) {
                    m_g[size_t(next)] = gNext;
                    m_parent[size_t(next)] = cell;
                    m_seen[size_t(next)] = stamp;
                    open.push({int64_t(gNext) + h(nx, ny), next});
                }
            }
        }
        return 0;
    }

private:
    const CPathGrid& m_grid;
    std::vector<int32_t> m_g;
    std::vector<int32_t> m_parent;
    std::vector<uint32_t> m_seen;    // the search that last set a cell's g and parent
    std::vector<uint32_t> m_closed;  // the search that last closed a cell
    uint32_t m_stamp = 0;
};

int OursSearch(CPathFinder& finder, const SPathCase& c) {
    if (finder.Search(c.startX, c.startY, c.goalX, c.goalY, 1000000) != CPathFinder::kArrived) return 0;
    int n = 0;
    for (const SPathNode* p = finder.ResultNode(); p; p = p->parent) ++n;
    return n;
}

void BM_PathOurs(benchmark::State& state) {
    SGridCase& c = Grid(int(state.range(0)));
    CPathFinder finder;
    finder.Prepare(&c.grid);
    finder.SetClearance(kClearance);
    int nodes = 0;
    for (auto _ : state) {
        finder.SetIdle();
        benchmark::DoNotOptimize(nodes = OursSearch(finder, c.path));
    }
    state.counters["way_nodes"] = nodes;
    state.counters["expansions"] = finder.Expansions();
    state.SetItemsProcessed(state.iterations());
    state.SetLabel(c.path.name);
}

void BM_PathTextbook(benchmark::State& state) {
    SGridCase& c = Grid(int(state.range(0)));
    CTextbookAStar textbook(c.grid);
    int nodes = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(
            nodes = textbook.Search(c.path.startX, c.path.startY, c.path.goalX, c.path.goalY));
    state.counters["way_nodes"] = nodes;
    state.SetItemsProcessed(state.iterations());
    state.SetLabel(c.path.name);
}

// A whole request for a walled-in goal, as a unit's order makes it: the
// world grid of a 256 x 256 map answers "no path" in one call.
void BM_UnreachableGoalRequest(benchmark::State& state) {
    CWorldGrid grid(nullptr);
    grid.SetMapRect(-128, 128, 128, -128);
    grid.Reset();
    SPathCase c = PathGrids::ClosedRing(grid.m_pathGrid);
    float ux, uz, gx, gz;
    grid.m_pathGrid.PointOf(c.startX, c.startY, ux, uz);
    grid.m_pathGrid.PointOf(c.goalX, c.goalY, gx, gz);
    CTestGridObject unit(1, ux, uz, 1.0f, CGridObject::kGridUnit | CGridObject::kGridMobile);
    unit.clearance = kClearance;
    std::unique_ptr<CWaypointList> list;
    for (auto _ : state) {
        const CPathCosts* costs = nullptr;
        if (!grid.FindPath(unit, gx, 0.0f, gz, 20, 100, list, costs) || !list->m_noPath)
            state.SkipWithError("the walled-in goal was not answered in one call");
    }
    state.SetItemsProcessed(state.iterations());
}

}  // namespace

BENCHMARK(BM_UnreachableGoalRequest)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PathOurs)->DenseRange(0, 4)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PathTextbook)->DenseRange(0, 4)->Unit(benchmark::kMicrosecond);
