// Lockstep: two worlds that run the same battle with the same orders have
// the same sync CRC after every tick, whatever addresses their objects got;
// a world loaded from a saved game goes on in step with the one that saved
// it; the local view (the local player, its fog of war, the selection) never
// changes the simulation; two machines whose players each command their own
// side, their orders going round through one server's frames, stay in step.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/Math.h"
#include "tests/support/LockstepScene.h"
#include "tests/support/UnitWorld.h"
#include "world/ExplosionManager.h"
#include "world/StateArchive.h"
#include "world/Unit.h"
#include "world/UnitOrder.h"
#include "world/WaypointList.h"
#include "world/WorldGrid.h"

namespace {

struct SRun {
    SRun(int padding, bool orders, int units = 24) {
        // Allocations of varied sizes between the worlds' objects put them at
        // other addresses.
        for (int i = 0; i < padding; ++i) junk.emplace_back(new char[48 + (i * 131) % 4000]);
        std::string error;
        ok = world.LoadDemoTemplates(error);
        EXPECT_TRUE(ok) << error;
        for (int i = 0; i < padding; ++i) junk.emplace_back(new char[48 + (i * 71) % 3000]);
        scene = std::make_unique<CLockstepScene>(world, units, orders);
    }
    std::vector<std::unique_ptr<char[]>> junk;
    CUnitWorld world;
    bool ok = false;
    std::unique_ptr<CLockstepScene> scene;
};

// Names the objects whose sync images differ between two worlds, and where.
void ReportDifferences(CUnitWorld& a, CUnitWorld& b) {
    for (CTessarakObject* o = a.scene->m_allObjects; o; o = o->m_allNext) {
        if (o->m_objectId < 0) continue;  // the view's, in no sync image
        CTessarakObject* other = b.scene->m_idTable.Find(o->m_objectId);
        std::vector<uint8_t> x = SyncImageOf(o), y = other ? SyncImageOf(other) : std::vector<uint8_t>();
        if (x == y) continue;
        size_t k = 0;
        while (k < x.size() && k < y.size() && x[k] == y[k]) ++k;
        ADD_FAILURE() << "object " << o->m_objectId << " (" << o->m_template->m_name.GetText()
                      << ") differs at byte " << k << " of " << x.size();
    }
}

}  // namespace

TEST(LockstepTest, TwoRunsOfOneBattleStayInStepForThreeThousandTicks) {
    SRun a(0, true), b(300, true);
    ASSERT_TRUE(a.ok && b.ok);
    // The second machine's local player is the other side, with fog of war
    // and a selection: what it sees is its own, what happens is the same.
    b.world.players->m_local = b.world.blue;
    b.world.grid->m_cellMap.m_fogOfWar = true;
    for (CUnit* u = b.world.scene->m_units; u; u = u->m_unitNext)
        if (u->m_owner == b.world.blue) u->HandleMessage(CTessarakObject::kMsgSelect, 0);
    int moving = 0;
    for (int tick = 0; tick < 3000; ++tick) {
        a.scene->Step();
        b.scene->Step();
        uint32_t crcA = a.world.scene->ComputeSyncCRC(), crcB = b.world.scene->ComputeSyncCRC();
        if (crcA != crcB) ReportDifferences(a.world, b.world);
        ASSERT_EQ(crcA, crcB) << "tick " << tick;
        if (tick == 1500)
            for (CUnit* u = a.world.scene->m_units; u; u = u->m_unitNext) moving += u->m_speed > 0.0f;
    }
    // It was a battle: units moved, fought and died.
    EXPECT_GT(moving, 4);
    EXPECT_LT(a.world.scene->m_unitCount, 52);
    EXPECT_EQ(a.world.scene->m_unitCount, b.world.scene->m_unitCount);
}

TEST(LockstepTest, ALoadedWorldGoesOnInStepWithTheOneThatSavedIt) {
    SRun a(0, false);
    ASSERT_TRUE(a.ok);
    for (int tick = 0; tick < 400; ++tick) a.scene->Step();
    CStateArchive saved;
    a.world.scene->SaveObjects(saved);
    std::vector<uint8_t> bytes = saved.GetBuffer();

    SRun b(200, false);
    ASSERT_TRUE(b.ok);
    b.world.scene->Clear();
    b.world.grid->Reset();
    CStateArchive in(bytes.data(), bytes.size(), CStateArchive::kApply);
    ASSERT_TRUE(b.world.scene->LoadObjects(in));
    // The game's counters and the players' economy come with the rest of a
    // saved game; here they are taken over as they are.
    b.world.scene->m_idTable.SetCounter(a.world.scene->m_idTable.GetCounter());
    b.world.scene->m_frameCounter = a.world.scene->m_frameCounter;
    b.world.gameTime = a.world.gameTime;
    for (size_t i = 0; i < a.world.players->m_players.size(); ++i) {
        CPlayer* from = a.world.players->m_players[i];
        CPlayer* to = b.world.players->m_players[i];
        to->m_resources = from->m_resources;
        to->m_energyRatio = from->m_energyRatio;
        to->m_energyProducedSmooth = from->m_energyProducedSmooth;
        to->m_energyConsumedSmooth = from->m_energyConsumedSmooth;
        to->m_energyAccelerator = from->m_energyAccelerator;
    }
    b.scene->m_script = a.scene->m_script;
    b.scene->m_ticks = a.scene->m_ticks;
    b.scene->m_ids = a.scene->m_ids;
    ASSERT_EQ(b.world.scene->ComputeSyncCRC(), a.world.scene->ComputeSyncCRC());
    // The active list of the loaded world walks its objects in the same order.
    std::vector<int32_t> activeA, activeB;
    for (CTessarakObject* o = a.world.scene->m_activeObjects; o; o = o->m_sceneActiveNext)
        activeA.push_back(o->m_objectId);
    for (CTessarakObject* o = b.world.scene->m_activeObjects; o; o = o->m_sceneActiveNext)
        activeB.push_back(o->m_objectId);
    EXPECT_EQ(activeA, activeB);
    for (int tick = 0; tick < 600; ++tick) {
        a.scene->Step();
        b.scene->Step();
        uint32_t crcA = a.world.scene->ComputeSyncCRC(), crcB = b.world.scene->ComputeSyncCRC();
        if (crcA != crcB) ReportDifferences(a.world, b.world);
        ASSERT_EQ(crcA, crcB) << "tick " << tick;
    }
}

namespace {

// One machine of a two-player session: the demo battle with this machine's
// player as the local one (set before the units are made, as a game does).
// The second machine shows less (no view effects, fog of war, another frame
// rate).
struct SMachine {
    SMachine(bool redHere, int padding) {
        for (int i = 0; i < padding; ++i) junk.emplace_back(new char[48 + (i * 131) % 4000]);
        std::string error;
        ok = world.LoadDemoTemplates(error);
        EXPECT_TRUE(ok) << error;
        world.players->m_local = redHere ? world.red : world.blue;
        if (!redHere) {
            world.grid->m_cellMap.m_fogOfWar = true;
            world.explosions->m_viewEffects = 0;
        }
        scene = std::make_unique<CLockstepScene>(world, 24, true);
    }
    // The local player's unit of that id, alive; null for another's.
    CUnit* OwnUnit(int32_t id) {
        CTessarakObject* o = world.scene->m_idTable.Find(id);
        if (!o || !o->IsUnit() || o->m_owner != world.players->m_local) return nullptr;
        CUnit* u = static_cast<CUnit*>(o);
        return u->IsAlive() ? u : nullptr;
    }
    // The player's orders, given at this machine: mobile units go to a point;
    // armed ones attack the nearest enemy (the queue cleared first); the
    // factory makes a unit and sends it to the middle.
    void Command(CRandom& script, int tick) {
        const float reach = static_cast<float>(world.grid->m_x2) * 0.8f;
        if (tick % 30 == 0)
            for (int n = 0; n < 8; ++n) {
                int32_t id = scene->m_ids[static_cast<size_t>(script.Rand()) % scene->m_ids.size()];
                float x = (script.RandFloat() * 2.0f - 1.0f) * reach;
                float z = (script.RandFloat() * 2.0f - 1.0f) * reach;
                if (CUnit* u = OwnUnit(id))
                    if (u->m_unitState & CUnit::kU_Mobile) u->AddMoveOrder(x, z, 0);
            }
        if (tick % 50 == 25)
            for (CUnit* u = world.scene->m_units; u; u = u->m_unitNext) {
                if (!OwnUnit(u->m_objectId) || !(u->m_unitState & CUnit::kU_Armed) || script.Rand() % 3)
                    continue;
                CUnit* best = nullptr;
                float bestD = 1e30f;
                for (CUnit* e = world.scene->m_units; e; e = e->m_unitNext) {
                    float d = DistanceSquared2D(u->m_position[0], u->m_position[2], e->m_position[0],
                                                e->m_position[2]);
                    if (e->m_owner != u->m_owner && e->IsAlive() && d < bestD) {
                        bestD = d;
                        best = e;
                    }
                }
                if (!best) continue;
                u->m_orderList->RemoveAll();
                (new CAttackOrder(u->m_orderList, nullptr, u, 0))->m_targetLink.Set(best);
            }
        if (tick % 300 == 10)
            for (CUnit* u = world.scene->m_units; u; u = u->m_unitNext) {
                if (!OwnUnit(u->m_objectId) || !std::strstr(u->m_template->m_name.GetText(), "Factory"))
                    continue;
                const char* what = u->m_owner == world.red ? "Granite_LightTank" : "Coral_Harvester";
                CBuildOrder::Produce(u->m_orderList, nullptr, world.scene->FindTemplate(what));
                u->QueueMoveOrder(0.0f, 0.0f, 0);
            }
    }
    std::vector<std::unique_ptr<char[]>> junk;
    CUnitWorld world;
    bool ok = false;
    std::unique_ptr<CLockstepScene> scene;
};

}  // namespace

TEST(LockstepTest, TwoMachinesWhosePlayersCommandTheirOwnSidesStayInStep) {
    SMachine a(true, 0), b(false, 300);
    ASSERT_TRUE(a.ok && b.ok);
    // Both players follow one script; each machine gives only its own
    // player's orders.
    CRandom scriptA, scriptB;
    scriptA.Seed(777);
    scriptB.Seed(777);
    int32_t most = 0;
    for (int tick = 0; tick < 2000; ++tick) {
        a.Command(scriptA, tick);
        b.Command(scriptB, tick);
        // The server's frame: both machines' messages, in one order, to both.
        UnitWorld_TickTogether({&a.world, &b.world});
        uint32_t crcA = a.world.scene->ComputeSyncCRC();
        uint32_t crcB = b.world.scene->ComputeSyncCRC();
        if (crcA != crcB) ReportDifferences(a.world, b.world);
        ASSERT_EQ(crcA, crcB) << "tick " << tick;
        most = std::max(most, a.world.scene->m_unitCount);
    }
    // Units were made and destroyed.
    EXPECT_GT(most, 52);
    EXPECT_LT(a.world.scene->m_unitCount, 40);
}

// A builder's lightning is the view's: where its bolts strike is drawn anew
// now and then, and a builder loaded in the middle of its work (its bolt
// timers start again) goes on in step with the one that was not.
TEST(LockstepTest, ABuilderLoadedInTheMiddleOfItsWorkGoesOnInStep) {
    struct SBuild {
        SBuild() {
            std::string error;
            EXPECT_TRUE(world.LoadDemoTemplates(error)) << error;
            CUnitTemplate* t = world.MakeUnitTemplate(
                "Mason", {{"HasBuildCaps", "1"}, {"BuildPowerAdd", "1"}, {"BuildMethod", "Internal"}});
            world.MakeTemplate<CTessarakObjectTemplate>(t, world.m_nextTemplateId++, "FirePoint");
            // The headquarters stores what the builder spends.
            world.Spawn("Granite_Headquarters", -30.0f, 0.0f, world.red);
            world.red->m_resources = 5000.0f;
            builder = world.Spawn(t, 0.0f, 0.0f, world.red);
            CUnit* site = world.Spawn("Granite_Depot", 6.0f, 0.0f, world.red, false);
            builder->m_buildTarget.Set(site);
        }
        CUnitWorld world;
        CUnit* builder = nullptr;
    } a, b;
    ASSERT_EQ(a.builder->m_firePoints.size(), 1u);
    for (SBuild* s : {&a, &b}) s->world.Tick(20);
    // The second builder is saved and loaded again (after its record's
    // header, as a loader reads it).
    const std::vector<uint8_t> record = SavedRecordOf(b.builder);
    CStateArchive in(record.data() + 10, record.size() - 10, CStateArchive::kApply);
    ASSERT_TRUE(b.builder->LoadRecord(in));
    b.builder->AfterLoad();
    for (int tick = 0; tick < 90; ++tick) {
        for (SBuild* s : {&a, &b}) s->world.Tick();
        const std::vector<uint8_t> imageA = SyncImageOf(a.builder);
        ASSERT_TRUE(imageA == SyncImageOf(b.builder)) << "tick " << tick;
    }
}

namespace {

// A loaded unit stands in the fine cell of its look-ahead point, where the
// world that saved it had registered it (not in the cell of its position):
// a unit that looks ahead for others finds it in both worlds alike.
TEST(LockstepTest, ALoadedUnitStandsInTheFineCellOfItsLookAheadPoint) {
    CUnitWorld a;
    std::string error;
    ASSERT_TRUE(a.LoadDemoTemplates(error)) << error;
    CUnit* tank = a.Spawn("Granite_LightTank", -20.0f, 0.0f, a.red);
    tank->m_waypoints->Append(20.0f, 0.0f, 0.0f);
    tank->m_waypoints->First();
    tank->m_steeringFlags |= CUnit::kT_PathReady;
    a.Tick(30);
    int cx, cy;
    a.grid->m_layer[1].ClampedCellOf(tank->m_position[0], tank->m_position[2], cx, cy);
    ASSERT_NE(tank->m_gridLink[1].cell, cy * a.grid->m_layer[1].Width() + cx)
        << "it looks ahead into its own cell";
    CStateArchive saved;
    a.scene->SaveObjects(saved);
    std::vector<uint8_t> bytes = saved.GetBuffer();

    CUnitWorld b;
    ASSERT_TRUE(b.LoadDemoTemplates(error)) << error;
    b.scene->Clear();
    b.grid->Reset();
    CStateArchive in(bytes.data(), bytes.size(), CStateArchive::kApply);
    ASSERT_TRUE(b.scene->LoadObjects(in));
    CTessarakObject* loaded = b.scene->m_idTable.Find(tank->m_objectId);
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(static_cast<CUnit*>(loaded)->m_gridLink[1].cell, tank->m_gridLink[1].cell);
}

}  // namespace
