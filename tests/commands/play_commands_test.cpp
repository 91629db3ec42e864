// The physics settings through the game's interpreter: the pe_ variables are
// bound to the game's physics engine and kept within their range.
#include <gtest/gtest.h>

#include "app/Game.h"
#include "app/GameClock.h"
#include "app/GameRoles.h"
#include "app/GameServices.h"
#include "app/InputManager.h"
#include "commands/CommandAreas.h"
#include "console/CommandInterpreter.h"
#include "console/ConsoleCommand.h"
#include "netgame/NetGame.h"
#include "ui/Interface.h"
#include "world/PhysicsEngine.h"
#include "world/World.h"

TEST(PlayCommandsTest, PhysicsVariablesAreTheEnginesSettings) {
    CGame game{nullptr, "No datafile"};
    game.SetClock(new CGameClock);
    game.SetNetGame(new CNetGame(game.Roles().Net()));
    game.SetInterface(new CInterface(game.Roles().Interface()));
    game.CreateWorld(nullptr);
    CPhysicsEngine* physics = &game.World()->Physics();
    Commands_Install();
    Game_CreateInput(&game);
    CCommandInterpreter* ip = game.InputManager()->Interpreter();
    ip->RegisterAllCommands();

    ip->Execute(false, "pe_MaxGridMemberMovement(0.5); pe_MaxTowObjectMovement(2); pe_SpringConstant(0.3);");
    EXPECT_EQ(physics->m_maxGridMemberMovement, 0.5f);
    EXPECT_EQ(physics->m_maxTowObjectMovement, 2.0f);
    EXPECT_EQ(physics->m_springConstant, 0.3f);
    ip->Execute(false, "pe_MaxGridMemberMovement(0);");  // below its minimum of 0.001
    EXPECT_GE(physics->m_maxGridMemberMovement, 0.001f);
    CConsoleCommand* c = ip->GetCommand("pe_MaxTowObjectMovement");
    ASSERT_NE(c, nullptr);
    EXPECT_STREQ(c->GetDescription(), "Sets the max force movement of a gridmember");

    Game_DeleteInput(&game);
    game.DeleteWorld();
    delete game.Interface();
    delete game.NetGame();
    delete game.Clock();
    game.SetInterface(nullptr);
    game.SetNetGame(nullptr);
    game.SetClock(nullptr);
}
