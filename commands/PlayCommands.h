// The play area of the command set: the selection of the local player's
// units, the map-script commands that put units under script control and
// give them orders directly, and the physics settings (pe_), bound to the
// game's physics engine.
#pragma once

class CCommandInterpreter;

void RegisterPlayCommands(CCommandInterpreter* interpreter);
