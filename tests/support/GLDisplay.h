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
