// Tests that draw through OpenGL skip only where no display server runs at
// all. Under an X server (the suite runs under Xvfb) a window without its
// OpenGL context is a fault to report, not a reason to skip the pictures.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>

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
