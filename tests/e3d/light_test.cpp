// Lights as frames without a device: switching with activation, the scene
// camera's list and its counter.
#include "e3d/Light.h"

#include <gtest/gtest.h>

#include <vector>

#include "e3d/Camera.h"

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

}  // namespace
