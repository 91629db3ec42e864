#include "commands/MissionCommands.h"

#include <string>
#include <vector>

#include "app/Game.h"
#include "app/GameConsole.h"
#include "app/GameRoles.h"
#include "commands/CommandContext.h"
#include "console/CommandInterpreter.h"
#include "console/CommandTable.h"
#include "netgame/NetGame.h"
#include "netgame/SavedGame.h"
#include "ui/Interface.h"
#include "world/GameScene.h"
#include "world/Objectives.h"
#include "world/World.h"

namespace {

int Count(SCommandArgs* args) {
    return args ? args->count : 0;
}

CMissionObjectives* Objectives(CConsoleCommand* record) {
    CGame* game = GameOf(record);
    CGameScene* scene = game ? game->Scene() : nullptr;
    return scene ? &scene->Objectives() : nullptr;
}

// A campaign's or a mission's name: one plain folder name.
bool PlainName(const char* name) {
    return SavedGame_IsPlainName(name) && name[0] != '.';
}

// ---- the objectives (the map area)

void Cmd_SetConditions(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CMissionObjectives* objectives = Objectives(record);
    int32_t n = 0;
    if (file || !objectives || Count(args) != 1) return;
    if (!args->arg[0].GetInt(n)) return;
    if (!objectives->SetTable(n))
        GameOf(record)->Roles().Console().Printf("Map Error : %d objectives cannot be set.", (int)n);
}

void Cmd_Condition(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CMissionObjectives* objectives = Objectives(record);
    if (file || !objectives) return;
    std::vector<const char*> texts;
    for (int i = 0; i < Count(args); ++i) texts.push_back(args->Text(i));
    objectives->Condition(texts);
}

void Cmd_ListConditions(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    CMissionObjectives* objectives = Objectives(record);
    if (!file && objectives) objectives->PrintList();
}

// ---- the campaign (the play area)

void Cmd_SetActiveCampaign(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CGame* game = GameOf(record);
    if (file || !game || !game->Interface() || Count(args) != 1) return;
    if (!PlainName(args->Text(0))) {
        Game_Printf("SetActiveCampaign : '%s' is not a campaign's folder name", args->Text(0));
        return;
    }
    game->Interface()->m_campaignName = args->Text(0);
}

// A script of the active campaign's mission, by its full path.
void RunMissionScript(CGame* game, const char* script) {
    CInterface* ui = game->Interface();
    CStrBuf campaigns(game->GetPath("Campaigns", "")), path;
    path.Format("%s\\%s\\%s\\%s", campaigns.GetText(), ui->m_campaignName.GetText(),
                ui->m_missionName.GetText(), script);
    game->Roles().Console().RunScriptFile(path.GetText());
}

// The mission becomes the active one, the session's map names its folder
// until the mission's scripts choose the map it plays, and its start.cfg
// runs (its briefing).
void Cmd_StartCampaignMission(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CGame* game = GameOf(record);
    if (file || !game || !game->Interface() || Count(args) != 1) return;
    if (!PlainName(args->Text(0))) {
        Game_Printf("StartCampaignMission : '%s' is not a mission's folder name", args->Text(0));
        return;
    }
    CInterface* ui = game->Interface();
    if (CNetGame* net = game->NetGame()) {
        CStrBuf campaigns(game->GetPath("Campaigns", ""));
        net->m_serverInfo.m_mapFile.Format("%s\\%s\\%s", campaigns.GetText(), ui->m_campaignName.GetText(),
                                           args->Text(0));
    }
    ui->m_missionName = args->Text(0);
    RunMissionScript(game, "start.cfg");
}

void Cmd_StartCampaignGame(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    CGame* game = GameOf(record);
    if (file || !game || !game->Interface()) return;
    game->Variables().gameType = 0;
    RunMissionScript(game, "startgame.cfg");
}

// ---- saved games

void Cmd_SaveCurrentGame(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    if (CGame* game = file ? nullptr : GameOf(record)) game->SaveCurrentGame();
}

void Cmd_LoadSavedGame(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CGame* game = GameOf(record);
    if (file || !game || Count(args) > 1) return;
    game->LoadSavedGame(Count(args) == 1 ? args->Text(0) : "");
}

// The mission's end flags are the scene's, which the world keeps; the rows
// are bound to them once the world exists.
void BindEndFlags(CCommandInterpreter* ip, CGameScene* scene) {
    const SCommandRow flags[] = {
        SCommandRow::Bool("WinGame", scene->EndFlag(true), "The player wins the game", "WinGame").Mask(8),
        SCommandRow::Bool("LooseGame", scene->EndFlag(false), "The player losses the game", "LooseGame")
            .Mask(8),
    };
    CommandTable_Register(ip, flags);
}

}  // namespace

void RegisterEndCommands(CCommandInterpreter* ip) {
    CGame* game = GameOf(ip);
    if (CGameScene* scene = game ? game->Scene() : nullptr) BindEndFlags(ip, scene);
    const SCommandRow rows[] = {
        SCommandRow::Function("SaveCurrentGame", Cmd_SaveCurrentGame, "Saves the current game to disc",
                              "SaveCurrentGame"),
    };
    CommandTable_Register(ip, rows);
}

void RegisterCampaignCommands(CCommandInterpreter* ip) {
    const SCommandRow rows[] = {
        SCommandRow::Function("SetActiveCampaign", Cmd_SetActiveCampaign,
                              "Sets the map name of the active campaign.", "SetActiveCampaign(char MapName)"),
        SCommandRow::Function("StartCampaignMission", Cmd_StartCampaignMission,
                              "Starts the specified map in the campaign set by SetActiveCampaign",
                              "StartCampaignMission(char MapName)"),
        SCommandRow::Function("StartCampaignGame", Cmd_StartCampaignGame,
                              "Executes startgame.cfg in the specfied campagin mission.", "StartCampaignGame")
            .Mask(1),
    };
    CommandTable_Register(ip, rows);
}

void RegisterMissionCommands(CCommandInterpreter* ip) {
    const SCommandRow rows[] = {
        // Loading has no row of its own in the game's table: a script (the
        // load screen's, a player's) names the saved game the next start
        // continues here.
        SCommandRow::Function(
            "LoadSavedGame", Cmd_LoadSavedGame,
            "The next start continues the saved game of that name (in Save); no name: a new game",
            "LoadSavedGame(char Name)")
            .Mask(33),
        SCommandRow::Function("m_SetConditions", Cmd_SetConditions, "Set a number of conditions",
                              "m_SetConditions [Number]")
            .MapScript(),
        SCommandRow::Function("m_Condition", Cmd_Condition, "Description",
                              "m_Condition(...Dynamic arguments, see other documentation...);")
            .MapScript(),
        SCommandRow::Function("m_ListConditions", Cmd_ListConditions, "Description", "m_ListConditions")
            .Mask(4),
    };
    CommandTable_Register(ip, rows);
}
