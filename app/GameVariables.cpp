// The game object's console variables: its own settings, bound here and
// nowhere else. The command areas register the ones they list, where they
// list them (CGame::RegisterVariables).
#include <cstring>

#include "app/Game.h"
#include "console/CommandInterpreter.h"
#include "console/CommandTable.h"

namespace {

CGame* GameOf(CConsoleCommand* record) {
    return static_cast<CGame*>(record->GetContext());
}

// Vid_Charset: the code page follows the character set.
void OnCharset(CConsoleCommand* record, SCommandArgs*, CVFSFile*) {
    CGame* game = GameOf(record);
    if (!game) return;
    static const int kCodePages[] = {1252, 1256, 1257, 1250, 1251, 1253, 1255,
                                     874,  1254, 1252, 1252, 1252, 1252};
    int cs = game->Variables().charSet;
    game->SetCodePage((cs >= 0 && cs <= 12) ? kCodePages[cs] : 1252);
}

// Vid_mon1_Windowed: the display is set up again when its settings changed.
void OnWindowedChange(CConsoleCommand* record, SCommandArgs*, CVFSFile*) {
    if (CGame* game = GameOf(record)) game->CheckVideoSettingsChanged();
}

}  // namespace

int CGame::RegisterVariables(CCommandInterpreter* ip, std::initializer_list<const char*> names) {
    const SCommandRow rows[] = {
        // The game area.
        SCommandRow::Int("GameMode", &m_vars.gameType, 0, 3,
                         "The mode of the current game. Can be GM_Single, GM_Skirmish or GM_Multi",
                         "GameMode(int Mode);"),
        SCommandRow::Bool("ge_Minimize", &m_vars.startMinimized,
                          "Makes tessarak minimize directly after initialization", "ge_Minimize(bool Sleep)"),
        SCommandRow::Bool("ge_MainSleep", &m_vars.mainSleep,
                          "Sleeps in main loop to allow for multi tessarak test", "ge_MainSleep(bool Sleep)"),
        SCommandRow::Int("ge_MaxFPS", &m_vars.maxFps, 0, 1000,
                         "The most frames a second the game draws (0: as many as it can)",
                         "ge_MaxFPS(int Frames)"),
        SCommandRow::Bool("perf_DrawFPS", &m_vars.perfDrawFPS, "Turns drawing of performance data on",
                          "perf_DrawFPS(bool Enable);"),
        SCommandRow::Bool("perf_DrawUpdateList", &m_vars.perfDrawUpdateList,
                          "Turns drawing of UpdateList on or off", "perf_DrawUpdateList(bool Enable);")
            .Mask(8),
        SCommandRow::Bool("perf_DrawPathList", &m_vars.perfDrawPathList,
                          "Turns drawing of Pathfinder list on or off", "perf_DrawPathList(bool Enable);"),
        SCommandRow::Bool("ShowPlayers", &m_vars.showPlayers,
                          "Shows a playerlist and network debug info if set to true",
                          "ShowPlayers(bool Show);"),
        SCommandRow::String("ge_UniqueTessarak", &m_vars.uniqueInstance, 2048,
                            "A string that has the computer name and process id in it", "ge_UniqueTessarak"),
        // The emitter editor: the input manager takes the editor's keys by
        // it and the frame draws the overlay.
        SCommandRow::Int(
            "Emitter_EditMode", &m_vars.emitterEditMode, 0, 1,
            "Used when editing Emitters. If set to one, you will see the current emitter settings.",
            "Emitter_EditMode"),
        // The developer's read-outs.
        SCommandRow::Bool("perf_Render", &m_vars.perfRender, "Turs rendering of performance datra on or off",
                          "perf_Render(bool Enable);"),
        SCommandRow::Int("dbg_SyncCrc", &m_vars.syncCrcEvery, 0, 8191,
                         "Prints the sync CRC of the world after every n-th frame (0: never)",
                         "dbg_SyncCrc(int n);"),
        // The view area's drawing switches.
        SCommandRow::Bool("cg_DrawGrid", &m_vars.drawGrid, "Turns drawing of grid on or off",
                          "cg_DrawGrid(bool Enable);")
            .Mask(8),
        SCommandRow::Bool("Disable3DEngine", &m_vars.disable3DEngine, "Disables drawing of 3D view",
                          "Disable3DEngine(bool Enable);")
            .Mask(8),
        // The map editor.
        SCommandRow::Bool("M_EditMode", &m_vars.mapEditMode, "Sets the game in map editor mode", "M_EditMode")
            .Mask(8),
        // The video area.
        SCommandRow::Int("Vid_Charset", &m_vars.charSet, 0, 12,
                         "Sets the desired Character set, can be CS_DOS, CS_WIN_ARABIC, CS_WIN_BALTIC, "
                         "CS_WIN_CENTRALEUROPE, CS_WIN_CRYLLIC, CS_WIN_GREEK, CS_WIN_HEBREW, CS_WIN_THAI, "
                         "CS_WIN_TURKISH, CS_WIN_WESTER or CS_WIN_VIETNAM",
                         "Vid_Charset(int CharSet);")
            .OnChange(OnCharset),
        SCommandRow::Int("Vid_BinkSoundTrack", &m_vars.binkSoundTrack, 0, 256,
                         "Sets the soundtrack to play sound in binks from",
                         "Vid_BinkSoundTrack(int SoundTrack);"),
        SCommandRow::Bool("g_DontDrawConsole", &m_vars.dontDrawConsole,
                          "Turns the rendering of the console on or off", "g_DontDrawConsole"),
        SCommandRow::Bool("g_DrawProgressBars", &m_vars.progressDrawing,
                          "Turns the rendering of progressbars on or off", "g_DrawProgressBars();"),
        SCommandRow::Bool("GUI_Disable", &m_vars.guiDisable, "Disables drawing of any GUI",
                          "GUI_Disable(bool Disable);"),
        SCommandRow::Bool("Vid_mon1_Windowed", &m_video[0].windowed, "Selects windowed mode for monitor 1",
                          "Vid_mon1_Windowed(bool Disable);")
            .OnChange(OnWindowedChange),
    };
    int entered = 0;
    for (const char* name : names)
        for (const SCommandRow& row : rows)
            if (std::strcmp(row.name, name) == 0) {
                SCommandRow own = row.Context(this);
                entered += CommandTable_Register(ip, &own, 1);
                break;
            }
    return entered;
}
