// A skirmish of the demo units for the saved-game tests: machines of a
// network game (CNetMachine) that load the build's demo units, start with a
// headquarters and a few units for every player at the map's corners, play
// the mission objectives of a skirmish, the host's computer players (the
// game's own, CAIManager, stepped after each frame's messages as the game
// steps them), and a script that commands the player at each machine:
// every few ticks some units go somewhere and some attack the nearest
// enemy, through the world's order interface, as a player's orders go. The
// script's own state (its generator, its count of ticks) is a part of every
// saved game, as the computer players' is, so a game loaded from one goes
// on with the same orders.
#pragma once

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "ai/AIManager.h"
#include "netgame/SavedGame.h"
#include "tests/netgame/NetTestMachine.h"
#include "world/Objectives.h"
#include "world/Project.h"
#include "world/Unit.h"
#include "world/WorldCommands.h"

class CSkirmishScript : public ISavedGamePart {
public:
    static constexpr uint32_t kTag = SavedGame_Tag("TEST");

    explicit CSkirmishScript(CNetMachine& m) : m_machine(m) { m_random.Seed(1234); }

    // The side this machine commands: its own player.
    bool Commands(const CPlayer* p) const { return p && p == m_machine.net->LocalPlayer(); }

    // Before each turn of the running game.
    void Step() {
        ++m_ticks;
        if (m_ticks % 20 != 0) return;
        CGameScene& scene = *m_machine.scene;
        std::vector<CUnit*> mine;
        for (CUnit* u = scene.m_units; u; u = u->m_unitNext)
            if (Commands(u->m_owner) && u->IsAlive() && !u->Dying() && (u->m_unitState & CUnit::kU_Mobile))
                mine.push_back(u);
        if (mine.empty()) return;
        CWorldCommands& commands = m_machine.m_world->Commands();
        for (int n = 0; n < 3; ++n) {
            CUnit* u = mine[static_cast<size_t>(m_random.Rand()) % mine.size()];
            const float x = (m_random.RandFloat() * 2.0f - 1.0f) * 40.0f;
            const float z = (m_random.RandFloat() * 2.0f - 1.0f) * 40.0f;
            commands.Move({u->m_objectId}, x, z, 0);
        }
        CUnit* u = mine[static_cast<size_t>(m_random.Rand()) % mine.size()];
        CUnit* best = nullptr;
        float bestD = 1e30f;
        for (CUnit* e = scene.m_units; e; e = e->m_unitNext) {
            if (!e->m_owner || e->m_owner == u->m_owner || e->m_owner == m_machine.net->m_players.m_neutral ||
                e->Dying())
                continue;
            const float d = (e->m_position[0] - u->m_position[0]) * (e->m_position[0] - u->m_position[0]) +
                            (e->m_position[2] - u->m_position[2]) * (e->m_position[2] - u->m_position[2]);
            if (d < bestD) {
                bestD = d;
                best = e;
            }
        }
        if (best) commands.Attack({u->m_objectId}, best->m_objectId, 0);
    }

    uint32_t SavedTag() const override { return kTag; }
    void SaveSection(CStateArchive& ar) override {
        ar.WriteU32(m_random.GetState());
        ar.WriteU32(m_ticks);
    }
    bool LoadSection(CStateArchive& ar, std::string* why) override {
        const uint32_t state = ar.ReadU32();
        const uint32_t ticks = ar.ReadU32();
        if (state > 0x7FFF) ar.Fail();
        if (!ar.Ok()) {
            if (why) *why = "the script's state is out of range";
            return false;
        }
        if (ar.IsApplying()) {
            m_random.m_state = state;
            m_ticks = ticks;
        }
        return true;
    }

    CNetMachine& m_machine;
    CRandom m_random;
    uint32_t m_ticks = 0;
};

// A machine of the skirmish: the demo units loaded, saved games in the
// folder given (its "Save" folder is <root>\Save), the start and the script
// hooked in.
class CSkirmishMachine : public CNetMachine {
public:
    CSkirmishMachine(const char* name, const std::string& rootFolder)
        : CNetMachine(name, false), script(*this) {
        root = "Z:" + rootFolder;
        ordersOnlyWhileLoading = true;
        // The host keeps 15 ticks a second however busy the machine is (its
        // pace would lower the tick rate, and with it every tick's time,
        // when a step takes long): two runs tick alike.
        net->m_minFps = net->m_targetFps;
        gameType = 1;
        net->AddSavedPart(&script);
        ai.reset(new CAIManager(m_world.get(), net.get()));
        placeStartUnits = [this] { PlaceStart(); };
        runObjectives = [this] { SetObjectives(); };
        beforeTurn = [this] {
            script.Step();
            if (net->m_hosting) ai->Tick();
        };
    }
    ~CSkirmishMachine() override {
        ai.reset();
        net->RemoveSavedPart(&script);
        // The objects first, then the templates with their projects.
        while (scene->m_allObjects) delete scene->m_allObjects;
        m_world->SetProjects(nullptr);
    }

    // The build's demo units (TESSARAK_BUILD names the build); false with the
    // console's lines in error.
    // half: the map's half side.
    bool LoadDemoUnits(std::string& error, int32_t half = 48) {
        const char* build = std::getenv("TESSARAK_BUILD");
#ifdef TESSARAK_BUILD_DIR
        if (!build) build = TESSARAK_BUILD_DIR;  // a program of the build (a fuzz target)
#endif
        if (!build) {
            error = "TESSARAK_BUILD is not set: run through ctest";
            return false;
        }
        grid->SetMapRect(-half, half, half, -half);
        grid->Reset();
        projects.reset(new CProjectList(nullptr, scene));
        m_world->SetProjects(projects.get());
        const std::string units = std::string("Z:") + build + "/install/Tessarak/Units";
        if (!scene->LoadUnits(units.c_str())) {
            for (const std::string& l : lines) error += l + "\n";
            return false;
        }
        scene->DeriveTemplateSizes();
        return true;
    }

    // The map: the computer players start on it (the skirmish's map has no
    // folder of its own: they play by their default values).
    void LoadMap() override {
        scene->Clear();
        ai->InitializeCommanders("Skirmish", "");
        net->Send(NS_NOTIFYTYPE_MAPCHANGESTART_REPLY, nullptr, 0);
    }

    // A player's start: its race's headquarters and six units at a corner,
    // and resources to build with.
    void PlaceStart() {
        static const char* const kMobile[2][3] = {
            {"Granite_LightTank", "Granite_HeavyTank", "Granite_Artillery"},
            {"Coral_LightTank", "Coral_HeavyTank", "Coral_Artillery"}};
        int side = 0;
        for (CPlayer* p : net->m_players.m_players) {
            if (p == net->m_players.m_neutral) continue;
            const float cx = side % 2 == 0 ? -30.0f : 30.0f, cz = side < 2 ? -30.0f : 30.0f;
            const int race = side % 2;
            uint8_t give[8];
            NWE_Put32(give, static_cast<uint32_t>(p->m_id));
            const float amount = 3000.0f;
            std::memcpy(give + 4, &amount, 4);
            net->Send(NS_NOTIFYTYPE_GIVERESOURCES, give, 8);
            Request(race == 0 ? "Granite_Headquarters" : "Coral_Headquarters", cx, cz, p);
            for (int i = 0; i < 6; ++i)
                Request(kMobile[race][i % 3], cx + (i % 3 - 1) * 5.0f,
                        cz + (i < 3 ? 8.0f : 13.0f) * (cz < 0 ? 1 : -1), p);
            ++side;
        }
    }
    void Request(const char* name, float x, float z, CPlayer* owner) {
        if (CTessarakObjectTemplate* t = scene->FindTemplate(name)) RequestUnit(t, x, z, owner->m_ownerId);
    }

    // A skirmish's objectives: the other side gone wins, an hour lost.
    void SetObjectives() {
        CMissionObjectives& o = scene->Objectives();
        o.SetTable(2);
        o.Condition({"Win", "Destroy the other side", "TEAM_IS_DEAD", "2"});
        o.Condition({"Lost", "An hour", "TIME_IS", "3600"});
    }

    // The number of ticks the world stepped (its scene's counter).
    uint32_t WorldTicks() const {
        return scene->m_frameCounter;
    }

    CSkirmishScript script;
    std::unique_ptr<CProjectList> projects;
    std::unique_ptr<CAIManager> ai;
};
