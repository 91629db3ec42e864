// The game screen: the game's display.
//
// CGameScreen is the engine's screen (CE3DScreen) as the game uses it. The
// game view creates it on the chosen driver; on top of the engine screen it
// places and sizes the main window, opens the display full screen or in a
// window with the game's failure messages and fallbacks (full screen, then
// a software device during a mode switch, then a window, then a fatal
// error), switches the display mode on request, notices when the display
// comes back after it was lost (Alt+Tab away from full screen) and then
// applies the mode again, and after every mode change has the picture and
// plain surfaces re-created.
#pragma once

#include <cstdint>

#include "e3d/Screen.h"

class CGame;
class CGameView;
class CDisplayWindow;
class CE3DCamera;
class CE3DLight;
class CE3DMaterial;
class CE3DTexture;

class CBitmapSurface;

constexpr uint32_t kGameScreenNodeType = 0x102;
// System texts of the picture reload's progress.
constexpr int kSysTextProgressImages = 232;
constexpr int kSysTextInitializing = 16;

// The picture of that name (BMP, JPEG or a video by its extension), shared
// with every other user of the name; null when it cannot be loaded.
CBitmapSurface* LoadBitmapSurface(const char* name);

class CGameScreen : public CE3DScreen {
public:
    // Constructs the engine screen on the view's driver; the display is
    // opened by Open.
    CGameScreen(CGame* game, CGameView* view, CDisplayWindow* window);
    ~CGameScreen() override;

    // The first opening: a window, or full screen with a window as the
    // fallback. False when not even a window could be had.
    bool Open();
    // The mode switch of CGameView::ChangeDisplayMode. False when no display
    // could be had at all (the caller ends the game).
    bool ApplyDisplayMode();
    // Every frame: re-applies the mode once the lost display is ours again.
    void ApplyPendingModeChange();
    void ReloadPictures() override;

    CGame* m_game;
    CGameView* m_view;
    CDisplayWindow* m_mainWindow;
    uint32_t m_reserved3[2] = {0, 0};
    uint32_t m_reserved4 = 0;
    uint16_t m_projectId = 0;  // the id set new game textures take: 1 once constructed
    // The game's default material "!Default" (a missing material resolves to
    // it) and default texture "!None" (also the engine screen's), made once
    // the display is first open; the screen's registries own them.
    CE3DMaterial* m_gameDefaultMaterial = nullptr;
    CE3DTexture* m_gameDefaultTexture = nullptr;
    // The scenes: the battlefield (the view's viewport renders it) and a
    // second one the game world keeps; both owned by the engine screen.
    CE3DCamera* m_mainCamera = nullptr;
    CE3DCamera* m_secondCamera = nullptr;
    CE3DLight* m_sun = nullptr;  // the battlefield's light, made once the display is open
    // Turns the sun to the angles (heading, pitch and a third, radians) and
    // gives it the colour (256 full strength per component); nothing when
    // it already has them.
    void SetSun(const float angles[3], const int32_t colour[3]);
    // The explosion light: a point light that the newest explosion's flash
    // gives its place and colour (0 to 255 a component) every render frame.
    CE3DLight* m_explosionLight = nullptr;
    void SetExplosionLight(const float position[3], const int32_t colour[3]);

private:
    float m_sunAngles[3] = {0.7853982f, 0.7853982f, 0.7853982f};
    int32_t m_sunColour[3] = {256, 256, 256};

    void PlaceWindowed();
    bool OpenWindowed();
    void CreateDefaults();
    void CreateSun();
};
