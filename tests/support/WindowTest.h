// A test of the game in a real window: skipped without Xvfb, xdotool and
// ImageMagick; it has an installation of its own (dir) and an X server of
// its own (x), started.
#pragma once

#include <gtest/gtest.h>

#include "tests/support/Installation.h"
#include "tests/support/TempDir.h"
#include "tests/support/XServer.h"

class CWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!Test_OnPath("Xvfb") || !Test_OnPath("xdotool") || !Test_OnPath("import"))
            GTEST_SKIP() << "needs Xvfb, xdotool and ImageMagick";
        ASSERT_TRUE(Test_CopyInstallation(dir)) << "the game program is not built";
        ASSERT_TRUE(x.Start());
    }

    CTempDir dir;
    CTestXServer x;
};
