#include "tools/lib/BMPWriter.h"

#include <cstring>

#include "core/LittleEndian.h"

void BMP_PatchU16(std::vector<uint8_t>& bytes, size_t at, uint16_t value) {
    if (at + 2 > bytes.size()) return;
    LE_StoreU16(bytes.data() + at, value);
}

void BMP_PatchU32(std::vector<uint8_t>& bytes, size_t at, uint32_t value) {
    if (at + 4 > bytes.size()) return;
    LE_StoreU32(bytes.data() + at, value);
}

std::vector<uint8_t> BMP_Build(const SPackedDIB* dib, const SBMPForm& form) {
    std::vector<uint8_t> out;
    if (!DIB_IsValid(dib)) return out;
    const bool core = form.m_headerSize == 12;
    const bool palette = dib->m_bitCount <= 8;
    const uint32_t* masks = form.m_plainMasks ? nullptr : DIB_Masks(dib);
    if (core && (DIB_Masks(dib) || form.m_topDown || dib->m_width > 0xFFFF || dib->m_height > 0xFFFF))
        return out;
    if (form.m_headerSize != 12 && form.m_headerSize != 40 && form.m_headerSize != 108) return out;

    const uint32_t entries = palette ? DIB_ColorCount(dib) : 0;
    const uint32_t entryBytes = core ? 3 : 4;
    // Masks go behind a 40-byte header and inside a 108-byte one.
    const uint32_t tableBytes = palette ? entries * entryBytes : (masks && form.m_headerSize == 40 ? 12 : 0);
    const uint32_t rowBytes = DIB_RowBytes(dib->m_width, dib->m_bitCount);
    const uint32_t rowsBytes = rowBytes * uint32_t(dib->m_height);
    const uint32_t fileHeader = form.m_fileHeader ? 14 : 0;
    const uint32_t pixelOffset = fileHeader + form.m_headerSize + tableBytes;
    out.assign(pixelOffset + rowsBytes, 0);

    if (form.m_fileHeader) {
        out[0] = 'B';
        out[1] = 'M';
        BMP_PatchU32(out, 2, uint32_t(out.size()));
        BMP_PatchU32(out, 10, pixelOffset);
    }
    const size_t h = fileHeader;
    BMP_PatchU32(out, h, form.m_headerSize);
    if (core) {
        BMP_PatchU16(out, h + 4, uint16_t(dib->m_width));
        BMP_PatchU16(out, h + 6, uint16_t(dib->m_height));
        BMP_PatchU16(out, h + 8, 1);
        BMP_PatchU16(out, h + 10, dib->m_bitCount);
    } else {
        BMP_PatchU32(out, h + 4, uint32_t(dib->m_width));
        BMP_PatchU32(out, h + 8, uint32_t(form.m_topDown ? -dib->m_height : dib->m_height));
        BMP_PatchU16(out, h + 12, 1);
        BMP_PatchU16(out, h + 14, dib->m_bitCount);
        BMP_PatchU32(out, h + 16, masks ? kDIBBitFields : kDIBPlain);
        BMP_PatchU32(out, h + 20, rowsBytes);
        BMP_PatchU32(out, h + 32, palette && entries < (1u << dib->m_bitCount) ? entries : 0);
        if (masks && form.m_headerSize == 108) {
            for (int i = 0; i < 3; ++i) BMP_PatchU32(out, h + 40 + 4 * size_t(i), masks[i]);
            BMP_PatchU32(out, h + 56, 0x73524742);  // "sRGB" colour space
        }
    }
    const size_t t = h + form.m_headerSize;
    const uint8_t* table = DIB_ColorTable(dib);
    if (palette) {
        for (uint32_t i = 0; i < entries; ++i)
            std::memcpy(&out[t + i * entryBytes], table + i * 4, entryBytes);
    } else if (masks && form.m_headerSize == 40) {
        std::memcpy(&out[t], masks, 12);
    }
    const uint8_t* rows = DIB_Pixels(dib);
    for (int32_t y = 0; y < dib->m_height; ++y) {
        int32_t from = form.m_topDown ? dib->m_height - 1 - y : y;
        std::memcpy(&out[pixelOffset + size_t(y) * rowBytes], rows + size_t(from) * rowBytes, rowBytes);
    }
    return out;
}
