// What the interface and the world share about the mouse and the selection.
//
// The interface (ui/, above the world) owns one of these and keeps its
// inputs up to date every frame; the world's selection and order code
// (CGameScene::PickObject, CGameScene::IssueOrder) reads them and writes its
// results back, which the interface's panels then show. The world reaches
// it through its host (CGameHost::InterfaceFields); a host without an
// interface has none, and the world then sees no pointer and keeps no
// selection notices.
#pragma once

#include <cstdint>

#include "world/ObjectLink.h"

struct SInterfaceFields {
    // ---- read by the world
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

    // ---- written by the world
    // Whether any unit is selected; the one selected unit (shown in the
    // information panel), else empty; the selection or the orders changed
    // (the panels are rebuilt).
    uint8_t m_anyUnitSelected = 0;
    CObjectLink m_singleUnit;
    uint8_t m_selectionChanged = 0;
    // The interface's forced action of the last command: cleared by every
    // command that reaches the world.
    int32_t m_forcedAction = 0;
};
