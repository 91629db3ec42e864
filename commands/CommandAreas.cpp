#include "commands/CommandAreas.h"

#include "app/GameServices.h"
#include "commands/ConsoleCommands.h"
#include "commands/EffectsCommands.h"
#include "commands/EmitterCommands.h"
#include "commands/GUICommands.h"
#include "commands/GameCommands.h"
#include "commands/MapCommands.h"
#include "commands/NetworkCommands.h"
#include "commands/PlayCommands.h"
#include "commands/ScriptFlow.h"
#include "commands/SoundCommands.h"
#include "commands/TestCommands.h"
#include "console/CommandTable.h"

void Commands_Install() {
    Game_SetEarlyCommands(&RegisterScriptCommands);
    CommandArea_Set(kAreaGame, &RegisterGameCommands);
    CommandArea_Set(kAreaMap, &RegisterMapCommands);
    CommandArea_Set(kAreaNetwork, &RegisterNetworkCommands);
    CommandArea_Set(kAreaConsole, &RegisterConsoleCommands);
    CommandArea_Set(kAreaSound, &RegisterSoundCommands);
    CommandArea_Set(kAreaOrders, &RegisterGUICommands);
    CommandArea_Set(kAreaEffects, &RegisterEffectsCommands);
    CommandArea_Set(kAreaView, &RegisterViewCommands);
    CommandArea_Set(kAreaPlay, &RegisterPlayCommands);
    CommandArea_Set(kAreaTest, &RegisterTestCommands);
    CommandArea_Set(kAreaEmitterEditor, &RegisterEmitterCommands);
}
