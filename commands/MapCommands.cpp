#include "commands/MapCommands.h"

#include <cstring>

#include "ai/AIManager.h"
#include "app/Game.h"
#include "app/GameClock.h"
#include "app/GameConsole.h"
#include "commands/CommandContext.h"
#include "console/CommandInterpreter.h"
#include "console/CommandTable.h"
#include "core/LittleEndian.h"
#include "core/Math.h"
#include "core/VFSTable.h"
#include "netgame/MapFiles.h"
#include "netgame/NetGame.h"
#include "platform/sys/Path.h"
#include "ui/Interface.h"
#include "world/GameScene.h"
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
    if (!game->SetMapName(args->Text(0))) return;
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
    CTessarakObject* o = game->World()->CreateUnit(tmpl, c.x, c.z, neutral, scene->m_idTable.NewId());
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
    game->RequestCreateUnitByName(c.name, c.x, 0.0f, c.z, c.rotation, Math_Truncate(c.scaling), c.mapId,
                                  c.layer, c.team, c.customGiven ? c.custom : nullptr);
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

// The map box of an exported map: its loose members, in this order, packed
// as "MapData.box" beside them.
bool PackMapBox(const CStrBuf& folder) {
    static const char* const kMembers[] = {"Init.vxm", "background.bik", "Radar.bik", "information.vxm",
                                           "visual.bin"};
    CVFSTable table;
    for (const char* member : kMembers) {
        CStrBuf path;
        path.Format("%s\\%s", folder.GetText(), member);
        int h = Sys_OpenRead(path.GetText());
        if (h == -1) continue;
        int64_t size = Sys_FileSize(h);
        Sys_CloseFile(h);
        if (size < 0 || size > 0x7FFFFFFF) continue;
        CVFSPack* pack = new CVFSPack(&table, path.GetText(), false);
        new SVFSEntry(&table, pack, member, 0, (uint32_t)size);
    }
    CStrBuf box;
    box.Format("%s\\MapData.box", folder.GetText());
    return table.WritePack(box.GetText());
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
    if (!PackMapBox(folder)) Game_Printf("Unable to write file : %s\\MapData.box", folder.GetText());
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
void RegisterMapCommands(CCommandInterpreter* ip) {
    CGame* game = GameOf(ip);
    if (!game) return;
    const SCommandRow rows[] = {
        SCommandRow::Function("m_SetTimer", Cmd_SetTimer, "Sets the countdown timer",
                              "m_SetTimer(int seconds)")
            .MapScript(),
        SCommandRow::Function("M_Export", Cmd_Export,
                              "Exports the map to specified directory ( creates it if it doesn't exists=",
                              "M_Export( char Directory );")
            .Mask(8),
        SCommandRow::Function("M_ExportUnitCommands", Cmd_ExportUnitCommands,
                              "Exports the current commands set to units ( move and patrol)",
                              "M_ExportUnitCommands( char Directory );")
            .Mask(8),
        SCommandRow::Function("M_SetLayerPosition", Cmd_SetLayerPosition,
                              "Sets the position of the specified layer",
                              "M_SetLayerPosition(int Layer, float Position);")
            .MapScript(),
        SCommandRow::Function("M_DefineStartPositions", Cmd_DefineStartPositions,
                              "Defines a number of start positions",
                              "M_DefineStartPositions(int NumberOfPosition);")
            .MapScript(),
        SCommandRow::Function("M_SetStartPosition", Cmd_SetStartPosition, "Sets a start position of a player",
                              "M_SetStartPosition(int PlayerID, float X, float Z);")
            .MapScript(),
        SCommandRow::Function(
            "Map", Cmd_Map,
            "Changes the current map by executing a serie of scripts in the specified map drawer",
            "Map (char File)")
            .Mask(1),
        SCommandRow::Function("M_SetGameSceneRect", Cmd_SetGameSceneRect,
                              "Sets and allocates the game scene. Measuered in world units.",
                              "M_SetGameSceneRect( int x1, int z1, int x2, int z2 );")
            .MapScript(),
        SCommandRow::Function("M_Resources", Cmd_Resources,
                              "Sets the number of resources for the active player.",
                              "M_Resources( int Resources );")
            .Mask(33),
        SCommandRow::Function("Create", Cmd_Create, "Creates a unit", "Create (  )").MapScript(),
    };
    CommandTable_Register(ip, rows);
    game->RegisterVariables(ip, {"M_EditMode"});
}

void RegisterMapAICommands(CCommandInterpreter* ip) {
    const SCommandRow rows[] = {
        SCommandRow::Function("AI_Create", Cmd_AI_Create, "Creates a unit", "AI_Create (  )"),
        SCommandRow::Function("AI_CentreCameraToTeam", Cmd_AI_CentreCameraToTeam, "Description",
                              "CentreCameraToTeam [FLOAT]"),
    };
    CommandTable_Register(ip, rows);
}
