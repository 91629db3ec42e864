#include "platform/sound/Sound.h"

#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>
#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

#include "platform/sys/Chatter.h"
#include "platform/video/Media.h"

#ifndef AL_LOOP_POINTS_SOFT
#define AL_LOOP_POINTS_SOFT 0x2015
#endif

namespace {
CSoundDevice* g_current = nullptr;
std::atomic<int> g_openCount{0};

// Whether OpenAL Soft has read its settings (it does so once), and the
// output format put into them.
std::mutex g_settingsLock;
bool g_settingsRead = false;
int g_outChannels = 0, g_outBits = 0;

void SettingsRead() {
    std::lock_guard<std::mutex> hold(g_settingsLock);
    g_settingsRead = true;
}

// ---- the libraries' own messages, kept off the terminal (Chatter_TakeAlsa
// takes ALSA's). OpenAL Soft writes its own through a buffered file that is
// of no use to read back while it runs, and says nothing the device's error
// does not: it is silenced, unless the user named its level or file.
// Before the mixer's first call (it reads its settings once).
void QuietLibraries() {
    static std::once_flag once;
    std::call_once(once, [] {
        Chatter_TakeAlsa();
        if (!std::getenv("ALSOFT_LOGFILE") && !std::getenv("ALSOFT_LOGLEVEL"))
            setenv("ALSOFT_LOGLEVEL", "0", 1);
    });
}

// OpenAL Soft's names of the channel layouts and sample types.
const char* LayoutName(int channels) {
    switch (channels) {
        case 1:
            return "mono";
        case 2:
            return "stereo";
        case 4:
            return "quad";
        case 6:
            return "surround51";
        case 7:
            return "surround61";
        case 8:
            return "surround71";
        default:
            return nullptr;
    }
}

const char* SampleTypeName(int bits) {
    switch (bits) {
        case 8:
            return "uint8";
        case 16:
            return "int16";
        case 32:
            return "int32";
        default:
            return nullptr;
    }
}

bool HaveContext() {
    return g_current != nullptr;
}

ALenum Format(int bits, int channels) {
    if (bits == 8) return channels == 2 ? AL_FORMAT_STEREO8 : channels == 1 ? AL_FORMAT_MONO8 : 0;
    if (bits == 16) return channels == 2 ? AL_FORMAT_STEREO16 : channels == 1 ? AL_FORMAT_MONO16 : 0;
    return 0;
}

// The pan of the game (0 hard left, 64 centre, 127 hard right) as a place on
// a half circle in front of the listener: hard left and right reach one
// speaker alone.
void PlaceSource(ALuint source, int pan) {
    float x = (float)(pan - 64) / 63.0f;
    x = std::max(-1.0f, std::min(1.0f, x));
    alSourcei(source, AL_SOURCE_RELATIVE, AL_TRUE);
    alSource3f(source, AL_POSITION, x, 0.0f, -std::sqrt(1.0f - x * x));
}

#ifndef AL_STEREO_ANGLES
#define AL_STEREO_ANGLES 0x1030
#endif

// A stereo sound is panned by turning its two speakers' directions: at the
// centre they stand 30 degrees left and right, hard left both stand at the
// left (and the right speaker is silent), hard right both at the right.
void TurnStereo(ALuint source, int pan) {
    const float pi = 3.14159265f, side = pi / 2, front = pi / 6;
    float x = std::max(-1.0f, std::min(1.0f, (float)(pan - 64) / 63.0f));
    ALfloat angles[2];
    if (x <= 0) {
        angles[0] = front - x * (side - front);
        angles[1] = -front - x * (side + front);
    } else {
        angles[0] = front - x * (side + front);
        angles[1] = -front - x * (side - front);
    }
    alSourcefv(source, AL_STEREO_ANGLES, angles);
}

// A mono sound is placed, a stereo one turned.
void Pan(ALuint source, int channels, int pan) {
    if (channels == 2)
        TurnStereo(source, pan);
    else
        PlaceSource(source, pan);
}

float Gain(int volume) {
    return (float)std::max(0, std::min(volume, 127)) / 127.0f;
}
}  // namespace

// ---------------------------------------------------------------------------
// Device

CSoundDevice::EFormatResult CSoundDevice::SetOutputFormat(int channels, int bits) {
    const char* layout = LayoutName(channels);
    const char* type = SampleTypeName(bits);
    if (!layout || !type) return kFormatUnsupported;
    QuietLibraries();
    std::lock_guard<std::mutex> hold(g_settingsLock);
    if (g_settingsRead) return channels == g_outChannels && bits == g_outBits ? kFormatSet : kFormatFixed;

    // The library reads the file ALSOFT_CONF names last, over its other
    // settings files: a copy of the one named now (if any) with the format
    // put after it, named for as long as the library reads it.
    const char* named = std::getenv("ALSOFT_CONF");
    const bool hadNamed = named != nullptr;
    const std::string previous = named ? named : "";
    std::string text;
    if (!previous.empty()) {
        std::ifstream in(previous, std::ios::binary);
        text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    text += std::string("\n[general]\nchannels = ") + layout + "\nsample-type = " + type + "\n";
    const char* tmp = std::getenv("TMPDIR");
    std::string path = std::string(tmp && *tmp ? tmp : "/tmp") + "/tessarak-alsoft-XXXXXX";
    int fd = mkstemp(&path[0]);
    if (fd < 0) return kFormatFailed;
    bool written = write(fd, text.data(), text.size()) == (ssize_t)text.size();
    close(fd);
    if (!written) {
        unlink(path.c_str());
        return kFormatFailed;
    }
    setenv("ALSOFT_CONF", path.c_str(), 1);
    // Asking for the default device makes the library read its settings.
    g_settingsRead = true;
    if (alcIsExtensionPresent(nullptr, "ALC_ENUMERATE_ALL_EXT"))
        alcGetString(nullptr, ALC_DEFAULT_ALL_DEVICES_SPECIFIER);
    else
        alcGetString(nullptr, ALC_DEFAULT_DEVICE_SPECIFIER);
    if (hadNamed)
        setenv("ALSOFT_CONF", previous.c_str(), 1);
    else
        unsetenv("ALSOFT_CONF");
    unlink(path.c_str());
    g_outChannels = channels;
    g_outBits = bits;
    return kFormatSet;
}

int CSoundDevice::OutputChannels() {
    std::lock_guard<std::mutex> hold(g_settingsLock);
    return g_outChannels;
}

int CSoundDevice::OutputBits() {
    std::lock_guard<std::mutex> hold(g_settingsLock);
    return g_outBits;
}

std::vector<std::string> CSoundDevice::Enumerate() {
    SettingsRead();
    QuietLibraries();
    std::vector<std::string> names;
    const ALCchar* list = nullptr;
    if (alcIsExtensionPresent(nullptr, "ALC_ENUMERATE_ALL_EXT"))
        list = alcGetString(nullptr, ALC_ALL_DEVICES_SPECIFIER);
    else if (alcIsExtensionPresent(nullptr, "ALC_ENUMERATION_EXT"))
        list = alcGetString(nullptr, ALC_DEVICE_SPECIFIER);
    for (const ALCchar* p = list; p && *p; p += std::strlen(p) + 1) names.emplace_back(p);
    return names;
}

CSoundDevice* CSoundDevice::Current() {
    return g_current;
}

int CSoundDevice::OpenCount() {
    return g_openCount.load();
}

bool CSoundDevice::Open(const char* name, int rate, int voices) {
    Close();
    m_error.clear();
    if (g_current) {
        m_error = "another sound device is open";
        return false;
    }
    SettingsRead();
    QuietLibraries();
    ALCdevice* dev = alcOpenDevice(name && *name ? name : nullptr);
    if (!dev) {
        m_error = name && *name ? std::string("cannot open sound device ") + name : "no sound device";
        return false;
    }
    voices = std::max(4, std::min(voices, 1024));
    ALCint attrs[] = {
        ALC_FREQUENCY, rate > 0 ? rate : 44100, ALC_MONO_SOURCES, voices, ALC_STEREO_SOURCES, voices, 0};
    ALCcontext* ctx = alcCreateContext(dev, attrs);
    if (!ctx || !alcMakeContextCurrent(ctx)) {
        m_error = "cannot create a mixer on the sound device";
        if (ctx) alcDestroyContext(ctx);
        alcCloseDevice(dev);
        return false;
    }
    m_device = dev;
    m_context = ctx;
    const ALCchar* spec = alcGetString(dev, ALC_ALL_DEVICES_SPECIFIER);
    if (!spec || !*spec) spec = alcGetString(dev, ALC_DEVICE_SPECIFIER);
    m_name = spec ? spec : "";
    ALCint got = 0;
    alcGetIntegerv(dev, ALC_FREQUENCY, 1, &got);
    m_rate = got > 0 ? got : rate;
    g_current = this;
    ++g_openCount;
    return true;
}

int CSoundDevice::MixerCpuPercent() {
    // The mixer thread by its name among the process's threads, and its
    // user and system time (fields 14 and 15 of its stat line, in ticks).
    static long s_lastTicks = -1;
    static std::chrono::steady_clock::time_point s_lastTime;
    static std::mutex s_lock;
    long ticks = -1;
    if (DIR* tasks = opendir("/proc/self/task")) {
        while (dirent* e = readdir(tasks)) {
            if (e->d_name[0] == '.') continue;
            const std::string task = std::string("/proc/self/task/") + e->d_name;
            std::ifstream comm(task + "/comm");
            std::string name;
            if (!std::getline(comm, name) || name != "alsoft-mixer") continue;
            std::ifstream statFile(task + "/stat");
            std::string stat((std::istreambuf_iterator<char>(statFile)), std::istreambuf_iterator<char>());
            const size_t close = stat.rfind(')');  // the name may hold blanks
            if (close == std::string::npos) continue;
            std::vector<std::string> fields;
            size_t at = close + 2;
            while (at < stat.size() && fields.size() < 13) {
                const size_t end = stat.find(' ', at);
                fields.push_back(stat.substr(at, end == std::string::npos ? std::string::npos : end - at));
                at = end == std::string::npos ? stat.size() : end + 1;
            }
            // fields[0] is field 3 (the state): utime is field 14, stime 15.
            if (fields.size() >= 13) ticks = std::atol(fields[11].c_str()) + std::atol(fields[12].c_str());
            break;
        }
        closedir(tasks);
    }
    std::lock_guard<std::mutex> hold(s_lock);
    const auto now = std::chrono::steady_clock::now();
    if (ticks < 0) {
        s_lastTicks = -1;
        return -1;
    }
    int percent = 0;
    const double seconds = std::chrono::duration<double>(now - s_lastTime).count();
    if (s_lastTicks >= 0 && ticks >= s_lastTicks && seconds > 0.0) {
        const double busy = double(ticks - s_lastTicks) / double(sysconf(_SC_CLK_TCK));
        percent = int(std::lround(std::min(100.0, busy / seconds * 100.0)));
    }
    s_lastTicks = ticks;
    s_lastTime = now;
    return percent;
}

void CSoundDevice::Close() {
    if (!m_device) return;
    alcMakeContextCurrent(nullptr);
    alcDestroyContext(static_cast<ALCcontext*>(m_context));
    alcCloseDevice(static_cast<ALCdevice*>(m_device));
    m_device = m_context = nullptr;
    if (g_current == this) g_current = nullptr;
}

void CSoundDevice::SetMasterVolume(float gain) {
    if (m_device) alListenerf(AL_GAIN, std::max(0.0f, gain));
}

// ---------------------------------------------------------------------------
// Buffers

CSoundBuffer::~CSoundBuffer() {
    if (m_buffer && HaveContext()) alDeleteBuffers(1, &m_buffer);
}

bool CSoundBuffer::Set(const void* data, size_t bytes, int bits, int channels, int rate, uint32_t loopStart,
                       uint32_t loopEnd) {
    ALenum format = Format(bits, channels);
    if (!HaveContext() || !format || rate <= 0 || !data || bytes == 0 || bytes > 0x7FFFFFFF) return false;
    size_t frameBytes = (size_t)(bits / 8 * channels);
    bytes -= bytes % frameBytes;
    if (!bytes) return false;
    if (m_buffer) alDeleteBuffers(1, &m_buffer);
    m_buffer = 0;
    alGetError();
    alGenBuffers(1, &m_buffer);
    if (alGetError() != AL_NO_ERROR) {
        m_buffer = 0;
        return false;
    }
    alBufferData(m_buffer, format, data, (ALsizei)bytes, rate);
    if (alGetError() != AL_NO_ERROR) {
        alDeleteBuffers(1, &m_buffer);
        m_buffer = 0;
        return false;
    }
    m_rate = rate;
    m_channels = channels;
    m_frames = (uint32_t)(bytes / frameBytes);
    if (loopEnd == 0 || loopEnd > m_frames) loopEnd = m_frames;
    if (loopStart < loopEnd && (loopStart > 0 || loopEnd < m_frames)) {
        ALint points[2] = {(ALint)loopStart, (ALint)loopEnd};
        alBufferiv(m_buffer, AL_LOOP_POINTS_SOFT, points);
        alGetError();  // a refused block loops the whole buffer
    }
    return true;
}

// ---------------------------------------------------------------------------
// Voices

bool CSoundVoice::Allocate() {
    Release();
    if (!HaveContext()) return false;
    alGetError();
    alGenSources(1, &m_source);
    if (alGetError() != AL_NO_ERROR) {
        m_source = 0;
        return false;
    }
    PlaceSource(m_source, 64);
    return true;
}

void CSoundVoice::Release() {
    if (m_source && HaveContext()) {
        alSourceStop(m_source);
        alSourcei(m_source, AL_BUFFER, 0);
        alDeleteSources(1, &m_source);
    }
    m_source = 0;
}

CSoundVoice::EStatus CSoundVoice::Status() const {
    if (!m_source || !HaveContext()) return kDone;
    ALint state = AL_INITIAL;
    alGetSourcei(m_source, AL_SOURCE_STATE, &state);
    if (state == AL_PLAYING) return m_released ? kReleased : kPlaying;
    if (state == AL_PAUSED || (state == AL_STOPPED && m_stoppedByCall)) return kStopped;
    return kDone;
}

void CSoundVoice::SetBuffer(const CSoundBuffer* buffer) {
    if (!m_source) return;
    alSourceStop(m_source);
    alSourcei(m_source, AL_BUFFER, buffer ? (ALint)buffer->Name() : 0);
    m_bufferRate = buffer ? buffer->Rate() : 0;
    m_bufferChannels = buffer ? buffer->Channels() : 0;
    m_stoppedByCall = false;
    m_released = false;
}

void CSoundVoice::SetRate(int hz) {
    if (!m_source || m_bufferRate <= 0 || hz <= 0) return;
    // OpenAL Soft steps at most 255 times the buffer's own rate.
    float pitch = std::min(255.0f, (float)hz / (float)m_bufferRate);
    alSourcef(m_source, AL_PITCH, pitch);
}

void CSoundVoice::SetPan(int pan) {
    if (m_source) Pan(m_source, m_bufferChannels, pan);
}

void CSoundVoice::SetVolume(int volume) {
    if (m_source) alSourcef(m_source, AL_GAIN, Gain(volume));
}

void CSoundVoice::SetLoopCount(int count) {
    if (!m_source) return;
    if (m_looping && count != 0) {
        // A loop that plays on runs out its round.
        ALint state = AL_INITIAL;
        alGetSourcei(m_source, AL_SOURCE_STATE, &state);
        m_released = state == AL_PLAYING;
    }
    m_looping = count == 0;
    if (m_looping) m_released = false;
    alSourcei(m_source, AL_LOOPING, m_looping ? AL_TRUE : AL_FALSE);
}

void CSoundVoice::Start() {
    if (!m_source) return;
    m_stoppedByCall = false;
    m_released = false;
    alSourceRewind(m_source);
    alSourcePlay(m_source);
}

void CSoundVoice::Stop() {
    if (!m_source) return;
    ALint state = AL_INITIAL;
    alGetSourcei(m_source, AL_SOURCE_STATE, &state);
    if (state == AL_PLAYING) {
        alSourcePause(m_source);
        m_stoppedByCall = true;
    }
}

void CSoundVoice::Resume() {
    if (!m_source) return;
    ALint state = AL_INITIAL;
    alGetSourcei(m_source, AL_SOURCE_STATE, &state);
    if (state == AL_PAUSED) alSourcePlay(m_source);
    m_stoppedByCall = false;
}

// ---------------------------------------------------------------------------
// Streams

namespace {
constexpr int kStreamBuffers = 8;

// Frames handed to the mixer at a time: a tenth of a second.
size_t PieceFrames(int rate) {
    return (size_t)std::max(256, rate / 10);
}
}  // namespace

bool CSoundStream::Open(int rate, int channels) {
    Close();
    if (!HaveContext() || rate <= 0 || (channels != 1 && channels != 2)) return false;
    alGetError();
    alGenSources(1, &m_source);
    if (alGetError() != AL_NO_ERROR) {
        m_source = 0;
        return false;
    }
    m_all.resize(kStreamBuffers);
    alGenBuffers(kStreamBuffers, m_all.data());
    if (alGetError() != AL_NO_ERROR) {
        alDeleteSources(1, &m_source);
        m_source = 0;
        m_all.clear();
        return false;
    }
    m_free = m_all;
    m_rate = rate;
    m_channels = channels;
    m_paused = false;
    m_started = false;
    m_draining = false;
    m_playedFrames = 0;
    PlaceSource(m_source, 64);
    return true;
}

void CSoundStream::Close() {
    std::lock_guard<std::mutex> hold(m_lock);
    if (m_source && HaveContext()) {
        alSourceStop(m_source);
        alSourcei(m_source, AL_BUFFER, 0);
        alDeleteSources(1, &m_source);
        alDeleteBuffers((ALsizei)m_all.size(), m_all.data());
    }
    m_source = 0;
    m_all.clear();
    m_free.clear();
    m_pending.clear();
    m_queuedFrames.clear();
}

unsigned CSoundStream::Reclaim() {
    ALint done = 0;
    alGetSourcei(m_source, AL_BUFFERS_PROCESSED, &done);
    while (done-- > 0) {
        ALuint name = 0;
        alSourceUnqueueBuffers(m_source, 1, &name);
        for (size_t i = 0; i < m_queuedFrames.size(); ++i)
            if (m_queuedFrames[i].first == name) {
                m_playedFrames += m_queuedFrames[i].second;
                m_queuedFrames.erase(m_queuedFrames.begin() + (long)i);
                break;
            }
        m_free.push_back(name);
    }
    return m_free.empty() ? 0 : m_free.back();
}

bool CSoundStream::QueuePiece(size_t frames) {
    if (m_free.empty() || frames == 0) return false;
    ALuint name = m_free.back();
    m_free.pop_back();
    size_t count = frames * (size_t)m_channels;
    alBufferData(name, m_channels == 2 ? AL_FORMAT_STEREO16 : AL_FORMAT_MONO16, m_pending.data(),
                 (ALsizei)(count * 2), m_rate);
    alSourceQueueBuffers(m_source, 1, &name);
    m_queuedFrames.emplace_back(name, frames);
    m_pending.erase(m_pending.begin(), m_pending.begin() + (long)count);
    return true;
}

bool CSoundStream::Queue(const int16_t* samples, size_t frames, size_t maxPendingFrames) {
    std::lock_guard<std::mutex> hold(m_lock);
    if (!m_source) return false;
    if (m_pending.size() / (size_t)m_channels > maxPendingFrames) return false;
    m_pending.insert(m_pending.end(), samples, samples + frames * (size_t)m_channels);
    return true;
}

bool CSoundStream::Service() {
    std::lock_guard<std::mutex> hold(m_lock);
    if (!m_source) return false;
    Reclaim();
    const size_t piece = PieceFrames(m_rate);
    size_t pending = m_pending.size() / (size_t)m_channels;
    while (!m_free.empty() && (pending >= piece || (m_draining && pending > 0))) {
        QueuePiece(std::min(piece, pending));
        pending = m_pending.size() / (size_t)m_channels;
    }
    ALint queued = 0, state = AL_INITIAL;
    alGetSourcei(m_source, AL_BUFFERS_QUEUED, &queued);
    alGetSourcei(m_source, AL_SOURCE_STATE, &state);
    // A voice that ran dry stops; it starts again as soon as samples wait.
    if (m_started && !m_paused && queued > 0 && state != AL_PLAYING) alSourcePlay(m_source);
    return queued > 0 || !m_pending.empty();
}

void CSoundStream::Flush() {
    std::lock_guard<std::mutex> hold(m_lock);
    if (!m_source) return;
    m_draining = true;
    Reclaim();
    const size_t piece = PieceFrames(m_rate);
    while (!m_free.empty() && !m_pending.empty())
        QueuePiece(std::min(piece, m_pending.size() / (size_t)m_channels));
}

size_t CSoundStream::PendingFrames() const {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_channels ? m_pending.size() / (size_t)m_channels : 0;
}

uint64_t CSoundStream::PlayedFrames() const {
    std::lock_guard<std::mutex> hold(m_lock);
    if (!m_source) return m_playedFrames;
    ALint offset = 0;
    alGetSourcei(m_source, AL_SAMPLE_OFFSET, &offset);
    return m_playedFrames + (uint64_t)std::max(0, offset);
}

bool CSoundStream::Idle() const {
    std::lock_guard<std::mutex> hold(m_lock);
    if (!m_source) return true;
    ALint queued = 0, done = 0, state = AL_INITIAL;
    alGetSourcei(m_source, AL_BUFFERS_QUEUED, &queued);
    alGetSourcei(m_source, AL_BUFFERS_PROCESSED, &done);
    alGetSourcei(m_source, AL_SOURCE_STATE, &state);
    return m_pending.empty() && state != AL_PLAYING && state != AL_PAUSED && queued == done;
}

void CSoundStream::Play() {
    std::lock_guard<std::mutex> hold(m_lock);
    m_started = true;
    m_paused = false;
    if (!m_source) return;
    ALint queued = 0;
    alGetSourcei(m_source, AL_BUFFERS_QUEUED, &queued);
    if (queued > 0) alSourcePlay(m_source);
}

void CSoundStream::Pause(bool paused) {
    std::lock_guard<std::mutex> hold(m_lock);
    m_paused = paused;
    if (!m_source) return;
    ALint state = AL_INITIAL;
    alGetSourcei(m_source, AL_SOURCE_STATE, &state);
    if (paused && state == AL_PLAYING) alSourcePause(m_source);
    if (!paused && m_started && state == AL_PAUSED) alSourcePlay(m_source);
}

void CSoundStream::SetVolume(int volume) {
    std::lock_guard<std::mutex> hold(m_lock);
    if (m_source) alSourcef(m_source, AL_GAIN, Gain(volume));
}

void CSoundStream::SetPan(int pan) {
    std::lock_guard<std::mutex> hold(m_lock);
    if (m_source) Pan(m_source, m_channels, pan);
}

// ---------------------------------------------------------------------------
// Music

CMusicStream::CMusicStream() = default;

CMusicStream::~CMusicStream() {
    Close();
}

bool CMusicStream::Open(std::unique_ptr<CMediaInput> input) {
    Close();
    m_error.clear();
    m_reader.reset(new CMediaAudioReader());
    if (!m_reader->Open(std::move(input))) {
        m_error = "not a sound file";
        m_reader.reset();
        return false;
    }
    if (!m_stream.Open(m_reader->Rate(), m_reader->Channels())) {
        m_error = "no sound voice for the stream";
        m_reader.reset();
        return false;
    }
    m_startMs = 0;
    return true;
}

void CMusicStream::SetEndCallback(EndCallback callback, void* user) {
    m_callback = callback;
    m_user = user;
}

bool CMusicStream::SetPositionMs(int64_t ms) {
    if (!m_reader || m_thread.joinable()) return false;
    if (!m_reader->SeekMilliseconds(ms)) return false;
    m_startMs = ms;
    return true;
}

int64_t CMusicStream::PositionMs() const {
    int rate = m_stream.Rate();
    return rate > 0 ? m_startMs + (int64_t)(m_stream.PlayedFrames() * 1000 / (uint64_t)rate) : m_startMs;
}

void CMusicStream::Start() {
    if (!m_reader || m_thread.joinable()) return;
    m_stop = false;
    m_stream.Play();
    m_thread = std::thread([this] { Run(); });
}

void CMusicStream::Run() {
    // Keeps about a second decoded ahead of the mixer.
    const size_t ahead = (size_t)m_reader->Rate();
    std::vector<int16_t> piece;
    bool eof = false;
    while (!m_stop) {
        m_stream.Service();
        if (!eof && m_stream.PendingFrames() < ahead) {
            piece.clear();
            if (m_reader->ReadMore(piece)) {
                m_stream.Queue(piece.data(), piece.size() / (size_t)m_reader->Channels());
                continue;
            }
            // At the end an endless stream starts over; one that cannot go
            // back ends as if it were played once.
            if (m_loops == 0 && m_reader->SeekMilliseconds(0)) continue;
            eof = true;
            m_stream.Flush();
            continue;
        }
        if (eof && !m_stream.IsPaused() && m_stream.Idle()) {
            if (m_callback) m_callback(m_user);
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

void CMusicStream::Pause(bool paused) {
    m_stream.Pause(paused);
}

bool CMusicStream::IsPaused() const {
    return m_stream.IsPaused();
}

void CMusicStream::SetVolume(int volume) {
    m_stream.SetVolume(volume);
}

void CMusicStream::Close() {
    m_stop = true;
    if (m_thread.joinable()) m_thread.join();
    m_stream.Close();
    m_reader.reset();
}
