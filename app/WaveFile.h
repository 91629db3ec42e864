// RIFF WAVE files as the sound engine reads them.
//
// A WAV file is a list of chunks: "fmt " (the wave format), "data" (the
// samples) and optionally "smpl" (the sampler chunk whose first loop gives a
// looping sound its loop block). The chunk walk is our own, because the loop
// chunk is ours to read and because a length in a file is never trusted: a
// chunk that claims more bytes than the file holds ends the walk, and a
// sound whose format or data chunk is cut short is refused.
//
// Layout (little-endian): "RIFF", u32 size, "WAVE", then chunks of a
// four-character id, a u32 size and that many bytes, padded to an even size.
// "fmt ": u16 format tag (1 PCM), u16 channels, u32 samples per second, u32
// bytes per second, u16 block align, u16 bits per sample, [u16 extra size].
// "smpl": a 36-byte header whose last-but-one u32 is the loop count, then
// 24-byte loops: u32 cue id, u32 type, u32 start, u32 end (the last sample
// inside the loop), u32 fraction, u32 play count.
#pragma once

#include <cstddef>
#include <cstdint>

// The wave format record (18 bytes as stored).
struct SWaveFormat {
    uint16_t formatTag = 0;
    uint16_t channels = 0;
    uint32_t samplesPerSec = 0;
    uint32_t avgBytesPerSec = 0;
    uint16_t blockAlign = 0;
    uint16_t bitsPerSample = 0;
    uint16_t cbSize = 0;
};

constexpr uint16_t kWaveFormatPCM = 1;

struct SWaveInfo {
    bool hasFormat = false;
    SWaveFormat format;
    bool hasData = false;
    size_t dataOffset = 0;  // into the file image
    size_t dataSize = 0;
    bool hasLoop = false;
    uint32_t loopStart = 0;  // sample frames of the file
    uint32_t loopEnd = 0;    // the last frame inside the loop
};

// Walks the chunks of a file image. False when it is not a RIFF WAVE file;
// otherwise the chunks that are whole are reported.
bool Wave_ReadChunks(const uint8_t* data, size_t size, SWaveInfo& info);

// True for 8-bit (unsigned) or 16-bit PCM in one or two channels with a
// usable rate: samples the mixer plays as they are stored.
bool Wave_IsPlainPCM(const SWaveFormat& format);
