// The map editor's mouse tools: what a held left button does on the panel
// of templates and on the map while the map editing mode (M_EditMode) is on.
//
// The panel is the strip of the screen right of the game view's left edge
// + 500: its rows, 12 pixels each from y = 6, show the scene's templates
// from the editor's offset (M_MoveOffsetUp, M_MoveOffsetDown); a press on a
// row with the paint mode (M_PaintMode(1)) takes that template to the
// cursor. On the map the paint mode (0 mark, 1 paint, 2 layer height,
// 3 camera distance, 4 rotate, 5 scale, 6 rotate the group, 7 scale the
// group) decides: marking is the game view's rectangle (it selects among
// the current layer's objects); painting asks the session for an object of
// the cursor's template at the point snapped to thirds of a map unit, on
// the current layer (M_SelectLayer) at its height, of the team M_TeamMode
// names, with the next map id; the others change what is marked (or the
// layer) by the mouse's movement in y while the button is held.
#pragma once

#include <cstdint>

class CTessarakObjectTemplate;

struct SMapEditorTools {
    // The template the cursor carries (null: none).
    const CTessarakObjectTemplate* tmpl = nullptr;
    // A paint asked for an object; the next waits until a CREATEUNIT has been
    // handled (the scene's count moved from waitFrom: the object stands, or
    // the message was refused) or the button is released.
    uint8_t waitCreate = 0;
    uint32_t waitFrom = 0;
    // The cursor's y at the press's last event: the tools that work by the
    // mouse's movement take the movement since (none at a press's first
    // event, so a move before the press never counts).
    uint8_t held = 0;
    int32_t lastY = 0;
    // A refused paint was told during this press (once a press).
    uint8_t refusalTold = 0;
    // The pivot of the group tools, set at the first event of a press.
    uint8_t pivotSet = 0;
    float pivot[2] = {0.0f, 0.0f};
};

// The panel's row at the screen's y (row 0 and above; y above the first row
// gives row 0).
inline int32_t MapEditorTools_PanelRow(int32_t y) {
    const int32_t row = (y - 6) / 12;
    return row < 0 ? 0 : row;
}
// A point snapped to thirds of a map unit.
float MapEditorTools_Snap(float v);
