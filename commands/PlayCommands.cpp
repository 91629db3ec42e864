#include "commands/PlayCommands.h"

#include "app/Game.h"
#include "console/CommandInterpreter.h"
#include "console/CommandTable.h"
#include "world/GameScene.h"
#include "world/InterfaceFields.h"
#include "world/PhysicsEngine.h"
#include "world/Player.h"
#include "world/Unit.h"
#include "world/UnitOrder.h"

namespace {
CGameScene* Scene(CConsoleCommand* record) {
    CGame* game = record->GetOwner() ? record->GetOwner() : g_pGame;
    return game ? game->GameScene() : nullptr;
}

int Count(SCommandArgs* args) {
    return args ? args->count : 0;
}

void Cmd_SelectAllUnits(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    CGameScene* scene = Scene(record);
    if (file || !scene) return;
    CPlayer* local = scene->LocalPlayer();
    for (CUnit* u = scene->m_units; u; u = u->m_unitNext)
        if (local && u->m_owner == local && !(u->m_stateA & CTessarakObject::kA_Selected))
            u->HandleMessage(CTessarakObject::kMsgSelect, 0);
    if (SInterfaceFields* ui = GameHost() ? GameHost()->InterfaceFields() : nullptr)
        ui->m_selectionChanged = 1;
}

void Cmd_AddCustomizedControl(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CGameScene* scene = Scene(record);
    int32_t mapId = 0;
    if (file || !scene || Count(args) != 1 || !args->arg[0].GetInt(mapId)) return;
    for (CUnit* u = scene->m_units; u; u = u->m_unitNext)
        if (u->m_mapId == mapId) u->m_scriptControl = 1;
}

// The orders of the map's scripts go straight into the units' queues on
// every machine that runs the script (every machine runs the map's scripts
// alike); the queue sends each when its turn comes. They count as given on
// this machine, so a map export writes them again.
void Cmd_AddMoveOrder(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CGameScene* scene = Scene(record);
    int32_t mapId = 0, force = 0;
    float x = 0.0f, y = 0.0f, z = 0.0f;
    if (file || !scene || Count(args) != 5 || !args->arg[0].GetInt(mapId)) return;
    // A value that is not a number counts as 0.
    args->arg[1].GetFloat(x);
    args->arg[2].GetFloat(y);
    args->arg[3].GetFloat(z);
    args->arg[4].GetInt(force);
    for (CUnit* u = scene->m_units; u; u = u->m_unitNext) {
        if (u->m_mapId != mapId || !u->m_orderList) continue;
        CMoveOrder* move = new CMoveOrder(u->m_orderList, nullptr, u, x, z, force != 0 ? 1 : 0);
        move->m_target[1] = move->m_destination[1] = y;
        move->m_issuedHere = 1;
        u->m_scriptControl = 1;
    }
}

void Cmd_AddPatrolOrder(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CGameScene* scene = Scene(record);
    int32_t mapId = 0;
    float x = 0.0f, z = 0.0f;
    if (file || !scene || Count(args) != 3 || !args->arg[0].GetInt(mapId)) return;
    args->arg[1].GetFloat(x);
    args->arg[2].GetFloat(z);
    for (CUnit* u = scene->m_units; u; u = u->m_unitNext) {
        if (u->m_mapId != mapId || !u->m_orderList) continue;
        CPatrolOrder* patrol = new CPatrolOrder(u->m_orderList, nullptr, u);
        patrol->m_target[0] = patrol->m_destination[0] = x;
        patrol->m_target[2] = patrol->m_destination[2] = z;
        patrol->m_issuedHere = 1;
        u->m_scriptControl = 1;
    }
}
}  // namespace

void RegisterPlayCommands(CCommandInterpreter* ip) {
    const SCommandRow orders[] = {
        SCommandRow::Function("SelectAllUnits", Cmd_SelectAllUnits, "Selects all units", "SelectAllUnits();")
            .Mask(4),
        SCommandRow::Function("AddCustomizedControl", Cmd_AddCustomizedControl,
                              "AddCustomizedControl [MAP_ID]", "AddCustomizedControl")
            .MapScript()
            .Usage("AddCustomizedControl(int MapId);"),
        SCommandRow::Function("AddMoveOrder", Cmd_AddMoveOrder,
                              "AddMoveOrder [MAP_ID] [X] [Y] [Z] [FORCEMOVE]", "AddMoveOrder")
            .MapScript()
            .Usage("AddMoveOrder(int MapId, float X, float Y, float Z, int ForceMove);"),
        SCommandRow::Function("AddPatrolOrder", Cmd_AddPatrolOrder, "AddPatrolOrder [MAP_ID] [X] [Z]",
                              "AddPatrolOrder")
            .MapScript()
            .Usage("AddPatrolOrder(int MapId, float X, float Z);"),
    };
    CommandTable_Register(ip, orders);
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
