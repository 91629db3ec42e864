// Pixel conversion: bitmaps into surface memory of every format, depth
// changes, scaling and mip halving.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "core/Image.h"
#include "core/PixelChannel.h"
#include "core/PixelConvert.h"
#include "core/PixelRows.h"
#include "tests/support/Magick.h"

namespace {

// Surface memory with a pitch wider than its rows and guard bytes around it.
struct TestSurface {
    TestSurface(uint32_t w, uint32_t h, uint32_t bits, uint32_t r = 0, uint32_t g = 0, uint32_t b = 0,
                uint32_t a = 0)
        : memory(size_t((w * bits + 7) / 8 + 5) * h + 64, 0xCD) {
        desc = SSurfaceDesc{w, h, int32_t((w * bits + 7) / 8 + 5), memory.data() + 32, bits, r, g, b, a};
    }
    uint32_t At(uint32_t x, uint32_t y) const {
        const uint8_t* row = desc.m_pixels + size_t(y) * desc.m_pitch;
        if (desc.m_bitCount < 8) return uint32_t(UnpackIndex(row, int(x), int(desc.m_bitCount)));
        return PixelLoad(row + x * desc.m_bitCount / 8, int(desc.m_bitCount / 8));
    }
    void Set(uint32_t x, uint32_t y, uint32_t v) {
        uint8_t* row = desc.m_pixels + size_t(y) * desc.m_pitch;
        if (desc.m_bitCount < 8) {
            PackIndex(row, int(x), int(desc.m_bitCount), int(v));
        } else {
            PixelStore(row + x * desc.m_bitCount / 8, int(desc.m_bitCount / 8), v);
        }
    }
    bool GuardsIntact() const {
        for (size_t i = 0; i < 32; ++i)
            if (memory[i] != 0xCD || memory[memory.size() - 1 - i] != 0xCD) return false;
        return true;
    }
    std::vector<uint8_t> memory;
    SSurfaceDesc desc;
};

TEST(SurfaceHalve, MaskedFormatsAverageEachBlockTruncating) {
    TestSurface src(2, 2, 16, 0xF800, 0x07E0, 0x001F), dst(1, 1, 16, 0xF800, 0x07E0, 0x001F);
    src.Set(0, 0, 0xFFFF);
    src.Set(1, 0, 0);
    src.Set(0, 1, 0);
    src.Set(1, 1, 0);
    ASSERT_TRUE(Surface_Halve_RGB16(dst.desc, src.desc));
    EXPECT_EQ(dst.At(0, 0), (7u << 11) | (15u << 5) | 7u);

    // 32 bits with alpha: the alpha forms average it, the plain ones clear it.
    TestSurface a(4, 2, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000),
        h(2, 1, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000);
    const uint32_t px[8] = {0xFF102030, 0x00102030, 0x80FFFFFF, 0x80FFFFFF,
                            0xFF102030, 0x00102030, 0x80000000, 0x80000000};
    for (int i = 0; i < 8; ++i) a.Set(uint32_t(i % 4), uint32_t(i / 4), px[i]);
    ASSERT_TRUE(Surface_HalveAlpha_RGB32(h.desc, a.desc));
    EXPECT_EQ(h.At(0, 0), 0x7F102030u);
    EXPECT_EQ(h.At(1, 0), 0x807F7F7Fu);
    ASSERT_TRUE(Surface_Halve_RGB32(h.desc, a.desc));
    EXPECT_EQ(h.At(0, 0), 0x00102030u);

    TestSurface s24(2, 2, 24, 0xFF0000, 0xFF00, 0xFF), d24(1, 1, 24, 0xFF0000, 0xFF00, 0xFF);
    for (uint32_t i = 0; i < 4; ++i) s24.Set(i % 2, i / 2, 0x040404 * (i + 1));
    ASSERT_TRUE(Surface_Halve_RGB24(d24.desc, s24.desc));
    EXPECT_EQ(d24.At(0, 0), 0x0A0A0Au);
    EXPECT_TRUE(a.GuardsIntact() && h.GuardsIntact() && src.GuardsIntact() && dst.GuardsIntact());

    // A source smaller than twice the destination is only halved where it can be.
    TestSurface small(3, 3, 16, 0xF800, 0x07E0, 0x001F), big(4, 4, 16, 0xF800, 0x07E0, 0x001F);
    EXPECT_TRUE(Surface_Halve_RGB16(big.desc, small.desc));
    EXPECT_TRUE(big.GuardsIntact());
    EXPECT_FALSE(Surface_Halve_RGB16(big.desc, d24.desc));  // wrong depth
}

TEST(SurfaceHalve, PaletteFormsStoreTheNearestEntryToTheMeanColour) {
    uint8_t palette[256 * 4] = {};
    const uint32_t colours[4] = {0x000000, 0xFFFFFF, 0x7F7F7F, 0x7F7F7F};  // two equal greys: the first wins
    for (int i = 0; i < 4; ++i) {
        palette[i * 4] = uint8_t(colours[i]);
        palette[i * 4 + 1] = uint8_t(colours[i] >> 8);
        palette[i * 4 + 2] = uint8_t(colours[i] >> 16);
    }
    for (int i = 4; i < 256; ++i) palette[i * 4 + 2] = 255;  // reds, far from everything
    TestSurface src(4, 2, 8), dst(2, 1, 8);
    const uint8_t idx[8] = {0, 1, 1, 1, 1, 0, 1, 1};
    for (int i = 0; i < 8; ++i) src.Set(uint32_t(i % 4), uint32_t(i / 4), idx[i]);
    ASSERT_TRUE(Surface_Halve_Pal8(dst.desc, src.desc, palette));
    EXPECT_EQ(dst.At(0, 0), 2u);  // mean 127
    EXPECT_EQ(dst.At(1, 0), 1u);

    TestSurface src4(4, 2, 4), dst4(2, 1, 4);
    for (int i = 0; i < 8; ++i) src4.Set(uint32_t(i % 4), uint32_t(i / 4), idx[i]);
    ASSERT_TRUE(Surface_Halve_Pal4(dst4.desc, src4.desc, palette));
    EXPECT_EQ(dst4.desc.m_pixels[0], 0x21);  // first pixel in the high nibble
    EXPECT_TRUE(dst4.GuardsIntact());
}

TEST(SurfaceWrite, PlainWritersKeepTheTopBitsAndTurnTheRowsOver) {
    // Top row: red-ish, green-ish; bottom row: blue-ish, white.
    DIBPtr pic = DIB_FromColours(2, 2, {0xFF8007, 0x0CFF00, 0x0000F8, 0xFFFFFF});
    struct Case {
        uint32_t bits, r, g, b;
        uint32_t expect[4];
    } cases[] = {
        {16, 0x7C00, 0x03E0, 0x001F, {0x7E00, 0x07E0, 0x001F, 0x7FFF}},
        {16, 0xF800, 0x07E0, 0x001F, {0xFC00, 0x0FE0, 0x001F, 0xFFFF}},
        {24, 0xFF0000, 0xFF00, 0xFF, {0xFF8007, 0x0CFF00, 0x0000F8, 0xFFFFFF}},
        {32, 0xFF0000, 0xFF00, 0xFF, {0xFF8007, 0x0CFF00, 0x0000F8, 0xFFFFFF}},
        {32, 0xFF, 0xFF00, 0xFF0000, {0x0780FF, 0x00FF0C, 0xF80000, 0xFFFFFF}},  // blue high
        {16, 0x0F00, 0x00F0, 0x000F, {0x0F80, 0x00F0, 0x000F, 0x0FFF}},          // 4-4-4-4, alpha left 0
    };
    for (const Case& c : cases) {
        TestSurface s(2, 2, c.bits, c.r, c.g, c.b);
        bool ok = c.bits == 16   ? DIB_ConvertB_RGB16(s.desc, pic.get(), false)
                  : c.bits == 24 ? DIB_ConvertB_RGB24(s.desc, pic.get(), false)
                                 : DIB_ConvertB_RGB32(s.desc, pic.get(), false);
        ASSERT_TRUE(ok);
        for (uint32_t i = 0; i < 4; ++i)
            EXPECT_EQ(s.At(i % 2, i / 2), c.expect[i]) << c.bits << " " << c.r << " " << i;
        EXPECT_TRUE(s.GuardsIntact());
    }

    // A palette picture goes through its table; a surface smaller than the
    // picture takes its top-left part; one larger keeps the rest.
    DIBPtr pal(DIB_ConvertDepthBlock(pic.get(), 8, false, nullptr, false));
    TestSurface part(1, 1, 16, 0x7C00, 0x03E0, 0x001F), wide(3, 3, 16, 0x7C00, 0x03E0, 0x001F);
    ASSERT_TRUE(DIB_ConvertB_RGB16(part.desc, pal.get(), false));
    EXPECT_EQ(part.At(0, 0), 0x7E00u);
    ASSERT_TRUE(DIB_ConvertB_RGB16(wide.desc, pal.get(), false));
    EXPECT_EQ(wide.At(1, 1), 0x7FFFu);
    EXPECT_EQ(wide.At(2, 2), 0xCDCDu);
    EXPECT_TRUE(part.GuardsIntact() && wide.GuardsIntact());
    EXPECT_FALSE(DIB_ConvertB_RGB16(part.desc, nullptr, false));
    EXPECT_FALSE(DIB_ConvertB_RGB24(part.desc, pic.get(), false));  // a 16-bit surface
}

// Wide rows take the vector paths (blocks of 16 or 32 pixels, the last block
// of a row overlapping the one before when the width is no multiple of it);
// every pixel must still keep exactly the top bits of its channels, in every
// vector form the processor has.
TEST(SurfaceWrite, WideRowsInEveryMaskLayoutKeepTheTopBits) {
    struct Layout {
        uint32_t bits, r, g, b;
    } layouts[] = {{16, 0xF800, 0x07E0, 0x001F},    {16, 0x7C00, 0x03E0, 0x001F},
                   {16, 0x0F00, 0x00F0, 0x000F},    {16, 0x001F, 0x07E0, 0xF800},
                   {32, 0xFF0000, 0xFF00, 0xFF},    {32, 0xFF, 0xFF00, 0xFF0000},
                   {32, 0x3FF00000, 0xFFC00, 0x3FF}};
    const int widest = RowPacker_VectorLevel();
    for (int level = widest; level >= 0; --level) {
        RowPacker_LimitVectorLevel(level);
        for (int w : {16, 31, 103})
            for (const Layout& l : layouts) {
                const int h = 3;
                std::vector<uint32_t> colours;
                uint32_t state = 99;
                for (int i = 0; i < w * h; ++i)
                    colours.push_back((state = state * 1664525u + 1013904223u) >> 8);
                DIBPtr pic = DIB_FromColours(w, h, colours);
                TestSurface s(w, h, l.bits, l.r, l.g, l.b);
                ASSERT_TRUE(l.bits == 16 ? DIB_ConvertB_RGB16(s.desc, pic.get(), false)
                                         : DIB_ConvertB_RGB32(s.desc, pic.get(), false));
                const SPixelChannel r(l.r), g(l.g), b(l.b);
                int bad = 0;
                for (int i = 0; i < w * h; ++i) {
                    const uint32_t c = colours[size_t(i)];
                    const uint32_t want =
                        r.Store((c >> 16) & 0xFF) | g.Store((c >> 8) & 0xFF) | b.Store(c & 0xFF);
                    if (s.At(uint32_t(i % w), uint32_t(i / w)) != want && bad++ < 3)
                        ADD_FAILURE() << std::hex << l.r << " pixel " << std::dec << i << " of width " << w
                                      << " level " << level;
                }
                EXPECT_TRUE(s.GuardsIntact()) << l.r;
            }
    }
    RowPacker_LimitVectorLevel(widest);
}

TEST(SurfaceWrite, DitheringSpreadsTheCutBitsSoTheMeanLevelSurvives) {
    const int w = 64, h = 64;
    DIBPtr flat = DIB_FromColours(w, h, std::vector<uint32_t>(size_t(w) * h, 0x040404));
    TestSurface s(w, h, 16, 0x7C00, 0x03E0, 0x001F);
    ASSERT_TRUE(DIB_ConvertB_RGB16(s.desc, flat.get(), false));
    EXPECT_EQ(s.At(10, 10), 0u);  // cut: 4 >> 3
    ASSERT_TRUE(DIB_ConvertB_RGB16(s.desc, flat.get(), true));
    double sum = 0;
    int ones = 0, zeros = 0;
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) {
            uint32_t blue = s.At(x, y) & 0x1F;
            sum += blue * 8.0;
            (blue == 1 ? ones : zeros) += blue <= 1;
            ASSERT_LE(blue, 1u);
        }
    EXPECT_GT(ones, 0);
    EXPECT_GT(zeros, 0);
    EXPECT_NEAR(sum / (w * h), 4.0, 0.3);

    // The depth change's 16-bit dithering keeps the mean the same way.
    DIBPtr sixteen(DIB_ConvertDepthBlock(flat.get(), 16, true, nullptr, false));
    ASSERT_NE(sixteen, nullptr);
    std::vector<uint8_t> rgb = DIB_ToRGB(sixteen.get());
    double red = 0;
    for (size_t i = 0; i < rgb.size(); i += 3) red += rgb[i];
    EXPECT_NEAR(red / (w * h), 4.0, 0.3);
}

TEST(SurfaceWrite, AlphaComesFromTheGreyLevelsOfTheAlphaPicture) {
    DIBPtr colour = DIB_FromColours(3, 1, {0x102030, 0x405060, 0x708090});
    DIBPtr alpha = DIB_FromColours(2, 1, {0x000000, 0x646464});  // levels 0 and 100; the third pixel has none
    TestSurface argb(3, 1, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000);
    ASSERT_TRUE(DIB_ConvertA_RGB32(argb.desc, colour.get(), alpha.get(), false, false, false));
    EXPECT_EQ(argb.At(0, 0), 0x00102030u);
    EXPECT_EQ(argb.At(1, 0), 0x64405060u);
    EXPECT_EQ(argb.At(2, 0), 0xFF708090u);
    ASSERT_TRUE(DIB_ConvertA_RGB32(argb.desc, colour.get(), alpha.get(), false, false, true));
    EXPECT_EQ(argb.At(0, 0), 0xFF102030u);
    EXPECT_EQ(argb.At(1, 0), 0x9B405060u);

    TestSurface a4(3, 1, 16, 0x0F00, 0x00F0, 0x000F, 0xF000);
    ASSERT_TRUE(DIB_ConvertA_RGB16(a4.desc, colour.get(), alpha.get(), false, false, false));
    EXPECT_EQ(a4.At(1, 0), 0x6456u);
    TestSurface a1(3, 1, 16, 0x7C00, 0x03E0, 0x001F, 0x8000);
    ASSERT_TRUE(DIB_ConvertA_RGB16(a1.desc, colour.get(), alpha.get(), false, false, false));
    EXPECT_EQ(a1.At(0, 0) & 0x8000, 0u);
    EXPECT_EQ(a1.At(2, 0) & 0x8000, 0x8000u);
    TestSurface rgb24(3, 1, 24, 0xFF0000, 0xFF00, 0xFF);  // no alpha channel: colour only
    ASSERT_TRUE(DIB_ConvertA_RGB24(rgb24.desc, colour.get(), alpha.get(), false, false, false));
    EXPECT_EQ(rgb24.At(2, 0), 0x708090u);
}

TEST(SurfaceWrite, PaletteSurfacesGetTheReducedPicturesColours) {
    std::vector<uint32_t> colours;
    for (int i = 0; i < 40; ++i) colours.push_back(uint32_t(i % 10) * 0x151515 + 0x0A0000);
    DIBPtr pic = DIB_FromColours(8, 5, colours);
    TestSurface s(8, 5, 8);
    SPaletteEntry entries[256];
    std::memset(entries, 0x77, sizeof entries);
    ASSERT_TRUE(DIB_ToSurfacePal8(s.desc, entries, pic.get(), false, false));
    for (int i = 0; i < 10; ++i) EXPECT_EQ(entries[i].m_flags, 0) << i;
    EXPECT_EQ(entries[10].m_red, 0x77);  // only as many entries as colours
    for (uint32_t i = 0; i < 40; ++i) {
        const SPaletteEntry& e = entries[s.At(i % 8, i / 8)];
        EXPECT_EQ((uint32_t(e.m_red) << 16) | (uint32_t(e.m_green) << 8) | e.m_blue, colours[i]) << i;
    }

    TestSurface one(8, 5, 1);
    SPaletteEntry two[2];
    ASSERT_TRUE(DIB_ToSurfacePal1(one.desc, two, pic.get(), false, true));
    EXPECT_EQ(two[0].m_red, 0);
    EXPECT_EQ(two[1].m_blue, 255);
    EXPECT_EQ(one.At(0, 0), 0u);          // darkest colour
    EXPECT_EQ(one.At(9 % 8, 9 / 8), 1u);  // brightest
    TestSurface four(7, 5, 4);
    SPaletteEntry sixteen[16];
    ASSERT_TRUE(DIB_ToSurfacePal4(four.desc, sixteen, pic.get(), true, false));
    EXPECT_TRUE(four.GuardsIntact() && one.GuardsIntact() && s.GuardsIntact());
}

TEST(PaletteSearch, NearestEntryTakesTheLowerOfEqualsAndOnlyKnownDepths) {
    uint8_t table[256 * 4] = {};
    table[1 * 4 + 2] = 10;  // entry 1: red 10
    table[2 * 4 + 2] = 30;  // entry 2: red 30
    EXPECT_EQ(NearestPaletteIndex(table, 8, 20, 0, 0), 1);
    EXPECT_EQ(NearestPaletteIndex(table, 8, 29, 0, 0), 2);
    EXPECT_EQ(NearestPaletteIndex(table, 8, 0, 0, 0), 0);
    EXPECT_EQ(NearestPaletteIndex(table, 1, 30, 0, 0), 1);  // only entries 0 and 1 are looked at
    EXPECT_EQ(NearestPaletteIndex(table, 2, 30, 0, 0), 0);
    EXPECT_EQ(NearestPaletteIndex(nullptr, 8, 30, 0, 0), 0);
}

TEST(DepthChange, PaletteTargetsKeepFewColoursExactlyAndQuantizeMany) {
    auto distinct = [](int n) {
        std::vector<uint32_t> c;
        for (int i = 0; i < n; ++i)
            c.push_back(uint32_t((i * 4) & 0xFF) << 16 | uint32_t((i / 64) * 40) << 8 | 0x11);
        return c;
    };
    for (int n : {200, 300}) {
        DIBPtr pic = DIB_FromColours(20, n / 20, distinct(n));
        DIBPtr eight(DIB_ConvertDepthBlock(pic.get(), 8, false, nullptr, false));
        ASSERT_NE(eight, nullptr);
        EXPECT_EQ(DIB_ColorCount(eight.get()), n <= 256 ? uint32_t(n) : 256u) << n;
        std::vector<uint8_t> a = DIB_ToRGB(pic.get()), b = DIB_ToRGB(eight.get());
        if (n <= 256) {
            EXPECT_EQ(a, b);
        } else {
            int most = 0;
            for (size_t i = 0; i < a.size(); ++i) most = std::max(most, std::abs(int(a[i]) - int(b[i])));
            EXPECT_LE(most, 8);
        }
    }
    // Grey: the ramp, each colour at its weighted level.
    DIBPtr pic = DIB_FromColours(3, 1, {0xFF0000, 0x00FF00, 0x0000FF});
    DIBPtr grey(DIB_ConvertDepthBlock(pic.get(), 8, false, nullptr, true));
    ASSERT_NE(grey, nullptr);
    EXPECT_EQ(DIB_ColorTable(grey.get())[200 * 4], 200);
    const uint8_t* px = DIB_Pixels(grey.get());
    EXPECT_EQ(px[0], (11 * 255) >> 5);
    EXPECT_EQ(px[1], (16 * 255) >> 5);
    EXPECT_EQ(px[2], (5 * 255) >> 5);
    // A given palette is used as it is.
    uint8_t two[2 * 4] = {0, 0, 0, 0, 0, 0, 200, 0};
    DIBPtr mono(DIB_ConvertDepthBlock(pic.get(), 1, false, two, false));
    ASSERT_NE(mono, nullptr);
    EXPECT_EQ(DIB_Pixels(mono.get())[0], 0x80);  // red nearest to entry 1
    // Masked targets and back.
    DIBPtr wide(DIB_ConvertDepthBlock(pic.get(), 32, false, nullptr, false));
    EXPECT_EQ(DIB_ToRGB(wide.get()), DIB_ToRGB(pic.get()));
    EXPECT_EQ(DIB_ConvertDepthBlock(pic.get(), 12, false, nullptr, false), nullptr);

    CImage image(3, 1, 24);
    image.Adopt(DIB_Copy(pic.get()));
    EXPECT_TRUE(image.SetDepth(4, false, false));
    EXPECT_EQ(image.GetBitCount(), 4);
    EXPECT_EQ(image.GetPixels(), DIB_Pixels(image.GetBitmap()));
    EXPECT_EQ(DIB_ToRGB(image.GetBitmap()), DIB_ToRGB(pic.get()));
}

TEST(Scaling, ColourDepthsAverageCoveredAreasPaletteDepthsSample) {
    DIBPtr pic = DIB_FromColours(4, 2,
                                 {0x000000, 0x202020, 0x404040, 0x606060,  //
                                  0x808080, 0xA0A0A0, 0xC0C0C0, 0xE0E0E0});
    for (int bits : {16, 24, 32}) {
        DIBPtr src(DIB_ConvertDepthBlock(pic.get(), bits, false, nullptr, false));
        DIBPtr half(DIB_ScaleBlock(src.get(), 2, 1, 0));
        ASSERT_NE(half, nullptr);
        std::vector<uint8_t> rgb = DIB_ToRGB(half.get());
        EXPECT_NEAR(rgb[0], 0x50, 4) << bits;
        EXPECT_NEAR(rgb[3], 0x90, 4) << bits;
    }
    // 3 -> 2: the middle pixel is split between both.
    DIBPtr three = DIB_FromColours(3, 1, {0x000000, 0x606060, 0xC0C0C0});
    DIBPtr two(DIB_ScaleBlock(three.get(), 2, 1, 0));
    std::vector<uint8_t> rgb = DIB_ToRGB(two.get());
    EXPECT_EQ(rgb[0], 0x20);
    EXPECT_EQ(rgb[3], 0xA0);
    // Palette pictures take single samples whatever the mode.
    DIBPtr pal(DIB_ConvertDepthBlock(pic.get(), 8, false, nullptr, false));
    for (int mode : {0, 1}) {
        DIBPtr big(DIB_ScaleBlock(pal.get(), 8, 4, mode));
        ASSERT_NE(big, nullptr);
        EXPECT_EQ(DIB_ColorCount(big.get()), DIB_ColorCount(pal.get()));
        std::vector<uint8_t> b = DIB_ToRGB(big.get());
        EXPECT_EQ(b[(0 * 8 + 2) * 3], 0x20);
        EXPECT_EQ(b[(3 * 8 + 7) * 3], 0xE0);
    }
    DIBPtr mono(DIB_ConvertDepthBlock(pic.get(), 1, false, nullptr, true));
    DIBPtr monoBig(DIB_ScaleBlock(mono.get(), 33, 3, 0));
    ASSERT_NE(monoBig, nullptr);
    EXPECT_EQ(monoBig->m_imageSize, 8u * 3);
    EXPECT_EQ(DIB_ScaleBlock(pic.get(), 0, 3, 0), nullptr);
}

TEST(SurfaceRead, SurfacesComeBackAsBitmapsAndBitmapsDrawClipped) {
    TestSurface s(3, 2, 16, 0xF800, 0x07E0, 0x001F);
    for (uint32_t i = 0; i < 6; ++i) s.Set(i % 3, i / 3, 0x1111 * (i + 1));
    DIBPtr grab(DIB_FromSurface(s.desc, 0, nullptr));
    ASSERT_NE(grab, nullptr);
    EXPECT_EQ(grab->m_bitCount, 16);
    TestSurface back(3, 2, 16, 0xF800, 0x07E0, 0x001F);
    ASSERT_TRUE(DIB_ConvertB_RGB16(back.desc, grab.get(), false));
    for (uint32_t i = 0; i < 6; ++i) EXPECT_EQ(back.At(i % 3, i / 3), 0x1111 * (i + 1));
    DIBPtr as24(DIB_FromSurface(s.desc, 24, nullptr));
    ASSERT_NE(as24, nullptr);
    EXPECT_EQ(as24->m_bitCount, 24);
    EXPECT_EQ(DIB_FromSurface(TestSurface(2, 2, 8).desc, 0, nullptr), nullptr);  // no palette

    DIBPtr pic = DIB_FromColours(2, 2, {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF});
    TestSurface d(3, 3, 32, 0xFF0000, 0xFF00, 0xFF);
    ASSERT_TRUE(DIB_Draw(d.desc, 0, 0, 3, 3, nullptr, 0, 0, kRopBlackness));
    ASSERT_TRUE(DIB_Draw(d.desc, 2, -1, 5, 5, pic.get(), 0, 0, kRopSrcCopy));
    EXPECT_EQ(d.At(2, 0), 0x0000FFu);  // picture row 1, column 0
    EXPECT_EQ(d.At(1, 0), 0u);
    EXPECT_EQ(d.At(2, 1), 0u);  // beyond the picture: untouched
    EXPECT_TRUE(d.GuardsIntact());
}

}  // namespace
