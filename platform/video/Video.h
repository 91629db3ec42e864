// Video decoding onto surfaces.
//
// A CVideoStream is a video as the engine's video object drives it: opened
// from a CMediaInput (a pack member or a memory block), it knows its frame
// size, its exact frame count, its frame rate as a rate over a divisor, and
// whether it brought sound. Frames are numbered from 1 in the order they are
// shown; the stream keeps a current frame that DoFrame decodes and NextFrame
// moves on (after the last it comes back to the first). Goto jumps to any
// frame: the decoder goes back to the key frame before it and decodes
// forward, so the picture is exactly that frame. Wait tells whether the
// current frame is still early by the video's own clock. CopyToBuffer
// converts the decoded picture into locked surface memory in the surface's
// pixel format, cut to the surface.
//
// The video's sound (one of its sound tracks) plays on the open sound device
// as it is read, with its own volume and pan.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

class CMediaInput;
struct SMediaContext;
struct SwsContext;
class CSoundStream;

// Locked surface memory and its pixel layout.
struct SVideoTarget {
    uint8_t* pixels = nullptr;  // first row
    int32_t pitch = 0;
    int32_t width = 0;
    int32_t height = 0;
    uint32_t bitCount = 0;  // 16, 24 or 32
    uint32_t rMask = 0, gMask = 0, bMask = 0;
};

class CVideoStream {
public:
    CVideoStream();
    ~CVideoStream();
    CVideoStream(const CVideoStream&) = delete;
    CVideoStream& operator=(const CVideoStream&) = delete;

    // soundTrack: -1 none, else which of the file's sound streams plays (0 the
    // first); frameRate: when 0 or more, the rate (frames a second) to show
    // the frames at instead of the file's. False when the input holds no
    // decodable video.
    bool Open(std::unique_ptr<CMediaInput> input, int soundTrack, int frameRate);
    void Close();

    uint32_t Width() const { return m_width; }
    uint32_t Height() const { return m_height; }
    uint32_t Frames() const { return (uint32_t)m_pts.size(); }
    uint32_t FrameNum() const { return m_frameNum; }
    uint32_t FrameRate() const { return m_rate; }
    uint32_t FrameRateDiv() const { return m_rateDiv; }
    // The file has a sound stream for the chosen track (0: no sound).
    uint32_t HasSound() const { return m_hasSound ? 1 : 0; }

    void Pause(bool paused);
    // Makes frame n (1 to Frames) the current frame.
    void Goto(uint32_t n);
    // True while the current frame is not due yet by the video's clock.
    bool Wait();
    // Decodes the current frame (nothing when it is decoded already); false
    // when it cannot be had.
    bool DoFrame();
    void NextFrame();
    // Converts the decoded picture to (x, y) of the target; the part outside
    // the target is left out. False when there is no picture or the target's
    // layout is not one the converter writes.
    bool CopyToBuffer(const SVideoTarget& target, int x, int y);

    void SetVolume(int volume);  // 32768 full
    void SetPan(int pan);        // 0 left, 32768 centre, 65536 right
    void SetSoundOnOff(bool on);
    void SetVideoOnOff(bool on) { m_videoOn = on; }

    // The clock Wait measures with (the performance counter by default);
    // tests drive time through it.
    typedef int64_t (*Clock)();
    static void SetClock(Clock clock);

private:
    bool Index();
    bool Rewind(uint32_t keyIndex);
    bool DecodeNext();  // the next picture in showing order into m_picture
    void HandleAudio();
    void ServiceSound();
    uint32_t RankOf(int64_t pts) const;
    int64_t FramePeriod() const;  // clock counts per frame

    SMediaContext* m_ctx = nullptr;
    struct AVCodecContext* m_video = nullptr;
    int m_videoStream = -1;
    struct AVFrame* m_picture = nullptr;
    SwsContext* m_sws = nullptr;
    int m_swsKey[5] = {0, 0, 0, 0, 0};
    uint8_t* m_scratch = nullptr;  // the converter's output, aligned
    size_t m_scratchSize = 0;
    uint32_t m_width = 0, m_height = 0;
    uint32_t m_rate = 0, m_rateDiv = 1;
    bool m_hasSound = false;
    std::vector<int64_t> m_pts;     // every frame's time stamp, in showing order
    std::vector<uint32_t> m_keys;   // showing indexes (0-based) of key frames
    std::vector<int64_t> m_keyPts;  // and the time stamps the demuxer seeks to
    uint32_t m_frameNum = 1;        // current frame, from 1
    uint32_t m_decoded = 0;         // frame in m_picture, from 1; 0 none
    uint32_t m_lastOut = 0;         // showing index + 1 of the decoder's last picture
    bool m_drained = false;
    bool m_paused = false;
    bool m_videoOn = true;
    bool m_soundOn = true;
    bool m_soundStarted = false;
    int64_t m_baseTime = 0;  // clock count at which m_baseFrame was due
    uint32_t m_baseFrame = 1;
    int64_t m_pausedAt = 0;
    std::unique_ptr<CSoundStream> m_sound;
    int m_volume = 32768;
    int m_pan = 32768;
    std::vector<int16_t> m_samples;
};
