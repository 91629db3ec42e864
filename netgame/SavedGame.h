// Saved games: one file that holds everything a game needs to go on.
//
// The file is written whole in memory and then put in place through a
// temporary file and a rename: a save that fails (a full disk, a process
// killed while it writes) leaves the file that was there before as it was.
// It is little-endian and unpadded:
//
//   u32   magic "TSAV"
//   u32   format version (1)
//   u32   game type (0 single-player, 1 skirmish, 2 network game)
//   u32   length L of the sections that follow (the rest of the file)
//   u32   CRC-32 of those L bytes
//   sections, each: u32 tag, u32 length N, N bytes
//     NETG  the network game: descriptions, players, teams, counters, the
//           clock, the map (SavedGame.cpp has its layout)
//     GRID  the world grid: u32 the id of the player whose fog it is, then
//           the grid's own record (CWorldGrid::SaveRecord)
//     WRLD  the world's whole state (CWorld::SaveState)
//     ORDR  the orders of the turn that was about to run: u32 count, each
//           u16 type (a world order), u32 length, its bytes
//     and the parts of the layers above the network game, each under its
//     own tag (ISavedGamePart): the game's view and music ("VIEW"), the
//     computer players ("AI  ") and any other a program registers.
// The four first sections come first, in this order. A part that this
// program has not registered is read over (it must still be whole); a
// registered part whose section is missing is not loaded (the computer
// players of a game without any).
//
// A reader takes nothing on trust: it reads the file whole (at most
// kMaxFileSize bytes), checks the magic, the version, every length and the
// CRC, then reads every section in a checking pass that changes nothing
// (every count, id and length checked against what the game has), and
// only then applies it. A damaged file is refused whole, with its name.
//
// Every machine of a game loads the same file at the same point: the host
// names it in its start request (STARTGAME, before MAPCHANGESTART); each machine
// reads and checks its own copy of the file of that name in its "Save"
// folder (a copy that is missing or differs calls the start off); the game
// loop's start (SETGAMELOOP, in the same frame everywhere) applies it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/StrBuf.h"

class CStateArchive;

// A section's tag: its four letters, the first in the low byte.
constexpr uint32_t SavedGame_Tag(const char (&t)[5]) {
    return static_cast<uint32_t>(static_cast<uint8_t>(t[0])) |
           static_cast<uint32_t>(static_cast<uint8_t>(t[1])) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(t[2])) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(t[3])) << 24;
}

// A part of a saved game that a layer above the network game keeps. It is
// written after the network game's sections, under its tag; LoadSection
// reads it from a checking archive (changing nothing) and, once the whole
// file passed, from an applying one.
class ISavedGamePart {
public:
    virtual ~ISavedGamePart() = default;
    virtual uint32_t SavedTag() const = 0;
    virtual void SaveSection(CStateArchive& ar) = 0;
    virtual bool LoadSection(CStateArchive& ar) = 0;
};

namespace SavedGame {
constexpr uint32_t kMagic = SavedGame_Tag("TSAV");
constexpr uint32_t kVersion = 1;
constexpr size_t kHeaderSize = 20;
constexpr size_t kMaxFileSize = size_t(256) << 20;
constexpr uint32_t kTagNet = SavedGame_Tag("NETG");
constexpr uint32_t kTagGrid = SavedGame_Tag("GRID");
constexpr uint32_t kTagWorld = SavedGame_Tag("WRLD");
constexpr uint32_t kTagOrders = SavedGame_Tag("ORDR");
constexpr uint32_t kTagView = SavedGame_Tag("VIEW");
constexpr uint32_t kTagAI = SavedGame_Tag("AI  ");
// The longest saved game's name (a plain file name in the "Save" folder).
constexpr int kMaxNameLength = 255;
}  // namespace SavedGame

// A saved game's bytes, taken apart into its sections (nothing checked of
// what they hold).
class CSavedGameFile {
public:
    struct SSection {
        uint32_t tag;
        size_t offset;
        size_t size;
    };
    // Checks the header, the lengths and the CRC; false with the reason.
    bool Parse(std::vector<uint8_t> bytes, std::string& error);
    const SSection* Find(uint32_t tag) const;
    const uint8_t* Data(const SSection& s) const { return m_bytes.data() + s.offset; }
    uint32_t GameType() const { return m_gameType; }
    uint32_t Crc() const { return m_crc; }
    const std::vector<SSection>& Sections() const { return m_sections; }
    const std::vector<uint8_t>& Bytes() const { return m_bytes; }

    // Builds a file: the header, then the sections given in order.
    static std::vector<uint8_t> Build(uint32_t gameType,
                                      const std::vector<std::pair<uint32_t, std::vector<uint8_t>>>& sections);

private:
    std::vector<uint8_t> m_bytes;
    std::vector<SSection> m_sections;
    uint32_t m_gameType = 0;
    uint32_t m_crc = 0;
};

// What a saved game's first section tells before a game is started with it.
struct SSavedGameInfo {
    uint32_t gameType = 0;
    CStrBuf mapFile;
    uint64_t gameTime = 0;
};

// True for a name a saved game may have: one plain file name (no folder, no
// "..", no drive), at most SavedGame::kMaxNameLength characters.
bool SavedGame_IsPlainName(const char* name);
