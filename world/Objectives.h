// Mission objectives: what wins and what loses a mission.
//
// A mission's scripts make a table of objectives (m_SetConditions, then one
// m_Condition per record): conditions on a unit's place or life, a timer, a
// count of objects of a template, the resources of the mission's players or
// the survival of a side. The scene keeps the table and evaluates it once
// every tick (CGameScene::Tick, after the objects stepped), together with
// the end of players who lost all their units and, in a skirmish or a
// network game, the end of computer players left without a base.
//
// What is evaluated is part of the simulation: every machine runs the same
// evaluation in the same tick and reads only what every machine has alike
// (the objects, the players, the game time), so the records, the evaluation
// turn and the players' ends are the same bits everywhere; they are part of
// the world's state (its saved game and its sync CRC). What the outcome
// means for the player at this machine (the won and lost flags of the scene
// and the win and loss events of the interface) is worked out from that
// state for the local player alone, and stays out of it.
//
// The evaluation turns: every tick the neutral objectives (group 3) are
// checked and a counter steps; every sixth tick the phase turns, and a turn
// into phase 0 checks the win objectives (group 1: all must hold), a turn
// into phase 1 the loss objectives (group 2: any one loses). On either turn
// the local player with no units left loses, and in a skirmish or network
// game the local player wins once every opponent (a player not allied for
// victory, CPlayer::IsVictoryAlly) that played has no units left.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "core/StrBuf.h"
#include "world/ObjectLink.h"

class CGameScene;
class CPlayer;
class CStateArchive;
class CTessarakObjectTemplate;

class CObjective {
public:
    // What holding it means (m_Condition's first word).
    enum : int32_t { kGroupNone = 0, kGroupWin = 1, kGroupLose = 2, kGroupNeutral = 3 };
    // The condition (m_Condition's third and fifth words).
    enum : int32_t {
        kDisabled = 0,
        kIsAt = 1,         // a unit within 2.0 of the point (x, z)
        kIsInArea = 2,     // a unit strictly inside x1 < x < x2, z1 < z < z2
        kIsDead = 3,       // every unit of the map id gone
        kAliveAtTime = 4,  // the deadline passed with a unit still alive
        kTimeIs = 5,       // the deadline passed
        kObjectCount = 6,  // at least count live objects of the template
        kResources = 7,    // a mission player's resources above the amount
        kSideDead = 8,     // no unit of the side (owner id) left
    };
    static constexpr int kMaxUnits = 256;       // objects one record may name
    static constexpr uint16_t kMaxText = 1024;  // characters of its text

    CObjective() = default;
    CObjective(const CObjective&) = delete;
    CObjective& operator=(const CObjective&) = delete;

    // The test of the condition at game time now; the result is kept in the
    // finished flag (always true while override is set: the game's
    // objectives cheat).
    bool Check(const CGameScene& scene, uint64_t now, bool override);
    // "(Finished) ..." or "(Not Finished) ..." with the condition's text.
    void GetText(CStrBuf& out, uint64_t now) const;
    // The record in a saved state (see Objectives.cpp for its layout). Load
    // checks every count, id pair and length, and takes the record only from
    // an applying archive (its units by id, from the scene's id table);
    // false when it does not fit.
    void Save(CStateArchive& ar) const;
    bool Load(CStateArchive& ar, const CGameScene& scene);
    // The name of the first unit the record names (its template's), or null.
    const char* UnitName() const;

    uint8_t m_active = 1;
    int32_t m_group = kGroupNone;
    int32_t m_kind = kDisabled;
    float m_area[4] = {0.0f, 0.0f, 0.0f, 0.0f};  // the point (x, z) or the area x1, z1, x2, z2
    // The units of the map id, cleared one by one as they leave play.
    std::vector<std::unique_ptr<CObjectLink>> m_units;
    int64_t m_deadline = 0;  // game time (1/1193182 s)
    CTessarakObjectTemplate* m_template = nullptr;
    int32_t m_count = 0;
    int32_t m_resources = 0;
    int32_t m_side = 0;  // an owner id
    uint8_t m_finished = 0;
    CStrBuf m_text;
    // Set once the objective first held.
    uint8_t m_announced = 0;
    // The name of its units' template, kept for the text once they are gone.
    CStrBuf m_unitName;
};

class CMissionObjectives {
public:
    // The events of the local player's win and loss (IWorldView).
    enum : int { kEventWin = 13, kEventLoss = 14 };

    explicit CMissionObjectives(CGameScene& scene);
    CMissionObjectives(const CMissionObjectives&) = delete;
    CMissionObjectives& operator=(const CMissionObjectives&) = delete;

    // ---- the mission's scripts
    // m_SetConditions(n): a table of n empty records (0: none, negative
    // refused); nothing listed yet, the scene's won and lost flags cleared.
    bool SetTable(int32_t size);
    // m_Condition(result, text, kind, ...): fills the next record from the
    // arguments' texts; the map's errors are said on the console. False when
    // the call filled nothing.
    bool Condition(const std::vector<const char*>& args);
    // m_ListConditions: the table on the console.
    void PrintList() const;

    // ---- the game
    // Once every tick of the scene (not in the map editor).
    void Evaluate();
    // A new game: no table, no times, every player's end forgotten.
    void Clear();
    // What the game sets for the evaluation: its type (0 single-player, 1
    // skirmish, 2 network), the map editor, the objectives cheat. The same
    // on every machine of a game.
    void SetGameType(int32_t type) { m_gameType = type; }
    void SetEditorMode(bool editing) { m_editor = editing ? 1 : 0; }
    void SetOverride(bool on) { m_override = on ? 1 : 0; }
    int32_t GameType() const { return m_gameType; }

    // The evaluation's state in a saved state: the table, the turn, the
    // times, the players that are out and those that fielded a unit. Read whole before it is taken.
    void Transfer(CStateArchive& ar);

    // The units that count for a player: alive, not leaving play, not a
    // scaffold, of a template that may be targeted.
    int32_t CountUnits(const CPlayer* player) const;

    const std::vector<std::unique_ptr<CObjective>>& Records() const { return m_records; }
    int32_t Listed() const { return m_listed; }
    int32_t Phase() const { return m_phase; }
    float RunningTime() const { return m_runningTime; }

    uint8_t m_enabled = 1;

private:
    void CleanUpComputerPlayers();
    // Notes the players that have a unit now (their start units come
    // through the session in the game's first frames: a player is out, or
    // loses, only once it fielded a unit).
    void NoteFieldedPlayers();
    bool Fielded(const CPlayer* player) const;
    void MarkEndedPlayers();
    void JudgeLocalPlayer(bool winTurn);
    void Announce(CObjective& o);
    CPlayer* Local() const;

    CGameScene& m_scene;
    std::vector<std::unique_ptr<CObjective>> m_records;
    int32_t m_listed = 0;
    int32_t m_counter = 0;
    int32_t m_phase = 0;
    float m_runningTime = 0.0f;   // game seconds since the game loop started
    float m_cleanUpTimer = 0.0f;  // since the last clean-up of computer players
    int32_t m_gameType = 0;
    uint8_t m_editor = 0;
    uint8_t m_override = 0;
    std::vector<int32_t> m_fielded;  // ids of the players that fielded a unit, ascending
};
