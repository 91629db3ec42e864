// Sound output: the mixer and its voices (OpenAL Soft underneath).
//
// One output device is open at a time (CSoundDevice); it mixes every voice
// into the speakers. A CSoundVoice plays one CSoundBuffer of 8- or 16-bit
// samples, mono or stereo, from memory, with the controls the game's sound
// engine was written for: a playback rate in Hz, a pan (0 left, 64 centre,
// 127 right; a mono sound is placed on a half circle in front of the
// listener, a stereo one turns its two speakers), a volume (0 to 127), a loop
// count (0 endless, 1 once) and a loop block inside the buffer, and a status
// (done, playing, stopped). A
// CSoundStream plays 16-bit samples that a producer queues piece by piece (a
// video's sound); a CMusicStream decodes a music file on a thread of its own
// and queues it, looping or ending with a notice.
//
// OpenAL Soft chooses its back end by its own settings: ALSOFT_DRIVERS=wave
// with a configuration file that names an output file writes the mix into a
// WAV file (the tests read it back); "null" plays nothing (a dedicated server).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class CMediaInput;
class CMediaAudioReader;

class CSoundDevice {
public:
    // The output devices the machine offers, by name (the first is the default).
    static std::vector<std::string> Enumerate();

    // The output every device writes: 1 (mono), 2 (stereo), 4 (quad), 6, 7
    // or 8 (5.1, 6.1, 7.1) channels of 8-bit (unsigned), 16- or 32-bit
    // samples. OpenAL Soft takes the format from its settings, which it
    // reads once, at its first device listing or opening; so the format
    // asked for before that holds for the process. The settings it finds
    // (its own files and ALSOFT_CONF) are kept, with the format put over
    // them.
    enum EFormatResult {
        kFormatSet,          // the devices write this format
        kFormatUnsupported,  // no output of this kind; nothing changed
        kFormatFixed,        // the library has read its settings already
        kFormatFailed,       // the settings could not be written (the library's own rule)
    };
    static EFormatResult SetOutputFormat(int channels, int bits);
    // The format set (0 and 0 while the library's own settings rule).
    static int OutputChannels();
    static int OutputBits();

    CSoundDevice() = default;
    ~CSoundDevice() { Close(); }
    CSoundDevice(const CSoundDevice&) = delete;
    CSoundDevice& operator=(const CSoundDevice&) = delete;

    // Opens the device (null or empty name: the default) and mixes at the rate
    // with room for 'voices' voices. False with LastError() set on failure.
    bool Open(const char* name, int rate, int voices);
    void Close();
    bool IsOpen() const { return m_device != nullptr; }
    // The share of one processor (0 to 100) that the library's mixer thread
    // took since the last call (0 at the first); -1 when this process has no
    // such thread (a back end that mixes on a thread of the sound server's).
    static int MixerCpuPercent();
    const std::string& Name() const { return m_name; }
    const std::string& LastError() const { return m_error; }
    int Rate() const { return m_rate; }
    void SetMasterVolume(float gain);  // 0 to 1

    // The device that is open now (null: none); videos play their sound there.
    static CSoundDevice* Current();
    // How many times a device was opened in this process.
    static int OpenCount();

private:
    void* m_device = nullptr;   // ALCdevice
    void* m_context = nullptr;  // ALCcontext
    std::string m_name;
    std::string m_error;
    int m_rate = 0;
};

// Samples in the mixer's memory, with an optional loop block.
class CSoundBuffer {
public:
    CSoundBuffer() = default;
    ~CSoundBuffer();
    CSoundBuffer(const CSoundBuffer&) = delete;
    CSoundBuffer& operator=(const CSoundBuffer&) = delete;

    // bits 8 (unsigned) or 16 (signed), channels 1 or 2; the loop block in
    // frames ([loopStart, loopEnd), loopEnd 0 meaning the end). False when the
    // device is closed or the format is not one of these.
    bool Set(const void* data, size_t bytes, int bits, int channels, int rate, uint32_t loopStart = 0,
             uint32_t loopEnd = 0);
    int Rate() const { return m_rate; }
    int Channels() const { return m_channels; }
    uint32_t Frames() const { return m_frames; }
    unsigned Name() const { return m_buffer; }

private:
    unsigned m_buffer = 0;
    int m_rate = 0;
    int m_channels = 0;
    uint32_t m_frames = 0;
};

class CSoundVoice {
public:
    // The statuses the sound engine tests; kReleased: a loop told to stop
    // looping that plays out its last round.
    enum EStatus { kDone = 2, kPlaying = 4, kStopped = 8, kReleased = 16 };

    CSoundVoice() = default;
    ~CSoundVoice() { Release(); }
    CSoundVoice(const CSoundVoice&) = delete;
    CSoundVoice& operator=(const CSoundVoice&) = delete;

    // A voice of the open device; false when there is none or no voice left.
    bool Allocate();
    void Release();
    bool IsAllocated() const { return m_source != 0; }

    EStatus Status() const;
    // Stops and attaches the buffer (null detaches).
    void SetBuffer(const CSoundBuffer* buffer);
    void SetRate(int hz);
    void SetPan(int pan);
    void SetVolume(int volume);
    void SetLoopCount(int count);
    void Start();  // from the beginning
    void Stop();
    void Resume();
    void* m_userData = nullptr;

private:
    unsigned m_source = 0;
    int m_bufferRate = 0;
    int m_bufferChannels = 0;
    bool m_stoppedByCall = false;
    bool m_looping = false;
    bool m_released = false;
};

// A voice fed with 16-bit samples by a producer, in pieces.
class CSoundStream {
public:
    CSoundStream() = default;
    ~CSoundStream() { Close(); }
    CSoundStream(const CSoundStream&) = delete;
    CSoundStream& operator=(const CSoundStream&) = delete;

    bool Open(int rate, int channels);
    void Close();
    bool IsOpen() const { return m_source != 0; }
    int Rate() const { return m_rate; }
    int Channels() const { return m_channels; }

    // Adds samples; they are handed to the mixer in pieces as its buffers free
    // up. False when more than maxPendingFrames wait already (nothing taken).
    bool Queue(const int16_t* samples, size_t frames, size_t maxPendingFrames = SIZE_MAX);
    // Hands waiting samples to free mixer buffers and keeps the voice playing
    // while it has samples (also after it ran dry); true while anything waits
    // or plays.
    bool Service();
    // Hands over the rest even when it is shorter than a piece.
    void Flush();
    size_t PendingFrames() const;
    // Frames the mixer has played since the stream opened.
    uint64_t PlayedFrames() const;
    bool Idle() const;  // nothing waiting, nothing playing

    void Play();
    void Pause(bool paused);
    bool IsPaused() const { return m_paused; }
    void SetVolume(int volume);  // 0 to 127
    void SetPan(int pan);        // 0 to 127, 64 centre

private:
    bool QueuePiece(size_t frames);
    unsigned Reclaim();  // unqueues played buffers; returns one free name or 0

    unsigned m_source = 0;
    std::vector<unsigned> m_free;
    std::vector<unsigned> m_all;
    std::vector<int16_t> m_pending;
    mutable std::mutex m_lock;
    int m_rate = 0;
    int m_channels = 0;
    bool m_paused = false;
    bool m_started = false;
    bool m_draining = false;  // pieces shorter than usual go too (the end of a stream)
    uint64_t m_playedFrames = 0;
    std::vector<std::pair<unsigned, size_t>> m_queuedFrames;  // buffer, frames
};

// A music file decoded on its own thread into a stream.
class CMusicStream {
public:
    typedef void (*EndCallback)(void* user);

    CMusicStream();
    ~CMusicStream();
    CMusicStream(const CMusicStream&) = delete;
    CMusicStream& operator=(const CMusicStream&) = delete;

    // False with LastError() set when the input holds no playable sound.
    bool Open(std::unique_ptr<CMediaInput> input);
    const std::string& LastError() const { return m_error; }
    // 0: endless (back to the start at the end); 1: once, then the callback.
    void SetLoopCount(int count) { m_loops = count; }
    // Called on the stream's thread when a once-through stream has played out.
    void SetEndCallback(EndCallback callback, void* user);
    bool SetPositionMs(int64_t ms);
    int64_t PositionMs() const;
    void Start();
    void Pause(bool paused);
    bool IsPaused() const;
    void SetVolume(int volume);  // 0 to 127
    void Close();

private:
    void Run();

    std::unique_ptr<CMediaAudioReader> m_reader;
    CSoundStream m_stream;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_loops{1};
    EndCallback m_callback = nullptr;
    void* m_user = nullptr;
    int64_t m_startMs = 0;
    std::string m_error;
};
