// Bitmap fonts. A CE3DFont holds a glyph cell for each of the 256 byte values,
// one byte per pixel, all cells of one height side by side in one strip. Fonts
// belong to the screen, which hands them out counted (CE3DScreen::GetFont),
// builds the ones it does not have from the installed faces, and keeps them
// between runs in the compiled-fonts file (Fonts.cof) so that later runs need
// not render them again. Surfaces point at a font without counting it.
//
// Without an outline a cell byte is 1 for a lit pixel. With an outline, bit 0
// marks a glyph pixel and bit 1 the one-pixel ring around the strokes; the
// cells are then 2 pixels taller and every glyph 2 pixels wider.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/StrBuf.h"

class CE3DScreen;
class CVFSFile;
class IFontRasterizer;

// Attributes a font may be asked for.
constexpr int32_t kE3DFontPlain = 0;
constexpr int32_t kE3DFontItalic = 1;
constexpr int32_t kE3DFontUnderline = 2;
constexpr int32_t kE3DFontStrikeOut = 3;
constexpr int32_t kE3DFontFixedPitch = 4;

// One record of the compiled-fonts file: the fixed part is 3353 bytes, the
// pixels follow.
constexpr size_t kE3DFontRecordFixed = 3353;
constexpr size_t kE3DFontNameField = 256;

class CE3DFont {
public:
    explicit CE3DFont(CE3DScreen* screen);
    ~CE3DFont();
    CE3DFont(const CE3DFont&) = delete;
    CE3DFont& operator=(const CE3DFont&) = delete;

    // Renders the 256 glyphs from the installed face that best matches the
    // name (FreeType and fontconfig).
    void Build(const char* name, int32_t width, int32_t height, int32_t weight, int32_t attributes,
               uint8_t outline);
    // The same on a rasterizer of the caller's choice (tests use a fake one).
    void Build(IFontRasterizer& rasterizer, const char* name, int32_t width, int32_t height, int32_t weight,
               int32_t attributes, uint8_t outline);

    // Sum of the glyph widths of the text's glyph bytes (markup skipped), and
    // the font height.
    void MeasureText(const char* text, int32_t* width, int32_t* height) const;
    // Lowers the reference count; at 0 or below the font deletes itself.
    int32_t Release();

    // Appends this font's record (nothing when the file is not open).
    void Save(CVFSFile* file) const;
    // Reads one record; false, with the font left empty, when the record is
    // short or does not hold together.
    bool Load(CVFSFile* file);
    // The record as bytes, and back: what Save and Load write and read.
    void Encode(std::vector<uint8_t>& out) const;
    // Reads from a byte source: read(n bytes into buffer) returns the count read.
    template <typename Read>
    bool Decode(Read&& read);

    int32_t GlyphWidth(uint8_t c) const { return m_width[c]; }
    const uint8_t* Cell(uint8_t c) const { return m_pixels + m_start[c]; }
    bool Matches(const char* name, int32_t width, int32_t height, int32_t weight, int32_t attributes,
                 uint8_t outline) const;

    // The game's code-page index (0 to 10) chooses the character set glyphs
    // are built in; 6 is the Western one.
    static int32_t s_codePageIndex;

    CE3DScreen* m_screen;
    CE3DFont* m_next = nullptr;
    CE3DFont* m_prev = nullptr;
    uint8_t* m_pixels = nullptr;
    int32_t m_totalWidth = 0;
    int32_t m_height = 0;
    uint32_t m_start[256] = {};
    uint32_t m_end[256] = {};
    int32_t m_width[256] = {};
    CStrBuf m_name;
    int32_t m_reqWidth = 0, m_reqHeight = 0, m_weight = 0, m_attributes = 0;
    uint8_t m_outline = 0;
    int32_t m_refCount = 0;

private:
    bool DecodeFixed(const uint8_t* fixed);
    void Clear();
};

// Limits a record must keep to be read: the cell strip of one font may not
// exceed 64 MB, cells may not be taller than 1024 pixels.
constexpr int32_t kE3DFontMaxHeight = 1024;
constexpr int64_t kE3DFontMaxPixels = 64 << 20;

template <typename Read>
bool CE3DFont::Decode(Read&& read) {
    uint8_t fixed[kE3DFontRecordFixed];
    if (read(fixed, sizeof fixed) != sizeof fixed || !DecodeFixed(fixed)) {
        Clear();
        return false;
    }
    const size_t bytes = size_t(m_height) * size_t(m_totalWidth);
    m_pixels = new uint8_t[bytes ? bytes : 1]();
    if (bytes && read(m_pixels, bytes) != bytes) {
        Clear();
        return false;
    }
    return true;
}
