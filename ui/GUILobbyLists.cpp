// The lists of the join screen and the file lists: the servers the browser
// found (with their details), the users of the chat channel or of the
// contacted server, the chat channels, the list's title, the chat lines, the
// campaigns and the saved games. Each is filled every frame from the
// network game's records (under the browser's lock) or from the disk; a row
// gets its texts, colours, and the row kind and data a click on it acts on
// (ui/GUIBehaviour.cpp). A list panel holds its rows in its first child, one
// object per row whose columns are its children.
#include <strings.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "core/VFSTable.h"
#include "e3d/Font.h"
#include "e3d/Surface.h"
#include "netgame/MasterClient.h"
#include "netgame/NetGame.h"
#include "netgame/ServerBrowser.h"
#include "platform/sys/Path.h"
#include "ui/GUIListRows.h"
#include "ui/GUIObject.h"
#include "ui/Interface.h"
#include "world/Player.h"

namespace {

using GUIRows::Child;
using GUIRows::Rows;
using GUIRows::Scroll;
using GUIRows::SetLine;
using GUIRows::Show;

constexpr uint32_t kGreen = 0x00FF00;

// Row kinds of these lists.
enum : int32_t { kRowServer = 1, kRowChannel = 2, kRowCampaign = 201, kRowSaveSlot = 301 };

// A column: its text, and the row kind and data a click acts on.
void Column(CGUIObject* row, size_t i, const std::string& text, int32_t kind, int32_t data) {
    CGUIObject* c = Child(row, i);
    if (!c) return;
    SetLine(c, text);
    c->m_RowKind = kind;
    c->m_RowData = data;
}

// A mark inside a column (its first child): shown with the data, or hidden.
void Mark(CGUIObject* row, size_t column, bool shown, int32_t kind, int32_t data) {
    CGUIObject* m = Child(Child(row, column), 0);
    if (!m) return;
    Show(m, shown);
    m->m_RowKind = shown ? kind : 0;
    m->m_RowData = shown ? data : 0;
}

CServerBrowser* Browser(CInterface* ui) {
    CNetGame* net = ui->NetGame();
    return net ? net->m_browser.get() : nullptr;
}

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
    char text[512];
    va_list ap;
    va_start(ap, format);
    std::vsnprintf(text, sizeof text, format, ap);
    va_end(ap);
    return text;
}

// The system text of a code that a server sent (a number outside the texts
// it may name shows "?").
std::string CodeText(CInterface* ui, int32_t code, int32_t first, int32_t count, int32_t base) {
    if (code < first || code >= first + count) return "?";
    return ui->GetSystemText(base + code - first);
}

// The common fill of the two server lists: rows of the visible servers from
// the scroll position, a click on a row makes its server the contact.
template <class Fill>
void FillServers(CInterface* ui, CGUIObject* list, Fill fill) {
    std::vector<CGUIObject*>* rows = Rows(list);
    CServerBrowser* b = Browser(ui);
    if (!rows) return;
    if (!b) {
        for (CGUIObject* row : *rows) Show(row, false);
        return;
    }
    std::lock_guard<std::recursive_mutex> hold(b->m_lock);
    const int32_t count = int32_t(b->m_visible.size());
    ui->m_serverListScroll = Scroll(ui->m_serverListScroll, count, int32_t(rows->size()));
    const CServerListEntry* contact = b->Contact();
    for (size_t r = 0; r < rows->size(); ++r) {
        CGUIObject* row = (*rows)[r];
        const size_t at = size_t(ui->m_serverListScroll) + r;
        if (at >= b->m_visible.size()) {
            Show(row, false);
            continue;
        }
        const CServerListEntry* e = b->m_visible[at];
        Show(row, true);
        fill(row, e);
        Mark(row, 0, e == contact, kRowServer, e->m_id);
        Mark(row, 6, e != contact && e->m_marked, kRowServer, e->m_id);
    }
}

}  // namespace

std::string CInterface::ConnectionText(int32_t kind) {
    static const char* const kModems[4] = {"14.4", "28.8", "33.6", "57.6"};
    if (kind == 0) return GetSystemText(48);
    if (kind >= 1 && kind <= 4) return kModems[kind - 1];
    if (kind >= 5 && kind <= 13) return GetSystemText(48 + kind);
    return "?";
}

void CInterface::DrawSortArrow(int32_t x, int32_t y, int32_t direction) {
    CE3DSurface* canvas = Surface();
    if (!canvas || !canvas->Lock()) return;
    for (int row = 0; row < 5; ++row) {
        const int width = direction == 0 ? 9 - 2 * row : 1 + 2 * row;
        const int left = x + 4 - width / 2;
        for (int i = 0; i < width; ++i) canvas->PutPixel(left + i, y + row, 0, 255, 0);
    }
    canvas->Unlock();
}

void CInterface::FillMasterServerList(CGUIObject* list) {
    // The header objects are the list's children after the rows and the
    // scroll bar; the arrow marks the column the list is sorted by.
    if (m_sortColumn >= 0 && m_sortColumn <= 4)
        if (CGUIObject* header = Child(list, 2 + size_t(m_sortColumn)))
            DrawSortArrow(
                m_sortColumn == 4 ? header->m_ScreenX - 12 : header->m_ScreenX + header->m_TextSize[0] + 1,
                header->m_ScreenY + 1, m_sortDirection);
    FillServers(this, list, [this](CGUIObject* row, const CServerListEntry* e) {
        Column(row, 1, e->m_name, kRowServer, e->m_id);
        Column(row, 2, e->m_map, kRowServer, e->m_id);
        Column(row, 3, e->m_location == 0 ? std::string("?") : CodeText(this, e->m_location, 1, 13, 31),
               kRowServer, e->m_id);
        Column(row, 4, e->m_game, kRowServer, e->m_id);
        Column(row, 5, Format("%d / %d", (int)e->m_players, (int)e->m_maxPlayers), kRowServer, e->m_id);
    });
}

void CInterface::FillServerInfo(CGUIObject* list) {
    if (m_sortColumn >= 5)
        if (CGUIObject* header = Child(list, 2 + size_t(m_sortColumn - 5)))
            DrawSortArrow(header->m_ScreenX + header->m_TextSize[0] + 1, header->m_ScreenY + 4,
                          m_sortDirection);
    FillServers(this, list, [this](CGUIObject* row, const CServerListEntry* e) {
        const uint32_t ip = e->m_address.ip;
        Column(row, 1, e->m_name, kRowServer, e->m_id);
        Column(row, 2,
               Format("%d %d %d %d:%d", int(ip >> 24), int((ip >> 16) & 255), int((ip >> 8) & 255),
                      int(ip & 255), int(e->m_address.port)),
               kRowServer, e->m_id);
        Column(row, 3, Format("%d", (int)std::lround(e->m_ping * 1000.0f)), kRowServer, e->m_id);
        Column(row, 4, e->m_systemKind == 0 ? std::string("?") : CodeText(this, e->m_systemKind, 1, 8, 178),
               kRowServer, e->m_id);
        Column(row, 5, CodeText(this, e->m_connection, 0, 14, 48), kRowServer, e->m_id);
        Column(row, 6, Format("%.1f", e->m_ping), kRowServer, e->m_id);
    });
}

void CInterface::FillUserList(CGUIObject* list) {
    CServerBrowser* b = Browser(this);
    CNetGame* net = NetGame();
    std::string status;
    float progress = 0.0f;
    if (b) {
        std::lock_guard<std::recursive_mutex> hold(b->m_lock);
        status = b->m_status;
        progress = std::min(b->m_progress, 1.0f);
    }
    if (CGUIObject* p = m_Panels[kPanelRefreshProgress]) {
        Show(p, progress > 0.0f);
        if (progress > 0.0f) SetLine(p, Format("%d%%", int(progress * 100.0f)));
    }
    // The search's status line (the browser's).
    if (CGUIObject* s = m_Panels[kPanelRefreshServer]) {
        SetLine(s, status);
        s->m_Color1 = s->m_Color2 = kGreen;
    }
    std::vector<CGUIObject*>* rows = Rows(list);
    if (!rows) return;
    // The users of the channel, else the players of the contacted server.
    std::vector<SChatUser> users;
    if (net && net->m_master && net->m_master->CurrentChannel()) {
        users = net->m_master->CurrentChannel()->users;
    } else if (b) {
        std::lock_guard<std::recursive_mutex> hold(b->m_lock);
        if (const CServerListEntry* contact = b->Contact()) users = contact->m_playerList;
    }
    m_userListScroll = Scroll(m_userListScroll, int32_t(users.size()), int32_t(rows->size()));
    for (size_t r = 0; r < rows->size(); ++r) {
        CGUIObject* row = (*rows)[r];
        const size_t at = size_t(m_userListScroll) + r;
        if (at >= users.size()) {
            Show(row, false);
            continue;
        }
        const SChatUser& u = users[at];
        Show(row, true);
        Column(row, 0, u.name, 0, 0);
        Column(row, 1, Format("%d", (int)u.value), 0, 0);
        Column(row, 2, ConnectionText(u.kind), 0, 0);
        // The connection's colour runs from green (quick) to red (slow).
        if (CGUIObject* c = Child(row, 2)) {
            const float t = std::min(u.latency * 1000.0f, 800.0f) * 0.00125f;
            const uint32_t red = uint32_t(255.0f * std::min(2.0f * t, 1.0f));
            const uint32_t green = uint32_t(255.0f * std::min(2.0f * (1.0f - t), 1.0f));
            c->m_Color1 = c->m_Color2 = red | (green << 8);
        }
    }
}

void CInterface::FillChatChannelList(CGUIObject* list) {
    std::vector<CGUIObject*>* rows = Rows(list);
    CNetGame* net = NetGame();
    if (!rows) return;
    CMasterClient* master = net ? net->m_master.get() : nullptr;
    const std::vector<SChatChannel> none;
    const std::vector<SChatChannel>& channels = master ? master->m_channels : none;
    m_channelListScroll = Scroll(m_channelListScroll, int32_t(channels.size()), int32_t(rows->size()));
    for (size_t r = 0; r < rows->size(); ++r) {
        CGUIObject* row = (*rows)[r];
        const size_t at = size_t(m_channelListScroll) + r;
        if (at >= channels.size()) {
            Show(row, false);
            continue;
        }
        const SChatChannel& c = channels[at];
        Show(row, true);
        Mark(row, 0, master && c.id == master->m_currentChannel, kRowChannel, c.id);
        Column(row, 1, c.name, kRowChannel, c.id);
        Column(row, 2, Format("%d", (int)c.users.size()), kRowChannel, c.id);
    }
}

void CInterface::FillListTitle(CGUIObject* list) {
    CServerBrowser* b = Browser(this);
    CNetGame* net = NetGame();
    std::string count, name;
    if (b) {
        std::lock_guard<std::recursive_mutex> hold(b->m_lock);
        if (const CServerListEntry* contact = b->Contact()) {
            count = Format("%s / %d", GetSystemText(kSysLidPlayers), (int)contact->m_players);
            name = "SRV# " + contact->m_name;
        }
    }
    if (count.empty() && net && net->m_master)
        if (const SChatChannel* c = net->m_master->CurrentChannel()) {
            count = Format("%s / %d", GetSystemText(kSysLidPlayers), (int)c->users.size());
            name = "CH# " + c->name;
        }
    if (count.empty()) {
        Show(list, false);
        return;
    }
    Show(list, true);
    SetLine(Child(list, 0), count);
    SetLine(Child(list, 3), name);
}

void CInterface::DrawChatLines(CGUIObject* object, int32_t left, int32_t top, int32_t right, int32_t bottom) {
    CNetGame* net = NetGame();
    CE3DSurface* canvas = Surface();
    if (!net || !canvas || net->m_chatLines.empty()) return;
    CE3DFont* font = object && object->m_Font ? object->m_Font : m_font;
    if (!font || !canvas->Lock()) return;
    const SSurfaceRect clip = canvas->m_clipRect;
    const uint32_t flags = canvas->m_textFlags;
    canvas->SetFont(font);
    canvas->m_textFlags = 0;
    const int line = font->m_height + 1;
    // From the newest line up (the view may stand some lines back), each
    // wrapped to the width, until the top is passed.
    const int32_t count = int32_t(net->m_chatLines.size());
    int32_t y = bottom;
    for (int32_t i = count - 1 - std::min(m_chatView, count - 1); i >= 0 && y > top; --i) {
        const CNetGame::SChatLine& l = net->m_chatLines[size_t(i)];
        canvas->m_clipRect = SSurfaceRect{left, top, right, y};
        canvas->ClampClip();
        const int lines =
            canvas->DrawText(l.text.c_str(), false, line, l.rgb[0], l.rgb[1], l.rgb[2], true, false);
        y -= std::max(1, lines) * line;
    }
    canvas->m_clipRect = clip;
    canvas->ClampClip();
    canvas->m_textFlags = flags;
    canvas->Unlock();
}

void CInterface::FillCampaignList(CGUIObject* list) {
    std::vector<CGUIObject*>* rows = Rows(list);
    if (!rows) return;
    // The campaigns: the folders below "Campaigns".
    m_campaignNames.clear();
    CStrBuf folder(GetPath("Campaigns", ""));
    SVFSEntry* entry = g_VFS.Find(folder.GetText());
    for (SVFSEntry* e = entry && entry->isFolder ? entry->firstChild : nullptr; e; e = e->nextSibling) {
        if (!e->isFolder) continue;
        const char* slash = std::strrchr(e->path.GetText(), '\\');
        m_campaignNames.emplace_back(slash ? slash + 1 : e->path.GetText());
    }
    const int32_t count = int32_t(m_campaignNames.size());
    m_campaignListScroll = Scroll(m_campaignListScroll, count, int32_t(rows->size()));
    for (size_t r = 0; r < rows->size(); ++r) {
        CGUIObject* row = (*rows)[r];
        const int32_t at = m_campaignListScroll + int32_t(r);
        if (at >= count) {
            Show(row, false);
            continue;
        }
        Show(row, true);
        SetLine(row, m_campaignNames[size_t(at)].GetText());
        row->m_RowKind = kRowCampaign;
        row->m_RowData = 1;
    }
}

void CInterface::FillSaveSlots(CGUIObject* list) {
    std::vector<CGUIObject*>* rows = Rows(list);
    if (!rows) return;
    // One listing of the folder, files only.
    m_saveSlots.clear();
    std::vector<SSysFindData> found;
    CStrBuf pattern(GetPath("Save", "*"));
    if (Sys_FindFiles(pattern.GetText(), found))
        for (const SSysFindData& f : found) {
            if (f.isFolder) continue;
            // A saved game being written (its temporary file) is no slot.
            if (f.name.find(".tmp") != std::string::npos) continue;
            SSaveSlot s;
            s.name = f.name;
            auto two = [](int32_t v) { return v < 10 ? Format("0%d", (int)v) : Format("%d", (int)v); };
            s.date =
                Format("%d-%s-%s", (int)f.written[0], two(f.written[1]).c_str(), two(f.written[2]).c_str());
            s.time = two(f.written[3]) + ":" + two(f.written[4]) + ":" + two(f.written[5]);
            m_saveSlots.push_back(s);
        }
    const int32_t count = int32_t(m_saveSlots.size());
    m_saveSlotScroll = Scroll(m_saveSlotScroll, count, int32_t(rows->size()));
    for (size_t r = 0; r < rows->size(); ++r) {
        CGUIObject* row = (*rows)[r];
        const int32_t at = m_saveSlotScroll + int32_t(r);
        if (at >= count) {
            row->m_ChildrenHidden = 1;
            continue;
        }
        row->m_ChildrenHidden = 0;
        const SSaveSlot& s = m_saveSlots[size_t(at)];
        Column(row, 0, s.name, kRowSaveSlot, at + 1);
        Column(row, 1, s.date, kRowSaveSlot, at + 1);
        Column(row, 2, s.time, kRowSaveSlot, at + 1);
    }
}

void CInterface::ResetScorePanel(CGUIObject* panel) {
    static const char* const kTexts[7] = {
        "Score : 0", "Time  : 0:00:00", "Kills : 0", "Losses : 0", "Resources : 0", "", ""};
    for (size_t i = 0; i < 7; ++i) SetLine(Child(panel, i), kTexts[i]);
}
