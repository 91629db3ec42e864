// The view record and the viewport's picking, as plain math (no device).
#include "e3d/View.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "e3d/Viewport.h"
#include "platform/d3d/D3DDeviceState.h"

namespace {

constexpr float kQuarterPi = 0.7853982f;

::testing::AssertionResult Near3(const float* p, float x, float y, float z, float tol = 1e-4f) {
    if (std::fabs(p[0] - x) > tol || std::fabs(p[1] - y) > tol || std::fabs(p[2] - z) > tol)
        return ::testing::AssertionFailure() << "(" << p[0] << ", " << p[1] << ", " << p[2] << "), expected ("
                                             << x << ", " << y << ", " << z << ")";
    return ::testing::AssertionSuccess();
}

TEST(View, LookAtBuildsTheViewMatrixAndKeepsItForADegenerateEye) {
    CE3DView v;
    v.LookAt(D3DVECTOR{0, 10, -10}, D3DVECTOR{0, 0, 0}, 0.0f);
    const float h = 0.70710677f;
    const float expect[4][4] = {{1, 0, 0, 0}, {0, h, -h, 0}, {0, h, h, 0}, {0, 0, 14.142136f, 1}};
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) EXPECT_NEAR(v.view.m[r][c], expect[r][c], 1e-5f) << r << "," << c;
    EXPECT_NEAR(v.distance, 14.142136f, 1e-4f);
    // Eye on the target: the new values are kept, the matrix is not touched.
    D3DMATRIX before = v.view;
    v.LookAt(D3DVECTOR{5, 5, 5}, D3DVECTOR{5, 5, 5}, 0.3f);
    EXPECT_EQ(memcmp(&before, &v.view, sizeof before), 0);
    EXPECT_EQ(v.eye.x, 5.0f);
    EXPECT_EQ(v.roll, 0.3f);
    // Straight down: the up vector falls back to the z axis.
    v.LookAt(D3DVECTOR{0, 10, 0}, D3DVECTOR{0, 0, 0}, 0.0f);
    EXPECT_TRUE(Near3(&v.up.x, 0, 0, 1));
    EXPECT_TRUE(Near3(&v.right.x, 1, 0, 0));
    // A roll turns the up vector about the forward axis.
    v.LookAt(D3DVECTOR{0, 0, 0}, D3DVECTOR{0, 0, 10}, 1.5707964f);
    EXPECT_TRUE(Near3(&v.up.x, -1, 0, 0));
}

TEST(View, DegenerateProjectionsAreRefused) {
    CE3DView v;
    ASSERT_TRUE(v.SetProjection(1, 101, 1.5707964f, 0.75f, true));
    EXPECT_NEAR(v.projection.m[0][0], 1.0f, 1e-6f);
    EXPECT_NEAR(v.projection.m[1][1], 0.75f, 1e-6f);
    EXPECT_NEAR(v.projection.m[2][2], 1.01f, 1e-6f);
    EXPECT_EQ(v.projection.m[2][3], 1.0f);
    EXPECT_NEAR(v.projection.m[3][2], -1.01f, 1e-6f);
    EXPECT_EQ(v.projection.m[3][3], 0.0f);
    const D3DMATRIX good = v.projection;
    const struct {
        float nearPlane, farPlane, fov, aspect;
    } bad[] = {
        {1, 101, 0.0f, 1}, {1, 1.005f, 1, 1}, {0, 100, 1, 1},      {-1, 100, 1, 1},         {200, 100, 1, 1},
        {1, 100, 1, 0},    {1, 100, NAN, 1},  {1, INFINITY, 1, 1}, {1, 100, 6.2831855f, 1},
    };
    for (const auto& b : bad) {
        EXPECT_FALSE(v.SetProjection(b.nearPlane, b.farPlane, b.fov, b.aspect, true))
            << b.nearPlane << " " << b.farPlane << " " << b.fov << " " << b.aspect;
        EXPECT_EQ(memcmp(&good, &v.projection, sizeof good), 0);
    }
}

// A 640 x 480 viewport without a device, its view placed by the test.
struct SPickView {
    CE3DViewport vp{nullptr};
    SPickView(D3DVECTOR eye, D3DVECTOR target, float roll = 0.0f) {
        vp.SetRect(0, 0, 640, 480);
        vp.m_view->LookAt(eye, target, roll);
        vp.m_view->SetProjection(2.0f, 500.0f, kQuarterPi, 640.0f / 480.0f, true);
        vp.m_combined = D3D_Multiply(vp.m_view->view, vp.m_view->projection);
    }
};

TEST(Picking, TheCentreRayFollowsTheForwardAxisToTheGround) {
    SPickView p(D3DVECTOR{0, 50, -30}, D3DVECTOR{0, 0, 0});
    D3DVECTOR g;
    p.vp.ScreenToRay(&g, 320, 240);
    EXPECT_TRUE(Near3(&g.x, 0, 0, 0, 1e-3f));
    p.vp.ScreenToRayAtDepth(&g, 320, 240, 10);
    EXPECT_TRUE(Near3(&g.x, 0, 10, -6, 1e-3f));
    // Above the horizon there is no ground in front of the eye: the last
    // ground point stays.
    p.vp.m_view->LookAt(D3DVECTOR{0, 5, 0}, D3DVECTOR{0, 6, 10}, 0.0f);
    p.vp.ScreenToRay(&g, 320, 240);
    EXPECT_TRUE(Near3(&g.x, 0, 10, -6, 1e-3f));
    // So does a ray parallel to the ground.
    p.vp.m_view->LookAt(D3DVECTOR{0, 5, 0}, D3DVECTOR{0, 5, 10}, 0.0f);
    p.vp.ScreenToRay(&g, 320, 240);
    EXPECT_TRUE(Near3(&g.x, 0, 10, -6, 1e-3f));
    // Half the view's extent at the target.
    SPickView q(D3DVECTOR{0, 0, -10}, D3DVECTOR{0, 0, 0});
    EXPECT_NEAR(q.vp.GetFovScaleY(), std::tan(kQuarterPi / 2) * 10.0f, 1e-4f);
    EXPECT_NEAR(q.vp.GetFovScaleX(), -0.75f * std::tan(kQuarterPi / 2) * 10.0f, 1e-4f);
}

TEST(Picking, SpheresAreHitAlongThePickRayOnlyInFront) {
    SPickView p(D3DVECTOR{0, 0, -10}, D3DVECTOR{0, 0, 0});
    p.vp.ComputePickRay(320, 240);
    float dist = -1;
    EXPECT_TRUE(p.vp.RaySphere(D3DVECTOR{0, 0, 5}, 1.0f, &dist));
    EXPECT_NEAR(dist, 0.0f, 1e-5f);
    EXPECT_TRUE(p.vp.RaySphere(D3DVECTOR{0.5f, 0, 5}, 1.0f, &dist));
    EXPECT_NEAR(dist, 0.5f, 1e-4f);
    EXPECT_FALSE(p.vp.RaySphere(D3DVECTOR{3, 0, 5}, 1.0f, &dist));
    // Behind the eye, even with the eye inside the sphere.
    EXPECT_FALSE(p.vp.RaySphere(D3DVECTOR{0, 0, -11}, 5.0f, &dist));
}

TEST(Picking, ProjectingAPointAndTakingTheRayBackPassesThroughIt) {
    const struct {
        D3DVECTOR eye, target;
        float roll;
    } poses[] = {
        {{0, 50, -30}, {0, 0, 0}, 0.0f},
        {{10, 5, 10}, {-3, 0, 2}, 0.0f},
        {{0, 80, 0.01f}, {0, 0, 0}, 0.0f},  // nearly straight down
        {{-20, 3, -20}, {0, 8, 0}, 0.4f},
    };
    const D3DVECTOR points[] = {{0, 0, 0}, {4, 1, -2}, {-6, 3, 7}, {1, -1, 1}};
    for (const auto& pose : poses) {
        SPickView p(pose.eye, pose.target, pose.roll);
        for (const D3DVECTOR& pt : points) {
            float x, y, depth;
            p.vp.ProjectPoint(pt, &x, &y, &depth);
            ASSERT_GT(depth, 0.0f);
            float d[3];
            p.vp.ViewRay(x, y, d);
            const float e[3] = {pose.eye.x, pose.eye.y, pose.eye.z};
            float to[3] = {pt.x - e[0], pt.y - e[1], pt.z - e[2]};
            E3D_Normalize(to);
            EXPECT_TRUE(Near3(d, to[0], to[1], to[2], 2e-4f)) << x << " " << y;
            int32_t pixel[2];
            EXPECT_TRUE(p.vp.ProjectPoint(pixel, pt));
            EXPECT_EQ(pixel[0], int32_t(std::lround(x)));
        }
        // A point behind the camera: depth at or below 0, no pixel.
        const float back[3] = {2 * pose.eye.x - pose.target.x, 2 * pose.eye.y - pose.target.y,
                               2 * pose.eye.z - pose.target.z};
        float x, y, depth;
        p.vp.ProjectPoint(D3DVECTOR{back[0], back[1], back[2]}, &x, &y, &depth);
        EXPECT_LE(depth, 0.0f);
        EXPECT_TRUE(std::isfinite(x) && std::isfinite(y));
        int32_t pixel[2];
        EXPECT_FALSE(p.vp.ProjectPoint(pixel, D3DVECTOR{back[0], back[1], back[2]}));
        // On the eye's own plane: no division by zero.
        p.vp.ProjectPoint(pose.eye, &x, &y, &depth);
        EXPECT_LE(depth, 0.0f);
        EXPECT_TRUE(std::isfinite(x));
    }
}

}  // namespace
