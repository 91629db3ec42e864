// The network area's commands of the world outside one game: public servers
// and the master server, the server browser, the chat (of the master's
// channels, of a contacted server, of the game), the host's pause, speed and
// gifts, alliances, the browser's and the links' tuning, the location
// constants and the game's diagnostic switches of this area.
#pragma once

#include <cstdint>

class CCommandInterpreter;
class CConsoleCommand;
class CNetGame;
class CVFSFile;
struct SCommandArgs;

void RegisterNetworkLobbyCommands(CCommandInterpreter* interpreter);

// Hosts on the port (a server running already is kept) and, when public,
// lists it at the master server while it runs. False when no server runs.
bool NetworkCommands_StartServer(CNetGame* net, uint16_t port, bool makePublic);
// The on-change of the settings the links use (passwords, packet size, the
// chat's target, the game's instance switches): the server is asked for the
// packet size set now.
void NetworkCommands_OnSettingsChanged(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file);
