// The orders that change the world, in a world of demo units with their
// session loop (CUnitWorld::Run): a tank destroys what it attacks at its
// reload rate, a thrown shell flies the time its way takes, an explosion
// damages by distance, a harvester feeds its owner, a headquarters produces
// and a builder puts up a building, each in the time its template gives.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "core/Math.h"
#include "tests/support/UnitWorld.h"
#include "world/ExplosionManager.h"
#include "world/GridMember.h"
#include "world/Player.h"
#include "world/Unit.h"
#include "world/UnitOrder.h"
#include "world/UnitWeapon.h"

namespace {

constexpr float kTick = 1.0f / 15.0f;

class WorkOrdersTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(world.LoadDemoTemplates(error)) << error;
        world.players->m_local = world.red;
    }
    CUnitTemplate* Template(const char* name) { return world.UnitTemplate(name); }
    // The headquarters gives the energy that makes the owner's work count
    // (and nothing else here: no income of its own).
    CUnit* Headquarters(CPlayer* owner, float x, float z) {
        Template("Granite_Headquarters")->m_givesResources = 0.0f;
        return world.Spawn("Granite_Headquarters", x, z, owner);
    }
    template <typename Done>
    int TicksUntil(int limit, Done done) {
        for (int tick = 1; tick <= limit; ++tick) {
            world.Run();
            if (done()) return tick;
        }
        return -1;
    }
    CAttackOrder* Attack(CUnit* unit, CTessarakObject* target) {
        CAttackOrder* attack = new CAttackOrder(unit->m_orderList, nullptr, unit, 0);
        attack->m_targetLink.Set(target);
        return attack;
    }

    CUnitWorld world;
};

// A light tank (14 damage a shot, 1100 ms to reload) ordered to attack a
// harvester (300 power) in range: its turret turns to it, and it destroys
// it with the 22nd shot, one shot every reload time.
TEST_F(WorkOrdersTest, ATankDestroysWhatItAttacksAtItsReloadRate) {
    Headquarters(world.red, -50.0f, -50.0f);
    CUnit* tank = world.Spawn("Granite_LightTank", 0.0f, 0.0f, world.red);
    CUnit* victim = world.Spawn("Granite_Harvester", 0.0f, -12.0f, world.blue);  // behind the turret
    CUnitWeapon* turret = static_cast<CUnitWeapon*>(tank->FirstChildObject());
    ASSERT_TRUE(turret && turret->IsWeapon());
    world.Run(2);
    Attack(tank, victim);
    std::vector<int> shots;
    float power = victim->m_power;
    const int end = TicksUntil(2000, [&] {
        static int tick = 0;
        ++tick;
        if (victim->m_power < power) {
            shots.push_back(tick);
            EXPECT_FLOAT_EQ(power - victim->m_power, 14.0f);
            power = victim->m_power;
        }
        return (victim->m_stateA & CTessarakObject::kA_Destroyed) != 0;
    });
    ASSERT_GT(end, 0) << "the harvester was not destroyed";
    EXPECT_EQ(shots.size(), 22u);  // ceil(300 / 14)
    // The turret first turned half round: a second at its speed of pi a
    // second, and the order's way back through the session.
    EXPECT_GT(shots.front(), 14);
    EXPECT_LT(shots.front(), 24);
    // One shot per reload time: 1.1 s, the first tick at or past it.
    const int reloadTicks = static_cast<int>(std::ceil(1.1f / kTick - 1e-4f));
    for (size_t i = 1; i < shots.size(); ++i) EXPECT_NEAR(shots[i] - shots[i - 1], reloadTicks, 1) << i;
    world.Run(3);
    EXPECT_EQ(tank->m_runningOrder, nullptr);  // the target gone, the attack ends
    // The statistics count what it destroyed by its cost; the loser gains
    // nothing.
    const float cost = static_cast<const CGridMemberTemplate*>(Template("Granite_Harvester"))->m_expense;
    EXPECT_GT(cost, 0.0f);
    EXPECT_FLOAT_EQ(world.red->m_scoreValue, cost);
    EXPECT_FLOAT_EQ(world.blue->m_scoreValue, 0.0f);
}

// An artillery piece throws its shell (speed 22) at a target 22 away: the
// shell hits it one second later.
TEST_F(WorkOrdersTest, AThrownShellFliesTheTimeItsWayTakes) {
    Headquarters(world.red, -50.0f, -50.0f);
    CUnit* artillery = world.Spawn("Granite_Artillery", 0.0f, 0.0f, world.red);
    CUnit* target = world.Spawn("Granite_Depot", 0.0f, 22.0f, world.blue);
    world.Run(2);
    Attack(artillery, target);
    CTessarakObjectTemplate* shellTemplate = world.scene->FindTemplate("Artillery_Shell");
    int thrown = -1, hit = -1;
    const float power = target->m_power;
    TicksUntil(300, [&, tick = 0]() mutable {
        ++tick;
        if (thrown < 0)
            for (CTessarakObject* o = world.scene->m_allObjects; o; o = o->m_allNext)
                if (o->m_template == shellTemplate) thrown = tick;
        if (hit < 0 && target->m_power < power) hit = tick;
        return hit >= 0;
    });
    ASSERT_GE(thrown, 0) << "nothing was thrown";
    ASSERT_GE(hit, 0) << "the shell never hit";
    // 22 / 22 = 1 s of flight from the fire point, a little above and
    // before the turret's centre: 14 to 15 ticks.
    EXPECT_NEAR(float(hit - thrown) * kTick, 1.0f, 2.5f * kTick);
    EXPECT_FLOAT_EQ(power - target->m_power, shellTemplate->m_collisionDamage);
}

// A shell of an area weapon explodes at its point: everything within 0.8 of
// the damage radius loses (radius - distance) / radius x the damage power,
// later the farther it stands (the wave's speed), nothing beyond.
TEST_F(WorkOrdersTest, AnAreaWeaponDamagesByDistanceWithinItsRadius) {
    Headquarters(world.red, -50.0f, -50.0f);
    CTessarakObjectTemplate* shell = world.scene->FindTemplate("Artillery_Shell");
    shell->m_homing = 1;  // it flies to the point it is thrown at
    shell->m_destructionMethod = CTessarakObjectTemplate::kDestructionExplosion;
    shell->m_explosion = new CExplosionType(world.explosions, "Blast");
    shell->m_spreadingSpeed = 40.0f;
    shell->m_explosionMass = 0.01f;
    shell->m_damagePower = 300.0f;
    shell->m_damageRadius = 20.0f;
    CUnit* artillery = world.Spawn("Granite_Artillery", 0.0f, -20.0f, world.red);
    // Harvesters (no splash modifier) around the point (0, 4).
    const float distances[] = {3.0f, 7.0f, 11.0f, 15.0f, 17.0f, 23.0f};
    std::vector<CUnit*> targets;
    for (size_t i = 0; i < 6; ++i) {
        const float a = 0.5f + float(i);
        targets.push_back(world.Spawn("Granite_Harvester", Math_Sin(a) * distances[i],
                                      4.0f + Math_Cos(a) * distances[i], world.blue));
        targets.back()->m_power = 1000.0f;  // none is destroyed
    }
    world.Run(2);
    CAttackOrder* attack = new CAttackOrder(artillery->m_orderList, nullptr, artillery, 1);
    attack->m_destination[0] = 0.0f;
    attack->m_destination[2] = 4.0f;
    // Where the shell was last seen is where it burst (it goes at the end
    // of the tick it explodes in).
    float at[3] = {0, 0, 0};
    bool seen = false, exploded = false;
    TicksUntil(600, [&] {
        bool now = false;
        for (CTessarakObject* o = world.scene->m_allObjects; o; o = o->m_allNext)
            if (o->m_template == shell) {
                now = seen = true;
                for (int i = 0; i < 3; ++i) at[i] = o->m_position[i] + o->m_velocity[i] * kTick;
                if (artillery->m_runningOrder) delete artillery->m_runningOrder;  // one shell only
            }
        exploded = seen && !now;
        return exploded;
    });
    ASSERT_TRUE(exploded);
    EXPECT_LT(Distance2D(at[0], at[2], 0.0f, 4.0f), 2.0f) << "the shell burst away from its point";
    world.Run(30);  // the wave reaches the farthest
    for (CUnit* t : targets) {
        const float d = Distance3D(t->m_position[0], t->m_position[1], t->m_position[2], at[0], at[1], at[2]);
        const float loss = 1000.0f - t->m_power;
        float expect = d < 16.0f ? (20.0f - d) / 20.0f * 300.0f : 0.0f;
        if (expect <= 10.0f) expect = 0.0f;
        EXPECT_NEAR(loss, expect, 0.6f) << "at " << d;
    }
}

// A harvester mines its field up to its capacity (150), carries the load to
// its owner's depot and unloads it: the owner's resources grow by exactly
// what it carried.
TEST_F(WorkOrdersTest, AHarvesterFillsAtItsFieldAndUnloadsAtItsDepot) {
    CTessarakObject* field = world.scene->CreateObjectByClass(world.scene->FindTemplate("Game_Resource_Spot"),
                                                              std::vector<float>{20.0f, 0.0f, 0.0f}.data(),
                                                              nullptr, world.scene->m_idTable.NewId());
    static_cast<CGridMember*>(field)->EnterGrid();
    const float held = field->m_resourceAmount;
    world.Spawn("Granite_Depot", -20.0f, 0.0f, world.red);
    Headquarters(world.red, -50.0f, -50.0f);
    CUnit* harvester = world.Spawn("Granite_Harvester", -10.0f, 0.0f, world.red);
    world.red->m_resources = 100.0f;
    // Mining and unloading step by the tick (the frames' time never reaches
    // the world).
    world.Run(2);
    CHarvestOrder* harvest = new CHarvestOrder(harvester->m_orderList, nullptr, harvester);
    harvest->m_destination[0] = 20.0f;
    const float before = world.red->m_resources;
    int full = -1;
    const int unloaded = TicksUntil(3000, [&, tick = 0]() mutable {
        ++tick;
        if (full < 0 && harvester->m_harvestLoad >= 150.0f) full = tick;
        return full >= 0 && harvester->m_harvestLoad == 0.0f;
    });
    ASSERT_GT(full, 0) << "it never filled up";
    ASSERT_GT(unloaded, 0) << "it never unloaded";
    EXPECT_NEAR(field->m_resourceAmount, held - 150.0f, 0.01f);
    world.Run(1);  // the economy pass of the last unloading tick is done
    EXPECT_FLOAT_EQ(world.red->m_harvested, 150.0f);
    EXPECT_FLOAT_EQ(world.red->m_resources - before, 150.0f);
    EXPECT_EQ(world.red->m_scoreCounters[1], 150);  // the statistics' resources
    // It goes back for more on its own.
    ASSERT_NE(harvester->m_runningOrder, nullptr);
    EXPECT_EQ(harvester->m_runningOrder->m_type, CUnitOrder::kHarvest);
}

// A harvester as a player starts with it: by its headquarters, next to a
// crystal field, where the path grid has no room for it (the two footprints
// and its clearance). It mines where it stands, then finds its way out to
// the depot, unloads, and goes back for more.
TEST_F(WorkOrdersTest, AHarvesterPressedByItsHeadquartersAndItsFieldStillCarriesItsLoadHome) {
    CTessarakObject* field = world.scene->CreateObjectByClass(world.scene->FindTemplate("Game_Resource_Spot"),
                                                              std::vector<float>{-18.0f, 0.0f, -34.0f}.data(),
                                                              nullptr, world.scene->m_idTable.NewId());
    static_cast<CGridMember*>(field)->EnterGrid();
    Headquarters(world.red, -30.0f, -30.0f);
    world.Spawn("Granite_Depot", -34.5f, -19.0f, world.red);
    CUnit* harvester = world.Spawn("Granite_Harvester", -22.94f, -37.06f, world.red);
    world.red->m_resources = 100.0f;
    world.Run(2);
    CHarvestOrder* harvest = new CHarvestOrder(harvester->m_orderList, nullptr, harvester);
    harvest->m_destination[0] = -18.0f;
    harvest->m_destination[2] = -34.0f;
    int full = -1;
    const int unloaded = TicksUntil(3000, [&, tick = 0]() mutable {
        ++tick;
        if (full < 0 && harvester->m_harvestLoad >= 150.0f) full = tick;
        return full >= 0 && harvester->m_harvestLoad == 0.0f;
    });
    ASSERT_GT(full, 0) << "it never filled up";
    ASSERT_GT(unloaded, 0) << "it never came home: it stands at " << harvester->m_position[0] << ", "
                           << harvester->m_position[2];
    world.Run(1);
    EXPECT_FLOAT_EQ(world.red->m_harvested, 150.0f);
    ASSERT_NE(harvester->m_runningOrder, nullptr);
    EXPECT_EQ(harvester->m_runningOrder->m_type, CUnitOrder::kHarvest);
}

TEST_F(WorkOrdersTest, AHarvesterWithoutADepotTellsItsOwnerAndStops) {
    CUnit* harvester = world.Spawn("Granite_Harvester", -10.0f, 0.0f, world.red);
    new CHarvestOrder(harvester->m_orderList, nullptr, harvester);
    world.Run(3);
    ASSERT_FALSE(world.events.empty());
    EXPECT_EQ(world.events.back().code, 25);
    EXPECT_EQ(world.events.back().ownerId, world.red->m_ownerId);
    EXPECT_EQ(harvester->m_runningOrder, nullptr);
}

// A headquarters (BuildPowerAdd 1.5) produces a light tank (BuildTime 10,
// Expense 250): done in 10 / 1.5 seconds, paid for as it is built.
TEST_F(WorkOrdersTest, AHeadquartersBuildsAUnitInItsBuildTimeForItsCost) {
    CUnit* hq = Headquarters(world.red, 0.0f, 0.0f);
    world.red->m_resources = 1000.0f;
    world.Run(2);
    CTessarakObjectTemplate* tank = world.scene->FindTemplate("Granite_LightTank");
    CBuildOrder::Produce(hq->m_orderList, nullptr, tank);
    const float before = world.red->m_resources;
    const int32_t constructed = world.red->m_scoreCounters[0];
    CUnit* product = nullptr;
    int started = -1;
    const int done = TicksUntil(600, [&, tick = 0]() mutable {
        ++tick;
        if (!product)
            for (CUnit* u = world.scene->m_units; u; u = u->m_unitNext)
                if (u->m_template == tank) {
                    product = u;
                    started = tick;
                }
        return product && product->IsComplete();
    });
    ASSERT_GT(done, 0) << "the tank was never finished";
    EXPECT_NEAR(float(done - started) * kTick, 10.0f / 1.5f, 2.5f * kTick);
    world.Run(2);
    EXPECT_NEAR(before - world.red->m_resources, 250.0f, 0.5f);
    // Led out at the exit, ready.
    EXPECT_EQ(hq->m_runningOrder, nullptr);
    EXPECT_NEAR(product->m_position[2], 5.5f, 0.5f);
    EXPECT_TRUE(product->m_gridFlags & CGridMember::kG_Avoiding);
    EXPECT_EQ(world.red->m_scoreCounters[0], constructed + 1);  // the statistics' "constructed"
}

// A factory makes four tanks in a row (set to repeat, as a player queues
// them): the first leaves at the exit, and each later one at the first free
// place near it, since the ones before still stand there. No two stand on
// one another.
TEST_F(WorkOrdersTest, UnitsLeavingAFactoryNeverStandOnOneAnother) {
    Headquarters(world.red, -20.0f, -20.0f);
    CUnit* factory = world.Spawn("Granite_Factory", 0.0f, 0.0f, world.red);
    world.red->m_resources = 5000.0f;
    world.Run(2);
    CTessarakObjectTemplate* tank = world.scene->FindTemplate("Granite_LightTank");
    for (int i = 0; i < 4; ++i) CBuildOrder::Produce(factory->m_orderList, nullptr, tank);
    std::vector<CUnit*> made;
    const int done = TicksUntil(15 * 120, [&] {
        made.clear();
        for (CUnit* u = world.scene->m_units; u; u = u->m_unitNext)
            if (u->m_template == tank && u->IsComplete() && !(u->m_gridFlags & CUnit::kG_Blocked))
                made.push_back(u);
        return made.size() == 4;
    });
    ASSERT_GT(done, 0) << made.size() << " tanks were led out";
    world.Run(5);
    const float exitZ = factory->m_position[2] + 6.0f;
    // The first made (the lowest id) stands at the exit.
    const CUnit* first = *std::min_element(made.begin(), made.end(), [](const CUnit* a, const CUnit* b) {
        return a->m_objectId < b->m_objectId;
    });
    EXPECT_NEAR(first->m_position[0], factory->m_position[0], 0.5f);
    EXPECT_NEAR(first->m_position[2], exitZ, 0.5f);
    for (size_t i = 0; i < made.size(); ++i) {
        // Near the exit, clear of the factory's walls.
        EXPECT_LT(std::hypot(made[i]->m_position[0] - factory->m_position[0], made[i]->m_position[2] - exitZ),
                  8.0f)
            << i;
        for (size_t j = i + 1; j < made.size(); ++j)
            EXPECT_GE(std::hypot(made[i]->m_position[0] - made[j]->m_position[0],
                                 made[i]->m_position[2] - made[j]->m_position[2]),
                      made[i]->m_objectRadius + made[j]->m_objectRadius - 0.3f)
                << i << " and " << j;
    }
}

// A builder ordered to put up a depot goes there, lays the site down and
// works on it until it stands: BuildTime (40) over its BuildPowerAdd (2).
TEST_F(WorkOrdersTest, ABuildingPlacedByABuilderGoesUpOverItsBuildTime) {
    Headquarters(world.red, -50.0f, -50.0f);
    world.red->m_resources = 5000.0f;
    CUnit* builder = world.Spawn("Granite_LightTank", -20.0f, 0.0f, world.red);
    builder->m_unitState |= CUnit::kU_Builder;
    Template("Granite_LightTank")->m_buildPowerAdd = 2.0f;
    world.Run(2);
    CTessarakObjectTemplate* depot = world.scene->FindTemplate("Granite_Depot");
    CBuildOrder::ConstructAt(builder->m_orderList, nullptr, depot, 10.0f, 0.0f);
    CUnit* site = nullptr;
    int laid = -1;
    float halfway = -1.0f;
    const int done = TicksUntil(1200, [&, tick = 0]() mutable {
        ++tick;
        if (!site)
            for (CUnit* u = world.scene->m_units; u; u = u->m_unitNext)
                if (u->m_template == depot) {
                    site = u;
                    laid = tick;
                }
        if (site && tick - laid == 150) halfway = site->BuildValue();
        return site && site->IsComplete();
    });
    ASSERT_GT(done, 0) << "the depot never stood";
    EXPECT_NEAR(halfway, 20.0f, 2.0f * kTick * 2.0f);  // half its work after half its time
    EXPECT_NEAR(float(done - laid) * kTick, 20.0f, 3.0f * kTick);
    EXPECT_NEAR(site->m_position[0], 10.0f, 0.01f);
    world.Run(5);
    EXPECT_EQ(builder->m_runningOrder, nullptr);
    EXPECT_EQ(site->m_power, depot->m_power);
}

}  // namespace
