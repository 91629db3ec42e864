// Writer of the compiled-fonts file (Fonts.cof): a u32 count of fonts, then
// one record per font, little-endian without padding:
//   total width i32, height i32, start offsets 256 x u32, end offsets
//   256 x u32, widths 256 x i32, face name in 256 bytes (zero-terminated,
//   zeros after), requested width, height, weight, attributes (i32 each),
//   outline (1 byte), then height x total width bytes of glyph cells, each
//   cell height rows of its width, the cells side by side in byte order.
// Tests and tools make fonts with known glyphs with it, corrupt ones too,
// without any rasterizer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct SCompiledGlyph {
    int32_t width = 0;
    std::vector<uint8_t> cells;  // height x width bytes, row after row
};

struct SCompiledFont {
    std::string name;
    int32_t height = 0;
    int32_t reqWidth = 0, reqHeight = 0, weight = 400, attributes = 0;
    uint8_t outline = 0;
    SCompiledGlyph glyphs[256];
};

// Offsets of the fields inside one record.
constexpr size_t kCofTotalWidth = 0, kCofHeight = 4, kCofStart = 8, kCofEnd = 1032, kCofWidths = 2056,
                 kCofName = 3080, kCofReqWidth = 3336, kCofOutline = 3352, kCofPixels = 3353;

std::vector<uint8_t> CompiledFonts_Record(const SCompiledFont& font);
std::vector<uint8_t> CompiledFonts_File(const std::vector<SCompiledFont>& fonts);
bool CompiledFonts_Write(const std::string& path, const std::vector<uint8_t>& bytes);

// A font of known glyphs: byte c is (c % 3) + 1 pixels wide (0 wide for
// bytes below 32), and its pixel (x, y) is lit when (x + y + c) is odd. With
// an outline, lit pixels carry bit 0 and the pixels beside them bit 1.
SCompiledFont CompiledFonts_PatternFont(const std::string& name, int32_t height, bool outline);
