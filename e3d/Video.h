// CE3DVideo: a video played frame by frame into a surface.
//
// The interface's animated pictures, the console's background, the movies of
// the Anim_ commands and the full-screen movie of the frame loop are videos.
// A video is opened from a file of the file table (a pack member or a loose
// file, "Movies\x.bik" and the like) or from a copy of a memory block; its
// frames go into a target surface that the owner gives, or that the video
// makes itself at the frame size. Opened, a video is paused on its first
// frame; Play starts it from frame 0, and the owner calls DecodeFrame every
// frame: it shows the next frame when that is due, by the video's own clock
// or by the engine's timer, and at the end either starts over (loop) or stops
// with the last frame left on the target.
//
// The settings are plain fields that the owner sets before opening or
// playing. A video whose file cannot be opened has no handle; every operation
// on it does nothing and owners test HasHandle().
#pragma once

#include <cstdint>
#include <memory>

#include "core/StrBuf.h"

class CE3DScreen;
class CE3DSurface;
class CVideoStream;

// What a video asks of the game's sound engine: the sound track the
// Vid_BinkSoundTrack setting chooses and the effects volume in percent. Both
// hooks may be null (track 0, volume 100).
struct SE3DVideoSoundHooks {
    int (*soundTrack)() = nullptr;
    int (*effectsVolume)() = nullptr;
};
void E3DVideo_SetSoundHooks(const SE3DVideoSoundHooks& hooks);

class CE3DVideo {
public:
    explicit CE3DVideo(CE3DScreen* screen);
    virtual ~CE3DVideo();
    CE3DVideo(const CE3DVideo&) = delete;
    CE3DVideo& operator=(const CE3DVideo&) = delete;

    bool OpenFromMemory(const void* data, uint32_t size, bool createTarget);
    bool OpenFile(const char* name, bool preload, bool createTarget);
    void SetTarget(CE3DSurface* target) { m_target = target; }
    void Play();
    void Pause();
    void Resume();
    void GotoFrame(int frame);  // from 0
    void DecodeFrame();
    void DecodeIntoTarget();

    bool HasHandle() const { return m_handle != nullptr; }
    CVideoStream* Handle() const { return m_handle.get(); }
    uint32_t Width() const;
    uint32_t Height() const;
    uint32_t FrameCount() const;
    // The current frame, counted from 1 as the decoder counts.
    uint32_t FrameNumber() const;
    // Engine-timer ticks per frame (0 without a handle).
    int64_t TicksPerFrame() const;

    CE3DScreen* m_screen;
    CE3DVideo* m_next = nullptr;
    CE3DVideo* m_prev = nullptr;
    std::unique_ptr<CVideoStream> m_handle;
    int m_fileHandle = -1;  // the stream holds its own file; kept for the record
    int32_t m_destX = 0;
    int32_t m_destY = 0;
    uint8_t m_playing = 0;
    CE3DSurface* m_target = nullptr;
    int32_t m_frameRate = -1;
    int32_t m_soundTrack = -1;
    uint8_t m_soundOn = 1;
    uint8_t m_videoOn = 1;
    int32_t m_volume = 32768;
    int32_t m_pan = 32768;
    CE3DSurface* m_ownSurface = nullptr;
    uint8_t m_timedByEngine = 0;
    int64_t m_nextFrameTime = 0;
    uint8_t m_loop = 0;
    std::unique_ptr<uint8_t[]> m_memory;
    uint32_t m_memorySize = 0;
    CStrBuf m_name;

private:
    // The sound track to open with: -1 without sound output or with sound off.
    int ChosenTrack() const;
    void ApplySettings(bool fileVolume);
    // A black surface at the frame size that the video owns and decodes into.
    void MakeOwnTarget(bool systemMemory);
    void CopyToTarget();
    int64_t TimerNow() const;
};

// Closes every video of the screen (the screen's destructor).
void E3DVideo_DestroyAll(CE3DScreen* screen);
