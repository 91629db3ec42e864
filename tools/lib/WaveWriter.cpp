#include "tools/lib/WaveWriter.h"

#include <cmath>

#include "core/LittleEndian.h"

std::string Wave_FormatBody(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits) {
    std::string f;
    uint16_t align = (uint16_t)(channels * bits / 8);
    LE_PutU16(f, tag);
    LE_PutU16(f, channels);
    LE_PutU32(f, rate);
    LE_PutU32(f, rate * align);
    LE_PutU16(f, align);
    LE_PutU16(f, bits);
    return f;
}

std::string Wave_BuildChunks(const std::vector<SWaveChunk>& chunks) {
    std::string body = "WAVE";
    for (const SWaveChunk& c : chunks) {
        body += c.id.substr(0, 4);
        LE_PutU32(body, c.sizeOverride >= 0 ? (uint32_t)c.sizeOverride : (uint32_t)c.body.size());
        body += c.body;
        if (c.body.size() & 1) body.push_back(0);
    }
    std::string out = "RIFF";
    LE_PutU32(out, (uint32_t)body.size());
    return out + body;
}

std::string Wave_Build(const std::vector<int16_t>& samples, int channels, int rate, int bits,
                       const SWaveWriterLoop* loop) {
    std::vector<SWaveChunk> chunks;
    chunks.push_back({"fmt ", Wave_FormatBody(1, (uint16_t)channels, (uint32_t)rate, (uint16_t)bits)});
    std::string data;
    for (int16_t s : samples) {
        if (bits == 8)
            data.push_back((char)(uint8_t)((s >> 8) + 128));
        else
            LE_PutU16(data, (uint16_t)s);
    }
    chunks.push_back({"data", data});
    if (loop) {
        // The sampler chunk: its 36-byte header with one loop, then the loop.
        std::string smpl;
        for (int i = 0; i < 7; ++i) LE_PutU32(smpl, 0);
        LE_PutU32(smpl, 1);  // loops
        LE_PutU32(smpl, 0);  // sampler data
        LE_PutU32(smpl, 0);  // cue id
        LE_PutU32(smpl, 0);  // forward loop
        LE_PutU32(smpl, loop->start);
        LE_PutU32(smpl, loop->end);
        LE_PutU32(smpl, 0);
        LE_PutU32(smpl, 0);
        chunks.push_back({"smpl", smpl});
    }
    return Wave_BuildChunks(chunks);
}

std::vector<int16_t> Wave_Sine(double hz, int rate, int frames, int channels, double amplitude) {
    std::vector<int16_t> out((size_t)frames * (size_t)channels);
    const double pi = 3.14159265358979323846;
    for (int i = 0; i < frames; ++i) {
        int16_t v = (int16_t)std::lround(amplitude * 32767.0 * std::sin(2.0 * pi * hz * i / rate));
        for (int c = 0; c < channels; ++c) out[(size_t)i * (size_t)channels + (size_t)c] = v;
    }
    return out;
}
