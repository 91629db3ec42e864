// Waypoint lists and the path caches: world points are clamped into the map,
// cell lists are copied as they stand, and a cached path serves only its
// owner's units going between the same regions while it is recent.
#include <gtest/gtest.h>

#include <vector>

#include "world/WorldGrid.h"

namespace {

std::vector<float> Xs(const CWaypointList& list) {
    std::vector<float> xs;
    for (const CWaypointPoint* p = list.Head(); p; p = p->next) xs.push_back(p->x);
    return xs;
}

class WaypointListTest : public ::testing::Test {
protected:
    void SetUp() override {
        grid.SetMapRect(-128, 128, 128, -128);
        grid.Reset();
    }
    CWorldGrid grid{nullptr};
};

TEST_F(WaypointListTest, InsertionsAndTheCursor) {
    CWaypointList list;
    EXPECT_EQ(list.First(), nullptr);
    EXPECT_FALSE(list.Next());
    list.Append(2, 0, 0);
    list.PushFront(1, 0, 0);
    list.AppendRaw(4, 0, 0);
    CWaypointPoint* three = list.InsertBefore(list.Tail(), 3, 0, 0);
    list.InsertBefore(list.Head(), 0, 0, 0);
    list.InsertBefore(nullptr, 5, 0, 0);
    EXPECT_EQ(Xs(list), (std::vector<float>{0, 1, 2, 3, 4, 5}));
    EXPECT_EQ(list.Count(), 6);
    EXPECT_EQ(three->prev->x, 2.0f);
    EXPECT_EQ(list.Tail()->prev->x, 4.0f);

    EXPECT_EQ(list.First()->x, 0.0f);
    int steps = 0;
    while (list.Next()) ++steps;
    EXPECT_EQ(steps, 5);
    EXPECT_EQ(list.Cursor(), list.Tail());
    EXPECT_EQ(list.CursorIndex(), 5);
    list.SetCursorIndex(2);
    EXPECT_EQ(list.Cursor()->x, 2.0f);
    list.SetCursorIndex(6);  // past the tail: no cursor
    EXPECT_EQ(list.Cursor(), nullptr);
    EXPECT_EQ(list.CursorIndex(), -1);

    list.m_noPath = 1;
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.Head(), nullptr);
    EXPECT_EQ(list.Cursor(), nullptr);
    EXPECT_EQ(list.m_noPath, 1);
}

TEST_F(WaypointListTest, WorldPointsAreClampedAndCellListsCopiedRaw) {
    // A list clamps into the map of the grid it is made for.
    CWaypointList world(&grid);
    world.PushFront(500.0f, 1.0f, -500.0f);
    const float point[3] = {-300.0f, 0.0f, 0.0f};
    world.PushFrontPoint(point);
    world.Append(0.0f, 0.0f, 200.0f);
    EXPECT_EQ(Xs(world), (std::vector<float>{-126.0f, 126.0f, 0.0f}));
    EXPECT_EQ(world.Head()->next->z, -126.0f);
    EXPECT_EQ(world.Tail()->z, 126.0f);

    // A path of fine cells (x up to 768): copied raw it keeps its cells; the
    // clamping copy would move every cell past 126 onto the map's edge.
    CWaypointList cells;
    cells.AppendRaw(700.0f, 65535.0f, 500.0f);
    cells.AppendRaw(730.0f, 0.0f, 20.0f);
    cells.Head()->flags = 1;
    CWaypointList raw(&grid), clamped(&grid);
    raw.AssignRaw(cells);
    clamped.Assign(cells);
    EXPECT_EQ(Xs(raw), (std::vector<float>{700.0f, 730.0f}));
    EXPECT_EQ(raw.Head()->z, 500.0f);
    EXPECT_EQ(raw.Head()->y, 65535.0f);
    EXPECT_EQ(raw.Head()->flags, 1u);
    EXPECT_EQ(Xs(clamped), (std::vector<float>{126.0f, 126.0f}));
    // A list made for no grid clamps nothing.
    CWaypointList free;
    free.Assign(cells);
    EXPECT_EQ(Xs(free), (std::vector<float>{700.0f, 730.0f}));
}

TEST_F(WaypointListTest, PathCacheServesTheOwnersNearbyRequestsWhileRecent) {
    CWaypointList path;
    path.PushFrontRaw(400.0f, 0.0f, 400.0f);      // goal
    path.PushFrontRaw(200.0f, 65535.0f, 300.0f);  // a corner
    path.PushFrontRaw(100.0f, 65535.0f, 100.0f);  // first corner, near the start
    grid.StorePath(2, 1000, path, 5);
    grid.StorePath(12, 1000, path, 5);  // no cache for that radius
    EXPECT_EQ(grid.CachedPathCount(2), 1u);
    EXPECT_EQ(grid.CachedPathCount(12), 0u);

    CWaypointList out;
    // Another player's unit, another radius, or too far from the cached ends:
    // nothing.
    EXPECT_FALSE(grid.FindCachedPath(2, 2000, 100, 100, 400, 400, 6, out));
    EXPECT_FALSE(grid.FindCachedPath(1, 2000, 100, 100, 400, 400, 5, out));
    EXPECT_FALSE(grid.FindCachedPath(2, 2000, 100, 100, 443, 443, 5, out));  // 60.8 + 0
    EXPECT_FALSE(grid.FindCachedPath(2, 2000, 70, 100, 400, 430, 5, out));   // 30 + 30
    // Near both ends: the cells as cached, then the unit's own target cell.
    ASSERT_TRUE(grid.FindCachedPath(2, 2000, 110, 100, 420, 410, 5, out));
    EXPECT_EQ(Xs(out), (std::vector<float>{100.0f, 200.0f, 400.0f, 420.0f}));
    EXPECT_EQ(out.Tail()->z, 410.0f);
    EXPECT_EQ(out.Tail()->prev->z, 400.0f);

    // Older than 4,000,000 game-time units it is gone for good.
    EXPECT_TRUE(grid.FindCachedPath(2, 1000 + 4000000, 100, 100, 400, 400, 5, out));
    EXPECT_FALSE(grid.FindCachedPath(2, 1001 + 4000000, 100, 100, 400, 400, 5, out));
    EXPECT_EQ(grid.CachedPathCount(2), 0u);

    grid.StorePath(2, 1000, path, 5);
    grid.Reset();
    EXPECT_EQ(grid.CachedPathCount(2), 0u);
}

TEST_F(WaypointListTest, WaypointCellsBecomeWorldPointsInsideTheGrid) {
    float x, z;
    grid.WaypointToWorld(384, 384, x, z);
    EXPECT_FLOAT_EQ(x, 0.0f);
    EXPECT_FLOAT_EQ(z, 0.0f);
    grid.WaypointToWorld(65535, -5, x, z);  // cells from a message are kept inside the grid
    EXPECT_FLOAT_EQ(x, 128.0f);
    EXPECT_FLOAT_EQ(z, 128.0f);
}

}  // namespace
