// CE3DTexture: a surface that the device samples. It keeps a staging surface
// in system memory (what image decoding and the texture cache fill), a
// texture surface with its chain of mip levels (what the device draws with;
// FillFromStaging copies the staging pixels into it and halves them down the
// chain), the texture's id pair for look-ups by materials, and a palette.
// The device uploads a texture to the graphics card on first use and again
// only after its pixels changed.
//
// The texture cache keeps a staging surface's pixels on disk, in
// "<cache folder>\<project id>_<texture id>.TexCache" (see TextureCache.h
// for the layout), so that a texture whose description still matches is read
// back instead of decoded and converted again. The owner chooses the stamp
// that the cache file must carry.
#pragma once

#include <cstdint>
#include <vector>

#include "core/StrBuf.h"
#include "e3d/Surface.h"
#include "platform/d3d/D3DTypes.h"

constexpr uint32_t kE3DSurfaceTypeTexture = 15;

// Palette capability bits of a cache file's palette.
enum : uint32_t {
    kE3DPaletteCaps4Bit = 0x1,
    kE3DPaletteCaps8Bit = 0x4,
    kE3DPaletteCaps1Bit = 0x100,
    kE3DPaletteCaps2Bit = 0x200,
};
// Entries that a palette of these capabilities holds (0 for none of them).
uint32_t E3D_PaletteEntryCount(uint32_t caps);

// One picture of a texture's frame table: four (u, v) pairs, the corners of
// a part of the texture. Particles take the first three (their triangle),
// beams and lightning all four (their quads).
struct SE3DTexFrame {
    float uv[8];
};

class CE3DTexture : public CE3DSurface {
public:
    explicit CE3DTexture(CE3DScreen* screen);
    ~CE3DTexture() override;

    // Restores the texture surface (forgotten when that fails) and answers
    // whether the cache filled the staging surface again.
    void Restore() override;
    bool RestoreFromCache();
    // Builds the surfaces and fills them (from the cache or from the image):
    // the owner's operation, run again by the screen after a display change.
    virtual bool LoadImage() = 0;
    // The name shown while textures reload; null: "Unnamed texture".
    virtual const char* TextureName() const { return nullptr; }

    // Releases the old surfaces and makes the staging and texture surfaces at
    // the size the device accepts (reduction, limits, powers of two, aspect
    // ratio). Always true; a surface that could not be made is left out.
    bool CreateSurfaces(int width, int height, const SSurfacePixelFormat& format);
    // The cache file of this texture.
    void CachePath(CStrBuf& out) const;
    void WriteCache();
    // True when the staging surface was filled from a matching cache file.
    bool ReadCache();
    // Copies the staging pixels into the texture surface and halves them down
    // its mip levels (the device then uploads them on next use).
    bool FillFromStaging();
    // Palette of an 8-bit staging surface (0 caps: none).
    void SetPalette(uint32_t caps, const uint8_t* entries, uint32_t count);

    // The surface a texture stage samples (the twin for stage 1 when the
    // device keeps separate texture memories).
    CSoftSurface* StageSurface(uint32_t stage) const;
    CSoftSurface* Staging() const { return m_staging; }
    uint32_t MipCount() const { return m_mipCount; }

    uint16_t m_projectId = 0;
    uint32_t m_textureId = 0;
    uint32_t m_stamp = 0;
    uint8_t m_mipmapped = 1;
    uint8_t m_skip = 0;  // passed over by CE3DScreen::FindTexture
    uint8_t m_byte = 0;
    int32_t m_maxReduction = 16;
    CE3DSurface* m_twin = nullptr;
    CSoftSurface* m_staging = nullptr;
    uint32_t m_paletteCaps = 0;
    uint8_t m_palette[256 * 4] = {};  // red, green, blue, flags per entry
    CE3DTexture* m_nextTexture = nullptr;
    CE3DTexture* m_prevTexture = nullptr;
    // The frame table (the game fills it from its content): particles step
    // through it by age or pick a frame at birth, beams and lightning take
    // its first frame.
    std::vector<SE3DTexFrame> m_frames;

private:
    void ReleaseAll();
    uint32_t m_mipCount = 0;
};

// The reduction, limits, powers of two and aspect ratio of texture sizes, on
// a device's capabilities: what CreateSurfaces makes of width x height.
void E3D_TextureSize(int width, int height, int reduction, bool mipmapped, const D3DDEVICEDESC7& caps,
                     int* outW, int* outH);
