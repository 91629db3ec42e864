#pragma once

class CCommandInterpreter;

// The map area: Map, Create and the map rows that maps and start-up use.
void RegisterMapCommands(CCommandInterpreter* ip);
// AI_Create and AI_CentreCameraToTeam of the computer players' area.
void RegisterMapAICommands(CCommandInterpreter* ip);
