// The main window on whatever video driver the environment gives (Xvfb in
// CI, offscreen elsewhere): its smallest size.
#include <gtest/gtest.h>

#include <cstdlib>

#include "app/MainApp.h"
#include "platform/display/Display.h"

namespace {
class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("DISPLAY")) setenv("SDL_VIDEODRIVER", "offscreen", 0);
        ASSERT_TRUE(window.Create()) << "no window could be had";
    }
    CMainDialog window;
};
}  // namespace

TEST_F(MainWindowTest, NeverSmallerThanOneHundredPixels) {
    CDisplayWindow* w = window.Window();
    int minW = 0, minH = 0;
    w->GetMinimumSize(&minW, &minH);
    EXPECT_EQ(minW, 100);
    EXPECT_EQ(minH, 100);
    // A smaller size is widened to the minimum, across and down separately.
    const struct {
        int w, h, expectW, expectH;
    } cases[] = {{40, 30, 100, 100}, {40, 300, 100, 300}, {300, 99, 300, 100}, {100, 100, 100, 100}};
    for (const auto& c : cases) {
        ASSERT_TRUE(w->SetWindowed(0, c.w, c.h));
        int cw = 0, ch = 0;
        w->GetClientSize(&cw, &ch);
        EXPECT_EQ(cw, c.expectW) << c.w << " x " << c.h;
        EXPECT_EQ(ch, c.expectH) << c.w << " x " << c.h;
    }
}
