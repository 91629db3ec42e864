// Tests that draw through OpenGL skip only where no display server runs at
// all. Under an X server (the suite runs under Xvfb) a window without its
// OpenGL context is a fault to report, not a reason to skip the pictures.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

inline bool Test_NoDisplayServer() {
    const char* x = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return !(x && *x) && !(wayland && *wayland);
}

// Ends the current test when no OpenGL window could be had.
#define TEST_END_WITHOUT_GL()                                                              \
    do {                                                                                   \
        if (Test_NoDisplayServer()) GTEST_SKIP() << "no display server here";              \
        FAIL() << "a display server runs, but no OpenGL window or screen could be opened"; \
    } while (0)

#include "e3d/Engine.h"
#include "e3d/Screen.h"
#include "e3d/Surface.h"
#include "platform/display/Display.h"

// A window with an engine screen opened windowed on it through OpenGL, made
// once for a test suite. screen stays null where none could be had.
struct STestGLScreen {
    CDisplayWindow* window = nullptr;
    CE3DEngine* engine = nullptr;
    CE3DScreen* screen = nullptr;

    void Open(int width, int height) {
        window = CDisplayWindow::Create("Tessarak", width, height);
        if (!window || !window->HasGL()) return;
        engine = new CE3DEngine;
        if (engine->m_driverCount < 1) return;
        screen = new CE3DScreen(engine, engine->m_drivers[0]);
        if (!screen->SetWindowedMode(engine->m_drivers[0], window, width, height, true)) {
            delete engine;
            engine = nullptr;
            screen = nullptr;
        }
    }
    void Close() {
        delete engine;  // the screen with it
        engine = nullptr;
        screen = nullptr;
        delete window;
        window = nullptr;
    }
};

// The fixture of a suite of picture tests: one window of width x height with
// its engine and screen for the whole suite (screen null where none could be
// had; SetUp then ends the test with TEST_END_WITHOUT_GL).
template <int Width, int Height>
class TTestGLPictures : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        gl.Open(Width, Height);
        engine = gl.engine;
        screen = gl.screen;
    }
    static void TearDownTestSuite() {
        gl.Close();
        engine = nullptr;
        screen = nullptr;
    }

    static STestGLScreen gl;
    static CE3DEngine* engine;
    static CE3DScreen* screen;
};
template <int Width, int Height>
STestGLScreen TTestGLPictures<Width, Height>::gl;
template <int Width, int Height>
CE3DEngine* TTestGLPictures<Width, Height>::engine = nullptr;
template <int Width, int Height>
CE3DScreen* TTestGLPictures<Width, Height>::screen = nullptr;

// A pixel of a picture read back: red, green and blue from 0 to 255 (-1 each
// for a pixel that is not there).
struct SRGB {
    int r, g, b;
};

inline SRGB Test_RGB(uint32_t xrgb) {
    return SRGB{int(xrgb >> 16 & 0xff), int(xrgb >> 8 & 0xff), int(xrgb & 0xff)};
}

// The back buffer's rows top down (X8R8G8B8, width x height of them).
inline std::vector<uint32_t> Test_BackPicture(CE3DScreen* screen, int width, int height) {
    CE3DSurface* back = screen->m_backBuffer;
    std::vector<uint32_t> out(size_t(width) * size_t(height));
    EXPECT_TRUE(back->LockToRead());
    for (int y = 0; y < height; ++y)
        std::memcpy(&out[size_t(y) * size_t(width)], back->Bits() + y * back->Pitch(), size_t(width) * 4);
    back->Unlock();
    return out;
}

inline SRGB Test_BackPixel(CE3DScreen* screen, int x, int y) {
    CE3DSurface* back = screen->m_backBuffer;
    EXPECT_TRUE(back->LockToRead());
    uint32_t v;
    std::memcpy(&v, back->Bits() + y * back->Pitch() + x * 4, 4);
    back->Unlock();
    return Test_RGB(v);
}

// Each channel within tol of the value wanted (worked out by a formula, so
// not always whole).
inline ::testing::AssertionResult Test_NearRGB(SRGB p, double r, double g, double b, int tol) {
    auto off = [&](int got, double want) { return std::fabs(got - want) > tol + 0.5; };
    if (off(p.r, r) || off(p.g, g) || off(p.b, b))
        return ::testing::AssertionFailure()
               << "pixel (" << p.r << ", " << p.g << ", " << p.b << "), expected (" << r << ", " << g << ", "
               << b << ") within " << tol;
    return ::testing::AssertionSuccess();
}
#define EXPECT_RGB_NEAR(p, R, G, B, tol) EXPECT_TRUE(Test_NearRGB((p), (R), (G), (B), (tol)))
