#pragma once

class CCommandInterpreter;

// The map area: Map, Create and the map rows that maps and start-up use.
void RegisterMapCommands(CCommandInterpreter* ip);
