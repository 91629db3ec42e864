#include "commands/PlayCommands.h"

#include "app/Game.h"
#include "console/CommandInterpreter.h"
#include "console/CommandTable.h"
#include "world/PhysicsEngine.h"

void RegisterPlayCommands(CCommandInterpreter* ip) {
    CGame* game = ip->GetOwner() ? ip->GetOwner() : g_pGame;
    CPhysicsEngine* pe = game ? game->PhysicsEngine() : nullptr;
    if (!pe) return;
    const SCommandRow rows[] = {
        SCommandRow::Float("pe_SpringConstant", &pe->m_springConstant, 0.001f, 1e32f,
                           "Sets the spring constant for tow cables", "pe_SpringConstant(float Constant);"),
        SCommandRow::Float("pe_MaxGridMemberMovement", &pe->m_maxGridMemberMovement, 0.001f, 1e32f,
                           "Sets the max force movement of a gridmember",
                           "pe_MaxGridMemberMovement(float Movement);"),
        SCommandRow::Float("pe_MaxTowObjectMovement", &pe->m_maxTowObjectMovement, 0.001f, 1e32f,
                           "Sets the max force movement of a gridmember",
                           "pe_MaxTowObjectMovement(float Movement);"),
    };
    CommandTable_Register(ip, rows);
}
