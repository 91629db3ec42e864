// The GUI's rows of the command set: loading and appending GUI packfiles,
// binding the panels, switching screens, the cursor and unit-status
// pictures, the texts (SetLid, TestLocalization) and the localization check.
// GUI scripts, key bindings and the GUI's own buttons drive the interface
// through them.
#include "console/CommandInterpreter.h"
#include "console/CommandTable.h"
#include "console/ConsoleCommand.h"
#include "ui/GUIObject.h"
#include "ui/Interface.h"

namespace {

// The interface a row works on: the context it was registered with.
CInterface* UI(CConsoleCommand* record, CVFSFile* file) {
    if (file) return nullptr;  // function rows write no configuration lines
    return static_cast<CInterface*>(record->GetContext());
}

int Count(SCommandArgs* args) {
    return args ? args->count : 0;
}

bool IntArg(SCommandArgs* args, int32_t& value) {
    return Count(args) == 1 && args->arg[0].GetInt(value);
}

void Cmd_Load(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    if (CInterface* ui = UI(record, file); ui && Count(args) >= 1) ui->LoadGUI(args->Text(0));
}

void Cmd_Append(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    if (CInterface* ui = UI(record, file); ui && Count(args) >= 1) ui->AppendGUI(args->Text(0));
}

void Cmd_IdentifyPanels(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    if (CInterface* ui = UI(record, file)) ui->IdentifyPanels();
}

void Cmd_SetActiveGUI(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CInterface* ui = UI(record, file);
    int32_t id = 0;
    if (!ui || !IntArg(args, id)) return;
    ui->m_MenuGUIId = id;
    ui->m_mode = 0;
    ui->m_RefreshLists = 1;
}

void Cmd_SetDirectActiveGUI(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CInterface* ui = UI(record, file);
    int32_t id = 0;
    if (ui && IntArg(args, id)) ui->m_MenuGUIId = id;
}

void Cmd_LoadMouse(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    if (CInterface* ui = UI(record, file)) ui->LoadMouse();
}

void Cmd_LoadUnitInfo(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    if (CInterface* ui = UI(record, file)) ui->LoadUnitInfo();
}

// Opens the in-game menu on the screen of the id, or closes it (the id then
// does not matter).
void Cmd_JumpToMenu(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CInterface* ui = UI(record, file);
    int32_t id = 0;
    if (!ui || !IntArg(args, id)) return;
    if (!ui->m_InGameMenu) {
        ui->m_activeGUI = id;
        ui->m_menuPage = 0;
        ui->m_InGameMenu = 1;
    } else {
        ui->m_InGameMenu = 0;
    }
    ui->m_GUIChanged = 1;
}

void Cmd_SetLid(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    if (CInterface* ui = UI(record, file); ui && Count(args) == 2) ui->SetLid(args->Text(0), args->Text(1));
}

void Cmd_PostLocalizationCheck(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    if (CInterface* ui = UI(record, file); ui && ui->m_GUIRoot) ui->CheckLocalization(ui->m_GUIRoot);
}

void Remeasure(CGUIObject* o) {
    o->m_SizeKnown = 0;
    for (CGUIObject* child : o->m_Children) Remeasure(child);
}

// A change of TestLocalization shows at once: every text is measured and the
// screens drawn again.
void OnTestLocalization(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    CInterface* ui = UI(record, file);
    if (!ui) return;
    if (ui->m_GUIRoot) Remeasure(ui->m_GUIRoot);
    ui->m_GUIChanged = 1;
}

}  // namespace

void CInterface::RegisterGUICommands(CCommandInterpreter* ip) {
    if (!ip) return;
    const SCommandRow rows[] = {
        SCommandRow::Function("g_Load", Cmd_Load, "Loads the supplied GUI", "G_Load(str FileName);")
            .Context(this),
        SCommandRow::Function("g_Append", Cmd_Append, "Append the supplied GUI", "G_Append(str FileName);")
            .Context(this),
        SCommandRow::Function("g_IdentifyPanels", Cmd_IdentifyPanels, "Loads the supplied GUI",
                              "g_IdentifyPanels();")
            .Context(this),
        SCommandRow::Function("G_SetActiveGUI", Cmd_SetActiveGUI,
                              "The specified ID tells which GUI to be shown", "G_SetActiveGUI( int ID );")
            .Context(this),
        SCommandRow::Function("G_SetDirectActiveGUI", Cmd_SetDirectActiveGUI,
                              "The specified ID tells which GUI to be directly shown",
                              "G_SetDirectActiveGUI( int ID );")
            .Context(this),
        SCommandRow::Function("G_LoadMouse", Cmd_LoadMouse, "Loads mouse bitmaps", "G_LoadMouse();")
            .Context(this),
        SCommandRow::Function("G_LoadUnitInfo", Cmd_LoadUnitInfo, "Loads unit info bitmaps",
                              "G_LoadUnitInfo();")
            .Context(this),
        SCommandRow::Function("G_JumpToMenu", Cmd_JumpToMenu,
                              "The specified ID tells which GUI to be shown (inside game)",
                              "G_JumpToMenu( int ID );")
            .Context(this),
        SCommandRow::Bool("G_ScoreMenu", &m_gameScreen, "Turns the tool tip feature on or off", "G_ScoreMenu")
            .Context(this),
        SCommandRow::Function("SetLid", Cmd_SetLid, "Sets a text to a local identifier",
                              "SetLid(char LID, char Text);")
            .Context(this),
        SCommandRow::Bool("TestLocalization", &m_TestLocalization,
                          "If true, the gui will replace all text with *LOC*", "TestLocalization")
            .OnChange(OnTestLocalization)
            .Context(this),
        SCommandRow::Function(
            "g_PostLocalizationCheck", Cmd_PostLocalizationCheck,
            "Posts a localization check to the interface to check for gui localization errors",
            "g_PostLocalizationCheck();")
            .Context(this),
        SCommandRow::Int("g_NumMouseBitmaps", &m_NumMouseBitmaps, 1, 1024,
                         "Sets the number of bitmaps on the mouse pointer",
                         "g_NumMouseBitmaps(int NumBitmaps);")
            .Context(this),
        SCommandRow::Int("g_NumUnitInfoBitmaps", &m_NumUnitInfoBitmaps, 1, 1024,
                         "Sets the number of bitmaps on unit info icons",
                         "g_NumUnitInfoBitmaps(int NumBitmaps);")
            .Context(this),
        SCommandRow::Bool("g_RemakeMapChange", &m_RemakeMapChange, "Chooses the first map",
                          "g_RemakeMapChange")
            .Context(this),
    };
    CommandTable_Register(ip, rows);
}
