#include "app/GameScreen.h"

#include <cstdio>

#include "app/Game.h"
#include "app/GameView.h"
#include "core/SysUtil.h"
#include "e3d/BitmapSurface.h"
#include "e3d/Camera.h"
#include "e3d/Engine.h"
#include "e3d/Light.h"
#include "e3d/Material.h"
#include "e3d/Surface.h"
#include "e3d/SurfaceList.h"
#include "e3d/Texture.h"
#include "platform/display/Display.h"
#include "ui/Interface.h"

CGameScreen::CGameScreen(CGame* game, CGameView* view, CDisplayWindow* window)
    : CE3DScreen(view->m_engine, const_cast<SDirectDrawDesc*>(view->m_driver)),
      m_game(game),
      m_view(view),
      m_mainWindow(window) {
    m_nodeType = kGameScreenNodeType;
    m_textureDetail = view->Settings().textureDetail;
    m_textureQuality = view->Settings().textureQuality;
    view->m_screen = this;
    if (game) game->SetGameScreen(this);
    m_width = view->m_width;
    m_height = view->m_height;
    // The texture cache lives below the game's root.
    if (game && !game->RootDir().IsEmpty()) {
        m_cacheFolder.Format("%s\\Cache", game->RootDir().GetText());
        CreateDirectoryPath(m_cacheFolder.GetText());
    }
    // The second scene first, then the battlefield's.
    m_secondCamera = new CE3DCamera(this);
    m_mainCamera = new CE3DCamera(this);
    SE3DRenderParams& p = m_mainCamera->m_params;
    p.ambient = 0x11111111;  // the viewport's ambient colour replaces it at the first render
    p.cullingOn = true;
    p.antialiasingOn = false;
    p.flags[3] = true;
    p.flags[6] = false;
    m_projectId = 1;
}

CGameScreen::~CGameScreen() {
    if (m_game && m_game->GameScreen() == this) m_game->SetGameScreen(nullptr);
    if (m_view && m_view->m_screen == this) m_view->m_screen = nullptr;
}

void CGameScreen::PlaceWindowed() {
    // The client area becomes exactly the wanted size, the window centred
    // on its display.
    m_width = m_view->m_width;
    m_height = m_view->m_height;
    const SDirectDrawDesc* driver = m_view->m_driver;
    if (m_mainWindow)
        m_mainWindow->SetWindowed(driver && driver->monitor > 0 ? driver->monitor - 1 : 0, m_width, m_height);
    int32_t rect[4] = {0, 0, m_width, m_height};
    for (int i = 0; i < 4; ++i) m_view->m_viewRect[i] = m_view->m_prevViewRect[i] = rect[i];
    Display_ShowCursor(false);
}

bool CGameScreen::OpenWindowed() {
    PlaceWindowed();
    return SetWindowedMode(const_cast<SDirectDrawDesc*>(m_view->m_driver), m_mainWindow, m_view->m_width,
                           m_view->m_height, m_view->m_hardware != 0);
}

bool CGameScreen::Open() {
    bool ok;
    if (m_view->m_windowed) {
        ok = OpenWindowed();
    } else {
        if (m_mainWindow) m_mainWindow->Raise();
        int32_t rect[4] = {0, 0, m_view->m_width, m_view->m_height};
        for (int i = 0; i < 4; ++i) m_view->m_viewRect[i] = m_view->m_prevViewRect[i] = rect[i];
        ok = SetFullscreenMode(const_cast<SDirectDrawDesc*>(m_view->m_driver), m_mainWindow,
                               m_view->m_displayMode, m_view->m_hardware != 0);
        if (!ok) {
            ViewDataBox("Fullscreen mode failed", 0);
            m_view->m_windowed = 1;
            ok = OpenWindowed();
        }
    }
    if (ok) {
        m_window = m_mainWindow;
        CreateDefaults();
        CreateSun();
    }
    return ok;
}

namespace {

// "!None": an 8 x 8 texture with no image to load; its surfaces are made
// white again whenever textures reload.
class CNoImageTexture : public CE3DTexture {
public:
    explicit CNoImageTexture(CE3DScreen* screen) : CE3DTexture(screen) {}
    bool LoadImage() override {
        CreateSurfaces(8, 8, SSurfacePixelFormat::Xrgb8888());
        if (CSoftSurface* s = Staging()) s->ColorFill(nullptr, 0xFFFFFF);
        return FillFromStaging();
    }
    const char* TextureName() const override { return "!None"; }
};

}  // namespace

void CGameScreen::CreateDefaults() {
    if (!m_gameDefaultMaterial) m_gameDefaultMaterial = new CE3DMaterial(this, "!Default");
    if (!m_gameDefaultTexture) {
        m_gameDefaultTexture = new CNoImageTexture(this);
        m_gameDefaultTexture->LoadImage();
        m_defaultTexture = m_gameDefaultTexture;
    }
}

void CGameScreen::CreateSun() {
    if (m_sun || !m_mainCamera) return;
    // White sunlight from high up at a slant, ahead of every other light.
    m_sun = new CE3DLight(m_mainCamera);
    m_sun->SetType(D3DLIGHT_DIRECTIONAL);
    m_sun->SetColor(1.0f, 1.0f, 1.0f);
    m_sun->SetAttenuation(0.0f, 1.0f, 0.0f);
    m_sun->SetRange(20.5f);
    m_sun->SetPosition(3.5f, 0.5f, 2.5f);
    const float quarter = 0.7853982f;
    m_sun->AlignTo(quarter, quarter, quarter);
    m_sun->SetPriority(0);
    m_sun->UpdateDirection();
    m_sun->Invalidate();
    m_sun->Message(kFrameMsgActivated, nullptr);
    m_explosionLight = new CE3DLight(m_mainCamera);
    m_explosionLight->SetType(D3DLIGHT_POINT);
    m_explosionLight->SetColor(0.0f, 0.0f, 0.0f);
    m_explosionLight->SetAttenuation(0.0f, 0.15f, 0.0f);
    m_explosionLight->SetRange(25.0f);
    m_explosionLight->SetPriority(4);
    m_explosionLight->Invalidate();
    m_explosionLight->Message(kFrameMsgActivated, nullptr);
}

void CGameScreen::SetExplosionLight(const float position[3], const int32_t colour[3]) {
    if (!m_explosionLight) return;
    const float scale = 0.00390625f;  // 1/256
    m_explosionLight->SetColor(float(colour[0]) * scale, float(colour[1]) * scale, float(colour[2]) * scale);
    m_explosionLight->SetPosition(position[0], position[1], position[2]);
    m_explosionLight->ResetMatrixHistory();  // where it is now, not blended between ticks
    m_explosionLight->UpdateDirection();
    m_explosionLight->Invalidate();
}

void CGameScreen::SetSun(const float angles[3], const int32_t colour[3]) {
    if (!m_sun) return;
    bool same = true;
    for (int i = 0; i < 3; ++i) same = same && angles[i] == m_sunAngles[i] && colour[i] == m_sunColour[i];
    if (same) return;
    for (int i = 0; i < 3; ++i) {
        m_sunAngles[i] = angles[i];
        m_sunColour[i] = colour[i];
    }
    m_sun->SetColor(colour[0] / 256.0f, colour[1] / 256.0f, colour[2] / 256.0f);
    m_sun->AlignTo(angles[0], angles[1], angles[2]);
    m_sun->UpdateDirection();
    m_sun->Invalidate();
}

bool CGameScreen::ApplyDisplayMode() {
    if (m_game) m_game->SetModeSwitch(1);
    SDirectDrawDesc* driver = const_cast<SDirectDrawDesc*>(m_view->m_driver);
    bool ok;
    if (m_view->m_windowed) {
        ok = OpenWindowed();
        if (ok && m_backBuffer) m_backBuffer->ResetClip();
    } else {
        // The view rectangle keeps the size from before the switch until
        // the new mode is up.
        int32_t rect[4] = {0, 0, m_width, m_height};
        for (int i = 0; i < 4; ++i) m_view->m_viewRect[i] = m_view->m_prevViewRect[i] = rect[i];
        ok = SetFullscreenMode(driver, m_mainWindow, m_view->m_displayMode, m_view->m_hardware != 0) ||
             SetFullscreenMode(driver, m_mainWindow, m_view->m_displayMode, false);
        if (!ok) {
            ViewDataBox("Fullscreen mode failed", 0);
            m_view->m_windowed = 1;
            ok = OpenWindowed();
        }
    }
    if (ok && m_mainWindow) m_mainWindow->Raise();
    if (m_game) m_game->SetModeSwitch(0);
    if (ok) m_window = m_mainWindow;
    return ok;
}

void CGameScreen::ApplyPendingModeChange() {
    // The display is ours again once the window is back in front with the
    // focus; until then frames run on and the check repeats.
    if (!m_surfacesLost || !m_ddraw) return;
    if (m_ddraw->TestCooperativeLevel() != D3D_OK) return;
    if (m_game && !m_game->HasFocus()) return;
    // A mode change already made this frame waits for the next one; the
    // flag stays until the mode was really applied again.
    if (m_view->m_modeChangeBlocked) return;
    if (m_view->ChangeDisplayMode()) m_surfacesLost = false;
}

CBitmapSurface* LoadBitmapSurface(const char* name) {
    CGame* game = g_pGame;
    return game && game->GameScreen() ? CBitmapSurface_LoadShared(game->GameScreen(), name) : nullptr;
}

void CGameScreen::ReloadPictures() {
    if (!m_game || !m_game->StartupDone()) return;
    auto plain = [this](CE3DSurface* s) {
        return s->m_type == kE3DSurfaceTypePlain && s != m_primary && s != m_backBuffer && s != m_zBuffer &&
               s->m_width > 0 && s->m_height > 0;
    };
    int count = 0;
    for (CE3DSurface* s = m_surfaces; s; s = s->m_next)
        if (s->m_type == kE3DSurfaceTypePicture || plain(s)) ++count;
    const SE3DGameHooks& hooks = E3D_GameHooks();
    if (hooks.progressSetText)
        hooks.progressSetText(hooks.systemText ? hooks.systemText(kSysTextProgressImages) : "",
                              hooks.systemText ? hooks.systemText(kSysTextInitializing) : "", count);
    // Pictures reload themselves; plain surfaces that the game made itself
    // are created again at their size and memory kind, with their colour key.
    for (CE3DSurface* s = m_surfaces; s; s = s->m_next) {
        if (s->m_type == kE3DSurfaceTypePicture) {
            CBitmapSurface* picture = static_cast<CBitmapSurface*>(s);
            picture->Reload();
            if (hooks.progressStep) hooks.progressStep(picture->m_name.GetText());
            continue;
        }
        if (!plain(s)) continue;
        if (s->m_width <= 0 || s->m_height <= 0) continue;
        bool keyed = s->m_colorKeySet;
        uint8_t r = s->m_keyR, g = s->m_keyG, b = s->m_keyB;
        s->Create(s->m_width, s->m_height, s->m_inSystemMemory);
        if (keyed) s->SetColorKey(r, g, b);
    }
    if (m_game->Interface()) {
        m_game->Interface()->LoadConsoleBackground();
        m_game->Interface()->m_redraw = 1;
    }
}
