// The simulation runs headless: the world and the scene tree it moves its
// objects in are made, ticked and cleared with no display at all. This
// program links the world library and the engine below it, nothing of the
// game object, the interface or the programs; it takes the display away from
// itself first, and checks at the end that nothing started the video (every
// window and GL context of the platform starts it).
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "e3d/Frame.h"
#include "platform/display/Display.h"
#include "tests/support/TestGameHost.h"
#include "world/ExplosionManager.h"
#include "world/GameScene.h"
#include "world/PhysicsEngine.h"
#include "world/World.h"
#include "world/WorldGrid.h"

TEST(HeadlessWorld, TicksWithoutADisplay) {
    // No display to open; a start of the video would still succeed on the
    // offscreen driver, and so show in the driver name at the end.
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    setenv("SDL_VIDEODRIVER", "offscreen", 1);

    // The world's roles only (no game, no session, no interface), and the
    // world made with them.
    CTestGameHost host;
    CE3DFrame root(nullptr);
    CWorld world(host.Roles());
    world.SetRootFrame(&root);
    CGameScene& scene = world.Scene();
    CWorldGrid& grid = world.Grid();
    CExplosionManager& explosions = world.Explosions();

    // A map's bounds, a scene tree with an object in it, turns of the world.
    grid.SetMapRect(-32, 32, 32, -32);
    grid.Reset();
    CE3DFrame* object = new CE3DFrame(&root);
    for (int tick = 0; tick < 30; ++tick) {
        object->SetPosition((float)tick * 0.5f, 0.0f, 2.0f);
        world.Tick(STurn(), CTurnOrders());
        explosions.Update(1.0f / 60.0f, 0.0f, 0.0f);
        root.Scene()->StoreTick();
        host.gameTime += 79545;
    }
    float x = 0, y = 0, z = 0;
    object->GetPosition(&x, &y, &z);
    EXPECT_FLOAT_EQ(x, 14.5f);
    EXPECT_EQ(scene.m_frameCounter, 30u);
    EXPECT_EQ(grid.m_cellMap.Width(), 64);

    scene.Clear();
    explosions.Restart();
    EXPECT_EQ(scene.m_frameCounter, 0u);

    // Nothing above opened a window, made a GL context or started the video.
    EXPECT_STREQ(Display_DriverName(), "");
}
