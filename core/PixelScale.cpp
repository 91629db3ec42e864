// Scaling packed bitmaps: area-weighted means for colour depths, nearest
// samples for palette depths (mixing palette indices means nothing).
#include <cmath>
#include <cstdlib>
#include <vector>

#include "core/PixelChannel.h"
#include "core/PixelConvert.h"

namespace {

// The source pixels a destination pixel covers along one axis, each with the
// fraction of it that lies inside the covered span.
struct SSpan {
    int first = 0;
    std::vector<float> weights;
    float total = 0;
};

std::vector<SSpan> Spans(int oldSize, int newSize) {
    std::vector<SSpan> spans(static_cast<size_t>(newSize));
    const double factor = double(oldSize) / double(newSize);
    for (int i = 0; i < newSize; ++i) {
        double a = i * factor, b = (i + 1) * factor;
        if (b > oldSize) b = oldSize;
        int first = int(std::floor(a));
        int last = int(std::ceil(b)) - 1;
        if (last < first) last = first;
        if (last >= oldSize) last = oldSize - 1;
        SSpan& s = spans[size_t(i)];
        s.first = first;
        for (int k = first; k <= last; ++k) {
            double lo = k > a ? k : a, hi = k + 1 < b ? k + 1 : b;
            float w = float(hi - lo);
            if (w <= 0) w = 0;
            s.weights.push_back(w);
            s.total += w;
        }
        if (s.total <= 0) {
            s.weights.assign(1, 1.0f);
            s.total = 1.0f;
        }
    }
    return spans;
}

SPackedDIB* CreateLike(const SPackedDIB* src, int width, int height) {
    SPackedDIB* shape = DIB_Create(width, height, src->m_bitCount);
    if (!shape) return nullptr;
    SPackedDIB header = *shape;
    DIB_Free(shape);
    header.m_compression = src->m_compression;
    header.m_colorsUsed = src->m_colorsUsed;
    header.m_colorsImportant = src->m_colorsImportant;
    auto* dib = static_cast<SPackedDIB*>(std::calloc(1, DIB_BlockBytes(&header)));
    if (!dib) return nullptr;
    *dib = header;
    std::memcpy(DIB_ColorTable(dib), DIB_ColorTable(src), DIB_ColorTableBytes(src));
    return dib;
}

}  // namespace

SPackedDIB* DIB_ScaleBlock(const SPackedDIB* src, int width, int height, int /*mode*/) {
    if (!DIB_IsValid(src)) return nullptr;
    if (width == src->m_width && height == src->m_height) return DIB_Copy(src);
    SPackedDIB* dst = CreateLike(src, width, height);
    if (!dst) return nullptr;
    const int bits = src->m_bitCount, oldW = src->m_width, oldH = src->m_height;
    const uint32_t srcRow = DIB_RowBytes(oldW, bits), dstRow = DIB_RowBytes(width, bits);
    const uint8_t* in = DIB_Pixels(src);
    uint8_t* out = DIB_Pixels(dst);

    if (bits <= 8) {
        // Picture rows counted from the top, as the eye sees them.
        for (int y = 0; y < height; ++y) {
            int sy = int(int64_t(y) * oldH / height);
            const uint8_t* s = in + size_t(oldH - 1 - sy) * srcRow;
            uint8_t* d = out + size_t(height - 1 - y) * dstRow;
            for (int x = 0; x < width; ++x)
                PackIndex(d, x, bits, UnpackIndex(s, int(int64_t(x) * oldW / width), bits));
        }
        return dst;
    }

    const int bytes = bits / 8;
    const uint32_t* m = DIB_Masks(src);
    const SPixelFormat f = m ? SPixelFormat(m[0], m[1], m[2]) : SPixelFormat(0xFF0000, 0xFF00, 0xFF);
    const std::vector<SSpan> cols = Spans(oldW, width), rows = Spans(oldH, height);
    std::vector<float> acc(size_t(width) * 3);
    for (int y = 0; y < height; ++y) {
        std::fill(acc.begin(), acc.end(), 0.0f);
        const SSpan& rs = rows[size_t(y)];
        for (size_t k = 0; k < rs.weights.size(); ++k) {
            int sy = rs.first + int(k);
            const uint8_t* s = in + size_t(oldH - 1 - sy) * srcRow;
            const float wy = rs.weights[k];
            for (int x = 0; x < width; ++x) {
                const SSpan& cs = cols[size_t(x)];
                float r = 0, g = 0, b = 0;
                for (size_t j = 0; j < cs.weights.size(); ++j) {
                    uint32_t p = PixelLoad(s + (cs.first + int(j)) * bytes, bytes);
                    const float w = cs.weights[j];
                    r += w * float(f.m_red.Load(p));
                    g += w * float(f.m_green.Load(p));
                    b += w * float(f.m_blue.Load(p));
                }
                acc[size_t(x) * 3] += wy * r;
                acc[size_t(x) * 3 + 1] += wy * g;
                acc[size_t(x) * 3 + 2] += wy * b;
            }
        }
        uint8_t* d = out + size_t(height - 1 - y) * dstRow;
        for (int x = 0; x < width; ++x) {
            const float area = rs.total * cols[size_t(x)].total;
            uint32_t c[3];
            for (int i = 0; i < 3; ++i) {
                float v = acc[size_t(x) * 3 + i] / area + 0.5f;
                c[i] = v >= 255.0f ? 255u : (v <= 0.0f ? 0u : uint32_t(v));
            }
            PixelStore(d + x * bytes, bytes,
                       f.m_red.Store(c[0]) | f.m_green.Store(c[1]) | f.m_blue.Store(c[2]));
        }
    }
    return dst;
}
