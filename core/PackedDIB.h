// Pictures in memory.
//
// Every picture the game handles, whether read from a BMP file, decoded from
// JPEG data, taken from a texture record or captured from the screen, lives in
// one block of memory, an SPackedDIB: a 40-byte information header, then the
// colour table (for 1, 4 and 8 bits per pixel) or the three red, green and
// blue channel masks (for 16 and 32 bits), then the pixel rows, bottom row
// first, each row padded to a multiple of 4 bytes. The block is the one that a
// BMP file carries behind its 14-byte file header, so reading and writing BMP
// files is little more than copying it. Blocks are made with DIB_Create (or
// the readers) and freed with DIB_Free; the converters in PixelConvert.h and
// the image object CImage (Image.h) work on them.
#pragma once

#include <cstddef>
#include <cstdint>

// Compression field values that a packed bitmap may carry.
enum : uint32_t {
    kDIBPlain = 0,     // BI_RGB: colour table or plain 24-bit pixels
    kDIBBitFields = 3  // BI_BITFIELDS: three channel masks follow the header
};

// The largest pictures accepted from files and asked of DIB_Create: a side of
// 32768 pixels and 256 MiB of pixel rows. Anything beyond is taken for a
// damaged header.
constexpr int32_t kDIBMaxSide = 32768;
constexpr uint32_t kDIBMaxImageBytes = 256u << 20;

// The 40-byte information header at the start of every block (little-endian,
// the layout BMP files store).
struct SPackedDIB {
    uint32_t m_headerSize;  // 40
    int32_t m_width;
    int32_t m_height;         // positive: rows stored bottom-up
    uint16_t m_planes;        // 1
    uint16_t m_bitCount;      // 1, 4, 8, 16, 24 or 32
    uint32_t m_compression;   // kDIBPlain or kDIBBitFields
    uint32_t m_imageSize;     // row bytes * height
    int32_t m_xPelsPerMeter;  // 0
    int32_t m_yPelsPerMeter;  // 0
    uint32_t m_colorsUsed;    // table entries when not 0
    uint32_t m_colorsImportant;
};
static_assert(sizeof(SPackedDIB) == 40, "the header is stored byte for byte");

// Bytes of one pixel row: ((width * bits + 31) / 32) * 4. Returns 0 when the
// row would not fit the limits above.
uint32_t DIB_RowBytes(int32_t width, int32_t bits);

// Colour-table entries: for 1, 4 and 8 bits the colours-used field when it is
// not 0 (never more than the depth can address), else 2, 16 or 256; for 16 and
// 32 bits the three channel masks count as three entries; 0 otherwise.
uint32_t DIB_ColorCount(const SPackedDIB* dib);
uint32_t DIB_ColorTableBytes(const SPackedDIB* dib);
uint8_t* DIB_ColorTable(SPackedDIB* dib);
const uint8_t* DIB_ColorTable(const SPackedDIB* dib);
uint8_t* DIB_Pixels(SPackedDIB* dib);
const uint8_t* DIB_Pixels(const SPackedDIB* dib);
// Header, table and pixel rows together.
size_t DIB_BlockBytes(const SPackedDIB* dib);

// The channel masks behind the header of a 16- or 32-bit bitmap (red, green,
// blue); null for other depths.
uint32_t* DIB_Masks(SPackedDIB* dib);
const uint32_t* DIB_Masks(const SPackedDIB* dib);

// The masks a 16- or 32-bit bitmap gets when none are given: 5-6-5 (or, for
// a plain 16-bit BMP file, 5-5-5) and 0xFF0000/0xFF00/0xFF.
void DIB_DefaultMasks(int bits, bool plainFile, uint32_t masks[3]);

// A new bitmap of the given size and depth, pixels and table zeroed. 16 bits
// get the 5-6-5 masks, 32 bits 0xFF0000/0xFF00/0xFF; 1, 4 and 8 bits a zeroed
// table of 2, 16 or 256 entries. Null when a value is out of range.
SPackedDIB* DIB_Create(int32_t width, int32_t height, int32_t bits);
void DIB_Free(SPackedDIB* dib);
SPackedDIB* DIB_Copy(const SPackedDIB* dib);

// A block whose header and table are a copy of the given one's and whose
// pixel rows are zeroed (the start of every same-size conversion).
SPackedDIB* DIB_CloneHeader(const SPackedDIB* dib);

// True when the header describes a bitmap these routines can work on: header
// size 40, a positive size within the limits, one of the six depths, and an
// image size that covers every row.
bool DIB_IsValid(const SPackedDIB* dib);

// Single pixels of 1-bit rows: the byte 1 << n for n 0 to 7 (the leftmost
// pixel of a byte is bit 7); 0 for other values.
uint8_t BitMask8(int n);
