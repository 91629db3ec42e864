#include "commands/ScriptOrderCommands.h"

#include <strings.h>

#include <vector>

#include "app/Game.h"
#include "commands/CommandArgs.h"
#include "commands/CommandContext.h"
#include "console/CommandInterpreter.h"
#include "console/CommandTable.h"
#include "ui/Interface.h"
#include "world/GameScene.h"
#include "world/UnitTemplate.h"
#include "world/World.h"
#include "world/WorldCommands.h"
#include "world/WorldQuery.h"

namespace {

CWorld* WorldOf(CConsoleCommand* record) {
    CGame* game = GameOf(record);
    return game ? game->World() : nullptr;
}

CInterface* UiOf(CConsoleCommand* record) {
    CGame* game = GameOf(record);
    return game ? game->Interface() : nullptr;
}

void Say(CConsoleCommand* record, const char* text) {
    record->GetInterpreter()->Printf("%s : %s", record->GetName(), text);
}

// ---- script points

void Cmd_SetScriptPoint(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CWorld* world = WorldOf(record);
    CInterface* ui = UiOf(record);
    int32_t point = 0;
    if (file || !world) return;
    if (Args_Count(args) != 1)
        return Args_ScriptError(record, "Wrong number of arguments, must be only one argument");
    if (!Args_Int(args, 0, point)) return Args_ScriptError(record, "Argument must be an integer");
    if (point < 0 || point >= CGameScene::kScriptPoints)
        return Args_ScriptError(record, "Scriptpoint location out of range, can only be set between 0-255");
    // Where the mouse points on the ground (over the radar: where the radar
    // shows).
    float ground[3] = {0.0f, 0.0f, 0.0f};
    if (!ui || !ui->GetMouseWorldPosition(ui->m_cursorX, ui->m_cursorY, ground))
        return Say(record, "There is no ground point under the mouse");
    world->Commands().SetScriptPoint(point, ground[0], ground[2]);
}

void Cmd_RemoveScriptPoints(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    if (CWorld* world = file ? nullptr : WorldOf(record)) world->Commands().RemoveScriptPoints();
}

// ---- orders toward a script point, or toward an offset from each unit

enum EPointOrder { kMove, kAttack, kPatrol, kHarvest, kGuard, kRepair, kTow };

// The tail of the line for a point that is not active, by order.
const char* const kNotActive[] = {
    "Specified script is not active",      "Specified scriptpoint is not active",
    "Specified script is not active",      "Specified script is not active",
    "Specified scriptpoint is not active", "Specified scriptpoint is not active",
    "Specified scriptpoint is not active",
};

// The ground point of the command's arguments: a script point (offset
// false) or an offset from each unit (true). False, with the line said, when
// the arguments do not make one.
bool PointArgs(CConsoleCommand* record, SCommandArgs* args, const CWorld& world, const char* notActive,
               float* x, float* z, bool* offset) {
    const int n = Args_Count(args);
    if (n == 1) {
        int32_t point = 0;
        if (!Args_Int(args, 0, point)) {
            Args_ScriptError(record, "Argument must be an integer");
            return false;
        }
        // A number outside the table is a point that is not active.
        if (!world.Query().ScriptPoint(point, x, z)) {
            Args_ScriptError(record, notActive);
            return false;
        }
        *offset = false;
        return true;
    }
    if (n == 2) {
        if (!Args_Float(args, 0, *x) || !Args_Float(args, 1, *z)) {
            Args_ScriptError(record, "Arguments must be floats");
            return false;
        }
        *offset = true;
        return true;
    }
    Args_ScriptError(record, "Wrong number of arguments, must be only one or two arguments");
    return false;
}

// Behind the units' orders, as a map script gives them.
constexpr uint32_t kScript = kCommandQueue;

template <int kOrder>
void Cmd_PointOrder(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CWorld* world = file ? nullptr : WorldOf(record);
    float px = 0.0f, pz = 0.0f;
    bool offset = false;
    if (!world || !PointArgs(record, args, *world, kNotActive[kOrder], &px, &pz, &offset)) return;
    const CWorldQuery& query = world->Query();
    CWorldCommands& commands = world->Commands();
    for (int32_t id : query.SelectedUnits()) {
        SUnitView unit;
        if (!query.Unit(id, &unit)) continue;
        if ((kOrder == kHarvest && !unit.harvester) || (kOrder == kTow && !unit.towing)) continue;
        const float x = offset ? unit.x + px : px, z = offset ? unit.z + pz : pz;
        const std::vector<int32_t> one{id};
        switch (kOrder) {
            case kMove:
                commands.Move(one, x, z, kScript);
                break;
            case kAttack: {
                // The object standing there, else the ground.
                const int32_t target = query.ObjectAt(x, z);
                if (target >= 0 && target != id)
                    commands.Attack(one, target, kScript);
                else
                    commands.AttackGround(one, x, z, kScript);
                break;
            }
            case kPatrol:
                commands.Patrol(one, x, z, kScript);
                break;
            case kHarvest:
                commands.HarvestAt(one, x, z, kScript);
                break;
            default: {
                const int32_t target = query.ObjectAt(x, z);
                if (target < 0) {
                    Say(record, "Can't find an object on the specified position");
                    break;
                }
                if (kOrder == kGuard)
                    commands.Guard(one, target, kScript);
                else if (kOrder == kRepair)
                    commands.Repair(one, target, kScript);
                else
                    commands.Tow(one, target, kScript);
                break;
            }
        }
    }
}

// ss_Build(Name): the selected factories produce one; ss_Build(Name, Point)
// and ss_Build(Name, LocalX, LocalY): the selected builders put it up at the
// script point or the offset from each. Each unit looks the name up in its
// own build list.
void Cmd_Build(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CWorld* world = file ? nullptr : WorldOf(record);
    if (!world) return;
    const int n = Args_Count(args);
    if (n < 1 || n > 3) return Args_ScriptError(record, "Wrong number of arguments, must be one to three");
    const char* name = args->Text(0);
    float px = 0.0f, pz = 0.0f;
    const bool produce = n == 1;
    if (n == 2) {
        int32_t point = 0;
        if (!Args_Int(args, 1, point) || !world->Query().ScriptPoint(point, &px, &pz))
            return Args_ScriptError(record, "Specified scriptpoint is not active");
    } else if (n == 3 && (!Args_Float(args, 1, px) || !Args_Float(args, 2, pz))) {
        return Args_ScriptError(record, "Arguments must be floats");
    }
    const CWorldQuery& query = world->Query();
    bool ordered = false;
    for (int32_t id : query.SelectedUnits()) {
        SUnitView unit;
        if (!query.Unit(id, &unit) || !unit.builder || !unit.tmpl) continue;
        // A factory produces inside itself, a builder puts up at a place.
        const int32_t method = unit.tmpl->m_buildMethod;
        if (produce ? method == CUnitTemplate::kBuildExternal : method == CUnitTemplate::kBuildInternal)
            continue;
        CUnitTemplate* item = nullptr;
        for (SUnitBuildEntry* e = unit.tmpl->m_buildList; e && !item; e = e->m_next)
            if (e->m_template && strcasecmp(e->m_template->m_name.GetText(), name) == 0) item = e->m_template;
        if (!item) {
            Say(record, "The selected unit can't build the specified object");
            continue;
        }
        if (produce)
            world->Commands().Produce(id, item, 0, kScript);
        else
            world->Commands().Build(id, item, n == 3 ? unit.x + px : px, n == 3 ? unit.z + pz : pz, kScript);
        ordered = true;
    }
    CInterface* ui = UiOf(record);
    if (ordered && ui) ui->m_fields.m_selectionChanged = 1;
}

void Cmd_RemoveOrders(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    if (CWorld* world = file ? nullptr : WorldOf(record))
        world->Commands().Stop(world->Query().SelectedUnits());
}

// ss_UnitArrayMove(x1, z1, x2, z2, ...): the selected units take the world
// points in turn (the first unit the first point, and round again when
// there are more units than points). Every pair is read before any order
// is given.
void Cmd_UnitArrayMove(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CWorld* world = file ? nullptr : WorldOf(record);
    if (!world) return;
    const int n = Args_Count(args);
    if (n < 2) return Args_ScriptError(record, "There must be atleast two arguments");
    if (n % 2) return Args_ScriptError(record, "The move point(s) must be defined by two arguments; x and z");
    std::vector<float> points(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i)
        if (!Args_Float(args, i, points[static_cast<size_t>(i)]))
            return Args_ScriptError(record, "Arguments must be of float type");
    size_t pair = 0;
    CWorldCommands& commands = world->Commands();
    for (int32_t id : world->Query().SelectedUnits()) {
        commands.Move({id}, points[2 * pair], points[2 * pair + 1], kScript);
        pair = (pair + 1) % (points.size() / 2);
    }
}

// ---- signals: a unit that waits for one holds its orders until a signal
// of that number comes.

bool SignalArg(CConsoleCommand* record, SCommandArgs* args, int32_t& signal) {
    if (Args_Count(args) != 1) {
        Args_ScriptError(record, "There must be only one argument");
        return false;
    }
    if (!Args_Int(args, 0, signal)) {
        Args_ScriptError(record, "Argument must be an integer");
        return false;
    }
    if (signal < 1 || signal > 255) {
        Args_ScriptError(record, "Signal rage must be 1-255");
        return false;
    }
    return true;
}

void Cmd_SetWaitForSignal(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CWorld* world = file ? nullptr : WorldOf(record);
    int32_t signal = 0;
    if (world && SignalArg(record, args, signal))
        world->Commands().Signal(world->Query().SelectedUnits(), signal);
}

// Every unit of the local player that waits for the signal goes on.
void Cmd_GiveSignal(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CWorld* world = file ? nullptr : WorldOf(record);
    int32_t signal = 0;
    if (world && SignalArg(record, args, signal))
        world->Commands().Signal(world->Query().LocalUnitsWaitingFor(signal), 0);
}

}  // namespace

void RegisterScriptOrderCommands(CCommandInterpreter* ip) {
    const SCommandRow rows[] = {
        SCommandRow::Function("ss_SetScriptPoint", Cmd_SetScriptPoint,
                              "Sets the specfied script point at mouse coordinate",
                              "ss_SetScriptPoint(int Point);"),
        SCommandRow::Function("ss_RemoveScriptPoints", Cmd_RemoveScriptPoints, "Removes all script points",
                              "ss_RemoveScriptPoints();"),
        SCommandRow::Function(
            "ss_Move", Cmd_PointOrder<kMove>,
            "Sets a move order to the selected unit(s), either to script point or local position",
            "ss_Move(int Point); OR ss_Move(float LocalX, float LocalY);"),
        SCommandRow::Function(
            "ss_Attack", Cmd_PointOrder<kAttack>,
            "Sets a attack order to the selected unit(s), either to script point or local position",
            "ss_Attack(int Point); OR ss_Attack(float LocalX, float LocalY);"),
        SCommandRow::Function(
            "ss_Build", Cmd_Build,
            "Sets a build order to the selected unit(s), either to script point or local position",
            "ss_Build(char Name); OR ss_Build(char Name, int Point); OR ss_Build(char Name, float LocalX, "
            "float "
            "LocalY);"),
        SCommandRow::Function(
            "ss_Patrol", Cmd_PointOrder<kPatrol>,
            "Sets a patrol order to the selected unit(s), either to script point or local position",
            "ss_Patrol(int Point); OR ss_Patrol(float LocalX, float LocalY);"),
        SCommandRow::Function(
            "ss_Harvest", Cmd_PointOrder<kHarvest>,
            "Sets a patrol order to the selected unit(s), either to script point or local position",
            "ss_Harvest(int Point); OR ss_Harvest(float LocalX, float LocalY);"),
        SCommandRow::Function(
            "ss_Guard", Cmd_PointOrder<kGuard>,
            "Sets a guard order to the selected unit(s), either to script point or local position",
            "ss_Guard(int Point); OR ss_Guard(float LocalX, float LocalY);"),
        SCommandRow::Function(
            "ss_Repair", Cmd_PointOrder<kRepair>,
            "Sets a repair order to the selected unit(s), either to script point or local position",
            "ss_Repair(int Point); OR ss_Repair(float LocalX, float LocalY);"),
        SCommandRow::Function(
            "ss_Tow", Cmd_PointOrder<kTow>,
            "Sets a tow order to the selected unit(s), either to script point or local position",
            "ss_Tow(int Point); OR ss_Tow(float LocalX, float LocalY);"),
        SCommandRow::Function("ss_RemoveOrders", Cmd_RemoveOrders,
                              "Removes all orders currently given to the selected unit(s)",
                              "ss_RemoveOrders();"),
        SCommandRow::Function(
            "ss_UnitArrayMove", Cmd_UnitArrayMove,
            "Moves each selected unit to a unique position specified by selection order in the "
            "dynamic array.",
            "ss_UnitArrayMove( float WorldX1, float WorldY1, float WorldX2, float WorldY2, float "
            "WorldXx...);"),
        SCommandRow::Function("ss_SetWaitForSignal", Cmd_SetWaitForSignal,
                              "The selected unit(s) will stop until ss_GiveSignal is given",
                              "ss_SetWaitForSignal(int Signal);"),
        SCommandRow::Function("ss_GiveSignal", Cmd_GiveSignal,
                              "All units will be given a clearing signal to continue moving",
                              "ss_GiveSignal(int Signal);"),
    };
    // The map's scripts give these orders wherever the map is played, a box
    // from a server included.
    for (const SCommandRow& row : rows) CommandTable_Create(ip, row.MapScript());
}
