// Lights as frames without a device: switching with activation, the scene
// camera's list and counter, and loading the stored record.
#include "e3d/Light.h"

#include <gtest/gtest.h>

#include <vector>

#include "core/VFSFile.h"
#include "core/VFSTable.h"
#include "e3d/Camera.h"
#include "e3d/LightRecord.h"
#include "tests/support/MemFile.h"
#include "tools/lib/GeometryWriter.h"

namespace {

TEST(Lights, ALightIsOnAsSoonAsItsBranchIsActive) {
    CE3DCamera camera(nullptr);
    CE3DLight* sun = new CE3DLight(&camera);  // right below the root: activated and on
    EXPECT_EQ(sun->m_activeCount, 1);
    EXPECT_EQ(sun->m_active, 1);
    CE3DFrame* object = new CE3DFrame(&camera);
    CE3DLight* lamp = new CE3DLight(object);  // under an inactive object: off until it activates
    EXPECT_EQ(lamp->m_active, 0);
    object->Activate();
    EXPECT_EQ(lamp->m_active, 1);
    CE3DLight* late = new CE3DLight(object);  // the branch is active already
    EXPECT_EQ(late->m_active, 1);
    object->Deactivate();
    EXPECT_EQ(lamp->m_active, 0);
    EXPECT_EQ(camera.m_lightCount, 3);
    EXPECT_EQ(camera.m_sphereTarget, 3);
    delete object;
    EXPECT_EQ(camera.m_lightCount, 1);
    EXPECT_EQ(camera.m_sphereTarget, 1);
    EXPECT_EQ(camera.m_lightHead, sun);
}

TEST(Lights, PrioritiesOrderTheListSmallestFirstAndNewLightsEnterAtTheHead) {
    CE3DCamera camera(nullptr);
    CE3DLight* a = new CE3DLight(&camera);
    CE3DLight* b = new CE3DLight(&camera);
    CE3DLight* c = new CE3DLight(&camera);
    auto order = [&] {
        std::vector<CE3DLight*> v;
        for (CE3DLight* l = camera.m_lightHead; l; l = l->m_lightNext) v.push_back(l);
        return v;
    };
    a->SetPriority(5);
    EXPECT_EQ(order(), (std::vector<CE3DLight*>{a, c, b}));  // equal priorities keep their order
    c->SetPriority(-3);
    EXPECT_EQ(order(), (std::vector<CE3DLight*>{c, a, b}));
    CE3DLight* d = new CE3DLight(&camera);  // 100, yet first until the next sort
    EXPECT_EQ(order().front(), d);
    b->SetPriority(100);
    EXPECT_EQ(order(), (std::vector<CE3DLight*>{c, a, d, b}));
}

// A light record in a file of its own.
struct SRecord {
    SMemFile mem{"light"};
    CVFSTable table;
    CVFSFile file;
    SRecord(const SE3DLightRecord& r, int version) {
        std::vector<uint8_t> bytes;
        LightRecord_Write(bytes, r, version);
        mem.Set(bytes.data(), bytes.size());
        file.Open(mem.path.c_str(), CVFSFile::kModeRead, &table);
    }
};

TEST(Lights, TheStoredRecordSetsWhatItsVersionHolds) {
    SE3DLightRecord r;
    r.type = D3DLIGHT_SPOT;
    r.diffuse = {0.5f, 0.25f, 1, 1};
    r.range = 12.0f;
    r.enabled = 0;
    r.position[1] = 4.0f;
    r.angles[1] = 1.5707964f;  // pitched down: the spot points along -y
    CE3DCamera camera(nullptr);
    CE3DLight* light = new CE3DLight(&camera);
    SRecord v20(r, 20);
    ASSERT_TRUE(light->Load(v20.file, 20));
    EXPECT_EQ(light->m_light.dltType, uint32_t(D3DLIGHT_SPOT));
    EXPECT_EQ(light->m_light.dvRange, 12.0f);
    EXPECT_EQ(light->m_enabled, 0);
    EXPECT_FLOAT_EQ(light->m_light.dvPosition.y, 4.0f);
    EXPECT_NEAR(light->m_light.dvDirection.y, -1.0f, 1e-5f);

    // Version 12 holds the description only: switch, place and angles stay.
    CE3DLight* old = new CE3DLight(&camera);
    old->SetPosition(1, 2, 3);
    SRecord v12(r, 12);
    ASSERT_TRUE(old->Load(v12.file, 12));
    EXPECT_EQ(old->m_light.dvRange, 12.0f);
    EXPECT_EQ(old->m_enabled, 1);
    EXPECT_FLOAT_EQ(old->m_light.dvPosition.z, 3.0f);
    EXPECT_FLOAT_EQ(old->m_pitch, 0.0f);
    EXPECT_EQ(old->m_light.dcvSpecular.r, 1.0f);

    // A record of an unknown type changes nothing.
    r.type = 9;
    SRecord bad(r, 20);
    EXPECT_FALSE(old->Load(bad.file, 20));
    EXPECT_EQ(old->m_light.dltType, uint32_t(D3DLIGHT_SPOT));
}

}  // namespace
