// Packed bitmaps into surface memory, and surface memory back into bitmaps.
#include "core/PixelConvert.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "core/PixelChannel.h"
#include "core/PixelRows.h"

namespace {

using DIBPtr = std::unique_ptr<SPackedDIB, void (*)(SPackedDIB*)>;

DIBPtr Owned(SPackedDIB* dib) {
    return DIBPtr(dib, DIB_Free);
}

bool SurfaceUsable(const SSurfaceDesc& s, uint32_t bits) {
    if (!s.m_pixels || s.m_bitCount != bits || s.m_width == 0 || s.m_height == 0) return false;
    uint64_t rowBytes = (uint64_t(s.m_width) * bits + 7) / 8;
    return s.m_pitch >= 0 ? uint64_t(s.m_pitch) >= rowBytes : uint64_t(-int64_t(s.m_pitch)) >= rowBytes;
}

inline uint8_t* SurfaceRow(const SSurfaceDesc& s, uint32_t y) {
    return s.m_pixels + int64_t(y) * s.m_pitch;
}

// The bitmap as 24 bits: itself when it is 24 bits already, else a widened
// copy kept alive by 'holder'.
const SPackedDIB* As24(const SPackedDIB* dib, DIBPtr& holder) {
    if (!DIB_IsValid(dib)) return nullptr;
    if (dib->m_bitCount == 24) return dib;
    holder.reset(DIB_To24(dib, false));
    return holder.get();
}

// Channel stores with the shifts worked out once: (v << 24 >> post) << shift
// keeps the top bits of v; a missing channel keeps none.
struct SStorer {
    uint32_t post, shift, keep;
    explicit SStorer(const SPixelChannel& c)
        : post(c.m_width ? 32 - c.m_width : 24),
          shift(c.m_width ? c.m_shift : 0),
          keep(c.m_width ? ~0u : 0u) {}
    uint32_t operator()(uint32_t v) const { return (((v << 24) >> post) << shift) & keep; }
};

template <int Bytes>
void WriteRowPlain(uint8_t* d, const uint8_t* s, uint32_t width, const SStorer& r, const SStorer& g,
                   const SStorer& b) {
    for (uint32_t x = 0; x < width; ++x, s += 3, d += Bytes) {
        uint32_t p = r(s[2]) | g(s[1]) | b(s[0]);
        if constexpr (Bytes == 2) {
            uint16_t v = uint16_t(p);
            std::memcpy(d, &v, 2);
        } else if constexpr (Bytes == 4) {
            std::memcpy(d, &p, 4);
        } else {
            d[0] = uint8_t(p);
            d[1] = uint8_t(p >> 8);
            d[2] = uint8_t(p >> 16);
        }
    }
}

// A 24-bit bitmap's rows, top row first.
SRows24 RowsOf(const SPackedDIB* dib24) {
    const uint32_t row = DIB_RowBytes(dib24->m_width, 24);
    return SRows24{DIB_Pixels(dib24) + size_t(dib24->m_height - 1) * row, -ptrdiff_t(row),
                   uint32_t(dib24->m_width), uint32_t(dib24->m_height)};
}

// Writes colour (and, when given, alpha levels) into a masked surface.
// 'alphaAt' gives the 8-bit alpha of a picture position.
template <typename AlphaAt>
void WriteMaskedRows(const SSurfaceDesc& dst, const SRows24& rows, bool dither, int bytes, AlphaAt alphaAt,
                     bool withAlpha) {
    const SPixelFormat f(dst.m_redMask, dst.m_greenMask, dst.m_blueMask, dst.m_alphaMask);
    const uint32_t width = std::min<uint32_t>(dst.m_width, rows.m_width);
    const uint32_t height = std::min<uint32_t>(dst.m_height, rows.m_height);
    auto rowAt = [&](uint32_t y) { return rows.m_top + ptrdiff_t(y) * rows.m_step; };
    const SStorer sr(f.m_red), sg(f.m_green), sb(f.m_blue), sa(f.m_alpha);

    if (!dither && !withAlpha && bytes != 3) {
        const SRowPacker packer = RowPacker_Make(f);
        if (packer.m_valid) {
            for (uint32_t y = 0; y < height; ++y)
                RowPacker_Pack(packer, SurfaceRow(dst, y), rowAt(y), width, bytes);
            return;
        }
    }
    if (!dither && !withAlpha) {
        for (uint32_t y = 0; y < height; ++y) {
            const uint8_t* s = rowAt(y);
            uint8_t* d = SurfaceRow(dst, y);
            if (bytes == 2)
                WriteRowPlain<2>(d, s, width, sr, sg, sb);
            else if (bytes == 3)
                WriteRowPlain<3>(d, s, width, sr, sg, sb);
            else
                WriteRowPlain<4>(d, s, width, sr, sg, sb);
        }
        return;
    }

    const SPixelChannel* ch[3] = {&f.m_blue, &f.m_green, &f.m_red};
    const SStorer* st[3] = {&sb, &sg, &sr};
    CErrorRows err(static_cast<int>(width));
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* s = rowAt(y);
        uint8_t* d = SurfaceRow(dst, y);
        int* acc = err.Current();
        for (uint32_t x = 0; x < width; ++x) {
            uint32_t p = 0;
            for (int c = 0; c < 3; ++c) {
                int v = s[x * 3 + c];
                if (dither) {
                    v += acc[x * 3 + c];
                    if (v > 255) v = 255;
                    int e = v & int(ch[c]->CutBits());
                    if (e) err.Spread(int(x), c, e);
                }
                p |= (*st[c])(uint32_t(v));
            }
            if (withAlpha) p |= sa(alphaAt(x, y));
            PixelStore(d + x * bytes, bytes, p);
        }
        if (dither) err.Advance();
    }
}

template <typename AlphaAt>
bool WriteMasked(const SSurfaceDesc& dst, const SPackedDIB* dib, bool dither, int bytes, AlphaAt alphaAt,
                 bool withAlpha) {
    if (!SurfaceUsable(dst, uint32_t(bytes * 8))) return false;
    DIBPtr holder = Owned(nullptr);
    const SPackedDIB* src = As24(dib, holder);
    if (!src) return false;
    WriteMaskedRows(dst, RowsOf(src), dither, bytes, alphaAt, withAlpha);
    return true;
}

bool ConvertB(const SSurfaceDesc& dst, const SPackedDIB* dib, bool dither, int bytes) {
    return WriteMasked(
        dst, dib, dither, bytes, [](uint32_t, uint32_t) { return 0u; }, false);
}

bool ConvertA(const SSurfaceDesc& dst, const SPackedDIB* dib, const SPackedDIB* alpha, bool dither,
              bool alphaOption, bool invert, int bytes) {
    const SPixelChannel alphaChannel(dst.m_alphaMask);
    if (alphaChannel.m_width == 0 || !alpha) return ConvertB(dst, dib, dither, bytes);
    if (!DIB_IsValid(alpha)) return false;
    // The alpha picture is reduced to what the surface can hold, then read as
    // grey levels (the grey ramp of 256 makes each index its level).
    const int depth = alphaChannel.m_width == 1 ? 1 : (alphaChannel.m_width <= 4 ? 4 : 8);
    DIBPtr reduced = Owned(DIB_ConvertDepthBlock(alpha, depth, alphaOption, nullptr, false));
    if (!reduced) return false;
    DIBPtr levels = Owned(DIB_ConvertDepthBlock(reduced.get(), 8, false, nullptr, true));
    if (!levels) return false;
    const SPackedDIB* a = levels.get();
    const uint32_t aRow = DIB_RowBytes(a->m_width, 8);
    auto alphaAt = [&](uint32_t x, uint32_t y) -> uint32_t {
        if (x >= uint32_t(a->m_width) || y >= uint32_t(a->m_height)) return 255;
        uint32_t level = DIB_Pixels(a)[size_t(a->m_height - 1 - y) * aRow + x];
        return invert ? 255 - level : level;
    };
    return WriteMasked(dst, dib, dither, bytes, alphaAt, true);
}

bool ToSurfacePal(const SSurfaceDesc& dst, SPaletteEntry* entries, const SPackedDIB* dib, bool dither,
                  bool grey, int bits) {
    if (!entries || !SurfaceUsable(dst, uint32_t(bits)) || !DIB_IsValid(dib)) return false;
    DIBPtr reduced = Owned(DIB_ConvertDepthBlock(dib, bits, dither, nullptr, grey));
    if (!reduced) return false;
    const SPackedDIB* r = reduced.get();
    const uint32_t count = std::min<uint32_t>(DIB_ColorCount(r), 256);
    const uint8_t* table = DIB_ColorTable(r);
    for (uint32_t i = 0; i < count; ++i)
        entries[i] = SPaletteEntry{table[i * 4 + 2], table[i * 4 + 1], table[i * 4], 0};
    const uint32_t width = std::min<uint32_t>(dst.m_width, uint32_t(r->m_width));
    const uint32_t height = std::min<uint32_t>(dst.m_height, uint32_t(r->m_height));
    const uint32_t rowBytes = DIB_RowBytes(r->m_width, bits);
    const uint32_t fullBytes = width * uint32_t(bits) / 8;
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* s = DIB_Pixels(r) + size_t(r->m_height - 1 - y) * rowBytes;
        uint8_t* d = SurfaceRow(dst, y);
        std::memcpy(d, s, fullBytes);
        // A last byte shared with pixels beyond the picture keeps theirs.
        for (uint32_t x = fullBytes * 8 / uint32_t(bits); x < width; ++x)
            PackIndex(d, int(x), bits, UnpackIndex(s, int(x), bits));
    }
    return true;
}

}  // namespace

bool DIB_ConvertB_RGB16(const SSurfaceDesc& dst, const SPackedDIB* dib, bool dither) {
    return ConvertB(dst, dib, dither, 2);
}
bool DIB_ConvertB_RGB24(const SSurfaceDesc& dst, const SPackedDIB* dib, bool dither) {
    return ConvertB(dst, dib, dither, 3);
}
bool DIB_ConvertB_RGB32(const SSurfaceDesc& dst, const SPackedDIB* dib, bool dither) {
    return ConvertB(dst, dib, dither, 4);
}

bool Rows24_ConvertB(const SSurfaceDesc& dst, const SRows24& rows, bool dither) {
    const uint32_t bits = dst.m_bitCount;
    if ((bits != 16 && bits != 24 && bits != 32) || !SurfaceUsable(dst, bits) || !rows.m_top) return false;
    WriteMaskedRows(
        dst, rows, dither, int(bits / 8), [](uint32_t, uint32_t) { return 0u; }, false);
    return true;
}

bool DIB_ConvertA_RGB16(const SSurfaceDesc& dst, const SPackedDIB* dib, const SPackedDIB* alpha, bool dither,
                        bool alphaOption, bool invert) {
    return ConvertA(dst, dib, alpha, dither, alphaOption, invert, 2);
}
bool DIB_ConvertA_RGB24(const SSurfaceDesc& dst, const SPackedDIB* dib, const SPackedDIB* alpha, bool dither,
                        bool alphaOption, bool invert) {
    return ConvertA(dst, dib, alpha, dither, alphaOption, invert, 3);
}
bool DIB_ConvertA_RGB32(const SSurfaceDesc& dst, const SPackedDIB* dib, const SPackedDIB* alpha, bool dither,
                        bool alphaOption, bool invert) {
    return ConvertA(dst, dib, alpha, dither, alphaOption, invert, 4);
}

bool DIB_ToSurfacePal1(const SSurfaceDesc& dst, SPaletteEntry* entries, const SPackedDIB* dib, bool dither,
                       bool grey) {
    return ToSurfacePal(dst, entries, dib, dither, grey, 1);
}
bool DIB_ToSurfacePal4(const SSurfaceDesc& dst, SPaletteEntry* entries, const SPackedDIB* dib, bool dither,
                       bool grey) {
    return ToSurfacePal(dst, entries, dib, dither, grey, 4);
}
bool DIB_ToSurfacePal8(const SSurfaceDesc& dst, SPaletteEntry* entries, const SPackedDIB* dib, bool dither,
                       bool grey) {
    return ToSurfacePal(dst, entries, dib, dither, grey, 8);
}

SPackedDIB* DIB_FromSurface(const SSurfaceDesc& src, int bits, const SPaletteEntry* entries) {
    const uint32_t srcBits = src.m_bitCount;
    if (!SurfaceUsable(src, srcBits) ||
        (srcBits != 1 && srcBits != 4 && srcBits != 8 && srcBits != 16 && srcBits != 24 && srcBits != 32))
        return nullptr;
    if (bits == 0) bits = int(srcBits);
    const bool palette = srcBits <= 8;
    if (palette && !entries) return nullptr;
    if (bits <= 8 && uint32_t(bits) != srcBits) return nullptr;
    if (src.m_width > uint32_t(kDIBMaxSide) || src.m_height > uint32_t(kDIBMaxSide)) return nullptr;
    SPackedDIB* dib = DIB_Create(int32_t(src.m_width), int32_t(src.m_height), bits);
    if (!dib) return nullptr;
    const uint32_t rowBytes = DIB_RowBytes(dib->m_width, bits);
    if (bits <= 8) {
        uint8_t* table = DIB_ColorTable(dib);
        for (int i = 0; i < (1 << bits); ++i) {
            table[i * 4] = entries[i].m_blue;
            table[i * 4 + 1] = entries[i].m_green;
            table[i * 4 + 2] = entries[i].m_red;
        }
        for (uint32_t y = 0; y < src.m_height; ++y)
            std::memcpy(DIB_Pixels(dib) + size_t(src.m_height - 1 - y) * rowBytes, SurfaceRow(src, y),
                        (src.m_width * srcBits + 7) / 8);
        return dib;
    }
    const SPixelFormat in(src.m_redMask, src.m_greenMask, src.m_blueMask);
    const uint32_t* m = DIB_Masks(dib);
    const SPixelFormat out = m ? SPixelFormat(m[0], m[1], m[2]) : SPixelFormat(0xFF0000, 0xFF00, 0xFF);
    const int inBytes = int(srcBits / 8), outBytes = bits / 8;
    for (uint32_t y = 0; y < src.m_height; ++y) {
        const uint8_t* s = SurfaceRow(src, y);
        uint8_t* d = DIB_Pixels(dib) + size_t(src.m_height - 1 - y) * rowBytes;
        for (uint32_t x = 0; x < src.m_width; ++x) {
            uint32_t p = PixelLoad(s + x * inBytes, inBytes);
            uint32_t q = out.m_red.Store(in.m_red.Load(p)) | out.m_green.Store(in.m_green.Load(p)) |
                         out.m_blue.Store(in.m_blue.Load(p));
            PixelStore(d + x * outBytes, outBytes, q);
        }
    }
    return dib;
}

bool DIB_Draw(const SSurfaceDesc& dst, int x, int y, int width, int height, const SPackedDIB* dib, int srcX,
              int srcY, uint32_t rop) {
    const uint32_t bits = dst.m_bitCount;
    if (bits != 8 && bits != 16 && bits != 24 && bits != 32) return false;
    if (!SurfaceUsable(dst, bits)) return false;
    // Clip the rectangle to the surface, moving the source corner with it.
    int64_t x0 = x, y0 = y, x1 = int64_t(x) + width, y1 = int64_t(y) + height;
    if (x0 < 0) {
        srcX -= int(x0);
        x0 = 0;
    }
    if (y0 < 0) {
        srcY -= int(y0);
        y0 = 0;
    }
    x1 = std::min<int64_t>(x1, dst.m_width);
    y1 = std::min<int64_t>(y1, dst.m_height);
    const int bytes = int(bits / 8);
    if (!dib) {
        if (rop != kRopBlackness && rop != kRopWhiteness) return false;
        for (int64_t row = y0; row < y1; ++row)
            if (x1 > x0)
                std::memset(SurfaceRow(dst, uint32_t(row)) + x0 * bytes, rop == kRopBlackness ? 0 : 0xFF,
                            size_t(x1 - x0) * bytes);
        return true;
    }
    if (rop != kRopSrcCopy || bits == 8) return false;
    DIBPtr holder = Owned(nullptr);
    const SPackedDIB* src = As24(dib, holder);
    if (!src) return false;
    const SPixelFormat f(dst.m_redMask, dst.m_greenMask, dst.m_blueMask);
    const uint32_t srcRow = DIB_RowBytes(src->m_width, 24);
    for (int64_t row = y0; row < y1; ++row) {
        int64_t sy = srcY + (row - y0);
        if (sy < 0 || sy >= src->m_height) continue;
        const uint8_t* s = DIB_Pixels(src) + size_t(src->m_height - 1 - sy) * srcRow;
        uint8_t* d = SurfaceRow(dst, uint32_t(row));
        for (int64_t col = x0; col < x1; ++col) {
            int64_t sx = srcX + (col - x0);
            if (sx < 0 || sx >= src->m_width) continue;
            const uint8_t* p = s + sx * 3;
            PixelStore(d + col * bytes, bytes,
                       f.m_red.Store(p[2]) | f.m_green.Store(p[1]) | f.m_blue.Store(p[0]));
        }
    }
    return true;
}
