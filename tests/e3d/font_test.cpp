// Fonts: building glyph cells (with a rasterizer of known glyphs and with the
// installed Liberation faces), and the compiled-fonts record on disk.
#include "e3d/Font.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/VFSFile.h"
#include "e3d/Surface.h"
#include "platform/font/FontRaster.h"
#include "tests/support/TempDir.h"
#include "tools/lib/CompiledFontsWriter.h"

namespace {

// Glyphs of known shape: byte c is c % 5 + 2 wide and 6 high; even bytes
// light their extent's last column, odd ones their first; '.' is one pixel
// at (1, 1); the extent of 0x7F fails.
class CFakeRasterizer : public IFontRasterizer {
public:
    bool Select(const SFontRequest& r) override {
        request = r;
        return true;
    }
    bool Extent(uint8_t c, int32_t& w, int32_t& h) override {
        if (c == 0x7F) return false;
        w = c % 5 + 2;
        h = 6;
        return true;
    }
    void Draw(uint8_t c, SFontCanvas& canvas, int x, int y) override {
        if (c == '.') {
            canvas.Set(x + 1, y + 1);
            return;
        }
        const int col = c % 2 == 0 ? c % 5 + 1 : 0;
        for (int j = 1; j < 5; ++j) canvas.Set(x + col, y + j);
    }
    SFontRequest request;
};

int Extent(int c) {
    return c % 5 + 2;
}

TEST(FontBuild, LastLitColumnWidensTheGlyph) {
    CFakeRasterizer raster;
    CE3DFont font(nullptr);
    font.Build(raster, "Fake", 0, 6, 400, kE3DFontItalic, 0);
    EXPECT_TRUE(raster.request.italic);
    EXPECT_EQ(font.m_height, 6);
    int32_t x = 0;
    for (int c = 0; c < 256; ++c) {
        const int32_t want = c == 0x7F ? 0 : Extent(c) + (c % 2 == 0 && c != '.' ? 1 : 0);
        ASSERT_EQ(font.m_width[c], want) << c;
        ASSERT_EQ(font.m_start[c], uint32_t(6 * x)) << c;
        ASSERT_EQ(font.m_end[c], uint32_t(6 * (x + want))) << c;
        x += want;
    }
    EXPECT_EQ(font.m_totalWidth, x);
    // 'A' (65, odd) has its bar in column 0; 'B' (66) in its extent's last column.
    const uint8_t* a = font.Cell('A');
    const uint8_t* b = font.Cell('B');
    for (int y = 0; y < 6; ++y) {
        EXPECT_EQ(a[y * font.m_width['A']], y >= 1 && y < 5 ? 1 : 0) << y;
        EXPECT_EQ(b[y * font.m_width['B'] + Extent('B') - 1], y >= 1 && y < 5 ? 1 : 0) << y;
    }
}

TEST(FontBuild, OutlineAddsARingAndTwoPixelsEachWay) {
    CFakeRasterizer raster;
    CE3DFont plain(nullptr), ringed(nullptr);
    plain.Build(raster, "Fake", 0, 6, 400, 0, 0);
    ringed.Build(raster, "Fake", 0, 6, 400, 0, 1);
    EXPECT_EQ(ringed.m_height, plain.m_height + 2);
    for (int c = 0; c < 256; ++c) {
        if (c != 0x7F) {
            ASSERT_EQ(ringed.m_width[c], plain.m_width[c] + 2) << c;
        }
    }
    // '.' is one pixel at (1, 1): in the ringed cell it sits at (2, 2) with
    // all eight neighbours as ring.
    const int w = ringed.m_width['.'];
    const uint8_t* cell = ringed.Cell('.');
    for (int y = 0; y < ringed.m_height; ++y)
        for (int x = 0; x < w; ++x) {
            const int want = x == 2 && y == 2 ? 1 : (x >= 1 && x <= 3 && y >= 1 && y <= 3) ? 2 : 0;
            EXPECT_EQ(cell[y * w + x], want) << x << "," << y;
        }
}

TEST(FontBuild, FixedPitch) {
    CFakeRasterizer raster;
    CE3DFont asked(nullptr), natural(nullptr), ringed(nullptr);
    asked.Build(raster, "Fake", 5, 6, 400, kE3DFontFixedPitch, 0);
    natural.Build(raster, "Fake", 0, 6, 400, kE3DFontFixedPitch, 0);
    ringed.Build(raster, "Fake", 0, 6, 400, kE3DFontFixedPitch, 1);
    EXPECT_TRUE(raster.request.fixedPitch);
    EXPECT_EQ(raster.request.width, 0);  // the width is not asked of the face
    for (int c = 0; c < 256; ++c) {
        ASSERT_EQ(asked.m_width[c], 5);
        ASSERT_EQ(natural.m_width[c], 6);  // the widest extent
        ASSERT_EQ(ringed.m_width[c], 8);   // the widest, with room for the ring
    }
    EXPECT_EQ(ringed.m_totalWidth, 8 * 256);
    EXPECT_EQ(ringed.m_start[255], uint32_t(8 * 8 * 255));
}

TEST(FontBuild, LiberationFacesStandInForTheWindowsOnes) {
    struct {
        const char* face;
        const char* file;
    } cases[] = {{"Arial", "LiberationSans-Regular"},
                 {"Times New Roman", "LiberationSerif-Regular"},
                 {"Courier New", "LiberationMono-Regular"}};
    for (const auto& c : cases) {
        SFontRequest r;
        r.face = c.face;
        EXPECT_NE(FontRaster_MatchFile(r).find(c.file), std::string::npos) << c.face;
    }
    SFontRequest bold;
    bold.face = "arial";
    bold.weight = 700;
    EXPECT_NE(FontRaster_MatchFile(bold).find("LiberationSans-Bold"), std::string::npos);
}

TEST(FontBuild, FixedPitchForAMissingFaceFallsBackToAFixedPitchFace) {
    // The console asks for a fixed-pitch face few machines have; its narrow
    // and wide letters must still advance alike.
    SFontRequest r;
    r.face = "No Such Face Anywhere";
    r.height = 11;
    r.fixedPitch = true;
    auto raster = FontRaster_CreateFreeType();
    ASSERT_TRUE(raster->Select(r));
    int32_t narrow = 0, wide = 0, h = 0;
    ASSERT_TRUE(raster->Extent('i', narrow, h));
    ASSERT_TRUE(raster->Extent('M', wide, h));
    EXPECT_GT(narrow, 0);
    EXPECT_EQ(narrow, wide);
}

bool AnyLit(const CE3DFont& f, uint8_t c) {
    const uint8_t* cell = f.Cell(c);
    return std::any_of(cell, cell + f.m_height * f.m_width[c], [](uint8_t v) { return v != 0; });
}

TEST(FontBuild, LiberationSansMetricsFrom8To24Pixels) {
    for (int h = 8; h <= 24; h += 4) {
        SCOPED_TRACE(h);
        CE3DFont font(nullptr), ringed(nullptr);
        font.Build("Arial", 0, h, 400, 0, 0);
        ringed.Build("Arial", 0, h, 400, 0, 1);
        EXPECT_EQ(font.m_height, h);
        EXPECT_EQ(ringed.m_height, h + 2);
        for (int c = 33; c < 127; ++c) {
            ASSERT_GE(font.m_width[c], 1) << char(c);
            ASSERT_LE(font.m_width[c], h * 2) << char(c);
            ASSERT_TRUE(AnyLit(font, uint8_t(c))) << char(c);
            ASSERT_EQ(ringed.m_width[c], font.m_width[c] + 2) << char(c);
        }
        EXPECT_GT(font.m_width['W'], font.m_width['i']);
        EXPECT_FALSE(AnyLit(font, ' '));
        EXPECT_GT(font.m_width[' '], 0);
        // Capitals stand on the baseline: 'H' has lit pixels in its top half,
        // none in its last row (the descent).
        const int w = font.m_width['H'];
        const uint8_t* cell = font.Cell('H');
        EXPECT_TRUE(std::any_of(cell, cell + w * (h / 2), [](uint8_t v) { return v; }));
        EXPECT_FALSE(std::any_of(cell + w * (h - 1), cell + w * h, [](uint8_t v) { return v; }));
        // 'g' descends below the baseline.
        const int wg = font.m_width['g'];
        EXPECT_TRUE(std::any_of(font.Cell('g') + wg * (h * 3 / 4), font.Cell('g') + wg * h,
                                [](uint8_t v) { return v; }));
    }
    CE3DFont mono(nullptr);
    mono.Build("Courier New", 0, 14, 400, 0, 0);
    for (int c = 33; c < 127; ++c) EXPECT_LE(std::abs(mono.m_width[c] - mono.m_width['m']), 1) << char(c);
    CE3DFont bold(nullptr), regular(nullptr);
    bold.Build("Arial", 0, 16, 700, 0, 0);
    regular.Build("Arial", 0, 16, 400, 0, 0);
    int boldInk = 0, regularInk = 0;
    for (int i = 0; i < bold.m_height * bold.m_width['o']; ++i) boldInk += bold.Cell('o')[i];
    for (int i = 0; i < regular.m_height * regular.m_width['o']; ++i) regularInk += regular.Cell('o')[i];
    EXPECT_GT(boldInk, regularInk);
}

TEST(FontBuild, LiberationSansAdvancesAndLastLitColumnsFollowFreeType) {
    // Each glyph alone, drawn straight by FreeType: the pen after it is its
    // advance, and a glyph that lights its advance's last column gets one
    // pixel more in the built font.
    for (int h : {8, 13, 24}) {
        SCOPED_TRACE(h);
        CE3DFont font(nullptr);
        font.Build("Arial", 0, h, 400, 0, 0);
        SFontRequest req;
        req.face = "Arial";
        req.height = h;
        int widened = 0;
        for (int c = 33; c < 127; ++c) {
            const char text[3] = {char(c), ' ', 0};
            SFontCanvas canvas;
            std::vector<int> pens;
            ASSERT_TRUE(FontRaster_DrawStringDirect(req, text, canvas, pens));
            ASSERT_EQ(pens.size(), 2u);
            const int advance = pens[1];
            bool lastLit = false;
            for (int y = 0; y < font.m_height; ++y) lastLit = lastLit || canvas.Lit(advance - 1, y);
            widened += lastLit;
            ASSERT_EQ(font.m_width[c], advance + (lastLit ? 1 : 0)) << char(c);
        }
        EXPECT_GT(widened, 0);  // the rule is exercised at every size
    }
}

TEST(FontBuild, DrawnWordMatchesFreeTypeDirectly) {
    const char* word = "Tessarak Dodo";
    CE3DFont font(nullptr);
    font.Build("Arial", 0, 16, 400, 0, 0);
    CE3DSurface s(nullptr);
    ASSERT_TRUE(s.Create(300, 20, true, SSurfacePixelFormat::Xrgb8888()));
    s.SetFont(&font);
    ASSERT_TRUE(s.Lock());
    ASSERT_EQ(s.DrawGlyphs(word, 0, 0, 255, 255, 255, false, false, 0, false), int(std::strlen(word)));

    SFontRequest req;
    req.face = "Arial";
    req.height = 16;
    SFontCanvas canvas;
    std::vector<int> pens;
    ASSERT_TRUE(FontRaster_DrawStringDirect(req, word, canvas, pens));

    // Glyph by glyph: the cell drawn at its place against the same character
    // where FreeType's pen put it.
    int lit = 0, differ = 0, cellX = 0;
    for (size_t k = 0; k < pens.size(); ++k) {
        const int w = font.m_width[uint8_t(word[k])];
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < w; ++x) {
                uint32_t v;
                std::memcpy(&v, s.Bits() + y * s.Pitch() + (cellX + x) * 4, 4);
                const bool ours = (v & 0xFFFFFF) != 0, theirs = canvas.Lit(pens[k] + x, y);
                lit += theirs;
                differ += ours != theirs;
            }
        cellX += w;
    }
    s.Unlock();
    EXPECT_GT(lit, 100);
    // Neighbouring glyphs may touch each other's columns in FreeType's line,
    // but a glyph missing, shifted by a pixel or cut short is far more.
    EXPECT_LE(differ, lit / 100) << differ << " of " << lit;
}

TEST(FontRecord, WrittenRecordLoadsAndSavesBackByteForByte) {
    CTempDir dir;
    SCompiledFont made = CompiledFonts_PatternFont("Times New Roman", 5, true);
    made.reqWidth = 3;
    made.weight = 700;
    made.attributes = kE3DFontUnderline;
    const std::vector<uint8_t> record = CompiledFonts_Record(made);
    ASSERT_TRUE(CompiledFonts_Write(dir.File("one.rec"), record));

    CE3DFont font(nullptr);
    {
        CVFSFile in(dir.WinFile("one.rec").c_str(), CVFSFile::kModeRead);
        ASSERT_TRUE(font.Load(&in));
    }
    EXPECT_STREQ(font.m_name.GetText(), "Times New Roman");
    EXPECT_EQ(font.m_height, 5);
    EXPECT_EQ(font.m_reqWidth, 3);
    EXPECT_EQ(font.m_reqHeight, 5);
    EXPECT_EQ(font.m_weight, 700);
    EXPECT_EQ(font.m_attributes, kE3DFontUnderline);
    EXPECT_EQ(font.m_outline, 1);
    EXPECT_EQ(font.m_refCount, 0);
    for (int c = 0; c < 256; ++c) {
        ASSERT_EQ(font.m_width[c], made.glyphs[c].width);
        ASSERT_TRUE(
            std::equal(made.glyphs[c].cells.begin(), made.glyphs[c].cells.end(), font.Cell(uint8_t(c))));
    }
    {
        CVFSFile out(dir.WinFile("again.rec").c_str(), CVFSFile::kModeWrite);
        font.Save(&out);
    }
    EXPECT_EQ(dir.Read("again.rec"), std::string(record.begin(), record.end()));
    EXPECT_EQ(record.size(), kE3DFontRecordFixed + size_t(5 * font.m_totalWidth));
}

TEST(FontRecord, RecordsThatDoNotHoldTogetherAreRefused) {
    const std::vector<uint8_t> good = CompiledFonts_Record(CompiledFonts_PatternFont("Arial", 4, false));
    auto put32 = [](std::vector<uint8_t>& b, size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) b[at + size_t(i)] = uint8_t(v >> (8 * i));
    };
    struct {
        const char* what;
        std::function<void(std::vector<uint8_t>&)> spoil;
    } cases[] = {
        {"short fixed part", [](std::vector<uint8_t>& b) { b.resize(3000); }},
        {"short pixels", [](std::vector<uint8_t>& b) { b.resize(b.size() - 1); }},
        {"negative height", [&](std::vector<uint8_t>& b) { put32(b, kCofHeight, 0xFFFFFFFF); }},
        {"huge strip", [&](std::vector<uint8_t>& b) { put32(b, kCofTotalWidth, 0x7FFFFFFF); }},
        {"cell past the strip",
         [&](std::vector<uint8_t>& b) {
             put32(b, kCofStart + 4 * 'A', 0x7FFFFF00);
             put32(b, kCofEnd + 4 * 'A', 0x7FFFFF00 + 4 * 3);
         }},
        {"end not start plus a cell", [&](std::vector<uint8_t>& b) { put32(b, kCofEnd + 4 * 'A', 0); }},
        {"negative width", [&](std::vector<uint8_t>& b) { put32(b, kCofWidths + 4 * 'B', 0xFFFFFFFF); }},
        {"unterminated name", [](std::vector<uint8_t>& b) { std::memset(&b[kCofName], 'x', 256); }},
        {"outline byte 2", [](std::vector<uint8_t>& b) { b[kCofOutline] = 2; }},
    };
    for (const auto& c : cases) {
        std::vector<uint8_t> bytes = good;
        c.spoil(bytes);
        CE3DFont font(nullptr);
        size_t at = 0;
        EXPECT_FALSE(font.Decode([&](void* buf, size_t n) {
            n = std::min(n, bytes.size() - at);
            std::memcpy(buf, bytes.data() + at, n);
            at += n;
            return n;
        })) << c.what;
        EXPECT_EQ(font.m_pixels, nullptr) << c.what;
        EXPECT_EQ(font.m_height, 0) << c.what;
    }
    // A name of 255 characters still fits its field with the terminator.
    SCompiledFont longName = CompiledFonts_PatternFont(std::string(255, 'n'), 2, false);
    std::vector<uint8_t> bytes = CompiledFonts_Record(longName);
    CE3DFont font(nullptr);
    size_t at = 0;
    EXPECT_TRUE(font.Decode([&](void* buf, size_t n) {
        std::memcpy(buf, bytes.data() + at, n);
        at += n;
        return n;
    }));
    EXPECT_EQ(font.m_name.GetLength(), 255);
}

}  // namespace
