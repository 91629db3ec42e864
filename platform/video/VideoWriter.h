// Pictures written as a video file (libavformat and libavcodec
// underneath): the game's recordings of its view (Capture_Start).
//
// Every frame is a picture of the size given at Open, in 24-bit RGB rows
// from the top, shown for one frame period (the rate is a count of frames
// over a divisor, so 29.97 is 30000/1001). The file is an AVI holding
// MPEG-4 part 2 video, which every player and ffprobe read; its index is
// written by Close. Width and height are cut to even numbers (what the
// encoder's 4:2:0 pictures take).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

class CVideoWriter {
public:
    CVideoWriter();
    ~CVideoWriter();  // closes a file still open
    CVideoWriter(const CVideoWriter&) = delete;
    CVideoWriter& operator=(const CVideoWriter&) = delete;

    // Creates the file (a Linux path) for pictures of width x height at
    // rate / divisor frames a second. False, with the reason in Error(),
    // when the file or the encoder cannot be had.
    bool Open(const std::string& path, int width, int height, int rate, int divisor);
    // One frame; pitch: the bytes from one row to the next. False when it
    // could not be encoded or written.
    bool AddFrame(const uint8_t* rgb, int pitch);
    // The encoder's last frames, then the file's index and end; false when
    // they could not be written. Nothing when not open.
    bool Close();

    bool IsOpen() const;
    int Frames() const { return m_frames; }
    int Width() const { return m_width; }
    int Height() const { return m_height; }
    const std::string& Error() const { return m_error; }

private:
    struct SState;
    bool Fail(const char* what);
    bool Drain(bool flush);

    std::unique_ptr<SState> m_state;
    int m_frames = 0;
    int m_width = 0, m_height = 0;
    std::string m_error;
};
