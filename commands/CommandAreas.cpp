#include "commands/CommandAreas.h"

#include "app/GameServices.h"
#include "commands/ConsoleCommands.h"
#include "commands/GameCommands.h"
#include "commands/ScriptFlow.h"
#include "console/CommandTable.h"

void Commands_Install() {
    Game_SetEarlyCommands(&RegisterScriptCommands);
    CommandArea_Set(kAreaGame, &RegisterGameCommands);
    CommandArea_Set(kAreaConsole, &RegisterConsoleCommands);
}
