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
