// What the command interpreter needs of the game around it.
//
// The interpreter is created long before most of the game exists and is
// exercised on its own by the tests, so it never reaches into the game:
// everything it consults (the game-state bits that gate commands, the console
// it prints to, path resolution and script files) comes through this small
// interface. The game object implements it; a test implements it with a few
// fields.
#pragma once

#include <cstdint>

class CConsole;
class CCommandInterpreter;

// Game-state bits that command masks are tested against.
enum : uint32_t {
    kStateHost = 1,          // a session exists and hosts
    kStateClient = 2,        // a session exists, connected as a client
    kStateInGame = 4,        // a game is running (render frames, not loading)
    kStateEditor = 8,        // the current server description is an editor one
    kStateSessionLive = 16,  // a session exists and is not being reset
    kStateNotInGame = 32,    // no game is running
};

// The facts the state bits are made of, as the game and its session hold them.
struct SCommandStateInputs {
    bool hasSession = false;
    bool hosting = false;
    bool clientConnected = false;
    bool editorServer = false;
    bool gameReset = false;
    int32_t gameState = 0;  // 2 while render frames run
    int32_t guiWord = 0;
    bool gameLoading = false;
};

uint32_t CommandState_Bits(const SCommandStateInputs& in);

class ICommandHost {
public:
    virtual ~ICommandHost() = default;
    // Bits of the current game state, taken afresh for every statement.
    virtual uint32_t GetGameStateBits() = 0;
    // The console that messages go to; null before the interface exists (the
    // interpreter then writes its messages to standard error).
    virtual CConsole* GetConsole() = 0;
    // Resolves a file name below a folder of the installation ("Scripts",
    // "Maps", "Scripts\Config"); the result stays valid until the next call.
    virtual const char* GetPath(const char* subFolder, const char* name) = 0;
    // Runs one script file. The default resolves the name under "Maps" or
    // "Scripts" (or takes it as given) and runs it through the file table.
    virtual void RunScriptFile(CCommandInterpreter* interpreter, const char* name, bool inMaps, bool asGiven);
    // The last used key-bindings file changed: the held keys fire again.
    virtual void OnBindingsFileChanged() {}
};
