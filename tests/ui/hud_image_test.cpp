// What the HUD draws over the game view, read back from a real back buffer
// (OpenGL under Xvfb, Mesa's software renderer): a script point's ring and
// "Point %d" label, the radar's mark of it, the label of a unit that waits
// for a signal, a structure's rally point, how long a player keeps the
// network game waiting with the pause message; and the interface's own canvas
// (vid_UseSeprate2DSurface) laid over the back buffer as the frame is
// shown. Skipped where no display server runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "core/VFSFile.h"
#include "core/VFSTable.h"
#include "e3d/View.h"
#include "e3d/Viewport.h"
#include "platform/d3d/D3DDeviceState.h"
#include "tests/support/GLDisplay.h"
#include "tests/support/UnitWorld.h"
#include "ui/GUIRoles.h"
#include "ui/Interface.h"
#include "world/Unit.h"
#include "world/World.h"
#include "world/WorldCommands.h"

namespace {

constexpr int kW = 320, kH = 240;

class CTestScreen : public IInterfaceScreen {
public:
    CE3DSurface* BackSurface() override { return screen ? screen->m_backBuffer : nullptr; }
    void ClearScreen() override {}
    void Redraw() override {}
    CE3DFont* GetFont(const char* face, int width, int height, int weight, int attributes,
                      int outline) override {
        return screen ? screen->GetFont(face, width, height, weight, attributes, uint8_t(outline)) : nullptr;
    }
    CE3DScreen* Screen() override { return screen; }
    CE3DViewport* Viewport() override { return view; }
    CE3DScreen* screen = nullptr;
    CE3DViewport* view = nullptr;
};

class CTestGame : public IGUIGame {
public:
    float FrameTime() override { return 0.05f; }
    float LargestWait() override { return wait; }
    float wait = 0.0f;
};

class HudImage : public TTestGLPictures<kW, kH> {
protected:
    HudImage() : view(nullptr) {}
    void SetUp() override {
        if (!screen) TEST_END_WITHOUT_GL();
        std::string error;
        ASSERT_TRUE(w.LoadDemoTemplates(error)) << error;
        w.players->m_local = w.red;
        view.SetRect(0, 0, kW, kH);
        view.m_view->LookAt(D3DVECTOR{0.0f, 30.0f, -20.0f}, D3DVECTOR{0.0f, 0.0f, 0.0f}, 0.0f);
        view.m_view->SetProjection(1.0f, 200.0f, 1.0471976f, float(kW) / float(kH), true);
        view.m_combined = D3D_Multiply(view.m_view->view, view.m_view->projection);
        role.screen = screen;
        role.view = &view;
        SInterfaceRoles roles;
        roles.screen = &role;
        roles.gui = &game;
        ui = std::make_unique<CInterface>(roles);
        ui->SetWorld(&w.world);
        ui->m_hud.CreateFonts();
        ClearBack(0, 0, 0);
    }
    void ClearBack(uint8_t r, uint8_t g, uint8_t b) {
        CE3DSurface* back = screen->m_backBuffer;
        ASSERT_TRUE(back->Lock());
        back->ResetClip();
        back->Fill(back->Pack(r, g, b));
        back->Unlock();
    }
    std::vector<int32_t> Pixel(float x, float y, float z) {
        int32_t p[2] = {0, 0};
        view.ProjectPoint(p, D3DVECTOR{x, y, z});
        return {p[0], p[1]};
    }
    // Pixels of the rectangle (within the picture) that pass the test.
    template <class Test>
    int Count(int x0, int y0, int x1, int y1, Test test) {
        const std::vector<uint32_t> picture = Test_BackPicture(screen, kW, kH);
        int n = 0;
        for (int y = std::max(0, y0); y < std::min(kH, y1); ++y)
            for (int x = std::max(0, x0); x < std::min(kW, x1); ++x)
                n += test(Test_RGB(picture[size_t(y * kW + x)]));
        return n;
    }
    static auto Is(int r, int g, int b) {
        return [=](SRGB p) {
            return std::abs(p.r - r) <= 8 && std::abs(p.g - g) <= 8 && std::abs(p.b - b) <= 8;
        };
    }

    CUnitWorld w;
    CE3DViewport view;
    CTestScreen role;
    CTestGame game;
    std::unique_ptr<CInterface> ui;
};

}  // namespace

TEST_F(HudImage, AScriptPointShowsItsRingAndNumberedLabelInTheViewAndItsMarkOnTheRadar) {
    ASSERT_TRUE(w.world.Commands().SetScriptPoint(3, 4.0f, 2.0f));
    CE3DSurface* back = screen->m_backBuffer;
    ui->m_hud.DrawSelectedOrders(back);
    const std::vector<int32_t> p = Pixel(4.0f, 0.0f, 2.0f);
    // The ring of radius 11 in full green, the disc of radius 4 in dark green.
    EXPECT_GT(Count(p[0] - 12, p[1] - 12, p[0] + 13, p[1] + 13, Is(0, 255, 0)), 30);
    EXPECT_GT(Count(p[0] - 3, p[1] - 3, p[0] + 4, p[1] + 4, Is(0, 120, 0)), 20);
    // "Point 3" centred above it, over its dark shadow.
    EXPECT_GT(Count(p[0] - 30, p[1] - 30, p[0] + 30, p[1] - 12, Is(0, 255, 0)), 15);
    EXPECT_GT(Count(p[0] - 30, p[1] - 30, p[0] + 30, p[1] - 12, Is(0, 100, 0)), 5);
    // A point not set draws nothing.
    ClearBack(0, 0, 0);
    w.world.Commands().RemoveScriptPoints();
    ui->m_hud.DrawSelectedOrders(back);
    EXPECT_EQ(Count(0, 0, kW, kH, Is(0, 255, 0)), 0);

    // On the radar (Skerry's picture, the GUI hidden: the whole map in the
    // corner, once it has opened), the point is a green plus.
    ASSERT_TRUE(w.world.Commands().SetScriptPoint(3, 4.0f, 2.0f));
    const char* build = std::getenv("TESSARAK_BUILD");
    ASSERT_TRUE(build);
    CVFSTable box;
    ASSERT_TRUE(box.MountPack((std::string(build) + "/install/Tessarak/Maps/Skerry/MapData.box").c_str()));
    CVFSFile file;
    ASSERT_TRUE(file.Open("radar.bik", CVFSFile::kModeRead, &box));
    std::string video(file.GetSize(), '\0');
    video.resize(file.Read(&video[0], uint32_t(video.size())));
    ui->m_hud.LoadRadar(video.data(), video.size());
    CRadar& radar = ui->m_hud.m_radar;
    ASSERT_FALSE(radar.Disabled());
    ui->m_drawGUI = 0;
    const auto open = [&] { return radar.m_powerState == 0 && radar.m_closeY < 0.1f; };
    for (int i = 0; i < 400 && !open(); ++i) radar.Draw(back, 0, 0, 128, 128);
    ASSERT_TRUE(open());
    ClearBack(0, 0, 0);
    radar.Draw(back, 0, 0, 128, 128);
    int32_t sx = 0, sy = 0;
    radar.WorldToRadar(4.0f, 2.0f, &sx, &sy);
    const auto greenish = [](SRGB q) { return q.g > 100 && q.r < 20 && q.b < 20; };
    EXPECT_GE(Count(sx - 1, sy - 1, sx + 2, sy + 2, greenish), 5);
    w.world.Commands().RemoveScriptPoints();
    ClearBack(0, 0, 0);
    radar.Draw(back, 0, 0, 128, 128);
    EXPECT_EQ(Count(sx - 1, sy - 1, sx + 2, sy + 2, greenish), 0);
}

TEST_F(HudImage, AUnitWaitingForASignalShowsItsNumberAndAStructureItsRallyPointWhileShiftIsHeld) {
    CUnit* tank = w.Spawn("Granite_LightTank", -4.0f, 0.0f, w.red);
    CUnit* depot = w.Spawn("Granite_Depot", 6.0f, 4.0f, w.red);
    ASSERT_TRUE(tank && depot);
    CE3DSurface* back = screen->m_backBuffer;
    const std::vector<int32_t> t = Pixel(-4.0f, 0.0f, 0.0f);
    // The label's box (its dark green ground, its frame) lies 34 pixels
    // below the unit's centre; none without a signal.
    const auto box = [&] { return Count(t[0] - 10, t[1] + 20, t[0] + 60, t[1] + 60, Is(0, 40, 0)); };
    ui->m_hud.DrawSelectedOrders(back);
    EXPECT_EQ(box(), 0);
    tank->m_waitSignal = 12;
    ui->m_hud.DrawSelectedOrders(back);
    EXPECT_GT(box(), 40);

    // A structure's rally point: a grey ring and disc, only with Shift.
    ASSERT_TRUE(w.world.Commands().Patrol({depot->m_objectId}, 10.0f, -6.0f, 0));
    const std::vector<int32_t> r = Pixel(10.0f, 0.0f, -6.0f);
    const auto rally = [&] { return Count(r[0] - 8, r[1] - 8, r[0] + 9, r[1] + 9, Is(60, 60, 60)); };
    ClearBack(0, 0, 0);
    ui->m_hud.DrawSelectedOrders(back);
    EXPECT_EQ(rally(), 0);
    ui->m_mouseState.shift = 1;
    ui->m_hud.DrawSelectedOrders(back);
    EXPECT_GT(rally(), 20);
    EXPECT_GT(Count(r[0] - 2, r[1] - 2, r[0] + 3, r[1] + 3, Is(40, 40, 40)), 8);
}

TEST_F(HudImage, TheInterfacesOwnCanvasComesWithTheNextDisplayChangeAndIsLaidOverTheBackBufferAsItIsShown) {
    CE3DSurface* back = screen->m_backBuffer;
    ClearBack(0, 0, 200);
    EXPECT_EQ(ui->Surface(), back);
    // Set, it waits for the next display change.
    ui->m_UseSeparate2DSurface = 1;
    EXPECT_EQ(ui->Surface(), back);
    ui->ReleaseSurfaces();
    CE3DSurface* canvas = ui->Surface();
    ASSERT_NE(canvas, nullptr);
    ASSERT_NE(canvas, back);
    ASSERT_TRUE(canvas->Lock());
    canvas->DrawFilledRect(10, 10, 30, 30, 255, 0, 0);
    canvas->Unlock();
    EXPECT_EQ(Count(10, 10, 30, 30, Is(255, 0, 0)), 0);  // not on the back buffer yet
    ui->DrawMouseCursor(back);                           // the frame is shown
    EXPECT_GT(Count(10, 10, 30, 30, Is(255, 0, 0)), 300);
    EXPECT_EQ(Count(40, 40, kW, kH, Is(0, 0, 200)), (kW - 40) * (kH - 40));  // the rest shows through
    // The canvas starts the next frame clear.
    ClearBack(0, 0, 200);
    ui->DrawMouseCursor(back);
    EXPECT_EQ(Count(0, 0, kW, kH, Is(0, 0, 200)), kW * kH);

    // Cleared, the back buffer again from the next display change on.
    ui->m_UseSeparate2DSurface = 0;
    EXPECT_EQ(ui->Surface(), canvas);
    ui->ReleaseSurfaces();
    EXPECT_EQ(ui->Surface(), back);
}

TEST_F(HudImage, APlayerKeepingTheGameWaitingShowsItsSecondsAndThePauseMessageOverABriefWaitNone) {
    CE3DSurface* back = screen->m_backBuffer;
    ui->m_SystemTexts[294].text = "Game paused";
    ui->m_SystemTexts[294].set = true;
    // Green text on the centre line at the offset from the screen's middle.
    const auto line = [&](int offset) {
        return Count(kW / 2 - 80, kH / 2 + offset - 2, kW / 2 + 80, kH / 2 + offset + 24, Is(0, 255, 0));
    };
    struct SCase {
        float wait;
        bool shown;
    };
    for (const SCase& c : {SCase{0.0f, false}, SCase{1.2f, false}, SCase{2.5f, true}, SCase{61.0f, true}}) {
        SCOPED_TRACE(c.wait);
        game.wait = c.wait;
        ClearBack(0, 0, 0);
        ui->m_hud.DrawSelectedOrders(back);
        if (c.shown) {
            EXPECT_GT(line(64), 10);  // the seconds
            EXPECT_GT(line(32), 10);  // the pause message
        } else {
            EXPECT_EQ(Count(0, 0, kW, kH, Is(0, 255, 0)), 0);
        }
    }
    // The seconds are the wait's, to a tenth: "2.5 s" is narrower than "61.0 s".
    const auto width = [&](float wait) {
        game.wait = wait;
        ClearBack(0, 0, 0);
        ui->m_hud.DrawSelectedOrders(back);
        const std::vector<uint32_t> picture = Test_BackPicture(screen, kW, kH);
        int left = kW, right = -1;
        for (int y = kH / 2 + 62; y < kH / 2 + 88 && y < kH; ++y)
            for (int x = 0; x < kW; ++x)
                if (Is(0, 255, 0)(Test_RGB(picture[size_t(y * kW + x)]))) {
                    left = std::min(left, x);
                    right = std::max(right, x);
                }
        return right - left;
    };
    EXPECT_LT(width(2.5f) + 4, width(61.0f));
}
