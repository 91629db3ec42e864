// BMP reading and writing, checked against ImageMagick's own encoding and
// decoding of the same pictures.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/Image.h"
#include "core/ImageBMP.h"
#include "core/PixelChannel.h"
#include "core/PixelConvert.h"
#include "core/SysUtil.h"
#include "platform/sys/MessageBox.h"
#include "tests/support/Magick.h"
#include "tests/support/TempDir.h"
#include "tools/lib/BMPWriter.h"

namespace {

// Every pixel of our bitmap against ImageMagick's 8-bit decoding of the same
// file. Masked 16-bit channels are compared at their own width: ImageMagick
// widens a 5-bit value v to round(v * 255 / 31), which maps back exactly.
void ExpectSamePixels(const SPackedDIB* dib, const std::vector<uint8_t>& ref, const std::string& what) {
    ASSERT_NE(dib, nullptr) << what;
    const int w = dib->m_width, h = dib->m_height;
    ASSERT_EQ(ref.size(), size_t(w) * h * 3) << what;
    if (dib->m_bitCount == 16) {
        const uint32_t* m = DIB_Masks(dib);
        const SPixelChannel ch[3] = {SPixelChannel(m[0]), SPixelChannel(m[1]), SPixelChannel(m[2])};
        const uint32_t row = DIB_RowBytes(w, 16);
        int bad = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                uint32_t p = PixelLoad(DIB_Pixels(dib) + size_t(h - 1 - y) * row + x * 2, 2);
                for (int c = 0; c < 3; ++c) {
                    uint32_t max = (1u << ch[c].m_width) - 1;
                    uint32_t ours = (p & ch[c].m_mask) >> ch[c].m_shift;
                    uint32_t theirs = (ref[(size_t(y) * w + x) * 3 + c] * max + 127) / 255;
                    if (ours != theirs && bad++ < 5)
                        ADD_FAILURE() << what << " at " << x << "," << y << " channel " << c;
                }
            }
        EXPECT_EQ(bad, 0) << what;
        return;
    }
    std::vector<uint8_t> ours = DIB_ToRGB(dib);
    EXPECT_TRUE(ours == ref) << what;
}

class BMPFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Magick_WritePPM(m_dir.File("src.ppm"), kW, kH, Magick_TestPicture(kW, kH, 7)));
    }
    static constexpr int kW = 13, kH = 7;  // odd width: every depth needs row padding
    CTempDir m_dir;
};

TEST_F(BMPFixture, EveryDepthAndHeaderFormMadeByImageMagickReadsToItsPixels) {
    struct Case {
        const char* name;
        const char* options;
        int bits;
        uint32_t redMask;
    } cases[] = {
        {"1.bmp", "-monochrome BMP3:", 1, 0},
        {"4.bmp", "-colors 12 -type palette BMP3:", 4, 0},
        {"8.bmp", "-colors 200 -type palette -compress none BMP3:", 8, 0},
        {"core8.bmp", "-colors 100 -type palette BMP2:", 8, 0},
        {"core24.bmp", "BMP2:", 24, 0},
        {"565.bmp", "-define bmp:subtype=RGB565 BMP:", 16, 0xF800},
        {"555.bmp", "-define bmp:subtype=RGB555 BMP:", 16, 0x7C00},
        {"24.bmp", "BMP3:", 24, 0},
        {"32.bmp", "-alpha on -define bmp3:alpha=true BMP3:", 32, 0xFF0000},
        {"32v5.bmp", "-type truecoloralpha BMP:", 32, 0xFF0000},
    };
    for (const Case& c : cases) {
        // The options end in the format prefix, which is glued to the file name.
        std::string glued = m_dir.File(c.name);
        ASSERT_TRUE(Magick_Run("'" + m_dir.File("src.ppm") + "' " + c.options + "'" + glued + "'")) << c.name;
        std::vector<uint8_t> ref;
        ASSERT_TRUE(Magick_ReadRGB(glued, ref)) << c.name;
        DIBPtr dib(DIB_ReadBMP(glued.c_str()));
        ASSERT_NE(dib, nullptr) << c.name;
        EXPECT_EQ(dib->m_headerSize, 40u) << c.name;
        EXPECT_EQ(dib->m_bitCount, c.bits) << c.name;
        if (c.redMask) {
            ASSERT_NE(DIB_Masks(dib.get()), nullptr) << c.name;
            EXPECT_EQ(DIB_Masks(dib.get())[0], c.redMask) << c.name;
        }
        ExpectSamePixels(dib.get(), ref, c.name);
    }
}

TEST_F(BMPFixture, TopDownHeaderlessAndPlainSixteenBitFormsReadAlike) {
    std::string glued = m_dir.File("555.bmp");
    ASSERT_TRUE(Magick_Run("'" + m_dir.File("src.ppm") + "' -define bmp:subtype=RGB555 'BMP:" + glued + "'"));
    std::vector<uint8_t> ref;
    ASSERT_TRUE(Magick_ReadRGB(glued, ref));
    DIBPtr base(DIB_ReadBMP(glued.c_str()));
    ASSERT_NE(base, nullptr);

    struct Form {
        const char* what;
        SBMPForm form;
    } forms[] = {
        {"top-down rows", {true, 40, true, false}},
        {"no file header", {false, 40, false, false}},
        {"108-byte header", {true, 108, false, false}},
        // A plain 16-bit file (no masks) is 5-5-5, not the system's 5-6-5.
        {"plain 16-bit", {true, 40, false, true}},
    };
    for (const Form& f : forms) {
        std::vector<uint8_t> bytes = BMP_Build(base.get(), f.form);
        ASSERT_FALSE(bytes.empty()) << f.what;
        DIBPtr dib(DIB_ReadBMPMemory(bytes.data(), bytes.size()));
        ExpectSamePixels(dib.get(), ref, f.what);
        if (f.form.m_fileHeader) {
            // ImageMagick reads our variant the same way.
            std::string path = m_dir.File("variant.bmp");
            ASSERT_TRUE(WriteBytes(path, bytes));
            std::vector<uint8_t> theirs;
            ASSERT_TRUE(Magick_ReadRGB(path, theirs)) << f.what;
            EXPECT_TRUE(theirs == ref) << f.what;
        }
    }
}

TEST_F(BMPFixture, CoreHeaderReadsIntoTheSameFormAsTheWindowsHeader) {
    std::string win = m_dir.File("w.bmp"), os2 = m_dir.File("o.bmp");
    ASSERT_TRUE(Magick_Run("'" + m_dir.File("src.ppm") +
                           "' -colors 16 -type palette -compress none 'BMP3:" + win + "'"));
    DIBPtr a(DIB_ReadBMP(win.c_str()));
    ASSERT_NE(a, nullptr);
    std::vector<uint8_t> core = BMP_Build(a.get(), SBMPForm{true, 12, false, false});
    ASSERT_TRUE(WriteBytes(os2, core));
    DIBPtr b(DIB_ReadBMP(os2.c_str()));
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->m_headerSize, 40u);
    EXPECT_EQ(b->m_bitCount, a->m_bitCount);
    EXPECT_EQ(b->m_compression, 0u);
    EXPECT_EQ(DIB_ColorCount(b.get()), DIB_ColorCount(a.get()));
    EXPECT_EQ(0, std::memcmp(DIB_ColorTable(a.get()), DIB_ColorTable(b.get()), DIB_ColorTableBytes(a.get())));
    ASSERT_EQ(a->m_imageSize, b->m_imageSize);
    EXPECT_EQ(0, std::memcmp(DIB_Pixels(a.get()), DIB_Pixels(b.get()), a->m_imageSize));
}

TEST_F(BMPFixture, WrittenFilesReadBackInImageMagickAndInOurReader) {
    std::vector<uint8_t> rgb = Magick_TestPicture(kW, kH, 7);
    DIBPtr colour(DIB_FromRGB(kW, kH, rgb));
    for (int bits : {1, 4, 8, 16, 24, 32}) {
        DIBPtr dib(DIB_ConvertDepthBlock(colour.get(), bits, false, nullptr, false));
        ASSERT_NE(dib, nullptr) << bits;
        std::string path = m_dir.File("ours" + std::to_string(bits) + ".bmp");
        ASSERT_TRUE(DIB_WriteBMP(path.c_str(), dib.get())) << bits;
        std::vector<uint8_t> bytes = ReadBytes(path);
        ASSERT_GE(bytes.size(), 14u);
        EXPECT_EQ(bytes[0], 'B');
        EXPECT_EQ(bytes[1], 'M');
        EXPECT_EQ(bytes.size(), size_t(bytes[2] | bytes[3] << 8 | bytes[4] << 16)) << bits;
        std::vector<uint8_t> theirs;
        ASSERT_TRUE(Magick_ReadRGB(path, theirs)) << bits;
        ExpectSamePixels(dib.get(), theirs, "written " + std::to_string(bits));
        DIBPtr back(DIB_ReadBMP(path.c_str()));
        ASSERT_NE(back, nullptr);
        ASSERT_EQ(DIB_BlockBytes(back.get()), DIB_BlockBytes(dib.get())) << bits;
        EXPECT_EQ(0, std::memcmp(back.get(), dib.get(), DIB_BlockBytes(dib.get()))) << bits;
    }
}

// A file read straight into a surface must give the very bytes the bitmap
// reader and the bitmap converters give, padding and the surface's unused
// bytes included: widths below, at and between the 16-pixel vector blocks,
// rows either way up, surfaces smaller and larger than the picture.
TEST(BMPReader, FilesReadIntoSurfacesMatchTheBitmapPath) {
    struct Surface {
        uint32_t width, height, bits, r, g, b;
    } surfaces[] = {
        {40, 9, 16, 0xF800, 0x07E0, 0x001F}, {40, 9, 16, 0x7C00, 0x03E0, 0x001F},
        {40, 9, 24, 0xFF0000, 0xFF00, 0xFF}, {40, 9, 32, 0xFF0000, 0xFF00, 0xFF},
        {20, 4, 16, 0xF800, 0x07E0, 0x001F}, {7, 2, 32, 0xFF, 0xFF00, 0xFF0000},
    };
    for (int width : {13, 16, 37}) {
        DIBPtr colour(DIB_FromRGB(width, 7, Magick_TestPicture(width, 7, uint32_t(width))));
        for (int bits : {24, 8, 32}) {
            DIBPtr dib(DIB_ConvertDepthBlock(colour.get(), bits, false, nullptr, false));
            ASSERT_NE(dib, nullptr);
            for (bool topDown : {false, true}) {
                SBMPForm form;
                form.m_topDown = topDown;
                form.m_fileHeader = !topDown;
                const std::vector<uint8_t> file = BMP_Build(dib.get(), form);
                for (const Surface& f : surfaces)
                    for (bool dither : {false, true}) {
                        const int32_t pitch = int32_t(f.width * f.bits / 8 + 6);
                        std::vector<uint8_t> direct(size_t(pitch) * f.height, 0xCD), through(direct);
                        SSurfaceDesc desc{f.width, f.height, pitch, direct.data(), f.bits, f.r, f.g, f.b, 0};
                        ASSERT_TRUE(DIB_ReadBMPToSurface(desc, file.data(), file.size(), dither));
                        desc.m_pixels = through.data();
                        DIBPtr read(DIB_ReadBMPMemory(file.data(), file.size()));
                        ASSERT_TRUE(f.bits == 16   ? DIB_ConvertB_RGB16(desc, read.get(), dither)
                                    : f.bits == 24 ? DIB_ConvertB_RGB24(desc, read.get(), dither)
                                                   : DIB_ConvertB_RGB32(desc, read.get(), dither));
                        EXPECT_TRUE(direct == through)
                            << "width " << width << " bits " << bits << " top-down " << topDown << " surface "
                            << f.bits << "/" << std::hex << f.r << std::dec << " " << f.width << "x"
                            << f.height << " dither " << dither;
                    }
            }
        }
    }
    // Surfaces the converters refuse are refused, untouched.
    DIBPtr pic(DIB_FromRGB(4, 2, Magick_TestPicture(4, 2, 1)));
    const std::vector<uint8_t> file = BMP_Build(pic.get(), SBMPForm{});
    std::vector<uint8_t> memory(64, 0xCD);
    for (uint32_t bits : {8u, 15u}) {
        const SSurfaceDesc desc{4, 2, 16, memory.data(), bits, 0x7C00, 0x03E0, 0x001F, 0};
        EXPECT_FALSE(DIB_ReadBMPToSurface(desc, file.data(), file.size(), false)) << bits;
    }
    const SSurfaceDesc narrowPitch{4, 2, 4, memory.data(), 16, 0xF800, 0x07E0, 0x001F, 0};
    EXPECT_FALSE(DIB_ReadBMPToSurface(narrowPitch, file.data(), file.size(), false));
    EXPECT_EQ(memory, std::vector<uint8_t>(64, 0xCD));
}

TEST(BMPWriter, TwoPixelPictureHasTheKnownFileHeader) {
    DIBPtr dib(DIB_Create(2, 1, 24));
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(DIB_WriteBMPMemory(dib.get(), bytes));
    const uint8_t head[14] = {0x42, 0x4d, 0x3e, 0, 0, 0, 0, 0, 0, 0, 0x36, 0, 0, 0};
    ASSERT_EQ(bytes.size(), 62u);
    EXPECT_EQ(0, std::memcmp(bytes.data(), head, 14));
    EXPECT_FALSE(DIB_WriteBMPMemory(nullptr, bytes));
    CTempDir dir;
    ASSERT_TRUE(dir.Write("plain", "x"));
    EXPECT_FALSE(DIB_WriteBMP(dir.File("plain/x.bmp").c_str(), dib.get()));  // under a file: cannot be made
}

TEST(PackedDIB, CreateLaysOutRowsTablesAndMasks) {
    DIBPtr one(DIB_Create(33, 1, 1));
    ASSERT_NE(one, nullptr);
    EXPECT_EQ(DIB_RowBytes(33, 1), 8u);
    EXPECT_EQ(one->m_imageSize, 8u);
    EXPECT_EQ(one->m_colorsUsed, 2u);
    EXPECT_EQ(DIB_ColorTableBytes(one.get()), 8u);
    EXPECT_EQ(DIB_RowBytes(1, 4), 4u);  // less than a byte still takes 4
    DIBPtr sixteen(DIB_Create(3, 2, 16));
    EXPECT_EQ(sixteen->m_compression, kDIBBitFields);
    EXPECT_EQ(DIB_Masks(sixteen.get())[1], 0x07E0u);
    DIBPtr wide(DIB_Create(3, 2, 32));
    EXPECT_EQ(DIB_Masks(wide.get())[0], 0xFF0000u);
    EXPECT_EQ(DIB_Create(0, 5, 8), nullptr);
    EXPECT_EQ(DIB_Create(5, -1, 8), nullptr);
    EXPECT_EQ(DIB_Create(kDIBMaxSide, kDIBMaxSide, 32), nullptr);  // beyond the image-size limit
    EXPECT_EQ(BitMask8(7), 0x80);
    EXPECT_EQ(BitMask8(0), 0x01);
    EXPECT_EQ(BitMask8(8), 0);
}

// Damaged files: every one is refused, none read out of bounds (the
// sanitizer builds and the fuzz target see to the latter).
TEST(BMPReader, DamagedHeadersAndShortFilesAreRefused) {
    DIBPtr pal(DIB_Create(5, 3, 8));
    DIBPtr masked(DIB_Create(5, 3, 16));
    const std::vector<uint8_t> good8 = BMP_Build(pal.get(), SBMPForm{});
    const std::vector<uint8_t> good16 = BMP_Build(masked.get(), SBMPForm{});
    {
        DIBPtr ok(DIB_ReadBMPMemory(good8.data(), good8.size()));
        ASSERT_NE(ok, nullptr);
    }
    struct Damage {
        const char* what;
        bool sixteen;
        size_t at;  // 0: cut the file to 'value' bytes instead of patching
        uint32_t value;
        bool u16;
    } cases[] = {
        {"cut in the pixel rows", false, 0, uint32_t(good8.size() - 1), false},
        {"cut in the colour table", false, 0, 14 + 40 + 100, false},
        {"cut in the header", false, 0, 14 + 20, false},
        {"cut to the file header", false, 0, 14, false},
        {"empty", false, 0, 0, false},
        {"header size 64", false, 14, 64, false},
        {"header size 0", false, 14, 0, false},
        {"width 0", false, 18, 0, false},
        {"width negative", false, 18, uint32_t(-5), false},
        {"width huge", false, 18, 0x7FFFFFFF, false},
        {"height 0", false, 22, 0, false},
        {"height most negative", false, 22, uint32_t(INT_MIN), false},
        {"height huge", false, 22, 100000, false},
        {"2 bits per pixel", false, 28, 2, true},
        {"0 bits per pixel", false, 28, 0, true},
        {"run-length compression", false, 30, 1, false},
        {"colours used absurd", false, 46, 0x7FFFFFFF, false},
        {"pixel offset beyond the file", false, 10, 0x10000, false},
        {"pixel offset inside the header", false, 10, 20, false},
        {"masks overlapping", true, 54 + 4, 0xF800, false},
        {"a mask zero", true, 54 + 8, 0, false},
        {"a mask beyond 16 bits", true, 54, 0x1F0000, false},
        {"compression 3 on 24 bits", false, 28, 24, true},
    };
    for (const Damage& d : cases) {
        std::vector<uint8_t> bytes = d.sixteen ? good16 : good8;
        if (d.at == 0) {
            bytes.resize(d.value);
        } else if (d.u16) {
            BMP_PatchU16(bytes, d.at, uint16_t(d.value));
        } else {
            BMP_PatchU32(bytes, d.at, d.value);
        }
        if (std::string(d.what) == "compression 3 on 24 bits") BMP_PatchU32(bytes, 30, 3);
        DIBPtr dib(DIB_ReadBMPMemory(bytes.data(), bytes.size()));
        EXPECT_EQ(dib, nullptr) << d.what;
        std::vector<uint8_t> surface(5 * 3 * 2, 0xCD);
        const SSurfaceDesc desc{5, 3, 10, surface.data(), 16, 0xF800, 0x07E0, 0x001F, 0};
        EXPECT_FALSE(DIB_ReadBMPToSurface(desc, bytes.data(), bytes.size(), false)) << d.what;
        EXPECT_EQ(surface, std::vector<uint8_t>(surface.size(), 0xCD)) << d.what;
    }
    EXPECT_EQ(DIB_ReadBMP("/nonexistent/none.bmp"), nullptr);

    // Through a file, a picture cut short in its rows says how much it had.
    CTempDir dir;
    std::vector<uint8_t> cut(good8.begin(), good8.end() - 7);
    ASSERT_TRUE(WriteBytes(dir.File("cut.bmp"), cut));
    ResetViewDataSilence();
    Sys_QueueMessageBoxAnswer(IDOK);
    int shown = Sys_GetMessageBoxCount();
    EXPECT_EQ(DIB_ReadBMP(dir.File("cut.bmp").c_str()), nullptr);
    EXPECT_EQ(Sys_GetMessageBoxCount(), shown + 1);
    EXPECT_EQ(Sys_GetLastMessageBoxText(), "Warning reading file failed for Bitmap Bytes read:  " +
                                               std::to_string(good8.size() - 7 - (14 + 40 + 1024)) + " ");
    Sys_ClearMessageBoxAnswers();
}

TEST_F(BMPFixture, ImageLoadsScalesAndConvertsOrKeepsABlankPictureOnFailure) {
    std::string path = m_dir.File("24.bmp");
    ASSERT_TRUE(Magick_Run("'" + m_dir.File("src.ppm") + "' 'BMP3:" + path + "'"));

    CImage image(4, 4, 16);
    EXPECT_TRUE(image.LoadBMP(path.c_str(), 0, 0, false));
    EXPECT_EQ(image.GetWidth(), 4);
    EXPECT_EQ(image.GetBitCount(), 16);
    ASSERT_NE(image.GetBitmap(), nullptr);
    EXPECT_EQ(image.GetBitmap()->m_width, 4);
    EXPECT_EQ(image.GetBitmap()->m_bitCount, 16);
    EXPECT_EQ(image.GetPixels(), DIB_Pixels(image.GetBitmap()));

    EXPECT_TRUE(image.LoadBMP(path.c_str(), 0, 0, true));
    EXPECT_EQ(image.GetWidth(), kW);
    EXPECT_EQ(image.GetBitCount(), 24);

    CImage missing(6, 5, 8);
    std::memset(missing.GetPixels(), 0xAB, missing.GetBitmap()->m_imageSize);
    EXPECT_FALSE(missing.LoadBMP(m_dir.File("none.bmp").c_str(), 0, 0, false));
    ASSERT_NE(missing.GetBitmap(), nullptr);
    EXPECT_EQ(missing.GetBitmap()->m_width, 6);
    EXPECT_EQ(missing.GetBitmap()->m_height, 5);
    EXPECT_EQ(missing.GetBitmap()->m_bitCount, 8);
    for (uint32_t i = 0; i < missing.GetBitmap()->m_imageSize; ++i) ASSERT_EQ(missing.GetPixels()[i], 0) << i;
}

}  // namespace
