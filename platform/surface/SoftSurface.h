// Surfaces in CPU memory: the stand-in for every DirectDraw surface of the
// engine. A surface is a block of pixel rows in one of the pixel formats the
// engine draws in (8-bit palette indices, 16-bit 5-6-5 or 5-5-5, 24-bit, 32-bit
// X8R8G8B8, or any channel masks a texture asks for), with a pitch, a lock, a
// source colour key and our own blits: plain, colour-keyed, stretched, and
// colour fills. Results are the published DirectDraw codes so that the
// engine's error-text routine can name them.
//
// One surface, the screen's back buffer, is shared with the 3D device: its
// pixels live in the GL framebuffer as well. The device attaches an
// ISurfaceShare to it; before the CPU reads or writes the pixels the share is
// asked to make the CPU copy current (a read-back after 3D drawing), and after
// the CPU wrote them the share is told so (the next present uploads them).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

// Published DirectDraw result codes the surfaces give.
constexpr int32_t kDD_OK = 0;
constexpr int32_t kDDErrGeneric = int32_t(0x80004005u);
constexpr int32_t kDDErrInvalidParams = int32_t(0x80070057u);
constexpr int32_t kDDErrOutOfMemory = int32_t(0x8007000Eu);
constexpr int32_t kDDErrInvalidPixelFormat = int32_t(0x88760091u);
constexpr int32_t kDDErrInvalidRect = int32_t(0x88760096u);
constexpr int32_t kDDErrNoColorKey = int32_t(0x887600D7u);
constexpr int32_t kDDErrOutOfVideoMemory = int32_t(0x8876017Cu);
constexpr int32_t kDDErrSurfaceBusy = int32_t(0x887601AEu);
constexpr int32_t kDDErrSurfaceLost = int32_t(0x887601C2u);
constexpr int32_t kDDErrNotLocked = int32_t(0x887602E6u);

// Pixel-format flags (DDPF_*): texture cache files store these numbers.
constexpr uint32_t kPixelAlpha = 0x1;
constexpr uint32_t kPixelPalette8 = 0x20;
constexpr uint32_t kPixelRGB = 0x40;
constexpr uint32_t kPixelZBuffer = 0x400;

// Description flags and caps (DDSD_*, DDSCAPS_*), kept for the same reason.
constexpr uint32_t kDescCaps = 0x1;
constexpr uint32_t kDescHeight = 0x2;
constexpr uint32_t kDescWidth = 0x4;
constexpr uint32_t kDescPitch = 0x8;
constexpr uint32_t kDescPixelFormat = 0x1000;
constexpr uint32_t kCapsOffscreenPlain = 0x40;
constexpr uint32_t kCapsPrimary = 0x200;
constexpr uint32_t kCapsSystemMemory = 0x800;
constexpr uint32_t kCaps3DDevice = 0x2000;
constexpr uint32_t kCapsVideoMemory = 0x4000;

// Blit flags.
constexpr uint32_t kBltFastWait = 0x10;        // DDBLTFAST_WAIT
constexpr uint32_t kBltFastSrcColorKey = 0x1;  // DDBLTFAST_SRCCOLORKEY
constexpr uint32_t kBltWait = 0x1000000;       // DDBLT_WAIT
constexpr uint32_t kBltKeySrc = 0x8000;        // DDBLT_KEYSRC
constexpr uint32_t kBltColorFill = 0x400;      // DDBLT_COLORFILL

struct SSurfaceRect {
    int32_t left, top, right, bottom;
};

struct SSurfacePixelFormat {
    uint32_t size = 32;
    uint32_t flags = 0;
    uint32_t bitCount = 0;
    uint32_t rMask = 0, gMask = 0, bMask = 0, aMask = 0;

    // An RGB format of the given bit count and channel masks.
    static SSurfacePixelFormat Masks(uint32_t bitCount, uint32_t r, uint32_t g, uint32_t b);
    static SSurfacePixelFormat Indexed8();
    static SSurfacePixelFormat Rgb565();
    static SSurfacePixelFormat Rgb555();
    static SSurfacePixelFormat Rgb888();
    static SSurfacePixelFormat Xrgb8888();
    bool SameLayout(const SSurfacePixelFormat& o) const;
};

// One packed pixel of bpp bytes (1 to 4), stored little-endian as every
// surface keeps it.
inline uint32_t SoftPixel_Read(const uint8_t* p, int bpp) {
    switch (bpp) {
        case 1:
            return p[0];
        case 2: {
            uint16_t v;
            std::memcpy(&v, p, 2);
            return v;
        }
        case 3:
            return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
        default: {
            uint32_t v;
            std::memcpy(&v, p, 4);
            return v;
        }
    }
}

inline void SoftPixel_Write(uint8_t* p, int bpp, uint32_t v) {
    switch (bpp) {
        case 1:
            p[0] = uint8_t(v);
            break;
        case 2: {
            uint16_t w = uint16_t(v);
            std::memcpy(p, &w, 2);
            break;
        }
        case 3:
            p[0] = uint8_t(v);
            p[1] = uint8_t(v >> 8);
            p[2] = uint8_t(v >> 16);
            break;
        default:
            std::memcpy(p, &v, 4);
            break;
    }
}

// The surface description the engine keeps a copy of (DDSURFACEDESC2's
// fields that mean something here).
struct SDDSurfaceDesc {
    uint32_t size = 124;
    uint32_t flags = 0;
    uint32_t height = 0;
    uint32_t width = 0;
    int32_t pitch = 0;
    uint32_t backBufferCount = 0;
    void* surface = nullptr;  // the pixels while locked
    uint32_t caps = 0;
    SSurfacePixelFormat pixelFormat;
};

class CSoftSurface;

class ISurfaceShare {
public:
    virtual ~ISurfaceShare() = default;
    // The CPU is about to use the pixels: make them current. A share may
    // answer a pull for drawing (read false) with a copy that holds only what
    // the CPU draws from now on, when it can lay that over its own picture
    // later; a pull for reading always brings the whole picture.
    virtual void PullPixels(CSoftSurface& surface, bool read) = 0;
    // The CPU changed the pixels: its copy is now the one to show.
    virtual void PixelsChanged(CSoftSurface& surface) = 0;
};

class CSoftSurface {
public:
    // Null when the size or format cannot be had (no size, over 16384 on a
    // side, a bit count other than 8, 16, 24 or 32).
    static CSoftSurface* Create(int width, int height, const SSurfacePixelFormat& format, uint32_t caps);

    int Width() const { return m_width; }
    int Height() const { return m_height; }
    int Pitch() const { return m_pitch; }
    int BytesPerPixel() const { return m_bpp; }
    const SSurfacePixelFormat& Format() const { return m_format; }
    uint8_t* Pixels() { return m_pixels.data(); }  // raw access without the share's sync
    const uint8_t* Pixels() const { return m_pixels.data(); }

    int32_t GetSurfaceDesc(SDDSurfaceDesc* desc) const;
    // The whole surface, for drawing: the pixels it shows may be only those
    // drawn since (see ISurfaceShare). LockToRead gives the whole picture.
    int32_t Lock(SDDSurfaceDesc* desc) { return Lock(desc, false); }
    int32_t LockToRead(SDDSurfaceDesc* desc) { return Lock(desc, true); }
    // Makes a locked surface's pixels the whole picture (for a reader inside
    // a drawing lock).
    void MakeReadable() { Pull(true); }
    int32_t Unlock();
    bool IsLocked() const { return m_locked; }

    // Source colour key (a packed pixel value). Blits compare it against the
    // source pixels' channel bits only, so the unused top bits of X8R8G8B8 and
    // 5-5-5 pixels do not matter.
    int32_t SetColorKey(uint32_t key);
    int32_t ClearColorKey();
    bool HasColorKey() const { return m_hasKey; }
    uint32_t ColorKey() const { return m_key; }

    // Unclipped copy of src's rectangle (whole src when null) to (x, y); a
    // rectangle outside either surface is refused with kDDErrInvalidRect.
    int32_t BltFast(int x, int y, CSoftSurface* src, const SSurfaceRect* srcRect, uint32_t flags);
    // Copy of src's rectangle scaled into dst (whole surfaces when null),
    // nearest sample; the part of dst outside this surface is cut away.
    int32_t Blt(const SSurfaceRect* dst, CSoftSurface* src, const SSurfaceRect* srcRect, uint32_t flags);
    // Fill a rectangle (whole surface when null) with a packed pixel value.
    int32_t ColorFill(const SSurfaceRect* dst, uint32_t value);

    // Surfaces in CPU memory are never lost; a test can mark one lost to drive
    // the engine's recovery paths. A lost surface refuses locks and blits.
    int32_t IsLost() const { return m_lost ? kDDErrSurfaceLost : kDD_OK; }
    int32_t Restore() {
        m_lost = false;
        return kDD_OK;
    }
    void SetLost(bool lost) { m_lost = lost; }

    void SetShare(ISurfaceShare* share) { m_share = share; }
    ISurfaceShare* Share() const { return m_share; }

    // 8-bit surfaces carry a palette of 0x00RRGGBB entries (used when their
    // pixels are shown or converted).
    uint32_t* Palette() { return m_palette; }

private:
    CSoftSurface() = default;
    int32_t Lock(SDDSurfaceDesc* desc, bool read);
    void Pull(bool read) {
        if (m_share) m_share->PullPixels(*this, read);
    }
    void Changed() {
        if (m_share) m_share->PixelsChanged(*this);
    }
    uint32_t ChannelMask() const;

    int m_width = 0, m_height = 0, m_pitch = 0, m_bpp = 0;
    uint32_t m_caps = 0;
    SSurfacePixelFormat m_format;
    std::vector<uint8_t> m_pixels;
    bool m_locked = false;
    bool m_lost = false;
    bool m_hasKey = false;
    uint32_t m_key = 0;
    ISurfaceShare* m_share = nullptr;
    uint32_t m_palette[256] = {};
};
