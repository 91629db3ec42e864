// The display choice of the game view: driver by name, mode by size, bit
// depth and refresh rate.
#include "app/GameView.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "app/Game.h"
#include "app/GameRoles.h"
#include "app/GameScreen.h"
#include "app/Progress.h"
#include "e3d/Camera.h"
#include "e3d/Engine.h"
#include "e3d/Font.h"
#include "e3d/Light.h"
#include "e3d/Material.h"
#include "e3d/Texture.h"
#include "e3d/Viewport.h"
#include "platform/d3d/Recorder.h"
#include "tests/support/TempDir.h"
#include "tools/lib/CompiledFontsWriter.h"
#include "ui/Interface.h"
#include "ui/SettingsLists.h"
#include "world/GameScene.h"

namespace {

// The display set-up shows error boxes on failure; run by hand, outside CTest,
// the test must not wait for a click on one.
const int g_headlessDialogs = setenv("TESSARAK_HEADLESS_DIALOGS", "1", 1);

struct Driver {
    SDirectDrawDesc desc;
    std::vector<DDSURFACEDESC2> modes;
    std::vector<DDSURFACEDESC2*> pointers;
    Driver(const char* name, std::initializer_list<std::array<int, 4>> list) {
        std::snprintf(desc.driverName, sizeof desc.driverName, "%s", name);
        for (const auto& m : list) {
            DDSURFACEDESC2 d;
            d.dwWidth = m[0];
            d.dwHeight = m[1];
            d.ddpfPixelFormat.dwRGBBitCount = m[2];
            d.dwRefreshRate = m[3];
            modes.push_back(d);
        }
        for (auto& m : modes) pointers.push_back(&m);
        desc.modes = pointers.data();
        desc.modeCount = static_cast<int>(modes.size());
    }
    ~Driver() { desc.modes = nullptr; }
};

}  // namespace

TEST(GameViewChoice, Driver) {
    Driver a("display", {}), b("second", {});
    SDirectDrawDesc* list[] = {&a.desc, &b.desc};
    EXPECT_EQ(GameView_ChooseDriver(list, 2, "SECOND"), &b.desc);
    EXPECT_EQ(GameView_ChooseDriver(list, 2, "none such"), &a.desc);
    EXPECT_EQ(GameView_ChooseDriver(list, 2, nullptr), &a.desc);
    EXPECT_EQ(GameView_ChooseDriver(list, 0, "display"), nullptr);
}

TEST(GameViewChoice, Modes) {
    Driver d("display", {{800, 600, 16, 60},
                         {1024, 768, 32, 60},
                         {1024, 768, 32, 75},
                         {1024, 768, 32, 85},
                         {640, 480, 32, 100},
                         {1280, 1024, 32, 60}});
    struct {
        int w, h, bits, rate;
        bool found;
        unsigned outW, outH, outRate;
    } cases[] = {
        {1024, 768, 32, 75, true, 1024, 768, 75},  // the wanted rate
        {1024, 768, 32, 80, true, 1024, 768, 75},  // the highest not above it
        {1024, 768, 32, 0, true, 1024, 768, 0},    // the highest (85), stored as the default
        {640, 480, 32, 60, true, 640, 480, 0},     // only too fast: the size wins, at the default rate
        {800, 600, 16, 60, true, 800, 600, 60},     {800, 600, 24, 0, false, 0, 0, 0},
        {1920, 1080, 32, 60, true, 1280, 1024, 60},
    };
    for (const auto& c : cases) {
        DDSURFACEDESC2 out;
        int index = -1;
        bool found = GameView_ChooseMode(d.desc, c.w, c.h, c.bits, c.rate, out, &index);
        EXPECT_EQ(found, c.found) << c.w << "x" << c.h << "x" << c.bits << "@" << c.rate;
        if (!found || !c.found) continue;
        EXPECT_EQ(out.dwWidth, c.outW) << c.w << "x" << c.h << "@" << c.rate;
        EXPECT_EQ(out.dwHeight, c.outH) << c.w << "x" << c.h << "@" << c.rate;
        EXPECT_EQ(out.dwRefreshRate, c.outRate) << c.w << "x" << c.h << "@" << c.rate;
    }
    DDSURFACEDESC2 out;
    int index = -1;
    GameView_ChooseMode(d.desc, 1024, 768, 32, 0, out, &index);
    EXPECT_EQ(index, 3);  // the 85 Hz mode, whose rate the copy drops

    // 800x600 is there only at 16 bits: the nearest size that has 32.
    Driver two("display", {{800, 600, 16, 60}, {1024, 768, 32, 60}});
    ASSERT_TRUE(GameView_ChooseMode(two.desc, 800, 600, 32, 0, out, &index));
    EXPECT_EQ(out.dwWidth, 1024u);
    EXPECT_EQ(out.dwHeight, 768u);
}

namespace {

// A view on the recording display back end: one primary driver with 640x480,
// 800x600 and 1024x768 at 16 and 32 bits.
class GameViewDisplay : public ::testing::Test {
protected:
    void SetUp() override {
        DDraw_SetFactory(&rec);
        view = std::make_unique<CGameView>(nullptr, 0);
    }
    void TearDown() override {
        view.reset();
        DDraw_SetFactory(nullptr);
    }
    SVideoSettings& Settings() { return view->Settings(); }

    CD3DRecorder rec;
    std::unique_ptr<CGameView> view;
};

}  // namespace

TEST_F(GameViewDisplay, FullScreenWithoutTheDepthFallsBackToAWindow) {
    Settings().windowed = 0;
    Settings().bitDepth = 24;
    Settings().width = 800;
    Settings().height = 600;
    ASSERT_TRUE(view->ChooseDisplay());
    ASSERT_NE(view->m_screen, nullptr);
    EXPECT_TRUE(view->m_screen->m_windowed);
    EXPECT_EQ(view->m_screen->m_width, 800);
    EXPECT_EQ(view->m_displayReady, 1);
    EXPECT_EQ(g_DisplayBitDepth, 0);
    EXPECT_NEAR(view->m_fieldOfView, 0.7853982f, 1e-6f);
}

TEST_F(GameViewDisplay, ModeChangesOncePerFrameAndSurvivesAFailedChoice) {
    Settings().windowed = 0;
    Settings().bitDepth = 32;
    Settings().width = 800;
    Settings().height = 600;
    ASSERT_TRUE(view->ChooseDisplay());
    EXPECT_FALSE(view->m_screen->m_windowed);
    EXPECT_EQ(g_DisplayBitDepth, 32);
    EXPECT_EQ(view->m_viewRect[2], 800);

    // Still the frame of the first set-up: nothing happens.
    Settings().windowed = 1;
    Settings().width = 1024;
    Settings().height = 768;
    EXPECT_TRUE(view->ChangeDisplayMode());
    EXPECT_FALSE(view->m_screen->m_windowed);

    view->m_modeChangeBlocked = 0;  // the next frame
    EXPECT_TRUE(view->ChangeDisplayMode());
    EXPECT_TRUE(view->m_screen->m_windowed);
    EXPECT_EQ(view->m_viewRect[2], 1024);
    EXPECT_EQ(view->m_viewRect[3], 768);

    // A full-screen depth the driver lacks: refused, the window stays usable.
    view->m_modeChangeBlocked = 0;
    Settings().windowed = 0;
    Settings().bitDepth = 24;
    EXPECT_FALSE(view->ChangeDisplayMode());
    EXPECT_EQ(view->m_displayReady, 1);
    EXPECT_TRUE(view->m_screen->m_windowed);
    EXPECT_EQ(view->m_width, 1024);
    EXPECT_TRUE(view->Resize(900, 700, 0));
    EXPECT_EQ(view->m_viewRect[2], 900);
}

TEST_F(GameViewDisplay, FailedFullScreenOpensAWindow) {
    Settings().windowed = 0;
    Settings().bitDepth = 16;
    rec.Fail("SetDisplayMode", DDERR_INVALIDMODE, 100);
    ASSERT_TRUE(view->ChooseDisplay());
    EXPECT_TRUE(view->m_screen->m_windowed);
    EXPECT_EQ(view->m_screen->m_width, 640);
}

TEST_F(GameViewDisplay, ZoomBounds) {
    view->m_fieldOfView = 1.0f;
    for (int i = 0; i < 20; ++i) view->Zoom(1.0f);
    EXPECT_FLOAT_EQ(view->m_fieldOfView, 3.1315928f);
    for (int i = 0; i < 20; ++i) view->Zoom(-1.0f);
    EXPECT_FLOAT_EQ(view->m_fieldOfView, 0.001f);
    view->m_additiveZoom = 0;
    view->m_fieldOfView = 1.0f;
    view->Zoom(-1.0f);
    EXPECT_FLOAT_EQ(view->m_fieldOfView, 0.5f);
    view->Zoom(9.0f);
    EXPECT_FLOAT_EQ(view->m_fieldOfView, 3.1315928f);
    view->SetFieldOfView(5.0f);
    EXPECT_FLOAT_EQ(view->m_fieldOfView, 3.1415927f);
}

TEST_F(GameViewDisplay, VisibleGroundOfACameraLookingDown) {
    Settings().width = 640;
    Settings().height = 480;
    ASSERT_TRUE(view->ChooseDisplay());
    view->m_eye[0] = 0, view->m_eye[1] = 50, view->m_eye[2] = -30;
    view->m_target[0] = 0, view->m_target[1] = 0, view->m_target[2] = 0;
    view->UpdateCamera();
    EXPECT_TRUE(view->ContainsPoint(0.0f, 0.0f));
    EXPECT_FALSE(view->ContainsPoint(500.0f, 0.0f));
    EXPECT_FALSE(view->ContainsPoint(0.0f, -500.0f));
    // Lower levels are seen wider than higher ones.
    const SVisibleGround& low = view->m_ground[0];
    const SVisibleGround& ground = view->m_ground[128];
    EXPECT_LT(low.minX, ground.minX);
    // Levels above the eye are taken just below it.
    EXPECT_EQ(view->m_ground[255].minX, view->m_ground[200].minX);

    // The ray through the middle of the view points at the target; one
    // through the left edge leans to the left (x falls).
    view->UpdateCursorRay(320.0f, 240.0f);
    const float* d = view->m_cursorRayDirection;
    EXPECT_NEAR(d[0], 0.0f, 1e-4f);
    EXPECT_NEAR(d[1] / d[2], -50.0f / 30.0f, 1e-3f);
    view->UpdateCursorRay(0.0f, 240.0f);
    EXPECT_LT(view->m_cursorRayDirection[0], 0.0f);
}

TEST_F(GameViewDisplay, LostDisplayIsAppliedAgainOnceItIsBack) {
    ASSERT_TRUE(view->ChooseDisplay());
    CGameScreen* screen = view->m_screen;
    screen->m_surfacesLost = true;
    rec.ClearLog();
    screen->ApplyPendingModeChange();  // still the first frame
    EXPECT_TRUE(screen->m_surfacesLost);
    EXPECT_LT(rec.Find("CreateSurface backbuffer"), 0);
    view->m_modeChangeBlocked = 0;
    screen->ApplyPendingModeChange();
    EXPECT_FALSE(screen->m_surfacesLost);
    EXPECT_GE(rec.Find("CreateSurface backbuffer"), 0);
    EXPECT_EQ(view->m_displayReady, 1);
}

TEST_F(GameViewDisplay, LoadsTheCompiledFontsOfTheGamesCharacterSet) {
    // Fonts for the Cyrillic set (4) and for set 0; the game runs in set 4.
    CTempDir dir;
    for (const char* set : {"4", "0"}) {
        std::vector<uint8_t> bytes =
            CompiledFonts_File({CompiledFonts_PatternFont(set[0] == '4' ? "Cyrillic" : "SetZero", 4, false)});
        ASSERT_TRUE(dir.Write(std::string("CompiledFonts/") + set + "/Fonts.cof",
                              std::string(bytes.begin(), bytes.end())));
    }
    CGame game{nullptr, "No datafile"};
    game.SetRootDir(dir.Win().c_str());
    game.Variables().charSet = CS_WIN_CRYLLIC;
    CGameView gameView(&game, 0);
    game.Video(0).windowed = 1;
    game.Video(0).width = 640;
    game.Video(0).height = 480;
    ASSERT_TRUE(gameView.SetupDisplay());
    ASSERT_NE(gameView.m_screen, nullptr);
    std::vector<std::string> names;
    for (CE3DFont* f = gameView.m_screen->m_fonts; f; f = f->m_next) names.push_back(f->m_name.GetText());
    EXPECT_EQ(names, std::vector<std::string>{"Cyrillic"});
}

// A display set up again gives its fonts up once before it loads the
// compiled fonts anew: a font only the screen held goes, one that is still
// held elsewhere stays for its holder.
TEST_F(GameViewDisplay, ASecondSetUpGivesTheFontsUpOnceBeforeLoadingThemAgain) {
    CTempDir dir;
    std::vector<uint8_t> bytes = CompiledFonts_File({CompiledFonts_PatternFont("Kept", 4, false)});
    ASSERT_TRUE(dir.Write("CompiledFonts/0/Fonts.cof", std::string(bytes.begin(), bytes.end())));
    CGame game{nullptr, "No datafile"};
    game.SetRootDir(dir.Win().c_str());
    game.Variables().charSet = 0;
    CGameView gameView(&game, 0);
    ASSERT_TRUE(gameView.SetupDisplay());
    CE3DScreen* screen = gameView.m_screen;
    ASSERT_NE(screen, nullptr);
    ASSERT_NE(screen->m_fonts, nullptr);
    CE3DFont* held = screen->m_fonts;
    ASSERT_EQ(held->m_refCount, 1);
    ++held->m_refCount;  // the interface holds it
    screen->PrepareFont("Spare", 0, 10, 400, 0, 0);
    ASSERT_EQ(screen->m_fontCount, 2);
    ASSERT_TRUE(gameView.SetupDisplay());
    std::vector<std::string> names;
    for (CE3DFont* f = screen->m_fonts; f; f = f->m_next) names.push_back(f->m_name.GetText());
    EXPECT_EQ(names, (std::vector<std::string>{"Kept", "Kept"}));  // the new one first
    EXPECT_EQ(held->m_refCount, 1);
    EXPECT_EQ(held->Release(), 0);
}

namespace {
// A game with an interface whose option screens are built, and its view on
// the recording display.
struct SGameWithOptions {
    CGame game{nullptr, "No datafile"};
    CGameView* view = nullptr;
    CInterface* ui = nullptr;
    SGameWithOptions() {
        ui = new CInterface(game.Roles().Interface());
        game.SetInterface(ui);
        view = new CGameView(&game, 0);
        game.SetGameView(view);
    }
    ~SGameWithOptions() {
        game.SetInterface(nullptr);
        delete ui;
        game.SetGameView(nullptr);
        delete view;
    }
    CSettingsLists& Lists() { return *ui->m_settings; }
    // The size the option screens show as chosen.
    std::string ChosenSize() {
        CSettingsLists& l = Lists();
        if (l.m_resolution < 0 || l.m_resolution >= int32_t(l.m_sizes.size())) return "none";
        return std::to_string(l.m_sizes[l.m_resolution].width) + "x" +
               std::to_string(l.m_sizes[l.m_resolution].height);
    }
};

std::string g_titleWhileReloading;
void RecordTitle(const char*, const char*, int) {
    g_titleWhileReloading = g_ProgressTop ? g_ProgressTop->title : "(no entry)";
}
}  // namespace

// After a display change the option screens show the display running: its
// screen mode and size chosen among the sizes listed anew. The display asked
// for stays as asked: a window asked for after a full screen of another
// size comes back at its own size.
TEST_F(GameViewDisplay, TheOptionScreensShowTheRunningDisplayAndTheRequestStaysAsAsked) {
    SGameWithOptions g;
    SVideoSettings& asked = g.game.Video(0);
    asked.windowed = 1;
    asked.width = 700;
    asked.height = 500;
    ASSERT_TRUE(g.view->ChooseDisplay());
    g.ui->ParseSettingsList();
    ASSERT_NE(g.Lists().m_resolutionEntry, nullptr);
    EXPECT_EQ(g.ChosenSize(), "700x500");

    // Full screen at 32 bits: 700 x 500 is nearest to 640 x 480.
    asked.windowed = 0;
    asked.bitDepth = 32;
    g.view->m_modeChangeBlocked = 0;
    ASSERT_TRUE(g.view->ChangeDisplayMode());
    ASSERT_FALSE(g.view->m_screen->m_windowed);
    EXPECT_EQ(g.Lists().m_screenMode, 32);
    EXPECT_EQ(g.ChosenSize(), "640x480");
    for (const auto& m : g.Lists().m_sizes) EXPECT_EQ(m.bitDepth, 32);
    EXPECT_EQ(asked.width, 700);
    EXPECT_EQ(asked.height, 500);

    // Back to a window: the size asked for.
    asked.windowed = 1;
    g.view->m_modeChangeBlocked = 0;
    ASSERT_TRUE(g.view->ChangeDisplayMode());
    EXPECT_TRUE(g.view->m_screen->m_windowed);
    EXPECT_EQ(g.view->m_screen->m_width, 700);
    EXPECT_EQ(g.Lists().m_screenMode, 0);
    EXPECT_EQ(g.ChosenSize(), "700x500");
    EXPECT_EQ(asked.width, 700);

    // No option screens yet: nothing to show.
    Settings_ApplyResolution(nullptr);
    Settings_RebuildResolutionList(nullptr);
}

// A game begins with the view's narrow start lens (0.3); the cursor stays
// where the pointer is.
TEST_F(GameViewDisplay, AGameBeginsWithTheStartLensAndTheCursorWhereThePointerIs) {
    SGameWithOptions g;
    g.game.Video(0).width = 800;
    g.game.Video(0).height = 600;
    ASSERT_TRUE(g.view->ChooseDisplay());
    g.game.CreateWorld(g.view->m_screen->m_mainCamera);
    // The units are there already (the start takes them as loaded).
    CGameScene* scene = g.game.Scene();
    scene->m_loadedProject.Format("%s\\Units", g.game.RootDir().GetText());
    scene->m_unitsLoaded = 1;
    g.ui->m_cursorX = 3;
    g.ui->m_cursorY = 4;
    ASSERT_NE(g.view->m_fieldOfView, 0.3f);
    g.game.SetGameState(0);
    ASSERT_EQ(g.game.StartGame(), 1);
    EXPECT_FLOAT_EQ(g.view->m_fieldOfView, 0.3f);
    EXPECT_EQ(g.ui->m_cursorX, 3);
    EXPECT_EQ(g.ui->m_cursorY, 4);
    EXPECT_EQ(g.game.GameState(), 1);
    g.game.DeleteWorld();
}

// Textures that a mode change did not reload while the texture settings
// changed are reloaded under a progress entry of their own.
TEST_F(GameViewDisplay, ChangedTextureSettingsReloadUnderTheirOwnProgressEntry) {
    SGameWithOptions g;
    ASSERT_TRUE(g.view->ChooseDisplay());
    // The language's text for the entry.
    g.ui->SetLid("SYSLID_PROGRESS_RELOADINGTEXTURES", "Reloading textures");
    SE3DGameHooks saved = E3D_GameHooks(), hooks;
    hooks.progressSetText = &RecordTitle;
    E3D_SetGameHooks(hooks);
    g_titleWhileReloading.clear();
    // The same window, only the texture detail changes.
    g.game.Video(0).textureDetail = 2;
    g.view->m_modeChangeBlocked = 0;
    EXPECT_TRUE(g.view->ChangeDisplayMode());
    E3D_SetGameHooks(saved);
    EXPECT_EQ(g_titleWhileReloading, g.game.GetSystemText(243));
    EXPECT_EQ(g_titleWhileReloading, "Reloading textures");
    EXPECT_EQ(g_ProgressTop, nullptr);
}

TEST_F(GameViewDisplay, TheDefaultMaterialAndTextureExistOnceAfterAFallbackAndAModeChange) {
    Settings().windowed = 0;
    Settings().bitDepth = 24;  // full screen fails: the window fallback
    ASSERT_TRUE(view->ChooseDisplay());
    CGameScreen* screen = view->m_screen;
    CE3DMaterial* fallback = screen->FindMaterialByName("!default");
    ASSERT_NE(fallback, nullptr);
    EXPECT_EQ(fallback, screen->m_gameDefaultMaterial);
    EXPECT_EQ(screen->m_defaultMaterial, nullptr);  // the engine's own stays empty
    ASSERT_NE(screen->m_defaultTexture, nullptr);
    EXPECT_STREQ(screen->m_defaultTexture->TextureName(), "!None");
    EXPECT_EQ(screen->FindTexture(77, 77), screen->m_defaultTexture);
    EXPECT_EQ(screen->m_defaultTexture->m_width, 8);
    const int materials = screen->m_materialCount, textures = screen->m_textureCount;
    view->m_modeChangeBlocked = 0;
    Settings().windowed = 1;
    Settings().width = 800;
    Settings().height = 600;
    ASSERT_TRUE(view->ChangeDisplayMode());
    EXPECT_EQ(screen->m_materialCount, materials);
    EXPECT_EQ(screen->m_textureCount, textures);
    // Reloaded after the change: its surfaces are there again.
    ASSERT_NE(screen->m_defaultTexture->StageSurface(0), nullptr);
}

TEST_F(GameViewDisplay, TheViewportRendersTheBattlefieldLitByTheSun) {
    ASSERT_TRUE(view->ChooseDisplay());
    CGameScreen* screen = view->m_screen;
    ASSERT_NE(screen->m_mainCamera, nullptr);
    ASSERT_NE(screen->m_secondCamera, nullptr);
    EXPECT_EQ(screen->m_cameraCount, 2);
    EXPECT_EQ(view->m_viewport->m_camera, screen->m_mainCamera);
    EXPECT_EQ(screen->m_mainCamera->m_params.ambient, 0x11111111u);
    EXPECT_TRUE(screen->m_mainCamera->m_params.flags[3]);
    // The sun: directional, first in its list, on, from high up at a slant.
    CE3DLight* sun = screen->m_sun;
    ASSERT_NE(sun, nullptr);
    EXPECT_EQ(screen->m_mainCamera->m_lightHead, sun);
    EXPECT_EQ(sun->m_light.dltType, uint32_t(D3DLIGHT_DIRECTIONAL));
    EXPECT_EQ(sun->m_priority, 0);
    EXPECT_EQ(sun->m_active, 1);
    EXPECT_LT(sun->m_light.dvDirection.y, -0.5f);
    // The explosion light: a point light after the sun, dark until an
    // explosion's flash gives it its place and colour (1/256 a step).
    CE3DLight* flash = screen->m_explosionLight;
    ASSERT_NE(flash, nullptr);
    EXPECT_EQ(flash->m_light.dltType, uint32_t(D3DLIGHT_POINT));
    EXPECT_EQ(flash->m_light.dcvDiffuse.r, 0.0f);
    const float at[3] = {10.0f, 2.0f, -4.0f};
    const int32_t colour[3] = {256, 128, 64};
    screen->SetExplosionLight(at, colour);
    EXPECT_FLOAT_EQ(flash->m_light.dcvDiffuse.r, 1.0f);
    EXPECT_FLOAT_EQ(flash->m_light.dcvDiffuse.g, 0.5f);
    EXPECT_FLOAT_EQ(flash->m_light.dcvDiffuse.b, 0.25f);
    EXPECT_FLOAT_EQ(flash->m_light.dvPosition.x, 10.0f);
    EXPECT_FLOAT_EQ(flash->m_light.dvPosition.z, -4.0f);
    // The lens through the view: a quarter turn across the width.
    EXPECT_NEAR(view->m_viewport->m_view->projection.m[0][0], 1.0f / std::tan(0.7853982f / 2), 1e-4f);
    // After a mode change the viewport still renders the battlefield.
    view->m_modeChangeBlocked = 0;
    Settings().width = 800;
    Settings().height = 600;
    ASSERT_TRUE(view->ChangeDisplayMode());
    EXPECT_EQ(view->m_viewport->m_camera, screen->m_mainCamera);
    EXPECT_EQ(view->m_viewport->m_width, 800);
    EXPECT_EQ(screen->m_mainCamera->m_viewportCount, 1);
}

TEST_F(GameViewDisplay, FullScreenGivesTheDesktopItsModeBackUntilTheGameIsActiveAgain) {
    Settings().windowed = 0;
    Settings().bitDepth = 32;
    ASSERT_TRUE(view->ChooseDisplay());
    CGameScreen* screen = view->m_screen;
    view->m_modeChangeBlocked = 0;
    rec.ClearLog();
    view->FocusLost();
    EXPECT_EQ(rec.Count("RestoreDisplayMode"), 1);
    // The next flip finds the surfaces gone.
    rec.Fail("Flip", DDERR_SURFACELOST);
    screen->Present();
    EXPECT_TRUE(screen->m_surfacesLost);
    // While another program owns the display nothing is tried.
    rec.Fail("TestCooperativeLevel", DDERR_NOEXCLUSIVEMODE);
    rec.ClearLog();
    screen->ApplyPendingModeChange();
    EXPECT_TRUE(screen->m_surfacesLost);
    EXPECT_EQ(rec.Count("SetDisplayMode"), 0);
    // Back in front: the game's mode again.
    screen->ApplyPendingModeChange();
    EXPECT_FALSE(screen->m_surfacesLost);
    EXPECT_EQ(rec.Count("SetDisplayMode 640x480x32"), 1);
    EXPECT_FALSE(screen->m_windowed);

    // A window has nothing to give back.
    view->m_modeChangeBlocked = 0;
    Settings().windowed = 1;
    ASSERT_TRUE(view->ChangeDisplayMode());
    rec.ClearLog();
    view->FocusLost();
    EXPECT_EQ(rec.Count("RestoreDisplayMode"), 0);
}
