// The screen's mode ladders, device activation and presentation, call by call
// on the recording back end.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "e3d/E3D.h"
#include "e3d/Surface.h"
#include "platform/d3d/Recorder.h"

namespace {

struct SHookCounts {
    int pushes = 0, pops = 0, fatal = 0;
};
SHookCounts g_hooks;

class ScreenModes : public ::testing::Test {
protected:
    void SetUp() override {
        g_hooks = SHookCounts();
        SE3DGameHooks h;
        h.progressPush = [](const char*, int) { ++g_hooks.pushes; };
        h.progressPop = [] { ++g_hooks.pops; };
        h.fatalExit = [] { ++g_hooks.fatal; };
        E3D_SetGameHooks(h);
        DDraw_SetFactory(&rec);
    }
    void TearDown() override {
        delete engine;
        DDraw_SetFactory(nullptr);
        E3D_SetGameHooks(SE3DGameHooks());
    }
    CE3DScreen* Open() {
        engine = new CE3DEngine;
        if (engine->m_driverCount < 1) return nullptr;
        screen = new CE3DScreen(engine, engine->m_drivers[0]);
        return screen;
    }
    std::string DeviceName() const {
        return screen->m_currentDevice ? screen->m_currentDevice->m_name : "none";
    }
    bool BackInSystemMemory() const { return screen->m_backBuffer->m_inSystemMemory; }

    CD3DRecorder rec;
    CE3DEngine* engine = nullptr;
    CE3DScreen* screen = nullptr;
};

TEST_F(ScreenModes, WindowedModeTakesVideoMemoryAndTheBestHardwareDevice) {
    ASSERT_NE(Open(), nullptr);
    ASSERT_TRUE(screen->SetWindowedMode(engine->m_drivers[0], nullptr, 800, 600, true));
    EXPECT_EQ(DeviceName(), "Direct3D T&L HAL");
    EXPECT_TRUE(screen->m_windowed);
    EXPECT_EQ(screen->m_width, 800);
    EXPECT_EQ(screen->m_backBuffer->m_width, 800);
    EXPECT_FALSE(BackInSystemMemory());
    EXPECT_GE(rec.Find("CreateSurface backbuffer video 800x600"), 0);
    // The Z-buffer of a hardware device lives in video memory and is attached.
    int z = rec.Find("CreateSurface zbuffer video 800x600");
    ASSERT_GE(z, 0);
    EXPECT_GT(rec.Find("AddAttachedSurface", z), z);
    EXPECT_GT(rec.Find("CreateDevice TESSD3D-TNLHAL", z), z);
    EXPECT_EQ(g_hooks.pushes, 1);  // reloaded once
    EXPECT_FALSE(g_E3DScreenRestyling);

    // Software wanted: the emulation device.
    ASSERT_TRUE(
        screen->SetFullscreenMode(engine->m_drivers[0], nullptr, CD3DRecorder::Mode(640, 480, 32), false));
    EXPECT_EQ(DeviceName(), "RGB Emulation");
}

TEST_F(ScreenModes, UnavailableSizeFallsBackTo640x480) {
    ASSERT_NE(Open(), nullptr);
    rec.Fail("CreateSurface backbuffer video 1600x1200", DDERR_TOOBIGSIZE, 5);
    ASSERT_TRUE(screen->SetWindowedMode(engine->m_drivers[0], nullptr, 1600, 1200, true));
    EXPECT_EQ(screen->m_width, 640);
    EXPECT_EQ(screen->m_height, 480);
    EXPECT_EQ(screen->m_backBuffer->m_width, 640);
    EXPECT_EQ(DeviceName(), "Direct3D T&L HAL");
}

TEST_F(ScreenModes, ShortVideoMemoryEndsInSystemMemoryWithSoftwareDevice) {
    ASSERT_NE(Open(), nullptr);
    rec.videoMemory = 100 * 1024;  // not even a 640x480 back buffer
    ASSERT_TRUE(screen->SetWindowedMode(engine->m_drivers[0], nullptr, 800, 600, true));
    EXPECT_TRUE(BackInSystemMemory());
    EXPECT_EQ(screen->m_width, 800);
    EXPECT_EQ(DeviceName(), "RGB Emulation");
    // The hardware device was tried first: its Z-buffer would not fit.
    int hw = rec.Find("CreateSurface zbuffer video 800x600");
    ASSERT_GE(hw, 0);
    EXPECT_GT(rec.Find("CreateSurface zbuffer system 800x600", hw), hw);
}

TEST_F(ScreenModes, FailedHardwareActivationFallsBackToSoftware) {
    ASSERT_NE(Open(), nullptr);
    rec.Fail("CreateDevice TESSD3D-TNLHAL", D3DERR_INITFAILED);
    ASSERT_TRUE(screen->SetWindowedMode(engine->m_drivers[0], nullptr, 800, 600, true));
    EXPECT_EQ(DeviceName(), "RGB Emulation");
    EXPECT_FALSE(BackInSystemMemory());
}

TEST_F(ScreenModes, LastFallbackReleasesFirstAndSucceeds) {
    ASSERT_NE(Open(), nullptr);
    // Every device fails in video memory; in system memory at the asked size
    // the software device fails once more; 640 x 480 in system memory is left.
    rec.Fail("CreateDevice", D3DERR_INITFAILED, 3);
    ASSERT_TRUE(screen->SetWindowedMode(engine->m_drivers[0], nullptr, 800, 600, true));
    EXPECT_EQ(DeviceName(), "RGB Emulation");
    EXPECT_TRUE(BackInSystemMemory());
    EXPECT_EQ(screen->m_width, 640);
    EXPECT_EQ(rec.Count("CreateSurface primary -> FAIL"), 0);
}

TEST_F(ScreenModes, NoDeviceOfTheWantedKindFailsWithoutSoftware) {
    rec.devices.erase(rec.devices.begin() + 1, rec.devices.end());  // software only
    ASSERT_NE(Open(), nullptr);
    EXPECT_FALSE(screen->SetWindowedMode(engine->m_drivers[0], nullptr, 800, 600, true));
    EXPECT_EQ(rec.Count("CreateDevice"), 0);
    rec.ClearLog();
    EXPECT_FALSE(
        screen->SetFullscreenMode(engine->m_drivers[0], nullptr, CD3DRecorder::Mode(800, 600, 32), true));
    EXPECT_EQ(rec.Count("CreateDevice"), 0);
    EXPECT_FALSE(g_E3DScreenRestyling);
}

TEST_F(ScreenModes, BadRequestsAnswerFalse) {
    ASSERT_NE(Open(), nullptr);
    EXPECT_FALSE(screen->SetWindowedMode(engine->m_drivers[0], nullptr, 0, 600, true));
    EXPECT_FALSE(screen->SetWindowedMode(engine->m_drivers[0], nullptr, 800, -1, true));
    // A mode the display does not offer.
    EXPECT_FALSE(
        screen->SetFullscreenMode(engine->m_drivers[0], nullptr, CD3DRecorder::Mode(99999, 600, 32), true));
    EXPECT_FALSE(
        screen->SetFullscreenMode(engine->m_drivers[0], nullptr, CD3DRecorder::Mode(0, 0, 32), true));
    EXPECT_EQ(g_hooks.pushes, 0);
    // The screen still works afterwards.
    EXPECT_TRUE(screen->SetWindowedMode(engine->m_drivers[0], nullptr, 640, 480, true));
}

TEST_F(ScreenModes, ResizeOnSameDriverOnlyRecreatesBackAndZBuffer) {
    ASSERT_NE(Open(), nullptr);
    ASSERT_TRUE(screen->SetWindowedMode(engine->m_drivers[0], nullptr, 640, 480, true));
    CE3DDevice* device = screen->m_currentDevice;
    rec.ClearLog();
    ASSERT_TRUE(screen->SetWindowedMode(engine->m_drivers[0], nullptr, 800, 600, true));
    EXPECT_EQ(screen->m_currentDevice, device);
    EXPECT_EQ(screen->m_width, 800);
    EXPECT_EQ(g_hooks.pushes, 1);  // no reload for a resize
    EXPECT_EQ(rec.Count("CreateDevice"), 0);
    EXPECT_EQ(rec.Count("CreateSurface primary"), 0);
    EXPECT_GE(rec.Find("CreateSurface backbuffer video 800x600"), 0);
    EXPECT_GE(rec.Find("CreateSurface zbuffer video 800x600"), 0);
    EXPECT_GE(rec.Find("SetRenderTarget backbuffer"), 0);
}

TEST_F(ScreenModes, ModeChangeToFullScreenRecreatesEverythingOnce) {
    ASSERT_NE(Open(), nullptr);
    ASSERT_TRUE(screen->SetWindowedMode(engine->m_drivers[0], nullptr, 640, 480, true));
    int devices = screen->m_deviceCount;
    rec.ClearLog();
    ASSERT_TRUE(
        screen->SetFullscreenMode(engine->m_drivers[0], nullptr, CD3DRecorder::Mode(800, 600, 16), true));
    EXPECT_FALSE(screen->m_windowed);
    EXPECT_EQ(screen->m_width, 800);
    EXPECT_EQ(screen->m_backBuffer->m_desc.pixelFormat.bitCount, 16u);
    EXPECT_GE(rec.Find("SetDisplayMode 800x600x16"), 0);
    EXPECT_GE(rec.Find("GetAttachedSurface primary"), 0);
    EXPECT_GE(rec.Find("CreateDevice"), 0);
    EXPECT_EQ(screen->m_deviceCount, devices);  // not enumerated again
    // Back to a window: the flipping chain goes and a plain back buffer comes.
    ASSERT_TRUE(screen->SetWindowedMode(engine->m_drivers[0], nullptr, 640, 480, true));
    EXPECT_TRUE(screen->m_windowed);
    EXPECT_EQ(screen->m_backBuffer->m_desc.pixelFormat.bitCount, 32u);
}

TEST_F(ScreenModes, PresentBlitsWindowedAndFlipsFullScreenAndNotesLostSurfaces) {
    ASSERT_NE(Open(), nullptr);
    ASSERT_TRUE(
        screen->SetFullscreenMode(engine->m_drivers[0], nullptr, CD3DRecorder::Mode(640, 480, 32), true));
    int x = -1, y = -1;
    screen->Present(&x, &y);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);
    EXPECT_EQ(rec.Count("Flip"), 1);
    EXPECT_FALSE(screen->m_surfacesLost);
    rec.Fail("Flip", DDERR_SURFACELOST);
    screen->m_backBuffer->m_surface->SetLost(true);
    screen->Present();
    EXPECT_TRUE(screen->m_surfacesLost);
    EXPECT_EQ(screen->m_backBuffer->m_surface->IsLost(), DD_OK);  // restored
}

TEST_F(ScreenModes, DeviceStateCacheIsReadAtActivationAndSkipsEqualValues) {
    ASSERT_NE(Open(), nullptr);
    rec.ClearLog();
    ASSERT_TRUE(screen->SetWindowedMode(engine->m_drivers[0], nullptr, 640, 480, true));
    // Read once at activation: 42 has no slot and 48 is not read.
    EXPECT_EQ(rec.Count("GetRenderState 42"), 0);
    EXPECT_EQ(rec.Count("GetRenderState 48"), 0);
    EXPECT_EQ(rec.Count("GetRenderState 27"), 1);
    EXPECT_EQ(rec.Count("GetTextureStageState 7 23"), 1);
    EXPECT_EQ(rec.Count("GetTexture "), 8);
    CE3DDevice* d = screen->m_currentDevice;
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(*d->m_cache.RenderState(D3DRENDERSTATE_CULLMODE), uint32_t(D3DCULL_CCW));
    EXPECT_EQ(*d->m_cache.RenderState(D3DRENDERSTATE_TEXTUREMAPBLEND), 2u);  // modulate, like stage 0
    EXPECT_EQ(d->m_cache.stages[0].tss[D3DTSS_COLOROP - 1], uint32_t(D3DTOP_MODULATE));
    EXPECT_EQ(d->m_cache.stages[1].tss[D3DTSS_COLOROP - 1], uint32_t(D3DTOP_DISABLE));

    rec.ClearLog();
    struct SCase {
        bool (*call)(CE3DDevice*);
        const char* line;
        int expected;
    } cases[] = {
        {[](CE3DDevice* dv) { return dv->SetRenderState(D3DRENDERSTATE_ZENABLE, 1); }, "SetRenderState 7 ",
         0},
        {[](CE3DDevice* dv) { return dv->SetRenderState(D3DRENDERSTATE_ALPHABLENDENABLE, 1); },
         "SetRenderState 27 ", 1},
        {[](CE3DDevice* dv) { return dv->SetRenderState(D3DRENDERSTATE_ALPHABLENDENABLE, 1); },
         "SetRenderState 27 ", 1},
        {[](CE3DDevice* dv) { return dv->SetRenderState(D3DRENDERSTATE_LIGHTING, 1); }, "SetRenderState 137 ",
         1},
        {[](CE3DDevice* dv) { return dv->SetRenderState(D3DRENDERSTATE_LIGHTING, 1); }, "SetRenderState 137 ",
         2},
        {[](CE3DDevice* dv) { return dv->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE); },
         "SetTextureStageState 0 1 ", 0},
        {[](CE3DDevice* dv) { return dv->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_ADD); },
         "SetTextureStageState 1 1 ", 1},
        {[](CE3DDevice* dv) { return dv->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_ADD); },
         "SetTextureStageState 1 1 ", 1},
        {[](CE3DDevice* dv) { return dv->SetTexture(0, nullptr); }, "SetTexture 0", 0},
    };
    for (const SCase& c : cases) {
        EXPECT_TRUE(c.call(d)) << c.line;
        EXPECT_EQ(rec.Count(c.line), c.expected) << c.line;
    }
    // Unknown states, stages and lights are refused, not crashes.
    EXPECT_FALSE(d->SetRenderState(9999, 1));
    EXPECT_FALSE(d->SetRenderState(0, 1));
    EXPECT_FALSE(d->SetTextureStageState(8, D3DTSS_COLOROP, 1));
    EXPECT_FALSE(d->SetTextureStageState(0, 99, 1));
    EXPECT_FALSE(d->SetTexture(8, nullptr));
    D3DLIGHT7 light{};
    light.dltType = D3DLIGHT_POINT;
    light.dvRange = 10.0f;
    EXPECT_EQ(d->m_device->SetLight(8, light), DDERR_INVALIDPARAMS);
    EXPECT_EQ(d->m_device->LightEnable(12, true), DDERR_INVALIDPARAMS);
    EXPECT_EQ(d->m_device->SetLight(0, light), D3D_OK);
}

TEST_F(ScreenModes, SphereVisibilityGivesClipStatusBits) {
    ASSERT_NE(Open(), nullptr);
    ASSERT_TRUE(screen->SetWindowedMode(engine->m_drivers[0], nullptr, 640, 480, true));
    ID3DDevice* d = screen->m_currentDevice->m_device;
    // A 90 degree view from the origin along +z, near 1, far 100.
    D3DMATRIX p;
    memset(&p, 0, sizeof p);
    p.m[0][0] = p.m[1][1] = 1.0f;
    p.m[2][2] = 100.0f / 99.0f;
    p.m[2][3] = 1.0f;
    p.m[3][2] = -100.0f / 99.0f;
    ASSERT_EQ(d->SetTransform(D3DTRANSFORMSTATE_PROJECTION, p), D3D_OK);
    D3DVECTOR c[] = {{0, 0, 10}, {-30, 0, 10}, {10, 0, 10}, {0, 0, -5}, {0, 0, 150}, {0, 40, 10}};
    float r[] = {1, 1, 1, 1, 10, 1};
    uint32_t res[6] = {};
    ASSERT_EQ(d->ComputeSphereVisibility(c, r, 6, 0, res), D3D_OK);
    EXPECT_EQ(res[0], 0u);                                   // inside
    EXPECT_NE(res[1] & D3DSTATUS_CLIPINTERSECTIONLEFT, 0u);  // wholly left
    EXPECT_EQ(res[2] & 0xfff000u, 0u);                       // straddles the right side
    EXPECT_NE(res[2] & D3DSTATUS_CLIPUNIONRIGHT, 0u);
    EXPECT_NE(res[3] & D3DSTATUS_CLIPINTERSECTIONFRONT, 0u);  // behind the viewer
    EXPECT_NE(res[4] & D3DSTATUS_CLIPINTERSECTIONBACK, 0u);   // beyond the far plane
    EXPECT_NE(res[5] & D3DSTATUS_CLIPINTERSECTIONTOP, 0u);    // above
    EXPECT_EQ(d->ComputeSphereVisibility(nullptr, r, 1, 0, res), DDERR_INVALIDPARAMS);
}

TEST_F(ScreenModes, DestroyingDevicesKeepsTheListConsistent) {
    std::vector<std::string> traces;
    E3D_SetTraceSink(
        [](const char* m, const char*, void* u) { static_cast<std::vector<std::string>*>(u)->push_back(m); },
        &traces);
    ASSERT_NE(Open(), nullptr);
    ASSERT_TRUE(screen->SetWindowedMode(engine->m_drivers[0], nullptr, 640, 480, true));
    ASSERT_EQ(screen->m_deviceCount, 3);
    delete screen->m_devices[1];
    EXPECT_EQ(screen->m_deviceCount, 2);
    // A device the screen does not list is reported, and nothing ends.
    SD3DDeviceRecord r;
    CE3DDevice* stray = new CE3DDevice(nullptr, r);
    stray->m_screen = screen;
    delete stray;
    EXPECT_EQ(screen->m_deviceCount, 2);
    EXPECT_FALSE(traces.empty());
    E3D_SetTraceSink(nullptr, nullptr);
}

}  // namespace
