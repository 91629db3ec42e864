// The game view: the game's window onto the 3D world.
//
// CGame creates one CGameView at start-up and keeps it for the life of the
// process. It owns the engine root, turns the video settings (slot 0 of
// CGame::m_video, filled by Video.cfg) into a display driver, a display mode
// and a device choice, creates the game screen and the one viewport, applies
// mode changes at run time (at most one per frame) and follows window
// resizes. It also keeps the game camera: eye, target, roll, field of view
// and zoom, a camera shake, and a table of the ground area the camera sees at
// each height, which the render frame uses to cull objects cheaply.
//
// A display choice that finds no usable full-screen mode falls back to a
// window of the wanted size; only when even that cannot be opened does the
// game end, with an error message.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>

#include "platform/d3d/D3DTypes.h"

class CGame;
class CGameScreen;
class CCommandInterpreter;
class CE3DEngine;
class CE3DViewport;
struct SDirectDrawDesc;
struct SVideoSettings;

// The ground seen at one height level: min x, max x, min z, max z.
struct SVisibleGround {
    float minX, maxX, minZ, maxZ;
};

// The driver of a slot: the first whose name matches (case-insensitive),
// else the first of the list; null when there is none.
const SDirectDrawDesc* GameView_ChooseDriver(SDirectDrawDesc* const* drivers, int count, const char* name);
// The full-screen mode for a slot on a driver: the nearest size with the
// slot's bit depth, within it the highest refresh rate not above the wanted
// one (the highest of all for 0). When the nearest size has no mode within
// the wanted rate, the nearest size is taken at the driver's default rate.
// A wanted rate of 0 stores 0 in the result. False when no mode has the
// depth. index receives the mode's place in the driver's list.
bool GameView_ChooseMode(const SDirectDrawDesc& driver, int width, int height, int bitDepth, int refreshRate,
                         DDSURFACEDESC2& out, int* index);

class CGameView {
public:
    CGameView(CGame* game, int slot);
    ~CGameView();
    CGameView(const CGameView&) = delete;
    CGameView& operator=(const CGameView&) = delete;

    bool SetupDisplay();
    bool ChooseDisplay();
    bool ChangeDisplayMode();
    bool Resize(int width, int height, int unused);
    bool Zoom(float amount);
    bool SetFieldOfView(float radians);
    bool UpdateCamera();
    // Places the camera: its eye, the point it looks at, its field of view
    // (radians); UpdateCamera then takes it.
    void PlaceCamera(const float* eye, const float* target, float fieldOfView);
    bool UpdateVisibleGround();
    bool ContainsPoint(float x, float z) const;
    // The direction of the view ray through a point of the view rectangle.
    void ScreenRay(float x, float y, float direction[3]) const;
    // The ray under the cursor, for picking and the map editor's drags.
    void UpdateCursorRay(float x, float y);
    // The video settings in use: the game's slot, or the view's own when it
    // runs without a game (tests).
    SVideoSettings& Settings();
    // The window lost the focus: a full-screen display gives the desktop its
    // own mode back until the game is the active window again.
    void FocusLost();
    // Draws the battlefield into the back buffer: the scene blended by the
    // fraction of the tick period that has passed, through the camera as
    // placed now.
    // gameTime: the game time drawn (null: the engine's own clock).
    void RenderScene(float tickFraction, const int64_t* gameTime = nullptr);
    // Edge scrolling from the input manager: moves eye and target on the
    // ground by velocity times the frame time.
    void ScrollCamera(float vx, float vz, float arrowX, float arrowZ, float frameTime);
    // An explosion at the ground distance from the camera's focus: the shake
    // grows by amount, less with the distance, nothing from the shake range
    // on, never above the shake's roof.
    void AddShake(float amount, float distance);
    // Registers the view area's settings the game view holds (the camera's
    // shake, the clipping planes, the scene's ambient light and background
    // colour, the render options), bound to its own values: those named, in
    // that order, or all of them.
    void RegisterViewSettings(CCommandInterpreter* ip, std::initializer_list<const char*> names = {});
    // Hands the scene's colours and render options to the viewport and the
    // battlefield's camera, and the sun of the world's light settings to the
    // screen (every render, before the scene is drawn).
    void ApplySceneSettings();

    CGame* m_game;
    CE3DViewport* m_viewport = nullptr;
    CE3DEngine* m_engine = nullptr;
    CGameScreen* m_screen = nullptr;  // owned by the engine
    float m_eye[3] = {0, 0, 0};
    float m_target[3] = {0, 0, 0};
    float m_roll = 0.0f;
    float m_reserved = 1.0f;
    float m_fieldOfView = 0.0f;
    uint8_t m_modeChangeBlocked = 1;  // cleared by CGame::Frame at the end of every frame
    float m_shake = -1.0f;
    float m_shakeDecay = 0.8f;
    float m_shakeLimit = 2.0f;
    float m_shakeRange = 50.0f;
    int32_t m_viewRect[4] = {0, 0, 640, 480};  // x, y, width, height
    int32_t m_prevViewRect[4] = {0, 0, 640, 480};
    int32_t m_reserved2 = 0;
    int32_t m_width = 640, m_height = 480;  // requested by the settings
    uint8_t m_windowed = 1;
    uint8_t m_additiveZoom = 1;
    DDSURFACEDESC2 m_displayMode;  // dwFlags 0xffffffff while none was found
    const SDirectDrawDesc* m_driver = nullptr;
    uint8_t m_hardware = 1;
    SVisibleGround m_ground[256] = {};
    int32_t m_viewOffsetX = 0, m_viewOffsetY = 0;
    float m_nearPlane = 2.0f;
    float m_farMargin = 222.0f;
    int32_t m_slot;
    uint8_t m_displayReady = 0;
    float m_arrowX = 0.0f, m_arrowZ = 0.0f;  // edge-scroll arrows (plus or minus 0.7)
    float m_cursorRayOrigin[3] = {0, 0, 0};
    float m_cursorRayDirection[3] = {0, 0, 1};
    // The scene's ambient light and background colour (red, green, blue, 0
    // to 255 each: scene_ambinet_ and scene_bgcolor_).
    int32_t m_sceneAmbient[3] = {25, 25, 25};
    int32_t m_sceneBackground[3] = {0, 0, 0};
    // The render options (the cg_ rows, Visual.cfg): the most the device may
    // use in the battlefield's passes. The filters, fill and shade modes are
    // the device's numbers (1 point, 2 linear, ...; 1 point, 2 wire, 3
    // solid; 1 flat, 2 Gouraud, 3 Phong).
    struct SRenderOptions {
        uint8_t textures = 1;
        uint8_t alphaBlending = 1;
        uint8_t antialiasing = 0;
        uint8_t dithering = 1;
        int32_t maxLights = 8;
        int32_t magnification = 5;
        int32_t minification = 3;
        int32_t mipmap = 3;
        int32_t fillMode = 3;
        int32_t shadeMode = 2;
    } m_render;

private:
    std::unique_ptr<SVideoSettings> m_ownSettings;
    // The driver and mode choice shared by the first set-up and mode changes.
    bool ChooseDriverAndMode();
    void RefreshProjection();
    void ApplyViewRect();
};

// The last display choice, for the option screens.
extern const SDirectDrawDesc* g_DisplayDriver;
extern const DDSURFACEDESC2* g_DisplayMode;
extern int32_t g_DisplayBitDepth;

// Enters the video commands (Vid_Resolution, Vid_Restart ...); once only:
// a second call finds them there and does nothing.
void RegisterVideoCommands(CCommandInterpreter* interpreter);
