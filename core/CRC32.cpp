#include "core/CRC32.h"

#include <cstring>
#include <vector>

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

inline uint32_t Load32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

uint32_t Raw(uint32_t crc, const unsigned char* p, size_t n) {
    const auto& t = kTables.t;
    while (n >= 16) {
        uint32_t a = Load32(p) ^ crc, b = Load32(p + 4), c = Load32(p + 8), d = Load32(p + 12);
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

}  // namespace

uint32_t CCRC32::Update(const void* data, size_t length) {
    if (length == 0 || !data) return m_value;
    m_value = ~Raw(~m_value, static_cast<const unsigned char*>(data), length);
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

const uint32_t* CRC32_Table() { return kTables.t[0]; }

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
