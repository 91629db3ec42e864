// The mouse action: every frame, before anything is drawn over the game
// view, what a click would do at the mouse (the object under it, whether
// the square is hidden or outside the map, the order the selection would
// get), the cursor that shows it, the footprint of an item being placed,
// and the tooltips: at once over the HUD's panels, over the game view once
// the mouse has rested a second.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>

#include "e3d/BitmapSurface.h"
#include "e3d/Surface.h"
#include "e3d/Viewport.h"
#include "ui/GUIObject.h"
#include "ui/GUIRoles.h"
#include "ui/Hud.h"
#include "ui/Interface.h"
#include "world/UnitOrder.h"
#include "world/UnitTemplate.h"
#include "world/World.h"

namespace {

int32_t Round(float v) {
    return static_cast<int32_t>(std::lround(v));
}

std::string Number(float v) {
    return std::to_string(Round(v));
}

// The system text of each action's tooltip.
int ActionText(int32_t action) {
    if (action >= kActionSelect && action <= kActionOutsideMap) return 80 + action;
    if (action == kActionOutOfReach) return 84;
    return -1;
}

// The cursor of each action: the sequence (0 select, 1 harvest, 2 no_select,
// 3 attack, 4 move), or a single picture (-2 IdleAdd, -3 IdleSub), -1 Idle.
int CursorOf(int32_t action) {
    switch (action) {
        case kActionSelect:
            return 0;
        case kActionMove:
        case kActionPatrol:
        case kActionWarp:
        case kActionUnexplored:
            return 4;
        case kActionCantSelect:
        case kActionCantBuild:
        case kActionCantGuard:
        case kActionCantConnect:
        case kActionCantRepair:
        case kActionOutOfWarpRange:
        case kActionTeamMember:
        case kActionOutsideMap:
        case kActionRadarOff:
        case kActionOutOfReach:
            return 2;
        case kActionAttack:
            return 3;
        case kActionHarvest:
        case kActionGuard:
        case kActionConnect:
        case kActionRepair:
            return 1;
        case kActionAddWaypoint:
            return -2;
        case kActionDeleteWaypoint:
            return -3;
        default:
            return -1;
    }
}

}  // namespace

void CHud::ChooseCursor() {
    static const char* const kSequences[5] = {"select", "harvest", "no_select", "attack", "move"};
    static const char* const kPictures[3] = {"Idle", "IdleAdd", "IdleSub"};
    const int which = CursorOf(m_mouseAction);
    CBitmapSurface* picture = nullptr;
    const char* name = nullptr;
    if (which == -1) {
        picture = m_ui.m_mouseBitmaps[0];
        name = kPictures[0];
    } else if (which <= -2) {
        picture = m_ui.m_mouseBitmaps[-which - 1];
        name = kPictures[-which - 1];
    } else {
        const std::vector<CBitmapSurface*>& frames = m_ui.m_mouseSequences[which];
        if (!frames.empty()) picture = frames[size_t(Round(m_cursorTime)) % frames.size()];
        name = kSequences[which];
    }
    if (picture) {  // a missing frame keeps the last
        m_cursor = picture;
        m_cursorName = name;
    }
    m_cursorOffset[0] = m_cursorOffset[1] = -16;
}

bool CHud::UpdateMouseInfo(CE3DSurface* canvas) {
    SCost cost(*this, kCostMouse);
    ++m_costFrames;
    // Frames to skip (a display change): no cursor, nothing decided.
    if (m_skipFrames > 0) {
        --m_skipFrames;
        m_cursor = nullptr;
        m_cursorName = "";
        return true;
    }
    CWorld* world = m_ui.World();
    const float frame = m_ui.GUIGame().FrameTime();
    const int32_t mx = m_ui.m_cursorX, my = m_ui.m_cursorY;
    m_cursorTime += 10.0f * frame;
    const bool menu = m_ui.m_InGameMenu || m_ui.m_activeGUI != 1000;
    const bool consoleHolds = m_ui.m_console.IsVisible() && !m_ui.m_console.m_mini;
    if (consoleHolds || m_ui.GuiWord() != 0 || menu || m_ui.m_mode == 4 || !world) {
        m_cursor = m_ui.m_mouseBitmaps[0];
        m_cursorName = "Idle";
        m_cursorOffset[0] = m_cursorOffset[1] = -16;
        m_mouseAction = kActionNone;
        if (consoleHolds || menu || m_ui.m_mode == 4) m_hoverObject = -1;
        m_panelTooltip = 0;
        return true;
    }
    CWorldQuery const& query = world->Query();
    m_haveLocal = query.LocalPlayer(&m_local);
    query.Selection(m_selection);
    const bool anySelected = !m_selection.empty();
    m_ui.m_fields.m_anyUnitSelected = anySelected ? 1 : 0;
    m_shiftHeld = m_ui.m_mouseState.shift != 0;
    const bool ctrl = m_ui.m_mouseState.ctrl != 0;

    // 4. The world point under the mouse, snapped to thirds.
    float point[3] = {0.0f, 0.0f, 0.0f};
    const CGUIObject* radarPanel = m_ui.m_Panels[kPanelRadarPanel];
    const bool fullScreen = m_ui.m_fields.m_fullScreenRadar != 0;
    const bool overRadar = IsMouseOverRadar();
    m_ui.m_fields.m_overRadar = overRadar ? 1 : 0;
    const bool havePoint = GetMouseWorldPosition(point);
    m_mouseWorld[0] = float(Round(3.0f * point[0])) * (1.0f / 3.0f);
    m_mouseWorld[1] = float(Round(3.0f * point[2])) * (1.0f / 3.0f);

    // 5. The object under the mouse.
    m_hoverObject = -1;
    if (overRadar) {
        // On the radar: the nearest dot within 6 pixels.
        int32_t best = 7 * 7;
        for (const SObjectView& o : m_objects) {
            if (!o.Is(SObjectView::kShown) || !o.Is(SObjectView::kUnit) ||
                !(o.Is(SObjectView::kAllied) || o.Is(SObjectView::kSeen)))
                continue;
            int32_t px, py;
            m_radar.WorldToRadar(o.x, o.z, &px, &py);
            const int32_t d = (px - mx) * (px - mx) + (py - my) * (py - my);
            if (d < best) {
                best = d;
                m_hoverObject = o.id;
            }
        }
    } else if (!IsMouseOverHUD()) {
        // Over the HUD's panels nothing of the world lies under the mouse.
        m_hoverObject = m_ui.PickObjectAt(mx, my);
    }
    m_hiddenUnderMouse = query.Hidden(m_mouseWorld[0], m_mouseWorld[1]) ? 1 : 0;
    m_unseenUnderMouse = query.Unseen(m_mouseWorld[0], m_mouseWorld[1]) ? 1 : 0;
    SObjectView hover;
    const bool haveHover = m_hoverObject >= 0 && query.Object(m_hoverObject, &hover);
    if (!haveHover) m_hoverObject = -1;
    // A hidden enemy is not there for the mouse.
    const bool hoverSeen = haveHover && (hover.Is(SObjectView::kAllied) || hover.Is(SObjectView::kSeen) ||
                                         !hover.Is(SObjectView::kUnit));

    // The unit the information panel shows leads the selection's orders.
    SObjectView lead;
    const bool haveLead = anySelected && query.Object(m_ui.m_leadUnit, &lead) && lead.unitTmpl;
    const bool leadWarps = haveLead && lead.unitTmpl->m_canWarp;

    // 6. The action: each later rule over the earlier ones.
    int32_t action = kActionNone;
    bool selectionMoves = false;
    for (const SObjectView& s : m_selection)
        if (s.Is(SObjectView::kLocal) && s.Is(SObjectView::kMobile) && s.Is(SObjectView::kComplete))
            selectionMoves = true;
    if ((!haveHover || !hoverSeen) && anySelected && selectionMoves) action = kActionMove;
    if (haveHover && hoverSeen) {
        if (hover.Is(SObjectView::kUnit)) {
            if (hover.Is(SObjectView::kLocal)) {
                action = hover.Is(SObjectView::kComplete) ? kActionSelect : kActionCantSelect;
                // A working warp gate of one's own takes the selection
                // through, unless the unit shown is a gate itself.
                if (anySelected && hover.Is(SObjectView::kComplete) && hover.unitTmpl &&
                    hover.unitTmpl->m_canWarp)
                    action = leadWarps ? kActionSelect : kActionWarp;
            } else if (anySelected && !hover.Is(SObjectView::kAllied)) {
                action = hover.unitTmpl && hover.unitTmpl->m_friendly ? kActionNone : kActionAttack;
            } else {
                action = kActionNone;
            }
        } else if (hover.Is(SObjectView::kGridMember)) {
            action = hover.Is(SObjectView::kResource) ? kActionHarvest : kActionCantSelect;
        }
    }
    m_tooltipName.clear();
    const CTessarakObjectTemplate* placing =
        static_cast<const CTessarakObjectTemplate*>(m_ui.m_placeTemplate);
    if (placing && m_ui.m_mode == 1 && !IsMouseOverHUD()) {
        m_placePosition[0] = m_mouseWorld[0];
        m_placePosition[1] = m_mouseWorld[1];
        m_placeBlocked =
            DrawPlacementFootprint(canvas, placing, m_mouseWorld[0], m_mouseWorld[1], 255, 255, 255, true)
                ? 1
                : 0;
        action = m_placeBlocked ? kActionCantBuild : kActionBuild;
        m_tooltipName = placing->DisplayName();
    }
    const int32_t forced = m_ui.m_fields.m_forcedAction;
    if (forced != 0 && m_ui.m_mode == 1) {
        m_ui.m_mode = 0;
        m_ui.m_placeTemplate = nullptr;
    }
    if (m_ui.m_mode == 2) action = kActionNone;
    if (m_orderHover.lineSeen && !m_orderHover.lineBlocked && !m_orderHover.markerSeen)
        action = kActionAddWaypoint;
    if (m_orderHover.markerSeen) action = ctrl ? kActionDeleteWaypoint : kActionNone;
    if (haveHover && hoverSeen && hover.Is(SObjectView::kUnit) && hover.Is(SObjectView::kAllied) &&
        !hover.Is(SObjectView::kLocal))
        action = kActionTeamMember;
    if (anySelected && selectionMoves && m_ui.m_mode != 1 && (!haveHover || !hoverSeen)) {
        if (m_unseenUnderMouse)
            action = kActionUnexplored;
        else if (m_hiddenUnderMouse)
            action = kActionMove;
    }
    int32_t left, top, right, bottom;
    query.MapRect(&left, &top, &right, &bottom);
    if (havePoint && (point[0] < float(left) || point[0] > float(right) || point[2] > float(top) ||
                      point[2] < float(bottom)))
        action = kActionOutsideMap;
    if (forced & CUnitOrder::kAttack) action = kActionAttack;
    if (forced & CUnitOrder::kPatrol) action = kActionPatrol;
    if (forced & CUnitOrder::kMove) action = kActionMove;
    if (forced & CUnitOrder::kGuard)
        action = haveHover && hover.Is(SObjectView::kLocal) ? kActionGuard : kActionCantGuard;
    if (forced & CUnitOrder::kRepair)
        action = haveHover && hover.Is(SObjectView::kLocal) ? kActionRepair : kActionCantRepair;
    if (forced & CUnitOrder::kTow) {
        action = haveHover ? kActionConnect : kActionCantConnect;
        if (haveHover) m_tooltipName = m_ui.FormatSystemText(281, {hover.name});
    }
    // Outside the game view nothing happens.
    if (CE3DViewport* view = m_ui.Viewport())
        if (!overRadar && (mx < view->m_x || my < view->m_y || mx >= view->m_x + view->m_width ||
                           my >= view->m_y + view->m_height)) {
            action = kActionNone;
            m_hoverObject = -1;
        }
    // A forced order the lead cannot carry out from where it stands: a
    // structure's weapon cannot reach the point, a warp unit cannot jump
    // that far.
    if (forced != 0 && haveLead && havePoint && action != kActionNone) {
        const float distance = std::hypot(point[0] - lead.x, point[2] - lead.z);
        const CUnitTemplate* t = lead.unitTmpl;
        if (lead.Is(SObjectView::kArmed) && !lead.Is(SObjectView::kMobile) && !t->m_friendly &&
            distance > t->m_fireRange)
            action = kActionOutOfReach;
        if ((forced & CUnitOrder::kAttack) && (t->m_canWarp || t->m_warpNuke) && distance > t->m_warpMaxRange)
            action = kActionOutOfWarpRange;
    }
    // The radar without power shows nothing to point at.
    if (overRadar && !fullScreen && m_haveLocal && !m_local.watching && m_local.energyRatio < 0.5f)
        action = kActionRadarOff;
    if (m_ui.MapEditMode() || m_panelTooltip) action = kActionNone;
    if (!overRadar && !fullScreen && IsMouseOverHUD()) action = kActionNone;
    m_mouseAction = action;

    // 7. The cursor.
    ChooseCursor();

    // 9, 11. The tooltip's name.
    if (forced != 0 && haveHover && m_tooltipName.empty() &&
        (action == kActionAttack || action == kActionGuard || action == kActionOutOfReach))
        m_tooltipName = hover.name;
    if (haveHover && hoverSeen && m_tooltipName.empty() &&
        (action == kActionSelect || action == kActionCantSelect || action == kActionAttack ||
         action == kActionOutOfReach || (action == kActionHarvest && !m_hiddenUnderMouse))) {
        m_tooltipName = hover.name;
        const bool unit = hover.Is(SObjectView::kUnit), complete = hover.Is(SObjectView::kComplete);
        if (unit && complete && hover.giveEnergy != 0.0f)
            m_tooltipName = m_ui.FormatSystemText(282, {hover.name, Number(hover.giveEnergy).c_str()});
        if (unit && complete && hover.takeEnergy != 0.0f)
            m_tooltipName = m_ui.FormatSystemText(283, {hover.name, Number(hover.takeEnergy).c_str()});
        if (hover.Is(SObjectView::kGridMember) && !complete) {
            const float pct = hover.maxPower > 0.0f ? 100.0f * hover.power / hover.maxPower : 0.0f;
            m_tooltipName = m_ui.FormatSystemText(284, {hover.name, Number(pct).c_str()});
            m_mouseAction = action = kActionCantSelect;
        }
        if (unit && hover.building)
            m_tooltipName = m_ui.FormatSystemText(
                285, {hover.name, Number(100.0f * hover.buildPower).c_str(), hover.building->DisplayName()});
        if (unit && hover.held > 0.0f && hover.maxHeld > 0.0f)
            m_tooltipName = m_ui.FormatSystemText(286, {hover.name, Number(hover.held).c_str()});
    }
    if (hover.Is(SObjectView::kResource) && haveHover && action == kActionHarvest) m_tooltipName = hover.name;

    // 10, 12. The hover time: the mouse rests (moves under 6 pixels a
    // frame); over the HUD's panels the tooltips show at once.
    const int32_t dx = std::abs(mx - m_lastMouse[0]), dy = std::abs(my - m_lastMouse[1]);
    m_lastMouse[0] = mx;
    m_lastMouse[1] = my;
    if (dx < 6 && dy < 6)
        m_hoverTime += frame;
    else
        m_hoverTime = 0.0f;
    if (radarPanel && !IsMouseOverPanel(radarPanel) && !fullScreen && IsMouseOverHUD()) m_hoverTime = 1.1f;
    return true;
}

void CHud::DrawTooltips(CE3DSurface* canvas) {
    SCost cost(*this, kCostTooltips);
    if (!canvas || m_ui.GuiWord() != 0 || m_ui.m_InGameMenu || m_ui.m_activeGUI != 1000) return;
    if (m_hoverTime > 1.0f) {
        if (!DrawPanelTooltip(canvas) && m_mouseAction != kActionNone)
            DrawActionTooltip(canvas, m_mouseAction, m_tooltipName);
    } else {
        m_panelTooltip = 0;
    }
}

std::string CHud::ActionTooltip(int32_t action, const std::string& name) const {
    std::string text;
    if (action == kActionRadarOff) {
        text = m_ui.FormatSystemText(263, {" ", ""});
    } else {
        const int index = ActionText(action);
        if (index < 0) return "";
        text = m_ui.GetSystemText(index);
    }
    if (!name.empty()) text += " " + name;
    return text;
}

void CHud::DrawActionTooltip(CE3DSurface* canvas, int32_t action, const std::string& name) {
    const std::string text = ActionTooltip(action, name);
    if (!text.empty()) DrawText(canvas, text.c_str(), m_ui.m_cursorX, m_ui.m_cursorY + 20, false);
}

bool CHud::DrawPanelTooltip(CE3DSurface* canvas) {
    m_panelTooltip = 0;
    m_panelTooltipText.clear();
    if (m_ui.m_fields.m_fullScreenRadar) return false;
    std::string text;
    const int32_t mx = m_ui.m_cursorX, my = m_ui.m_cursorY;
    const CGUIObject* energy = m_ui.m_Panels[kPanelEnergyPanel];
    const CGUIObject* total = m_ui.m_Panels[kPanelTotalPanel];
    if (energy && IsMouseOverPanel(energy) && m_haveLocal) {
        text = m_ui.FormatSystemText(
            102, {Number(m_local.energyProduced).c_str(), Number(m_local.energyConsumed).c_str()});
    } else if (total && total->m_ScreenX - std::max(total->m_Size[0], 40) < mx && mx < total->m_ScreenX + 2 &&
               total->m_ScreenY < my && my < total->m_ScreenY + std::max(total->m_Size[1], 12) + 2 &&
               m_haveLocal) {
        text = m_ui.FormatSystemText(106, {std::to_string(std::max(0, Round(m_local.resources))).c_str(),
                                           Number(m_local.storage).c_str(), Number(m_local.gainRate).c_str(),
                                           Number(m_local.spendRate).c_str()});
    } else if (!m_buildItems.empty()) {
        const CUnitTemplate* item = BuildItemAtMouse();
        for (const SBuildItemView& e : m_buildItems)
            if (item && e.tmpl == item && !Refused(e)) {
                text = std::string(item->DisplayName()) + " (" + Number(e.cost) + ")";
                break;
            }
    }
    if (text.empty()) return false;
    m_panelTooltip = 1;
    m_panelTooltipText = text;
    DrawText(canvas, text.c_str(), mx, my + 20, false);
    return true;
}
