// What the GUI asks of the game beyond the interface's other roles (files,
// screen, console, state words, ui/InterfaceRoles.h): the kind of game, the
// GUI word set back when a finished game is left, the last frame's time,
// scripts run at the next frame, the mission's result and the progress
// stack's top entry for the load screen. The game implements it
// (app/GameInterface.cpp); without it the default stands: no game.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class CEditField;

// What the load screen shows of the progress stack's top entry.
struct SProgressView {
    bool present = false;
    const char* title = "";
    const char* step = "";
    float overall = 0.0f;  // 0 to 1: the whole load
    float step01 = 0.0f;   // 0 to 1: the current step
};

// A display mode and a display driver with its modes, as the option
// screen lists them.
struct SGUIDisplayMode {
    int32_t width = 0, height = 0, bitDepth = 0, refreshRate = 0;
};
struct SDisplayDriver {
    std::string name;         // what the requested driver names (Vid_Driver)
    std::string description;  // what the list shows
    bool primary = false;
    uint8_t guid[16] = {};
    std::vector<SGUIDisplayMode> modes;
};

// The display the game asks for (Video.cfg): what the graphics settings
// change. The game switches to it at its video restart.
struct SVideoRequest {
    std::string driver = "display";
    int32_t width = 640, height = 480, bitDepth = 16, refreshRate = 0;
    int32_t textureDetail = 0, textureQuality = 32;
    bool windowed = true, hardware = true;
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
    // The longest any player has kept the network game waiting for its
    // frames, in real seconds (0 when none does).
    virtual float LargestWait() { return 0.0f; }
    // The world's result: lost (the won one is MissionWon); whether the local
    // player watches the others play on.
    virtual bool MissionLost() { return false; }
    virtual bool Watching() { return false; }

    // ---- what the option screens change that no console variable holds
    // The requested display (false without a game) and a new one, after
    // which the game knows whether its display must restart.
    virtual bool VideoRequest(SVideoRequest& out) {
        (void)out;
        return false;
    }
    virtual void SetVideoRequest(const SVideoRequest& request) { (void)request; }
    virtual std::vector<SDisplayDriver> DisplayDrivers() { return {}; }
    // The display running now: its driver's name and its mode (bit depth 0
    // in a window, whose size is then the one asked for); false without one.
    virtual bool DisplayInUse(std::string& driver, SGUIDisplayMode& mode) {
        (void)driver;
        (void)mode;
        return false;
    }
    // The sound engine's MP3 play list by name; setting it loads it.
    virtual std::string MusicPlaylist() { return std::string(); }
    virtual void SetMusicPlaylist(const std::string& name) { (void)name; }
    // The computer players' difficulty (their learning files' index: 0 easy,
    // 1 medium, 2 hard).
    virtual int32_t AIDifficulty() { return 0; }
    virtual void SetAIDifficulty(int32_t level) { (void)level; }
    // The input's edit field while it edits the GUI's edit line, else null.
    virtual const CEditField* GUIEdit() { return nullptr; }
};
