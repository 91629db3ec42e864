// The HUD frame: the order its panels are drawn in each frame, the resource
// panel with its warning, the energy gauge, the canvas routines the HUD and
// the overlays share, the panel tests and the cursor.
#include "ui/Hud.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "e3d/BitmapSurface.h"
#include "e3d/Font.h"
#include "e3d/Surface.h"
#include "e3d/Viewport.h"
#include "ui/GUIObject.h"
#include "ui/GUIRoles.h"
#include "ui/Interface.h"
#include "world/ObjectTemplate.h"
#include "world/World.h"

namespace {

int32_t Round(float v) {
    return static_cast<int32_t>(std::lround(v));
}

}  // namespace

CHud::CHud(CInterface& ui) : m_radar(ui), m_ui(ui) {}

CHud::~CHud() {
    for (auto& entry : m_icons)
        if (entry.second) entry.second->Release();
    if (m_smallFont) m_smallFont->Release();
    if (m_asianFont) m_asianFont->Release();
}

void CHud::CreateFonts() {
    CE3DFont* small = m_ui.BuildFont("Tahoma", 0, 13, 400, 0, 0);
    CE3DFont* asian = m_ui.BuildFont("MS Mincho", 6, 11, 400, 4, 0);
    if (m_smallFont) m_smallFont->Release();
    if (m_asianFont) m_asianFont->Release();
    m_smallFont = small;
    m_asianFont = asian;
}

void CHud::ResetForGame() {
    m_radar.m_rings.clear();
    m_radar.m_lockMode = m_radar.m_zoomDone = m_radar.m_zoomFlipped = 0;
    m_ui.m_fields.m_lastEventValid = 0;
    m_ui.m_fields.m_lastEventX = m_ui.m_fields.m_lastEventZ = 0.0f;
    m_nextResourceWarning = 0;
    m_ui.m_BuildIconOffset = m_ui.m_MultiSelectOffset = 0;
    m_slotUnits.clear();
    m_buildItems.clear();
    m_hoverObject = -1;
    m_mouseAction = kActionNone;
    m_orderHover = SOrderHover();
    m_placeBlocked = 0;
    // Nothing of the game before stays: no building at the mouse, no
    // selection's slots nor a builder's icons, no end screen.
    m_ui.m_placeTemplate = nullptr;
    if (m_ui.m_mode == 1 || m_ui.m_mode == 2) m_ui.m_mode = 0;
    m_ui.m_leadUnit = -1;
    m_ui.m_gameScreen = 0;
    for (EGUIPanel p : {kPanelBuild, kPanelSingleSelect, kPanelMultiSelect})
        if (CGUIObject* panel = m_ui.m_Panels[p]) panel->m_ChildrenHidden = 1;
    m_ui.m_GUIChanged = 1;
}

void CHud::LoadRadar(const void* data, size_t size) {
    m_radar.Create(data, size);
    m_skipFrames = 0;
}

CBitmapSurface* CHud::Icon(const CTessarakObjectTemplate* tmpl) {
    if (!tmpl) return nullptr;
    auto at = m_icons.find(tmpl);
    if (at != m_icons.end()) return at->second;
    CBitmapSurface* icon = nullptr;
    if (CE3DScreen* screen = m_ui.Screen()) {
        CStrBuf path;
        // The units' own folder holds their icons: "Units\Icons\<template>.bmp".
        path.Format("Icons\\%s.bmp", tmpl->m_name.GetText());
        icon = CBitmapSurface_LoadShared(screen, m_ui.GetPath("Units", path.GetText()));
        if (icon)
            icon->SetColorKey(0, 255, 255);  // turquoise is transparent
        else                                 // missing or damaged: the icon stays empty, once told
            m_ui.m_console.PrintfColor("Failed to load 'Units/Icons/%s.bmp'", 255, 255, 255, 0,
                                       tmpl->m_name.GetText());
    }
    m_icons[tmpl] = icon;
    return icon;
}

// ---------------------------------------------------------------------------
// The frame

void CHud::DrawHUD(CE3DSurface* canvas) {
    if (!canvas) return;
    CWorld* world = m_ui.World();
    m_haveLocal = world && world->Query().LocalPlayer(&m_local);
    // 1. The full-screen radar covers everything.
    if (m_ui.m_fields.m_fullScreenRadar) {
        canvas->ResetClip();
        if (canvas->Lock()) {
            canvas->DrawFilledRect(0, 0, canvas->m_width, canvas->m_height, 0, 0, 0);
            canvas->Unlock();
        }
        SCost cost(*this, kCostRadar);
        m_radar.Draw(canvas, 0, 0, canvas->m_width, canvas->m_height);
        return;
    }
    CGUIObject* const* panels = m_ui.m_Panels;
    // 2. The radar in its panel.
    if (const CGUIObject* radar = panels[kPanelRadarPanel]) {
        SCost cost(*this, kCostRadar);
        m_radar.Draw(canvas, radar->m_ScreenX, radar->m_ScreenY, radar->m_Size[0], radar->m_Size[1]);
    }
    SCost cost(*this, kCostPanels);
    // 3. The energy gauge.
    if (const CGUIObject* energy = panels[kPanelEnergyPanel])
        if (energy->m_ExtraA) DrawEnergyPanel(canvas, energy->m_ScreenX, energy->m_ScreenY);
    // 4. The object under the mouse.
    if (const CGUIObject* held = panels[kPanelHeldInfo])
        if (held->m_ExtraA) DrawHeldInfo(canvas, held->m_ScreenX, held->m_ScreenY);
    // 5. The resources.
    DrawResourcePanel(canvas);
    // 6. The selected units' slots and the build icons.
    DrawSelectionSlots(canvas);
    DrawBuildIcons(canvas);
    canvas->ResetClip();
}

void CHud::DrawResourcePanel(CE3DSurface* canvas) {
    CWorld* world = m_ui.World();
    if (!world || !m_haveLocal) return;
    // 1. The warning: at most once in 30 seconds of game time.
    const uint64_t now = world->Clock().GameTime();
    if (m_local.resources < 500.0f && now > m_nextResourceWarning) {
        PostEventMessage(3, m_local.id, 0.0f, 0.0f, nullptr, nullptr);
        m_nextResourceWarning = now + 30u * 1193182u;
    }
    const CGUIObject* total = m_ui.m_Panels[kPanelTotalPanel];
    const CGUIObject* bar = m_ui.m_Panels[kPanelResourceBar];
    if (!total || !bar) return;
    // 2. The count, ending at the panel's left edge.
    canvas->ResetClip();
    if (m_smallFont && canvas->Lock()) {
        canvas->SetFont(m_smallFont);
        const uint32_t flags = canvas->m_textFlags;
        canvas->m_textFlags = kE3DTextRight;
        const std::string count = std::to_string(std::max(0, Round(m_local.resources)));
        canvas->DrawGlyphs(count.c_str(), total->m_ScreenX + 2, total->m_ScreenY - 1, 0, 255, 0, true, false,
                           0, false);
        canvas->m_textFlags = flags;
        canvas->Unlock();
    }
    // 3. The bar: the stock against the storage.
    if (m_local.storage > 0.0f)
        DrawSegmentBar(canvas, bar->m_ScreenX, bar->m_ScreenY, bar->m_Size[0], 4,
                       m_local.resources / m_local.storage, 0, 255, 0);
}

bool CHud::DrawEnergyPanel(CE3DSurface* canvas, int32_t x, int32_t y) {
    const CGUIObject* panel = m_ui.m_Panels[kPanelEnergyPanel];
    if (!panel || panel->m_Size[0] <= 0 || panel->m_Size[1] <= 0 || !m_haveLocal) return false;
    const int32_t w = panel->m_Size[0], h = panel->m_Size[1];
    canvas->m_clipRect = SSurfaceRect{x - 5, y, x + w + 5, y + h};
    canvas->ClampClip();
    const int32_t n = (h - 2) / 3;
    // A negative supply or demand counts as none.
    const float supply = std::max(0.0f, m_local.energyProduced),
                demand = std::max(0.0f, m_local.energyConsumed);
    const float m = float(Round(std::max(supply, demand)));
    float full = m;
    for (float step : {2500.0f, 5000.0f, 10000.0f, 25000.0f, 50000.0f, 100000.0f, 500000.0f})
        if (m < step) {
            full = step;
            break;
        }
    const int32_t a = supply > 0.0f ? Round(supply / full * float(n)) : 0;
    const int32_t b = demand > 0.0f ? Round(demand / full * float(n)) : 0;
    bool showDemand = true;
    if (b / 2 > a) {
        m_energyBlink += m_ui.GUIGame().FrameTime();
        if (m_energyBlink >= 1.0f) m_energyBlink = 0.0f;
        showDemand = !(m_energyBlink >= 0.5f);
    }
    if (!canvas->Lock()) return false;
    for (int32_t i = 0, t = y + 2; i < n; ++i, t += 3) {
        canvas->DrawRect(x - 1, t, x + 1, t + 1, 0, 128, 0);
        canvas->DrawRect(x + 2, t, x + 4, t + 1, 128, 0, 0);
    }
    for (int32_t i = 0, t = y + h; i < a && t > y; ++i, t -= 3)
        canvas->DrawRect(x - 1, t, x + 1, t + 1, 0, 255, 0);
    if (showDemand)
        for (int32_t i = 0, t = y + h; i < b && t > y; ++i, t -= 3)
            canvas->DrawRect(x + 2, t, x + 4, t + 1, 255, 0, 0);
    canvas->Unlock();
    canvas->ResetClip();
    return true;
}

// ---------------------------------------------------------------------------
// The canvas routines

void CHud::DrawSegmentBar(CE3DSurface* canvas, int32_t x, int32_t y, int32_t width, int32_t height,
                          float fraction, uint8_t r, uint8_t g, uint8_t b) {
    if (!canvas) return;
    const SSurfaceRect saved = canvas->m_clipRect;
    canvas->m_clipRect = SSurfaceRect{x, y, x + width, y + height};
    canvas->ClampClip();
    if (canvas->Lock()) {
        const float end = float(width) * fraction;
        for (int32_t i = 0; float(i) < end; i += 3) canvas->DrawRect(x + i, y, x + i + 1, y + 2, r, g, b);
        canvas->Unlock();
    }
    canvas->m_clipRect = saved;
}

void CHud::DrawHealthBar(CE3DSurface* canvas, int32_t x, int32_t y, int32_t width, int32_t height,
                         float fraction) {
    if (fraction > 0.534f)
        DrawSegmentBar(canvas, x, y, width, height, fraction, 0, 255, 0);
    else if (fraction > 0.2f)
        DrawSegmentBar(canvas, x, y, width, height, fraction, 255, 255, 0);
    else if (fraction > 0.0f)
        DrawSegmentBar(canvas, x, y, width, height, fraction, 255, 0, 0);
}

void CHud::DrawProgressBar(CE3DSurface* canvas, int32_t left, int32_t top, int32_t right, int32_t bottom,
                           float fraction) {
    if (!canvas || !canvas->Lock()) return;
    if (fraction > 1.001f) fraction = 1.0f;
    const int32_t n = (right - left) / 3;
    for (int32_t i = 0; i < n; ++i) canvas->DrawRect(left + 3 * i, top, left + 3 * i + 1, bottom, 0, 128, 0);
    const float lit = 3.0f * std::min(float(n) * fraction, float(n));
    for (int32_t i = 0; float(i) < lit; i += 3)
        canvas->DrawRect(left + i, top, left + i + 1, bottom, 0, 255, 0);
    canvas->Unlock();
}

void CHud::DrawTextBox(CE3DSurface* canvas, int32_t x, int32_t y, int32_t width, int32_t column, int32_t rows,
                       const char* text) {
    if (!canvas || !canvas->Lock()) return;
    canvas->ResetClip();
    const int32_t bottom = y + 12 * rows, right = x + width;
    canvas->DrawFilledRect(x, y, right, bottom, 0, 60, 0);
    canvas->DrawRect(x, y, right, bottom, 0, 200, 0);
    for (int32_t line = y + 12; line < bottom; line += 12) canvas->DrawLine(x, line, right, line, 0, 200, 0);
    canvas->DrawLine(x + column, y + 12, x + column, bottom, 0, 200, 0);
    if (m_asianFont && text) {
        canvas->SetFont(m_asianFont);
        const uint32_t flags = canvas->m_textFlags;
        canvas->m_textFlags = 0;
        canvas->DrawGlyphs(text, x + 4, y + 4, 0, 0, 0, true, false, 0, false);
        canvas->DrawGlyphs(text, x + 2, y + 2, 255, 255, 255, true, false, 0, false);
        canvas->m_textFlags = flags;
    }
    canvas->Unlock();
}

void CHud::DrawText(CE3DSurface* canvas, const char* text, int32_t x, int32_t y, bool dimmed) {
    if (!canvas || !m_ui.m_ToolTips || !text || std::strlen(text) < 2 || !m_smallFont) return;
    int32_t w = 0, h = 0;
    m_smallFont->MeasureText(text, &w, &h);
    x = std::min(x, canvas->m_width - w - 3);
    if (y > canvas->m_height - h - 2) return;
    if (!canvas->Lock()) return;
    canvas->ResetClip();
    canvas->SetFont(m_smallFont);
    const uint32_t flags = canvas->m_textFlags;
    canvas->m_textFlags = 0;
    canvas->DrawFilledRect(x - 2, y - 1, x + w + 2, y + h, 0, 40, 0);
    canvas->DrawGlyphs(text, x, y, 0, dimmed ? 190 : 255, 0, true, false, 0, false);
    if (dimmed)
        canvas->DrawRect(x - 2, y - 1, x + w + 2, y + h, 0, 140, 0);
    else
        canvas->DrawRect(x - 2, y - 1, x + w + 2, y + h, 0, 200, 0);
    canvas->m_textFlags = flags;
    canvas->Unlock();
}

// ---------------------------------------------------------------------------
// The panel tests

bool CHud::IsMouseOverPanel(const CGUIObject* panel) const {
    if (!panel) return false;
    const int32_t mx = m_ui.m_cursorX, my = m_ui.m_cursorY;
    const CGUIObject* radar = m_ui.m_Panels[kPanelRadarPanel];
    const bool fullScreen = m_ui.m_fields.m_fullScreenRadar != 0;
    if (!m_ui.m_drawGUI && !panel->m_Visible && !fullScreen) return panel == radar && IsMouseOverRadarMap();
    if (panel == radar && !m_ui.m_drawGUI) return IsMouseOverRadarMap();
    if (panel == m_ui.m_Panels[kPanelTotalPanel] && panel->m_ScreenX - 30 < mx && mx < panel->m_ScreenX + 4 &&
        panel->m_ScreenY < my && my < panel->m_ScreenY + 12)
        return true;
    return panel->m_ScreenX < mx && mx < panel->m_ScreenX + panel->m_Size[0] + 2 && panel->m_ScreenY < my &&
           my < panel->m_ScreenY + panel->m_Size[1] + 2;
}

bool CHud::IsMouseOverRadarMap() const {
    return m_radar.IsOverMap(m_ui.m_cursorX, m_ui.m_cursorY);
}

bool CHud::IsMouseOverHUD() const {
    CGUIObject* const* panels = m_ui.m_Panels;
    for (EGUIPanel p :
         {kPanelMainBackground, kPanelConsoleBackground, kPanelLeftRadarArea, kPanelResourceArea})
        if (panels[p] && IsMouseOverPanel(panels[p])) return true;
    if (const CGUIObject* dummy = panels[kPanelDummyBar])
        if (dummy->m_Visible && IsMouseOverPanel(dummy)) return true;
    // The selection's slots and the builder's icons hold the mouse while they
    // show something: what lies behind them is not hovered nor clicked.
    for (size_t i = 0; i < m_ui.m_MultiButtons.size() && i < m_slotUnits.size(); ++i)
        if (m_slotUnits[i] >= 0 && m_ui.m_MultiButtons[i] && IsMouseOverPanel(m_ui.m_MultiButtons[i]))
            return true;
    if (BuildItemAtMouse()) return true;
    if (m_ui.m_drawGUI) return false;
    // Without the GUI: the build icons that show an item.
    const int32_t mx = m_ui.m_cursorX, my = m_ui.m_cursorY;
    for (const CGUIObject* icon : m_ui.m_BuildIcons) {
        if (!icon || icon->m_Children.size() < 2 || icon->m_Children[0]->m_Visible) continue;
        const CGUIObject* picture = icon->m_Children[1];
        if (picture->m_ScreenX < mx && mx < picture->m_ScreenX + picture->m_Size[0] + 2 &&
            picture->m_ScreenY < my && my < picture->m_ScreenY + picture->m_Size[1] + 2)
            return true;
    }
    return false;
}

bool CHud::IsMouseOverRadar() const {
    if (m_radar.Disabled()) return false;
    return m_ui.m_fields.m_fullScreenRadar ||
           (m_ui.m_drawGUI ? IsMouseOverPanel(m_ui.m_Panels[kPanelRadarPanel]) : IsMouseOverRadarMap());
}

bool CHud::GetMouseWorldPosition(float point[3]) const {
    if (IsMouseOverRadar()) {
        m_radar.RadarToWorld(m_ui.m_cursorX, m_ui.m_cursorY, &point[0], &point[2]);
        point[1] = 0.0f;
        return true;
    }
    return m_ui.GetGroundUnderMouse(m_ui.m_cursorX, m_ui.m_cursorY, point);
}

bool CHud::Project(float x, float y, float z, int32_t pixel[2]) const {
    CE3DViewport* view = m_ui.Viewport();
    if (!view || !view->ProjectPoint(pixel, D3DVECTOR{x, y, z})) return false;
    pixel[0] += view->m_x;
    pixel[1] += view->m_y;
    return true;
}

bool CHud::ScreenSquare(const SObjectView& o, int32_t* cx, int32_t* cy, int32_t* half) const {
    int32_t a[2], b[2];
    if (!Project(o.x - o.radius, o.y - o.radius, o.z - o.radius, a) ||
        !Project(o.x + o.radius, o.y + o.radius, o.z + o.radius, b))
        return false;
    *cx = (a[0] + b[0]) / 2;
    *cy = (a[1] + b[1]) / 2;
    *half = std::max(std::abs(b[0] - a[0]), std::abs(b[1] - a[1])) / 2;
    return true;
}

// ---------------------------------------------------------------------------
// The cursor

void CHud::DrawMouseCursor(CE3DSurface* target) {
    SCost cost(*this, kCostCursor);
    CBitmapSurface* cursor = m_cursor;
    if (!cursor || !target || !cursor->Platform()) return;
    cursor->ResetClip();
    const SSurfaceRect saved = target->m_clipRect;
    target->ResetClip();
    cursor->BltTo(m_ui.m_cursorX + m_cursorOffset[0], m_ui.m_cursorY + m_cursorOffset[1], target);
    target->m_clipRect = saved;
}

std::string CHud::CostReport() {
    const auto now = std::chrono::steady_clock::now();
    const double wall = std::chrono::duration<double>(now - m_costSince).count();
    const double frames = double(m_costFrames > 0 ? m_costFrames : 1);
    double ms[kCostParts], total = 0.0;
    for (int i = 0; i < kCostParts; ++i) ms[i] = 1000.0 * m_costSeconds[i] / frames;
    for (int i = kCostMouse; i < kCostParts; ++i) total += ms[i];
    char line[400];
    std::snprintf(
        line, sizeof line,
        "HUD: %lld frames, %.3f ms a frame of %.3f ms (mouse %.3f, overlays %.3f, status %.3f, panels "
        "%.3f, radar %.3f, tooltips %.3f, cursor %.3f; the back buffer's lock %.3f), %.1f frames a "
        "second",
        static_cast<long long>(m_costFrames), total, 1000.0 * wall / frames, ms[kCostMouse],
        ms[kCostOverlays], ms[kCostStatusIcons], ms[kCostPanels], ms[kCostRadar], ms[kCostTooltips],
        ms[kCostCursor], ms[kCostBackBuffer], wall > 0.0 ? double(m_costFrames) / wall : 0.0);
    for (double& s : m_costSeconds) s = 0.0;
    m_costFrames = 0;
    m_costSince = now;
    return line;
}
