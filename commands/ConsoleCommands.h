// The console's own commands: echo, help and listing, scrolling, showing and
// hiding the console, the command line with its history and completion, the
// console fonts and the character-set constants.
#pragma once

class CCommandInterpreter;

void RegisterConsoleCommands(CCommandInterpreter* interpreter);
