// Path grids for the path finder's tests and benchmarks: the same obstacle
// layouts on a grid of any size, and the place of start and goal on each.
// Header-only, so the benchmarks can use it without the test support library.
#pragma once

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "world/PathGrid.h"

struct SPathCase {
    std::string name;
    int startX, startY, goalX, goalY;
    bool reachable;
};

namespace PathGrids {

inline void Block(CPathGrid& g, int x0, int y0, int x1, int y1) {
    g.AddRect(x0, y0, x1, y1, 1);
}

// Nothing in the way; start and goal far apart on a slant.
inline SPathCase OpenField(CPathGrid& g) {
    int w = g.Width(), h = g.Height();
    return {"open field", 10, 12, w - 14, h * 2 / 3, true};
}

// A vertical wall, 3 cells thick, across the whole grid but for a gap of 9
// cells near its bottom end; start and goal on both sides near the top.
inline SPathCase WallWithGap(CPathGrid& g) {
    int w = g.Width(), h = g.Height();
    int x = w / 2;
    Block(g, x, 0, x + 3, h - 24);
    Block(g, x, h - 15, x + 3, h);
    return {"wall with one gap", x - 30, 20, x + 33, 26, true};
}

// A square ring, 3 cells thick, inner half-size 15, around the goal.
inline SPathCase ClosedRing(CPathGrid& g) {
    int w = g.Width(), h = g.Height();
    int cx = w * 3 / 4, cy = h / 2, in = 15;
    Block(g, cx - in - 3, cy - in - 3, cx + in + 4, cy - in);
    Block(g, cx - in - 3, cy + in + 1, cx + in + 4, cy + in + 4);
    Block(g, cx - in - 3, cy - in, cx - in, cy + in + 1);
    Block(g, cx + in + 1, cy - in, cx + in + 4, cy + in + 1);
    return {"unreachable goal in a closed ring", 12, 12, cx, cy, false};
}

inline SPathCase StartIsGoal(CPathGrid& g) {
    int w = g.Width(), h = g.Height();
    return {"start equals goal", w / 2, h / 2, w / 2, h / 2, true};
}

// A 3 x 3 block on the goal cell: the way ends on a free node beside it.
inline SPathCase GoalOnBlockedCell(CPathGrid& g) {
    int w = g.Width(), h = g.Height();
    int gx = w - 30, gy = h - 30;
    Block(g, gx - 1, gy - 1, gx + 2, gy + 2);
    return {"goal on a blocked cell", 20, 20, gx, gy, true};
}

// A block so large around the goal that no node near it is free.
inline SPathCase GoalInsideStructure(CPathGrid& g) {
    int w = g.Width(), h = g.Height();
    int gx = w / 2, gy = h / 2;
    Block(g, gx - 20, gy - 20, gx + 21, gy + 21);
    return {"goal inside a structure", 15, 15, gx, gy, false};
}

// A maze of rooms 6 cells wide behind walls 3 cells thick (a depth-first
// carving from one seed); start and goal in opposite corner rooms.
inline SPathCase Maze(CPathGrid& g, unsigned seed = 7) {
    const int w = g.Width(), h = g.Height(), pitch = 9;
    const int mx = (w - 3) / pitch, my = (h - 3) / pitch;
    Block(g, 0, 0, w, h);
    auto open = [&](int x0, int y0, int x1, int y1) { g.AddRect(x0, y0, x1, y1, -1); };
    auto room = [&](int i, int j) { open(3 + pitch * i, 3 + pitch * j, 9 + pitch * i, 9 + pitch * j); };
    std::vector<char> seen(size_t(mx) * size_t(my), 0);
    std::mt19937 rng(seed);
    std::vector<std::pair<int, int>> stack{{0, 0}};
    seen[0] = 1;
    room(0, 0);
    while (!stack.empty()) {
        auto [i, j] = stack.back();
        std::vector<std::pair<int, int>> next;
        const int d[4][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}};
        for (auto& s : d) {
            int a = i + s[0], b = j + s[1];
            if (a >= 0 && b >= 0 && a < mx && b < my && !seen[size_t(b) * size_t(mx) + size_t(a)])
                next.push_back({a, b});
        }
        if (next.empty()) {
            stack.pop_back();
            continue;
        }
        auto [a, b] = next[rng() % next.size()];
        seen[size_t(b) * size_t(mx) + size_t(a)] = 1;
        room(a, b);
        // The wall between the two rooms.
        int x0 = 3 + pitch * std::min(i, a), y0 = 3 + pitch * std::min(j, b);
        if (a != i)
            open(x0 + 6, y0, x0 + 9, y0 + 6);
        else
            open(x0, y0 + 6, x0 + 6, y0 + 9);
        stack.push_back({a, b});
    }
    return {"maze", 5, 5, 5 + pitch * (mx - 1), 5 + pitch * (my - 1), true};
}

// Blocks of 1 to 4 cells scattered over a fifth of the grid.
inline void Scatter(CPathGrid& g, std::mt19937& rng, int density = 5) {
    int w = g.Width(), h = g.Height();
    int n = w * h / (density * 6);
    for (int i = 0; i < n; ++i) {
        int x = int(rng() % unsigned(w)), y = int(rng() % unsigned(h));
        Block(g, x, y, x + 1 + int(rng() % 4), y + 1 + int(rng() % 3));
    }
}

// Rectangles of 3 to 30 cells a side, placed at random (they may overlap).
inline void Rectangles(CPathGrid& g, std::mt19937& rng, int count) {
    int w = g.Width(), h = g.Height();
    for (int i = 0; i < count; ++i) {
        int x = int(rng() % unsigned(w)), y = int(rng() % unsigned(h));
        Block(g, x, y, x + 3 + int(rng() % 28), y + 3 + int(rng() % 28));
    }
}

// Start and goal pairs on cells where a unit of clearance r can stand, inside
// the margin the path finder keeps; the same for a seed on every machine.
inline std::vector<SPathCase> RandomQueries(const CPathGrid& g, int r, int count, unsigned seed) {
    std::mt19937 rng(seed);
    const int lo = r + 4, spanX = g.Width() - r - 5 - lo + 1, spanY = g.Height() - r - 5 - lo + 1;
    auto freeCell = [&](int& x, int& y) {
        do {
            x = lo + int(rng() % unsigned(spanX));
            y = lo + int(rng() % unsigned(spanY));
        } while (!g.IsSquareFree(r, x, y));
    };
    std::vector<SPathCase> out;
    for (int i = 0; i < count; ++i) {
        SPathCase c{"random", 0, 0, 0, 0, true};
        freeCell(c.startX, c.startY);
        freeCell(c.goalX, c.goalY);
        out.push_back(c);
    }
    return out;
}

}  // namespace PathGrids
