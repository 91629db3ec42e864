// What the interface keeps about the mouse, the radar and the selection
// panels: its own state (no world code reads or writes it). The mouse
// dispatch keeps the inputs up to date every event; the world's order
// interface answers each command with what the panels then show
// (SCommandResult), which the interface takes in here.
#pragma once

#include <cstdint>

struct SInterfaceFields {
    // The cursor in pixels of the game view.
    int32_t m_cursorX = 0, m_cursorY = 0;
    // The unit order type that a HUD button left pending (0 none); cleared
    // after it was given, unless queued.
    uint32_t m_pendingOrder = 0;
    // The radar: the mouse is over the radar panel, a drag runs on it, the
    // full-screen radar is shown, and the radar cursor's cell (column, row).
    uint8_t m_overRadar = 0;
    uint8_t m_radarDrag = 0;
    uint8_t m_fullScreenRadar = 0;
    int32_t m_radarCursor[2] = {0, 0};
    // Where the radar panel shows the cell map: the screen pixel of cell
    // (0, 0) and the pixels per cell (the radar paints 2 x 2 blocks).
    int32_t m_radarOrigin[2] = {0, 0};
    int32_t m_radarCellPixels = 2;

    // ---- the radar's settings (the view commands), which the HUD's radar
    // draws by: its scale (1.0 the map's own), the share of the screen it
    // takes when it is the whole game view, whether it is drawn, and its
    // three surfaces' valid marks (the radar sets them once it drew a
    // surface; a change clears them, so that it draws them again).
    float m_radarScale = 1.0f;
    float m_radarScreenPortion = 0.28f;
    uint8_t m_drawRadar = 1;
    uint8_t m_radarSurfaceValid[3] = {0, 0, 0};
    // The GUI is drawn again at the next frame.
    uint8_t m_guiChanged = 0;
    // The local player's last event and its ground point (JumpToEvent).
    uint8_t m_lastEventValid = 0;
    float m_lastEventX = 0.0f, m_lastEventZ = 0.0f;

    // ---- what the commands left
    // Whether any unit is selected; the one selected unit's object id (shown
    // in the information panel; -1 none); the selection or the orders
    // changed (the panels are rebuilt).
    uint8_t m_anyUnitSelected = 0;
    int32_t m_singleUnit = -1;
    uint8_t m_selectionChanged = 0;
    // The forced action of the last command (the fm_ commands' order type):
    // cleared by every command that reaches the world.
    int32_t m_forcedAction = 0;
};
