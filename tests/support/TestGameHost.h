// The world's roles as a test fills them: no game object, no display, no
// network. CTestGameHost implements every role a world is given
// (world/WorldRoles.h) and nothing more, and keeps what the world asks of it
// where a test can read it (the console lines, the scripts run, the
// messages sent, the locks taken, the shakes and the events); the clock and
// the state come from fields the test sets. FatalExit throws
// CTestGameHost::SFatalExit where the game would end the process. Header
// only, so a test that links the world alone can use it.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "core/StrBuf.h"
#include "world/WorldRoles.h"

class CTestGameHost : public IWorldConsole,
                      public IWorldFiles,
                      public IWorldClock,
                      public IOrderSender,
                      public IWorldView,
                      public IWorldSound,
                      public IWorldSession {
public:
    struct SFatalExit {
        int exitCode;
    };
    struct SSent {
        int type;
        std::vector<uint8_t> data;
    };

    // Every role, for a world to be made with.
    SWorldRoles Roles() {
        SWorldRoles r;
        r.console = this;
        r.files = this;
        r.clock = this;
        r.sender = this;
        r.view = this;
        r.sound = this;
        r.session = this;
        return r;
    }

    // ---- console and scripts
    void Print(const char* text) override { lines.push_back(text); }
    void PrintColor(int, int, int, bool, const char* text) override { lines.push_back(text); }
    bool RunScriptFile(const char* path) override {
        scripts.push_back(path);
        return false;
    }
    const char* GetSystemText(int) override { return ""; }
    void ShowMessageAndRedraw(const char* text) override { lines.push_back(text); }

    // ---- files
    const char* GetPath(const char* subFolder, const char* name) override {
        m_path.Format("%s%s%s\\%s", root.c_str(), subFolder ? "\\" : "", subFolder ? subFolder : "",
                      name ? name : "");
        return m_path.GetText();
    }

    // ---- time
    uint64_t GameTime() override { return gameTime; }
    float TickStep() override { return tickStep; }
    float GameSeconds() override { return (float)((double)gameTime / 1193182.0); }

    // ---- sending orders: recorded
    bool Send(int type, const void* data, int length) override {
        const uint8_t* bytes = static_cast<const uint8_t*>(data);
        sent.push_back({type, std::vector<uint8_t>(bytes, bytes + (data ? length : 0))});
        return true;
    }

    // ---- the view
    void ShakeAt(float amount, float x, float z) override { shakes.push_back({amount, x, z}); }
    void PostEventMessage(int code, int32_t ownerId, float x, float z, const char* text) override {
        events.push_back({code, ownerId, x, z, text ? text : ""});
    }
    void SelectionChanged() override { ++selectionChanges; }
    void FollowObject(int32_t id) override { followed = id; }

    // ---- sound
    bool SoundOff() override { return soundOff; }
    // A sample for every path in soundFiles; every call is recorded.
    SWorldSample* LoadSample(const char* path) override {
        loadedSounds.push_back(path);
        if (!soundFiles.count(path)) return nullptr;
        // Any distinct non-null value stands for the sample; it is never read.
        return reinterpret_cast<SWorldSample*>(static_cast<uintptr_t>(0x1000 + loadedSounds.size()));
    }
    void FreeSample(SWorldSample*) override { ++freedSamples; }
    void PlaySample(SWorldSample* sample, int volume) override { played.push_back({sample, volume}); }
    void QueueVoice(SWorldSample* sample, int volume, int kind) override {
        voices.push_back({sample, volume, kind});
    }
    void ListeningPoint(float* x, float* z) override {
        *x = listen[0];
        *z = listen[1];
    }

    // ---- the session
    void Lock() override { ++locks; }
    void Unlock() override { --locks; }
    bool InLobby() override { return inLobby; }
    int32_t UnitLimit() override { return unitLimit; }
    [[noreturn]] void FatalExit(int exitCode) override { throw SFatalExit{exitCode}; }

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
    int selectionChanges = 0;
    int32_t followed = -1;  // the object the camera follows (-1: none)
    int32_t unitLimit = 0;
    std::string root = "Z:\\test\\Tessarak";
    int locks = 0;  // taken minus released
    bool inLobby = false;
    uint64_t gameTime = 1;
    float tickStep = 1.0f / 15.0f;
    bool soundOff = true;
    std::set<std::string> soundFiles;
    std::vector<std::string> loadedSounds;
    int freedSamples = 0;
    struct SPlayed {
        SWorldSample* sample;
        int volume;
    };
    std::vector<SPlayed> played;
    struct SVoice {
        SWorldSample* sample;
        int volume, kind;
    };
    std::vector<SVoice> voices;
    float listen[2] = {0.0f, 0.0f};
    struct SShake {
        float amount, x, z;
    };
    std::vector<SShake> shakes;

private:
    CStrBuf m_path;
};
