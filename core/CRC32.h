// CRC-32: the one checksum of the game.
//
// The standard CRC-32 of zlib and PNG (reflected polynomial 0xEDB88320,
// register inverted before and after). CCRC32 holds the finished value of all
// bytes fed so far, so feeding a text in pieces gives the same result as
// feeding it at once. The file table hashes paths with it, the command
// interpreter command names, the network engine packets, and the network game
// compares map files with CRC32_File.
#pragma once

#include <cstddef>
#include <cstdint>

class CCRC32 {
public:
    CCRC32() = default;
    explicit CCRC32(uint32_t seed) : m_value(seed) {}
    void Reset() { m_value = 0; }
    // Continues from the stored value; returns the new value.
    uint32_t Update(const void* data, size_t length);
    uint32_t GetValue() const { return m_value; }
    void SetValue(uint32_t value) { m_value = value; }

private:
    uint32_t m_value = 0;
};

// Fills table with the byte-wise lookup table (entry i = i run through eight
// shift-and-xor steps). The checksum code uses tables built at compile time
// from the same rule; calling this at start-up is harmless.
void CRC32_BuildTable(uint32_t table[256] = nullptr);
// The lookup table; slice k > 0 gives the tables of the slicing method
// (entry i: the CRC step of byte i followed by k zero bytes), k up to 15.
const uint32_t* CRC32_Table(int slice = 0);

// The CRC-32 of a byte range, in one call.
uint32_t CRC32_Compute(const void* data, size_t length, uint32_t seed = 0);

// The CRC-32 of a file read through the file table (a pack member or a loose
// file), in blocks of 65535 bytes. 0 when the file cannot be opened or is
// empty; found (when given) tells the two apart.
uint32_t CRC32_File(const char* path, bool* found = nullptr);
