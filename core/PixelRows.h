// Packing rows of 24-bit pixels (blue, green, red) into 16- or 32-bit masked
// pixels: the inner loop of every picture written into a surface, so it has a
// vector form where the processor offers one.
#pragma once

#include <cstdint>

#include "core/PixelChannel.h"

// Each channel of the 24-bit value p (blue bits 0-7, green 8-15, red 16-23)
// becomes ((p & keep) >> right) << left: its top bits moved into the target
// channel. Channels wider than 8 bits cannot be made this way (m_valid false).
struct SRowPacker {
    uint32_t m_keep[3] = {0, 0, 0};  // blue, green, red
    int m_right[3] = {0, 0, 0};
    int m_left[3] = {0, 0, 0};
    bool m_valid = false;
};

SRowPacker RowPacker_Make(const SPixelFormat& format);
// Packs 'width' pixels of 3 bytes from src into outBytes (2 or 4) bytes each.
void RowPacker_Pack(const SRowPacker& packer, uint8_t* dst, const uint8_t* src, uint32_t width, int outBytes);

// The widest vector form the packer uses: 0 none, 1 SSSE3, 2 AVX2, 3 AVX-512
// (5-6-5 only; other formats take AVX2 there). The processor sets the
// ceiling; tests and benchmarks lower it to check and time each form against
// the others (a limit above the processor's level changes nothing).
int RowPacker_VectorLevel();
void RowPacker_LimitVectorLevel(int level);
