// The colour quantizer: an optimised palette of 2, 16 or 256 colours for a
// 24-bit picture.
//
// When a picture is reduced to a palette depth and no palette is given, the
// depth converter asks a CPaletteGenerator for one. A picture that has no
// more distinct colours than wanted gets exactly its colours, in the order in
// which they first appear; any other goes through a median cut over a 6-6-5
// bit colour histogram in which green weighs 59, red 30 and blue 11, as the
// eye does.
#pragma once

#include <cstdint>

#include "core/PackedDIB.h"

class CPaletteGenerator {
public:
    explicit CPaletteGenerator(uint32_t wanted);
    virtual ~CPaletteGenerator() = default;

    // Runs the quantizer over a 24-bit bitmap; false (palette untouched) for any
    // other depth or an unsound bitmap.
    bool Make(const SPackedDIB* dib);
    // Copies the found colours, 4 bytes each (blue, green, red, 0), into a
    // colour table.
    void CopyOut(uint8_t* table) const;
    int FoundCount() const { return m_found; }

private:
    uint32_t m_wanted;
    uint8_t m_palette[256 * 4];
    int m_found = 0;
};

// Finds up to 'wanted' (at most 256) colours for a 24-bit bitmap and writes
// them as blue, green, red into the first entries of the 4-byte palette (the
// fourth byte of each is left as it was). Returns the number found; 0 when the
// bitmap is not a sound 24-bit one or memory runs out.
int ColourQuantizer_Run(const SPackedDIB* dib, uint32_t wanted, uint8_t* palette);
