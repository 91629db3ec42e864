#include "core/Determinism.h"
// The lockstep guard comes first in every simulation source (the monitor
// only reads).
#include <algorithm>
#include <cstdio>

#include "ai/AIGroup.h"
#include "ai/AIManager.h"
#include "ai/AIMonitor.h"
#include "ai/ComputerPlayer.h"
#include "e3d/Font.h"
#include "e3d/Screen.h"
#include "e3d/Surface.h"
#include "platform/display/Display.h"
#include "world/World.h"
#include "world/WorldGrid.h"
#include "world/WorldQuery.h"

namespace {

std::string Int(int64_t v) {
    return std::to_string(v);
}

std::string Float(float v) {
    char text[32];
    std::snprintf(text, sizeof text, "%f", static_cast<double>(v));
    return text;
}

std::string Flag(bool v) {
    return v ? "True" : "False";
}

const char* const kRoles[] = {"attack", "defend", "?", "spy"};
const char* const kStates[] = {"attacking", "guarding", "idle", "spying"};

}  // namespace

CAIMonitor::CAIMonitor(CAIManager& manager, CE3DScreen* screen) : m_manager(manager), m_screen(screen) {
    for (int i = 0; i < kCommanderRows; ++i) m_commanderBinding[i] = i;
    for (int i = 0; i < kGroupRows; ++i) m_groupBinding[i] = i;
}

CAIMonitor::~CAIMonitor() {
    m_surface.reset();
    if (m_font) m_font->Release();
    delete m_window;  // its listener goes with it
}

bool CAIMonitor::Open() {
    int x = 0, y = 0, w = 1024, h = 768;
    Display_GetBounds(0, &x, &y, &w, &h);
    m_height = h - 100 > 300 ? h - 100 : 300;
    m_window = CDisplayWindow::CreatePrivate("AI Monitor", x, y, kWidth, m_height);
    if (!m_window) return false;
    Display_AddWindowListener(m_window->Id(), EventThunk, this);
    m_surface.reset(new CE3DSurface(m_screen));
    if (!m_surface->Create(kWidth, m_height, true, SSurfacePixelFormat::Xrgb8888())) {
        delete m_window;
        m_window = nullptr;
        return false;
    }
    // The game screen's font (counted); without a screen one of our own.
    if (m_screen) {
        m_font = m_screen->GetFont("Arial", 0, 14, 400, 0, 0);
    } else {
        m_font = new CE3DFont(nullptr);
        m_font->Build("Arial", 0, 14, 400, 0, 0);
        m_font->m_refCount = 1;
    }
    m_surface->SetFont(m_font);
    for (const auto& cp : m_manager.Players()) AddComputerPlayer(cp->Name());
    return true;
}

uint32_t CAIMonitor::WindowId() const {
    return m_window ? m_window->Id() : 0u;
}

void CAIMonitor::EventThunk(const SDisplayEvent& event, void* self) {
    static_cast<CAIMonitor*>(self)->OnEvent(event);
}

void CAIMonitor::OnEvent(const SDisplayEvent& event) {
    if (event.type == EDisplayEvent::WindowClose) {
        m_closeAsked = true;
        return;
    }
    if (event.type == EDisplayEvent::Exposed) m_exposed = true;
    if (event.type != EDisplayEvent::MouseButtonDown || event.button != kDisplayMouseLeft) return;
    const int y = event.y;
    auto on = [&](int top) { return y >= top && y < top + m_lineHeight; };
    if (on(m_playerLineY)) {
        SelectNextPlayer();
    } else if (on(m_groupLineY)) {
        SelectNextGroup();
    } else if (on(m_fogLineY)) {
        SetFogOfWar(!m_fog);
    } else if (on(m_trackLineY)) {
        SetTrackGroup(!m_track);
    } else if (y >= m_commanderY && y < m_commanderY + kCommanderRows * m_lineHeight &&
               event.x < kWidth / 2) {
        CycleCommanderRow((y - m_commanderY) / m_lineHeight);
    } else if (y >= m_groupRowsY && y < m_groupRowsY + kGroupRows * m_lineHeight && event.x < kWidth / 2) {
        CycleGroupRow((y - m_groupRowsY) / m_lineHeight);
    }
}

void CAIMonitor::AddComputerPlayer(const std::string& name) {
    for (const std::string& n : m_names)
        if (n == name) return;
    m_names.push_back(name);
    if (m_selected.empty()) m_selected = name;
    AppendHistory(name, "added to list...");
}

void CAIMonitor::AppendHistory(const std::string& player, const std::string& text) {
    if (player != m_selected) return;
    m_history.push_back(text);
    while (m_history.size() > static_cast<size_t>(kHistoryLines)) m_history.pop_front();
}

CComputerPlayer* CAIMonitor::SelectedPlayer() const {
    return m_selected.empty() ? nullptr : m_manager.FindByName(m_selected.c_str());
}

void CAIMonitor::SelectNextPlayer() {
    // The players of now: gone ones leave the list.
    std::vector<std::string> names;
    for (const auto& cp : m_manager.Players()) names.push_back(cp->Name());
    m_names = names;
    if (m_names.empty()) return;
    size_t at = 0;
    for (size_t i = 0; i < m_names.size(); ++i)
        if (m_names[i] == m_selected) at = (i + 1) % m_names.size();
    m_selected = m_names[at];
    m_history.clear();
    m_group = -1;
}

void CAIMonitor::SelectNextGroup() {
    CComputerPlayer* cp = SelectedPlayer();
    const int count = cp ? static_cast<int>(cp->Groups().size()) : 0;
    m_group = count > 0 ? (m_group + 1) % count : -1;
}

void CAIMonitor::CycleCommanderRow(int row) {
    CComputerPlayer* cp = SelectedPlayer();
    if (row < 0 || row >= kCommanderRows || !cp) return;
    const int count = static_cast<int>(CommanderValues(*cp).size());
    m_commanderBinding[row] = (m_commanderBinding[row] + 1) % count;
}

void CAIMonitor::CycleGroupRow(int row) {
    CComputerPlayer* cp = SelectedPlayer();
    if (row < 0 || row >= kGroupRows || !cp || m_group < 0 ||
        m_group >= static_cast<int>(cp->Groups().size()))
        return;
    const int count = static_cast<int>(GroupValues(*cp->Groups()[static_cast<size_t>(m_group)]).size());
    m_groupBinding[row] = (m_groupBinding[row] + 1) % count;
}

void CAIMonitor::SetFogOfWar(bool on) {
    m_fog = on;
    m_manager.Execute(on ? "Effect_FogOfWar (1);" : "Effect_FogOfWar (0);");
    // Without fog every cell of the map is shown at once.
    if (!on)
        if (CWorld* world = m_manager.World()) world->Grid().m_cellMap.Reset();
}

void CAIMonitor::SetTrackGroup(bool on) {
    m_track = on;
    CWorld* world = m_manager.World();
    if (!world) return;
    if (!on) {
        world->View().FollowObject(-1);
        return;
    }
    // The selected group's leader, while it lives.
    CComputerPlayer* cp = SelectedPlayer();
    if (!cp || m_group < 0 || m_group >= static_cast<int>(cp->Groups().size())) return;
    const int32_t leader = cp->Groups()[static_cast<size_t>(m_group)]->m_leader;
    float x = 0.0f, z = 0.0f;
    if (leader >= 0 && world->Query().Position(leader, &x, &z)) world->View().FollowObject(leader);
}

std::vector<CAIMonitor::SValue> CAIMonitor::CommanderValues(const CComputerPlayer& cp) const {
    std::vector<SValue> v;
    SPlayerView p;
    CWorld* world = m_manager.World();
    const bool known = world && world->Query().Player(cp.PlayerId(), &p);
    int roles[4] = {0, 0, 0, 0};
    for (const auto& g : cp.Groups())
        if (g->m_role >= 0 && g->m_role < 4) ++roles[g->m_role];
    const int units = world ? static_cast<int>(world->Query().UnitsOf(cp.PlayerId()).size()) : 0;
    v.push_back({"Resources", Float(known ? p.resources : 0.0f)});
    v.push_back({"EnergyHelp", Float(known ? p.energyHelp : 0.0f)});
    v.push_back({"Units", Int(units)});
    v.push_back({"Groups", Int(static_cast<int64_t>(cp.Groups().size()))});
    v.push_back({"AttackGroups", Int(roles[0])});
    v.push_back({"DefendGroups", Int(roles[1])});
    v.push_back({"SpyGroups", Int(roles[3])});
    v.push_back({"Phase", Int(cp.Phase())});
    v.push_back({"LearningMatch", Flag(cp.m_learningMatch)});
    for (const SAIParameter& par : cp.Parameters())
        v.push_back({par.name, par.kind == SAIParameter::kFloat  ? Float(par.value)
                               : par.kind == SAIParameter::kBool ? Flag(par.value != 0.0f)
                                                                 : Int(static_cast<int64_t>(par.value))});
    return v;
}

std::vector<CAIMonitor::SValue> CAIMonitor::GroupValues(const CAIGroup& g) {
    std::vector<SValue> v;
    v.push_back({"Role", g.m_role >= 0 && g.m_role < 4 ? kRoles[g.m_role] : "?"});
    v.push_back({"State", g.m_state >= 0 && g.m_state < 4 ? kStates[g.m_state] : "?"});
    v.push_back({"Size", Int(g.m_size)});
    v.push_back({"Members", Int(static_cast<int64_t>(g.m_members.size()))});
    v.push_back({"Full", Flag(g.m_full)});
    v.push_back({"Leader", Int(g.m_leader)});
    v.push_back({"Target", Int(g.m_target)});
    v.push_back({"Guarded", Int(g.m_guarded)});
    v.push_back({"TargetPlayer", Int(g.m_targetPlayer)});
    v.push_back({"AttackFlag", Flag(g.m_attackFlag)});
    return v;
}

void CAIMonitor::Refresh() {
    m_commanderRows.assign(kCommanderRows, SValue());
    m_groupRows.assign(kGroupRows, SValue());
    if (CComputerPlayer* cp = SelectedPlayer()) {
        const std::vector<SValue> values = CommanderValues(*cp);
        for (int i = 0; i < kCommanderRows; ++i)
            m_commanderRows[static_cast<size_t>(i)] =
                values[static_cast<size_t>(m_commanderBinding[i]) % values.size()];
        if (m_group >= static_cast<int>(cp->Groups().size())) m_group = -1;
        if (m_group >= 0) {
            const std::vector<SValue> gv = GroupValues(*cp->Groups()[static_cast<size_t>(m_group)]);
            for (int i = 0; i < kGroupRows; ++i)
                m_groupRows[static_cast<size_t>(i)] = gv[static_cast<size_t>(m_groupBinding[i]) % gv.size()];
        }
    }
    // The lines, top down.
    m_lines.clear();
    int y = 4;
    auto line = [&](const std::string& text) {
        m_lines.push_back(text);
        const int at = y;
        y += m_lineHeight;
        return at;
    };
    m_playerLineY = line("Computer player: " + (m_selected.empty() ? std::string("(none)") : m_selected));
    line("Commander");
    m_commanderY = y;
    for (const SValue& r : m_commanderRows) line("  " + r.name + (r.name.empty() ? "" : ": " + r.text));
    line("  Editable:");
    m_groupLineY = line("Group: " + (m_group < 0 ? std::string("(none)") : std::to_string(m_group)));
    m_groupRowsY = y;
    for (const SValue& r : m_groupRows) line("  " + r.name + (r.name.empty() ? "" : ": " + r.text));
    line("  Editable:");
    m_fogLineY = line(std::string("Fog of war: ") + (m_fog ? "[x]" : "[ ]"));
    m_trackLineY = line(std::string("Track group: ") + (m_track ? "[x]" : "[ ]"));
    line("Commander history:");
    for (const std::string& h : m_history) line("  " + h);
    // The picture is drawn again when a line changed (or the window was
    // uncovered): most ticks change no text.
    if (m_window && (m_lines != m_drawn || m_exposed)) {
        Draw();
        m_drawn = m_lines;
        m_exposed = false;
    }
}

void CAIMonitor::Draw() {
    // Only the lines that changed are drawn again, and only their band of
    // rows is shown anew (all of them after an uncovering).
    CE3DSurface* s = m_surface.get();
    if (!s || !s->Lock()) return;
    const bool all = m_exposed || m_drawn.empty();
    if (all) s->Fill(s->Pack(24, 24, 32));
    const int count = static_cast<int>(std::max(m_lines.size(), m_drawn.size()));
    int top = -1, bottom = -1;
    for (int i = 0; i < count; ++i) {
        const int y = 4 + i * m_lineHeight;
        if (y + m_lineHeight > m_height) break;
        const std::string* now =
            i < static_cast<int>(m_lines.size()) ? &m_lines[static_cast<size_t>(i)] : nullptr;
        const std::string* was =
            i < static_cast<int>(m_drawn.size()) ? &m_drawn[static_cast<size_t>(i)] : nullptr;
        if (!all && now && was && *now == *was) continue;
        if (!all) s->DrawFilledRect(0, y, kWidth - 1, y + m_lineHeight - 1, 24, 24, 32);
        if (now && m_font) {
            const bool heading = now->compare(0, 2, "  ") != 0;
            s->DrawGlyphs(now->c_str(), 8, y, heading ? 255 : 200, heading ? 220 : 200, heading ? 120 : 200,
                          true, true, 0, false);
        }
        if (top < 0) top = y;
        bottom = y + m_lineHeight;
    }
    if (all)
        m_window->Present(s->Bits(), s->m_width, s->m_height, s->Pitch());
    else if (top >= 0)
        m_window->Present(s->Bits(), s->m_width, s->m_height, s->Pitch(), top, bottom);
    s->Unlock();
}
