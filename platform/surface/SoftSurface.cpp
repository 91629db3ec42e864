#include "platform/surface/SoftSurface.h"

#include <algorithm>
#include <cstring>
#include <new>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

SSurfacePixelFormat SSurfacePixelFormat::Masks(uint32_t bitCount, uint32_t r, uint32_t g, uint32_t b) {
    SSurfacePixelFormat f;
    f.flags = kPixelRGB;
    f.bitCount = bitCount;
    f.rMask = r;
    f.gMask = g;
    f.bMask = b;
    return f;
}

SSurfacePixelFormat SSurfacePixelFormat::Indexed8() {
    SSurfacePixelFormat f = Masks(8, 0, 0, 0);
    f.flags |= kPixelPalette8;
    return f;
}

SSurfacePixelFormat SSurfacePixelFormat::Rgb565() {
    return Masks(16, 0xF800, 0x07E0, 0x001F);
}
SSurfacePixelFormat SSurfacePixelFormat::Rgb555() {
    return Masks(16, 0x7C00, 0x03E0, 0x001F);
}
SSurfacePixelFormat SSurfacePixelFormat::Rgb888() {
    return Masks(24, 0xFF0000, 0x00FF00, 0x0000FF);
}
SSurfacePixelFormat SSurfacePixelFormat::Xrgb8888() {
    return Masks(32, 0xFF0000, 0x00FF00, 0x0000FF);
}

bool SSurfacePixelFormat::SameLayout(const SSurfacePixelFormat& o) const {
    return bitCount == o.bitCount && rMask == o.rMask && gMask == o.gMask && bMask == o.bMask;
}

CSoftSurface* CSoftSurface::Create(int width, int height, const SSurfacePixelFormat& format, uint32_t caps) {
    constexpr int kMaxSide = 16384;
    if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide) return nullptr;
    int bpp = 0;
    switch (format.bitCount) {
        case 8:
        case 16:
        case 24:
        case 32:
            bpp = int(format.bitCount / 8);
            break;
        default:
            return nullptr;
    }
    CSoftSurface* s = new (std::nothrow) CSoftSurface;
    if (!s) return nullptr;
    s->m_width = width;
    s->m_height = height;
    s->m_bpp = bpp;
    s->m_pitch = (width * bpp + 3) & ~3;  // rows padded to 4 bytes, as DirectDraw did
    s->m_format = format;
    s->m_format.size = 32;
    s->m_caps = caps;
    try {
        s->m_pixels.assign(size_t(s->m_pitch) * size_t(height), 0);
    } catch (const std::bad_alloc&) {
        delete s;
        return nullptr;
    }
    return s;
}

uint32_t CSoftSurface::ChannelMask() const {
    if (m_bpp == 1) return 0xFF;
    uint32_t m = m_format.rMask | m_format.gMask | m_format.bMask | m_format.aMask;
    if (m == 0) m = m_bpp == 4 ? 0xFFFFFFFFu : (1u << (m_bpp * 8)) - 1;
    return m;
}

int32_t CSoftSurface::GetSurfaceDesc(SDDSurfaceDesc* desc) const {
    if (!desc) return kDDErrInvalidParams;
    desc->size = 124;
    desc->flags = kDescCaps | kDescHeight | kDescWidth | kDescPitch | kDescPixelFormat;
    desc->width = uint32_t(m_width);
    desc->height = uint32_t(m_height);
    desc->pitch = m_pitch;
    desc->backBufferCount = 0;
    desc->surface = nullptr;
    desc->caps = m_caps;
    desc->pixelFormat = m_format;
    return kDD_OK;
}

int32_t CSoftSurface::Lock(SDDSurfaceDesc* desc, bool read) {
    if (!desc) return kDDErrInvalidParams;
    if (m_lost) return kDDErrSurfaceLost;
    if (m_locked) return kDDErrSurfaceBusy;
    Pull(read);
    GetSurfaceDesc(desc);
    desc->surface = m_pixels.data();
    m_locked = true;
    return kDD_OK;
}

int32_t CSoftSurface::Unlock() {
    if (!m_locked) return kDDErrNotLocked;
    m_locked = false;
    // Whoever locked may have drawn: the shared copy must learn of it.
    Changed();
    return kDD_OK;
}

int32_t CSoftSurface::SetColorKey(uint32_t key) {
    m_key = key & ChannelMask();
    m_hasKey = true;
    return kDD_OK;
}

int32_t CSoftSurface::ClearColorKey() {
    m_hasKey = false;
    return kDD_OK;
}

namespace {

bool RectInside(const SSurfaceRect& r, int w, int h) {
    return r.left >= 0 && r.top >= 0 && r.left < r.right && r.top < r.bottom && r.right <= w && r.bottom <= h;
}

template <typename T>
void CopyRowKeyed(T* d, const T* s, int n, T key, T mask) {
    for (int i = 0; i < n; ++i) {
        T p = s[i];
        d[i] = (p & mask) == key ? d[i] : p;
    }
}

// The common cases, four or eight pixels at a time: where the source equals
// the key the destination is kept, elsewhere the source is taken.
void CopyRowKeyed32(uint32_t* d, const uint32_t* s, int n, uint32_t key, uint32_t mask) {
    int i = 0;
#if defined(__SSE2__)
    const __m128i k = _mm_set1_epi32(int32_t(key)), m = _mm_set1_epi32(int32_t(mask));
    for (; i + 8 <= n; i += 8) {
        const __m128i s0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
        const __m128i s1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i + 4));
        const __m128i d0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + i));
        const __m128i d1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + i + 4));
        const __m128i k0 = _mm_cmpeq_epi32(_mm_and_si128(s0, m), k),
                      k1 = _mm_cmpeq_epi32(_mm_and_si128(s1, m), k);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i),
                         _mm_or_si128(_mm_and_si128(k0, d0), _mm_andnot_si128(k0, s0)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i + 4),
                         _mm_or_si128(_mm_and_si128(k1, d1), _mm_andnot_si128(k1, s1)));
    }
    for (; i + 4 <= n; i += 4) {
        const __m128i sp = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
        const __m128i dp = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + i));
        const __m128i keep = _mm_cmpeq_epi32(_mm_and_si128(sp, m), k);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i),
                         _mm_or_si128(_mm_and_si128(keep, dp), _mm_andnot_si128(keep, sp)));
    }
#endif
    CopyRowKeyed(d + i, s + i, n - i, key, mask);
}

void CopyRowKeyed16(uint16_t* d, const uint16_t* s, int n, uint16_t key, uint16_t mask) {
    int i = 0;
#if defined(__SSE2__)
    const __m128i k = _mm_set1_epi16(int16_t(key)), m = _mm_set1_epi16(int16_t(mask));
    for (; i + 8 <= n; i += 8) {
        const __m128i sp = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
        const __m128i dp = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + i));
        const __m128i keep = _mm_cmpeq_epi16(_mm_and_si128(sp, m), k);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i),
                         _mm_or_si128(_mm_and_si128(keep, dp), _mm_andnot_si128(keep, sp)));
    }
#endif
    CopyRowKeyed(d + i, s + i, n - i, key, mask);
}

void CopyRowKeyed24(uint8_t* d, const uint8_t* s, int n, uint32_t key) {
    for (int i = 0; i < n; ++i, d += 3, s += 3) {
        if (SoftPixel_Read(s, 3) != key) {
            d[0] = s[0];
            d[1] = s[1];
            d[2] = s[2];
        }
    }
}

}  // namespace

int32_t CSoftSurface::BltFast(int x, int y, CSoftSurface* src, const SSurfaceRect* srcRect, uint32_t flags) {
    if (!src) return kDDErrInvalidParams;
    if (m_lost || src->m_lost) return kDDErrSurfaceLost;
    if (!m_format.SameLayout(src->m_format)) return kDDErrInvalidPixelFormat;
    SSurfaceRect r = srcRect ? *srcRect : SSurfaceRect{0, 0, src->m_width, src->m_height};
    if (!RectInside(r, src->m_width, src->m_height)) return kDDErrInvalidRect;
    const int w = r.right - r.left, h = r.bottom - r.top;
    SSurfaceRect d{x, y, x + w, y + h};
    if (!RectInside(d, m_width, m_height)) return kDDErrInvalidRect;
    bool keyed = (flags & kBltFastSrcColorKey) != 0;
    if (keyed && !src->m_hasKey) return kDDErrNoColorKey;

    src->Pull(true);
    if (src != this) Pull(false);
    const int rowBytes = w * m_bpp;
    const uint8_t* s = src->m_pixels.data() + size_t(r.top) * src->m_pitch + size_t(r.left) * m_bpp;
    uint8_t* dp = m_pixels.data() + size_t(y) * m_pitch + size_t(x) * m_bpp;
    // Overlapping copies within one surface run bottom-up when moving down.
    int step = 1;
    if (src == this && y > r.top) {
        s += size_t(h - 1) * src->m_pitch;
        dp += size_t(h - 1) * m_pitch;
        step = -1;
    }
    const ptrdiff_t sp = step * ptrdiff_t(src->m_pitch), dpitch = step * ptrdiff_t(m_pitch);
    if (!keyed) {
        for (int j = 0; j < h; ++j, s += sp, dp += dpitch) std::memmove(dp, s, size_t(rowBytes));
    } else {
        const uint32_t key = src->m_key, mask = src->ChannelMask();
        for (int j = 0; j < h; ++j, s += sp, dp += dpitch) {
            switch (m_bpp) {
                case 1:
                    CopyRowKeyed(dp, s, w, uint8_t(key), uint8_t(0xFF));
                    break;
                case 2:
                    CopyRowKeyed16(reinterpret_cast<uint16_t*>(dp), reinterpret_cast<const uint16_t*>(s), w,
                                   uint16_t(key), uint16_t(mask));
                    break;
                case 3:
                    CopyRowKeyed24(dp, s, w, key);
                    break;
                default:
                    CopyRowKeyed32(reinterpret_cast<uint32_t*>(dp), reinterpret_cast<const uint32_t*>(s), w,
                                   key, mask);
                    break;
            }
        }
    }
    Changed();
    return kDD_OK;
}

int32_t CSoftSurface::Blt(const SSurfaceRect* dstRect, CSoftSurface* src, const SSurfaceRect* srcRect,
                          uint32_t flags) {
    if (flags & kBltColorFill) return kDDErrInvalidParams;  // fills go through ColorFill
    if (!src) return kDDErrInvalidParams;
    if (m_lost || src->m_lost) return kDDErrSurfaceLost;
    if (!m_format.SameLayout(src->m_format)) return kDDErrInvalidPixelFormat;
    SSurfaceRect sr = srcRect ? *srcRect : SSurfaceRect{0, 0, src->m_width, src->m_height};
    SSurfaceRect dr = dstRect ? *dstRect : SSurfaceRect{0, 0, m_width, m_height};
    if (!RectInside(sr, src->m_width, src->m_height)) return kDDErrInvalidRect;
    if (dr.left >= dr.right || dr.top >= dr.bottom) return kDDErrInvalidRect;
    const bool keyed = (flags & kBltKeySrc) != 0;
    if (keyed && !src->m_hasKey) return kDDErrNoColorKey;
    const int x0 = std::max(dr.left, 0), x1 = std::min(dr.right, m_width);
    const int y0 = std::max(dr.top, 0), y1 = std::min(dr.bottom, m_height);
    if (x0 >= x1 || y0 >= y1) return kDD_OK;  // wholly outside: nothing to draw

    src->Pull(true);
    if (src != this) Pull(false);
    // Nearest sample at the centre of each destination pixel, in 16.16.
    const int64_t dw = dr.right - dr.left, dh = dr.bottom - dr.top;
    const int64_t sw = sr.right - sr.left, sh = sr.bottom - sr.top;
    const int64_t stepX = (sw << 16) / dw, stepY = (sh << 16) / dh;
    const uint32_t key = src->m_key, mask = src->ChannelMask();
    // A copy within one surface would read what it already wrote.
    std::vector<uint8_t> copy;
    const uint8_t* sbase = src->m_pixels.data();
    if (src == this) {
        copy = m_pixels;
        sbase = copy.data();
    }
    for (int y = y0; y < y1; ++y) {
        int64_t sy = sr.top + (((y - dr.top) * stepY + stepY / 2) >> 16);
        if (sy >= sr.bottom) sy = sr.bottom - 1;
        const uint8_t* srow = sbase + size_t(sy) * src->m_pitch;
        uint8_t* drow = m_pixels.data() + size_t(y) * m_pitch;
        for (int x = x0; x < x1; ++x) {
            int64_t sx = sr.left + (((x - dr.left) * stepX + stepX / 2) >> 16);
            if (sx >= sr.right) sx = sr.right - 1;
            uint32_t p = SoftPixel_Read(srow + size_t(sx) * m_bpp, m_bpp);
            if (keyed && (p & mask) == key) continue;
            SoftPixel_Write(drow + size_t(x) * m_bpp, m_bpp, p);
        }
    }
    Changed();
    return kDD_OK;
}

int32_t CSoftSurface::ColorFill(const SSurfaceRect* dstRect, uint32_t value) {
    if (m_lost) return kDDErrSurfaceLost;
    SSurfaceRect r = dstRect ? *dstRect : SSurfaceRect{0, 0, m_width, m_height};
    if (!RectInside(r, m_width, m_height)) return kDDErrInvalidRect;
    // A partial fill keeps the pixels around it, so they must be current; a
    // whole fill replaces everything.
    if (dstRect) Pull(false);
    const int w = r.right - r.left;
    for (int y = r.top; y < r.bottom; ++y) {
        uint8_t* row = m_pixels.data() + size_t(y) * m_pitch + size_t(r.left) * m_bpp;
        switch (m_bpp) {
            case 1:
                std::memset(row, int(value & 0xFF), size_t(w));
                break;
            case 2:
                std::fill_n(reinterpret_cast<uint16_t*>(row), w, uint16_t(value));
                break;
            case 3:
                for (int x = 0; x < w; ++x) SoftPixel_Write(row + x * 3, 3, value);
                break;
            default:
                std::fill_n(reinterpret_cast<uint32_t*>(row), w, value);
                break;
        }
    }
    Changed();
    return kDD_OK;
}
