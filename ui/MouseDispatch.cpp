// The mouse dispatch of the interface: who gets a mouse event (the confirm
// dialog, the full-screen radar, the map editor, the GUI or the game view),
// and what the game view makes of it: the selection box, the right press
// and the double click, which the interface's mouse orders (m_orders) turn
// into the world's commands in world terms.
//
// A press runs as a small state machine over the events: the press (0 and
// 5, or 2 and 7), the held button (0 again on every step), the release (1)
// and the idle state (1 again on every step). The per-press bytes are
// cleared when both buttons are up, so each press acts once.
//
// Screen points are the window's pixels; the world's are the game view's,
// the window's less the view's corner.
#include <algorithm>
#include <cstdlib>

#include "e3d/Surface.h"
#include "e3d/Viewport.h"
#include "ui/GUIObject.h"
#include "ui/Interface.h"
#include "world/GameScene.h"
#include "world/ObjectTemplate.h"
#include "world/TessarakObject.h"
#include "world/UnitOrder.h"
#include "world/World.h"
#include "world/WorldQuery.h"

namespace {

// The event codes.
enum : int {
    kLeftDown = 0,
    kLeftUp = 1,
    kRightPress = 2,
    kMoved = 3,
    kLeftPress = 5,
    kDoubleClick = 6,
    kRightPressAfter = 7,
};

// The interface's modes.
enum : int32_t { kModeNormal = 0, kModePlacing = 1, kModeDragging = 2, kModeConfirm = 4 };

constexpr int32_t kGameScreen = 1000;  // the active GUI id of the running game

}  // namespace

bool CInterface::GetGroundUnderMouse(int x, int y, float point[3]) const {
    CE3DViewport* view = m_screen->Viewport();
    if (!view) return false;
    D3DVECTOR p;
    view->ScreenToRay(&p, static_cast<float>(x - view->m_x), static_cast<float>(y - view->m_y));
    point[0] = p.x;
    point[1] = 0.0f;
    point[2] = p.z;
    return true;
}

bool CInterface::ProjectToScreen(const float point[3], int32_t pixel[2]) const {
    CE3DViewport* view = m_screen->Viewport();
    if (!view || !view->ProjectPoint(pixel, D3DVECTOR{point[0], point[1], point[2]})) return false;
    pixel[0] += view->m_x;
    pixel[1] += view->m_y;
    return true;
}

void CInterface::ProjectSelection() {
    int32_t now[2];
    if (!m_boxActive || !m_boxAnchored) return;
    // While the mouse stays within a click of the press it is a click, also
    // when the view moves meanwhile (it glides, it follows a unit).
    if (std::abs(m_boxEndScreen[0] - m_boxPressScreen[0]) < 4 &&
        std::abs(m_boxEndScreen[1] - m_boxPressScreen[1]) < 4) {
        m_boxStartScreen[0] = m_boxPressScreen[0];
        m_boxStartScreen[1] = m_boxPressScreen[1];
        return;
    }
    if (!ProjectToScreen(m_boxAnchor, now)) return;
    // Moved by as much as its ground moved since the press: a view that
    // stood keeps the pressed pixel exactly.
    m_boxStartScreen[0] = m_boxPressScreen[0] + (now[0] - m_boxAnchorPixel[0]);
    m_boxStartScreen[1] = m_boxPressScreen[1] + (now[1] - m_boxAnchorPixel[1]);
}

bool CInterface::GetMouseWorldPosition(int x, int y, float point[3]) {
    if (x == m_cursorX && y == m_cursorY) return m_hud.GetMouseWorldPosition(point);
    return GetGroundUnderMouse(x, y, point);
}

int32_t CInterface::PickObjectAt(int x, int y) {
    CE3DViewport* view = m_screen->Viewport();
    if (!view || !m_world) return -1;
    m_orders.SetViewport(view);
    const CTessarakObject* o = m_orders.PickInView(x - view->m_x, y - view->m_y);
    return o ? o->m_objectId : -1;
}

CE3DViewport* CInterface::Viewport() const {
    return m_screen->Viewport();
}

bool CInterface::MapEditMode() const {
    return m_state->MapEditMode();
}

int32_t CInterface::SelectUnitsOnScreen() {
    if (!m_world) return -1;
    m_orders.SetViewport(m_screen->Viewport());
    const SCommandResult result = m_world->Commands().SelectUnits(m_orders.UnitsOnScreen());
    m_fields.m_anyUnitSelected = result.selected > 0;
    m_fields.m_singleUnit = result.singleUnit;
    m_fields.m_selectionChanged = 1;
    return result.selected;
}

int CInterface::OnMouseEvent(int code, int x, int y) {
    m_cursorX = x;
    m_cursorY = y;
    CE3DViewport* view = m_screen->Viewport();
    m_fields.m_cursorX = view ? x - view->m_x : x;
    m_fields.m_cursorY = view ? y - view->m_y : y;
    const bool nonGameGUI = m_activeGUI != kGameScreen;
    const bool gameViewTakes = m_state->GuiWord() == 0 && !nonGameGUI;
    const bool confirm = m_mode == kModeConfirm;
    // The screen shown takes the mouse before the game view; what a release
    // on one of its objects runs, runs after its walk.
    CGUIObject* gui = confirm ? nullptr : FindActiveGUI();
    switch (code) {
        case kLeftDown:
            if (confirm) {
                // The press answers the dialog once (a held button repeats 0).
                if (!m_confirmPressed) {
                    CE3DSurface* canvas = Surface();
                    ConfirmHoverAt(canvas ? canvas->m_width : 640, canvas ? canvas->m_height : 480);
                    ConfirmPress();
                }
                RunGUICommands();
                return 1;
            }
            if (gameViewTakes && m_fields.m_fullScreenRadar) return IssueOrderAtMouse(x, y, kLeftDown);
            if (m_state->MapEditMode() && !nonGameGUI) {
                MapEditorTools(x, y, gui, gameViewTakes);
                break;
            }
            if (gui && !m_boxActive) gui->OnMouse(x, y, kLeftDown);
            if (!m_guiPressing && gameViewTakes) IssueOrderAtMouse(x, y, kLeftDown);
            break;
        case kRightPress: {
            if (confirm) return 1;
            // A right press on a build icon is the build panel's: it cancels
            // or queues, and the map under the HUD gets nothing.
            if (!m_buildPanelRightPress) {
                bool refused = false;
                if (m_hud.BuildPanelRightPress(m_mouseState.shift != 0, &refused)) {
                    m_buildPanelRightPress = 1;
                    return refused ? 0 : 1;
                }
            }
            if (!m_buildPanelRightPress && gameViewTakes) IssueOrderAtMouse(x, y, kRightPress);
            m_RejectMode = 0;
            return 1;
        }
        case kLeftUp:
            m_confirmPressed = 0;
            if (confirm) return 1;
            m_editorPlaced = 0;
            m_editorTools.waitCreate = 0;
            m_editorTools.held = 0;
            m_editorTools.refusalTold = 0;
            if (m_guiPressing) {
                m_guiPressing = 0;
                if (gui) gui->OnMouse(x, y, kLeftUp);
            }
            m_commandRan = 0;
            if (gameViewTakes) IssueOrderAtMouse(x, y, kLeftUp);
            break;
        case kMoved:
            if (confirm) return 1;
            m_HoveredGUIObject = nullptr;
            if (gui) gui->OnMouse(x, y, kMoved);
            break;
        case kDoubleClick:
        case kLeftPress:
        case kRightPressAfter:
            if (confirm) return 1;
            if (code == kDoubleClick && gameViewTakes) IssueOrderAtMouse(x, y, kDoubleClick);
            if (gui) gui->OnMouse(x, y, code);
            break;
        default:
            return 1;
    }
    RunGUICommands();
    return 1;
}

int CInterface::IssueOrderAtMouse(int x, int y, int code) {
    CGameScene* scene = m_world ? &m_world->Scene() : nullptr;
    CE3DViewport* view = m_screen->Viewport();
    m_orders.SetViewport(view);
    const SMouseState& in = m_mouseState;
    const uint32_t modes = m_state->OrderModes();
    const bool editing = m_state->MapEditMode();
    const uint8_t controlType = scene ? scene->m_controlType : 1;
    // The view's pixels of the point.
    const int32_t vx = view ? x - view->m_x : x, vy = view ? y - view->m_y : y;
    float ground[3] = {0.0f, 0.0f, 0.0f};
    const bool hasGround = GetMouseWorldPosition(x, y, ground);
    auto centreCamera = [&] {
        if (hasGround) m_camera.LookAt(ground[0], ground[2]);
    };
    const CGUIObject* radarPanel = m_Panels[kPanelRadarPanel];
    const bool overRadarPanel = m_hud.IsMouseOverPanel(radarPanel);
    // Where the mouse is now: a move and a press may come in one frame.
    m_fields.m_overRadar = m_hud.IsMouseOverRadar() ? 1 : 0;
    SPlayerView local;
    const float radarValue = m_world && m_world->Query().LocalPlayer(&local) ? local.energyRatio : 1.0f;
    CHud::SOrderEdit& drag = m_hud.m_drag;
    CHud::SOrderEdit& inserted = m_hud.m_inserted;
    const SOrderHover& hover = m_hud.m_orderHover;

    // 1. With Ctrl on the full-screen radar, the left button moves the camera.
    if (in.ctrl && m_fields.m_fullScreenRadar && in.left) {
        centreCamera();
        m_boxActive = 0;
        return 1;
    }
    // 2. Both buttons up: the press is over. A marker the right press took
    // goes now (the running order ends on every machine).
    if (!in.left && !in.right) {
        CHud::SOrderEdit& gone = m_hud.m_removeAtRelease;
        if (m_rightPressHandled && gone.unit >= 0 && !m_hud.m_insertStarted && m_world) {
            m_world->Commands().RemoveOrder(gone.unit, gone.order, gone.type);
            m_fields.m_selectionChanged = 1;
        }
        gone = drag = inserted = CHud::SOrderEdit();
        m_hud.m_insertStarted = 0;
        m_rightPressHandled = 0;
        m_buildPanelRightPress = 0;
        m_placeCancelled = 0;
        m_leftPressHandled = 0;
        m_editorTools.pivotSet = 0;
    }
    // 3. The right press.
    if (code == kRightPress) {
        if (overRadarPanel && !m_fields.m_fullScreenRadar) {
            if (controlType == 0 && !m_rightPressHandled) {
                if (radarValue >= 0.5f) centreCamera();
                m_rightPressHandled = 1;
                return 1;
            }
            if (controlType == 1 && radarValue < 0.5f) {
                m_rightPressHandled = 1;
                return 1;
            }
        }
        m_rightPressHandled = 1;
        // A waypoint goes into the path under the mouse (not into the way
        // from the unit to its first order, nor under a marker).
        if (hover.lineSeen && !hover.lineBlocked && !hover.markerSeen && !m_hud.m_insertStarted && m_world &&
            hasGround) {
            m_hud.m_insertStarted = 1;
            if (m_world->Commands().InsertMove(hover.lineUnit, hover.lineTo, ground[0], ground[2])) {
                inserted.unit = hover.lineUnit;
                inserted.order = hover.lineTo;
                inserted.type = CUnitOrder::kMove;
                m_mode = kModeDragging;
                m_fields.m_selectionChanged = 1;
            }
        }
        if (inserted.unit >= 0 && m_world && hasGround)
            m_world->Commands().MoveOrderTarget(inserted.unit, inserted.order, inserted.type, ground[0],
                                                ground[2]);
        // A marker: its order goes at the release.
        if (hover.markerSeen) m_hud.m_removeAtRelease = {hover.unit, hover.order, hover.orderType};
        if (m_mode == kModePlacing) {
            // The press only ends the placement.
            m_mode = kModeNormal;
            m_placeTemplate = nullptr;
            m_placeCancelled = 1;
        }
        if (!m_placeCancelled && !(hover.lineSeen && hover.lineFrom >= 0) && !m_hud.m_insertStarted &&
            !hover.markerSeen && scene) {
            if (controlType == 0) {
                m_world->Commands().DeselectAll();
                m_fields.m_anyUnitSelected = 0;
                m_leadUnit = -1;
                m_fields.m_selectionChanged = 1;
                m_fields.m_forcedAction = 0;
            } else if (!(m_drawGUI && m_hud.IsMouseOverHUD() && !overRadarPanel)) {
                m_fields.m_forcedAction = 0;
                if (hasGround)
                    m_orders.IssueOrder(ground[0], ground[2], ground[0], ground[2], vx, vy, vx, vy, 2, false,
                                        modes, editing);
                m_rightPressHandled = 0;
            }
        }
        m_fields.m_forcedAction = 0;
    }
    // 4. A radar without power takes no clicks.
    if (radarValue < 0.5f && overRadarPanel) return 1;
    // 5. With control type 1 the held left button on the radar moves the
    // camera.
    if (controlType == 1 && in.left && m_fields.m_forcedAction == 0 && !m_boxActive && overRadarPanel &&
        !m_rightPressHandled && !m_fields.m_fullScreenRadar) {
        if (!m_hud.m_radar.m_lockMode) centreCamera();
        return 1;
    }
    switch (code) {
        case kLeftDown: {
            // 6.1 A placement: the builder goes to build there (with Shift
            // behind its orders, and the placement goes on).
            const bool shift = in.shift != 0;
            if (m_mode == kModePlacing && !m_hud.m_placeBlocked && m_placeTemplate && m_world &&
                m_leadUnit >= 0) {
                const CTessarakObjectTemplate* item =
                    static_cast<const CTessarakObjectTemplate*>(m_placeTemplate);
                const float px = m_hud.m_placePosition[0], pz = m_hud.m_placePosition[1];
                if (!(shift && m_world->Query().NearQueuedSite(px, pz, m_world->Query().FootprintOf(item)))) {
                    m_world->Commands().Build(m_leadUnit, const_cast<CTessarakObjectTemplate*>(item), px, pz,
                                              shift ? kCommandQueue : 0u);
                    m_fields.m_selectionChanged = 1;
                    if (!shift) {
                        m_mode = kModeNormal;
                        m_placeTemplate = nullptr;
                        m_leftPressHandled = 1;
                    }
                }
            }
            // 6.2 A drag of a marker starts.
            if (drag.unit < 0 && !m_hud.m_dragStarted && hover.markerSeen && m_mode != kModePlacing) {
                drag = {hover.unit, hover.order, hover.orderType};
                m_mode = kModeDragging;
                m_hud.m_dragStarted = 1;
            }
            // 6.3 The dragged marker follows the mouse (a queued move, or a
            // site that is not the first to build).
            if (m_mode == kModeDragging && drag.unit >= 0 && m_world && hasGround &&
                (drag.type == CUnitOrder::kMove || (drag.type == CUnitOrder::kConstruct && drag.order > 0)))
                m_world->Commands().MoveOrderTarget(drag.unit, drag.order, drag.type, ground[0], ground[2]);
            // 6.4 The selection box starts inside the view and follows the
            // mouse while the button is held.
            if (m_mode != kModeNormal || m_leftPressHandled) break;
            if (!m_boxActive && view && x > view->m_x && y > view->m_y && x < view->m_x + view->m_width - 1 &&
                y < view->m_y + view->m_height - 1 &&
                !(m_hud.IsMouseOverHUD() && !(overRadarPanel && m_fields.m_forcedAction))) {
                m_boxActive = 1;
                for (int i = 0; i < 3; ++i) m_boxStartWorld[i] = ground[i];
                m_boxStartScreen[0] = m_boxPressScreen[0] = x;
                m_boxStartScreen[1] = m_boxPressScreen[1] = y;
                // Over the radar the box's ground is the radar's map, not
                // what lies under the mouse: such a box stays where it is.
                m_boxAnchored = !m_fields.m_overRadar && !m_fields.m_fullScreenRadar &&
                                GetGroundUnderMouse(x, y, m_boxAnchor) &&
                                ProjectToScreen(m_boxAnchor, m_boxAnchorPixel);
            }
            if (m_boxActive) {
                m_boxEndScreen[0] = x;
                m_boxEndScreen[1] = y;
            }
            break;
        }
        case kLeftUp:
            m_hud.m_dragStarted = 0;
            // 7. The release gives the box to the world.
            if (m_boxActive) {
                if (m_mode == kModeNormal && !m_leftPressHandled && MapEditorHoldsBox()) {
                    m_boxActive = 0;  // an editor tool had the press
                } else if (m_mode == kModeNormal && !m_leftPressHandled) {
                    if (in.ctrl && m_fields.m_fullScreenRadar) return 1;  // the box stays
                    for (int i = 0; i < 3; ++i) m_boxEndWorld[i] = ground[i];
                    const float wx1 = std::min(m_boxStartWorld[0], m_boxEndWorld[0]);
                    const float wx2 = std::max(m_boxStartWorld[0], m_boxEndWorld[0]);
                    const float wz1 = std::min(m_boxStartWorld[2], m_boxEndWorld[2]);
                    const float wz2 = std::max(m_boxStartWorld[2], m_boxEndWorld[2]);
                    const int32_t ox = view ? view->m_x : 0, oy = view ? view->m_y : 0;
                    const int32_t sx1 = std::min(m_boxStartScreen[0], m_boxEndScreen[0]) - ox;
                    const int32_t sx2 = std::max(m_boxStartScreen[0], m_boxEndScreen[0]) - ox;
                    const int32_t sy1 = std::min(m_boxStartScreen[1], m_boxEndScreen[1]) - oy;
                    const int32_t sy2 = std::max(m_boxStartScreen[1], m_boxEndScreen[1]) - oy;
                    const int32_t mode = (controlType == 0 ? 0 : 1) + (m_fields.m_overRadar ? 2 : 0);
                    if (scene)
                        m_orders.IssueOrder(wx1, wz1, wx2, wz2, sx1, sy1, sx2, sy2, mode, false, modes,
                                            editing);
                    m_boxActive = 0;
                    m_boxStartScreen[0] = m_boxStartScreen[1] = 0;
                    m_boxEndScreen[0] = m_boxEndScreen[1] = 0;
                } else if (m_mode == kModePlacing) {
                    m_mode = kModeNormal;
                    m_placeTemplate = nullptr;
                }
            }
            if (m_mode == kModeDragging) {
                m_mode = kModeNormal;
                drag = CHud::SOrderEdit();
            }
            break;
        case kDoubleClick:
            // 8. The units of the clicked unit's type on the screen; not over
            // the HUD.
            if (m_hud.IsMouseOverHUD()) {
                m_boxActive = 0;
                break;
            }
            if (m_mode == kModeNormal && scene && !MapEditorHoldsBox())
                m_orders.IssueOrder(0.0f, 0.0f, 0.0f, 0.0f, 0, 0, 0, 0, 0, true, modes, editing);
            break;
        default:
            break;
    }
    return 1;
}
