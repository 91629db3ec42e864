// The interface's settings: the console's fonts (Console.cfg).
#include "console/CommandTable.h"
#include "ui/Interface.h"

namespace {
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
}
