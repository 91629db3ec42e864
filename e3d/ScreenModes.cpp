// The screen's display modes: creating the windowed and full-screen surfaces,
// choosing and activating a device, and the ladders that fall back from the
// asked size to 640 x 480, from video to system memory and from the wanted
// device kind to a software device.
#include <vector>

#include "e3d/Device.h"
#include "e3d/Engine.h"
#include "e3d/Screen.h"
#include "e3d/Surface.h"
#include "platform/display/Display.h"

namespace {
const char kScreenContext[] = "CE3DScreen::CE3DScreen (CE3DEngine *Engine,SDirectDrawDesc *DirectDrawDesc)";

void FatalExit() {
    if (E3D_GameHooks().fatalExit) E3D_GameHooks().fatalExit();
}
}  // namespace

void CE3DScreen::EnumDevices() {
    if (!m_d3d) return;
    std::vector<SD3DDeviceRecord> found;
    D3DResult r = m_d3d->EnumDevices(&found);
    if (r) {
        E3DErrorText(m_engine, r);
        return;
    }
    for (const SD3DDeviceRecord& rec : found) new CE3DDevice(this, rec);  // appends itself
}

void CE3DScreen::ReleaseSurfaces(SDirectDrawDesc* driver) {
    if (m_currentDevice) m_currentDevice->Release();
    if (m_ddraw && m_hasClipper) m_ddraw->ReleaseClipper();
    m_hasClipper = false;
    ReleaseInto(m_zBuffer);
    ReleaseInto(m_backBuffer);
    for (CE3DSurface* s = m_surfaces; s; s = s->m_next)
        if (s != m_primary && s != m_backBuffer && s != m_zBuffer) ReleaseInto(s);
    ReleaseInto(m_primary);
    delete m_d3d;
    m_d3d = nullptr;
    if (driver) RecreateDirectDraw(driver);
}

bool CE3DScreen::CreateWindowedSurfaces(CDisplayWindow* window, int width, int height, bool systemMemory) {
    if (m_d3d) m_d3d->EvictManagedTextures();
    if (width < 1 || height < 1 || !m_ddraw) return false;
    // The restyling flag is cleared on every way out: left set, the main window
    // would ignore its size and paint messages for good.
    g_E3DScreenRestyling = true;
    struct SClear {
        ~SClear() { g_E3DScreenRestyling = false; }
    } clearOnExit;
    int display = m_driver && m_driver->monitor > 0 ? m_driver->monitor - 1 : 0;
    if (window) {
        window->SetWindowed(display, width, height);
        window->SetTitle("Tessarak");
    }
    m_monitorLeft = m_monitorTop = 0;
    int dw = 0, dh = 0;
    if (Display_GetBounds(display, &m_monitorLeft, &m_monitorTop, &dw, &dh)) {
        m_monitorRight = m_monitorLeft + dw;
        m_monitorBottom = m_monitorTop + dh;
    } else {
        m_monitorRight = width;
        m_monitorBottom = height;
    }
    m_window = window;
    m_windowed = true;
    m_displayBits = 32;
    m_ddraw->SetCooperativeLevel(window, DDSCL_NORMAL | DDSCL_MULTITHREADED | DDSCL_FPUSETUP);

    SDDSurfaceDesc pd;
    pd.flags = kDescCaps;
    pd.caps = kCapsPrimary;
    if (D3DResult r = CreateInto(m_primary, pd)) {
        E3DErrorText(m_engine, r);
        return false;
    }
    SDDSurfaceDesc bd;
    bd.flags = kDescCaps | kDescHeight | kDescWidth;
    bd.width = uint32_t(width);
    bd.height = uint32_t(height);
    bd.caps = kCapsOffscreenPlain | kCaps3DDevice | (systemMemory ? kCapsSystemMemory : kCapsVideoMemory);
    D3DResult r = CreateInto(m_backBuffer, bd);
    if (r == DDERR_OUTOFVIDEOMEMORY && !systemMemory) {
        bd.caps = kCapsOffscreenPlain | kCaps3DDevice | kCapsSystemMemory;
        r = CreateInto(m_backBuffer, bd);
    }
    if (r) {
        E3DErrorText(m_engine, r);
        return false;
    }
    m_backBuffer->ReadPixelFormat();
    m_backBuffer->RefreshSize();

    r = m_ddraw->CreateClipper(window);
    if (r) {
        E3DTrace(m_engine, "Failed CreateClipper", "3D Engine");
        FatalExit();
        return false;
    }
    m_hasClipper = true;
    m_width = width;
    m_height = height;
    delete m_d3d;
    m_d3d = nullptr;
    r = m_ddraw->QueryDirect3D(&m_d3d);
    if (r || !m_d3d) {
        m_d3d = nullptr;
        E3DTrace(m_engine, "Query for Direct3D3 failed. Do you have directX 6.0 installed?", "3D Engine");
        FatalExit();
        return false;
    }
    if (m_deviceCount == 0) EnumDevices();
    if (window) window->Raise();
    m_surfacesLost = false;
    return true;
}

bool CE3DScreen::CreateFullscreenSurfaces(CDisplayWindow* window, const DDSURFACEDESC2& mode) {
    if (m_d3d) m_d3d->EvictManagedTextures();
    ReleaseInto(m_primary);
    ReleaseInto(m_backBuffer);
    if (!m_ddraw || mode.dwWidth < 1 || mode.dwHeight < 1) return false;
    m_windowed = false;
    if (window) window->SetTitle("Tessarak");
    m_window = window;
    m_ddraw->SetCooperativeLevel(window,
                                 DDSCL_FULLSCREEN | DDSCL_EXCLUSIVE | DDSCL_MULTITHREADED | DDSCL_FPUSETUP);
    uint32_t bits = mode.ddpfPixelFormat.dwRGBBitCount ? mode.ddpfPixelFormat.dwRGBBitCount : 32;
    D3DResult r = m_ddraw->SetDisplayMode(mode.dwWidth, mode.dwHeight, bits, mode.dwRefreshRate);
    if (r) {
        E3DErrorText(m_engine, r);
        E3DTrace(m_engine, "Failed to set Display Mode", "3D Engine");
        return false;
    }
    m_displayBits = bits;
    // The window covers the driver's monitor (the display mode switch put it
    // there); the monitor rectangle is that monitor at the new size.
    int display = m_driver && m_driver->monitor > 0 ? m_driver->monitor - 1 : 0;
    int mx = 0, my = 0;
    Display_GetBounds(display, &mx, &my, nullptr, nullptr);
    m_monitorLeft = mx;
    m_monitorTop = my;
    m_monitorRight = mx + int(mode.dwWidth);
    m_monitorBottom = my + int(mode.dwHeight);

    SDDSurfaceDesc pd;
    pd.flags = kDescCaps | DDSD_BACKBUFFERCOUNT | kDescWidth | kDescHeight;
    pd.width = mode.dwWidth;
    pd.height = mode.dwHeight;
    pd.caps = kCapsPrimary | DDSCAPS_FLIP | DDSCAPS_COMPLEX | kCaps3DDevice;
    pd.backBufferCount = 1;
    if ((r = CreateInto(m_primary, pd))) {
        E3DErrorText(m_engine, r);
        return false;
    }
    CSoftSurface* back = nullptr;
    r = m_ddraw->GetAttachedBackBuffer(m_primary->m_surface, &back);
    if (r || !back) {
        E3DErrorText(m_engine, r);
        return false;
    }
    m_backBuffer->Attach(back);
    m_width = int(mode.dwWidth);
    m_height = int(mode.dwHeight);
    m_backBuffer->RefreshSize();
    m_backBuffer->ReadPixelFormat();
    delete m_d3d;
    m_d3d = nullptr;
    r = m_ddraw->QueryDirect3D(&m_d3d);
    if (r || !m_d3d) {
        m_d3d = nullptr;
        E3DTrace(m_engine, "Query for Direct3D3 failed. Do you have DirectX 6.0 installed?", kScreenContext);
        return false;
    }
    if (window) window->Raise();
    // The driver's devices are listed once: enumerating on every mode change
    // would add the same devices again each time.
    if (m_deviceCount == 0) EnumDevices();
    m_surfacesLost = false;
    return true;
}

bool CE3DScreen::ResizeWindowed(int width, int height) {
    if (!m_windowed) return true;
    if (width >= 1) {
        ResizeWindowed(0, 0);
        if (m_d3d) m_d3d->EvictManagedTextures();
    } else {
        width = height = 4;
    }
    if (height < 1) height = 4;
    m_width = width;
    m_height = height;
    ID3DDevice* dev = m_currentDevice ? m_currentDevice->m_device : nullptr;
    if (dev) dev->SetViewport(D3DVIEWPORT7{0, 0, 4, 4, 0.0f, 1.0f});
    bool hadZ = m_zBuffer->m_surface != nullptr;
    ReleaseInto(m_zBuffer);
    ReleaseInto(m_backBuffer);
    SDDSurfaceDesc bd;
    bd.flags = kDescCaps | kDescHeight | kDescWidth;
    bd.width = uint32_t(width);
    bd.height = uint32_t(height);
    bd.caps = kCapsOffscreenPlain | kCaps3DDevice | kCapsVideoMemory;
    D3DResult r = CreateInto(m_backBuffer, bd);
    if (r) {
        E3DErrorText(m_engine, r);
        return false;
    }
    m_backBuffer->ReadPixelFormat();
    m_backBuffer->RefreshSize();
    if (hadZ) {
        if (!m_currentDevice || !m_d3d) return false;
        if ((r = CreateZBuffer(m_currentDevice))) {
            E3DErrorText(m_engine, r);
            return false;
        }
    }
    if (!dev) return false;
    r = dev->SetRenderTarget(BackBufferSurface());
    if (r) E3DErrorText(m_engine, r);
    return r == D3D_OK;
}

D3DResult CE3DScreen::CreateZBuffer(CE3DDevice* device) {
    std::vector<DDPIXELFORMAT> formats;
    if (D3DResult r = m_d3d->EnumZBufferFormats(device->Guid(), &formats)) return r;
    DDPIXELFORMAT z;
    if (!E3D_FindZBufferFormat(formats, &z)) return DDERR_NOZBUFFERHW;
    SDDSurfaceDesc zd;
    zd.flags = kDescCaps | kDescHeight | kDescWidth | kDescPixelFormat;
    zd.width = uint32_t(m_width);
    zd.height = uint32_t(m_height);
    zd.pixelFormat.flags = z.dwFlags;
    zd.pixelFormat.bitCount = z.dwRGBBitCount;
    zd.pixelFormat.rMask = z.dwRBitMask;
    bool hardware = (device->m_reportedCaps.dwDevCaps & D3DDEVCAPS_HWRASTERIZATION) != 0;
    zd.caps = DDSCAPS_ZBUFFER | (hardware ? kCapsVideoMemory : kCapsSystemMemory);
    if (D3DResult r = CreateInto(m_zBuffer, zd)) return r;
    return m_ddraw->AddAttachedSurface(BackBufferSurface(), ZBufferSurface());
}

CE3DDevice* CE3DScreen::ChooseDevice(bool wantHardware) const {
    CE3DDevice* chosen = nullptr;
    for (int32_t i = 0; i < m_deviceCount; ++i) {
        CE3DDevice* d = m_devices[i];
        uint32_t caps = d->m_reportedCaps.dwDevCaps;
        bool hw = (caps & D3DDEVCAPS_HWRASTERIZATION) != 0;
        if (!wantHardware) {
            if (!hw) return d;
            continue;
        }
        if (!hw) continue;
        if (!chosen) {
            chosen = d;
        } else if (!(chosen->m_reportedCaps.dwDevCaps & D3DDEVCAPS_HWTRANSFORMANDLIGHT) &&
                   (caps & D3DDEVCAPS_HWTRANSFORMANDLIGHT)) {
            chosen = d;
        }
    }
    return chosen;
}

bool CE3DScreen::ActivateChosen(bool wantHardware) {
    CE3DDevice* d = ChooseDevice(wantHardware);
    return d && d->Activate(m_currentDevice);
}

bool CE3DScreen::TryWindowed(SDirectDrawDesc* driver, int width, int height, bool systemMemory,
                             bool release) {
    if (release) ReleaseSurfaces(driver);
    return CreateWindowedSurfaces(m_window, width, height, systemMemory);
}

bool CE3DScreen::SetWindowedMode(SDirectDrawDesc* driver, CDisplayWindow* window, int width, int height,
                                 bool wantHardware) {
    if (width < 1 || height < 1) return false;
    m_window = window;
    if (driver == m_driver && m_windowed && m_backBuffer->m_surface) {
        if (ResizeWindowed(width, height)) return true;
    }
    auto done = [&]() {
        ReloadAll();
        return true;
    };
    if (driver == m_driver) {
        if (!TryWindowed(driver, width, height, false, true) && !TryWindowed(driver, 640, 480, false, true))
            return false;
        if (!ChooseDevice(wantHardware)) return false;
        if (ActivateChosen(wantHardware)) return done();
        if (ActivateChosen(false)) return done();
        // Video memory would not do: system memory with a software device.
        if (TryWindowed(driver, width, height, true, true)) {
            if (ActivateChosen(false)) return done();
            // The last step releases first as well: a second primary beside the
            // first is refused, and the first attempt's surfaces would leak.
            if (!TryWindowed(driver, 640, 480, true, true)) return false;
            return ActivateChosen(false) ? done() : false;
        }
        if (!TryWindowed(driver, 640, 480, true, true)) return false;
        return ActivateChosen(false) ? done() : false;
    }
    ReleaseSurfaces(driver);
    if (!CreateWindowedSurfaces(window, width, height, false) && !TryWindowed(driver, 640, 480, false, true))
        return false;
    if (!ActivateChosen(wantHardware)) return false;
    return done();
}

bool CE3DScreen::SetFullscreenMode(SDirectDrawDesc* driver, CDisplayWindow* window,
                                   const DDSURFACEDESC2& mode, bool wantHardware) {
    ReleaseSurfaces(driver);
    m_driver = driver;
    if (!CreateFullscreenSurfaces(window, mode)) return false;
    if (!ActivateChosen(wantHardware)) return false;
    ReloadAll();
    return true;
}
