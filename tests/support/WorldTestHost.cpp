#include "tests/support/WorldTestHost.h"

#include <cstdlib>
#include <stdexcept>

#include "world/ExplosionManager.h"
#include "world/PhysicsEngine.h"

CWorldTestHost::CWorldTestHost() : m_root(new CE3DFrame(nullptr)) {
    GameHost_Set(this);
    m_physics = new CPhysicsEngine(this);
    m_explosions = new CExplosionManager(this);
    m_scene = new CGameScene(this);
    m_scene->m_rootFrame = m_root;
    m_players = new CPlayerList;
}

CWorldTestHost::~CWorldTestHost() {
    delete m_scene;  // objects, then templates
    m_scene = nullptr;
    delete m_players;
    delete m_explosions;
    delete m_physics;
    delete m_root;
    GameHost_Set(nullptr);
}

const char* CWorldTestHost::GetPath(const char* subFolder, const char* name) {
    m_path = m_rootFolder;
    if (subFolder && *subFolder) m_path += std::string("\\") + subFolder;
    if (name && *name) m_path += std::string("\\") + name;
    return m_path.c_str();
}

bool CWorldTestHost::Send(int type, const void* data, int length, int, int) {
    const uint8_t* p = static_cast<const uint8_t*>(data);
    m_sent.push_back({type, std::vector<uint8_t>(p, p + length)});
    return true;
}

SoundSample* CWorldTestHost::LoadSample(const char* path) {
    m_loadedSounds.push_back(path);
    if (!m_soundFiles.count(path)) return nullptr;
    // Any distinct non-null value stands for the sample; it is never read.
    return reinterpret_cast<SoundSample*>(static_cast<uintptr_t>(0x1000 + m_loadedSounds.size()));
}

void CWorldTestHost::FatalExit(int exitCode) {
    throw std::runtime_error("FatalExit " + std::to_string(exitCode));
}

std::string CWorldTestHost::FindLine(const char* text) const {
    for (auto it = m_lines.rbegin(); it != m_lines.rend(); ++it)
        if (it->find(text) != std::string::npos) return *it;
    return "";
}
