// The screen's life: construction on a driver, the registries, presenting,
// restoring lost surfaces, reloading after a mode change, destruction.
#include "e3d/Screen.h"

#include <cstring>

#include "core/ListLinks.h"
#include "e3d/Camera.h"
#include "e3d/Device.h"
#include "e3d/Engine.h"
#include "e3d/Font.h"
#include "e3d/Material.h"
#include "e3d/Surface.h"
#include "e3d/SurfaceList.h"
#include "e3d/Texture.h"
#include "e3d/Video.h"
#include "platform/display/Display.h"

bool g_E3DScreenRestyling = false;

namespace {
SE3DGameHooks g_hooks;
const char kScreenContext[] = "CE3DScreen::CE3DScreen (CE3DEngine *Engine,SDirectDrawDesc *DirectDrawDesc)";
}  // namespace

void E3D_SetGameHooks(const SE3DGameHooks& hooks) {
    g_hooks = hooks;
}
const SE3DGameHooks& E3D_GameHooks() {
    return g_hooks;
}

// ---------------------------------------------------------------------------
// What surfaces need of their screen.

using SSurfaceLinks = SListLinks<CE3DSurface, &CE3DSurface::m_next, &CE3DSurface::m_prev>;

void E3DScreen_LinkSurface(CE3DScreen* screen, CE3DSurface* surface) {
    SSurfaceLinks::Push(screen->m_surfaces, surface);
    ++screen->m_surfaceCount;
}

void E3DScreen_UnlinkSurface(CE3DScreen* screen, CE3DSurface* surface) {
    SSurfaceLinks::Unlink(screen->m_surfaces, surface);
    --screen->m_surfaceCount;
    // A surface the display made is forgotten by the display before it goes.
    if (surface->m_surface && screen->m_ddraw) screen->m_ddraw->ForgetSurface(surface->m_surface);
}

SSurfacePixelFormat E3DScreen_PlainSurfaceFormat(CE3DScreen* screen) {
    if (screen->m_backBuffer && screen->m_backBuffer->m_surface)
        return screen->m_backBuffer->m_surface->Format();
    return D3D_DisplayFormat(screen->m_displayBits);
}

void E3DSurface_ReportError(CE3DScreen* screen, int32_t result) {
    E3DErrorText(screen ? screen->m_engine : nullptr, result);
}

// ---------------------------------------------------------------------------

CE3DScreen::CE3DScreen(CE3DEngine* engine, SDirectDrawDesc* driver) : m_engine(engine), m_driver(driver) {
    m_primary = new CE3DSurface(this);
    m_backBuffer = new CE3DSurface(this);
    m_zBuffer = new CE3DSurface(this);
    if (!CreateDirectDraw(driver, "DirectDrawCreateEx Failed")) return;
    m_notCreated = false;
    m_cacheFolder = "C:\\Temp";
    if (m_engine) m_engine->AddScreen(this);
    m_surfacesLost = false;
}

bool CE3DScreen::CreateDirectDraw(SDirectDrawDesc* driver, const char* failText) {
    const SD3DGuid* guid = driver && !driver->primary ? &driver->guid : nullptr;
    IDDraw* dd = nullptr;
    D3DResult r = DDraw_Factory()->CreateDirectDraw(guid, &dd);
    if (r || !dd) {
        E3DErrorText(m_engine, r ? r : DDERR_GENERIC);
        E3DTrace(m_engine, failText, kScreenContext);
        m_ddraw = nullptr;
        return false;
    }
    m_ddraw = dd;
    m_caps = DDCAPS();
    r = m_ddraw->GetCaps(&m_caps);
    if (r) E3DErrorText(m_engine, r);
    return true;
}

void CE3DScreen::RecreateDirectDraw(SDirectDrawDesc* driver) {
    delete m_ddraw;
    m_ddraw = nullptr;
    m_driver = driver;
    CreateDirectDraw(driver, "DirectDrawCreate Failed");
}

CE3DScreen::~CE3DScreen() {
    // Videos first: the picture surfaces that hold some leave them to this.
    m_destroying = true;
    E3DVideo_DestroyAll(this);
    while (m_fonts) delete m_fonts;
    m_fontCount = 0;
    // Cameras with their scenes first: the meshes' vertex lists name the
    // materials, and the devices' viewports name the cameras.
    while (m_cameraCount > 0) delete m_cameras[m_cameraCount - 1];
    while (m_materials) delete m_materials;
    while (m_deviceCount > 0) delete m_devices[m_deviceCount - 1];
    delete[] m_devices;
    m_devices = nullptr;
    delete m_zBuffer;
    delete m_backBuffer;
    delete m_primary;
    m_zBuffer = m_backBuffer = m_primary = nullptr;
    while (m_surfaces) delete m_surfaces;
    delete m_d3d;
    m_d3d = nullptr;
    if (m_ddraw) {
        if (m_hasClipper) m_ddraw->ReleaseClipper();
        m_ddraw->RestoreDisplayMode();
        delete m_ddraw;
        m_ddraw = nullptr;
    }
    if (m_engine) m_engine->RemoveScreen(this);
}

void CE3DScreen::AddDevice(CE3DDevice* device) {
    E3DList_Append(m_devices, m_deviceCount, device);
}

void CE3DScreen::RemoveDevice(CE3DDevice* device) {
    if (m_deviceCount <= 0) {
        // The list and the count disagree: report it and leave the list alone
        // rather than end the program.
        E3DTrace(m_engine, "Hmm number of devices does not match value assigned by god", "Error");
        return;
    }
    for (int32_t i = 0; i < m_deviceCount; ++i)
        if (m_devices[i] == device) {
            for (int32_t j = i + 1; j < m_deviceCount; ++j) m_devices[j - 1] = m_devices[j];
            --m_deviceCount;
            if (m_deviceCount == 0) {
                delete[] m_devices;
                m_devices = nullptr;
            }
            return;
        }
    E3DTrace(m_engine, "Hmm number of devices does not match value assigned by god", "Error");
}

CSoftSurface* CE3DScreen::BackBufferSurface() const {
    return m_backBuffer ? m_backBuffer->m_surface : nullptr;
}
CSoftSurface* CE3DScreen::ZBufferSurface() const {
    return m_zBuffer ? m_zBuffer->m_surface : nullptr;
}

void CE3DScreen::ReleaseInto(CE3DSurface* object) {
    if (!object || !object->m_surface) return;
    if (m_ddraw) m_ddraw->ForgetSurface(object->m_surface);
    object->ReleaseSurface();
}

D3DResult CE3DScreen::CreateInto(CE3DSurface* object, const SDDSurfaceDesc& desc) {
    ReleaseInto(object);
    if (!m_ddraw) return DDERR_NOTINITIALIZED;
    CSoftSurface* s = nullptr;
    D3DResult r = m_ddraw->CreateSurface(desc, &s);
    if (r || !s) return r ? r : DDERR_GENERIC;
    object->Attach(s);
    object->m_created = true;
    object->m_inSystemMemory = (desc.caps & kCapsSystemMemory) != 0;
    return D3D_OK;
}

void CE3DScreen::Present(int* pointX, int* pointY) {
    if (!m_ddraw || !m_primary->m_surface || !m_backBuffer->m_surface) return;
    if (m_windowed) {
        int cw = 0, ch = 0, cx = 0, cy = 0;
        if (m_window) {
            m_window->GetClientSize(&cw, &ch);
            m_window->GetClientPosition(&cx, &cy);
        }
        int w = cw < m_backBuffer->m_width ? cw : m_backBuffer->m_width;
        int h = ch < m_backBuffer->m_height ? ch : m_backBuffer->m_height;
        if (pointX) *pointX = cx;
        if (pointY) *pointY = cy;
        SSurfaceRect dest{cx, cy, cx + w, cy + h};
        SSurfaceRect src{0, 0, w, h};
        D3DResult r = m_ddraw->Blt(m_primary->m_surface, dest, m_backBuffer->m_surface, src);
        if (r == DDERR_SURFACELOST) {
            m_surfacesLost = true;
            m_primary->m_surface->Restore();
        } else if (r) {
            E3DErrorText(m_engine, r);
        }
    } else {
        if (pointX) *pointX = 0;
        if (pointY) *pointY = 0;
        D3DResult r = m_ddraw->Flip(m_primary->m_surface);
        if (r == DDERR_SURFACELOST) {
            m_surfacesLost = true;
            RestoreSurfaces();
        } else if (r) {
            E3DErrorText(m_engine, r);
        }
    }
}

void CE3DScreen::RestoreSurfaces() {
    auto restore = [](CE3DSurface* s) {
        if (s && s->m_surface && s->m_surface->IsLost() == DDERR_SURFACELOST) s->m_surface->Restore();
    };
    restore(m_primary);
    restore(m_backBuffer);
    restore(m_zBuffer);
    for (CE3DSurface* s = m_surfaces; s; s = s->m_next)
        if (s != m_primary && s != m_backBuffer && s != m_zBuffer) restore(s);
}

void CE3DScreen::ReloadTextures() {
    m_texturesReloaded = true;
    if (g_hooks.progressSetText) g_hooks.progressSetText("Textures", "Initializing", m_textureCount);
    for (CE3DTexture* t = m_textures; t; t = t->m_nextTexture) {
        t->LoadImage();
        const char* name = t->TextureName();
        if (g_hooks.progressStep) g_hooks.progressStep(name ? name : "Unnamed texture");
    }
}

void CE3DScreen::ReloadAll() {
    const char* title = g_hooks.systemText ? g_hooks.systemText(kSysTextReloadingImages) : "";
    if (g_hooks.progressPush) g_hooks.progressPush(title ? title : "", 2);
    ReloadPictures();
    ReloadTextures();
    if (g_hooks.progressPop) g_hooks.progressPop();
}
