// Mission objectives in scripted headless games on the demo units: each kind
// of condition wins or loses the game at the turn its evaluation reaches, a
// player who lost every unit is out, allies win together, a lone skirmish
// is not won by nobody's death, computer players left without a base are
// cleaned up after five minutes, and the table's texts and its errors read
// as the map's author sees them.
#include "world/Objectives.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/UnitWorld.h"
#include "world/GameScene.h"
#include "world/Player.h"
#include "world/StateArchive.h"
#include "world/Unit.h"

namespace {

constexpr int kWin = CMissionObjectives::kEventWin;
constexpr int kLoss = CMissionObjectives::kEventLoss;

// A game on the demo units: the local player (Granite) with its
// headquarters (map id 100) and a tank (101), red (Coral, owner id 2) with
// a tank (200), blue (owner id 3) with a tank (300).
class CMission {
public:
    explicit CMission(int32_t gameType = 0) {
        std::string error;
        ok = w.LoadDemoTemplates(error);
        EXPECT_TRUE(ok) << error;
        local = w.players->m_local;
        local->m_name = "Local";
        local->m_race = w.players->FindRace("Granite");
        w.red->m_name = "Red";
        w.red->m_ownerId = 2;
        w.blue->m_name = "Blue";
        w.blue->m_ownerId = 3;
        if (!ok) return;
        hq = Place("Granite_Headquarters", -30, -30, local, 100);
        tank = Place("Granite_LightTank", -20, -20, local, 101);
        enemy = Place("Coral_LightTank", 20, 20, w.red, 200);
        other = Place("Coral_LightTank", 30, -30, w.blue, 300);
        Objectives().SetGameType(gameType);
    }

    CUnit* Place(const char* name, float x, float z, CPlayer* owner, int32_t mapId) {
        CUnit* u = w.Spawn(name, x, z, owner);
        if (u) u->m_mapId = mapId;
        return u;
    }
    CMissionObjectives& Objectives() { return w.scene->Objectives(); }
    bool Condition(std::vector<const char*> args) { return Objectives().Condition(args); }
    // Ticks, the clock going on as the game's does.
    void Run(int ticks) { w.Tick(ticks); }
    int Events(int code) const {
        int n = 0;
        for (const auto& e : w.events) n += e.code == code ? 1 : 0;
        return n;
    }
    static void Kill(CUnit* u) { u->ApplyDamage(nullptr, u->m_power + u->m_maxPower + 1.0f, true); }

    CUnitWorld w;
    bool ok = false;
    CPlayer* local = nullptr;
    CUnit* hq = nullptr;
    CUnit* tank = nullptr;
    CUnit* enemy = nullptr;
    CUnit* other = nullptr;
};

// Every kind of condition: nothing happens while it does not hold, the
// scripted step makes it hold, and the evaluation's next turn of its group
// (at most twelve ticks later) wins or loses the game, once.
TEST(Objectives, EachKindOfConditionWinsOrLosesItsGame) {
    struct SCase {
        const char* name;
        std::vector<const char*> condition;
        int event;
        std::function<void(CMission&)> act;
    };
    const std::vector<SCase> cases = {
        {"a unit at a place",
         {"Win", "Reach the point", "ID", "101", "IS_AT", "10", "10"},
         kWin,
         [](CMission& m) { m.tank->SetPosition(11.0f, 0.0f, 11.0f); }},
        {"a unit in an area",
         {"Win", "Enter the ring", "ID", "101", "IS_IN_AREA", "0", "0", "8", "8"},
         kWin,
         [](CMission& m) { m.tank->SetPosition(4.0f, 0.0f, 4.0f); }},
        {"a unit's death loses",
         {"lost", "Keep the headquarters", "ID", "100", "is_dead"},
         kLoss,
         [](CMission& m) { CMission::Kill(m.hq); }},
        {"a unit's death wins",
         {"Win", "Destroy the tank", "ID", "200", "IS_DEAD"},
         kWin,
         [](CMission& m) { CMission::Kill(m.enemy); }},
        {"a unit alive when time is up",
         {"Win", "Hold out", "ID", "101", "IS_ALIVE_AND_TIME_IS", "3"},
         kWin,
         [](CMission& m) { m.Run(3 * 15 - 24); }},
        {"a timer", {"Lost", "Out of time", "TIME_IS", "3"}, kLoss, [](CMission& m) { m.Run(3 * 15 - 24); }},
        {"a count of units",
         {"Win", "Three tanks", "OBJECT", "Granite_LightTank", "3"},
         kWin,
         [](CMission& m) {
             m.Place("Granite_LightTank", -10, -20, m.local, 102);
             m.Place("Granite_LightTank", -5, -20, m.local, 103);
         }},
        {"resources",
         {"Win", "Rich", "RESOURCES_IS", "100"},
         kWin,
         [](CMission& m) { m.local->m_resources = 101.0f; }},
        {"a side's survival",
         {"Win", "Red is gone", "TEAM_IS_DEAD", "2"},
         kWin,
         [](CMission& m) { CMission::Kill(m.enemy); }},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.name);
        CMission m;
        ASSERT_TRUE(m.ok);
        m.local->m_resources = 0.0f;
        ASSERT_TRUE(m.Objectives().SetTable(1));
        ASSERT_TRUE(m.Condition(c.condition));
        m.Run(24);
        EXPECT_EQ(m.Events(kWin) + m.Events(kLoss), 0);
        EXPECT_FALSE(m.w.scene->WinGame || m.w.scene->LooseGame);
        c.act(m);
        m.Run(12);
        EXPECT_EQ(m.Events(c.event), 1);
        EXPECT_EQ(c.event == kWin ? m.w.scene->WinGame : m.w.scene->LooseGame, 1);
        m.Run(24);
        EXPECT_EQ(m.Events(c.event), 1) << "the event is said once";
        EXPECT_EQ(m.Events(c.event == kWin ? kLoss : kWin), 0);
    }
}

// A player whose last unit is gone is out, on every machine: the others
// read "'Red' died!" once the game ran five seconds; one that is gone
// sooner is out without a word. The local player without units loses. A
// side whose units have not come yet (a start's units come through the
// session) is not out, and the local player does not lose for it.
TEST(Objectives, APlayerWhoLosesAllUnitsIsOut) {
    {
        CMission m(1);
        ASSERT_TRUE(m.ok);
        CMission::Kill(m.other);  // blue never fields a unit
        CMission::Kill(m.hq);     // nor does the local player
        CMission::Kill(m.tank);
        m.Run(24);
        EXPECT_FALSE(m.w.blue->m_outOfGame);
        EXPECT_FALSE(m.local->m_outOfGame);
        EXPECT_EQ(m.Events(kLoss) + m.Events(kWin), 0);
        m.Place("Granite_LightTank", -20, -20, m.local, 102);  // the start's units come
        m.Run(12);
        CMission::Kill(m.enemy);  // red, the one opponent that played, goes
        m.Run(12);
        EXPECT_TRUE(m.w.red->m_outOfGame);
        EXPECT_FALSE(m.w.blue->m_outOfGame);
        EXPECT_EQ(m.Events(kWin), 1) << "blue never played";
        EXPECT_EQ(m.Events(kLoss), 0);
    }
    CMission m;
    ASSERT_TRUE(m.ok);
    m.Run(1);
    CMission::Kill(m.other);  // blue, at once
    m.Run(2);
    EXPECT_TRUE(m.w.blue->m_outOfGame);
    EXPECT_FALSE(m.w.red->m_outOfGame);
    EXPECT_EQ(m.w.FindLine("'Blue' died!"), "");
    m.Run(5 * 15);
    CMission::Kill(m.enemy);  // red, after five seconds
    m.Run(2);
    EXPECT_TRUE(m.w.red->m_outOfGame);
    EXPECT_NE(m.w.FindLine("'Red' died!"), "");
    EXPECT_EQ(m.w.FindLine("'Blue' died!"), "");
    EXPECT_EQ(m.Events(kLoss), 0);

    CMission::Kill(m.hq);
    CMission::Kill(m.tank);
    m.Run(12);
    EXPECT_EQ(m.Events(kLoss), 1);
    EXPECT_TRUE(m.w.scene->LooseGame);
    EXPECT_TRUE(m.local->m_outOfGame);
    EXPECT_EQ(m.w.FindLine("'Local' died!"), "") << "the local player hears of its loss as an event";
}

// A skirmish ends with the last side standing: allies (a team, or allied
// while the game plays with allied victory) win together; with allied
// victory off an ally of another team is an opponent. A skirmish against
// nobody is never won.
TEST(Objectives, AlliesWinTogether) {
    struct SCase {
        const char* name;
        bool team, allied, alliedVictory;
        bool won;
    };
    const SCase cases[] = {
        {"allied, allied victory on", false, true, true, true},
        {"allied, allied victory off", false, true, false, false},
        {"one team, allied victory off", true, false, false, true},
        {"not allied", false, false, true, false},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.name);
        CMission m(1);
        ASSERT_TRUE(m.ok);
        m.w.players->m_alliedVictory = c.alliedVictory ? 1 : 0;
        CTeam* team = nullptr;
        if (c.team) {
            team = new CTeam(m.w.players, m.local, "Us");
            m.local->SetTeamRecord(team);
            m.w.red->SetTeamRecord(team);
        }
        if (c.allied) {
            m.local->AddAlly(m.w.red);
            m.w.red->AddAlly(m.local);
        }
        m.Run(24);
        EXPECT_EQ(m.Events(kWin), 0);
        CMission::Kill(m.other);  // blue is gone, red still plays
        m.Run(12);
        EXPECT_EQ(m.Events(kWin), c.won ? 1 : 0);
        EXPECT_EQ(m.w.scene->WinGame, c.won ? 1 : 0);
        if (!c.won) {
            CMission::Kill(m.enemy);
            m.Run(12);
            EXPECT_EQ(m.Events(kWin), 1) << "the last opponent is gone";
        }
    }

    // The other players only watch: nobody played against the local player.
    CMission alone(1);
    ASSERT_TRUE(alone.ok);
    for (CPlayer* p : {alone.w.red, alone.w.blue}) p->m_race = alone.w.players->m_watchingRace;
    CMission::Kill(alone.enemy);
    CMission::Kill(alone.other);
    alone.Run(30);
    EXPECT_EQ(alone.Events(kWin), 0);
}

// In a skirmish, five minutes on, a computer player with no base and ten
// units or fewer is destroyed (every five seconds it is looked at again);
// one that keeps a base stays. A single-player mission keeps both.
TEST(Objectives, ComputerPlayersWithoutABaseAreCleanedUp) {
    for (int32_t gameType : {1, 0}) {
        SCOPED_TRACE(gameType);
        CMission m(gameType);
        ASSERT_TRUE(m.ok);
        m.w.red->m_computer = 1;
        m.w.blue->m_computer = 1;
        m.Place("Coral_Headquarters", 40, 40, m.w.blue, 301);
        m.w.tickStep = 1.0f;  // a second a tick
        // By id: a unit that left play is deleted.
        auto gone = [&m](int32_t id) {
            const CTessarakObject* o = m.w.scene->m_idTable.Find(id);
            return !o || o->Dying();
        };
        const int32_t red = m.enemy->m_objectId, blue = m.other->m_objectId;
        m.Run(299);
        EXPECT_FALSE(gone(red));
        m.Run(8);
        EXPECT_EQ(gone(red), gameType != 0);
        EXPECT_FALSE(gone(blue));
    }
}

// What the map's author reads: the list with its texts, the timer's
// seconds, and the script errors (a full table says so and counts nothing
// more; a map id without objects leaves its record to the next call).
TEST(Objectives, TheListAndTheScriptErrorsReadAsTheAuthorSeesThem) {
    CMission m;
    ASSERT_TRUE(m.ok);
    m.Objectives().PrintList();
    EXPECT_EQ(m.w.lines.back(), "No objectives defined.");

    ASSERT_TRUE(m.Objectives().SetTable(3));
    EXPECT_FALSE(m.Condition({"Win", "x", "ID", "4242", "IS_DEAD"}));
    EXPECT_EQ(m.w.lines.back(),
              "Map Error : Can't find an object with map ID '4242'. Objective is disabled.");
    EXPECT_EQ(m.Objectives().Listed(), 0);
    EXPECT_TRUE(m.Condition({"Lost", "x", "OBJECT", "NoSuchTemplate", "3"}));
    EXPECT_EQ(m.w.lines.back(), "Map Error : Template 'NoSuchTemplate' not found in object 'OBJECT'");
    EXPECT_TRUE(m.Condition({"Win", "Ring", "ID", "101", "IS_IN_AREA", "-20", "-30", "0", "0"}));
    EXPECT_TRUE(m.Condition({"Lost", "Clock", "TIME_IS", "10"}));
    EXPECT_FALSE(m.Condition({"Win", "Clock", "TIME_IS", "1"}));
    EXPECT_FALSE(m.Condition({"Win", "Clock", "TIME_IS", "1"}));
    EXPECT_EQ(std::count(m.w.lines.begin(), m.w.lines.end(), "Map Error : Too many objectives listed."), 2);
    EXPECT_EQ(m.Objectives().Listed(), 3);

    m.Run(12);  // the tank stands on x1 of the area: not inside
    // 0.4 s of the timer are left: rounded, none.
    m.w.gameTime = static_cast<uint64_t>(m.Objectives().Records()[2]->m_deadline) - 1193182 * 4 / 10;
    m.w.lines.clear();
    m.Objectives().PrintList();
    const std::vector<std::string> expected = {
        "Theese objectives must be obligated to succeed with the mission:",
        "(Not Finished) If the unit 'Granite_LightTank' is in area -20.000000 -30.000000 0.000000 0.000000..",
        " ",
        "If any of this conditions occur, the mission is lost:",
        "(Not Finished) Error, the objective was not corretly programmed..",
        "(Not Finished) If the time is below zero (Time is up)..",
        " ",
    };
    EXPECT_EQ(m.w.lines, expected);
    m.w.gameTime -= 1193182;  // 1.4 s
    m.w.lines.clear();
    m.Objectives().PrintList();
    EXPECT_EQ(m.w.lines[5], "(Not Finished) If the time is below zero (1 seconds left)..");
}

}  // namespace
