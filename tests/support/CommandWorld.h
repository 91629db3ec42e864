// The game's console commands over a world with the demo units, for tests
// that type commands as a player or a map script would and look at what the
// world does: a game object with its world (the build's demo templates, a
// square map), its session's players (the local player of the Granite race
// and an enemy of the Coral race), its interface and its interpreter with
// every area registered. The world's roles are a test host's: what the
// world sends (orders, stops, kills, signals, script points) is recorded,
// and Turn hands it back as the next lockstep turn, as a session of this
// machine alone does. With a display, the game view stands on the
// recording display back end (its viewport projects and picks; nothing is
// shown). Run through ctest (the build's installation is found by
// TESSARAK_BUILD).
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "app/Game.h"
#include "app/GameClock.h"
#include "e3d/Frame.h"
#include "netgame/NetGame.h"
#include "platform/d3d/Recorder.h"
#include "tests/support/CommandConsole.h"
#include "tests/support/TestGameHost.h"

class CGameView;
class CProjectList;
class CUnit;
class CUnitTemplate;
class CWorld;
class CTessarakObjectTemplate;
class CPlayer;

class CCommandWorld : public CTestGameHost {
public:
    // A map from -half to half on both axes; error gets the console's lines
    // when the demo content does not load.
    explicit CCommandWorld(int32_t half = 64, bool display = false);
    ~CCommandWorld() override;
    bool Load(std::string& error);

    // The console lines the command text printed.
    std::vector<std::string> Run(const std::string& text) { return console.Run(text.c_str()); }
    // A complete unit of the template at (x, 0, z) with the next object id.
    CUnit* Spawn(const char* templateName, float x, float z, CPlayer* owner);
    // Exactly the units are selected (through the world's order interface).
    void Select(const std::vector<CUnit*>& units);
    // A unit template of the test's own, its keys read as the loader reads
    // them, with a record for every player.
    CUnitTemplate* MakeUnitTemplate(const char* name,
                                    const std::vector<std::pair<const char*, const char*>>& keys);
    // Lockstep turns of this machine alone: what the world sent since the
    // last turn (the world's orders) comes back as the turn's orders, then
    // every object steps (steps false: the orders only). The orders taken.
    size_t Turn(int count = 1, bool steps = true);
    // The messages of the type sent so far and not yet taken by a turn.
    std::vector<SSent> Sent(int type) const;
    // A running game (render frames, the GUI word clear): the play rows'
    // state.
    void RunningGame();
    // The camera looks at the ground point (x, z) and the game view takes
    // its place (with a display).
    void LookAt(float x, float z);

    CD3DRecorder recorder;
    CE3DFrame root{nullptr};
    CGame game{nullptr, "No datafile"};
    CGameView* view = nullptr;
    CNetGame* net = nullptr;
    CWorld* world = nullptr;
    CPlayer* local = nullptr;
    CPlayer* enemy = nullptr;
    CCommandConsole console;
    CProjectList* projectList = nullptr;
    uint32_t nextTemplateId = 9000;
};
