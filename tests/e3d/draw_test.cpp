// Exact pixels of the software drawing routines on 8-bit (3-3-2 and palette),
// 16-bit (5-6-5 and 5-5-5) and 32-bit surfaces.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "e3d/DrawRoutines.h"
#include "e3d/Surface.h"

namespace {

using Points = std::set<std::pair<int, int>>;

struct SFormatCase {
    const char* name;
    SSurfacePixelFormat format;
};

SSurfacePixelFormat Rgb332() {
    return SSurfacePixelFormat::Masks(8, 0xE0, 0x1C, 0x03);
}

std::vector<SFormatCase> Formats() {
    return {{"332", Rgb332()},
            {"565", SSurfacePixelFormat::Rgb565()},
            {"555", SSurfacePixelFormat::Rgb555()},
            {"8888", SSurfacePixelFormat::Xrgb8888()}};
}

uint32_t ReadAt(const CE3DSurface& s, int x, int y) {
    const uint8_t* p = s.Bits() + y * s.Pitch() + x * int(s.m_bytesPerPixel);
    switch (s.m_bytesPerPixel) {
        case 1:
            return p[0];
        case 2:
            return uint32_t(p[0]) | uint32_t(p[1]) << 8;
        default:
            return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    }
}

// The set of pixels that are not 0.
Points Lit(const CE3DSurface& s) {
    Points out;
    for (int y = 0; y < s.m_height; ++y)
        for (int x = 0; x < s.m_width; ++x)
            if (ReadAt(s, x, y)) out.insert({x, y});
    return out;
}

Points Row(int y, int x0, int x1) {
    Points p;
    for (int x = x0; x <= x1; ++x) p.insert({x, y});
    return p;
}

Points Column(int x, int y0, int y1) {
    Points p;
    for (int y = y0; y <= y1; ++y) p.insert({x, y});
    return p;
}

Points Join(std::initializer_list<Points> parts) {
    Points out;
    for (const Points& p : parts) out.insert(p.begin(), p.end());
    return out;
}

struct SShapeCase {
    const char* what;
    SSurfaceRect clip;  // right 0: the whole surface
    std::function<void(CE3DSurface&)> draw;
    Points expected;
    bool redAsIndexAt8 = false;  // the 8-bit routine stores r as the pixel byte
};

// The colour every shape case draws with: every channel non-zero in every format.
constexpr uint8_t kR = 200, kG = 100, kB = 50;

void RunShapeCases(const std::vector<SShapeCase>& cases) {
    for (const SFormatCase& fc : Formats()) {
        for (const SShapeCase& c : cases) {
            SCOPED_TRACE(std::string(fc.name) + ": " + c.what);
            CE3DSurface s(nullptr);
            ASSERT_TRUE(s.Create(16, 16, true, fc.format));
            ASSERT_TRUE(s.Lock());
            if (c.clip.right) {
                s.m_clipRect = c.clip;
                s.ClampClip();
            }
            c.draw(s);
            EXPECT_EQ(Lit(s), c.expected);
            uint32_t colour = s.Pack(kR, kG, kB) & (s.m_bytesPerPixel == 1 ? 0xFF : 0xFFFFFFFF);
            if (c.redAsIndexAt8 && s.m_bytesPerPixel == 1) colour = kR;
            for (const auto& p : c.expected)
                EXPECT_EQ(ReadAt(s, p.first, p.second), colour) << p.first << "," << p.second;
            s.Unlock();
        }
    }
}

auto Line(int x0, int y0, int x1, int y1) {
    return [=](CE3DSurface& s) { EXPECT_TRUE(s.DrawLine(x0, y0, x1, y1, kR, kG, kB)); };
}

TEST(DrawPacking, ChannelsPackByTheSurfaceShifts) {
    struct {
        SSurfacePixelFormat format;
        uint32_t expected;
    } cases[] = {
        {Rgb332(), 0xCC},  // 110 011 00
        {SSurfacePixelFormat::Rgb565(), 0xCB26},
        {SSurfacePixelFormat::Rgb555(), 0x6586},
        {SSurfacePixelFormat::Xrgb8888(), 0xC86432},
        {SSurfacePixelFormat::Indexed8(), 0},  // no channel masks: nothing to pack into
    };
    for (const auto& c : cases) {
        CE3DSurface s(nullptr);
        ASSERT_TRUE(s.Create(2, 2, true, c.format));
        EXPECT_EQ(s.Pack(200, 100, 50), c.expected) << c.format.bitCount;
    }
}

TEST(DrawLines, AllOctantsAndClipping) {
    RunShapeCases({
        {"shallow down-right", {}, Line(0, 0, 10, 2), Join({Row(0, 0, 5), Row(1, 6, 10)})},
        {"shallow up-left", {}, Line(10, 2, 0, 0), Join({Row(2, 5, 10), Row(1, 0, 4)})},
        {"steep down-right", {}, Line(0, 0, 2, 10), Join({{{0, 0}}, Column(1, 1, 5), Column(2, 6, 10)})},
        {"steep up-left", {}, Line(5, 10, 3, 0), Join({{{5, 10}}, Column(4, 5, 9), Column(3, 0, 4)})},
        {"shallow up-right",
         {},
         Line(0, 4, 6, 1),
         Points{{0, 4}, {1, 4}, {2, 4}, {3, 3}, {4, 3}, {5, 2}, {6, 2}}},
        {"shallow down-left", {}, Line(6, 1, 0, 4), Join({Row(1, 4, 6), Row(2, 2, 3), Row(3, 0, 1)})},
        {"steep down-left",
         {},
         Line(3, 0, 1, 6),
         Points{{3, 0}, {2, 1}, {2, 2}, {2, 3}, {1, 4}, {1, 5}, {1, 6}}},
        {"steep up-right",
         {},
         Line(1, 6, 3, 0),
         Points{{1, 6}, {2, 5}, {2, 4}, {2, 3}, {3, 2}, {3, 1}, {3, 0}}},
        {"single point", {}, Line(3, 3, 3, 3), Points{{3, 3}}},
        {"horizontal cut at both ends", {2, 2, 10, 10}, Line(-5, 5, 40, 5), Row(5, 2, 9)},
        {"vertical cut to [T, B-1]", {2, 2, 10, 10}, Line(4, 0, 4, 20), Column(4, 2, 9)},
        {"diagonal through the clip",
         {2, 2, 10, 10},
         Line(0, 0, 11, 11),
         Points{{2, 2}, {3, 3}, {4, 4}, {5, 5}, {6, 6}, {7, 7}, {8, 8}, {9, 9}}},
        {"left of the clip", {2, 2, 10, 10}, Line(0, 3, 1, 8), {}},
        {"below the clip", {2, 2, 10, 10}, Line(3, 10, 8, 14), {}},
        {"huge coordinates", {}, Line(-2000000000, 5, 2000000000, 5), Row(5, 0, 15)},
    });
}

TEST(DrawLines, PatternKeepsPixelsAboveTheThreshold) {
    auto pattern = [](int x0, int y0, int x1, int y1, uint8_t period, uint8_t threshold, uint8_t phase) {
        return [=](CE3DSurface& s) {
            EXPECT_TRUE(s.DrawPatternLine(x0, y0, x1, y1, kR, kG, kB, period, threshold, phase));
        };
    };
    RunShapeCases({
        {"period 6, threshold 3",
         {},
         pattern(0, 0, 11, 0, 6, 3, 0),
         Points{{4, 0}, {5, 0}, {10, 0}, {11, 0}}},
        {"phase shifts the dashes",
         {},
         pattern(0, 0, 11, 0, 6, 3, 2),
         Points{{2, 0}, {3, 0}, {8, 0}, {9, 0}}},
        {"clipping restarts the pattern",
         {3, 0, 16, 16},
         pattern(0, 0, 11, 0, 6, 3, 0),
         Points{{7, 0}, {8, 0}}},
        // A diagonal step is longer than a straight one: the counter runs faster.
        {"diagonal", {}, pattern(0, 0, 5, 5, 4, 1, 0), Points{{1, 1}, {2, 2}, {4, 4}, {5, 5}}},
    });
}

TEST(DrawRects, CornersInAnyOrderAndEdgesCutByTheClip) {
    auto rect = [](int x0, int y0, int x1, int y1) {
        return [=](CE3DSurface& s) { EXPECT_TRUE(s.DrawRect(x0, y0, x1, y1, kR, kG, kB)); };
    };
    auto filled = [](int x0, int y0, int x1, int y1) {
        return [=](CE3DSurface& s) { EXPECT_TRUE(s.DrawFilledRect(x0, y0, x1, y1, kR, kG, kB)); };
    };
    const Points outline = Join({Row(3, 2, 8), Row(7, 2, 8), Column(2, 3, 7), Column(8, 3, 7)});
    Points block;
    for (int y = 3; y <= 7; ++y) block = Join({block, Row(y, 2, 8)});
    RunShapeCases({
        {"outline", {}, rect(2, 3, 8, 7), outline},
        {"outline, corners swapped", {}, rect(8, 7, 2, 3), outline},
        {"outline, mixed corners", {}, rect(2, 7, 8, 3), outline},
        {"left edge outside the clip",
         {4, 0, 16, 16},
         rect(2, 3, 8, 7),
         Join({Row(3, 4, 8), Row(7, 4, 8), Column(8, 3, 7)})},
        {"top edge outside the clip",
         {0, 5, 16, 16},
         rect(2, 3, 8, 7),
         Join({Row(7, 2, 8), Column(2, 5, 7), Column(8, 5, 7)})},
        {"right and bottom outside", {0, 0, 6, 6}, rect(2, 3, 8, 7), Join({Row(3, 2, 5), Column(2, 3, 5)})},
        {"every edge outside", {4, 4, 6, 6}, rect(2, 3, 8, 7), {}},
        {"wholly outside", {0, 0, 2, 2}, rect(2, 3, 8, 7), {}},
        {"filled", {}, filled(8, 7, 2, 3), block},
        {"filled and clipped",
         {3, 4, 5, 16},
         filled(2, 3, 8, 7),
         Join({Row(4, 3, 4), Row(5, 3, 4), Row(6, 3, 4), Row(7, 3, 4)})},
        {"filled beyond the surface", {}, filled(-10, 14, 40, 40), Join({Row(14, 0, 15), Row(15, 0, 15)})},
    });
}

TEST(DrawCircles, OutlinesAndDiscs) {
    auto circle = [](int cx, int cy, int r) {
        return [=](CE3DSurface& s) { EXPECT_TRUE(s.DrawCircle(cx, cy, r, kR, kG, kB)); };
    };
    auto disc = [](int cx, int cy, int r) {
        return [=](CE3DSurface& s) { EXPECT_TRUE(s.DrawFilledCircle(cx, cy, r, kR, kG, kB)); };
    };
    const Points ring2 =
        Join({Row(4, 5, 7), Row(8, 5, 7), Points{{4, 5}, {8, 5}, {4, 6}, {8, 6}, {4, 7}, {8, 7}}});
    const Points disc2 = Join({Row(4, 5, 7), Row(5, 4, 8), Row(6, 4, 8), Row(7, 4, 8), Row(8, 5, 7)});
    RunShapeCases({
        {"circle radius 2", {}, circle(6, 6, 2), ring2, true},
        {"circle radius 0 is its centre", {}, circle(6, 6, 0), Points{{6, 6}}, true},
        {"circle cut by the clip",
         {0, 0, 7, 16},
         circle(6, 6, 2),
         Join({Row(4, 5, 6), Row(8, 5, 6), Points{{4, 5}, {4, 6}, {4, 7}}}),
         true},
        {"disc radius 2", {}, disc(6, 6, 2), disc2},
        {"disc radius 0 draws nothing", {}, disc(6, 6, 0), {}},
        {"disc of negative radius draws nothing", {}, disc(6, 6, -3), {}},
        {"disc cut by the clip", {6, 0, 16, 6}, disc(6, 6, 2), Join({Row(4, 6, 7), Row(5, 6, 8)})},
        {"circle wholly left of the clip", {}, circle(-100, 5, 90), {}},
        {"disc of absurd radius is not walked", {}, disc(8, 8, 2000000000), {}},
    });
}

TEST(DrawPixels, PutPixelStaysInsideTheClip) {
    auto put = [](std::vector<std::pair<int, int>> pts) {
        return [=](CE3DSurface& s) {
            for (auto p : pts) EXPECT_TRUE(s.PutPixel(p.first, p.second, kR, kG, kB));
        };
    };
    RunShapeCases({
        {"inside and at every edge",
         {2, 2, 10, 10},
         put({{2, 2}, {9, 9}, {1, 5}, {10, 5}, {5, 1}, {5, 10}, {-1, -1}, {100, 3}}),
         Points{{2, 2}, {9, 9}},
         true},
    });
}

TEST(DrawPixels, EightBitCircleAndPixelStoreTheIndex) {
    CE3DSurface s(nullptr);
    ASSERT_TRUE(s.Create(16, 16, true, SSurfacePixelFormat::Indexed8()));
    ASSERT_TRUE(s.Lock());
    EXPECT_TRUE(s.PutPixel(1, 1, 77, 1, 2));
    EXPECT_TRUE(s.DrawCircle(8, 8, 2, 42, 0, 0));
    EXPECT_EQ(ReadAt(s, 1, 1), 77u);
    EXPECT_EQ(ReadAt(s, 8, 6), 42u);
    EXPECT_FALSE(s.ScalePixel(1, 1, 128, 128, 128));  // no routine at 8 bits
    EXPECT_FALSE(s.DrawRotated(&s, 1, 0, 0, 0));
    s.Unlock();
}

TEST(DrawPixels, ScaledPixelChannels) {
    struct {
        SSurfacePixelFormat format;
        uint32_t scale;
        uint8_t r, g, b;  // the pixel's channels after scaling
    } cases[] = {
        {SSurfacePixelFormat::Rgb565(), 128, 100, 50, 24},
        {SSurfacePixelFormat::Rgb555(), 128, 100, 48, 24},
        {SSurfacePixelFormat::Xrgb8888(), 128, 100, 50, 25},
        {SSurfacePixelFormat::Xrgb8888(), 512, 255, 200, 100},     // held at 255
        {SSurfacePixelFormat::Xrgb8888(), 0x10100, 200, 100, 50},  // only 16 bits count: 256
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.scale);
        CE3DSurface s(nullptr);
        ASSERT_TRUE(s.Create(4, 4, true, c.format));
        ASSERT_TRUE(s.Lock());
        s.PutPixel(1, 1, 200, 100, 50);
        s.PutPixel(2, 2, 200, 100, 50);
        EXPECT_TRUE(s.ScalePixel(1, 1, c.scale, c.scale, c.scale));
        s.m_clipRect = {0, 0, 2, 2};
        EXPECT_TRUE(s.ScalePixel(2, 2, 0, 0, 0));  // outside the clip: untouched
        EXPECT_EQ(ReadAt(s, 1, 1), s.Pack(c.r, c.g, c.b));
        EXPECT_EQ(ReadAt(s, 2, 2), s.Pack(200, 100, 50));
        s.Unlock();
    }
}

TEST(DrawRotated, QuarterTurnIsAPlainCopyAndNothingLeavesTheSurface) {
    for (const SSurfacePixelFormat& format :
         {SSurfacePixelFormat::Rgb565(), SSurfacePixelFormat::Xrgb8888()}) {
        CE3DSurface src(nullptr), dst(nullptr);
        ASSERT_TRUE(src.Create(4, 4, true, format));
        ASSERT_TRUE(dst.Create(4, 4, true, format));
        ASSERT_TRUE(src.Lock());
        ASSERT_TRUE(dst.Lock());
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 4; ++x) src.PutPixel(x, y, uint8_t(16 * x + 8), uint8_t(16 * y + 8), 255);
        const float quarter = float(M_PI / 2);
        EXPECT_TRUE(dst.DrawRotated(&src, 1.0f, quarter, 2.0f, 2.0f));
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 4; ++x) EXPECT_EQ(ReadAt(dst, x, y), ReadAt(src, x, y)) << x << "," << y;

        // Angle 0 turns the picture: destination (i, j) shows source (4 - j, i);
        // row 0 would read column 4, outside the source, and stays untouched.
        dst.Fill(0);
        EXPECT_TRUE(dst.DrawRotated(&src, 1.0f, 0.0f, 2.0f, 2.0f));
        for (int j = 0; j < 4; ++j)
            for (int i = 0; i < 4; ++i)
                EXPECT_EQ(ReadAt(dst, i, j), j == 0 ? 0u : ReadAt(src, 4 - j, i)) << i << "," << j;

        // A destination rectangle reaching outside the surface is cut to it;
        // the pixels inside still come from the right source positions.
        dst.Fill(0);
        dst.m_destRect = {-2, -2, 6, 6};
        EXPECT_TRUE(dst.DrawRotated(&src, 0.5f, quarter, 2.0f, 2.0f));
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 4; ++x)
                EXPECT_EQ(ReadAt(dst, x, y), ReadAt(src, (x + 2) / 2, (y + 2) / 2)) << x << "," << y;
        src.Unlock();
        dst.Unlock();
    }
}

TEST(DrawTable, TwentyFourBitSurfacesRefuseEveryRoutine) {
    CE3DSurface s(nullptr);
    ASSERT_TRUE(s.Create(8, 8, true, SSurfacePixelFormat::Rgb888()));
    ASSERT_TRUE(s.Lock());
    const void* const* slots = reinterpret_cast<const void* const*>(&s.m_draw);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(slots[i], nullptr) << i;
    EXPECT_FALSE(s.DrawLine(0, 0, 5, 5, 255, 255, 255));
    EXPECT_FALSE(s.DrawFilledRect(0, 0, 5, 5, 255, 255, 255));
    EXPECT_FALSE(s.PutPixel(1, 1, 255, 255, 255));
    EXPECT_EQ(s.DrawGlyphs("abc", 0, 0, 255, 255, 255, false, false, 0, false), -1);
    EXPECT_EQ(s.DrawText("abc", true, 10, 255, 255, 255, false, false), 0);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 24; ++x) EXPECT_EQ(s.Bits()[y * s.Pitch() + x], 0);
    s.Unlock();
}

TEST(DrawTable, UnlockedSurfacesRefuseDrawing) {
    CE3DSurface s(nullptr);
    ASSERT_TRUE(s.Create(8, 8, true, SSurfacePixelFormat::Xrgb8888()));
    EXPECT_FALSE(s.DrawLine(0, 0, 5, 5, 255, 255, 255));
    // Straight slot calls on an unlocked surface do nothing either.
    s.m_draw.filledRect(&s, 0, 0, 7, 7, 255, 255, 255);
    ASSERT_TRUE(s.Lock());
    EXPECT_EQ(Lit(s), Points{});
    s.Unlock();
}

TEST(DrawTable, ClipRectangleLeftUnclampedCannotLeadOutside) {
    CE3DSurface s(nullptr);
    ASSERT_TRUE(s.Create(8, 8, true, SSurfacePixelFormat::Xrgb8888()));
    ASSERT_TRUE(s.Lock());
    s.m_clipRect = {-100, -100, 100, 100};  // ClampClip not called
    EXPECT_TRUE(s.DrawFilledRect(-50, -50, 50, 50, 1, 2, 3));
    EXPECT_TRUE(s.DrawLine(-50, 3, 50, 3, 9, 9, 9));
    Points all;
    for (int y = 0; y < 8; ++y) all = Join({all, Row(y, 0, 7)});
    EXPECT_EQ(Lit(s), all);
    s.Unlock();
}

}  // namespace
