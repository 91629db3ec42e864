// Writer of BMP files in the forms other programs produce, for tests and
// modders: the game's own DIB_WriteBMP writes only the plain form (file
// header, 40-byte header, bottom-up rows). This one can leave out the file
// header, use the 12-byte OS/2 core header (3-byte colour entries), the
// 108-byte version-4 header (masks inside it), store rows top-down, and
// damage the result on purpose by patching bytes or cutting it short.
#pragma once

#include <cstdint>
#include <vector>

#include "core/PackedDIB.h"

struct SBMPForm {
    bool m_fileHeader = true;
    uint32_t m_headerSize = 40;  // 12, 40 or 108
    bool m_topDown = false;
    // 16 and 32 bits: no masks, compression 0 (the reader then takes 5-5-5
    // or 8-8-8, whatever the bitmap's own masks).
    bool m_plainMasks = false;
};

// The file bytes of a sound bitmap in the given form; empty when the form
// cannot hold it (the core header holds no masks, no top-down rows).
std::vector<uint8_t> BMP_Build(const SPackedDIB* dib, const SBMPForm& form);

// Little-endian patches for damaging a file at a byte offset.
void BMP_PatchU16(std::vector<uint8_t>& bytes, size_t at, uint16_t value);
void BMP_PatchU32(std::vector<uint8_t>& bytes, size_t at, uint32_t value);
