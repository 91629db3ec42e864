// The in-game HUD: what the running game's screen (GUI 1000) shows beyond
// the GUI objects themselves, and what the mouse means over the game view.
//
//  - the HUD frame (ui/Hud.cpp): the radar in its panel, the energy gauge,
//    the object under the mouse (HeldInfo), the resource count and bar with
//    the low-resources warning, the build icons; the canvas routines every
//    HUD and overlay part shares (segment and health bars, the progress bar,
//    the framed text box, the help text), the panel tests, the cursor;
//  - the event messages (ui/HudEvents.cpp): a game event of the local
//    player as a coloured console line echoed on the screen, the race's
//    announcer and a marker on the radar;
//  - the selection panel and the build icons (ui/HudPanels.cpp): the
//    selected units in the MultiButton slots with their health, a builder's
//    items in the BuildIcon buttons with their counts, costs and progress,
//    the clicks on them, the footprint of a building being placed;
//  - the mouse action (ui/HudMouse.cpp): every frame what a click would do
//    at the mouse, the cursor that says it and the tooltips after the hover
//    delay;
//  - the overlays over the game view (ui/HudOverlays.cpp): the selection
//    marks and status bars of the local player's units, their order paths
//    and markers while Shift is held (which the mouse dispatch drags, deletes
//    and inserts waypoints into), the crystal fields, group numbers, waiting
//    labels and the large centre messages.
//
// The HUD reads the world only through its query and changes it only
// through its order interface; its state is the local player's view, in no
// sync image or saved game. The interface owns one (CInterface::m_hud).
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "ui/Radar.h"
#include "world/WorldQuery.h"

class CInterface;
class CE3DSurface;
class CE3DFont;
class CBitmapSurface;
class CGUIObject;
class CTessarakObjectTemplate;
class CCommandInterpreter;

// The mouse actions: what a click at the mouse would do (the cursor and the
// tooltip follow it).
enum EMouseAction : int32_t {
    kActionNone = 0,
    kActionSelect = 1,
    kActionMove = 2,
    kActionCantSelect = 3,
    kActionAttack = 4,
    kActionHarvest = 5,
    kActionAddWaypoint = 6,
    kActionDeleteWaypoint = 7,
    kActionBuild = 8,
    kActionCantBuild = 9,
    kActionGuard = 10,
    kActionCantGuard = 11,
    kActionPatrol = 12,
    kActionConnect = 13,
    kActionCantConnect = 14,
    kActionRepair = 15,
    kActionCantRepair = 16,
    kActionWarp = 17,
    kActionOutOfWarpRange = 18,
    kActionUnexplored = 19,
    kActionTeamMember = 20,
    kActionOutsideMap = 21,
    kActionRadarOff = 22,
    kActionOutOfReach = 23,
};

// An order path's part under the mouse, found while the paths were drawn
// (valid for the mouse events until the next frame): a queue place of the
// unit's, -1 none.
struct SOrderHover {
    int32_t unit = -1;
    int32_t order = -1;  // the marker's order (its queue place)
    uint32_t orderType = 0;
    int32_t lineUnit = -1;
    int32_t lineFrom = -1;  // the segment from this order (-1: from the unit)
    int32_t lineTo = -1;    // to this one
    bool lineBlocked = false;
    bool markerSeen = false, lineSeen = false;
};

class CHud {
public:
    explicit CHud(CInterface& ui);
    ~CHud();
    CHud(const CHud&) = delete;
    CHud& operator=(const CHud&) = delete;

    // The HUD's two fonts: the small one (Tahoma 13) and the radar's (MS
    // Mincho 11); released again at shutdown.
    void CreateFonts();
    // The HUD's own rows of the command set (the status bars' settings,
    // perf_HudCost, dbg_MouseAction).
    void RegisterSettings(CCommandInterpreter* ip);
    // The status bars' 27 settings (the ui_Statusbar_ variables).
    int32_t* StatusbarSettings() { return m_statusbar; }
    // A game starts or a map loads: the rings, warnings, the last event, the
    // selection panel's offsets and the placement are forgotten.
    void ResetForGame();
    // The map's radar picture (null: the map has none; the radar is off).
    void LoadRadar(const void* data, size_t size);

    // ---- event messages (ui/HudEvents.cpp)
    // An event of a player: only the local player's, while this machine does
    // not only watch; codes 2 to 27 but 6 and 8 show. sender: a template's
    // name or the system computer's (null: it); argument: the text's second
    // value (null: none).
    void PostEventMessage(int code, int32_t playerId, float x, float z, const char* sender,
                          const char* argument);

    // ---- the frame (render frame order)
    // Before anything is drawn over the 3D view: the mouse action, the world
    // point under the mouse, the cursor; the footprint of a placement.
    bool UpdateMouseInfo(CE3DSurface* canvas);
    // The overlays over the game view (under the GUI): the selected units'
    // orders, their bars and groups, the script points, the centre messages.
    void DrawSelectedOrders(CE3DSurface* canvas);
    // The units' status pictures (their way being searched), every render
    // frame, the overlays drawn or not.
    void DrawUnitStatusIcons(CE3DSurface* canvas);
    // After the GUI: the HUD's panels.
    void DrawHUD(CE3DSurface* canvas);
    // Last: the tooltips of the panels and of the mouse action.
    void DrawTooltips(CE3DSurface* canvas);
    // The cursor at the mouse (on the back buffer just before it is shown).
    void DrawMouseCursor(CE3DSurface* target);

    // ---- the canvas routines (ui/Hud.cpp)
    // 2 x 3-pixel segments every 3 pixels while below width x fraction,
    // clipped to the rectangle (the height only clips).
    void DrawSegmentBar(CE3DSurface* canvas, int32_t x, int32_t y, int32_t width, int32_t height,
                        float fraction, uint8_t r, uint8_t g, uint8_t b);
    // The same coloured by the fraction: green above 0.534, yellow above 0.2,
    // red above 0; nothing at 0 or below.
    void DrawHealthBar(CE3DSurface* canvas, int32_t x, int32_t y, int32_t width, int32_t height,
                       float fraction);
    void DrawProgressBar(CE3DSurface* canvas, int32_t left, int32_t top, int32_t right, int32_t bottom,
                         float fraction);
    // A framed table box of rows 12 pixels high with its title.
    void DrawTextBox(CE3DSurface* canvas, int32_t x, int32_t y, int32_t width, int32_t column, int32_t rows,
                     const char* text);
    // A help text in a filled, framed box (not while tooltips are off, nor a
    // text shorter than 2 characters; kept 3 pixels inside the right edge,
    // not drawn past the bottom).
    void DrawText(CE3DSurface* canvas, const char* text, int32_t x, int32_t y, bool dimmed);

    // ---- panel tests
    bool IsMouseOverPanel(const CGUIObject* panel) const;
    bool IsMouseOverRadarMap() const;
    // The mouse points at the radar's map: the full-screen radar, the radar
    // panel, or without the GUI the radar's map in its corner (never while
    // the radar is off).
    bool IsMouseOverRadar() const;
    bool IsMouseOverHUD() const;
    // The world point under the mouse: through the radar when the mouse is
    // over its map, else the ground under it in the game view.
    bool GetMouseWorldPosition(float point[3]) const;

    // ---- the selection panel and the build icons (ui/HudPanels.cpp)
    // After a selection change: the slots, or a builder's icons. False when
    // the one selected object is not a unit.
    bool RebuildSelectionPanel();
    bool RefreshBuildIcons();
    // The build item under the mouse (null: none).
    const CUnitTemplate* BuildItemAtMouse() const;
    // A left click on a build icon (the GUI's press action).
    void OnBuildIconPressed();
    // A right press on a build icon (before the game view sees it): true
    // when it was the build panel's (the map gets no order); refused: the
    // item cannot be built here (the dispatch answers 0).
    bool BuildPanelRightPress(bool shift, bool* refused);
    // Whether the site of a structure at (x, z) is blocked; draws its
    // footprint (red when blocked).
    bool DrawPlacementFootprint(CE3DSurface* canvas, const CTessarakObjectTemplate* item, float x, float z,
                                uint8_t r, uint8_t g, uint8_t b, bool check);

    // ---- the order paths' parts under the mouse (ui/HudOverlays.cpp), and
    // what the mouse dispatch does with them: the marker dragged, the
    // waypoint inserted (and dragged while the right button is held), the
    // marker a right press took (its order goes at the release).
    SOrderHover m_orderHover;
    struct SOrderEdit {
        int32_t unit = -1;
        int32_t order = -1;
        uint32_t type = 0;
    };
    SOrderEdit m_drag, m_inserted, m_removeAtRelease;
    uint8_t m_dragStarted = 0, m_insertStarted = 0;

    // ---- state
    CRadar m_radar;
    CE3DFont* m_smallFont = nullptr;
    CE3DFont* m_asianFont = nullptr;
    int32_t m_mouseAction = kActionNone;
    int32_t m_hoverObject = -1;  // the object under the mouse (-1 none)
    uint8_t m_hiddenUnderMouse = 0, m_unseenUnderMouse = 0;
    float m_mouseWorld[2] = {0.0f, 0.0f};  // snapped to thirds
    float m_hoverTime = 0.0f;
    float m_cursorTime = 0.0f;
    uint8_t m_panelTooltip = 0;
    std::string m_panelTooltipText;  // what it shows while it shows
    std::string m_tooltipName;
    // The cursor: its picture (not owned), the name of the picture or
    // sequence it came from, and hot spot.
    CBitmapSurface* m_cursor = nullptr;
    const char* m_cursorName = "Idle";
    int32_t m_cursorOffset[2] = {-16, -16};
    // The unit-status sequences (CInterface::m_unitInfoSequences), and how
    // long a search that found no way shows its picture; the units whose
    // last search found none, with their picture's time left.
    enum { kStatusPathing = 0, kStatusTurnedOff = 1, kStatusNoPath = 2 };
    static constexpr float kNoPathSeconds = 3.0f;
    std::unordered_map<int32_t, float> m_noPathTimers;
    // The status picture a unit shows (kStatus..., -1 none).
    int32_t StatusPicture(const SObjectView& o) const;
    // Frames in which the mouse update only counts down and no cursor shows
    // (set by a display change, cleared when a map's radar is made).
    int32_t m_skipFrames = 0;
    // The placement of an item (mode 1): where, and whether it is blocked.
    uint8_t m_placeBlocked = 0;
    float m_placePosition[2] = {0.0f, 0.0f};
    // The build list of the lead unit, and the units in the selection slots
    // (their ids; -1 an empty slot).
    std::vector<SBuildItemView> m_buildItems;
    std::vector<int32_t> m_slotUnits;
    // The status bars (ui_Statusbar_): the place below the unit's centre,
    // the width, the power and reload bars' heights and interlaces, then the
    // outline, power (begin, middle, end) and reload (begin, middle, end)
    // colours, three values each.
    int32_t m_statusbar[27] = {15, 30, 2,   2, 1000, 1000, 0, 0,   0,   192, 0,   0,   192, 192,
                               0,  0,  192, 0, 128,  0,    0, 192, 128, 0,   192, 192, 0};
    // The low-resources warning's next game time.
    uint64_t m_nextResourceWarning = 0;
    // The energy gauge's blink.
    float m_energyBlink = 0.0f;
    // The overlays' timers.
    float m_phase = 0.0f, m_blink = 0.0f;
    // The last frame's mouse, for the hover time.
    int32_t m_lastMouse[2] = {0, 0};
    // Objects the frame reads more than once: the world's objects, the
    // selection, the lead unit.
    std::vector<SObjectView> m_objects;
    uint8_t m_objectsRead = 0;  // this frame's overlays read m_objects
    std::vector<SObjectView> m_selection;
    SPlayerView m_local;
    bool m_haveLocal = false;

    // What the HUD costs (perf_HudCost): the time spent in its parts each
    // frame (the mouse action, the overlays, the status pictures, the panels
    // and the radar, the tooltips, the cursor), read on the steady clock, and
    // the frames and time since the last read-out. View only.
    enum ECostPart {
        kCostBackBuffer,  // the overlays' lock of the back buffer (it reads nothing back: see CGLCore)
        kCostMouse,
        kCostOverlays,
        kCostStatusIcons,
        kCostPanels,
        kCostRadar,
        kCostTooltips,
        kCostCursor,
        kCostParts
    };
    struct SCost {
        SCost(CHud& hud, ECostPart part)
            : m_hud(hud), m_part(part), m_start(std::chrono::steady_clock::now()) {}
        ~SCost() {
            m_hud.m_costSeconds[m_part] +=
                std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
        }
        CHud& m_hud;
        ECostPart m_part;
        std::chrono::steady_clock::time_point m_start;
    };
    double m_costSeconds[kCostParts] = {};
    int64_t m_costFrames = 0;
    std::chrono::steady_clock::time_point m_costSince = std::chrono::steady_clock::now();
    // The read-out: the frames since the last, the HUD's milliseconds a frame
    // and the frame's, the frame rate; the counts start again.
    std::string CostReport();
    // The text of an action's tooltip with the name after it ("" for an
    // action without one).
    std::string ActionTooltip(int32_t action, const std::string& name) const;

    // The icon of a template (GUI\Icons\<name>.bmp), loaded once; null when
    // there is none.
    CBitmapSurface* Icon(const CTessarakObjectTemplate* tmpl);

private:
    void DrawResourcePanel(CE3DSurface* canvas);
    bool DrawEnergyPanel(CE3DSurface* canvas, int32_t x, int32_t y);
    void DrawHeldInfo(CE3DSurface* canvas, int32_t x, int32_t y);
    void DrawSelectionSlots(CE3DSurface* canvas);
    void DrawBuildIcons(CE3DSurface* canvas);
    void DrawBuildProgress(CE3DSurface* canvas, const CGUIObject* icon, float fraction);
    void DrawActionTooltip(CE3DSurface* canvas, int32_t action, const std::string& name);
    bool DrawPanelTooltip(CE3DSurface* canvas);
    // hover: the markers and lines under the mouse are noted (Shift held).
    void DrawOrderPath(CE3DSurface* canvas, const SObjectView& unit, bool hover);
    void DrawRallyPoint(CE3DSurface* canvas, const SObjectView& structure);
    void DrawOrderMarker(CE3DSurface* canvas, int32_t x, int32_t y, uint32_t type, bool highlighted);
    void DrawResourceSpots(CE3DSurface* canvas);
    void DrawScriptPointLabels(CE3DSurface* canvas);
    void DrawStatusBars(CE3DSurface* canvas);
    void DrawCentreMessages(CE3DSurface* canvas);
    void ChooseCursor();
    // A world point's pixel on the canvas; false behind the eye or without a
    // view.
    bool Project(float x, float y, float z, int32_t pixel[2]) const;
    // An object's square on the screen: its centre and half its side (the
    // corners of its sphere's cube projected); false when not in view.
    bool ScreenSquare(const SObjectView& o, int32_t* cx, int32_t* cy, int32_t* half) const;
    // Whether a build item may not be built in this game.
    bool Refused(const SBuildItemView& item) const;

    CInterface& m_ui;
    std::unordered_map<const CTessarakObjectTemplate*, CBitmapSurface*> m_icons;
    bool m_shiftHeld = false;
};
