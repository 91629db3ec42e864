#include "commands/MapCommands.h"

#include <cstring>

#include "ai/AIManager.h"
#include "app/Game.h"
#include "app/GameClock.h"
#include "app/GameConsole.h"
#include "commands/CommandContext.h"
#include "commands/EditorCommands.h"
#include "console/CommandInterpreter.h"
#include "console/CommandTable.h"
#include "core/LittleEndian.h"
#include "core/Math.h"
#include "core/VFSTable.h"
#include "netgame/MapFiles.h"
#include "netgame/NetGame.h"
#include "platform/sys/Path.h"
#include "platform/video/VideoWriter.h"
#include "ui/Interface.h"
#include "world/GameScene.h"
#include "world/MapPicture.h"
#include "world/Player.h"
#include "world/TessarakObject.h"
#include "world/World.h"

namespace {
CGame* Game(CConsoleCommand* record) {
    return GameOf(record);
}

CGameScene* Scene(CConsoleCommand* record) {
    CGame* game = Game(record);
    return game ? game->Scene() : nullptr;
}

int Count(SCommandArgs* args) {
    return args ? args->count : 0;
}

void Cmd_Map(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CGame* game = Game(record);
    if (file || !game || Count(args) < 1) return;
    // A map that is not there is refused before anything changes: a running
    // game goes on, the lobby keeps its map.
    const char* name = args->Text(0);
    if (MapName_IsPlain(name) && !game->HasMapBox(name)) {
        const char* current = game->MapName().GetText();
        Game_Printf("There is no map %s (Maps\\%s\\MapData.box); the map stays %s", name, name,
                    *current ? current : "unchosen");
        return;
    }
    if (!game->SetMapName(name)) return;
    // The host's clients play the map it names: its description says so.
    if (CNetGame* net = game->NetGame()) net->AnnounceMap(game->MapName().GetText());
    // A new map while a game runs: the clients get ready for a new start.
    if (game->GuiWord() == 0 && game->GameState() == 2) game->ResetClientFlags();
}

// The arguments of Create and AI_Create: ("Template", x, z, team, layer,
// map id, rotation, scaling, custom x, y, z). Five arguments give x, z and
// team (the fifth is not read) and the next map id; six or more the layer
// and map id too (a layer outside 0 to 255 is refused); eight or more
// rotation and scaling; the custom values as far as they are given. A
// field that is no number is reported as white console lines (the name
// first for some) and false returned.
struct SCreateArgs {
    const char* name = "";
    float x = 0.0f, z = 0.0f, rotation = 0.0f, scaling = 0.0f;
    float custom[3] = {-1.0f, -1.0f, -1.0f};
    int32_t team = 0, layer = 0, mapId = -1;
    bool customGiven = false;
};

bool ReadCreateArgs(SCommandArgs* args, CGameScene* scene, SCreateArgs* c) {
    const int n = Count(args);
    c->name = args->Text(0);
    auto fail = [&](const char* message, bool withName) {
        if (withName) Game_Print(c->name);
        Game_Print(message);
        return false;
    };
    if (n == 5 || n >= 6) {
        bool five = n == 5;
        if (!args->arg[1].GetFloat(c->x)) return fail("X1 invalid", five);
        if (!args->arg[2].GetFloat(c->z)) return fail("Y1 invalid", five);
        if (!args->arg[3].GetInt(c->team)) return fail("Team invalid", true);
        if (five) c->mapId = scene->m_highestMapId + 1;
    }
    if (n >= 6) {
        if (!args->arg[4].GetInt(c->layer) || c->layer < 0 || c->layer > 255)
            return fail("Layer invalid", true);
        if (!args->arg[5].GetInt(c->mapId)) return fail("UID invalid", true);
    }
    if (n >= 8) {
        if (!args->arg[6].GetFloat(c->rotation)) return fail("InitialRotation invalid", false);
        if (!args->arg[7].GetFloat(c->scaling)) return fail("InitialScaling invalid", false);
    }
    static const char* const kCustom[3] = {"CustomValue.x invalid", "CustomValue.y invalid",
                                           "CustomValue.z invalid"};
    for (int i = 0; i < 3 && 8 + i < n; ++i)
        if (!args->arg[8 + i].GetFloat(c->custom[i])) return fail(kCustom[i], false);
    c->customGiven = n >= 9;
    return true;
}

// Create("Template", x, z, team, layer, map id, rotation, scaling, custom x, y, z);
void Cmd_Create(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CGame* game = Game(record);
    CGameScene* scene = Scene(record);
    SCreateArgs c;
    if (file || !game || !scene || Count(args) < 1 || !ReadCreateArgs(args, scene, &c)) return;
    CTessarakObjectTemplate* tmpl = game->FindTemplate(c.name);
    if (!tmpl) return;
    CPlayer* neutral = scene->NeutralPlayer();
    CTessarakObject* o = game->CreateUnitForLocalPlayer(tmpl->m_projectId, tmpl->m_nodeId, c.x, c.z, neutral,
                                                        scene->m_idTable.NewId());
    if (!o) {
        Game_Printf("Error creating object from template : '%s'", c.name);
        return;
    }
    MapObject_Place(scene, o, c.x, c.z, c.team, c.layer, c.mapId, c.rotation, c.scaling,
                    c.customGiven ? c.custom : nullptr);
}

// AI_Create: the same arguments; the unit is asked of the session
// (CREATEUNIT), so every machine makes it in the same frame, for the owner
// the team names.
void Cmd_AI_Create(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CGame* game = Game(record);
    CGameScene* scene = Scene(record);
    SCreateArgs c;
    if (file || !game || !scene || Count(args) < 1 || !ReadCreateArgs(args, scene, &c)) return;
    if (!game->FindTemplate(c.name)) {
        Game_Printf("AI_Create: no template %s", c.name);
        return;
    }
    game->RequestCreateUnitByName(c.name, c.x, 0.0f, c.z, c.rotation, c.scaling, c.mapId, c.layer, c.team,
                                  c.customGiven ? c.custom : nullptr);
}

// AI_CentreCameraToTeam(int Player): the camera looks at the computer
// player's base.
void Cmd_AI_CentreCameraToTeam(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CGame* game = Game(record);
    if (file || !game) return;
    if (Count(args) < 1) return record->ReportError("To few arguments");
    int32_t id = 0;
    if (!args->arg[0].GetInt(id)) return;
    CAIManager* ai = game->AIManager();
    float x = 0.0f, z = 0.0f;
    if (!ai || !ai->Find(id) || !ai->BaseCentre(id, &x, &z)) {
        Game_Printf("AI_CentreCameraToTeam: no base of computer player %d", (int)id);
        return;
    }
    if (CInterface* ui = game->Interface()) ui->m_camera.LookAt(x, z);
}

void Cmd_SetGameSceneRect(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CGame* game = Game(record);
    float width = 0.0f, depth = 0.0f;
    if (file || !game || Count(args) != 2) return;
    if (!args->arg[0].GetFloat(width) || !args->arg[1].GetFloat(depth)) return;
    game->SetMapSize(width, depth);
}

void Cmd_DefineStartPositions(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CGameScene* scene = Scene(record);
    int32_t count = 0;
    if (file || !scene || Count(args) != 1 || !args->arg[0].GetInt(count)) return;
    // A negative count makes none; a map needs no more than a few hundred.
    if (count < 0 || count > 1024) {
        Game_Printf("Invalid number of start positions: %d", count);
        return;
    }
    scene->DefineStartPositions(count);
}

void Cmd_SetStartPosition(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CGameScene* scene = Scene(record);
    int32_t player = 0;
    float x = 0.0f, z = 0.0f;
    if (file || !scene || Count(args) != 3) return;
    if (!args->arg[0].GetInt(player) || !args->arg[1].GetFloat(x) || !args->arg[2].GetFloat(z)) return;
    if (!scene->SetStartPosition(player, x, z)) Game_Print("Player is out of definitions range.");
}

void Cmd_SetLayerPosition(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CGameScene* scene = Scene(record);
    int32_t layer = 0;
    float position = 0.0f;
    if (file || !scene || Count(args) != 2) return;
    if (!args->arg[0].GetInt(layer) || !args->arg[1].GetFloat(position)) return;
    scene->SetLayerPosition(layer, position);
}

void Cmd_Resources(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CGame* game = Game(record);
    float amount = 0.0f;
    if (file || !game || Count(args) != 1 || !args->arg[0].GetFloat(amount)) return;
    CGameScene* scene = game->Scene();
    CPlayer* local = scene ? scene->LocalPlayer() : nullptr;
    if (!local) return;
    uint8_t data[8];
    LE_StoreU32(data, (uint32_t)local->m_id);
    uint32_t bits;
    std::memcpy(&bits, &amount, 4);
    LE_StoreU32(data + 4, bits);
    // Through the session, in a frame: every machine takes it in the same turn.
    game->SendToSession(NS_NOTIFYTYPE_GIVERESOURCES, data, 8);
}

// The map box of an exported map: its loose members, in this order, then
// every member of the box already there that no loose file replaces (an
// exported map keeps its ground, pictures and scripts), packed as
// "MapData.box" through a temporary file and a rename. A map with no
// "Init.vxm" gets one that gives it its size, so that it plays as it was
// edited.
bool PackMapBox(CGame* game, const CStrBuf& folder) {
    static const char* const kMembers[] = {"Init.vxm", "background.bik", "Radar.bik", "information.vxm",
                                           "visual.bin"};
    CStrBuf path, box, temp;
    box.Format("%s\\MapData.box", folder.GetText());
    temp.Format("%s\\MapData.box.new", folder.GetText());
    CVFSTable old;
    const bool hadBox = Sys_PathExists(box.GetText()) && old.MountPack(box.GetText());
    // A map with no description gets one, so that the lists show it.
    path.Format("%s\\information.vxm", folder.GetText());
    if (!Sys_PathExists(path.GetText()) && !(hadBox && old.Find("information.vxm"))) {
        const char* slash = std::strrchr(folder.GetText(), '\\');
        CGameScene* scene = game->Scene();
        CStrBuf script;
        script.Format(
            "// Written by the map editor's export.\nsi_Map_Description(\"%s: made in the map editor.\");\n"
            "si_Map_Author(\"\");\nsi_Map_Players(%d);\nsi_Map_Width(%g);\nsi_Map_Height(%g);\n",
            slash ? slash + 1 : folder.GetText(), scene ? (int)scene->StartPositionCount() : 0,
            game->MapWidth(), game->MapDepth());
        if (!Sys_WriteFileAtomic(path.GetText(), script.GetText(), (size_t)script.GetLength())) return false;
    }
    path.Format("%s\\Init.vxm", folder.GetText());
    if (!Sys_PathExists(path.GetText()) && !(hadBox && old.Find("Init.vxm"))) {
        CStrBuf script;
        script.Format("// The map's size.\nM_SetGameSceneRect(%g, %g);\n", game->MapWidth(),
                      game->MapDepth());
        if (!Sys_WriteFileAtomic(path.GetText(), script.GetText(), (size_t)script.GetLength())) return false;
    }
    CVFSTable table;
    for (const char* member : kMembers) {
        path.Format("%s\\%s", folder.GetText(), member);
        int h = Sys_OpenRead(path.GetText());
        if (h == -1) continue;
        int64_t size = Sys_FileSize(h);
        Sys_CloseFile(h);
        if (size < 0 || size > 0x7FFFFFFF) continue;
        CVFSPack* pack = new CVFSPack(&table, path.GetText(), false);
        new SVFSEntry(&table, pack, member, 0, (uint32_t)size);
    }
    CVFSPack* kept = nullptr;
    for (SVFSEntry* e = hadBox ? old.GetFirstEntry() : nullptr; e; e = e->next) {
        if (e->isFolder || !e->container || table.Find(e->path.GetText())) continue;
        if (!kept) {
            kept = new CVFSPack(&table, e->container->fileName.GetText(), true);
            kept->end = e->container->end;
        }
        new SVFSEntry(&table, kept, e->path.GetText(), e->dataOffset, e->size);
    }
    if (table.WritePack(temp.GetText()) && Sys_RenameFile(temp.GetText(), box.GetText())) return true;
    Sys_DeleteFile(temp.GetText());
    return false;
}

// The map's radar picture and its picture in the lobby, drawn from the scene
// as it was edited and written as the content build makes them: one-frame
// videos, "Radar.bik" at two pixels a square and "background.bik" at
// 256 x 256, beside the other members of the box. Each that cannot be made
// is named on the console and the box keeps the one it had.
void WriteMapPictures(CGame* game, const CStrBuf& folder) {
    SMapPicture radar;
    CGameScene* scene = game->Scene();
    if (!scene || !MapPicture_FromScene(*scene, Math_RoundToInt(game->MapWidth()),
                                        Math_RoundToInt(game->MapDepth()), radar)) {
        Game_Printf("No radar picture for a map of %g x %g", game->MapWidth(), game->MapDepth());
        return;
    }
    const SMapPicture preview = MapPicture_Scaled(radar, 256, 256);
    const std::pair<const SMapPicture*, const char*> files[] = {{&radar, "Radar.bik"},
                                                                {&preview, "background.bik"}};
    for (const auto& [picture, name] : files) {
        CStrBuf path;
        path.Format("%s\\%s", folder.GetText(), name);
        std::string linuxPath;
        CVideoWriter video;
        if (!Sys_ResolveWritePath(path.GetText(), linuxPath) ||
            !video.Open(linuxPath, picture->width, picture->height, 1, 1) ||
            !video.AddFrame(picture->rgb.data(), picture->width * 3) || !video.Close())
            Game_Printf("Unable to write file : %s (%s)", path.GetText(), video.Error().c_str());
    }
}

void Cmd_Export(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CGame* game = Game(record);
    if (file || !game) return;
    if (Count(args) < 1) {
        record->ReportError("To few arguments");
        return;
    }
    const char* name = args->Text(0);
    if (!ExportMapScript(game->Scene(), name)) return;
    CStrBuf folder;
    folder.Format("%s\\%s", game->GetPath("Maps", ""), name);
    WriteMapPictures(game, folder);
    if (!PackMapBox(game, folder)) {
        Game_Printf("Unable to write file : %s\\MapData.box", folder.GetText());
        return;
    }
    // Listed and played at once: the box enters the file table (one there
    // before takes its new size).
    CStrBuf box;
    box.Format("%s\\MapData.box", folder.GetText());
    if (SVFSEntry* e = g_VFS.Find(box.GetText())) {
        const int h = Sys_OpenRead(box.GetText());
        const int64_t size = h == -1 ? -1 : Sys_FileSize(h);
        if (h != -1) Sys_CloseFile(h);
        if (e->container && e->dataOffset == 0 && size >= 0 && size <= 0xFFFFFFFFll)
            e->size = static_cast<uint32_t>(size);
    } else {
        g_VFS.AddDiskFile(box.GetText());
    }
}

void Cmd_ExportUnitCommands(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CGame* game = Game(record);
    if (file || !game) return;
    if (Count(args) < 1) {
        record->ReportError("To few arguments");
        return;
    }
    ExportUnitCommands(game->Scene(), args->Text(0));
}

void Cmd_SetTimer(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CGame* game = Game(record);
    float seconds = 0.0f;
    if (file || !game || Count(args) != 1 || !args->arg[0].GetFloat(seconds)) return;
    if (game->Interface() && game->Clock())
        game->Interface()->m_missionTimerEnd = game->Clock()->m_gameSeconds + seconds;
}
}  // namespace

// The rows that map scripts use (Create, start positions, layers) run at any
// time: every machine runs them while it loads a map, not only the editor.
// The editor's rows (state mask 8) run where the game runs on this machine
// alone (commands/EditorCommands.cpp).
void RegisterMapCommands(CCommandInterpreter* ip) {
    CGame* game = GameOf(ip);
    if (!game) return;
    const SCommandRow rows[] = {
        SCommandRow::Function("m_SetTimer", Cmd_SetTimer, "Sets the countdown timer",
                              "m_SetTimer(int seconds)")
            .MapScript(),
        SCommandRow::Function("M_ImportBinary", Cmd_M_ImportBinary, "Import binary file", "M_ImportBinary")
            .Mask(8),
        SCommandRow::Function("M_DeleteSelected", Cmd_M_DeleteSelected, "Deletes the marked objects",
                              "M_DeleteSelected")
            .Mask(8),
        SCommandRow::Function("M_MoveOffsetUp", Cmd_M_MoveOffsetUp,
                              "Move offsets up in map editor object lists", "M_MoveOffsetUp")
            .Mask(8),
        SCommandRow::Function("M_MoveOffsetDown", Cmd_M_MoveOffsetDown,
                              "Move offsets down in map editor object lists", "M_MoveOffsetDown")
            .Mask(8),
        SCommandRow::Function("M_Unselect", Cmd_M_Unselect, "Unselects all selected objects", "M_Unselect")
            .Mask(8),
        SCommandRow::Function("M_LeaveTool", Cmd_M_LeaveTool,
                              "Leaves the current tool: no template at the cursor, the button marks",
                              "M_LeaveTool();")
            .Mask(8),
        SCommandRow::Function("M_Export", Cmd_Export,
                              "Exports the map to specified directory ( creates it if it doesn't exists=",
                              "M_Export( char Directory );")
            .Mask(8),
        SCommandRow::Function("M_ExportUnitCommands", Cmd_ExportUnitCommands,
                              "Exports the current commands set to units ( move and patrol)",
                              "M_ExportUnitCommands( char Directory );")
            .Mask(8),
        SCommandRow::Function("M_Merge", Cmd_M_Merge, "Merges nearby objects by deleting them", "M_Merge")
            .Mask(8),
        SCommandRow::Function("M_SetTeam", Cmd_M_SetTeam, "Sets the team of the marked units",
                              "M_SetTeam(int Team);")
            .Mask(8),
        SCommandRow::Function("M_SetLayer", Cmd_M_SetLayer, "Sets the layer of the marked units",
                              "M_SetLayer(int Layer);")
            .Mask(8),
        SCommandRow::Function("M_SetLayerPosition", Cmd_SetLayerPosition,
                              "Sets the position of the specified layer",
                              "M_SetLayerPosition(int Layer, float Position);")
            .MapScript(),
        SCommandRow::Function("M_HideLayer", Cmd_M_HideLayer, "Hides the specified layer",
                              "M_HideLayer(int Layer);")
            .Mask(8),
        SCommandRow::Function("M_DefineStartPositions", Cmd_DefineStartPositions,
                              "Defines a number of start positions",
                              "M_DefineStartPositions(int NumberOfPosition);")
            .MapScript(),
        SCommandRow::Function("M_SetStartPosition", Cmd_SetStartPosition, "Sets a start position of a player",
                              "M_SetStartPosition(int PlayerID, float X, float Z);")
            .MapScript(),
        SCommandRow::Function("M_SetStartPositionByMouse", Cmd_M_SetStartPositionByMouse,
                              "Sets the start position of a player by the mouse",
                              "M_SetStartPositionByMouse();")
            .Mask(8),
        SCommandRow::Function(
            "Map", Cmd_Map,
            "Changes the current map by executing a serie of scripts in the specified map drawer",
            "Map (char File)")
            .Mask(1),
        SCommandRow::Function("M_RandomizeSpots", Cmd_M_RandomizeSpots,
                              "Randomizes a number of spots to the game scene",
                              "M_RandomizeSpots( int NumberOfSpots );")
            .Mask(8),
        SCommandRow::Function("M_SetSpotConfig", Cmd_M_SetSpotConfig, "Sets the configuration of all spots",
                              "M_SetSpotConfig(float Min, float Max, float Movement);")
            .Mask(8),
        SCommandRow::Function("M_SetGameSceneRect", Cmd_SetGameSceneRect,
                              "Sets and allocates the game scene. Measuered in world units.",
                              "M_SetGameSceneRect( int x1, int z1, int x2, int z2 );")
            .MapScript(),
        SCommandRow::Function("M_Resources", Cmd_Resources,
                              "Sets the number of resources for the active player.",
                              "M_Resources( int Resources );")
            .Mask(33),
        // The handler names a wrong value itself ("X1 invalid" and the like).
        SCommandRow::Function("Create", Cmd_Create, "Creates a unit", "Create (  )")
            .MapScript()
            .Usage(
                "Create(str Template[, float X, float Z, int Team[, int Layer, int MapId[, float Rotation, "
                "float Scaling[, float CustomX, float CustomY, float CustomZ]]]]);",
                false),
        SCommandRow::Function("m_LAS", Cmd_m_LAS, "Loads and marks the specified map", "M_LAS( char * File)")
            .Mask(8),
        SCommandRow::Function("m_DAS", Cmd_m_DAS, "Duplicates marked objects ", "M_DAS").Mask(8),
        SCommandRow::Function("m_NoBuildRestriction", Cmd_m_NoBuildRestriction, "Description",
                              "m_NoBuildRestriction")
            .MapScript(),
        SCommandRow::Function(
            "dbg_MapEditor", Cmd_dbg_MapEditor,
            "Prints the map editor's template panel and the placed objects from a map id on",
            "dbg_MapEditor(int FromMapId);"),
        SCommandRow::Function("m_Devmap", Cmd_m_Devmap, "Goes into development mode of map specified",
                              "m_Devmap")
            .Mask(8),
    };
    CGameScene* scene = game->Scene();
    auto functions = [&](std::initializer_list<const char*> names) {
        CommandTable_RegisterNamed(ip, rows, names);
    };
    auto settings = [&](std::initializer_list<const char*> names) {
        if (scene) scene->RegisterEditorSettings(ip, names, Cmd_m_BuildRestrictionChanged);
    };
    functions({"m_SetTimer", "M_ImportBinary"});
    game->RegisterVariables(ip, {"M_EditMode"});
    functions({"M_DeleteSelected", "M_MoveOffsetUp", "M_MoveOffsetDown", "M_Unselect", "M_LeaveTool"});
    settings({"M_PaintMode", "M_TeamMode", "M_CollisionMode"});
    functions(
        {"M_Export", "M_ExportUnitCommands", "M_Merge", "M_SetTeam", "M_SetLayer", "M_SetLayerPosition"});
    settings({"M_SelectLayer"});
    functions({"M_HideLayer", "M_DefineStartPositions", "M_SetStartPosition", "M_SetStartPositionByMouse",
               "Map", "M_RandomizeSpots", "M_SetSpotConfig", "M_SetGameSceneRect", "M_Resources", "Create",
               "m_LAS", "m_DAS"});
    // The objectives' rows (m_SetConditions, m_Condition, m_ListConditions)
    // come here with the saved games.
    functions({"m_NoBuildRestriction"});
    settings({"m_BuildRestrictionMode"});
    functions({"m_Devmap"});
    settings({"m_DevmapMode"});
    // Our own developer row, after the command set's.
    functions({"dbg_MapEditor"});
}

void RegisterMapAICommands(CCommandInterpreter* ip) {
    const SCommandRow rows[] = {
        SCommandRow::Function("AI_Create", Cmd_AI_Create, "Creates a unit", "AI_Create (  )"),
        SCommandRow::Function("AI_CentreCameraToTeam", Cmd_AI_CentreCameraToTeam, "Description",
                              "CentreCameraToTeam [FLOAT]"),
    };
    CommandTable_Register(ip, rows);
}
