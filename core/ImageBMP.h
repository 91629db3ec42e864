// BMP files: reading them into packed bitmaps and writing packed bitmaps back.
//
// The reader takes what paint programs write: files with or without the
// 14-byte "BM" file header, the 12-byte OS/2 core header (3-byte colour
// entries), the 40-byte Windows header and its longer 52-, 56-, 108- and
// 124-byte successors, 1, 4, 8, 16, 24 and 32 bits per pixel, colour tables of
// any length up to what the depth addresses, channel masks (given in the file,
// or the 5-5-5 and 8-8-8 defaults of plain 16- and 32-bit files), rows stored
// bottom-up or top-down. Whatever the file's form, the result is the one
// in-memory form of PackedDIB.h. Run-length compressed files are refused.
//
// Nothing a header says is taken on trust: sizes, offsets, counts and masks
// must fit the file and each other, and a file that ends before its last
// pixel row is refused, not half-read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/PackedDIB.h"
#include "core/PixelConvert.h"

// Reads the headers of a BMP held in memory: a new block holding the 40-byte
// header and the colour table or masks (m_imageSize set, no pixel rows). The
// offset of the first stored pixel row and whether the rows are stored
// top-down are returned through the pointers when given. Null on any fault.
SPackedDIB* DIB_ReadBMPHeader(const uint8_t* data, size_t size, size_t* pixelOffset = nullptr,
                              bool* topDown = nullptr);

// A packed bitmap from a header block (as DIB_ReadBMPHeader gives) and its
// m_imageSize bytes of rows, stored bottom-up or top-down.
SPackedDIB* DIB_FromParts(const SPackedDIB* header, const uint8_t* rows, bool topDown);

// A whole BMP held in memory as a new packed bitmap; null on any fault.
SPackedDIB* DIB_ReadBMPMemory(const uint8_t* data, size_t size);

// A whole BMP held in memory written into a 16-, 24- or 32-bit surface: the
// pixels DIB_ReadBMPMemory then DIB_ConvertB_RGB16, 24 or 32 (by the
// surface's bit count) would give. 24-bit files, the common case of large
// pictures, are converted from the file's own rows with no bitmap made.
// False, the surface untouched, on any fault of the file or the surface.
bool DIB_ReadBMPToSurface(const SSurfaceDesc& dst, const uint8_t* data, size_t size, bool dither);

// A BMP file read through the file table; null when the file cannot be opened
// or is not a whole, sound BMP.
SPackedDIB* DIB_ReadBMP(const char* path);

// The BMP file form of a bitmap: the file header ("BM", file size, two zero
// words, offset of the pixels), the 40-byte header, the table and the rows.
// False when the bitmap is missing or its header is not sound.
bool DIB_WriteBMPMemory(const SPackedDIB* dib, std::vector<uint8_t>& out);

// Writes the BMP file form through the file table; false when there is no
// bitmap or the file cannot be created or written whole.
bool DIB_WriteBMP(const char* path, const SPackedDIB* dib);
