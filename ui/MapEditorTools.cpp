// The map editor's mouse tools (ui/MapEditorTools.h): the interface's part.
// What they change is the world's (world/MapEditor.h).
#include "ui/MapEditorTools.h"

#include <string>

#include "core/Math.h"
#include "e3d/Viewport.h"
#include "ui/GUIObject.h"
#include "ui/Interface.h"
#include "world/GameScene.h"
#include "world/MapEditor.h"
#include "world/ObjectTemplate.h"
#include "world/TessarakObject.h"
#include "world/World.h"

namespace {
enum : int32_t {
    kPaintMark = 0,
    kPaintPaint = 1,
    kPaintLayer = 2,
    kPaintCamera = 3,
    kPaintRotate = 4,
    kPaintScale = 5,
    kPaintRotateGroup = 6,
    kPaintScaleGroup = 7,
};
}  // namespace

float MapEditorTools_Snap(float v) {
    return static_cast<float>(Math_RoundToInt(v * 3.0f)) * 0.33333334f;
}

bool CInterface::MapEditorHoldsBox() const {
    if (!m_world || !m_state->MapEditMode()) return false;
    const int32_t mode = m_world->Scene().m_editor.paintMode;
    return mode >= kPaintLayer && mode <= kPaintScaleGroup;
}

int CInterface::MapEditorTools(int x, int y, CGUIObject* gui, bool gameViewTakes) {
    if (!m_world) return 1;
    CGameScene& scene = m_world->Scene();
    CMapEditor editor(*m_world);
    SMapEditorTools& tools = m_editorTools;
    CE3DViewport* view = m_screen->Viewport();
    const int32_t mode = scene.m_editor.paintMode;
    const bool onPanel = x > (view ? view->m_x : 0) + 500;
    const float dy = tools.held ? static_cast<float>(y - tools.lastY) : 0.0f;
    tools.held = 1;
    tools.lastY = y;
    if (tools.waitCreate && scene.m_createUnitsHandled != tools.waitFrom) tools.waitCreate = 0;

    // 1. The panel: the row's template goes to the cursor.
    if (onPanel) {
        if (mode == kPaintPaint) tools.tmpl = editor.PanelTemplate(MapEditorTools_PanelRow(y));
        return 1;
    }
    // 2. Any tool but the paint: the GUI and the game view's rectangle.
    if (mode != kPaintPaint) {
        if (gui) gui->OnMouse(x, y, 0);
        if (!m_guiPressing && gameViewTakes) IssueOrderAtMouse(x, y, 0);
    }
    float ground[3] = {0.0f, 0.0f, 0.0f};
    const bool hasGround = GetMouseWorldPosition(x, y, ground);
    const int32_t layer = static_cast<int32_t>(scene.m_editLayer & 0xFF);
    switch (mode) {
        case kPaintPaint: {
            // 3. Paint: one object at the snapped point.
            if (tools.waitCreate || !tools.tmpl || !hasGround) break;
            const float px = MapEditorTools_Snap(ground[0]), pz = MapEditorTools_Snap(ground[2]);
            if (!scene.m_editor.collisionMode && m_editorPlaced != 0) break;
            if (scene.m_editor.collisionMode) {
                if (const CTessarakObject* blocker = editor.PlacementBlocker(tools.tmpl, px, pz)) {
                    // Said once a press: what stands there, and how to paint
                    // over it.
                    if (!tools.refusalTold) {
                        const std::string line =
                            std::string(tools.tmpl->m_name.GetText()) + " is not placed: " +
                            (blocker->m_template ? blocker->m_template->m_name.GetText() : "an object") +
                            " stands there on this layer (M_CollisionMode(false); paints over it)";
                        m_console.Print(line.c_str(), false, 255, 200, 0, true);
                        tools.refusalTold = 1;
                    }
                    break;
                }
            }
            CGameScene::SPlacement p;
            p.x = px;
            p.z = pz;
            p.y = scene.m_layerPositions[layer];
            p.layer = layer;
            p.ownerId = scene.m_editor.teamMode;
            if (!editor.RequestCreate(tools.tmpl, p)) break;
            m_editorPlaced = 1;
            tools.waitCreate = 1;
            tools.waitFrom = scene.m_createUnitsHandled;
            break;
        }
        case kPaintLayer:
            // 4. The current layer rises or falls, its objects with it.
            editor.RaiseLayer(layer, dy * 0.1f);
            break;
        case kPaintCamera:
            // 5. The camera comes nearer or goes farther.
            m_camera.m_distance += dy * 0.33333334f;
            break;
        case kPaintRotate:
            // 6. The marked objects turn about themselves.
            editor.TurnMarked(dy * 0.05f);
            break;
        case kPaintScale:
            // 7. The marked objects grow or shrink.
            editor.GrowMarked(dy * 0.05f);
            break;
        case kPaintRotateGroup:
        case kPaintScaleGroup:
            // 8. The marked objects turn about, or move from, the point
            // under the mouse at the press.
            if (!tools.pivotSet && hasGround) {
                tools.pivot[0] = ground[0];
                tools.pivot[1] = ground[2];
                tools.pivotSet = 1;
            }
            if (!tools.pivotSet) break;
            if (mode == kPaintRotateGroup)
                scene.RotateSelection(tools.pivot[0], tools.pivot[1], dy * 0.4f);
            else
                scene.ScaleSelection(tools.pivot[0], tools.pivot[1], 1.0f + dy * 0.025f);
            break;
        default:
            break;
    }
    return 1;
}
