// The game area of the console commands: ending the program, the kind of
// game, the game directory and the start of a prepared game, plus the
// game object's own switches.
#pragma once

class CCommandInterpreter;

void RegisterGameCommands(CCommandInterpreter* interpreter);
