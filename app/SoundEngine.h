// The sound engine: every sound and the music of the game.
//
// CGame owns one SoundEngine. Sound samples (SoundSample: a file decoded into
// the mixer's format at the chosen quality) play on a table of channels, one
// at a time per channel; interface voice messages wait in a queue and play
// one after the other on a reserved channel (a message of kind 14 throws out
// the others); 256 numbered slots hold looping sounds with a loop block read
// from the file; the music is a stream decoded as it plays, either looping one
// file or walking a play list with fades between titles. Sound banks carry
// the interface's samples inside GUI packfiles.
//
// The engine logs through the callback given to SoundEngine_Initialize (the
// game passes CGame::LogToConsole); every line begins with "..." and the
// operation's name. Its settings are the console variables of Sound.cfg,
// bound to the fields below. Without an output device (none there, or
// se_NoSound) every play returns false, or true when sound is switched off,
// and nothing is logged for it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "app/WaveFile.h"
#include "core/StrBuf.h"
#include "platform/sys/Thread.h"

class CGame;
class CVFSFile;
class CSoundDevice;
class CSoundVoice;
class CSoundBuffer;
class CMusicStream;
class SoundEngine;
class CCommandInterpreter;
class SoundSample;

typedef void (*SoundLogCallback)(const char* text, void* context);

// Categories of SoundEngine_Play.
enum { kSoundCategoryInterface = 1, kSoundCategoryEffects = 2 };
// A queued voice of this kind throws out every other queued voice.
constexpr int32_t kPlayNodeUrgent = 14;
constexpr int kSoundLoopSlots = 256;
constexpr int kSoundStreamSlots = 5;

// One channel of the table: its voice and the sample it plays.
struct SSoundChannel {
    CSoundVoice* voice = nullptr;
    SoundSample* sample = nullptr;
    uint8_t reserved[3] = {0, 0, 0};
};

// An entry of the interface voice queue.
class PlayNode {
public:
    // Appends itself to the end of the engine's voice queue.
    PlayNode(SoundEngine* engine, SoundSample* sample, int32_t kind);
    ~PlayNode();
    PlayNode(const PlayNode&) = delete;
    PlayNode& operator=(const PlayNode&) = delete;
    void Unlink();

    SoundEngine* m_owner;
    SoundSample* m_sample;
    int32_t m_kind;
    PlayNode* m_next = nullptr;
    PlayNode* m_prev = nullptr;
};

// The music play list.
class MusicPlaylist {
public:
    MusicPlaylist() = default;
    ~MusicPlaylist() { Clear(); }
    MusicPlaylist(const MusicPlaylist&) = delete;
    MusicPlaylist& operator=(const MusicPlaylist&) = delete;

    // Replaces the list with the files the play list names (in the file table
    // or on disk). False when the play list itself is missing.
    bool Load(const char* path);
    void Add(const char* name);
    // The current entry's name, then moves on (after the last, to the first);
    // null on an empty list.
    const char* Next();
    void Rewind() { m_current = m_head; }
    void Clear();
    int Count() const;

    struct SEntry {
        CStrBuf name;
        SEntry* next = nullptr;
    };
    SEntry* m_head = nullptr;
    SEntry* m_current = nullptr;
    uint8_t m_active = 0;
    uint8_t m_started = 0;
    uint8_t m_paused = 0;
};

class SoundSample {
public:
    // Links itself at the head of the engine's sample list.
    explicit SoundSample(SoundEngine* engine);
    ~SoundSample();
    SoundSample(const SoundSample&) = delete;
    SoundSample& operator=(const SoundSample&) = delete;

    // Loads and converts the file (a non-empty name replaces the stored one).
    // A new sample only takes its name at the first call and loads at the
    // second, which its first play makes.
    bool Prepare(const char* name);
    // Length of the converted sound in milliseconds.
    uint32_t LengthMs() const;
    // The mixer's copy of the converted sound, with the loop block in force;
    // null when there is none.
    CSoundBuffer* Buffer();
    // Lets the mixer's copy go (before the device closes); the next play
    // makes it again.
    void ReleaseBuffer();

    SoundEngine* m_engine;
    std::unique_ptr<uint8_t[]> m_converted;  // the samples the mixer plays
    uint32_t m_convertedSize = 0;
    SWaveFormat m_convertedFormat;
    std::unique_ptr<uint8_t[]> m_decoded;  // the sound as decoded from its file or bank
    uint32_t m_decodedSize = 0;
    SWaveFormat m_format;
    uint8_t m_inMemory = 0;  // plays from the converted copy, else from the file image
    CStrBuf m_fileName;
    uint64_t m_busyUntil = 0;
    CSoundVoice* m_playHandle = nullptr;
    int32_t m_volume = 100;
    int32_t m_rate = 44100;
    int32_t m_pan = 64;
    int32_t m_loopStart = 0;
    int32_t m_loopEnd = 0;
    uint8_t m_looping = 0;
    uint8_t m_needsReload = 0;
    uint8_t m_enabled = 1;
    uint8_t m_prepared = 0;
    uint8_t m_deferred = 1;
    uint8_t m_bankFlag = 0;  // the flag byte of a sound bank record
    SoundSample* m_next = nullptr;
    SoundSample* m_prev = nullptr;
    // The playback rate of the decoded sound (the file's, or a bank's own);
    // the rate of the converted sound follows it.
    int32_t m_baseRate = 44100;

private:
    bool Convert();
    std::unique_ptr<CSoundBuffer> m_buffer;
    int32_t m_bufferLoop[2] = {-1, -1};
};

// A named set of samples read from a GUI packfile.
class SoundBank {
public:
    SoundBank() = default;
    ~SoundBank() { Free(); }
    SoundBank(const SoundBank&) = delete;
    SoundBank& operator=(const SoundBank&) = delete;

    // Reads one bank record at the file's position (layout in
    // SoundBank.cpp); false when it is cut short or damaged. The samples read
    // before the damage stay in the bank.
    bool Load(CVFSFile& file, SoundEngine* engine);
    void Free();
    // Prepares every sample of the engine again (all), or the marked ones.
    static void StopAll(SoundEngine* engine, bool all);
    static void MarkAll(SoundEngine* engine);

    SoundSample** m_samples = nullptr;
    int32_t m_count = 0;
    CStrBuf m_name;
};

class SoundEngine {
public:
    explicit SoundEngine(CGame* owner);
    // Registers the sound area's commands and settings (se_, sndopt_,
    // musicopt_, sounds_), with this engine as their context.
    void RegisterCommands(CCommandInterpreter* ip);
    ~SoundEngine();
    SoundEngine(const SoundEngine&) = delete;
    SoundEngine& operator=(const SoundEngine&) = delete;

    void Log(const char* format, ...) __attribute__((format(printf, 2, 3)));
    // The performance counter (tests give their own clock).
    uint64_t Counter() const;
    uint64_t CounterFrequency() const;
    // Seconds of the last frame, for the fades.
    float FrameTime();
    // Sound quality in force: 0 counts as 1 and 5 as 4.
    int32_t Quality() const;
    bool HasDriver() const { return m_device != nullptr; }
    int ChannelCount() const { return m_channelCount; }
    SSoundChannel* Channel(int i) const { return i >= 0 && i < m_channelCount ? m_channels[i] : nullptr; }
    bool StreamOpen() const { return m_music != nullptr; }

    CGame* m_owner;
    SoundLogCallback m_log = nullptr;
    void* m_logContext = nullptr;
    CSoundDevice* m_device = nullptr;  // null while closed
    uint8_t m_initialised = 0;
    void* m_deviceGuid = nullptr;
    CStrBuf m_deviceName;
    SSoundChannel** m_channels = nullptr;
    int32_t m_channelCount = 0;
    CSoundVoice* m_reserved[2] = {nullptr, nullptr};
    struct SStreamSlot {
        void* handle = nullptr;
        uint8_t used = 0;
    } m_streamSlots[kSoundStreamSlots];
    CMusicStream* m_music = nullptr;
    CStrBuf m_musicName;
    int32_t m_mixRate = -1;
    int32_t m_bits = -1;
    int32_t m_outChannels = -1;
    int32_t m_mixChannels = -1;
    int32_t m_mixAhead = 64;
    uint8_t m_useWaveOut = 0;
    uint8_t m_noSound = 0;
    uint8_t m_reloadOnPlay = 0;
    SoundSample* m_samples = nullptr;
    PlayNode* m_voiceHead = nullptr;
    PlayNode* m_voiceTail = nullptr;
    uint64_t m_nextVoiceTime = 0;
    int32_t m_quality = 4;
    int32_t m_effectVolume = 100;
    int32_t m_interfaceVolume = 100;
    int32_t m_musicVolume = 100;
    uint8_t m_effectsOn = 1;
    uint8_t m_interfaceOn = 1;
    uint8_t m_musicOn = 1;
    MusicPlaylist* m_playlist;
    volatile uint8_t m_streamEnded = 0;
    float m_fade = 1.0f;
    uint8_t m_fadeOut = 0;
    uint8_t m_debug = 0;
    SoundSample* m_loopSlots[kSoundLoopSlots] = {};
    CSysCriticalSection m_lock{4000};
    // Settings of the interface's sound options (GUI.cfg, the MP3 list).
    int32_t m_remindTime = 30;
    float m_lowResourcesPercent = 0.1f;
    CStrBuf m_playlistName;
    // The counter the engine reads; the platform's performance counter unless
    // a test installs its own.
    uint64_t (*m_counter)() = nullptr;
    int64_t m_lastFrameStamp = 0;
};

// The engine's operations (all on the UI thread).
bool SoundEngine_Initialize(SoundEngine* engine, SoundLogCallback log, void* context);
bool SoundEngine_Play(SoundEngine* engine, SoundSample* sample, bool looping, int category,
                      CSoundVoice* handle = nullptr);
void SoundEngine_Update(SoundEngine* engine);
bool SoundEngine_Stream(SoundEngine* engine, const char* name, int32_t position);
void SoundEngine_UpdateStream(SoundEngine* engine);
bool SoundEngine_CloseStream(SoundEngine* engine, bool force);
void SoundEngine_EndStream(SoundEngine* engine);
void SoundEngine_SetStreamVolume(SoundEngine* engine);
// Milliseconds played of the music stream (0 without one).
int32_t SoundEngine_StreamPosition(SoundEngine* engine);
void SoundEngine_StopLooping(SoundEngine* engine, int slot);
// The channel read-out (se_Debug): "Channels : " and a mark per channel, P
// playing, R a released loop playing out, S stopped, - free (? other),
// then " (used/total)".
std::string SoundEngine_ChannelLine(SoundEngine* engine);
void SoundEngine_StopChannel(SoundEngine* engine, int slot);
void SoundEngine_StopSample(SoundEngine* engine, SoundSample* sample);
void SoundEngine_ReloadSamples(SoundEngine* engine, bool all);
void SoundEngine_MarkAllForReload(SoundEngine* engine);
void SoundEngine_ReleaseChannels(SoundEngine* engine);
// A new map: the interface's queued voices of the game before go unsaid, and
// every sample may play at once again (none is held back by its last play).
void SoundEngine_FreeQueuedVoices(SoundEngine* engine);
void SoundEngine_ForgetPlayTimes(SoundEngine* engine);
bool SoundEngine_LoadSample(SoundEngine* engine, const char* file, int slot);
