// Meshes, materials and textures drawn through OpenGL (under Xvfb with Mesa's
// software renderer): a lit, textured mesh with normals and two sets of
// texture coordinates; two- and three-stage materials against what the
// texture-stage formulas give; colour-keyed holes; the mip level the filter
// states choose; an animated mesh's pose for a time; uploads only on change;
// a texture from its picture and from its cache file.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "core/ImageBMP.h"
#include "e3d/E3D.h"
#include "e3d/Frame.h"
#include "e3d/Material.h"
#include "e3d/Mesh.h"
#include "e3d/Shape.h"
#include "e3d/ShapeBlock.h"
#include "e3d/Surface.h"
#include "e3d/Texture.h"
#include "e3d/VertexList.h"
#include "platform/display/Display.h"
#include "tests/support/GLDisplay.h"
#include "tests/support/ImageTexture.h"
#include "tests/support/Magick.h"
#include "tests/support/TempDir.h"

namespace {

constexpr int kW = 64, kH = 64;
int64_t g_now = 0;

// A texture whose staging pixels the test writes (X8R8G8B8).
class CPlainTexture : public CE3DTexture {
public:
    CPlainTexture(CE3DScreen* s, int w, int h, bool mip) : CE3DTexture(s), m_w(w), m_h(h) {
        m_mipmapped = mip ? 1 : 0;
        LoadImage();
    }
    bool LoadImage() override { return CreateSurfaces(m_w, m_h, SSurfacePixelFormat::Xrgb8888()); }
    // Texels by a function of (x, y), then the whole mip chain.
    template <class F>
    void Paint(F texel) {
        SDDSurfaceDesc d;
        ASSERT_EQ(Staging()->Lock(&d), kDD_OK);
        for (uint32_t y = 0; y < d.height; ++y)
            for (uint32_t x = 0; x < d.width; ++x) {
                uint32_t v = texel(int(x), int(y));
                std::memcpy(static_cast<uint8_t*>(d.surface) + y * uint32_t(d.pitch) + x * 4, &v, 4);
            }
        Staging()->Unlock();
        ASSERT_TRUE(FillFromStaging());
    }
    int m_w, m_h;
};

class GeometryImage : public TTestGLPictures<kW, kH> {
protected:
    void SetUp() override {
        if (!screen) TEST_END_WITHOUT_GL();
        g_now = 0;
        CE3DMesh::SetClock([](void*) { return g_now; }, nullptr);
        dev = screen->m_currentDevice;
        ASSERT_TRUE(dev->Activate(dev));
        d = dev->m_device;
        ASSERT_EQ(d->SetViewport(D3DVIEWPORT7{0, 0, kW, kH, 0.0f, 1.0f}), D3D_OK);
        // A 90 degree lens at the origin looking along +z.
        D3DMATRIX p{};
        const float zn = 1.0f, zf = 100.0f, q = zf / (zf - zn);
        p.m[0][0] = p.m[1][1] = 1.0f;
        p.m[2][2] = q;
        p.m[2][3] = 1.0f;
        p.m[3][2] = -q * zn;
        ASSERT_EQ(d->SetTransform(D3DTRANSFORMSTATE_PROJECTION, p), D3D_OK);
        ASSERT_EQ(d->SetTransform(D3DTRANSFORMSTATE_VIEW, g_E3DIdentity44), D3D_OK);
        ASSERT_EQ(d->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0x102030, 1.0f, 0), D3D_OK);
        ASSERT_EQ(d->BeginScene(), D3D_OK);
    }
    void TearDown() override {
        if (d) d->EndScene();
        CE3DMesh::SetClock(nullptr, nullptr);
    }
    SRGB Pixel(int x, int y) { return Test_BackPixel(screen, x, y); }

    // A quad at depth z from (x0, y0) to (x1, y1) in view units (y up),
    // facing the viewer, in `sets` position sets shifted by dx each; texture
    // set 0 maps the whole texture, set 1 its left half (u 0 to 0.5).
    CE3DShapeBlock* Quad(CE3DShape& shape, CE3DMaterial* m, float x0, float y0, float x1, float y1, float z,
                         int sets = 1, float dx = 0.0f) {
        CE3DShapeBlock* b = new CE3DShapeBlock(&shape);
        b->m_vertexCount = 4;
        const float xs[4] = {x0, x1, x0, x1}, ys[4] = {y1, y1, y0, y0}, us[4] = {0, 1, 0, 1},
                    vs[4] = {0, 0, 1, 1};
        b->m_positions.resize(size_t(sets));
        b->m_positionNames.resize(size_t(sets));
        for (int s = 0; s < sets; ++s)
            for (int v = 0; v < 4; ++v) {
                const float p[6] = {xs[v] + dx * float(s), ys[v], z, 0.0f, 0.0f, -1.0f};
                b->m_positions[size_t(s)].insert(b->m_positions[size_t(s)].end(), p, p + 6);
            }
        b->m_texCoords.resize(2);
        for (int v = 0; v < 4; ++v) {
            b->m_texCoords[0].insert(b->m_texCoords[0].end(), {us[v], vs[v]});
            b->m_texCoords[1].insert(b->m_texCoords[1].end(), {us[v] * 0.5f, vs[v]});
        }
        b->m_anim.curTex[1] = 1;  // stage 1 shows the second set
        b->AllocIndices(2, 3);
        // Clockwise as seen by the viewer: Direct3D's front faces.
        const uint16_t idx[6] = {0, 1, 2, 2, 1, 3};
        std::memcpy(b->m_indices.data(), idx, sizeof idx);
        b->AllocBuffers(0x200);  // two texture-coordinate sets
        b->m_material = m;
        shape.PrepareBlocks();
        shape.ComputeBounds();
        return b;
    }
    // The mesh's lists into their materials' queues, drawn at a stage level.
    void Draw(CE3DFrame& root, CE3DMesh& mesh, int level, bool lights) {
        int depth = 0;
        mesh.Update(&depth);
        root.UpdateRenderMatrix(&depth);
        mesh.Render(&depth);
        for (CE3DMaterial* m = screen->m_materials; m; m = m->m_next)
            m->DrawQueued(dev, level, lights, SE3DPassLimits());
    }
    static void Stage(CE3DTextureStage* s, uint8_t op, uint8_t a1, uint8_t a2, CE3DTexture* t,
                      uint8_t coords) {
        s->m_colorOp = op;
        s->m_colorArg1 = a1;
        s->m_colorArg2 = a2;
        s->m_alphaOp = D3DTOP_SELECTARG1;
        s->m_alphaArg1 = D3DTA_DIFFUSE;
        s->m_texture = t;
        s->m_texCoordIndex = coords;
        s->m_magFilter = s->m_minFilter = D3DTFG_POINT;
        s->m_mipFilter = D3DTFP_NONE;
    }

    CE3DDevice* dev = nullptr;
    ID3DDevice* d = nullptr;
};

// Left half green, right half blue.
uint32_t Halves(int x, int, int w) {
    return x < w / 2 ? 0x00FF00u : 0x0000FFu;
}

}  // namespace

TEST_F(GeometryImage, LitTexturedMeshTakesItsSecondCoordinatesAndTheLight) {
    CPlainTexture tex(screen, 8, 8, false);
    tex.Paint([](int x, int y) { return Halves(x, y, 8); });
    CE3DMaterial m(screen, "lit");
    CE3DMaterialPass* p = m.Passes(1);
    // The texture through the second coordinate set (its left half: green),
    // times the lit diffuse colour.
    Stage(p->m_stages[0], D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE, &tex, 1);
    p->m_states->m_lightingMaterial.diffuse = {0.5f, 0.5f, 0.5f, 1.0f};
    p->m_states->m_lightingMaterial.ambient = {0, 0, 0, 0};
    p->m_states->m_fog = 0;
    D3DLIGHT7 l{};
    l.dltType = D3DLIGHT_DIRECTIONAL;
    l.dcvDiffuse = {1, 1, 1, 1};
    l.dvDirection = {0, 0, 1};
    ASSERT_EQ(d->SetLight(0, l), D3D_OK);
    ASSERT_EQ(d->LightEnable(0, true), D3D_OK);
    dev->SetRenderState(D3DRENDERSTATE_AMBIENT, 0);
    CE3DShape shape(engine);
    Quad(shape, &m, -2, -2, 2, 2, 2);
    CE3DFrame root(nullptr);
    CE3DMesh mesh(&root, &shape);
    Draw(root, mesh, 1, true);
    EXPECT_RGB_NEAR(Pixel(8, 32), 0, 127.5, 0, 3);
    EXPECT_RGB_NEAR(Pixel(56, 32), 0, 127.5, 0, 3);  // all of it green: set 1 spans u 0 to 0.5
    // Through the first set the right half shows blue; unlit, full strength.
    p->m_stages[0]->m_texCoordIndex = 0;
    m.m_lit = 0;
    Draw(root, mesh, 1, true);
    EXPECT_RGB_NEAR(Pixel(8, 32), 0, 255, 0, 2);
    EXPECT_RGB_NEAR(Pixel(56, 32), 0, 0, 255, 2);
    ASSERT_EQ(d->LightEnable(0, false), D3D_OK);
}

TEST_F(GeometryImage, TwoAndThreeStageMaterialsGiveTheTextureStageResult) {
    // Base texture (x ramp in red, constant green) times a light map (a y
    // ramp in grey) through the second coordinates, then plus the texture
    // factor in the third stage.
    CPlainTexture base(screen, 8, 8, false), light(screen, 8, 8, false);
    auto baseTexel = [](int x, int) { return uint32_t(x * 32 + 16) << 16 | 0xC000u; };
    auto lightTexel = [](int, int y) {
        const uint32_t g = uint32_t(255 - y * 32);
        return g << 16 | g << 8 | g;
    };
    base.Paint(baseTexel);
    light.Paint(lightTexel);
    CE3DMaterial m(screen, "lightmapped");
    m.m_lit = 0;
    CE3DMaterialPass* two = m.Passes(2);
    Stage(two->m_stages[0], D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE, &base, 0);
    Stage(two->m_stages[1], D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_CURRENT, &light, 1);
    two->m_states->m_fog = 0;
    CE3DMaterialPass* three = m.Passes(3);
    three->CopyFrom(*two);
    Stage(three->m_stages[2], D3DTOP_ADD, D3DTA_TFACTOR, D3DTA_CURRENT, nullptr, 0);
    three->m_states->m_textureFactor = 0x00302010;
    CE3DShape shape(engine);
    Quad(shape, &m, -2, -2, 2, 2, 2);
    CE3DFrame root(nullptr);
    CE3DMesh mesh(&root, &shape);
    for (int level : {2, 3}) {
        Draw(root, mesh, level, false);
        for (auto [x, y] : {std::pair<int, int>{4, 4}, {12, 40}, {28, 60}, {30, 20}}) {
            // Screen (x, y) covers texel (x / 8, y / 8) of the base; the light
            // map's u runs at half speed, its v at the same.
            const uint32_t b = baseTexel(x / 8, y / 8), lm = lightTexel(x / 16, y / 8);
            double r = double(b >> 16 & 0xFF) * double(lm >> 16 & 0xFF) / 255.0;
            double g = double(b >> 8 & 0xFF) * double(lm >> 8 & 0xFF) / 255.0;
            double bl = 0.0;
            if (level == 3) {
                r = std::min(255.0, r + 0x30);
                g = std::min(255.0, g + 0x20);
                bl = 0x10;
            }
            EXPECT_RGB_NEAR(Pixel(x, y), r, g, bl, 3) << "level " << level << " at " << x << "," << y;
        }
    }
}

TEST_F(GeometryImage, ColourKeyedTexelsLeaveHoles) {
    CPlainTexture tex(screen, 8, 8, false);
    tex.Paint([](int x, int) { return x < 4 ? 0xFF00FFu : 0xFF0000u; });
    ASSERT_TRUE(tex.SetColorKey(255, 0, 255));
    CE3DMaterial m(screen, "keyed");
    m.m_lit = 0;
    Stage(m.Passes(1)->m_stages[0], D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE, &tex, 0);
    m.Passes(1)->m_states->m_colorKey = 1;
    m.Passes(1)->m_states->m_fog = 0;
    CE3DShape shape(engine);
    Quad(shape, &m, -2, -2, 2, 2, 2);
    CE3DFrame root(nullptr);
    CE3DMesh mesh(&root, &shape);
    Draw(root, mesh, 1, false);
    EXPECT_RGB_NEAR(Pixel(10, 30), 0x10, 0x20, 0x30, 0);  // the cleared background
    EXPECT_RGB_NEAR(Pixel(50, 30), 255, 0, 0, 0);
    // Without the colour-key state the key colour is drawn.
    m.Passes(1)->m_states->m_colorKey = 0;
    Draw(root, mesh, 1, false);
    EXPECT_RGB_NEAR(Pixel(10, 30), 255, 0, 255, 0);
}

TEST_F(GeometryImage, MipLevelsAreChosenAsTheFilterStatesSay) {
    // 64 x 64 with a colour per level, drawn 16 pixels wide: level 2 is the
    // one that fits.
    CPlainTexture tex(screen, 64, 64, true);
    ASSERT_EQ(tex.MipCount(), 6u);
    const uint32_t colours[6] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0x00FFFF, 0xFF00FF};
    for (uint32_t level = 0; level < 6; ++level) {
        CSoftSurface* s = nullptr;
        ASSERT_EQ(screen->m_ddraw->GetMipLevel(tex.StageSurface(0), level, &s), D3D_OK);
        ASSERT_EQ(s->ColorFill(nullptr, colours[level]), kDD_OK);
    }
    CE3DMaterial m(screen, "mipped");
    m.m_lit = 0;
    CE3DTextureStage* st = m.Passes(1)->m_stages[0];
    Stage(st, D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE, &tex, 0);
    m.Passes(1)->m_states->m_fog = 0;
    CE3DShape shape(engine);
    Quad(shape, &m, -0.5f, -0.5f, 0.5f, 0.5f, 2);  // 16 x 16 pixels in the middle
    CE3DFrame root(nullptr);
    CE3DMesh mesh(&root, &shape);
    struct SCase {
        uint8_t mip, maxLevel;
        uint32_t colour;
    } cases[] = {{D3DTFP_NONE, 0, colours[0]},
                 {D3DTFP_POINT, 0, colours[2]},
                 {D3DTFP_POINT, 3, colours[3]},  // level 3 is the most detailed allowed
                 {D3DTFP_LINEAR, 0, 0}};
    for (const SCase& c : cases) {
        st->m_mipFilter = c.mip;
        st->m_maxMipLevel = c.maxLevel;
        Draw(root, mesh, 1, false);
        const SRGB p = Pixel(32, 32);
        if (c.mip == D3DTFP_LINEAR) {
            // Between levels 1 and 2 (or exactly 2): no red, some blue.
            EXPECT_EQ(p.r, 0);
            EXPECT_GT(p.b, 100);
        } else {
            EXPECT_RGB_NEAR(p, c.colour >> 16 & 0xFF, c.colour >> 8 & 0xFF, c.colour & 0xFF, 1) << int(c.mip);
        }
    }
    // The scene's limit lowers the mip filter: none allowed, level 0 again.
    st->m_mipFilter = D3DTFP_POINT;
    st->m_maxMipLevel = 0;
    SE3DPassLimits noMips;
    noMips.maxMipFilter = D3DTFP_NONE;
    int depth = 0;
    mesh.Render(&depth);
    m.DrawQueued(dev, 1, false, noMips);
    EXPECT_RGB_NEAR(Pixel(32, 32), 255, 0, 0, 1);
}

TEST_F(GeometryImage, AnimatedMeshShowsThePoseForTheTimeAsked) {
    CE3DMaterial m(screen, "flat");
    m.m_lit = 0;
    Stage(m.Passes(1)->m_stages[0], D3DTOP_SELECTARG1, D3DTA_TFACTOR, D3DTA_DIFFUSE, nullptr, 0);
    m.Passes(1)->m_states->m_textureFactor = 0x00FFFFFF;
    m.Passes(1)->m_states->m_fog = 0;
    CE3DShape shape(engine);
    // A narrow bar at the left in set 0, at the right in set 1.
    Quad(shape, &m, -2.0f, -2.0f, -1.5f, 2.0f, 2.0f, 2, 3.5f);
    shape.m_animated = 1;
    shape.m_duration = 1000;
    shape.m_endMode = kE3DShapeEndHold;
    CE3DFrame root(nullptr);
    CE3DMesh mesh(&root, &shape);
    mesh.RestartAnimation();
    struct SCase {
        int64_t time;
        int lit;  // the column of the bar's middle
    } cases[] = {{0, 2}, {500, 32}, {1000, 61}};
    for (const SCase& c : cases) {
        g_now = c.time;
        ASSERT_EQ(d->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0x000000, 1.0f, 0), D3D_OK);
        Draw(root, mesh, 1, false);
        for (int x : {2, 32, 61}) {
            const SRGB p = Pixel(x, 32);
            EXPECT_EQ(p.r, x == c.lit ? 255 : 0) << "time " << c.time << " column " << x;
        }
    }
}

TEST_F(GeometryImage, TexturesGoToTheCardOnceAndAgainOnlyWhenTheyChange) {
    CPlainTexture tex(screen, 8, 8, true);
    tex.Paint([](int, int) { return 0x00FF00u; });
    CE3DMaterial m(screen, "uploads");
    m.m_lit = 0;
    Stage(m.Passes(1)->m_stages[0], D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE, &tex, 0);
    m.Passes(1)->m_states->m_fog = 0;
    CE3DShape shape(engine);
    Quad(shape, &m, -2, -2, 2, 2, 2);
    CE3DFrame root(nullptr);
    CE3DMesh mesh(&root, &shape);
    const int before = DDraw_GLTextureUploads();
    for (int i = 0; i < 3; ++i) Draw(root, mesh, 1, false);
    EXPECT_EQ(DDraw_GLTextureUploads() - before, 1);
    EXPECT_RGB_NEAR(Pixel(32, 32), 0, 255, 0, 0);
    tex.Paint([](int, int) { return 0x0000FFu; });
    for (int i = 0; i < 3; ++i) Draw(root, mesh, 1, false);
    EXPECT_EQ(DDraw_GLTextureUploads() - before, 2);
    EXPECT_RGB_NEAR(Pixel(32, 32), 0, 0, 255, 0);
}

TEST_F(GeometryImage, APictureAndItsCacheFileGiveTheSamePixels) {
    CTempDir dir;
    screen->m_cacheFolder = dir.Win().c_str();
    const std::string ppm = dir.File("pic.ppm"), jpg = dir.File("pic.jpg");
    ASSERT_TRUE(Magick_WritePPM(ppm, 64, 32, Magick_TestPicture(64, 32, 7)));
    ASSERT_TRUE(Magick_Run("'" + ppm + "' -quality 85 '" + jpg + "'"));
    std::vector<uint8_t> bytes = ReadBytes(jpg);
    ASSERT_FALSE(bytes.empty());
    const uint32_t next = screen->m_textureNumber;
    CImageTexture* decoded = new CImageTexture(screen, bytes, 64, 32, true);
    ASSERT_TRUE(decoded->LoadImage());
    EXPECT_FALSE(decoded->m_fromCache);
    const std::vector<uint8_t> first(decoded->Staging()->Pixels(),
                                     decoded->Staging()->Pixels() + decoded->Staging()->Pitch() * 32);
    delete decoded;
    // The same texture again (same id pair): from the cache, the same pixels.
    screen->m_textureNumber = next;
    CImageTexture cached(screen, bytes, 64, 32, true);
    ASSERT_TRUE(cached.LoadImage());
    EXPECT_TRUE(cached.m_fromCache);
    EXPECT_EQ(std::vector<uint8_t>(cached.Staging()->Pixels(), cached.Staging()->Pixels() + first.size()),
              first);
    // A changed picture has another stamp: decoded again, the cache rewritten.
    bytes[bytes.size() / 2] ^= 0x01;
    cached.m_bytes = bytes;
    ASSERT_TRUE(cached.LoadImage());
    EXPECT_FALSE(cached.m_fromCache);
    ASSERT_TRUE(cached.LoadImage());
    EXPECT_TRUE(cached.m_fromCache);
    screen->m_cacheFolder = "C:\\Temp";
}
