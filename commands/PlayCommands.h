// The play area of the command set: the physics settings (pe_), bound to the
// game's physics engine.
#pragma once

class CCommandInterpreter;

void RegisterPlayCommands(CCommandInterpreter* interpreter);
