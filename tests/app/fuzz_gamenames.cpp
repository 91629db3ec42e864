// Names from scripts, maps and peers through the game object's name
// handling: the name list splitter, the path resolver and the game-directory
// check.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "app/Game.h"
#include "app/GameRoles.h"
#include "ui/Interface.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static CGame* game = [] {
        CGame::SetConsoleToStdout(false);
        CGame* g = new CGame(nullptr, "No datafile");
        g->SetRootDir("Z:\\opt\\tessarak\\Tessarak");
        g->SetInterface(new CInterface(g->Roles().Interface()));
        g->Interface()->m_campaignName = "Camp";
        return g;
    }();
    std::string text(reinterpret_cast<const char*>(data), size);
    const char* name = text.c_str();

    int count = -1;
    CStrBuf* names = SplitNameList(name, &count);
    if ((names == nullptr) != (count == 0)) __builtin_trap();
    for (int i = 0; i < count; ++i)
        if (names[i].IsEmpty() || names[i].GetLength() > 254) __builtin_trap();
    delete[] names;

    const char* path = game->GetPath("Scripts", name);
    if (!path) __builtin_trap();
    (void)std::strlen(path);
    path = game->GetPath(nullptr, name);
    (void)std::strlen(path);

    if (CGame::IsPlainFolderName(name)) {
        // A plain folder name never leaves the installation.
        if (std::strchr(name, '\\') || std::strchr(name, '/') || std::strchr(name, ':') ||
            std::strstr(name, ".."))
            __builtin_trap();
    }
    return 0;
}
