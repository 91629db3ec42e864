// Learning by matches between computer players: which fighting unit types
// win their fights. AI_StartLearn stages matches back to back: the scene is
// cleared, two computer players (ids 2 and 3) each get units of one fighting
// template drawn at random (side 2's a mobile one), bought with the same
// budget and placed in rows in opposite corners of the map; both attack at
// once (their learning-match byte), and the side whose units are all gone
// loses. Each result adds a win to the winner's template and a match to
// both; the statistics file "AIVALUES\UnitsWithAttackStatistics.ai" is then
// written again (sorted by the share of matches won, through a temporary
// file and a rename), and the next match begins. The computer players turn
// these counts into build fitness when they start on a map
// (CComputerPlayer::ReadAttackStatistics).
//
// The learner stages everything through console command text, as a script
// would: AI_AddCommander for the two sides, AI_Create for every unit (with
// the side's owner id as its team), the view and the game speed 20, and
// cheats on while it runs (the session takes units made from nothing only
// then); and it clears the scene between matches. A match lasts at most 200,000,000
// game-time units (168 s of game time), waiting for the units included; one
// that runs out counts for neither side. AI_StopLearn stops at once (the
// match under way counts for neither side): the scene is cleared, the computer players 2 and 3
// go, the game speed is 1 again and cheats are off again (when learning
// turned them on).
//
// Learning runs in a game of this machine alone (the scene is cleared here
// only); it is for developers and modders, not for a network game.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/Random.h"

class CAIManager;
class CUnitTemplate;

class CAILearner {
public:
    static constexpr int32_t kBudget = 6000;           // what each side's units cost together
    static constexpr uint64_t kMatchTime = 200000000;  // the longest match, in game-time units
    static constexpr int32_t kMaxUnits = 50;           // the most units of one side
    static constexpr int32_t kFirstUnitId = 10;        // the map ids of a match's units count up from here

    explicit CAILearner(CAIManager& manager);

    // AI_StartLearn: reads the statistics and starts the first match; false
    // (with a console line) when learning runs already or no match can be
    // staged.
    bool Start();
    // AI_StopLearn: learning stops at once; the match under way counts for
    // neither side.
    void Stop();
    // Once a logic tick (the manager's tick).
    void Tick();

    bool Running() const { return m_running; }
    int32_t Matches() const { return m_matches; }
    // The templates of the match under way (null: none).
    const CUnitTemplate* Side(int side) const {
        return side == 2 ? m_side[0] : side == 3 ? m_side[1] : nullptr;
    }

    // The counts of every template that takes part, in the order of the
    // statistics file.
    struct SRecord {
        const CUnitTemplate* tmpl = nullptr;
        int32_t wins = 0;
        int32_t matches = 0;
    };
    const std::vector<SRecord>& Statistics() const { return m_records; }

    // How the learner's command text runs (the manager's interpreter; a
    // test may take the lines instead).
    std::function<void(const std::string& line)> m_execute;
    // The budget of each side; the longest match.
    int32_t m_budget = kBudget;
    uint64_t m_matchTime = kMatchTime;

private:
    // The two templates of a match (side 2 mobile, side 3 another); false
    // when the candidates do not give a pair.
    bool Pick();
    // The view, the speed and each side's units; false without two sides.
    bool SetUp();
    // The end of a match: side 2 or 3 won, 0 both fell, -1 no result.
    void End(int winner);
    void NextMatch();
    void Finish();
    // Whether the units of a match are still on their way.
    bool WaitingForUnits();
    int32_t UnitCount(int32_t playerId) const;
    void ReadStatistics();
    void WriteStatistics();
    void Execute(const std::string& line);
    void Print(const std::string& line);

    CAIManager& m_manager;
    CRandomStream m_random;
    bool m_running = false;
    bool m_setUp = false;  // a match's units were asked for and have not all come
    bool m_cheatsTurnedOn = false;
    bool m_writeFailed = false;  // a statistics file that could not be written was said
    uint64_t m_matchStart = 0;
    int32_t m_matches = 0;  // matches of this run with a result or run out
    const CUnitTemplate* m_side[2] = {nullptr, nullptr};
    std::vector<SRecord> m_records;
};
