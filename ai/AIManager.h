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
#include <set>
#include <string>
#include <vector>

#include "ai/AILearner.h"
#include "ai/AIMonitor.h"
#include "ai/ComputerPlayer.h"
#include "ai/LearningFiles.h"
#include "netgame/SavedGame.h"
#include "world/WorldRoles.h"

class CWorld;
class CNetGame;
class CStateArchive;
class CCommandInterpreter;
class CE3DScreen;
class CRace;
class CPlayer;

// The seed of the generator of the computer player of the id.
uint32_t AIManager_PlayerSeed(uint32_t seed, int32_t playerId);

class CAIManager : public ISavedGamePart, public IUnitWatcher {
public:
    CAIManager(CWorld* world, CNetGame* net);
    ~CAIManager() override;
    CAIManager(const CAIManager&) = delete;
    CAIManager& operator=(const CAIManager&) = delete;

    // Every computer player goes; the manager is active.
    void ReInitialize();
    // For the map loaded (its name and its folder; empty: none): every
    // computer player starts on it, then "ai.cfg" runs.
    void InitializeCommanders(const char* mapName, const char* mapFolder);
    // The session's game reset: as ReInitialize (every computer player
    // goes, the manager is active); nothing while the session is destroyed.
    void ResetOnGameReset(bool shuttingDown);
    // One tick of every computer player while the manager is active.
    void Tick();
    // A unit left play: every computer player folds what it has not yet
    // folded of the unit's values into its danger grid and forgets it.
    void FlushUnit(int32_t id, float x, float z, float valueLost, float valueDestroyed) override;

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
    // The energy a computer player's production gets every tick from now
    // on, through the session.
    void SetEnergyHelp(int32_t playerId, float help);
    std::string RaceNameOf(int32_t playerId) const;

    // Its part of every saved game ("AI  "): the computer players' block
    // below, so the host's computer players of a loaded game go on as they
    // stood. Both the check and the taking hold it against the map, the
    // content, the saved game's players that computers play and the time it
    // resumes with. Only the host plays computer players: another machine
    // reads the block and leaves it.
    uint32_t SavedTag() const override { return SavedGame::kTagAI; }
    void SaveSection(CStateArchive& ar) override;
    bool LoadSection(CStateArchive& ar, std::string* why) override;

    // ---- the monitor window (AIMonitor.h)
    // AI_StartMonitor: opens the window (again, when it was closed); when it
    // cannot be made, "Can't create AI dialog" on the standard error stream
    // and the console, and the monitor keeps its rows without a window.
    void StartMonitor();
    CAIMonitor* Monitor() const { return m_monitor.get(); }
    // The game's screen: its font draws the monitor.
    void SetScreen(CE3DScreen* screen) { m_screen = screen; }

    // ---- learning matches (AILearner.h)
    // AI_StartLearn and AI_StopLearn.
    void StartLearn();
    void StopLearn();
    CAILearner* Learner() const { return m_learner.get(); }
    // Runs command text through the console's interpreter (nothing without
    // one); whether the interpreter has the command a line begins with.
    void Execute(const char* text);
    bool HasCommand(const char* line) const;
    // Whether the session's cheats are off (false without a session); this
    // host's session takes cheats (units made from nothing) or not.
    bool CheatsOff() const;
    void SetCheats(bool on);
    // Whether the player of the id is this machine's own.
    bool IsLocalPlayer(int32_t playerId) const;

    // ---- saved games: the computer players' block (AIRecords.h)
    // Writes the block of every computer player this machine runs, in the
    // session's player order; false when the archive failed.
    bool SaveRecords(CStateArchive& ar);
    // Reads a block: a checking archive checks it whole (every player a
    // computer player of this game, every record fitting the map and the
    // content) and changes nothing; an applying one, given a block that was
    // checked, makes each player's computer player (where this machine has
    // none) and sets it as it was saved. False with the reason.
    bool LoadRecords(CStateArchive& ar, std::string* why = nullptr);
    // Both passes over the bytes of a block (nothing may follow it).
    bool LoadRecords(const uint8_t* data, size_t size, std::string* why = nullptr);

private:
    // LoadRecords, the records' times counted back from now, their players
    // those of computers (null: the world's players that computers play).
    // Without now (a machine that plays no computer player) the records'
    // players and times are not checked, and nothing is applied.
    bool ReadRecords(CStateArchive& ar, const uint64_t* now, const std::vector<int32_t>* computers,
                     std::string* why, const int32_t* mapRect = nullptr);

public:
    // ---- the learning files
    // The shared folder ("AIVALUES" of the installation) and the statistics
    // file in it.
    std::string ValuesFolder() const;
    std::string StatisticsPath() const;

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

    int32_t m_active = 0;      // AI_Active
    bool m_helpGiven = false;  // ticked while active: the players' energy help may stand
    int32_t m_debug = 0;       // AI_Debug
    int32_t m_fileIndex = 0;   // the difficulty: 0 easy, 1 medium, 2 hard
    uint32_t m_seed = 1;       // the game's seed for the players' generators

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
    CCommandInterpreter* m_interpreter = nullptr;
    std::unique_ptr<CAILearner> m_learner;
    std::unique_ptr<CAIMonitor> m_monitor;
    CE3DScreen* m_screen = nullptr;
    std::string m_mapName, m_mapFolder;
    std::vector<std::unique_ptr<CComputerPlayer>> m_players;
    std::map<int32_t, SAIBase> m_bases;  // by player id
    SAIUnits m_units;
    int32_t m_lastSeenId = -1;
};
