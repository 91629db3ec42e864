// The selection panel, the information on the object under the mouse, the
// build icons and the footprint of a building being placed.
//
// The panels are the running game's GUI objects, bound by their "ID": the
// MultiButton%d slots (a cover, the group number, the name, the health
// gauge's place) and the BuildIcon%d buttons (a cover, the picture's
// place, the count). The HUD sets their covers and texts when the selection
// changes and draws what changes every frame over them: the units' icons
// and health, the items' icons, costs and production progress.
#include <algorithm>
#include <cmath>
#include <string>

#include "e3d/BitmapSurface.h"
#include "e3d/Font.h"
#include "e3d/Surface.h"
#include "ui/GUIObject.h"
#include "ui/GUIRoles.h"
#include "ui/Hud.h"
#include "ui/Interface.h"
#include "world/UnitTemplate.h"
#include "world/World.h"

namespace {

int32_t Round(float v) {
    return static_cast<int32_t>(std::lround(v));
}

CGUIObject* Child(const CGUIObject* o, size_t i) {
    return o && i < o->m_Children.size() ? o->m_Children[i] : nullptr;
}

void SetVisible(CGUIObject* o, int32_t visible) {
    if (!o || o->m_Visible == visible) return;
    o->m_Visible = visible;
    o->m_ui->m_GUIChanged = 1;
}

void SetChildrenHidden(CGUIObject* o, int32_t hidden) {
    if (!o || o->m_ChildrenHidden == hidden) return;
    o->m_ChildrenHidden = hidden;
    o->m_ui->m_GUIChanged = 1;
}

// A text object's text, changed (and the GUI drawn again) only when it
// differs.
void SetLabel(CGUIObject* o, const std::string& text) {
    if (!o) return;
    const char* now = o->m_TextLines.empty() ? "" : o->m_TextLines[0].GetText();
    if (o->m_TextLines.size() == 1 && text == now) return;
    o->SetText(text.c_str());
}

// A slot's name cut to the room its box leaves it (up to the group number
// at its right, when the unit has one), so that it never runs into the next.
std::string FitSlotName(const CGUIObject* slot, const CGUIObject* name, std::string text, bool grouped) {
    if (!slot || !name || !name->m_Font) return text;
    int32_t right = slot->m_Size[0];
    const CGUIObject* group = Child(slot, 1);
    if (grouped && group && group != name && group->m_X > name->m_X) right = std::min(right, group->m_X);
    const int32_t room = right - name->m_X - 2;
    int32_t w = 0, h = 0;
    while (!text.empty() && (name->m_Font->MeasureText(text.c_str(), &w, &h), w > room)) text.pop_back();
    return text;
}

void SetHighlight(CGUIObject* o, bool on) {
    if (!o) return;
    const uint32_t colour = on ? 0x0040D0FFu : 0x00FFFFFFu;  // 0x00BBGGRR: yellow, white
    if (o->m_Color1 == colour) return;
    o->m_Color1 = colour;
    o->m_ui->m_GUIChanged = 1;
}

}  // namespace

// ---------------------------------------------------------------------------
// The selection panel

bool CHud::RebuildSelectionPanel() {
    CWorld* world = m_ui.World();
    CGUIObject* const* panels = m_ui.m_Panels;
    std::vector<SObjectView> selected;
    if (world) world->Query().Selection(selected);
    const size_t n = selected.size();
    const size_t k = m_ui.m_MultiButtons.size();
    m_ui.m_GUIChanged = 1;
    if (n == 0) {
        SetChildrenHidden(panels[kPanelBuild], 1);
        SetChildrenHidden(panels[kPanelSingleSelect], 1);
        SetChildrenHidden(panels[kPanelMultiSelect], 0);
        for (CGUIObject* slot : m_ui.m_MultiButtons) {
            SetVisible(Child(slot, 0), 1);
            for (size_t c : {size_t(1), size_t(2)})
                if (CGUIObject* text = Child(slot, c)) {
                    SetLabel(text, "");
                    text->m_RowKind = 0;
                }
        }
        m_ui.m_leadUnit = -1;
        m_slotUnits.clear();
        m_buildItems.clear();
        return true;
    }
    if (n == 1) {
        m_ui.m_leadUnit = selected[0].id;
        if (!selected[0].Is(SObjectView::kUnit)) return false;
        if (selected[0].Is(SObjectView::kBuilder) && selected[0].Is(SObjectView::kLocal)) {
            SetChildrenHidden(panels[kPanelBuild], 0);
            SetChildrenHidden(panels[kPanelSingleSelect], 1);
            SetChildrenHidden(panels[kPanelMultiSelect], 1);
            m_slotUnits.clear();
            RefreshBuildIcons();
            return true;
        }
    } else {
        m_ui.m_leadUnit = -1;
    }
    m_buildItems.clear();
    SetChildrenHidden(panels[kPanelBuild], 1);
    SetChildrenHidden(panels[kPanelSingleSelect], 1);
    SetVisible(panels[kPanelSingleSelect], 0);
    SetChildrenHidden(panels[kPanelMultiSelect], 0);
    SetVisible(panels[kPanelMultiSelect], 1);
    for (size_t i = 0; i < k; ++i) SetVisible(Child(m_ui.m_MultiButtons[i], 0), n < k && i >= n ? 1 : 0);
    int32_t& offset = m_ui.m_MultiSelectOffset;
    if (n > k)
        offset = std::max(0, std::min(offset, int32_t(n - k)));
    else
        offset = 0;
    m_slotUnits.assign(k, -1);
    size_t next = size_t(offset);
    for (size_t i = 0; i < k && next < n; ++i) {
        CGUIObject* slot = m_ui.m_MultiButtons[i];
        CGUIObject* name = Child(slot, 2);
        if (!name) continue;  // a slot without a name takes no unit
        const SObjectView& o = selected[next++];
        m_slotUnits[i] = o.id;
        // A click on the slot's texts selects its unit alone (Shift: takes
        // it out).
        for (size_t c : {size_t(1), size_t(2)})
            if (CGUIObject* text = Child(slot, c)) {
                text->m_RowKind = kRowSelectionSlot;
                text->m_RowData = o.id;
            }
        SetLabel(name, FitSlotName(slot, name, o.name, o.group > 0));
        SetLabel(Child(slot, 1), o.group > 0 ? std::to_string(o.group) : std::string());
    }
    for (size_t i = 0; i < k; ++i)
        if (m_slotUnits[i] < 0)
            for (size_t c : {size_t(1), size_t(2)})
                if (CGUIObject* text = Child(m_ui.m_MultiButtons[i], c)) {
                    SetLabel(text, "");
                    text->m_RowKind = 0;
                }
    return true;
}

void CHud::DrawSelectionSlots(CE3DSurface* canvas) {
    CWorld* world = m_ui.World();
    const CGUIObject* multi = m_ui.m_Panels[kPanelMultiSelect];
    if (!world || (multi && multi->m_ChildrenHidden)) return;
    for (size_t i = 0; i < m_slotUnits.size() && i < m_ui.m_MultiButtons.size(); ++i) {
        const CGUIObject* slot = m_ui.m_MultiButtons[i];
        SObjectView o;
        if (!slot || m_slotUnits[i] < 0 || !world->Query().Object(m_slotUnits[i], &o)) continue;
        if (CBitmapSurface* icon = Icon(o.tmpl))
            icon->BltTo(slot->m_ScreenX + 2, slot->m_ScreenY + 2, canvas);
        const CGUIObject* gauge = Child(slot, 3);
        const int32_t gx = gauge ? gauge->m_ScreenX : slot->m_ScreenX + 2;
        const int32_t gy = gauge ? gauge->m_ScreenY : slot->m_ScreenY + slot->m_Size[1] - 5;
        const int32_t width = std::max(6, slot->m_Size[0] - 4);
        DrawSegmentBar(canvas, gx, gy, width, 3, 1.0f, 0, 128, 0);
        DrawHealthBar(canvas, gx, gy, width, 3, o.maxPower > 0.0f ? o.power / o.maxPower : 0.0f);
    }
}

void CHud::DrawHeldInfo(CE3DSurface* canvas, int32_t x, int32_t y) {
    CWorld* world = m_ui.World();
    if (!world || IsMouseOverHUD()) return;
    canvas->ResetClip();
    SObjectView o;
    if (m_hoverObject < 0 || m_hiddenUnderMouse || !world->Query().Object(m_hoverObject, &o)) return;
    const float health = o.maxPower > 0.0f ? o.power / o.maxPower : 0.0f;
    // A name too long for its room pushes the read-outs after it right.
    int32_t shift = 0;
    if (m_smallFont) {
        int32_t w = 0, h = 0;
        m_smallFont->MeasureText(o.name, &w, &h);
        shift = std::max(0, 13 + w + 8 - 110);
    }
    auto pair = [&](int32_t at, float fraction) {
        DrawSegmentBar(canvas, x + shift + at, y + 5, 48, 3, 1.0f, 0, 128, 0);
        DrawHealthBar(canvas, x + shift + at, y + 5, 48, 3, fraction);
    };
    auto text = [&](const char* s, int32_t at) {
        if (!m_smallFont || !canvas->Lock()) return;
        canvas->SetFont(m_smallFont);
        const uint32_t flags = canvas->m_textFlags;
        canvas->m_textFlags = 0;
        canvas->DrawGlyphs(s, x + (at > 13 ? shift : 0) + at, y - 1, 0, 255, 0, true, false, 0, false);
        canvas->m_textFlags = flags;
        canvas->Unlock();
    };
    if (o.Is(SObjectView::kUnit)) {
        const float production = o.Is(SObjectView::kBuilder) && o.building ? o.buildFraction : 0.0f;
        const float cargo = o.maxHeld > 0.0f && o.held > 0.0f ? o.held / o.maxHeld : 0.0f;
        if (canvas->Lock()) {
            canvas->DrawFilledRect(x, y + 2, x + 10, y + 9, uint8_t(Round(o.colour[0])),
                                   uint8_t(Round(o.colour[1])), uint8_t(Round(o.colour[2])));
            canvas->Unlock();
        }
        pair(150, health);
        if (production > 0.0f) pair(265, production);
        if (cargo > 0.0f) pair(265, cargo);
        text(o.name, 13);
        text(m_ui.GetSystemText(245), 110);
        if (production > 0.0f) text(m_ui.GetSystemText(246), 215);
        if (cargo > 0.0f) text(m_ui.GetSystemText(247), 205);
        return;
    }
    if (o.Is(SObjectView::kGridMember) && o.power > 1.0f && o.maxPower > 1.0f) {
        pair(150, health);
        text(o.name, -1);
        text(m_ui.GetSystemText(245), 110);
    }
}

// ---------------------------------------------------------------------------
// The build icons

bool CHud::Refused(const SBuildItemView& item) const {
    return item.restricted || (item.singlePlayerOnly && m_ui.GUIGame().GameType() != 0);
}

bool CHud::RefreshBuildIcons() {
    CWorld* world = m_ui.World();
    m_buildItems.clear();
    SObjectView lead;
    if (!world || !world->Query().Object(m_ui.m_leadUnit, &lead) || !lead.Is(SObjectView::kBuilder))
        return false;
    world->Query().BuildList(lead.id, m_buildItems);
    const int32_t c = int32_t(m_buildItems.size()), k = int32_t(m_ui.m_BuildIcons.size());
    int32_t& offset = m_ui.m_BuildIconOffset;
    // Past the last page the offset steps back by a page less one.
    if (offset > c - k) offset -= std::max(k - 1, 1);
    if (offset < 0) offset = 0;
    for (int32_t i = 0; i < k; ++i) {
        CGUIObject* icon = m_ui.m_BuildIcons[size_t(i)];
        if (!icon) continue;
        CGUIObject* label = Child(icon, 2);
        const int32_t j = offset + i;
        if (j >= c) {
            SetVisible(Child(icon, 0), 1);
            SetVisible(label, 0);
            SetHighlight(label, false);
            continue;
        }
        const SBuildItemView& item = m_buildItems[size_t(j)];
        SetVisible(Child(icon, 0), Refused(item) ? 1 : 0);
        if (Refused(item) || item.method != CUnitTemplate::kBuildInternal) {
            SetVisible(label, 0);
            SetHighlight(label, false);
            continue;
        }
        SetVisible(label, 1);
        if (item.repeating > 0) {
            SetLabel(label, "          " + std::to_string(item.repeating));
            SetHighlight(label, true);
        } else {
            SetLabel(label, item.queued > 0 ? std::to_string(item.queued) : std::string());
            SetHighlight(label, false);
        }
    }
    return true;
}

void CHud::DrawBuildIcons(CE3DSurface* canvas) {
    const CGUIObject* build = m_ui.m_Panels[kPanelBuild];
    if (m_buildItems.empty() || (build && build->m_ChildrenHidden)) return;
    // The counts follow the queue as it is made and used up.
    CWorld* world = m_ui.World();
    std::vector<SBuildItemView> now;
    if (world) world->Query().BuildList(m_ui.m_leadUnit, now);
    bool changed = now.size() != m_buildItems.size();
    for (size_t i = 0; !changed && i < now.size(); ++i)
        changed = now[i].queued != m_buildItems[i].queued || now[i].repeating != m_buildItems[i].repeating;
    if (changed) {
        RefreshBuildIcons();
    } else {
        m_buildItems = now;
    }
    const int32_t k = int32_t(m_ui.m_BuildIcons.size());
    for (int32_t i = 0; i < k; ++i) {
        const CGUIObject* icon = m_ui.m_BuildIcons[size_t(i)];
        const size_t j = size_t(m_ui.m_BuildIconOffset + i);
        if (!icon || j >= m_buildItems.size()) continue;
        const SBuildItemView& item = m_buildItems[j];
        if (Refused(item)) continue;
        const CGUIObject* picture = Child(icon, 1);
        const int32_t px = picture ? picture->m_ScreenX : icon->m_ScreenX + 2;
        const int32_t py = picture ? picture->m_ScreenY : icon->m_ScreenY + 2;
        if (CBitmapSurface* bitmap = Icon(item.tmpl)) bitmap->BltTo(px, py, canvas);
        // The cost under the picture.
        if (m_smallFont && canvas->Lock()) {
            canvas->ResetClip();
            canvas->SetFont(m_smallFont);
            const uint32_t flags = canvas->m_textFlags;
            canvas->m_textFlags = kE3DTextCentre;
            const std::string cost = std::to_string(Round(item.cost));
            canvas->DrawGlyphs(cost.c_str(), icon->m_ScreenX + icon->m_Size[0] / 2,
                               icon->m_ScreenY + icon->m_Size[1] + 1, 255, 220, 120, true, false, 0, false);
            canvas->m_textFlags = flags;
            canvas->Unlock();
        }
        if (item.inProduction) DrawBuildProgress(canvas, icon, item.progress);
    }
}

// A trail of green pixels round the icon clockwise from the middle of its
// top edge, 80 steps of it for the whole production, a mark at the middle of
// each side it passed.
void CHud::DrawBuildProgress(CE3DSurface* canvas, const CGUIObject* icon, float fraction) {
    const int32_t w = std::max(4, icon->m_Size[0]), h = std::max(4, icon->m_Size[1]);
    const int32_t x0 = icon->m_ScreenX, y0 = icon->m_ScreenY;
    const int32_t perimeter = 2 * (w + h);
    const int32_t steps = std::clamp(Round(80.0f * fraction), 0, 80);
    if (steps == 0 || !canvas->Lock()) return;
    canvas->ResetClip();
    // The point at a distance along the edge from the top's middle.
    auto at = [&](int32_t d, int32_t* x, int32_t* y) {
        d = (d + w / 2) % perimeter;
        if (d < w) {
            *x = x0 + d, *y = y0;
        } else if (d < w + h) {
            *x = x0 + w - 1, *y = y0 + d - w;
        } else if (d < 2 * w + h) {
            *x = x0 + w - 1 - (d - w - h), *y = y0 + h - 1;
        } else {
            *x = x0, *y = y0 + h - 1 - (d - 2 * w - h);
        }
    };
    const int32_t length = perimeter * steps / 80;
    for (int32_t d = 0; d < length; d += 2) {
        int32_t x, y;
        at(d, &x, &y);
        canvas->PutPixel(x, y, 0, 255, 0);
    }
    // The marks at the middles of the sides passed.
    const int32_t middles[4] = {w / 2 + h / 2, w + h / 2 + w / 2, w + h + w / 2 + h / 2, perimeter};
    for (int32_t m : middles)
        if (m <= length) {
            int32_t x, y;
            at(m % perimeter, &x, &y);
            canvas->DrawFilledRect(x - 1, y - 1, x + 1, y + 1, 0, 255, 0);
        }
    canvas->Unlock();
}

const CUnitTemplate* CHud::BuildItemAtMouse() const {
    for (size_t i = 0; i < m_ui.m_BuildIcons.size(); ++i) {
        const CGUIObject* icon = m_ui.m_BuildIcons[i];
        if (!icon || !IsMouseOverPanel(icon)) continue;
        const int32_t j = m_ui.m_BuildIconOffset + int32_t(i);
        if (j >= 0 && j < int32_t(m_buildItems.size())) return m_buildItems[size_t(j)].tmpl;
    }
    return nullptr;
}

void CHud::OnBuildIconPressed() {
    CWorld* world = m_ui.World();
    const CUnitTemplate* item = BuildItemAtMouse();
    if (!world || !item || m_buildItems.empty()) return;
    const SBuildItemView* entry = nullptr;
    for (const SBuildItemView& e : m_buildItems)
        if (e.tmpl == item) entry = &e;
    if (!entry || Refused(*entry)) return;
    m_ui.m_fields.m_forcedAction = 0;
    const bool shift = m_ui.m_mouseState.shift != 0;
    const int32_t batch = shift && m_ui.m_BuildOrderDuplication > 0 ? m_ui.m_BuildOrderDuplication : 1;
    CWorldCommands& commands = world->Commands();
    CTessarakObjectTemplate* product = const_cast<CUnitTemplate*>(item);
    if (entry->repeating > 0) {
        commands.CancelProduce(m_ui.m_leadUnit, item, batch, true);
    } else if (entry->method == CUnitTemplate::kBuildInternal) {
        for (int32_t i = 0; i < batch; ++i) commands.Produce(m_ui.m_leadUnit, product, 0, kCommandQueue);
    } else {
        m_ui.m_placeTemplate = item;
        m_ui.m_mode = 1;
        return;
    }
    m_ui.m_fields.m_selectionChanged = 1;
}

bool CHud::BuildPanelRightPress(bool shift, bool* refused) {
    *refused = false;
    CWorld* world = m_ui.World();
    SObjectView lead;
    if (!world || !world->Query().Object(m_ui.m_leadUnit, &lead) || !lead.Is(SObjectView::kBuilder))
        return false;
    const CUnitTemplate* item = BuildItemAtMouse();
    int32_t count = 0;
    std::vector<SBuildItemView> list;
    world->Query().BuildList(lead.id, list);
    const SBuildItemView* entry = nullptr;
    for (const SBuildItemView& e : list) {
        count += e.sites;
        if (e.tmpl == item) {
            entry = &e;
            count += e.queued;
        }
    }
    const int32_t batch = shift && m_ui.m_BuildOrderDuplication > 0 ? m_ui.m_BuildOrderDuplication : 1;
    if (count > 0 && item) {
        world->Commands().CancelProduce(lead.id, item, batch, false);
        m_ui.m_fields.m_selectionChanged = 1;
        return true;
    }
    if (count == 0 && entry && entry->method == CUnitTemplate::kBuildInternal) {
        if (Refused(*entry)) {
            *refused = true;
            return true;
        }
        CTessarakObjectTemplate* product = const_cast<CUnitTemplate*>(item);
        for (int32_t i = 0; i < batch; ++i) world->Commands().Produce(lead.id, product, 1, kCommandQueue);
        m_ui.m_fields.m_selectionChanged = 1;
        return true;
    }
    if (count == 0) m_ui.m_fields.m_selectionChanged = 1;
    return false;
}

// ---------------------------------------------------------------------------
// The footprint of a placement

bool CHud::DrawPlacementFootprint(CE3DSurface* canvas, const CTessarakObjectTemplate* item, float x, float z,
                                  uint8_t r, uint8_t g, uint8_t b, bool check) {
    CWorld* world = m_ui.World();
    if (!item || !world) return false;
    const float radius = world->Query().FootprintOf(item);
    if (!(radius > 0.0f)) return false;
    const bool blocked = check && world->Query().SiteBlocked(item, x, z);
    const float corners[4][2] = {{x - radius, z - radius},
                                 {x + radius, z - radius},
                                 {x + radius, z + radius},
                                 {x - radius, z + radius}};
    int32_t p[4][2];
    for (int i = 0; i < 4; ++i)
        if (!Project(corners[i][0], 0.0f, corners[i][1], p[i])) return blocked;
    if (canvas && canvas->Lock()) {
        canvas->ResetClip();
        for (int i = 0; i < 4; ++i) {
            const int j = (i + 1) % 4;
            if (blocked)
                canvas->DrawLine(p[i][0], p[i][1], p[j][0], p[j][1], 255, 0, 0);
            else
                canvas->DrawLine(p[i][0], p[i][1], p[j][0], p[j][1], r, g, b);
        }
        canvas->Unlock();
    }
    return blocked;
}
