// What the network area's handlers share: the game and its network game a
// command row belongs to, and the reading of its arguments.
#pragma once

#include <cstdint>

#include "app/Game.h"
#include "console/ConsoleCommand.h"
#include "core/StrBuf.h"
#include "core/VFSFile.h"

namespace netcmd {
inline CGame* Game(CConsoleCommand* record) {
    CGame* game = record->GetOwner();
    return game ? game : g_pGame;
}

inline CNetGame* Net(CConsoleCommand* record) {
    CGame* game = Game(record);
    return game ? game->NetGame() : nullptr;
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
