#include "core/PackedDIB.h"

#include <cstdlib>
#include <cstring>

namespace {

bool IsKnownDepth(int32_t bits) {
    return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

}  // namespace

uint32_t DIB_RowBytes(int32_t width, int32_t bits) {
    if (width <= 0 || width > kDIBMaxSide || bits <= 0 || bits > 32) return 0;
    return static_cast<uint32_t>(((static_cast<uint64_t>(width) * bits + 31) / 32) * 4);
}

uint32_t DIB_ColorCount(const SPackedDIB* dib) {
    if (!dib) return 0;
    switch (dib->m_bitCount) {
        case 1:
        case 4:
        case 8: {
            uint32_t most = 1u << dib->m_bitCount;
            // A colours-used field beyond what the depth can address is damage, not
            // a longer table: the readers never let one through.
            if (dib->m_colorsUsed != 0 && dib->m_colorsUsed < most) return dib->m_colorsUsed;
            return most;
        }
        case 16:
        case 32:
            return 3;
        default:
            return 0;
    }
}

uint32_t DIB_ColorTableBytes(const SPackedDIB* dib) {
    return DIB_ColorCount(dib) * 4;
}

uint8_t* DIB_ColorTable(SPackedDIB* dib) {
    return dib ? reinterpret_cast<uint8_t*>(dib) + dib->m_headerSize : nullptr;
}

const uint8_t* DIB_ColorTable(const SPackedDIB* dib) {
    return dib ? reinterpret_cast<const uint8_t*>(dib) + dib->m_headerSize : nullptr;
}

uint8_t* DIB_Pixels(SPackedDIB* dib) {
    return dib ? DIB_ColorTable(dib) + DIB_ColorTableBytes(dib) : nullptr;
}

const uint8_t* DIB_Pixels(const SPackedDIB* dib) {
    return dib ? DIB_ColorTable(dib) + DIB_ColorTableBytes(dib) : nullptr;
}

size_t DIB_BlockBytes(const SPackedDIB* dib) {
    if (!dib) return 0;
    return size_t(dib->m_headerSize) + DIB_ColorTableBytes(dib) + dib->m_imageSize;
}

uint32_t* DIB_Masks(SPackedDIB* dib) {
    if (!dib || (dib->m_bitCount != 16 && dib->m_bitCount != 32)) return nullptr;
    return reinterpret_cast<uint32_t*>(DIB_ColorTable(dib));
}

const uint32_t* DIB_Masks(const SPackedDIB* dib) {
    if (!dib || (dib->m_bitCount != 16 && dib->m_bitCount != 32)) return nullptr;
    return reinterpret_cast<const uint32_t*>(DIB_ColorTable(dib));
}

void DIB_DefaultMasks(int bits, bool plainFile, uint32_t masks[3]) {
    if (bits == 16) {
        const bool fives = plainFile;
        masks[0] = fives ? 0x7C00 : 0xF800;
        masks[1] = fives ? 0x03E0 : 0x07E0;
        masks[2] = 0x001F;
    } else {
        masks[0] = 0xFF0000;
        masks[1] = 0x00FF00;
        masks[2] = 0x0000FF;
    }
}

SPackedDIB* DIB_Create(int32_t width, int32_t height, int32_t bits) {
    uint32_t rowBytes = DIB_RowBytes(width, bits);
    if (rowBytes == 0 || height <= 0 || height > kDIBMaxSide) return nullptr;
    uint64_t imageBytes = uint64_t(rowBytes) * uint32_t(height);
    if (imageBytes > kDIBMaxImageBytes) return nullptr;

    SPackedDIB header{};
    header.m_headerSize = sizeof(SPackedDIB);
    header.m_width = width;
    header.m_height = height;
    header.m_planes = 1;
    header.m_bitCount = static_cast<uint16_t>(bits);
    header.m_compression = (bits == 16 || bits == 32) ? kDIBBitFields : kDIBPlain;
    header.m_imageSize = static_cast<uint32_t>(imageBytes);
    if (bits == 1 || bits == 4 || bits == 8) {
        header.m_colorsUsed = 1u << bits;
        header.m_colorsImportant = 1u << bits;
    }

    auto* dib = static_cast<SPackedDIB*>(std::calloc(1, DIB_BlockBytes(&header)));
    if (!dib) return nullptr;
    *dib = header;
    if (uint32_t* masks = DIB_Masks(dib)) DIB_DefaultMasks(bits, false, masks);
    return dib;
}

void DIB_Free(SPackedDIB* dib) {
    std::free(dib);
}

SPackedDIB* DIB_Copy(const SPackedDIB* dib) {
    if (!dib) return nullptr;
    size_t bytes = DIB_BlockBytes(dib);
    auto* copy = static_cast<SPackedDIB*>(std::malloc(bytes));
    if (copy) std::memcpy(copy, dib, bytes);
    return copy;
}

SPackedDIB* DIB_CloneHeader(const SPackedDIB* dib) {
    if (!dib) return nullptr;
    size_t bytes = DIB_BlockBytes(dib);
    auto* copy = static_cast<SPackedDIB*>(std::calloc(1, bytes));
    if (copy) std::memcpy(copy, dib, bytes - dib->m_imageSize);
    return copy;
}

bool DIB_IsValid(const SPackedDIB* dib) {
    if (!dib || dib->m_headerSize != sizeof(SPackedDIB)) return false;
    if (!IsKnownDepth(dib->m_bitCount)) return false;
    if (dib->m_height <= 0 || dib->m_height > kDIBMaxSide) return false;
    uint32_t rowBytes = DIB_RowBytes(dib->m_width, dib->m_bitCount);
    if (rowBytes == 0) return false;
    uint64_t need = uint64_t(rowBytes) * uint32_t(dib->m_height);
    return need <= dib->m_imageSize && dib->m_imageSize <= kDIBMaxImageBytes;
}

uint8_t BitMask8(int n) {
    return (n >= 0 && n <= 7) ? static_cast<uint8_t>(1u << n) : 0;
}
