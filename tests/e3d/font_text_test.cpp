// Text drawing with a font of known glyphs: placement, clipping, the inline
// markup, line fitting and text in lines.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "e3d/Font.h"
#include "e3d/Surface.h"
#include "tools/lib/CompiledFontsWriter.h"

namespace {

// The pattern font of the writer: 'A' is 3 wide, 'B' 1, 'C' 2, 'D' 3; pixel
// (x, y) of byte c is lit when x + y + c is odd.
std::unique_ptr<CE3DFont> PatternFont(int height, bool outline) {
    std::vector<uint8_t> bytes = CompiledFonts_Record(CompiledFonts_PatternFont("Pattern", height, outline));
    auto font = std::make_unique<CE3DFont>(nullptr);
    size_t at = 0;
    EXPECT_TRUE(font->Decode([&](void* buf, size_t n) {
        n = std::min(n, bytes.size() - at);
        std::memcpy(buf, bytes.data() + at, n);
        at += n;
        return n;
    }));
    return font;
}

constexpr uint32_t kUntouched = 0xABCDEF;

struct STextSurface {
    explicit STextSurface(CE3DFont* font, int w = 24, int h = 12) : s(nullptr) {
        EXPECT_TRUE(s.Create(w, h, true, SSurfacePixelFormat::Xrgb8888()));
        s.SetFont(font);
        s.m_textBgR = 1;
        s.m_textBgG = 2;
        s.m_textBgB = 3;
        s.m_outlineR = 7;
        s.m_outlineG = 8;
        s.m_outlineB = 9;
        s.Fill(kUntouched);
        EXPECT_TRUE(s.Lock());
    }
    ~STextSurface() { s.Unlock(); }
    uint32_t At(int x, int y) const {
        uint32_t v;
        std::memcpy(&v, s.Bits() + y * s.Pitch() + x * 4, 4);
        return v;
    }
    int Draw(const char* text, int x, int y, bool tb = false, bool ignore = false, int start = 0,
             bool count = false) {
        return s.DrawGlyphs(text, x, y, 10, 20, 30, tb, ignore, start, count);
    }
    CE3DSurface s;
};

constexpr uint32_t kF0 = 0x0A141E, kK0 = 0x010203, kO0 = 0x070809;

bool PatternLit(uint8_t c, int x, int y) {
    return (x + y + c) % 2 == 1;
}

TEST(FontText, MarkupCodesChangeTheInks) {
    struct {
        const char* text;
        bool tb, ignore;
        uint32_t glyph, empty;
    } cases[] = {
        {"A", false, false, kF0, kK0},
        {"A", true, false, kF0, kUntouched},
        {"\x02"
         "00FF00A",
         false, false, 0x00FF00, kK0},
        {"\x02"
         "F\x02"
         "A",
         false, false, 0xD6D6D6, kK0},
        {"\x02"
         "Z\x02"
         "A",
         false, false, 0xFFFFFF, kK0},  // not a hex digit: colour 0
        {"\x02"
         "g0FF00A",
         false, false, 0x00FF00, kK0},  // nor here: counts as 0
        {"\x02"
         "t\x02"
         "A",
         false, false, kUntouched, kK0},
        {"\x02"
         "T\x02\x02s\x02"
         "A",
         false, false, kF0, kK0},
        {"\x03"
         "t\x03"
         "A",
         false, false, kF0, kUntouched},
        {"\x03"
         "s\x03"
         "A",
         true, false, kF0, kK0},
        {"\x03"
         "0000FFA",
         false, false, kF0, 0x0000FF},
        {"\x03"
         "4\x03"
         "A",
         false, false, kF0, 0xFF0000},
        {"\x0F"
         "1A",
         false, false, kK0, kF0},
        {"\x0F"
         "1A",
         true, false, kUntouched, kF0},
        {"\x0F"
         "1\x0F"
         "0A",
         false, false, kF0, kK0},
        {"\x0F"
         "2A",
         false, false, kK0, kF0},
        {"\x0F"
         "2\x0F"
         "2A",
         false, false, kF0, kK0},
        {"\x0F"
         "2\x0F"
         "0A",
         false, false, kK0, kF0},  // the other switch: still inverse
        {"\x0F"
         "2\x16"
         "A",
         false, false, kK0, kF0},  // reset keeps the toggled switch
        {"\x0F"
         "1\x16"
         "A",
         false, false, kF0, kK0},
        {"\x02"
         "00FF00\x03"
         "t\x03\x16"
         "A",
         false, false, kF0, kK0},
        {"\x03"
         "t\x03\x16"
         "A",
         true, false, kF0, kUntouched},  // reset goes back to the argument
        {"\x02"
         "00FF00A",
         false, true, kF0, kK0},
        {"\x02"
         "1\x02"
         "A",
         false, true, kF0, kK0},
        {"\x02"
         "t\x02"
         "A",
         false, true, kUntouched, kK0},  // t and s still count
        {"\x0F"
         "1A",
         false, true, kF0, kK0},
    };
    auto font = PatternFont(3, false);
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(std::string(c.text)));
        STextSurface t(font.get());
        EXPECT_EQ(t.Draw(c.text, 2, 1, c.tb, c.ignore), int(std::strlen(c.text)));
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 3; ++x)
                EXPECT_EQ(t.At(2 + x, 1 + y), PatternLit('A', x, y) ? c.glyph : c.empty);
        EXPECT_EQ(t.At(1, 1), kUntouched);
        EXPECT_EQ(t.At(5, 1), kUntouched);
        EXPECT_EQ(t.At(2, 4), kUntouched);
    }
}

TEST(FontText, OutlineFontsInkGlyphRingAndEmptyByTheTable) {
    struct {
        const char* text;
        uint32_t glyph, ring, empty;
    } cases[] = {
        {"A", kF0, kO0, kK0},
        {"\x1F"
         "t\x1F"
         "A",
         kF0, kK0, kK0},
        {"\x02"
         "t\x02"
         "A",
         kK0, kO0, kK0},
        {"\x02"
         "t\x02\x1F"
         "t\x1F"
         "A",
         kUntouched, kUntouched, kK0},
        {"\x03"
         "t\x03\x02"
         "t\x02"
         "A",
         kUntouched, kO0, kUntouched},
        {"\x1F"
         "00FF00A",
         kF0, 0x00FF00, kK0},
        {"\x0F"
         "1A",
         kK0, kO0, kF0},
        {"\x0F"
         "1\x1F"
         "t\x1F"
         "A",
         kK0, kF0, kF0},
        {"\x0F"
         "1\x02"
         "t\x02\x1F"
         "t\x1F"
         "A",
         kK0, kK0, kUntouched},
        {"\x0F"
         "1\x03"
         "t\x03"
         "A",
         kUntouched, kO0, kF0},
    };
    // The pattern's outline cells hold only glyph and ring pixels: the last
    // row of 'A' is emptied so that all three inks show.
    auto font = PatternFont(4, true);
    std::memset(font->m_pixels + font->m_start['A'] + 3 * 3, 0, 3);
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(std::string(c.text)));
        STextSurface t(font.get());
        t.Draw(c.text, 0, 0);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 3; ++x)
                EXPECT_EQ(t.At(x, y), y == 3                  ? c.empty
                                      : PatternLit('A', x, y) ? c.glyph
                                                              : c.ring)
                    << x << "," << y;
    }
}

TEST(FontText, EveryDepthWritesTheSameCells) {
    auto font = PatternFont(3, false);
    for (const SSurfacePixelFormat& f :
         {SSurfacePixelFormat::Masks(8, 0xE0, 0x1C, 0x03), SSurfacePixelFormat::Rgb565(),
          SSurfacePixelFormat::Rgb555(), SSurfacePixelFormat::Xrgb8888()}) {
        SCOPED_TRACE(f.bitCount);
        CE3DSurface s(nullptr);
        ASSERT_TRUE(s.Create(8, 4, true, f));
        s.SetFont(font.get());
        s.m_textBgR = 0;
        s.m_textBgG = 0;
        s.m_textBgB = 255;
        ASSERT_TRUE(s.Lock());
        EXPECT_EQ(s.DrawGlyphs("A\x02"
                               "FF0000B",
                               1, 1, 255, 255, 0, false, false, 0, false),
                  9);
        const uint32_t bpp = s.m_bytesPerPixel, cut = bpp == 1 ? 0xFF : bpp == 2 ? 0xFFFF : 0xFFFFFFFF;
        auto at = [&](int x, int y) {
            uint32_t v = 0;
            std::memcpy(&v, s.Bits() + y * s.Pitch() + x * int(bpp), bpp);
            return v;
        };
        for (int y = 0; y < 3; ++y) {
            for (int x = 0; x < 3; ++x)
                EXPECT_EQ(at(1 + x, 1 + y),
                          (PatternLit('A', x, y) ? s.Pack(255, 255, 0) : s.Pack(0, 0, 255)) & cut);
            EXPECT_EQ(at(4, 1 + y), (PatternLit('B', 0, y) ? s.Pack(255, 0, 0) : s.Pack(0, 0, 255)) & cut);
            EXPECT_EQ(at(5, 1 + y), 0u);
        }
        s.Unlock();
    }
}

TEST(FontText, PlacementAndClipping) {
    auto font = PatternFont(3, false);
    {
        STextSurface t(font.get());
        t.s.m_clipRect = {0, 2, 24, 8};
        EXPECT_EQ(t.Draw("AB", 0, 6), 0);  // 6 + 3 > 8
        EXPECT_EQ(t.Draw("AB", 0, 1), 0);  // above the clip
        EXPECT_EQ(t.Draw("AB", 0, 5), 2);
        EXPECT_EQ(t.At(0, 5), PatternLit('A', 0, 0) ? kF0 : kK0);
    }
    // A glyph that would end at the clip's right edge or beyond is not placed.
    for (int right : {7, 8, 9}) {
        STextSurface t(font.get());
        t.s.m_clipRect = {0, 0, right, 12};
        EXPECT_EQ(t.Draw("ABA", 1, 0), right == 9 ? 3 : 2) << right;
        EXPECT_EQ(t.At(5, 0) != kUntouched, right == 9) << right;
    }
    {
        // Glyphs left of the clip are skipped but still move the pen.
        STextSurface t(font.get());
        t.s.m_clipRect = {2, 0, 24, 12};
        EXPECT_EQ(t.Draw("BA", 1, 0), 2);
        EXPECT_EQ(t.At(1, 0), kUntouched);
        EXPECT_NE(t.At(2, 0), kUntouched);
    }
    {
        // The start index skips glyphs without moving the pen; codes before it
        // still count. Count-only walks without writing.
        STextSurface t(font.get());
        EXPECT_EQ(t.Draw("A\x02"
                         "00FF00BC",
                         4, 0, false, false, 1, true),
                  10);
        EXPECT_EQ(t.At(4, 0), kUntouched);
        EXPECT_EQ(t.Draw("A\x02"
                         "00FF00BC",
                         4, 0, false, false, 1),
                  10);
        EXPECT_EQ(t.At(4, 0), PatternLit('B', 0, 0) ? 0x00FF00u : kK0);
        EXPECT_EQ(t.At(5, 1), PatternLit('C', 0, 1) ? 0x00FF00u : kK0);
    }
    {
        // Alignment by the text's width: right at x, centred on x.
        STextSurface t(font.get());
        t.s.m_textFlags = kE3DTextRight;
        EXPECT_EQ(t.Draw("AB", 10, 0), 2);
        EXPECT_NE(t.At(6, 0), kUntouched);
        EXPECT_EQ(t.At(5, 0), kUntouched);
        EXPECT_EQ(t.At(10, 0), kUntouched);
        t.s.m_textFlags = kE3DTextCentre;
        EXPECT_EQ(t.Draw("AB", 20, 4), 2);
        EXPECT_NE(t.At(18, 4), kUntouched);
        EXPECT_EQ(t.At(17, 4), kUntouched);
    }
    {
        // Text that ends inside a code draws what it can.
        STextSurface t(font.get());
        EXPECT_EQ(t.Draw("A\x02"
                         "12",
                         0, 0),
                  4);
        EXPECT_EQ(t.Draw("B\x02", 4, 0), 2);
        EXPECT_EQ(t.Draw("B\x0F", 6, 0), 2);
        EXPECT_EQ(t.Draw("B\x03"
                         "x",
                         8, 0),
                  3);
        for (int x : {0, 4, 6, 8}) EXPECT_NE(t.At(x, 0), kUntouched) << x;
    }
    {
        // No font, or an empty text: the start index comes back.
        STextSurface t(nullptr);
        EXPECT_EQ(t.Draw("AB", 0, 0, false, false, 1), 1);
        t.s.SetFont(font.get());
        EXPECT_EQ(t.Draw("", 0, 0, false, false, 0), 0);
    }
}

TEST(FontText, MeasureSkipsMarkup) {
    auto font = PatternFont(3, false);
    struct {
        const char* text;
        int32_t width;
    } cases[] = {
        {"A\x02"
         "FF0000B\x16"
         "C",
         6},
        {"", 0},
        {"\x02"
         "t\x02\x0F"
         "1\x1F"
         "123456",
         0},
        {"A\x02"
         "1",
         3},
        {"ABCD", 9},
    };
    for (const auto& c : cases) {
        int32_t w = -1, h = -1;
        font->MeasureText(c.text, &w, &h);
        EXPECT_EQ(w, c.width) << ::testing::PrintToString(std::string(c.text));
        EXPECT_EQ(h, 3);
    }
}

// A line breaks after the last blank that fits, so a word is not cut in
// two: "BB AD" in a 9-wide clip fits up to the A (8 pixels), and its lines are
// "BB " (5 pixels) and "AD" (6).
TEST(FontText, LinesBreakAfterABlankSoWordsStayWhole) {
    auto font = PatternFont(3, false);
    STextSurface t(font.get());
    t.s.m_clipRect = {0, 0, 9, 12};
    auto row = [&](int y) {
        std::string r;
        for (int x = 0; x < 9; ++x) r += t.At(x, y) == kUntouched ? '.' : '#';
        return r;
    };
    EXPECT_EQ(t.s.DrawText("BB AD", true, 4, 10, 20, 30, false, false), 2);
    EXPECT_EQ(row(0), "#####....");
    EXPECT_EQ(row(4), "######...");
}

TEST(FontText, FitLineAndTextInLines) {
    auto font = PatternFont(3, false);
    {
        STextSurface t(font.get());
        t.s.m_clipRect = {0, 0, 6, 12};
        EXPECT_EQ(t.s.FitLine("ABAB", 0, 0, 0), 2);
        EXPECT_EQ(t.s.FitLine("ABAB", 0, 100, 2), 4);  // no test of y
    }
    // "ABABCD" in an 8-wide clip: "ABA" (7 pixels) on the first line, "BCD" on the second.
    auto row = [](STextSurface& t, int y) {
        std::string r;
        for (int x = 0; x < 8; ++x) r += t.At(x, y) == kUntouched ? '.' : '#';
        return r;
    };
    {
        STextSurface t(font.get());
        t.s.m_clipRect = {0, 0, 8, 12};
        EXPECT_EQ(t.s.DrawText("ABABCD", true, 4, 10, 20, 30, false, false), 2);
        EXPECT_EQ(row(t, 0), "#######.");
        EXPECT_EQ(row(t, 4), "######..");
        EXPECT_EQ(row(t, 8), "........");
    }
    {
        STextSurface t(font.get());
        t.s.m_clipRect = {0, 0, 8, 12};
        EXPECT_EQ(t.s.DrawText("ABABCD", false, 4, 10, 20, 30, false, false), 2);
        EXPECT_EQ(row(t, 0), "........");
        EXPECT_EQ(row(t, 4), "#######.");
        EXPECT_EQ(row(t, 8), "######..");
    }
    {
        // A line that does not fit below is skipped by fitting, and counted.
        STextSurface t(font.get());
        t.s.m_clipRect = {0, 0, 8, 6};
        EXPECT_EQ(t.s.DrawText("ABABCD", true, 4, 10, 20, 30, false, false), 2);
        EXPECT_EQ(row(t, 4), "........");
    }
    {
        // A glyph wider than the clip: no progress, the walk ends.
        STextSurface t(font.get());
        t.s.m_clipRect = {0, 0, 2, 12};
        EXPECT_EQ(t.s.DrawText("AAA", true, 4, 10, 20, 30, false, false), 1);
    }
    {
        // Centred text is centred line by line on the clip's left edge.
        STextSurface t(font.get());
        t.s.m_clipRect = {10, 0, 20, 12};
        t.s.m_textFlags = kE3DTextCentre;
        EXPECT_EQ(t.s.DrawText("ABABCD", true, 4, 10, 20, 30, false, false), 2);
        // Line one "ABAB" (8 wide) starts at 6: its second A lands on 10 to 12,
        // its last B on 13. Line two "CD" (5 wide) starts at 8: D lands on 10 to 12.
        auto seg = [&](int y) {
            std::string r;
            for (int x = 10; x < 16; ++x) r += t.At(x, y) == kUntouched ? '.' : '#';
            return r;
        };
        EXPECT_EQ(seg(0), "####..");
        EXPECT_EQ(seg(4), "###...");
    }
}

}  // namespace
