// The computer players' danger grid: cells of a map rectangle that rise
// where units lost value and fall where units destroyed it, against values
// worked by hand; and the grid a computer player keeps from a scripted fight
// in the world.
#include <gtest/gtest.h>

#include <string>

#include "ai/AIManager.h"
#include "ai/AreaGrid.h"
#include "ai/ComputerPlayer.h"
#include "tests/support/UnitWorld.h"
#include "world/Unit.h"
#include "world/UnitTemplate.h"

namespace {

int32_t Total(const CAreaGrid& g) {
    int32_t sum = 0;
    for (int32_t r = 0; r < g.Rows(); ++r)
        for (int32_t c = 0; c < g.Columns(); ++c) sum += g.At(c, r);
    return sum;
}

}  // namespace

TEST(DangerGrid, AddsSumsClampsAndFadesAsWorkedByHand) {
    CAreaGrid g;
    g.Init(-50, 50, 50, -50);  // 101 x 101 cells; (x, z) is cell (x + 50, 50 - z)
    ASSERT_EQ(g.Columns(), 101);
    ASSERT_EQ(g.Rows(), 101);

    // Within 10 cells of a border nothing changes at all.
    for (const auto& p : {std::pair<float, float>{-45, 0}, {45.4f, 0}, {0, 41}, {0, -45}}) {
        g.AddAround(p.first, p.second, 5);
        EXPECT_EQ(Total(g), 0) << p.first << ", " << p.second;
    }
    // In the middle: the 20 x 20 cells from -10 to +9 around the point's cell.
    g.AddAround(0.3f, -0.4f, 1);
    EXPECT_EQ(Total(g), 400);
    EXPECT_EQ(g.At(40, 40), 1);
    EXPECT_EQ(g.At(59, 59), 1);
    EXPECT_EQ(g.At(60, 50), 0);
    EXPECT_EQ(g.At(39, 50), 0);
    EXPECT_EQ(g.SumAround(0, 0), 400);
    EXPECT_EQ(g.SumAround(10, 0), 200);  // half the block overlaps

    // Cells stay within -127..127.
    g.AddAround(0, 0, 120);
    g.AddAround(0, 0, 120);
    EXPECT_EQ(g.At(50, 50), 127);
    g.AddAround(0, 0, -300);
    EXPECT_EQ(g.At(50, 50), -127);

    // Near a corner the sum counts only the cells inside: the block of
    // (-35, 35) is cells 5..24; the sum around (-48, 48) covers 0..11 of it.
    CAreaGrid corner;
    corner.Init(-50, 50, 50, -50);
    corner.AddAround(-35, 35, 2);
    EXPECT_EQ(corner.SumAround(-48, 48), 7 * 7 * 2);

    // Fading lowers a cell above 0 by one and raises every other: a cell at
    // 0 becomes 1 at a fading and 0 at the next.
    CAreaGrid fade;
    fade.Init(-50, 50, 50, -50);
    fade.AddAround(-20, 0, 2);
    fade.AddAround(20, 0, -1);
    fade.Fade();
    EXPECT_EQ(fade.At(30, 50), 1);
    EXPECT_EQ(fade.At(70, 50), 0);
    EXPECT_EQ(fade.At(50, 0), 1);
    fade.Fade();
    EXPECT_EQ(fade.At(30, 50), 0);
    EXPECT_EQ(fade.At(70, 50), 1);
    EXPECT_EQ(fade.At(50, 0), 0);
    EXPECT_EQ(Total(fade), 400);  // the cells that were below 0
    fade.AddAround(0, 0, -127);
    fade.AddAround(0, 0, -127);
    fade.Fade();
    EXPECT_EQ(fade.At(50, 50), -126);

    // A map not centred on the origin: rows count down from its top edge.
    CAreaGrid offset;
    offset.Init(0, 100, 100, 0);
    offset.AddAround(50, 80, 3);
    EXPECT_EQ(offset.At(50, 20), 3);
    EXPECT_EQ(Total(offset), 1200);
}

// A computer player folds what damage cost into its grid at its danger-grid
// phase: a Granite light tank (power 220, expense 250) that lost 110 power
// lost 110 / 220 x 250 = 125, which raises the cells around it by 12; its
// attacker, a Coral light tank (power 200, expense 250), destroyed
// 110 / 200 x 250 = 137.5 and, with the 10 of its scratch on a second tank,
// lowers the cells around itself by 14. A loss of 10 or less waits until
// more comes.
TEST(DangerGrid, AComputerPlayerFoldsWhatItsUnitsLostAndDestroyed) {
    CUnitWorld world(64);
    std::string error;
    ASSERT_TRUE(world.LoadDemoTemplates(error)) << error;
    CUnit* victim = world.Spawn("Granite_LightTank", -20, 0, world.red);
    CUnit* attacker = world.Spawn("Coral_LightTank", 20, 0, world.blue);
    CUnit* scratched = world.Spawn("Granite_LightTank", 0, 30, world.red);
    ASSERT_TRUE(victim && attacker && scratched);

    CAIManager manager(&world.world, nullptr);
    manager.InitializeCommanders("Test", "");
    CComputerPlayer cp(manager, world.world, world.red->m_id, 1);
    cp.Reset();
    ASSERT_TRUE(cp.Active());

    victim->ApplyDamage(attacker, 110.0f, false);
    scratched->ApplyDamage(attacker, 8.0f, false);  // 9.09: not yet
    SAIUnits units;
    auto step = [&](int ticks) {
        for (int i = 0; i < ticks; ++i) {
            units.all = world.world.Query().AllUnits();
            units.index.clear();
            for (size_t k = 0; k < units.all.size(); ++k) units.index[units.all[k].id] = k;
            cp.Update(units);
        }
    };
    step(11);  // one cycle: the danger-grid phase ran once
    int32_t c, r;
    cp.Grid().CellOf(-20, 0, &c, &r);
    EXPECT_EQ(cp.Grid().At(c, r), 12);
    cp.Grid().CellOf(20, 0, &c, &r);
    EXPECT_EQ(cp.Grid().At(c, r), -14);
    cp.Grid().CellOf(0, 30, &c, &r);
    EXPECT_EQ(cp.Grid().At(c, r), 0);
    // The next scratch makes 18.18: folded as 1; what was folded is not
    // folded again (and the attacker's new 10 waits).
    scratched->ApplyDamage(attacker, 8.0f, false);
    step(11);
    EXPECT_EQ(cp.Grid().At(c, r), 1);
    cp.Grid().CellOf(-20, 0, &c, &r);
    EXPECT_EQ(cp.Grid().At(c, r), 12);
    cp.Grid().CellOf(20, 0, &c, &r);
    EXPECT_EQ(cp.Grid().At(c, r), -14);
    // A unit that leaves play is folded at once, however little is left:
    // the victim's 30 more (34.09 not yet folded) raise its cells by 3.
    victim->ApplyDamage(attacker, 30.0f, false);
    cp.FlushUnit(victim->m_objectId, victim->m_position[0], victim->m_position[2], victim->m_valueLost,
                 victim->m_valueDestroyed);
    cp.Grid().CellOf(-20, 0, &c, &r);
    EXPECT_EQ(cp.Grid().At(c, r), 15);
}
