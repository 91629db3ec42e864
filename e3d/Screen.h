// CE3DScreen: the engine's display. One DirectDraw-shaped object for one
// display driver, the window it draws into (full screen with a flipping chain,
// or windowed with a back buffer shown in the client area), a 16-bit Z-buffer,
// Direct3D with the driver's devices and one current device, and the
// registries of what lives on the display. It creates and re-creates every
// display object when the mode changes, falling back step by step when a mode
// or device cannot be had, presents each frame and restores lost surfaces.
#pragma once

#include <cstdint>

#include "core/StrBuf.h"
#include "platform/d3d/Direct3D.h"

class CE3DEngine;
class CE3DDevice;
class CE3DSurface;
class CE3DFont;
class CE3DCamera;
class CE3DVideo;
class CBitmapSurface;
class CE3DMaterial;
class CE3DTexture;
class CDisplayWindow;
struct SDirectDrawDesc;

// Set while the screen restyles the main window: the window's size and paint
// handlers do nothing meanwhile.
extern bool g_E3DScreenRestyling;

// What the engine asks of the game while it reloads after a mode change (the
// loading-progress stack and the system texts live in the game). Every hook
// may be null.
struct SE3DGameHooks {
    void (*progressPush)(const char* title, int steps) = nullptr;
    void (*progressStep)(const char* text) = nullptr;
    void (*progressSetText)(const char* title, const char* text, int steps) = nullptr;
    void (*progressPop)() = nullptr;
    const char* (*systemText)(int index) = nullptr;
    void (*fatalExit)() = nullptr;  // the game's fatal exit; the screen then answers false
};
void E3D_SetGameHooks(const SE3DGameHooks& hooks);
const SE3DGameHooks& E3D_GameHooks();

constexpr int kSysTextReloadingImages = 244;

class CE3DScreen {
public:
    CE3DScreen(CE3DEngine* engine, SDirectDrawDesc* driver);
    virtual ~CE3DScreen();
    CE3DScreen(const CE3DScreen&) = delete;
    CE3DScreen& operator=(const CE3DScreen&) = delete;

    virtual void ReloadPictures() {}

    bool SetWindowedMode(SDirectDrawDesc* driver, CDisplayWindow* window, int width, int height,
                         bool wantHardware);
    bool SetFullscreenMode(SDirectDrawDesc* driver, CDisplayWindow* window, const DDSURFACEDESC2& mode,
                           bool wantHardware);
    // Shows the back buffer. The point receives the client area's top-left in
    // desktop coordinates when windowed, (0, 0) in full screen.
    void Present(int* pointX = nullptr, int* pointY = nullptr);
    void RestoreSurfaces();
    // Every texture loads its image again (after a display change), with a
    // progress step per texture.
    void ReloadTextures();
    void ReloadAll();

    // ---- materials and textures (e3d/ScreenLookups.cpp) ----
    // The first material whose name equals the text, without regard to case
    // (a material without a name compares as the empty text); null: none.
    CE3DMaterial* FindMaterialByName(const char* name) const;
    // The first material with the id pair whose first flag byte is clear;
    // otherwise the default material.
    CE3DMaterial* FindMaterial(uint32_t projectId, uint32_t materialId) const;
    // The first texture with the id pair whose skip byte is clear; otherwise
    // the default texture.
    CE3DTexture* FindTexture(uint32_t projectId, uint32_t textureId) const;
    // Every material looks its stages' textures up again.
    void RefreshMaterials();
    // ---- end of materials and textures ----

    // The steps of the ladders.
    bool CreateWindowedSurfaces(CDisplayWindow* window, int width, int height, bool systemMemory);
    bool ResizeWindowed(int width, int height);
    bool CreateFullscreenSurfaces(CDisplayWindow* window, const DDSURFACEDESC2& mode);
    void ReleaseSurfaces(SDirectDrawDesc* driver);
    void RecreateDirectDraw(SDirectDrawDesc* driver);
    CE3DDevice* ChooseDevice(bool wantHardware) const;
    void EnumDevices();

    // Device list bookkeeping (each device adds and removes itself).
    void AddDevice(CE3DDevice* device);
    void RemoveDevice(CE3DDevice* device);

    // The display's surfaces in platform form, for the device.
    CSoftSurface* BackBufferSurface() const;
    CSoftSurface* ZBufferSurface() const;
    // Creates a surface through DirectDraw into the surface object (released
    // first); the object takes the description and reads its pixel format.
    D3DResult CreateInto(CE3DSurface* object, const SDDSurfaceDesc& desc);
    void ReleaseInto(CE3DSurface* object);
    // The device's 16-bit Z-buffer at the screen's size, attached to the back
    // buffer: video memory for a hardware device, system memory otherwise.
    D3DResult CreateZBuffer(CE3DDevice* device);

    uint32_t m_nodeType = 1;
    bool m_windowed = false;
    bool m_notCreated = true;
    CE3DEngine* m_engine = nullptr;
    // ---- font registry (Surfaces and fonts) ----
    CE3DFont* m_fonts = nullptr;
    int32_t m_fontCount = 0;
    // The font with these six values (the name without regard to case), with
    // one more reference; built when the screen has none (e3d/ScreenFonts.cpp).
    CE3DFont* GetFont(const char* name, int32_t width, int32_t height, int32_t weight, int32_t attributes,
                      uint8_t outline);
    // Makes sure the screen has the font with these six values, built
    // through the installed faces' matching when it has none; such a font
    // belongs to the screen's set, as a compiled font does (the screen holds
    // its reference), so a later GetFont finds it. The fonts a game ships
    // with its interface are prepared this way.
    void PrepareFont(const char* name, int32_t width, int32_t height, int32_t weight, int32_t attributes,
                     uint8_t outline);
    // The compiled-fonts file: every font of the list, and back.
    void SaveCompiledFonts(const char* path);
    bool LoadCompiledFonts(const char* path);
    // ---- end of font registry ----
    uint32_t m_reserved1 = 0;
    CE3DDevice** m_devices = nullptr;
    int32_t m_deviceCount = 0;
    CE3DDevice* m_currentDevice = nullptr;
    CE3DCamera** m_cameras = nullptr;
    int32_t m_cameraCount = 0;
    uint32_t m_reserved2 = 0;
    bool m_texturesReloaded = false;
    CE3DVideo* m_videos = nullptr;
    int32_t m_videoCount = 0;
    CBitmapSurface* m_pictures = nullptr;  // the picture surfaces, shared by name
    bool m_destroying = false;             // set while the destructor runs
    CE3DMaterial* m_materials = nullptr;
    int32_t m_materialCount = 0;
    uint32_t m_materialNumber = 0;
    CE3DSurface* m_surfaces = nullptr;  // every surface, textures and pictures included
    int32_t m_surfaceCount = 0;
    CE3DTexture* m_textures = nullptr;
    int32_t m_textureCount = 0;
    uint32_t m_textureNumber = 0;
    CStrBuf m_cacheFolder;
    int32_t m_textureDetail = 0;
    int32_t m_textureQuality = 32;
    CE3DTexture* m_defaultTexture = nullptr;
    CE3DMaterial* m_defaultMaterial = nullptr;
    int32_t m_monitorLeft = 0, m_monitorTop = 0, m_monitorRight = 0, m_monitorBottom = 0;
    ID3D* m_d3d = nullptr;
    IDDraw* m_ddraw = nullptr;
    DDCAPS m_caps;
    SDirectDrawDesc* m_driver = nullptr;
    CE3DSurface* m_primary = nullptr;
    CE3DSurface* m_backBuffer = nullptr;
    CE3DSurface* m_zBuffer = nullptr;
    bool m_hasClipper = false;
    int32_t m_width = 0, m_height = 0;
    CDisplayWindow* m_window = nullptr;
    bool m_surfacesLost = false;
    uint32_t m_displayBits = 32;  // depth of the display mode: the surfaces' format

private:
    bool CreateDirectDraw(SDirectDrawDesc* driver, const char* failText);
    bool ActivateChosen(bool wantHardware);
    bool TryWindowed(SDirectDrawDesc* driver, int width, int height, bool systemMemory, bool release);
};
