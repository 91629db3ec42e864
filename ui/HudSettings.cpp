// The HUD's own rows of the command set: the status bars' 27 settings
// (ui_Statusbar_, no configuration file), what it cost to draw, and what a
// click would do at the mouse.
#include <string>

#include "console/CommandInterpreter.h"
#include "console/CommandTable.h"
#include "console/ConsoleCommand.h"
#include "ui/GUIObject.h"
#include "ui/Hud.h"
#include "ui/Interface.h"

namespace {

void Cmd_HudCost(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    if (CInterface* ui = file ? nullptr : static_cast<CInterface*>(record->GetContext()))
        record->GetInterpreter()->Printf("%s", ui->m_hud.CostReport().c_str());
}

// What a click would do at the mouse now: the action's number, the cursor
// it shows and the tooltip that comes once the mouse rests.
void Cmd_MouseAction(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    CInterface* ui = file ? nullptr : static_cast<CInterface*>(record->GetContext());
    if (!ui) return;
    const CHud& hud = ui->m_hud;
    record->GetInterpreter()->Printf("Mouse action %d, cursor %s, tooltip \"%s\"", int(hud.m_mouseAction),
                                     hud.m_cursorName,
                                     hud.ActionTooltip(hud.m_mouseAction, hud.m_tooltipName).c_str());
    // A panel's tooltip (a build icon's item and cost, the energy, the
    // resources) while it shows.
    if (hud.m_panelTooltip)
        record->GetInterpreter()->Printf("Panel tooltip \"%s\"", hud.m_panelTooltipText.c_str());
}

// Every text the active screen shows now, one line each with its object's
// name: what a player reads there (the selection's slots, the end screen's
// tables). Hidden objects and the children of a panel that hides them are
// left out, and so are empty texts.
void PrintShownTexts(CCommandInterpreter* ip, const CGUIObject* o) {
    if (!o || !o->m_Visible) return;
    const char* text = o->m_TextLines.empty() ? "" : o->m_TextLines[0].GetText();
    if (*text) ip->Printf("Screen text \"%s\" \"%s\"", o->m_Name.GetText(), text);
    if (o->m_ChildrenHidden) return;
    for (const CGUIObject* c : o->m_Children) PrintShownTexts(ip, c);
}

void Cmd_ScreenTexts(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    CInterface* ui = file ? nullptr : static_cast<CInterface*>(record->GetContext());
    if (!ui || !ui->m_GUIRoot) return;
    record->GetInterpreter()->Printf("Screen %d", int(ui->m_activeGUI));
    for (const CGUIObject* screen : ui->m_GUIRoot->m_Children)
        if (screen->m_GUIId == ui->m_activeGUI) PrintShownTexts(record->GetInterpreter(), screen);
}

// The status bars' settings in the order of their values: name,
// description, syntax.
const char* const kBars[27][3] = {
    {"ui_Statusbar_PositionY", "Changes the y position of the unit statusbar", "ui_Statusbar_PositionY"},
    {"ui_Statusbar_Width", "Changes the width of the unit statusbar", "ui_Statusbar_Width"},
    {"ui_Statusbar_PowerHeight", "Changes the height of the unit statusbars powerbar",
     "ui_Statusbar_PowerHeight"},
    {"ui_Statusbar_ReloadHeight", "Changes the height of the unit statusbars reloadbar",
     "ui_Statusbar_ReloadHeight"},
    {"ui_Statusbar_PowerInterlace", "Changes the interlace count of the unit statusbars powerbar",
     "ui_Statusbar_PowerInterlace"},
    {"ui_Statusbar_ReloadInterlace", "Changes the interlace count of the unit statusbars reloadbar",
     "ui_Statusbar_ReloadInterlace"},
    {"ui_Statusbar_OutlineColor_r", "Changes the red component of the statusbar outline color",
     "ui_Statusbar_OutlineColor_r"},
    {"ui_Statusbar_OutlineColor_g", "Changes the green component of the statusbar outline color",
     "Statusbar_OutlineColor_g"},
    {"ui_Statusbar_OutlineColor_b", "Changes the blue component of the statusbar outline color",
     "ui_Statusbar_OutlineColor_b"},
    {"ui_Statusbar_Power_BegColor_r", "Changes the red component of the powerbar begin color",
     "Statusbar_Power_BegColor_r"},
    {"ui_Statusbar_Power_BegColor_g", "Changes the green component of the powerbar begin color",
     "Statusbar_Power_BegColor_g"},
    {"ui_Statusbar_Power_BegColor_b", "Changes the blue component of the powerbar begin color",
     "Statusbar_Power_BegColor_b"},
    {"ui_Statusbar_Power_MidColor_r", "Changes the red component of the powerbar middle color",
     "ui_Statusbar_Power_MidColor_r"},
    {"ui_Statusbar_Power_MidColor_g", "Changes the green component of the powerbar middle color",
     "Statusbar_Power_MidColor_g"},
    {"ui_Statusbar_Power_MidColor_b", "Changes the blue component of the powerbar middle color",
     "Statusbar_Power_MidColor_b"},
    {"ui_Statusbar_Power_EndColor_r", "Changes the red component of the powerbar end color",
     "ui_Statusbar_Power_EndColor_r"},
    {"ui_Statusbar_Power_EndColor_g", "Changes the green component of the powerbar end color",
     "Statusbar_Power_EndColor_g"},
    {"ui_Statusbar_Power_EndColor_b", "Changes the blue component of the powerbar end color",
     "Statusbar_Power_EndColor_b"},
    {"ui_Statusbar_Reload_BegColor_r", "Changes the red component of the reloadbar begin color",
     "Statusbar_Reload_BegColor_r"},
    {"ui_Statusbar_Reload_BegColor_g", "Changes the green component of the reloadbar begin color",
     "Statusbar_Reload_BegColor_g"},
    {"ui_Statusbar_Reload_BegColor_b", "Changes the blue component of the reloadbar begin color",
     "Statusbar_Reload_BegColor_b"},
    {"ui_Statusbar_Reload_MidColor_r", "Changes the red component of the reloadbar middle color",
     "ui_Statusbar_Reload_MidColor_r"},
    {"ui_Statusbar_Reload_MidColor_g", "Changes the green component of the reloadbar middle color",
     "Statusbar_Reload_MidColor_g"},
    {"ui_Statusbar_Reload_MidColor_b", "Changes the blue component of the reloadbar middle color",
     "Statusbar_Reload_MidColor_b"},
    {"ui_Statusbar_Reload_EndColor_r", "Changes the red component of the reloadbar end color",
     "ui_Statusbar_Reload_EndColor_r"},
    {"ui_Statusbar_Reload_EndColor_g", "Changes the green component of the reloadbar end color",
     "Statusbar_Reload_EndColor_g"},
    {"ui_Statusbar_Reload_EndColor_b", "Changes the blue component of the reloadbar end color",
     "Statusbar_Reload_EndColor_b"},
};

}  // namespace

void CHud::RegisterSettings(CCommandInterpreter* ip) {
    for (int i = 0; i < 27; ++i) {
        // The two interlaces start at 1000, above the 1 to 255 they take.
        const bool interlace = i == 4 || i == 5;
        const SCommandRow row =
            SCommandRow::Int(kBars[i][0], &m_statusbar[i], interlace ? 1 : 0, 255, kBars[i][1], kBars[i][2])
                .Context(&m_ui);
        CommandTable_Register(ip, &row, 1);
    }
    const SCommandRow rows[] = {
        SCommandRow::Function("perf_HudCost", Cmd_HudCost,
                              "Prints what the HUD cost a frame since the last call and the frame rate",
                              "perf_HudCost();")
            .Context(&m_ui),
        SCommandRow::Function("dbg_MouseAction", Cmd_MouseAction,
                              "Prints what a click would do at the mouse: the action, its cursor and tooltip",
                              "dbg_MouseAction();")
            .Context(&m_ui),
        SCommandRow::Function("dbg_ScreenTexts", Cmd_ScreenTexts,
                              "Prints every text the active screen shows, with its object's name",
                              "dbg_ScreenTexts();")
            .Context(&m_ui),
    };
    CommandTable_Register(ip, rows);
}
