// The world grid: objects in the link layers and the area queries over them,
// footprints on the path grid, the straight-way test, the fog-of-war cell map
// and the saved-game record.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/Math.h"
#include "core/VFSFile.h"
#include "core/VFSTable.h"
#include "e3d/Surface.h"
#include "tests/support/TempDir.h"
#include "tests/support/WorldTestHost.h"
#include "tests/world/GridTestUnit.h"
#include "world/TessarakObject.h"
#include "world/WorldGrid.h"

namespace {

using G = CGridObject;

class WorldGridTest : public ::testing::Test {
protected:
    void SetUp() override {
        grid.SetMapRect(-128, 128, 128, -128);
        grid.Reset();
    }
    CTestGridObject& Add(float x, float z, float radius, uint32_t traits, const CPlayer* owner = nullptr) {
        objects.push_back(std::make_unique<CTestGridObject>(int32_t(objects.size()), x, z, radius, traits));
        CTestGridObject& o = *objects.back();
        o.owner = owner;
        grid.Link(o, x, z, x, z);
        return o;
    }
    CWorldGridLayer& Coarse() { return grid.m_layer[0]; }

    CWorldGrid grid{nullptr};
    std::vector<std::unique_ptr<CTestGridObject>> objects;
};

TEST_F(WorldGridTest, ObjectsAtTheEastAndSouthEdgesLinkIntoTheLastCells) {
    // Layer 0: 256 / 6 + 1 = 43 cells; x = 127.9 rounds to cell 43, one past
    // the last, and is kept in cell 42.
    EXPECT_EQ(Coarse().Width(), 43);
    CTestGridObject& edge = Add(127.9f, -127.9f, 0.5f, 0);
    EXPECT_EQ(Coarse().Cell(42, 42), &edge);
    EXPECT_EQ(grid.m_layer[1].Cell(256, 256), &edge);
    EXPECT_EQ(Coarse().QueryAt(127.9f, -127.9f), &edge);
    // Far outside the map nothing is visited and nothing breaks.
    EXPECT_EQ(Coarse().QueryAt(1e30f, -1e30f), nullptr);
    EXPECT_TRUE(Coarse().QueryAround(5.0f, -5000.0f, 5000.0f));

    // Newest first within a cell; unlinking mends the list.
    CTestGridObject& second = Add(127.0f, -127.0f, 0.5f, 0);
    CTestGridObject& third = Add(126.5f, -126.5f, 0.5f, 0);
    EXPECT_EQ(Coarse().Cell(42, 42), &third);
    grid.Unlink(second);
    EXPECT_EQ(third.m_gridLink[0].next, &edge);
    EXPECT_EQ(edge.m_gridLink[0].prev, &third);

    // A reset lets every object go; relinking afterwards works.
    grid.Reset();
    EXPECT_FALSE(Coarse().IsLinked(edge));
    EXPECT_EQ(Coarse().Cell(42, 42), nullptr);
    edge.x = edge.z = 0.0f;
    grid.Link(edge, 0.0f, 0.0f, 0.0f, 0.0f);
    EXPECT_EQ(Coarse().QueryAt(0.0f, 0.0f), &edge);
}

TEST_F(WorldGridTest, AreaQueries) {
    const CPlayer *p1 = TestPlayer(1), *p2 = TestPlayer(2);
    CTestGridObject& rock = Add(0.0f, 0.0f, 2.0f, 0);
    CTestGridObject& own = Add(3.0f, 0.0f, 0.5f, G::kGridUnit | G::kGridMobile, p1);
    CTestGridObject& tower = Add(10.0f, 0.0f, 1.0f, G::kGridUnit, p2);
    CTestGridObject& tank = Add(5.0f, 5.0f, 0.5f, G::kGridUnit | G::kGridMobile | G::kGridOnWaypoints, p2);
    CTestGridObject& decoy = Add(4.0f, 0.0f, 0.2f, G::kGridUnit | G::kGridMobile | G::kGridNoTarget, p2);

    EXPECT_FALSE(Coarse().QueryAround(0.5f, 1.0f, 0.0f));  // the rock: 1.0 < 0.5 + 2.0
    EXPECT_TRUE(Coarse().QueryAround(0.5f, 0.0f, 12.0f));
    EXPECT_TRUE(Coarse().IsFreeOfObstacles(0.5f, 3.0f, 0.0f));  // units do not count
    EXPECT_FALSE(Coarse().IsFreeOfObstacles(0.5f, 2.4f, 0.0f));

    EXPECT_FALSE(Coarse().IsFreeOfEnemyUnits(p1, 11.0f, 0.0f, 0.0f));  // the enemy's tower
    EXPECT_TRUE(Coarse().IsFreeOfEnemyUnits(p1, 9.0f, 0.0f, 0.0f));
    EXPECT_TRUE(Coarse().IsFreeOfEnemyUnits(p2, 11.0f, 0.0f, 0.0f));  // its own
    own.ally = p2;
    tower.ally = p1;
    EXPECT_TRUE(Coarse().IsFreeOfEnemyUnits(p1, 11.0f, 0.0f, 0.0f));  // an ally's
    own.ally = tower.ally = nullptr;

    // Free for the unit itself at its place (it does not count), not with a
    // margin that lets the decoy in reach; the moving tank is ignored on request.
    EXPECT_TRUE(Coarse().IsFreeFor(own, 3.0f, 0.0f, 0.0f));
    EXPECT_FALSE(Coarse().IsFreeFor(own, 3.4f, 0.0f, 0.0f));  // decoy: 0.6 < 0.5 + 0.2
    EXPECT_TRUE(Coarse().IsFreeFor(own, 3.4f, 0.0f, 0.2f));
    EXPECT_FALSE(Coarse().IsFreeFor(own, 5.0f, 4.5f, 0.0f));
    EXPECT_TRUE(Coarse().IsFreeForIgnoringMoving(own, 5.0f, 4.5f, 0.0f));

    EXPECT_EQ(Coarse().QueryAt(0.5f, 0.5f), &rock);
    EXPECT_EQ(Coarse().QueryAt(7.0f, 7.0f), nullptr);
    EXPECT_EQ(Coarse().FindOverlapping(own, 3.0f, 0.0f), nullptr);
    EXPECT_EQ(Coarse().FindOverlapping(own, 2.0f, 0.0f), &rock);
    own.footprintRadius = 1.5f;
    EXPECT_EQ(Coarse().FindOverlappingFootprint(own, 4.0f, 1.0f), &decoy);

    // The nearest enemy that can be targeted: not the decoy, then not a unit
    // taken aside, then nobody for an ally.
    EXPECT_EQ(Coarse().FindNearestEnemyUnit(3.0f, 0.0f, 20.0f, p1), &tank);
    tank.traits |= G::kGridAside;
    EXPECT_EQ(Coarse().FindNearestEnemyUnit(3.0f, 0.0f, 20.0f, p1), &tower);
    EXPECT_EQ(Coarse().FindNearestEnemyUnit(3.0f, 0.0f, 6.0f, p1), nullptr);
    tower.ally = decoy.ally = p1;
    tank.ally = p1;
    CGridObject* left = Coarse().FindNearestEnemyUnit(3.0f, 0.0f, 20.0f, p1);
    EXPECT_EQ(left, nullptr) << left->GridId();
}

// The search that stops early gives what a walk of its whole square gives:
// the nearest enemy unit, and of equally near ones the first in row order.
// Crowds on a lattice (many equal distances), objects beyond the map's edge
// (kept in the edge cells), objects that moved a little since they were
// linked, and query points inside, on the edge and outside the map.
TEST_F(WorldGridTest, NearestEnemyEqualsTheWalkOfTheWholeSquare) {
    CWorldGrid small(nullptr);
    small.SetMapRect(-30, 30, 30, -30);
    small.Reset();
    const CPlayer* players[3] = {TestPlayer(1), TestPlayer(2), TestPlayer(3)};
    uint32_t seed = 7;
    auto next = [&seed](uint32_t n) {
        seed = seed * 1664525u + 1013904223u;
        return (seed >> 8) % n;
    };
    std::vector<std::unique_ptr<CTestGridObject>> crowd;
    const uint32_t kinds[] = {G::kGridUnit, G::kGridUnit, G::kGridUnit | G::kGridNoTarget,
                              G::kGridUnit | G::kGridAside, 0};
    auto add = [&](float x, float z, float drift) {
        crowd.push_back(std::make_unique<CTestGridObject>(int32_t(crowd.size()), x, z, 0.5f, kinds[next(5)]));
        CTestGridObject& o = *crowd.back();
        o.owner = next(6) ? players[next(3)] : nullptr;
        if (o.owner == players[0] && next(2)) o.ally = players[1];
        small.Link(o, x, z, x, z);
        // Moved since it was linked, by less than a cell.
        o.x += float(int(next(101)) - 50) * 0.01f * drift;
        o.z += float(int(next(101)) - 50) * 0.01f * drift;
    };
    // A lattice of 3 (equally near units in different cells of every query
    // point of the lattice of 1.5 below), then units anywhere, some beyond the
    // map's edge and some moved by up to 5 since they were linked.
    for (int i = -14; i <= 14; i += 2)
        for (int j = -14; j <= 14; j += 2)
            if (next(3)) add(float(i) * 1.5f, float(j) * 1.5f, 0.0f);
    for (int i = 0; i < 300; ++i)
        add(float(int(next(900)) - 450) * 0.1f, float(int(next(900)) - 450) * 0.1f, next(3) ? 0.0f : 10.0f);
    CWorldGridLayer& layer = small.m_layer[0];
    int found = 0;
    for (int q = 0; q < 3000; ++q) {
        const float x = float(int(next(54)) - 27) * 1.5f, z = float(int(next(54)) - 27) * 1.5f;
        const float radius = float(1 + next(30));
        const CPlayer* player = next(5) ? players[next(3)] : nullptr;
        const int n = Math_RoundToInt(radius / layer.CellSize()) + 1;
        CGridObject* walked = layer.FindNearest(x, z, n, radius, [&](const CGridObject& o) {
            const uint32_t t = o.GridTraits();
            return (t & G::kGridUnit) && !(t & (G::kGridNoTarget | G::kGridAside)) &&
                   !o.GridIsAlliedWith(player);
        });
        ASSERT_EQ(layer.FindNearestEnemyUnit(x, z, radius, player), walked)
            << "query " << q << " at " << x << ", " << z << " radius " << radius;
        found += walked != nullptr;
    }
    EXPECT_GT(found, 1000);  // most queries find someone: the early stop is exercised
}

TEST_F(WorldGridTest, NeighboursAreChainedInVisitingOrder) {
    // Cells of layer 0 around (0, 0): rows (z falling) outer, columns inner.
    CTestGridObject& builder = Add(0.0f, 0.0f, 0.5f, G::kGridUnit | G::kGridBuilder);
    CTestGridObject& north = Add(0.0f, 6.0f, 0.5f, G::kGridUnit);
    CTestGridObject& east = Add(6.0f, 0.0f, 0.5f, G::kGridUnit);
    CTestGridObject& west = Add(-6.0f, 0.0f, 0.5f, 0);
    CTestGridObject& same = Add(1.0f, 0.0f, 0.5f, G::kGridUnit);
    CTestGridObject& carried = Add(0.5f, 0.0f, 0.5f, G::kGridUnit | G::kGridAside);
    builder.linked = &carried;

    std::vector<CGridObject*> chain;
    for (CGridObject* o = Coarse().CollectNeighbours(builder, 0.0f, 0.0f, 1); o; o = o->m_nextNeighbour)
        chain.push_back(o);
    EXPECT_EQ(chain, (std::vector<CGridObject*>{&north, &west, &same, &east}));
    // The list form: the same objects in the same order, nothing chained.
    std::vector<CGridObject*> list;
    Coarse().CollectNeighbours(carried, 0.0f, 0.0f, 1, list);
    EXPECT_TRUE(list.empty());
    Coarse().CollectNeighbours(builder, 0.0f, 0.0f, 1, list);
    EXPECT_EQ(list, chain);
    CWorldGridLayer::ClearNeighbours(chain.front());
    EXPECT_EQ(north.m_nextNeighbour, nullptr);

    EXPECT_EQ(Coarse().CollectNeighbours(west, 0.0f, 0.0f, 1), nullptr);     // not a unit
    EXPECT_EQ(Coarse().CollectNeighbours(carried, 0.0f, 0.0f, 1), nullptr);  // aside
}

TEST_F(WorldGridTest, FreeSpotsAndServicePoints) {
    Add(0.0f, 0.0f, 1.5f, 0);
    Add(2.0f, 0.0f, 0.5f, G::kGridUnit);
    float x, z;
    ASSERT_TRUE(Coarse().FindFreeSpot(0.5f, 0.0f, 0.0f, x, z));
    EXPECT_FLOAT_EQ(x * x + z * z, 4.0f);  // the nearest lattice point clear of both
    EXPECT_NE(x, 2.0f);
    ASSERT_TRUE(Coarse().FindFreeSpotNoUnits(0.5f, 0.0f, 0.0f, x, z));
    EXPECT_FLOAT_EQ(x * x + z * z, 4.0f);  // the unit does not count here
    ASSERT_TRUE(Coarse().FindFreeSpotNoUnits(0.5f, 5.0f, 5.0f, x, z));
    EXPECT_EQ(x, 5.0f);
    EXPECT_EQ(z, 5.0f);
    EXPECT_FALSE(Coarse().FindFreeSpot(0.5f, 0.0f, 0.0f, x, z, 1.0f));
    // Near the map's edge only points 2.0 inside it are offered.
    ASSERT_TRUE(Coarse().FindFreeSpot(0.5f, 127.5f, 0.0f, x, z));
    EXPECT_LE(x, 126.0f);

    const CPlayer* p1 = TestPlayer(1);
    int depotKind = 0, otherKind = 0;
    const uint32_t depot = G::kGridUnit | G::kGridService | G::kGridReady;
    CTestGridObject& far = Add(20.0f, 0.0f, 1.0f, depot, p1);
    CTestGridObject& near = Add(10.0f, 0.0f, 1.0f, depot & ~G::kGridReady, p1);
    CTestGridObject& other = Add(12.0f, 0.0f, 1.0f, depot, p1);
    far.unitTemplate = near.unitTemplate = &depotKind;
    other.unitTemplate = &otherKind;
    EXPECT_EQ(grid.FindNearestOwnUnit(p1, &depotKind, 4, 30.0f, 0.0f, 0.0f), &far);
    near.traits |= G::kGridReady;
    EXPECT_EQ(grid.FindNearestOwnUnit(p1, &depotKind, 4, 30.0f, 0.0f, 0.0f), &near);
    EXPECT_EQ(grid.FindNearestOwnUnit(TestPlayer(2), &depotKind, 4, 30.0f, 0.0f, 0.0f), nullptr);
    EXPECT_EQ(grid.FindNearestOwnUnit(p1, &depotKind, 4, 5.0f, 0.0f, 0.0f), nullptr);
}

TEST_F(WorldGridTest, FootprintsMarkThePathGridAndFollowTheirObject) {
    CPathGrid& cells = grid.m_pathGrid;
    CTestGridObject a(1, 0.0f, 0.0f), b(2, 0.0f, 0.0f);
    // (0, 0) is fine cell (384, 384); half-size 2 marks [382, 386) squared.
    grid.MarkFootprint(a, 0.0f, 0.0f, 2);
    EXPECT_FALSE(cells.IsFree(382, 382));
    EXPECT_FALSE(cells.IsFree(385, 385));
    EXPECT_TRUE(cells.IsFree(386, 384));
    EXPECT_TRUE(cells.IsFree(381, 384));
    grid.MarkFootprint(b, 1.0f, 0.0f, 2);  // cells [385, 389) overlap a's column 385
    EXPECT_EQ(cells.Count(385, 384), 2);
    grid.MarkFootprint(a, 10.0f, 0.0f, 2);  // a moves: its old cells are given back
    EXPECT_TRUE(cells.IsFree(382, 384));
    EXPECT_EQ(cells.Count(385, 384), 1);
    grid.RemoveFootprint(b);
    EXPECT_TRUE(cells.IsFree(385, 384));
    // At the map's corner the footprint is clipped.
    grid.MarkFootprint(b, -128.0f, 128.0f, 3);
    EXPECT_EQ(b.m_footprint.width, 3);
    EXPECT_FALSE(cells.IsFree(0, 0));
    // A reset forgets every mark: a's old footprint must not unmark the new one.
    grid.Reset();
    CTestGridObject c(3, 0.0f, 0.0f);
    grid.MarkFootprint(c, 10.0f, 0.0f, 2);
    grid.RemoveFootprint(a);
    EXPECT_EQ(cells.Count(415, 384), 1);
}

TEST_F(WorldGridTest, StraightWayTest) {
    CTestGridObject unit(1, 0.0f, 0.0f);
    unit.clearance = 1;
    EXPECT_TRUE(grid.IsLineClear(unit, 0.0f, 0.0f, 20.0f, 7.0f));
    CTestGridObject wall(2, 0.0f, 0.0f);
    grid.MarkFootprint(wall, 10.0f, 3.5f, 1);  // one cell of the path grid on the line
    EXPECT_FALSE(grid.IsLineClear(unit, 0.0f, 0.0f, 20.0f, 7.0f));
    EXPECT_FALSE(grid.IsLineClear(unit, 20.0f, 7.0f, 0.0f, 0.0f));
    EXPECT_TRUE(grid.IsLineClear(unit, 0.0f, 0.0f, 20.0f, 9.0f));
    unit.clearance = 2;  // wider: the same line now grazes it
    EXPECT_FALSE(grid.IsLineClear(unit, 0.0f, 0.0f, 20.0f, 9.0f));
    EXPECT_FALSE(grid.IsLineClear(unit, 0.0f, 0.0f, 10.0f, 3.5f));   // the end itself
    EXPECT_FALSE(grid.IsLineClear(unit, 0.0f, 0.0f, 500.0f, 0.0f));  // off the map
}

TEST_F(WorldGridTest, ClampsAndVisibilityTests) {
    float x = 500.0f, z = -500.0f;
    grid.ClampToMap(x, z);
    EXPECT_EQ(x, 126.0f);
    EXPECT_EQ(z, -126.0f);
    // Outside the cell map (or on its last row or column) counts as hidden.
    EXPECT_TRUE(grid.IsCellUnder200(200.0f, 0.0f));
    EXPECT_TRUE(grid.IsCellUnder120(0.0f, -127.6f));
    EXPECT_FALSE(grid.IsCellUnder200(0.0f, 0.0f));  // no fog of war: all 255
    grid.m_cellMap.At(128, 128)->state = 150;
    EXPECT_TRUE(grid.IsCellUnder200(0.0f, 0.0f));
    EXPECT_FALSE(grid.IsCellUnder120(0.0f, 0.0f));
}

TEST(WorldGridSpots, FarFromTheScenesSpecialObjects) {
    CWorldTestHost host;
    CWorldGrid& grid = *host.grid;
    grid.SetMapRect(-64, 64, 64, -64);
    grid.Reset();
    EXPECT_FALSE(grid.IsFarFromSpecialObjects(0.0f, 0.0f));  // the scene has no special template
    CTessarakObjectTemplate* spot = host.MakeTemplate<CTessarakObjectTemplate>(host.m_root, 50, "Spot");
    host.scene->m_spotTemplate = spot;
    EXPECT_TRUE(grid.IsFarFromSpecialObjects(0.0f, 0.0f));
    const float at[3] = {10.0f, 0.0f, -5.0f};
    ASSERT_TRUE(host.scene->CreateObjectByClass(spot, at, nullptr, 1));
    EXPECT_FALSE(grid.IsFarFromSpecialObjects(10.5f, -5.5f));
    EXPECT_TRUE(grid.IsFarFromSpecialObjects(11.0f, -5.0f));
    EXPECT_TRUE(grid.IsFarFromSpecialObjects(-10.0f, 5.0f));
}

TEST(CellMap, HalfChordTable) {
    CCellMap map;
    EXPECT_EQ(map.HalfChord(5, 3), 4);
    EXPECT_EQ(map.HalfChord(5, 4), 3);
    for (int r : {0, 1, 17, 63}) {
        EXPECT_EQ(map.HalfChord(r, r), 0);
        EXPECT_EQ(map.HalfChord(r, 0), r);
    }
}

class CRecordingPainter : public CCellMapPainter {
public:
    bool BeginPaint() override {
        ++begins;
        return true;
    }
    void EndPaint() override { ++ends; }
    void PaintBlock(int x, int y, uint8_t paint) override { blocks.push_back({x, y, paint}); }
    struct SBlock {
        int x, y;
        uint8_t paint;
    };
    std::vector<SBlock> blocks;
    int begins = 0, ends = 0;
};

TEST(CellMap, ObserversBrightenAndAbsenceFades) {
    CCellMap map;
    map.Init(0, 10, 10, 0, true);
    CRecordingPainter painter;
    map.m_painter = &painter;
    // Two units watch cell (5, 5) for one tick: +30.
    map.StampDisc(5, 5, 3, 1);
    map.StampDisc(5, 4, 3, 1);
    map.Rebuild();
    EXPECT_EQ(map.At(5, 5)->state, 30);
    EXPECT_EQ(map.At(5, 5)->count, 2);
    EXPECT_EQ(map.At(0, 0)->state, 0);
    EXPECT_TRUE(painter.blocks.empty());  // nothing explored yet
    // Both go: the cell fades from 200 to 128 in 15 ticks and stays there.
    map.StampDisc(5, 5, 3, -1);
    map.StampDisc(5, 4, 3, -1);
    map.At(5, 5)->state = 200;
    for (int tick = 0; tick < 14; ++tick) map.Rebuild();
    EXPECT_EQ(map.At(5, 5)->state, 130);
    map.Rebuild();
    map.Rebuild();
    EXPECT_EQ(map.At(5, 5)->state, 128);
    EXPECT_EQ(map.At(5, 5)->paint, CCellMapPainter::kPaintExplored);
    // Painted visible once while it was bright, explored once after.
    int paints = 0;
    for (auto& b : painter.blocks) {
        EXPECT_EQ(b.x, 10);
        EXPECT_EQ(b.y, 10);
        ++paints;
    }
    EXPECT_EQ(paints, 2);
    EXPECT_EQ(painter.begins, painter.ends);
    EXPECT_FALSE(map.m_finished);  // fog of war keeps the map updating
}

TEST(CellMap, SightDiscsAreClippedAndCountsStayInRange) {
    CCellMap map;
    map.Init(0, 10, 10, 0, true);
    // Radius 2: rows -1..1 with half-chords 2, 2, 2, so columns -1..1; the
    // map keeps rows 0 and 1, columns 0 and 1.
    map.StampDisc(0, 0, 2, 1);
    int watched = 0;
    for (auto& c : map.Cells()) watched += c.count;
    EXPECT_EQ(watched, 4);
    EXPECT_EQ(map.At(1, 1)->count, 1);
    map.StampDisc(0, 0, 2, -1);
    map.StampDisc(0, 0, 2, -1);  // once too often: counts stay at 0
    for (auto& c : map.Cells()) EXPECT_EQ(c.count, 0);
    map.StampDisc(5, 5, 200, 1);  // radius capped at 63: covers everything
    for (auto& c : map.Cells()) EXPECT_EQ(c.count, 1);
    map.StampDisc(-1000000, 5, 5, 1);
}

TEST(CellMap, WithoutFogOfWarTheMapIsFinishedAfterOnePass) {
    CCellMap map;
    map.Init(0, 4, 4, 0, false);
    CRecordingPainter painter;
    map.m_painter = &painter;
    map.Rebuild();
    EXPECT_TRUE(map.m_finished);
    EXPECT_EQ(painter.blocks.size(), 16u);
    EXPECT_EQ(painter.begins, 1);
    map.At(1, 1)->state = 0;
    map.Rebuild();
    EXPECT_EQ(map.At(1, 1)->state, 0);
    painter.blocks.clear();
    map.PaintRadar();
    EXPECT_EQ(painter.blocks.size(), 15u);
}

TEST_F(WorldGridTest, SavedRecordRoundTripsAndBadRecordsChangeNothing) {
    CTempDir dir;
    CVFSTable table;
    grid.m_cellMap.At(3, 4)->state = 140;
    grid.m_cellMap.At(3, 4)->paint = 2;
    grid.m_cellMap.At(3, 4)->count = 7;
    grid.m_cellMap.m_finished = 1;
    const std::string path = dir.WinFile("grid.sav");
    {
        CVFSFile out(path.c_str(), CVFSFile::kModeWrite, &table);
        ASSERT_TRUE(grid.Save(out));
    }
    const std::string saved = dir.Read("grid.sav");
    EXPECT_EQ(saved.size(), 262181u);

    CWorldGrid other(nullptr);
    {
        CVFSFile in(path.c_str(), CVFSFile::kModeRead, &table);
        ASSERT_TRUE(other.Load(in));
    }
    EXPECT_EQ(other.m_x1, -128);
    EXPECT_EQ(other.m_y2, -128);
    EXPECT_EQ(other.m_fineX2, 384);
    EXPECT_EQ(other.m_pathGrid.Width(), 769);
    EXPECT_EQ(other.m_cellMap.At(3, 4)->state, 140);
    EXPECT_EQ(other.m_cellMap.At(3, 4)->paint, 2);
    EXPECT_EQ(other.m_cellMap.At(3, 4)->count, 0);  // every unit stamps its sight again
    EXPECT_EQ(other.m_cellMap.m_finished, 1);

    auto corrupt = [&](const char* what, std::string bytes) {
        SCOPED_TRACE(what);
        ASSERT_TRUE(dir.Write("bad.sav", bytes));
        CWorldGrid target(nullptr);
        target.SetMapRect(0, 8, 8, 0);
        target.Reset();
        target.m_cellMap.At(1, 1)->state = 77;
        CVFSFile in(dir.WinFile("bad.sav").c_str(), CVFSFile::kModeRead, &table);
        EXPECT_FALSE(target.Load(in));
        EXPECT_EQ(target.m_x2, 8);
        EXPECT_EQ(target.m_cellMap.CellCount(), 64);
        EXPECT_EQ(target.m_cellMap.At(1, 1)->state, 77);
    };
    auto patch = [&](size_t at, uint32_t v) {
        std::string b = saved;
        for (int i = 0; i < 4; ++i) b[at + size_t(i)] = char(v >> (8 * i));
        return b;
    };
    corrupt("a cell count that does not fit the rectangle", patch(32, 65535));
    corrupt("a cell count far beyond the data", patch(32, 0x40000000));
    corrupt("the record cut short", saved.substr(0, saved.size() - 1));
    corrupt("a fine rectangle that is not three times the map's", patch(16, uint32_t(-383)));
    corrupt("a rectangle turned inside out", patch(8, uint32_t(-200)));
    corrupt("a map far too large", patch(8, 100000));
}

TEST_F(WorldGridTest, DebugDrawingShowsBlockedCellsInWhite) {
    grid.SetMapRect(0, 10, 10, 0);
    grid.Reset();
    CTestGridObject wall(1, 0.0f, 0.0f);
    grid.MarkFootprint(wall, 5.0f, -5.0f, 1);  // fine cell (15, 15): marks [14, 16)
    CE3DSurface canvas(nullptr);
    ASSERT_TRUE(canvas.Create(80, 80, true));
    grid.DrawDebug(canvas);
    ASSERT_TRUE(canvas.Lock());
    auto pixel = [&](int x, int y) {
        return *reinterpret_cast<const uint32_t*>(canvas.Bits() + y * canvas.Pitch() + x * 4) & 0xFFFFFF;
    };
    EXPECT_EQ(pixel(25 + 14, 25 + 15), 0xFFFFFFu);
    EXPECT_EQ(pixel(25 + 16, 25 + 15), 0x00FF00u);
    EXPECT_EQ(pixel(25, 25), 0x00FF00u);
    EXPECT_EQ(pixel(20, 20), 0u);
    canvas.Unlock();
}

}  // namespace
