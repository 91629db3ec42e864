// A writer of saved games (the layout in netgame/SavedGame.h) from a plain
// description, byte by byte and apart from the game's own writer: the
// fixtures of the saved-game tests (a file the reader must take, and the
// same file with one field made impossible) and a modder's small saves.
//
// It writes a game with no objects and no object templates: the players,
// the map's rectangle and cell map, the objectives' state, the view and
// music fields, the session's record and, when given, the computer
// players' block and other parts as opaque records.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

struct SSavedGameFixture {
    struct SPlayer {
        int32_t id = 1;
        int32_t ownerId = 1;
        std::string name = "Player";
        std::string race;
        float colour[3] = {255.0f, 255.0f, 255.0f};
        uint8_t computer = 0;
        int32_t team = -1;
        float resources = 0.0f;
        std::vector<int32_t> allies;
    };
    uint32_t gameType = 1;
    std::string mapFile = "Skerry";
    uint8_t fogOfWar = 1;
    int32_t maxPlayers = 8, maxUnits = 200, startResources = 3000;
    std::string briefingAnimation;
    int32_t nextOwnerId = 10, nextPlayerId = 10;
    uint32_t nextTeamId = 1;
    // The local player first.
    std::vector<SPlayer> players;
    // The map's rectangle: left, top, right, bottom.
    int32_t rect[4] = {-8, 8, 8, -8};
    uint32_t frameCounter = 0;
    int32_t objectIdCounter = 0;
    uint64_t gameTime = 0;
    float tickRate = 15.0f, gameSpeed = 1.0f;
    std::string music;
    uint32_t musicPosition = 0;
    std::string campaign, mission;
    // Records of the computer players' block after the session's: tag, bytes.
    std::vector<std::pair<uint32_t, std::vector<uint8_t>>> parts;
};

// The file's bytes. Where a field begins is noted by name in offsets when
// given ("players", "grid cells", "lists", "objectives", "block records",
// "session teams", "check sum"): a test makes that field impossible.
std::vector<uint8_t> SavedGameFixture_Write(const SSavedGameFixture& fixture,
                                            std::vector<std::pair<std::string, size_t>>* offsets = nullptr);
// The check sum of a file made to fit its bytes again (after a change).
void SavedGameFixture_Reseal(std::vector<uint8_t>& bytes);
