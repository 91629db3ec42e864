// What the world asks of the game around it: a few narrow roles, one per
// concern.
//
// The simulation never includes a header of a layer above it. Whoever makes
// a world (the game object, a dedicated server, a test) hands it the roles it
// can fill in an SWorldRoles; the world answers a role that was not given
// with a quiet default (no console, no files, a stopped clock, nobody to send
// to, no view, no sound, a session without limits). A role is reached only
// through the world that holds it (CWorld::Console() and its kin), never
// through a global.
//
//   role             what it holds                                   the game's implementer
//   IWorldConsole    console lines, script files, system texts,     app/GameRoles.cpp (the console of
//                    progress lines while content loads             the interface, the input manager)
//   IWorldFiles      paths below the game's root                    app/GameRoles.cpp (CGame::GetPath)
//   IWorldClock      game time and the tick's step                  app/GameRoles.cpp (the game clock)
//   IOrderSender     game messages to the session                   netgame (CNetGame's sender)
//   IWorldView       camera shakes and the player's events          app/GameRoles.cpp (game view, HUD)
//   IWorldSound      samples, where the player listens              app/GameRoles.cpp (sound engine)
//   IWorldSession    the game lock, lobby or game, limits, the end  app/GameRoles.cpp (CGame)
//
// Nothing of the simulation depends on the view and sound roles: a machine
// without them (a dedicated server, a test) stays bit for bit in step.
#pragma once

#include <cstdint>

class CPlayer;

// A sound sample of the sound role: the world keeps and hands back the
// pointers it was given, and never looks inside. Null: no sample.
struct SWorldSample;

// ---- console and scripts
class IWorldConsole {
public:
    virtual ~IWorldConsole() = default;
    // One console line in white, not echoed on the screen.
    virtual void Print(const char* text) = 0;
    // One console line in colour; echo also shows it as a timed screen message.
    virtual void PrintColor(int r, int g, int b, bool echo, const char* text) = 0;
    // Runs a command script line by line: a name below "Scripts", or a full
    // path (one from IWorldFiles::GetPath). A missing file is reported on
    // the console and false returned; the caller goes on.
    virtual bool RunScriptFile(const char* path) = 0;
    // The text of one system-text entry ("" when unset).
    virtual const char* GetSystemText(int index) = 0;
    // The line on the console, drawn and presented at once (progress lines
    // while content loads).
    virtual void ShowMessageAndRedraw(const char* text) { Print(text); }

    // Print of a formatted line (the Windows printf dialect of CStrBuf::Format).
    void Printf(const char* fmt, ...);
};

// ---- files
class IWorldFiles {
public:
    virtual ~IWorldFiles() = default;
    // Resolves a name below the game's root directory and an optional
    // sub-folder ("Maps", "Units"); the result lives until the next call.
    virtual const char* GetPath(const char* subFolder, const char* name) = 0;
};

// ---- time
class IWorldClock {
public:
    virtual ~IWorldClock() = default;
    // Game time in units of 1/1193182 second.
    virtual uint64_t GameTime() = 0;
    // Seconds of game time that the current tick advances (0 while
    // stopped): every simulated motion and timer steps by it.
    virtual float TickStep() = 0;
    // Game time in seconds since the game started.
    virtual float GameSeconds() = 0;
};

// ---- sending orders
// The world sends what must happen on every machine (an order, the way a
// path search found, a kill) as a game message to the session; it takes
// effect when the session hands it back in a turn's orders.
class IOrderSender {
public:
    virtual ~IOrderSender() = default;
    // Sends a game message to the session; false when there is none.
    virtual bool Send(int type, const void* data, int length) = 0;
    // The same for a player, behind that player's earlier messages (its
    // send slot keeps them in order).
    virtual bool SendForPlayer(CPlayer* player, int type, const void* data, int length) {
        (void)player;
        return Send(type, data, length);
    }
};

// ---- the view and the player's events (view only)
class IWorldView {
public:
    virtual ~IWorldView() = default;
    // An explosion at (x, z) shakes the camera by amount, less the farther
    // it is from what the camera looks at.
    virtual void ShakeAt(float amount, float x, float z) = 0;
    // An event of the game for the player whose owner id is given (an order
    // that cannot go on, a production that waits): the interface tells the
    // local player, with a marker at (x, z); text is a unit template's name
    // or "".
    virtual void PostEventMessage(int code, int32_t ownerId, float x, float z, const char* text) = 0;
    // A selected unit took a tenth of its power in damage since the last
    // call: the panels that show the selection are drawn again.
    virtual void RefreshSelection() {}
    // A selected unit left play: the interface takes it out of its
    // selection and rebuilds the panels that show it.
    virtual void SelectionChanged() {}
    // The camera follows the object of the id (-1: nothing).
    virtual void FollowObject(int32_t) {}
};

// ---- sound (audio only)
class IWorldSound {
public:
    virtual ~IWorldSound() = default;
    // True while no sound is loaded or played.
    virtual bool SoundOff() = 0;
    // A sample from a sound file; null when the file does not load.
    virtual SWorldSample* LoadSample(const char* path) = 0;
    virtual void FreeSample(SWorldSample* sample) = 0;
    // Plays a sample on a free channel at a volume of 0 to 80.
    virtual void PlaySample(SWorldSample* sample, int volume) = 0;
    // Queues a sample on the voice queue (the event messages' announcer),
    // which plays one voice after the other, at a volume of 0 to 127; a voice
    // of kind 14 throws out every other queued voice.
    virtual void QueueVoice(SWorldSample* sample, int volume, int kind) = 0;
    // Where the player listens: the world point under the mouse (y = 0).
    virtual void ListeningPoint(float* x, float* z) = 0;
    // Seconds between two attack notices of one kind (sounds_RemindTime).
    virtual int32_t NoticeDelay() { return 30; }
};

// ---- who keeps account of the units (the computer players)
// Not one of the roles a world is made with: whoever keeps the account
// comes and goes on its own (CWorld::SetUnitWatcher).
class IUnitWatcher {
public:
    virtual ~IUnitWatcher() = default;
    // A unit with an id leaves play (once, at its release; not while the
    // scene is emptied): its place, the value it lost to damage and the
    // value its shots destroyed over its life.
    virtual void FlushUnit(int32_t id, float x, float z, float valueLost, float valueDestroyed) = 0;
};

// ---- the session the world runs in
class IWorldSession {
public:
    virtual ~IWorldSession() = default;
    // The game lock, taken around every change of the world from outside
    // the logic tick (clearing or loading the scene, a resync).
    virtual void Lock() = 0;
    virtual void Unlock() = 0;
    // True while the lobby or another interface screen runs, not a game.
    virtual bool InLobby() = 0;
    // The most units a player may have, 0 for no limit.
    virtual int32_t UnitLimit() = 0;
    // The orderly end after a fatal content error: the game shuts down and
    // the process ends.
    [[noreturn]] virtual void FatalExit(int exitCode) = 0;
};

// The quiet defaults of the console and files roles, which the layers that
// share them (the world, the network game, the interface) stand in for one
// not given: a console that prints nothing and runs no script, files whose
// paths are the names as given.
IWorldConsole& WorldRoles_QuietConsole();
IWorldFiles& WorldRoles_PlainFiles();

// The roles a world is given; a null one is answered with the quiet default.
struct SWorldRoles {
    IWorldConsole* console = nullptr;
    IWorldFiles* files = nullptr;
    IWorldClock* clock = nullptr;
    IOrderSender* sender = nullptr;
    IWorldView* view = nullptr;
    IWorldSound* sound = nullptr;
    IWorldSession* session = nullptr;
};
