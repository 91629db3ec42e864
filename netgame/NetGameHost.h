// What the network game asks of the game around it, beyond what the world
// asks (CGameHost): the game object implements it, the network game and the
// computer players (which sit above the network game) reach the game through
// it, and a test drives them with a host of its own.
//
// The game messages call into the game here: the clock that the server and
// its clients keep in step, the two state words that the game start and the
// game loop set, the map load that MAPCHANGESTART starts and the units that
// CREATEUNIT makes. Where the game has nothing to do yet the method has a
// small default.
#pragma once

#include <cstdint>

#include "netgame/NetMessages.h"
#include "world/GameHost.h"
#include "world/GameScene.h"
#include "world/GridMember.h"
#include "world/TessarakObject.h"
#include "world/Unit.h"

class CPlayer;

class CNetGameHost : public CGameHost {
public:
    // Writes the configuration scripts (a reset of the session does, unless
    // told not to).
    virtual void SaveConfigFiles() = 0;
    // Seconds the frame loop waits for a missing lockstep frame before it asks
    // the server; the reset value of the network game's frame countdown.
    virtual float FrameTimeout() = 0;
    // The game clock's speed factor (1.0 after a reset, 0 stops real time).
    virtual void SetGameSpeed(float factor) = 0;
    // The clock's frame rate and lag in seconds, for the statistics line.
    virtual float FrameRate() = 0;
    virtual float Lag() = 0;

    // ---- the clock the server keeps its clients in step with (game time in
    // units of 1/1193182 second)
    virtual uint64_t NextTickTime() { return GameTime(); }
    virtual uint64_t TickPeriod() { return 79545; }
    virtual float TickRate() { return 15.0f; }
    // Ticks per second (the tick period follows: 1193182 / rate, rounded).
    virtual void SetTickRate(float rate) { (void)rate; }
    virtual float GameSpeed() { return 1.0f; }
    // The time of the next tick and the game time (a client joining takes
    // the server's).
    virtual void SetClockTimes(uint64_t nextTick, uint64_t gameTime) {
        (void)nextTick;
        (void)gameTime;
    }
    virtual bool Paused() { return false; }
    virtual void SetPaused(bool paused) { (void)paused; }

    // ---- the game's state words and loading flag
    virtual void SetGuiWord(int32_t word) { (void)word; }
    virtual void SetGameState(int32_t state) { (void)state; }
    // Set while a game starts or a map loads (the server refuses joins then).
    virtual bool IsGameLoading() { return false; }
    virtual void SetGameLoading(bool loading) { (void)loading; }
    // The game folder's name ("Tessarak").
    virtual const char* GameFolder() { return "Tessarak"; }

    // ---- what the game messages start
    // GAMEDIR: the named game folder becomes the game's, its start-up script
    // runs, and the unit files load again. False when the folder is refused.
    virtual bool ExecStartup(const char* folder) {
        (void)folder;
        return true;
    }
    // MAPCHANGESTART: the current map loads on every machine, each answering
    // MAPCHANGESTART_REPLY when done (a host without maps clears its world
    // and answers).
    virtual void LoadMap() {
        if (CGameScene* scene = GameScene()) scene->Clear();
        Send(NS_NOTIFYTYPE_MAPCHANGESTART_REPLY, nullptr, 0, 0, 0);
    }
    // MAPFINISHUP: the map's objects are bound to their players and the
    // camera starts; each machine answers MAPFINISHUP_REPLY.
    virtual void AfterMapLoad() { Send(NS_NOTIFYTYPE_MAPFINISHUP_REPLY, nullptr, 0, 0, 0); }
    // MAPFINISHUP with its failure byte: a machine could not start the game;
    // this one leaves the start and goes back to the lobby.
    virtual void CallOffGameStart() {
        if (CGameScene* scene = GameScene()) scene->Clear();
        SetGameLoading(false);
        SetGuiWord(1);
    }
    // The server's start handshake: the start units of every player, and the
    // map's objective script before the game loop starts.
    virtual void PlaceStartUnits() {}
    virtual void RunObjectiveScript() {}
    // CREATEUNIT: a world object of the template at (x, 0, z) for owner,
    // under the given id; null when it cannot be made.
    virtual CTessarakObject* CreateUnit(CTessarakObjectTemplate* tmpl, float x, float z, CPlayer* owner,
                                        int32_t id) {
        CGameScene* scene = GameScene();
        if (!scene || !tmpl) return nullptr;
        float position[3] = {x, 0.0f, z};
        CTessarakObject* object = scene->CreateObjectByClass(tmpl, position, owner, id);
        if (!object) return nullptr;
        // As the game makes it: in its grid cells, a unit finished and active.
        object->ResetMatrixHistory();
        if (object->IsGridMember()) static_cast<CGridMember*>(object)->EnterGrid();
        if (object->IsUnit()) {
            static_cast<CUnit*>(object)->MarkFinished();
            object->Activate();
        }
        return object;
    }
    // The map the server plays becomes this machine's current map (false
    // for a name that is not a plain folder name).
    virtual bool SetMapName(const char* name) {
        (void)name;
        return true;
    }
    // The map's description from its box (the lobby's picture and texts).
    virtual void LoadMapInfo(const char* mapFile) { (void)mapFile; }
    // A script that runs at the next frame ("Connected.cfg" after joining,
    // "Disconnected.cfg" after the connection was lost).
    virtual void QueueScript(const char* name) { RunScriptFile(name); }
    // The confirm dialog with one button ("OK"), or a console line.
    virtual void ShowNotice(const char* text) { Print(text); }
    // Four bytes a client tells its server when it joins: what tells this
    // running game apart from another on the same machine.
    virtual uint32_t InstanceValue() { return 0; }
};
