// The screen's fonts: shared, counted fonts, and the compiled-fonts file
// written, read back, and refused when it does not hold together.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "e3d/Font.h"
#include "e3d/Screen.h"
#include "e3d/ScreenFonts.h"
#include "platform/d3d/Recorder.h"
#include "tests/support/TempDir.h"
#include "tools/lib/CompiledFontsWriter.h"

namespace {

std::vector<std::string> g_notices;

void Notice(const char* text, int r, int g, int b, bool echo) {
    g_notices.push_back(std::string(text) + " " + std::to_string(r) + "," + std::to_string(g) + "," +
                        std::to_string(b) + (echo ? " echo" : ""));
}

class FontRegistry : public ::testing::Test {
protected:
    void SetUp() override {
        DDraw_SetFactory(&m_recorder);
        g_notices.clear();
        E3DFont_SetNoticeHook(Notice);
    }
    void TearDown() override {
        E3DFont_SetNoticeHook(nullptr);
        DDraw_SetFactory(nullptr);
    }
    static std::vector<CE3DFont*> Fonts(CE3DScreen& s) {
        std::vector<CE3DFont*> out;
        for (CE3DFont* f = s.m_fonts; f; f = f->m_next) out.push_back(f);
        return out;
    }
    CD3DRecorder m_recorder;
    CTempDir m_dir;
};

TEST_F(FontRegistry, EqualRequestsShareOneCountedFont) {
    CE3DScreen screen(nullptr, nullptr);
    CE3DFont* a = screen.GetFont("Arial", 0, 14, 400, 0, 0);
    ASSERT_NE(a, nullptr);
    ASSERT_EQ(g_notices.size(), 1u);
    EXPECT_EQ(
        g_notices[0],
        "Waring font dynamicly allocated (Name: Arial, Width: 0, Height: 14, Weight: 400, Attributes: 0, "
        "Outline: 0) 255,0,0 echo");
    EXPECT_EQ(screen.GetFont("aRIAL", 0, 14, 400, 0, 0), a);
    EXPECT_EQ(a->m_refCount, 2);
    EXPECT_EQ(g_notices.size(), 1u);
    CE3DFont* ringed = screen.GetFont("Arial", 0, 14, 400, 0, 1);
    EXPECT_NE(ringed, a);
    EXPECT_EQ(screen.m_fontCount, 2);
    EXPECT_EQ(a->Release(), 1);
    EXPECT_EQ(a->Release(), 0);  // gone from the screen
    EXPECT_EQ(screen.m_fontCount, 1);
    EXPECT_EQ(Fonts(screen), std::vector<CE3DFont*>{ringed});
}

TEST_F(FontRegistry, SavedFontsLoadWithTheSameGlyphs) {
    const std::string path = m_dir.WinFile("Fonts.cof");
    std::vector<std::vector<uint8_t>> records;
    {
        CE3DScreen screen(nullptr, nullptr);
        screen.GetFont("Courier New", 0, 12, 400, kE3DFontFixedPitch, 0);
        screen.GetFont("Times New Roman", 0, 18, 700, 0, 1);
        screen.SaveCompiledFonts(path.c_str());
        for (CE3DFont* f : Fonts(screen)) {
            records.emplace_back();
            f->Encode(records.back());
        }
    }
    const std::string text = m_dir.Read("Fonts.cof");
    const std::vector<uint8_t> file(text.begin(), text.end());
    ASSERT_GE(file.size(), 4u);
    EXPECT_EQ(std::vector<uint8_t>(file.begin(), file.begin() + 4), (std::vector<uint8_t>{2, 0, 0, 0}));
    std::vector<uint8_t> joined(file.begin(), file.begin() + 4);
    for (const auto& r : records) joined.insert(joined.end(), r.begin(), r.end());
    EXPECT_EQ(file, joined);

    g_notices.clear();
    CE3DScreen again(nullptr, nullptr);
    ASSERT_TRUE(again.LoadCompiledFonts(path.c_str()));
    std::vector<CE3DFont*> loaded = Fonts(again);
    ASSERT_EQ(loaded.size(), 2u);
    for (CE3DFont* f : loaded) EXPECT_EQ(f->m_refCount, 1);
    // Loading puts each font at the head: the list comes back reversed.
    for (size_t i = 0; i < 2; ++i) {
        std::vector<uint8_t> r;
        loaded[1 - i]->Encode(r);
        EXPECT_EQ(r, records[i]);
    }
    // The loaded fonts serve requests without building anything.
    EXPECT_EQ(again.GetFont("times new roman", 0, 18, 700, 0, 1), loaded[1]);
    EXPECT_TRUE(g_notices.empty());
}

TEST_F(FontRegistry, FileOfKnownGlyphsMeasuresAndDraws) {
    SCompiledFont made = CompiledFonts_PatternFont("Tahoma", 4, false);
    ASSERT_TRUE(CompiledFonts_Write(m_dir.File("Fonts.cof"), CompiledFonts_File({made})));
    CE3DScreen screen(nullptr, nullptr);
    ASSERT_TRUE(screen.LoadCompiledFonts(m_dir.WinFile("Fonts.cof").c_str()));
    CE3DFont* font = screen.GetFont("tahoma", 0, 4, 400, 0, 0);
    ASSERT_EQ(Fonts(screen), std::vector<CE3DFont*>{font});
    int32_t w = 0, h = 0;
    font->MeasureText(
        "AB\x02"
        "t\x02"
        "CD",
        &w, &h);
    EXPECT_EQ(w, 9);
    EXPECT_EQ(h, 4);
}

TEST_F(FontRegistry, CorruptFilesAreRefused) {
    const SCompiledFont one = CompiledFonts_PatternFont("Arial", 3, false);
    std::vector<uint8_t> two = CompiledFonts_File({one, one});
    struct {
        const char* what;
        std::vector<uint8_t> bytes;
        size_t fontsKept;
    } cases[] = {
        {"empty file", {}, 0},
        {"count without records", {0xFF, 0xFF, 0xFF, 0xFF}, 0},
        {"count beyond the records", CompiledFonts_File({one}), 1},
        {"second record cut short", std::vector<uint8_t>(two.begin(), two.end() - 10), 1},
    };
    cases[2].bytes[0] = 3;
    int n = 0;
    for (auto& c : cases) {
        // One file each: the file table remembers a file's size once it saw it.
        const std::string name = "bad" + std::to_string(n++) + ".cof";
        ASSERT_TRUE(CompiledFonts_Write(m_dir.File(name), c.bytes));
        CE3DScreen screen(nullptr, nullptr);
        EXPECT_FALSE(screen.LoadCompiledFonts(m_dir.WinFile(name).c_str())) << c.what;
        EXPECT_EQ(size_t(screen.m_fontCount), c.fontsKept) << c.what;
    }
    CE3DScreen screen(nullptr, nullptr);
    EXPECT_FALSE(screen.LoadCompiledFonts(m_dir.WinFile("missing.cof").c_str()));
    EXPECT_EQ(screen.m_fontCount, 0);
}

}  // namespace

// A prepared font belongs to the screen's own set: it is made without a
// notice, a request for it finds it, and letting that request's reference
// go leaves it for the next one; preparing it again makes nothing.
TEST_F(FontRegistry, APreparedFontIsFoundWithoutANotice) {
    CE3DScreen screen(nullptr, nullptr);
    screen.PrepareFont("Tahoma", 0, 13, 400, 0, 1);
    EXPECT_TRUE(g_notices.empty());
    ASSERT_EQ(screen.m_fontCount, 1);
    CE3DFont* f = screen.GetFont("tahoma", 0, 13, 400, 0, 1);
    ASSERT_NE(f, nullptr);
    EXPECT_TRUE(g_notices.empty());
    EXPECT_EQ(f->m_refCount, 2);
    EXPECT_EQ(f->Release(), 1);
    screen.PrepareFont("Tahoma", 0, 13, 400, 0, 1);
    EXPECT_EQ(screen.m_fontCount, 1);
    EXPECT_EQ(screen.GetFont("Tahoma", 0, 13, 400, 0, 1), f);
    // Another of the six values is another font, made with its notice.
    screen.GetFont("Tahoma", 0, 13, 400, 0, 0)->Release();
    EXPECT_EQ(g_notices.size(), 1u);
}
