// The computer player's warp step in a world of the demo units: it launches
// its warp nukes at the enemy's most valuable place that lies no nearer its
// own units than "minDistanceToOwnUnitsForWarpNukeToLaunch" and no enemy
// anti-warp unit covers, one launch a "timeBetweenWarpTargetUpdates" (AI
// seconds of game time); its warp gate is sent to the enemy's harvester.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "ai/AIManager.h"
#include "ai/ComputerPlayer.h"
#include "core/Math.h"
#include "tests/support/TempDir.h"
#include "tests/support/UnitWorld.h"
#include "world/GameScene.h"
#include "world/Unit.h"
#include "world/UnitOrder.h"
#include "world/World.h"
#include "world/WorldQuery.h"

namespace {

constexpr uint64_t kAISecond = 1000000;

class WarpStep : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(world.LoadDemoTemplates(error)) << error;
        world.root = dir.Win();
        world.red->m_storage = world.red->m_resources = 0.0f;  // it builds nothing
        manager.m_debug = 1;
        manager.InitializeCommanders("Test", "");
    }
    void Start() {
        cp.reset(new CComputerPlayer(manager, world.world, world.red->m_id, 3));
        cp->Reset();
        ASSERT_TRUE(cp->Active());
    }
    CUnit* Spawn(const char* name, float x, float z, CPlayer* owner) {
        CUnit* u = world.Spawn(name, x, z, owner);
        EXPECT_NE(u, nullptr) << name;
        return u;
    }
    // The computer player's tick, then the world's (its orders go round).
    void Step() {
        units.all = world.world.Query().AllUnits();
        units.index.clear();
        for (size_t k = 0; k < units.all.size(); ++k) units.index[units.all[k].id] = k;
        cp->Update(units);
        world.Run(1);
    }
    // The ground attack in the queue of the unit of that id, if any.
    const CUnitOrder* Launch(int32_t id) {
        CTessarakObject* o = world.scene->m_idTable.Find(id);
        if (!o || o->Dying() || !o->IsUnit()) return nullptr;
        CUnit* u = static_cast<CUnit*>(o);
        for (CUnitOrder* o = u->m_orderList->FirstChild(); o; o = o->Next())
            if (o->m_type == CUnitOrder::kAttack) return o;
        return nullptr;
    }

    CTempDir dir;
    CUnitWorld world{64};
    CAIManager manager{&world.world, nullptr};
    std::unique_ptr<CComputerPlayer> cp;
    SAIUnits units;
};

}  // namespace

TEST_F(WarpStep, NukesGoAtTheMostValuablePlaceAwayFromOwnUnitsOneAThrottlePeriod) {
    Spawn("Granite_Headquarters", -40.0f, -45.0f, world.red);  // energy
    std::vector<int32_t> nukes;
    for (float x : {-52.0f, -46.0f, -40.0f})
        nukes.push_back(Spawn("Granite_WarpNuke", x, -28.0f, world.red)->m_objectId);
    CUnit* scout = Spawn("Granite_LightTank", 20.0f, 0.0f, world.red);
    // The richest cluster stands beside red's scout; a richer one than the
    // rest stands under a jammer; the factory and the depot are what is left.
    for (float dz : {-3.0f, 0.0f, 3.0f}) Spawn("Coral_HeavyTank", 25.0f, dz, world.blue);
    Spawn("Coral_Headquarters", 50.0f, -50.0f, world.blue);
    Spawn("Coral_WarpJammer", 0.0f, 50.0f, world.blue);
    for (float dx : {-3.0f, 3.0f}) Spawn("Coral_HeavyTank", dx, 45.0f, world.blue);
    const int32_t factory = Spawn("Coral_Factory", 40.0f, 40.0f, world.blue)->m_objectId;
    Start();

    const float minDistance = 10.0f;  // the parameter's default
    struct SLaunch {
        uint64_t time;
        float x, z;
    };
    std::vector<SLaunch> launches;
    std::vector<const CUnitOrder*> seen(nukes.size(), nullptr);
    for (int tick = 0; tick < 15 * 40 && launches.size() < 3; ++tick) {
        Step();
        for (size_t i = 0; i < nukes.size(); ++i) {
            const CUnitOrder* o = Launch(nukes[i]);
            if (!o || o == seen[i]) continue;
            seen[i] = o;
            launches.push_back({world.world.Query().GameTime(), o->m_destination[0], o->m_destination[2]});
            // No own unit stands within the minimum distance of the point.
            for (const SUnitView& u : world.world.Query().UnitsOf(world.red->m_id))
                EXPECT_GE(std::hypot(u.x - o->m_destination[0], u.z - o->m_destination[2]), minDistance)
                    << "launch " << launches.size();
            // Never beside the scout nor under the jammer.
            EXPECT_GT(std::hypot(o->m_destination[0] - scout->m_position[0],
                                 o->m_destination[2] - scout->m_position[2]),
                      minDistance);
            EXPECT_GT(std::hypot(o->m_destination[0], o->m_destination[2] - 50.0f), 30.0f);
        }
    }
    ASSERT_GE(launches.size(), 2u);
    // The first goes at the factory, the most valuable place left.
    EXPECT_NEAR(launches[0].x, 40.0f, 0.5f);
    EXPECT_NEAR(launches[0].z, 40.0f, 0.5f);
    // One launch a throttle period (10 AI seconds of game time), and not
    // much more: a launch waits for the next warp phase (11 ticks).
    for (size_t i = 1; i < launches.size(); ++i) {
        const uint64_t gap = launches[i].time - launches[i - 1].time;
        EXPECT_GT(gap, 10 * kAISecond) << i;
        EXPECT_LT(gap, 12 * kAISecond) << i;
    }
    EXPECT_NE(world.FindLine("Launching warp nuke"), "");
    // The factory took the blast.
    CTessarakObject* left = world.scene->m_idTable.Find(factory);
    EXPECT_TRUE(!left || left->Dying() || left->m_power < left->m_template->m_power);
}

TEST_F(WarpStep, TheGateIsSentToTheEnemysHarvesterAndNukesWithoutTargetsWait) {
    Spawn("Granite_Headquarters", -40.0f, -45.0f, world.red);
    CUnit* gate = Spawn("Granite_WarpGate", -30.0f, -20.0f, world.red);
    const int32_t nuke = Spawn("Granite_WarpNuke", -52.0f, -28.0f, world.red)->m_objectId;
    // The enemy's only units stand beside red's own: no nuke target.
    Spawn("Granite_LightTank", 12.0f, 10.0f, world.red);
    CUnit* harvester = Spawn("Coral_Harvester", 15.0f, 10.0f, world.blue);
    Start();
    for (int tick = 0; tick < 15 * 12; ++tick) Step();
    EXPECT_EQ(Launch(nuke), nullptr);
    ASSERT_NE(gate->m_runningOrder, nullptr);
    EXPECT_EQ(gate->m_runningOrder->m_type, CUnitOrder::kMove);
    EXPECT_NEAR(gate->m_runningOrder->m_target[0], harvester->m_position[0], 1.0f);
    EXPECT_NEAR(gate->m_runningOrder->m_target[2], harvester->m_position[2], 1.0f);
    EXPECT_NEAR(gate->m_position[0], -30.0f, 0.01f);  // it does not drive
}
