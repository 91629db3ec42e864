// Pictures the OpenGL device renders, compared with what Direct3D's formulas
// give, computed here; run under Xvfb with Mesa's software renderer (or
// SDL's offscreen driver where it has GL).
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "e3d/E3D.h"
#include "e3d/Surface.h"
#include "platform/d3d/D3DDeviceState.h"
#include "platform/display/Display.h"
#include "tests/support/GLDisplay.h"

namespace {

constexpr int kW = 64, kH = 64;

struct SVertexRHW {
    float x, y, z, rhw;
    uint32_t diffuse;
};
struct SVertexLit {  // XYZ | NORMAL
    float x, y, z, nx, ny, nz;
};
struct SVertexColor {  // XYZ | DIFFUSE | TEX1
    float x, y, z;
    uint32_t diffuse;
    float u, v;
};

D3DMATRIX Perspective(float fov, float aspect, float zn, float zf) {
    D3DMATRIX m;
    memset(&m, 0, sizeof m);
    float h = 1.0f / std::tan(fov * 0.5f);
    float q = zf / (zf - zn);
    m.m[0][0] = h / aspect;
    m.m[1][1] = h;
    m.m[2][2] = q;
    m.m[2][3] = 1.0f;
    m.m[3][2] = -q * zn;
    return m;
}

class DeviceImage : public TTestGLPictures<kW, kH> {
protected:
    void SetUp() override {
        if (!screen) TEST_END_WITHOUT_GL();
        // A fresh device: Direct3D's start values everywhere.
        ASSERT_TRUE(screen->m_currentDevice->Activate(screen->m_currentDevice));
        d = screen->m_currentDevice->m_device;
        ASSERT_EQ(d->SetViewport(D3DVIEWPORT7{0, 0, kW, kH, 0.0f, 1.0f}), D3D_OK);
        ASSERT_EQ(d->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0x000000, 1.0f, 0), D3D_OK);
        ASSERT_EQ(d->BeginScene(), D3D_OK);
    }
    void TearDown() override {
        if (d) d->EndScene();
    }
    SRGB Pixel(int x, int y) { return Test_BackPixel(screen, x, y); }
    void DrawQuadRHW(float x0, float y0, float x1, float y1, float z, uint32_t color) {
        SVertexRHW v[4] = {{x0, y0, z, 1.0f, color},
                           {x1, y0, z, 1.0f, color},
                           {x0, y1, z, 1.0f, color},
                           {x1, y1, z, 1.0f, color}};
        ASSERT_EQ(d->DrawPrimitive(D3DPT_TRIANGLESTRIP, D3DFVF_XYZRHW | D3DFVF_DIFFUSE, v, 4, 0), D3D_OK);
    }
    // A quad in view space facing the viewer at depth z, covering the screen.
    void DrawFacingQuad(float z, uint32_t color) {
        float s = z * 2.0f;
        SVertexColor v[4] = {{-s, s, z, color, 0, 0},
                             {s, s, z, color, 1, 0},
                             {-s, -s, z, color, 0, 1},
                             {s, -s, z, color, 1, 1}};
        ASSERT_EQ(d->DrawPrimitive(D3DPT_TRIANGLESTRIP, D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1, v, 4, 0),
                  D3D_OK);
    }

    // A 90 degree lens, no culling, a grey material and one white light
    // shining straight into the view.
    void LightStraightOn(float grey) {
        ASSERT_EQ(d->SetTransform(D3DTRANSFORMSTATE_PROJECTION,
                                  Perspective(float(M_PI) / 2.0f, 1.0f, 1.0f, 100.0f)),
                  D3D_OK);
        ASSERT_EQ(d->SetRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE), D3D_OK);
        D3DMATERIAL7 mat{};
        mat.diffuse = {grey, grey, grey, 1};
        ASSERT_EQ(d->SetMaterial(mat), D3D_OK);
        D3DLIGHT7 l{};
        l.dltType = D3DLIGHT_DIRECTIONAL;
        l.dcvDiffuse = {1, 1, 1, 1};
        l.dvDirection = {0, 0, 1};
        ASSERT_EQ(d->SetLight(0, l), D3D_OK);
        ASSERT_EQ(d->LightEnable(0, true), D3D_OK);
    }

    // A 2 x 2 texture of the given format; texels row by row, bpp bytes each.
    CSoftSurface* Texture2x2(const SSurfacePixelFormat& format, const void* texels, int bpp) {
        SDDSurfaceDesc td;
        td.flags = kDescCaps | kDescWidth | kDescHeight | kDescPixelFormat;
        td.width = td.height = 2;
        td.pixelFormat = format;
        td.caps = DDSCAPS_TEXTURE;
        CSoftSurface* tex = nullptr;
        EXPECT_EQ(screen->m_ddraw->CreateSurface(td, &tex), D3D_OK);
        if (!tex) return nullptr;
        SDDSurfaceDesc lock;
        EXPECT_EQ(tex->Lock(&lock), kDD_OK);
        for (int y = 0; y < 2; ++y)
            memcpy(static_cast<uint8_t*>(lock.surface) + y * lock.pitch,
                   static_cast<const uint8_t*>(texels) + y * 2 * bpp, size_t(2 * bpp));
        tex->Unlock();
        return tex;
    }
    // Unbinds and frees a texture made by the test.
    void DropTexture(CSoftSurface* tex) {
        ASSERT_EQ(d->SetTexture(0, nullptr), D3D_OK);
        screen->m_ddraw->ForgetSurface(tex);
        delete tex;
    }

    ID3DDevice* d = nullptr;
};

TEST_F(DeviceImage, ClearFillsItsRectangleInsideTheViewport) {
    ASSERT_EQ(d->Clear(0, nullptr, D3DCLEAR_TARGET, 0x336699, 1.0f, 0), D3D_OK);
    EXPECT_RGB_NEAR(Pixel(0, 0), 0x33, 0x66, 0x99, 0);
    EXPECT_RGB_NEAR(Pixel(kW - 1, kH - 1), 0x33, 0x66, 0x99, 0);
    D3DRECT r{10, 20, 30, 40};
    ASSERT_EQ(d->Clear(1, &r, D3DCLEAR_TARGET, 0xff0000, 1.0f, 0), D3D_OK);
    EXPECT_RGB_NEAR(Pixel(10, 20), 255, 0, 0, 0);
    EXPECT_RGB_NEAR(Pixel(29, 39), 255, 0, 0, 0);
    EXPECT_RGB_NEAR(Pixel(30, 39), 0x33, 0x66, 0x99, 0);
    EXPECT_RGB_NEAR(Pixel(10, 19), 0x33, 0x66, 0x99, 0);
    // A rectangle reaching past the viewport is cut at it.
    ASSERT_EQ(d->SetViewport(D3DVIEWPORT7{0, 0, 32, 32, 0.0f, 1.0f}), D3D_OK);
    D3DRECT all{0, 0, kW, kH};
    ASSERT_EQ(d->Clear(1, &all, D3DCLEAR_TARGET, 0x00ff00, 1.0f, 0), D3D_OK);
    EXPECT_RGB_NEAR(Pixel(31, 31), 0, 255, 0, 0);
    EXPECT_RGB_NEAR(Pixel(32, 32), 0x33, 0x66, 0x99, 0);
}

TEST_F(DeviceImage, GouraudAndFlatTriangles) {
    ASSERT_EQ(d->SetRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE), D3D_OK);
    SVertexRHW tri[3] = {
        {0, 0, 0.5f, 1, 0xffff0000}, {63, 0, 0.5f, 1, 0xff00ff00}, {0, 63, 0.5f, 1, 0xff0000ff}};
    ASSERT_EQ(d->DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_XYZRHW | D3DFVF_DIFFUSE, tri, 3, 0), D3D_OK);
    // Barycentric weights at a pixel centre (x, y): red 1 - x/63 - y/63, green
    // x/63, blue y/63.
    for (auto [x, y] : {std::pair<int, int>{10, 10}, {30, 5}, {5, 40}, {20, 20}}) {
        float g = x / 63.0f, b = y / 63.0f, r = 1.0f - g - b;
        EXPECT_RGB_NEAR(Pixel(x, y), r * 255, g * 255, b * 255, 4) << x << "," << y;
    }
    EXPECT_RGB_NEAR(Pixel(50, 50), 0, 0, 0, 0);  // outside
    ASSERT_EQ(d->SetRenderState(D3DRENDERSTATE_SHADEMODE, D3DSHADE_FLAT), D3D_OK);
    ASSERT_EQ(d->DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_XYZRHW | D3DFVF_DIFFUSE, tri, 3, 0), D3D_OK);
    EXPECT_RGB_NEAR(Pixel(30, 5), 255, 0, 0, 0);  // the first vertex's colour
    EXPECT_RGB_NEAR(Pixel(5, 40), 255, 0, 0, 0);
}

TEST_F(DeviceImage, CullingFollowsDirect3DWinding) {
    // Clockwise on screen faces the viewer; the default mode culls the others.
    SVertexRHW cw[3] = {
        {0, 0, 0.5f, 1, 0xffffffff}, {63, 0, 0.5f, 1, 0xffffffff}, {0, 63, 0.5f, 1, 0xffffffff}};
    SVertexRHW ccw[3] = {cw[0], cw[2], cw[1]};
    ASSERT_EQ(d->DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_XYZRHW | D3DFVF_DIFFUSE, ccw, 3, 0), D3D_OK);
    EXPECT_RGB_NEAR(Pixel(10, 10), 0, 0, 0, 0);
    ASSERT_EQ(d->DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_XYZRHW | D3DFVF_DIFFUSE, cw, 3, 0), D3D_OK);
    EXPECT_RGB_NEAR(Pixel(10, 10), 255, 255, 255, 0);
}

// Direct3D's vertex lighting of one point for one light, the material white
// in diffuse and ambient, no specular.
float LitValue(const D3DLIGHT7& l, const float p[3], const float n[3]) {
    float L[3], att = 1.0f;
    if (l.dltType == D3DLIGHT_DIRECTIONAL) {
        float len = std::sqrt(l.dvDirection.x * l.dvDirection.x + l.dvDirection.y * l.dvDirection.y +
                              l.dvDirection.z * l.dvDirection.z);
        L[0] = -l.dvDirection.x / len;
        L[1] = -l.dvDirection.y / len;
        L[2] = -l.dvDirection.z / len;
    } else {
        float t[3] = {l.dvPosition.x - p[0], l.dvPosition.y - p[1], l.dvPosition.z - p[2]};
        float dist = std::sqrt(t[0] * t[0] + t[1] * t[1] + t[2] * t[2]);
        for (int i = 0; i < 3; ++i) L[i] = t[i] / dist;
        att = dist > l.dvRange
                  ? 0.0f
                  : 1.0f / (l.dvAttenuation0 + l.dvAttenuation1 * dist + l.dvAttenuation2 * dist * dist);
        if (l.dltType == D3DLIGHT_SPOT) {
            float len = std::sqrt(l.dvDirection.x * l.dvDirection.x + l.dvDirection.y * l.dvDirection.y +
                                  l.dvDirection.z * l.dvDirection.z);
            float rho = -(l.dvDirection.x * L[0] + l.dvDirection.y * L[1] + l.dvDirection.z * L[2]) / len;
            float ct = std::cos(l.dvTheta / 2), cp = std::cos(l.dvPhi / 2);
            att *= rho > ct ? 1.0f : rho <= cp ? 0.0f : std::pow((rho - cp) / (ct - cp), l.dvFalloff);
        }
    }
    float nl = std::max(0.0f, n[0] * L[0] + n[1] * L[1] + n[2] * L[2]);
    return att * nl * l.dcvDiffuse.r;
}

TEST_F(DeviceImage, LitSphereUnderPointSpotAndDirectionalLight) {
    // A sphere of radius 1 at (0, 0, 4), seen through a 60 degree lens.
    const float cz = 4.0f;
    const int rings = 48, segs = 48;
    std::vector<SVertexLit> verts;
    std::vector<uint16_t> idx;
    for (int i = 0; i <= rings; ++i) {
        float th = float(M_PI) * i / rings;
        for (int j = 0; j <= segs; ++j) {
            float ph = 2.0f * float(M_PI) * j / segs;
            float nx = std::sin(th) * std::cos(ph), ny = std::cos(th), nz = std::sin(th) * std::sin(ph);
            verts.push_back({nx, ny, nz + cz, nx, ny, nz});
        }
    }
    for (int i = 0; i < rings; ++i)
        for (int j = 0; j < segs; ++j) {
            uint16_t a = uint16_t(i * (segs + 1) + j), b = uint16_t(a + segs + 1);
            idx.insert(idx.end(), {a, uint16_t(a + 1), b, uint16_t(a + 1), uint16_t(b + 1), b});
        }
    D3DMATRIX proj = Perspective(float(M_PI) / 3.0f, 1.0f, 1.0f, 100.0f);
    ASSERT_EQ(d->SetTransform(D3DTRANSFORMSTATE_PROJECTION, proj), D3D_OK);
    ASSERT_EQ(d->SetRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE), D3D_OK);
    D3DMATERIAL7 mat{};
    mat.diffuse = {1, 1, 1, 1};
    mat.ambient = {1, 1, 1, 1};
    ASSERT_EQ(d->SetMaterial(mat), D3D_OK);
    ASSERT_EQ(d->SetRenderState(D3DRENDERSTATE_AMBIENT, 0x00101010), D3D_OK);

    D3DLIGHT7 lights[3]{};
    lights[0].dltType = D3DLIGHT_POINT;
    lights[0].dcvDiffuse = {1, 1, 1, 1};
    lights[0].dvPosition = {-2.0f, 2.0f, 1.0f};
    lights[0].dvRange = 100.0f;
    lights[0].dvAttenuation0 = 0.5f;
    lights[0].dvAttenuation1 = 0.1f;
    lights[1].dltType = D3DLIGHT_SPOT;
    lights[1].dcvDiffuse = {1, 1, 1, 1};
    lights[1].dvPosition = {0.0f, 0.0f, 0.0f};
    lights[1].dvDirection = {0.0f, 0.0f, 1.0f};
    lights[1].dvRange = 100.0f;
    lights[1].dvAttenuation0 = 1.0f;
    lights[1].dvTheta = 0.15f;
    lights[1].dvPhi = 0.4f;
    lights[1].dvFalloff = 1.0f;
    lights[2].dltType = D3DLIGHT_DIRECTIONAL;
    lights[2].dcvDiffuse = {0.8f, 0.8f, 0.8f, 1};
    lights[2].dvDirection = {1.0f, -1.0f, 1.0f};

    for (const D3DLIGHT7& light : lights) {
        SCOPED_TRACE(light.dltType);
        ASSERT_EQ(d->SetLight(0, light), D3D_OK);
        ASSERT_EQ(d->LightEnable(0, true), D3D_OK);
        ASSERT_EQ(d->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0), D3D_OK);
        ASSERT_EQ(d->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, D3DFVF_XYZ | D3DFVF_NORMAL, verts.data(),
                                          uint32_t(verts.size()), idx.data(), uint32_t(idx.size()), 0),
                  D3D_OK);
        // Pixels inside the sphere's outline: the ray through the pixel's centre
        // meets the sphere; light that point as Direct3D lights a vertex.
        for (auto [px, py] : {std::pair<int, int>{32, 32}, {26, 28}, {38, 36}, {30, 38}}) {
            float h = std::tan(float(M_PI) / 6.0f);
            float dx = (2.0f * px / kW - 1.0f) * h, dy = (1.0f - 2.0f * py / kH) * h;
            float dl = std::sqrt(dx * dx + dy * dy + 1.0f);
            float dir[3] = {dx / dl, dy / dl, 1.0f / dl};
            float bq = -2.0f * dir[2] * cz, cq = cz * cz - 1.0f;
            float disc = bq * bq - 4.0f * cq;
            ASSERT_GT(disc, 0.0f);
            float t = (-bq - std::sqrt(disc)) / 2.0f;
            float p[3] = {dir[0] * t, dir[1] * t, dir[2] * t};
            float n[3] = {p[0], p[1], p[2] - cz};
            float v = std::min(1.0f, 16.0f / 255.0f + LitValue(light, p, n));
            int expect = int(v * 255.0f + 0.5f);
            EXPECT_RGB_NEAR(Pixel(px, py), expect, expect, expect, 5) << px << "," << py;
        }
    }
}

TEST_F(DeviceImage, SpecularRangeAndAttenuationOfAPointLight) {
    // A grid facing the viewer at z = 5 with a vertex at the screen's centre:
    // pixel (32, 32) shows that vertex's lighting.
    std::vector<SVertexLit> verts;
    std::vector<uint16_t> idx;
    const int n = 16;
    for (int i = 0; i <= n; ++i)
        for (int j = 0; j <= n; ++j)
            verts.push_back({-4.0f + 8.0f * j / n, 4.0f - 8.0f * i / n, 5.0f, 0, 0, -1});
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) {
            uint16_t a = uint16_t(i * (n + 1) + j), b = uint16_t(a + n + 1);
            idx.insert(idx.end(), {a, uint16_t(a + 1), b, uint16_t(a + 1), uint16_t(b + 1), b});
        }
    ASSERT_EQ(
        d->SetTransform(D3DTRANSFORMSTATE_PROJECTION, Perspective(float(M_PI) / 2.0f, 1.0f, 1.0f, 100.0f)),
        D3D_OK);
    ASSERT_EQ(d->SetRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE), D3D_OK);
    ASSERT_EQ(d->SetRenderState(D3DRENDERSTATE_SPECULARENABLE, 1), D3D_OK);
    D3DMATERIAL7 mat{};
    mat.diffuse = {0.5f, 0.5f, 0.5f, 1};
    mat.specular = {0.0f, 0.0f, 1.0f, 1};  // highlights in blue only
    mat.power = 8.0f;
    ASSERT_EQ(d->SetMaterial(mat), D3D_OK);
    struct SCase {
        const char* name;
        float range, a0, a1;
    } cases[] = {
        {"near", 100.0f, 1.0f, 0.0f}, {"attenuated", 100.0f, 0.0f, 0.5f}, {"out of range", 4.0f, 1.0f, 0.0f}};
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.name);
        D3DLIGHT7 l{};
        l.dltType = D3DLIGHT_POINT;
        l.dcvDiffuse = {1, 1, 1, 1};
        l.dcvSpecular = {1, 1, 1, 1};
        l.dvPosition = {3.0f, 0.0f, 2.0f};
        l.dvRange = c.range;
        l.dvAttenuation0 = c.a0;
        l.dvAttenuation1 = c.a1;
        ASSERT_EQ(d->SetLight(0, l), D3D_OK);
        ASSERT_EQ(d->LightEnable(0, true), D3D_OK);
        ASSERT_EQ(d->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0), D3D_OK);
        ASSERT_EQ(d->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, D3DFVF_XYZ | D3DFVF_NORMAL, verts.data(),
                                          uint32_t(verts.size()), idx.data(), uint32_t(idx.size()), 0),
                  D3D_OK);
        // The vertex (0, 0, 5): light 3 to the right and 3 nearer.
        float dist = std::sqrt(18.0f), lx = 3.0f / dist, lz = -3.0f / dist;
        float att = dist > c.range ? 0.0f : 1.0f / (c.a0 + c.a1 * dist);
        float diffuse = att * 0.5f * (-lz);  // N = (0, 0, -1)
        float hx = lx, hz = lz - 1.0f;       // toward the eye (0, 0, -1) plus L
        float hl = std::sqrt(hx * hx + hz * hz);
        float highlight = att * std::pow(-hz / hl, 8.0f);
        float r = std::min(1.0f, diffuse), b = std::min(1.0f, diffuse + std::min(1.0f, highlight));
        EXPECT_RGB_NEAR(Pixel(32, 32), r * 255, r * 255, b * 255, 3);
    }
}

TEST_F(DeviceImage, VertexColoursStandInForTheMaterialAsTheSourcesSay) {
    // A red, lit quad facing the viewer and a light shining straight at it.
    struct SV {
        float x, y, z, nx, ny, nz;
        uint32_t diffuse;
    } v[4] = {{-10, 10, 5, 0, 0, -1, 0xffff0000},
              {10, 10, 5, 0, 0, -1, 0xffff0000},
              {-10, -10, 5, 0, 0, -1, 0xffff0000},
              {10, -10, 5, 0, 0, -1, 0xffff0000}};
    ASSERT_NO_FATAL_FAILURE(LightStraightOn(0.5f));
    ASSERT_EQ(d->SetRenderState(D3DRENDERSTATE_AMBIENT, 0x404040), D3D_OK);
    struct SCase {
        const char* name;
        uint32_t colorVertex, diffuseSource, ambientSource;
        SRGB expect;
    } cases[] = {
        // Start values: the vertex colour is the diffuse material, ambient the material's (0).
        {"diffuse from the vertex", 1, D3DMCS_COLOR1, D3DMCS_MATERIAL, {255, 0, 0}},
        {"vertex colours off", 0, D3DMCS_COLOR1, D3DMCS_MATERIAL, {128, 128, 128}},
        // 0.5 diffuse from the material, 64/255 of the red vertex as ambient.
        {"ambient from the vertex", 1, D3DMCS_MATERIAL, D3DMCS_COLOR1, {128 + 64, 128, 128}},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(d->SetRenderState(D3DRENDERSTATE_COLORVERTEX, c.colorVertex), D3D_OK);
        ASSERT_EQ(d->SetRenderState(D3DRENDERSTATE_DIFFUSEMATERIALSOURCE, c.diffuseSource), D3D_OK);
        ASSERT_EQ(d->SetRenderState(D3DRENDERSTATE_AMBIENTMATERIALSOURCE, c.ambientSource), D3D_OK);
        ASSERT_EQ(d->DrawPrimitive(D3DPT_TRIANGLESTRIP, D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE, v, 4, 0),
                  D3D_OK);
        EXPECT_RGB_NEAR(Pixel(32, 32), c.expect.r, c.expect.g, c.expect.b, 2);
    }
}

// Draws in a row with one program: a change of the light, the material or
// the texture factor between two of them shows in the second, and nothing
// else does (the device sends those values only when they changed).
TEST_F(DeviceImage, ALightOrMaterialChangedBetweenDrawsShowsAtOnce) {
    struct SV {
        float x, y, z, nx, ny, nz;
    } v[4] = {{-10, 10, 5, 0, 0, -1}, {10, 10, 5, 0, 0, -1}, {-10, -10, 5, 0, 0, -1}, {10, -10, 5, 0, 0, -1}};
    ASSERT_NO_FATAL_FAILURE(LightStraightOn(1.0f));
    auto draw = [&] {
        ASSERT_EQ(d->DrawPrimitive(D3DPT_TRIANGLESTRIP, D3DFVF_XYZ | D3DFVF_NORMAL, v, 4, 0), D3D_OK);
    };
    ASSERT_NO_FATAL_FAILURE(draw());
    EXPECT_RGB_NEAR(Pixel(32, 32), 255, 255, 255, 2);
    D3DLIGHT7 l{};
    l.dltType = D3DLIGHT_DIRECTIONAL;
    l.dcvDiffuse = {0, 1, 0, 1};
    l.dvDirection = {0, 0, 1};
    ASSERT_EQ(d->SetLight(0, l), D3D_OK);
    ASSERT_NO_FATAL_FAILURE(draw());
    EXPECT_RGB_NEAR(Pixel(32, 32), 0, 255, 0, 2);
    D3DMATERIAL7 mat{};
    mat.diffuse = {0.5f, 0.5f, 0.5f, 1};
    ASSERT_EQ(d->SetMaterial(mat), D3D_OK);
    ASSERT_NO_FATAL_FAILURE(draw());
    EXPECT_RGB_NEAR(Pixel(32, 32), 0, 128, 0, 2);
    ASSERT_NO_FATAL_FAILURE(draw());  // the same again: the same picture
    EXPECT_RGB_NEAR(Pixel(32, 32), 0, 128, 0, 2);
    // The texture factor as the stage's colour, changed between two draws.
    ASSERT_EQ(d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1), D3D_OK);
    ASSERT_EQ(d->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TFACTOR), D3D_OK);
    ASSERT_EQ(d->SetRenderState(D3DRENDERSTATE_TEXTUREFACTOR, 0xff0000ff), D3D_OK);
    ASSERT_NO_FATAL_FAILURE(draw());
    EXPECT_RGB_NEAR(Pixel(32, 32), 0, 0, 255, 2);
    ASSERT_EQ(d->SetRenderState(D3DRENDERSTATE_TEXTUREFACTOR, 0xffff0000), D3D_OK);
    ASSERT_NO_FATAL_FAILURE(draw());
    EXPECT_RGB_NEAR(Pixel(32, 32), 255, 0, 0, 2);
}

TEST_F(DeviceImage, NormalsOfAScaledObjectShrinkAsItGrows) {
    // Normals go through the world matrix's inverse transpose and are not
    // normalized again: an object scaled by 2 faces its light with half the
    // normal, one scaled by 1/2 with twice it.
    ASSERT_NO_FATAL_FAILURE(LightStraightOn(0.4f));
    for (float scale : {1.0f, 2.0f, 0.5f}) {
        SCOPED_TRACE(scale);
        // The quad lies at depth 5 once scaled.
        const float z = 5.0f / scale, e = 10.0f / scale;
        SVertexLit v[4] = {
            {-e, e, z, 0, 0, -1}, {e, e, z, 0, 0, -1}, {-e, -e, z, 0, 0, -1}, {e, -e, z, 0, 0, -1}};
        D3DMATRIX world;
        memset(&world, 0, sizeof world);
        world.m[0][0] = world.m[1][1] = world.m[2][2] = scale;
        world.m[3][3] = 1.0f;
        ASSERT_EQ(d->SetTransform(D3DTRANSFORMSTATE_WORLD, world), D3D_OK);
        ASSERT_EQ(d->DrawPrimitive(D3DPT_TRIANGLESTRIP, D3DFVF_XYZ | D3DFVF_NORMAL, v, 4, 0), D3D_OK);
        const float lit = std::min(1.0f, 0.4f / scale) * 255.0f;
        EXPECT_RGB_NEAR(Pixel(32, 32), lit, lit, lit, 2);
    }
}

TEST_F(DeviceImage, LinearAndExponentialFog) {
    ASSERT_EQ(
        d->SetTransform(D3DTRANSFORMSTATE_PROJECTION, Perspective(float(M_PI) / 2.0f, 1.0f, 1.0f, 100.0f)),
        D3D_OK);
    ASSERT_EQ(d->SetRenderState(D3DRENDERSTATE_LIGHTING, 0), D3D_OK);
    ASSERT_EQ(d->SetRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE), D3D_OK);
    ASSERT_EQ(d->SetRenderState(D3DRENDERSTATE_FOGENABLE, 1), D3D_OK);
    ASSERT_EQ(d->SetRenderState(D3DRENDERSTATE_FOGCOLOR, 0x0000ff), D3D_OK);
    ASSERT_EQ(d->SetRenderState(D3DRENDERSTATE_FOGSTART, D3D_FloatBits(2.0f)), D3D_OK);
    ASSERT_EQ(d->SetRenderState(D3DRENDERSTATE_FOGEND, D3D_FloatBits(10.0f)), D3D_OK);
    ASSERT_EQ(d->SetRenderState(D3DRENDERSTATE_FOGDENSITY, D3D_FloatBits(0.1f)), D3D_OK);
    // At depth 5 with density 0.1 the exponential modes part: e^-0.5 against
    // e^-0.25.
    // Range fog measures from the eye to each vertex: the quad's corners lie
    // sqrt(10^2 + 10^2 + 5^2) = 15 away, past the fog's end.
    struct SCase {
        uint32_t table, vertex;
        bool range;
        float f;
    } cases[] = {
        {D3DFOG_LINEAR, D3DFOG_NONE, false, (10.0f - 5.0f) / 8.0f},
        {D3DFOG_EXP, D3DFOG_NONE, false, std::exp(-5.0f * 0.1f)},
        {D3DFOG_EXP2, D3DFOG_NONE, false, std::exp(-(5.0f * 0.1f) * (5.0f * 0.1f))},
        {D3DFOG_NONE, D3DFOG_LINEAR, false, (10.0f - 5.0f) / 8.0f},
        {D3DFOG_NONE, D3DFOG_LINEAR, true, 0.0f},
    };
    for (const SCase& c : cases) {
        ASSERT_EQ(d->SetRenderState(D3DRENDERSTATE_FOGTABLEMODE, c.table), D3D_OK);
        ASSERT_EQ(d->SetRenderState(D3DRENDERSTATE_FOGVERTEXMODE, c.vertex), D3D_OK);
        ASSERT_EQ(d->SetRenderState(D3DRENDERSTATE_RANGEFOGENABLE, c.range), D3D_OK);
        DrawFacingQuad(5.0f, 0xffff0000);
        EXPECT_RGB_NEAR(Pixel(32, 32), c.f * 255.0f, 0, (1.0f - c.f) * 255.0f, 3)
            << c.table << "/" << c.vertex << "/" << c.range;
    }
}

TEST_F(DeviceImage, TexturedQuadWithStageOperations) {
    // A 2 x 2 texture: red, green / blue, white; point-sampled over the screen.
    const uint32_t texels[4] = {0xffff0000, 0xff00ff00, 0xff0000ff, 0xffffffff};
    CSoftSurface* tex = Texture2x2(SSurfacePixelFormat::Xrgb8888(), texels, 4);
    ASSERT_NE(tex, nullptr);

    ASSERT_EQ(
        d->SetTransform(D3DTRANSFORMSTATE_PROJECTION, Perspective(float(M_PI) / 2.0f, 1.0f, 1.0f, 100.0f)),
        D3D_OK);
    ASSERT_EQ(d->SetRenderState(D3DRENDERSTATE_LIGHTING, 0), D3D_OK);
    ASSERT_EQ(d->SetRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE), D3D_OK);
    ASSERT_EQ(d->SetTexture(0, tex), D3D_OK);
    // The quad spans the screen from -1 to 1 in view space at z = 1, texture
    // corner to corner: the four quarters show the four texels.
    SVertexColor v[4] = {{-1, 1, 1, 0xff808080, 0, 0},
                         {1, 1, 1, 0xff808080, 1, 0},
                         {-1, -1, 1, 0xff808080, 0, 1},
                         {1, -1, 1, 0xff808080, 1, 1}};
    auto draw = [&] {
        ASSERT_EQ(d->DrawPrimitive(D3DPT_TRIANGLESTRIP, D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1, v, 4, 0),
                  D3D_OK);
    };
    struct SCase {
        const char* name;
        uint32_t op0, arg1, arg2, op1;
        SRGB topLeft, bottomRight;
    } cases[] = {
        {"modulate",
         D3DTOP_MODULATE,
         D3DTA_TEXTURE,
         D3DTA_DIFFUSE,
         D3DTOP_DISABLE,
         {128, 0, 0},
         {128, 128, 128}},
        {"add", D3DTOP_ADD, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTOP_DISABLE, {255, 128, 128}, {255, 255, 255}},
        {"select",
         D3DTOP_SELECTARG1,
         D3DTA_TEXTURE,
         D3DTA_DIFFUSE,
         D3DTOP_DISABLE,
         {255, 0, 0},
         {255, 255, 255}},
        {"complement",
         D3DTOP_SELECTARG1,
         D3DTA_TEXTURE | D3DTA_COMPLEMENT,
         D3DTA_DIFFUSE,
         D3DTOP_DISABLE,
         {0, 255, 255},
         {0, 0, 0}},
        // The diffuse colour is grey, its alpha opaque.
        {"alpha replicate",
         D3DTOP_SELECTARG1,
         D3DTA_DIFFUSE | D3DTA_ALPHAREPLICATE,
         D3DTA_TEXTURE,
         D3DTOP_DISABLE,
         {255, 255, 255},
         {255, 255, 255}},
        // Stage 1 modulates stage 0's result with the texture factor.
        {"second stage",
         D3DTOP_SELECTARG1,
         D3DTA_TEXTURE,
         D3DTA_DIFFUSE,
         D3DTOP_MODULATE,
         {255, 0, 0},
         {255, 0, 255}},
    };
    ASSERT_EQ(d->SetRenderState(D3DRENDERSTATE_TEXTUREFACTOR, 0xffff00ff), D3D_OK);
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(d->SetTextureStageState(0, D3DTSS_COLOROP, c.op0), D3D_OK);
        ASSERT_EQ(d->SetTextureStageState(0, D3DTSS_COLORARG1, c.arg1), D3D_OK);
        ASSERT_EQ(d->SetTextureStageState(0, D3DTSS_COLORARG2, c.arg2), D3D_OK);
        ASSERT_EQ(d->SetTextureStageState(1, D3DTSS_COLOROP, c.op1), D3D_OK);
        ASSERT_EQ(d->SetTextureStageState(1, D3DTSS_COLORARG1, D3DTA_CURRENT), D3D_OK);
        ASSERT_EQ(d->SetTextureStageState(1, D3DTSS_COLORARG2, D3DTA_TFACTOR), D3D_OK);
        draw();
        EXPECT_RGB_NEAR(Pixel(8, 8), c.topLeft.r, c.topLeft.g, c.topLeft.b, 2);
        EXPECT_RGB_NEAR(Pixel(56, 56), c.bottomRight.r, c.bottomRight.g, c.bottomRight.b, 2);
    }
    // A colour-keyed texture leaves its key texels undrawn when keys are on.
    ASSERT_EQ(d->Clear(0, nullptr, D3DCLEAR_TARGET, 0x123456, 1.0f, 0), D3D_OK);
    ASSERT_EQ(tex->SetColorKey(0x00ff0000), kDD_OK);
    ASSERT_EQ(d->SetRenderState(D3DRENDERSTATE_COLORKEYENABLE, 1), D3D_OK);
    ASSERT_EQ(d->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE), D3D_OK);
    draw();
    EXPECT_RGB_NEAR(Pixel(8, 8), 0x12, 0x34, 0x56, 0);
    EXPECT_RGB_NEAR(Pixel(56, 8), 0, 255, 0, 0);
    DropTexture(tex);
}

TEST_F(DeviceImage, TextureAddressingModesAndFilters) {
    // A 2 x 2 texture (red, green / blue, white) over a quad whose
    // coordinates run from 0 to 2: the right and lower halves lie outside.
    const uint16_t texels[4] = {0xf800, 0x07e0, 0x001f, 0xffff};
    CSoftSurface* tex = Texture2x2(SSurfacePixelFormat::Rgb565(), texels, 2);
    ASSERT_NE(tex, nullptr);
    ASSERT_EQ(d->SetTexture(0, tex), D3D_OK);
    ASSERT_EQ(d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1), D3D_OK);
    ASSERT_EQ(d->SetTextureStageState(0, D3DTSS_BORDERCOLOR, 0xff808080), D3D_OK);
    struct SV {
        float x, y, z, rhw;
        uint32_t diffuse;
        float u, v;
    } v[4] = {{0, 0, 0.5f, 1, 0xffffffff, 0, 0},
              {64, 0, 0.5f, 1, 0xffffffff, 2, 0},
              {0, 64, 0.5f, 1, 0xffffffff, 0, 2},
              {64, 64, 0.5f, 1, 0xffffffff, 2, 2}};
    struct SCase {
        uint32_t address;
        SRGB right, below;  // texels seen at (40, 8) and (8, 40)
    } cases[] = {
        {D3DTADDRESS_WRAP, {255, 0, 0}, {255, 0, 0}},
        {D3DTADDRESS_MIRROR, {0, 255, 0}, {0, 0, 255}},
        {D3DTADDRESS_CLAMP, {0, 255, 0}, {0, 0, 255}},
        {D3DTADDRESS_BORDER, {128, 128, 128}, {128, 128, 128}},
    };
    for (const SCase& c : cases) {
        ASSERT_EQ(d->SetTextureStageState(0, D3DTSS_ADDRESS, c.address), D3D_OK);
        ASSERT_EQ(
            d->DrawPrimitive(D3DPT_TRIANGLESTRIP, D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1, v, 4, 0),
            D3D_OK);
        EXPECT_RGB_NEAR(Pixel(8, 8), 255, 0, 0, 0) << c.address;
        EXPECT_RGB_NEAR(Pixel(40, 8), c.right.r, c.right.g, c.right.b, 1) << c.address;
        EXPECT_RGB_NEAR(Pixel(8, 40), c.below.r, c.below.g, c.below.b, 1) << c.address;
    }
    // Linear filtering blends neighbouring texels where point sampling does not.
    ASSERT_EQ(d->SetTextureStageState(0, D3DTSS_ADDRESS, D3DTADDRESS_CLAMP), D3D_OK);
    ASSERT_EQ(d->SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTFG_LINEAR), D3D_OK);
    ASSERT_EQ(d->DrawPrimitive(D3DPT_TRIANGLESTRIP, D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1, v, 4, 0),
              D3D_OK);
    SRGB mid = Pixel(16, 8);  // half way between the red and the green texel
    EXPECT_GT(mid.r, 60);
    EXPECT_GT(mid.g, 60);
    DropTexture(tex);
}

TEST_F(DeviceImage, MipChainLevelsFollowTheMipFilterAndMaxLevel) {
    // 4 x 4 red, 2 x 2 green, 1 x 1 blue.
    CSoftSurface* top = nullptr;
    ASSERT_EQ(screen->m_ddraw->CreateMipTexture(4, 4, 0, SSurfacePixelFormat::Xrgb8888(), &top), D3D_OK);
    const uint32_t colors[3] = {0xffff0000, 0xff00ff00, 0xff0000ff};
    for (uint32_t level = 0; level < 3; ++level) {
        CSoftSurface* s = nullptr;
        ASSERT_EQ(screen->m_ddraw->GetMipLevel(top, level, &s), D3D_OK);
        ASSERT_EQ(s->Width(), 4 >> level);
        SDDSurfaceDesc lock;
        ASSERT_EQ(s->Lock(&lock), kDD_OK);
        for (int y = 0; y < s->Height(); ++y)
            for (int x = 0; x < s->Width(); ++x)
                memcpy(static_cast<uint8_t*>(lock.surface) + y * lock.pitch + x * 4, &colors[level], 4);
        s->Unlock();
    }
    CSoftSurface* none = nullptr;
    EXPECT_EQ(screen->m_ddraw->GetMipLevel(top, 3, &none), DDERR_NOTFOUND);
    ASSERT_EQ(d->SetTexture(0, top), D3D_OK);
    ASSERT_EQ(d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1), D3D_OK);
    struct SV {
        float x, y, z, rhw;
        uint32_t diffuse;
        float u, v;
    };
    auto quad = [&](float x0, float y0, float x1, float y1) {
        SV v[4] = {{x0, y0, 0.5f, 1, 0xffffffff, 0, 0},
                   {x1, y0, 0.5f, 1, 0xffffffff, 1, 0},
                   {x0, y1, 0.5f, 1, 0xffffffff, 0, 1},
                   {x1, y1, 0.5f, 1, 0xffffffff, 1, 1}};
        ASSERT_EQ(
            d->DrawPrimitive(D3DPT_TRIANGLESTRIP, D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1, v, 4, 0),
            D3D_OK);
    };
    struct SCase {
        uint32_t mip, maxLevel;
        bool small;
        SRGB expect;
    } cases[] = {
        {D3DTFP_NONE, 0, true, {255, 0, 0}},    // no mip filter: the top level only
        {D3DTFP_POINT, 0, true, {0, 0, 255}},   // a 4 x 4 texture on one pixel: the 1 x 1 level
        {D3DTFP_POINT, 0, false, {255, 0, 0}},  // magnified: the top level
        {D3DTFP_POINT, 1, false, {0, 255, 0}},  // the largest level allowed is the second
    };
    for (const SCase& c : cases) {
        ASSERT_EQ(d->SetTextureStageState(0, D3DTSS_MIPFILTER, c.mip), D3D_OK);
        ASSERT_EQ(d->SetTextureStageState(0, D3DTSS_MAXMIPLEVEL, c.maxLevel), D3D_OK);
        ASSERT_EQ(d->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0), D3D_OK);
        if (c.small)
            quad(10, 10, 11, 11);
        else
            quad(0, 0, 64, 64);
        EXPECT_RGB_NEAR(Pixel(10, 10), c.expect.r, c.expect.g, c.expect.b, 1) << c.mip << " " << c.maxLevel;
    }
    DropTexture(top);
}

TEST_F(DeviceImage, AlphaBlendingAndAlphaTest) {
    struct SCase {
        uint32_t src, dst, color;
        SRGB expect;
    } cases[] = {
        // 0x40 of 0xff red over grey 0x80: 64/255 red + 191/255 grey.
        {D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA, 0x40ff0000, {64 + 96, 96, 96}},
        {D3DBLEND_ONE, D3DBLEND_ONE, 0x40600000, {0x80 + 0x60, 0x80, 0x80}},
        {D3DBLEND_BOTHSRCALPHA, D3DBLEND_ZERO, 0x40ff0000, {64 + 96, 96, 96}},
        {D3DBLEND_ZERO, D3DBLEND_SRCCOLOR, 0xff808080, {64, 64, 64}},
        // The back buffer keeps no alpha: its alpha reads as opaque.
        {D3DBLEND_DESTALPHA, D3DBLEND_INVDESTALPHA, 0x40ff0000, {255, 0, 0}},
    };
    // Alpha from the vertices (a stage without a texture reads opaque white).
    ASSERT_EQ(d->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE), D3D_OK);
    ASSERT_EQ(d->SetRenderState(D3DRENDERSTATE_ALPHABLENDENABLE, 1), D3D_OK);
    for (const SCase& c : cases) {
        ASSERT_EQ(d->Clear(0, nullptr, D3DCLEAR_TARGET, 0x808080, 1.0f, 0), D3D_OK);
        ASSERT_EQ(d->SetRenderState(D3DRENDERSTATE_SRCBLEND, c.src), D3D_OK);
        ASSERT_EQ(d->SetRenderState(D3DRENDERSTATE_DESTBLEND, c.dst), D3D_OK);
        DrawQuadRHW(0, 0, 64, 64, 0.5f, c.color);
        EXPECT_RGB_NEAR(Pixel(20, 20), c.expect.r, c.expect.g, c.expect.b, 2) << c.src << "/" << c.dst;
    }
    ASSERT_EQ(d->SetRenderState(D3DRENDERSTATE_ALPHABLENDENABLE, 0), D3D_OK);
    ASSERT_EQ(d->SetRenderState(D3DRENDERSTATE_ALPHATESTENABLE, 1), D3D_OK);
    ASSERT_EQ(d->SetRenderState(D3DRENDERSTATE_ALPHAFUNC, D3DCMP_GREATER), D3D_OK);
    ASSERT_EQ(d->SetRenderState(D3DRENDERSTATE_ALPHAREF, 128), D3D_OK);
    ASSERT_EQ(d->Clear(0, nullptr, D3DCLEAR_TARGET, 0x000000, 1.0f, 0), D3D_OK);
    DrawQuadRHW(0, 0, 32, 64, 0.5f, 0x80ff0000);  // 128 is not greater: gone
    DrawQuadRHW(32, 0, 64, 64, 0.5f, 0x81ff0000);
    EXPECT_RGB_NEAR(Pixel(10, 10), 0, 0, 0, 0);
    EXPECT_RGB_NEAR(Pixel(50, 10), 255, 0, 0, 0);
}

TEST_F(DeviceImage, DepthTestAndWrite) {
    DrawQuadRHW(0, 0, 64, 64, 0.3f, 0xffff0000);
    DrawQuadRHW(0, 0, 64, 64, 0.6f, 0xff00ff00);  // behind: hidden
    EXPECT_RGB_NEAR(Pixel(10, 10), 255, 0, 0, 0);
    ASSERT_EQ(d->SetRenderState(D3DRENDERSTATE_ZFUNC, D3DCMP_GREATER), D3D_OK);
    DrawQuadRHW(0, 0, 32, 64, 0.6f, 0xff0000ff);  // now behind wins
    EXPECT_RGB_NEAR(Pixel(10, 10), 0, 0, 255, 0);
    ASSERT_EQ(d->SetRenderState(D3DRENDERSTATE_ZFUNC, D3DCMP_LESSEQUAL), D3D_OK);
    ASSERT_EQ(d->SetRenderState(D3DRENDERSTATE_ZWRITEENABLE, 0), D3D_OK);
    DrawQuadRHW(0, 0, 64, 64, 0.1f, 0xffffffff);  // drawn, but leaves no depth
    ASSERT_EQ(d->SetRenderState(D3DRENDERSTATE_ZWRITEENABLE, 1), D3D_OK);
    DrawQuadRHW(0, 0, 64, 64, 0.2f, 0xff00ffff);
    EXPECT_RGB_NEAR(Pixel(50, 10), 0, 255, 255, 0);
    ASSERT_EQ(d->SetRenderState(D3DRENDERSTATE_ZENABLE, D3DZB_FALSE), D3D_OK);
    DrawQuadRHW(0, 0, 64, 64, 0.9f, 0xff808080);
    EXPECT_RGB_NEAR(Pixel(50, 10), 128, 128, 128, 0);
}

// A kept store goes to OpenGL once and again only after its owner counted a
// change: the draws after a change show the new vertices and indices; a draw
// from memory sends only the vertices its indices reach; a bad index of a
// kept list is refused as one from memory is; forgetting the store frees it.
TEST_F(DeviceImage, KeptVerticesAreSentOncePerChange) {
    ASSERT_EQ(d->SetRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE), D3D_OK);
    const uint32_t fvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE;
    // Two quads: the left half of the target red, the right half green.
    std::vector<SVertexRHW> v = {{0, 0, 0.5f, 1, 0xffff0000},   {32, 0, 0.5f, 1, 0xffff0000},
                                 {0, 64, 0.5f, 1, 0xffff0000},  {32, 64, 0.5f, 1, 0xffff0000},
                                 {32, 0, 0.5f, 1, 0xff00ff00},  {64, 0, 0.5f, 1, 0xff00ff00},
                                 {32, 64, 0.5f, 1, 0xff00ff00}, {64, 64, 0.5f, 1, 0xff00ff00}};
    std::vector<uint16_t> idx = {0, 1, 2, 1, 3, 2, 4, 5, 6, 5, 7, 6};
    SD3DKept kept;
    kept.name = D3D_NewKeptName();
    kept.indices = idx.data();
    kept.indexCount = uint32_t(idx.size());
    const size_t keptBefore = DDraw_GLKeptStores();
    auto draw = [&](uint32_t count) {
        return d->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, fvf, v.data(), uint32_t(v.size()), idx.data(),
                                       count, 0, &kept);
    };
    uint64_t sent = DDraw_GLBufferBytes();
    ASSERT_EQ(draw(12), D3D_OK);
    EXPECT_EQ(DDraw_GLBufferBytes() - sent, v.size() * sizeof(SVertexRHW) + idx.size() * 2);
    EXPECT_EQ(DDraw_GLKeptStores(), keptBefore + 1);
    EXPECT_RGB_NEAR(Pixel(10, 30), 255, 0, 0, 0);
    EXPECT_RGB_NEAR(Pixel(50, 30), 0, 255, 0, 0);
    // Unchanged: nothing is sent, the leading half of the indices included.
    sent = DDraw_GLBufferBytes();
    ASSERT_EQ(draw(12), D3D_OK);
    ASSERT_EQ(draw(6), D3D_OK);
    EXPECT_EQ(DDraw_GLBufferBytes(), sent);
    // The owner recolours the left quad and counts the change.
    for (int i = 0; i < 4; ++i) v[size_t(i)].diffuse = 0xff0000ff;
    ++kept.vertexChanges;
    ASSERT_EQ(d->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0), D3D_OK);
    ASSERT_EQ(draw(12), D3D_OK);
    EXPECT_EQ(DDraw_GLBufferBytes() - sent, v.size() * sizeof(SVertexRHW));
    EXPECT_RGB_NEAR(Pixel(10, 30), 0, 0, 255, 0);
    // New indices: the right quad drawn twice over, the left one not at all.
    for (int i = 0; i < 6; ++i) idx[size_t(i)] = idx[size_t(i) + 6];
    ++kept.indexChanges;
    ASSERT_EQ(d->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0), D3D_OK);
    ASSERT_EQ(draw(12), D3D_OK);
    EXPECT_RGB_NEAR(Pixel(10, 30), 0, 0, 0, 0);
    EXPECT_RGB_NEAR(Pixel(50, 30), 0, 255, 0, 0);
    // An index past the vertices, kept or not, is refused.
    idx[11] = 8;
    ++kept.indexChanges;
    EXPECT_EQ(draw(12), DDERR_INVALIDPARAMS);
    EXPECT_EQ(draw(6), D3D_OK);  // the leading indices are good
    idx[11] = 6;
    ++kept.indexChanges;
    // From memory, the indices of the right quad only: its four vertices go.
    const uint16_t right[6] = {4, 5, 6, 5, 7, 6};
    for (int i = 0; i < 4; ++i) v[size_t(i) + 4].diffuse = 0xffffffff;
    ASSERT_EQ(d->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0), D3D_OK);
    sent = DDraw_GLBufferBytes();
    ASSERT_EQ(d->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, fvf, v.data(), uint32_t(v.size()), right, 6, 0),
              D3D_OK);
    EXPECT_EQ(DDraw_GLBufferBytes() - sent, 4 * sizeof(SVertexRHW) + sizeof right);
    EXPECT_RGB_NEAR(Pixel(50, 30), 255, 255, 255, 0);
    EXPECT_RGB_NEAR(Pixel(10, 30), 0, 0, 0, 0);
    D3D_ForgetKept(kept.name);
    EXPECT_EQ(DDraw_GLKeptStores(), keptBefore);
}

TEST_F(DeviceImage, BadDrawsAreRefused) {
    SVertexRHW v[3] = {};
    uint16_t bad[3] = {0, 1, 7};
    EXPECT_EQ(d->DrawPrimitive(99, D3DFVF_XYZRHW, v, 3, 0), D3DERR_INVALIDPRIMITIVETYPE);
    EXPECT_EQ(d->DrawPrimitive(D3DPT_TRIANGLELIST, 0x1, v, 3, 0), D3DERR_INVALIDVERTEXFORMAT);
    EXPECT_EQ(d->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, D3DFVF_XYZRHW | D3DFVF_DIFFUSE, v, 3, bad, 3, 0),
              DDERR_INVALIDPARAMS);
    EXPECT_EQ(d->DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_XYZRHW, nullptr, 3, 0), DDERR_INVALIDPARAMS);
    EXPECT_EQ(d->SetRenderState(500, 1), DDERR_INVALIDPARAMS);
    EXPECT_EQ(d->SetTextureStageState(9, D3DTSS_COLOROP, 1), DDERR_INVALIDPARAMS);
    EXPECT_EQ(d->SetViewport(D3DVIEWPORT7{0, 0, 0, 10, 0.0f, 1.0f}), DDERR_INVALIDPARAMS);
}

TEST_F(DeviceImage, PresentShowsTheFrameAndWhatSoftwareDrewOnIt) {
    ASSERT_EQ(d->Clear(0, nullptr, D3DCLEAR_TARGET, 0x204060, 1.0f, 0), D3D_OK);
    ASSERT_EQ(d->EndScene(), D3D_OK);
    // Software draws into the locked back buffer after the 3D image.
    CE3DSurface* back = screen->m_backBuffer;
    ASSERT_TRUE(back->Lock());
    uint32_t white = 0xffffff;
    for (int y = 4; y < 8; ++y)
        for (int x = 4; x < 8; ++x) memcpy(back->Bits() + y * back->Pitch() + x * 4, &white, 4);
    back->Unlock();
    DDraw_GLCapturePresent(true);
    screen->Present();
    DDraw_GLCapturePresent(false);
    int w = 0, h = 0;
    std::vector<uint32_t> shown = DDraw_GLCapturedPresent(&w, &h);
    ASSERT_GE(w, kW);
    ASSERT_GE(h, kH);
    EXPECT_EQ(shown[size_t(20) * w + 20] & 0xffffff, 0x204060u);
    EXPECT_EQ(shown[size_t(5) * w + 5] & 0xffffff, 0xffffffu);
    EXPECT_EQ(shown[size_t(kH - 1) * w + kW - 1] & 0xffffff, 0x204060u);
    // A client area larger than the back buffer shows the back buffer at its
    // top-left corner, unscaled, and black beyond it. (The offscreen driver's
    // surfaces keep their first size, so only a real window shows this.)
    if (strcmp(Display_DriverName(), "offscreen") != 0) {
        gl.window->SetWindowed(0, kW + 36, kH + 36);
        DDraw_GLCapturePresent(true);
        screen->Present();
        DDraw_GLCapturePresent(false);
        shown = DDraw_GLCapturedPresent(&w, &h);
        ASSERT_GE(w, kW + 36);
        EXPECT_EQ(shown[size_t(5) * w + 5] & 0xffffff, 0xffffffu);
        EXPECT_EQ(shown[size_t(kH - 1) * w + kW - 1] & 0xffffff, 0x204060u);
        EXPECT_EQ(shown[size_t(kH + 10) * w + kW + 10] & 0xffffff, 0u);
        gl.window->SetWindowed(0, kW, kH);
    }
    // 3D drawing after the software drawing keeps it.
    ASSERT_EQ(d->BeginScene(), D3D_OK);
    DrawQuadRHW(32, 32, 64, 64, 0.5f, 0xffff0000);
    EXPECT_RGB_NEAR(Pixel(5, 5), 255, 255, 255, 0);
    EXPECT_RGB_NEAR(Pixel(40, 40), 255, 0, 0, 0);
}

TEST_F(DeviceImage, NoReadBackAndOneUploadPerFrameUnlessAReaderAsks) {
    int reads0 = 0, ups0 = 0, reads = 0, ups = 0;
    for (int frame = 0; frame < 3; ++frame) {
        DDraw_GLTransferCounts(&reads0, &ups0);
        ASSERT_EQ(d->Clear(0, nullptr, D3DCLEAR_TARGET, 0x102030, 1.0f, 0), D3D_OK);
        DrawQuadRHW(0, 0, 16, 16, 0.5f, 0xffffffff);
        ASSERT_EQ(d->EndScene(), D3D_OK);
        // The interface locks the back buffer several times a frame, and
        // draws over the 3D picture without reading it.
        for (int i = 0; i < 3; ++i) {
            ASSERT_TRUE(screen->m_backBuffer->Lock());
            EXPECT_TRUE(
                screen->m_backBuffer->DrawFilledRect(20 + frame, 20 + i, 24 + frame, 21 + i, 0, 255, 0));
            screen->m_backBuffer->Unlock();
        }
        screen->Present();
        DDraw_GLTransferCounts(&reads, &ups);
        EXPECT_EQ(reads - reads0, 0);
        EXPECT_EQ(ups - ups0, 1);
        // A reader gets the whole picture: the 3D under and beside what the
        // CPU drew, for one read-back.
        EXPECT_RGB_NEAR(Pixel(20 + frame, 21), 0, 255, 0, 0);
        EXPECT_RGB_NEAR(Pixel(8, 8), 255, 255, 255, 0);
        EXPECT_RGB_NEAR(Pixel(40, 40), 0x10, 0x20, 0x30, 0);
        DDraw_GLTransferCounts(&reads, &ups);
        EXPECT_EQ(reads - reads0, 1);
        ASSERT_EQ(d->BeginScene(), D3D_OK);
    }
    // 3D drawn after the CPU's drawing covers it, and the CPU's drawing
    // after that does not bring the covered pixels back.
    ASSERT_EQ(d->Clear(0, nullptr, D3DCLEAR_TARGET, 0x102030, 1.0f, 0), D3D_OK);
    ASSERT_TRUE(screen->m_backBuffer->Lock());
    EXPECT_TRUE(screen->m_backBuffer->DrawFilledRect(30, 30, 40, 40, 255, 0, 0));
    screen->m_backBuffer->Unlock();
    DrawQuadRHW(32, 32, 48, 48, 0.5f, 0xff0000ff);
    ASSERT_TRUE(screen->m_backBuffer->Lock());
    EXPECT_TRUE(screen->m_backBuffer->DrawFilledRect(50, 50, 52, 52, 255, 255, 0));
    screen->m_backBuffer->Unlock();
    screen->Present();
    EXPECT_RGB_NEAR(Pixel(31, 31), 255, 0, 0, 0);
    EXPECT_RGB_NEAR(Pixel(35, 35), 0, 0, 255, 0);
    EXPECT_RGB_NEAR(Pixel(50, 50), 255, 255, 0, 0);
    EXPECT_RGB_NEAR(Pixel(60, 60), 0x10, 0x20, 0x30, 0);
    // A frame without software drawing needs neither.
    DDraw_GLTransferCounts(&reads0, &ups0);
    ASSERT_EQ(d->Clear(0, nullptr, D3DCLEAR_TARGET, 0x102030, 1.0f, 0), D3D_OK);
    screen->Present();
    DDraw_GLTransferCounts(&reads, &ups);
    EXPECT_EQ(reads, reads0);
    EXPECT_EQ(ups, ups0);
    // Software drawing that a clear of the whole target then covers is not
    // sent; before a clear of a part of it, it is, and stays beside it.
    auto cpuDraw = [&] {
        CE3DSurface* back = screen->m_backBuffer;
        ASSERT_TRUE(back->Lock());
        for (int y = 0; y < kH; ++y) std::memset(back->Bits() + y * back->Pitch(), 0xff, kW * 4);
        back->Unlock();
    };
    cpuDraw();
    DDraw_GLTransferCounts(&reads0, &ups0);
    ASSERT_EQ(d->Clear(0, nullptr, D3DCLEAR_TARGET, 0x102030, 1.0f, 0), D3D_OK);
    DDraw_GLTransferCounts(&reads, &ups);
    EXPECT_EQ(ups, ups0);
    EXPECT_RGB_NEAR(Pixel(5, 5), 0x10, 0x20, 0x30, 0);
    cpuDraw();
    DDraw_GLTransferCounts(&reads0, &ups0);
    const D3DRECT left{0, 0, kW / 2, kH};
    ASSERT_EQ(d->Clear(1, &left, D3DCLEAR_TARGET, 0x102030, 1.0f, 0), D3D_OK);
    DDraw_GLTransferCounts(&reads, &ups);
    EXPECT_EQ(ups - ups0, 1);
    EXPECT_RGB_NEAR(Pixel(5, 5), 0x10, 0x20, 0x30, 0);
    EXPECT_RGB_NEAR(Pixel(kW - 5, 5), 0xff, 0xff, 0xff, 0);
}

TEST_F(DeviceImage, LitVertexFormatWithFogFromSpecularAlpha) {
    // Particles and beams: position, a reserved word, diffuse, specular whose
    // alpha carries the fog factor, one texture coordinate set.
    struct SLVertex {
        float x, y, z;
        uint32_t reserved, diffuse, specular;
        float u, v;
    };
    ASSERT_EQ(
        d->SetTransform(D3DTRANSFORMSTATE_PROJECTION, Perspective(float(M_PI) / 2.0f, 1.0f, 1.0f, 100.0f)),
        D3D_OK);
    ASSERT_EQ(d->SetRenderState(D3DRENDERSTATE_LIGHTING, 0), D3D_OK);
    ASSERT_EQ(d->SetRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE), D3D_OK);
    ASSERT_EQ(d->SetRenderState(D3DRENDERSTATE_FOGENABLE, 1), D3D_OK);
    ASSERT_EQ(d->SetRenderState(D3DRENDERSTATE_FOGCOLOR, 0x00ffff), D3D_OK);
    uint32_t specular = 0x40000000;  // fog factor 64/255
    SLVertex v[4] = {{-4, 4, 2, 0xdeadbeef, 0xffff0000, specular, 0, 0},
                     {4, 4, 2, 0xdeadbeef, 0xffff0000, specular, 1, 0},
                     {-4, -4, 2, 0xdeadbeef, 0xffff0000, specular, 0, 1},
                     {4, -4, 2, 0xdeadbeef, 0xffff0000, specular, 1, 1}};
    ASSERT_EQ(d->DrawPrimitive(D3DPT_TRIANGLESTRIP, D3DFVF_LVERTEX, v, 4, 0), D3D_OK);
    float f = 64.0f / 255.0f;
    EXPECT_RGB_NEAR(Pixel(32, 32), f * 255, (1 - f) * 255, (1 - f) * 255, 2);
}

TEST_F(DeviceImage, GeneratedShadersAreCachedPerStateCombination) {
    DrawQuadRHW(0, 0, 8, 8, 0.5f, 0xffffffff);
    size_t before = DDraw_GLProgramCount();
    for (int i = 0; i < 5; ++i) DrawQuadRHW(0, 0, 8, 8, 0.5f, 0xff00ff00);
    EXPECT_EQ(DDraw_GLProgramCount(), before);
    ASSERT_EQ(d->SetRenderState(D3DRENDERSTATE_ALPHATESTENABLE, 1), D3D_OK);
    ASSERT_EQ(d->SetRenderState(D3DRENDERSTATE_ALPHAFUNC, D3DCMP_LESS), D3D_OK);
    DrawQuadRHW(0, 0, 8, 8, 0.5f, 0xff00ff00);
    EXPECT_EQ(DDraw_GLProgramCount(), before + 1);
}

}  // namespace
