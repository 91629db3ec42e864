// The map editor's overlay: a marker on every shown object of the current
// layer (white when marked, green otherwise), the panel of templates right
// of the game view (the rows the paint tool takes from, ui/MapEditorTools.h)
// and a line with the tools' settings.
#include <cstdio>

#include "app/Game.h"
#include "app/GameConsole.h"
#include "app/GameView.h"
#include "e3d/Frame.h"
#include "e3d/Surface.h"
#include "e3d/Viewport.h"
#include "ui/Interface.h"
#include "world/GameScene.h"
#include "world/MapEditor.h"
#include "world/ObjectTemplate.h"
#include "world/TessarakObject.h"
#include "world/World.h"

void CGame::DrawMapEditor(CE3DSurface* surface) {
    CInterface* ui = m_interface;
    if (!ui || !m_world) return;
    CGameScene& scene = m_world->Scene();
    CMapEditor editor(*m_world);
    CGameView* gameView = GameView();
    CE3DViewport* view = gameView ? gameView->m_viewport : nullptr;
    const int left = (view ? view->m_x : 0) + 500;
    static const char* const kModes[] = {"Mark",   "Paint", "Move layer",   "Move camera",
                                         "Rotate", "Scale", "Rotate group", "Scale group"};
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
    char line[160];
    snprintf(line, sizeof line, "Map editor: %s  layer %d%s  team %d  collision %s",
             mode >= 0 && mode < 8 ? kModes[mode] : "?", (int)scene.m_editLayer,
             editor.LayerHidden(static_cast<int32_t>(scene.m_editLayer)) ? " (hidden)" : "",
             (int)scene.m_editor.teamMode, scene.m_editor.collisionMode ? "on" : "off");
    Game_DrawSurfaceText(surface, line, 10, 24, 255, 255, 255);
}
