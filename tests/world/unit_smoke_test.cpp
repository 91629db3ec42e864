// The smoke of a damaged unit: below half its template's power a unit gets
// the "UnitSmoke" emitter (looked up when the units load), which follows it
// and emits; at half or above it stops. The smoke is the view's: a fight
// gives the same sync CRC, tick by tick, with the template and without it.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "e3d/Emitter.h"
#include "tests/support/RecordedEngine.h"
#include "tests/support/UnitWorld.h"
#include "world/ExplosionManager.h"
#include "world/Project.h"
#include "world/Unit.h"

namespace {

struct SSmokeWorld {
    SRecordedEngine e;
    CE3DEmitterTemplate* smoke = nullptr;
    CUnitWorld w;

    bool Build(bool withTemplate, std::string& error) {
        w.world.SetEngine(e.engine);
        if (withTemplate) smoke = e.EmitterTemplate(1, "UnitSmoke", 20.0f, 1.0f, 100, 0.0f);
        return w.LoadDemoTemplates(error);
    }
    // A logic tick, then the view's frame update.
    void Tick() {
        w.Tick();
        w.m_root->Update(nullptr);
    }
};

CE3DEmitter* SmokeOf(CUnit* u) {
    return static_cast<CE3DEmitter*>(u->m_smokeEmitter.Get());
}

// The mean place of the live particles (relative to the emitter).
bool MeanParticle(const CE3DEmitter* e, float out[3]) {
    int n = 0;
    out[0] = out[1] = out[2] = 0.0f;
    for (int i = 0; i < e->PoolSize(); ++i)
        if (e->Particles()[i].alive) {
            for (int k = 0; k < 3; ++k) out[k] += e->Particles()[i].position[k];
            ++n;
        }
    if (n == 0) return false;
    for (int k = 0; k < 3; ++k) out[k] /= float(n);
    return true;
}

TEST(UnitSmoke, BelowHalfPowerTheUnitSmokesAndFollowsHealedItStops) {
    SSmokeWorld s;
    std::string error;
    ASSERT_TRUE(s.Build(true, error)) << error;
    CUnitWorld& w = s.w;
    EXPECT_EQ(w.explosions->m_smokeTemplate, s.smoke);  // looked up by the load
    // The demo content has the particles' material.
    EXPECT_NE(w.projectList->FindMaterialByName("Particle"), nullptr);

    CUnit* tank = w.Spawn("Granite_LightTank", 0.0f, 0.0f, w.red);
    ASSERT_NE(tank, nullptr);
    tank->m_mode = 0;
    const float full = tank->UnitTemplate()->m_power;
    tank->m_power = full * 0.5f;  // at half: no smoke yet
    for (int i = 0; i < 3; ++i) s.Tick();
    EXPECT_EQ(tank->m_smokeEmitter.Get(), nullptr);

    tank->m_power = full * 0.49f;
    s.Tick();
    CE3DEmitter* smoke = SmokeOf(tank);
    ASSERT_NE(smoke, nullptr);
    EXPECT_EQ(smoke->m_parent, w.m_root);
    EXPECT_EQ(smoke->Followed(), tank);
    EXPECT_TRUE(smoke->m_emitting);
    const float r = tank->m_objectRadius;
    ASSERT_GT(r, 0.0f);
    for (int k = 0; k < 3; ++k) EXPECT_FLOAT_EQ(smoke->m_posVariation[k], r * 0.35f);
    EXPECT_NEAR(smoke->m_shrink, 0.01f, 1e-6f);
    EXPECT_FLOAT_EQ(smoke->m_spread, r * 1.01f);
    for (int i = 0; i < 5; ++i) s.Tick();
    EXPECT_GT(smoke->AliveCount(), 0);
    float mean[3];
    ASSERT_TRUE(MeanParticle(smoke, mean));
    EXPECT_LT(std::fabs(mean[0] - tank->m_position[0]), 1.0f);
    EXPECT_LT(std::fabs(mean[2] - tank->m_position[2]), 1.0f);

    // The unit is somewhere else: the smoke comes from there (the particles
    // live a second, ten updates).
    tank->m_position[0] = 20.0f;
    tank->m_position[2] = -10.0f;
    tank->SetPosition(20.0f, tank->m_position[1], -10.0f);
    for (int i = 0; i < 15; ++i) s.Tick();
    EXPECT_EQ(SmokeOf(tank), smoke);  // one emitter for good
    ASSERT_TRUE(MeanParticle(smoke, mean));
    EXPECT_LT(std::fabs(mean[0] - 20.0f), 1.0f);
    EXPECT_LT(std::fabs(mean[2] + 10.0f), 1.0f);

    // Healed to half: no births, the last particles run out.
    tank->m_power = full * 0.5f;
    s.Tick();
    EXPECT_FALSE(smoke->m_emitting);
    for (int i = 0; i < 15; ++i) s.Tick();
    EXPECT_EQ(smoke->AliveCount(), 0);
    EXPECT_EQ(SmokeOf(tank), smoke);
    // Damaged again, it smokes again.
    tank->m_power = full * 0.2f;
    for (int i = 0; i < 3; ++i) s.Tick();
    EXPECT_TRUE(smoke->m_emitting);
    EXPECT_GT(smoke->AliveCount(), 0);

    // A unit that goes takes its smoke with it.
    delete tank;
    EXPECT_EQ(w.m_root->m_firstChild == smoke, false);
    for (CE3DFrame* f = w.m_root->m_firstChild; f; f = f->m_siblingNext) EXPECT_NE(f, smoke);
}

TEST(UnitSmoke, WithoutTheTemplateOrTheViewEffectsNothingSmokes) {
    for (int viewEffects : {1, 0}) {
        SSmokeWorld s;
        std::string error;
        ASSERT_TRUE(s.Build(viewEffects == 0, error)) << error;
        s.w.explosions->m_viewEffects = uint8_t(viewEffects);
        CUnit* tank = s.w.Spawn("Coral_LightTank", 0.0f, 0.0f, s.w.blue);
        ASSERT_NE(tank, nullptr);
        tank->m_power = 1.0f;
        for (int i = 0; i < 3; ++i) s.Tick();
        EXPECT_EQ(tank->m_smokeEmitter.Get(), nullptr) << "view effects " << viewEffects;
    }
}

TEST(UnitSmoke, SmokeLeavesTheWorldAlone) {
    // Two runs of one fight, with the smoke template and without it: the same
    // sync CRC every tick, while only the first smokes.
    auto fight = [](bool withSmoke, int* smoking) {
        std::vector<uint32_t> crcs;
        SSmokeWorld s;
        std::string error;
        if (!s.Build(withSmoke, error)) {
            ADD_FAILURE() << error;
            return crcs;
        }
        CUnitWorld& w = s.w;
        w.Spawn("Granite_Headquarters", -40.0f, -40.0f, w.red);
        w.Spawn("Coral_Headquarters", 40.0f, 40.0f, w.blue);
        CObjectLink red, blue1, blue2;
        red.Set(w.Spawn("Granite_HeavyTank", 0.0f, 0.0f, w.red));
        blue1.Set(w.Spawn("Coral_LightTank", 6.0f, 1.0f, w.blue));
        blue2.Set(w.Spawn("Coral_LightTank", 7.0f, -2.0f, w.blue));
        auto unit = [](CObjectLink& l) { return static_cast<CUnit*>(l.Get()); };
        for (CObjectLink* l : {&red, &blue1, &blue2}) unit(*l)->m_mode = 0;
        unit(red)->m_attackTarget.Set(blue1.Get());
        unit(blue1)->m_attackTarget.Set(red.Get());
        unit(blue2)->m_attackTarget.Set(red.Get());
        *smoking = 0;
        for (int i = 0; i < 400; ++i) {
            s.Tick();
            if (red && SmokeOf(unit(red)) && SmokeOf(unit(red))->AliveCount() > 0) ++*smoking;
            if (red && !blue1 && blue2 && !unit(red)->m_attackTarget)
                unit(red)->m_attackTarget.Set(blue2.Get());
            crcs.push_back(w.scene->ComputeSyncCRC());
        }
        return crcs;
    };
    int smokingOn = 0, smokingOff = 0;
    std::vector<uint32_t> on = fight(true, &smokingOn);
    std::vector<uint32_t> off = fight(false, &smokingOff);
    ASSERT_FALSE(on.empty());
    EXPECT_GT(smokingOn, 0) << "the heavy tank never fell below half its power";
    EXPECT_EQ(smokingOff, 0);
    ASSERT_EQ(on.size(), off.size());
    for (size_t i = 0; i < on.size(); ++i) ASSERT_EQ(on[i], off[i]) << "tick " << i;
}

}  // namespace
