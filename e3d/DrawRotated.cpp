// The rotated, scaled copy of another surface (slot 8).
#include <algorithm>
#include <cmath>

#include "e3d/DrawRoutines.h"

namespace {

int32_t Fixed(float v) {
    return E3DDraw_Nearest(v * 65536.0f);
}

template <typename P>
void DrawRotatedT(CE3DSurface* s, CE3DSurface* src, float scale, float angle, float cx, float cy) {
    if (!src || !s->Bits() || !src->Bits() || src->m_bytesPerPixel != sizeof(P)) return;
    const SSurfaceRect& d = s->m_destRect;
    const int W = d.right - d.left, H = d.bottom - d.top;
    if (W <= 0 || H <= 0) return;
    const float sn = scale * std::sin(angle) / 2.0f, cs = scale * std::cos(angle) / 2.0f;
    // 16.16 source position of the rectangle's first pixel and its steps.
    const int64_t u0 = Fixed(cx - float(W) * sn + float(H) * cs);
    const int64_t v0 = Fixed(cy - float(H) * sn - float(W) * cs);
    const int64_t duCol = Fixed(2.0f * sn), dvCol = Fixed(2.0f * cs);
    const int64_t duRow = Fixed(-2.0f * cs), dvRow = Fixed(2.0f * sn);
    // The rectangle is cut to the surface: nothing is written outside it.
    const int x0 = std::max(d.left, 0), x1 = std::min(d.right, int(s->m_desc.width));
    const int y0 = std::max(d.top, 0), y1 = std::min(d.bottom, int(s->m_desc.height));
    const int64_t sw = int64_t(src->m_desc.width), sh = int64_t(src->m_desc.height);
    for (int y = y0; y < y1; ++y) {
        const int j = y - d.top;
        int64_t u = u0 + int64_t(x0 - d.left) * duCol + int64_t(j) * duRow;
        int64_t v = v0 + int64_t(x0 - d.left) * dvCol + int64_t(j) * dvRow;
        P* out = E3DDraw_At<P>(s, x0, y);
        for (int x = x0; x < x1; ++x, ++out, u += duCol, v += dvCol) {
            const int64_t iu = u >> 16, iv = v >> 16;
            if (iu >= 0 && iu < sw && iv >= 0 && iv < sh) *out = *E3DDraw_At<P>(src, int(iu), int(iv));
        }
    }
}

}  // namespace

void DrawRotated16(CE3DSurface* s, CE3DSurface* src, float scale, float angle, float cx, float cy) {
    DrawRotatedT<uint16_t>(s, src, scale, angle, cx, cy);
}
void DrawRotated32(CE3DSurface* s, CE3DSurface* src, float scale, float angle, float cx, float cy) {
    DrawRotatedT<uint32_t>(s, src, scale, angle, cx, cy);
}
