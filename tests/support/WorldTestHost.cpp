#include "tests/support/WorldTestHost.h"

#include "world/ExplosionManager.h"
#include "world/PhysicsEngine.h"

CWorldTestHost::CWorldTestHost() : m_root(new CE3DFrame(nullptr)) {
    physics = new CPhysicsEngine(this);
    explosions = new CExplosionManager(this);
    scene = new CGameScene(this);
    scene->m_rootFrame = m_root;
    players = new CPlayerList;
}

CWorldTestHost::~CWorldTestHost() {
    delete scene;  // objects, then templates
    scene = nullptr;
    delete players;
    players = nullptr;
    delete explosions;
    delete physics;
    delete m_root;
}

std::string CWorldTestHost::FindLine(const char* text) const {
    for (auto it = lines.rbegin(); it != lines.rend(); ++it)
        if (it->find(text) != std::string::npos) return *it;
    return "";
}
