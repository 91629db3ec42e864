// What the GUI asks of the game around it, one narrow role: the game's state
// words and kind, the clock, the command interpreter that runs the buttons'
// commands, the screen the pictures and fonts live on, the session the lobby
// shows, the folders and the scripts. The game implements it over itself
// (app/GameInterface.cpp); an interface without it (a test, a fuzz target)
// gets the default, which has no game: nothing runs, nothing is drawn.
#pragma once

#include <cstdint>

class CCommandInterpreter;
class CE3DScreen;
class CNetGame;

class IGUIGame {
public:
    virtual ~IGUIGame() = default;
    // The GUI word (non-zero while an interface screen runs the frames) and
    // the kind of game (GameMode: 0 single player, 1 skirmish, 2 multiplayer).
    virtual int32_t GuiWord() { return 1; }
    virtual void SetGuiWord(int32_t word) { (void)word; }
    virtual int32_t GameType() { return 0; }
    // The last frame's seconds, and the game clock's counter and rate.
    virtual float FrameTime() { return 0.0f; }
    virtual uint64_t ClockNow() { return 0; }
    virtual uint64_t ClockFrequency() { return 1193182; }
    virtual CCommandInterpreter* Interpreter() { return nullptr; }
    // The screen of the pictures and fonts (null before the display is set
    // up), the session (null before it is made).
    virtual CE3DScreen* Screen() { return nullptr; }
    virtual CNetGame* NetGame() { return nullptr; }
    // A name below the installation's game folder (subFolder may be null).
    virtual const char* GetPath(const char* subFolder, const char* name) {
        (void)subFolder;
        return name ? name : "";
    }
    // A script of the Scripts folder (or a full path) run at the next frame.
    virtual void QueueScript(const char* name) { (void)name; }
    // The world's mission result: won, and clearing both results.
    virtual bool MissionWon() { return false; }
    virtual void ClearMissionResult() {}
};
