// Materials and textures on a screen of the recording back end: the
// registries and their look-ups, copies, texture sizes and mip chains, the
// reloading after a mode change, and the texture cache files.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/VFSFile.h"
#include "e3d/E3D.h"
#include "e3d/Material.h"
#include "e3d/Texture.h"
#include "e3d/TextureCache.h"
#include "platform/d3d/Recorder.h"
#include "tests/support/TempDir.h"
#include "tools/lib/GeometryWriter.h"

namespace {

std::vector<std::string> g_steps;

// A texture whose image is a pattern of its own: what a game texture does
// with a decoded picture, without one.
class CPatternTexture : public CE3DTexture {
public:
    CPatternTexture(CE3DScreen* s, const char* name) : CE3DTexture(s), m_name(name) {}
    bool LoadImage() override {
        ++loads;
        CreateSurfaces(8, 8, SSurfacePixelFormat::Xrgb8888());
        return true;
    }
    const char* TextureName() const override { return m_name; }
    int loads = 0;
    const char* m_name;
};

class MaterialsTextures : public ::testing::Test {
protected:
    void SetUp() override {
        g_steps.clear();
        SE3DGameHooks h;
        h.progressStep = [](const char* t) { g_steps.push_back(t); };
        E3D_SetGameHooks(h);
        DDraw_SetFactory(&rec);
        engine = new CE3DEngine;
        ASSERT_GE(engine->m_driverCount, 1);
        screen = new CE3DScreen(engine, engine->m_drivers[0]);
        ASSERT_TRUE(screen->SetWindowedMode(engine->m_drivers[0], nullptr, 64, 64, true));
        screen->m_cacheFolder = dir.Win().c_str();
    }
    void TearDown() override {
        delete engine;
        DDraw_SetFactory(nullptr);
        E3D_SetGameHooks(SE3DGameHooks());
    }
    // Fills the staging surface with a pattern of the texture's own.
    static void Paint(CE3DTexture& t, uint32_t seed) {
        SDDSurfaceDesc d;
        ASSERT_EQ(t.Staging()->Lock(&d), kDD_OK);
        for (uint32_t y = 0; y < d.height; ++y)
            for (uint32_t x = 0; x * (d.pixelFormat.bitCount / 8) < uint32_t(d.pitch); ++x)
                static_cast<uint8_t*>(d.surface)[y * uint32_t(d.pitch) + x] = uint8_t(seed + x * 7 + y * 13);
        t.Staging()->Unlock();
    }
    static std::vector<uint8_t> Pixels(CSoftSurface* s) {
        return std::vector<uint8_t>(s->Pixels(), s->Pixels() + size_t(s->Pitch()) * size_t(s->Height()));
    }

    CTempDir dir;
    CD3DRecorder rec;
    CE3DEngine* engine = nullptr;
    CE3DScreen* screen = nullptr;
};

}  // namespace

TEST_F(MaterialsTextures, MaterialsTakeTheNextIdAndTheirNameAndJoinTheRegistry) {
    screen->m_materialNumber = 7;
    engine->m_idSet = 4;
    CE3DMaterial* a = new CE3DMaterial(screen);
    CE3DMaterial* b = new CE3DMaterial(screen, "Rock");
    EXPECT_STREQ(a->m_name.GetText(), "Material 7");
    EXPECT_EQ(a->m_materialId, 7u);
    EXPECT_EQ(a->m_projectId, 4);
    EXPECT_EQ(b->m_materialId, 8u);
    EXPECT_EQ(screen->m_materials, b);
    EXPECT_EQ(screen->m_materialCount, 2);
    EXPECT_EQ(a->PassCount(1) + a->PassCount(2) + a->PassCount(3), 3);
    // A later stage starts disabled.
    EXPECT_EQ(a->Passes(2)->m_stages[1]->m_colorOp, D3DTOP_DISABLE);
    EXPECT_EQ(a->Passes(2)->m_stages[0]->m_colorOp, D3DTOP_MODULATE);
    delete a;
    EXPECT_EQ(screen->m_materialCount, 1);
    EXPECT_EQ(screen->m_materials, b);
}

TEST_F(MaterialsTextures, LookUpsByNameAndIdPair) {
    CE3DMaterial* rock = new CE3DMaterial(screen, "Rock");
    CE3DMaterial* fallback = new CE3DMaterial(screen, "!Default");
    screen->m_defaultMaterial = fallback;
    EXPECT_EQ(screen->FindMaterialByName("rOCK"), rock);
    EXPECT_EQ(screen->FindMaterialByName("Rocks"), nullptr);
    EXPECT_EQ(screen->FindMaterial(rock->m_projectId, rock->m_materialId), rock);
    EXPECT_EQ(screen->FindMaterial(9, 9), fallback);
    rock->m_flags = 1;  // a passed-over material is not found by its pair
    EXPECT_EQ(screen->FindMaterial(rock->m_projectId, rock->m_materialId), fallback);
    // An unnamed material compares as the empty text.
    rock->m_name = "";
    EXPECT_EQ(screen->FindMaterialByName(""), rock);
    EXPECT_EQ(screen->FindMaterialByName(nullptr), rock);
}

TEST_F(MaterialsTextures, CopyTakesThePassesAndFlagsButKeepsItsOwnIdPair) {
    CE3DMaterial src(screen, "Rock");
    src.m_twoSided = 1;
    src.m_lit = 0;
    src.AddPass(2)->m_states->m_alphaBlend = 1;
    src.Passes(2)->m_next->m_stages[1]->m_colorOp = D3DTOP_ADD;
    CE3DMaterial copy(screen, "x");
    const uint32_t id = copy.m_materialId;
    copy.Copy(src);
    EXPECT_STREQ(copy.m_name.GetText(), "Copy of: Rock");
    EXPECT_EQ(copy.m_materialId, id);
    EXPECT_EQ(copy.m_twoSided, 1);
    EXPECT_EQ(copy.m_lit, 0);
    ASSERT_EQ(copy.PassCount(2), 2);
    EXPECT_EQ(copy.Passes(2)->m_next->m_states->m_alphaBlend, 1);  // in list order
    EXPECT_EQ(copy.Passes(2)->m_next->m_stages[1]->m_colorOp, D3DTOP_ADD);
    EXPECT_EQ(copy.Passes(2)->m_next->m_states->m_material, &copy);  // the blocks stay the copy's own
    EXPECT_EQ(copy.Passes(2)->m_next->m_stages[1]->m_screen, screen);
    CE3DMaterial unnamed(screen, "");
    copy.Copy(unnamed);
    EXPECT_STREQ(copy.m_name.GetText(), "Copy of: ");
}

TEST_F(MaterialsTextures, RefreshFindsTexturesByIdPairOrFallsBackToTheDefault) {
    CPatternTexture* none = new CPatternTexture(screen, "!None");
    screen->m_defaultTexture = none;
    CPatternTexture* rock = new CPatternTexture(screen, "rock");
    CE3DMaterial m(screen, "Rock");
    CE3DTextureStage* known = m.Passes(1)->m_stages[0];
    CE3DTextureStage* unknown = m.Passes(2)->m_stages[1];
    known->m_textureProject = rock->m_projectId;
    known->m_textureId = rock->m_textureId;
    unknown->m_textureProject = 5;
    unknown->m_textureId = 5000;
    screen->RefreshMaterials();
    EXPECT_EQ(known->m_texture, rock);
    EXPECT_EQ(unknown->m_texture, none);
    EXPECT_EQ(unknown->m_textureId, none->m_textureId);  // the default's pair now
    rock->m_skip = 1;
    EXPECT_EQ(screen->FindTexture(rock->m_projectId, rock->m_textureId), none);
}

TEST_F(MaterialsTextures, TextureSizesFollowTheDevice) {
    D3DDEVICEDESC7 caps = D3D_StandardDeviceDesc(true, true);
    caps.dwMaxTextureAspectRatio = 8;
    caps.dwMaxTextureWidth = caps.dwMaxTextureHeight = 2048;
    struct SCase {
        int w, h, reduction;
        bool mipmapped;
        int ew, eh;
    } cases[] = {
        {300, 200, 0, false, 256, 128},   {300, 200, 1, false, 128, 64}, {1024, 16, 0, true, 1024, 128},
        {5000, 4, 0, true, 2048, 256},    {1, 0, 0, true, 1, 1},         {16, 1024, 0, false, 128, 1024},
        {-5, 70000, 0, false, 256, 2048},
    };
    for (const SCase& c : cases) {
        int w = 0, h = 0;
        E3D_TextureSize(c.w, c.h, c.reduction, c.mipmapped, caps, &w, &h);
        EXPECT_EQ(w, c.ew) << c.w << "x" << c.h;
        EXPECT_EQ(h, c.eh) << c.w << "x" << c.h;
    }
    // Without powers of two or mip levels only the limits apply; square-only
    // devices take the width for both sides.
    caps.dpcTriCaps.dwTextureCaps = caps.dpcLineCaps.dwTextureCaps = 0;
    int w = 0, h = 0;
    E3D_TextureSize(300, 200, 0, false, caps, &w, &h);
    EXPECT_EQ(w * 1000 + h, 300200);
    caps.dpcTriCaps.dwTextureCaps = D3DPTEXTURECAPS_SQUAREONLY;
    E3D_TextureSize(300, 200, 0, false, caps, &w, &h);
    EXPECT_EQ(w * 1000 + h, 300300);
    // A device without limits still gets no side beyond 32768.
    caps.dpcTriCaps.dwTextureCaps = 0;
    caps.dwMaxTextureWidth = caps.dwMaxTextureHeight = 0;
    caps.dwMaxTextureAspectRatio = 0;
    E3D_TextureSize(1 << 30, 3, 0, false, caps, &w, &h);
    EXPECT_EQ(w, 32768);
    EXPECT_EQ(h, 3);
}

TEST_F(MaterialsTextures, SurfacesAreMadeWithAMipChainAndIdsCountUp) {
    screen->m_textureNumber = 20;
    CPatternTexture a(screen, "a");
    CPatternTexture b(screen, "b");
    EXPECT_EQ(a.m_textureId, 20u);
    EXPECT_EQ(b.m_textureId, 21u);
    EXPECT_EQ(screen->m_textureCount, 2);
    EXPECT_EQ(a.m_type, kE3DSurfaceTypeTexture);
    rec.ClearLog();
    ASSERT_TRUE(a.CreateSurfaces(256, 64, SSurfacePixelFormat::Rgb565()));
    EXPECT_EQ(rec.Count("CreateMipTexture 256x64 levels=6 bits=16"), 1);
    EXPECT_EQ(a.MipCount(), 6u);
    ASSERT_NE(a.Staging(), nullptr);
    EXPECT_EQ(a.Staging()->Width(), 256);
    EXPECT_EQ(a.m_width, 256);
    EXPECT_EQ(a.m_height, 64);
    // Filling halves the staging pixels down the chain.
    Paint(a, 3);
    ASSERT_TRUE(a.FillFromStaging());
    EXPECT_EQ(Pixels(a.StageSurface(0)), Pixels(a.Staging()));
    CSoftSurface* last = nullptr;
    ASSERT_EQ(screen->m_ddraw->GetMipLevel(a.StageSurface(0), 5, &last), D3D_OK);
    EXPECT_EQ(last->Width(), 8);
    EXPECT_EQ(last->Height(), 2);
    CStrBuf path;
    b.CachePath(path);
    EXPECT_EQ(std::string(path.GetText()), dir.Win() + "\\0_21.TexCache");
}

TEST_F(MaterialsTextures, ReloadingLoadsEveryTextureAndNamesIt) {
    CPatternTexture* a = new CPatternTexture(screen, "grass");
    CPatternTexture* b = new CPatternTexture(screen, nullptr);
    screen->ReloadTextures();
    EXPECT_EQ(a->loads, 1);
    EXPECT_EQ(b->loads, 1);
    EXPECT_EQ(g_steps, (std::vector<std::string>{"Unnamed texture", "grass"}));
    EXPECT_TRUE(screen->m_texturesReloaded);
}

TEST_F(MaterialsTextures, CacheGivesBackThePixelsAndPaletteOnlyToAMatchingTexture) {
    CPatternTexture t(screen, "t");
    t.m_stamp = 0x5EED;
    ASSERT_TRUE(t.CreateSurfaces(32, 16, SSurfacePixelFormat::Indexed8()));
    Paint(t, 1);
    uint8_t palette[256 * 4];
    for (int i = 0; i < 1024; ++i) palette[i] = uint8_t(i * 3);
    t.SetPalette(kE3DPaletteCaps8Bit, palette, 256);
    t.WriteCache();
    const std::vector<uint8_t> painted = Pixels(t.Staging());

    // The file is exactly what the writer makes of the same parts.
    SDDSurfaceDesc d;
    t.Staging()->GetSurfaceDesc(&d);
    STexCacheForm form;
    form.stamp = 0x5EED;
    form.desc = d;
    form.pixels = painted.data();
    form.paletteCaps = kE3DPaletteCaps8Bit;
    form.palette = palette;
    std::vector<uint8_t> written;
    TexCache_Write(written, form);
    const std::string onDisk = dir.Read("0_" + std::to_string(t.m_textureId) + ".TexCache");
    EXPECT_EQ(std::string(written.begin(), written.end()), onDisk);

    Paint(t, 99);
    t.SetPalette(0, nullptr, 0);
    ASSERT_TRUE(t.ReadCache());
    EXPECT_EQ(Pixels(t.Staging()), painted);
    EXPECT_EQ(t.m_paletteCaps, kE3DPaletteCaps8Bit);
    EXPECT_EQ(std::memcmp(t.m_palette, palette, sizeof palette), 0);

    t.m_stamp = 0x5EEE;  // another stamp: the owner must decode again
    EXPECT_FALSE(t.ReadCache());
    t.m_stamp = 0x5EED;
    ASSERT_TRUE(t.CreateSurfaces(32, 16, SSurfacePixelFormat::Xrgb8888()));  // a 32-bit display now
    EXPECT_FALSE(t.ReadCache());
}

TEST_F(MaterialsTextures, CutOrLyingCacheFilesAreRefused) {
    CPatternTexture t(screen, "t");
    t.m_stamp = 7;
    ASSERT_TRUE(t.CreateSurfaces(16, 8, SSurfacePixelFormat::Rgb565()));
    SDDSurfaceDesc d;
    t.Staging()->GetSurfaceDesc(&d);
    std::vector<uint8_t> pixels(size_t(d.pitch) * d.height, 0x5A);
    STexCacheForm form;
    form.stamp = 7;
    form.desc = d;
    form.pixels = pixels.data();
    std::vector<uint8_t> good;
    TexCache_Write(good, form);
    const std::string name = "0_" + std::to_string(t.m_textureId) + ".TexCache";
    auto refused = [&](const std::vector<uint8_t>& bytes) {
        dir.Write(name, std::string(bytes.begin(), bytes.end()));
        return !t.ReadCache();
    };
    EXPECT_FALSE(refused(good));
    for (size_t cut : {size_t(0), size_t(3), size_t(100), good.size() - 5, good.size() - 1})
        EXPECT_TRUE(refused(std::vector<uint8_t>(good.begin(), good.begin() + long(cut)))) << cut;
    std::vector<uint8_t> bad = good;
    bad[4 + 16] ^= 4;  // another pitch
    EXPECT_TRUE(refused(bad));
    bad = good;
    bad.back() = 2;  // a palette byte that is neither 0 nor 1
    EXPECT_TRUE(refused(bad));
    form.paletteCaps = 0x8000;  // no known palette size
    bad.clear();
    TexCache_Write(bad, form);
    bad.back() = 1;
    const uint32_t caps = 0x8000;
    bad.insert(bad.end(), reinterpret_cast<const uint8_t*>(&caps),
               reinterpret_cast<const uint8_t*>(&caps) + 4);
    EXPECT_TRUE(refused(bad));
}

TEST_F(MaterialsTextures, SeparateTextureMemoriesGiveStageOneATwin) {
    screen->m_currentDevice->m_workingCaps.dwDevCaps |= D3DDEVCAPS_SEPARATETEXTUREMEMORIES;
    CPatternTexture* t = new CPatternTexture(screen, "twin");
    ASSERT_NE(t->m_twin, nullptr);
    rec.ClearLog();
    ASSERT_TRUE(t->CreateSurfaces(64, 64, SSurfacePixelFormat::Rgb565()));
    EXPECT_EQ(rec.Count("CreateMipTexture 64x64"), 2);
    EXPECT_NE(t->StageSurface(1), nullptr);
    EXPECT_NE(t->StageSurface(1), t->StageSurface(0));
    EXPECT_EQ(t->StageSurface(2), t->StageSurface(0));
    // The screen's end deletes the texture (and with it its twin) once.
}
