// The media decoder layer: one road from stored bytes to sound samples and
// video pictures (libavformat and libavcodec underneath).
//
// Everything the game decodes (WAV files in ADPCM, MP3 music, the sound and
// pictures of videos) arrives as a CMediaInput: a byte range of an open file
// (a pack member read through its own handle, or a loose file) or a block of
// memory. The decoders read it through their own I/O context, so a member
// inside a pack plays exactly like the same file on disk. A file is opened by
// its content, never by its name: a file named "x.bik" in any format the
// decoder library knows plays.
//
// Sound comes out as 16-bit signed samples, interleaved, mono or stereo (more
// channels are folded into two), at the file's own rate.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// A byte source that the decoders read and seek in.
class CMediaInput {
public:
    // The byte range [offset, offset + length) of an open file descriptor
    // (length -1: up to the end of the file). With ownFd the descriptor is
    // closed with the input. Null when the range is unusable.
    static std::unique_ptr<CMediaInput> FromFile(int fd, uint64_t offset, int64_t length, bool ownFd);
    // A copy of a memory block.
    static std::unique_ptr<CMediaInput> FromMemory(const void* data, size_t size);
    ~CMediaInput();
    CMediaInput(const CMediaInput&) = delete;
    CMediaInput& operator=(const CMediaInput&) = delete;

    // Reads up to size bytes at the current position; 0 at the end, -1 on error.
    int Read(uint8_t* buf, int size);
    // Moves the position (whence as fseek); the new position or -1.
    int64_t Seek(int64_t offset, int whence);
    int64_t Size() const { return m_length; }
    int64_t Position() const { return m_pos; }

private:
    CMediaInput() = default;
    int m_fd = -1;
    bool m_ownFd = false;
    uint64_t m_offset = 0;
    int64_t m_length = 0;
    int64_t m_pos = 0;
    std::vector<uint8_t> m_memory;
};

// Decoded sound: 16-bit signed, interleaved.
struct SMediaAudio {
    int32_t m_rate = 0;
    int32_t m_channels = 0;  // 1 or 2
    std::vector<int16_t> m_samples;
    size_t Frames() const { return m_channels > 0 ? m_samples.size() / (size_t)m_channels : 0; }
};

// The longest sound decoded into memory at once: an hour at 48 kHz stereo.
constexpr size_t kMediaMaxAudioFrames = size_t(48000) * 3600;

// Decodes the first sound stream of the input completely. False when the
// input holds no sound the library can decode, or more than the limit.
bool Media_DecodeAudio(std::unique_ptr<CMediaInput> input, SMediaAudio& out);

struct SMediaContext;

// A sound stream decoded piece by piece (the music, a video's sound).
class CMediaAudioReader {
public:
    CMediaAudioReader();
    ~CMediaAudioReader();
    CMediaAudioReader(const CMediaAudioReader&) = delete;
    CMediaAudioReader& operator=(const CMediaAudioReader&) = delete;

    // Takes the input; false when it holds no decodable sound.
    bool Open(std::unique_ptr<CMediaInput> input);
    void Close();
    bool IsOpen() const;
    int32_t Rate() const { return m_rate; }
    int32_t Channels() const { return m_channels; }
    // The next decoded piece (appended to out); false at the end or on an
    // error that ends the stream.
    bool ReadMore(std::vector<int16_t>& out);
    // Back to the start, or to a time in milliseconds.
    bool SeekMilliseconds(int64_t ms);

private:
    SMediaContext* m_ctx = nullptr;
    int32_t m_rate = 0;
    int32_t m_channels = 0;
};
