// The texture cache file (little-endian, written and read field by field):
//   u32 stamp;
//   124 bytes: the staging surface's description in DirectDraw's layout:
//     0 size (124), 4 flags, 8 height, 12 width, 16 pitch, 20 back-buffer
//     count, 24 mip count, 28 alpha depth, 32 reserved, 36 surface address
//     (0 on disk), 40 to 71 four colour-key pairs (destination overlay,
//     destination blit, source overlay, source blit), 72 the pixel format
//     (size 32, flags, FourCC, bit count, red, green, blue and alpha masks),
//     104 four caps words, 120 texture stage;
//   height x pitch bytes of pixel rows, top row first;
//   u8 palette present; when set, u32 palette caps and its entries (2, 4, 16
//     or 256 by the caps' 1-, 2-, 4- or 8-bit bit), 4 bytes each: red, green,
//     blue, flags.
// A reader accepts the file only when the stamp and the description's
// height, width, pitch, bit count and masks equal its own staging surface's,
// and every byte the description promises is there.
#pragma once

#include <cstdint>

#include "platform/surface/SoftSurface.h"

constexpr uint32_t kE3DTexCacheDescBytes = 124;

// The description of a surface in the stored layout, and back (only the
// fields the engine keeps; the others are 0).
void E3DTexCache_EncodeDesc(uint8_t out[kE3DTexCacheDescBytes], const SDDSurfaceDesc& desc);
void E3DTexCache_DecodeDesc(const uint8_t in[kE3DTexCacheDescBytes], SDDSurfaceDesc* desc);
// Whether a stored description matches a surface's (height, width, pitch,
// bit count, masks).
bool E3DTexCache_Matches(const SDDSurfaceDesc& stored, const SDDSurfaceDesc& surface);
