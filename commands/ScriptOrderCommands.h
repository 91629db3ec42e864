// The map scripts' order commands (ss_): the script points (ground points
// numbered 0 to 254 that the scripts name), orders for the selected units
// toward a script point or an offset from each unit (move, attack, build,
// patrol, harvest, guard, repair, tow), clearing their orders, an array of
// world points for a group to take, and units held until a numbered signal.
//
// Every order goes through the world's order interface, so it reaches the
// units on every machine in the same turn, and the signals travel as the
// game message SIGNAL. The script points are this machine's table, set by
// the map's scripts, which run these rows on every machine. The GUI area
// registers these rows among its own.
#pragma once

class CCommandInterpreter;

void RegisterScriptOrderCommands(CCommandInterpreter* interpreter);
