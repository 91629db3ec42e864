// Players, teams and races.
//
// Every side of a game is a CPlayer: the local player, each remote human,
// each computer player and one neutral player that owns the map's unowned
// objects. Players may belong to a CTeam and ally with each other; each has
// a CRace that names its unit set. All three live in the lists of one
// CPlayerList, which the network game keeps for the session and the world
// reaches through its host. Game objects store their owner's owner id; the
// player list turns ids back into players.
//
// A player keeps the objects it owns in eleven category groups (group 0 holds
// all of them, group 1 its structures; the unit template chooses the others)
// and, through every object template, one group per template.
//
// A player's settings change only through game messages: the setters send a
// request to the server (through the host, behind the player's earlier
// messages) and change nothing here; every machine applies the change when
// the server's copy arrives. The records that travel for a player (its
// information record, its alliance list, its sync record) are written and
// read here, each reader checking the whole record before it takes anything.
#pragma once

#include <cstdint>
#include <vector>

#include "core/StrBuf.h"
#include "nwe/Message.h"
#include "world/ObjectLink.h"

class CPlayerList;
class CTeam;
class CRace;
class CTessarakObjectTemplate;
class CUnitVisual;
class CE3DMaterial;
class CExplosionType;
class CWorld;
struct SWorldSample;
class CPathCosts;
class CStateArchive;
class NWEPeer;

class CPlayer {
public:
    static constexpr int kCategoryCount = 11;
    enum : int { kCategoryAll = 0, kCategoryStructures = 1 };

    // A new player joins the list (ordered by id; -1 until the server
    // assigns one) and every template of the world.
    explicit CPlayer(CPlayerList* list);
    // Hands every object it owns to the neutral player, leaves its team, its
    // allies and the templates, and leaves the list.
    ~CPlayer();
    CPlayer(const CPlayer&) = delete;
    CPlayer& operator=(const CPlayer&) = delete;

    // Moves the player in the list to its place by id (after players of an
    // equal id).
    void InsertSorted();
    void SetId(int32_t id);
    // Joins team (null: none).
    void SetTeamRecord(CTeam* team);
    // True for itself, the neutral player, a player of the same team and a
    // player it has allied with.
    bool IsAlliedWith(const CPlayer* other) const;
    // The same for the end of a game (who wins together): the players it
    // allied with count only while the game plays with allied victory
    // (CPlayerList::m_alliedVictory); a team always wins together.
    bool IsVictoryAlly(const CPlayer* other) const;
    void AddAlly(CPlayer* ally);
    void RemoveAlly(CPlayer* ally);
    bool IsNeutral() const;
    bool IsLocal() const;
    // The map's objects placed for this player's owner id while no player
    // had it (they stayed unowned or the neutral player's) come to this
    // player. Other players' objects are never taken.
    void AttachOwnedObjects();
    // The connection the player plays through on the server (null: none);
    // the only way m_connection is written, so the connection's players are
    // always those that name it.
    void SetConnectionRecord(NWEPeer* connection) { m_connection = connection; }

    // ---- requests (a message to the server; nothing changes here)
    void SetName(const char* name);
    void SetTeam(const CTeam* team);  // null: no team (-1 on the wire)
    void SetRace(const CRace* race);  // null: none
    void SetColor(float r, float g, float b);
    void SetConnection(uint8_t kind);
    void RequestNextColor();

    // ---- records
    // Information record: u32 id, u32 team id (-1 none), u32 race id (-1
    // none), 3 x f32 colour, u8 attribute, u16 attribute word, name with its
    // zero, u32 owner id (32 bytes and the name).
    void WriteInfo(CStateArchive& ar) const;
    // Reads the record after its id (the caller read the id to find the
    // player). Nothing is taken unless the whole record reads, and nothing
    // at all from a checking archive; the team is taken only while the
    // interface shows its screens (the lobby).
    bool ReadInfo(CStateArchive& ar);
    // Alliance list: u32 id, u32 count, the allies' ids (u32 each).
    void WriteAllianceList(CStateArchive& ar) const;
    // Reads a list after its id; an ally that does not exist is skipped.
    bool ReadAllianceList(CStateArchive& ar);
    // Sync record: u32 id, name with its zero, f32 scale, 4 x i32 game
    // values, 14 x f32 economy values (resources, energy produced and
    // consumed and their smoothed values, storage and last tick's, resources
    // gained and spent, gain and spend rates, energy ratio, accelerator,
    // income), f32 second scale, f32 score value, i32 score counters 1 and 2.
    void WriteSyncInfo(CStateArchive& ar) const;
    // Reads a sync record after its id: marks the player synced and takes
    // each value that differs; true when something differed.
    bool ReadSyncInfo(CStateArchive& ar, bool* changed);
    // The nearest integer to (c1 x 116 + c2 x 148 + v x 1.5) x 11.521342.
    int32_t GetScore() const;
    // Clears the game values, the economy and score counters; the scale
    // factors become 1.0.
    void ResetCounters();
    // Back to a player of a fresh lobby: counters, no team, race "Humans",
    // owner id 1.
    void Reset();
    // Queues a sample of an event (its race's announcer) on the game's voice
    // queue at full volume, as a voice of that kind (14 goes before all
    // others); nothing without a sample.
    void PlayEventSound(SWorldSample* sample, int kind);
    // Orders players by id (for sorting alliance lists and player lists).
    static bool CompareById(const CPlayer* a, const CPlayer* b) { return a->m_id < b->m_id; }

    static constexpr int kMaxNameLength = 31;
    static constexpr int kEconomyValues = 15;

    CPlayerList* m_list;
    int32_t m_id = -1;
    int32_t m_ownerId = 1;  // what owned objects store
    CStrBuf m_name = "Player";
    CStrBuf m_raceName = "Humans";
    CRace* m_race = nullptr;
    CTeam* m_team = nullptr;
    float m_colour[3] = {0.0f, 0.0f, 0.0f};  // red, green, blue, 0 to 255
    uint8_t m_synced = 1;
    uint8_t m_markedForRemoval = 0;  // the network game deletes it at the next frame
    uint8_t m_outOfGame = 0;
    // A computer player plays it: the same on every machine (the information
    // record's attribute bit kAttributeComputer carries it), so every
    // machine's units of it scan for targets alike.
    uint8_t m_computer = 0;
    // This machine runs its computer player (the host): its units' ways are
    // searched here and travel to the others as any player's do.
    uint8_t m_computerHere = 0;
    // A computer player's extra costs of the map's squares for the ways of
    // its units (its area grid; null for none). The computer player sets it;
    // every machine runs the same computer players, so every machine's
    // searches for its units read the same costs. Nothing about it travels
    // in an order message.
    const CPathCosts* m_pathCosts = nullptr;
    // Share of the energy demand that production meets (1.0 when met): the
    // player's power level.
    float m_energyRatio = 1.0f;
    float m_resources = 10000.0f;
    // ---- the economy of the logic tick: totals of this tick (the scene's
    // pre-pass clears them), their smoothed values, rates per second
    float m_energyProduced = 0.0f;
    float m_energyConsumed = 0.0f;
    float m_energyProducedSmooth = 0.0f;
    float m_energyConsumedSmooth = 0.0f;
    float m_storage = 0.0f;      // storage capacity this tick: the stock's limit
    float m_storageLast = 0.0f;  // last tick's
    float m_resourcesGained = 0.0f;
    float m_resourcesSpent = 0.0f;
    float m_gainRate = 0.0f;
    float m_spendRate = 0.0f;
    // Production is raised by factor^0.7 while the factor of the owner's
    // energy accelerators is above 1.0.
    float m_energyAccelerator = 1.0f;
    // Energy added to the production of every tick: what a computer
    // player's cheat gives toward its energy deficit (set by the host's
    // GIVERESOURCESTOALL in its 12-byte form).
    float m_energyHelp = 0.0f;
    float m_incomeTotal = 0.0f;   // every resource the player has received
    float m_harvested = 0.0f;     // what its harvesters have unloaded
    float m_dockedIncome = 0.0f;  // what its docked units have mined (statistics)
    // What the view shows of the player (frame-step timers, not simulated):
    // the notice timer and flag, the combat mark and its timer.
    float m_noticeTimer = 0.0f;
    uint8_t m_notice = 0;
    float m_combatTimer = 0.0f;
    uint8_t m_combatMark = 0;
    int32_t m_kills = 0;
    // Game times before which an attack notice of each kind stays silent.
    uint64_t m_timers[9] = {};
    CObjectGroup m_categories[kCategoryCount];
    std::vector<CPlayer*> m_allies;  // in the order they were made

    // ---- the network game's part
    // The connection the player plays through on the server (none for a
    // computer player, and on every other machine). The connection keeps
    // itself; the network game clears this when it goes. Written only by
    // SetConnectionRecord.
    NWEPeer* m_connection = nullptr;
    // Keeps this player's messages in order (passed with every one it sends).
    NWEList m_sendSlot;
    // The attribute byte of the information record; its bit
    // kAttributeComputer is the computer flag, the others are carried
    // unchanged.
    enum : uint8_t { kAttributeComputer = 0x01 };
    uint8_t m_attributeByte = 0;
    uint16_t m_attributeWord = 0;
    uint8_t m_connectionKind = 2;  // the player's connection class
    float m_scale = 1.0f;
    float m_scale2 = 1.0f;
    int32_t m_gameValues[4] = {0, 0, 0, 0};
    int32_t m_scoreCounters[2] = {0, 0};
    float m_scoreValue = 0.0f;
    float m_latency = 0.0f;  // seconds, as the server measures it
    // Real seconds the host has been waiting for this player's frames (0
    // while it keeps up); what the game view shows, never stepped or saved.
    float m_waitTime = 0.0f;
    float m_load = 0.0f;  // the connection's queued data over its rate
    // The colour of the server's colour list that the player holds (the
    // network game's record), or none.
    void* m_colorRecord = nullptr;
};

class CTeam {
public:
    CTeam(CPlayerList* list, CPlayer* leader, const char* name);
    ~CTeam();  // every member leaves the team
    CTeam(const CTeam&) = delete;
    CTeam& operator=(const CTeam&) = delete;

    CPlayerList* m_list;
    uint32_t m_id;
    CStrBuf m_name;
    CPlayer* m_leader;
    int32_t m_leaderId = -1;
    // A kept team is not deleted when its leader leaves.
    uint8_t m_keep = 0;
    int32_t m_kills = 0;
    float m_harvested = 0.0f;  // what the members' harvesters have unloaded
    int32_t m_scoreCounters[2] = {0, 0};
    float m_scoreValue = 0.0f;
    std::vector<CPlayer*> m_members;  // newest first

    // The player score rule with the factor 10.0.
    int32_t GetScore() const;
};

class CRace {
public:
    explicit CRace(CPlayerList* list, const char* name = "");
    ~CRace();
    CRace(const CRace&) = delete;
    CRace& operator=(const CRace&) = delete;

    CPlayerList* m_list;
    uint32_t m_id;
    CStrBuf m_name;
    // Set: players of this race (the spectators) are never counted in the
    // win and loss evaluation.
    uint8_t m_watching = 0;
    // The race's key building: losing it or seeing it attacked raises the
    // owner's notices.
    CTessarakObjectTemplate* m_keyTemplate = nullptr;

    // What the race's node of the unit file sets (a key that is missing
    // leaves its value). The build effects: 1 wire lightning, 2 intestine
    // blob, 3 ice scale. The explosion sizes: mini, small, medium, big, huge.
    enum { kAnnouncerCount = 12 };
    static const char* const kAnnouncerEvents[kAnnouncerCount];
    CUnitVisual* m_node = nullptr;
    CTessarakObjectTemplate* m_startUnit = nullptr;
    // The further start units (StartUnit given more than once): placed
    // around the start unit, in the order written.
    std::vector<CTessarakObjectTemplate*> m_moreStartUnits;
    uint8_t m_hidden = 0;
    CStrBuf m_debrisVisualName;
    CE3DMaterial* m_debrisMaterial = nullptr;
    CTessarakObjectTemplate* m_debrisThrowObject = nullptr;
    CTessarakObjectTemplate* m_antiWarpObject = nullptr;
    CTessarakObjectTemplate* m_cableObject = nullptr;
    CTessarakObjectTemplate* m_laserFenceObject = nullptr;
    int32_t m_buildEffect = 0;
    CExplosionType* m_explosions[5] = {};
    CExplosionType* m_constructionExplosion = nullptr;
    std::vector<CTessarakObjectTemplate*> m_autoExplosionObjects;
    std::vector<SWorldSample*> m_autoExplosionSounds;  // owned
    SWorldSample* m_announcer[kAnnouncerCount] = {};   // owned: BaseUnderAttack ... UnitUnderAttack
    // Frees the race's own sounds.
    void FreeSounds();
};

class CPlayerList {
public:
    // Makes the neutral player (id 0), the local player (id 1), the watching
    // race and the default race.
    CPlayerList();
    ~CPlayerList();
    CPlayerList(const CPlayerList&) = delete;
    CPlayerList& operator=(const CPlayerList&) = delete;

    CPlayer* FindPlayerById(int32_t id) const;
    CPlayer* FindPlayerByOwnerId(int32_t ownerId) const;
    // By name, ignoring case; null when none.
    CPlayer* FindPlayerByName(const char* name) const;
    CTeam* FindTeamByName(const char* name) const;
    // By name, ignoring case; null when none.
    CRace* FindRace(const char* name) const;
    CRace* FindRaceById(uint32_t id) const;
    CTeam* FindTeamById(uint32_t id) const;
    // The head of the race list (the newest): what a template of an unknown
    // race gets.
    CRace* GetFirstRace() const;
    // Every player's race from its race name (without regard to case); a
    // name that names no race gives the default race.
    void ResolvePlayerRaces();

    // The world whose templates and objects the players own (CWorld::SetPlayers
    // sets it); null without one. The races' sounds, loaded through the
    // world's sound role, go back to it when the list leaves it.
    CWorld* World() const { return m_world; }
    void SetWorld(CWorld* world);

    std::vector<CPlayer*> m_players;  // by id, ascending
    std::vector<CTeam*> m_teams;      // newest first
    std::vector<CRace*> m_races;      // newest first
    CPlayer* m_neutral = nullptr;
    CPlayer* m_local = nullptr;
    CRace* m_watchingRace = nullptr;
    CRace* m_defaultRace = nullptr;
    uint32_t m_nextTeamId = 0;
    uint32_t m_nextRaceId = 0;
    // Every object counts as the local player's for what the view shows (a
    // spectator or a replay).
    uint8_t m_revealAll = 0;
    // Allies win together (the current description's allied victory, which
    // the session keeps here).
    uint8_t m_alliedVictory = 1;
    uint8_t m_deleting = 0;

private:
    CWorld* m_world = nullptr;
};
