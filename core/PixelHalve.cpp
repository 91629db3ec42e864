// Halving surfaces into the next level of a texture's mip chain.
#include <algorithm>
#include <memory>

#include "core/PixelChannel.h"
#include "core/PixelConvert.h"

namespace {

bool Usable(const SSurfaceDesc& s, uint32_t bits) {
    return s.m_pixels && s.m_bitCount == bits && s.m_width > 0 && s.m_height > 0 &&
           std::abs(int64_t(s.m_pitch)) >= int64_t((uint64_t(s.m_width) * bits + 7) / 8);
}

inline uint8_t* Row(const SSurfaceDesc& s, uint32_t y) {
    return s.m_pixels + int64_t(y) * s.m_pitch;
}

// The part of the destination that has a whole 2x2 block behind it.
bool HalvedSize(const SSurfaceDesc& dst, const SSurfaceDesc& src, uint32_t& width, uint32_t& height) {
    width = std::min(dst.m_width, src.m_width / 2);
    height = std::min(dst.m_height, src.m_height / 2);
    return width > 0 && height > 0;
}

// Calls block(top row, bottom row, destination row, x) for every destination
// pixel that has a whole 2x2 block behind it.
template <typename Block>
bool ForEachBlock(const SSurfaceDesc& dst, const SSurfaceDesc& src, uint32_t bits, Block block) {
    uint32_t width, height;
    if (!Usable(dst, bits) || !Usable(src, bits) || !HalvedSize(dst, src, width, height)) return false;
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* a = Row(src, 2 * y);
        const uint8_t* b = Row(src, 2 * y + 1);
        uint8_t* d = Row(dst, y);
        for (uint32_t x = 0; x < width; ++x) block(a, b, d, x);
    }
    return true;
}

bool HalveMasked(const SSurfaceDesc& dst, const SSurfaceDesc& src, uint32_t bits, bool alpha) {
    const int bytes = int(bits / 8);
    const SPixelFormat in(src.m_redMask, src.m_greenMask, src.m_blueMask, src.m_alphaMask);
    const SPixelFormat out(dst.m_redMask, dst.m_greenMask, dst.m_blueMask, dst.m_alphaMask);
    const SPixelChannel* inCh[4] = {&in.m_red, &in.m_green, &in.m_blue, &in.m_alpha};
    const SPixelChannel* outCh[4] = {&out.m_red, &out.m_green, &out.m_blue, &out.m_alpha};
    const int channels = alpha ? 4 : 3;
    return ForEachBlock(dst, src, bits, [&](const uint8_t* a, const uint8_t* b, uint8_t* d, uint32_t x) {
        const uint32_t p[4] = {PixelLoad(a + 2 * x * bytes, bytes), PixelLoad(a + (2 * x + 1) * bytes, bytes),
                               PixelLoad(b + 2 * x * bytes, bytes),
                               PixelLoad(b + (2 * x + 1) * bytes, bytes)};
        uint32_t q = 0;
        for (int c = 0; c < channels; ++c) {
            uint32_t sum =
                inCh[c]->Load(p[0]) + inCh[c]->Load(p[1]) + inCh[c]->Load(p[2]) + inCh[c]->Load(p[3]);
            q |= outCh[c]->Store(sum / 4);
        }
        PixelStore(d + x * bytes, bytes, q);
    });
}

bool HalvePalette(const SSurfaceDesc& dst, const SSurfaceDesc& src, const uint8_t* palette, int bits) {
    if (!palette) return false;
    auto nearest = std::make_unique<CNearestCache>(palette, 1 << bits);
    return ForEachBlock(dst, src, uint32_t(bits),
                        [&](const uint8_t* a, const uint8_t* b, uint8_t* d, uint32_t x) {
                            const uint8_t* e[4] = {palette + UnpackIndex(a, int(2 * x), bits) * 4,
                                                   palette + UnpackIndex(a, int(2 * x + 1), bits) * 4,
                                                   palette + UnpackIndex(b, int(2 * x), bits) * 4,
                                                   palette + UnpackIndex(b, int(2 * x + 1), bits) * 4};
                            int mean[3];
                            for (int c = 0; c < 3; ++c) mean[c] = (e[0][c] + e[1][c] + e[2][c] + e[3][c]) / 4;
                            PackIndex(d, int(x), bits, nearest->Find(mean[2], mean[1], mean[0]));
                        });
}

}  // namespace

bool Surface_Halve_Pal4(const SSurfaceDesc& dst, const SSurfaceDesc& src, const uint8_t* palette) {
    return HalvePalette(dst, src, palette, 4);
}
bool Surface_Halve_Pal8(const SSurfaceDesc& dst, const SSurfaceDesc& src, const uint8_t* palette) {
    return HalvePalette(dst, src, palette, 8);
}
bool Surface_Halve_RGB16(const SSurfaceDesc& dst, const SSurfaceDesc& src) {
    return HalveMasked(dst, src, 16, false);
}
bool Surface_Halve_RGB24(const SSurfaceDesc& dst, const SSurfaceDesc& src) {
    return HalveMasked(dst, src, 24, false);
}
bool Surface_Halve_RGB32(const SSurfaceDesc& dst, const SSurfaceDesc& src) {
    return HalveMasked(dst, src, 32, false);
}
bool Surface_HalveAlpha_RGB16(const SSurfaceDesc& dst, const SSurfaceDesc& src) {
    return HalveMasked(dst, src, 16, true);
}
bool Surface_HalveAlpha_RGB24(const SSurfaceDesc& dst, const SSurfaceDesc& src) {
    return HalveMasked(dst, src, 24, true);
}
bool Surface_HalveAlpha_RGB32(const SSurfaceDesc& dst, const SSurfaceDesc& src) {
    return HalveMasked(dst, src, 32, true);
}
