#include "core/ImageBMP.h"

#include <cstdlib>
#include <cstring>

#include "core/LittleEndian.h"

namespace {

constexpr size_t kFileHeaderBytes = 14;
constexpr uint32_t kCoreHeaderBytes = 12;

bool IsKnownInfoHeader(uint32_t size) {
    // 40 Windows 3, 52 and 56 with masks (and alpha), 108 version 4, 124 version 5.
    return size == 40 || size == 52 || size == 56 || size == 108 || size == 124;
}

// Masks of a 16- or 32-bit file: each channel present, no two overlapping, all
// inside the pixel's bits. Gaps inside a mask are tolerated (only its lowest
// and highest bit matter to the converters).
bool MasksFit(const uint32_t masks[3], int bits) {
    uint32_t limit = bits == 16 ? 0xFFFFu : 0xFFFFFFFFu;
    uint32_t seen = 0;
    for (int i = 0; i < 3; ++i) {
        if (masks[i] == 0 || (masks[i] & ~limit) != 0 || (masks[i] & seen) != 0) return false;
        seen |= masks[i];
    }
    return true;
}

// The header of a BMP in memory whose pixel rows are all there, and where
// those rows start. A file that ends before its last row is refused: half a
// picture is not a picture, and its missing rows would otherwise be whatever
// memory held.
SPackedDIB* ReadWholeHeader(const uint8_t* data, size_t size, const uint8_t** rows, bool* topDown) {
    size_t pixelOffset = 0;
    SPackedDIB* header = DIB_ReadBMPHeader(data, size, &pixelOffset, topDown);
    if (header && (pixelOffset > size || size - pixelOffset < header->m_imageSize)) {
        DIB_Free(header);
        return nullptr;
    }
    if (header) *rows = data + pixelOffset;
    return header;
}

}  // namespace

SPackedDIB* DIB_ReadBMPHeader(const uint8_t* data, size_t size, size_t* pixelOffsetOut, bool* topDownOut) {
    if (!data) return nullptr;
    // A file without the "BM" file header is taken to start with its
    // information header.
    size_t info = 0;
    size_t pixelOffset = 0;
    bool haveOffset = false;
    if (size >= kFileHeaderBytes && data[0] == 'B' && data[1] == 'M') {
        info = kFileHeaderBytes;
        pixelOffset = LE_LoadU32(data + 10);
        haveOffset = pixelOffset != 0;
    }
    if (size < info + 4) return nullptr;
    uint32_t headerSize = LE_LoadU32(data + info);
    if (headerSize != kCoreHeaderBytes && !IsKnownInfoHeader(headerSize)) return nullptr;
    if (size - info < headerSize) return nullptr;
    const uint8_t* h = data + info;

    SPackedDIB header{};
    header.m_headerSize = sizeof(SPackedDIB);
    header.m_planes = 1;
    int32_t storedHeight;
    uint32_t compression = kDIBPlain;
    uint32_t colorsUsed = 0;
    size_t entryBytes = 4;
    if (headerSize == kCoreHeaderBytes) {
        header.m_width = LE_LoadU16(h + 4);
        storedHeight = LE_LoadU16(h + 6);
        header.m_bitCount = LE_LoadU16(h + 10);
        entryBytes = 3;
    } else {
        header.m_width = static_cast<int32_t>(LE_LoadU32(h + 4));
        storedHeight = static_cast<int32_t>(LE_LoadU32(h + 8));
        header.m_bitCount = LE_LoadU16(h + 14);
        compression = LE_LoadU32(h + 16);
        header.m_xPelsPerMeter = static_cast<int32_t>(LE_LoadU32(h + 24));
        header.m_yPelsPerMeter = static_cast<int32_t>(LE_LoadU32(h + 28));
        colorsUsed = LE_LoadU32(h + 32);
        header.m_colorsImportant = LE_LoadU32(h + 36);
    }

    const int bits = header.m_bitCount;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return nullptr;
    // Negative heights are top-down rows; the smallest int has no positive twin.
    if (storedHeight == 0 || storedHeight < -kDIBMaxSide || storedHeight > kDIBMaxSide) return nullptr;
    const bool topDown = storedHeight < 0;
    header.m_height = topDown ? -storedHeight : storedHeight;
    uint32_t rowBytes = DIB_RowBytes(header.m_width, bits);
    if (rowBytes == 0) return nullptr;
    uint64_t imageBytes = uint64_t(rowBytes) * uint32_t(header.m_height);
    if (imageBytes > kDIBMaxImageBytes) return nullptr;
    // The stored image-size field is not trusted: the rows are what the size and
    // depth say they are.
    header.m_imageSize = static_cast<uint32_t>(imageBytes);

    size_t tableStart = info + headerSize;
    uint32_t masks[3] = {0, 0, 0};
    uint32_t tableEntries = 0;
    size_t fileTableBytes = 0;
    if (bits <= 8) {
        if (compression != kDIBPlain) return nullptr;  // run-length forms are not read
        uint32_t most = 1u << bits;
        uint32_t declared = colorsUsed != 0 ? colorsUsed : most;
        if (colorsUsed > 0x10000) return nullptr;
        fileTableBytes = size_t(declared) * entryBytes;
        tableEntries = declared < most ? declared : most;
        // Some writers store fewer entries than they declare; the pixel offset of
        // the file header tells.
        if (haveOffset && pixelOffset >= tableStart && pixelOffset - tableStart < fileTableBytes) {
            uint32_t room = static_cast<uint32_t>((pixelOffset - tableStart) / entryBytes);
            if (room < tableEntries) tableEntries = room;
            fileTableBytes = size_t(room) * entryBytes;
        }
        if (tableEntries == 0) return nullptr;
        if (size < tableStart || size - tableStart < size_t(tableEntries) * entryBytes) return nullptr;
        header.m_colorsUsed = tableEntries;
        if (header.m_colorsImportant > tableEntries) header.m_colorsImportant = tableEntries;
    } else if (bits == 24) {
        if (compression != kDIBPlain) return nullptr;
    } else {
        header.m_colorsImportant = 0;
        if (compression == kDIBPlain) {
            DIB_DefaultMasks(bits, true, masks);
        } else if (compression == kDIBBitFields || compression == 6) {
            // The masks sit inside the longer headers, or behind a 40-byte one (a
            // fourth, alpha mask follows with compression 6).
            const uint8_t* m;
            if (headerSize >= 52) {
                m = h + 40;
            } else {
                fileTableBytes = compression == 6 ? 16 : 12;
                if (size < tableStart || size - tableStart < fileTableBytes) return nullptr;
                m = data + tableStart;
            }
            for (int i = 0; i < 3; ++i) masks[i] = LE_LoadU32(m + 4 * i);
        } else {
            return nullptr;
        }
        if (!MasksFit(masks, bits)) return nullptr;
        header.m_compression = kDIBBitFields;
    }

    size_t pixels = haveOffset ? pixelOffset : tableStart + fileTableBytes;
    if (haveOffset && pixelOffset < tableStart) return nullptr;

    auto* block = static_cast<SPackedDIB*>(std::calloc(1, sizeof(SPackedDIB) + DIB_ColorTableBytes(&header)));
    if (!block) return nullptr;
    *block = header;
    uint8_t* table = DIB_ColorTable(block);
    if (bits <= 8) {
        for (uint32_t i = 0; i < tableEntries; ++i) {
            const uint8_t* e = data + tableStart + i * entryBytes;
            table[i * 4 + 0] = e[0];
            table[i * 4 + 1] = e[1];
            table[i * 4 + 2] = e[2];
            table[i * 4 + 3] = 0;
        }
    } else if (uint32_t* out = DIB_Masks(block)) {
        std::memcpy(out, masks, sizeof masks);
    }
    if (pixelOffsetOut) *pixelOffsetOut = pixels;
    if (topDownOut) *topDownOut = topDown;
    return block;
}

SPackedDIB* DIB_FromParts(const SPackedDIB* header, const uint8_t* rows, bool topDown) {
    if (!header || !rows) return nullptr;
    size_t headBytes = sizeof(SPackedDIB) + DIB_ColorTableBytes(header);
    auto* dib = static_cast<SPackedDIB*>(std::malloc(headBytes + header->m_imageSize));
    if (!dib) return nullptr;
    std::memcpy(dib, header, headBytes);
    uint8_t* out = DIB_Pixels(dib);
    if (!topDown) {
        std::memcpy(out, rows, dib->m_imageSize);
    } else {
        size_t rowBytes = DIB_RowBytes(dib->m_width, dib->m_bitCount);
        for (int32_t y = 0; y < dib->m_height; ++y)
            std::memcpy(out + size_t(dib->m_height - 1 - y) * rowBytes, rows + size_t(y) * rowBytes,
                        rowBytes);
    }
    return dib;
}

SPackedDIB* DIB_ReadBMPMemory(const uint8_t* data, size_t size) {
    const uint8_t* rows = nullptr;
    bool topDown = false;
    SPackedDIB* header = ReadWholeHeader(data, size, &rows, &topDown);
    if (!header) return nullptr;
    SPackedDIB* dib = DIB_FromParts(header, rows, topDown);
    DIB_Free(header);
    return dib;
}

bool DIB_ReadBMPToSurface(const SSurfaceDesc& dst, const uint8_t* data, size_t size, bool dither) {
    const uint8_t* rows = nullptr;
    bool topDown = false;
    SPackedDIB* header = ReadWholeHeader(data, size, &rows, &topDown);
    if (!header) return false;
    bool ok = false;
    if (header->m_bitCount == 24) {
        const ptrdiff_t row = ptrdiff_t(DIB_RowBytes(header->m_width, 24));
        const SRows24 view{topDown ? rows : rows + (header->m_height - 1) * row, topDown ? row : -row,
                           uint32_t(header->m_width), uint32_t(header->m_height)};
        ok = Rows24_ConvertB(dst, view, dither);
    } else if (SPackedDIB* dib = DIB_FromParts(header, rows, topDown)) {
        const uint32_t bits = dst.m_bitCount;
        ok = bits == 16   ? DIB_ConvertB_RGB16(dst, dib, dither)
             : bits == 24 ? DIB_ConvertB_RGB24(dst, dib, dither)
                          : bits == 32 && DIB_ConvertB_RGB32(dst, dib, dither);
        DIB_Free(dib);
    }
    DIB_Free(header);
    return ok;
}

bool DIB_WriteBMPMemory(const SPackedDIB* dib, std::vector<uint8_t>& out) {
    if (!DIB_IsValid(dib)) return false;
    uint32_t tableBytes = DIB_ColorTableBytes(dib);
    uint32_t pixelOffset = uint32_t(kFileHeaderBytes) + dib->m_headerSize + tableBytes;
    uint32_t rowsBytes = DIB_RowBytes(dib->m_width, dib->m_bitCount) * uint32_t(dib->m_height);
    out.assign(size_t(pixelOffset) + rowsBytes, 0);
    uint8_t* p = out.data();
    p[0] = 'B';
    p[1] = 'M';
    LE_StoreU32(p + 2, pixelOffset + rowsBytes);
    LE_StoreU16(p + 6, 0);
    LE_StoreU16(p + 8, 0);
    LE_StoreU32(p + 10, pixelOffset);
    std::memcpy(p + kFileHeaderBytes, dib, dib->m_headerSize + tableBytes);
    // The stored image size is the rows' true size even when the block carries
    // slack behind them.
    LE_StoreU32(p + kFileHeaderBytes + 20, rowsBytes);
    std::memcpy(p + pixelOffset, DIB_Pixels(dib), rowsBytes);
    return true;
}
