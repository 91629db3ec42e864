// A world to test in: the world's roles as a test fills them (CTestGameHost)
// and a world (CWorld) made with them, given a player list (the neutral and
// the local player) and a scene root frame for the objects; no display, no
// sound engine, no network. The world's parts are at hand under the names
// the tests use (scene, grid, explosions, physics, players). Also a helper
// that builds template trees the way the content loader does.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "e3d/Frame.h"
#include "tests/support/TestGameHost.h"
#include "world/GameScene.h"
#include "world/ObjectTemplate.h"
#include "world/Player.h"
#include "world/World.h"

class CTessarakObject;
class CUnitTemplate;
class CUnitWeaponTemplate;
class CGridMemberTemplate;

class CWorldGrid;
class CExplosionManager;
class CPhysicsEngine;
class CProjectList;

class CWorldTestHost : public CTestGameHost {
public:
    // Builds the world with this host's roles.
    CWorldTestHost();
    ~CWorldTestHost() override;

    // The last console line that contains text, or "".
    std::string FindLine(const char* text) const;

    // A template node under parent (the scene root frame for a top-level one).
    template <class T>
    T* MakeTemplate(CE3DFrame* parent, uint32_t nodeId, const char* name) {
        bool top = parent == m_root;
        T* t = new T(scene, parent, top ? 1 : 0, nullptr);
        t->m_projectId = 1;
        t->m_nodeId = nodeId;
        t->m_name = name;
        t->m_power = 100.0f;
        return t;
    }

    // An object of the template's class under the root frame.
    CTessarakObject* Make(CTessarakObjectTemplate* tmpl, int32_t id, CPlayer* owner = nullptr);

    // One logic tick of the world as the game runs it: the clock advances
    // one tick period, then the turn with the orders given (none: an empty
    // turn) steps every object and the grid's cell map.
    void TickWorld(const CTurnOrders& orders = CTurnOrders());
    // The content projects the world loads into (null: none).
    void SetProjects(CProjectList* list) {
        projects = list;
        world.SetProjects(list);
    }

private:
    // Built first and gone last: the scene root the objects hang under, the
    // players the objects and templates name.
    std::unique_ptr<CE3DFrame> m_rootHolder;
    std::unique_ptr<CPlayerList> m_playersHolder;

public:
    CE3DFrame* m_root;
    CWorld world;
    CGameScene* scene;
    CWorldGrid* grid;
    CExplosionManager* explosions;
    CPhysicsEngine* physics;
    CPlayerList* players;
    CProjectList* projects = nullptr;
};

// A small set of templates: "Tank" (a unit, id 10) with "Gun" (a weapon, 11)
// and "Selection" (12) under it, "Rock" (a plain object, 20) and "Depot" (a
// grid member, 30), all of project 1.
struct SDemoTemplates {
    explicit SDemoTemplates(CWorldTestHost& host);
    CUnitTemplate* tank;
    CUnitWeaponTemplate* gun;
    CTessarakObjectTemplate* ring;
    CTessarakObjectTemplate* rock;
    CGridMemberTemplate* depot;
};

// An object's sync image and saved record.
std::vector<uint8_t> SyncImageOf(CTessarakObject* object);
std::vector<uint8_t> SavedRecordOf(CTessarakObject* object);
