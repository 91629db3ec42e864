#include "commands/CommandAreas.h"

#include "ai/AIManager.h"
#include "app/Game.h"
#include "app/GameServices.h"
#include "app/SoundEngine.h"
#include "commands/CommandContext.h"
#include "commands/ConsoleCommands.h"
#include "commands/DebugCommands.h"
#include "commands/EffectsCommands.h"
#include "commands/EmitterCommands.h"
#include "commands/GUICommands.h"
#include "commands/GameCommands.h"
#include "commands/MapCommands.h"
#include "commands/PlayCommands.h"
#include "commands/ScriptFlow.h"
#include "commands/TestCommands.h"
#include "commands/ViewCommands.h"
#include "console/CommandTable.h"
#include "netgame/NetGame.h"

namespace {
// The network area is the session's own, with the game's switches the
// network area names (their fields are the game's).
void RegisterNetworkCommands(CCommandInterpreter* ip) {
    CGame* game = GameOf(ip);
    if (CNetGame* net = game ? game->NetGame() : nullptr) net->RegisterCommands(ip);
    if (game)
        game->RegisterVariables(
            ip, {"ge_Minimize", "ge_MainSleep", "ge_MaxFPS", "perf_DrawFPS", "perf_DrawUpdateList",
                 "perf_DrawPathList", "ShowPlayers", "ge_UniqueTessarak"});
}

// The computer players' area: the manager's own rows, and the two that
// reach the game and its view (the map area's AI_Create and
// AI_CentreCameraToTeam).
void RegisterAICommands(CCommandInterpreter* ip) {
    CGame* game = GameOf(ip);
    if (CAIManager* ai = game ? game->AIManager() : nullptr) ai->RegisterCommands(ip);
    RegisterMapAICommands(ip);
}

// The sound area is the sound engine's own.
void RegisterSoundCommands(CCommandInterpreter* ip) {
    CGame* game = GameOf(ip);
    if (SoundEngine* sound = game ? game->Sound() : nullptr) sound->RegisterCommands(ip);
}
}  // namespace

void Commands_Install() {
    Game_SetEarlyCommands(&RegisterScriptCommands);
    CommandArea_Set(kAreaAI, &RegisterAICommands);
    CommandArea_Set(kAreaGame, &RegisterGameCommands);
    CommandArea_Set(kAreaMap, &RegisterMapCommands);
    CommandArea_Set(kAreaNetwork, &RegisterNetworkCommands);
    CommandArea_Set(kAreaDebug, &RegisterDebugCommands);
    CommandArea_Set(kAreaConsole, &RegisterConsoleCommands);
    CommandArea_Set(kAreaSound, &RegisterSoundCommands);
    CommandArea_Set(kAreaOrders, &RegisterGUICommands);
    CommandArea_Set(kAreaEffects, &RegisterEffectsCommands);
    CommandArea_Set(kAreaView, &RegisterViewCommands);
    CommandArea_Set(kAreaPlay, &RegisterPlayCommands);
    CommandArea_Set(kAreaTest, &RegisterTestCommands);
    CommandArea_Set(kAreaEmitterEditor, &RegisterEmitterCommands);
}
