// Appending little-endian values to a record being written: the engine's
// own Save operations and the writers in tools/lib share these.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

inline void Rec_PutU8(std::vector<uint8_t>& o, uint8_t v) {
    o.push_back(v);
}
inline void Rec_PutU16(std::vector<uint8_t>& o, uint16_t v) {
    o.push_back(uint8_t(v));
    o.push_back(uint8_t(v >> 8));
}
inline void Rec_PutU32(std::vector<uint8_t>& o, uint32_t v) {
    for (int i = 0; i < 4; ++i) o.push_back(uint8_t(v >> (8 * i)));
}
inline void Rec_PutF32(std::vector<uint8_t>& o, float f) {
    uint32_t u;
    std::memcpy(&u, &f, 4);
    Rec_PutU32(o, u);
}
inline void Rec_PutBytes(std::vector<uint8_t>& o, const void* p, size_t n) {
    const uint8_t* b = static_cast<const uint8_t*>(p);
    o.insert(o.end(), b, b + n);
}
inline void Rec_PutFloats(std::vector<uint8_t>& o, const float* f, size_t n) {
    for (size_t i = 0; i < n; ++i) Rec_PutF32(o, f[i]);
}
