#include "core/Quantizer.h"

#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace {

// Histogram cells: 64 steps of red, 64 of green, 32 of blue.
constexpr int kSteps[3] = {64, 64, 32};
constexpr int kCells = 64 * 64 * 32;
// Luminance weights of red, green and blue.
constexpr int64_t kWeight[3] = {30, 59, 11};

inline int CellIndex(int r, int g, int b) {
    return (r << 11) | (g << 5) | b;
}
// The colour value at the centre of a cell, per axis.
inline int Centre(int axis, int cell) {
    return axis == 2 ? 8 * cell + 4 : 4 * cell + 2;
}

struct SBox {
    int lo[3], hi[3], split[3];
    int64_t extent;
    uint64_t count;
    uint64_t error;
    uint64_t sum[3];  // per axis: count-weighted squared deviations from the mean
    int mean[3];
};

class CMedianCut {
public:
    explicit CMedianCut(const uint32_t* histogram) : m_hist(histogram) {}

    template <typename F>
    void ForCells(const SBox& box, F&& f) const {
        for (int r = box.lo[0]; r <= box.hi[0]; ++r)
            for (int g = box.lo[1]; g <= box.hi[1]; ++g)
                for (int b = box.lo[2]; b <= box.hi[2]; ++b)
                    if (uint32_t c = m_hist[CellIndex(r, g, b)]) f(r, g, b, c);
    }

    void Shrink(SBox& box) const {
        int lo[3] = {kSteps[0], kSteps[1], kSteps[2]}, hi[3] = {-1, -1, -1};
        uint64_t count = 0, total[3] = {0, 0, 0};
        ForCells(box, [&](int r, int g, int b, uint32_t c) {
            const int at[3] = {r, g, b};
            for (int a = 0; a < 3; ++a) {
                if (at[a] < lo[a]) lo[a] = at[a];
                if (at[a] > hi[a]) hi[a] = at[a];
                total[a] += uint64_t(c) * Centre(a, at[a]);
            }
            count += c;
        });
        box.count = count;
        box.error = 0;
        for (int a = 0; a < 3; ++a) {
            if (count) {
                box.lo[a] = lo[a];
                box.hi[a] = hi[a];
                box.mean[a] = int((total[a] + count / 2) / count);
            } else {
                box.mean[a] = 0;
            }
            box.sum[a] = 0;
            box.split[a] = box.lo[a];
        }
        const int64_t rr = (box.hi[0] - box.lo[0]) * 120, gr = (box.hi[1] - box.lo[1]) * 236,
                      br = (box.hi[2] - box.lo[2]) * 88;
        box.extent = rr * rr + gr * gr + br * br;
        if (!count) return;

        ForCells(box, [&](int r, int g, int b, uint32_t c) {
            const int at[3] = {r, g, b};
            for (int a = 0; a < 3; ++a) {
                int64_t d = Centre(a, at[a]) - box.mean[a];
                uint64_t sq = uint64_t(c) * uint64_t(d * d);
                box.sum[a] += sq;
                box.error += uint64_t(kWeight[a]) * sq;
            }
        });

        // The split point of each axis: walk its slices from the low bound and
        // stop at the one that brings twice the running sum past the axis total.
        for (int a = 0; a < 3; ++a) {
            if (box.hi[a] == box.lo[a]) continue;
            std::vector<uint64_t> slice(size_t(box.hi[a] - box.lo[a] + 1), 0);
            ForCells(box, [&](int r, int g, int b, uint32_t c) {
                const int at[3] = {r, g, b};
                int64_t d = Centre(a, at[a]) - box.mean[a];
                slice[size_t(at[a] - box.lo[a])] += uint64_t(c) * uint64_t(d * d);
            });
            uint64_t running = 0;
            int s = box.lo[a];
            for (; s < box.hi[a]; ++s) {
                running += slice[size_t(s - box.lo[a])];
                if (2 * running > box.sum[a]) break;
            }
            box.split[a] = s < box.hi[a] ? s : box.hi[a] - 1;
        }
    }

private:
    const uint32_t* m_hist;
};

// The distinct colours seen so far, in order of first appearance, with a
// small hash beside the list so that a picture of few colours costs a lookup
// per pixel rather than a walk of the list.
class CColourList {
public:
    explicit CColourList(uint32_t limit) : m_limit(limit) { std::memset(m_slot, 0, sizeof m_slot); }
    // False once more colours than the limit have been seen.
    bool Add(uint32_t colour) {
        uint32_t h = (colour * 2654435761u) >> 22;  // 10 bits
        for (;; h = (h + 1) & 1023) {
            if (m_slot[h] == 0) break;
            if (m_slot[h] == colour + 1) return true;
        }
        if (m_colours.size() >= m_limit) return false;
        m_slot[h] = colour + 1;
        m_colours.push_back(colour);
        return true;
    }
    const std::vector<uint32_t>& Colours() const { return m_colours; }

private:
    uint32_t m_limit;
    uint32_t m_slot[1024];
    std::vector<uint32_t> m_colours;
};

}  // namespace

int ColourQuantizer_Run(const SPackedDIB* dib, uint32_t wanted, uint8_t* palette) {
    if (!palette || !DIB_IsValid(dib) || dib->m_bitCount != 24 || wanted == 0) return 0;
    if (wanted > 256) wanted = 256;
    std::unique_ptr<uint32_t[]> histogram(new (std::nothrow) uint32_t[kCells]());
    if (!histogram) return 0;

    const int width = dib->m_width, height = dib->m_height;
    const uint32_t rowBytes = DIB_RowBytes(width, 24);
    const uint8_t* pixels = DIB_Pixels(dib);
    CColourList list(wanted);
    bool overflow = false;
    for (int y = 0; y < height; ++y) {
        const uint8_t* p = pixels + size_t(y) * rowBytes;
        for (int x = 0; x < width; ++x, p += 3) {
            ++histogram[CellIndex(p[2] >> 2, p[1] >> 2, p[0] >> 3)];
            if (!overflow) overflow = !list.Add((uint32_t(p[2]) << 16) | (uint32_t(p[1]) << 8) | p[0]);
        }
    }

    if (!overflow) {
        int found = 0;
        for (uint32_t c : list.Colours()) {
            palette[found * 4] = uint8_t(c);
            palette[found * 4 + 1] = uint8_t(c >> 8);
            palette[found * 4 + 2] = uint8_t(c >> 16);
            ++found;
        }
        return found;
    }

    CMedianCut cut(histogram.get());
    std::vector<SBox> boxes;
    boxes.reserve(wanted);
    SBox first{};
    for (int a = 0; a < 3; ++a) first.hi[a] = kSteps[a] - 1;
    cut.Shrink(first);
    boxes.push_back(first);
    while (boxes.size() < wanted) {
        int chosen = -1;
        uint64_t best = 0;
        for (size_t i = 0; i < boxes.size(); ++i) {
            const SBox& b = boxes[i];
            if (b.extent <= 0) continue;
            const uint64_t v[3] = {59 * b.sum[1], 30 * b.sum[0], 11 * b.sum[2]};
            for (uint64_t value : v)
                if (value > best) {
                    best = value;
                    chosen = int(i);
                }
        }
        if (chosen < 0) break;
        SBox& box = boxes[size_t(chosen)];
        int axis = 1;
        uint64_t axisValue = 59 * box.sum[1];
        if (30 * box.sum[0] > axisValue) {
            axis = 0;
            axisValue = 30 * box.sum[0];
        }
        if (11 * box.sum[2] > axisValue) axis = 2;
        SBox upper = box;
        upper.lo[axis] = box.split[axis] + 1;
        box.hi[axis] = box.split[axis];
        cut.Shrink(box);
        cut.Shrink(upper);
        boxes.push_back(upper);
    }

    int found = 0;
    for (const SBox& b : boxes) {
        // Shrinking left each box's count-weighted mean of its cell centres.
        palette[found * 4] = uint8_t(b.count ? b.mean[2] : 0);
        palette[found * 4 + 1] = uint8_t(b.count ? b.mean[1] : 0);
        palette[found * 4 + 2] = uint8_t(b.count ? b.mean[0] : 0);
        ++found;
    }
    return found;
}

CPaletteGenerator::CPaletteGenerator(uint32_t wanted) : m_wanted(wanted) {
    std::memset(m_palette, 0, sizeof m_palette);
}

bool CPaletteGenerator::Make(const SPackedDIB* dib) {
    if (!dib || dib->m_bitCount != 24) return false;
    int found = ColourQuantizer_Run(dib, m_wanted, m_palette);
    if (found == 0) return false;
    m_found = found;
    return true;
}

void CPaletteGenerator::CopyOut(uint8_t* table) const {
    if (!table) return;
    for (int i = 0; i < m_found; ++i) {
        std::memcpy(table + i * 4, m_palette + i * 4, 3);
        table[i * 4 + 3] = 0;
    }
}
