// The computer-player manager: owns the computer players of a game and
// steps them once per executed logic tick, before the world's own turn. It
// runs on the host only: the players read the world through its query
// (CWorld::Query) and give orders through its order interface
// (CWorld::Commands), which travel to every machine as any player's do; a
// computer player's CPlayer is registered with the session by the host
// (CNetGame::AddComputerPlayer) and so exists on every machine.
//
// Each tick it takes the world's units once, hands every unit that came
// into play (a higher object id than any it saw) to every computer player,
// and steps them in the order they were added. Their generators are seeded
// from the manager's seed (set from the game) and their player ids.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ai/ComputerPlayer.h"

class CWorld;
class CNetGame;
class CCommandInterpreter;
class CRace;
class CPlayer;

class CAIManager {
public:
    CAIManager(CWorld* world, CNetGame* net);
    ~CAIManager();
    CAIManager(const CAIManager&) = delete;
    CAIManager& operator=(const CAIManager&) = delete;

    // Every computer player goes; the manager is active.
    void ReInitialize();
    // For the map loaded (its name and its folder; empty: none): every
    // computer player starts on it, then "ai.cfg" runs.
    void InitializeCommanders(const char* mapName, const char* mapFolder);
    // The session's game reset (nothing while the game shuts down).
    void ResetOnGameReset(bool shuttingDown);
    // One tick of every computer player while the manager is active.
    void Tick();

    // A computer player for a new player of the id (-1: the session's next
    // free id) and race (null or "": the first race nobody else plays):
    // hosting only. Null, with a console line, when the id is taken or the
    // race unknown or this machine does not host.
    CComputerPlayer* AddCommander(int32_t playerId, const char* race);
    // The computer player of the id and its player go; false when none.
    bool RemoveCommander(int32_t playerId);
    CComputerPlayer* Find(int32_t playerId) const;
    CComputerPlayer* FindByName(const char* name) const;
    void ReadInitParameters();
    void AttackWithCommander(int32_t playerId);
    // Where the camera should look to see the player's base; false for a
    // player without one.
    bool BaseCentre(int32_t playerId, float* x, float* z) const;

    // ---- what the computer players share
    // Every player's base from its structures (players without structures
    // keep the one they had).
    void UpdateBases(const SAIUnits& units);
    const SAIBase* BaseOf(int32_t playerId) const;
    float SpentLastTick(int32_t playerId) const;
    // Resources added to a computer player's, through the session.
    void GiveResources(int32_t playerId, float amount);
    std::string RaceNameOf(int32_t playerId) const;

    // The console's AI_ rows, with the manager as their context.
    void RegisterCommands(CCommandInterpreter* ip);

    const std::string& MapName() const { return m_mapName; }
    const std::string& MapFolder() const { return m_mapFolder; }
    int32_t FileIndex() const { return m_fileIndex; }
    bool Debug() const { return m_debug != 0; }
    size_t Count() const { return m_players.size(); }
    const std::vector<std::unique_ptr<CComputerPlayer>>& Players() const { return m_players; }
    CWorld* World() const { return m_world; }
    CNetGame* Net() const { return m_net; }

    int32_t m_active = 0;     // AI_Active
    int32_t m_debug = 0;      // AI_Debug
    int32_t m_fileIndex = 0;  // the difficulty: 0 easy, 1 medium, 2 hard
    uint32_t m_seed = 1;      // the game's seed for the players' generators

private:
    // Whether the player of the id is one this machine runs a computer
    // player for (a reset of the session deletes it, and a later player may
    // take its id).
    bool PlaysHere(int32_t playerId) const;
    // Computer players whose player is gone (or is no longer theirs) go.
    void DropLostPlayers();
    // The race of the name (null when there is none), or, for "", the first
    // race that no player but self plays.
    const CRace* ChooseRace(const char* name, const CPlayer* self) const;

    CWorld* m_world;
    CNetGame* m_net;
    std::string m_mapName, m_mapFolder;
    std::vector<std::unique_ptr<CComputerPlayer>> m_players;
    std::map<int32_t, SAIBase> m_bases;  // by player id
    SAIUnits m_units;
    int32_t m_lastSeenId = -1;
};
