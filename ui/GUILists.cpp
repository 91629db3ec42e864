// The lists of the lobby screen: the maps this machine can host, the
// players of the session and the server's name; and the load screen's
// saved games. A list panel bound by its
// "ID" holds its rows in its first child (one row object each, their
// columns their children); its second and third children hold the scroll
// buttons. Every frame the list is filled from the network game and the
// file table: texts, colours, which rows show, and the row kind and data
// that a click on the row acts on (ui/GUIBehaviour.cpp).
#include <strings.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "console/CommandInterpreter.h"
#include "console/ConfigText.h"
#include "core/VFSTable.h"
#include "e3d/Surface.h"
#include "netgame/NetGame.h"
#include "platform/sys/Path.h"
#include "ui/GUIObject.h"
#include "ui/GUIRoles.h"
#include "ui/Interface.h"
#include "world/Player.h"

namespace {

constexpr uint32_t kWhite = 0xFFFFFF, kGrey = 0x808080, kDarkGreen = 0x008000, kGreen = 0x00FF00;

CNetGame* Net(CInterface* ui) {
    return ui->NetGame();
}

// The rows of a list: its first child's children.
std::vector<CGUIObject*>* Rows(CGUIObject* list) {
    return list && !list->m_Children.empty() ? &list->m_Children[0]->m_Children : nullptr;
}

void Show(CGUIObject* o, bool shown) {
    if (!o) return;
    o->m_Visible = shown ? 1 : 0;
    o->m_ChildrenHidden = shown ? 0 : 1;
}

// A text line changed only when it differs, so an unchanged list asks for
// no redraw.
void SetLine(CGUIObject* o, const char* text) {
    if (!o) return;
    if (o->m_TextLines.size() == 1 && o->m_TextLines[0].Equals(text)) return;
    o->SetText(text);
}

void SetRow(CGUIObject* o, const char* text, uint32_t normal, uint32_t hover, int32_t kind, int32_t data) {
    if (!o) return;
    SetLine(o, text);
    o->m_Color1 = normal;
    o->m_Color2 = hover;
    o->m_RowKind = kind;
    o->m_RowData = data;
    Show(o, true);
}

// The common scroll rule: no further than a full last page, not below 0.
int32_t Scroll(int32_t position, int32_t records, int32_t rows) {
    return std::max(0, std::min(position, records - rows));
}

// A "%d" part of a date or time, "0%d" below 10.
std::string TwoDigits(int v) {
    return (v < 10 ? "0" : "") + std::to_string(v);
}

CGUIObject* Child(CGUIObject* o, size_t i) {
    return o && i < o->m_Children.size() ? o->m_Children[i] : nullptr;
}

}  // namespace

bool CInterface::SelectMap(const char* name) {
    CNetGame* net = Net(this);
    if (!net || !net->m_hosting || !name) return false;
    // The map command names the map for this machine and tells the clients.
    CCommandInterpreter* ip = ConsoleInterpreter();
    if (ip) ip->Execute(false, ("Map(" + ConfigText_Quote(name) + ");").c_str());
    return true;
}

void CInterface::FillMapList(CGUIObject* list) {
    CNetGame* net = Net(this);
    std::vector<CGUIObject*>* rows = Rows(list);
    if (!net || !rows) return;
    const CServerInfo& info = net->m_joinedInfo;
    if (CGUIObject* title = m_Panels[kPanelMapTitle]) SetLine(title, info.m_mapFile.GetText());
    CStrBuf size, description;
    size.Format("     %dx%d, %d Player(s), by %s", (int)info.m_width, (int)info.m_height,
                (int)info.m_designedPlayers, info.m_author.GetText());
    description.Format("     %s.", info.m_description.GetText());
    if (!net->m_hosting) {
        // A client plays the server's map: its name and its two lines.
        for (size_t i = 0; i < rows->size(); ++i) {
            CGUIObject* row = (*rows)[i];
            if (i == 0)
                SetRow(row, info.m_mapFile.GetText(), kWhite, kWhite, 0, 0);
            else if (i < 3)
                SetRow(row, i == 1 ? size.GetText() : description.GetText(), kGrey, kGrey, 0, 0);
            else
                Show(row, false);
        }
        return;
    }
    // The maps: the folders below "Maps", by name.
    m_mapNames.clear();
    {
        CStrBuf maps(GetPath("Maps", ""));
        SVFSEntry* folder = g_VFS.Find(maps.GetText());
        for (SVFSEntry* e = folder && folder->isFolder ? folder->firstChild : nullptr; e;
             e = e->nextSibling) {
            if (!e->isFolder) continue;
            const char* slash = std::strrchr(e->path.GetText(), '\\');
            m_mapNames.emplace_back(slash ? slash + 1 : e->path.GetText());
        }
    }
    std::sort(m_mapNames.begin(), m_mapNames.end(),
              [](const CStrBuf& a, const CStrBuf& b) { return strcasecmp(a.GetText(), b.GetText()) < 0; });
    const char* first = m_mapNames.empty() ? "" : m_mapNames[0].GetText();
    if (net->m_serverInfo.m_mapFile.IsEmpty() && *first) SelectMap(first);
    if (m_RemakeMapChange) {
        if (*first) SelectMap(first);
        m_RemakeMapChange = 0;
    }
    const int32_t count = (int32_t)m_mapNames.size();
    m_mapListScroll = Scroll(m_mapListScroll, count, (int32_t)rows->size() - 2);
    size_t row = 0;
    for (int32_t i = m_mapListScroll; i < count && row < rows->size(); ++i) {
        const char* name = m_mapNames[i].GetText();
        if (net->m_serverInfo.m_mapFile.EqualsNoCase(name)) {
            SetRow((*rows)[row++], name, kWhite, kWhite, 200, 1);
            if (row < rows->size()) SetRow((*rows)[row++], size.GetText(), kGrey, kGrey, 0, 0);
            if (row < rows->size()) SetRow((*rows)[row++], description.GetText(), kGrey, kGrey, 0, 0);
        } else {
            SetRow((*rows)[row++], name, kDarkGreen, kGreen, 200, 1);
        }
    }
    for (; row < rows->size(); ++row) Show((*rows)[row], false);
}

void CInterface::FillLobbyPlayerList(CGUIObject* list) {
    CNetGame* net = Net(this);
    std::vector<CGUIObject*>* rows = Rows(list);
    if (!net || !rows) return;
    std::vector<CPlayer*> players;
    for (CPlayer* p : net->m_players.m_players)
        if (p != net->m_players.m_neutral) players.push_back(p);
    const int32_t count = (int32_t)players.size(), shown = (int32_t)rows->size();
    // The scroll buttons only when there is more than a page.
    CGUIObject* scroll = Child(list, 1);
    for (size_t i = 0; scroll && i < scroll->m_Children.size(); ++i)
        Show(scroll->m_Children[i], count - 1 > shown);
    m_lobbyListScroll = Scroll(m_lobbyListScroll, count, shown);
    CPlayer* local = net->m_players.m_local;
    const bool skirmish = GUIGame().GameType() == 1;
    CE3DSurface* canvas = Surface();
    for (int32_t r = 0; r < shown; ++r) {
        CGUIObject* row = (*rows)[r];
        const int32_t at = m_lobbyListScroll + r;
        if (at >= count) {
            Show(row, false);
            continue;
        }
        CPlayer* p = players[at];
        const bool mine = p == local;
        const uint32_t colour = mine ? kGreen : kDarkGreen;
        Show(row, true);
        row->m_RowKind = 0;
        row->m_RowData = p->m_id;
        auto column = [&](size_t i, const char* text, int32_t kind) {
            CGUIObject* c = Child(row, i);
            if (!c) return;
            if (text) SetLine(c, text);
            c->m_Color1 = c->m_Color2 = colour;
            c->m_RowKind = kind;
            c->m_RowData = p->m_id;
        };
        // 0: the player's colour, filled over the column where it was drawn.
        column(0, nullptr, 100);
        if (CGUIObject* c = Child(row, 0);
            c && canvas && c->m_Size[0] > 0 && c->m_Size[1] > 0 && canvas->Lock()) {
            canvas->DrawFilledRect(c->m_ScreenX, c->m_ScreenY, c->m_ScreenX + c->m_Size[0] - 1,
                                   c->m_ScreenY + c->m_Size[1] - 1, (uint8_t)std::lround(p->m_colour[0]),
                                   (uint8_t)std::lround(p->m_colour[1]),
                                   (uint8_t)std::lround(p->m_colour[2]));
            canvas->Unlock();
        }
        column(1, p->m_name.GetText(), 101);
        column(2, p->m_race ? p->m_race->m_name.GetText() : "Unknown", 102);
        column(3, p->m_team ? p->m_team->m_name.GetText() : "None", 103);
        CStrBuf ping;
        const int32_t ms = (int32_t)std::lround(p->m_latency * 1000.0f);
        if (ms > 0) ping.Format("%d", (int)ms);
        column(4, ping.GetText(), 0);
        column(5, p->m_computer ? "-" : mine ? "local" : "network", 0);
        column(6, nullptr, 0);
        if (CGUIObject* c = Child(row, 7)) {
            const bool offered = !mine && !skirmish;
            Show(c, offered);
            if (offered) {
                const int state =
                    (local && local->IsAlliedWith(p) ? 1 : 0) | (local && p->IsAlliedWith(local) ? 2 : 0);
                static const char* const kMarks[4] = {"-", ">", "<", "<>"};
                column(7, kMarks[state], 107);
            }
        }
        Show(Child(row, 8), mine);
    }
}

void CInterface::FillServerName(CGUIObject* panel) {
    CNetGame* net = Net(this);
    if (!panel || !net) return;
    if (GUIGame().GameType() != 2)
        SetLine(panel, GetSystemText(kSysLidServerSkirmish));
    else if (m_mode != 3)
        SetLine(panel, net->m_serverInfo.m_name.GetText());
}

void CInterface::FillSaveSlots(CGUIObject* list) {
    std::vector<CGUIObject*>* rows = Rows(list);
    if (!rows) return;
    // The saved games: the files of "Save" (the player's own data too where
    // the installation cannot be written), by name, with when each was
    // written.
    m_saveNames.clear();
    m_saveDates.clear();
    m_saveTimes.clear();
    CStrBuf folder(GetPath("Save", ""));
    std::vector<SSysFindData> found;
    Sys_FindFiles((std::string(folder.GetText()) + "\\*").c_str(), found);
    std::vector<std::string> names;
    for (const SSysFindData& f : found)
        if (!f.isFolder && !f.name.empty() && f.name[0] != '.') names.push_back(f.name);
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return strcasecmp(a.c_str(), b.c_str()) < 0;
    });
    for (const std::string& name : names) {
        SSysFileTime t;
        Sys_GetFileTime((std::string(folder.GetText()) + "\\" + name).c_str(), t);
        m_saveNames.emplace_back(name.c_str());
        m_saveDates.emplace_back(
            (std::to_string(t.year) + "-" + TwoDigits(t.month) + "-" + TwoDigits(t.day)).c_str());
        m_saveTimes.emplace_back(
            (TwoDigits(t.hour) + ":" + TwoDigits(t.minute) + ":" + TwoDigits(t.second)).c_str());
    }
    const int32_t count = static_cast<int32_t>(m_saveNames.size());
    m_saveSlotsScroll = Scroll(m_saveSlotsScroll, count, static_cast<int32_t>(rows->size()));
    for (size_t r = 0; r < rows->size(); ++r) {
        CGUIObject* row = (*rows)[r];
        const int32_t at = m_saveSlotsScroll + static_cast<int32_t>(r);
        if (at >= count) {
            Show(row, false);
            continue;
        }
        const size_t i = static_cast<size_t>(at);
        const char* columns[3] = {m_saveNames[i].GetText(), m_saveDates[i].GetText(),
                                  m_saveTimes[i].GetText()};
        if (row->m_Children.empty()) {
            // A row of one text: the name, then when it was written.
            const std::string line = std::string(columns[0]) + "   " + columns[1] + " " + columns[2];
            SetRow(row, line.c_str(), kDarkGreen, kGreen, 301, at + 1);
            continue;
        }
        Show(row, true);
        for (size_t c = 0; c < 3 && c < row->m_Children.size(); ++c)
            SetRow(row->m_Children[c], columns[c], c ? kGrey : kDarkGreen, kGreen, 301, at + 1);
    }
}

void CInterface::LoadSaveSlot(int32_t slot) {
    if (slot < 1 || slot > static_cast<int32_t>(m_saveNames.size())) return;
    // This machine hosts the game that continues the saved one, which names
    // its game type and its map; the game starts at once.
    CCommandInterpreter* ip = ConsoleInterpreter();
    if (!ip) return;
    const std::string name = ConfigText_Quote(m_saveNames[static_cast<size_t>(slot - 1)].GetText());
    ip->Execute(false, ("StartLocalServer(); LoadSavedGame(" + name + "); StartGame();").c_str());
}
