#include "commands/GameCommands.h"

#include "app/Game.h"
#include "app/GameConsole.h"
#include "commands/CommandContext.h"
#include "console/CommandInterpreter.h"
#include "console/CommandTable.h"
#include "netgame/NetGame.h"
#include "world/GameScene.h"
#include "world/World.h"

namespace {
int32_t s_gmSingle = 0, s_gmSkirmish = 1, s_gmMulti = 2;

CGame* Game(CConsoleCommand* record) {
    return GameOf(record);
}

void Cmd_Quit(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    if (file || !Game(record)) return;
    // The orderly way out: settings saved, subsystems deleted, exit code 0.
    Game_FatalExit(0);
}

void Cmd_RemoveAllUnits(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    CGame* game = Game(record);
    if (!file && game && game->World()) game->World()->Scene().Clear();
}

void Cmd_Game(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CGame* game = Game(record);
    if (file || !game) return;
    if (game->NetGame() && game->NetGame()->m_clientConnected && !game->NetGame()->m_hosting) {
        Game_PrintAndRender("You cannot set game when connected to a server.");
        return;
    }
    const char* name = args ? args->Text(0) : nullptr;
    if (!name || !name[0]) return;
    CStrBuf copy(name);  // the start-up scripts reuse the argument list
    game->ExecStartup(copy.GetText());
}

void Cmd_StartGame(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    CGame* game = Game(record);
    if (file || !game || !game->NetGame()) return;
    CNetGame* net = game->NetGame();
    // A game that is starting or running (no interface screen shown) is
    // never started again from here.
    if (game->GuiWord() == 0) return;
    // A skirmish needs an opponent: the session's players, the neutral one
    // counted, are more than two. A saved skirmish being continued brings
    // its own.
    if (game->Variables().gameType == 1 && net->HostedSavedGame().IsEmpty() &&
        net->m_players.m_players.size() <= 2)
        return;
    net->SendStartRequest();
}
}  // namespace

void RegisterGameCommands(CCommandInterpreter* ip) {
    CGame* game = GameOf(ip);
    if (!game) return;
    static CStrBuf s_gameDescription;
    s_gameDescription.Assign("Sets the game directory. \"Tessarak\" is the default");
    const SCommandRow rows[] = {
        SCommandRow::Function("Quit", Cmd_Quit, "Quits the game back to the operating system", "Quit();")
            .Usage("Quit();"),
        SCommandRow::Function("ExitGame", Cmd_Quit, "Quits the game back to the operating system",
                              "ExitGame();"),
        SCommandRow::Function("RemoveAllUnits", Cmd_RemoveAllUnits, "Removes all units from gamescene",
                              "RemoveAllUnits [FLOAT]")
            .Mask(9),
        SCommandRow::Int("GM_Single", &s_gmSingle, 0, 3, "Constant", "GM_Single").ReadOnly(),
        SCommandRow::Int("GM_Skirmish", &s_gmSkirmish, 0, 3, "Constant", "GM_Skirmish").ReadOnly(),
        SCommandRow::Int("GM_Multi", &s_gmMulti, 0, 3, "Constant", "GM_Multi").ReadOnly(),
        SCommandRow::Function("Game", Cmd_Game, s_gameDescription.GetText(), "Game(str GameDirectory)")
            .Mask(1),
        SCommandRow::Function("StartGame", Cmd_StartGame, "starts up the game", "StartGame();").Mask(1),
    };
    CommandTable_Register(ip, rows);
    game->RegisterVariables(ip, {"GameMode"});
}
