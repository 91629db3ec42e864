// The engine root, its nodes, the frame timer and the viewport, on the
// recording back end.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "e3d/E3D.h"
#include "e3d/Surface.h"
#include "platform/d3d/Recorder.h"
#include "platform/sys/Clock.h"

namespace {

class CTemplate : public CE3DNode {
public:
    CTemplate(CE3DEngine* e, const char* name, uint32_t id) : CE3DNode(e), m_name(name), m_id(id) {
        m_nodeType = kE3DNodeEmitterTemplate;
    }
    const char* TemplateName() const override { return m_name; }
    uint32_t TemplateId() const override { return m_id; }
    const char* m_name;
    uint32_t m_id;
};

class CNamedShape : public CE3DNode {
public:
    CNamedShape(CE3DEngine* e, const char* name) : CE3DNode(e), m_name(name) { m_nodeType = kE3DNodeShape; }
    const char* TemplateName() const override { return m_name; }
    const char* m_name;
};

struct STraces {
    std::vector<std::pair<std::string, std::string>> lines;
};
void Collect(const char* m, const char* c, void* u) {
    static_cast<STraces*>(u)->lines.emplace_back(m, c);
}

TEST(Engine, ListsDriversPerPassWithTheirOwnModes) {
    CD3DRecorder rec;
    CD3DRecorder::SDriver second;
    second.pass = DDENUM_ATTACHEDSECONDARYDEVICES;
    second.record.hasGuid = true;
    memcpy(second.record.guid.bytes, "SECONDDISPLAY...", 16);
    strcpy(second.record.description, "Second");
    strcpy(second.record.name, "display2");
    second.modes.push_back(CD3DRecorder::Mode(1280, 1024, 32));
    rec.drivers.push_back(second);
    CD3DRecorder::SDriver broken = second;
    broken.pass = DDENUM_DETACHEDSECONDARYDEVICES;
    memcpy(broken.record.guid.bytes, "BROKENDISPLAY...", 16);
    broken.canCreate = false;
    rec.drivers.push_back(broken);
    DDraw_SetFactory(&rec);
    CE3DEngine engine;
    ASSERT_EQ(engine.m_driverCount, 3);
    EXPECT_EQ(engine.m_drivers[0]->primary, 1);
    EXPECT_STREQ(engine.m_drivers[0]->description, "Primary Display Driver");
    EXPECT_EQ(engine.m_drivers[0]->passFlags, 0u);
    EXPECT_EQ(engine.m_drivers[0]->modeCount, 6);
    EXPECT_EQ(engine.m_drivers[1]->primary, 0);
    EXPECT_EQ(engine.m_drivers[1]->passFlags, uint32_t(DDENUM_ATTACHEDSECONDARYDEVICES));
    ASSERT_EQ(engine.m_drivers[1]->modeCount, 1);
    EXPECT_EQ(engine.m_drivers[1]->modes[0]->dwWidth, 1280u);
    EXPECT_EQ(engine.m_drivers[2]->modeCount, 0);  // listed, without modes
    EXPECT_EQ(rec.Count("DirectDrawEnumerate"), 4);
    EXPECT_STREQ(engine.m_version, "0.8b");
    DDraw_SetFactory(nullptr);
}

TEST(Engine, SineTablesAndEmitterTemplateLookup) {
    CD3DRecorder rec;
    DDraw_SetFactory(&rec);
    CE3DEngine engine;
    EXPECT_NEAR(g_E3DSinTable[2048], 1.0f, 1e-6f);
    EXPECT_NEAR(g_E3DCosTable[0], 1.0f, 1e-6f);
    EXPECT_NEAR(g_E3DSinTable[8192], g_E3DSinTable[0], 1e-6f);
    EXPECT_NEAR(g_E3DCosTable[4096], -1.0f, 1e-6f);
    EXPECT_NEAR(g_E3DAngleToIndex, 8192.0 / (2.0 * M_PI), 1e-3);

    new CNamedShape(&engine, "puff");
    CTemplate* puff = new CTemplate(&engine, "PUFF", 7);
    CTemplate* unnamed = new CTemplate(&engine, nullptr, 9);
    EXPECT_EQ(engine.FindEmitterTemplateByName("puff"), puff);
    EXPECT_EQ(engine.FindEmitterTemplateByName(""), unnamed);
    EXPECT_EQ(engine.FindEmitterTemplateByName("smoke"), nullptr);
    EXPECT_EQ(engine.FindEmitterTemplateById(7), puff);
    EXPECT_EQ(engine.FindEmitterTemplateById(8), nullptr);
    delete puff;  // unlinks itself from the middle of the list
    EXPECT_EQ(engine.FindEmitterTemplateByName("puff"), nullptr);
    EXPECT_EQ(engine.FindEmitterTemplateById(9), unnamed);
    DDraw_SetFactory(nullptr);
    // The engine deletes the rest.
}

TEST(Engine, ErrorTextNamesPublishedCodesInTheirFamily) {
    STraces t;
    E3D_SetTraceSink(Collect, &t);
    E3DErrorText(nullptr, 0);
    EXPECT_TRUE(t.lines.empty());
    E3DErrorText(nullptr, DDERR_ALREADYINITIALIZED);
    ASSERT_EQ(t.lines.size(), 2u);
    EXPECT_EQ(t.lines[1].first, "DDERR_ALREADYINITIALIZED");
    EXPECT_EQ(t.lines[1].second, "Direct3DError");
    t.lines.clear();
    E3DErrorText(nullptr, DDERR_SURFACELOST);
    ASSERT_EQ(t.lines.size(), 2u);
    EXPECT_EQ(t.lines[1].first, "DDERR_SURFACELOST");
    EXPECT_EQ(t.lines[1].second, "DirectDrawError");
    t.lines.clear();
    E3DErrorText(nullptr, DDERR_INVALIDPARAMS);  // only the system text
    EXPECT_EQ(t.lines.size(), 1u);
    const char* ctx = nullptr;
    EXPECT_STREQ(E3D_ErrorName(D3DERR_CONFLICTINGTEXTUREPALETTE, &ctx), "D3DERR_CONFLICTINGTEXTUREPALETTE");
    EXPECT_STREQ(E3D_ErrorName(DDERR_NO3D, &ctx), "DDERR_NO3D");
    EXPECT_STREQ(ctx, "DirectDrawError");
    E3D_SetTraceSink(nullptr, nullptr);
}

TEST(Engine, ScreenWithoutDirectDrawStaysNotCreated) {
    CD3DRecorder rec;
    rec.Fail("DirectDrawCreate", DDERR_NODIRECTDRAWHW, 100);
    DDraw_SetFactory(&rec);
    STraces t;
    E3D_SetTraceSink(Collect, &t);
    CE3DEngine engine;
    CE3DScreen* screen = new CE3DScreen(&engine, engine.m_drivers[0]);
    EXPECT_TRUE(screen->m_notCreated);
    EXPECT_EQ(engine.m_screenCount, 0);
    EXPECT_FALSE(screen->SetWindowedMode(engine.m_drivers[0], nullptr, 640, 480, true));
    bool reported = false;
    for (auto& l : t.lines) reported |= l.first == "DirectDrawCreateEx Failed";
    EXPECT_TRUE(reported);
    delete screen;
    E3D_SetTraceSink(nullptr, nullptr);
    DDraw_SetFactory(nullptr);
}

TEST(Timer, StepsInGameTimeAndRealTime) {
    CE3DTimer timer;
    EXPECT_EQ(timer.m_kind, 4u);
    EXPECT_FLOAT_EQ(timer.m_frequency, 1193182.0f);
    // The first update only starts the step: no step the size of the game time.
    int64_t t = 1193182 * 100;
    timer.Update(&t);
    EXPECT_EQ(timer.m_gameStep, 0.0f);
    t += 1193182;
    timer.Update(&t);
    EXPECT_NEAR(timer.m_gameStep, 1.0f, 1e-5f);
    t += 119318;
    timer.Update(&t);
    EXPECT_NEAR(timer.m_gameStep, 0.1f, 1e-5f);
    EXPECT_GE(timer.m_frameTime, 0.0f);
    int64_t before = Sys_QueryPerformanceCounter();
    EXPECT_GE(timer.Elapsed(), before);
}

// A camera that records what its viewports ask of it.
class CFakeCamera : public IE3DViewportCamera {
public:
    void ViewportAttached(CE3DViewport*) override { ++attached; }
    void SetAmbient(uint32_t rgb) override { ambient = rgb; }
    void SetupView(CE3DViewport*) override { log.push_back("SetupView"); }
    void RenderScene(CE3DViewport*) override { log.push_back("RenderScene"); }
    int attached = 0;
    uint32_t ambient = 0;
    std::vector<std::string> log;
};

class ViewportTest : public ::testing::Test {
protected:
    void SetUp() override {
        DDraw_SetFactory(&rec);
        engine = new CE3DEngine;
        screen = new CE3DScreen(engine, engine->m_drivers[0]);
        ASSERT_TRUE(screen->SetWindowedMode(engine->m_drivers[0], nullptr, 640, 480, true));
        device = screen->m_currentDevice;
    }
    void TearDown() override {
        delete engine;
        DDraw_SetFactory(nullptr);
    }
    CD3DRecorder rec;
    CE3DEngine* engine = nullptr;
    CE3DScreen* screen = nullptr;
    CE3DDevice* device = nullptr;
};

TEST_F(ViewportTest, SetRectAndRenderSequence) {
    CE3DViewport* vp = new CE3DViewport(device);
    EXPECT_EQ(device->m_viewportCount, 1);
    EXPECT_FALSE(vp->SetRect(10, 10, 0, 100));
    EXPECT_EQ(vp->m_width, 0);  // stored anyway
    rec.ClearLog();
    vp->Render(nullptr);
    EXPECT_TRUE(rec.log.empty());

    ASSERT_TRUE(vp->SetRect(0, 0, 640, 480));
    EXPECT_EQ(vp->m_scaleX, 320.0f);
    EXPECT_EQ(vp->m_centreY, 240.0f);
    CFakeCamera cam;
    vp->Attach(&cam);
    vp->m_clearColor[0] = 0x12;
    vp->m_clearColor[1] = 0x34;
    vp->m_clearColor[2] = 0x56;
    rec.ClearLog();
    vp->Render(nullptr);
    std::vector<std::string> expect = {"SetTransform 1",
                                       "SetTransform 2",
                                       "SetTransform 3",
                                       "SetViewport 0 0 640 480 0 1",
                                       "Clear 1 (0,0,640,480) flags=3 color=0x123456 z=1 stencil=0",
                                       "BeginScene",
                                       "EndScene"};
    EXPECT_EQ(rec.log, expect);
    EXPECT_EQ(cam.log, (std::vector<std::string>{"SetupView", "RenderScene"}));
    EXPECT_EQ(cam.ambient, 0x191919u);

    // The corner at the last column still renders; one further does not.
    vp->SetRect(639, 0, 10, 10);
    rec.ClearLog();
    vp->Render(nullptr);
    EXPECT_EQ(rec.Count("BeginScene"), 1);
    vp->SetRect(640, 0, 10, 10);
    rec.ClearLog();
    vp->Render(nullptr);
    EXPECT_TRUE(rec.log.empty());
    delete vp;
    EXPECT_EQ(device->m_viewportCount, 0);
    EXPECT_EQ(cam.m_viewportCount, 0);
}

TEST_F(ViewportTest, LostSurfaceGivesUpTheFrameAfterRestoring) {
    CE3DViewport vp(device);
    vp.SetRect(0, 0, 100, 100);
    CFakeCamera cam;
    vp.Attach(&cam);
    rec.Fail("Clear", DDERR_SURFACELOST);
    screen->m_backBuffer->m_surface->SetLost(true);
    rec.ClearLog();
    vp.Render(nullptr);
    EXPECT_EQ(rec.Count("BeginScene"), 0);
    EXPECT_TRUE(cam.log.empty());
    EXPECT_EQ(screen->m_backBuffer->m_surface->IsLost(), DD_OK);
    // Another failure keeps the timer going and still skips the scene.
    rec.Fail("BeginScene", D3DERR_SCENE_BEGIN_FAILED);
    int64_t t = 5000;
    vp.Render(&t);
    vp.Render(&t);
    EXPECT_EQ(cam.log.size(), 2u);
    EXPECT_EQ(engine->m_timer->m_stepStamp, 5000);
}

TEST_F(ViewportTest, AttachTwiceKeepsSlotZeroAndViewportsMoveToTheNewDevice) {
    CE3DViewport* a = new CE3DViewport(device);
    CE3DViewport* b = new CE3DViewport(device);
    CFakeCamera cam;
    a->Attach(&cam);
    a->Attach(&cam);
    EXPECT_EQ(a->m_cameraSlot, 0);
    EXPECT_EQ(cam.m_viewportCount, 1);
    EXPECT_EQ(cam.attached, 2);
    b->Attach(&cam);
    EXPECT_EQ(b->m_cameraSlot, 1);
    EXPECT_EQ(cam.m_viewports, b);
    a->Attach(nullptr);  // unlinks from the tail of the list
    EXPECT_EQ(cam.m_viewportCount, 1);
    EXPECT_EQ(cam.m_viewports, b);
    EXPECT_EQ(b->m_next, nullptr);

    // Another device taking over: it gets the viewports, detached from cameras.
    CE3DDevice* other = nullptr;
    for (int i = 0; i < screen->m_deviceCount; ++i)
        if (screen->m_devices[i] != device) other = screen->m_devices[i];
    ASSERT_NE(other, nullptr);
    ASSERT_TRUE(other->Activate(device));
    EXPECT_EQ(other->m_viewportCount, 2);
    EXPECT_EQ(device->m_viewportCount, 0);
    EXPECT_EQ(a->m_device, other);
    EXPECT_EQ(b->m_camera, nullptr);
    EXPECT_EQ(cam.m_viewportCount, 0);
    EXPECT_EQ(screen->m_currentDevice, other);
}

}  // namespace
