// Pictures of whole scenes rendered through a camera on the OpenGL back end
// (Xvfb with Mesa in CI): composed transforms, hiding, deletion, point and
// spot lights against Direct3D's lighting formulas computed here, translucent
// work over opaque work, and picking what a pixel shows.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "e3d/Camera.h"
#include "e3d/E3D.h"
#include "e3d/Light.h"
#include "e3d/Material.h"
#include "e3d/Mesh.h"
#include "e3d/Surface.h"
#include "platform/d3d/D3DDeviceState.h"
#include "platform/display/Display.h"
#include "tests/support/GLDisplay.h"
#include "tests/support/SceneFrames.h"

namespace {

constexpr int kW = 160, kH = 120;
constexpr float kHalfPi = 1.5707964f;

class SceneImage : public TTestGLPictures<kW, kH> {
protected:
    void SetUp() override {
        if (!screen) TEST_END_WITHOUT_GL();
        ASSERT_TRUE(screen->m_currentDevice->Activate(screen->m_currentDevice));
        camera = new CE3DCamera(screen);
        viewport = new CE3DViewport(screen->m_currentDevice);
        viewport->SetRect(0, 0, kW, kH);
        viewport->Attach(camera);
        viewport->m_ambientColor[0] = viewport->m_ambientColor[1] = viewport->m_ambientColor[2] = 0;
        Look(D3DVECTOR{0, 0, -10}, D3DVECTOR{0, 0, 0});
        flat = Material("flat", false);
    }
    void TearDown() override {
        delete viewport;
        delete camera;
        while (screen && screen->m_materials) delete screen->m_materials;
    }
    void Look(D3DVECTOR eye, D3DVECTOR target) {
        viewport->m_view->LookAt(eye, target, 0.0f);
        viewport->m_view->SetProjection(1.0f, 100.0f, kHalfPi, float(kW) / float(kH), true);
    }
    CE3DMaterial* Material(const char* name, bool lit) {
        CE3DMaterial* m = new CE3DMaterial(screen, name);
        m->m_lit = lit ? 1 : 0;
        return m;
    }
    // A mesh of one quad (or a grid of them) under the parent.
    CE3DMesh* Quad(CE3DFrame* parent, CE3DMaterial* m, float half, uint32_t color, int cells = 1,
                   bool ground = false) {
        CE3DShape* shape = new CE3DShape(engine);
        Test_AddQuadBlock(*shape, m, half, color, cells, ground);
        shape->PrepareBlocks();
        shape->ComputeBounds();
        CE3DMesh* mesh = new CE3DMesh(parent, shape);
        if (parent == camera) mesh->Activate();
        return mesh;
    }
    void Render() {
        camera->Scene()->StoreTick();
        camera->Scene()->SetRenderFraction(1.0f);
        viewport->Render(nullptr);
        viewport->m_combined = D3D_Multiply(viewport->m_view->view, viewport->m_view->projection);
    }
    SRGB Pixel(int x, int y) { return Test_BackPixel(screen, x, y); }
    // The pixel a world point lands on (and the ground point the pixel shows).
    SRGB At(float x, float y, float z, float* groundX = nullptr, float* groundZ = nullptr) {
        float px, py, depth;
        viewport->ProjectPoint(D3DVECTOR{x, y, z}, &px, &py, &depth);
        EXPECT_GT(depth, 0.0f);
        // Pixel centres lie on whole coordinates, as Direct3D has them.
        int ix = int(std::lround(px)), iy = int(std::lround(py));
        EXPECT_TRUE(ix >= 0 && ix < kW && iy >= 0 && iy < kH) << px << ", " << py;
        if (ix < 0 || ix >= kW || iy < 0 || iy >= kH) return SRGB{-1, -1, -1};
        if (groundX && groundZ) {
            // Where the pixel looks at the ground.
            D3DVECTOR g;
            viewport->ScreenToRay(&g, float(ix), float(iy));
            *groundX = g.x;
            *groundZ = g.z;
        }
        return Pixel(ix, iy);
    }

    CE3DCamera* camera = nullptr;
    CE3DViewport* viewport = nullptr;
    CE3DMaterial* flat = nullptr;
};

TEST_F(SceneImage, ATreeOfThreeFramesDrawsWhereItsComposedTransformsPutIt) {
    // The parent turned a quarter about the view axis; the child one unit
    // along the parent's x (so up on the screen) and half the size; the
    // grandchild two of the child's units along its x (one world unit, up
    // again).
    CE3DMesh* parent = Quad(camera, flat, 0.5f, 0xffff0000);
    parent->SetPosition(-2, 0, 0);
    parent->SetOrientation(0, 0, kHalfPi);
    CE3DMesh* child = Quad(parent, flat, 0.5f, 0xff00ff00);
    child->SetPosition(1.5f, 0, 0);
    child->SetScale(0.5f, 0.5f, 0.5f);
    CE3DMesh* grandchild = Quad(child, flat, 0.5f, 0xff0000ff);
    grandchild->SetPosition(2.5f, 0, 0);
    Render();
    Render();  // children made since the last update show from the next frame
    EXPECT_RGB_NEAR(At(-2, 0, 0), 255, 0, 0, 2);
    EXPECT_RGB_NEAR(At(-2, 1.5f, 0), 0, 255, 0, 2);
    EXPECT_RGB_NEAR(At(-2, 2.75f, 0), 0, 0, 255, 2);
    EXPECT_RGB_NEAR(At(-2, 1.9f, 0), 0, 0, 0, 2);     // the child is a quarter across
    EXPECT_RGB_NEAR(At(-1.5f, 1.5f, 0), 0, 0, 0, 2);  // and not turned away from the screen's axes
    EXPECT_RGB_NEAR(At(1, 0, 0), 0, 0, 0, 2);

    // Picking: the ray under the child's pixel hits the child first.
    float px, py, depth;
    viewport->ProjectPoint(D3DVECTOR{-2, 1.5f, 0}, &px, &py, &depth);
    viewport->ComputePickRay(std::round(px), std::round(py));
    const struct {
        CE3DMesh* mesh;
        float radius;
    } objects[] = {{parent, 0.5f}, {child, 0.25f}, {grandchild, 0.25f}};
    CE3DMesh* picked = nullptr;
    float best = 1e30f;
    for (const auto& o : objects) {
        float x, y, z, d;
        o.mesh->GetPosition(&x, &y, &z);
        if (viewport->RaySphere(D3DVECTOR{x, y, z}, o.radius, &d) && d < best) {
            best = d;
            picked = o.mesh;
        }
    }
    EXPECT_EQ(picked, child);

    // Hiding the parent hides its whole subtree, showing it brings it back.
    parent->m_pendingVisibility = 1;
    Render();
    EXPECT_RGB_NEAR(At(-2, 0, 0), 0, 0, 0, 2);
    EXPECT_RGB_NEAR(At(-2, 1.5f, 0), 0, 0, 0, 2);
    EXPECT_RGB_NEAR(At(-2, 2.75f, 0), 0, 0, 0, 2);
    parent->m_pendingVisibility = -1;
    Render();
    EXPECT_RGB_NEAR(At(-2, 2.75f, 0), 0, 0, 255, 2);
}

TEST_F(SceneImage, AQueuedFrameGoesOutOfThePictureAndIsDestroyedAtTheTick) {
    CE3DMesh* keep = Quad(camera, flat, 1.0f, 0xffff0000);
    keep->SetPosition(-2, 0, 0);
    CE3DMesh* doomed = Quad(camera, flat, 1.0f, 0xff00ff00);
    doomed->SetPosition(2, 0, 0);
    CE3DMesh* under = Quad(doomed, flat, 0.5f, 0xff0000ff);
    under->SetPosition(0, 2, 0);
    Render();
    Render();
    EXPECT_RGB_NEAR(At(2, 0, 0), 0, 255, 0, 2);
    EXPECT_RGB_NEAR(At(2, 2, 0), 0, 0, 255, 2);
    doomed->QueueForDeletion();
    Render();
    EXPECT_RGB_NEAR(At(2, 0, 0), 0, 0, 0, 2);
    EXPECT_RGB_NEAR(At(2, 2, 0), 0, 0, 0, 2);
    EXPECT_RGB_NEAR(At(-2, 0, 0), 255, 0, 0, 2);
    EXPECT_EQ(under->m_parent, doomed);  // still there until the tick destroys it
    camera->Scene()->DestroyQueued();
    EXPECT_EQ(camera->m_firstChild, keep);
    Render();
    EXPECT_RGB_NEAR(At(-2, 0, 0), 255, 0, 0, 2);
}

// Direct3D's light at a vertex of the ground (normal +y), white material.
struct SLightModel {
    D3DLIGHT7 l;
    double Intensity(double x, double z) const {
        const double p[3] = {x, 0, z};
        double v[3] = {l.dvPosition.x - p[0], l.dvPosition.y - p[1], l.dvPosition.z - p[2]};
        const double d = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
        if (d > l.dvRange) return 0.0;
        for (double& c : v) c /= d;
        const double nl = v[1] > 0 ? v[1] : 0.0;
        double atten = 1.0 / (l.dvAttenuation0 + l.dvAttenuation1 * d + l.dvAttenuation2 * d * d);
        if (l.dltType == D3DLIGHT_SPOT) {
            const double rho = -(v[0] * l.dvDirection.x + v[1] * l.dvDirection.y + v[2] * l.dvDirection.z);
            const double inner = std::cos(l.dvTheta / 2), outer = std::cos(l.dvPhi / 2);
            if (rho <= outer)
                atten = 0;
            else if (rho < inner)
                atten *= std::pow((rho - outer) / (inner - outer), l.dvFalloff);
        }
        const double i = atten * nl;
        return i > 1.0 ? 1.0 : i;
    }
    // What the screen shows at a ground point of a grid with vertices on
    // whole units: the vertices' colours interpolated over the triangle
    // (linear on the plane, as perspective-correct shading is), each cell
    // cut from (i + 1, j) to (i, j + 1).
    double Shaded(double x, double z) const {
        const double i = std::floor(x), j = std::floor(z), u = x - i, v = z - j;
        if (u + v <= 1.0)
            return Intensity(i, j) + u * (Intensity(i + 1, j) - Intensity(i, j)) +
                   v * (Intensity(i, j + 1) - Intensity(i, j));
        return Intensity(i + 1, j + 1) + (1 - u) * (Intensity(i, j + 1) - Intensity(i + 1, j + 1)) +
               (1 - v) * (Intensity(i + 1, j) - Intensity(i + 1, j + 1));
    }
};

TEST_F(SceneImage, PointAndSpotLightsLightAPlaneAsDirect3DSays) {
    Look(D3DVECTOR{0, 14, -10}, D3DVECTOR{0, 0, 0});
    CE3DMaterial* lit = Material("lit", true);
    Quad(camera, lit, 8.0f, 0xffffffff, 16, true);
    CE3DLight* light = new CE3DLight(camera);
    light->SetType(D3DLIGHT_POINT);
    light->SetPosition(0, 3, 0);
    light->SetRange(7.0f);
    light->SetAttenuation(0.2f, 0.15f, 0.0f);
    light->SetColor(1, 1, 1);
    Render();
    Render();
    SLightModel model{light->m_light};
    const float samples[][2] = {{0, 0}, {2, 0}, {0, -3}, {-4, 2}, {4.5f, 4.2f}, {7, 0}, {-1.3f, 2.6f}};
    for (const auto& s : samples) {
        float gx, gz;
        const SRGB p = At(s[0], 0, s[1], &gx, &gz);
        const double i = model.Shaded(gx, gz) * 255.0;
        EXPECT_RGB_NEAR(p, i, i, i, 3) << "point light at " << s[0] << ", " << s[1];
    }

    // A spot light pointing straight down: full inside theta, fading to
    // phi, dark outside.
    light->SetType(D3DLIGHT_SPOT);
    light->SetOrientation(0, kHalfPi, 0);  // the frame's z axis turned down
    light->SetRange(20.0f);
    light->SetAttenuation(1.0f, 0.0f, 0.0f);
    light->m_light.dvTheta = 0.6f;
    light->m_light.dvPhi = 1.6f;
    light->m_light.dvFalloff = 1.0f;
    Render();
    model.l = light->m_light;
    EXPECT_NEAR(model.l.dvDirection.y, -1.0f, 1e-4f);
    const float spot[][2] = {{0, 0}, {0, 1}, {1, 1}, {2, 1}, {-2, -1}, {4, 0}, {0, -5}};
    for (const auto& s : spot) {
        float gx, gz;
        const SRGB p = At(s[0], 0, s[1], &gx, &gz);
        const double i = model.Shaded(gx, gz) * 255.0;
        EXPECT_RGB_NEAR(p, i, i, i, 3) << "spot light at " << s[0] << ", " << s[1];
    }
}

TEST_F(SceneImage, TranslucentWorkInFrontOfOpaqueWorkShowsItThrough) {
    CE3DMaterial* glass = Material("glass", false);
    Test_MakeTranslucent(glass);
    // The glass is activated last, so the walk meets it first: only the
    // render's order of work puts it over the wall behind it.
    CE3DMesh* wall = Quad(camera, flat, 4.0f, 0xff0000ff);
    wall->SetPosition(0, 0, 3);
    CE3DMesh* pane = Quad(camera, glass, 1.0f, 0x80ffffff);
    pane->SetPosition(0, 0, -2);
    Render();
    Render();
    EXPECT_RGB_NEAR(At(0, 0, -2), 128, 128, 255, 3);
    EXPECT_RGB_NEAR(At(3, 0, 3), 0, 0, 255, 2);
}

}  // namespace
