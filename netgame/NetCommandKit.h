// What the network area's handlers share: the session a row works on (its
// context), the reading of a row's arguments, the server's start and the
// on-change of the links' settings.
#pragma once

#include <cstdint>

#include "console/ConsoleCommand.h"
#include "core/StrBuf.h"
#include "core/VFSFile.h"

class CNetGame;

namespace netcmd {
inline CNetGame* Net(CConsoleCommand* record) {
    return record ? static_cast<CNetGame*>(record->GetContext()) : nullptr;
}

inline int Count(SCommandArgs* args) {
    return args ? args->count : 0;
}

// The number an argument holds, or false when it is not one.
inline bool IntArg(SCommandArgs* args, int i, int32_t* out) {
    return args && i < args->count && args->arg[i].GetInt(*out);
}

// One line of a configuration file a function row writes itself.
inline void WriteLine(CVFSFile* file, const CStrBuf& line) {
    file->Write(line.GetText(), (uint32_t)line.GetLength());
}
}  // namespace netcmd

// Hosts on the port (a server running already is kept) and, when public,
// lists it at the master server while it runs. False when no server runs.
bool NetCommands_StartServer(CNetGame* net, uint16_t port, bool makePublic);
// The on-change of the settings the links use (passwords, packet size, the
// chat's target): the server is asked for the packet size set now.
void NetCommands_OnSettingsChanged(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file);
