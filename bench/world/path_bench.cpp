// Path searches per second on a 256 x 256 map (a fine path grid of 769 x 769
// cells, clearance 1), ours against a textbook A* written here: a binary heap
// (std::priority_queue with stale entries skipped), g, parent and closed
// arrays made valid for one search by a stamp (a cell's g counts only when its
// stamp is the search's, so nothing is cleared between searches), the same
// lattice, steps, costs and arrival disc, and the plain heuristic (the
// diagonal distance to the goal less the disc's reach). Both walk the way back
// from the arrival node.
//
// BM_PathOurs and BM_PathTextbook: the five layouts of the path finder's
// tests, one search each ("ring" is a goal walled in, which ours answers
// without searching the map). BM_PathRandom: 40 random queries on each of
// five large maps (open ground, 400 and 800 rectangles, scattered blocks, a
// maze), ours and the textbook taking turns query by query in the same
// iteration; before timing, every query's way must cost the same in both.
// "vs_textbook" is the textbook's processor time over ours (the thread's
// own; above 1, ours is faster); bench/run.sh's repetitions give its min,
// median and max.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <queue>
#include <random>
#include <vector>

#include "bench/support/MinMax.h"
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

    // Nodes on the way found, or 0 when there is none; cost: the way's cost.
    int Search(int sx, int sy, int gx, int gy, int32_t* cost = nullptr) {
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
                if (cost) *cost = m_g[size_t(cell)];
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

// The large random maps and their queries.
struct SRandomCase {
    const char* name;
    CPathGrid grid;
    std::vector<SPathCase> queries;
};

SRandomCase& RandomCase(int index) {
    static std::vector<std::unique_ptr<SRandomCase>> cases;
    if (cases.empty()) {
        const char* names[] = {"open ground", "400 rectangles", "800 rectangles", "scattered blocks", "maze"};
        for (int i = 0; i < 5; ++i) {
            auto c = std::make_unique<SRandomCase>();
            c->name = names[i];
            c->grid.Init(-128, 128, 128, -128);
            std::mt19937 rng(1000u + unsigned(i));
            if (i == 1) PathGrids::Rectangles(c->grid, rng, 400);
            if (i == 2) PathGrids::Rectangles(c->grid, rng, 800);
            if (i == 3) PathGrids::Scatter(c->grid, rng);
            if (i == 4) PathGrids::Maze(c->grid, 11);
            c->queries = PathGrids::RandomQueries(c->grid, kClearance, 40, 77u + unsigned(i));
            cases.push_back(std::move(c));
        }
    }
    return *cases[size_t(index)];
}

// Ours: the way's cost, or -1 when there is none.
int32_t OursCost(CPathFinder& finder, const SPathCase& c) {
    finder.SetIdle();
    if (finder.Search(c.startX, c.startY, c.goalX, c.goalY, 100000000) != CPathFinder::kArrived) return -1;
    return finder.ResultNode()->g;
}

int32_t TextbookCost(CTextbookAStar& textbook, const SPathCase& c) {
    int32_t cost = -1;
    return textbook.Search(c.startX, c.startY, c.goalX, c.goalY, &cost) ? cost : -1;
}

void BM_PathRandom(benchmark::State& state) {
    SRandomCase& c = RandomCase(int(state.range(0)));
    CPathFinder finder;
    finder.Prepare(&c.grid);
    finder.SetClearance(kClearance);
    CTextbookAStar textbook(c.grid);
    int reachable = 0;
    for (const SPathCase& q : c.queries) {
        const int32_t ours = OursCost(finder, q), theirs = TextbookCost(textbook, q);
        if (ours != theirs) {
            state.SkipWithError("a random query's way costs differ between ours and the textbook");
            return;
        }
        reachable += ours >= 0;
    }
    using Clock = SThreadClock;
    Clock::duration oursTime{}, theirsTime{};
    int64_t sum = 0;
    for (auto _ : state) {
        for (const SPathCase& q : c.queries) {
            const auto t0 = Clock::now();
            sum += OursCost(finder, q);
            const auto t1 = Clock::now();
            sum += TextbookCost(textbook, q);
            oursTime += t1 - t0;
            theirsTime += Clock::now() - t1;
        }
    }
    benchmark::DoNotOptimize(sum);
    const double queries = double(state.iterations()) * double(c.queries.size());
    state.counters["ours_us"] = std::chrono::duration<double, std::micro>(oursTime).count() / queries;
    state.counters["textbook_us"] = std::chrono::duration<double, std::micro>(theirsTime).count() / queries;
    state.counters["vs_textbook"] =
        double(theirsTime.count()) / double(std::max<Clock::rep>(1, oursTime.count()));
    state.counters["reachable"] = reachable;
    state.SetLabel(c.name);
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
BENCHMARK(BM_PathRandom)->DenseRange(0, 4)->Unit(benchmark::kMillisecond)->Apply(WithMinMax);
