// The HUD's rows of the command set: the status bars' 27 settings
// (ui_Statusbar_, no configuration file), the radar's lock to the camera
// (G_RadarLockMode) and the batch of a Shift-click on a build icon
// (G_BuildOrderDuplication).
#include <string>
#include <vector>

#include "console/CommandInterpreter.h"
#include "console/CommandTable.h"
#include "console/ConsoleCommand.h"
#include "ui/Hud.h"
#include "ui/Interface.h"

namespace {

void Cmd_HudCost(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    if (CInterface* ui = file ? nullptr : static_cast<CInterface*>(record->GetContext()))
        record->GetInterpreter()->Printf("%s", ui->m_hud.CostReport().c_str());
}

void Cmd_RadarLockMode(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    if (CInterface* ui = file ? nullptr : static_cast<CInterface*>(record->GetContext()))
        ui->m_hud.m_radar.ToggleLockMode();
}

// The names, texts and limits of the status bars' settings, in their order.
struct SStatusbarRow {
    const char* name;
    const char* text;
    int32_t minimum;
};
const SStatusbarRow kStatusbarRows[27] = {
    {"ui_Statusbar_PositionY", "Changes the y position of the unit statusbar", 0},
    {"ui_Statusbar_Width", "Changes the width of the unit statusbar", 0},
    {"ui_Statusbar_PowerHeight", "Changes the height of the unit statusbars powerbar", 0},
    {"ui_Statusbar_ReloadHeight", "Changes the height of the unit statusbars reloadbar", 0},
    {"ui_Statusbar_PowerInterlace", "Changes the interlace count of the unit statusbars powerbar", 1},
    {"ui_Statusbar_ReloadInterlace", "Changes the interlace count of the unit statusbars reloadbar", 1},
    {"ui_Statusbar_OutlineColor_r", "Changes the red component of the statusbar outline color", 0},
    {"ui_Statusbar_OutlineColor_g", "Changes the green component of the statusbar outline color", 0},
    {"ui_Statusbar_OutlineColor_b", "Changes the blue component of the statusbar outline color", 0},
    {"ui_Statusbar_Power_BegColor_r", "Changes the red component of the powerbar begin color", 0},
    {"ui_Statusbar_Power_BegColor_g", "Changes the green component of the powerbar begin color", 0},
    {"ui_Statusbar_Power_BegColor_b", "Changes the blue component of the powerbar begin color", 0},
    {"ui_Statusbar_Power_MidColor_r", "Changes the red component of the powerbar middle color", 0},
    {"ui_Statusbar_Power_MidColor_g", "Changes the green component of the powerbar middle color", 0},
    {"ui_Statusbar_Power_MidColor_b", "Changes the blue component of the powerbar middle color", 0},
    {"ui_Statusbar_Power_EndColor_r", "Changes the red component of the powerbar end color", 0},
    {"ui_Statusbar_Power_EndColor_g", "Changes the green component of the powerbar end color", 0},
    {"ui_Statusbar_Power_EndColor_b", "Changes the blue component of the powerbar end color", 0},
    {"ui_Statusbar_Reload_BegColor_r", "Changes the red component of the reloadbar begin color", 0},
    {"ui_Statusbar_Reload_BegColor_g", "Changes the green component of the reloadbar begin color", 0},
    {"ui_Statusbar_Reload_BegColor_b", "Changes the blue component of the reloadbar begin color", 0},
    {"ui_Statusbar_Reload_MidColor_r", "Changes the red component of the reloadbar middle color", 0},
    {"ui_Statusbar_Reload_MidColor_g", "Changes the green component of the reloadbar middle color", 0},
    {"ui_Statusbar_Reload_MidColor_b", "Changes the blue component of the reloadbar middle color", 0},
    {"ui_Statusbar_Reload_EndColor_r", "Changes the red component of the reloadbar end color", 0},
    {"ui_Statusbar_Reload_EndColor_g", "Changes the green component of the reloadbar end color", 0},
    {"ui_Statusbar_Reload_EndColor_b", "Changes the blue component of the reloadbar end color", 0},
};

}  // namespace

void CHud::RegisterSettings(CCommandInterpreter* ip) {
    std::vector<SCommandRow> rows;
    for (int i = 0; i < 27; ++i) {
        const SStatusbarRow& r = kStatusbarRows[i];
        rows.push_back(
            SCommandRow::Int(r.name, &m_statusbar[i], r.minimum, 255, r.text, r.name).Context(&m_ui));
    }
    rows.push_back(SCommandRow::Function("G_RadarLockMode", Cmd_RadarLockMode,
                                         "Locks the radar to the camera or frees it", "G_RadarLockMode();")
                       .Context(&m_ui));
    rows.push_back(
        SCommandRow::Function("perf_HudCost", Cmd_HudCost,
                              "Prints what the HUD cost a frame since the last call and the frame rate",
                              "perf_HudCost();")
            .Context(&m_ui));
    rows.push_back(SCommandRow::Int("G_BuildOrderDuplication", &m_ui.m_BuildOrderDuplication, 0, 255,
                                    "Sets the number of build orders a shift click on a build icon gives",
                                    "G_BuildOrderDuplication(int Count);")
                       .Context(&m_ui));
    CommandTable_Register(ip, rows.data(), rows.size());
}
