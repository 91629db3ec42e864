#include "tools/lib/SoundBankWriter.h"

#include "core/LittleEndian.h"

namespace {
void PutName(std::string& out, const std::string& name) {
    std::string field = name.substr(0, 255);
    field.resize(255, '\0');
    out += field;
}
}  // namespace

std::string SoundBank_Build(const std::string& name, const std::vector<SSoundBankEntry>& entries,
                            int64_t countOverride) {
    std::string out;
    PutName(out, name);
    LE_PutU32(out, countOverride >= 0 ? (uint32_t)countOverride : (uint32_t)entries.size());
    for (const SSoundBankEntry& e : entries) {
        PutName(out, e.name);
        LE_PutU32(out, e.volume);
        LE_PutU32(out, e.rate);
        LE_PutU32(out, (uint32_t)(e.pan / 2 + 64));
        out.push_back((char)e.flag);
        uint16_t align = (uint16_t)(e.channels * e.bits / 8);
        LE_PutU16(out, e.formatTag);
        LE_PutU16(out, e.channels);
        LE_PutU32(out, e.samplesPerSec);
        LE_PutU32(out, e.samplesPerSec * align);
        LE_PutU16(out, align);
        LE_PutU16(out, e.bits);
        LE_PutU32(out, e.sizeOverride >= 0 ? (uint32_t)e.sizeOverride : (uint32_t)e.data.size());
        out += e.data;
    }
    return out;
}
