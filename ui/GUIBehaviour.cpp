// What a GUI object does once loaded: every interface frame the active
// screen is walked layer by layer to update and draw it (CGUIObject::Update),
// mouse events are walked through it for hit tests, hover and presses
// (CGUIObject::OnMouse), objects play their event sounds, and a completed
// press runs the object's action (CGUIObject::OnPressed): the rows of the
// lobby's lists, the named buttons and the action properties the designer
// put on it. The command text and the jump of a release run after the walk,
// so that a command that loads another GUI never frees the tree being walked.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "console/ConfigText.h"
#include "e3d/BitmapSurface.h"
#include "e3d/Font.h"
#include "e3d/Surface.h"
#include "netgame/MasterClient.h"
#include "netgame/NetGame.h"
#include "netgame/ServerBrowser.h"
#include "nwe/Peer.h"
#include "ui/GUIObject.h"
#include "ui/GUIRoles.h"
#include "ui/GUISound.h"
#include "ui/Interface.h"
#include "ui/Settings.h"
#include "world/Player.h"
#include "world/World.h"

namespace {

enum : int32_t {
    kLeftDown = 0,
    kLeftUp = 1,
    kMoved = 3,
    kLeftPress = 5,
    kDoubleClick = 6,
    kRightPress = 7,
};

// Row kinds the lists' fillers put on their rows.
enum : int32_t {
    kRowServer = 1,
    kRowChannel = 2,
    kRowLobbyColour = 100,
    kRowLobbyPlayer = 101,
    kRowLobbyRace = 102,
    kRowLobbyTeam = 103,
    kRowLobbyAlliance = 107,
    kRowMap = 200,
    kRowCampaign = 201,
    kRowSaveSlot = 301,
};

constexpr int32_t kGameScreenId = 1000;

uint8_t Red(uint32_t c) {
    return uint8_t(c & 0xFF);
}
uint8_t Green(uint32_t c) {
    return uint8_t((c >> 8) & 0xFF);
}
uint8_t Blue(uint32_t c) {
    return uint8_t((c >> 16) & 0xFF);
}

CNetGame* Net(CInterface* ui) {
    return ui->NetGame();
}

bool Hosting(CInterface* ui) {
    CNetGame* net = Net(ui);
    return net && net->m_hosting;
}

int32_t GameType(CInterface* ui) {
    return ui->GUIGame().GameType();
}

bool IsPanel(CInterface* ui, const CGUIObject* o, EGUIPanel panel) {
    return ui->m_Panels[panel] == o;
}

// The game-finish screen's continue button: the game is over for this
// machine, which goes back to the menus (a campaign mission to its next
// script, anything else to ExitToMenu.cfg).
void FinishGame(CInterface* ui) {
    IGUIGame& game = ui->GUIGame();
    // The result is read before the game is reset, which takes the world's
    // flags with it (a won mission would go on as a lost one).
    const bool won = game.MissionWon();
    if (CNetGame* net = Net(ui)) net->ResetGame(false);
    game.SetGuiWord(1);
    // The end screen closes with its game, whichever script runs next (a
    // mission's own scripts do not close it), and the HUD keeps nothing of
    // that game: no selection's slots, no builder's icons.
    ui->m_gameScreen = 0;
    ui->m_hud.ResetForGame();
    if (game.GameType() == 0 && !ui->m_campaignName.IsEmpty()) {
        CStrBuf path;
        path.Format("%s\\%s\\%s", ui->m_campaignName.GetText(), ui->m_missionName.GetText(),
                    won ? "end.cfg" : "Start.cfg");
        CStrBuf full(ui->GetPath("Campaigns", path.GetText()));
        ui->m_console.PrintfColor(
            won ? "Executing Mission End Script '%s'." : "Executing Mission Start Script '%s'.", 255, 255,
            255, 0, full.GetText());
        game.QueueScript(full.GetText());
    } else {
        ui->m_console.Print("Not in single player or no campaign set. Executing 'ExitToMenu.cfg'", false, 255,
                            255, 255, false);
        game.QueueScript("ExitToMenu.cfg");
    }
    game.ClearMissionResult();
}

}  // namespace

const char* CGUIObject::ShownLine(size_t i) const {
    if (i >= m_TextLines.size()) return "";
    if (m_ui->m_TestLocalization) return "*LOC*";
    return i == 0 ? m_TextLines[0].GetText() : m_TextLines[i].GetText();
}

void CGUIObject::SetText(const char* text) {
    if (!text) text = "";
    size_t lines = 1;
    for (const char* p = text; *p; ++p)
        if (*p == '\r') ++lines;
    m_TextLines.assign(lines, CStrBuf());
    std::string line;
    size_t at = 0;
    for (const char* p = text;; ++p) {
        if (*p == '\r' || !*p) {
            m_TextLines[at++] = line.c_str();
            line.clear();
            if (!*p) break;
            // Only the line feed of a CR LF pair goes with the carriage return.
            if (p[1] == '\n') ++p;
            continue;
        }
        line += *p;
    }
    m_SizeKnown = 0;
    m_ui->m_GUIChanged = 1;
}

bool CGUIObject::PlayEventSound(int32_t event) {
    if (event < 0 || event > 4) return false;
    const int32_t sample = m_EventSamples[event];
    if (sample < 1) return false;
    const CGUIObject* owner = m_OwnsResources || !m_Screen ? this : m_Screen;
    const int32_t bank = owner->m_SoundBank - 1;
    if (bank < 0 || bank >= (int32_t)m_ui->m_SoundBanks.size()) return false;
    void* handle = m_ui->m_SoundBanks[bank];
    IGUISound* sound = m_ui->m_guiSound;
    if (!handle || !sound) return false;
    // A sample number beyond the bank plays nothing.
    if (sample > sound->SampleCount(handle)) return false;
    return sound->PlaySample(handle, sample - 1);
}

// ---------------------------------------------------------------------------
// Update and drawing

namespace {

// The filler of a bound list panel: every frame while drawing (on the
// canvas the screen is drawn on), and when the screen changed (the save
// slots and the channels only while drawing).
void FillBoundList(CInterface* ui, CGUIObject* o, bool drawing, CE3DSurface* canvas = nullptr) {
    if (IsPanel(ui, o, kPanelNormalServerList)) ui->FillMasterServerList(o);
    if (IsPanel(ui, o, kPanelStatServerList)) ui->FillServerInfo(o);
    if (IsPanel(ui, o, kPanelServerName)) ui->FillServerName(o);
    if (IsPanel(ui, o, kPanelPlayerListTitle)) ui->FillListTitle(o);
    if (IsPanel(ui, o, kPanelPlayerList)) ui->FillUserList(o);
    // The lists that paint their players' colours are filled when their rows
    // box comes, after the panel's own picture was drawn.
    auto rowsOf = [ui, o](EGUIPanel panel) {
        CGUIObject* list = ui->m_Panels[panel];
        return list && !list->m_Children.empty() && list->m_Children[0] == o ? list : nullptr;
    };
    if (CGUIObject* lobby = rowsOf(kPanelLobbyPlayerList)) ui->FillLobbyPlayerList(lobby);
    if (IsPanel(ui, o, kPanelMapList)) ui->FillMapList(o);
    if (IsPanel(ui, o, kPanelCampaignList)) ui->FillCampaignList(o);
    if (CGUIObject* stats = rowsOf(kPanelPlayerStats)) ui->FillPlayerStats(stats, canvas);
    if (IsPanel(ui, o, kPanelTeamStats)) ui->FillTeamStats(o);
    if (drawing && IsPanel(ui, o, kPanelSaveSlots)) ui->FillSaveSlots(o);
    if (drawing && IsPanel(ui, o, kPanelChannelList)) ui->FillChatChannelList(o);
}

// The text lines of an object at (x, y) with its font and alignment.
void DrawTextLines(CGUIObject* o, CE3DSurface* canvas, int32_t x, int32_t y, bool hovered) {
    if (!o->HasText() || !o->m_Font || !canvas) return;
    const uint32_t colour = hovered ? o->m_Color2 : o->m_Color1;
    if (!canvas->Lock()) return;
    canvas->SetFont(o->m_Font);
    const uint32_t flags = canvas->m_textFlags;
    canvas->m_textFlags = o->m_TextAlign == 1 ? kE3DTextCentre : o->m_TextAlign == 2 ? kE3DTextRight : 0;
    const int32_t step = o->m_FontHeight + 1;
    // The briefing shows its text from its first shown line, as many lines
    // as its frame (the panel's parent) holds.
    size_t first = 0, end = o->m_TextLines.size();
    CInterface* ui = o->m_ui;
    if (ui->m_Panels[kPanelBriefingText] == o) {
        const int32_t last = std::max(0, int32_t(end) - 1);
        ui->m_briefingScroll = std::clamp(ui->m_briefingScroll, 0, last);
        first = size_t(ui->m_briefingScroll);
        if (const CGUIObject* frame = o->m_Parent; frame && frame->m_Size[1] > 0 && step > 0) {
            const int32_t room = (frame->m_ScreenY + frame->m_Size[1] - y) / step;
            end = std::min(end, first + size_t(std::max(1, room)));
        }
    }
    for (size_t i = first; i < end; ++i)
        canvas->DrawGlyphs(o->ShownLine(i), x, y + int32_t(i - first) * step, Red(colour), Green(colour),
                           Blue(colour), true, false, 0, false);
    canvas->m_textFlags = flags;
    canvas->Unlock();
}

}  // namespace

int CGUIObject::Update(int32_t layer, int32_t offsetX, int32_t offsetY, CE3DSurface* canvas) {
    CInterface* ui = m_ui;
    const bool onLayer = m_Layer == layer;
    // With the GUI off in a running game only the HUD's live parts update.
    const bool hudOnly = !ui->m_drawGUI && !ui->m_fields.m_fullScreenRadar;
    const bool process = !hudOnly || m_IsBuildScroll || (HasText() && m_Parent && m_Parent->m_OnPressedBuild);

    if (process && onLayer) {
        // 1. Dynamic state and the lists.
        if (m_MustBeServer) {
            m_Visible = Hosting(ui) ? 1 : 0;
            m_ChildrenHidden = m_Visible ? 0 : 1;
        }
        if (m_MustBeSkirmish) {
            m_Visible = GameType(ui) == 1 ? 1 : 0;
            m_ChildrenHidden = m_Visible ? 0 : 1;
        }
        FillBoundList(ui, this, true, canvas);
        if (IsSettingsList()) RefreshSettingsRows();
        if (IsPanel(ui, this, kPanelBriefingDecline)) m_Visible = ui->GuiWord() != 0 ? 1 : 0;
        // "Join" blinks while a server is chosen to join.
        if (IsPanel(ui, this, kPanelJoinServer)) {
            CNetGame* net = Net(ui);
            const bool chosen = net && net->m_browser && net->m_browser->Contact();
            const bool plain = !chosen || ui->m_joinBlink;
            m_Color1 = plain ? 0x008000u : 0x00FF00u;
            m_Color2 = plain ? 0x00FF00u : 0x008000u;
        }
        if (m_Pulsing) m_Color1 = m_Color2 = uint32_t(std::lround(ui->m_pulse * 0.5f + 128.0f)) << 8;
    }
    if (!m_SizeKnown) {
        // Measured again after the text changed: the box the mouse hits is
        // the text shown, not the one the object was loaded with.
        GetSize(m_Size, false);
        if (HasText()) {
            m_TextBox[0] = m_TextSize[0] + 2;
            m_TextBox[1] = m_TextSize[1] + 2;
        }
        m_SizeKnown = 1;
    }
    // 3. The position: a button's by its press state, then the alignment and
    // the console offsets.
    int32_t x = m_X, y = m_Y;
    if (m_Kind == 2) GetStatePosition(x, y);
    x += offsetX;
    y += offsetY;
    const int32_t width = canvas ? canvas->m_width : 640, height = canvas ? canvas->m_height : 480;
    if (m_Align == kAlignRight) x += width - 640;
    if (m_Align == kAlignBottom) y += height - 480;
    const bool console = ui->m_console.IsVisible();
    if (console) {
        if (m_OnConsoleModeMoveX != -1) x = m_OnConsoleModeMoveX;
        if (m_OnConsoleModeMoveY != -1) y = m_OnConsoleModeMoveY;
    } else {
        if (m_OnNotConsoleModeMoveX != -1) x = m_OnNotConsoleModeMoveX;
        if (m_OnNotConsoleModeMoveY != -1) y = m_OnNotConsoleModeMoveY;
    }
    m_ScreenX = x;
    m_ScreenY = y;

    if (process && onLayer) {
        if (IsPanel(ui, this, kPanelConsole)) {
            // The mini console draws in this panel's place; the panel itself is
            // never drawn.
            ui->m_consolePanel.bound = 1;
            ui->m_consolePanel.x = x;
            ui->m_consolePanel.y = y;
            ui->m_consolePanel.width = m_Size[0];
            ui->m_consolePanel.height = m_Size[1];
        } else if (m_Visible && !IsPanel(ui, this, kPanelHeldInfo)) {
            // 5. The picture of the kind and state (a three-state button shows
            // its hover picture while it is the hovered object).
            const bool hovered = ui->m_HoveredGUIObject == this;
            int32_t* id = nullptr;
            if (m_Kind == 0)
                id = &m_BitmapId;
            else if (m_Kind == 1)
                id = &m_AltBitmapId;
            else if (m_Kind == 2)
                id = &m_StateBitmapIds[hovered ? 2 : m_PositionState == 0 ? 0 : 1];
            if (id && *id) {
                CBitmapSurface* picture = Picture(*id);
                if (!picture)
                    *id = 0;  // a picture that is not there is not looked for again
                else if (canvas)
                    picture->BltTo(x, y, canvas);
            }
            CNetGame* net = Net(ui);
            if (IsPanel(ui, this, kPanelMapView) && net) {
                // The map's preview, or without one the local player's
                // ping in the first child.
                const bool preview = net->m_joinedInfo.m_picture != nullptr;
                if (preview && canvas && m_Size[0] > 0 && m_Size[1] > 0)
                    net->m_joinedInfo.m_picture->BltStretchTo(x, y, m_Size[0], m_Size[1], canvas);
                m_ChildrenHidden = preview ? 1 : 0;
                if (!preview && !m_Children.empty())
                    if (const CPlayer* local = net->LocalPlayer()) {
                        char text[32];
                        std::snprintf(text, sizeof text, "%.2f", double(local->m_latency));
                        if (!m_Children[0]->HasText() || !m_Children[0]->m_TextLines[0].Equals(text))
                            m_Children[0]->SetText(text);
                    }
            }
            // 7. A running sequence shows the frame of the time that passed.
            if (m_SequenceRunning) {
                const uint64_t freq = ui->ClockFrequency() ? ui->ClockFrequency() : 1;
                const int64_t elapsed = int64_t((ui->ClockNow() - m_SequenceStart) * 1000 / freq);
                if (m_SequenceStops && elapsed >= m_SequenceLength) {
                    m_SequenceRunning = 0;
                    if (!m_Frames.empty()) m_CurrentFrame = &m_Frames.back();
                } else if (m_SequenceLength > 0) {
                    SelectSequenceFrame(int32_t(elapsed % m_SequenceLength));
                }
            }
            if (m_CurrentFrame && canvas)
                if (CBitmapSurface* frame = Picture(m_CurrentFrame->resourceId)) frame->BltTo(x, y, canvas);
            // 6. The text, in the hover colour while hovered.
            DrawTextLines(this, canvas, x, y, hovered);
            // The chat lines in this object's rectangle; the bound chat list
            // in the join screen's place for them.
            if (m_ShowScreenConsole) ui->DrawChatLines(this, x, y, x + m_Size[0], y + m_Size[1]);
            if (IsPanel(ui, this, kPanelServerChatList) && canvas) {
                const int32_t dx = (canvas->m_width - 640) / 2, dy = (canvas->m_height - 480) / 2;
                ui->DrawChatLines(this, dx + 22, dy + 242, dx + 348, dy + 429);
            }
        }
    }
    // 8. The children, at this object's place.
    if (!m_ChildrenHidden)
        for (CGUIObject* child : m_Children) child->Update(layer, x, y, canvas);
    return 1;
}

void CGUIObject::RefreshLists(int32_t layer) {
    CInterface* ui = m_ui;
    if (m_Layer == layer) {
        FillBoundList(ui, this, false);
        if (IsSettingsList()) RefreshSettingsRows();
        if (IsPanel(ui, this, kPanelBriefingStatistics)) ui->ResetScorePanel(this);
    }
    if (!m_ChildrenHidden)
        for (CGUIObject* child : m_Children) child->RefreshLists(layer);
}

// ---------------------------------------------------------------------------
// The mouse

int CGUIObject::OnMouse(int32_t x, int32_t y, int32_t event) {
    CInterface* ui = m_ui;
    if (ui->m_mode == 4 || ui->m_confirmPressed) return 1;
    bool test = HasText() || IsButton();
    if (test && !m_Visible) {
        m_PositionState = 1;
        m_HoverFlag = 0;
        test = false;
    }
    if (test) {
        // 3. The hit rectangle: the text block, or a button's picture less a
        // border of 2; both edges count as inside.
        int32_t left = m_ScreenX, top = m_ScreenY, w = 0, h = 0;
        if (HasText()) {
            w = m_TextBox[0];
            h = m_TextBox[1];
            if (h >= 10) {
                h -= 2;
                top += 2;
            }
        } else {
            left += 2;
            top += 2;
            w = m_Size[0] - 2;
            h = m_Size[1] - 2;
        }
        if (m_TextAlign == 1) left -= m_TextSize[0] / 2;
        if (m_TextAlign == 2) left -= m_TextSize[0];
        const bool inside = x >= left && x <= left + w && y >= top && y <= top + h;

        if (inside && (event == kLeftPress || event == kDoubleClick || event == kRightPress))
            OnPressed(event);
        switch (event) {
            case kLeftDown:
                if (inside) OnPressed(kLeftDown);
                if (ui->m_guiPressing) {
                    if (m_Pressed) m_PositionState = inside ? 0 : 1;
                } else if (inside) {
                    PlayEventSound(1);
                    m_PositionState = 0;
                    ui->m_guiPressing = 1;
                    m_Pressed = 1;
                }
                break;
            case kMoved:
                if (!inside) {
                    if (!ui->m_mouseState.left) {
                        m_PositionState = 1;
                        m_HoverFlag = 0;
                    }
                } else if (!m_Pressed && !ui->m_guiPressing) {
                    if (!m_HoverSoundPlayed) {
                        PlayEventSound(3);
                        m_HoverSoundPlayed = 1;
                    }
                    m_HoverFlag = 1;
                    if (ui->GuiWord() != 0 || ui->m_InGameMenu || ui->m_activeGUI != kGameScreenId)
                        ui->m_HoveredGUIObject = this;
                }
                break;
            case kLeftUp:
                // A release acts only on the object the press began on.
                if (inside && m_Pressed) {
                    OnPressed(kLeftUp);
                    PlayEventSound(2);
                    m_PositionState = 1;
                    if (!m_OnPressedCommand.IsEmpty() && !Property("Confirm")) {
                        ui->QueueGUICommand(m_OnPressedCommand.GetText());
                        ui->m_commandRan = 1;
                    }
                    if (m_JumpFlag) ui->m_guiJump = m_JumpTarget;
                } else {
                    m_PositionState = 1;
                    m_HoverFlag = 0;
                }
                m_Pressed = 0;
                break;
            default:
                break;
        }
        if (m_PositionState == 1 && ui->m_HoveredGUIObject != this) m_HoverSoundPlayed = 0;
    }
    if (m_PositionState != m_PreviousPositionState) {
        ui->m_GUIChanged = 1;
        m_PreviousPositionState = m_PositionState;
    }
    if (!m_ChildrenHidden)
        for (CGUIObject* child : m_Children) child->OnMouse(x, y, event);
    return 1;
}

// ---------------------------------------------------------------------------
// Presses

int CGUIObject::OnPressed(int32_t event) {
    CInterface* ui = m_ui;
    if (!ui->m_GUIInput) return 0;
    CNetGame* net = Net(ui);
    // A part of a settings list: the list acts first.
    if (IsSettingsPart()) m_ListOwner->OnSettingsRowInput(this, event);
    // A right press on a server's row marks the server (or takes the mark).
    if (event == kRightPress && m_RowKind == kRowServer && m_RowData && net && net->m_browser) {
        std::lock_guard<std::recursive_mutex> hold(net->m_browser->m_lock);
        if (CServerListEntry* e = net->m_browser->FindEntry(m_RowData)) {
            e->m_marked = !e->m_marked;
            net->m_browser->m_filterChanged = true;
        }
    }
    if (event != kLeftUp) return 1;

    // A selection slot (its data the unit's id): a click keeps only that
    // unit selected, a Shift-click takes it out of the selection.
    if (m_RowKind == kRowSelectionSlot && m_RowData >= 0)
        if (CWorld* world = ui->World()) {
            std::vector<SObjectView> selected;
            world->Query().Selection(selected);
            std::vector<int32_t> keep;
            if (ui->m_mouseState.shift) {
                for (const SObjectView& o : selected)
                    if (o.id != m_RowData) keep.push_back(o.id);
            } else {
                keep.push_back(m_RowData);
            }
            world->Commands().DeselectAll();
            world->Commands().SelectUnits(keep);
            ui->m_fields.m_selectionChanged = 1;
        }

    // Rows of the lists.
    if (m_RowKind && m_RowData) {
        CPlayer* local = net ? net->LocalPlayer() : nullptr;
        CPlayer* player = net ? net->FindPlayerById(m_RowData) : nullptr;
        switch (m_RowKind) {
            case kRowServer:
                if (net && net->m_browser) {
                    // The server becomes the contact (its players chat with
                    // this one) and its address the one to join.
                    CServerBrowser* b = net->m_browser.get();
                    std::lock_guard<std::recursive_mutex> hold(b->m_lock);
                    if (CServerListEntry* e = b->FindEntry(m_RowData)) {
                        b->Connect(e);
                        ui->m_TCPAddress = e->AddressText().c_str();
                        for (EGUIPanel panel : {kPanelTCPEditChild1, kPanelTCPEditChild2})
                            if (CGUIObject* o = ui->m_Panels[panel]) o->SetText(ui->m_TCPAddress.GetText());
                    } else if (b->Contact()) {
                        b->Disconnect();
                    }
                }
                break;
            case kRowChannel:
                if (net && net->m_master && m_RowData != net->m_master->m_currentChannel)
                    if (const SChatChannel* c = net->m_master->FindChannel(m_RowData)) {
                        if (net->m_browser) net->m_browser->Disconnect();
                        CStrBuf command;
                        command.Format("Join(%s);", ConfigText_Quote(c->name.c_str()).c_str());
                        ui->QueueGUICommand(command.GetText());
                    }
                break;
            case kRowLobbyColour:
                if (local) net->RequestNextColour();
                break;
            case kRowLobbyPlayer:
                if (!ui->m_RejectMode) {
                    // A player's own name, or every name in a skirmish.
                    if (player && (player == local || GameType(ui) == 1)) ui->EnterEditMode(this);
                } else {
                    // The host rejects others, never itself: a computer
                    // player is removed (it talks through the host's own
                    // link, which must stay up), a human's link is dropped.
                    if (player && player != local && Hosting(ui)) {
                        if (player->m_computer) {
                            CStrBuf command;
                            command.Format("AI_RemoveCommander(%d);", (int)player->m_id);
                            ui->QueueGUICommand(command.GetText());
                        } else if (player->m_connection && !net->IsLocalServerEnd(player->m_connection)) {
                            player->m_connection->SetTimedOut(true);
                        }
                    }
                    ui->m_RejectMode = 0;
                }
                break;
            case kRowLobbyRace:
                if (player && net) {
                    // The next race the player may take after its own, once
                    // round the list at most; none keeps the race it has. A
                    // hidden race is never offered, the watchers' only to
                    // the local player.
                    std::vector<CRace*>& races = net->m_players.m_races;
                    size_t at = 0;
                    for (size_t i = 0; i < races.size(); ++i)
                        if (races[i] == player->m_race) at = i;
                    for (size_t step = 1; step <= races.size(); ++step) {
                        CRace* r = races[(at + step) % races.size()];
                        if (!r->m_hidden && (player == local || !r->m_watching)) {
                            if (r != player->m_race) player->SetRace(r);
                            break;
                        }
                    }
                }
                break;
            case kRowLobbyTeam:
                if (player && net) {
                    // The teams in the order they were made.
                    std::vector<CTeam*> teams(net->m_players.m_teams.rbegin(), net->m_players.m_teams.rend());
                    auto it = std::find(teams.begin(), teams.end(), player->m_team);
                    const CTeam* next = nullptr;
                    if (it == teams.end())
                        next = teams.empty() ? nullptr : teams.front();
                    else if (it + 1 != teams.end())
                        next = *(it + 1);
                    player->SetTeam(next);
                }
                break;
            case kRowLobbyAlliance:
                if (player && local && net) {
                    uint8_t data[8];
                    const int32_t ids[2] = {local->m_id, player->m_id};
                    for (int i = 0; i < 2; ++i)
                        for (int b = 0; b < 4; ++b) data[4 * i + b] = uint8_t(uint32_t(ids[i]) >> (8 * b));
                    net->Send(local->IsAlliedWith(player) ? NS_NOTIFYTYPE_BREAKALLY : NS_NOTIFYTYPE_ALLY,
                              data, 8);
                }
                break;
            case kRowMap:
                if (HasText()) ui->SelectMap(m_TextLines[0].GetText());
                break;
            case kRowCampaign:
                if (HasText()) {
                    CStrBuf path;
                    path.Format("%s\\campaign.cfg", m_TextLines[0].GetText());
                    CStrBuf full(ui->GetPath("Campaigns", path.GetText()));
                    ui->GUIGame().QueueScript(full.GetText());
                }
                break;
            case kRowSaveSlot:
                if (m_RowData >= 1 && m_RowData <= (int32_t)ui->m_saveSlots.size()) {
                    // The next start continues that saved game.
                    CStrBuf command;
                    command.Format(
                        "LoadSavedGame(%s); StartGame();",
                        ConfigText_Quote(ui->m_saveSlots[size_t(m_RowData - 1)].name.c_str()).c_str());
                    ui->QueueGUICommand(command.GetText());
                }
                break;
            default:
                break;
        }
    }

    // Named buttons.
    auto childAt = [](CGUIObject* o, std::initializer_list<size_t> path) -> CGUIObject* {
        for (size_t i : path) {
            if (!o || i >= o->m_Children.size()) return nullptr;
            o = o->m_Children[i];
        }
        return o;
    };
    if (IsPanel(ui, this, kPanelCreateTeam) || IsPanel(ui, this, kPanelCreateChannel)) {
        SetText(ui->GetSystemText(kSysLidEnterName));
        m_Color1 = m_Color2 = 0x00FF00;
        ui->EnterEditMode(this);
    }
    if (childAt(ui->m_Panels[kPanelServerChat], {0, 0}) == this) ui->EnterEditMode(this);
    if (CGUIObject* chat = ui->m_Panels[kPanelLobbyChat]; childAt(chat, {0}) == this)
        ui->EnterEditMode(childAt(chat, {0, 0}));
    if (IsPanel(ui, this, kPanelServerName) && Hosting(ui) && GameType(ui) == 2) ui->EnterEditMode(this);
    // The scroll buttons of the bound lists.
    if (CGUIObject* maps = ui->m_Panels[kPanelMapList]) {
        if (childAt(maps, {2, 0}) == this) --ui->m_mapListScroll;
        if (childAt(maps, {1, 0}) == this) ++ui->m_mapListScroll;
    }
    if (CGUIObject* lobby = ui->m_Panels[kPanelLobbyPlayerList]) {
        if (childAt(lobby, {1, 1, 0}) == this) --ui->m_lobbyListScroll;
        if (childAt(lobby, {1, 0, 0}) == this) ++ui->m_lobbyListScroll;
    }
    if (CGUIObject* campaigns = ui->m_Panels[kPanelCampaignList]) {
        if (childAt(campaigns, {0, 1, 0, 0}) == this) ++ui->m_campaignListScroll;
        if (childAt(campaigns, {0, 1, 1, 0}) == this) --ui->m_campaignListScroll;
    }
    if (CGUIObject* slots = ui->m_Panels[kPanelSaveSlots]) {
        if (childAt(slots, {1, 0, 0}) == this) ++ui->m_saveSlotScroll;
        if (childAt(slots, {1, 1, 0}) == this) --ui->m_saveSlotScroll;
    }
    if (IsPanel(ui, this, kPanelRejectPlayer)) ui->m_RejectMode = 1;
    if (IsPanel(ui, this, kPanelGameFinish)) FinishGame(ui);

    // Action properties, in order.
    for (const CGUIProperty& p : m_Properties) {
        if (p.m_Name.Equals("Show") || p.m_Name.Equals("Hide")) {
            if (ui->m_GUIRoot)
                ui->m_GUIRoot->ShowByProperty("ID", p.m_Value.GetText(), p.m_Name.Equals("Hide"));
            ui->m_GUIChanged = 1;
        } else if (p.m_Name.Equals("MultiOffset")) {
            ui->m_MultiSelectOffset += std::atoi(p.m_Value.GetText());
            ui->m_fields.m_selectionChanged = 1;
        } else if (p.m_Name.Equals("BuildIconOffset")) {
            ui->m_BuildIconOffset += std::atoi(p.m_Value.GetText());
            ui->m_fields.m_selectionChanged = 1;
        } else if (p.m_Name.Equals("OnPressedBuild")) {
            // A build icon: the item under the mouse is queued or placed.
            ui->m_hud.OnBuildIconPressed();
        } else if (p.m_Name.Equals("FlipListMode")) {
            if (CSettingClass* c = ui->FindSettingClass(p.m_Value.GetText())) {
                c->m_advanced = !c->m_advanced;
                ui->BindSettingsLists();  // the captions follow
            }
        } else if (p.m_Name.Equals("EditText") && p.m_Value.Equals("TCPAdress")) {
            ui->EnterEditMode(this);
            ui->m_editTarget = &ui->m_TCPAddress;
            ui->m_editTargetLimit = 16;
        } else if (p.m_Name.Equals("Confirm")) {
            // Asks first: "Yes" runs the object's command, "No" nothing.
            const char* message = p.m_Value.GetText();
            for (int i = 0; i < kSystemTextCount; ++i)
                if (p.m_Value.EqualsNoCase(kSystemTextNames[i])) message = ui->GetSystemText(i);
            const char* commands[3] = {m_OnPressedCommand.GetText(), nullptr, ""};
            ui->ActivateConfirmDialog(message, ui->GetSystemText(kSysLidYes), nullptr,
                                      ui->GetSystemText(kSysLidNo), false, commands);
        }
    }
    return 1;
}
