// The display choice of the game view: driver by name, mode by size, bit
// depth and refresh rate.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <vector>

#include "app/GameView.h"
#include "e3d/Engine.h"

namespace {

struct Driver {
    SDirectDrawDesc desc;
    std::vector<DDSURFACEDESC2> modes;
    std::vector<DDSURFACEDESC2*> pointers;
    Driver(const char* name, std::initializer_list<std::array<int, 4>> list) {
        std::snprintf(desc.driverName, sizeof desc.driverName, "%s", name);
        for (const auto& m : list) {
            DDSURFACEDESC2 d;
            d.dwWidth = m[0];
            d.dwHeight = m[1];
            d.ddpfPixelFormat.dwRGBBitCount = m[2];
            d.dwRefreshRate = m[3];
            modes.push_back(d);
        }
        for (auto& m : modes) pointers.push_back(&m);
        desc.modes = pointers.data();
        desc.modeCount = static_cast<int>(modes.size());
    }
    ~Driver() { desc.modes = nullptr; }
};

}  // namespace

TEST(GameViewChoice, Driver) {
    Driver a("display", {}), b("second", {});
    SDirectDrawDesc* list[] = {&a.desc, &b.desc};
    EXPECT_EQ(GameView_ChooseDriver(list, 2, "SECOND"), &b.desc);
    EXPECT_EQ(GameView_ChooseDriver(list, 2, "none such"), &a.desc);
    EXPECT_EQ(GameView_ChooseDriver(list, 2, nullptr), &a.desc);
    EXPECT_EQ(GameView_ChooseDriver(list, 0, "display"), nullptr);
}

TEST(GameViewChoice, Modes) {
    Driver d("display", {{800, 600, 16, 60},
                         {1024, 768, 32, 60},
                         {1024, 768, 32, 75},
                         {1024, 768, 32, 85},
                         {640, 480, 32, 100},
                         {1280, 1024, 32, 60}});
    struct {
        int w, h, bits, rate;
        bool found;
        unsigned outW, outH, outRate;
    } cases[] = {
        {1024, 768, 32, 75, true, 1024, 768, 75},  // the wanted rate
        {1024, 768, 32, 80, true, 1024, 768, 75},  // the highest not above it
        {1024, 768, 32, 0, true, 1024, 768, 0},    // the highest (85), stored as the default
        {640, 480, 32, 60, true, 640, 480, 0},     // only too fast: the size wins, at the default rate
        {800, 600, 16, 60, true, 800, 600, 60},
        {800, 600, 24, 0, false, 0, 0, 0},
        {1920, 1080, 32, 60, true, 1280, 1024, 60},
    };
    for (const auto& c : cases) {
        DDSURFACEDESC2 out;
        int index = -1;
        bool found = GameView_ChooseMode(d.desc, c.w, c.h, c.bits, c.rate, out, &index);
        EXPECT_EQ(found, c.found) << c.w << "x" << c.h << "x" << c.bits << "@" << c.rate;
        if (!found || !c.found) continue;
        EXPECT_EQ(out.dwWidth, c.outW) << c.w << "x" << c.h << "@" << c.rate;
        EXPECT_EQ(out.dwHeight, c.outH) << c.w << "x" << c.h << "@" << c.rate;
        EXPECT_EQ(out.dwRefreshRate, c.outRate) << c.w << "x" << c.h << "@" << c.rate;
    }
    DDSURFACEDESC2 out;
    int index = -1;
    GameView_ChooseMode(d.desc, 1024, 768, 32, 0, out, &index);
    EXPECT_EQ(index, 3);  // the 85 Hz mode, whose rate the copy drops

    // 800x600 is there only at 16 bits: the nearest size that has 32.
    Driver two("display", {{800, 600, 16, 60}, {1024, 768, 32, 60}});
    ASSERT_TRUE(GameView_ChooseMode(two.desc, 800, 600, 32, 0, out, &index));
    EXPECT_EQ(out.dwWidth, 1024u);
    EXPECT_EQ(out.dwHeight, 768u);
}
