// Writer of pack files (".box") for tests, the content builder and modders.
//
// Builds the same layout the game reads: member data back to back, then the
// directory (u32 count; per member the path, a zero byte, u32 offset, u32
// size), then the u32 directory offset. Members keep the order they were
// added in. The game's own CVFSTable::WritePack writes the same bytes for a
// table; this writer needs no table and can also produce damaged packs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct SPackMember {
    std::string path;  // backslash-separated, as stored
    std::string data;
};

class CPackWriter {
public:
    void Add(const std::string& path, const std::string& data) { m_members.push_back({path, data}); }
    // Adds every file below a Linux folder, member paths relative to it with
    // backslashes, folders and files in case-insensitive name order. The
    // prefix (if any) is put before each member path with a backslash.
    bool AddFolder(const std::string& linuxFolder, const std::string& prefix = "");
    const std::vector<SPackMember>& Members() const { return m_members; }
    std::vector<SPackMember>& Members() { return m_members; }

    // The bytes of the pack.
    std::string Build() const;
    // Writes prefix + pack + suffix to a Linux path (a pack inside a larger file).
    bool WriteTo(const std::string& linuxPath, const std::string& prefix = "",
                 const std::string& suffix = "") const;

private:
    std::vector<SPackMember> m_members;
};

// Little-endian helpers for hand-made fixtures.
void PackWriter_PutU32(std::string& out, uint32_t v);
void PackWriter_PutU16(std::string& out, uint16_t v);
// Overwrites 4 bytes at pos with v (for corrupting a built pack).
void PackWriter_Poke32(std::string& bytes, size_t pos, uint32_t v);
bool PackWriter_WriteBytes(const std::string& linuxPath, const std::string& bytes);
