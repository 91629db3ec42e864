// The map editor's rows (commands/EditorCommands.h). They work where the
// game runs on this machine alone (their state mask, 8); what they change is
// the world's through the map editor (world/MapEditor.h): objects are made
// and taken away through the session, teams, layers and marks at once.
#include "commands/EditorCommands.h"

#include <chrono>
#include <string>

#include "app/Game.h"
#include "app/GameClock.h"
#include "app/GameConsole.h"
#include "commands/CommandContext.h"
#include "console/CommandHost.h"
#include "console/CommandInterpreter.h"
#include "core/Math.h"
#include "ui/Interface.h"
#include "world/GameScene.h"
#include "world/MapEditor.h"
#include "world/ObjectTemplate.h"
#include "world/TessarakObject.h"
#include "world/World.h"
#include "world/WorldGrid.h"

namespace {
int Count(SCommandArgs* args) {
    return args ? args->count : 0;
}

CWorld* World(CConsoleCommand* record) {
    CGame* game = GameOf(record);
    return game ? game->World() : nullptr;
}

// The steps of M_MoveOffsetUp and M_MoveOffsetDown: the first argument when
// it is a number, else 5; false for a negative count (nothing moves).
bool OffsetSteps(SCommandArgs* args, int32_t* steps) {
    *steps = 5;
    int32_t n = 0;
    if (Count(args) >= 1 && args->arg[0].GetInt(n)) *steps = n;
    return *steps >= 0;
}

// Runs a script file through the game's console (the map folder's scripts
// by their names below "Maps").
void RunScript(CConsoleCommand* record, const char* name, bool inMaps) {
    CCommandInterpreter* ip = record->GetInterpreter();
    if (ICommandHost* host = ip->GetHost())
        host->RunScriptFile(ip, name, inMaps, false);
    else
        ip->ExecuteFile(name);
}
}  // namespace

void Cmd_M_ImportBinary(CConsoleCommand*, SCommandArgs*, CVFSFile*) {}

void Cmd_M_DeleteSelected(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    CWorld* world = World(record);
    if (file || !world) return;
    CMapEditor(*world).DeleteMarked();
}

void Cmd_M_MoveOffsetUp(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CWorld* world = World(record);
    int32_t steps = 0;
    if (file || !world || !OffsetSteps(args, &steps)) return;
    CMapEditor(*world).MoveOffset(-steps);
}

void Cmd_M_MoveOffsetDown(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CWorld* world = World(record);
    int32_t steps = 0;
    if (file || !world || !OffsetSteps(args, &steps)) return;
    CMapEditor(*world).MoveOffset(steps);
}

void Cmd_M_Unselect(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    CGame* game = GameOf(record);
    if (file || !game || !game->Interface()) return;
    game->Interface()->m_editorTools.tmpl = nullptr;
}

// M_LeaveTool: the cursor lets its template go and the left button marks
// again (Escape in the editor).
void Cmd_M_LeaveTool(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    CGame* game = GameOf(record);
    CWorld* world = World(record);
    if (file || !game || !game->Interface() || !world) return;
    game->Interface()->m_editorTools.tmpl = nullptr;
    world->Scene().m_editor.paintMode = 0;
}

void Cmd_M_Merge(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CWorld* world = World(record);
    float distance = 0.0f;
    if (file || !world || Count(args) != 1 || !args->arg[0].GetFloat(distance)) return;
    for (const CTessarakObject* o : CMapEditor(*world).Merge(distance)) {
        const char* name = !o->m_name.IsEmpty() ? o->m_name.GetText()
                           : o->m_template      ? o->m_template->m_name.GetText()
                                                : "";
        Game_Printf("MergeResult : Object '%s' removed.", name);
    }
    Game_Print("MergeFinished.");
}

void Cmd_M_SetTeam(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CWorld* world = World(record);
    int32_t team = 0;
    if (file || !world || Count(args) != 1 || !args->arg[0].GetInt(team)) return;
    if (CMapEditor(*world).SetTeam(team) < 0) Game_Print("Team is out of range (0 to 255).");
}

void Cmd_M_SetLayer(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CWorld* world = World(record);
    int32_t layer = 0;
    if (file || !world || Count(args) != 1 || !args->arg[0].GetInt(layer)) return;
    if (CMapEditor(*world).SetLayer(layer) < 0) Game_Print("Layer is out of range (0 to 255).");
}

void Cmd_M_HideLayer(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CWorld* world = World(record);
    int32_t layer = 0;
    if (file || !world || Count(args) != 1 || !args->arg[0].GetInt(layer)) return;
    CMapEditor(*world).HideLayer(layer);
}

void Cmd_M_SetStartPositionByMouse(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CGame* game = GameOf(record);
    CGameScene* scene = game ? game->Scene() : nullptr;
    CInterface* ui = game ? game->Interface() : nullptr;
    int32_t player = 0;
    if (file || !scene || !ui || Count(args) != 1 || !args->arg[0].GetInt(player)) return;
    // The ground point under the mouse (not the direction of the ray).
    float ground[3];
    if (player < 0 || player >= scene->StartPositionCount()) {
        Game_Print("Player is out of definitions range.");
        return;
    }
    if (ui->GetMouseWorldPosition(ui->m_cursorX, ui->m_cursorY, ground))
        scene->SetStartPosition(player, ground[0], ground[2]);
}

void Cmd_M_RandomizeSpots(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CWorld* world = World(record);
    int32_t count = 0, seed = 0;
    const int n = Count(args);
    if (file || !world || n < 1 || n > 2 || !args->arg[0].GetInt(count)) return;
    if (n == 2) {
        if (!args->arg[1].GetInt(seed)) return;
    } else {
        // Without a seed of its own: the machine's clock (the spots travel
        // as CREATEUNIT, so every machine has the same all the same).
        seed = static_cast<int32_t>(std::chrono::steady_clock::now().time_since_epoch().count() & 0x7FFFFFF);
    }
    if (count < 0 || count > 4096) {
        Game_Printf("Invalid number of spots: %d", (int)count);
        return;
    }
    CMapEditor(*world).ScatterSpots(count, static_cast<uint32_t>(seed));
}

void Cmd_M_SetSpotConfig(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CGame* game = GameOf(record);
    CGameScene* scene = game ? game->Scene() : nullptr;
    if (file || !scene || Count(args) != 3) return;
    float* values[3] = {&scene->m_spotSizeMin, &scene->m_spotSizeMax, &scene->m_spotMovement};
    for (int i = 0; i < 3; ++i) {
        float v = 0.0f;
        if (!args->arg[i].GetFloat(v)) return;
        *values[i] = v;
    }
}

void Cmd_m_LAS(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CWorld* world = World(record);
    if (file || !world || Count(args) < 1) return;
    // What the script makes is marked: the objects of ids from the counter on.
    const int32_t first = world->Ids().GetCounter();
    const std::string name = args->Text(0);
    RunScript(record, name.c_str(), true);
    CMapEditor(*world).MarkFrom(first);
}

void Cmd_m_DAS(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    CGame* game = GameOf(record);
    CWorld* world = game ? game->World() : nullptr;
    if (file || !world || !game->Clock() || !game->Clock()->m_frozen) return;
    // The copies take the map ids after the highest: the ticks mark them as
    // they come, so that they can be moved at once.
    const int32_t highest = world->Scene().m_highestMapId;
    game->SetHighlightRange(highest, highest + CMapEditor(*world).DuplicateMarked());
}

void Cmd_m_Devmap(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CGame* game = GameOf(record);
    CWorld* world = game ? game->World() : nullptr;
    if (file || !world || Count(args) < 1) return;
    const std::string name = args->Text(0);
    if (!game->SetMapName(name.c_str())) return;
    CGameScene& scene = world->Scene();
    scene.Clear();
    RunScript(record, (name + "\\Init.vxm").c_str(), true);
    CWorldGrid& grid = world->Grid();
    const int32_t left = Math_RoundToInt(game->MapWidth() * -0.5f),
                  right = Math_RoundToInt(game->MapWidth() * 0.5f);
    const int32_t top = Math_RoundToInt(game->MapDepth() * 0.5f),
                  bottom = Math_RoundToInt(game->MapDepth() * -0.5f);
    if (!grid.SetMapRect(left, top, right, bottom))
        Game_Printf("m_Devmap: the map size %g x %g is refused", game->MapWidth(), game->MapDepth());
    grid.Reset();
    for (const char* script : {"Resources.vxm", "Visual.vxm", "AI.vxm"})
        RunScript(record, (name + "\\" + script).c_str(), true);
    grid.m_cellMap.Reset();
    scene.m_DevmapMode = 1;
}

void Cmd_m_NoBuildRestriction(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CGame* game = GameOf(record);
    int32_t flag = 0;
    if (file || !game || Count(args) != 2 || !args->arg[1].GetInt(flag)) return;
    if (CTessarakObjectTemplate* t = game->FindTemplate(args->Text(0))) t->m_noBuildRestriction = flag != 0;
    Cmd_m_BuildRestrictionChanged(record, args, file);
}

void Cmd_m_BuildRestrictionChanged(CConsoleCommand* record, SCommandArgs*, CVFSFile*) {
    CGame* game = GameOf(record);
    if (game && game->GuiWord() == 0 && game->Interface()) game->Interface()->m_fields.m_selectionChanged = 1;
}

void Cmd_dbg_MapEditor(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CWorld* world = World(record);
    int32_t from = 0;
    if (file || !world) return;
    if (Count(args) >= 1 && !args->arg[0].GetInt(from)) return;
    CMapEditor editor(*world);
    for (int32_t row = 0; row < 40; ++row)
        if (const CTessarakObjectTemplate* t = editor.PanelTemplate(row))
            Game_Printf("Map editor panel row %d: %s", (int)row, t->m_name.GetText());
    const CGameScene& scene = world->Scene();
    if (const CInterface* ui = GameOf(record)->Interface())
        Game_Printf("Map editor mouse at %d %d, left button %s", ui->m_cursorX, ui->m_cursorY,
                    ui->m_mouseState.left ? "down" : "up");
    Game_Printf("Map editor: highest map id %d, %d start positions", (int)scene.m_highestMapId,
                (int)scene.StartPositionCount());
    for (int32_t i = 0; i < scene.StartPositionCount(); ++i)
        Game_Printf("Map start %d at %.3f %.3f", (int)i, scene.m_startX[size_t(i)],
                    scene.m_startZ[size_t(i)]);
    for (const CTessarakObject* o = scene.m_allObjects; o; o = o->m_allNext) {
        if (o->m_mapId < from || o->m_objectId < 0 || o->Dying() || !o->m_template) continue;
        Game_Printf("Map object %d %s layer %u team %d at %.3f %.3f %.3f heading %.4f scale %.4f%s",
                    (int)o->m_mapId, o->m_template->m_name.GetText(), o->m_layer, (int)MapTeam_Of(o),
                    o->m_position[0], o->m_position[1], o->m_position[2], o->m_yaw, o->m_scale[0],
                    (o->m_stateA & CTessarakObject::kA_Selected) ? " marked" : "");
    }
}
