// What the GUI asks of the game beyond the interface's other roles (files,
// screen, console, state words, ui/InterfaceRoles.h): the kind of game, the
// GUI word set back when a finished game is left, the last frame's time,
// scripts run at the next frame, the mission's result and the progress
// stack's top entry for the load screen. The game implements it
// (app/GameInterface.cpp); without it the default stands: no game.
#pragma once

#include <cstdint>

// What the load screen shows of the progress stack's top entry.
struct SProgressView {
    bool present = false;
    const char* title = "";
    const char* step = "";
    float overall = 0.0f;  // 0 to 1: the whole load
    float step01 = 0.0f;   // 0 to 1: the current step
};

class IGUIGame {
public:
    virtual ~IGUIGame() = default;
    // The kind of game (GameMode: 0 single player, 1 skirmish, 2
    // multiplayer), and the GUI word (set when a finished game is left).
    virtual int32_t GameType() { return 0; }
    virtual void SetGuiWord(int32_t word) { (void)word; }
    // The last frame's seconds.
    virtual float FrameTime() { return 0.0f; }
    // A script of the Scripts folder (or a full path) run at the next frame.
    virtual void QueueScript(const char* name) { (void)name; }
    // The world's mission result: won, and clearing both results.
    virtual bool MissionWon() { return false; }
    virtual void ClearMissionResult() {}
    virtual SProgressView Progress() { return SProgressView(); }
    // The game's clock stands (paused, or its speed all but 0).
    virtual bool Paused() { return false; }
};
