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

#include "e3d/Surface.h"
#include "e3d/Viewport.h"
#include "ui/GUIObject.h"
#include "ui/Interface.h"
#include "world/GameScene.h"
#include "world/ObjectTemplate.h"
#include "world/World.h"

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

bool CInterface::GetMouseWorldPosition(int x, int y, float point[3]) {
    CE3DViewport* view = m_screen->Viewport();
    if (!view) return false;
    D3DVECTOR p;
    view->ScreenToRay(&p, static_cast<float>(x - view->m_x), static_cast<float>(y - view->m_y));
    point[0] = p.x;
    point[1] = 0.0f;
    point[2] = p.z;
    return true;
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
        case kRightPress:
            if (confirm) return 1;
            // No build icon lies under the mouse: the press changes the
            // panels and goes on to the game view.
            if (!m_buildPanelRightPress) m_fields.m_selectionChanged = 1;
            if (!m_buildPanelRightPress && gameViewTakes) IssueOrderAtMouse(x, y, kRightPress);
            m_RejectMode = 0;
            return 1;
        case kLeftUp:
            m_confirmPressed = 0;
            if (confirm) return 1;
            m_editorPlaced = 0;
            m_editorTools.waitCreate = 0;
            m_editorTools.held = 0;
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

    // 1. With Ctrl on the full-screen radar, the left button moves the camera.
    if (in.ctrl && m_fields.m_fullScreenRadar && in.left) {
        centreCamera();
        m_boxActive = 0;
        return 1;
    }
    // 2. Both buttons up: the press is over.
    if (!in.left && !in.right) {
        m_rightPressHandled = 0;
        m_buildPanelRightPress = 0;
        m_placeCancelled = 0;
        m_leftPressHandled = 0;
        m_editorTools.pivotSet = 0;
    }
    // 3. The right press.
    if (code == kRightPress) {
        if (controlType == 0 && m_fields.m_overRadar && !m_rightPressHandled && !m_fields.m_fullScreenRadar) {
            centreCamera();
            m_rightPressHandled = 1;
            return 1;
        }
        m_rightPressHandled = 1;
        if (m_mode == kModePlacing) {
            // The press only ends the placement.
            m_mode = kModeNormal;
            m_placeTemplate = nullptr;
            m_placeCancelled = 1;
        }
        if (!m_placeCancelled && scene) {
            if (controlType == 0) {
                m_world->Commands().DeselectAll();
                m_fields.m_anyUnitSelected = 0;
                m_leadUnit = -1;
                m_fields.m_selectionChanged = 1;
                m_fields.m_forcedAction = 0;
            } else {
                m_fields.m_forcedAction = 0;
                if (hasGround)
                    m_orders.IssueOrder(ground[0], ground[2], ground[0], ground[2], vx, vy, vx, vy, 2, false,
                                        modes, editing);
                m_rightPressHandled = 0;
            }
        }
        m_fields.m_forcedAction = 0;
    }
    // 5. With control type 1 the held left button on the radar moves the
    // camera.
    if (controlType == 1 && in.left && m_fields.m_forcedAction == 0 && !m_boxActive && m_fields.m_overRadar &&
        !m_rightPressHandled && !m_fields.m_fullScreenRadar) {
        centreCamera();
        return 1;
    }
    switch (code) {
        case kLeftDown:
            // 6. The selection box starts inside the view and follows the
            // mouse while the button is held.
            if (m_mode != kModeNormal || m_leftPressHandled) break;
            if (!m_boxActive && view && x > view->m_x && y > view->m_y && x < view->m_x + view->m_width - 1 &&
                y < view->m_y + view->m_height - 1) {
                m_boxActive = 1;
                for (int i = 0; i < 3; ++i) m_boxStartWorld[i] = ground[i];
                m_boxStartScreen[0] = x;
                m_boxStartScreen[1] = y;
            }
            if (m_boxActive) {
                m_boxEndScreen[0] = x;
                m_boxEndScreen[1] = y;
            }
            break;
        case kLeftUp:
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
            if (m_mode == kModeDragging) m_mode = kModeNormal;
            break;
        case kDoubleClick:
            // 8. The units of the clicked unit's type on the screen.
            if (m_mode == kModeNormal && scene && !MapEditorHoldsBox())
                m_orders.IssueOrder(0.0f, 0.0f, 0.0f, 0.0f, 0, 0, 0, 0, 0, true, modes, editing);
            break;
        default:
            break;
    }
    return 1;
}
