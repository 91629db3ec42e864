// The build planner of a computer player in a world of the demo units: it
// orders only what the player can pay for, puts structures on sites that
// are free and that its builder can drive to, and reports when it finds
// none; the world's reachability query it relies on.
#include <gtest/gtest.h>

#include <string>

#include "ai/AIGroup.h"
#include "ai/AIManager.h"
#include "ai/ComputerPlayer.h"
#include "tests/support/TempDir.h"
#include "tests/support/UnitWorld.h"
#include "world/GameScene.h"
#include "world/PathGrid.h"
#include "world/Unit.h"
#include "world/UnitOrder.h"
#include "world/UnitTemplate.h"
#include "world/World.h"
#include "world/WorldGrid.h"

namespace {

class BuildPlanner : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(world.LoadDemoTemplates(error)) << error;
        // The learning files: the red player's race wants a factory most.
        world.root = dir.Win();
        dir.Write("AIVALUES/Granite/BuildFitness0.ai",
                  "// wanted\nGranite_Factory 500\nGranite_Harvester 1\n");
        hq = world.Spawn("Granite_Headquarters", 0, 0, world.red);
        constructor = world.Spawn("Granite_Constructor", 12, 12, world.red);
        ASSERT_TRUE(hq && constructor);
        world.red->m_storage = world.red->m_resources = 0.0f;
        manager.m_debug = 1;
        manager.InitializeCommanders("Test", "");
        cp.reset(new CComputerPlayer(manager, world.world, world.red->m_id, 3));
        cp->Reset();
        ASSERT_TRUE(cp->Active());
    }
    // Logic ticks of the computer player alone (the world stands still, so
    // its orders stay queued where the test can read them).
    void Step(int ticks) {
        for (int i = 0; i < ticks; ++i) {
            units.all = world.world.Query().AllUnits();
            units.index.clear();
            for (size_t k = 0; k < units.all.size(); ++k) units.index[units.all[k].id] = k;
            cp->Update(units);
        }
    }
    // The construction the constructor was told to put up, or null.
    const CBuildOrder* Site() const {
        for (CUnitOrder* o = constructor->m_orderList->FirstChild(); o; o = o->Next())
            if (o->m_type == CUnitOrder::kConstruct) return static_cast<const CBuildOrder*>(o);
        return nullptr;
    }
    int Orders() const { return hq->m_orderList->ChildCount() + constructor->m_orderList->ChildCount(); }

    CTempDir dir;
    CUnitWorld world{64};
    CAIManager manager{&world.world, nullptr};
    std::unique_ptr<CComputerPlayer> cp;
    SAIUnits units;
    CUnit* hq = nullptr;
    CUnit* constructor = nullptr;
};

}  // namespace

TEST_F(BuildPlanner, OrdersNothingThePlayerCannotPayFor) {
    // 350 pays for a light tank (250) or a harvester (300), never the
    // factory it wants most (800) nor the depot its want of resources asks
    // for (500): it builds the best mobile unit it can pay for.
    world.red->m_storage = world.red->m_resources = 350.0f;
    Step(12);
    EXPECT_EQ(Site(), nullptr);
    EXPECT_EQ(world.FindLine("Building Granite_Factory"), "");
    EXPECT_EQ(world.FindLine("Building Granite_Depot"), "");
    EXPECT_GT(hq->m_orderList->ChildCount(), 0);
    for (CUnitOrder* o = hq->m_orderList->FirstChild(); o; o = o->Next()) {
        ASSERT_EQ(o->m_type, CUnitOrder::kProduce);
        EXPECT_LT(static_cast<CUnitTemplate*>(static_cast<CBuildOrder*>(o)->m_template)->m_expense, 350.0f);
    }
    // Nothing at all with nothing to pay.
    hq->m_orderList->RemoveQueued();
    world.red->m_resources = 0.0f;
    Step(12);
    EXPECT_EQ(Orders(), 0);
}

TEST_F(BuildPlanner, PutsAStructureOnAFreeSiteItsBuilderCanReach) {
    world.red->m_storage = world.red->m_resources = 5000.0f;
    Step(12);
    const CBuildOrder* site = Site();
    ASSERT_NE(site, nullptr) << world.FindLine("Computer");
    EXPECT_STREQ(site->m_template->m_name.GetText(), "Granite_Factory");
    EXPECT_NE(world.FindLine("Computer 2: Building Granite_Factory..."), "");
    const float x = site->m_destination[0], z = site->m_destination[2];
    const CUnitTemplate* factory = world.UnitTemplate("Granite_Factory");
    // Clear of the headquarters and every other object by the footprint and
    // the clearance between buildings, inside the map, reachable.
    const CWorldQuery& q = world.world.Query();
    EXPECT_TRUE(q.IsAreaFree(factory->m_footprintRadius + 2.0f, x, z)) << x << ", " << z;
    EXPECT_TRUE(q.Reachable(constructor->m_position[0], constructor->m_position[2], x, z, 3.0f));
    EXPECT_LT(x * x + z * z, 40.0f * 40.0f);  // near the base
}

TEST_F(BuildPlanner, ASiteItsBuilderCannotReachIsNoSite) {
    // The constructor is walled in: no way leads out of the square around it.
    CPathGrid& cells = world.grid->m_pathGrid;
    int cx, cz;
    cells.CellOf(12, 12, cx, cz);
    cells.AddRect(cx - 12, cz - 12, cx + 13, cz - 9, 1);
    cells.AddRect(cx - 12, cz + 10, cx + 13, cz + 13, 1);
    cells.AddRect(cx - 12, cz - 12, cx - 9, cz + 13, 1);
    cells.AddRect(cx + 10, cz - 12, cx + 13, cz + 13, 1);
    const CWorldQuery& q = world.world.Query();
    EXPECT_TRUE(q.Reachable(12, 12, 13, 11, 0.5f));
    EXPECT_FALSE(q.Reachable(12, 12, -20, -20, 3.0f));
    EXPECT_FALSE(q.Reachable(-20, -20, 12, 12, 0.5f));

    world.red->m_storage = world.red->m_resources = 5000.0f;
    Step(12);
    EXPECT_EQ(Site(), nullptr);
    EXPECT_NE(world.FindLine("Couldn\xB4t find build position for Granite_Factory..."), "");
}

TEST_F(BuildPlanner, NeverPlansWhatTheMapsRestrictionOrTheGamesKindLeavesOut) {
    // The factory it wants most is refused by the world under the map's
    // build restriction: the planner turns to what it may build.
    CUnitTemplate* factory = world.UnitTemplate("Granite_Factory");
    CGameScene& scene = world.world.Scene();
    for (const CComputerPlayer::SKnowledge& k : cp->Knowledge())
        const_cast<CUnitTemplate*>(k.tmpl)->m_noBuildRestriction = k.tmpl != factory;
    scene.m_buildRestrictionMode = 1;
    world.red->m_storage = world.red->m_resources = 5000.0f;
    Step(12);
    EXPECT_EQ(world.FindLine("Building Granite_Factory"), "");
    const CBuildOrder* site = Site();
    ASSERT_NE(site, nullptr) << world.FindLine("Computer");
    EXPECT_NE(site->m_template, factory);

    // Without the restriction, a template built only in a single-player
    // game is not planned in a skirmish or a multiplayer game...
    scene.m_buildRestrictionMode = 0;
    factory->m_singlePlayerBuild = 1;
    for (int32_t type : {1, 2}) {
        scene.Objectives().SetGameType(type);
        cp->Reset();
        constructor->m_orderList->RemoveQueued();
        Step(12);
        EXPECT_EQ(world.FindLine("Building Granite_Factory"), "") << type;
        for (const CComputerPlayer::SKnowledge& k : cp->Knowledge())
            EXPECT_NE(k.parent, factory) << k.tmpl->m_name.GetText();  // nor what only it builds
    }
    // ... and is in a single-player game.
    scene.Objectives().SetGameType(0);
    cp->Reset();
    constructor->m_orderList->RemoveQueued();
    Step(12);
    ASSERT_NE(Site(), nullptr);
    EXPECT_EQ(Site()->m_template, factory);
}

TEST_F(BuildPlanner, ASiteWithinTenOfAnEnemyStructureIsNoSite) {
    // Within 10 of an enemy's structure no site is free; an own structure,
    // an ally's, or an enemy's mobile unit there leaves it free (when it
    // stands clear of the footprint and the clearance).
    const CUnitTemplate* depot = world.UnitTemplate("Granite_Depot");
    CUnitTemplate* post = world.MakeUnitTemplate("Post", {});
    CUnitTemplate* scout = world.MakeUnitTemplate("Scout", {{"Speed", "1"}});
    const float x = 30.0f, z = -30.0f, reach = depot->m_footprintRadius + 2.0f;
    ASSERT_LT(reach, 9.0f);
    EXPECT_TRUE(cp->IsSiteFree(depot, 0.0f, x, z));
    CUnit* own = world.Spawn(post, x + 9.5f, z, world.red);
    CUnit* mobile = world.Spawn(scout, x, z + 9.5f, world.blue);
    ASSERT_TRUE(own && mobile);
    world.Tick();  // (the units take their cells)
    EXPECT_TRUE(cp->IsSiteFree(depot, 0.0f, x, z));
    CUnit* enemy = world.Spawn(post, x - 9.5f, z, world.blue);
    ASSERT_NE(enemy, nullptr);
    world.Tick();
    EXPECT_FALSE(cp->IsSiteFree(depot, 0.0f, x, z));
    EXPECT_TRUE(cp->IsSiteFree(depot, 0.0f, x + 1.0f, z));  // 10.5 away
}

TEST_F(BuildPlanner, AnIdleHarvesterIsToldToHarvestWhereItStands) {
    // Its order starts where it stands and finds the nearest field from
    // there; one that is busy is left alone.
    CUnit* harvester = world.Spawn("Granite_Harvester", -20, 15, world.red);
    CUnit* busy = world.Spawn("Granite_Harvester", 25, -10, world.red);
    ASSERT_TRUE(harvester && busy);
    ASSERT_TRUE(world.world.Commands().Stop({busy->m_objectId}));
    busy->AddMoveOrder(30, -10, 0);
    const int busyOrders = busy->m_orderList->ChildCount();
    Step(11);  // one cycle: the harvest phase ran once
    const CUnitOrder* order = harvester->m_orderList->FirstChild();
    ASSERT_NE(order, nullptr);
    EXPECT_EQ(order->m_type, CUnitOrder::kHarvest);
    EXPECT_EQ(order->m_destination[0], -20.0f);
    EXPECT_EQ(order->m_destination[2], 15.0f);
    EXPECT_EQ(busy->m_orderList->ChildCount(), busyOrders);
    for (CUnitOrder* o = busy->m_orderList->FirstChild(); o; o = o->Next())
        EXPECT_NE(o->m_type, CUnitOrder::kHarvest);
}

TEST_F(BuildPlanner, FullAttackGroupsGoOneAtATimeWhateverNrOfGroupsAttackingTogetherSays) {
    // Three groups of one tank each, free to attack at once: one goes in a
    // cycle (the attack delay holds the others), however many the
    // parameter would send together.
    auto set = [this](CComputerPlayer::EParameter p, float value) {
        SAIParameter& par = cp->Parameter(p);
        par.def = par.value = value;
        par.spread = 0.0f;
    };
    set(CComputerPlayer::kNrOfGroupsAttackingTogether, 3);
    set(CComputerPlayer::kFirstAttackDelay, 0);
    set(CComputerPlayer::kAttackDelay, 0);
    set(CComputerPlayer::kNumberInAttackGroups, 1);
    set(CComputerPlayer::kWantAttackingGroups, 5);
    set(CComputerPlayer::kWantDefendingGroups, 0);
    set(CComputerPlayer::kWantSpyingGroups, 0);
    ASSERT_NE(world.Spawn("Coral_LightTank", -40, -40, world.blue), nullptr);
    for (int i = 0; i < 3; ++i) {
        CUnit* tank = world.Spawn("Granite_LightTank", 20.0f + 4.0f * static_cast<float>(i), -20, world.red);
        ASSERT_NE(tank, nullptr);
        cp->AddUnit(tank->m_objectId);
    }
    world.gameTime += 10;
    auto attacking = [this] {
        int n = 0;
        for (const auto& g : cp->Groups()) n += g->m_state == CAIGroup::kAttacking;
        return n;
    };
    Step(11);
    ASSERT_EQ(cp->Groups().size(), 3u);
    EXPECT_EQ(attacking(), 1);
    world.gameTime += 10;
    Step(11);
    EXPECT_EQ(attacking(), 2);
}
