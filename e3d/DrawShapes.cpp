// Lines, patterned lines, rectangles, circles and single pixels.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "e3d/DrawRoutines.h"

int E3DDraw_Nearest(float v) {
    if (!(v == v)) return 0;  // NaN
    if (v >= 2147483520.0f) return 2147483647;
    if (v <= -2147483648.0f) return -2147483647 - 1;
    return int(std::nearbyintf(v));  // the default rounding mode: nearest, ties to even
}

bool ClipLine(CE3DSurface* s, int& x0, int& y0, int& x1, int& y1) {
    SE3DClip c;
    if (!E3DDraw_Clip(s, c)) return false;
    const int L = c.left, T = c.top, R = c.right, B = c.bottom;
    auto inside = [&]() {
        return std::max(x0, x1) < R && std::max(y0, y1) < B && std::min(x0, x1) >= L && std::min(y0, y1) >= T;
    };
    if (inside()) return true;
    if (std::max(x0, x1) < L || std::max(y0, y1) < T || std::min(x0, x1) >= R || std::min(y0, y1) >= B)
        return false;
    if (x0 == x1) {
        int& lo = y0 < y1 ? y0 : y1;
        int& hi = y0 < y1 ? y1 : y0;
        if (lo < T) lo = T;
        if (hi >= B) hi = B - 1;
        return true;
    }
    if (y0 == y1) {
        int& lo = x0 < x1 ? x0 : x1;
        int& hi = x0 < x1 ? x1 : x0;
        if (lo < L) lo = L;
        if (hi >= R) hi = R - 1;
        return true;
    }
    const float m = float(int64_t(y1) - y0) / float(int64_t(x1) - x0);
    const float k = float(y0) - float(x0) * m;
    {
        int& lx = x0 < x1 ? x0 : x1;
        int& ly = x0 < x1 ? y0 : y1;
        if (lx < L) {
            lx = L;
            ly = E3DDraw_Nearest(float(L) * m + k + 0.5f);
        }
    }
    {
        int& rx = x0 < x1 ? x1 : x0;
        int& ry = x0 < x1 ? y1 : y0;
        if (rx >= R) {
            rx = R - 1;
            ry = E3DDraw_Nearest(float(R - 1) * m + k + 0.5f);
        }
    }
    {
        int& ux = y0 < y1 ? x0 : x1;
        int& uy = y0 < y1 ? y0 : y1;
        if (uy < T) {
            uy = T;
            ux = E3DDraw_Nearest((float(T) - k) / m + 0.5f);
        }
    }
    {
        int& dx = y0 < y1 ? x1 : x0;
        int& dy = y0 < y1 ? y1 : y0;
        if (dy >= B) {
            dy = B - 1;
            dx = E3DDraw_Nearest((float(B - 1) - k) / m + 0.5f);
        }
    }
    if (inside()) return true;
    // The rounding above can carry an end one pixel past the clip (a diagonal
    // through the clip's corner region would vanish whole): such an end is held
    // at the edge. Anything further out really lies outside.
    if (std::min(x0, x1) < L - 1 || std::max(x0, x1) > R || std::min(y0, y1) < T - 1 || std::max(y0, y1) > B)
        return false;
    x0 = std::clamp(x0, L, R - 1);
    x1 = std::clamp(x1, L, R - 1);
    y0 = std::clamp(y0, T, B - 1);
    y1 = std::clamp(y1, T, B - 1);
    return true;
}

namespace {

// The line walk of slots 1 and 2: a steep line steps sideways as soon as its
// error turns positive, a shallow one only once the error passes dx.
template <typename P, typename Pixel>
void WalkLine(CE3DSurface* s, int x0, int y0, int x1, int y1, Pixel pixel) {
    int dx = std::abs(x1 - x0), dy = std::abs(y1 - y0);
    const int sx = x1 >= x0 ? 1 : -1, sy = y1 >= y0 ? 1 : -1;
    const int pitch = s->Pitch() / int(sizeof(P));
    P* p = E3DDraw_At<P>(s, x0, y0);
    const ptrdiff_t stepX = sx, stepY = ptrdiff_t(sy) * pitch;
    int err = 0;
    if (dx <= dy) {
        for (int n = 0; n <= dy; ++n) {
            err += dx;
            pixel(p);
            if (err > 0) {
                err -= dy;
                p += stepX;
            }
            p += stepY;
        }
    } else {
        for (int n = 0; n <= dx; ++n) {
            err += dy;
            pixel(p);
            if (err > dx) {
                err -= dx;
                p += stepY;
            }
            p += stepX;
        }
    }
}

template <typename P>
void Line(CE3DSurface* s, int x0, int y0, int x1, int y1, P colour) {
    if (!ClipLine(s, x0, y0, x1, y1)) return;
    WalkLine<P>(s, x0, y0, x1, y1, [colour](P* p) { *p = colour; });
}

template <typename P>
void DrawLineT(CE3DSurface* s, int x0, int y0, int x1, int y1, uint8_t r, uint8_t g, uint8_t b) {
    Line<P>(s, x0, y0, x1, y1, E3DDraw_Pack<P>(s, r, g, b));
}

template <typename P>
void DrawPatternLineT(CE3DSurface* s, int x0, int y0, int x1, int y1, uint8_t r, uint8_t g, uint8_t b,
                      uint8_t period, uint8_t threshold, uint8_t phase) {
    if (!ClipLine(s, x0, y0, x1, y1)) return;
    const P colour = E3DDraw_Pack<P>(s, r, g, b);
    const int dx = std::abs(x1 - x0), dy = std::abs(y1 - y0);
    const int major = std::max(dx, dy), minor = std::min(dx, dy);
    // One pixel step's length along the line, in 16.16.
    int32_t step = 65536;
    if (major > 0) {
        const float q = float(minor) / float(major);
        step = E3DDraw_Nearest(std::sqrt(q * q + 1.0f) * 65536.0f);
    }
    const int32_t full = int32_t(period) << 16, above = int32_t(threshold) << 16;
    int32_t counter = int32_t(phase) << 16;
    WalkLine<P>(s, x0, y0, x1, y1, [&](P* p) {
        if (counter > above) *p = colour;
        counter += step;
        if (counter >= full) counter -= full;
    });
}

template <typename P>
void HorizontalRun(CE3DSurface* s, int y, int xa, int xb, P colour) {
    std::fill(E3DDraw_At<P>(s, xa, y), E3DDraw_At<P>(s, xb, y) + 1, colour);
}

template <typename P>
void VerticalRun(CE3DSurface* s, int x, int ya, int yb, P colour) {
    for (int y = ya; y <= yb; ++y) *E3DDraw_At<P>(s, x, y) = colour;
}

// Sorts the corners and cuts them to the clip; which edges had to be moved.
struct SRectCut {
    int minX, minY, maxX, maxY;
    bool left, top, right, bottom;  // the edge is still its own
};

bool CutRect(CE3DSurface* s, int x0, int y0, int x1, int y1, SRectCut& r) {
    SE3DClip c;
    if (!E3DDraw_Clip(s, c)) return false;
    r.minX = std::min(x0, x1);
    r.maxX = std::max(x0, x1);
    r.minY = std::min(y0, y1);
    r.maxY = std::max(y0, y1);
    if (r.maxX < c.left || r.minX >= c.right || r.maxY < c.top || r.minY >= c.bottom) return false;
    r.left = r.minX >= c.left;
    r.right = r.maxX < c.right;
    r.top = r.minY >= c.top;
    r.bottom = r.maxY < c.bottom;
    r.minX = std::max(r.minX, c.left);
    r.maxX = std::min(r.maxX, c.right - 1);
    r.minY = std::max(r.minY, c.top);
    r.maxY = std::min(r.maxY, c.bottom - 1);
    return true;
}

template <typename P>
void DrawRectT(CE3DSurface* s, int x0, int y0, int x1, int y1, uint8_t r, uint8_t g, uint8_t b) {
    SRectCut c;
    if (!CutRect(s, x0, y0, x1, y1, c)) return;
    const P colour = E3DDraw_Pack<P>(s, r, g, b);
    if (c.top) HorizontalRun<P>(s, c.minY, c.minX, c.maxX, colour);
    if (c.bottom) HorizontalRun<P>(s, c.maxY, c.minX, c.maxX, colour);
    if (c.left) VerticalRun<P>(s, c.minX, c.minY, c.maxY, colour);
    if (c.right) VerticalRun<P>(s, c.maxX, c.minY, c.maxY, colour);
}

template <typename P>
void DrawFilledRectT(CE3DSurface* s, int x0, int y0, int x1, int y1, uint8_t r, uint8_t g, uint8_t b) {
    SRectCut c;
    if (!CutRect(s, x0, y0, x1, y1, c)) return;
    const P colour = E3DDraw_Pack<P>(s, r, g, b);
    for (int y = c.minY; y <= c.maxY; ++y) HorizontalRun<P>(s, y, c.minX, c.maxX, colour);
}

// Half-width of the circle at a distance from its centre line; -1 where the
// distance lies beyond the radius (no span there).
int CircleReach(int radius, int d) {
    const float q = float(int64_t(radius) * radius - int64_t(d) * d);
    if (q < 0.0f) return -1;
    return E3DDraw_Nearest(std::sqrt(q) + 0.5f);
}

// Circles are drawn point by point along their arc, so the work grows with
// the radius: circles whose box misses the clip are skipped, and so are radii
// beyond any surface's reach, which would take seconds to walk.
constexpr int kMaxCircleRadius = 65535;

bool CircleReachesClip(const SE3DClip& c, int cx, int cy, int radius) {
    const int64_t r = radius < 0 ? -int64_t(radius) : radius;
    if (r > kMaxCircleRadius) return false;
    return int64_t(cx) + r + 1 >= c.left && int64_t(cx) - r - 1 < c.right && int64_t(cy) + r + 1 >= c.top &&
           int64_t(cy) - r - 1 < c.bottom;
}

template <typename P>
void Plot(CE3DSurface* s, const SE3DClip& c, int x, int y, P colour) {
    if (x >= c.left && x < c.right && y >= c.top && y < c.bottom) *E3DDraw_At<P>(s, x, y) = colour;
}

template <typename P>
void CircleWithColour(CE3DSurface* s, int cx, int cy, int radius, P colour) {
    SE3DClip c;
    if (!E3DDraw_Clip(s, c) || !CircleReachesClip(c, cx, cy, radius)) return;
    auto plot4 = [&](int a, int b) {
        Plot<P>(s, c, cx + a, cy + b, colour);
        Plot<P>(s, c, cx - a, cy + b, colour);
        Plot<P>(s, c, cx - a, cy - b, colour);
        Plot<P>(s, c, cx + a, cy - b, colour);
    };
    int h = 0;
    for (int i = 0; i <= radius; ++i) {
        h = CircleReach(radius, i);
        if (i > h) {
            ++h;
            break;
        }
        plot4(i, h);
    }
    for (int j = h; j >= 0; --j) {
        const int w = CircleReach(radius, j);
        if (w >= 0) plot4(w, j);
    }
}

template <typename P>
void DrawCircleT(CE3DSurface* s, int cx, int cy, int radius, uint8_t r, uint8_t g, uint8_t b) {
    CircleWithColour<P>(s, cx, cy, radius, E3DDraw_Pack<P>(s, r, g, b));
}

template <typename P>
void DrawFilledCircleT(CE3DSurface* s, int cx, int cy, int radius, uint8_t r, uint8_t g, uint8_t b) {
    // A radius of 0 or less has no inside: nothing is drawn.
    SE3DClip c;
    if (radius <= 0 || !E3DDraw_Clip(s, c) || !CircleReachesClip(c, cx, cy, radius)) return;
    const P colour = E3DDraw_Pack<P>(s, r, g, b);
    int h = 0;
    for (int i = 0; i < radius; ++i) {
        h = CircleReach(radius, i);
        if (i > h) {
            ++h;
            break;
        }
        Line<P>(s, cx + i, cy + h, cx - i, cy + h, colour);
        Line<P>(s, cx + i, cy - h, cx - i, cy - h, colour);
    }
    for (int j = h; j >= 0; --j) {
        const int w = CircleReach(radius, j);
        if (w < 0) continue;
        Line<P>(s, cx + w, cy + j, cx - w, cy + j, colour);
        Line<P>(s, cx + w, cy - j, cx - w, cy - j, colour);
    }
}

template <typename P>
void PutPixelT(CE3DSurface* s, int x, int y, P colour) {
    SE3DClip c;
    if (!E3DDraw_Clip(s, c)) return;
    Plot<P>(s, c, x, y, colour);
}

template <typename P>
void ScalePixelT(CE3DSurface* s, int x, int y, uint32_t sr, uint32_t sg, uint32_t sb) {
    SE3DClip c;
    if (!E3DDraw_Clip(s, c) || x < c.left || x >= c.right || y < c.top || y >= c.bottom) return;
    P* p = E3DDraw_At<P>(s, x, y);
    const SSurfacePixelFormat& f = s->m_desc.pixelFormat;
    auto channel = [&](uint32_t mask, int32_t shift, int32_t loss, uint32_t scale) -> uint8_t {
        if (!mask) return 0;
        uint32_t v = ((uint32_t(*p) & mask) >> (uint32_t(shift) & 31)) << (uint32_t(loss) & 31);
        v = (v * (scale & 0xFFFF)) >> 8;
        return uint8_t(std::min<uint32_t>(v, 255));
    };
    const uint8_t r = channel(f.rMask, s->m_shiftR, s->m_lossR, sr);
    const uint8_t g = channel(f.gMask, s->m_shiftG, s->m_lossG, sg);
    const uint8_t b = channel(f.bMask, s->m_shiftB, s->m_lossB, sb);
    *p = E3DDraw_Pack<P>(s, r, g, b);
}

}  // namespace

void ScalePixel16(CE3DSurface* s, int x, int y, uint32_t sr, uint32_t sg, uint32_t sb) {
    ScalePixelT<uint16_t>(s, x, y, sr, sg, sb);
}
void ScalePixel32(CE3DSurface* s, int x, int y, uint32_t sr, uint32_t sg, uint32_t sb) {
    ScalePixelT<uint32_t>(s, x, y, sr, sg, sb);
}

#define E3D_DRAW_BY_WIDTH(name, bits, type)                                                            \
    void name##bits(CE3DSurface* s, int x0, int y0, int x1, int y1, uint8_t r, uint8_t g, uint8_t b) { \
        name##T<type>(s, x0, y0, x1, y1, r, g, b);                                                     \
    }
E3D_DRAW_BY_WIDTH(DrawLine, 8, uint8_t)
E3D_DRAW_BY_WIDTH(DrawLine, 16, uint16_t)
E3D_DRAW_BY_WIDTH(DrawLine, 32, uint32_t)
E3D_DRAW_BY_WIDTH(DrawRect, 8, uint8_t)
E3D_DRAW_BY_WIDTH(DrawRect, 16, uint16_t)
E3D_DRAW_BY_WIDTH(DrawRect, 32, uint32_t)
E3D_DRAW_BY_WIDTH(DrawFilledRect, 8, uint8_t)
E3D_DRAW_BY_WIDTH(DrawFilledRect, 16, uint16_t)
E3D_DRAW_BY_WIDTH(DrawFilledRect, 32, uint32_t)
#undef E3D_DRAW_BY_WIDTH

void DrawPatternLine8(CE3DSurface* s, int x0, int y0, int x1, int y1, uint8_t r, uint8_t g, uint8_t b,
                      uint8_t period, uint8_t threshold, uint8_t phase) {
    DrawPatternLineT<uint8_t>(s, x0, y0, x1, y1, r, g, b, period, threshold, phase);
}
void DrawPatternLine16(CE3DSurface* s, int x0, int y0, int x1, int y1, uint8_t r, uint8_t g, uint8_t b,
                       uint8_t period, uint8_t threshold, uint8_t phase) {
    DrawPatternLineT<uint16_t>(s, x0, y0, x1, y1, r, g, b, period, threshold, phase);
}
void DrawPatternLine32(CE3DSurface* s, int x0, int y0, int x1, int y1, uint8_t r, uint8_t g, uint8_t b,
                       uint8_t period, uint8_t threshold, uint8_t phase) {
    DrawPatternLineT<uint32_t>(s, x0, y0, x1, y1, r, g, b, period, threshold, phase);
}

// The 8-bit circle outline and pixel store their first colour argument as the
// pixel byte: on a palettized surface it is the palette index.
void DrawCircle8(CE3DSurface* s, int cx, int cy, int radius, uint8_t r, uint8_t, uint8_t) {
    CircleWithColour<uint8_t>(s, cx, cy, radius, r);
}
void DrawCircle16(CE3DSurface* s, int cx, int cy, int radius, uint8_t r, uint8_t g, uint8_t b) {
    DrawCircleT<uint16_t>(s, cx, cy, radius, r, g, b);
}
void DrawCircle32(CE3DSurface* s, int cx, int cy, int radius, uint8_t r, uint8_t g, uint8_t b) {
    DrawCircleT<uint32_t>(s, cx, cy, radius, r, g, b);
}
void DrawFilledCircle8(CE3DSurface* s, int cx, int cy, int radius, uint8_t r, uint8_t g, uint8_t b) {
    DrawFilledCircleT<uint8_t>(s, cx, cy, radius, r, g, b);
}
void DrawFilledCircle16(CE3DSurface* s, int cx, int cy, int radius, uint8_t r, uint8_t g, uint8_t b) {
    DrawFilledCircleT<uint16_t>(s, cx, cy, radius, r, g, b);
}
void DrawFilledCircle32(CE3DSurface* s, int cx, int cy, int radius, uint8_t r, uint8_t g, uint8_t b) {
    DrawFilledCircleT<uint32_t>(s, cx, cy, radius, r, g, b);
}
void PutPixel8(CE3DSurface* s, int x, int y, uint8_t r, uint8_t, uint8_t) {
    PutPixelT<uint8_t>(s, x, y, r);
}
void PutPixel16(CE3DSurface* s, int x, int y, uint8_t r, uint8_t g, uint8_t b) {
    PutPixelT<uint16_t>(s, x, y, E3DDraw_Pack<uint16_t>(s, r, g, b));
}
void PutPixel32(CE3DSurface* s, int x, int y, uint8_t r, uint8_t g, uint8_t b) {
    PutPixelT<uint32_t>(s, x, y, E3DDraw_Pack<uint32_t>(s, r, g, b));
}
