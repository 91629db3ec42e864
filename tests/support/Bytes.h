// Expected bytes for record tests: little-endian values appended in order,
// as the records' tables list them.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

struct SBytes {
    std::vector<uint8_t> b;
    SBytes& U8(uint8_t v) {
        b.push_back(v);
        return *this;
    }
    SBytes& U16(uint16_t v) { return U8(v & 0xFF).U8(v >> 8); }
    SBytes& U32(uint32_t v) { return U16(v & 0xFFFF).U16(v >> 16); }
    SBytes& I32(int32_t v) { return U32(static_cast<uint32_t>(v)); }
    SBytes& U64(uint64_t v) { return U32(static_cast<uint32_t>(v)).U32(static_cast<uint32_t>(v >> 32)); }
    SBytes& F32(float v) {
        uint32_t u;
        std::memcpy(&u, &v, 4);
        return U32(u);
    }
    SBytes& F32s(const float* v, int n) {
        for (int i = 0; i < n; ++i) F32(v[i]);
        return *this;
    }
    SBytes& Append(const std::vector<uint8_t>& more) {
        b.insert(b.end(), more.begin(), more.end());
        return *this;
    }
};
