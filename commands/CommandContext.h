// What the game's console commands work on: the game object, which the
// program gives the command interpreter as its context. Every area reaches
// it through the record its handler is called with, or through the
// interpreter it registers on; never through the global g_pGame. Settings
// of the game's parts are registered by their owners (their RegisterSettings
// and RegisterCommands), which the areas call; an area binds no other
// object's field.
#pragma once

#include "console/CommandInterpreter.h"
#include "console/ConsoleCommand.h"

class CGame;

inline CGame* GameOf(CConsoleCommand* record) {
    return record ? static_cast<CGame*>(record->GetContext()) : nullptr;
}

inline CGame* GameOf(CCommandInterpreter* interpreter) {
    return interpreter ? static_cast<CGame*>(interpreter->GetContext()) : nullptr;
}
