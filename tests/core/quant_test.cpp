// The colour quantizer: exact palettes for pictures of few colours, the
// median cut for the rest, checked on a photograph-like picture made by
// ImageMagick.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "core/ImageBMP.h"
#include "core/PixelConvert.h"
#include "core/Quantizer.h"
#include "tests/support/Magick.h"
#include "tests/support/TempDir.h"

namespace {

std::vector<uint32_t> Colours(const CPaletteGenerator& g) {
    uint8_t table[256 * 4];
    std::memset(table, 0x55, sizeof table);
    g.CopyOut(table);
    std::vector<uint32_t> out;
    for (int i = 0; i < g.FoundCount(); ++i) {
        EXPECT_EQ(table[i * 4 + 3], 0);
        out.push_back(uint32_t(table[i * 4 + 2]) << 16 | uint32_t(table[i * 4 + 1]) << 8 | table[i * 4]);
    }
    return out;
}

TEST(Quantizer, FewColoursComeBackExactlyInOrderOfFirstAppearance) {
    struct Case {
        uint32_t wanted;
        std::vector<uint32_t> pixels;
        std::vector<uint32_t> palette;
    } cases[] = {
        // Pixels are seen in stored order: the bottom row first.
        {16, {0x00FF00, 0x123456, 0x00FF00, 0xFFFFFF, 0x123456, 0xFFFFFF}, {0xFFFFFF, 0x123456, 0x00FF00}},
        {2, {0xFFFFFF, 0x000000, 0xFFFFFF, 0x000000, 0x000000, 0xFFFFFF}, {0x000000, 0xFFFFFF}},
        {256, {0x010203, 0x010203, 0x010203, 0x010203, 0x010203, 0x010203}, {0x010203}},
    };
    for (const Case& c : cases) {
        DIBPtr pic = DIB_FromColours(3, 2, c.pixels);
        CPaletteGenerator g(c.wanted);
        ASSERT_TRUE(g.Make(pic.get()));
        EXPECT_EQ(g.FoundCount(), int(c.palette.size()));
        EXPECT_EQ(Colours(g), c.palette);
    }
}

TEST(Quantizer, MedianCutTakesCellCentresAndNeverMoreThanWanted) {
    // Two reds that share a cell (they differ in the two low bits) and a grey:
    // three colours for two entries.
    DIBPtr pic = DIB_FromColours(3, 1, {0x640000, 0x650000, 0xC8C8C8});
    CPaletteGenerator g(2);
    ASSERT_TRUE(g.Make(pic.get()));
    std::vector<uint32_t> got = Colours(g);
    ASSERT_EQ(got.size(), 2u);
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got[0], 0x660204u);  // centre of red cell 25: 4 * 25 + 2, green 2, blue 4
    EXPECT_EQ(got[1], 0xCACACCu);

    // 257 colours in 257 cells: every one of 256 boxes is used.
    std::vector<uint32_t> many;
    for (int i = 0; i < 257; ++i)
        many.push_back(uint32_t(i % 64) * 4 << 16 | uint32_t(i / 64) * 40 << 8 | 0x80);
    many.push_back(many[0]);
    many.push_back(many[1]);
    many.push_back(many[2]);
    DIBPtr big = DIB_FromColours(26, 10, many);
    CPaletteGenerator g256(256);
    ASSERT_TRUE(g256.Make(big.get()));
    EXPECT_EQ(g256.FoundCount(), 256);
}

TEST(Quantizer, OtherDepthsAreRefusedAndThePaletteIsLeftAlone) {
    DIBPtr pic = DIB_FromColours(2, 1, {0x102030, 0x405060});
    DIBPtr eight(DIB_ConvertDepthBlock(pic.get(), 8, false, nullptr, false));
    CPaletteGenerator g(16);
    EXPECT_FALSE(g.Make(eight.get()));
    EXPECT_FALSE(g.Make(nullptr));
    EXPECT_EQ(g.FoundCount(), 0);
    uint8_t palette[8];
    std::memset(palette, 0x99, sizeof palette);
    EXPECT_EQ(ColourQuantizer_Run(eight.get(), 2, palette), 0);
    EXPECT_EQ(palette[0], 0x99);
    // The fourth byte of each written entry is the caller's.
    EXPECT_EQ(ColourQuantizer_Run(pic.get(), 2, palette), 2);
    EXPECT_EQ(palette[0], 0x30);
    EXPECT_EQ(palette[3], 0x99);
}

TEST(Quantizer, PhotographLikePictureIsMappedWithBoundedError) {
    CTempDir dir;
    const std::string path = dir.File("photo.bmp");
    ASSERT_TRUE(Magick_Run("-size 96x64 -seed 4 plasma:fractal -blur 0x1 'BMP3:" + path + "'"));
    DIBPtr photo(DIB_ReadBMP(path.c_str()));
    ASSERT_NE(photo, nullptr);
    ASSERT_EQ(photo->m_bitCount, 24);
    const std::vector<uint8_t> original = DIB_ToRGB(photo.get());

    struct Case {
        int bits;
        double meanLimit;
    } cases[] = {{8, 4.0}, {4, 14.0}};
    for (const Case& c : cases) {
        DIBPtr reduced(DIB_ConvertDepthBlock(photo.get(), c.bits, false, nullptr, false));
        ASSERT_NE(reduced, nullptr);
        EXPECT_LE(DIB_ColorCount(reduced.get()), 1u << c.bits);
        const std::vector<uint8_t> mapped = DIB_ToRGB(reduced.get());
        double sum = 0;
        for (size_t i = 0; i < original.size(); ++i) sum += std::abs(int(original[i]) - int(mapped[i]));
        EXPECT_LT(sum / double(original.size()), c.meanLimit) << c.bits;
    }
}

}  // namespace
