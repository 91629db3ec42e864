// Games with computer players, headless, as the game runs them: each machine
// a CNetMachine (its own world, its own network game on UDP of 127.0.0.1)
// with the build's demo content (the unit file, a demo map's box with its
// objects and start positions, the learning files), and a computer-player
// manager that the host steps after each frame's messages and before the
// world's turn. The machines tick as fast as they can: nothing waits for
// real time. Run through ctest (the installation is found by
// TESSARAK_BUILD).
#pragma once

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <set>
#include <string>

#include "ai/AIManager.h"
#include "core/VFSFile.h"
#include "core/VFSTable.h"
#include "netgame/MapFiles.h"
#include "tests/netgame/NetTestMachine.h"
#include "world/Project.h"
#include "world/Unit.h"

inline std::string AIGame_Install() {
    const char* build = std::getenv("TESSARAK_BUILD");
#ifdef TESSARAK_BUILD_DIR
    if (!build) build = TESSARAK_BUILD_DIR;  // a program of the build (a benchmark)
#endif
    return build ? std::string(build) + "/install/Tessarak" : std::string();
}

class CAIMachine : public CNetMachine {
public:
    // A machine for the map (its square half-size), the demo unit file
    // loaded; false in ok when the installation is not there.
    CAIMachine(const char* name, const char* map, int32_t half)
        : CNetMachine(name), m_map(map), m_half(half) {
        const std::string install = AIGame_Install();
        root = "Z:" + install;
        m_projects.reset(new CProjectList(nullptr, scene));
        m_world->SetProjects(m_projects.get());
        ok = !install.empty() && scene->LoadUnits(("Z:" + install + "/Units").c_str());
        if (ok) scene->DeriveTemplateSizes();
        ai.reset(new CAIManager(m_world.get(), net.get()));
        beforeTurn = [this] {
            if (net->m_hosting && Running()) ai->Tick();
        };
    }
    ~CAIMachine() override {
        ai.reset();
        // The objects while the grid stands; the templates with their projects.
        while (scene->m_allObjects) delete scene->m_allObjects;
        m_world->SetProjects(nullptr);
        m_projects.reset();
    }

    // A player's race (before the game starts, by name).
    void SetRace(CPlayer* p, const char* race) {
        p->m_race = players->FindRace(race);
        p->m_raceName = race;
    }

    // ---- the map, as the game loads it
    void LoadMap() override {
        scene->Clear();
        m_world->Ids().SetCounter(0);
        grid->SetMapRect(-m_half, m_half, m_half, -m_half);
        grid->Reset();
        CVFSTable box;
        CVFSFile visual;
        const std::string path = root + "/Maps/" + m_map + "/MapData.box";
        if (box.MountPack(path.c_str()) && visual.Open("visual.bin", CVFSFile::kModeRead, &box)) {
            CWorld* world = m_world.get();
            CPlayer* neutral = players->m_neutral;
            LoadMapObjects(scene, &visual, [world, neutral](CTessarakObjectTemplate* t, float x, float z) {
                return world->CreateUnit(t, x, z, neutral, world->Ids().NewId());
            });
        }
        ai->InitializeCommanders(m_map.c_str(), (root + "\\Maps\\" + m_map).c_str());
        net->Send(NS_NOTIFYTYPE_MAPCHANGESTART_REPLY, nullptr, 0);
    }
    // Each playing side's start unit on its start position, and the start
    // resources.
    void PlaceStartUnits() override {
        size_t next = 0;
        for (CPlayer* p : players->m_players) {
            if (p == players->m_neutral || sidesOut.count(p->m_id)) continue;
            uint8_t give[8];
            NWE_Put32(give, static_cast<uint32_t>(p->m_id));
            const float amount = 5000.0f;
            std::memcpy(give + 4, &amount, 4);
            net->Send(NS_NOTIFYTYPE_GIVERESOURCES, give, 8);
            if (next < scene->m_startX.size() && p->m_race && p->m_race->m_startUnit)
                RequestUnit(p->m_race->m_startUnit, scene->m_startX[next], scene->m_startZ[next],
                            p->m_ownerId);
            ++next;
        }
    }

    // ---- reading the world
    // The live units of a player.
    int UnitsOf(int32_t playerId, const char* name = nullptr) const {
        int n = 0;
        for (CUnit* u = scene->m_units; u; u = u->m_unitNext)
            if (u->IsAlive() && !u->IsReleased() && u->m_owner && u->m_owner->m_id == playerId &&
                (!name || u->m_template->m_name.Equals(name)))
                ++n;
        return n;
    }
    // The players that still have units (the neutral one aside).
    std::set<int32_t> SidesLeft() const {
        std::set<int32_t> sides;
        for (CUnit* u = scene->m_units; u; u = u->m_unitNext)
            if (u->IsAlive() && !u->IsReleased() && u->m_owner && u->m_owner != players->m_neutral)
                sides.insert(u->m_owner->m_id);
        return sides;
    }

    std::string m_map;
    int32_t m_half;
    std::unique_ptr<CProjectList> m_projects;
    std::unique_ptr<CAIManager> ai;
    std::set<int32_t> sidesOut;  // players that get no start unit
    bool ok = false;
};

// What the game's rows do with a learner's lines (AILearner.h), on the
// machine: AI_AddCommander makes the computer player, AI_Create asks the
// session for the unit. The name, place, team, layer and id of a unit
// asked for are returned through create (when given); true for a line of
// either kind.
struct SLearnerCreate {
    std::string name;
    float x = 0.0f, z = 0.0f;
    int team = 0, layer = 0, id = 0;
};
inline bool AIGame_TakeLearnerLine(CAIMachine* host, const std::string& line,
                                   SLearnerCreate* create = nullptr) {
    int id = 0;
    char text[128] = {};
    SLearnerCreate c;
    if (std::sscanf(line.c_str(), "AI_AddCommander(%d, \"%127[^\"]\");", &id, text) == 2) {
        host->ai->AddCommander(id, text);
        return true;
    }
    if (std::sscanf(line.c_str(), "AI_Create(\"%127[^\"]\", %f, %f, %d, %d, %d", text, &c.x, &c.z, &c.team,
                    &c.layer, &c.id) != 6)
        return false;
    c.name = text;
    if (create) *create = c;
    if (CTessarakObjectTemplate* t = host->scene->FindTemplate(text)) host->RequestUnit(t, c.x, c.z, c.team);
    return true;
}

// A host and its clients with computer players.
class CAISession : public CNetSession {
public:
    CAIMachine* AddAI(const char* name, const char* map, int32_t half) {
        m_machines.emplace_back(new CAIMachine(name, map, half));
        return static_cast<CAIMachine*>(m_machines.back().get());
    }
    CAIMachine* AIHost() { return static_cast<CAIMachine*>(Host()); }
    // Steps every machine ticks times (the host's ticks), as fast as they go.
    bool RunTicks(int ticks, double seconds = 600.0) {
        const int until = Host()->tickCount + ticks;
        return RunUntil([&] { return Host()->tickCount >= until; }, seconds);
    }
};
