// What the world asks of the game around it.
//
// The simulation never includes the game object: it sees the game through
// this one abstract class, reached with GameHost(), as the game object
// (CGame) implements it and sets it when it is made. A world test or a
// dedicated server hands the world a host of its own, so world code compiles,
// links and runs without the application, the interface or a display.
//
// Where world code calls a game operation by its name (GetPath, Lock,
// FatalExit), the method here keeps that name. When the world needs something
// more of the game, it is added here as one more method, never reached by
// including a header of a layer above the world. The layers above the world
// extend this class with what they need of the game in turn (CNetGameHost in
// netgame/, CInterfaceHost in ui/); the game object implements the last.
#pragma once

#include <cstdint>

class CGameScene;
class CWorldGrid;
class CExplosionManager;
class CPhysicsEngine;
class CPlayerList;
class CPlayer;
class CE3DEngine;
class CProjectList;
class SoundSample;
class CE3DViewport;
struct SInterfaceFields;

class CGameHost {
public:
    virtual ~CGameHost() = default;

    // ---- console
    // One console line in white, not echoed on the screen.
    virtual void Print(const char* text) = 0;
    // One console line in colour; echo also shows it as a timed screen message.
    virtual void PrintColor(int r, int g, int b, bool echo, const char* text) = 0;
    // Print of a formatted line (the Windows printf dialect of CStrBuf::Format).
    void Printf(const char* fmt, ...);
    // Runs a command script line by line: a name below "Scripts", or a full
    // path (one from GetPath). A missing file is reported on the console and
    // false returned; the caller goes on.
    virtual bool RunScriptFile(const char* path) = 0;

    // ---- files
    // Resolves a name below the game's root directory and an optional
    // sub-folder ("Maps", "Units"); the result lives until the next call.
    virtual const char* GetPath(const char* subFolder, const char* name) = 0;

    // ---- the game's state and locks
    // The game lock, taken around every change of the world from outside the
    // logic tick (clearing or loading the scene, a resync).
    virtual void Lock() = 0;
    virtual void Unlock() = 0;
    // The frame dispatch's two state words: the GUI word (non-zero while an
    // interface screen runs) and the game state (0 start, 1 loading, 2 running).
    virtual int32_t GuiWord() = 0;
    virtual int32_t GameState() = 0;
    // 0 single-player game, 1 skirmish, 2 multiplayer.
    virtual int32_t GameType() = 0;

    // ---- the game clock
    // Game time in units of 1/1193182 second.
    virtual uint64_t GameTime() = 0;
    // Seconds of game time that the current tick advances (0 while stopped):
    // every simulated motion and timer steps by it.
    virtual float TickStep() = 0;
    // Seconds of real time of the last frame (view-only timers).
    virtual float FrameStep() = 0;
    // Game time in seconds since the game started.
    virtual float GameSeconds() = 0;

    // ---- the network game
    // Sends a game message to the session (to the server, or from the server
    // to its clients); false when there is no session to send on.
    virtual bool Send(int type, const void* data, int length, int flag1, int flag2) = 0;
    // Sends a game message for a player, behind that player's earlier ones
    // (its send slot keeps them in order); a host without a network game of
    // its own sends it as Send does.
    virtual bool SendForPlayer(CPlayer* player, int type, const void* data, int length) {
        (void)player;
        return Send(type, data, length, 0, 0);
    }

    // ---- input
    // The input manager's queue flag: orders are appended and selections
    // added to while it is held.
    virtual bool QueueModifier() = 0;
    // The other two order modifiers of the input manager: a group move goes
    // straight to the point, or keeps the group's formation.
    virtual bool DirectMoveModifier() { return false; }
    virtual bool FormationModifier() { return false; }
    // The map-editing mode (M_EditMode).
    virtual bool MapEditMode() { return false; }

    // ---- the session's limits and the player's events
    // The most units a player may have in the session, 0 for no limit.
    virtual int32_t UnitLimit() = 0;
    // An event of the game for the player whose owner id is given (an order
    // that cannot go on, a production that waits): the interface tells the
    // local player, with a marker at (x, z); text is a unit template's name
    // or "".
    virtual void PostEventMessage(int code, int32_t ownerId, float x, float z, const char* text) = 0;

    // ---- the interface
    // The text of one system-text entry ("" when unset).
    virtual const char* GetSystemText(int index) = 0;
    // Clears the screen, prints the line on the console, draws the console and
    // presents it at once (progress lines while content loads).
    virtual void ShowMessageAndRedraw(const char* text) = 0;
    // The fields the interface shares with the world about the mouse and the
    // selection; null without an interface.
    virtual SInterfaceFields* InterfaceFields() { return nullptr; }

    // ---- the view (only what is seen: a host without a display keeps
    // these defaults, and nothing of the simulation depends on them)
    // The viewport of the game view: its pick rays and projections; null
    // without a display.
    virtual CE3DViewport* Viewport() { return nullptr; }
    // Places the game camera: its eye, the point it looks at, its field of
    // view (radians).
    virtual void PlaceCamera(const float* /*eye*/, const float* /*target*/, float /*fieldOfView*/) {}
    // An explosion shakes the camera by amount, less the farther it is (the
    // ground distance from the camera's focus, at least 0.01).
    virtual void ShakeCamera(float /*amount*/, float /*distance*/) {}

    // ---- the world objects the game owns (null before they are made)
    virtual CGameScene* GameScene() = 0;
    virtual CWorldGrid* WorldGrid() = 0;
    virtual CExplosionManager* ExplosionManager() = 0;
    virtual CPhysicsEngine* PhysicsEngine() = 0;
    // The players, teams and races of the session (the network game keeps
    // them; null before it exists).
    virtual CPlayerList* PlayerList() = 0;
    // The 3D engine of the game view (emitter templates by name); null
    // without a display.
    virtual CE3DEngine* Engine() = 0;
    // The content projects (the game screen's list; a server or a test keeps
    // its own), into which the unit file loads; null when there is none.
    virtual CProjectList* Projects() { return nullptr; }

    // ---- sound (audio only: nothing here takes part in the simulation)
    // True while no sound is loaded or played (no sound engine, or sound
    // switched off).
    virtual bool SoundOff() = 0;
    // A sample loaded from a sound file in the mixer's format; null when the
    // file does not load.
    virtual SoundSample* LoadSample(const char* path) = 0;
    virtual void FreeSample(SoundSample* sample) = 0;
    // Plays a sample on a free channel at a volume of 0 to 80.
    virtual void PlaySample(SoundSample* sample, int volume) = 0;
    // Queues a sample on the voice queue (the event messages' announcer),
    // which plays one voice after the other, at a volume of 0 to 127; a voice
    // of kind 14 throws out every other queued voice.
    virtual void QueueVoice(SoundSample* sample, int volume, int kind) = 0;
    // Where the player listens: the world point under the mouse (y = 0).
    virtual void ListeningPoint(float* x, float* z) = 0;

    // The orderly end after a fatal content error: the game shuts down (the
    // settings are saved, every subsystem deleted) and the process ends.
    [[noreturn]] virtual void FatalExit(int exitCode) = 0;
};

// The host the world runs in: the game object, or a test's or a server's.
// Null until one is set; every world object is made after that.
CGameHost* GameHost();
// Makes host the world's host (null: none).
void GameHost_Set(CGameHost* host);
