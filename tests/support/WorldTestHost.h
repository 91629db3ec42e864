// A world to test in: a host of the world (CGameHost) with a game scene, a
// player list, the physics engine and the explosion manager, and a scene root
// frame for the objects; no display, no sound engine, no network. Console
// lines and sent messages are kept for the test to read. Also helpers that
// build template trees the way the content loader does.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "e3d/Frame.h"
#include "world/GameHost.h"
#include "world/GameScene.h"
#include "world/ObjectTemplate.h"
#include "world/Player.h"

class CExplosionManager;
class CPhysicsEngine;

class CWorldTestHost : public CGameHost {
public:
    // Makes itself the world's host and builds the world.
    CWorldTestHost();
    ~CWorldTestHost() override;

    void Print(const char* text) override { m_lines.push_back(text); }
    void PrintColor(int, int, int, bool, const char* text) override { m_lines.push_back(text); }
    bool RunScriptFile(const char*) override { return false; }
    // root\subFolder\name with the test's root folder.
    const char* GetPath(const char* subFolder, const char* name) override;
    void Lock() override { ++m_locks; }
    void Unlock() override { --m_locks; }
    int32_t GuiWord() override { return 0; }
    int32_t GameState() override { return 2; }
    int32_t GameType() override { return 0; }
    uint64_t GameTime() override { return m_gameTime; }
    float TickStep() override { return m_tickStep; }
    float FrameStep() override { return m_frameStep; }
    float GameSeconds() override { return static_cast<float>(m_gameTime) / 1193182.0f; }
    bool Send(int type, const void* data, int length, int, int) override;
    const char* GetSystemText(int) override { return ""; }
    void ShowMessageAndRedraw(const char* text) override { m_lines.push_back(text); }
    CGameScene* GameScene() override { return m_scene; }
    CWorldGrid* WorldGrid() override { return nullptr; }
    CExplosionManager* ExplosionManager() override { return m_explosions; }
    CPhysicsEngine* PhysicsEngine() override { return m_physics; }
    CPlayerList* PlayerList() override { return m_players; }
    CE3DEngine* Engine() override { return nullptr; }
    bool SoundOff() override { return m_soundOff; }
    // A sample for every path in m_soundFiles; every call is recorded.
    SoundSample* LoadSample(const char* path) override;
    void FreeSample(SoundSample*) override { ++m_freedSamples; }
    void PlaySample(SoundSample* sample, int volume) override { m_played.push_back({sample, volume}); }
    void ListeningPoint(float* x, float* z) override {
        *x = m_listen[0];
        *z = m_listen[1];
    }
    [[noreturn]] void FatalExit(int exitCode) override;

    // The last console line that contains text, or "".
    std::string FindLine(const char* text) const;

    // A template node under parent (the scene root frame for a top-level one).
    template <class T>
    T* MakeTemplate(CE3DFrame* parent, uint32_t nodeId, const char* name) {
        bool top = parent == m_root;
        T* t = new T(m_scene, parent, top ? 1 : 0, nullptr);
        t->m_projectId = 1;
        t->m_nodeId = nodeId;
        t->m_name = name;
        t->m_power = 100.0f;
        return t;
    }

    CE3DFrame* m_root;
    CGameScene* m_scene = nullptr;
    CPlayerList* m_players = nullptr;
    CPhysicsEngine* m_physics = nullptr;
    CExplosionManager* m_explosions = nullptr;
    std::vector<std::string> m_lines;
    struct SSent {
        int type;
        std::vector<uint8_t> data;
    };
    std::vector<SSent> m_sent;
    int m_locks = 0;
    uint64_t m_gameTime = 0;
    float m_tickStep = 1.0f / 15.0f;
    float m_frameStep = 1.0f / 60.0f;
    bool m_soundOff = true;
    std::string m_rootFolder = "/content";
    std::set<std::string> m_soundFiles;
    std::vector<std::string> m_loadedSounds;
    int m_freedSamples = 0;
    struct SPlayed {
        SoundSample* sample;
        int volume;
    };
    std::vector<SPlayed> m_played;
    float m_listen[2] = {0.0f, 0.0f};

private:
    std::string m_path;
};
