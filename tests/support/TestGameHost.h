// A game host for world and network-game tests: no game object, no display.
//
// It keeps what the world asks of it where a test can read it (the console
// lines, the scripts run, the messages sent, the locks taken), answers the
// clock and the state words from fields the test sets, and throws
// CTestGameHost::SFatalExit where the game would end the process. Making one
// sets it as the world's host; destroying it clears that. Header only, so a
// test that links the world alone can use it.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "core/StrBuf.h"
#include "netgame/NetGameHost.h"

class CTestGameHost : public CNetGameHost {
public:
    struct SFatalExit {
        int exitCode;
    };
    struct SSent {
        int type;
        std::vector<uint8_t> data;
    };

    CTestGameHost() { GameHost_Set(this); }
    ~CTestGameHost() override {
        if (GameHost() == this) GameHost_Set(nullptr);
    }

    void Print(const char* text) override { lines.push_back(text); }
    void PrintColor(int, int, int, bool, const char* text) override { lines.push_back(text); }
    bool RunScriptFile(const char* path) override {
        scripts.push_back(path);
        return false;
    }
    const char* GetPath(const char* subFolder, const char* name) override {
        m_path.Format("%s%s%s\\%s", root.c_str(), subFolder ? "\\" : "", subFolder ? subFolder : "",
                      name ? name : "");
        return m_path.GetText();
    }
    void Lock() override { ++locks; }
    void Unlock() override { --locks; }
    int32_t GuiWord() override { return guiWord; }
    int32_t GameState() override { return gameState; }
    int32_t GameType() override { return gameType; }
    uint64_t GameTime() override { return gameTime; }
    float TickStep() override { return tickStep; }
    float FrameStep() override { return frameStep; }
    float GameSeconds() override { return (float)((double)gameTime / 1193182.0); }
    bool Send(int type, const void* data, int length, int, int) override {
        const uint8_t* bytes = static_cast<const uint8_t*>(data);
        sent.push_back({type, std::vector<uint8_t>(bytes, bytes + (data ? length : 0))});
        return true;
    }
    const char* GetSystemText(int) override { return ""; }
    void ShowMessageAndRedraw(const char* text) override { lines.push_back(text); }
    CGameScene* GameScene() override { return scene; }
    CWorldGrid* WorldGrid() override { return grid; }
    CExplosionManager* ExplosionManager() override { return explosions; }
    CPhysicsEngine* PhysicsEngine() override { return physics; }
    CPlayerList* PlayerList() override { return players; }
    CE3DEngine* Engine() override { return engine; }
    CProjectList* Projects() override { return projects; }
    bool SoundOff() override { return soundOff; }
    // A sample for every path in soundFiles; every call is recorded.
    SoundSample* LoadSample(const char* path) override {
        loadedSounds.push_back(path);
        if (!soundFiles.count(path)) return nullptr;
        // Any distinct non-null value stands for the sample; it is never read.
        return reinterpret_cast<SoundSample*>(static_cast<uintptr_t>(0x1000 + loadedSounds.size()));
    }
    void FreeSample(SoundSample*) override { ++freedSamples; }
    void PlaySample(SoundSample* sample, int volume) override { played.push_back({sample, volume}); }
    void QueueVoice(SoundSample* sample, int volume, int kind) override {
        voices.push_back({sample, volume, kind});
    }
    void ListeningPoint(float* x, float* z) override {
        *x = listen[0];
        *z = listen[1];
    }
    bool QueueModifier() override { return queueModifier; }
    bool DirectMoveModifier() override { return directMove; }
    bool FormationModifier() override { return keepFormation; }
    bool MapEditMode() override { return mapEditMode; }
    SInterfaceFields* InterfaceFields() override { return interfaceFields; }
    CE3DViewport* Viewport() override { return viewport; }
    void PlaceCamera(const float* eye, const float* target, float fieldOfView) override {
        for (int i = 0; i < 3; ++i) cameraEye[i] = eye[i], cameraTarget[i] = target[i];
        cameraFieldOfView = fieldOfView;
        ++cameraPlacements;
    }
    void ShakeCamera(float amount, float distance) override { shakes.push_back({amount, distance}); }
    int32_t UnitLimit() override { return unitLimit; }
    void PostEventMessage(int code, int32_t ownerId, float x, float z, const char* text) override {
        events.push_back({code, ownerId, x, z, text ? text : ""});
    }
    [[noreturn]] void FatalExit(int exitCode) override { throw SFatalExit{exitCode}; }

    void SaveConfigFiles() override { ++configSaves; }
    float FrameTimeout() override { return frameTimeout; }
    void SetGameSpeed(float factor) override { gameSpeed = factor; }
    float FrameRate() override { return 0.0f; }
    float Lag() override { return 0.0f; }

    std::vector<std::string> lines;
    std::vector<std::string> scripts;
    std::vector<SSent> sent;
    struct SEvent {
        int code;
        int32_t ownerId;
        float x, z;
        std::string text;
    };
    std::vector<SEvent> events;
    int32_t unitLimit = 0;
    std::string root = "Z:\\test\\Tessarak";
    int locks = 0;  // taken minus released
    int32_t guiWord = 0, gameState = 2, gameType = 0;
    uint64_t gameTime = 1;
    float tickStep = 1.0f / 15.0f;
    float frameStep = 1.0f / 60.0f;
    float frameTimeout = 10.0f;
    float gameSpeed = 1.0f;
    int configSaves = 0;
    CGameScene* scene = nullptr;
    CWorldGrid* grid = nullptr;
    CExplosionManager* explosions = nullptr;
    CPhysicsEngine* physics = nullptr;
    CPlayerList* players = nullptr;
    CE3DEngine* engine = nullptr;
    CProjectList* projects = nullptr;
    bool soundOff = true;
    std::set<std::string> soundFiles;
    std::vector<std::string> loadedSounds;
    int freedSamples = 0;
    struct SPlayed {
        SoundSample* sample;
        int volume;
    };
    std::vector<SPlayed> played;
    struct SVoice {
        SoundSample* sample;
        int volume, kind;
    };
    std::vector<SVoice> voices;
    float listen[2] = {0.0f, 0.0f};
    bool directMove = false, keepFormation = false, mapEditMode = false;
    SInterfaceFields* interfaceFields = nullptr;
    CE3DViewport* viewport = nullptr;
    float cameraEye[3] = {0, 0, 0}, cameraTarget[3] = {0, 0, 0};
    float cameraFieldOfView = 0.0f;
    int cameraPlacements = 0;
    struct SShake {
        float amount, distance;
    };
    std::vector<SShake> shakes;
    bool queueModifier = false;

private:
    CStrBuf m_path;
};
