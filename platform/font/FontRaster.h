// Font rasterizing for the engine's bitmap fonts. The engine asks for a font
// the way the game always has, by a Windows face name ("Arial", "Times New
// Roman", "Courier New"), a cell height, an average width, a weight and a
// style, and builds its glyph cells from two answers per byte value: the
// extent of the character (advance and cell height) and its drawing, white
// on black and not smoothed, at the top-left of a 400 x 300 canvas.
//
// The FreeType rasterizer finds the installed face through fontconfig (the
// metric-compatible Liberation faces stand in for the Windows ones), maps the
// bytes to characters through the game's code page, and synthesizes bold,
// italic, underline and strike-out where the face lacks them. Heights follow
// the Windows rule: a positive height is the whole cell (ascent plus descent),
// a negative one the em size.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct SFontRequest {
    std::string face;   // empty: the default face
    int32_t width = 0;  // average character width; 0 for the face's own
    int32_t height = 0;
    int32_t weight = 400;
    bool italic = false, underline = false, strikeOut = false, fixedPitch = false;
    int32_t codePageIndex = 6;  // the game's code-page index, 0 to 10
};

// The drawing canvas: one byte per pixel, 0 black, anything else lit.
struct SFontCanvas {
    static constexpr int kWidth = 400, kHeight = 300;
    std::vector<uint8_t> pixels = std::vector<uint8_t>(size_t(kWidth) * kHeight, 0);
    void Clear(int w, int h);  // blacks out (0, 0, w, h), cut to the canvas
    bool Lit(int x, int y) const {
        return x >= 0 && y >= 0 && x < kWidth && y < kHeight && pixels[size_t(y) * kWidth + size_t(x)] != 0;
    }
    void Set(int x, int y) {
        if (x >= 0 && y >= 0 && x < kWidth && y < kHeight) pixels[size_t(y) * kWidth + size_t(x)] = 1;
    }
};

class IFontRasterizer {
public:
    virtual ~IFontRasterizer() = default;
    // Chooses the face for the request; false when no face could be had at all.
    virtual bool Select(const SFontRequest& request) = 0;
    // The character's extent: advance width and cell height; false on failure.
    virtual bool Extent(uint8_t c, int32_t& width, int32_t& height) = 0;
    // Draws the character lit onto the canvas with its cell's top-left at (x, y).
    virtual void Draw(uint8_t c, SFontCanvas& canvas, int x, int y) = 0;
};

std::unique_ptr<IFontRasterizer> FontRaster_CreateFreeType();

// The file of the installed face that a request resolves to (for reports and
// tests); empty when none.
std::string FontRaster_MatchFile(const SFontRequest& request);

// A line of text rendered straight by FreeType (pen advancing by each glyph's
// advance, glyphs drawn where they fall, no glyph cells): the reference the
// engine's cell-built fonts are compared against. pens receives each
// character's pen position. False when no face could be had.
bool FontRaster_DrawStringDirect(const SFontRequest& request, const char* text, SFontCanvas& canvas,
                                 std::vector<int>& pens);
