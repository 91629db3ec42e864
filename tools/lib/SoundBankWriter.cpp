#include "tools/lib/SoundBankWriter.h"

namespace {
void PutU16(std::string& out, uint16_t v) {
    out.push_back((char)(v & 0xFF));
    out.push_back((char)(v >> 8));
}
void PutU32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back((char)((v >> (8 * i)) & 0xFF));
}
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
    PutU32(out, countOverride >= 0 ? (uint32_t)countOverride : (uint32_t)entries.size());
    for (const SSoundBankEntry& e : entries) {
        PutName(out, e.name);
        PutU32(out, e.volume);
        PutU32(out, e.rate);
        PutU32(out, (uint32_t)(e.pan / 2 + 64));
        out.push_back((char)e.flag);
        uint16_t align = (uint16_t)(e.channels * e.bits / 8);
        PutU16(out, e.formatTag);
        PutU16(out, e.channels);
        PutU32(out, e.samplesPerSec);
        PutU32(out, e.samplesPerSec * align);
        PutU16(out, align);
        PutU16(out, e.bits);
        PutU32(out, e.sizeOverride >= 0 ? (uint32_t)e.sizeOverride : (uint32_t)e.data.size());
        out += e.data;
    }
    return out;
}
