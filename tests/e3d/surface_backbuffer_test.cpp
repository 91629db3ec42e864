// The back buffer shared by the 3D device and the software routines: a 3D
// clear, then a rectangle and text drawn in software on the locked back
// buffer, then present; the window shows both. Runs under Xvfb with Mesa's
// software renderer (skipped where there is no OpenGL display).
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "e3d/E3D.h"
#include "e3d/Font.h"
#include "e3d/Surface.h"
#include "platform/display/Display.h"
#include "tests/support/GLDisplay.h"
#include "tools/lib/CompiledFontsWriter.h"

namespace {

constexpr int kW = 96, kH = 64;

TEST(SurfaceBackBuffer, ThreeDClearThenSoftwareDrawingThenPresent) {
    CDisplayWindow* window = CDisplayWindow::Create("Tessarak", kW, kH);
    if (!window || !window->HasGL()) {
        delete window;
        TEST_END_WITHOUT_GL();
    }
    auto engine = std::make_unique<CE3DEngine>();
    ASSERT_GE(engine->m_driverCount, 1);
    CE3DScreen* screen = new CE3DScreen(engine.get(), engine->m_drivers[0]);
    ASSERT_TRUE(screen->SetWindowedMode(engine->m_drivers[0], window, kW, kH, true));
    ID3DDevice* d = screen->m_currentDevice->m_device;
    ASSERT_EQ(d->SetViewport(D3DVIEWPORT7{0, 0, kW, kH, 0.0f, 1.0f}), D3D_OK);
    ASSERT_EQ(d->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0x204060, 1.0f, 0), D3D_OK);

    // A font of known glyphs: 'A' is 3 wide, its pixel (x, y) lit when x + y + 65 is odd.
    CE3DFont* font = new CE3DFont(screen);
    std::vector<uint8_t> record = CompiledFonts_Record(CompiledFonts_PatternFont("Pattern", 5, false));
    size_t at = 0;
    ASSERT_TRUE(font->Decode([&](void* buf, size_t n) {
        n = std::min(n, record.size() - at);
        std::memcpy(buf, record.data() + at, n);
        at += n;
        return n;
    }));

    CE3DSurface* back = screen->m_backBuffer;
    ASSERT_TRUE(back->LockToRead());
    // The locked memory holds the 3D image.
    uint32_t v;
    std::memcpy(&v, back->Bits() + 30 * back->Pitch() + 30 * 4, 4);
    EXPECT_EQ(v & 0xFFFFFF, 0x204060u);
    EXPECT_TRUE(back->DrawFilledRect(4, 4, 11, 9, 255, 0, 0));
    back->SetFont(font);
    EXPECT_EQ(back->DrawGlyphs("AA", 40, 20, 255, 255, 0, true, false, 0, false), 2);
    back->Unlock();

    DDraw_GLCapturePresent(true);
    screen->Present();
    DDraw_GLCapturePresent(false);
    int w = 0, h = 0;
    std::vector<uint32_t> shown = DDraw_GLCapturedPresent(&w, &h);
    ASSERT_GE(w, kW);
    ASSERT_GE(h, kH);
    auto px = [&](int x, int y) { return shown[size_t(y) * size_t(w) + size_t(x)] & 0xFFFFFF; };
    EXPECT_EQ(px(60, 50), 0x204060u);
    for (int y = 4; y <= 9; ++y)
        for (int x = 4; x <= 11; ++x) ASSERT_EQ(px(x, y), 0xFF0000u) << x << "," << y;
    EXPECT_EQ(px(12, 9), 0x204060u);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 6; ++x) {
            const bool lit = (x % 3 + y + 'A') % 2 == 1;
            ASSERT_EQ(px(40 + x, 20 + y), lit ? 0xFFFF00u : 0x204060u) << x << "," << y;
        }

    engine.reset();  // the engine deletes its screens
    delete window;
}

}  // namespace
