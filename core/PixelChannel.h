// Shared pieces of the pixel converters: channel masks as shift and width,
// pictures widened to 24 bits, and the nearest-colour search.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "core/PackedDIB.h"

// One channel of a masked pixel format.
struct SPixelChannel {
    uint32_t m_mask = 0;
    int m_shift = 0;  // lowest set bit of the mask
    int m_width = 0;  // set bits of the mask

    SPixelChannel() = default;
    explicit SPixelChannel(uint32_t mask);

    // An 8-bit value into the channel: its top m_width bits at m_shift (a
    // channel wider than 8 bits gets the value in its top bits).
    uint32_t Store(uint32_t v) const {
        if (m_width == 0) return 0;
        return ((v << 24) >> (32 - m_width)) << m_shift;
    }
    // A stored channel back as an 8-bit value (the channel's bits at the top).
    uint32_t Load(uint32_t pixel) const {
        if (m_width == 0) return 0;
        uint32_t c = (pixel & m_mask) >> m_shift;
        return m_width <= 8 ? (c << (8 - m_width)) & 0xFF : c >> (m_width - 8);
    }
    // The low bits of an 8-bit value that Store cuts off.
    uint32_t CutBits() const { return m_width >= 8 ? 0 : (0xFFu >> m_width); }
};

// The three (or four) channels of a surface or masked bitmap.
struct SPixelFormat {
    SPixelChannel m_red, m_green, m_blue, m_alpha;
    SPixelFormat() = default;
    SPixelFormat(uint32_t r, uint32_t g, uint32_t b, uint32_t a = 0)
        : m_red(r), m_green(g), m_blue(b), m_alpha(a) {}
};

// Reading and writing one pixel of 8, 16, 24 or 32 bits (little-endian).
inline uint32_t PixelLoad(const uint8_t* p, int bytes) {
    switch (bytes) {
        case 1:
            return p[0];
        case 2:
            return uint32_t(p[0]) | (uint32_t(p[1]) << 8);
        case 3:
            return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16);
        default:
            return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
    }
}
inline void PixelStore(uint8_t* p, int bytes, uint32_t v) {
    for (int i = 0; i < bytes; ++i) p[i] = uint8_t(v >> (8 * i));
}

// The colour table of a palette bitmap as a full 256-entry table (blue,
// green, red, 0), entries beyond the bitmap's own table black, so that any
// stored index can be looked up.
void DIB_FullTable(const SPackedDIB* dib, uint8_t table[256 * 4]);

// A 24-bit copy of any sound bitmap (the same one copied when it is 24 bits
// already); with grey, every colour becomes (11 r + 16 g + 5 b) >> 5 in all
// three channels. Null when the bitmap is not sound.
SPackedDIB* DIB_To24(const SPackedDIB* dib, bool grey);

// The nearest of 'count' table entries (4 bytes: blue, green, red, unused):
// least sum of absolute differences, the first of equals, stopping at an
// exact match.
int NearestIndex(const uint8_t* table, int count, int red, int green, int blue);

// Remembers the nearest entry of recent exact colours, keyed by their 5-5-5
// bits, so that pictures of few colours are mapped at the cost of a lookup.
class CNearestCache {
public:
    CNearestCache(const uint8_t* table, int count) : m_table(table), m_count(count) {
        std::memset(m_colour, 0xFF, sizeof m_colour);
    }
    int Find(int red, int green, int blue) {
        uint32_t key = ((uint32_t(red) >> 3) << 10) | ((uint32_t(green) >> 3) << 5) | (uint32_t(blue) >> 3);
        uint32_t colour = (uint32_t(red) << 16) | (uint32_t(green) << 8) | uint32_t(blue);
        if (m_colour[key] != colour) {
            m_colour[key] = colour;
            m_index[key] = static_cast<uint8_t>(NearestIndex(m_table, m_count, red, green, blue));
        }
        return m_index[key];
    }

private:
    const uint8_t* m_table;
    int m_count;
    uint32_t m_colour[32768];
    uint8_t m_index[32768];
};

// Storing an index into a row of 1, 4 or 8 bits (leftmost pixel in the high
// bits of a byte).
inline void PackIndex(uint8_t* row, int x, int bits, int index) {
    if (bits == 8) {
        row[x] = uint8_t(index);
    } else if (bits == 4) {
        uint8_t& b = row[x >> 1];
        b = (x & 1) ? uint8_t((b & 0xF0) | (index & 0x0F)) : uint8_t((b & 0x0F) | (index << 4));
    } else {
        uint8_t bit = uint8_t(0x80 >> (x & 7));
        row[x >> 3] = index & 1 ? uint8_t(row[x >> 3] | bit) : uint8_t(row[x >> 3] & ~bit);
    }
}
inline int UnpackIndex(const uint8_t* row, int x, int bits) {
    if (bits == 8) return row[x];
    if (bits == 4) return (x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4);
    return (row[x >> 3] >> (7 - (x & 7))) & 1;
}

// Two alternating rows of error accumulators, three channels a pixel, with a
// pixel of room on either side so that the neighbours of the edge pixels need
// no test.
class CErrorRows {
public:
    explicit CErrorRows(int width) : m_stride(width * 3 + 9), m_rows(size_t(m_stride) * 2, 0) {}
    int* Current() { return m_rows.data() + (m_flip ? m_stride : 0) + 3; }
    int* Next() { return m_rows.data() + (m_flip ? 0 : m_stride) + 3; }
    void Advance() {
        int* done = Current() - 3;
        std::fill(done, done + m_stride, 0);
        m_flip = !m_flip;
    }
    // Passes the whole error of channel c at x on: 7/16 right, 3/16 below-left,
    // 5/16 below, the rest below-right.
    void Spread(int x, int c, int e) {
        int right = e * 7 / 16, belowLeft = e * 3 / 16, below = e * 5 / 16;
        Current()[(x + 1) * 3 + c] += right;
        int* n = Next();
        n[(x - 1) * 3 + c] += belowLeft;
        n[x * 3 + c] += below;
        n[(x + 1) * 3 + c] += e - right - belowLeft - below;
    }

private:
    int m_stride;
    std::vector<int> m_rows;
    bool m_flip = false;
};
