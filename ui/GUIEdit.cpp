// The GUI's text input and its modal dialog. An edit box is any text object
// that editing starts on (a settings value, a player's name in the lobby,
// the new team's and channel's names, the server's name, the address to
// join, a chat line): while it is edited (mode 3) the input's edit field
// works on the interface's edit line with the keys of Commands_GUISetting.cfg,
// the box shows the line with its caret, and g_EditEnter acts on the text
// (g_ForceOutFromEditMode drops it). A box never holds more than its field
// takes: the line is cut to the field's length as it is typed.
//
// The confirm dialog (mode 4) asks with a message and up to three buttons;
// while it is open no GUI object takes the mouse.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "console/CommandInterpreter.h"
#include "console/ConfigText.h"
#include "console/EditField.h"
#include "e3d/BitmapSurface.h"
#include "e3d/Font.h"
#include "e3d/Surface.h"
#include "netgame/NetGame.h"
#include "netgame/ServerBrowser.h"
#include "ui/GUIListRows.h"
#include "ui/GUIObject.h"
#include "ui/GUIRoles.h"
#include "ui/Interface.h"
#include "ui/Settings.h"
#include "world/Player.h"
#include "world/World.h"
#include "world/WorldGrid.h"

namespace {

using GUIRows::Child;

enum : int32_t { kModeNormal = 0, kModeEdit = 3, kModeConfirm = 4 };
enum : int32_t { kRowLobbyPlayer = 101 };
constexpr uint32_t kDarkGreen = 0x008000, kGreen = 0x00FF00;

bool IsPanel(CInterface* ui, const CGUIObject* o, EGUIPanel panel) {
    return o && ui->m_Panels[panel] == o;
}

// The chat input lines: inside ServerChat its first child's first child,
// inside LobbyChat its first child's first child.
CGUIObject* ChatInput(CInterface* ui, EGUIPanel panel) {
    return Child(Child(ui->m_Panels[panel], 0), 0);
}

void RunCommand(CInterface* ui, const std::string& text) {
    if (CCommandInterpreter* ip = ui->ConsoleInterpreter()) ip->Execute(false, text.c_str());
}

// The bands of the dialog's buttons in the 640 x 480 design (both bounds
// outside the band): middle, left, right, with the answer each gives.
struct SConfirmBand {
    int index, left, right, answer;
};
constexpr SConfirmBand kConfirmBands[3] = {{1, 285, 356, 2}, {0, 188, 265, 1}, {2, 377, 455, 3}};

void SetCaption(CGUIObject* o, const char* text, uint32_t colour) {
    o->SetText(text);
    o->m_Color1 = colour;
}

}  // namespace

int32_t CInterface::EditLimit(const CGUIObject* object) const {
    if (!object) return 0;
    if (object == m_editObject && m_editTarget) return m_editTargetLimit;
    if (object->m_SettingEntry) {
        const CSettingEntry* e = object->m_SettingEntry;
        if (e->m_kind == kSettingChars || e->m_kind == kSettingString) return e->m_maxLength;
        return 64;  // a number as typed
    }
    if (object->m_RowKind == kRowLobbyPlayer) return CPlayer::kMaxNameLength;
    if (m_Panels[kPanelServerName] == object) return 63;
    if (m_Panels[kPanelCreateTeam] == object || m_Panels[kPanelCreateChannel] == object) return 255;
    return 255;  // a chat line, and any other line
}

void CInterface::EnterEditMode(CGUIObject* object) {
    if (!object) return;
    object->m_SizeKnown = 0;
    // Editing under way ends without acting on its text.
    if (m_editObject && m_editObject != object) LeaveEditMode(true);
    m_editObject = object;
    m_settingsEdit = object->m_TextLines.empty() ? "" : object->m_TextLines[0].GetText();
    m_mode = kModeEdit;
    m_caretOn = 1;
    m_caretTime = ClockNow();
    m_GUIChanged = 1;
}

void CInterface::DrawEditCaret(CE3DSurface* canvas) {
    CGUIObject* o = m_editObject;
    if (m_mode != kModeEdit || !o) return;
    // The field never holds more than the box takes.
    const int32_t limit = EditLimit(o);
    if (limit > 0 && m_settingsEdit.GetLength() > limit) {
        std::string cut(m_settingsEdit.GetText(), size_t(limit));
        m_settingsEdit = cut.c_str();
    }
    const CEditField* field = GUIGame().GUIEdit();
    if (field && field->Attached() == &m_settingsEdit) {
        if (o->m_TextLines.empty()) o->m_TextLines.emplace_back();
        if (!o->m_TextLines[0].Equals(m_settingsEdit.GetText())) {
            o->m_TextLines[0] = m_settingsEdit;
            o->m_SizeKnown = 0;
        }
    }
    const uint64_t now = ClockNow(), freq = ClockFrequency() ? ClockFrequency() : 1;
    if (now - m_caretTime > freq / 4) {
        m_caretOn = !m_caretOn;
        m_caretTime = now;
    }
    if (!canvas || !m_caretOn || !field || !o->m_Font) return;
    const CE3DFont* font = o->m_Font;
    const int offset = field->CursorOffset([font](uint8_t c) { return font->GlyphWidth(c); });
    m_caretX = offset < 0 ? 0 : offset;
    int32_t x = o->m_ScreenX + m_caretX + 1;
    if (o->m_TextAlign == 1) x -= o->m_TextSize[0] / 2;
    if (o->m_TextAlign == 2) x -= o->m_TextSize[0];
    const int32_t y = o->m_ScreenY, h = o->m_FontHeight;
    int32_t top = y + h - 10, bottom = y + h - 3;
    if (h == 6) {
        top = y - 2;
        bottom = y + 5;
    } else if (h == 16) {
        top = y + 3;
        bottom = y + 12;
    }
    if (!canvas->Lock()) return;
    const uint32_t c = o->m_Color2;
    canvas->DrawLine(x, top, x, bottom, uint8_t(c & 0xFF), uint8_t((c >> 8) & 0xFF),
                     uint8_t((c >> 16) & 0xFF));
    canvas->Unlock();
}

void CInterface::LeaveEditMode(bool cancel) {
    CGUIObject* e = m_editObject;
    if (!e) {
        if (m_mode == kModeEdit) m_mode = kModeNormal;
        return;
    }
    CNetGame* net = NetGame();
    CPlayer* local = net ? net->LocalPlayer() : nullptr;
    const int32_t limit = EditLimit(e);
    std::string text = m_settingsEdit.GetText();
    if (limit > 0 && text.size() > size_t(limit)) text.resize(size_t(limit));
    m_GUIChanged = 1;
    const bool leftHeld = m_mouseState.left != 0;
    CGUIObject* serverChat = ChatInput(this, kPanelServerChat);
    CGUIObject* lobbyChat = ChatInput(this, kPanelLobbyChat);
    if (!cancel) {
        // A settings value: the entry takes it (clamped as its list says).
        if (e->m_SettingEntry && e->m_ListOwner) e->m_SettingEntry->SetFromText(text.c_str());
        if (m_editTarget) {
            *m_editTarget = text.c_str();
            m_editTarget = nullptr;
        }
        // An address typed on the join screen: the browser's server of that
        // address becomes the contact.
        if ((IsPanel(this, e, kPanelTCPEditChild1) || IsPanel(this, e, kPanelTCPEditChild2)) && net &&
            net->m_browser) {
            std::lock_guard<std::recursive_mutex> hold(net->m_browser->m_lock);
            for (CServerListEntry* s : net->m_browser->m_visible)
                if (strcasecmp(s->AddressText().c_str(), text.c_str()) == 0) {
                    net->m_browser->Connect(s);
                    break;
                }
        }
        if (e->m_RowKind == kRowLobbyPlayer && net)
            if (CPlayer* p = net->FindPlayerById(e->m_RowData)) p->SetName(text.c_str());
        if (IsPanel(this, e, kPanelCreateTeam) && !leftHeld && local) {
            const std::string name = text.empty() || text == " " ? "Unnamed team" : text;
            RunCommand(this, "CreateTeam(" + ConfigText_Quote(name.c_str()) + ");");
            m_createdTeam = name.c_str();
        }
        if (IsPanel(this, e, kPanelCreateChannel) && !leftHeld)
            RunCommand(this, "Join(" + ConfigText_Quote(text.c_str()) + ");");
        if (IsPanel(this, e, kPanelServerName) && !leftHeld && net && net->m_hosting)
            RunCommand(this, "srv_Name(" + ConfigText_Quote(text.c_str()) + ");");
        if (e == serverChat || e == lobbyChat) {
            // A chat line: "/..." runs as a console line, anything else is
            // said; the box stays for the next line.
            if (!text.empty() && text[0] == '/') {
                const std::string line = text.substr(1) + " ;";
                m_console.Print(line.c_str(), false, 255, 255, 255, true);
                m_console.ExecuteCommandLine(line.c_str());
            } else if (!text.empty() && net && local) {
                net->SendChat(local->m_name.GetText(), text.c_str(), (int)std::lround(local->m_colour[0]),
                              (int)std::lround(local->m_colour[1]), (int)std::lround(local->m_colour[2]));
            }
            if (e == serverChat) m_chatView = 0;
            m_settingsEdit = "";
            e->SetText("");
            return;
        }
    }
    if (IsPanel(this, e, kPanelCreateTeam)) SetCaption(e, GetSystemText(296), kDarkGreen);
    if (IsPanel(this, e, kPanelCreateChannel)) SetCaption(e, "Create Channel", kDarkGreen);
    if (cancel) {
        // The box shows what it showed before: the next refresh of a list
        // fills it again, a box of its own gets its text back.
        if (e->m_SettingEntry) e->m_TextLines.assign(1, CStrBuf(e->m_SettingEntry->ValueText().c_str()));
        if (e == serverChat || e == lobbyChat) e->SetText("");
    }
    m_editTarget = nullptr;
    m_editObject = nullptr;
    m_settingsEdit = "";
    m_mode = kModeNormal;
}

// ---------------------------------------------------------------------------
// The confirm dialog

void CInterface::ActivateConfirmDialog(const char* message, const char* left, const char* middle,
                                       const char* right, bool closeOnPress, const char* commands[3]) {
    m_mode = kModeConfirm;
    m_confirmCloseOnPress = closeOnPress ? 1 : 0;
    m_confirmMessage = message ? message : "";
    const char* texts[3] = {left, middle, right};
    for (int i = 0; i < 3; ++i) {
        m_confirmPresent[i] = texts[i] ? 1 : 0;
        m_confirmButtons[i] = texts[i] ? texts[i] : "";
        m_confirmCommands[i] = commands && commands[i] ? commands[i] : "";
    }
    m_confirmAnswer = 0;
    m_confirmHover = 0;
    m_GUIChanged = 1;
}

void CInterface::ConfirmPress() {
    m_confirmAnswer = m_confirmHover;
    m_confirmPressed = 1;
    const int answer = m_confirmAnswer;
    const bool commands =
        !m_confirmCommands[0].empty() || !m_confirmCommands[1].empty() || !m_confirmCommands[2].empty();
    // A dialog of commands closes on a choice and runs the chosen button's;
    // an information closes on any press; else the caller reads the answer.
    if (!m_confirmCloseOnPress && !(commands && answer != 0)) return;
    const std::string command = answer >= 1 && answer <= 3 ? m_confirmCommands[answer - 1] : std::string();
    m_mode = kModeNormal;
    m_confirmAnswer = 0;
    m_GUIChanged = 1;
    if (!command.empty()) QueueGUICommand(command.c_str());
}

void CInterface::ConfirmHoverAt(int32_t width, int32_t height) {
    m_confirmHover = 0;
    if (m_mode != kModeConfirm) return;
    const int32_t dx = (width - 640) / 2, dy = (height - 480) / 2;
    for (const SConfirmBand& b : kConfirmBands)
        if (m_confirmPresent[b.index] && m_cursorX > b.left + dx && m_cursorX < b.right + dx &&
            m_cursorY > 276 + dy && m_cursorY < 298 + dy)
            m_confirmHover = b.answer;
}

void CInterface::DrawConfirmDialog(CE3DSurface* canvas) {
    if (m_mode != kModeConfirm) return;
    ConfirmHoverAt(canvas ? canvas->m_width : 640, canvas ? canvas->m_height : 480);
    if (!canvas) return;
    const int32_t dx = (canvas->m_width - 640) / 2, dy = (canvas->m_height - 480) / 2;
    // The first picture with a middle button, the second otherwise.
    CBitmapSurface* picture = m_console.DialogSprite(m_confirmPresent[1] ? 0 : 1);
    int32_t pw = 300, ph = 150;
    if (picture) {
        pw = picture->m_width;
        ph = picture->m_height;
    }
    const int32_t px = (canvas->m_width - pw) / 2, py = (canvas->m_height - ph) / 2;
    if (picture)
        picture->BltTo(px, py, canvas);
    else if (canvas->Lock()) {
        canvas->DrawFilledRect(px, py, px + pw - 1, py + ph - 1, 0, 40, 0);
        canvas->DrawRect(px, py, px + pw - 1, py + ph - 1, 0, 160, 0);
        canvas->Unlock();
    }
    if (!canvas->Lock()) return;
    canvas->SetFont(m_font);
    const uint32_t flags = canvas->m_textFlags;
    // The buttons' texts at the middle of their bands, bright under the mouse.
    const int32_t y = 276 + dy;
    for (const SConfirmBand& b : kConfirmBands) {
        if (!m_confirmPresent[b.index]) continue;
        canvas->m_textFlags = kE3DTextCentre;
        canvas->DrawGlyphs(m_confirmButtons[b.index].GetText(), (b.left + b.right) / 2 + dx, y, 0,
                           m_confirmHover == b.answer ? 255 : 115, 0, true, false, 0, false);
    }
    // The message, left-aligned in the picture less its margins.
    canvas->m_textFlags = 0;
    const SSurfaceRect clip = canvas->m_clipRect;
    const int32_t line = m_font ? m_font->m_height + 1 : 14;
    canvas->m_clipRect = SSurfaceRect{px + 20, py + 18 + line, px + pw - 20, py + ph - 50};
    canvas->ClampClip();
    canvas->DrawText(m_confirmMessage.GetText(), true, line, 0, 255, 0, true, false);
    canvas->m_clipRect = clip;
    canvas->ClampClip();
    canvas->m_textFlags = flags;
    canvas->Unlock();
}

// ---------------------------------------------------------------------------
// Small operations of the screens

bool CInterface::IsInLayoutRect(int32_t x, int32_t y, int32_t left, int32_t top, int32_t right,
                                int32_t bottom) {
    CE3DSurface* canvas = Surface();
    const int32_t w = canvas ? canvas->m_clipRect.right - canvas->m_clipRect.left : 640;
    const int32_t h = canvas ? canvas->m_clipRect.bottom - canvas->m_clipRect.top : 480;
    const int32_t dx = int32_t((w - 640) * 0.5f), dy = int32_t((h - 480) * 0.5f);
    return left + dx <= x && x <= right + dx && top + dy <= y && y <= bottom + dy;
}

int32_t CInterface::HitTestJoinAreas(int32_t x, int32_t y) {
    const int32_t areas[5][4] = {{20, 40, 434, 162},
                                 {468, 48, 624, 164},
                                 {390, 218, 596, 326},
                                 {392, 357, 594, 464},
                                 {22, 39, 352, 436}};
    for (int i = 0; i < 5; ++i)
        if (IsInLayoutRect(x, y, areas[i][0], areas[i][1], areas[i][2], areas[i][3])) return i + 1;
    return 0;
}

float CInterface::MapHalfExtent() {
    if (!m_world) return 0.0f;
    const CWorldGrid& g = m_world->Grid();
    return float((int64_t(g.m_y1) - g.m_y2) + (int64_t(g.m_x2) - g.m_x1)) * 0.5f;
}

void CInterface::ScrollChatList(int32_t direction) {
    CNetGame* net = NetGame();
    const int32_t lines = net ? int32_t(net->m_chatLines.size()) : 0;
    if (direction == 0 && m_chatView + 1 < lines) ++m_chatView;
    if (direction == 1 && m_chatView > 0) --m_chatView;
}
