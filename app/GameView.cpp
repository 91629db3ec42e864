#include "app/GameView.h"

#include <strings.h>

#include <climits>
#include <cstdlib>

#include "app/Game.h"
#include "app/GameScreen.h"
#include "app/InputManager.h"
#include "app/MainApp.h"
#include "app/Progress.h"
#include "console/CommandInterpreter.h"
#include "e3d/Camera.h"
#include "e3d/Engine.h"
#include "e3d/Font.h"
#include "e3d/Screen.h"
#include "e3d/Viewport.h"
#include "ui/Interface.h"
#include "ui/SettingsLists.h"
#include "world/ExplosionManager.h"
#include "world/World.h"

const SDirectDrawDesc* g_DisplayDriver = nullptr;
const DDSURFACEDESC2* g_DisplayMode = nullptr;
int32_t g_DisplayBitDepth = 0;

namespace {
constexpr float kQuarterPi = 0.7853982f;
// The progress title while the textures load again (SYSLID_PROGRESS_RELOADINGTEXTURES).
constexpr int kSysTextReloadingTextures = 243;

void Print(CGame* game, const char* text) {
    if (game && game->InputManager() && game->InputManager()->Interpreter())
        game->InputManager()->Interpreter()->Print(text);
}

// Runs f under the game's critical section, released on every return.
template <typename F>
bool Locked(CGame* game, F f) {
    if (!game) return f();
    CSysScopedLock<CSysCriticalSection> lock(game->CritSect());
    return f();
}
}  // namespace

const SDirectDrawDesc* GameView_ChooseDriver(SDirectDrawDesc* const* drivers, int count, const char* name) {
    if (!drivers || count <= 0) return nullptr;
    for (int i = 0; i < count; ++i)
        if (drivers[i] && !strcasecmp(drivers[i]->driverName, name ? name : "")) return drivers[i];
    return drivers[0];
}

bool GameView_ChooseMode(const SDirectDrawDesc& driver, int width, int height, int bitDepth, int refreshRate,
                         DDSURFACEDESC2& out, int* index) {
    // Nearest size first; within one size the best refresh rate, checked
    // only once the size is known to be the nearest, so that a near size
    // whose rates are all too high does not hide the others.
    long bestDistance = LONG_MAX;
    for (int i = 0; i < driver.modeCount; ++i) {
        const DDSURFACEDESC2& m = *driver.modes[i];
        if (static_cast<int>(m.ddpfPixelFormat.dwRGBBitCount) != bitDepth) continue;
        long distance = std::labs(static_cast<long>(m.dwWidth) - width) +
                        std::labs(static_cast<long>(m.dwHeight) - height);
        if (distance < bestDistance) bestDistance = distance;
    }
    if (bestDistance == LONG_MAX) return false;

    int chosen = -1, fallback = -1;
    long bestDifference = LONG_MAX;
    uint32_t lastWidth = 0, lastHeight = 0;
    for (int i = 0; i < driver.modeCount; ++i) {
        const DDSURFACEDESC2& m = *driver.modes[i];
        if (static_cast<int>(m.ddpfPixelFormat.dwRGBBitCount) != bitDepth) continue;
        long distance = std::labs(static_cast<long>(m.dwWidth) - width) +
                        std::labs(static_cast<long>(m.dwHeight) - height);
        if (distance != bestDistance) continue;
        // A later size of the same distance may take the place of an
        // earlier one: the rate search starts again for each size.
        if (m.dwWidth != lastWidth || m.dwHeight != lastHeight) {
            lastWidth = m.dwWidth;
            lastHeight = m.dwHeight;
            bestDifference = LONG_MAX;
            fallback = i;
        }
        long difference = static_cast<long>(refreshRate) - static_cast<long>(m.dwRefreshRate);
        if (difference < 0 && refreshRate != 0) continue;
        if (difference >= bestDifference) continue;
        bestDifference = difference;
        chosen = i;
    }
    bool atDefaultRate = refreshRate == 0;
    if (chosen < 0) {
        chosen = fallback;  // the nearest size, at the driver's default rate
        atDefaultRate = true;
    }
    out = *driver.modes[chosen];
    if (atDefaultRate) out.dwRefreshRate = 0;
    if (index) *index = chosen;
    return true;
}

CGameView::CGameView(CGame* game, int slot) : m_game(game), m_slot(slot) {
    m_displayMode.dwFlags = 0xffffffffu;
    if (!game) m_ownSettings = std::make_unique<SVideoSettings>();
    m_engine = new CE3DEngine();
}

SVideoSettings& CGameView::Settings() {
    return m_game ? m_game->Video(m_slot) : *m_ownSettings;
}

CGameView::~CGameView() {
    delete m_viewport;
    m_viewport = nullptr;
    // The engine deletes the screens it knows.
    delete m_engine;
    m_engine = nullptr;
    if (g_DisplayDriver) g_DisplayDriver = nullptr;
    g_DisplayMode = nullptr;
}

bool CGameView::ChooseDriverAndMode() {
    const SVideoSettings* slot = &Settings();
    m_width = slot->width;
    m_height = slot->height;
    m_windowed = slot->windowed;
    m_driver =
        GameView_ChooseDriver(m_engine->m_drivers, m_engine->m_driverCount, slot->driverName.GetText());
    g_DisplayDriver = m_driver;
    if (!m_driver) return false;
    if (m_windowed) {
        g_DisplayBitDepth = 0;
    } else {
        int index = -1;
        if (!GameView_ChooseMode(*m_driver, m_width, m_height, slot->bitDepth, slot->refreshRate,
                                 m_displayMode, &index)) {
            Print(m_game, "Could not find a suitable resolution / bitdepth");
            return false;
        }
        g_DisplayMode = m_driver->modes[index];
        g_DisplayBitDepth = static_cast<int32_t>(m_displayMode.ddpfPixelFormat.dwRGBBitCount);
    }
    m_hardware = slot->hardware;
    return true;
}

void CGameView::ApplyViewRect() {
    if (!m_viewport) return;
    // The device lets go of its viewports' cameras whenever the display
    // changes: the viewport renders the battlefield again.
    if (m_screen && m_screen->m_mainCamera) m_viewport->Attach(m_screen->m_mainCamera);
    m_viewport->SetRect(m_viewRect[0], m_viewRect[1], m_viewRect[2], m_viewRect[3]);
}

void CGameView::FocusLost() {
    // Only a full-screen display is given back; a window stays on the
    // desktop as it is. The mode comes back with the focus
    // (CGameScreen::ApplyPendingModeChange).
    if (!m_screen || !m_screen->m_ddraw || m_screen->m_windowed || !m_displayReady) return;
    m_screen->m_ddraw->RestoreDisplayMode();
}

void CGameView::ApplySceneSettings() {
    if (!m_viewport || !m_screen || !m_screen->m_mainCamera) return;
    for (int i = 0; i < 3; ++i) {
        m_viewport->m_ambientColor[i] = m_sceneAmbient[i];
        m_viewport->m_clearColor[i] = m_sceneBackground[i];
    }
    SE3DRenderParams& p = m_screen->m_mainCamera->m_params;
    p.texturesOn = m_render.textures != 0;
    p.alphaBlendingOn = m_render.alphaBlending != 0;
    p.antialiasingOn = m_render.antialiasing != 0;
    p.ditherOn = m_render.dithering != 0;
    p.maxLights = m_render.maxLights;
    p.maxMagFilter = static_cast<uint32_t>(m_render.magnification);
    p.maxMinFilter = static_cast<uint32_t>(m_render.minification);
    p.maxMipFilter = static_cast<uint32_t>(m_render.mipmap - 1);  // the parameter counts from 0
    p.maxFillMode = static_cast<uint32_t>(m_render.fillMode);
    p.maxShadeMode = static_cast<uint32_t>(m_render.shadeMode);
    if (CWorld* world = m_game ? m_game->World() : nullptr) {
        const CExplosionManager& light = world->Explosions();
        m_screen->SetSun(light.m_sunAngles, light.m_sunColour);
    }
}

void CGameView::RenderScene(float tickFraction, const int64_t* gameTime) {
    if (!m_viewport || !m_screen || !m_screen->m_mainCamera) return;
    m_screen->m_mainCamera->Scene()->SetRenderFraction(tickFraction);
    ApplySceneSettings();
    UpdateCamera();
    m_viewport->Render(gameTime);
}

bool CGameView::ChooseDisplay() {
    if (!ChooseDriverAndMode()) {
        // Full screen with no mode of the wanted depth still gets a window
        // of the wanted size rather than no display at all.
        if (m_windowed || !m_driver) return false;
        m_windowed = 1;
        g_DisplayBitDepth = 0;
        Settings().windowed = 1;
    }
    CDisplayWindow* window = g_pMainWindow ? g_pMainWindow->Window() : nullptr;
    CGameScreen* screen = new CGameScreen(m_game, this, window);
    if (screen->m_notCreated && !screen->m_ddraw) {
        if (m_game) m_game->ErrorBox("Engine->CreateFullScreen() Failed");
        Game_FatalExit(1);
    }
    if (!screen->Open()) {
        if (m_game) m_game->ErrorBox("Create Windowed mode failed ");
        Game_FatalExit(1);
    }
    if (screen->m_currentDevice) {
        m_viewport = new CE3DViewport(screen->m_currentDevice);
        ApplyViewRect();
    }
    m_roll = 0.0f;
    m_fieldOfView = 0.0f;
    if (m_game && m_game->Interface()) m_game->Interface()->ReleaseSurfaces();
    Zoom(kQuarterPi);
    m_displayReady = 1;
    if (m_game) m_game->SetVideoRestartPending(0);
    return true;
}

bool CGameView::ChangeDisplayMode() {
    if (m_modeChangeBlocked) return true;
    return Locked(m_game, [this] {
        m_modeChangeBlocked = 1;
        uint8_t wasReady = m_displayReady;
        m_displayReady = 0;
        if (!ChooseDriverAndMode()) {
            // The display as it was is still there and still usable.
            m_displayReady = wasReady;
            if (m_screen) {
                m_windowed = m_screen->m_windowed;
                m_width = m_screen->m_width;
                m_height = m_screen->m_height;
            }
            return false;
        }
        CGameScreen* screen = m_screen;
        if (!screen) return false;
        screen->m_texturesReloaded = false;
        const SVideoSettings& slot = Settings();
        bool textureChange =
            slot.textureDetail != screen->m_textureDetail || slot.textureQuality != screen->m_textureQuality;
        screen->m_textureDetail = slot.textureDetail;
        screen->m_textureQuality = slot.textureQuality;
        if (!screen->ApplyDisplayMode()) {
            if (m_game) m_game->ErrorBox("Create Windowed mode failed ");
            Game_FatalExit(1);
        }
        if (!screen->m_texturesReloaded && textureChange) {
            Progress_Push(m_game ? m_game->GetSystemText(kSysTextReloadingTextures) : "", 1);
            screen->ReloadTextures();
            Progress_Pop();
        }
        if (m_viewport && screen->m_currentDevice && m_viewport->m_device != screen->m_currentDevice) {
            delete m_viewport;
            m_viewport = nullptr;
        }
        if (!m_viewport && screen->m_currentDevice) m_viewport = new CE3DViewport(screen->m_currentDevice);
        m_viewRect[2] = screen->m_width;
        m_viewRect[3] = screen->m_height;
        for (int i = 0; i < 4; ++i) m_prevViewRect[i] = m_viewRect[i];
        ApplyViewRect();
        m_roll = 0.0f;
        m_fieldOfView = 0.0f;
        Zoom(kQuarterPi);
        // The option screens show the display now running.
        if (CInterface* ui = m_game ? m_game->Interface() : nullptr) {
            CSettingEntry* resolution = ui->m_settings ? ui->m_settings->m_resolutionEntry : nullptr;
            Settings_ApplyResolution(resolution);
            Settings_RebuildResolutionList(resolution);
        }
        if (m_game) {
            m_game->SetVideoRestartPending(0);
            if (m_game->Interface()) m_game->Interface()->ReleaseSurfaces();
        }
        m_displayReady = 1;
        return true;
    });
}

bool CGameView::Resize(int width, int height, int) {
    Locked(m_game, [&] {
        if (!m_displayReady || !m_windowed || !m_screen) return true;
        if (m_screen->SetWindowedMode(const_cast<SDirectDrawDesc*>(m_driver), m_screen->m_window, width,
                                      height, m_hardware != 0)) {
            m_viewRect[2] = m_screen->m_width;
            m_viewRect[3] = m_screen->m_height;
            for (int i = 0; i < 4; ++i) m_prevViewRect[i] = m_viewRect[i];
            ApplyViewRect();
            if (m_game && m_game->Interface()) {
                m_game->Interface()->ReleaseSurfaces();
                m_game->Interface()->m_redraw = 1;
            }
            if (m_game) m_game->Frame();
        } else {
            ChangeDisplayMode();
        }
        return true;
    });
    return true;
}

bool CGameView::SetupDisplay() {
    // The fonts of a display set up before are given up once (the compiled
    // fonts come again below; a font someone still holds stays theirs).
    if (m_screen) {
        for (CE3DFont* f = m_screen->m_fonts; f;) {
            CE3DFont* next = f->m_next;
            f->Release();
            f = next;
        }
    }
    if (m_game && m_game->InputManager()) m_game->InputManager()->RunScriptFile("Video.cfg", false, false);
    bool ok = m_displayReady ? ChangeDisplayMode() : ChooseDisplay();
    // Start-up cannot go on without a screen: the caller ends the game with
    // an error message (the console already says why).
    if (!m_displayReady) return false;
    if (m_screen && m_game) {
        // Glyphs are built in the game's character set, so each character
        // set keeps its own compiled fonts.
        CStrBuf path;
        path.Format("%s\\%d\\Fonts.cof", m_game->GetPath("CompiledFonts", ""),
                    (int)m_game->Variables().charSet);
        m_screen->LoadCompiledFonts(path.GetText());
    }
    return ok || m_displayReady;
}
