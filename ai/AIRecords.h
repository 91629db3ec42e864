// The computer players' records in a saved game, its section "AI  "
// (little-endian, unpadded; written and read by one transfer function each,
// so the two never disagree):
//
//   the manager's block
//     u32   block version (1)
//     u32   the seed of the players' generators
//     i32   the highest object id handed to the players
//     u32   bases, each: i32 player id, f32 x, z, radius, spread (by id)
//     u32   records, in the session's player order, each: i32 player id,
//           then the player's record
//   a player's record
//     u32   file index (the difficulty)
//     u8    learning match, u8 harvest possible
//     u64   game time since the last attack, the last fading of the danger
//           grid, the last warp move, the last build decision
//     the danger grid: u32 cell count, rows, columns, scale (1); the map
//           rectangle (left, top, right, bottom) and the bounds (the same)
//           as u32 each; then the cells, one signed byte each, row by row
//     and what goes on from there as it would have gone (the groups, the
//     generator, the parameters' rolled values: a loaded game plays on as
//     the saved one did):
//     u32   the generator's state; i32 the phase (0 to 10); u64 since start
//     u32   parameters (22), each: f32 default, spread, value
//     i32 x 4  the groups of each role
//     u32   new units, each i32 id
//     u32   groups, each: i32 role, state, size; u8 full, u8 attack flag;
//           f32 attack distance; u32 members, each i32 id; i32 leader,
//           target, guarded, target player, attack step, spy step; f32 spy
//           x, z, gather x, z; u64 since its update, its retarget, its spy
//           start
//     u32   templates built, each: name (u32 length, bytes), i32 count
//     u32   sites, each: i32 builder, template name, f32 x, z
//     u32   helpers, each i32 id
//     u32   folded units, each: i32 id, f32 lost, f32 destroyed (by id)
//
// A block is read twice: first checked whole (every count against the bytes
// left, every player against the session, the grid against the map, every
// number in its range, every template by name) with nothing changed, then
// applied. CAIManager::SaveRecords and LoadRecords (AIManager.h) read and
// write it; its SaveSection and LoadSection are the saved game's side.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class CStateArchive;

struct SAIGridRecord {
    uint32_t count = 0, rows = 0, columns = 0, scale = 1;
    int32_t rect[4] = {0, 0, 0, 0};    // left, top, right, bottom
    int32_t bounds[4] = {0, 0, 0, 0};  // the same
    std::vector<int8_t> cells;
};

struct SAIGroupRecord {
    int32_t role = 0, state = 0, size = 0;
    uint8_t full = 0, attackFlag = 0;
    float attackDistance = 0.0f;
    std::vector<int32_t> members;
    int32_t leader = -1, target = -1, guarded = -1, targetPlayer = -1, attackStep = 0, spyStep = 0;
    float spyX = 0.0f, spyZ = 0.0f, gatherX = 0.0f, gatherZ = 0.0f;
    uint64_t sinceUpdate = 0, sinceRetarget = 0, sinceSpyStart = 0;
};

struct SAIPlayerRecord {
    uint32_t fileIndex = 0;
    uint8_t learningMatch = 0, harvestPossible = 1;
    uint64_t sinceAttack = 0, sinceDecay = 0, sinceWarp = 0, sinceBuild = 0;
    SAIGridRecord grid;
    uint32_t random = 0;
    int32_t phase = 0;
    uint64_t sinceStart = 0;
    struct SParameter {
        float def = 0.0f, spread = 0.0f, value = 0.0f;
    };
    std::vector<SParameter> parameters;
    int32_t groupCount[4] = {0, 0, 0, 0};
    std::vector<int32_t> newUnits;
    std::vector<SAIGroupRecord> groups;
    struct SBuilt {
        std::string name;
        int32_t count = 0;
    };
    std::vector<SBuilt> built;
    struct SSite {
        int32_t builder = -1;
        std::string name;
        float x = 0.0f, z = 0.0f;
    };
    std::vector<SSite> sites;
    std::vector<int32_t> helpers;
    struct SFolded {
        int32_t id = -1;
        float lost = 0.0f, destroyed = 0.0f;
    };
    std::vector<SFolded> folded;
};

// Writes the record, or reads it into r in either reading mode (a checking
// archive changes nothing else); false when the archive failed.
bool AIRecord_Transfer(CStateArchive& ar, SAIPlayerRecord& r);
// Whether a record read holds together for a map of the rectangle at the
// game time now: the grid is the map's, every time difference at most now,
// every number in its range. False with the reason.
bool AIRecord_Check(const SAIPlayerRecord& r, const int32_t rect[4], uint64_t now, std::string* why);
