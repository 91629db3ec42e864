// The HUD's own rows of the command set: what it cost to draw, and what a
// click would do at the mouse (its settings, the status bars' and the
// radar's lock, are the interface's rows, bound to the HUD's values).
#include <string>

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

// What a click would do at the mouse now: the action's number, the cursor
// it shows and the tooltip that comes once the mouse rests.
void Cmd_MouseAction(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    CInterface* ui = file ? nullptr : static_cast<CInterface*>(record->GetContext());
    if (!ui) return;
    const CHud& hud = ui->m_hud;
    record->GetInterpreter()->Printf("Mouse action %d, cursor %s, tooltip \"%s\"", int(hud.m_mouseAction),
                                     hud.m_cursorName,
                                     hud.ActionTooltip(hud.m_mouseAction, hud.m_tooltipName).c_str());
}

}  // namespace

void CHud::RegisterSettings(CCommandInterpreter* ip) {
    const SCommandRow rows[] = {
        SCommandRow::Function("perf_HudCost", Cmd_HudCost,
                              "Prints what the HUD cost a frame since the last call and the frame rate",
                              "perf_HudCost();")
            .Context(&m_ui),
        SCommandRow::Function("dbg_MouseAction", Cmd_MouseAction,
                              "Prints what a click would do at the mouse: the action, its cursor and tooltip",
                              "dbg_MouseAction();")
            .Context(&m_ui),
    };
    CommandTable_Register(ip, rows);
}
