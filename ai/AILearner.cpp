#include "core/Determinism.h"
// The lockstep guard comes first in every simulation source.
#include <algorithm>
#include <cstdio>

#include "ai/AILearner.h"
#include "ai/AIManager.h"
#include "ai/LearningFiles.h"
#include "core/Math.h"
#include "core/VFSFile.h"
#include "world/GameScene.h"
#include "world/Player.h"
#include "world/UnitTemplate.h"
#include "world/World.h"

namespace {
// The sides' player ids.
constexpr int32_t kSides[2] = {2, 3};

float Footprint(const CUnitTemplate* t) {
    return t->m_footprintRadius > 0.0f ? t->m_footprintRadius : t->m_collisionRadius;
}

// A share of matches won (0 of none) for the order of the file.
double Share(const CAILearner::SRecord& r) {
    return r.matches > 0 ? static_cast<double>(r.wins) / r.matches : 0.0;
}
}  // namespace

CAILearner::CAILearner(CAIManager& manager) : m_manager(manager), m_random(manager.m_seed ^ 0x5EA12u) {}

void CAILearner::Execute(const std::string& line) {
    if (m_execute)
        m_execute(line);
    else
        m_manager.Execute(line.c_str());
}

void CAILearner::Print(const std::string& line) {
    if (CWorld* world = m_manager.World()) world->Console().Print(line.c_str());
}

int32_t CAILearner::UnitCount(int32_t playerId) const {
    CWorld* world = m_manager.World();
    return world ? static_cast<int32_t>(world->Query().UnitsOf(playerId).size()) : 0;
}

// ---- the statistics

void CAILearner::ReadStatistics() {
    // Every fighting template takes part, with the counts the file gives it.
    m_records.clear();
    CWorld* world = m_manager.World();
    if (!world) return;
    for (const CUnitTemplate* t : world->Query().UnitTemplates())
        if (t->m_weaponCount != 0) m_records.push_back({t, 0, 0});
    CAIFile file;
    if (file.Open(m_manager.StatisticsPath().c_str(), AIFile_StatisticsNumbers) != CAIFile::kRead) return;
    for (SRecord& r : m_records) {
        float wins = 0.0f, matches = 0.0f;
        if (!file.FindNumbers(r.tmpl->m_name.GetText(), &wins, &matches, true)) continue;
        // Counts that cannot be (more wins than matches, fewer than none)
        // start again from nothing.
        if (wins < 0.0f || matches < wins) continue;
        r.wins = Math_Truncate(wins);
        r.matches = Math_Truncate(matches);
    }
}

void CAILearner::WriteStatistics() {
    // Highest share of wins first (the order of equal shares kept).
    std::stable_sort(m_records.begin(), m_records.end(),
                     [](const SRecord& a, const SRecord& b) { return Share(a) > Share(b); });
    std::string text;
    for (const SRecord& r : m_records) {
        const float numbers[2] = {static_cast<float>(r.wins), static_cast<float>(r.matches)};
        text += AIFile_Line(r.tmpl->m_name.GetText(), numbers, 2);
    }
    // Through a temporary file and a rename: a file cut short never stands.
    const std::string path = m_manager.StatisticsPath();
    CVFSFile file;
    bool written = file.Open(path.c_str(), CVFSFile::kModeWrite);
    if (written) {
        written = file.Write(text.data(), static_cast<uint32_t>(text.size())) == text.size();
        written = file.Close() && written;
    }
    if (!written && !m_writeFailed) {
        m_writeFailed = true;
        Print("Cannot write " + path + ": the learning goes on without it");
    }
}

// ---- the matches

bool CAILearner::Pick() {
    m_side[0] = m_side[1] = nullptr;
    const int32_t count = static_cast<int32_t>(m_records.size());
    if (count < 2) return false;
    bool mobile = false;
    for (const SRecord& r : m_records) mobile = mobile || r.tmpl->m_speed > 0.0f;
    if (!mobile) return false;
    int32_t first = 0;
    do {
        first = m_random.Rand() % count;
    } while (!(m_records[static_cast<size_t>(first)].tmpl->m_speed > 0.0f));
    int32_t second = first;
    while (second == first) second = m_random.Rand() % count;
    m_side[0] = m_records[static_cast<size_t>(first)].tmpl;
    m_side[1] = m_records[static_cast<size_t>(second)].tmpl;
    return true;
}

bool CAILearner::SetUp() {
    CWorld* world = m_manager.World();
    if (!world || !m_side[0] || !m_side[1]) return false;
    for (const char* line :
         {"View_GameSceneCenterX (0);", "View_GameSceneCenterY (0);", "scene_bgcolor_red (64);",
          "scene_bgcolor_green (0);", "scene_bgcolor_blue (120);", "srv_GameSpeed (20);"})
        if (m_manager.HasCommand(line)) Execute(line);
    int32_t left, top, right, bottom;
    world->Query().MapRect(&left, &top, &right, &bottom);
    float corner[2][2];
    corner[0][0] = m_random.Random01() * static_cast<float>(left) + 20.0f;
    corner[0][1] = m_random.Random01() * static_cast<float>(top) - 20.0f;
    corner[1][0] = m_random.Random01() * static_cast<float>(right) - 20.0f;
    corner[1][1] = m_random.Random01() * static_cast<float>(bottom) + 20.0f;
    int32_t id = kFirstUnitId;
    for (int side = 0; side < 2; ++side) {
        const CUnitTemplate* t = m_side[side];
        SPlayerView player;
        if (!world->Query().Player(kSides[side], &player)) return false;
        const int32_t spacing = 2 - Math_Truncate(Footprint(t) * -2.0f);
        const float cost = t->m_expense;
        const float divisor = cost + 10.0f > 0.0f ? cost + 10.0f : 1.0f;
        const int32_t perRow =
            std::max(1, std::min(kMaxUnits, Math_Truncate(Math_Sqrt(static_cast<float>(
                                                Math_Truncate(static_cast<float>(m_budget) / divisor))))));
        float spent = 0.0f;
        for (int32_t i = 0; i < kMaxUnits && m_budget > 0; ++i) {
            spent += cost;
            const float x = static_cast<float>(i / perRow * spacing) + corner[side][0];
            const float z = static_cast<float>(i % perRow * spacing) + corner[side][1];
            char line[400];
            std::snprintf(line, sizeof line, "AI_Create(\"%s\", %f, %f, %d, %d, %d, 0.000, 0.000);\n",
                          t->m_name.GetText(), static_cast<double>(x), static_cast<double>(z),
                          static_cast<int>(player.ownerId), 3, static_cast<int>(id++));
            Execute(line);
            if (spent >= static_cast<float>(m_budget)) break;
        }
    }
    m_setUp = true;
    return true;
}

bool CAILearner::WaitingForUnits() {
    if (!m_setUp) return false;
    for (int32_t side : kSides)
        if (UnitCount(side) < 1) return true;
    m_setUp = false;
    return false;
}

bool CAILearner::Start() {
    CWorld* world = m_manager.World();
    if (m_running) {
        Print("AI_StartLearn: learning runs already");
        return false;
    }
    if (!world || m_manager.MapName().empty()) {
        Print("AI_StartLearn: learning matches need a map");
        return false;
    }
    // The scene is cleared on this machine alone: no other machine may play.
    for (const SPlayerView& p : world->Query().Players())
        if (!p.neutral && !p.computer && !m_manager.IsLocalPlayer(p.id)) {
            Print("AI_StartLearn: learning matches run in a game of this machine alone");
            return false;
        }
    m_writeFailed = false;
    m_matches = 0;
    ReadStatistics();
    if (!Pick()) {
        Print("AI_StartLearn: fewer than two fighting units, or none that moves");
        return false;
    }
    world->Scene().Clear();
    // Units made from nothing in a running game are cheats: the session
    // takes them only with cheats on.
    if (m_manager.CheatsOff()) {
        m_manager.SetCheats(true);
        m_cheatsTurnedOn = true;
    }
    // The two sides: computer players of the races of their first units.
    for (int side = 0; side < 2; ++side) {
        if (m_manager.Find(kSides[side])) continue;
        const CRace* race = m_side[side]->m_race;
        char line[300];
        std::snprintf(line, sizeof line, "AI_AddCommander(%d, \"%s\");", static_cast<int>(kSides[side]),
                      race ? race->m_name.GetText() : "");
        Execute(line);
        if (!m_manager.Find(kSides[side])) {
            Print("AI_StartLearn: the player " + std::to_string(kSides[side]) +
                  " cannot be a computer player");
            return false;
        }
    }
    for (const auto& cp : m_manager.Players()) cp->m_learningMatch = true;
    m_matchStart = world->Query().GameTime();
    m_running = SetUp();
    if (m_running)
        Print("Learning: " + std::to_string(m_records.size()) +
              " fighting units take part; AI_StopLearn stops");
    return m_running;
}

void CAILearner::Stop() {
    // At once: the match under way counts for neither side.
    if (m_running) Finish();
}

void CAILearner::Finish() {
    m_running = false;
    m_setUp = false;
    if (CWorld* world = m_manager.World()) world->Scene().Clear();
    for (int32_t side : kSides) m_manager.RemoveCommander(side);
    if (m_manager.HasCommand("srv_GameSpeed")) Execute("srv_GameSpeed (1);");
    if (m_cheatsTurnedOn) m_manager.SetCheats(false);
    m_cheatsTurnedOn = false;
    Print("Learning stopped after " + std::to_string(m_matches) + " matches");
}

void CAILearner::NextMatch() {
    CWorld* world = m_manager.World();
    if (!world) return;
    world->Scene().Clear();
    m_matchStart = world->Query().GameTime();
    m_running = Pick() && SetUp();
    if (!m_running) Print("Learning stops: no match can be staged");
}

void CAILearner::End(int winner) {
    ++m_matches;
    const char* names[2] = {m_side[0]->m_name.GetText(), m_side[1]->m_name.GetText()};
    std::string result;
    if (winner < 0) {
        result = "no result in time";
    } else {
        for (SRecord& r : m_records)
            for (int side = 0; side < 2; ++side)
                if (r.tmpl == m_side[side]) {
                    ++r.matches;
                    if (winner == kSides[side]) ++r.wins;
                }
        result = winner == 0 ? "both sides fell" : "player " + std::to_string(winner) + " won";
        WriteStatistics();
    }
    char line[400];
    std::snprintf(line, sizeof line, "Learning match %d: %s (player 2) against %s (player 3): %s",
                  static_cast<int>(m_matches), names[0], names[1], result.c_str());
    Print(line);
}

void CAILearner::Tick() {
    if (!m_running) return;
    CWorld* world = m_manager.World();
    if (!world) return;
    const uint64_t elapsed = world->Query().GameTime() - m_matchStart;
    // A match runs out after its time, the wait for its units included.
    if (elapsed > m_matchTime) {
        End(-1);
    } else {
        if (WaitingForUnits()) return;
        const bool gone[2] = {UnitCount(kSides[0]) < 1, UnitCount(kSides[1]) < 1};
        if (!gone[0] && !gone[1]) return;
        End(gone[0] && gone[1] ? 0 : gone[0] ? kSides[1] : kSides[0]);
    }
    NextMatch();
}
