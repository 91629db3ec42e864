// JPEG decoding against ImageMagick's decoding, and the images stored inside
// texture records in every version form.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/Image.h"
#include "core/ImageBMP.h"
#include "core/PixelConvert.h"
#include "core/VFSFile.h"
#include "tests/support/Magick.h"
#include "tests/support/TempDir.h"
#include "tools/lib/StoredImageWriter.h"

namespace {

// Decoders may differ in their last bit (IDCT and upsampling rounding).
int MaxDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    if (a.size() != b.size()) return 1000;
    int most = 0;
    for (size_t i = 0; i < a.size(); ++i) most = std::max(most, std::abs(int(a[i]) - int(b[i])));
    return most;
}

class JPEGFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Magick_WritePPM(m_dir.File("src.ppm"), kW, kH, Magick_TestPicture(kW, kH, 11)));
    }
    std::string MakeJPEG(const std::string& name, const std::string& options) {
        std::string path = m_dir.File(name);
        EXPECT_TRUE(Magick_Run("'" + m_dir.File("src.ppm") + "' " + options + " 'JPEG:" + path + "'"));
        return path;
    }
    static constexpr int kW = 37, kH = 21;
    CTempDir m_dir;
};

TEST_F(JPEGFixture, ColourAndGreyPicturesDecodeAsImageMagickDecodesThem) {
    struct Case {
        const char* options;
        bool grey;
    } cases[] = {
        {"-quality 30", false},
        {"-quality 75 -sampling-factor 2x2", false},
        {"-quality 95 -sampling-factor 1x1", false},
        {"-quality 85 -interlace Plane", false},  // progressive
        {"-colorspace Gray -quality 40", true},
        {"-colorspace Gray -quality 92", true},
    };
    int n = 0;
    for (const Case& c : cases) {
        std::string path = MakeJPEG("p" + std::to_string(n++) + ".jpg", c.options);
        std::vector<uint8_t> ref;
        ASSERT_TRUE(Magick_ReadRGB(path, ref)) << c.options;
        CImage image(1, 1, 8);
        ASSERT_TRUE(image.LoadJPEG(path.c_str())) << c.options;
        const SPackedDIB* dib = image.GetBitmap();
        ASSERT_NE(dib, nullptr);
        EXPECT_EQ(dib->m_width, kW);
        EXPECT_EQ(dib->m_height, kH);
        EXPECT_EQ(image.GetWidth(), kW);
        if (c.grey) {
            ASSERT_EQ(dib->m_bitCount, 8) << c.options;
            const uint8_t* table = DIB_ColorTable(dib);
            for (int i = 0; i < 256; ++i)
                ASSERT_TRUE(table[i * 4] == i && table[i * 4 + 1] == i && table[i * 4 + 2] == i &&
                            table[i * 4 + 3] == 0);
        } else {
            EXPECT_EQ(dib->m_bitCount, 24) << c.options;
        }
        EXPECT_LE(MaxDifference(DIB_ToRGB(dib), ref), 2) << c.options;
    }
}

TEST_F(JPEGFixture, DamagedOrMissingDataFails) {
    std::string path = MakeJPEG("c.jpg", "-quality 80");
    std::vector<uint8_t> bytes = ReadBytes(path);
    ASSERT_GT(bytes.size(), 200u);
    EXPECT_NE(DIB_ReadJPEGMemory(bytes.data(), bytes.size()), nullptr);  // leaks nothing: freed below
    DIB_Free(DIB_ReadJPEGMemory(bytes.data(), bytes.size()));

    std::vector<std::vector<uint8_t>> bad = {
        {},
        {0xFF, 0xD8},
        std::vector<uint8_t>(bytes.begin(), bytes.begin() + bytes.size() / 2),  // cut in the scan
        std::vector<uint8_t>(bytes.begin(), bytes.begin() + 100),               // cut in the headers
        std::vector<uint8_t>(500, 0x5A),
    };
    for (size_t i = 0; i < bad.size(); ++i) {
        DIBPtr dib(DIB_ReadJPEGMemory(bad[i].data(), bad[i].size()));
        EXPECT_EQ(dib, nullptr) << i;
    }
    std::string cut = m_dir.File("cut.jpg");
    ASSERT_TRUE(WriteBytes(cut, bad[2]));
    CImage image(2, 2, 24);
    EXPECT_FALSE(image.LoadJPEG(cut.c_str()));
    EXPECT_FALSE(image.LoadJPEG(m_dir.File("missing.jpg").c_str()));
}

// A content file holding several stored images back to back, as texture
// records hold them.
class StoredFixture : public JPEGFixture {
protected:
    DIBPtr Picture(int bits) {
        DIBPtr colour(DIB_FromRGB(kW, kH, Magick_TestPicture(kW, kH, 3)));
        return DIBPtr(DIB_ConvertDepthBlock(colour.get(), bits, false, nullptr, false));
    }
    std::string WriteFile(const std::vector<uint8_t>& bytes) {
        std::string path = m_dir.File("content" + std::to_string(m_files++) + ".vxp");
        EXPECT_TRUE(WriteBytes(path, bytes));
        return path;
    }
    int m_files = 0;
};

TEST_F(StoredFixture, EveryVersionFormReadsBackNowOrLater) {
    struct Case {
        int version;
        int bits;
        bool v4;
    } cases[] = {{10, 8, false}, {14, 24, false}, {15, 16, true},  {20, 4, false},
                 {28, 32, true}, {29, 8, false},  {30, 16, false}, {31, 1, false}};
    for (const Case& c : cases) {
        DIBPtr dib = Picture(c.bits);
        ASSERT_NE(dib, nullptr);
        std::vector<uint8_t> bytes;
        SStoredImageForm form;
        form.m_version = c.version;
        form.m_ownValue = 77;
        form.m_v4Header = c.v4;
        ASSERT_TRUE(StoredImage_Write(bytes, dib.get(), form));
        ASSERT_TRUE(StoredImage_Write(bytes, dib.get(), form));  // a second image behind the first
        bytes.push_back(0xEE);
        std::string path = WriteFile(bytes);

        for (bool loadNow : {true, false}) {
            SCOPED_TRACE(testing::Message()
                         << "version " << c.version << " bits " << c.bits << " now " << loadNow);
            CVFSFile file;
            ASSERT_TRUE(file.Open(path.c_str(), CVFSFile::kModeRead));
            CImage first(0, 0, 0), second(0, 0, 0);
            uint32_t own = 0;
            ASSERT_TRUE(ReadStoredImageSet(first, file, c.version, loadNow, path.c_str(), &own));
            EXPECT_EQ(own, 77u);
            ASSERT_TRUE(ReadStoredImageSet(second, file, c.version, loadNow, path.c_str()));
            uint8_t tail = 0;
            ASSERT_TRUE(file.ReadU8(tail));  // both images were stepped over exactly
            EXPECT_EQ(tail, 0xEE);
            file.Close();
            EXPECT_EQ(first.GetWidth(), kW);
            EXPECT_EQ(first.GetBitCount(), c.bits);
            const bool deferred = c.version >= 15 && !loadNow;
            EXPECT_EQ(second.IsLoaded(), !deferred);
            if (deferred) {
                EXPECT_EQ(second.GetBitmap(), nullptr);
                ASSERT_TRUE(ReadStoredImage(second));
                EXPECT_TRUE(second.IsLoaded());
            }
            ASSERT_NE(second.GetBitmap(), nullptr);
            EXPECT_EQ(second.GetBitmap()->m_headerSize, 40u);
            EXPECT_EQ(DIB_ToRGB(second.GetBitmap()), DIB_ToRGB(dib.get()));
        }
    }
}

TEST_F(StoredFixture, CompressedImagesCarryJPEGData) {
    std::string jpegPath = MakeJPEG("t.jpg", "-quality 90");
    std::vector<uint8_t> jpeg = ReadBytes(jpegPath);
    std::vector<uint8_t> ref;
    ASSERT_TRUE(Magick_ReadRGB(jpegPath, ref));
    DIBPtr shape(DIB_Create(kW, kH, 24));
    std::vector<uint8_t> bytes;
    SStoredImageForm form;
    form.m_version = 29;
    form.m_jpeg = &jpeg;
    ASSERT_TRUE(StoredImage_Write(bytes, shape.get(), form));
    form.m_jpeg = nullptr;
    ASSERT_TRUE(StoredImage_Write(bytes, shape.get(), form));
    std::string path = WriteFile(bytes);

    CVFSFile file;
    ASSERT_TRUE(file.Open(path.c_str(), CVFSFile::kModeRead));
    CImage later(0, 0, 0), now(0, 0, 0);
    ASSERT_TRUE(ReadStoredImageSet(later, file, 29, false, path.c_str()));
    EXPECT_TRUE(later.IsCompressed());
    ASSERT_TRUE(ReadStoredImageSet(now, file, 29, true, path.c_str()));
    EXPECT_FALSE(now.IsCompressed());
    EXPECT_TRUE(file.AtEnd());
    file.Close();
    ASSERT_TRUE(ReadStoredImage(later));
    EXPECT_LE(MaxDifference(DIB_ToRGB(later.GetBitmap()), ref), 2);
}

TEST_F(StoredFixture, DamagedRecordsFailWithoutReadingPastTheirData) {
    DIBPtr dib = Picture(8);
    std::vector<uint8_t> good;
    SStoredImageForm form;
    form.m_version = 20;
    ASSERT_TRUE(StoredImage_Write(good, dib.get(), form));
    // Offsets inside the record: 16 N, 20 header (image size field at 40).
    struct Damage {
        const char* what;
        size_t at;
        uint32_t value;
    } cases[] = {
        {"N huge", 16, 0x7FFFFFF0},
        {"N too small for the header", 16, 8},
        {"image size below the rows", 40, 16},
        {"image size beyond the file", 40, 0x00FFFFFF},
        {"bits per pixel 7", 34, 7},
        {"cut short", 0, 0},
    };
    for (const Damage& d : cases) {
        std::vector<uint8_t> bytes = good;
        if (d.at == 0) {
            bytes.resize(bytes.size() - 10);
        } else if (d.at == 34) {
            bytes[d.at] = uint8_t(d.value);
        } else {
            for (int i = 0; i < 4; ++i) bytes[d.at + size_t(i)] = uint8_t(d.value >> (8 * i));
        }
        std::string path = WriteFile(bytes);
        for (bool loadNow : {true, false}) {
            CVFSFile file;
            ASSERT_TRUE(file.Open(path.c_str(), CVFSFile::kModeRead));
            CImage image(0, 0, 0);
            bool ok = ReadStoredImageSet(image, file, 20, loadNow, path.c_str());
            if (!loadNow && ok) ok = ReadStoredImage(image);
            EXPECT_FALSE(ok) << d.what << " now " << loadNow;
        }
    }
    // A compressed record whose JPEG length runs past the file.
    std::vector<uint8_t> jpeg = ReadBytes(MakeJPEG("d.jpg", "-quality 50"));
    DIBPtr shape(DIB_Create(kW, kH, 24));
    std::vector<uint8_t> bytes;
    form.m_version = 29;
    form.m_jpeg = &jpeg;
    ASSERT_TRUE(StoredImage_Write(bytes, shape.get(), form));
    bytes.resize(bytes.size() - 5);
    std::string path = WriteFile(bytes);
    CVFSFile file;
    ASSERT_TRUE(file.Open(path.c_str(), CVFSFile::kModeRead));
    CImage image(0, 0, 0);
    EXPECT_FALSE(ReadStoredImageSet(image, file, 29, true, path.c_str()));
}

}  // namespace
