// The camera of the game view as the interface keeps it: its place around
// the focus with the tilt limit far out, the scroll offsets that settle
// back, the shake's distance, and the object it follows in a world.
#include <gtest/gtest.h>

#include "core/Math.h"
#include "tests/support/WorldTestHost.h"
#include "ui/GameCamera.h"
#include "world/TessarakObject.h"
#include "world/Unit.h"
#include "world/UnitTemplate.h"
#include "world/WorldGrid.h"

TEST(GameCamera, PlacementAndScroll) {
    CGameCamera m;
    m.m_focusX = 5.0f;
    m.m_focusZ = -7.0f;
    float eye[3], target[3];
    m.Placement(eye, target);
    EXPECT_FLOAT_EQ(target[0], 5.0f);
    EXPECT_FLOAT_EQ(target[2], 7.0f);
    EXPECT_FLOAT_EQ(m.GroundZ(), 7.0f);
    const float tilt = DegToRad(12.0f);
    EXPECT_NEAR(eye[1], Math_Cos(tilt) * 17.0f, 1e-4f);
    EXPECT_NEAR(Distance3D(eye[0], eye[1], eye[2], target[0], target[1], target[2]), 17.0f, 1e-4f);
    // Far out the camera may tilt no further than the limit: with distance
    // 25 and the field of view 1.047 (26.2 of 32), about 3 degrees.
    m.m_distance = 25.0f;
    m.m_pitch = 80.0f;
    m.Placement(eye, target);
    const float reach = 25.0f * 1.0471976f;
    const float f = (32.0f - reach) / (32.0f - 14.0f);
    auto tiltOf = [&] { return 1.5707964f - Math_Asin(eye[1] / 25.0f); };
    EXPECT_NEAR(tiltOf(), f * f * f * 1.5707964f, 1e-3f);
    m.m_pitch = 0.0f;  // never below 0.01
    m.Placement(eye, target);
    EXPECT_NEAR(tiltOf(), 0.01f, 1e-3f);

    // A scroll offset without speed goes back to 0 and stops there.
    m.m_scrollOffset[0] = 0.08f;
    m.m_scrollOffset[1] = -0.05f;
    for (int i = 0; i < 10; ++i) m.Step(0.05f, nullptr);
    EXPECT_EQ(m.m_scrollOffset[0], 0.0f);
    EXPECT_EQ(m.m_scrollOffset[1], 0.0f);
    m.m_scrollSpeed[0] = 1.0f;  // a speed builds it up to its limit
    for (int i = 0; i < 10; ++i) m.Step(0.05f, nullptr);
    EXPECT_FLOAT_EQ(m.m_scrollOffset[0], 0.1f);

    // The shake weakens with the ground distance from the focus, never 0.
    m.LookAt(10.0f, 1.0f);
    EXPECT_FLOAT_EQ(m.DistanceTo(10.0f, 4.0f), 3.0f);
    EXPECT_FLOAT_EQ(m.DistanceTo(10.0f, 1.0f), 0.01f);
}

TEST(GameCamera, FollowsAnObjectAndCentresOnAGroup) {
    CWorldTestHost host;
    SDemoTemplates t(host);
    CTessarakObject* a = host.Make(t.tank, 100);
    CTessarakObject* b = host.Make(t.tank, 200);
    a->SetPosition(4.0f, 0.0f, 6.0f);
    b->SetPosition(8.0f, 0.0f, -2.0f);
    CGameCamera camera;
    camera.m_focusX = 11.0f;
    camera.m_focusZ = 12.0f;
    camera.CentreOnGroup(host.world, 3);  // nobody in group 3: the camera stays
    EXPECT_EQ(camera.m_focusX, 11.0f);
    EXPECT_EQ(camera.m_focusZ, 12.0f);
    static_cast<CUnit*>(a)->m_group = 3;
    static_cast<CUnit*>(b)->m_group = 3;
    camera.CentreOnGroup(host.world, 3);
    EXPECT_FLOAT_EQ(camera.GroundX(), 6.0f);
    EXPECT_FLOAT_EQ(camera.GroundZ(), 2.0f);

    // The followed object: the focus goes where it is; an object that left
    // the world is forgotten.
    camera.m_followed = a->m_objectId;
    camera.Step(0.0f, &host.world);
    EXPECT_FLOAT_EQ(camera.GroundX(), 4.0f);
    EXPECT_FLOAT_EQ(camera.GroundZ(), 6.0f);
    delete a;
    EXPECT_FALSE(camera.CentreOnFollowed(host.world));
    EXPECT_EQ(camera.m_followed, -1);
}

// Over a map the focus stays on it, whatever put it off (scrolling, the
// focus variables); without a map nothing holds it.
TEST(GameCamera, TheFocusStaysOverTheMap) {
    CWorldTestHost host;
    CGameCamera camera;
    camera.m_focusX = -70.0f;
    camera.m_focusZ = -60.0f;
    camera.Step(0.0f, &host.world);
    EXPECT_FLOAT_EQ(camera.m_focusX, -70.0f);
    ASSERT_TRUE(host.grid->SetMapRect(-48, 48, 48, -48));
    camera.Step(0.0f, &host.world);
    EXPECT_FLOAT_EQ(camera.m_focusX, -48.0f);
    EXPECT_FLOAT_EQ(camera.m_focusZ, -48.0f);  // the view looks at z 48
    camera.m_focusX = 10.0f;
    camera.m_focusZ = 20.0f;
    camera.Step(0.0f, &host.world);
    EXPECT_FLOAT_EQ(camera.m_focusX, 10.0f);
    EXPECT_FLOAT_EQ(camera.m_focusZ, 20.0f);
}
