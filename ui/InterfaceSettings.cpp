// The interface's settings: the console's fonts (Console.cfg).
#include "console/CommandTable.h"
#include "ui/Interface.h"

namespace {
// The radar's or the GUI's switch changed: both are drawn again.
void OnViewSwitch(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    if (CInterface* ui = file ? nullptr : static_cast<CInterface*>(record->GetContext()))
        ui->RedrawRadarAndGUI();
}

// A font variable changed: that font is built again.
template <void (CInterface::*Rebuild)()>
void OnFontChange(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    if (CInterface* ui = file ? nullptr : static_cast<CInterface*>(record->GetContext())) (ui->*Rebuild)();
}
}  // namespace

void CInterface::RegisterSettings(CCommandInterpreter* ip) {
    const char* fontText = "Changes the font height in pixels of the console font";
    const char* screenText = "Changes the font height in pixels of the screen console font";
    const SCommandRow rows[] = {
        SCommandRow::Int("Console_Font_Height", &m_ConsoleFontHeight, -50, 50, fontText,
                         "Console_Font_Height(int Height);")
            .Config("Console.cfg")
            .OnChange(OnFontChange<&CInterface::RebuildConsoleFont>)
            .Context(this),
        SCommandRow::Int("Console_Font_Width", &m_ConsoleFontWidth, -50, 50, fontText,
                         "Console_Font_Width(int Height);")
            .Config("Console.cfg")
            .OnChange(OnFontChange<&CInterface::RebuildConsoleFont>)
            .Context(this),
        SCommandRow::String("Console_Font_Name", &m_ConsoleFontName, 256, fontText,
                            "Console_Font_Name(int Height);")
            .Config("Console.cfg")
            .OnChange(OnFontChange<&CInterface::RebuildConsoleFont>)
            .Context(this),
        SCommandRow::Int("Console_Screen_Font_Height", &m_ScreenFontHeight, -50, 50, screenText,
                         "Console_Screen_Font_Height(int Height);")
            .Config("Console.cfg")
            .OnChange(OnFontChange<&CInterface::RebuildScreenFont>)
            .Context(this),
        SCommandRow::Int("Console_Screen_Font_Width", &m_ScreenFontWidth, -50, 50, screenText,
                         "Console_Screen_Font_Width(int Height);")
            .Config("Console.cfg")
            .OnChange(OnFontChange<&CInterface::RebuildScreenFont>)
            .Context(this),
        SCommandRow::String("Console_Screen_Font_Name", &m_ScreenFontName, 256, screenText,
                            "Console_Screen_Font_Name(int Height);")
            .Config("Console.cfg")
            .OnChange(OnFontChange<&CInterface::RebuildScreenFont>)
            .Context(this),
        SCommandRow::Bool("Console_Screen_Font_Bold", &m_ScreenFontBold, screenText,
                          "Console_Screen_Font_Name(int Height);")
            .Config("Console.cfg")
            .OnChange(OnFontChange<&CInterface::RebuildScreenFont>)
            .Context(this),
    };
    CommandTable_Register(ip, rows);
    m_hud.RegisterSettings(ip);
}

void CInterface::RedrawRadarAndGUI() {
    for (uint8_t& valid : m_fields.m_radarSurfaceValid) valid = 0;
    m_fields.m_guiChanged = 1;
}

void CInterface::RegisterViewSettings(CCommandInterpreter* ip, std::initializer_list<const char*> names) {
    const SCommandRow rows[] = {
        SCommandRow::Float("cg_RadarScreenPortion", &m_fields.m_radarScreenPortion, 0.0f, 0.95f,
                           "Sets the portion of the radar in hardcore mode",
                           "cg_RadarScreenPortion(float Angle);")
            .Config("Visual.cfg"),
        SCommandRow::Bool("cg_DrawFullScreenRadar", &m_fields.m_fullScreenRadar,
                          "Turns drawing of fullscreenradar on or off",
                          "cg_DrawFullScreenRadar(bool Enable);")
            .Mask(4)
            .OnChange(OnViewSwitch)
            .Context(this),
        SCommandRow::Bool("cg_DrawGUI", &m_drawGUI, "Turns drawing of gui on or off",
                          "cg_DrawGUI(bool Enable);")
            .OnChange(OnViewSwitch)
            .Context(this),
        SCommandRow::Bool("cg_DrawRadar", &m_fields.m_drawRadar, "Turns drawing of radar on or off",
                          "cg_DrawRadar(bool Enable);")
            .Mask(4),
    };
    CommandTable_RegisterNamed(ip, rows, names);
}
