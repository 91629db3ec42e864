// The game's unit files: a game loads the build's demo project from its
// root's Units folder and derives the templates' sizes; a unit source that
// does not load leaves the game at the interface.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "app/Game.h"
#include "app/GameRoles.h"
#include "netgame/NetGame.h"
#include "world/GameScene.h"
#include "world/ObjectTemplate.h"

TEST(UnitFiles, TheGameLoadsItsUnitsAndSaysWhenItCannot) {
    const char* build = std::getenv("TESSARAK_BUILD");
    ASSERT_NE(build, nullptr) << "run through ctest";
    CGame game{nullptr, "No datafile"};
    game.SetNetGame(new CNetGame(game.Roles().Net()));
    game.CreateWorld(nullptr);
    game.SetRootDir((std::string("Z:") + build + "/install/Tessarak").c_str());
    CGameScene* scene = game.Scene();
    game.NetGame()->RestartFrameCountdown(-1.0f);

    ASSERT_TRUE(game.LoadUnitFiles());
    CTessarakObjectTemplate* tank = scene->FindTemplate("granite_lighttank");
    ASSERT_NE(tank, nullptr);
    EXPECT_GT(tank->m_collisionRadius, 0.5f);
    EXPECT_NE(scene->FindTemplate("Coral_Headquarters"), nullptr);
    EXPECT_EQ(game.NetGame()->FrameCountdown(), game.FrameTimeout());
    EXPECT_EQ(game.GuiWord(), 0);

    // A unit source elsewhere that holds no project.
    scene->m_unitSource = (std::string("Z:") + build + "/no-such-folder").c_str();
    EXPECT_FALSE(game.LoadUnitFiles());
    EXPECT_EQ(game.GuiWord(), 1);
    EXPECT_TRUE(scene->m_unitSource.IsEmpty());
    EXPECT_EQ(scene->FindTemplate("Granite_LightTank"), nullptr);
    // The root's folder again (an empty source names it).
    EXPECT_TRUE(game.LoadUnitFiles());
    EXPECT_NE(scene->FindTemplate("Granite_LightTank"), nullptr);
}
