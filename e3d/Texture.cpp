// Textures: their place in the screen's list, the sizes the device accepts,
// the staging and texture surfaces with their mip chain, palettes, and the
// texture cache files.
#include "e3d/Texture.h"

#include <cstring>
#include <vector>

#include "core/ListLinks.h"
#include "core/LittleEndian.h"
#include "core/PixelConvert.h"
#include "core/VFSFile.h"
#include "e3d/Device.h"
#include "e3d/Engine.h"
#include "e3d/Screen.h"
#include "e3d/SurfacePixels.h"
#include "e3d/TextureCache.h"

// ---------------------------------------------------------------------------
// The stored description.

void E3DTexCache_EncodeDesc(uint8_t out[kE3DTexCacheDescBytes], const SDDSurfaceDesc& d) {
    std::memset(out, 0, kE3DTexCacheDescBytes);
    LE_StoreU32(out + 0, kE3DTexCacheDescBytes);
    LE_StoreU32(out + 4, d.flags);
    LE_StoreU32(out + 8, d.height);
    LE_StoreU32(out + 12, d.width);
    LE_StoreU32(out + 16, uint32_t(d.pitch));
    LE_StoreU32(out + 20, d.backBufferCount);
    // 24 to 71: mip count, alpha depth, reserved, address, colour keys: 0.
    const SSurfacePixelFormat& f = d.pixelFormat;
    LE_StoreU32(out + 72, 32);
    LE_StoreU32(out + 76, f.flags);
    LE_StoreU32(out + 84, f.bitCount);
    LE_StoreU32(out + 88, f.rMask);
    LE_StoreU32(out + 92, f.gMask);
    LE_StoreU32(out + 96, f.bMask);
    LE_StoreU32(out + 100, f.aMask);
    LE_StoreU32(out + 104, d.caps);
}

void E3DTexCache_DecodeDesc(const uint8_t in[kE3DTexCacheDescBytes], SDDSurfaceDesc* d) {
    *d = SDDSurfaceDesc();
    d->size = LE_LoadU32(in);
    d->flags = LE_LoadU32(in + 4);
    d->height = LE_LoadU32(in + 8);
    d->width = LE_LoadU32(in + 12);
    d->pitch = int32_t(LE_LoadU32(in + 16));
    d->backBufferCount = LE_LoadU32(in + 20);
    d->pixelFormat.size = LE_LoadU32(in + 72);
    d->pixelFormat.flags = LE_LoadU32(in + 76);
    d->pixelFormat.bitCount = LE_LoadU32(in + 84);
    d->pixelFormat.rMask = LE_LoadU32(in + 88);
    d->pixelFormat.gMask = LE_LoadU32(in + 92);
    d->pixelFormat.bMask = LE_LoadU32(in + 96);
    d->pixelFormat.aMask = LE_LoadU32(in + 100);
    d->caps = LE_LoadU32(in + 104);
}

bool E3DTexCache_Matches(const SDDSurfaceDesc& a, const SDDSurfaceDesc& b) {
    return a.height == b.height && a.width == b.width && a.pitch == b.pitch &&
           a.pixelFormat.bitCount == b.pixelFormat.bitCount && a.pixelFormat.rMask == b.pixelFormat.rMask &&
           a.pixelFormat.gMask == b.pixelFormat.gMask && a.pixelFormat.bMask == b.pixelFormat.bMask &&
           a.pixelFormat.aMask == b.pixelFormat.aMask;
}

uint32_t E3D_PaletteEntryCount(uint32_t caps) {
    if (caps & kE3DPaletteCaps1Bit) return 2;
    if (caps & kE3DPaletteCaps2Bit) return 4;
    if (caps & kE3DPaletteCaps4Bit) return 16;
    if (caps & kE3DPaletteCaps8Bit) return 256;
    return 0;
}

// ---------------------------------------------------------------------------
// Sizes.

namespace {

int FloorPow2(int v) {
    if (v < 1) return 0;
    if (v >= 65536) return 65536;
    int p = 1;
    while (p * 2 <= v) p *= 2;
    return p;
}

const D3DDEVICEDESC7& DeviceCaps(CE3DScreen* screen) {
    static const D3DDEVICEDESC7 standard = [] {
        D3DDEVICEDESC7 d = D3D_StandardDeviceDesc(true, true);
        if (d.dwMaxTextureAspectRatio < 1) d.dwMaxTextureAspectRatio = 256;
        return d;
    }();
    if (screen && screen->m_currentDevice) return screen->m_currentDevice->m_workingCaps;
    return standard;
}

}  // namespace

void E3D_TextureSize(int width, int height, int reduction, bool mipmapped, const D3DDEVICEDESC7& caps,
                     int* outW, int* outH) {
    if (reduction < 0) reduction = 0;
    if (reduction > 30) reduction = 30;
    // No side beyond 32768, whatever the record asked.
    int w = width > 0 ? (width > 32768 ? 32768 : width) >> reduction : 0;
    int h = height > 0 ? (height > 32768 ? 32768 : height) >> reduction : 0;
    auto clampSide = [](int v, uint32_t lo, uint32_t hi) {
        if (lo && v < int(lo)) v = int(lo);
        if (hi && v > int(hi)) v = int(hi);
        return v;
    };
    w = clampSide(w, caps.dwMinTextureWidth, caps.dwMaxTextureWidth);
    h = clampSide(h, caps.dwMinTextureHeight, caps.dwMaxTextureHeight);
    const uint32_t texCaps = caps.dpcTriCaps.dwTextureCaps | caps.dpcLineCaps.dwTextureCaps;
    const bool pow2 = (texCaps & D3DPTEXTURECAPS_POW2) || mipmapped;
    if (pow2) {
        w = FloorPow2(w);
        h = FloorPow2(h);
    }
    if (!(texCaps & D3DPTEXTURECAPS_SQUAREONLY)) {
        // A ratio of 0 sets no limit (the device record turns it into 256).
        const int ratio = int(caps.dwMaxTextureAspectRatio);
        if (ratio > 0 && w > 0 && h > 0) {
            int& longer = w >= h ? w : h;
            int& shorter = w >= h ? h : w;
            if (longer / shorter > ratio) {
                shorter = longer / ratio;
                if (pow2) shorter = FloorPow2(shorter);
            }
        }
    } else {
        h = w;
    }
    *outW = w < 1 ? 1 : w;
    *outH = h < 1 ? 1 : h;
}

// ---------------------------------------------------------------------------
// Life.

namespace {
using STextureLinks = SListLinks<CE3DTexture, &CE3DTexture::m_nextTexture, &CE3DTexture::m_prevTexture>;
}

CE3DTexture::CE3DTexture(CE3DScreen* screen) : CE3DSurface(screen) {
    m_type = kE3DSurfaceTypeTexture;
    if (!screen) return;
    m_projectId = uint16_t(screen->m_engine ? screen->m_engine->m_idSet : 0);
    m_textureId = screen->m_textureNumber++;
    STextureLinks::Push(screen->m_textures, this);
    ++screen->m_textureCount;
    if (screen->m_currentDevice &&
        (screen->m_currentDevice->m_workingCaps.dwDevCaps & D3DDEVCAPS_SEPARATETEXTUREMEMORIES))
        m_twin = new CE3DSurface(nullptr);  // not in the surface list: the texture owns it
}

CE3DTexture::~CE3DTexture() {
    if (m_screen) {
        STextureLinks::Unlink(m_screen->m_textures, this);
        --m_screen->m_textureCount;
        if (m_screen->m_defaultTexture == this) m_screen->m_defaultTexture = nullptr;
    }
    if (m_staging) {
        if (m_screen && m_screen->m_ddraw) m_screen->m_ddraw->ForgetSurface(m_staging);
        delete m_staging;
        m_staging = nullptr;
    }
    if (m_twin && m_screen) m_screen->ReleaseInto(m_twin);
    delete m_twin;
    m_twin = nullptr;
}

void CE3DTexture::Restore() {
    RestoreFromCache();
}

bool CE3DTexture::RestoreFromCache() {
    if (m_surface && m_surface->Restore() != kDD_OK) {
        if (m_screen)
            m_screen->ReleaseInto(this);
        else
            ReleaseSurface();
    }
    return ReadCache();
}

CSoftSurface* CE3DTexture::StageSurface(uint32_t stage) const {
    if (stage == 1 && m_twin && m_twin->m_surface) return m_twin->m_surface;
    return m_surface;
}

void CE3DTexture::ReleaseAll() {
    if (m_screen) {
        m_screen->ReleaseInto(this);
        if (m_twin) m_screen->ReleaseInto(m_twin);
    } else {
        ReleaseSurface();
    }
    if (m_staging) {
        if (m_screen && m_screen->m_ddraw) m_screen->m_ddraw->ForgetSurface(m_staging);
        delete m_staging;
        m_staging = nullptr;
    }
    m_mipCount = 0;
}

bool CE3DTexture::CreateSurfaces(int width, int height, const SSurfacePixelFormat& format) {
    ReleaseAll();
    m_desc.pixelFormat = format;
    int reduction = m_screen ? m_screen->m_textureDetail : 0;
    if (reduction > m_maxReduction) reduction = m_maxReduction;
    int w = 1, h = 1;
    E3D_TextureSize(width, height, reduction, m_mipmapped != 0, DeviceCaps(m_screen), &w, &h);

    IDDraw* dd = m_screen ? m_screen->m_ddraw : nullptr;
    CE3DEngine* engine = m_screen ? m_screen->m_engine : nullptr;
    // The staging surface, in system memory.
    SDDSurfaceDesc sd;
    sd.flags = kDescCaps | kDescHeight | kDescWidth | kDescPixelFormat;
    sd.caps = DDSCAPS_TEXTURE | DDSCAPS_SYSTEMMEMORY;
    sd.width = uint32_t(w);
    sd.height = uint32_t(h);
    sd.pixelFormat = format;
    D3DResult r = D3D_OK;
    if (dd)
        r = dd->CreateSurface(sd, &m_staging);
    else
        m_staging = CSoftSurface::Create(w, h, format, sd.caps);
    if (r || !m_staging) {
        m_staging = nullptr;
        E3DErrorText(engine, r ? r : DDERR_OUTOFMEMORY);
    }

    // The texture surface: a chain of mip levels down to where the shorter
    // side reaches 1 (6 levels for 256 x 64), or a single level.
    uint32_t levels = 1;
    if (m_mipmapped) {
        levels = 0;
        for (int s = w < h ? w : h; s > 1; s /= 2) ++levels;
        if (levels == 0) levels = 1;
    }
    auto makeTexture = [&](CE3DSurface* into) {
        CSoftSurface* t = nullptr;
        D3DResult res;
        if (dd && levels > 1) {
            res = dd->CreateMipTexture(uint32_t(w), uint32_t(h), levels, format, &t);
        } else if (dd) {
            SDDSurfaceDesc td = sd;
            td.caps = DDSCAPS_TEXTURE;
            res = dd->CreateSurface(td, &t);
        } else {
            t = CSoftSurface::Create(w, h, format, DDSCAPS_TEXTURE);
            res = t ? D3D_OK : DDERR_OUTOFMEMORY;
        }
        if (res || !t) {
            E3DErrorText(engine, res ? res : DDERR_OUTOFMEMORY);
            return false;
        }
        into->Attach(t);
        into->m_created = true;
        return true;
    };
    if (makeTexture(this)) m_mipCount = (dd && levels > 1) ? levels : 1;
    if (m_twin) makeTexture(m_twin);
    ReadPixelFormat();
    RefreshSize();
    ResetClip();
    return true;
}

void CE3DTexture::SetPalette(uint32_t caps, const uint8_t* entries, uint32_t count) {
    m_paletteCaps = caps;
    std::memset(m_palette, 0, sizeof m_palette);
    if (count > 256) count = 256;
    if (entries && count) std::memcpy(m_palette, entries, size_t(count) * 4);
    auto apply = [&](CSoftSurface* s) {
        if (!s) return;
        uint32_t* pal = s->Palette();
        for (int i = 0; i < 256; ++i)
            pal[i] =
                uint32_t(m_palette[i * 4]) << 16 | uint32_t(m_palette[i * 4 + 1]) << 8 | m_palette[i * 4 + 2];
    };
    apply(m_staging);
    apply(m_surface);
}

bool CE3DTexture::FillFromStaging() {
    if (!m_staging || !m_surface) return false;
    if (m_staging->Width() != m_surface->Width() || m_staging->Height() != m_surface->Height()) return false;
    SDDSurfaceDesc src, dst;
    if (m_staging->Lock(&src) != kDD_OK) return false;
    if (m_surface->Lock(&dst) != kDD_OK) {
        m_staging->Unlock();
        return false;
    }
    const size_t row = size_t(m_staging->Width()) * size_t(m_staging->BytesPerPixel());
    for (int y = 0; y < m_staging->Height(); ++y)
        std::memcpy(static_cast<uint8_t*>(dst.surface) + size_t(y) * size_t(dst.pitch),
                    static_cast<const uint8_t*>(src.surface) + size_t(y) * size_t(src.pitch), row);
    std::memcpy(m_surface->Palette(), m_staging->Palette(), 256 * 4);
    m_surface->Unlock();
    m_staging->Unlock();

    // Smaller levels: each the truncated mean of 2 x 2 pixels of the one above.
    IDDraw* dd = m_screen ? m_screen->m_ddraw : nullptr;
    CSoftSurface* upper = m_surface;
    for (uint32_t level = 1; dd && level < m_mipCount; ++level) {
        CSoftSurface* lower = nullptr;
        if (dd->GetMipLevel(m_surface, level, &lower) != D3D_OK || !lower) break;
        SDDSurfaceDesc u, l;
        if (upper->Lock(&u) != kDD_OK) break;
        if (lower->Lock(&l) != kDD_OK) {
            upper->Unlock();
            break;
        }
        const SSurfaceDesc sv = E3DSurface_PixelDesc(u), dv = E3DSurface_PixelDesc(l);
        const bool alpha = u.pixelFormat.aMask != 0;
        std::memcpy(lower->Palette(), upper->Palette(), 256 * 4);
        switch (u.pixelFormat.bitCount) {
            case 8:
                Surface_Halve_Pal8(dv, sv, reinterpret_cast<const uint8_t*>(upper->Palette()));
                break;
            case 16:
                alpha ? Surface_HalveAlpha_RGB16(dv, sv) : Surface_Halve_RGB16(dv, sv);
                break;
            case 24:
                alpha ? Surface_HalveAlpha_RGB24(dv, sv) : Surface_Halve_RGB24(dv, sv);
                break;
            default:
                alpha ? Surface_HalveAlpha_RGB32(dv, sv) : Surface_Halve_RGB32(dv, sv);
                break;
        }
        lower->Unlock();
        upper->Unlock();
        upper = lower;
    }
    return true;
}

// ---------------------------------------------------------------------------
// The cache file.

void CE3DTexture::CachePath(CStrBuf& out) const {
    const char* folder = m_screen ? m_screen->m_cacheFolder.GetText() : "";
    out.Format("%s\\%d_%d.TexCache", folder, int(m_projectId), int(m_textureId));
}

void CE3DTexture::WriteCache() {
    if (!m_staging) return;
    CStrBuf path;
    CachePath(path);
    CVFSFile file;
    if (!file.Open(path.GetText(), CVFSFile::kModeWrite)) return;
    SDDSurfaceDesc d;
    if (m_staging->Lock(&d) != kDD_OK) return;
    uint8_t desc[kE3DTexCacheDescBytes];
    E3DTexCache_EncodeDesc(desc, d);
    file.WriteU32(m_stamp);
    file.Write(desc, kE3DTexCacheDescBytes);
    file.Write(d.surface, uint32_t(d.height) * uint32_t(d.pitch));
    m_staging->Unlock();
    const uint32_t entries = E3D_PaletteEntryCount(m_paletteCaps);
    file.WriteU8(entries ? 1 : 0);
    if (entries) {
        file.WriteU32(m_paletteCaps);
        file.Write(m_palette, entries * 4);
    }
}

bool CE3DTexture::ReadCache() {
    if (!m_staging) return false;
    CStrBuf path;
    CachePath(path);
    CVFSFile file;
    if (!file.Open(path.GetText(), CVFSFile::kModeRead)) return false;
    uint32_t stamp = 0;
    if (!file.ReadU32(stamp) || stamp != m_stamp) return false;
    SDDSurfaceDesc d;
    if (m_staging->Lock(&d) != kDD_OK) return false;
    uint8_t raw[kE3DTexCacheDescBytes];
    SDDSurfaceDesc stored;
    bool ok = file.Read(raw, kE3DTexCacheDescBytes) == kE3DTexCacheDescBytes;
    if (ok) {
        E3DTexCache_DecodeDesc(raw, &stored);
        ok = E3DTexCache_Matches(stored, d);
    }
    // Every promised byte must be there; a cut file is no cache.
    const uint32_t bytes = uint32_t(d.height) * uint32_t(d.pitch);
    if (ok) ok = file.Read(d.surface, bytes) == bytes;
    uint8_t hasPalette = 0;
    uint32_t caps = 0, entries = 0;
    uint8_t palette[256 * 4];
    if (ok) ok = file.ReadU8(hasPalette) && hasPalette <= 1;
    if (ok && hasPalette) {
        ok = file.ReadU32(caps);
        entries = E3D_PaletteEntryCount(caps);
        ok = ok && entries && file.Read(palette, entries * 4) == entries * 4;
    }
    m_staging->Unlock();
    if (!ok) return false;
    if (hasPalette)
        SetPalette(caps, palette, entries);
    else
        m_paletteCaps = 0;
    return true;
}
