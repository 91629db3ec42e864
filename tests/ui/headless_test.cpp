// The interface runs without a display where it only steers the world: made
// with no roles but its quiet defaults, given a world, it selects with a box
// and orders with a right click through the world's order interface, and its
// camera follows a unit. This program links the interface library and what
// lies below it (the network game, the world, the engine), nothing of the
// game object, the computer players or the programs; it takes the display
// away from itself first and checks at the end that nothing started the
// video.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "e3d/View.h"
#include "e3d/Viewport.h"
#include "platform/d3d/D3DDeviceState.h"
#include "platform/display/Display.h"
#include "tests/support/UnitWorld.h"
#include "ui/Interface.h"
#include "world/Unit.h"
#include "world/UnitOrder.h"

TEST(HeadlessInterface, SelectsAndOrdersWithoutADisplay) {
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    setenv("SDL_VIDEODRIVER", "offscreen", 1);

    CUnitWorld w;
    std::string error;
    ASSERT_TRUE(w.LoadDemoTemplates(error)) << error;
    w.players->m_local = w.red;
    CUnit* tank = w.Spawn("Granite_LightTank", -6.0f, 0.0f, w.red);
    CUnit* enemy = w.Spawn("Coral_LightTank", 6.0f, 6.0f, w.blue);
    ASSERT_TRUE(tank && enemy);

    CInterface ui;
    ui.SetWorld(&w.world);
    // A viewport of the game view's shape: its rays and projection are
    // arithmetic, no display behind them.
    CE3DViewport view(nullptr);
    view.SetRect(0, 0, 640, 480);
    view.m_view->LookAt(D3DVECTOR{0.0f, 30.0f, -20.0f}, D3DVECTOR{0.0f, 0.0f, 0.0f}, 0.0f);
    view.m_view->SetProjection(1.0f, 200.0f, 1.0471976f, 640.0f / 480.0f, true);
    view.m_combined = D3D_Multiply(view.m_view->view, view.m_view->projection);
    ui.m_orders.SetViewport(&view);
    auto pixel = [&](float x, float z) {
        int32_t p[2] = {0, 0};
        view.ProjectPoint(p, D3DVECTOR{x, 0.0f, z});
        return std::pair<int32_t, int32_t>(p[0], p[1]);
    };

    // A box over the whole map takes the own tank, never the enemy's.
    auto a = pixel(-20.0f, -20.0f), b = pixel(20.0f, 20.0f);
    ui.m_fields.m_cursorX = b.first;
    ui.m_fields.m_cursorY = b.second;
    ASSERT_TRUE(ui.m_orders.IssueOrder(-20.0f, -20.0f, 20.0f, 20.0f, std::min(a.first, b.first),
                                       std::min(a.second, b.second), std::max(a.first, b.first),
                                       std::max(a.second, b.second), 1, false, 0, false));
    EXPECT_TRUE(tank->m_stateA & CTessarakObject::kA_Selected);
    EXPECT_FALSE(enemy->m_stateA & CTessarakObject::kA_Selected);
    EXPECT_EQ(ui.m_fields.m_singleUnit, tank->m_objectId);

    // A right click on the ground: the move goes out as the session's order
    // message, and the world's next turn takes it.
    auto g = pixel(-6.0f, -10.0f);
    ui.m_fields.m_cursorX = g.first;
    ui.m_fields.m_cursorY = g.second;
    ASSERT_TRUE(ui.m_orders.IssueOrder(-6.0f, -10.0f, -6.0f, -10.0f, g.first, g.second, g.first, g.second, 2,
                                       false, 0, false));
    EXPECT_GE(w.Run(30), 1u);
    EXPECT_LT(tank->m_position[2], -1.0f);

    // The camera follows the tank where it went.
    ui.m_camera.m_followed = tank->m_objectId;
    ui.m_camera.Step(0.0f, &w.world);
    EXPECT_FLOAT_EQ(ui.m_camera.GroundX(), tank->m_position[0]);
    EXPECT_FLOAT_EQ(ui.m_camera.GroundZ(), tank->m_position[2]);

    // Nothing above opened a window, made a GL context or started the video.
    EXPECT_STREQ(Display_DriverName(), "");
}
