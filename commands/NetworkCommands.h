// The console commands of the network game: connect, host and leave, the
// players and teams of the game, the local player's name, colour and team,
// and the settings of the links (passwords, rates, ports, sync checks).
#pragma once

class CCommandInterpreter;

void RegisterNetworkCommands(CCommandInterpreter* interpreter);
