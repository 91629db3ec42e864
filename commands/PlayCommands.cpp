#include "commands/PlayCommands.h"

#include "app/Game.h"
#include "app/GameRoles.h"
#include "commands/CommandContext.h"
#include "commands/MissionCommands.h"
#include "console/CommandInterpreter.h"
#include "console/CommandTable.h"
#include "ui/Interface.h"
#include "world/PhysicsEngine.h"
#include "world/World.h"
#include "world/WorldCommands.h"

namespace {
// The world's order interface (null without a world).
CWorldCommands* Commands(CConsoleCommand* record) {
    CGame* game = GameOf(record);
    return game && game->World() ? &game->World()->Commands() : nullptr;
}

int Count(SCommandArgs* args) {
    return args ? args->count : 0;
}

void Cmd_SelectAllUnits(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    CWorldCommands* commands = Commands(record);
    if (file || !commands) return;
    commands->SelectAll();
    if (CInterface* ui = GameOf(record)->Interface()) ui->m_fields.m_selectionChanged = 1;
}

void Cmd_AddCustomizedControl(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CWorldCommands* commands = Commands(record);
    int32_t mapId = 0;
    if (file || !commands || Count(args) != 1 || !args->arg[0].GetInt(mapId)) return;
    commands->ScriptControl(mapId);
}

// The orders of the map's scripts go straight into the units' queues on
// every machine that runs the script (every machine runs the map's scripts
// alike); the queue sends each when its turn comes. They count as given on
// this machine, so a map export writes them again.
void Cmd_AddMoveOrder(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CWorldCommands* commands = Commands(record);
    int32_t mapId = 0, force = 0;
    float x = 0.0f, y = 0.0f, z = 0.0f;
    if (file || !commands || Count(args) != 5 || !args->arg[0].GetInt(mapId)) return;
    // A value that is not a number counts as 0.
    args->arg[1].GetFloat(x);
    args->arg[2].GetFloat(y);
    args->arg[3].GetFloat(z);
    args->arg[4].GetInt(force);
    commands->ScriptMove(mapId, x, y, z, force != 0);
}

// AddAttackOrder(MAP_ID, TARGET_MAP_ID): the armed units of the map id
// attack the object of the target's map id, behind their orders (a
// mission's attackers, a scripted defence).
void Cmd_AddAttackOrder(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CWorldCommands* commands = Commands(record);
    int32_t mapId = 0, target = 0;
    if (file || !commands || Count(args) != 2 || !args->arg[0].GetInt(mapId) || !args->arg[1].GetInt(target))
        return;
    if (!commands->ScriptAttack(mapId, target))
        GameOf(record)->Roles().Console().Printf("AddAttackOrder : No object has the map ID %d", (int)target);
}

void Cmd_AddPatrolOrder(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CWorldCommands* commands = Commands(record);
    int32_t mapId = 0;
    float x = 0.0f, z = 0.0f;
    if (file || !commands || Count(args) != 3 || !args->arg[0].GetInt(mapId)) return;
    args->arg[1].GetFloat(x);
    args->arg[2].GetFloat(z);
    commands->ScriptPatrol(mapId, x, z);
}
}  // namespace

void RegisterPlayCommands(CCommandInterpreter* ip) {
    const SCommandRow orders[] = {
        SCommandRow::Function("SelectAllUnits", Cmd_SelectAllUnits, "Selects all units", "SelectAllUnits();")
            .Mask(4),
        SCommandRow::Function("AddCustomizedControl", Cmd_AddCustomizedControl,
                              "AddCustomizedControl [MAP_ID]", "AddCustomizedControl")
            .MapScript(),
        SCommandRow::Function("AddMoveOrder", Cmd_AddMoveOrder,
                              "AddMoveOrder [MAP_ID] [X] [Y] [Z] [FORCEMOVE]", "AddMoveOrder")
            .MapScript(),
        SCommandRow::Function("AddPatrolOrder", Cmd_AddPatrolOrder, "AddPatrolOrder [MAP_ID] [X] [Z]",
                              "AddPatrolOrder")
            .MapScript(),
        SCommandRow::Function("AddAttackOrder", Cmd_AddAttackOrder, "AddAttackOrder [MAP_ID] [TARGET_MAP_ID]",
                              "AddAttackOrder")
            .MapScript(),
    };
    CommandTable_Register(ip, orders);
    RegisterMissionCommands(ip);
    // The physics settings: the physics engine's own.
    CGame* game = GameOf(ip);
    if (CWorld* world = game ? game->World() : nullptr) world->Physics().RegisterSettings(ip);
}
