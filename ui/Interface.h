// The interface object: everything drawn over the 3D view and everything
// of the screen the player steers. It holds the console's state, the 2D
// canvas on which the console, the screen messages and the overlays are
// drawn, the interface fonts, the load screen of the progress stack, the
// fields that the frames and the input manager read (active GUI screen,
// binding file, cursor), the mouse dispatch with its selection box and
// picking (m_orders), the radar's and the panels' state (m_fields) and the
// camera (m_camera). It gives orders only through the world's order
// interface, in world terms. The game object creates it at start-up and
// deletes it after the network game; its destructor frees the console
// lines. It reaches the game through the roles it is given
// (ui/InterfaceRoles.h).
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "console/Console.h"
#include "core/StrBuf.h"
#include "ui/GUIPanels.h"
#include "ui/GameCamera.h"
#include "ui/Hud.h"
#include "ui/InterfaceFields.h"
#include "ui/InterfaceRoles.h"
#include "ui/MapEditorTools.h"
#include "ui/MouseOrders.h"
#include "ui/SystemTexts.h"

class CE3DSurface;
class CE3DFont;
class CNetGame;
class CWorld;
class CBitmapSurface;
class CGUIObject;
class CCommandInterpreter;
class CE3DScreen;
class CE3DViewport;
class IGUIGame;
class IGUISound;
class CSettingsLists;
class CSettingClass;
struct SGUIPack;

class CInterface : public IConsoleHost {
public:
    explicit CInterface(const SInterfaceRoles& roles = SInterfaceRoles());
    ~CInterface() override;
    CInterface(const CInterface&) = delete;
    CInterface& operator=(const CInterface&) = delete;

    // ---- what it is given
    void SetRoles(const SInterfaceRoles& roles);
    // The world it shows and gives orders to (null: none), and the session
    // it chats on (null: none).
    void SetWorld(CWorld* world);
    CWorld* World() const { return m_world; }
    void SetNetGame(CNetGame* net) { m_net = net; }

    // Registers the interface's settings (the console's fonts), bound to its
    // own values.
    void RegisterSettings(CCommandInterpreter* ip);
    // Registers the view area's settings the interface holds (the radar's
    // scale portion and switches, the GUI's switch) of the names given, in
    // that order, or all of them.
    void RegisterViewSettings(CCommandInterpreter* ip, std::initializer_list<const char*> names = {});
    // The radar and the GUI are drawn again (their settings changed).
    void RedrawRadarAndGUI();

    // The console's view of the game.
    uint64_t ConsoleClockNow() override;
    uint64_t ConsoleClockFrequency() override;
    CCommandInterpreter* ConsoleInterpreter() override;
    void ConsoleSendChat(const char* text) override;
    EClipboard ConsoleGetClipboard(CStrBuf& out) override;
    bool ConsoleSetClipboard(const char* text) override;
    void ConsoleVisibilityChanged() override;
    void ConsoleRenderNow(bool flag) override;

    // Draws the full or the mini console on the canvas; with noMouseInfo set
    // the unit information is not drawn over it.
    void DrawConsole(int noMouseInfo);

    // Builds the interface fonts (the console's among them) and sets up the
    // console with its picture from the GUI resource folder.
    void CreateFonts();
    // Builds the console font, or the screen console font, again from its
    // variables, releasing the old one.
    void RebuildConsoleFont();
    void RebuildScreenFont();
    // The rows of a full console page (at least 1).
    int ConsolePageRows();
    void LoadConsoleBackground();
    // Releases the canvas after a display set-up or mode change; the mouse
    // update then skips a few frames.
    void ReleaseSurfaces();
    enum { kSkipFramesAfterDisplayChange = 3 };
    // Per-frame interface work: (0, 0) from the interface frame, (1, 0) from
    // the render frame.
    void Update(int inGame, int arg);
    void DrawUnitMouseInfo();
    void DrawMouseCursor(CE3DSurface* surface);
    void SetLoadScreenImage();
    void DrawProgressScreen();
    // Clears the screen and draws the load screen (the progress stack's redraw).
    void DrawProgressFrame();
    void JumpToGUI(int screenId);
    // Each frame, before anything is drawn: the full-screen radar closes
    // while the local player's power is below half, a placement ends once
    // its builder is no longer selected, and a pause begun with nothing held
    // ends the placement under way.
    void KeepModesToTheGame();
    uint8_t m_pausePending = 1;

    // ---- system texts (ui/SystemTexts.cpp)
    // The text of an index: "" while the language has given it none and
    // outside the table, "*LOC*" for every index while TestLocalization is
    // on.
    const char* GetSystemText(int index);
    // The same, but a text never given shows its identifier's name: the
    // settings lists' labels and choices, whose rows and typed values are
    // told apart by them.
    const char* SystemTextOrName(int index);
    // The text with its "%s" filled by the values ("" for a text never
    // given), or its identifier's name when its conversions do not match
    // them (said once per text on the console).
    std::string FormatSystemText(int index, std::initializer_list<const char*> values);
    // Gives a text to the GUI localization object of that "LID", or else to
    // the system text of that name (any letter case).
    void SetLid(const char* lid, const char* text);
    // Reports GUI localization objects below object that have no text.
    void CheckLocalization(CGUIObject* object);
    // Reports system texts without a name or a text.
    void CheckSystemTexts();

    // ---- the GUI (ui/GUILoad.cpp, ui/GUIScreens.cpp)
    // g_Load: the interface of the packfile (below the GUI folder) replaces
    // the loaded one; g_Append adds its screens. A file that cannot be read
    // is refused with a console line naming it, and the loaded interface
    // stays as it was. False when refused.
    bool LoadGUI(const char* name);
    bool AppendGUI(const char* name);
    // The same from a packfile's records (tests, benchmarks); name is what
    // the console lines call it.
    bool LoadGUIPack(const SGUIPack& pack, const char* name, bool append);
    // The top-level GUI of the active id; a missing id falls back to 1.
    CGUIObject* FindActiveGUI();
    // The last object in depth-first order whose "ID" is the name, or null.
    CGUIObject* FindPanel(const char* name);
    void IdentifyPanels();
    void LoadMouse();
    void LoadUnitInfo();
    void FreeGUI();
    void FreePictures();
    // The command-context step of each frame: the screen asked for (the
    // score screen, the in-game menu's or the one kept outside it) becomes
    // the active one when it changed, and the GUI context's binding file is
    // chosen (the edit box's, the active screen's "KeyBindingFile", or
    // "Commands_GUI.cfg").
    void UpdateGUIContext();
    // The selection box being dragged, in white (not when it is smaller
    // than 4 pixels either way).
    void DrawSelectionBox(CE3DSurface* canvas);
    // Every render frame after the scene: the box's start corner goes where
    // its ground now lies on the screen (the view scrolled or turned while
    // the box is dragged); the end corner is the mouse.
    void ProjectSelection();
    // Runs a command text of the GUI after the mouse walk that pressed it.
    void QueueGUICommand(const char* text);
    void RunGUICommands();
    // The GUI's rows of the command set (ui/GUICommands.cpp), entered into an
    // interpreter for this interface; the game registers them as soon as the
    // interface exists, so that the language script can give the texts. The
    // rows work on this interface (their context).
    void RegisterGUICommands(CCommandInterpreter* ip);
    // The game as the GUI sees it (ui/GUIRoles.h): the given role, or the
    // default without a game; and what the GUI reads of the other roles.
    IGUIGame& GUIGame() { return *m_guiGame; }
    int32_t GuiWord();
    CE3DScreen* Screen();
    CNetGame* NetGame() { return m_net; }
    const char* GetPath(const char* subFolder, const char* name);
    // The game clock, for the GUI's sequences and blinking.
    uint64_t ClockNow();
    uint64_t ClockFrequency();
    // The lists the screens show (ui/GUILists.cpp).
    void FillMapList(CGUIObject* list);
    void FillLobbyPlayerList(CGUIObject* list);
    void FillServerName(CGUIObject* panel);
    bool SelectMap(const char* name);

    // ---- the mouse (ui/MouseDispatch.cpp)
    // Every mouse-button event of the game, at the screen point (x, y):
    // 0 left down (at the press and on every step while held), 1 left up
    // (at the release and on every step while up), 2 right press, 3 moved,
    // 5 left press (after 0), 6 double click, 7 right press (after 2). In a
    // fixed order the confirm dialog, the full-screen radar, the map editor,
    // the GUI or the game view takes it. 1, or 0 when a build is refused.
    int OnMouseEvent(int code, int x, int y);
    // An event for the game view: the selection box, the right press, the
    // double click, which m_orders turns into the world's commands. 1.
    int IssueOrderAtMouse(int x, int y, int code);
    // The world point under the screen point (y = 0): through the radar when
    // the point lies on the radar's map, else the ground under it in the
    // game view; false without a view.
    bool GetMouseWorldPosition(int x, int y, float point[3]);
    // The ground point under the screen point in the game view; false
    // without a view.
    bool GetGroundUnderMouse(int x, int y, float point[3]) const;
    // The screen pixel of a world point in the game view; false without a
    // view or behind the camera.
    bool ProjectToScreen(const float point[3], int32_t pixel[2]) const;
    // The object under the screen point in the game view (its id; -1 none).
    int32_t PickObjectAt(int x, int y);
    // The game view's viewport (null without a display).
    CE3DViewport* Viewport() const;
    // The map-editing mode (M_EditMode).
    bool MapEditMode() const;
    // The map editor's tools (ui/MapEditorTools.cpp): the held left button
    // in the map editing mode, on the panel or the map. 1.
    int MapEditorTools(int x, int y, CGUIObject* gui, bool gameViewTakes);
    // An editor tool that works by the mouse's movement (paint modes 2 to 7)
    // has the press: the rectangle it drags selects nothing.
    bool MapEditorHoldsBox() const;
    // The local player's complete units whose screen points lie inside the
    // game view join the selection (the selection's panels are rebuilt).
    // The number selected after; -1 without a world.
    int32_t SelectUnitsOnScreen();

    // The surface the interface draws on: the screen's back buffer, or,
    // from the display change after vid_UseSeprate2DSurface was set, a
    // surface of its own, colour-keyed (255, 255, 0), that is laid over the
    // back buffer as it is shown (ComposeCanvas) and cleared again.
    CE3DSurface* Surface();
    void ComposeCanvas(CE3DSurface* target);
    static constexpr uint8_t kCanvasKey[3] = {255, 255, 0};
    CE3DSurface* m_ownCanvas = nullptr;
    uint8_t m_separateCanvas = 0;
    // A font of the screen (null without a screen).
    CE3DFont* BuildFont(const char* face, int width, int height, int weight, int attributes, int outline);
    // The screen holds that font among the game's own, so BuildFont finds
    // it instead of making it with a warning.
    void PrepareFont(const char* face, int width, int height, int weight, int attributes, int outline);

    CConsole m_console;
    // Console fonts (the console variables Console_Font_* and
    // Console_Screen_Font_*, saved in Console.cfg).
    int32_t m_ConsoleFontHeight = 11;
    int32_t m_ConsoleFontWidth = 6;
    CStrBuf m_ConsoleFontName;  // "MS Mincho"
    int32_t m_ScreenFontHeight = 13;
    int32_t m_ScreenFontWidth = 0;
    CStrBuf m_ScreenFontName;  // "Tahoma"
    uint8_t m_ScreenFontBold = 1;
    int32_t m_ConsoleLineHeight = 11;
    CE3DFont* m_consoleFont = nullptr;
    CE3DFont* m_screenFont = nullptr;
    CE3DFont* m_font = nullptr;  // normal
    CE3DFont* m_largeFont = nullptr;
    CE3DFont* m_clockFont = nullptr;
    CStrBuf m_guiResourceFolder;  // "GUI" below the root by default
    float m_blinkTimer = 0.0f;
    uint8_t m_blink = 0;
    uint8_t m_drawnThisFrame = 0;
    int32_t m_videoOverlay = 0;
    uint8_t m_progressScreen = 0;
    CStrBuf m_statusLine;
    int32_t m_activeGUI = 1000;  // none
    CStrBuf m_guiBindingFile;    // "Commands_GUI.cfg"
    int32_t m_mode = 0;          // 3 while editing settings
    int32_t m_confirmAnswer = 0;
    uint8_t m_gameScreen = 0;
    CStrBuf m_settingsEdit;
    int32_t m_cursorX = 0, m_cursorY = 0;
    float m_scrollSpeed = 1.0f;
    int32_t m_animLength = 64;
    CStrBuf m_campaignName;
    CStrBuf m_missionName;
    // The GUI panel "Console" (its place on the canvas), in which the mini
    // console draws; bound by the GUI when it names such a panel. Until then
    // the mini console draws in a band of this many rows at the bottom.
    enum { kBuiltInMiniConsoleRows = 6 };
    struct SPanelRect {
        uint8_t bound = 0;
        int32_t x = 0, y = 0, width = 0, height = 0;
    } m_consolePanel;
    uint8_t m_redraw = 0;
    uint8_t m_fullConsole = 0;
    uint8_t m_mouseInfo = 0;
    float m_missionTimerEnd = 0.0f;

    // ---- what the mouse dispatch keeps
    // The interface's own state about the mouse and the selection (the
    // pending order, the radar, the selected unit), the game view's part of
    // the mouse, and the camera.
    SInterfaceFields m_fields;
    CMouseOrders m_orders{m_fields};
    CGameCamera m_camera;
    // The in-game HUD: the radar, the panels, the event messages, the mouse
    // action, the cursor and the overlays (ui/Hud.h).
    CHud m_hud{*this};
    // The input manager's state at each mouse event; its sender fills it.
    struct SMouseState {
        uint8_t left = 0, right = 0;  // as m_SetLB and m_SetRB left them
        uint8_t shift = 0, ctrl = 0;
        int32_t dy = 0;  // the mouse's movement in y in the last step
    } m_mouseState;
    // The confirm dialog: the answer under the mouse while it is drawn.
    int32_t m_confirmHover = 0;
    uint8_t m_confirmCloseOnPress = 0;
    uint8_t m_confirmPressed = 0;
    // A press on a GUI object is under way; a GUI object's command ran.
    int32_t m_guiPressing = 0;
    int32_t m_commandRan = 0;
    // The unit whose build icons the HUD shows (its object id; -1 none).
    int32_t m_leadUnit = -1;
    // The selection box: screen corners and the ground points under them.
    int32_t m_boxActive = 0;
    uint8_t m_boxShown = 0;  // drawn in the last frame
    int32_t m_boxStartScreen[2] = {0, 0};
    int32_t m_boxEndScreen[2] = {0, 0};
    float m_boxStartWorld[3] = {0.0f, 0.0f, 0.0f};
    float m_boxEndWorld[3] = {0.0f, 0.0f, 0.0f};
    // The ground the box started on in the game view (not on the radar),
    // where the press was and where that ground then lay on the screen: the
    // box's start stays on that ground while the view moves.
    uint8_t m_boxAnchored = 0;
    float m_boxAnchor[3] = {0.0f, 0.0f, 0.0f};
    int32_t m_boxPressScreen[2] = {0, 0};
    int32_t m_boxAnchorPixel[2] = {0, 0};
    // Per press: each is cleared by the release of both buttons, so that a
    // press acts once.
    uint8_t m_rightPressHandled = 0;
    uint8_t m_buildPanelRightPress = 0;
    uint8_t m_leftPressHandled = 0;
    uint8_t m_placeCancelled = 0;
    uint8_t m_editorPlaced = 0;
    SMapEditorTools m_editorTools;
    // The buildable item being placed (mode 1), none otherwise.
    const void* m_placeTemplate = nullptr;
    uint8_t m_drawGUI = 1;  // cg_DrawGUI

    // ---- the GUI
    // The loaded tree: the root's children are the screens.
    CGUIObject* m_GUIRoot = nullptr;
    // The sound engine's side of the GUI's banks (set by the game), and the
    // banks of the loaded packfile.
    IGUISound* m_guiSound = nullptr;  // the given role; null: no sound
    std::vector<void*> m_SoundBanks;
    SSystemTextEntry m_SystemTexts[kSystemTextCount];
    uint8_t m_TestLocalization = 0;  // TestLocalization
    std::set<int> m_formatRefused;   // texts whose conversions were reported
    // Screens: the id kept outside the in-game menu (the main menu until a
    // game or a script says otherwise), the in-game menu, the id the context
    // step asked for last; m_activeGUI (above) is the one shown.
    int32_t m_MenuGUIId = 1;
    uint8_t m_InGameMenu = 0;
    int32_t m_RequestedGUIId = 0;
    int32_t m_menuPage = 0;
    uint8_t m_GUIChanged = 1;
    uint8_t m_RefreshLists = 0;
    int32_t m_HighestLayer = 0;
    int32_t m_missingGUIReported = -1;  // the missing id said last
    CGUIObject* m_lastActiveGUI = nullptr;
    // The search bookkeeping of CGUIObject::FindByProperty.
    CGUIObject* m_SearchResult = nullptr;
    uint8_t m_SearchFound = 0;
    uint8_t m_SearchFoundTwice = 0;
    // Set by GUI properties: the HUD's button counts (their scroll offsets
    // apart) and the mini console's rows.
    int32_t m_MultiSelectButtons = 0, m_MultiSelectOffset = 0;
    int32_t m_BuildIconButtons = 0, m_BuildIconOffset = 0;
    int32_t m_MiniConsoleLines = 0;
    uint8_t m_GUIInput = 0;  // set by g_IdentifyPanels
    CGUIObject* m_HoveredGUIObject = nullptr;
    CGUIObject* m_Panels[kPanelCount] = {};
    std::vector<CGUIObject*> m_MultiButtons, m_BuildIcons;
    uint8_t m_scriptsStarted = 0;
    // The pulsing colour (0 to 255 and back) and the join button's blink.
    float m_pulse = 0.0f, m_pulseSpeed = 255.0f, m_pulseDirection = 1.0f;
    uint8_t m_joinBlink = 0;
    uint64_t m_joinBlinkTime = 0;
    // Command texts and the jump of a release, run after the mouse walk.
    std::vector<std::string> m_guiCommands;
    int32_t m_guiJump = -1;
    // Cursors (Mouse\Idle.bmp, IdleAdd.bmp, IdleSub.bmp and the sequences
    // select, harvest, no_select, attack, move) and the unit-status
    // sequences (UnitInfo\Pathing, TurnedOff, NoPath).
    CBitmapSurface* m_mouseBitmaps[3] = {nullptr, nullptr, nullptr};
    std::vector<CBitmapSurface*> m_mouseSequences[5];
    std::vector<CBitmapSurface*> m_unitInfoSequences[3];
    int32_t m_NumMouseBitmaps = 0;     // g_NumMouseBitmaps
    int32_t m_NumUnitInfoBitmaps = 0;  // g_NumUnitInfoBitmaps
    CBitmapSurface* m_LoadScreenImage = nullptr;
    // The in-game screen between its changes (colour key 255, 0, 255).
    CE3DSurface* m_guiSurface = nullptr;
    // The lobby's lists.
    int32_t m_mapListScroll = 0, m_lobbyListScroll = 0;
    uint8_t m_RejectMode = 0;
    uint8_t m_RemakeMapChange = 1;  // g_RemakeMapChange
    std::vector<CStrBuf> m_mapNames;
    CStrBuf m_TCPAddress;  // g_TCPAdress
    int32_t m_GameSpeedSetting = 3, m_ScrollSpeedSetting = 3;
    int32_t m_MessageLines = 6;
    uint8_t m_ToolTips = 1;
    int32_t m_BuildOrderDuplication = 5;

    // ---- the settings lists (ui/Settings*.cpp, ui/SettingsRows.cpp)
    // g_ParseSettingsList: the classes and entries of every list are built
    // (again) and the GUI's lists bound to them by the names their
    // "DefineList" gives.
    void ParseSettingsList();
    // Binds every object of the tree that names a settings class to it (its
    // rows, cells and buttons to the list); a name no class has is said once.
    void BindSettingsLists();
    CSettingClass* FindSettingClass(const char* name);
    // No class points at a list of a tree that goes.
    void UnbindSettingsLists();
    std::unique_ptr<CSettingsLists> m_settings;
    std::set<std::string> m_unknownListsSaid;

    // ---- edit boxes and the confirm dialog (ui/GUIEdit.cpp)
    // Editing starts on the object's first text line (the input's edit field
    // works on m_settingsEdit meanwhile; mode 3); leaving it acts on the
    // text unless cancelled: a settings value, the edit target, an address
    // to join, a player's name, a new team, a channel, the server's name, a
    // chat line.
    void EnterEditMode(CGUIObject* object);
    void LeaveEditMode(bool cancel);
    // The edited text kept to its field's length, and the caret.
    void DrawEditCaret(CE3DSurface* canvas);
    // The longest text the edit box takes (0: any).
    int32_t EditLimit(const CGUIObject* object) const;
    CGUIObject* m_editObject = nullptr;
    CStrBuf* m_editTarget = nullptr;  // receives the text when editing ends
    int32_t m_editTargetLimit = 0;
    int32_t m_caretX = 0;
    uint8_t m_caretOn = 1;
    uint64_t m_caretTime = 0;
    CStrBuf m_createdTeam;
    // The confirm dialog (mode 4): a message and up to three buttons (left,
    // middle, right), each with a command run when it is chosen; closed at
    // once after a choice when closeOnPress is set or the button has a
    // command, else the caller reads m_confirmAnswer.
    void ActivateConfirmDialog(const char* message, const char* left, const char* middle, const char* right,
                               bool closeOnPress, const char* commands[3] = nullptr);
    void DrawConfirmDialog(CE3DSurface* canvas);
    // The button under the mouse on a canvas of that size (0 none).
    void ConfirmHoverAt(int32_t width, int32_t height);
    // A left press while the dialog is open.
    void ConfirmPress();
    CStrBuf m_confirmMessage;
    CStrBuf m_confirmButtons[3];
    uint8_t m_confirmPresent[3] = {0, 0, 0};
    std::string m_confirmCommands[3];
    // Whether the point lies in the rectangle of the 640 x 480 design placed
    // in the canvas's middle; the join screen's areas (1 to 5, 0 none).
    bool IsInLayoutRect(int32_t x, int32_t y, int32_t left, int32_t top, int32_t right, int32_t bottom);
    int32_t HitTestJoinAreas(int32_t x, int32_t y);
    // The chat view one line older (0) or newer (1).
    void ScrollChatList(int32_t direction);

    // ---- the lobby's, the browser's, the file lists' and the statistics'
    // fillers (ui/GUILobbyLists.cpp, ui/GUIStats.cpp)
    void FillMasterServerList(CGUIObject* list);
    void FillServerInfo(CGUIObject* list);
    void FillUserList(CGUIObject* list);
    void FillChatChannelList(CGUIObject* list);
    void FillListTitle(CGUIObject* list);
    void FillCampaignList(CGUIObject* list);
    void FillSaveSlots(CGUIObject* list);
    // The colours are painted on the canvas (none: the texts only).
    void FillPlayerStats(CGUIObject* list, CE3DSurface* canvas = nullptr);
    void FillTeamStats(CGUIObject* list);
    void ResetScorePanel(CGUIObject* panel);
    // The chat lines in the rectangle (newest at the bottom, wrapped).
    void DrawChatLines(CGUIObject* object, int32_t left, int32_t top, int32_t right, int32_t bottom);
    void DrawSortArrow(int32_t x, int32_t y, int32_t direction);
    // The connection kind as the lists name it.
    std::string ConnectionText(int32_t kind);
    int32_t m_serverListScroll = 0, m_userListScroll = 0, m_channelListScroll = 0;
    int32_t m_campaignListScroll = 0, m_saveSlotScroll = 0;
    int32_t m_playerStatsScroll = 0, m_teamStatsScroll = 0;
    int32_t m_sortColumn = 0, m_sortDirection = 1;
    uint8_t m_internetMode = 0;
    std::vector<CStrBuf> m_campaignNames;
    struct SSaveSlot {
        std::string name, date, time;
    };
    std::vector<SSaveSlot> m_saveSlots;
    // How many lines back from the newest the chat view stands.
    int32_t m_chatView = 0;
    uint8_t m_lobbyChatEnded = 0;  // the master's chat was left for the lobby
    uint64_t m_nextBrowserUpdate = 0;
    // The briefing: its first shown line, the mission's texts and picture.
    int32_t m_briefingScroll = 0;
    CStrBuf m_missionText, m_objectiveText, m_briefingAnimation;
    // The radar's rings of event markers, newest first: a world point, a
    // size, an age (seconds, below 0 not yet shown) and a colour (the lock,
    // G_RadarLockMode, is the radar's own).
    struct SRadarMessage {
        float x = 0.0f, z = 0.0f, size = 0.0f, age = 0.0f;
        uint8_t rgb[3] = {0, 0, 0};
    };
    std::vector<SRadarMessage> m_radarMessages;
    // Half the map's width and height together (0 without a world).
    float MapHalfExtent();
    // The load screen's layout values (g_SetLoadScreenConfig).
    int32_t m_loadScreenLayout[20] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 2};
    uint8_t m_UseSeparate2DSurface = 0;  // vid_UseSeprate2DSurface

private:
    IWorldFiles* m_files = nullptr;
    IGUIGame* m_guiGame = nullptr;
    IInterfaceScreen* m_screen = nullptr;
    IInterfaceConsole* m_consoleRole = nullptr;
    IInterfaceState* m_state = nullptr;
    CWorld* m_world = nullptr;
    CNetGame* m_net = nullptr;
};
