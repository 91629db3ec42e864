// Pixel conversion: packed bitmaps into surface memory, between depths, and
// down the chain of a texture's mip levels.
//
// Surfaces hold pixels in whatever format the display offers: 2, 16 or 256
// palette colours, or 16, 24 or 32 bits whose red, green, blue and alpha bits
// are given by masks. These routines do not know the engine's surface object;
// they take a plain description of locked surface memory (SSurfaceDesc: size,
// pitch, address, bit count, masks), which the surfaces fill in from their own
// state before calling. Rows of a surface run top-down; rows of a packed
// bitmap bottom-up, and the writers turn them over.
//
// An 8-bit channel value v goes into a channel of width w at shift s as its
// top w bits, (v >> (8 - w)) << s; a stored channel reads back as those bits
// moved to the top of the byte. Dithering is Floyd-Steinberg error diffusion
// of the cut-off bits. Colour keys are not looked at: transparency comes from
// a separate alpha bitmap or from the surface's alpha channel.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/PackedDIB.h"

// Locked surface memory as the converters see it.
struct SSurfaceDesc {
    uint32_t m_width;
    uint32_t m_height;
    int32_t m_pitch;      // bytes from one row to the next, may exceed the row
    uint8_t* m_pixels;    // first (top) row
    uint32_t m_bitCount;  // 1, 4, 8, 16, 24 or 32
    uint32_t m_redMask;
    uint32_t m_greenMask;
    uint32_t m_blueMask;
    uint32_t m_alphaMask;
};

// One palette entry of a palettized surface.
struct SPaletteEntry {
    uint8_t m_red;
    uint8_t m_green;
    uint8_t m_blue;
    uint8_t m_flags;
};

// Halving into the next mip level: the source is twice the destination's
// width and height; each destination pixel is the truncated mean of its 2x2
// source block. The palette forms take the surface palette (4-byte entries:
// blue, green, red, unused) and store the nearest entry to the mean colour.
bool Surface_Halve_Pal4(const SSurfaceDesc& dst, const SSurfaceDesc& src, const uint8_t* palette);
bool Surface_Halve_Pal8(const SSurfaceDesc& dst, const SSurfaceDesc& src, const uint8_t* palette);
bool Surface_Halve_RGB16(const SSurfaceDesc& dst, const SSurfaceDesc& src);
bool Surface_Halve_RGB24(const SSurfaceDesc& dst, const SSurfaceDesc& src);
bool Surface_Halve_RGB32(const SSurfaceDesc& dst, const SSurfaceDesc& src);
bool Surface_HalveAlpha_RGB16(const SSurfaceDesc& dst, const SSurfaceDesc& src);
bool Surface_HalveAlpha_RGB24(const SSurfaceDesc& dst, const SSurfaceDesc& src);
bool Surface_HalveAlpha_RGB32(const SSurfaceDesc& dst, const SSurfaceDesc& src);

// Writing a bitmap of any depth into a 16-, 24- or 32-bit surface, the
// picture's top row into the surface's first. The part of the picture that
// lies beyond the surface is left out; alpha bits are left 0.
bool DIB_ConvertB_RGB16(const SSurfaceDesc& dst, const SPackedDIB* dib, bool dither);
bool DIB_ConvertB_RGB24(const SSurfaceDesc& dst, const SPackedDIB* dib, bool dither);
bool DIB_ConvertB_RGB32(const SSurfaceDesc& dst, const SPackedDIB* dib, bool dither);

// Rows of 24-bit pixels (blue, green, red) used where they lie, outside any
// bitmap block, as a BMP file's rows are: m_top is the picture's top row and
// m_step the signed distance in bytes from a row to the one below it
// (negative for rows stored bottom-up). Loading a 24-bit picture file
// straight into a surface goes through here, without a bitmap in between.
struct SRows24 {
    const uint8_t* m_top;
    ptrdiff_t m_step;
    uint32_t m_width;
    uint32_t m_height;
};
// DIB_ConvertB_RGB16, 24 or 32 (the surface's bit count says which) from
// such rows; the same pixels as from a bitmap holding them.
bool Rows24_ConvertB(const SSurfaceDesc& dst, const SRows24& rows, bool dither);

// The same with an alpha bitmap whose grey level (0 to 255) at each position
// is the alpha value (255 minus it with invert). The alpha bitmap is first
// reduced to the depth its alpha width fits (1, 4 or 8 bits, alphaOption
// being that reduction's dither flag). Positions outside the alpha bitmap
// are opaque.
bool DIB_ConvertA_RGB16(const SSurfaceDesc& dst, const SPackedDIB* dib, const SPackedDIB* alpha, bool dither,
                        bool alphaOption, bool invert);
bool DIB_ConvertA_RGB24(const SSurfaceDesc& dst, const SPackedDIB* dib, const SPackedDIB* alpha, bool dither,
                        bool alphaOption, bool invert);
bool DIB_ConvertA_RGB32(const SSurfaceDesc& dst, const SPackedDIB* dib, const SPackedDIB* alpha, bool dither,
                        bool alphaOption, bool invert);

// Writing a bitmap into a palettized surface of 1, 4 or 8 bits: the bitmap is
// reduced to that depth (a palette made for it unless grey, which takes the
// grey ramp), the surface palette gets the reduced bitmap's colours (as many
// entries as its table has, flags 0) and the packed rows are copied in.
bool DIB_ToSurfacePal1(const SSurfaceDesc& dst, SPaletteEntry* entries, const SPackedDIB* dib, bool dither,
                       bool grey);
bool DIB_ToSurfacePal4(const SSurfaceDesc& dst, SPaletteEntry* entries, const SPackedDIB* dib, bool dither,
                       bool grey);
bool DIB_ToSurfacePal8(const SSurfaceDesc& dst, SPaletteEntry* entries, const SPackedDIB* dib, bool dither,
                       bool grey);

// Reading surface memory back into a new packed bitmap, as screenshots do
// with the locked back buffer: bits 0
// keeps the surface's own depth; 16 and 32 bits come out with the standard
// masks, 24 bits plain. Palettized surfaces need their palette.
SPackedDIB* DIB_FromSurface(const SSurfaceDesc& src, int bits, const SPaletteEntry* entries);

// Copying a bitmap (from the source corner) into a rectangle of a surface, as
// a device copy does. Raster operations: kRopSrcCopy copies; without a bitmap
// kRopBlackness and kRopWhiteness fill the rectangle. Clipped to both.
enum : uint32_t { kRopSrcCopy = 0x00CC0020, kRopBlackness = 0x00000042, kRopWhiteness = 0x00FF0062 };
bool DIB_Draw(const SSurfaceDesc& dst, int x, int y, int width, int height, const SPackedDIB* dib, int srcX,
              int srcY, uint32_t rop);

// The block forms of the depth change and the scaling of CImage: a new
// bitmap, or null when the source is unsound or the target unsupported.
// The palette, when given, has 2, 16 or 256 entries of 4 bytes for the target.
SPackedDIB* DIB_ConvertDepthBlock(const SPackedDIB* src, int bits, bool dither, const uint8_t* palette,
                                  bool grey);
SPackedDIB* DIB_ScaleBlock(const SPackedDIB* src, int width, int height, int mode);

// Error-diffused reduction of 24-bit rows (bottom-up, padded) into a 16-bit
// masked bitmap, or into an 8-bit bitmap against a palette of 'count' entries
// (4 bytes each). Both bitmaps are width x height.
void DIB_Dither24To16(SPackedDIB* dst, const uint8_t* src24, int width, int height);
void DIB_Dither24To8(SPackedDIB* dst, const uint8_t* src24, int width, int height, const uint8_t* palette,
                     int count = 256);

// The entry of a colour table (2, 16 or 256 entries for depth 1, 4 or 8;
// other depths give 0) with the least sum of absolute channel differences,
// the first of equals.
int NearestPaletteIndex(const uint8_t* table, int depth, int red, int green, int blue);
