// The sound engine: driver, channels, plays, the voice queue and the looping
// slots. Samples are in SoundSample.cpp, the music in SoundStream.cpp.
#include "app/SoundEngine.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

#include "app/Game.h"
#include "app/GameClock.h"
#include "core/VFSFile.h"
#include "platform/sound/Sound.h"
#include "platform/sys/Clock.h"

namespace {
// Miles' own default for the mixing channels.
constexpr int kDefaultMixChannels = 64;
// Channels of the mix that the engine keeps for itself (the reserved voices,
// the music and the video sound among them): the table gets the rest.
constexpr int kChannelsKept = 9;
// Whether any engine has started the mixer in this process.
bool s_started = false;

uint64_t PlatformCounter() {
    return (uint64_t)Sys_QueryPerformanceCounter();
}
}  // namespace

SoundEngine::SoundEngine(CGame* owner) : m_owner(owner), m_playlist(new MusicPlaylist()) {}

SoundEngine::~SoundEngine() {
    SoundEngine_CloseStream(this, true);
    SoundEngine_ReleaseChannels(this);
    while (m_voiceHead) delete m_voiceHead;
    while (m_samples) delete m_samples;
    if (m_device) {
        m_device->Close();
        delete m_device;
        m_device = nullptr;
    }
    delete m_playlist;
    m_playlist = nullptr;
}

void SoundEngine::Log(const char* format, ...) {
    if (!m_log) return;
    va_list ap;
    va_start(ap, format);
    CStrBuf text;
    text.FormatV(format, ap);
    va_end(ap);
    m_log(text.GetText(), m_logContext);
}

uint64_t SoundEngine::Counter() const {
    return m_counter ? m_counter() : PlatformCounter();
}

uint64_t SoundEngine::CounterFrequency() const {
    return (uint64_t)Sys_QueryPerformanceFrequency();
}

float SoundEngine::FrameTime() {
    if (m_owner && m_owner->Clock()) return m_owner->Clock()->m_frameTime;
    // Without the game's clock: the real time since the last call.
    int64_t now = (int64_t)Counter();
    float t = m_lastFrameStamp ? (float)(now - m_lastFrameStamp) / (float)CounterFrequency() : 0.0f;
    m_lastFrameStamp = now;
    return t;
}

int32_t SoundEngine::Quality() const {
    // The variable allows 0 and 5, which no conversion was made for.
    return std::max(1, std::min(m_quality, 4));
}

// ---------------------------------------------------------------------------
// Driver

void SoundEngine_ReleaseChannels(SoundEngine* e) {
    for (int i = 0; i < e->m_channelCount; ++i) {
        if (!e->m_channels[i]) continue;
        delete e->m_channels[i]->voice;
        delete e->m_channels[i];
    }
    delete[] e->m_channels;
    e->m_channels = nullptr;
    e->m_channelCount = 0;
    for (CSoundVoice*& v : e->m_reserved) {
        delete v;
        v = nullptr;
    }
    for (SoundSample* s = e->m_samples; s; s = s->m_next) s->m_playHandle = nullptr;
}

bool SoundEngine_Initialize(SoundEngine* e, SoundLogCallback log, void* context) {
    if (e->m_noSound) return true;
    if (e->m_mixRate == -1) e->m_mixRate = 44100;
    if (e->m_bits == -1) e->m_bits = 16;
    if (e->m_outChannels == -1) e->m_outChannels = 2;
    e->m_log = log;
    e->m_logContext = context;

    CStrBuf reopenName;
    int32_t reopenAt = 0;
    if (e->m_device) {
        SoundEngine_ReleaseChannels(e);
        if (e->m_music) {
            reopenName = e->m_musicName;
            reopenAt = SoundEngine_StreamPosition(e);
            SoundEngine_CloseStream(e, true);
        }
        // The samples' copies belong to the device that goes now.
        for (SoundSample* s = e->m_samples; s; s = s->m_next) s->ReleaseBuffer();
        e->m_device->Close();
        delete e->m_device;
        e->m_device = nullptr;
    }

    e->m_initialised = 1;
    e->Log(s_started ? "...SoundEngine_Reinitialize()" : "...SoundEngine_Initialize()");
    s_started = true;

    // The output's channels and sample size, given to the mixer before it
    // lists or opens any device.
    switch (CSoundDevice::SetOutputFormat(e->m_outChannels, e->m_bits)) {
        case CSoundDevice::kFormatSet:
            break;
        case CSoundDevice::kFormatUnsupported:
            e->Log("...SoundEngine_OpenDriver() : no output of %d channels of %d bits", e->m_outChannels,
                   e->m_bits);
            return false;
        case CSoundDevice::kFormatFailed:
            // Sound all the same, in the format the mixer's own settings give.
            e->Log("...SoundEngine_OpenDriver() : the output format could not be set");
            break;
        case CSoundDevice::kFormatFixed:
            if (CSoundDevice::OutputChannels() > 0)
                e->Log(
                    "...SoundEngine_OpenDriver() : %d channels of %d bits take effect at the next start; the "
                    "output stays at %d channels of %d bits",
                    e->m_outChannels, e->m_bits, CSoundDevice::OutputChannels(), CSoundDevice::OutputBits());
            else
                e->Log("...SoundEngine_OpenDriver() : %d channels of %d bits take effect at the next start",
                       e->m_outChannels, e->m_bits);
            break;
    }

    // The device: the first one the machine lists, unless the plain output
    // ("WaveOut") is asked for, which is the default device.
    const char* deviceName = nullptr;
    if (!e->m_useWaveOut) {
        std::vector<std::string> devices = CSoundDevice::Enumerate();
        if (devices.empty()) {
            e->Log("...SoundEngine_Enumerate() : Failed");
        } else {
            e->m_deviceName.Assign(devices.front().c_str());
            deviceName = e->m_deviceName.GetText();
        }
    } else {
        e->m_deviceName.Assign("WaveOut");
    }
    e->m_deviceGuid = nullptr;

    int mixChannels = e->m_mixChannels >= 0 ? e->m_mixChannels : kDefaultMixChannels;
    CSoundDevice* device = new CSoundDevice();
    if (!device->Open(deviceName, e->m_mixRate, std::max(mixChannels, kChannelsKept + 1) + kChannelsKept)) {
        // What the player needs to know, once, in place of the libraries'
        // own lines (dbg_LibraryLog shows those).
        e->Log("...SoundEngine_OpenDriver() : %s; the game goes on without sound",
               device->LastError().c_str());
        delete device;
        return false;
    }
    e->m_device = device;
    if (e->m_deviceName.IsEmpty()) e->m_deviceName.Assign(device->Name().c_str());
    if (e->m_mixChannels < 0) e->m_mixChannels = kDefaultMixChannels;

    // The table holds the mixing channels less those the engine keeps; a
    // setting of 9 or fewer still leaves one channel to play on.
    int count = std::max(1, e->m_mixChannels - kChannelsKept);
    e->m_channels = new SSoundChannel*[(size_t)count];
    e->m_channelCount = count;
    for (int i = 0; i < count; ++i) {
        e->m_channels[i] = new SSoundChannel();
        e->m_channels[i]->voice = new CSoundVoice();
        e->m_channels[i]->voice->Allocate();
    }
    for (CSoundVoice*& v : e->m_reserved) {
        v = new CSoundVoice();
        v->Allocate();
    }
    {
        CSysScopedLock<CSysCriticalSection> hold(e->m_lock);
        for (auto& slot : e->m_streamSlots) slot = SoundEngine::SStreamSlot();
    }
    e->Log("...SoundEngine_OpenDriver() : %s (%d channels)", e->m_deviceName.GetText(), e->m_mixChannels);
    if (!reopenName.IsEmpty()) SoundEngine_Stream(e, reopenName.GetText(), reopenAt);
    return true;
}

// ---------------------------------------------------------------------------
// Plays

bool SoundEngine_Play(SoundEngine* e, SoundSample* sample, bool looping, int category, CSoundVoice* handle) {
    if (e->m_noSound) return true;
    if (!sample) return false;
    if (e->m_reloadOnPlay || sample->m_needsReload || !sample->m_prepared) {
        sample->Prepare(sample->m_fileName.GetText());
        sample->m_needsReload = 0;
    }
    if (category == kSoundCategoryEffects && !e->m_effectsOn) return true;
    if (category == kSoundCategoryInterface && !e->m_interfaceOn) return true;
    uint64_t now = e->Counter();
    if (!looping && now < sample->m_busyUntil) return true;
    // Without an output device nothing can play; that is no full table.
    if (!e->m_device) return false;
    CSoundBuffer* buffer = sample->Buffer();
    if (!buffer) return false;

    if (!handle) {
        for (int i = 0; i < e->m_channelCount; ++i) {
            SSoundChannel* c = e->m_channels[i];
            CSoundVoice::EStatus status = c->voice->Status();
            if (status == CSoundVoice::kDone || status == CSoundVoice::kStopped) {
                handle = c->voice;
                c->sample = sample;
                break;
            }
        }
        if (!handle) {
            e->Log("...SoundEngine_Play() : Playtable is full.");
            return false;
        }
    }
    handle->SetBuffer(buffer);
    handle->SetRate(sample->m_rate);
    handle->SetPan(sample->m_pan);
    int volume = sample->m_volume;
    if (category == kSoundCategoryInterface) volume = volume * e->m_interfaceVolume / 100;
    if (category == kSoundCategoryEffects) volume = volume * e->m_effectVolume / 100;
    handle->SetVolume(volume);
    if (looping) {
        handle->SetLoopCount(0);
    } else {
        handle->SetLoopCount(1);
        sample->m_busyUntil = now + e->CounterFrequency() / 4;
    }
    handle->m_userData = sample;
    sample->m_playHandle = handle;
    handle->Start();
    return true;
}

void SoundEngine_StopSample(SoundEngine* e, SoundSample* sample) {
    if (!sample) return;
    for (int i = 0; i < e->m_channelCount; ++i) {
        SSoundChannel* c = e->m_channels[i];
        if (c->sample == sample) {
            c->voice->Stop();
            c->voice->SetBuffer(nullptr);
            c->sample = nullptr;
        }
    }
    for (CSoundVoice* v : e->m_reserved)
        if (v && v->m_userData == sample) {
            v->SetBuffer(nullptr);
            v->m_userData = nullptr;
        }
    sample->m_playHandle = nullptr;
}

// ---------------------------------------------------------------------------
// The voice queue

PlayNode::PlayNode(SoundEngine* engine, SoundSample* sample, int32_t kind)
    : m_owner(engine), m_sample(sample), m_kind(kind) {
    m_prev = engine->m_voiceTail;
    if (m_prev)
        m_prev->m_next = this;
    else
        engine->m_voiceHead = this;
    engine->m_voiceTail = this;
}

PlayNode::~PlayNode() {
    Unlink();
}

void PlayNode::Unlink() {
    if (!m_owner) return;
    if (m_prev)
        m_prev->m_next = m_next;
    else if (m_owner->m_voiceHead == this)
        m_owner->m_voiceHead = m_next;
    if (m_next)
        m_next->m_prev = m_prev;
    else if (m_owner->m_voiceTail == this)
        m_owner->m_voiceTail = m_prev;
    m_next = m_prev = nullptr;
    m_owner = nullptr;
}

void SoundEngine_Update(SoundEngine* e) {
    if (!e->m_voiceHead) return;
    uint64_t now = e->Counter();
    if (now <= e->m_nextVoiceTime) return;
    bool urgent = false;
    for (PlayNode* n = e->m_voiceHead; n; n = n->m_next)
        if (n->m_kind == kPlayNodeUrgent) urgent = true;
    if (urgent)
        for (PlayNode* n = e->m_voiceHead; n;) {
            PlayNode* next = n->m_next;
            if (n->m_kind != kPlayNodeUrgent) delete n;
            n = next;
        }
    PlayNode* first = e->m_voiceHead;
    if (!first) return;
    SoundEngine_Play(e, first->m_sample, false, kSoundCategoryInterface, e->m_reserved[1]);
    uint32_t length = first->m_sample ? first->m_sample->LengthMs() : 0;
    e->m_nextVoiceTime = now + (uint64_t)((double)length * (double)e->CounterFrequency() * 0.001);
    delete first;
}

// ---------------------------------------------------------------------------
// Looping slots

bool SoundEngine_LoadSample(SoundEngine* e, const char* file, int slot) {
    if (slot < 0 || slot >= kSoundLoopSlots) return false;
    SoundSample*& s = e->m_loopSlots[slot];
    if (!s) s = new SoundSample(e);
    if (!s->Prepare(file)) return false;
    SoundEngine_StopChannel(e, slot);
    // The loop block comes from the file's sampler chunk.
    s->m_loopStart = s->m_loopEnd = 0;
    CVFSFile f;
    if (f.Open(s->m_fileName.GetText(), CVFSFile::kModeRead)) {
        uint32_t size = f.GetSize();
        std::vector<uint8_t> bytes(std::min<uint32_t>(size, 64u << 20));
        bytes.resize(f.Read(bytes.data(), (uint32_t)bytes.size()));
        SWaveInfo info;
        if (Wave_ReadChunks(bytes.data(), bytes.size(), info) && info.hasLoop) {
            s->m_loopStart = (int32_t)info.loopStart;
            s->m_loopEnd = (int32_t)info.loopEnd;
        }
    }
    s->m_looping = 1;
    return SoundEngine_Play(e, s, true, kSoundCategoryInterface);
}

static CSoundVoice* SlotVoice(SoundEngine* e, int slot) {
    if (slot < 0 || slot >= kSoundLoopSlots || !e->m_loopSlots[slot]) return nullptr;
    SoundSample* s = e->m_loopSlots[slot];
    for (int i = 0; i < e->m_channelCount; ++i)
        if (e->m_channels[i]->sample == s) {
            const CSoundVoice::EStatus status = e->m_channels[i]->voice->Status();
            if (status == CSoundVoice::kPlaying || status == CSoundVoice::kReleased)
                return e->m_channels[i]->voice;
        }
    return nullptr;
}

void SoundEngine_StopLooping(SoundEngine* e, int slot) {
    // The loop runs out: the sound plays on to its end and stops.
    if (CSoundVoice* v = SlotVoice(e, slot)) v->SetLoopCount(1);
}

void SoundEngine_StopChannel(SoundEngine* e, int slot) {
    if (slot < 0 || slot >= kSoundLoopSlots || !e->m_loopSlots[slot]) return;
    SoundSample* s = e->m_loopSlots[slot];
    for (int i = 0; i < e->m_channelCount; ++i)
        if (e->m_channels[i]->sample == s) e->m_channels[i]->voice->Stop();
}

// ---------------------------------------------------------------------------
// Reloading

void SoundEngine_ReloadSamples(SoundEngine* e, bool all) {
    for (SoundSample* s = e->m_samples; s; s = s->m_next)
        if (all || s->m_needsReload) {
            s->Prepare(s->m_fileName.GetText());
            s->m_needsReload = 0;
        }
}

void SoundEngine_MarkAllForReload(SoundEngine* e) {
    for (SoundSample* s = e->m_samples; s; s = s->m_next) s->m_needsReload = 1;
}

void SoundEngine_FreeQueuedVoices(SoundEngine* engine) {
    if (!engine) return;
    while (engine->m_voiceHead) delete engine->m_voiceHead;  // each unlinks itself
    engine->m_nextVoiceTime = 0;
}

void SoundEngine_ForgetPlayTimes(SoundEngine* engine) {
    if (!engine) return;
    for (SoundSample* s = engine->m_samples; s; s = s->m_next) s->m_busyUntil = 0;
}

std::string SoundEngine_ChannelLine(SoundEngine* e) {
    std::string line = "Channels : ";
    int used = 0;
    for (int i = 0; i < e->ChannelCount(); ++i) {
        const SSoundChannel* c = e->Channel(i);
        const int status = c && c->voice ? int(c->voice->Status()) : int(CSoundVoice::kDone);
        const char mark = status == CSoundVoice::kPlaying    ? 'P'
                          : status == CSoundVoice::kReleased ? 'R'
                          : status == CSoundVoice::kStopped  ? 'S'
                          : status == CSoundVoice::kDone     ? '-'
                                                             : '?';
        used += mark == '-' ? 0 : 1;
        line += mark;
    }
    char counts[32];
    std::snprintf(counts, sizeof counts, " (%d/%d)", used, e->ChannelCount());
    return line + counts;
}
