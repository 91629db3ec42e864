// The harvest beam: a harvester made from its template carries the
// "HarvestEmitter" emitter (looked up when the units load) under its frame,
// quiet until it harvests. Gathering turns it up toward the field (25 births
// a second, speed jitter 2.5, growth 1.1), unloading sets the rate by what
// flows into the depot, and the order's end and the unit's death turn it
// down (rate 0, spread 0.1). The beam is the view's: a harvest gives the same
// sync CRC, tick by tick, with the template and without it.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "core/Math.h"
#include "e3d/Emitter.h"
#include "tests/support/RecordedEngine.h"
#include "tests/support/UnitWorld.h"
#include "world/ExplosionManager.h"
#include "world/Player.h"
#include "world/Unit.h"
#include "world/UnitOrder.h"

namespace {

// A field at (20, 0), the red depot at (-20, 0) and its headquarters (energy
// only), and a red harvester between them.
struct SHarvestWorld {
    SRecordedEngine e;
    CE3DEmitterTemplate* beam = nullptr;
    CUnitWorld w;
    CTessarakObject* field = nullptr;
    CUnit* depot = nullptr;
    CUnit* harvester = nullptr;

    bool Build(bool withTemplate, std::string& error) {
        w.world.SetEngine(e.engine);
        if (withTemplate) beam = e.EmitterTemplate(3, "HarvestEmitter", 40.0f, 0.6f, 60, 1.5f);
        if (!w.LoadDemoTemplates(error)) return false;
        w.players->m_local = w.red;
        return true;
    }
    void Scene() {
        const float at[3] = {20.0f, 0.0f, 0.0f};
        field = w.scene->CreateObjectByClass(w.scene->FindTemplate("Game_Resource_Spot"), at, nullptr,
                                             w.scene->m_idTable.NewId());
        static_cast<CGridMember*>(field)->EnterGrid();
        depot = w.Spawn("Granite_Depot", -20.0f, 0.0f, w.red);
        w.UnitTemplate("Granite_Headquarters")->m_givesResources = 0.0f;
        w.Spawn("Granite_Headquarters", -50.0f, -50.0f, w.red);
        harvester = w.Spawn("Granite_Harvester", -10.0f, 0.0f, w.red);
        w.red->m_resources = 100.0f;
    }
    CHarvestOrder* Harvest() {
        CHarvestOrder* order = new CHarvestOrder(harvester->m_orderList, nullptr, harvester);
        order->m_destination[0] = field->m_position[0];
        return order;
    }
    // A tick of the session, then the view's frame update.
    void Tick() {
        w.Run();
        w.m_root->Update(nullptr);
    }
};

CE3DEmitter* BeamOf(const CUnit* u) {
    return static_cast<CE3DEmitter*>(u->m_harvestEmitter.Get());
}

void ExpectTurnedDown(const CE3DEmitter* beam, const char* when) {
    ASSERT_NE(beam, nullptr) << when;
    EXPECT_EQ(beam->m_birthRate, 0.0f) << when;
    EXPECT_FLOAT_EQ(beam->m_spread, 0.1f) << when;
}

// How well the beam's axis (in the unit's axes) points from the unit at the
// point: the cosine of the angle between them in the world.
float Alignment(const CUnit* u, const CE3DEmitter* beam, const float* at) {
    const float ce = Math_Cos(beam->m_elevation);
    const float local[3] = {Math_Sin(beam->m_heading) * ce, Math_Sin(beam->m_elevation),
                            Math_Cos(beam->m_heading) * ce};
    float world[3] = {0.0f, 0.0f, 0.0f};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) world[c] += local[r] * u->m_world[r][c];
    float to[3];
    for (int i = 0; i < 3; ++i) to[i] = at[i] - u->m_position[i];
    const float a = Math_Sqrt(world[0] * world[0] + world[1] * world[1] + world[2] * world[2]);
    const float b = Math_Sqrt(to[0] * to[0] + to[1] * to[1] + to[2] * to[2]);
    return (world[0] * to[0] + world[1] * to[1] + world[2] * to[2]) / (a * b);
}

TEST(HarvestBeam, AHarvesterCarriesItsEmitterOnlyWithTheTemplateAndTheViewsEffects) {
    struct SCase {
        bool withTemplate;
        uint8_t viewEffects;
        bool expected;
    } cases[] = {{true, 1, true}, {false, 1, false}, {true, 0, false}};
    for (const SCase& c : cases) {
        SHarvestWorld s;
        std::string error;
        ASSERT_TRUE(s.Build(c.withTemplate, error)) << error;
        EXPECT_EQ(s.w.explosions->m_harvestTemplate, s.beam);  // looked up by the load
        s.w.explosions->m_viewEffects = c.viewEffects;
        CUnit* harvester = s.w.Spawn("Coral_Harvester", 0.0f, 0.0f, s.w.blue);
        CUnit* tank = s.w.Spawn("Coral_LightTank", 5.0f, 0.0f, s.w.blue);
        ASSERT_TRUE(harvester && tank);
        EXPECT_EQ(tank->m_harvestEmitter.Get(), nullptr) << "not a harvester";
        CE3DEmitter* beam = BeamOf(harvester);
        ASSERT_EQ(beam != nullptr, c.expected)
            << "template " << c.withTemplate << " effects " << int(c.viewEffects);
        if (!beam) continue;
        EXPECT_EQ(beam->m_parent, harvester);
        EXPECT_EQ(beam->Template(), s.beam);
        EXPECT_TRUE(beam->m_emitting);
        ExpectTurnedDown(beam, "made");
        for (int i = 0; i < 5; ++i) s.Tick();
        EXPECT_EQ(beam->AliveCount(), 0) << "an idle harvester shows no beam";
        // Made from its template again (a record read into it): still one.
        harvester->CreateFromTemplate(harvester->m_template);
        EXPECT_EQ(BeamOf(harvester), beam);
        int emitters = 0;
        for (CE3DFrame* f = harvester->m_firstChild; f; f = f->m_siblingNext) emitters += f == beam;
        EXPECT_EQ(emitters, 1);
        // The beam goes with its unit (the other one goes with the root when
        // the world goes).
        CE3DFrameRef held;
        held.Set(beam);
        delete harvester;
        EXPECT_EQ(held.Get(), nullptr);
        s.w.Spawn("Coral_Harvester", 10.0f, 10.0f, s.w.blue);
    }
}

TEST(HarvestBeam, GatheringAimsItAtTheFieldUnloadingSetsTheRateTheEndAndDeathTurnItDown) {
    SHarvestWorld s;
    std::string error;
    ASSERT_TRUE(s.Build(true, error)) << error;
    s.Scene();
    CUnit* u = s.harvester;
    CE3DEmitter* beam = BeamOf(u);
    ASSERT_NE(beam, nullptr);
    s.w.Run(2);
    CHarvestOrder* order = s.Harvest();
    const float tick = 1.0f / 15.0f;
    const int full = Math_Truncate(tick * 100.0f);  // 6 a tick at most
    int gathering = 0, unloading = 0, limited = 0, quietOnTheWay = 0;
    float load = u->m_harvestLoad;
    for (int i = 0; i < 3000 && !(unloading > 0 && u->m_harvestLoad == 0.0f); ++i) {
        // Once, mid-unloading: the storage takes only 3 this tick.
        const bool limit = unloading == 5 && limited == 0;
        const float resources = s.w.red->m_resources;
        if (limit) s.w.red->m_resources = s.w.red->m_storageLast - 3.0f;
        s.Tick();
        if (limit) s.w.red->m_resources = resources;
        const float change = u->m_harvestLoad - load;
        load = u->m_harvestLoad;
        EXPECT_FLOAT_EQ(beam->m_spread, 0.1f) << "tick " << i;
        if (change > 0.0f) {
            ++gathering;
            EXPECT_FLOAT_EQ(beam->m_birthRate, 25.0f) << "tick " << i;
            EXPECT_FLOAT_EQ(beam->m_speedVariation, 2.5f);
            EXPECT_NEAR(beam->m_shrink, 0.1f, 1e-6f);
            EXPECT_GT(Alignment(u, beam, s.field->m_position), 0.99f) << "tick " << i;
            if (gathering == 10) {
                EXPECT_GT(beam->AliveCount(), 0);
            }
        } else if (change < 0.0f) {
            ++unloading;
            EXPECT_FLOAT_EQ(beam->m_birthRate, -change * 25.0f / float(full)) << "tick " << i;
            EXPECT_GT(Alignment(u, beam, s.depot->m_position), 0.9f) << "tick " << i;
            if (limit) {
                ++limited;
                EXPECT_FLOAT_EQ(-change, 3.0f);
                EXPECT_FLOAT_EQ(beam->m_birthRate, 12.5f);
            }
        } else if (gathering > 0 && unloading == 0 && u->m_harvestLoad >= 150.0f) {
            ++quietOnTheWay;
            EXPECT_EQ(beam->m_birthRate, 0.0f) << "on the way to the depot, tick " << i;
        }
    }
    EXPECT_GT(gathering, 10);
    EXPECT_GT(unloading, 10);
    EXPECT_EQ(limited, 1);
    EXPECT_GT(quietOnTheWay, 0);

    // Back to the field: the order's end turns the beam down.
    for (int i = 0; i < 600 && !(u->m_harvestLoad > 0.0f); ++i) s.Tick();
    ASSERT_GT(u->m_harvestLoad, 0.0f);
    ASSERT_GT(beam->m_birthRate, 0.0f);
    beam->SetSpreadRadius(1.0f);
    ASSERT_EQ(u->m_runningOrder, order);
    delete order;
    ExpectTurnedDown(beam, "the order's end");

    // A dead harvester's beam goes out in its update.
    beam->SetRate(25.0f);
    beam->SetSpreadRadius(1.0f);
    u->m_unitState &= ~CUnit::kU_Alive;
    s.w.Tick();
    ExpectTurnedDown(beam, "death");
}

TEST(HarvestBeam, TheBeamLeavesTheWorldAlone) {
    auto harvest = [](bool withBeam, int* shown) {
        std::vector<uint32_t> crcs;
        SHarvestWorld s;
        std::string error;
        if (!s.Build(withBeam, error)) {
            ADD_FAILURE() << error;
            return crcs;
        }
        s.Scene();
        s.Harvest();
        *shown = 0;
        for (int i = 0; i < 900; ++i) {
            s.Tick();
            CE3DEmitter* beam = BeamOf(s.harvester);
            if (beam && beam->m_birthRate > 0.0f) ++*shown;
            crcs.push_back(s.w.scene->ComputeSyncCRC());
        }
        return crcs;
    };
    int shownOn = 0, shownOff = 0;
    const std::vector<uint32_t> on = harvest(true, &shownOn);
    const std::vector<uint32_t> off = harvest(false, &shownOff);
    ASSERT_FALSE(on.empty());
    EXPECT_GT(shownOn, 100);
    EXPECT_EQ(shownOff, 0);
    ASSERT_EQ(on.size(), off.size());
    for (size_t i = 0; i < on.size(); ++i) ASSERT_EQ(on[i], off[i]) << "tick " << i;
}

}  // namespace
