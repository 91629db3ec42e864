// Saved games: one file that holds everything a game needs to go on.
//
// The file is written whole in memory and then put in place through a
// temporary file and a rename: a save that fails (a full disk, a process
// killed while it writes) leaves the file that was there before as it was.
// It is little-endian and unpadded; a string is a u16 character count and
// that many 8-bit characters; a list of ids is a u32 count and one u32 id
// per member. In file order:
//
//   1   u32 format word (1)
//   2   u32 game type (0 single-player, 1 skirmish, 2 network game)
//   3   the network game block:
//         2 x a description (the current one, then the hosted one): u8
//         allied victory, u8 fog of war, u32 maximum players, u32 maximum
//         units, u32 start resources, string the map file
//         string the hosted server's name, string its description, string
//         the campaign briefing animation
//         u32 the next owner id, u32 the next team id
//         the local player's record, then u32 n and the records of the n
//         other players but the neutral one (by id); a player's record:
//           u32 id, u8 attribute, u8 connection kind, 12 bytes cleared, u32
//           team id (-1 none), u32 kills, u8 computer player, f32 scale,
//           string race name, 4 x u32 game values, u32 owner id, 3 x f32
//           colour, u8 cleared, f32 harvested, 11 x f32 the economy
//           values from the resources on, f32 second scale, f32 score
//           value, 2 x u32 score counters, u8 + u8 the attribute word (low
//           byte first), 9 x u64 notice times
//         u32 the next player id
//         string the map's folder below the game's root
//   4   the world grid (CWorldGrid::SaveRecord: the map rectangle, it
//       times 3, the cell map's count and cells, its finished flag)
//   5   the scene block:
//         u32 count, then the saved objects' records (CGameScene::SaveObjects)
//         u32 the scene's tick counter
//         u32 the id of the scene's linked object, 0xFFFFFFFF for none
//         255 id lists; lists 0 and 1 hold the objectives' players out of
//         the game and players that fielded a unit; lists 2 and 3 carry,
//         packed into words (u32 byte length, then the bytes four to a
//         word, the last padded with zeros), this machine's way searches
//         (CWorldGrid::SavePathState) and the orders of the turn about to
//         run (u32 count, each: u16 type, u32 length, its bytes); the
//         others are empty
//         256 x f32 the layers' heights, 256 x u8 the layers' flags
//         u32 the highest map id
//         u32 n, the objectives' n records (CObjective::Save)
//         u8 objectives on, u8 their phase, u8 their counter; u32 their
//         running time (f32), their clean-up timer (f32), the objectives
//         listed; u8 0; u32 the seed of the next object without an id, f32
//         the smallest and the largest spot size; u8 0; f32 the spots'
//         movement
//         for each template of the scene, in its order: u16 project id,
//         u32 template id, u8 0, u32 player count, then per player u32 id
//         and u32 the number of its objects of the template
//         u32 the object id counter
//   6   15 x u32 the effects' settings and 3 x f32 the sun's angles
//   7   6 x u32 the camera (focus x, z, heading, pitch, distance as f32;
//       the pitch again)
//   8   string the music's stream, 9 u8 playing, 10 when playing u32 its
//       position (milliseconds)
//   11  string the campaign's name, string the mission's name
//   12  the computer players' block: u32 records (at most 16), each u32
//       tag, u32 length, its bytes: first the session's record (SESS:
//       what the network game block has no place for), then the computer
//       players' ("AI  ") and any other a program registers
//       (ISavedGamePart); then u32 the CRC-32 of every byte before it
//
// The session's record (SESS):
//   u8 allies win together, u64 the game time of the tick about to run
//   (1/1193182 s), f32 ticks a second, f32 game speed, i32 the id of the
//   player whose fog the grid holds
//   u32 T teams (at most 256), each: u32 id, string name (at most 31), i32
//   leader id, u8 keep, i32 kills, f32 harvested, i32 x 2 score counters,
//   f32 score value
//   per player of the network game block, in its order: string name (at
//   most 31), f32 docked income, 4 x f32 the last economy values, u32 A
//   allies and their A ids
//
// A reader takes nothing on trust: it reads the file whole (at most
// kMaxFileSize bytes), walks every field with every count, id and length
// bounded by what is left and by what the game has, checks the CRC, then
// checks every part against the session and the world (changing nothing),
// and only then applies it. A damaged file is refused whole, with its
// reason.
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
// written inside the computer players' block, under its tag; LoadSection
// reads it from a checking archive (changing nothing) and, once the whole
// file passed, from an applying one.
class ISavedGamePart {
public:
    virtual ~ISavedGamePart() = default;
    virtual uint32_t SavedTag() const = 0;
    virtual void SaveSection(CStateArchive& ar) = 0;
    // False with the reason in why (when given).
    virtual bool LoadSection(CStateArchive& ar, std::string* why) = 0;
};

// The game's own fields of a saved game (6 to 11: the effects, the camera,
// the music, the interface's two strings) and the campaign briefing
// animation of the network game block. Without one, a save writes the
// fields' values of a new game and a load checks and leaves them.
class ISavedGameView {
public:
    virtual ~ISavedGameView() = default;
    virtual void SaveView(CStateArchive& ar) = 0;
    // A checking archive changes nothing; false with the reason.
    virtual bool LoadView(CStateArchive& ar, std::string* why) = 0;
    virtual std::string BriefingAnimation() = 0;
    // A load's steps: the radar from the map box of the saved game's map
    // folder (a folder below the game's root), after the session's records;
    // the saved game's briefing animation (g_SetCampaignBriefingAnimation)
    // last.
    virtual void RestoreMap(const char* mapFolder) = 0;
    virtual void RestoreBriefingAnimation(const char* name) = 0;
    // A saved game that was named could not be loaded (the reason is
    // printed already).
    virtual void LoadFailed() = 0;
};

namespace SavedGame {
constexpr uint32_t kFormat = 1;
constexpr size_t kMaxFileSize = size_t(256) << 20;
// The records of the computer players' block.
constexpr uint32_t kMaxBlockRecords = 16;
constexpr uint32_t kTagSession = SavedGame_Tag("SESS");
// A saved game taken apart (CSavedGameFile): the session, the grid, the
// world's state, the orders of the turn, the game's fields 6 to 11.
constexpr uint32_t kTagNet = SavedGame_Tag("NETG");
constexpr uint32_t kTagGrid = SavedGame_Tag("GRID");
constexpr uint32_t kTagWorld = SavedGame_Tag("WRLD");
constexpr uint32_t kTagOrders = SavedGame_Tag("ORDR");
constexpr uint32_t kTagView = SavedGame_Tag("VIEW");
constexpr uint32_t kTagMapFolder = SavedGame_Tag("MAPF");
constexpr uint32_t kTagAI = SavedGame_Tag("AI  ");
// The longest saved game's name (a plain file name in the "Save" folder).
constexpr int kMaxNameLength = 255;
}  // namespace SavedGame

// A saved game's bytes, walked field by field (CNetGame::ParseSavedGame)
// and taken apart into the sections that the session, the world and the
// parts read: NETG the session's records, GRID the id of the player whose
// fog it is and the grid's record, WRLD the world's state
// (CWorld::SaveState's layout), ORDR the turn's orders, VIEW fields 6 to
// 11, and the parts of the computer players' block under their tags.
class CSavedGameFile {
public:
    struct SSection {
        uint32_t tag;
        std::vector<uint8_t> bytes;
        size_t size;
    };
    const SSection* Find(uint32_t tag) const;
    const uint8_t* Data(const SSection& s) const { return s.bytes.data(); }
    uint32_t GameType() const { return m_gameType; }
    const std::vector<SSection>& Sections() const { return m_sections; }
    const std::vector<uint8_t>& Bytes() const { return m_bytes; }

    // Set by the reader.
    void Clear();
    void SetBytes(std::vector<uint8_t> bytes) { m_bytes = std::move(bytes); }
    void SetGameType(uint32_t type) { m_gameType = type; }
    const std::string& BriefingAnimation() const { return m_briefing; }
    void SetBriefingAnimation(const char* name) { m_briefing = name ? name : ""; }
    // False when a section of the tag is there already.
    bool AddSection(uint32_t tag, std::vector<uint8_t> bytes);

private:
    std::vector<uint8_t> m_bytes;
    std::vector<SSection> m_sections;
    uint32_t m_gameType = 0;
    std::string m_briefing;
};

// What a saved game's first fields tell before a game is started with it.
struct SSavedGameInfo {
    uint32_t gameType = 0;
    CStrBuf mapFile;
    uint64_t gameTime = 0;
};

// True for a name a saved game may have: one plain file name (no folder, no
// "..", no drive), at most SavedGame::kMaxNameLength characters.
bool SavedGame_IsPlainName(const char* name);
