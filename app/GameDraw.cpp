// Presenting the interface and checking the video settings.
#include "app/Game.h"
#include "app/GameConsole.h"
#include "app/GameServices.h"
#include "ui/Interface.h"

void CGame::Redraw() {
    CE3DSurface* surface = Game_BackSurface(this);
    if (!surface) return;
    if (m_interface) m_interface->DrawMouseCursor(surface);
    Game_Present(this);
}

void CGame::ShowMessageAndRedraw(const char* text) {
    Game_ClearScreen(this);
    Game_Print(text);
    if (m_interface) m_interface->DrawConsole(1);
    Redraw();
}

void CGame::CheckVideoSettingsChanged() {
    m_videoRestartPending = Game_VideoSettingsDiffer(this) ? 1 : 0;
}
