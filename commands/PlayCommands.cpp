#include "commands/PlayCommands.h"

#include <vector>

#include "app/Game.h"
#include "commands/CommandArgs.h"
#include "commands/CommandContext.h"
#include "commands/MissionCommands.h"
#include "console/CommandInterpreter.h"
#include "console/CommandTable.h"
#include "ui/Interface.h"
#include "world/GameScene.h"
#include "world/PhysicsEngine.h"
#include "world/UnitOrder.h"
#include "world/World.h"
#include "world/WorldCommands.h"
#include "world/WorldQuery.h"

namespace {

// What every play command works on: the world and the interface of the
// game (either may be missing: the command then does nothing).
struct SPlay {
    CWorld* world = nullptr;
    CInterface* ui = nullptr;
    CWorldCommands* Commands() const { return world ? &world->Commands() : nullptr; }
};

SPlay Play(CConsoleCommand* record) {
    SPlay p;
    if (CGame* game = GameOf(record)) {
        p.world = game->World();
        p.ui = game->Interface();
    }
    return p;
}

// The panels show the selection as it is now.
void SelectionChanged(const SPlay& p) {
    if (!p.ui) return;
    SInterfaceFields& f = p.ui->m_fields;
    f.m_selectionChanged = 1;
    if (!p.world) return;
    const std::vector<int32_t> selected = p.world->Query().SelectedUnits();
    f.m_anyUnitSelected = selected.empty() ? 0 : 1;
    f.m_singleUnit = selected.size() == 1 ? selected[0] : -1;
}

// ---- the selection

void Cmd_UnselectAll(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    SPlay p = Play(record);
    if (file || !p.world) return;
    p.world->Commands().DeselectAll();
    if (p.ui) p.ui->m_fields.m_forcedAction = 0;
    SelectionChanged(p);
}

void Cmd_SelectAllUnits(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    SPlay p = Play(record);
    if (file || !p.world) return;
    p.world->Commands().SelectAll();
    SelectionChanged(p);
}

void Cmd_SelectSameSort(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    SPlay p = Play(record);
    if (file || !p.world) return;
    p.world->Commands().SelectSameTemplates();
    SelectionChanged(p);
}

void Cmd_SelectAllUnitsOnScreen(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    SPlay p = Play(record);
    if (!file && p.ui) p.ui->SelectUnitsOnScreen();
}

// ---- control groups: the group number (1 to 254) is the one argument.

bool GroupArg(CConsoleCommand* record, SCommandArgs* args, int32_t& group) {
    if (Args_Count(args) < 1) {
        Args_Error(record, "To few arguments");
        return false;
    }
    if (!Args_Int(args, 0, group)) {
        Args_Error(record, "Ivalid argument");
        return false;
    }
    if (group < 1 || group >= CGameScene::kGroupLists) {
        Args_Error(record, "Ivalid argument (a group is 1 to 254)");
        return false;
    }
    return true;
}

void Cmd_GroupSelected(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    SPlay p = Play(record);
    int32_t group = 0;
    if (file || !p.world) return;
    if (GroupArg(record, args, group)) p.world->Commands().AssignGroup(group);
    SelectionChanged(p);
}

void Cmd_JoinSelectedWithGroup(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    SPlay p = Play(record);
    int32_t group = 0;
    if (file || !p.world) return;
    if (GroupArg(record, args, group)) p.world->Commands().JoinGroup(group);
    SelectionChanged(p);
}

void Cmd_SelectGroup(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    SPlay p = Play(record);
    int32_t group = 0;
    if (file || !p.world || !GroupArg(record, args, group)) return;
    p.world->Commands().SelectGroup(group, 0);
    SelectionChanged(p);
    if (!p.ui) return;
    // A building being placed is given up; no forced order is left.
    if (p.ui->m_placeTemplate) {
        p.ui->m_placeTemplate = nullptr;
        p.ui->m_mode = 0;
    }
    p.ui->m_fields.m_forcedAction = 0;
}

// ---- the forced order modes: the next order of the mouse is of the type,
// while the precondition holds; the same mode again clears it.

template <uint32_t kOrder>
void Cmd_ForcedMode(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    SPlay p = Play(record);
    if (file || !p.world || !p.ui) return;
    const bool allowed = kOrder == CUnitOrder::kRepair ? p.world->Scene().HasSelectedUnitWithFlags()
                                                       : !p.world->Query().SelectedUnits().empty();
    if (!allowed) return;
    int32_t& forced = p.ui->m_fields.m_forcedAction;
    forced = forced == static_cast<int32_t>(kOrder) ? 0 : static_cast<int32_t>(kOrder);
}

// ---- orders of the selected units: each goes to every machine as a game
// message, from the owner's machine only.

void Cmd_KillSelected(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    SPlay p = Play(record);
    if (!file && p.world) p.world->Commands().Kill(p.world->Query().SelectedObjects(), false);
}

void Cmd_StopSelected(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    SPlay p = Play(record);
    if (file || !p.world) return;
    p.world->Commands().Stop(p.world->Query().SelectedUnits());
    SelectionChanged(p);
}

void Cmd_ReleaseTowConnections(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    SPlay p = Play(record);
    if (!file && p.world) p.world->Commands().ReleaseTow(p.world->Query().SelectedUnits());
}

// The first selected unit decides: on, every selected unit goes off; off,
// every one goes on.
void Cmd_OnOff(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    SPlay p = Play(record);
    if (file || !p.world) return;
    const std::vector<int32_t> selected = p.world->Query().SelectedUnits();
    SUnitView first;
    if (selected.empty() || !p.world->Query().Unit(selected[0], &first)) return;
    p.world->Commands().SwitchOn(selected, !first.on);
}

// ---- the camera

// MoveCameraTo(0): the local player's headquarters (the first unit of its
// race's start unit); 1 to 254: the script point of that number.
void Cmd_MoveCameraTo(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    SPlay p = Play(record);
    if (file || !p.world || !p.ui) return;
    int32_t position = 0;
    if (Args_Count(args) != 1 || !Args_Int(args, 0, position))
        return Args_Error(record, Args_Count(args) < 1 ? "To few arguments" : "Ivalid argument");
    if (position < 0) return Args_Error(record, "Ivalid argument (a position is 0 or a script point)");
    float x = 0.0f, z = 0.0f;
    if (position == 0) {
        if (!p.world->Query().Position(p.world->Query().LocalStartUnit(), &x, &z)) return;
    } else if (!p.world->Query().ScriptPoint(position, &x, &z)) {
        return Args_ScriptError(record, "Specified scriptpoint is not active");
    }
    p.ui->m_camera.LookAt(x, z);
}

void Cmd_MoveCameraToGroup(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    SPlay p = Play(record);
    int32_t group = 0;
    if (!file && p.world && p.ui && GroupArg(record, args, group))
        p.ui->m_camera.CentreOnGroup(*p.world, group);
}

// ---- the map scripts' orders by map id. The orders of the map's scripts go
// straight into the units' queues on every machine that runs the script
// (every machine runs the map's scripts alike); the queue sends each when
// its turn comes. They count as given on this machine, so a map export
// writes them again.

void Cmd_AddCustomizedControl(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    SPlay p = Play(record);
    int32_t mapId = 0;
    if (file || !p.world) return;
    if (Args_Count(args) != 1 || !Args_Int(args, 0, mapId))
        return Args_Error(record, Args_Count(args) != 1 ? "Wrong number of arguments" : "Ivalid argument");
    if (!p.world->Commands().ScriptControl(mapId)) Args_Error(record, "No unit has that map id");
}

// AddMoveOrder(MAP_ID, X, Y, Z, FORCEMOVE): every value must be a number
// (no order takes a value it could not read).
void Cmd_AddMoveOrder(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    SPlay p = Play(record);
    int32_t mapId = 0, force = 0;
    float x = 0.0f, y = 0.0f, z = 0.0f;
    if (file || !p.world) return;
    if (Args_Count(args) != 5) return Args_Error(record, "Wrong number of arguments");
    if (!Args_Int(args, 0, mapId) || !Args_Float(args, 1, x) || !Args_Float(args, 2, y) ||
        !Args_Float(args, 3, z) || !Args_Int(args, 4, force))
        return Args_Error(record, "Ivalid argument");
    if (!p.world->Commands().ScriptMove(mapId, x, y, z, force != 0))
        Args_Error(record, "No unit has that map id");
}

// AddAttackOrder(MAP_ID, TARGET_MAP_ID): the armed units of the map id
// attack the object of the target's map id, behind their orders (a
// mission's attackers, a scripted defence).
void Cmd_AddAttackOrder(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    SPlay p = Play(record);
    int32_t mapId = 0, target = 0;
    if (file || !p.world) return;
    if (Args_Count(args) != 2) return Args_Error(record, "Wrong number of arguments");
    if (!Args_Int(args, 0, mapId) || !Args_Int(args, 1, target)) return Args_Error(record, "Ivalid argument");
    if (!p.world->Commands().ScriptAttack(mapId, target))
        Args_Error(record, "No object has the target's map id");
}

void Cmd_AddPatrolOrder(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    SPlay p = Play(record);
    int32_t mapId = 0;
    float x = 0.0f, z = 0.0f;
    if (file || !p.world) return;
    if (Args_Count(args) != 3) return Args_Error(record, "Wrong number of arguments");
    if (!Args_Int(args, 0, mapId) || !Args_Float(args, 1, x) || !Args_Float(args, 2, z))
        return Args_Error(record, "Ivalid argument");
    if (!p.world->Commands().ScriptPatrol(mapId, x, z)) Args_Error(record, "No unit has that map id");
}

}  // namespace

// The rows in their registration order. The mission rows of this area
// (commands/MissionCommands.cpp) stand among them: WinGame, LooseGame and
// SaveCurrentGame after UnselectAll, the campaign rows after the first
// StopSelected, LoadSavedGame and the objectives' rows at the end.
void RegisterPlayCommands(CCommandInterpreter* ip) {
    const SCommandRow first[] = {
        // Unselecting is the player's own choice and harmless in any state
        // (the state of an editor's server, which its row once asked for,
        // is never set in a running game).
        SCommandRow::Function("UnselectAll", Cmd_UnselectAll, "Disselects all units", "UnselectAll"),
    };
    CommandTable_Register(ip, first);
    RegisterEndCommands(ip);
    // The physics settings: the physics engine's own.
    CGame* game = GameOf(ip);
    if (CWorld* world = game ? game->World() : nullptr) world->Physics().RegisterSettings(ip);
    const SCommandRow rows[] = {
        SCommandRow::Function("KillSelected", Cmd_KillSelected, "Destroys the selected units",
                              "KillSelected();")
            .Mask(4),
        SCommandRow::Function("StopSelected", Cmd_StopSelected, "Stops the selected units", "StopSelected();")
            .Mask(4),
    };
    CommandTable_Register(ip, rows);
    RegisterCampaignCommands(ip);
    const SCommandRow more[] = {
        SCommandRow::Function("GroupSelected", Cmd_GroupSelected,
                              "Places the selected units in the supplied group",
                              "GroupSelected(int GroupID);")
            .Mask(4),
        SCommandRow::Function("SelectGroup", Cmd_SelectGroup, "Selectes the units in the supplied group",
                              "SelectGroup(int GroupID);")
            .Mask(4),
        SCommandRow::Function("JoinSelectedWithGroup", Cmd_JoinSelectedWithGroup,
                              "Adds the selected units to the supplied group",
                              "JoinSelectedWithGroup(int GroupID);")
            .Mask(4),
        SCommandRow::Function("SelectSameSort", Cmd_SelectSameSort, "Selects all units with the same sort",
                              "SelectSameSort;")
            .Mask(4),
        SCommandRow::Function("fm_AttackMode", Cmd_ForcedMode<CUnitOrder::kAttack>,
                              "Sets the current active action to be Force Attack", "fm_AttackMode();")
            .Mask(4),
        SCommandRow::Function("fm_GuardMode", Cmd_ForcedMode<CUnitOrder::kGuard>,
                              "Sets the current active action to be Force Guard", "fm_GuardMode();")
            .Mask(4),
        SCommandRow::Function("fm_PatrolMode", Cmd_ForcedMode<CUnitOrder::kPatrol>,
                              "Sets the current active action to be Force Patrol", "fm_PatrolMode();")
            .Mask(4),
        SCommandRow::Function("fm_MoveMode", Cmd_ForcedMode<CUnitOrder::kMove>,
                              "Sets the current active action to be Force Move", "fm_MoveMode();")
            .Mask(4),
        SCommandRow::Function("fm_TowMode", Cmd_ForcedMode<CUnitOrder::kTow>,
                              "Sets the current active action to be Force Tow", "fm_TowMode();")
            .Mask(4),
        SCommandRow::Function("fm_RepairMode", Cmd_ForcedMode<CUnitOrder::kRepair>,
                              "Sets the current active action to be Force Repair", "fm_RepairMode();")
            .Mask(4),
        SCommandRow::Function("ReleaseTowConnections", Cmd_ReleaseTowConnections,
                              "Releases the current connections attached to a marked object",
                              "ReleaseTowConnections();")
            .Mask(4),
        // A second row of the same name: a lookup finds this one, and both
        // stand in the command list.
        SCommandRow::Function("StopSelected", Cmd_StopSelected, "Stops the selected units current actions",
                              "StopSelected();")
            .Mask(4),
        SCommandRow::Function("OnOff", Cmd_OnOff, "Turns a marked unit on or off", "OnOff();").Mask(4),
        SCommandRow::Function("SelectAllUnits", Cmd_SelectAllUnits, "Selects all units", "SelectAllUnits();")
            .Mask(4),
        SCommandRow::Function("SelectAllUnitsOnScreen", Cmd_SelectAllUnitsOnScreen,
                              "Selects all units on screen", "SelectAllUnitsOnScreen();")
            .Mask(4),
        SCommandRow::Function(
            "MoveCameraTo", Cmd_MoveCameraTo,
            "Moves camera to central if position 0 or to script point if position is aboive 0",
            "MoveCameraTo(int Position);")
            .Mask(4),
        SCommandRow::Function("MoveCameraToGroup", Cmd_MoveCameraToGroup, "Moves camera to group X",
                              "MoveCameraToGroup(int Group);")
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
    CommandTable_Register(ip, more);
    RegisterMissionCommands(ip);
}
