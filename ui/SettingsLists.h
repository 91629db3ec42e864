// The settings lists of the option screens, the multiplayer settings, the
// lobby, the server statistics and the server search (g_ParseSettingsList):
// which rows each list has, in which order, what each shows and writes, its
// limits, choices and change callback; the graphics quality presets, the
// chain that keeps the display driver, screen mode, resolution and refresh
// rate choices consistent with the driver's modes, the texture-filter
// summary and the connection presets.
//
// The values that belong to no other object and exist only for these
// screens (the chosen preset, driver, screen mode, resolution, refresh rate,
// connection preset and texture filter) are kept here. Every other value is
// its owner's: a console variable set as a script sets it, the display mode
// the game asks for (IGUIGame::VideoRequest), the network game's records.
// Display changes only ask for a new mode; the game switches to it at its
// video restart (Vid_Restart, the options screen's Apply) or its next start.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "ui/GUIRoles.h"
#include "ui/Settings.h"

class CInterface;
class CGUIObject;

class CSettingsLists {
public:
    // The list names, in build order.
    static const char* const kClassNames[9];

    explicit CSettingsLists(CInterface* ui) : m_ui(ui) {}
    CSettingsLists(const CSettingsLists&) = delete;
    CSettingsLists& operator=(const CSettingsLists&) = delete;

    // Builds every class and entry anew (the GUI lists are bound again by
    // their names afterwards, CInterface::BindSettingsLists).
    void Parse();
    bool Built() const { return !m_classes.empty(); }
    // The class of a list name, or null.
    CSettingClass* Find(const char* name);

    // ---- presets and the display chain (also called by the game and the
    // console's rows)
    void DetectGraphicsPreset();
    void DetectConnectionPreset();
    void UpdateTextureFilter();
    void ApplyGraphicsPreset(int32_t preset);
    void ApplyConnectionPreset(int32_t preset);
    void FillScreenModes();
    void FillResolutions();
    void FillRefreshRates();
    // Takes the driver, screen mode, resolution and refresh rate that the
    // game's requested display names (after it changed elsewhere).
    void SyncFromVideoRequest();
    // The display running now, as the game reports it (after a display
    // change): TakeDisplayInUse chooses its driver, screen mode and refresh
    // rate; RebuildResolutions lists the sizes of the chosen driver and
    // screen mode anew and chooses the running size among them. Neither
    // changes the display asked for: a window asked for after a full screen
    // keeps its own size.
    void TakeDisplayInUse();
    void RebuildResolutions();

    // The connection class of a rate (1 a 14.4 modem ... 13 100 Mbit).
    static int32_t ConnectionClassFromRate(float rate);

    CInterface* m_ui;
    std::vector<std::unique_ptr<CSettingClass>> m_classes;
    // The server search's list shows this class (g_SetQFO): "MatchServers"
    // or "ServerStats".
    CSettingClass* m_searchClass = nullptr;

    // ---- the values these screens own
    int32_t m_qualityPreset = 0;  // 0 poor, 1 low, 2 medium, 3 high, 4 other
    int32_t m_driver = -1;        // index into m_drivers, -1 none
    int32_t m_screenMode = 0;     // 0 windowed, 16 or 32 full screen
    int32_t m_resolution = -1;    // index into m_sizes, -1 none
    int32_t m_refreshRate = 0;    // Hz, 0 the driver's default
    int32_t m_connectionPreset = 0;
    int32_t m_textureFilter = 0;  // 0 bilinear, 1 trilinear, 2 other
    // The find-servers criteria and the server-list filters as the rows
    // show them; written to the server browser's query and filter.
    struct SFind {
        int32_t defaultChoice = 1, network = 3, location = 0, speed = 0, dedicated = 0, connection = 0,
                inProgress = 2;
        std::string map, game, serverName;
    } m_find;
    struct SFilter {
        int32_t defaultChoice = 1, network = 3, favourites = 0, location = 0, inProgress = 2, dedicated = 0,
                speed = 0, connection = 0;
        std::string map, game, serverName, player;
        int32_t freeSpots = 0, minPlayers = 0, minMaxPlayers = 0, maxPlayers = 128, maxMaxPlayers = 128;
        int32_t ping = 0;
        int32_t playersMinSpeed = 0, playersMinConnection = 0, fogOfWar = 0, alliedVictory = 0;
        int32_t resourcesAbove = 0, resourcesBelow = 20000, maxUnitsAbove = 0, maxUnitsBelow = 5000;
    } m_filter;

    // The drivers as the game reported them when the lists were built, and
    // the sizes the resolution row offers (the chosen driver's modes of the
    // screen mode's depth; in a window also the usual window sizes the
    // display holds and the size asked for), smallest first.
    std::vector<SDisplayDriver> m_drivers;
    std::vector<SGUIDisplayMode> m_sizes;
    // The chain's entries (null before the lists are built).
    CSettingEntry* m_driverEntry = nullptr;
    CSettingEntry* m_screenModeEntry = nullptr;
    CSettingEntry* m_resolutionEntry = nullptr;
    CSettingEntry* m_refreshEntry = nullptr;

    // The size of the display running, which RebuildResolutions chooses
    // (0 x 0: the size asked for).
    SGUIDisplayMode m_inUse;

    // The server browser takes the find-servers criteria and the filters.
    void ApplyFindServers();
    void ApplyServerFilter();

private:
    CSettingClass* NewClass(const char* name);
    void BuildGraphics();
    void BuildSound();
    void BuildInterface();
    void BuildMultiplayer();
    void BuildLobby();
    void BuildSearch();
    const SDisplayDriver* Driver() const;
    const SGUIDisplayMode* Resolution() const;
    // The sizes the resolution row offers for the chosen driver and screen
    // mode, listed in its entry, the one of width x height chosen (else the
    // first).
    void ListResolutions(int32_t width, int32_t height);
};

// After every successful display change the game has the option screens
// show the display running: their resolution entry takes its driver, screen
// mode and size, and the entry's list of sizes is built anew. A null entry
// (no option screens yet) does nothing.
void Settings_ApplyResolution(CSettingEntry* resolution);
void Settings_RebuildResolutionList(CSettingEntry* resolutionList);
