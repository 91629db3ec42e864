#include "core/Determinism.h"
// The lockstep guard comes first in every simulation source.
//
// The evaluation's state in a saved state, little-endian, unpadded:
//   u8        objectives enabled
//   u32       evaluation counter (0 to 5)
//   u8        phase (0 or 1)
//   f32       running time, f32 clean-up timer (game seconds)
//   u32       table size N (at most kMaxTable), u32 records listed (at most N)
//   N records:
//     u8      active
//     i32     group (0 to 3), i32 kind (a kind outside 1 to 8 never holds)
//     f32 x 4 the point or the area
//     u32     M units (at most CObjective::kMaxUnits), M x i32 their object ids
//     i64     deadline (game time)
//     u16     template project id, i32 template id (-1: none; else it must exist)
//     i32     count, i32 resources, i32 side (owner id)
//     u8      finished
//     u16 + chars  the objective's text (at most CObjective::kMaxText)
//     u8      held once
//     u16 + chars  the name of its units (their template's; at most 256)
//   u32       K players that are out, K x i32 their ids
// The units' ids are resolved once every object of the state exists; an id
// no object holds leaves its link empty (that unit is gone).
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/Math.h"
#include "world/GameScene.h"
#include "world/ObjectTemplate.h"
#include "world/Objectives.h"
#include "world/Player.h"
#include "world/StateArchive.h"
#include "world/StateText.h"
#include "world/TessarakObject.h"
#include "world/Unit.h"
#include "world/UnitTemplate.h"
#include "world/World.h"

namespace {

constexpr double kGameTimeRate = 1193182.0;
constexpr uint32_t kMaxTable = 4096;
constexpr uint16_t kMaxUnitName = 256;
constexpr float kReach = 2.0f;  // IS_AT: within this distance of the point
constexpr float kCleanUpAfter = 300.0f;
constexpr float kCleanUpEvery = 5.0f;
constexpr float kDeathLinesAfter = 5.0f;
constexpr int32_t kCleanUpMaxUnits = 10;

// An object that is still in the game: not leaving play, and a unit alive.
bool Present(const CTessarakObject* o) {
    if (!o || o->Dying()) return false;
    return !o->IsUnit() || static_cast<const CUnit*>(o)->IsAlive();
}

// A unit that counts for its side.
bool Counts(const CUnit* u) {
    if (!Present(u) || u->IsMarked()) return false;
    const CUnitTemplate* t = u->UnitTemplate();
    return !(t && (t->m_classMask & kClassUnit) && t->m_noTarget);
}

// "%f" and "%d" as the map's scripts give them: a text that is not a number
// reads as 0.
float ArgFloat(const std::vector<const char*>& args, size_t i) {
    float v = 0.0f;
    if (i < args.size() && args[i] && std::sscanf(args[i], "%f", &v) != 1) v = 0.0f;
    return v;
}
int32_t ArgInt(const std::vector<const char*>& args, size_t i) {
    int v = 0;
    if (i < args.size() && args[i] && std::sscanf(args[i], "%d", &v) != 1) v = 0;
    return v;
}
// A whole number and nothing else.
bool StrictInt(const char* text, int32_t& out) {
    if (!text || !*text) return false;
    char* end = nullptr;
    long v = std::strtol(text, &end, 10);
    if (*end || v < INT32_MIN || v > INT32_MAX) return false;
    out = static_cast<int32_t>(v);
    return true;
}
bool Word(const char* text, const char* word) {
    return text && CStrBuf(text).EqualsNoCase(word);
}

// The game time of a moment seconds from now, cut to a whole number.
int64_t Deadline(uint64_t now, float seconds) {
    return static_cast<int64_t>(static_cast<double>(now) + static_cast<double>(seconds) * kGameTimeRate);
}

int32_t SecondsLeft(int64_t deadline, uint64_t now) {
    const double left = (static_cast<double>(deadline) - static_cast<double>(now)) / kGameTimeRate;
    return Math_RoundToInt(static_cast<float>(left));
}

}  // namespace

// ---- one objective

const char* CObjective::UnitName() const {
    for (const auto& l : m_units)
        if (CTessarakObject* o = l->Get())
            if (o->m_template) return o->m_template->m_name.GetText();
    return nullptr;
}

bool CObjective::Check(const CGameScene& scene, uint64_t now, bool override) {
    bool holds = false;
    auto anyUnit = [this](auto test) {
        for (const auto& l : m_units)
            if (Present(l->Get()) && test(l->Get())) return true;
        return false;
    };
    const bool passed = static_cast<int64_t>(now) >= m_deadline;
    switch (m_kind) {
        case kIsAt:
            holds = anyUnit([this](const CTessarakObject* o) {
                return Distance2D(o->m_position[0], o->m_position[2], m_area[0], m_area[1]) < kReach;
            });
            break;
        case kIsInArea:
            holds = anyUnit([this](const CTessarakObject* o) {
                const float x = o->m_position[0], z = o->m_position[2];
                return m_area[0] < x && x < m_area[2] && m_area[1] < z && z < m_area[3];
            });
            break;
        case kIsDead:
            holds = !anyUnit([](const CTessarakObject*) { return true; });
            break;
        case kAliveAtTime:
            holds = passed && anyUnit([](const CTessarakObject*) { return true; });
            break;
        case kTimeIs:
            holds = passed;
            break;
        case kObjectCount: {
            int32_t n = 0;
            for (const CTessarakObject* o = scene.m_allObjects; o && m_template; o = o->m_allNext) {
                if (o->m_template != m_template || !Present(o)) continue;
                if (o->IsUnit()) {
                    if (static_cast<const CUnit*>(o)->IsComplete()) ++n;
                } else if (!o->IsGridMember()) {
                    ++n;
                }
            }
            holds = m_template && n >= m_count;
            break;
        }
        case kResources: {
            // The mission's players: every side a person plays (not the
            // neutral one, not a computer player, not a spectator). Every
            // machine reads the same players, so the result is the same
            // everywhere; in a game for one it is the local player's.
            const CPlayerList* players = scene.Players();
            if (players)
                for (const CPlayer* p : players->m_players)
                    if (p != players->m_neutral && !p->m_computer && !(p->m_race && p->m_race->m_watching) &&
                        p->m_resources > static_cast<float>(m_resources))
                        holds = true;
            break;
        }
        case kSideDead: {
            holds = true;
            for (const CUnit* u = scene.m_units; u && holds; u = u->m_unitNext)
                if (u->m_owner && u->m_owner->m_ownerId == m_side && Counts(u)) holds = false;
            break;
        }
        default:
            holds = false;
            break;
    }
    if (override) holds = true;
    m_finished = holds ? 1 : 0;
    if (holds) m_announced = 1;
    return holds;
}

void CObjective::GetText(CStrBuf& out, uint64_t now) const {
    CStrBuf text;
    const char* name = UnitName();
    if (!name && !m_unitName.IsEmpty() && m_kind == kIsDead) name = m_unitName.GetText();
    const int32_t left = SecondsLeft(m_deadline, now);
    switch (m_kind) {
        case kIsAt:
        case kIsInArea:
        case kIsDead:
        case kAliveAtTime:
            if (!name) {
                text = "Error, map object was not found.";
            } else if (m_kind == kIsAt) {
                text.Format("If the unit '%s' is on position %f %f.", name, (double)m_area[0],
                            (double)m_area[1]);
            } else if (m_kind == kIsInArea) {
                text.Format("If the unit '%s' is in area %f %f %f %f.", name, (double)m_area[0],
                            (double)m_area[1], (double)m_area[2], (double)m_area[3]);
            } else if (m_kind == kIsDead) {
                text.Format("If the unit '%s' is dead.", name);
            } else if (left >= 1) {
                text.Format("If the unit '%s' is alive (%d seconds left).", name, (int)left);
            } else {
                text.Format("If the unit '%s' is alive (Time is up).", name);
            }
            break;
        case kTimeIs:
            if (left >= 1)
                text.Format("If the time is below zero (%d seconds left).", (int)left);
            else
                text = "If the time is below zero (Time is up).";
            break;
        case kObjectCount:
            text.Format("If there exists %d units of the type '%s'.", (int)m_count,
                        m_template ? m_template->m_name.GetText() : "");
            break;
        case kResources:
            text.Format("If the resource counter comes over %d.", (int)m_resources);
            break;
        case kSideDead:
            text.Format("If the team %d is dead.", (int)m_side);
            break;
        default:
            text = "Error, the objective was not corretly programmed.";
            break;
    }
    out.Format(m_finished ? "(Finished) %s." : "(Not Finished) %s.", text.GetText());
}

void CObjective::Save(CStateArchive& ar) const {
    ar.WriteU8(m_active);
    ar.WriteI32(m_group);
    ar.WriteI32(m_kind);
    float area[4] = {m_area[0], m_area[1], m_area[2], m_area[3]};
    ar.F32s(area, 4);
    ar.WriteU32(static_cast<uint32_t>(m_units.size()));
    for (const auto& l : m_units) ar.WriteI32(l->GetRecordId());
    uint64_t deadline = static_cast<uint64_t>(m_deadline);
    ar.U64(deadline);
    uint16_t project = m_template ? m_template->m_projectId : 0;
    ar.U16(project);
    ar.WriteI32(m_template ? static_cast<int32_t>(m_template->m_nodeId) : -1);
    ar.WriteI32(m_count);
    ar.WriteI32(m_resources);
    ar.WriteI32(m_side);
    ar.WriteU8(m_finished);
    CStrBuf text = m_text, name = m_unitName;
    StateText_Transfer(ar, text, kMaxText);
    ar.WriteU8(m_announced);
    StateText_Transfer(ar, name, kMaxUnitName);
}

bool CObjective::Load(CStateArchive& ar, const CGameScene& scene) {
    const uint8_t active = ar.ReadU8();
    const int32_t group = ar.ReadI32();
    const int32_t kind = ar.ReadI32();
    float area[4] = {};
    const CStateArchive::EMode mode = ar.SetReadMode(CStateArchive::kApply);
    ar.F32s(area, 4);
    uint32_t units = 0;
    ar.Count(units, 4);
    std::vector<int32_t> ids;
    if (units > kMaxUnits) ar.Fail();
    for (uint32_t i = 0; ar.Ok() && i < units; ++i) ids.push_back(ar.ReadI32());
    uint64_t deadline = 0;
    ar.U64(deadline);
    const uint16_t project = ar.ReadU16();
    const int32_t templateId = ar.ReadI32();
    const int32_t count = ar.ReadI32();
    const int32_t resources = ar.ReadI32();
    const int32_t side = ar.ReadI32();
    const uint8_t finished = ar.ReadU8();
    CStrBuf text, name;
    StateText_Transfer(ar, text, kMaxText);
    const uint8_t announced = ar.ReadU8();
    StateText_Transfer(ar, name, kMaxUnitName);
    ar.SetReadMode(mode);
    CTessarakObjectTemplate* tmpl = templateId >= 0 ? scene.FindTemplateById(project, templateId) : nullptr;
    if (group < kGroupNone || group > kGroupNeutral || (templateId >= 0 && !tmpl) || templateId < -1)
        ar.Fail();
    if (!ar.Ok()) return false;
    if (!ar.IsApplying()) return true;
    m_active = active;
    m_group = group;
    m_kind = kind;
    std::memcpy(m_area, area, sizeof m_area);
    m_units.clear();
    for (int32_t id : ids) {
        m_units.emplace_back(new CObjectLink);
        m_units.back()->Set(scene.m_idTable.Find(id));
    }
    m_deadline = static_cast<int64_t>(deadline);
    m_template = tmpl;
    m_count = count;
    m_resources = resources;
    m_side = side;
    m_finished = finished ? 1 : 0;
    m_text = text;
    m_announced = announced ? 1 : 0;
    m_unitName = name;
    return true;
}

// ---- the table

CMissionObjectives::CMissionObjectives(CGameScene& scene) : m_scene(scene) {}

CPlayer* CMissionObjectives::Local() const {
    return m_scene.LocalPlayer();
}

void CMissionObjectives::Clear() {
    m_records.clear();
    m_listed = 0;
    m_counter = 0;
    m_phase = 0;
    m_runningTime = 0.0f;
    m_cleanUpTimer = 0.0f;
    m_enabled = 1;
    m_fielded.clear();
    if (CPlayerList* players = m_scene.Players())
        for (CPlayer* p : players->m_players) p->m_outOfGame = 0;
}

bool CMissionObjectives::SetTable(int32_t size) {
    if (size < 0 || static_cast<uint32_t>(size) > kMaxTable) return false;
    m_records.clear();
    for (int32_t i = 0; i < size; ++i) m_records.emplace_back(new CObjective);
    m_listed = 0;
    m_scene.WinGame = m_scene.LooseGame = 0;
    return true;
}

bool CMissionObjectives::Condition(const std::vector<const char*>& args) {
    IWorldConsole& console = m_scene.World().Console();
    if (args.size() < 4) return false;
    // A table that is full says so every time and takes nothing more.
    if (m_listed >= static_cast<int32_t>(m_records.size())) {
        console.Print("Map Error : Too many objectives listed.");
        return false;
    }
    CObjective& o = *m_records[static_cast<size_t>(m_listed)];
    if (Word(args[0], "Win"))
        o.m_group = CObjective::kGroupWin;
    else if (Word(args[0], "Lost"))
        o.m_group = CObjective::kGroupLose;
    else if (Word(args[0], "Neutral"))
        o.m_group = CObjective::kGroupNeutral;
    o.m_text = args[1] ? args[1] : "";
    const uint64_t now = m_scene.World().Clock().GameTime();
    const char* kind = args[2];
    if (Word(kind, "ID")) {
        int32_t mapId = 0;
        if (!StrictInt(args[3], mapId)) return false;
        o.m_units.clear();
        for (CTessarakObject* obj = m_scene.m_allObjects; obj; obj = obj->m_allNext)
            if (obj->m_mapId == mapId && !obj->Dying() &&
                static_cast<int>(o.m_units.size()) < CObjective::kMaxUnits) {
                o.m_units.emplace_back(new CObjectLink);
                o.m_units.back()->Set(obj);
            }
        // Every machine links the same objects: the scene's list is walked
        // in its order, the same everywhere.
        if (o.m_units.empty()) {
            console.Printf("Map Error : Can't find an object with map ID '%d'. Objective is disabled.",
                           (int)mapId);
            o.m_kind = CObjective::kDisabled;
            return false;
        }
        const char* first = o.UnitName();
        o.m_unitName = first ? first : "";
        const char* test = args.size() > 4 ? args[4] : "";
        if (Word(test, "IS_AT")) {
            o.m_kind = CObjective::kIsAt;
            o.m_area[0] = ArgFloat(args, 5);
            o.m_area[1] = ArgFloat(args, 6);
        } else if (Word(test, "IS_IN_AREA")) {
            o.m_kind = CObjective::kIsInArea;
            for (int i = 0; i < 4; ++i) o.m_area[i] = ArgFloat(args, 5 + static_cast<size_t>(i));
        } else if (Word(test, "IS_DEAD")) {
            o.m_kind = CObjective::kIsDead;
        } else if (Word(test, "IS_ALIVE_AND_TIME_IS")) {
            o.m_kind = CObjective::kAliveAtTime;
            o.m_deadline = Deadline(now, ArgFloat(args, 5));
        } else {
            console.Printf("Map Error : Unknown condition '%s' for map ID '%d'.", test, (int)mapId);
            o.m_kind = CObjective::kDisabled;
            return false;
        }
    } else if (Word(kind, "TIME_IS")) {
        o.m_kind = CObjective::kTimeIs;
        o.m_deadline = Deadline(now, ArgFloat(args, 3));
    } else if (Word(kind, "OBJECT")) {
        o.m_kind = CObjective::kObjectCount;
        o.m_template = m_scene.FindTemplate(args[3]);
        if (!o.m_template) {
            console.Printf("Map Error : Template '%s' not found in object 'OBJECT'", args[3] ? args[3] : "");
            o.m_kind = CObjective::kDisabled;
        }
        o.m_count = ArgInt(args, 4);
    } else if (Word(kind, "RESOURCES_IS")) {
        o.m_kind = CObjective::kResources;
        o.m_resources = ArgInt(args, 3);
    } else if (Word(kind, "TEAM_IS_DEAD")) {
        o.m_kind = CObjective::kSideDead;
        o.m_side = ArgInt(args, 3);
    } else {
        console.Printf("Map Error : Unknown objective '%s'.", kind ? kind : "");
        return false;
    }
    o.m_finished = 0;
    ++m_listed;
    return true;
}

void CMissionObjectives::PrintList() const {
    IWorldConsole& console = m_scene.World().Console();
    if (m_listed == 0) {
        console.Print("No objectives defined.");
        return;
    }
    const uint64_t now = m_scene.World().Clock().GameTime();
    CStrBuf line;
    auto group = [&](int32_t g) {
        for (int32_t i = 0; i < m_listed; ++i) {
            const CObjective& o = *m_records[static_cast<size_t>(i)];
            if (o.m_group != g) continue;
            o.GetText(line, now);
            console.Print(line.GetText());
        }
    };
    console.Print("Theese objectives must be obligated to succeed with the mission:");
    group(CObjective::kGroupWin);
    console.Print(" ");
    console.Print("If any of this conditions occur, the mission is lost:");
    group(CObjective::kGroupLose);
    console.Print(" ");
}

int32_t CMissionObjectives::CountUnits(const CPlayer* player) const {
    int32_t n = 0;
    for (const CUnit* u = m_scene.m_units; u; u = u->m_unitNext)
        if (u->m_owner == player && Counts(u)) ++n;
    return n;
}

void CMissionObjectives::CleanUpComputerPlayers() {
    CPlayerList* players = m_scene.Players();
    if (!players) return;
    for (CPlayer* p : players->m_players) {
        if (!p->m_computer) continue;
        std::vector<CUnit*> units;
        bool base = false;
        for (CUnit* u = m_scene.m_units; u; u = u->m_unitNext) {
            if (u->m_owner != p || !Counts(u)) continue;
            units.push_back(u);
            if ((u->m_unitState & CUnit::kU_Builder) && !(u->m_unitState & CUnit::kU_Mobile)) base = true;
        }
        if (base || units.empty() || static_cast<int32_t>(units.size()) > kCleanUpMaxUnits) continue;
        // A computer player without a base and with a few units left is
        // out: its units are destroyed, on every machine in this tick.
        for (CUnit* u : units) u->ApplyDamage(nullptr, u->m_power + u->m_maxPower + 1.0f, true);
    }
}

void CMissionObjectives::NoteFieldedPlayers() {
    CPlayerList* players = m_scene.Players();
    if (!players) return;
    bool all = true;
    for (const CPlayer* p : players->m_players) all = all && (p == players->m_neutral || Fielded(p));
    if (all) return;
    for (const CUnit* u = m_scene.m_units; u; u = u->m_unitNext) {
        if (!u->m_owner || u->m_owner == players->m_neutral || !Counts(u)) continue;
        const int32_t id = u->m_owner->m_id;
        auto at = std::lower_bound(m_fielded.begin(), m_fielded.end(), id);
        if (at == m_fielded.end() || *at != id) m_fielded.insert(at, id);
    }
}

bool CMissionObjectives::Fielded(const CPlayer* player) const {
    return player && std::binary_search(m_fielded.begin(), m_fielded.end(), player->m_id);
}

void CMissionObjectives::MarkEndedPlayers() {
    CPlayerList* players = m_scene.Players();
    if (!players) return;
    IWorldConsole& console = m_scene.World().Console();
    for (CPlayer* p : players->m_players) {
        if (p == players->m_neutral || p->m_outOfGame || (p->m_race && p->m_race->m_watching) || !Fielded(p))
            continue;
        if (CountUnits(p) > 0) continue;
        // Every machine marks every player that lost its last unit; the line
        // is for the others (the local player hears of its loss).
        if (m_runningTime > kDeathLinesAfter && p != players->m_local) {
            CStrBuf line;
            line.Format("'%s' died!", p->m_name.GetText());
            console.PrintColor(static_cast<int>(p->m_colour[0]), static_cast<int>(p->m_colour[1]),
                               static_cast<int>(p->m_colour[2]), false, line.GetText());
        }
        p->m_outOfGame = 1;
    }
}

void CMissionObjectives::JudgeLocalPlayer(bool winTurn) {
    CPlayerList* players = m_scene.Players();
    CPlayer* local = Local();
    if (!players || !local || (local->m_race && local->m_race->m_watching)) return;
    IWorldView& view = m_scene.World().View();
    IWorldConsole& console = m_scene.World().Console();
    auto win = [&]() {
        if (!m_scene.WinGame)
            view.PostEventMessage(kEventWin, local->m_ownerId, 0.0f, 0.0f, console.GetSystemText(0));
        m_scene.WinGame = 1;
    };
    auto lose = [&]() {
        if (!m_scene.LooseGame) view.PostEventMessage(kEventLoss, local->m_ownerId, 0.0f, 0.0f, "");
        m_scene.LooseGame = 1;
    };
    int32_t listed = 0, held = 0;
    bool anyLoss = false;
    for (int32_t i = 0; i < m_listed; ++i) {
        const CObjective& o = *m_records[static_cast<size_t>(i)];
        if (o.m_group == CObjective::kGroupWin) {
            ++listed;
            held += o.m_finished ? 1 : 0;
        } else if (o.m_group == CObjective::kGroupLose && o.m_finished) {
            anyLoss = true;
        }
    }
    if (winTurn && listed > 0 && held == listed) win();
    if (!winTurn && anyLoss) lose();
    if (Fielded(local) && CountUnits(local) == 0) {
        lose();
        return;
    }
    // The last side standing: every opponent that played has no units.
    if (m_gameType != 1 && m_gameType != 2) return;
    int32_t opponents = 0, standing = 0;
    for (const CPlayer* p : players->m_players) {
        if (p == local || p == players->m_neutral || local->IsVictoryAlly(p) ||
            (p->m_race && p->m_race->m_watching) || !Fielded(p))
            continue;
        ++opponents;
        if (CountUnits(p) > 0) ++standing;
    }
    if (opponents > 0 && standing == 0) win();
}

void CMissionObjectives::Evaluate() {
    if (!m_enabled) {
        m_scene.WinGame = m_scene.LooseGame = 0;
        return;
    }
    if (m_editor) return;
    const uint64_t now = m_scene.World().Clock().GameTime();
    const float dt = m_scene.World().Clock().TickStep();
    // Game time, the same on every machine, whatever this machine's player
    // has won or lost.
    m_runningTime += dt;
    m_cleanUpTimer += dt;
    if (m_gameType != 0 && m_runningTime > kCleanUpAfter && m_cleanUpTimer > kCleanUpEvery) {
        m_cleanUpTimer = 0.0f;
        CleanUpComputerPlayers();
    }
    NoteFieldedPlayers();
    MarkEndedPlayers();
    auto check = [&](int32_t group) {
        for (int32_t i = 0; i < m_listed; ++i) {
            CObjective& o = *m_records[static_cast<size_t>(i)];
            if (o.m_group == group && o.m_active) o.Check(m_scene, now, m_override != 0);
        }
    };
    check(CObjective::kGroupNeutral);
    if (++m_counter <= 5) return;
    m_counter = 0;
    m_phase ^= 1;
    check(m_phase == 0 ? CObjective::kGroupWin : CObjective::kGroupLose);
    JudgeLocalPlayer(m_phase == 0);
}

void CMissionObjectives::Transfer(CStateArchive& ar) {
    if (ar.IsWriting()) {
        ar.WriteU8(m_enabled);
        ar.WriteU32(static_cast<uint32_t>(m_counter));
        ar.WriteU8(static_cast<uint8_t>(m_phase));
        float times[2] = {m_runningTime, m_cleanUpTimer};
        ar.F32s(times, 2);
        ar.WriteU32(static_cast<uint32_t>(m_records.size()));
        ar.WriteU32(static_cast<uint32_t>(m_listed));
        for (const auto& o : m_records) o->Save(ar);
        std::vector<int32_t> out;
        if (CPlayerList* players = m_scene.Players())
            for (const CPlayer* p : players->m_players)
                if (p->m_outOfGame) out.push_back(p->m_id);
        ar.WriteU32(static_cast<uint32_t>(out.size()));
        for (int32_t id : out) ar.WriteI32(id);
        ar.WriteU32(static_cast<uint32_t>(m_fielded.size()));
        for (int32_t id : m_fielded) ar.WriteI32(id);
        return;
    }
    const uint8_t enabled = ar.ReadU8();
    const uint32_t counter = ar.ReadU32();
    const uint8_t phase = ar.ReadU8();
    float times[2] = {};
    const CStateArchive::EMode mode = ar.SetReadMode(CStateArchive::kApply);
    ar.F32s(times, 2);
    ar.SetReadMode(mode);
    uint32_t size = 0;
    ar.Count(size, 60);
    const uint32_t listed = ar.ReadU32();
    if (size > kMaxTable || listed > size || counter > 5 || phase > 1) ar.Fail();
    // Read into a table of its own: the one in use stays until all fits.
    std::vector<std::unique_ptr<CObjective>> records;
    for (uint32_t i = 0; ar.Ok() && i < size; ++i) {
        records.emplace_back(new CObjective);
        if (!records.back()->Load(ar, m_scene)) ar.Fail();
    }
    uint32_t outCount = 0;
    ar.Count(outCount, 4);
    std::vector<int32_t> out;
    for (uint32_t i = 0; ar.Ok() && i < outCount; ++i) out.push_back(ar.ReadI32());
    uint32_t fieldedCount = 0;
    ar.Count(fieldedCount, 4);
    std::vector<int32_t> fielded;
    for (uint32_t i = 0; ar.Ok() && i < fieldedCount; ++i) {
        fielded.push_back(ar.ReadI32());
        // Kept ascending, as the evaluation keeps them.
        if (i > 0 && fielded[i - 1] >= fielded[i]) ar.Fail();
    }
    if (!ar.Ok() || !ar.IsApplying()) return;
    m_fielded = std::move(fielded);
    m_enabled = enabled ? 1 : 0;
    m_counter = static_cast<int32_t>(counter);
    m_phase = phase;
    m_runningTime = times[0];
    m_cleanUpTimer = times[1];
    m_records = std::move(records);
    m_listed = static_cast<int32_t>(listed);
    if (CPlayerList* players = m_scene.Players())
        for (CPlayer* p : players->m_players)
            p->m_outOfGame = std::find(out.begin(), out.end(), p->m_id) != out.end() ? 1 : 0;
}
