// A world to test in: the test game host (CTestGameHost) with a game scene,
// a player list (the neutral and the local player), the physics engine and
// the explosion manager, and a scene root frame for the objects; no display,
// no sound engine, no network. Also a helper that builds template trees the
// way the content loader does.
#pragma once

#include <cstdint>
#include <string>

#include "e3d/Frame.h"
#include "tests/support/TestGameHost.h"
#include "world/GameScene.h"
#include "world/ObjectTemplate.h"
#include "world/Player.h"

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

    CE3DFrame* m_root;
};
