// Construction sites: the scaffold of each race's look grows with the build
// value, and the structure is complete once the value reaches its BuildTime.
#include <gtest/gtest.h>

#include "core/Math.h"
#include "tests/support/WorldTestHost.h"
#include "world/ExplosionManager.h"
#include "world/GridMember.h"
#include "world/Unit.h"

namespace {

class ConstructionTest : public ::testing::Test {
protected:
    ConstructionTest() : depot(host.MakeTemplate<CGridMemberTemplate>(host.m_root, 30, "Depot")) {
        depot->m_buildTime = 8.0f;
        race = new CRace(host.players, "Builders");
        host.players->m_local->m_race = race;
    }
    CGridMember* Site(int32_t effect) {
        race->m_buildEffect = effect;
        auto* site = static_cast<CGridMember*>(host.Make(depot, 1, host.players->m_local));
        site->m_gridFlags &= ~CGridMember::kG_Complete;
        host.explosions->StartConstruction(site);
        return site;
    }
    CTessarakObject* Scaffold(CGridMember* site) { return site->m_carried.Get(); }

    CWorldTestHost host;
    CGridMemberTemplate* depot;
    CRace* race;
};

TEST_F(ConstructionTest, ScaffoldsGrowByTheRacesLook) {
    struct {
        int32_t effect;
        float done;  // of the BuildTime of 8 seconds
        float scale[3];
    } cases[] = {
        {3, 0.0f, {0.0f, 1.0f, 0.005f}},  // first quarter: it widens
        {3, 3.0f, {1.0f, 1.0f, 0.505f}},  // second: it deepens
        {3, 6.0f, {0.005f, 1.0f, 1.0f}},  // three quarters: the fourth phase, f = 0
        {1, 2.0f, {1.0f, 1.0f, 1.0f}},    // wire lightning: full size, half faded in
        {2, 0.0f, {0.0f, 0.0f, 0.0f}},    // a blob that has not begun
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.effect) + " at " + std::to_string(c.done));
        CGridMember* site = Site(c.effect);
        CTessarakObject* scaffold = Scaffold(site);
        ASSERT_NE(scaffold, nullptr);
        EXPECT_EQ(scaffold->m_objectId, -1);  // the view's: no id taken
        site->m_powerWord1 = c.done;
        EXPECT_TRUE(host.explosions->UpdateConstruction(site));
        for (int i = 0; i < 3; ++i) EXPECT_FLOAT_EQ(scaffold->m_scale[i], c.scale[i]) << i;
        EXPECT_FALSE(site->m_gridFlags & CGridMember::kG_Complete);
        host.scene->DeleteObject(site);
        host.scene->DeleteObject(scaffold);
    }
    // The blob's volume grows with the work: at half the time it has half
    // the volume of a sphere of the structure's radius.
    CGridMember* site = Site(2);
    site->m_boundingRadius = 4.0f;
    site->m_powerWord1 = 4.0f;
    host.explosions->UpdateConstruction(site);
    EXPECT_NEAR(Scaffold(site)->m_scale[0], 4.0f * Math_Pow(0.5f, 1.0f / 3.0f), 1e-5f);
}

TEST_F(ConstructionTest, TheBuildTimeCompletesTheStructureAndTheScaffoldGoes) {
    CGridMember* site = Site(3);
    CTessarakObject* scaffold = Scaffold(site);
    int32_t ids = host.scene->m_idTable.GetCounter();
    site->m_powerWord1 = 7.99f;
    host.explosions->UpdateConstruction(site);
    EXPECT_FALSE(site->m_gridFlags & CGridMember::kG_Complete);
    site->m_powerWord1 = 8.0f;
    host.explosions->UpdateConstruction(site);
    EXPECT_TRUE(site->m_gridFlags & CGridMember::kG_Complete);
    EXPECT_EQ(site->m_carried.Get(), nullptr);
    EXPECT_TRUE(scaffold->m_stateA & CTessarakObject::kA_Destroyed);
    EXPECT_EQ(host.scene->m_idTable.GetCounter(), ids);
}

}  // namespace

namespace {

// Where a builder's work begins its effect begins: the beam of look 2 is made
// once, for the view (no id), and kept as the builder's carried object.
TEST_F(ConstructionTest, ABuildersBeamIsMadeOnceForTheView) {
    race->m_buildEffect = 2;
    host.explosions->m_intestineObject = host.MakeTemplate<CTessarakObjectTemplate>(host.m_root, 40, "Beam");
    CUnitTemplate* builderTemplate = host.MakeTemplate<CUnitTemplate>(host.m_root, 41, "Builder");
    auto* builder = static_cast<CUnit*>(host.Make(builderTemplate, 7, host.players->m_local));
    builder->m_unitState |= CUnit::kU_Builder;
    const int32_t ids = host.scene->m_idTable.GetCounter();
    host.explosions->StartBuilderEffect(builder);
    CTessarakObject* beam = builder->m_carried.Get();
    ASSERT_NE(beam, nullptr);
    EXPECT_EQ(beam->m_objectId, -1);
    EXPECT_EQ(beam->m_scale[2], 0.0f);  // it grows toward the site from nothing
    builder->m_beamGrowth = 0.7f;
    host.explosions->StartBuilderEffect(builder);
    EXPECT_EQ(builder->m_carried.Get(), beam);
    EXPECT_EQ(builder->m_beamGrowth, 0.0f);
    EXPECT_EQ(host.scene->m_idTable.GetCounter(), ids);
}

}  // namespace
