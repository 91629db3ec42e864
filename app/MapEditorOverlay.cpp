// The map editor's overlay: a marker on every shown object of the current
// layer (white when marked, green otherwise), the panel of templates right
// of the game view (the rows the paint tool takes from, ui/MapEditorTools.h)
// and a line with the tools' settings.
#include <cstdio>
#include <string>
#include <vector>

#include "app/Game.h"
#include "app/GameConsole.h"
#include "app/GameView.h"
#include "e3d/Frame.h"
#include "e3d/Surface.h"
#include "e3d/Viewport.h"
#include "ui/Interface.h"
#include "ui/SystemTexts.h"
#include "world/GameScene.h"
#include "world/MapEditor.h"
#include "world/ObjectTemplate.h"
#include "world/TessarakObject.h"
#include "world/World.h"

namespace {
// The editor's system texts (the language script's SYSLID_MAPEDITOR_).
enum : int {
    kTextCreation = 304,
    kTextLayers = 305,
    kTextView = 306,
    kTextObject = 307,
    kTextAction = 308,
    kTextMark = 309,  // the paint modes' names follow in their order
    kTextObjectTeam = 317,
    kTextPaintCollision = 319,
    kTextActive = 320,
    kTextLevel = 321,
    kTextMouseX = 322,
    kTextMouseY = 323,
    kTextCameraDistance = 324,
    kTextClass = 325,
    kTextPositionX = 326,
    kTextPositionZ = 327,
    kTextLayer = 328,
    kTextMapId = 329,
    kTextTeam = 330,
    kTextEmpty = 1,  // SYSLID_GENERAL_EMPTY
};

// One table of the panel at the left: the interface's framed box with the
// title in its first row and a row of 12 pixels for each label and value,
// the values right of the box's column.
constexpr int kTableWidth = 150, kTableColumn = 80;
void DrawTable(CInterface* ui, CE3DSurface* surface, int y, const char* title,
               const std::vector<std::pair<std::string, std::string>>& rows) {
    ui->m_hud.DrawTextBox(surface, 12, y, kTableWidth, kTableColumn, 1 + static_cast<int>(rows.size()),
                          title);
    for (size_t i = 0; i < rows.size(); ++i) {
        const int top = y + 13 + 12 * static_cast<int>(i);
        Game_DrawSurfaceText(surface, rows[i].first.c_str(), 15, top, 230, 230, 230);
        Game_DrawSurfaceText(surface, rows[i].second.c_str(), 12 + kTableColumn + 3, top, 230, 230, 230);
    }
}

std::pair<std::string, std::string> Row(const char* label, const char* format, double value) {
    char text[96];
    std::snprintf(text, sizeof text, format, value);
    return {label, text};
}
}  // namespace

void CGame::DrawMapEditor(CE3DSurface* surface) {
    CInterface* ui = m_interface;
    if (!ui || !m_world) return;
    CGameScene& scene = m_world->Scene();
    CMapEditor editor(*m_world);
    CGameView* gameView = GameView();
    CE3DViewport* view = gameView ? gameView->m_viewport : nullptr;
    const int left = (view ? view->m_x : 0) + 500;
    const int32_t mode = scene.m_editor.paintMode;
    // The markers: 4 x 4 pixels about each object's place on the screen.
    for (const CTessarakObject* o = view ? scene.m_allObjects : nullptr; o; o = o->m_allNext) {
        if (o->m_layer != scene.m_editLayer || (o->m_flagsA & kFrameHidden) || o->Dying()) continue;
        int32_t p[2];
        if (!view->ProjectPoint(p, D3DVECTOR{o->m_position[0], o->m_position[1], o->m_position[2]})) continue;
        const int x = view->m_x + p[0], y = view->m_y + p[1];
        const bool marked = (o->m_stateA & CTessarakObject::kA_Selected) != 0;
        surface->DrawRect(x - 2, y - 2, x + 2, y + 2, marked ? 255 : 0, marked ? 255 : 200, marked ? 255 : 0);
    }
    // The panel's rows: row r at y = 6 + 12 r, the cursor's template marked.
    for (int32_t row = 0; row < 38; ++row) {
        const CTessarakObjectTemplate* t = editor.PanelTemplate(row);
        if (!t) break;
        const bool carried = t == ui->m_editorTools.tmpl;
        Game_DrawSurfaceText(surface, t->m_name.GetText(), left + 4, 6 + 12 * row, carried ? 255 : 200,
                             carried ? 255 : 200, carried ? 0 : 200);
    }
    // The tables at the left: the tools' settings, the current layer, the
    // view and the object under the mouse (the nearest marker within 6
    // pixels).
    auto text = [this](int index) { return GetSystemText(index); };
    const int32_t layer = static_cast<int32_t>(scene.m_editLayer & 0xFF);
    const CTessarakObjectTemplate* carried = ui->m_editorTools.tmpl;
    DrawTable(ui, surface, 8, text(kTextCreation),
              {{text(kTextAction), text(kTextMark + (mode >= 0 && mode < 8 ? mode : 0))},
               Row(text(kTextObjectTeam), "%.0f", scene.m_editor.teamMode),
               {text(kTextPaintCollision), text(scene.m_editor.collisionMode ? kSysLidOn : kSysLidOff)},
               {carried ? carried->m_name.GetText() : text(kTextEmpty), ""}});
    DrawTable(ui, surface, 80, text(kTextLayers),
              {Row(text(kTextActive), editor.LayerHidden(layer) ? "%.0f (-)" : "%.0f", layer),
               Row(text(kTextLevel), "%.2f", scene.m_layerPositions[layer])});
    float ground[3] = {0.0f, 0.0f, 0.0f};
    ui->GetMouseWorldPosition(ui->m_cursorX, ui->m_cursorY, ground);
    DrawTable(ui, surface, 128, text(kTextView),
              {Row(text(kTextMouseX), "%.1f", ground[0]), Row(text(kTextMouseY), "%.1f", ground[2]),
               Row(text(kTextCameraDistance), "%.1f", ui->m_camera.m_distance)});
    DrawHoverInfo(surface);
}

void CGame::DrawHoverInfo(CE3DSurface* surface) {
    CInterface* ui = m_interface;
    if (!ui || !m_world || !surface) return;
    CGameScene& scene = m_world->Scene();
    CGameView* gameView = GameView();
    CE3DViewport* view = gameView ? gameView->m_viewport : nullptr;
    auto text = [this](int index) { return GetSystemText(index); };
    const CTessarakObject* hovered = nullptr;
    int best = 7 * 7;
    for (const CTessarakObject* o = view ? scene.m_allObjects : nullptr; o; o = o->m_allNext) {
        int32_t p[2];
        if (o->m_layer != scene.m_editLayer || (o->m_flagsA & kFrameHidden) || o->Dying() ||
            !view->ProjectPoint(p, D3DVECTOR{o->m_position[0], o->m_position[1], o->m_position[2]}))
            continue;
        const int dx = view->m_x + p[0] - ui->m_cursorX, dy = view->m_y + p[1] - ui->m_cursorY;
        if (dx * dx + dy * dy < best) {
            best = dx * dx + dy * dy;
            hovered = o;
        }
    }
    if (hovered)
        DrawTable(ui, surface, 188, text(kTextObject),
                  {{text(kTextClass), hovered->IsUnit()     ? "Unit"
                                      : hovered->m_template ? hovered->m_template->m_name.GetText()
                                                            : "Object"},
                   Row(text(kTextPositionX), "%.1f", hovered->m_position[0]),
                   Row(text(kTextPositionZ), "%.1f", hovered->m_position[2]),
                   Row(text(kTextLayer), "%.0f", hovered->m_layer),
                   Row(text(kTextMapId), "%.0f", hovered->m_mapId),
                   Row(text(kTextTeam), "%.0f", MapTeam_Of(hovered))});
}
