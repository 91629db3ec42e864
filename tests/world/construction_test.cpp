// Construction sites: the scaffold of each race's look grows with the build
// value, and the structure is complete once the value reaches its BuildTime.
#include <gtest/gtest.h>

#include "core/Math.h"
#include "e3d/Beam.h"
#include "e3d/Material.h"
#include "e3d/VertexList.h"
#include "tests/support/WorldTestHost.h"
#include "world/ExplosionManager.h"
#include "world/GridMember.h"
#include "world/Unit.h"
#include "world/UnitWeapon.h"

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

// A builder of the lightning look has a bolt at each of its fire points, in
// the look of the laser of the weapon template the build beam is named
// after. The bolts show while it works, from the point to the bolt's end,
// hide when it stops and go with the builder.
TEST_F(ConstructionTest, ABuildersBoltsTakeTheBuildBeamsLookAndShowWhileItWorks) {
    race->m_buildEffect = 1;
    CUnitWeaponTemplate* weapon =
        host.MakeTemplate<CUnitWeaponTemplate>(host.m_root, 44, CUnit::kBuildBeamWeapon);
    CTessarakObjectTemplate* laser = host.MakeTemplate<CTessarakObjectTemplate>(host.m_root, 45, "Laser");
    weapon->m_laserObject = laser;
    // The laser's look (the material of its mesh); left to the process's end.
    CE3DMaterial* look = new CE3DMaterial(nullptr, "BuildBeam");
    (new CE3DVertexList(&laser->m_lists, laser, nullptr, nullptr))->m_material = look;
    CUnitTemplate* builderTemplate = host.MakeTemplate<CUnitTemplate>(host.m_root, 41, "Builder");
    host.MakeTemplate<CTessarakObjectTemplate>(builderTemplate, 42, "FirePoint");
    builderTemplate->m_canBuild = 1;
    auto* builder = static_cast<CUnit*>(host.Make(builderTemplate, 7, host.players->m_local));
    ASSERT_EQ(builder->m_firePoints.size(), 1u);
    CE3DLightning* bolt = builder->m_firePoints[0].Lightning();
    ASSERT_NE(bolt, nullptr);
    EXPECT_EQ(bolt->VertexList()->m_material, look);
    EXPECT_EQ(bolt->m_pendingVisibility, 1);

    CGridMember* site = Site(1);
    site->SetPosition(6.0f, 0.0f, 2.0f);
    builder->m_buildTarget.Set(site);
    host.TickWorld();
    const SFirePoint& point = builder->m_firePoints[0];
    EXPECT_EQ(bolt->m_pendingVisibility, -1);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(bolt->m_end[i], point.m_boltEnd[i]) << i;
        EXPECT_EQ(bolt->m_start[i], point.m_object->m_world[3][i]) << i;
    }
    EXPECT_NEAR(bolt->m_end[0], 6.0f, site->m_boundingRadius);
    builder->m_buildTarget.Clear();
    host.TickWorld();
    EXPECT_EQ(bolt->m_pendingVisibility, 1);

    CE3DFrameRef kept;
    kept.Set(bolt);
    host.scene->DeleteObject(builder);
    host.scene->DeleteQueuedFrames(0.0f);
    EXPECT_EQ(kept.Get(), nullptr);
}

// On a machine without view effects (a dedicated server) a builder has its
// fire points and no bolts.
TEST_F(ConstructionTest, ABuilderHasNoBoltsWithoutViewEffects) {
    race->m_buildEffect = 1;
    host.explosions->m_viewEffects = 0;
    CUnitTemplate* builderTemplate = host.MakeTemplate<CUnitTemplate>(host.m_root, 41, "Builder");
    host.MakeTemplate<CTessarakObjectTemplate>(builderTemplate, 42, "FirePoint");
    builderTemplate->m_canBuild = 1;
    auto* builder = static_cast<CUnit*>(host.Make(builderTemplate, 7, host.players->m_local));
    ASSERT_EQ(builder->m_firePoints.size(), 1u);
    EXPECT_EQ(builder->m_firePoints[0].Lightning(), nullptr);
}

}  // namespace
