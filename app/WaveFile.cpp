#include "app/WaveFile.h"

#include <cstring>

#include "core/LittleEndian.h"

namespace {
uint32_t U32(const uint8_t* p) {
    return LE_LoadU32(p);
}
uint16_t U16(const uint8_t* p) {
    return LE_LoadU16(p);
}
}  // namespace

bool Wave_IsPlainPCM(const SWaveFormat& f) {
    return f.formatTag == kWaveFormatPCM && (f.bitsPerSample == 8 || f.bitsPerSample == 16) &&
           (f.channels == 1 || f.channels == 2) && f.samplesPerSec > 0 && f.samplesPerSec <= 384000;
}

bool Wave_ReadChunks(const uint8_t* data, size_t size, SWaveInfo& info) {
    info = SWaveInfo();
    if (!data || size < 12 || std::memcmp(data, "RIFF", 4) != 0 || std::memcmp(data + 8, "WAVE", 4) != 0)
        return false;
    // The RIFF size bounds the walk when it is smaller than the file.
    size_t end = size;
    uint64_t riffEnd = (uint64_t)U32(data + 4) + 8;
    if (riffEnd >= 12 && riffEnd < end) end = (size_t)riffEnd;
    size_t pos = 12;
    while (end - pos >= 8) {
        const uint8_t* id = data + pos;
        uint32_t length = U32(data + pos + 4);
        size_t body = pos + 8;
        if (length > end - body) break;  // cut short: the walk ends here
        if (std::memcmp(id, "fmt ", 4) == 0 && length >= 16 && !info.hasFormat) {
            const uint8_t* f = data + body;
            info.format.formatTag = U16(f);
            info.format.channels = U16(f + 2);
            info.format.samplesPerSec = U32(f + 4);
            info.format.avgBytesPerSec = U32(f + 8);
            info.format.blockAlign = U16(f + 12);
            info.format.bitsPerSample = U16(f + 14);
            info.format.cbSize = length >= 18 ? U16(f + 16) : 0;
            info.hasFormat = true;
        } else if (std::memcmp(id, "data", 4) == 0 && !info.hasData) {
            info.hasData = true;
            info.dataOffset = body;
            info.dataSize = length;
        } else if (std::memcmp(id, "smpl", 4) == 0 && !info.hasLoop && length >= 36 + 24) {
            const uint8_t* s = data + body;
            uint32_t loops = U32(s + 28);
            if (loops >= 1) {
                const uint8_t* loop = s + 36;
                info.loopStart = U32(loop + 8);
                info.loopEnd = U32(loop + 12);
                info.hasLoop = true;
            }
        }
        size_t advance = (size_t)length + (length & 1);
        if (advance > end - body) break;
        pos = body + advance;
    }
    return true;
}
