// Depth changes of packed bitmaps: widening to 24 bits, reducing to masked or
// palette depths, with or without error diffusion.
#include <cstdlib>
#include <memory>
#include <vector>

#include "core/PixelChannel.h"
#include "core/PixelConvert.h"
#include "core/Quantizer.h"
#include "core/SysUtil.h"

SPixelChannel::SPixelChannel(uint32_t mask) : m_mask(mask) {
    if (mask != 0) {
        m_shift = LowestSetBit(mask);
        m_width = BitCount(mask);
    }
}

void DIB_FullTable(const SPackedDIB* dib, uint8_t table[256 * 4]) {
    std::memset(table, 0, 256 * 4);
    uint32_t count = DIB_ColorCount(dib);
    if (dib->m_bitCount <= 8) std::memcpy(table, DIB_ColorTable(dib), count * 4);
    for (int i = 0; i < 256; ++i) table[i * 4 + 3] = 0;
}

namespace {

inline uint8_t Grey(int red, int green, int blue) {
    return uint8_t((11 * red + 16 * green + 5 * blue) >> 5);
}

inline int Clamp(int v, int lo, int hi) {
    return v < lo ? lo : (v > hi ? hi : v);
}

// A palette bitmap whose table holds exactly 'entries' colours.
SPackedDIB* CreatePaletteDIB(int width, int height, int bits, int entries) {
    SPackedDIB* shape = DIB_Create(width, height, bits);
    if (!shape) return nullptr;
    int full = 1 << bits;
    if (entries <= 0 || entries >= full) return shape;
    SPackedDIB header = *shape;
    DIB_Free(shape);
    header.m_colorsUsed = uint32_t(entries);
    header.m_colorsImportant = uint32_t(entries);
    auto* dib = static_cast<SPackedDIB*>(std::calloc(1, DIB_BlockBytes(&header)));
    if (dib) *dib = header;
    return dib;
}

}  // namespace

SPackedDIB* DIB_To24(const SPackedDIB* dib, bool grey) {
    if (!DIB_IsValid(dib)) return nullptr;
    const int width = dib->m_width, height = dib->m_height, bits = dib->m_bitCount;
    SPackedDIB* out = bits == 24 ? DIB_Copy(dib) : DIB_Create(width, height, 24);
    if (!out) return nullptr;
    out->m_xPelsPerMeter = dib->m_xPelsPerMeter;
    out->m_yPelsPerMeter = dib->m_yPelsPerMeter;
    const uint32_t srcRow = DIB_RowBytes(width, bits), dstRow = DIB_RowBytes(width, 24);
    const uint8_t* src = DIB_Pixels(dib);
    uint8_t* dst = DIB_Pixels(out);
    if (bits <= 8) {
        uint8_t table[256 * 4];
        DIB_FullTable(dib, table);
        if (grey) {
            for (int i = 0; i < 256; ++i) {
                uint8_t g = Grey(table[i * 4 + 2], table[i * 4 + 1], table[i * 4]);
                table[i * 4] = table[i * 4 + 1] = table[i * 4 + 2] = g;
            }
        }
        for (int y = 0; y < height; ++y) {
            const uint8_t* s = src + size_t(y) * srcRow;
            uint8_t* d = dst + size_t(y) * dstRow;
            for (int x = 0; x < width; ++x) {
                const uint8_t* e = table + UnpackIndex(s, x, bits) * 4;
                d[x * 3] = e[0];
                d[x * 3 + 1] = e[1];
                d[x * 3 + 2] = e[2];
            }
        }
        return out;
    }
    if (bits == 16 || bits == 32) {
        const uint32_t* m = DIB_Masks(dib);
        SPixelFormat f(m[0], m[1], m[2]);
        const int bytes = bits / 8;
        for (int y = 0; y < height; ++y) {
            const uint8_t* s = src + size_t(y) * srcRow;
            uint8_t* d = dst + size_t(y) * dstRow;
            for (int x = 0; x < width; ++x) {
                uint32_t p = PixelLoad(s + x * bytes, bytes);
                d[x * 3] = uint8_t(f.m_blue.Load(p));
                d[x * 3 + 1] = uint8_t(f.m_green.Load(p));
                d[x * 3 + 2] = uint8_t(f.m_red.Load(p));
            }
        }
    }
    if (grey) {
        for (int y = 0; y < height; ++y) {
            uint8_t* d = dst + size_t(y) * dstRow;
            for (int x = 0; x < width; ++x, d += 3) d[0] = d[1] = d[2] = Grey(d[2], d[1], d[0]);
        }
    }
    return out;
}

int NearestIndex(const uint8_t* table, int count, int red, int green, int blue) {
    int best = 0;
    int bestSum = 10000;
    for (int i = 0; i < count; ++i) {
        const uint8_t* e = table + i * 4;
        int sum = std::abs(e[2] - red) + std::abs(e[1] - green) + std::abs(e[0] - blue);
        if (sum < bestSum) {
            bestSum = sum;
            best = i;
            if (sum == 0) break;
        }
    }
    return best;
}

int NearestPaletteIndex(const uint8_t* table, int depth, int red, int green, int blue) {
    if (!table || (depth != 1 && depth != 4 && depth != 8)) return 0;
    return NearestIndex(table, 1 << depth, red, green, blue);
}

namespace {

// Both ditherers walk the picture from its top row down, so that the error
// flows the way the eye reads it. 'pixel' gets the source pixel, the error
// accumulated for it, the rows and its place, and writes the output pixel.
template <typename Pixel>
void DitherWalk(uint8_t* dstPixels, uint32_t dstRow, const uint8_t* src24, int width, int height,
                Pixel pixel) {
    const uint32_t srcRow = DIB_RowBytes(width, 24);
    CErrorRows err(width);
    for (int y = height - 1; y >= 0; --y) {
        const uint8_t* s = src24 + size_t(y) * srcRow;
        uint8_t* d = dstPixels + size_t(y) * dstRow;
        const int* acc = err.Current();
        for (int x = 0; x < width; ++x) pixel(s + x * 3, acc + x * 3, err, x, d);
        err.Advance();
    }
}

}  // namespace

void DIB_Dither24To16(SPackedDIB* dst, const uint8_t* src24, int width, int height) {
    const uint32_t* m = DIB_Masks(dst);
    if (!m || dst->m_bitCount != 16) return;
    const SPixelChannel ch[3] = {SPixelChannel(m[2]), SPixelChannel(m[1]), SPixelChannel(m[0])};  // b, g, r
    DitherWalk(DIB_Pixels(dst), DIB_RowBytes(width, 16), src24, width, height,
               [&](const uint8_t* s, const int* acc, CErrorRows& err, int x, uint8_t* d) {
                   uint32_t out = 0;
                   for (int c = 0; c < 3; ++c) {
                       int v = Clamp(s[c] + acc[c], 0, 255);
                       out |= ch[c].Store(uint32_t(v));
                       int e = v & int(ch[c].CutBits());
                       if (e) err.Spread(x, c, e);
                   }
                   PixelStore(d + x * 2, 2, out);
               });
}

void DIB_Dither24To8(SPackedDIB* dst, const uint8_t* src24, int width, int height, const uint8_t* palette,
                     int count) {
    if (!dst || dst->m_bitCount != 8 || !palette || count <= 0) return;
    // Nearest entries per 5-5-5 colour, found once per call.
    std::vector<int16_t> cache(32768, -1);
    DitherWalk(DIB_Pixels(dst), DIB_RowBytes(width, 8), src24, width, height,
               [&](const uint8_t* s, const int* acc, CErrorRows& err, int x, uint8_t* d) {
                   int v[3];
                   for (int c = 0; c < 3; ++c) v[c] = Clamp(s[c] + Clamp(acc[c], -200, 200), 0, 255);
                   uint32_t key =
                       (uint32_t(v[2] >> 3) << 10) | (uint32_t(v[1] >> 3) << 5) | uint32_t(v[0] >> 3);
                   if (cache[key] < 0) cache[key] = int16_t(NearestIndex(palette, count, v[2], v[1], v[0]));
                   const int index = cache[key];
                   d[x] = uint8_t(index);
                   const uint8_t* e = palette + index * 4;
                   for (int c = 0; c < 3; ++c)
                       if (int diff = v[c] - e[c]) err.Spread(x, c, diff);
               });
}

SPackedDIB* DIB_ConvertDepthBlock(const SPackedDIB* src, int bits, bool dither, const uint8_t* palette,
                                  bool grey) {
    if (!DIB_IsValid(src)) return nullptr;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return nullptr;
    if (bits == src->m_bitCount && !grey) return DIB_Copy(src);
    std::unique_ptr<SPackedDIB, void (*)(SPackedDIB*)> wide(DIB_To24(src, grey), DIB_Free);
    if (!wide) return nullptr;
    if (bits == 24) return wide.release();

    const int width = src->m_width, height = src->m_height;
    const uint8_t* in = DIB_Pixels(wide.get());
    const uint32_t inRow = DIB_RowBytes(width, 24);

    if (bits == 16 || bits == 32) {
        SPackedDIB* out = DIB_Create(width, height, bits);
        if (!out) return nullptr;
        if (bits == 16 && dither) {
            DIB_Dither24To16(out, in, width, height);
            return out;
        }
        const uint32_t* m = DIB_Masks(out);
        SPixelFormat f(m[0], m[1], m[2]);
        const uint32_t outRow = DIB_RowBytes(width, bits);
        const int bytes = bits / 8;
        for (int y = 0; y < height; ++y) {
            const uint8_t* s = in + size_t(y) * inRow;
            uint8_t* d = DIB_Pixels(out) + size_t(y) * outRow;
            for (int x = 0; x < width; ++x, s += 3)
                PixelStore(d + x * bytes, bytes,
                           f.m_red.Store(s[2]) | f.m_green.Store(s[1]) | f.m_blue.Store(s[0]));
        }
        return out;
    }

    // Palette targets: the given palette, the grey ramp, or one made for the
    // picture (exactly its colours when it has few enough).
    const int full = 1 << bits;
    uint8_t table[256 * 4] = {};
    int entries = full;
    if (palette) {
        std::memcpy(table, palette, size_t(full) * 4);
    } else if (grey) {
        for (int i = 0; i < full; ++i)
            table[i * 4] = table[i * 4 + 1] = table[i * 4 + 2] = uint8_t(i * 255 / (full - 1));
    } else {
        CPaletteGenerator generator(full);
        if (!generator.Make(wide.get())) return nullptr;
        generator.CopyOut(table);
        entries = generator.FoundCount() > 0 ? generator.FoundCount() : 1;
    }
    for (int i = 0; i < full; ++i) table[i * 4 + 3] = 0;

    SPackedDIB* out = CreatePaletteDIB(width, height, bits, entries);
    if (!out) return nullptr;
    std::memcpy(DIB_ColorTable(out), table, size_t(entries) * 4);
    const uint32_t outRow = DIB_RowBytes(width, bits);
    if (dither) {
        SPackedDIB* indices = bits == 8 ? out : DIB_Create(width, height, 8);
        if (!indices) {
            DIB_Free(out);
            return nullptr;
        }
        DIB_Dither24To8(indices, in, width, height, table, entries);
        if (indices != out) {
            const uint32_t idxRow = DIB_RowBytes(width, 8);
            for (int y = 0; y < height; ++y) {
                const uint8_t* s = DIB_Pixels(indices) + size_t(y) * idxRow;
                uint8_t* d = DIB_Pixels(out) + size_t(y) * outRow;
                for (int x = 0; x < width; ++x) PackIndex(d, x, bits, s[x]);
            }
            DIB_Free(indices);
        }
        return out;
    }
    auto cache = std::make_unique<CNearestCache>(table, entries);
    for (int y = 0; y < height; ++y) {
        const uint8_t* s = in + size_t(y) * inRow;
        uint8_t* d = DIB_Pixels(out) + size_t(y) * outRow;
        for (int x = 0; x < width; ++x, s += 3) PackIndex(d, x, bits, cache->Find(s[2], s[1], s[0]));
    }
    return out;
}
