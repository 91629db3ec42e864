// What the network game asks of the game around it: three narrow roles, one
// per concern, beside the world it carries the orders of (CNetGame::SetWorld)
// and the world's console and files roles it prints and reads through.
//
//   role             what it holds                                     the game's implementer
//   ILockstepClock   the clock the server keeps its clients in step     app/GameRoles.cpp (the game
//                    with: tick rate and period, speed, pause, the      clock)
//                    frame time and lag the pings report
//   IGameFlow        the game's state words and loading flag, the       app/GameRoles.cpp (CGame)
//                    game lock, scripts queued for the next frame, the
//                    game folder, notices, the settings' save
//   IMapLoader       the map the server plays and the game start it     app/GameStart.cpp (CGame)
//                    drives: MAPCHANGESTART's map load, MAPFINISHUP,
//                    the start units, the objective script
//
// A role that was not given is answered by a quiet default (a stopped clock
// at 15 ticks a second, a game that stays in the lobby, a session without
// maps that loads nothing and answers nothing); a test or a tool gives what
// it plays. None is reached through a global.
#pragma once

#include <cstdint>

class IWorldConsole;
class IWorldFiles;

// The fastest game speed the clock takes: a million times real time, far
// beyond what any machine runs, and far below what would overflow the
// clock's real time in a frame.
constexpr float kMaxGameSpeed = 1000000.0f;

class ILockstepClock {
public:
    virtual ~ILockstepClock() = default;
    // Game time in units of 1/1193182 second, and in seconds.
    virtual uint64_t GameTime() = 0;
    virtual float GameSeconds() = 0;
    // The time of the next tick (game time units).
    virtual uint64_t NextTickTime() = 0;
    virtual uint64_t TickPeriod() = 0;
    virtual float TickRate() = 0;
    // Ticks per second (the tick period follows: 1193182 / rate, rounded).
    virtual void SetTickRate(float rate) = 0;
    // The clock's speed factor (1.0 after a reset, 0 stops real time; at
    // most kMaxGameSpeed).
    virtual float GameSpeed() = 0;
    virtual void SetGameSpeed(float factor) = 0;
    // The time of the next tick and the game time (a client joining takes
    // the server's).
    virtual void SetClockTimes(uint64_t nextTick, uint64_t gameTime) = 0;
    virtual bool Paused() = 0;
    virtual void SetPaused(bool paused) = 0;
    // Seconds of real time the last frame took (a frame loop that waits
    // between frames leaves the wait out), and the clock's lag behind real
    // time: what a client reports in its pings, and the host's own pace.
    virtual float FrameStep() = 0;
    virtual float Lag() = 0;
    // Seconds the frame loop waits for a missing lockstep frame before it asks
    // the server; the reset value of the frame countdown.
    virtual float FrameTimeout() = 0;
};

class IGameFlow {
public:
    virtual ~IGameFlow() = default;
    // The frame dispatch's two state words: the GUI word (non-zero while an
    // interface screen runs) and the game state (0 start, 1 loading, 2
    // running), and the game type (0 single-player, 1 skirmish, 2 multiplayer).
    virtual int32_t GuiWord() = 0;
    virtual int32_t GameState() = 0;
    virtual int32_t GameType() = 0;
    virtual void SetGuiWord(int32_t word) = 0;
    virtual void SetGameState(int32_t state) = 0;
    // Set while a game starts or a map loads (the server refuses joins then).
    virtual bool IsGameLoading() = 0;
    virtual void SetGameLoading(bool loading) = 0;
    // The game lock, around a resync's changes of the world.
    virtual void Lock() = 0;
    virtual void Unlock() = 0;
    // The game folder's name ("Tessarak"); GAMEDIR switches to the named one,
    // runs its start-up script and loads its unit files again (false when
    // the folder is refused).
    virtual const char* GameFolder() = 0;
    virtual bool ExecStartup(const char* folder) = 0;
    // A script that runs at the next frame ("Connected.cfg" after joining,
    // "Disconnected.cfg" after the connection was lost).
    virtual void QueueScript(const char* name) = 0;
    // The confirm dialog with one button ("OK"), or a console line.
    virtual void ShowNotice(const char* text) = 0;
    // Writes the configuration scripts (a reset of the session does).
    virtual void SaveConfigFiles() = 0;
    // Four bytes a client tells its server when it joins: what tells this
    // running game apart from another on the same machine.
    virtual uint32_t InstanceValue() = 0;
};

class IMapLoader {
public:
    virtual ~IMapLoader() = default;
    // The map the server plays becomes this machine's current map (false
    // for a name that is not a plain folder name).
    virtual bool SetMapName(const char* name) = 0;
    // The map's description from its box (the lobby's picture and texts).
    virtual void LoadMapInfo(const char* mapFile) = 0;
    // MAPCHANGESTART: the current map loads on every machine, each answering
    // MAPCHANGESTART_REPLY when done.
    virtual void LoadMap() = 0;
    // MAPFINISHUP: the map's objects are bound to their players and the
    // camera starts; each machine answers MAPFINISHUP_REPLY.
    virtual void AfterMapLoad() = 0;
    // MAPFINISHUP with its failure byte: a machine could not start the game;
    // this one leaves the start and goes back to the lobby.
    virtual void CallOffGameStart() = 0;
    // The server's start handshake: the start units of every player, and the
    // map's objective script before the game loop starts.
    virtual void PlaceStartUnits() = 0;
    virtual void RunObjectiveScript() = 0;
};

// The roles a network game is given; a null one is answered by its default.
struct SNetRoles {
    IWorldConsole* console = nullptr;
    IWorldFiles* files = nullptr;
    ILockstepClock* clock = nullptr;
    IGameFlow* flow = nullptr;
    IMapLoader* maps = nullptr;
};
