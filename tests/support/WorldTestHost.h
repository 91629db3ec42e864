// A world to test in: the test game host (CTestGameHost) with a game scene,
// a player list (the neutral and the local player), the physics engine and
// the explosion manager, and a scene root frame for the objects; no display,
// no sound engine, no network. Also a helper that builds template trees the
// way the content loader does.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "e3d/Frame.h"
#include "tests/support/TestGameHost.h"
#include "world/GameScene.h"
#include "world/ObjectTemplate.h"
#include "world/Player.h"

class CTessarakObject;
class CUnitTemplate;
class CUnitWeaponTemplate;
class CGridMemberTemplate;

class CWorldTestHost : public CTestGameHost {
public:
    // Makes itself the world's host and builds the world.
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

    CE3DFrame* m_root;
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
