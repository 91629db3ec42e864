// Writer of WAV files for tests, the content build and modders: PCM in 8 or
// 16 bits, mono or stereo, with an optional sampler chunk whose first loop
// gives the loop block, and any other chunks a fixture wants (a packed format
// header, a chunk cut short). The sound engine's reader is app/WaveFile.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct SWaveWriterLoop {
    uint32_t start = 0;  // first frame of the loop
    uint32_t end = 0;    // last frame inside the loop
};

// A PCM WAV image: 'samples' are interleaved, in 16 bits; with bits 8 they
// are stored as unsigned 8-bit (the top byte, offset by 128).
std::string Wave_Build(const std::vector<int16_t>& samples, int channels, int rate, int bits = 16,
                       const SWaveWriterLoop* loop = nullptr);

// A RIFF WAVE image of raw chunks (id, body), bodies padded to even sizes
// unless a chunk's size is overridden to lie (sizeOverride >= 0).
struct SWaveChunk {
    std::string id;
    std::string body;
    int64_t sizeOverride = -1;
};
std::string Wave_BuildChunks(const std::vector<SWaveChunk>& chunks);
// The body of a "fmt " chunk.
std::string Wave_FormatBody(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits);

// A sine tone in 16 bits: frames of 'channels' channels at 'rate'.
std::vector<int16_t> Wave_Sine(double hz, int rate, int frames, int channels = 1, double amplitude = 0.5);
