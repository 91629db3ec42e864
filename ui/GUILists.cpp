// The lists of the lobby screen: the maps this machine can host, the
// players of the session and the server's name. A list panel bound by its
// "ID" holds its rows in its first child (one row object each, their
// columns their children); its second and third children hold the scroll
// buttons. Every frame the list is filled from the network game and the
// file table: texts, colours, which rows show, and the row kind and data
// that a click on the row acts on (ui/GUIBehaviour.cpp).
#include <strings.h>

#include <algorithm>
#include <cmath>

#include "console/CommandInterpreter.h"
#include "console/ConfigText.h"
#include "core/VFSTable.h"
#include "e3d/Surface.h"
#include "netgame/MasterClient.h"
#include "netgame/NetGame.h"
#include "ui/GUIListRows.h"
#include "ui/GUIObject.h"
#include "ui/GUIRoles.h"
#include "ui/Interface.h"
#include "world/Player.h"

namespace {

using GUIRows::Child;
using GUIRows::Rows;
using GUIRows::Scroll;
using GUIRows::SetLine;
using GUIRows::Show;

constexpr uint32_t kWhite = 0xFFFFFF, kGrey = 0x808080, kDarkGreen = 0x008000, kGreen = 0x00FF00;

CNetGame* Net(CInterface* ui) {
    return ui->NetGame();
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
    // The lobby ends the master's chat (once each time it shows): its
    // channels go and the chat link closes.
    if (!m_lobbyChatEnded) {
        m_lobbyChatEnded = 1;
        if (net->m_master && net->m_master->IsChatOpen()) {
            net->m_master->CloseChat();
            net->m_master->DeleteChannels();
        }
    }
    CE3DSurface* surface = Surface();
    if (m_RejectMode && surface && m_font && surface->Lock()) {
        surface->SetFont(m_font);
        surface->DrawGlyphs("Reject Player", m_cursorX, m_cursorY + 20, 255, 255, 255, true, false, 0, false);
        surface->Unlock();
    }
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
        CStrBuf link;
        link.Format("%s / %d", ConnectionText(p->m_connectionKind).c_str(),
                    (int)std::lround(p->m_latency * 1000.0f));
        column(5, p->m_computer ? "-" : link.GetText(), 0);
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
