// The screens: one top-level GUI of the loaded packfile is shown at a time,
// chosen by its GUI id; the interface's work of each frame (the first frame
// hands "LoadGUI.cfg" to the input manager, which loads the packfiles), the
// panels bound by their "ID", the cursor and unit-status pictures and the
// load screen.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "console/CommandInterpreter.h"
#include "core/Random.h"
#include "core/VFSTable.h"
#include "e3d/BitmapSurface.h"
#include "e3d/Surface.h"
#include "ui/GUIObject.h"
#include "ui/GUIRoles.h"
#include "ui/GUISound.h"
#include "ui/Interface.h"
#include "world/World.h"
#include "world/WorldQuery.h"

const char* const kGUIPanelNames[kPanelCount] = {"RadarPanel",
                                                 "FullScreenRadar",
                                                 "SelectInfo",
                                                 "BuildInfo",
                                                 "TradeInfo",
                                                 "EnergyPanel",
                                                 "TotalPanel",
                                                 "ResourceBar",
                                                 "Build",
                                                 "MultiSelect",
                                                 "SingleSelect",
                                                 "SingleIcon",
                                                 "SingleUnitName",
                                                 "SingleEnergyPanel",
                                                 "Console",
                                                 "HeldInfo",
                                                 "DummyBar",
                                                 "MainBackground",
                                                 "ConsoleBackground",
                                                 "NormalServerList",
                                                 "StatServerList",
                                                 "PlayerList",
                                                 "PlayerListTitle",
                                                 "TCPEditChild1",
                                                 "TCPEditChild2",
                                                 "JoinServer",
                                                 "ServerChat",
                                                 "ServerChatList",
                                                 "LobbyPlayerList",
                                                 "LobbyChat",
                                                 "CreateTeam",
                                                 "ServerName",
                                                 "MapList",
                                                 "MapView",
                                                 "MapTitle",
                                                 "RejectPlayer",
                                                 "RefreshServer",
                                                 "RefreshProgress",
                                                 "ChannelList",
                                                 "CreateChannel",
                                                 "MultiplayerTitleText",
                                                 "OpenClosedRefreshing",
                                                 "MP1",
                                                 "MP2",
                                                 "MP3",
                                                 "MP4",
                                                 "MP5",
                                                 "MP6",
                                                 "QFOTab1",
                                                 "QFOTab2",
                                                 "QFOTab3",
                                                 "CampaignList",
                                                 "BriefingText",
                                                 "BriefingObjectives",
                                                 "BriefingStatistics",
                                                 "BriefingMovie",
                                                 "BriefingTINAMovie",
                                                 "BriefingAccept",
                                                 "BriefingDecline",
                                                 "GameFinish",
                                                 "PlayerStats",
                                                 "TeamStats",
                                                 "StatPlayerConstructed",
                                                 "StatPlayerResources",
                                                 "StatPlayerScore",
                                                 "StatTeamConstructed",
                                                 "StatTeamResources",
                                                 "StatTeamScore",
                                                 "SaveSlots",
                                                 "LeftRadarArea",
                                                 "ResourceArea"};

namespace {
constexpr int32_t kGameScreenId = 1000;
constexpr int32_t kScoreScreenId = 700;
// Layers above this are never drawn: a packfile cannot make a frame walk
// the tree billions of times.
constexpr int32_t kMaxDrawLayer = 63;
// The load screen's pictures, "Load\Load<n>.jpg" below the GUI folder.
CRandomStream s_loadPictureChoice(0x2F6E2B1u);
}  // namespace

uint64_t CInterface::ClockNow() {
    return m_consoleRole->ClockNow();
}

uint64_t CInterface::ClockFrequency() {
    return m_consoleRole->ClockFrequency();
}

CGUIObject* CInterface::FindActiveGUI() {
    if (!m_GUIRoot) return nullptr;
    for (CGUIObject* screen : m_GUIRoot->m_Children)
        if (screen->m_GUIId == m_activeGUI) return screen;
    // Said once for each id that is missing, not every frame.
    if (m_missingGUIReported != m_activeGUI) {
        m_console.PrintfColor("Couln't find a GUI with Id : %d. Reset to Id 1.", 255, 255, 255, 0,
                              (int)m_activeGUI);
        m_missingGUIReported = m_activeGUI;
    }
    m_activeGUI = 1;
    for (CGUIObject* screen : m_GUIRoot->m_Children)
        if (screen->m_GUIId == 1) return screen;
    return nullptr;
}

void CInterface::JumpToGUI(int screenId) {
    if (!m_InGameMenu) m_MenuGUIId = screenId;
    m_activeGUI = screenId;
    m_GUIChanged = 1;
    // Leaving a screen drops an edit under way; an open confirm dialog stays.
    if (m_mode == 3) LeaveEditMode(true);
    if (m_mode != 4) m_mode = 0;
    m_boxActive = 0;
    m_RefreshLists = 1;
    m_lobbyChatEnded = 0;
}

void CInterface::UpdateGUIContext() {
    // Outside a game the in-game screen is never shown: the main menu is.
    if (m_MenuGUIId == kGameScreenId && GuiWord() != 0) m_MenuGUIId = 1;
    // The screen asked for: the score screen, the in-game menu's, or the one
    // kept outside it.
    const int32_t requested = m_gameScreen ? kScoreScreenId : m_InGameMenu ? m_activeGUI : m_MenuGUIId;
    if (requested != m_RequestedGUIId) {
        m_RequestedGUIId = requested;
        JumpToGUI(requested);
    }
    // The key bindings of the GUI context: the edit box's while one is
    // edited, the active screen's own when its "KeyBindingFile" names one.
    if (m_mode == 3) {
        m_guiBindingFile = "Commands_GUISetting.cfg";
        return;
    }
    const CGUIProperty* own = nullptr;
    if (m_GUIRoot)
        for (CGUIObject* screen : m_GUIRoot->m_Children)
            if (screen->m_GUIId == m_activeGUI) {
                own = screen->Property("KeyBindingFile");
                break;
            }
    m_guiBindingFile = own && !own->m_Value.IsEmpty() ? own->m_Value.GetText() : "Commands_GUI.cfg";
}

CGUIObject* CInterface::FindPanel(const char* name) {
    if (!m_GUIRoot) return nullptr;
    m_SearchResult = nullptr;
    m_SearchFound = m_SearchFoundTwice = 0;
    m_GUIRoot->FindByProperty("ID", name);
    return m_SearchFound ? m_SearchResult : nullptr;
}

void CInterface::IdentifyPanels() {
    m_GUIInput = 1;
    m_MultiButtons.clear();
    m_BuildIcons.clear();
    CStrBuf name;
    for (int32_t n = 1; n <= m_MultiSelectButtons; ++n) {
        name.Format("MultiButton%d", (int)n);
        m_MultiButtons.push_back(FindPanel(name.GetText()));
    }
    for (int32_t n = 1; n <= m_BuildIconButtons; ++n) {
        name.Format("BuildIcon%d", (int)n);
        m_BuildIcons.push_back(FindPanel(name.GetText()));
    }
    for (int i = 0; i < kPanelCount; ++i) m_Panels[i] = FindPanel(kGUIPanelNames[i]);
    // The HUD's panels, when the GUI has an in-game screen (GUI 1000): each
    // one missing is named, and the HUD goes without it.
    bool inGame = false;
    for (CGUIObject* screen : m_GUIRoot ? m_GUIRoot->m_Children : std::vector<CGUIObject*>())
        inGame = inGame || screen->m_GUIId == 1000;
    static const int kHudPanels[] = {kPanelRadarPanel,   kPanelBuild,       kPanelMultiSelect,
                                     kPanelSingleSelect, kPanelEnergyPanel, kPanelTotalPanel,
                                     kPanelResourceBar,  kPanelHeldInfo};
    for (int p : kHudPanels)
        if (inGame && !m_Panels[p])
            m_console.PrintfColor("The in-game screen has no panel '%s': the HUD goes without it", 255, 255,
                                  255, 0, kGUIPanelNames[p]);
    if (CGUIObject* total = m_Panels[kPanelTotalPanel]) total->m_Visible = 0;
    if (CGUIObject* tcp = m_Panels[kPanelTCPEditChild1]) tcp->SetText("");
    // The briefing's texts outlive the screens made again (a video restart).
    if (CGUIObject* text = m_Panels[kPanelBriefingText]; text && !m_missionText.IsEmpty())
        text->SetText(m_missionText.GetText());
    if (CGUIObject* text = m_Panels[kPanelBriefingObjectives]; text && !m_objectiveText.IsEmpty())
        text->SetText(m_objectiveText.GetText());
    // The chat input lines inside the two chat panels start empty.
    CGUIObject* chat = m_Panels[kPanelServerChat];
    if (chat && !chat->m_Children.empty() && !chat->m_Children[0]->m_Children.empty())
        chat->m_Children[0]->m_Children[0]->SetText("");
    CGUIObject* lobbyChat = m_Panels[kPanelLobbyChat];
    if (lobbyChat && !lobbyChat->m_Children.empty() && !lobbyChat->m_Children[0]->m_Children.empty())
        lobbyChat->m_Children[0]->m_Children[0]->SetText("");
    m_consolePanel.bound = 0;
    if (m_MiniConsoleLines > 0) m_console.m_miniLines = m_MiniConsoleLines;
    BindSettingsLists();
    CheckSystemTexts();
}

namespace {

CBitmapSurface* LoadPicture(CInterface* ui, const char* path) {
    CE3DScreen* screen = ui->Screen();
    CBitmapSurface* picture = screen ? CBitmapSurface_LoadShared(screen, path) : nullptr;
    if (picture) picture->SetColorKey(0, 255, 255);
    return picture;
}

void Release(CBitmapSurface*& picture) {
    if (picture) picture->Release();
    picture = nullptr;
}

void ReleaseAll(std::vector<CBitmapSurface*>& pictures) {
    for (CBitmapSurface*& p : pictures) Release(p);
    pictures.clear();
}

// A sequence of frames "<base>001.bmp", "<base>002.bmp", ...: a frame that
// is missing or damaged stays empty, and the console names it.
void LoadSequence(CInterface* ui, const char* base, int32_t count, std::vector<CBitmapSurface*>& out) {
    ReleaseAll(out);
    count = std::clamp<int32_t>(count, 0, 999);
    CStrBuf path;
    for (int32_t i = 1; i <= count; ++i) {
        path.Format("%s\\%s%03d.bmp", ui->m_guiResourceFolder.GetText(), base, (int)i);
        out.push_back(LoadPicture(ui, path.GetText()));
        if (!out.back() && ui->Screen()) {
            std::string name = base;
            std::replace(name.begin(), name.end(), '\\', '/');
            ui->m_console.PrintfColor("Failed to load '%s%03d.bmp'", 255, 255, 255, 0, name.c_str(), (int)i);
        }
    }
}

}  // namespace

void CInterface::LoadMouse() {
    static const char* const kCursors[3] = {"Idle", "IdleAdd", "IdleSub"};
    static const char* const kSequences[5] = {"select", "harvest", "no_select", "attack", "move"};
    CStrBuf path;
    for (int i = 0; i < 3; ++i) {
        Release(m_mouseBitmaps[i]);
        path.Format("%s\\Mouse\\%s.bmp", m_guiResourceFolder.GetText(), kCursors[i]);
        m_mouseBitmaps[i] = LoadPicture(this, path.GetText());
        if (!m_mouseBitmaps[i]) {
            m_console.PrintfColor("Failed to load 'Mouse/%s.bmp'", 255, 255, 255, 0, kCursors[i]);
            m_console.Print(" ", false, 255, 255, 255, false);
        }
    }
    for (int i = 0; i < 5; ++i) {
        path.Format("Mouse\\%s", kSequences[i]);
        LoadSequence(this, path.GetText(), m_NumMouseBitmaps, m_mouseSequences[i]);
    }
}

void CInterface::LoadUnitInfo() {
    LoadSequence(this, "UnitInfo\\Pathing", m_NumUnitInfoBitmaps, m_unitInfoSequences[0]);
    LoadSequence(this, "UnitInfo\\TurnedOff", m_NumUnitInfoBitmaps, m_unitInfoSequences[1]);
    LoadSequence(this, "UnitInfo\\NoPath", 8, m_unitInfoSequences[2]);
}

void CInterface::FreePictures() {
    for (CBitmapSurface*& p : m_mouseBitmaps) Release(p);
    for (std::vector<CBitmapSurface*>& s : m_mouseSequences) ReleaseAll(s);
    for (std::vector<CBitmapSurface*>& s : m_unitInfoSequences) ReleaseAll(s);
    Release(m_LoadScreenImage);
}

void CInterface::SetLoadScreenImage() {
    CStrBuf folder(GetPath("GUI", "Load"));
    SVFSEntry* entry = g_VFS.Find(folder.GetText());
    int count = 0;
    if (entry && entry->isFolder)
        for (SVFSEntry* e = entry->firstChild; e; e = e->nextSibling)
            if (!e->isFolder) ++count;
    if (count == 0) return;
    const int n = int(s_loadPictureChoice.Next() % uint32_t(count)) + 1;
    CStrBuf path;
    path.Format("%s\\Load%d.jpg", folder.GetText(), n);
    Release(m_LoadScreenImage);
    CE3DScreen* screen = Screen();
    m_LoadScreenImage = screen ? CBitmapSurface_LoadShared(screen, path.GetText()) : nullptr;
    if (!m_LoadScreenImage)
        m_console.PrintfColor("Error loading 'load' bitmap: %s", 255, 255, 255, 0, path.GetText());
}

void CInterface::DrawProgressScreen() {
    CE3DSurface* canvas = Surface();
    if (!canvas) return;
    const int32_t w = canvas->m_width, h = canvas->m_height;
    if (m_LoadScreenImage) m_LoadScreenImage->BltStretchTo(0, 0, w, h, canvas);
    const SProgressView progress = GUIGame().Progress();
    if (!progress.present || !canvas->Lock()) return;
    auto px = [](double v) { return (int32_t)std::lround(v); };
    canvas->SetFont(m_font);
    const uint32_t flags = canvas->m_textFlags;
    canvas->m_textFlags = 0;
    canvas->DrawGlyphs(progress.title, px(0.8475 * w), px(0.883 * h), 0, 255, 0, true, false, 0, false);
    canvas->DrawGlyphs(progress.step, px(0.8475 * w), px(0.945 * h), 0, 255, 0, true, false, 0, false);
    canvas->m_textFlags = flags;
    // Two bars in steps of 3 pixels: the whole load, and the current step.
    const int32_t left = px(0.7046875 * w), right = px(0.9872125 * w);
    auto bar = [&](double top, double bottom, float value) {
        const int32_t y0 = px(top * h), y1 = px(bottom * h);
        canvas->DrawRect(left, y0, right, y1, 0, 128, 0);
        const int32_t filled = left + int32_t((right - left) * std::clamp(value, 0.0f, 1.0f));
        for (int32_t x = left; x + 2 <= filled; x += 3) canvas->DrawFilledRect(x, y0, x + 1, y1, 0, 255, 0);
    };
    bar(0.90625, 0.9175933, progress.overall);
    bar(0.96875, 0.9800933, progress.step01);
    canvas->Unlock();
}

void CInterface::QueueGUICommand(const char* text) {
    if (text && *text) m_guiCommands.emplace_back(text);
}

void CInterface::RunGUICommands() {
    // Taken first: a command may press further buttons or load another GUI.
    std::vector<std::string> commands;
    commands.swap(m_guiCommands);
    const int32_t jump = m_guiJump;
    m_guiJump = -1;
    CCommandInterpreter* ip = m_consoleRole->Interpreter();
    for (const std::string& text : commands)
        if (ip) ip->Execute(false, text.c_str());
    if (jump >= 0) JumpToGUI(jump);
}

namespace {

void UpdateLayers(CInterface* ui, CGUIObject* screen, int32_t x, int32_t y, CE3DSurface* canvas) {
    const int32_t highest = std::min(ui->m_HighestLayer, kMaxDrawLayer);
    for (int32_t layer = 0; layer <= highest; ++layer) screen->Update(layer, x, y, canvas);
}

void RefreshAllLists(CInterface* ui, CGUIObject* screen) {
    const int32_t highest = std::min(ui->m_HighestLayer, kMaxDrawLayer);
    for (int32_t layer = 0; layer <= highest; ++layer) screen->RefreshLists(layer);
    ui->m_RefreshLists = 0;
}

}  // namespace

void CInterface::DrawSelectionBox(CE3DSurface* canvas) {
    m_boxShown = 0;
    if (!m_boxActive || !canvas) return;
    const int32_t x0 = std::min(m_boxStartScreen[0], m_boxEndScreen[0]);
    const int32_t x1 = std::max(m_boxStartScreen[0], m_boxEndScreen[0]);
    const int32_t y0 = std::min(m_boxStartScreen[1], m_boxEndScreen[1]);
    const int32_t y1 = std::max(m_boxStartScreen[1], m_boxEndScreen[1]);
    // A box narrower or lower than 4 pixels is a click, not a box.
    if (x1 - x0 < 4 || y1 - y0 < 4 || !canvas->Lock()) return;
    canvas->DrawRect(x0, y0, x1, y1, 255, 255, 255);
    canvas->Unlock();
    m_boxShown = 1;
}

void CInterface::KeepModesToTheGame() {
    if (!m_world) return;
    const CWorldQuery& query = m_world->Query();
    // Below half power the local player's radar is off: no full-screen radar.
    SPlayerView local;
    if (query.LocalPlayer(&local) && local.energyRatio < 0.5f && !local.watching && !query.WatchingOnly())
        m_fields.m_fullScreenRadar = 0;
    // A placement needs its builder: once it is no longer a selected
    // builder, the item goes back.
    SObjectView lead;
    if (m_mode == 1 && !(query.Object(m_leadUnit, &lead) && lead.Is(SObjectView::kBuilder) &&
                         lead.Is(SObjectView::kSelected))) {
        m_mode = 0;
        m_placeTemplate = nullptr;
    }
    // A pause that starts while nothing is held ends the placement under
    // way, once; the next pause may again.
    const bool held = m_mouseState.left || m_mouseState.right || m_mouseState.shift || m_mouseState.ctrl;
    if (!GUIGame().Paused()) {
        m_pausePending = 1;
    } else if (m_pausePending && !held) {
        m_pausePending = 0;
        if (m_mode == 1) {
            m_mode = 0;
            m_placeTemplate = nullptr;
        }
    }
}

void CInterface::Update(int inGame, int) {
    m_console.UpdateBlink();
    if (m_progressScreen) {
        DrawProgressScreen();
        return;
    }
    // The first frame hands the GUI script to the input manager; it runs at
    // the start of the next frame, so this frame shows nothing yet.
    if (!m_scriptsStarted) {
        m_scriptsStarted = 1;
        GUIGame().QueueScript("LoadGUI.cfg");
        return;
    }
    KeepModesToTheGame();
    const float frame = GUIGame().FrameTime();
    m_pulse += frame * m_pulseSpeed * m_pulseDirection;
    if (m_pulse < 0.0f) {
        m_pulse = 0.0f;
        m_pulseDirection = 1.0f;
    } else if (m_pulse > 255.0f) {
        m_pulse = 255.0f;
        m_pulseDirection = -1.0f;
    }
    if (m_InGameMenu) m_boxActive = 0;
    if (m_console.IsVisible() && !m_console.m_mini) return;

    CE3DSurface* canvas = Surface();
    const bool running = inGame && GuiWord() == 0 && !m_InGameMenu;
    CGUIObject* active = FindActiveGUI();
    if (!active) {
        // No GUI to show: the console is.
        m_console.Show();
        return;
    }
    const uint64_t now = ClockNow(), freq = ClockFrequency() ? ClockFrequency() : 1;
    if (now - m_joinBlinkTime >= freq / 5) {
        m_joinBlink = !m_joinBlink;
        m_joinBlinkTime = now;
    }
    if (active != m_lastActiveGUI) {
        m_RefreshLists = 1;
        m_GUIChanged = 1;
        m_lastActiveGUI = active;
    }
    // The edit box's caret and the confirm dialog go over the screen.
    auto overlays = [this, canvas] {
        if (m_mode == 3) DrawEditCaret(canvas);
        if (m_mode == 4) DrawConfirmDialog(canvas);
    };
    if (running) {
        // After a selection change the panels show the new selection.
        if (m_fields.m_selectionChanged) {
            m_fields.m_selectionChanged = 0;
            m_hud.RebuildSelectionPanel();
        }
        if (!m_drawGUI && !m_fields.m_fullScreenRadar) {
            // Only the HUD's live parts, and the radar in the top right corner.
            active->Update(3, 0, 0, canvas);
            if (canvas) {
                const float portion = m_fields.m_radarScreenPortion;
                const int32_t w = int32_t(std::lround(float(canvas->m_width) * portion));
                const int32_t h = int32_t(std::lround(float(canvas->m_height) * portion));
                CHud::SCost cost(m_hud, CHud::kCostRadar);
                m_hud.m_radar.Draw(canvas, canvas->m_width - w, 0, w, h);
            }
            DrawSelectionBox(canvas);
            overlays();
            return;
        }
        // The in-game screen is drawn into a surface of its own only when it
        // changed; every frame costs one blit of it.
        if (canvas && (!m_guiSurface || m_guiSurface->m_width != canvas->m_width ||
                       m_guiSurface->m_height != canvas->m_height)) {
            delete m_guiSurface;
            m_guiSurface = new CE3DSurface(canvas->Screen());
            if (m_guiSurface->Create(canvas->m_width, canvas->m_height, true) &&
                m_guiSurface->SetColorKey(255, 0, 255)) {
                m_GUIChanged = 1;
            } else {
                delete m_guiSurface;
                m_guiSurface = nullptr;
            }
        }
        if (m_RefreshLists) RefreshAllLists(this, active);
        if (!m_guiSurface) {
            UpdateLayers(this, active, 0, 0, canvas);
        } else {
            if (m_GUIChanged) {
                m_guiSurface->ResetClip();
                m_guiSurface->Fill(m_guiSurface->Pack(255, 0, 255));
                m_GUIChanged = 0;
                UpdateLayers(this, active, 0, 0, m_guiSurface);
            }
            m_guiSurface->ResetClip();
            m_guiSurface->BltTo(0, 0, canvas);
        }
        // The end screen's tables stand alone: no HUD over them.
        if (!m_gameScreen) {
            m_hud.DrawHUD(canvas);
            DrawSelectionBox(canvas);
        }
        overlays();
        return;
    }
    // A menu screen: every layer every frame, the 640 x 480 design centred.
    if (m_RefreshLists) RefreshAllLists(this, active);
    if (m_InGameMenu && canvas) canvas->Fill(0);
    const int32_t x = canvas ? (canvas->m_width - 640) / 2 : 0;
    UpdateLayers(this, active, x, 0, canvas);
    m_GUIChanged = 0;
    overlays();
}
