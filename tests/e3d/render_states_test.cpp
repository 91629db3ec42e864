// A material's pass on a device that lacks what the pass asks for: each state
// is lowered to what the device reports (on the recording back end, whose
// capabilities a test chooses), and the OpenGL device reports what it really
// does, so the lowering reaches it.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "e3d/Camera.h"
#include "e3d/Device.h"
#include "e3d/Material.h"
#include "e3d/Screen.h"
#include "platform/d3d/Recorder.h"
#include "tests/support/GLDisplay.h"
#include "tests/support/RecordedScene.h"

namespace {

using SStates = std::vector<std::pair<uint32_t, uint32_t>>;

struct SLowering {
    const char* what;
    // What the device lacks (or has): its record as enumeration reports it.
    std::function<void(D3DDEVICEDESC7&)> device;
    // What the pass and the scene ask for.
    std::function<void(CE3DRenderStates&, CE3DTextureStage&, SE3DRenderParams&)> ask;
    SStates renderStates = {};  // as the device has them afterwards
    SStates stageStates = {};   // stage 0's
    bool lines = false;
};

// Changes a field of the triangle and the line caps.
std::function<void(D3DDEVICEDESC7&)> Prim(uint32_t D3DPRIMCAPS::*field, uint32_t clear, uint32_t set = 0) {
    return [=](D3DDEVICEDESC7& d) {
        for (D3DPRIMCAPS* p : {&d.dpcTriCaps, &d.dpcLineCaps}) p->*field = (p->*field & ~clear) | set;
    };
}
std::function<void(D3DDEVICEDESC7&)> Ops(uint32_t clear) {
    return [=](D3DDEVICEDESC7& d) { d.dwTextureOpCaps &= ~clear; };
}
const auto kAsIs = [](D3DDEVICEDESC7&) {};

class RenderStateLowering : public ::testing::Test, protected STestRecordedScene {
protected:
    void SetUp() override { Install(); }
    void TearDown() override { Close(); }
};

TEST_F(RenderStateLowering, EachStateFallsBackToWhatTheDeviceHas) {
    using RS = CE3DRenderStates;
    using TS = CE3DTextureStage;
    using RP = SE3DRenderParams;
    const uint32_t allFilters = D3DPTFILTERCAPS_MAGFANISOTROPIC | D3DPTFILTERCAPS_MINFANISOTROPIC |
                                D3DPTFILTERCAPS_MAGFGAUSSIANCUBIC | D3DPTFILTERCAPS_MAGFAFLATCUBIC;
    const SLowering cases[] = {
        // Shading: Gouraud to flat, and then the flat bits decide (the
        // standard device has no flat specular).
        {"gouraud kept",
         kAsIs,
         [](RS& r, TS&, RP&) { r.m_specular = 1; },
         {{D3DRENDERSTATE_SHADEMODE, D3DSHADE_GOURAUD}, {D3DRENDERSTATE_SPECULARENABLE, 1}}},
        {"gouraud to flat",
         Prim(&D3DPRIMCAPS::dwShadeCaps, D3DPSHADECAPS_COLORGOURAUDRGB),
         [](RS& r, TS&, RP&) { r.m_specular = 1; },
         {{D3DRENDERSTATE_SHADEMODE, D3DSHADE_FLAT}, {D3DRENDERSTATE_SPECULARENABLE, 0}}},
        {"phong to gouraud",
         kAsIs,
         [](RS& r, TS&, RP& p) {
             r.m_shadeMode = D3DSHADE_PHONG;
             p.maxShadeMode = D3DSHADE_PHONG;
         },
         {{D3DRENDERSTATE_SHADEMODE, D3DSHADE_GOURAUD}}},
        {"lines by the line caps",
         [](D3DDEVICEDESC7& d) {
             d.dpcLineCaps.dwShadeCaps &= ~(D3DPSHADECAPS_COLORGOURAUDRGB | D3DPSHADECAPS_FOGFLAT);
         },
         [](RS&, TS&, RP& p) { p.fogOn = true; },
         {{D3DRENDERSTATE_SHADEMODE, D3DSHADE_FLAT}, {D3DRENDERSTATE_FOGENABLE, 0}},
         {},
         true},
        // Fog in the shade mode chosen, range fog.
        {"fog",
         kAsIs,
         [](RS&, TS&, RP& p) { p.fogOn = p.rangeFogOn = true; },
         {{D3DRENDERSTATE_FOGENABLE, 1}, {D3DRENDERSTATE_RANGEFOGENABLE, 1}}},
        {"no gouraud fog",
         Prim(&D3DPRIMCAPS::dwShadeCaps, D3DPSHADECAPS_FOGGOURAUD),
         [](RS&, TS&, RP& p) { p.fogOn = true; },
         {{D3DRENDERSTATE_FOGENABLE, 0}}},
        {"no range fog",
         Prim(&D3DPRIMCAPS::dwRasterCaps, D3DPRASTERCAPS_FOGRANGE),
         [](RS&, TS&, RP& p) { p.fogOn = p.rangeFogOn = true; },
         {{D3DRENDERSTATE_FOGENABLE, 1}, {D3DRENDERSTATE_RANGEFOGENABLE, 0}}},
        // Anti-aliasing (the standard device has none) and dithering.
        {"no anti-aliasing",
         kAsIs,
         [](RS&, TS&, RP& p) { p.antialiasingOn = true; },
         {{D3DRENDERSTATE_ANTIALIAS, D3DANTIALIAS_NONE}, {D3DRENDERSTATE_DITHERENABLE, 1}}},
        {"anti-aliasing",
         Prim(&D3DPRIMCAPS::dwRasterCaps, 0, D3DPRASTERCAPS_ANTIALIASSORTINDEPENDENT),
         [](RS&, TS&, RP& p) { p.antialiasingOn = true; },
         {{D3DRENDERSTATE_ANTIALIAS, D3DANTIALIAS_SORTINDEPENDENT}}},
        {"no dithering",
         Prim(&D3DPRIMCAPS::dwRasterCaps, D3DPRASTERCAPS_DITHER),
         [](RS&, TS&, RP&) {},
         {{D3DRENDERSTATE_DITHERENABLE, 0}}},
        {"dithering off",
         kAsIs,
         [](RS&, TS&, RP& p) { p.ditherOn = false; },
         {{D3DRENDERSTATE_DITHERENABLE, 0}}},
        // Blending, then stippled alpha, then neither.
        {"blending",
         kAsIs,
         [](RS& r, TS&, RP&) { r.m_alphaBlend = 1; },
         {{D3DRENDERSTATE_ALPHABLENDENABLE, 1}, {D3DRENDERSTATE_STIPPLEDALPHA, 0}}},
        {"stippled alpha",
         Prim(&D3DPRIMCAPS::dwShadeCaps, D3DPSHADECAPS_ALPHAGOURAUDBLEND, D3DPSHADECAPS_ALPHAGOURAUDSTIPPLED),
         [](RS& r, TS&, RP&) { r.m_alphaBlend = 1; },
         {{D3DRENDERSTATE_ALPHABLENDENABLE, 1}, {D3DRENDERSTATE_STIPPLEDALPHA, 1}}},
        {"stippled alpha off",
         Prim(&D3DPRIMCAPS::dwShadeCaps, D3DPSHADECAPS_ALPHAGOURAUDBLEND, D3DPSHADECAPS_ALPHAGOURAUDSTIPPLED),
         [](RS& r, TS&, RP& p) {
             r.m_alphaBlend = 1;
             p.stippledAlphaOn = false;
         },
         {{D3DRENDERSTATE_ALPHABLENDENABLE, 0}, {D3DRENDERSTATE_STIPPLEDALPHA, 0}}},
        // Alpha testing by the block's own function.
        {"alpha test",
         kAsIs,
         [](RS& r, TS&, RP&) {
             r.m_alphaTest = 1;
             r.m_alphaFunc = D3DCMP_GREATER;
             r.m_alphaRef = 7;
         },
         {{D3DRENDERSTATE_ALPHATESTENABLE, 1},
          {D3DRENDERSTATE_ALPHAFUNC, D3DCMP_GREATER},
          {D3DRENDERSTATE_ALPHAREF, 7}}},
        {"alpha test without that comparison",
         Prim(&D3DPRIMCAPS::dwAlphaCmpCaps, D3D_CompareCap(D3DCMP_GREATER)),
         [](RS& r, TS&, RP&) {
             r.m_alphaTest = 1;
             r.m_alphaFunc = D3DCMP_GREATER;
         },
         {{D3DRENDERSTATE_ALPHATESTENABLE, 0}}},
        {"alpha test that only never and always",
         Prim(&D3DPRIMCAPS::dwAlphaCmpCaps, 0xff,
              D3D_CompareCap(D3DCMP_NEVER) | D3D_CompareCap(D3DCMP_ALWAYS)),
         [](RS& r, TS&, RP&) {
             r.m_alphaTest = 1;
             r.m_alphaFunc = D3DCMP_ALWAYS;
         },
         {{D3DRENDERSTATE_ALPHATESTENABLE, 0}}},
        // The texture operations' chains.
        {"modulate 4x to modulate",
         Ops(D3D_TextureOpCap(D3DTOP_MODULATE4X) | D3D_TextureOpCap(D3DTOP_MODULATE2X)),
         [](RS&, TS& t, RP&) {
             t.m_colorOp = D3DTOP_MODULATE4X;
             t.m_alphaOp = D3DTOP_ADDSMOOTH;
         },
         {},
         {{D3DTSS_COLOROP, D3DTOP_MODULATE}, {D3DTSS_ALPHAOP, D3DTOP_ADDSMOOTH}}},
        {"modulate to the first argument, add smooth to add",
         Ops(D3D_TextureOpCap(D3DTOP_MODULATE4X) | D3D_TextureOpCap(D3DTOP_MODULATE2X) |
             D3D_TextureOpCap(D3DTOP_MODULATE) | D3D_TextureOpCap(D3DTOP_ADDSMOOTH)),
         [](RS&, TS& t, RP&) {
             t.m_colorOp = D3DTOP_MODULATE4X;
             t.m_alphaOp = D3DTOP_ADDSMOOTH;
         },
         {},
         {{D3DTSS_COLOROP, D3DTOP_SELECTARG1}, {D3DTSS_ALPHAOP, D3DTOP_ADD}}},
        {"nothing left: disabled",
         Ops(~D3D_TextureOpCap(D3DTOP_DISABLE)),
         [](RS&, TS& t, RP&) { t.m_colorOp = D3DTOP_BLENDTEXTUREALPHAPM; },
         {},
         {{D3DTSS_COLOROP, D3DTOP_DISABLE}}},
        // Address modes.
        {"border",
         kAsIs,
         [](RS&, TS& t, RP&) { t.m_addressU = t.m_addressV = D3DTADDRESS_BORDER; },
         {},
         {{D3DTSS_ADDRESSU, D3DTADDRESS_BORDER}, {D3DTSS_BORDERCOLOR, 0x0FFFFFFF}}},
        {"border to clamp, mirror to wrap",
         Prim(&D3DPRIMCAPS::dwTextureAddressCaps, D3DPTADDRESSCAPS_BORDER | D3DPTADDRESSCAPS_MIRROR),
         [](RS&, TS& t, RP&) {
             t.m_addressU = D3DTADDRESS_BORDER;
             t.m_addressV = D3DTADDRESS_MIRROR;
         },
         {},
         {{D3DTSS_ADDRESSU, D3DTADDRESS_CLAMP},
          {D3DTSS_ADDRESSV, D3DTADDRESS_WRAP},
          {D3DTSS_BORDERCOLOR, 0}}},
        {"u and v together",
         Prim(&D3DPRIMCAPS::dwTextureAddressCaps, D3DPTADDRESSCAPS_INDEPENDENTUV),
         [](RS&, TS& t, RP&) {
             t.m_addressU = D3DTADDRESS_CLAMP;
             t.m_addressV = D3DTADDRESS_MIRROR;
         },
         {},
         {{D3DTSS_ADDRESSU, D3DTADDRESS_CLAMP}, {D3DTSS_ADDRESSV, D3DTADDRESS_CLAMP}}},
        // Filters: the scene's limits, then the device's.
        {"anisotropic to linear",
         kAsIs,
         [](RS&, TS&, RP&) {},  // the stage asks anisotropic by default
         {},
         {{D3DTSS_MAGFILTER, D3DTFG_LINEAR},
          {D3DTSS_MINFILTER, D3DTFN_LINEAR},
          {D3DTSS_MIPFILTER, D3DTFP_LINEAR}}},
        {"anisotropic kept",
         Prim(&D3DPRIMCAPS::dwTextureFilterCaps, 0, allFilters),
         [](RS&, TS&, RP&) {},
         {},
         {{D3DTSS_MAGFILTER, D3DTFG_ANISOTROPIC}, {D3DTSS_MINFILTER, D3DTFN_ANISOTROPIC}}},
        {"the scene's filter limits",
         Prim(&D3DPRIMCAPS::dwTextureFilterCaps, 0, allFilters),
         [](RS&, TS&, RP& p) {
             p.maxMagFilter = D3DTFG_LINEAR;
             p.maxMinFilter = D3DTFN_POINT;
             p.maxMipFilter = 1;  // counted from 0: point
         },
         {},
         {{D3DTSS_MAGFILTER, D3DTFG_LINEAR},
          {D3DTSS_MINFILTER, D3DTFN_POINT},
          {D3DTSS_MIPFILTER, D3DTFP_POINT}}},
        {"cubic to linear to point",
         Prim(&D3DPRIMCAPS::dwTextureFilterCaps,
              D3DPTFILTERCAPS_MINFLINEAR | D3DPTFILTERCAPS_MIPFLINEAR | D3DPTFILTERCAPS_MIPFPOINT,
              D3DPTFILTERCAPS_MAGFAFLATCUBIC),
         [](RS&, TS& t, RP&) { t.m_magFilter = D3DTFG_GAUSSIANCUBIC; },
         {},
         {{D3DTSS_MAGFILTER, D3DTFG_LINEAR},
          {D3DTSS_MINFILTER, D3DTFN_POINT},
          {D3DTSS_MIPFILTER, D3DTFP_NONE}}},
        // A coordinate set beyond the device's.
        {"coordinate sets",
         [](D3DDEVICEDESC7& d) { d.dwFVFCaps = 2; },
         [](RS&, TS& t, RP&) { t.m_texCoordIndex = 2; },
         {},
         {{D3DTSS_TEXCOORDINDEX, 1}}},
    };
    const std::vector<SD3DDeviceRecord> standard = rec.devices;
    for (const SLowering& c : cases) {
        SCOPED_TRACE(c.what);
        rec.devices = standard;
        for (SD3DDeviceRecord& d : rec.devices) c.device(d.desc);
        Open();
        // The screen deletes its materials with it.
        CE3DMaterial& material = *new CE3DMaterial(screen, "lowered");
        CE3DMaterialPass* pass = material.Passes(1);
        ASSERT_NE(pass, nullptr);
        c.ask(*pass->m_states, *pass->m_stages[0], camera->m_params);
        CE3DDevice* device = screen->m_currentDevice;
        SE3DPassLimits limits;
        camera->PassLimits(device, &limits);
        limits.lines = c.lines;
        pass->Apply(device, limits);
        for (const auto& [state, value] : c.renderStates) {
            uint32_t now = ~0u;
            device->m_device->GetRenderState(state, &now);
            EXPECT_EQ(now, value) << "render state " << state;
        }
        for (const auto& [state, value] : c.stageStates) {
            uint32_t now = ~0u;
            device->m_device->GetTextureStageState(0, state, &now);
            EXPECT_EQ(now, value) << "stage state " << state;
        }
        Close();
        Install();
    }
}

// The OpenGL device says what it cannot do, so that a pass asking for it is
// lowered before it reaches the device.
class GLLowering : public ::testing::Test {
protected:
    static void SetUpTestSuite() { s_gl.Open(64, 64); }
    static void TearDownTestSuite() { s_gl.Close(); }
    static STestGLScreen s_gl;
};
STestGLScreen GLLowering::s_gl;

TEST_F(GLLowering, TheDeviceReportsItsOwnCapabilities) {
    if (!s_gl.screen) TEST_END_WITHOUT_GL();
    CE3DDevice* device = s_gl.screen->m_currentDevice;
    ASSERT_NE(device, nullptr);
    D3DDEVICEDESC7 caps{};
    ASSERT_EQ(device->m_device->GetCaps(&caps), D3D_OK);
    const D3DPRIMCAPS& tri = caps.dpcTriCaps;
    // What it does not do.
    EXPECT_EQ(tri.dwShadeCaps & (D3DPSHADECAPS_ALPHAFLATSTIPPLED | D3DPSHADECAPS_ALPHAGOURAUDSTIPPLED |
                                 D3DPSHADECAPS_COLORPHONGRGB),
              0u);
    EXPECT_EQ(tri.dwRasterCaps & (D3DPRASTERCAPS_ANTIALIASSORTINDEPENDENT | D3DPRASTERCAPS_STIPPLE), 0u);
    EXPECT_EQ(tri.dwTextureFilterCaps & (D3DPTFILTERCAPS_MAGFANISOTROPIC | D3DPTFILTERCAPS_MINFANISOTROPIC |
                                         D3DPTFILTERCAPS_MAGFGAUSSIANCUBIC),
              0u);
    EXPECT_EQ(
        caps.dwTextureOpCaps & (D3D_TextureOpCap(D3DTOP_PREMODULATE) | D3D_TextureOpCap(D3DTOP_BUMPENVMAP)),
        0u);
    // What it does.
    EXPECT_NE(tri.dwShadeCaps & D3DPSHADECAPS_COLORFLATRGB, 0u);
    EXPECT_NE(tri.dwShadeCaps & D3DPSHADECAPS_SPECULARFLATRGB, 0u);
    EXPECT_NE(tri.dwRasterCaps & D3DPRASTERCAPS_FOGRANGE, 0u);
    EXPECT_NE(tri.dwRasterCaps & D3DPRASTERCAPS_DITHER, 0u);
    EXPECT_NE(caps.dwTextureOpCaps & D3D_TextureOpCap(D3DTOP_DOTPRODUCT3), 0u);
    EXPECT_EQ(caps.dwFVFCaps & kD3DFVFCapsTexCoordMask, 3u);
    EXPECT_GE(caps.dwMaxTextureWidth, 1024u);  // as OpenGL says (at least 1024 by its rules)

    // A pass asking for what it lacks reaches it lowered.
    CE3DMaterial material(s_gl.screen, "lowered on GL");
    CE3DMaterialPass* pass = material.Passes(1);
    pass->m_states->m_alphaBlend = 1;
    pass->m_stages[0]->m_colorOp = D3DTOP_PREMODULATE;
    SE3DPassLimits limits;
    limits.antialiasing = true;
    pass->Apply(device, limits);
    uint32_t value = 0;
    const SStates wanted = {{D3DRENDERSTATE_ANTIALIAS, D3DANTIALIAS_NONE},
                            {D3DRENDERSTATE_ALPHABLENDENABLE, 1},
                            {D3DRENDERSTATE_STIPPLEDALPHA, 0},
                            {D3DRENDERSTATE_DITHERENABLE, 1}};
    for (const auto& [state, v] : wanted) {
        device->m_device->GetRenderState(state, &value);
        EXPECT_EQ(value, v) << "render state " << state;
    }
    device->m_device->GetTextureStageState(0, D3DTSS_COLOROP, &value);
    EXPECT_EQ(value, uint32_t(D3DTOP_SELECTARG1));
    device->m_device->GetTextureStageState(0, D3DTSS_MAGFILTER, &value);
    EXPECT_EQ(value, uint32_t(D3DTFG_LINEAR));
}

}  // namespace
