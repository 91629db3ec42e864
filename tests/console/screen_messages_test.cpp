// Timed screen messages: when they move up and fall away, and what the
// running game's frame draws of them on a canvas.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "e3d/Font.h"
#include "e3d/Surface.h"
#include "platform/font/FontRaster.h"
#include "tests/console/CommandTestHost.h"

namespace {
std::string ScreenLine(const CConsole& c, int fromNewest) {
    const CConsoleLine* line = c.GetScreenLine(fromNewest);
    return line ? line->text.GetText() : "<none>";
}

// Every glyph but the blank is a solid block three pixels wide and eight
// high in a cell four wide, so a drawn row is easy to find by its pixels.
class CBlockRasterizer : public IFontRasterizer {
public:
    bool Select(const SFontRequest&) override { return true; }
    bool Extent(uint8_t, int32_t& w, int32_t& h) override {
        w = 4;
        h = 8;
        return true;
    }
    void Draw(uint8_t c, SFontCanvas& canvas, int x, int y) override {
        if (c == ' ') return;
        for (int j = 0; j < 8; ++j)
            for (int i = 0; i < 3; ++i) canvas.Set(x + i, y + j);
    }
};

constexpr int kWidth = 640, kHeight = 120;
constexpr int kRow = 9;               // font height + 1
constexpr int kLeft = 80, kTop = 35;  // where the band starts
constexpr int kRight = kWidth - 280;  // where it ends

class ScreenMessages : public ::testing::Test {
protected:
    void SetUp() override {
        CBlockRasterizer raster;
        font.Build(raster, "Block", 0, 8, 700, 0, 0);
        ASSERT_TRUE(canvas.Create(kWidth, kHeight, true));
        host.now = 1000;
        console().m_numMessageLines = 2;
    }
    CConsole& console() { return host.console; }

    // Clears the canvas and draws the messages as the frame does.
    void Draw() {
        canvas.ResetClip();
        canvas.Fill(0);
        console().DrawScreenMessages(&canvas, &font);
        ASSERT_FALSE(canvas.m_locked);
    }
    uint32_t Pixel(int x, int y) {
        const uint8_t* p = canvas.Bits() + y * canvas.Pitch() + x * int(canvas.m_bytesPerPixel);
        return SoftPixel_Read(p, int(canvas.m_bytesPerPixel)) & 0xFFFFFF;
    }
    // The one colour lit in band row `row` (0 the top), 0 when none; -1 when
    // the row holds two colours.
    int64_t RowColour(int row) {
        EXPECT_TRUE(canvas.Lock());
        int64_t found = 0;
        for (int y = kTop + row * kRow; y < kTop + (row + 1) * kRow; ++y)
            for (int x = kLeft; x < kRight; ++x)
                if (uint32_t p = Pixel(x, y)) found = (found == 0 || found == p) ? p : -1;
        canvas.Unlock();
        return found;
    }
    // Lit pixels outside the band of `rows` rows.
    int LitOutside(int rows) {
        EXPECT_TRUE(canvas.Lock());
        int lit = 0;
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) {
                bool inside = x >= kLeft && x < kRight && y >= kTop && y < kTop + rows * kRow;
                if (!inside && Pixel(x, y)) ++lit;
            }
        canvas.Unlock();
        return lit;
    }
    void Echo(const char* text, int r, int g, int b) { console().Print(text, false, r, g, b, true); }

    CTestCommandHost host;
    CE3DFont font{nullptr};
    CE3DSurface canvas{nullptr};
};

constexpr int64_t kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF;
}  // namespace

TEST_F(ScreenMessages, NewestAtTheBottomInTheirColoursUntilTheyExpire) {
    Echo("old", 0, 255, 0);
    Echo("AB", 0, 0, 255);
    Echo("CD", 255, 0, 0);
    Draw();
    // Two rows: the newest at the bottom, the one before it above, the oldest
    // not shown; nothing outside the band.
    EXPECT_EQ(RowColour(1), kRed);
    EXPECT_EQ(RowColour(0), kBlue);
    EXPECT_EQ(LitOutside(2), 0);
    // Text starts at the band's left edge: the first glyph's first column.
    ASSERT_TRUE(canvas.Lock());
    EXPECT_EQ(Pixel(kLeft, kTop + kRow), uint32_t(kRed));
    EXPECT_EQ(Pixel(kLeft - 1, kTop + kRow), 0u);
    canvas.Unlock();

    // Four seconds later the frame pushes a blank row: red moves up.
    host.now += 4 * host.frequency + 1;
    Draw();
    EXPECT_EQ(RowColour(1), 0);
    EXPECT_EQ(RowColour(0), kRed);
    // Two seconds on, the last one falls away.
    host.now += 2 * host.frequency + 1;
    Draw();
    EXPECT_EQ(RowColour(0), 0);
    EXPECT_EQ(RowColour(1), 0);
    EXPECT_EQ(LitOutside(0), 0);
}

TEST_F(ScreenMessages, LongMessagesWrapAndRowCountLimitsTheBand) {
    // Forty glyphs a word: the two words do not fit on one 280-pixel row.
    const std::string word(40, 'X');
    Echo("older", 0, 255, 0);
    Echo((word + " " + word).c_str(), 255, 0, 0);
    Draw();
    EXPECT_EQ(RowColour(0), kRed);
    EXPECT_EQ(RowColour(1), kRed);
    EXPECT_EQ(LitOutside(2), 0);

    // With room for three rows the older message shows above the wrapped one;
    // with none nothing is drawn; a setting past the largest is held to it.
    console().m_numMessageLines = 3;
    Draw();
    EXPECT_EQ(RowColour(0), kGreen);
    EXPECT_EQ(LitOutside(3), 0);
    console().m_numMessageLines = 0;
    Draw();
    EXPECT_EQ(LitOutside(0), 0);
    console().m_numMessageLines = 1000;
    Draw();
    EXPECT_EQ(LitOutside(CConsole::kMaxScreenMessageRows), 0);

    // An empty message keeps its row.
    console().m_numMessageLines = 2;
    Echo("", 255, 255, 255);
    Draw();
    EXPECT_EQ(RowColour(1), 0);
    EXPECT_EQ(RowColour(0), kRed);
}

TEST_F(ScreenMessages, NoFontOrCanvasStillAdvancesTime) {
    Echo("AB", 255, 0, 0);
    host.now += 4 * host.frequency + 1;
    console().DrawScreenMessages(nullptr, nullptr);
    EXPECT_EQ(ScreenLine(console(), 1), "AB");
    console().DrawScreenMessages(&canvas, nullptr);
    EXPECT_FALSE(canvas.m_locked);
}

// One echoed print at time 1000, then the frame advancing at each time in
// turn: where the message stands (0 the newest row) afterwards.
TEST_F(ScreenMessages, MoveUpOneRowPerExpiry) {
    CConsole& c = console();
    const uint64_t f = host.frequency;
    Echo("hello", 255, 255, 255);
    const struct {
        uint64_t at;  // after the print
        int row;
    } steps[] = {
        {0, 0},           {4 * f, 0},    // four seconds exactly: still the newest
        {4 * f + 1, 1},                  // past them: one blank row pushed under it
        {6 * f + 1, 1},                  // the next move is two seconds later
        {6 * f + 2, 2},   {600 * f, 3},  // after a long pause still one row per frame
        {600 * f, 3},                    // and not again within the same two seconds
        {602 * f + 1, 4},
    };
    for (const auto& s : steps) {
        host.now = 1000 + s.at;
        c.AdvanceScreenMessages();
        EXPECT_EQ(ScreenLine(c, s.row), "hello") << "at " << s.at;
        for (int i = 0; i < s.row; ++i) {
            EXPECT_EQ(ScreenLine(c, i), " ") << "at " << s.at;
            EXPECT_EQ(c.GetScreenLine(i)->r + c.GetScreenLine(i)->g + c.GetScreenLine(i)->b, 0);
        }
    }
}
