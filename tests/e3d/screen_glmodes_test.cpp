// Display mode changes on the OpenGL back end: windowed, resized, full
// screen and back; after each the device still draws and the picture reaches
// the CPU copy.
#include <gtest/gtest.h>

#include <cstring>

#include "e3d/E3D.h"
#include "e3d/Surface.h"
#include "platform/display/Display.h"
#include "tests/support/GLDisplay.h"

namespace {

struct SVertex {
    float x, y, z, rhw;
    uint32_t diffuse;
};

// Clears to blue, draws a red square in the top-left quarter, reads both back.
void ExpectDraws(CE3DScreen* screen) {
    ID3DDevice* d = screen->m_currentDevice ? screen->m_currentDevice->m_device : nullptr;
    ASSERT_NE(d, nullptr);
    int w = screen->m_width, h = screen->m_height;
    ASSERT_EQ(d->SetViewport(D3DVIEWPORT7{0, 0, uint32_t(w), uint32_t(h), 0.0f, 1.0f}), D3D_OK);
    ASSERT_EQ(d->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0x0000ff, 1.0f, 0), D3D_OK);
    ASSERT_EQ(d->BeginScene(), D3D_OK);
    float x1 = float(w / 2), y1 = float(h / 2);
    SVertex v[4] = {{0, 0, 0.5f, 1, 0xffff0000},
                    {x1, 0, 0.5f, 1, 0xffff0000},
                    {0, y1, 0.5f, 1, 0xffff0000},
                    {x1, y1, 0.5f, 1, 0xffff0000}};
    ASSERT_EQ(d->DrawPrimitive(D3DPT_TRIANGLESTRIP, D3DFVF_XYZRHW | D3DFVF_DIFFUSE, v, 4, 0), D3D_OK);
    ASSERT_EQ(d->EndScene(), D3D_OK);
    CE3DSurface* back = screen->m_backBuffer;
    ASSERT_EQ(back->m_width, w);
    ASSERT_TRUE(back->LockToRead());
    auto at = [&](int x, int y) {
        if (back->m_bytesPerPixel == 2) {
            uint16_t p;
            memcpy(&p, back->Bits() + y * back->Pitch() + x * 2, 2);
            return p == 0xf800 ? 0xff0000u : p == 0x001f ? 0x0000ffu : uint32_t(p);
        }
        uint32_t p;
        memcpy(&p, back->Bits() + y * back->Pitch() + x * 4, 4);
        return p & 0xffffff;
    };
    EXPECT_EQ(at(2, 2), 0xff0000u);
    EXPECT_EQ(at(w - 3, h - 3), 0x0000ffu);
    back->Unlock();
    screen->Present();
}

TEST(ScreenGLModes, WindowedResizeFullScreenAndBackStillDraw) {
    CDisplayWindow* window = CDisplayWindow::Create("Tessarak", 640, 480);
    if (!window || !window->HasGL()) {
        delete window;
        TEST_END_WITHOUT_GL();
    }
    {
        CE3DEngine engine;
        ASSERT_GE(engine.m_driverCount, 1);
        SDirectDrawDesc* driver = engine.m_drivers[0];
        CE3DScreen* screen = new CE3DScreen(&engine, driver);
        ASSERT_FALSE(screen->m_notCreated);
        ASSERT_TRUE(screen->SetWindowedMode(driver, window, 640, 480, true));
        ExpectDraws(screen);
        int cw = 0, ch = 0;
        window->GetClientSize(&cw, &ch);
        EXPECT_EQ(cw, 640);
        EXPECT_EQ(ch, 480);

        ASSERT_TRUE(screen->SetWindowedMode(driver, window, 800, 600, true));
        EXPECT_EQ(screen->m_width, 800);
        ExpectDraws(screen);

        // A size no display offers falls back to 640 x 480, which still draws.
        ASSERT_TRUE(screen->SetWindowedMode(driver, window, 40000, 30000, true));
        EXPECT_EQ(screen->m_width, 640);
        EXPECT_EQ(screen->m_height, 480);
        ExpectDraws(screen);

        // Full screen in a mode the driver lists (32 bits, then 16).
        for (uint32_t bits : {32u, 16u}) {
            DDSURFACEDESC2* mode = nullptr;
            for (int i = 0; i < driver->modeCount && !mode; ++i)
                if (driver->modes[i]->ddpfPixelFormat.dwRGBBitCount == bits) mode = driver->modes[i];
            ASSERT_NE(mode, nullptr);
            ASSERT_TRUE(screen->SetFullscreenMode(driver, window, *mode, true)) << bits;
            EXPECT_FALSE(screen->m_windowed);
            EXPECT_EQ(screen->m_width, int(mode->dwWidth));
            EXPECT_EQ(screen->m_backBuffer->m_desc.pixelFormat.bitCount, bits);
            ExpectDraws(screen);
        }
        // Given back to the desktop (the window lost the focus): the window
        // leaves full screen and the next flip finds the surfaces lost; the
        // mode set again draws as before.
        ASSERT_EQ(screen->m_ddraw->RestoreDisplayMode(), D3D_OK);
        EXPECT_FALSE(window->IsFullscreen());
        screen->Present();
        EXPECT_TRUE(screen->m_surfacesLost);
        DDSURFACEDESC2 again = *driver->modes[0];
        ASSERT_TRUE(screen->SetFullscreenMode(driver, window, again, true));
        EXPECT_FALSE(screen->m_surfacesLost);
        EXPECT_EQ(screen->m_ddraw->TestCooperativeLevel(), D3D_OK);
        ExpectDraws(screen);
        ASSERT_TRUE(screen->SetWindowedMode(driver, window, 640, 480, true));
        EXPECT_TRUE(screen->m_windowed);
        ExpectDraws(screen);
        EXPECT_EQ(screen->m_deviceCount, 3);
    }
    delete window;
}

TEST(ScreenGLModes, ANewWindowAfterTheFirstWasClosedStillDraws) {
    for (int round = 0; round < 2; ++round) {
        CDisplayWindow* window = CDisplayWindow::Create("Tessarak", 320, 240);
        if (!window || !window->HasGL()) {
            delete window;
            TEST_END_WITHOUT_GL();
        }
        {
            CE3DEngine engine;
            CE3DScreen* screen = new CE3DScreen(&engine, engine.m_drivers[0]);
            ASSERT_TRUE(screen->SetWindowedMode(engine.m_drivers[0], window, 320, 240, true)) << round;
            ExpectDraws(screen);
        }
        delete window;
    }
}

}  // namespace
