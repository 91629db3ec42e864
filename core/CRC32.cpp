#include "core/CRC32.h"

#include <cstring>
#include <vector>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define TESSARAK_CRC_CLMUL 1
#endif

#include "core/LittleEndian.h"
#include "core/VFSFile.h"

namespace {

// Slicing tables: kTables[0] is the classic byte table; kTables[k][i] is the
// CRC of byte i followed by k zero bytes, so sixteen bytes fold in one step.
struct STables {
    uint32_t t[16][256];
    constexpr STables() : t() {
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
            t[0][i] = c;
        }
        for (int k = 1; k < 16; ++k)
            for (uint32_t i = 0; i < 256; ++i) t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF];
    }
};

constexpr STables kTables;

uint32_t Raw(uint32_t crc, const unsigned char* p, size_t n) {
    const auto& t = kTables.t;
    while (n >= 16) {
        uint32_t a = LE_LoadU32(p) ^ crc, b = LE_LoadU32(p + 4), c = LE_LoadU32(p + 8),
                 d = LE_LoadU32(p + 12);
        crc = t[15][a & 0xFF] ^ t[14][(a >> 8) & 0xFF] ^ t[13][(a >> 16) & 0xFF] ^ t[12][a >> 24] ^
              t[11][b & 0xFF] ^ t[10][(b >> 8) & 0xFF] ^ t[9][(b >> 16) & 0xFF] ^ t[8][b >> 24] ^
              t[7][c & 0xFF] ^ t[6][(c >> 8) & 0xFF] ^ t[5][(c >> 16) & 0xFF] ^ t[4][c >> 24] ^
              t[3][d & 0xFF] ^ t[2][(d >> 8) & 0xFF] ^ t[1][(d >> 16) & 0xFF] ^ t[0][d >> 24];
        p += 16;
        n -= 16;
    }
    while (n--) crc = (crc >> 8) ^ t[0][(crc ^ *p++) & 0xFF];
    return crc;
}

#ifdef TESSARAK_CRC_CLMUL
// Carry-less multiplication folding (Gopal et al., "Fast CRC computation for
// generic polynomials using PCLMULQDQ"): four 128-bit lanes are folded across
// 64 bytes at a time, then into one lane, then reduced to 32 bits with
// Barrett's method. The constants are powers of x modulo the reflected
// polynomial. n must be a multiple of 16 and at least 64; crc is the raw
// (inverted) register.
__attribute__((target("pclmul,sse4.1"))) inline __m128i Fold(__m128i acc, __m128i next, __m128i k) {
    __m128i lo = _mm_clmulepi64_si128(acc, k, 0x00);
    return _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(acc, k, 0x11), next), lo);
}

__attribute__((target("pclmul,sse4.1"))) uint32_t Folded(uint32_t crc, const unsigned char* p, size_t n) {
    alignas(16) static const uint64_t k1k2[2] = {0x0154442bd4ull, 0x01c6e41596ull};
    alignas(16) static const uint64_t k3k4[2] = {0x01751997d0ull, 0x00ccaa009eull};
    alignas(16) static const uint64_t k5k0[2] = {0x0163cd6124ull, 0};
    alignas(16) static const uint64_t poly[2] = {0x01db710641ull, 0x01f7011641ull};
    auto load = [](const unsigned char* q) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(q)); };

    __m128i x1 = _mm_xor_si128(load(p), _mm_cvtsi32_si128(static_cast<int>(crc)));
    __m128i x2 = load(p + 16), x3 = load(p + 32), x4 = load(p + 48);
    __m128i k = _mm_load_si128(reinterpret_cast<const __m128i*>(k1k2));
    p += 64;
    n -= 64;
    while (n >= 64) {
        __m128i l1 = _mm_clmulepi64_si128(x1, k, 0x00), l2 = _mm_clmulepi64_si128(x2, k, 0x00);
        __m128i l3 = _mm_clmulepi64_si128(x3, k, 0x00), l4 = _mm_clmulepi64_si128(x4, k, 0x00);
        x1 = _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(x1, k, 0x11), l1), load(p));
        x2 = _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(x2, k, 0x11), l2), load(p + 16));
        x3 = _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(x3, k, 0x11), l3), load(p + 32));
        x4 = _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(x4, k, 0x11), l4), load(p + 48));
        p += 64;
        n -= 64;
    }
    k = _mm_load_si128(reinterpret_cast<const __m128i*>(k3k4));
    x1 = Fold(x1, x2, k);
    x1 = Fold(x1, x3, k);
    x1 = Fold(x1, x4, k);
    while (n >= 16) {
        x1 = Fold(x1, load(p), k);
        p += 16;
        n -= 16;
    }
    // 128 bits to 64.
    __m128i mask32 = _mm_setr_epi32(-1, 0, -1, 0);
    x2 = _mm_clmulepi64_si128(x1, k, 0x10);
    x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), x2);
    k = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(k5k0));
    x2 = _mm_srli_si128(x1, 4);
    x1 = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x1, mask32), k, 0x00), x2);
    // Barrett reduction to 32 bits.
    k = _mm_load_si128(reinterpret_cast<const __m128i*>(poly));
    x2 = _mm_clmulepi64_si128(_mm_and_si128(x1, mask32), k, 0x10);
    x2 = _mm_clmulepi64_si128(_mm_and_si128(x2, mask32), k, 0x00);
    x1 = _mm_xor_si128(x1, x2);
    return static_cast<uint32_t>(_mm_extract_epi32(x1, 1));
}

bool HasClmul() {
    static const bool has = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
    return has;
}
#endif

uint32_t Any(uint32_t crc, const unsigned char* p, size_t n) {
#ifdef TESSARAK_CRC_CLMUL
    if (n >= 64 && HasClmul()) {
        size_t bulk = n & ~static_cast<size_t>(15);
        crc = Folded(crc, p, bulk);
        p += bulk;
        n -= bulk;
    }
#endif
    return Raw(crc, p, n);
}

}  // namespace

uint32_t CCRC32::Update(const void* data, size_t length) {
    if (length == 0 || !data) return m_value;
    m_value = ~Any(~m_value, static_cast<const unsigned char*>(data), length);
    return m_value;
}

void CRC32_BuildTable(uint32_t table[256]) {
    if (!table) return;
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
        table[i] = c;
    }
}

const uint32_t* CRC32_Table(int slice) {
    return kTables.t[slice >= 0 && slice < 16 ? slice : 0];
}

uint32_t CRC32_Compute(const void* data, size_t length, uint32_t seed) {
    CCRC32 crc(seed);
    return crc.Update(data, length);
}

uint32_t CRC32_File(const char* path, bool* found) {
    CVFSFile file(path, 0);
    if (found) *found = file.IsOpen();
    if (!file.IsOpen()) return 0;
    CCRC32 crc;
    std::vector<unsigned char> block(65535);
    for (;;) {
        file.Read(block.data(), static_cast<uint32_t>(block.size()));
        uint32_t got = file.BytesRead();
        if (got == 0) break;
        crc.Update(block.data(), got);
    }
    file.Close();
    return crc.GetValue();
}
