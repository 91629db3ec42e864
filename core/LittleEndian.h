// Little-endian fields of our stored files (packs, pictures, compiled fonts,
// geometry records, sounds), read and written a byte at a time so that
// neither the field's alignment nor the host's byte order matters.
//
// LE_Load and LE_Store work on memory in place; the LE_Put family appends to
// a record being written, a std::vector<uint8_t> or a std::string alike (the
// engine's Save operations and the writers in tools/lib share them).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

inline uint16_t LE_LoadU16(const uint8_t* p) {
    return uint16_t(p[0] | (p[1] << 8));
}

inline uint32_t LE_LoadU32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

inline void LE_StoreU16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}

inline void LE_StoreU32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}

template <class Bytes>
void LE_PutBytes(Bytes& out, const void* data, size_t size) {
    const uint8_t* b = static_cast<const uint8_t*>(data);
    out.insert(out.end(), b, b + size);
}

template <class Bytes>
void LE_PutU8(Bytes& out, uint8_t v) {
    out.push_back(typename Bytes::value_type(v));
}

template <class Bytes>
void LE_PutU16(Bytes& out, uint16_t v) {
    uint8_t b[2];
    LE_StoreU16(b, v);
    LE_PutBytes(out, b, 2);
}

template <class Bytes>
void LE_PutU32(Bytes& out, uint32_t v) {
    uint8_t b[4];
    LE_StoreU32(b, v);
    LE_PutBytes(out, b, 4);
}

// A float as the bits of its IEEE single.
template <class Bytes>
void LE_PutF32(Bytes& out, float f) {
    uint32_t u;
    std::memcpy(&u, &f, 4);
    LE_PutU32(out, u);
}

template <class Bytes>
void LE_PutF32s(Bytes& out, const float* f, size_t count) {
    for (size_t i = 0; i < count; ++i) LE_PutF32(out, f[i]);
}
