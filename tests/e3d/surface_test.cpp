// Surfaces: clip handling, the counted lock, colour keys, blits and fills.
#include "e3d/Surface.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "core/PackedDIB.h"
#include "e3d/SurfacePixels.h"

namespace {

uint32_t At32(const CE3DSurface& s, int x, int y) {
    uint32_t v;
    std::memcpy(&v, s.Platform()->Pixels() + y * s.Platform()->Pitch() + x * 4, 4);
    return v;
}

uint16_t At16(const CE3DSurface& s, int x, int y) {
    uint16_t v;
    std::memcpy(&v, s.Platform()->Pixels() + y * s.Platform()->Pitch() + x * 2, 2);
    return v;
}

// A 32-bit surface whose pixel (x, y) is 0x00YYXX + 0x10101 (never 0).
void Number(CE3DSurface& s) {
    ASSERT_TRUE(s.Lock());
    for (int y = 0; y < s.m_height; ++y)
        for (int x = 0; x < s.m_width; ++x) {
            uint32_t v = uint32_t(y << 8 | x) + 0x10101;
            std::memcpy(s.Bits() + y * s.Pitch() + x * 4, &v, 4);
        }
    s.Unlock();
}

TEST(Surface, CreateGivesWholeRectanglesAndNoFont) {
    CE3DSurface s(nullptr);
    ASSERT_TRUE(s.Create(30, 20, true, SSurfacePixelFormat::Rgb565()));
    s.SetFont(reinterpret_cast<CE3DFont*>(&s));
    ASSERT_TRUE(s.Create(40, 25, false, SSurfacePixelFormat::Rgb565()));
    EXPECT_EQ(s.m_font, nullptr);
    EXPECT_EQ(s.m_width, 40);
    EXPECT_EQ(s.m_height, 25);
    for (const SSurfaceRect& r : {s.m_srcRect, s.m_destRect, s.m_clipRect}) {
        EXPECT_EQ(r.left, 0);
        EXPECT_EQ(r.top, 0);
        EXPECT_EQ(r.right, 40);
        EXPECT_EQ(r.bottom, 25);
    }
    EXPECT_EQ(s.m_shiftR, 11);
    EXPECT_EQ(s.m_lossG, 2);
    EXPECT_EQ(s.m_combinedShiftB, -3);
    EXPECT_EQ(s.m_bytesPerPixel, 2u);

    // A refused size keeps the asked-for size and has no platform surface.
    EXPECT_FALSE(s.Create(0, 10, true, SSurfacePixelFormat::Rgb565()));
    EXPECT_EQ(s.Platform(), nullptr);
    EXPECT_TRUE(s.m_created);
    EXPECT_FALSE(s.Lock());
    EXPECT_EQ(s.Unlock(), 0);
}

TEST(Surface, ClampClip) {
    struct {
        SSurfaceRect in, out;
    } cases[] = {
        {{-5, -5, 105, 55}, {0, 0, 100, 50}},
        {{50, 10, 20, 5}, {20, 5, 20, 5}},
        {{10, 20, 30, 40}, {10, 20, 30, 40}},
        {{200, 200, 300, 300}, {100, 50, 100, 50}},
    };
    CE3DSurface s(nullptr);
    ASSERT_TRUE(s.Create(100, 50, true, SSurfacePixelFormat::Xrgb8888()));
    for (const auto& c : cases) {
        s.m_clipRect = c.in;
        s.ClampClip();
        EXPECT_EQ(s.m_clipRect.left, c.out.left);
        EXPECT_EQ(s.m_clipRect.top, c.out.top);
        EXPECT_EQ(s.m_clipRect.right, c.out.right);
        EXPECT_EQ(s.m_clipRect.bottom, c.out.bottom);
    }
}

TEST(Surface, ClipBlitRect) {
    struct {
        int x, y;
        SSurfaceRect src;
        int outX, outY;
        SSurfaceRect out;
    } cases[] = {
        {-3, 0, {0, 0, 10, 10}, 0, 0, {3, 0, 10, 10}},
        {5, -4, {2, 2, 12, 12}, 5, 0, {2, 6, 12, 12}},
        {95, 95, {0, 0, 10, 10}, 95, 95, {0, 0, 5, 5}},
        {120, 0, {0, 0, 10, 10}, 120, 0, {0, 0, -20, 10}},  // right of the clip: empty
        {-30, 0, {0, 0, 10, 10}, 0, 0, {30, 0, 10, 10}},    // left of it: empty
    };
    for (const auto& c : cases) {
        int x = c.x, y = c.y;
        SSurfaceRect r = c.src;
        CE3DSurface::ClipBlitRect(x, y, r, SSurfaceRect{0, 0, 100, 100});
        EXPECT_EQ(x, c.outX);
        EXPECT_EQ(y, c.outY);
        EXPECT_EQ(r.left, c.out.left);
        EXPECT_EQ(r.top, c.out.top);
        EXPECT_EQ(r.right, c.out.right);
        EXPECT_EQ(r.bottom, c.out.bottom);
    }
}

TEST(Surface, NestedLocks) {
    CE3DSurface s(nullptr);
    ASSERT_TRUE(s.Create(8, 8, true, SSurfacePixelFormat::Xrgb8888()));
    ASSERT_TRUE(s.Lock());
    ASSERT_TRUE(s.Lock());
    EXPECT_EQ(s.m_lockCount, 2);
    EXPECT_EQ(s.Unlock(), 0);
    EXPECT_TRUE(s.m_locked);
    EXPECT_NE(s.Bits(), nullptr);
    EXPECT_TRUE(s.Platform()->IsLocked());
    EXPECT_EQ(s.Unlock(), 0);
    EXPECT_FALSE(s.m_locked);
    EXPECT_FALSE(s.Platform()->IsLocked());
    EXPECT_EQ(s.Bits(), nullptr);
    EXPECT_EQ(s.Unlock(), 0);  // a third unlock does nothing
    EXPECT_EQ(s.m_lockCount, 0);

    // A lost surface cannot be locked; the count stays 0.
    s.Platform()->SetLost(true);
    EXPECT_FALSE(s.Lock());
    EXPECT_EQ(s.m_lockCount, 0);
}

TEST(Surface, ColourKeyedBlitSkipsKeyPixels) {
    CE3DSurface src(nullptr), dst(nullptr);
    ASSERT_TRUE(src.Create(4, 1, true, SSurfacePixelFormat::Rgb565()));
    ASSERT_TRUE(dst.Create(6, 1, true, SSurfacePixelFormat::Rgb565()));
    ASSERT_TRUE(src.SetColorKey(255, 0, 255));
    EXPECT_EQ(src.Platform()->ColorKey(), 0xF81Fu);
    ASSERT_TRUE(src.Lock());
    src.PutPixel(0, 0, 255, 0, 255);
    src.PutPixel(1, 0, 0, 255, 0);
    src.PutPixel(2, 0, 255, 0, 255);
    src.PutPixel(3, 0, 0, 0, 255);
    src.Unlock();
    dst.Fill(0x1234);

    src.BltTo(1, 0, &dst);
    const uint16_t keyed[6] = {0x1234, 0x1234, 0x07E0, 0x1234, 0x001F, 0x1234};
    for (int x = 0; x < 6; ++x) EXPECT_EQ(At16(dst, x, 0), keyed[x]) << x;

    // The clipped blit that never keys copies the key colour too.
    src.BltToClipped(1, 0, &dst);
    const uint16_t plain[6] = {0x1234, 0xF81F, 0x07E0, 0xF81F, 0x001F, 0x1234};
    for (int x = 0; x < 6; ++x) EXPECT_EQ(At16(dst, x, 0), plain[x]) << x;

    // The key compares channel bits only: the unused top bit of 5-5-5 pixels
    // does not hide a key pixel.
    CE3DSurface s555(nullptr), d555(nullptr);
    ASSERT_TRUE(s555.Create(2, 1, true, SSurfacePixelFormat::Rgb555()));
    ASSERT_TRUE(d555.Create(2, 1, true, SSurfacePixelFormat::Rgb555()));
    ASSERT_TRUE(s555.SetColorKey(0, 0, 0));
    const uint16_t raw[2] = {0x8000, 0x7FFF};
    std::memcpy(s555.Platform()->Pixels(), raw, 4);
    s555.BltFastTo(0, 0, &d555);
    EXPECT_EQ(At16(d555, 0, 0), 0);
    EXPECT_EQ(At16(d555, 1, 0), 0x7FFF);
}

TEST(Surface, ColourKeyedBlitOfLongRows) {
    // Rows long enough for the wide copy, with a tail it does not cover.
    for (const SSurfacePixelFormat& f : {SSurfacePixelFormat::Rgb565(), SSurfacePixelFormat::Xrgb8888()}) {
        CE3DSurface src(nullptr), dst(nullptr);
        ASSERT_TRUE(src.Create(37, 3, true, f));
        ASSERT_TRUE(dst.Create(40, 3, true, f));
        ASSERT_TRUE(src.SetColorKey(0, 255, 0));
        ASSERT_TRUE(src.Lock());
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 37; ++x) {
                if ((x * 7 + y) % 3 == 0) {
                    src.PutPixel(x, y, 0, 255, 0);
                } else {
                    src.PutPixel(x, y, uint8_t(x * 6), 8, uint8_t(y * 60));
                }
            }
        src.Unlock();
        dst.Fill(0x5555);
        src.BltTo(2, 0, &dst);
        ASSERT_TRUE(dst.Lock());
        ASSERT_TRUE(src.Lock());
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 40; ++x) {
                const int sx = x - 2;
                const bool copied = sx >= 0 && sx < 37 && (sx * 7 + y) % 3 != 0;
                const uint32_t want = copied ? src.Pack(uint8_t(sx * 6), 8, uint8_t(y * 60)) : 0x5555;
                uint32_t got = f.bitCount == 16 ? At16(dst, x, y) : At32(dst, x, y);
                EXPECT_EQ(got, want) << f.bitCount << " at " << x << "," << y;
            }
        src.Unlock();
        dst.Unlock();
    }
}

TEST(Surface, ClippedBlitsKeepPixelsAligned) {
    CE3DSurface src(nullptr), dst(nullptr);
    ASSERT_TRUE(src.Create(6, 6, true, SSurfacePixelFormat::Xrgb8888()));
    ASSERT_TRUE(dst.Create(10, 10, true, SSurfacePixelFormat::Xrgb8888()));
    Number(src);
    dst.m_clipRect = {2, 3, 8, 9};
    dst.ClampClip();
    struct {
        int x, y;
    } places[] = {{-1, -2}, {5, 6}, {0, 7}, {6, 0}, {3, 4}};
    for (const auto& p : places) {
        dst.Fill(0);
        src.BltTo(p.x, p.y, &dst);
        for (int y = 0; y < 10; ++y)
            for (int x = 0; x < 10; ++x) {
                const bool inClip = x >= 2 && x < 8 && y >= 3 && y < 9;
                const int sx = x - p.x, sy = y - p.y;
                const bool inSrc = sx >= 0 && sx < 6 && sy >= 0 && sy < 6;
                const uint32_t want = inClip && inSrc ? uint32_t(sy << 8 | sx) + 0x10101 : 0;
                ASSERT_EQ(At32(dst, x, y), want) << p.x << "," << p.y << " at " << x << "," << y;
            }
    }
    // Wholly outside the clip: nothing happens.
    dst.Fill(0);
    for (const auto& p : {std::pair<int, int>{-6, 4}, {8, 4}, {3, -3}, {3, 9}})
        src.BltTo(p.first, p.second, &dst);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x) EXPECT_EQ(At32(dst, x, y), 0u);
}

TEST(Surface, UnclippedBlitOutsideTheTargetIsRefused) {
    CE3DSurface src(nullptr), dst(nullptr);
    ASSERT_TRUE(src.Create(4, 4, true, SSurfacePixelFormat::Xrgb8888()));
    ASSERT_TRUE(dst.Create(8, 8, true, SSurfacePixelFormat::Xrgb8888()));
    Number(src);
    src.BltFastTo(6, 6, &dst);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) EXPECT_EQ(At32(dst, x, y), 0u);
    src.m_srcRect = {1, 1, 3, 3};
    src.BltFastTo(6, 6, &dst);
    EXPECT_EQ(At32(dst, 6, 6), 0x10101u + 0x101u);
    EXPECT_EQ(At32(dst, 7, 7), 0x10101u + 0x202u);
}

TEST(Surface, StretchAndDestRectBlits) {
    CE3DSurface src(nullptr), dst(nullptr);
    ASSERT_TRUE(src.Create(2, 2, true, SSurfacePixelFormat::Xrgb8888()));
    ASSERT_TRUE(dst.Create(6, 6, true, SSurfacePixelFormat::Xrgb8888()));
    Number(src);
    src.BltStretchTo(1, 1, 4, 4, &dst);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 6; ++x) {
            const bool in = x >= 1 && x < 5 && y >= 1 && y < 5;
            const uint32_t want = in ? uint32_t((y - 1) / 2 << 8 | (x - 1) / 2) + 0x10101 : 0;
            EXPECT_EQ(At32(dst, x, y), want) << x << "," << y;
        }
    // Reaching past the target: the part inside is drawn at the same scale.
    dst.Fill(0);
    src.BltStretchTo(4, -2, 4, 4, &dst);
    EXPECT_EQ(At32(dst, 4, 0), 0x10101u + 0x100u);
    EXPECT_EQ(At32(dst, 5, 1), 0x10101u + 0x100u);
    EXPECT_EQ(At32(dst, 5, 2), 0u);

    // The destination-rectangle blit: the source rectangle clamped into the
    // source, placed at the destination rectangle's corner, cut to the target.
    dst.Fill(0);
    src.m_srcRect = {-5, 1, 9, 7};
    src.m_destRect = {5, 4, 0, 0};
    src.BltToDestRect(&dst);
    EXPECT_EQ(At32(dst, 5, 4), 0x10101u + 0x100u);
    EXPECT_EQ(At32(dst, 4, 4), 0u);
    EXPECT_EQ(At32(dst, 5, 5), 0u);
}

TEST(Surface, FillIgnoresTheClip) {
    CE3DSurface s(nullptr);
    ASSERT_TRUE(s.Create(5, 3, true, SSurfacePixelFormat::Rgb565()));
    s.m_clipRect = {1, 1, 2, 2};
    s.Fill(0x1234);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) EXPECT_EQ(At16(s, x, y), 0x1234);
}

TEST(Surface, LostSurfacesAreRestoredByTheNextBlit) {
    CE3DSurface src(nullptr), dst(nullptr);
    ASSERT_TRUE(src.Create(2, 2, true, SSurfacePixelFormat::Xrgb8888()));
    ASSERT_TRUE(dst.Create(2, 2, true, SSurfacePixelFormat::Xrgb8888()));
    Number(src);
    dst.Platform()->SetLost(true);
    src.Platform()->SetLost(true);
    src.BltTo(0, 0, &dst);
    EXPECT_EQ(At32(dst, 0, 0), 0u);  // not repeated
    EXPECT_EQ(dst.Platform()->IsLost(), kDD_OK);
    EXPECT_EQ(src.Platform()->IsLost(), kDD_OK);
    src.BltTo(0, 0, &dst);
    EXPECT_EQ(At32(dst, 1, 1), 0x10101u + 0x101u);
}

// The share of a surface whose pixels also live elsewhere is asked before
// the CPU touches them and told afterwards.
class CCountingShare : public ISurfaceShare {
public:
    void PullPixels(CSoftSurface& s, bool) override {
        ++pulls;
        if (fresh) {
            std::memset(s.Pixels(), 0x5A, size_t(s.Pitch()) * size_t(s.Height()));
            fresh = false;
        }
    }
    void PixelsChanged(CSoftSurface&) override { ++changes; }
    int pulls = 0, changes = 0;
    bool fresh = false;
};

TEST(Surface, SharedPixelsArePulledBeforeAndPushedAfterCpuWork) {
    CE3DSurface s(nullptr), src(nullptr);
    ASSERT_TRUE(s.Create(4, 4, true, SSurfacePixelFormat::Xrgb8888()));
    ASSERT_TRUE(src.Create(2, 2, true, SSurfacePixelFormat::Xrgb8888()));
    CCountingShare share;
    s.Platform()->SetShare(&share);
    share.fresh = true;  // the other copy drew since
    ASSERT_TRUE(s.Lock());
    EXPECT_EQ(share.pulls, 1);
    EXPECT_EQ(At32(s, 3, 3), 0x5A5A5A5Au);
    s.DrawFilledRect(0, 0, 1, 1, 255, 255, 255);
    s.Lock();
    s.Unlock();
    EXPECT_EQ(share.changes, 0);  // still held by the outer lock
    s.Unlock();
    EXPECT_EQ(share.changes, 1);
    src.BltTo(2, 2, &s);
    EXPECT_EQ(share.pulls, 2);
    EXPECT_EQ(share.changes, 2);
    s.Fill(0);  // a whole fill needs no read-back
    EXPECT_EQ(share.pulls, 2);
    EXPECT_EQ(share.changes, 3);
}

TEST(Surface, PicturesGoInAndComeOutThroughTheLockedMemory) {
    CE3DSurface s(nullptr);
    ASSERT_TRUE(s.Create(2, 2, true, SSurfacePixelFormat::Rgb565()));
    SSurfaceDesc desc;
    EXPECT_FALSE(E3DSurface_PixelDesc(s, desc));  // not locked
    SPackedDIB* dib = DIB_Create(2, 2, 24);
    ASSERT_NE(dib, nullptr);
    uint8_t* rows = DIB_Pixels(dib);  // bottom-up, blue green red
    const uint8_t bottom[6] = {255, 0, 0, 0, 255, 0}, top[6] = {0, 0, 255, 255, 255, 255};
    std::memcpy(rows, bottom, 6);
    std::memcpy(rows + DIB_RowBytes(2, 24), top, 6);
    ASSERT_TRUE(s.Lock());
    ASSERT_TRUE(E3DSurface_PixelDesc(s, desc));
    EXPECT_TRUE(DIB_ConvertB_RGB16(desc, dib, false));
    EXPECT_EQ(At16(s, 0, 0), 0xF800);
    EXPECT_EQ(At16(s, 1, 0), 0xFFFF);
    EXPECT_EQ(At16(s, 0, 1), 0x001F);
    EXPECT_EQ(At16(s, 1, 1), 0x07E0);
    SPackedDIB* back = DIB_FromSurface(desc, 0, nullptr);
    s.Unlock();
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->m_bitCount, 16);
    uint16_t px;
    std::memcpy(&px, DIB_Pixels(back), 2);  // bottom row, left
    EXPECT_EQ(px, 0x001F);
    DIB_Free(back);
    DIB_Free(dib);
}

}  // namespace
