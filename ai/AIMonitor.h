// The AI monitor: a developer's window beside the game (AI_StartMonitor),
// titled "AI Monitor". It lists the computer players, shows the debug
// history of the selected one (its last 56 lines, AI_Debug on), 14 rows of
// the selected computer player's named values and 10 of one of its groups,
// an "Editable:" row under each (they do nothing of their own), a "Fog of
// war" switch and a "Track group" switch. Its rows are refreshed every tick.
//
// The window is a private window of the platform layer (its events are its
// own, never the game's), drawn on the CPU with the game screen's font and
// shown at the desktop's top-left corner, 900 pixels wide. Mouse, left
// button: on the computer-player line the next computer player is
// selected, on the group line the next group; on a value row's name the
// row shows the next registered value; on "Fog of war" the switch turns
// ("Effect_FogOfWar (1);" or "(0);"), on "Track group" the camera follows
// the selected group's leader or stops following. Closing the window closes
// the monitor; the game runs on. It opens at the desktop's top-left corner,
// and the game's window moves beside it (to x 901, 1000 pixels high).
//
// Values a computer player registers: its resources, energy help, groups of
// each role, units, phase, learning match, and its 22 parameters by name; a
// group: role, state, size, members, full, leader, target.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

class CAIManager;
class CComputerPlayer;
class CAIGroup;
class CE3DScreen;
class CE3DSurface;
class CE3DFont;
class CDisplayWindow;
struct SDisplayEvent;

class CAIMonitor {
public:
    static constexpr int kHistoryLines = 56;
    static constexpr int kCommanderRows = 14;
    static constexpr int kGroupRows = 10;
    static constexpr int kWidth = 900;

    // A named value and its text now.
    struct SValue {
        std::string name;
        std::string text;
    };

    CAIMonitor(CAIManager& manager, CE3DScreen* screen);
    ~CAIMonitor();
    CAIMonitor(const CAIMonitor&) = delete;
    CAIMonitor& operator=(const CAIMonitor&) = delete;

    // Opens the window; false when it cannot be made (the monitor then
    // keeps its rows but shows nothing).
    bool Open();
    bool IsOpen() const { return m_window != nullptr; }
    // The window's id for the display's events (0: none).
    uint32_t WindowId() const;
    // The user closed the window: the manager deletes the monitor.
    bool CloseAsked() const { return m_closeAsked; }

    // Every tick: the rows' values, then the picture when the window is open.
    void Refresh();
    // A debug line of a computer player: kept when it is the selected one's.
    void AppendHistory(const std::string& player, const std::string& text);
    // A computer player came (its name goes in the list).
    void AddComputerPlayer(const std::string& name);

    // ---- what the rows hold (also for tests)
    void SelectNextPlayer();
    void SelectNextGroup();
    // The row shows the next registered value (commander rows 0 to 13,
    // group rows 0 to 9).
    void CycleCommanderRow(int row);
    void CycleGroupRow(int row);
    // Off runs "Effect_FogOfWar (0);" and shows the whole map (the cell
    // map reset); on runs "Effect_FogOfWar (1);".
    void SetFogOfWar(bool on);
    // On: the camera follows the selected group's leader (when it lives);
    // off: the camera follows nothing.
    void SetTrackGroup(bool on);

    const std::string& Selected() const { return m_selected; }
    int SelectedGroup() const { return m_group; }
    const std::deque<std::string>& History() const { return m_history; }
    // The rows' names and texts as last refreshed (empty rows: no value).
    const std::vector<SValue>& CommanderRows() const { return m_commanderRows; }
    const std::vector<SValue>& GroupRows() const { return m_groupRows; }
    // The picture's lines as last drawn.
    const std::vector<std::string>& Lines() const { return m_lines; }
    bool FogOfWar() const { return m_fog; }
    bool TrackGroup() const { return m_track; }

private:
    CComputerPlayer* SelectedPlayer() const;
    std::vector<SValue> CommanderValues(const CComputerPlayer& cp) const;
    static std::vector<SValue> GroupValues(const CAIGroup& g);
    void Draw();
    void OnEvent(const SDisplayEvent& event);
    static void EventThunk(const SDisplayEvent& event, void* self);

    CAIManager& m_manager;
    CE3DScreen* m_screen;
    CDisplayWindow* m_window = nullptr;
    std::unique_ptr<CE3DSurface> m_surface;
    CE3DFont* m_font = nullptr;
    int m_height = 0;
    bool m_closeAsked = false;
    bool m_fog = true;
    bool m_track = false;

    std::vector<std::string> m_names;  // the computer players, as added
    std::string m_selected;
    int m_group = -1;
    std::deque<std::string> m_history;
    int m_commanderBinding[kCommanderRows];
    int m_groupBinding[kGroupRows];
    std::vector<SValue> m_commanderRows, m_groupRows;
    std::vector<std::string> m_lines;
    std::vector<std::string> m_drawn;  // the lines the window shows
    bool m_exposed = false;
    // Where the clickable lines were drawn: their first pixel row.
    int m_playerLineY = 0, m_groupLineY = 0, m_fogLineY = 0, m_trackLineY = 0, m_commanderY = 0,
        m_groupRowsY = 0;
    int m_lineHeight = 16;
};
