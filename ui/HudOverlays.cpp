// The overlays over the game view, under the GUI: the local player's
// selected units with their selection marks, status bars (power, and reload
// for those that show it) and the paths of their orders with a marker at
// each point, their control groups; while Shift is held the parts of the
// paths under the mouse are noted for the mouse dispatch (which then drags,
// deletes or inserts waypoints) and the crystal fields show with their
// amounts; the large centre messages (the mission's end, the pause, how
// long a player of the network game keeps it waiting).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "e3d/BitmapSurface.h"
#include "e3d/Font.h"
#include "e3d/Surface.h"
#include "ui/GUIRoles.h"
#include "ui/Hud.h"
#include "ui/Interface.h"
#include "world/UnitOrder.h"
#include "world/World.h"

namespace {

int32_t Round(float v) {
    return static_cast<int32_t>(std::lround(v));
}

uint8_t Byte(float v) {
    return static_cast<uint8_t>(std::clamp(Round(v), 0, 255));
}

// The squared distance of p from the segment a-b.
float SegmentDistanceSq(float px, float py, float ax, float ay, float bx, float by) {
    const float vx = bx - ax, vy = by - ay;
    const float len = vx * vx + vy * vy;
    float t = len > 0.0f ? ((px - ax) * vx + (py - ay) * vy) / len : 0.0f;
    t = std::clamp(t, 0.0f, 1.0f);
    const float dx = ax + t * vx - px, dy = ay + t * vy - py;
    return dx * dx + dy * dy;
}

}  // namespace

void CHud::DrawSelectedOrders(CE3DSurface* canvas) {
    CWorld* world = m_ui.World();
    if (!canvas || !world) return;
    // One lock for every part: the parts' own locks nest inside it. A
    // drawing lock reads nothing of the 3D picture back: what is drawn here
    // is laid over it when the frame is shown.
    bool locked = false;
    {
        SCost cost(*this, kCostBackBuffer);
        locked = canvas->Lock();
    }
    if (!locked) return;
    SCost cost(*this, kCostOverlays);
    const float frame = m_ui.GUIGame().FrameTime();
    if (m_phase + frame > 0.0f) m_phase = std::fmod(m_phase + frame, 1.0f);
    m_blink += frame;
    if (m_blink > 1.0f) m_blink = 0.0f;
    m_orderHover = SOrderHover();
    world->Query().Objects(0, m_objects);
    m_objectsRead = 1;
    canvas->ResetClip();
    // The local player's units that wait for a signal: its number under them.
    for (const SObjectView& o : m_objects) {
        if (!o.Is(SObjectView::kUnit) || !o.Is(SObjectView::kLocal) || !o.Is(SObjectView::kShown) ||
            o.waitSignal == 0)
            continue;
        int32_t cx, cy, half;
        if (!ScreenSquare(o, &cx, &cy, &half)) continue;
        char label[32];
        std::snprintf(label, sizeof label, "WFS %d", int(o.waitSignal));
        DrawText(canvas, label, cx, cy + 34, false);
    }
    // The selected units' paths always; while Shift is held their markers
    // and lines answer the mouse, and the fields and the rally points of the
    // local player's structures show.
    const bool shift = m_ui.m_mouseState.shift != 0;
    for (const SObjectView& o : m_objects) {
        if (!o.Is(SObjectView::kUnit) || !o.Is(SObjectView::kLocal)) continue;
        if (shift && !o.Is(SObjectView::kMobile)) DrawRallyPoint(canvas, o);
        if (o.Is(SObjectView::kSelected)) DrawOrderPath(canvas, o, shift);
    }
    if (shift) DrawResourceSpots(canvas);
    DrawScriptPointLabels(canvas);
    DrawStatusBars(canvas);
    DrawCentreMessages(canvas);
    // The group numbers.
    if (m_smallFont && canvas->Lock()) {
        canvas->SetFont(m_smallFont);
        const uint32_t flags = canvas->m_textFlags;
        canvas->m_textFlags = 0;
        for (const SObjectView& o : m_objects) {
            if (!o.Is(SObjectView::kUnit) || !o.Is(SObjectView::kLocal) || !o.Is(SObjectView::kShown) ||
                o.group <= 0)
                continue;
            int32_t cx, cy, half;
            if (!ScreenSquare(o, &cx, &cy, &half)) continue;
            const std::string n = std::to_string(o.group);
            canvas->DrawGlyphs(n.c_str(), cx - half + 1, cy - half + 1, 0, 60, 0, true, false, 0, false);
            canvas->DrawGlyphs(n.c_str(), cx - half, cy - half, 0, 255, 0, true, false, 0, false);
        }
        canvas->m_textFlags = flags;
        canvas->Unlock();
    }
    canvas->Unlock();
}

void CHud::DrawOrderMarker(CE3DSurface* canvas, int32_t x, int32_t y, uint32_t type, bool highlighted) {
    struct SMarker {
        uint32_t type;
        uint8_t lit[3], normal[3], disc[3];
    };
    static const SMarker kMarkers[] = {
        {CUnitOrder::kMove, {0, 255, 0}, {0, 150, 0}, {0, 170, 0}},
        {CUnitOrder::kAttack, {255, 0, 0}, {150, 0, 0}, {170, 0, 0}},
        {CUnitOrder::kConstruct, {255, 150, 0}, {200, 150, 0}, {200, 120, 0}},
        {CUnitOrder::kGuard, {255, 0, 255}, {150, 0, 150}, {170, 0, 170}},
        {CUnitOrder::kPatrol, {0, 80, 255}, {0, 80, 150}, {0, 80, 170}},
    };
    for (const SMarker& m : kMarkers) {
        if (m.type != type) continue;
        const uint8_t* c = highlighted ? m.lit : m.normal;
        canvas->DrawCircle(x, y, 7, c[0], c[1], c[2]);
        canvas->DrawFilledCircle(x, y, 3, m.disc[0], m.disc[1], m.disc[2]);
        return;
    }
}

// A structure's rally point is the move its queue keeps for what it makes:
// a grey ring and disc there.
void CHud::DrawRallyPoint(CE3DSurface* canvas, const SObjectView& structure) {
    CWorld* world = m_ui.World();
    std::vector<SOrderView> orders;
    world->Query().Orders(structure.id, orders);
    for (const SOrderView& order : orders) {
        if (order.type != CUnitOrder::kMove || !order.hasPoint) continue;
        int32_t p[2];
        if (!Project(order.x, order.y, order.z, p) || !canvas->Lock()) return;
        canvas->DrawCircle(p[0], p[1], 7, 60, 60, 60);
        canvas->DrawFilledCircle(p[0], p[1], 3, 40, 40, 40);
        canvas->Unlock();
        return;
    }
}

void CHud::DrawOrderPath(CE3DSurface* canvas, const SObjectView& unit, bool hover) {
    CWorld* world = m_ui.World();
    std::vector<SOrderView> orders;
    world->Query().Orders(unit.id, orders);
    if (orders.empty() || !canvas->Lock()) return;
    const int32_t mx = m_ui.m_cursorX, my = m_ui.m_cursorY;
    // The building sites of the unit's constructions.
    for (const SOrderView& o : orders)
        if (o.type == CUnitOrder::kConstruct && o.item) {
            canvas->Unlock();
            DrawPlacementFootprint(canvas, o.item, o.x, o.z, 255, 255, 255, false);
            canvas->Lock();
        }
    int32_t from[2];
    bool haveFrom = Project(unit.x, unit.y, unit.z, from);
    const SOrderView* previous = nullptr;
    const uint8_t phase = static_cast<uint8_t>(Round((1.0f - m_phase) * 30.0f) % 30);
    bool first = true;
    for (const SOrderView& o : orders) {
        if (o.type == CUnitOrder::kProduce || !o.hasPoint) continue;
        uint8_t colour[3] = {0, 100, 0};
        switch (o.type) {
            case CUnitOrder::kPatrol:
                colour[0] = 0, colour[1] = 0, colour[2] = 130;
                break;
            case CUnitOrder::kAttack:
                colour[0] = 130, colour[1] = 0, colour[2] = 0;
                break;
            case CUnitOrder::kGuard:
                colour[0] = 130, colour[1] = 0, colour[2] = 130;
                break;
            case CUnitOrder::kConstruct:
                colour[0] = 200, colour[1] = 150, colour[2] = 0;
                break;
            default:
                break;
        }
        int32_t to[2];
        const bool haveTo = Project(o.x, o.y, o.z, to);
        if (haveFrom && haveTo) {
            // The marker at the segment's start (the previous order's).
            if (hover && previous && std::abs(mx - from[0]) < 10 && std::abs(my - from[1]) < 10) {
                m_orderHover.unit = unit.id;
                m_orderHover.order = previous->index;
                m_orderHover.orderType = previous->type;
                m_orderHover.markerSeen = true;
            }
            const bool patrolFirst = first && o.type == CUnitOrder::kPatrol;
            if (hover && !patrolFirst &&
                SegmentDistanceSq(float(mx), float(my), float(from[0]), float(from[1]), float(to[0]),
                                  float(to[1])) <= 49.0f) {
                m_orderHover.lineUnit = unit.id;
                m_orderHover.lineFrom = previous ? previous->index : -1;
                m_orderHover.lineTo = o.index;
                m_orderHover.lineSeen = true;
                if (first) m_orderHover.lineBlocked = true;
            }
            canvas->DrawPatternLine(from[0], from[1], to[0], to[1], colour[0], colour[1], colour[2], 30, 12,
                                    phase);
            if (previous)
                DrawOrderMarker(canvas, from[0], from[1], previous->type,
                                m_orderHover.markerSeen && m_orderHover.order == previous->index &&
                                    m_orderHover.unit == unit.id);
        }
        from[0] = to[0];
        from[1] = to[1];
        haveFrom = haveTo;
        previous = &o;
        first = false;
    }
    if (previous && haveFrom) {
        if (hover && std::abs(mx - from[0]) < 10 && std::abs(my - from[1]) < 10) {
            m_orderHover.unit = unit.id;
            m_orderHover.order = previous->index;
            m_orderHover.orderType = previous->type;
            m_orderHover.markerSeen = true;
        }
        DrawOrderMarker(
            canvas, from[0], from[1], previous->type,
            m_orderHover.markerSeen && m_orderHover.order == previous->index && m_orderHover.unit == unit.id);
    }
    canvas->Unlock();
}

void CHud::DrawResourceSpots(CE3DSurface* canvas) {
    if (!canvas->Lock()) return;
    const uint8_t pulse = Byte(m_ui.m_pulse * 0.5f + 127.0f);
    const int32_t mx = m_ui.m_cursorX, my = m_ui.m_cursorY;
    if (m_smallFont) canvas->SetFont(m_smallFont);
    const uint32_t flags = canvas->m_textFlags;
    canvas->m_textFlags = 0;
    for (const SObjectView& o : m_objects) {
        if (!o.Is(SObjectView::kResource) || !o.Is(SObjectView::kShown)) continue;
        int32_t p[2];
        if (!Project(o.x, 0.0f, o.z, p)) continue;
        char amount[32];
        std::snprintf(amount, sizeof amount, "%.1f", double(o.resourceAmount));
        const bool hovered = std::abs(mx - p[0]) < 8 && std::abs(my - p[1]) < 8;
        canvas->DrawCircle(p[0], p[1], 8, 0, hovered ? 255 : 120, 0);
        if (m_smallFont) {
            canvas->DrawGlyphs(amount, p[0] - 20, p[1] - 18, 0, hovered ? 100 : 40, 0, true, false, 0, false);
            canvas->DrawGlyphs(amount, p[0] - 22, p[1] - 20, 0, hovered ? 255 : 120, 0, true, false, 0,
                               false);
        }
        canvas->DrawFilledCircle(p[0], p[1], 6, pulse, 0, pulse);
    }
    canvas->m_textFlags = flags;
    canvas->Unlock();
}

// The map scripts' points in the game view: a ring, "Point %d" over it
// with its shadow, and a disc.
void CHud::DrawScriptPointLabels(CE3DSurface* canvas) {
    CWorld* world = m_ui.World();
    if (!world || !canvas->Lock()) return;
    if (m_smallFont) canvas->SetFont(m_smallFont);
    const uint32_t flags = canvas->m_textFlags;
    for (int32_t i = 0; i < 255; ++i) {  // the points 0 to 254
        float x = 0.0f, z = 0.0f;
        int32_t p[2];
        if (!world->Query().ScriptPoint(i, &x, &z) || !Project(x, 0.0f, z, p)) continue;
        canvas->DrawCircle(p[0], p[1], 11, 0, 255, 0);
        if (m_smallFont) {
            char label[32];
            std::snprintf(label, sizeof label, "Point %d", int(i));
            canvas->m_textFlags = kE3DTextCentre;
            canvas->DrawGlyphs(label, p[0], p[1] - 25, 0, 100, 0, true, false, 0, false);
            canvas->DrawGlyphs(label, p[0], p[1] - 27, 0, 255, 0, true, false, 0, false);
            canvas->m_textFlags = 0;
        }
        canvas->DrawFilledCircle(p[0], p[1], 4, 0, 120, 0);
    }
    canvas->m_textFlags = flags;
    canvas->Unlock();
}

// The selected units of the local player: a mark at the corners of their
// screen square, and the bars that fade in with their selection.
void CHud::DrawStatusBars(CE3DSurface* canvas) {
    if (!canvas->Lock()) return;
    const int32_t* s = m_statusbar;
    const int32_t width = s[1];
    for (const SObjectView& o : m_objects) {
        if (!o.Is(SObjectView::kUnit) || !o.Is(SObjectView::kShown) || !(o.barTimer > 0.001f)) continue;
        if (!o.Is(SObjectView::kLocal) && !o.Is(SObjectView::kSelected)) continue;
        int32_t cx, cy, half;
        if (!ScreenSquare(o, &cx, &cy, &half)) continue;
        const float t = o.barTimer;
        // The selection mark: the square's corners.
        if (o.Is(SObjectView::kSelected)) {
            const int32_t l = cx - half, r = cx + half, top = cy - half, bot = cy + half;
            const int32_t arm = std::max(3, half / 3);
            const uint8_t v = Byte(255.0f * std::min(1.0f, 2.0f * t));
            for (const int32_t* c : {&l, &r})
                for (const int32_t* d : {&top, &bot}) {
                    const int32_t dx = *c == l ? arm : -arm, dy = *d == top ? arm : -arm;
                    canvas->DrawLine(*c, *d, *c + dx, *d, 0, v, 0);
                    canvas->DrawLine(*c, *d, *c, *d + dy, 0, v, 0);
                }
        }
        const float scale = std::min(2.0f * t, 1.0f), bright = 2.0f * (t - 0.5f);
        const float power = o.maxPower > 0.0f ? std::clamp(o.power / o.maxPower, 0.0f, 1.0f) : 0.0f;
        const int32_t filled = Round(float(width) * power);
        if (filled == 0) continue;
        const int32_t left = cx - width / 2, top = cy + s[0] + 1;
        auto bar = [&](int32_t y, int32_t height, int32_t fill, float fraction, const int32_t* beg,
                       const int32_t* mid, const int32_t* end, int32_t interlace, bool reload) {
            const int32_t halfFrame = Round(float(width) * 0.5f * scale);
            canvas->DrawFilledRect(cx - halfFrame - 1, y - 1, cx + halfFrame + 1, y + height,
                                   Byte(float(s[6])), Byte(float(s[7])), Byte(float(s[8])));
            if (!(bright > 0.5f)) return;
            int32_t counter = 1;
            for (int32_t col = 0; col < fill; ++col) {
                const bool skip = interlace > 0 && counter == 0;
                counter = interlace > 0 ? (counter + 1) % interlace : 1;
                if (skip) continue;
                const float u = width > 1 ? float(col) / float(width - 1) : 1.0f;
                float c[3];
                if (reload) {
                    const int32_t* p0 = u < 0.5f ? beg : mid;
                    const int32_t* p1 = u < 0.5f ? mid : end;
                    const float v = u < 0.5f ? u * 2.0f : (u - 0.5f) * 2.0f;
                    for (int i = 0; i < 3; ++i) c[i] = float(p0[i]) + (float(p1[i]) - float(p0[i])) * v;
                } else {
                    const int32_t* p = fraction < 0.3f ? beg : fraction < 0.5f ? mid : end;
                    for (int i = 0; i < 3; ++i) c[i] = float(p[i]) * (0.5f + 0.5f * u);
                }
                canvas->DrawLine(left + col, y, left + col, y + height - 1, Byte(c[0] * bright),
                                 Byte(c[1] * bright), Byte(c[2] * bright));
            }
        };
        bar(top, s[2], filled, power, &s[9], &s[12], &s[15], s[4], false);
        if (o.reload >= 0.0f)
            bar(top + s[2] + 1, s[3], Round(float(width) * o.reload), o.reload, &s[18], &s[21], &s[24], s[5],
                true);
    }
    canvas->Unlock();
}

void CHud::DrawCentreMessages(CE3DSurface* canvas) {
    CWorld* world = m_ui.World();
    CE3DFont* font = m_ui.m_largeFont ? m_ui.m_largeFont : m_smallFont;
    if (!font || !canvas->Lock()) return;
    canvas->SetFont(font);
    const uint32_t flags = canvas->m_textFlags;
    canvas->m_textFlags = kE3DTextCentre;
    const int32_t cx = canvas->m_width / 2, cy = canvas->m_height / 2;
    auto message = [&](const char* text, int32_t offset) {
        canvas->DrawGlyphs(text, cx + 2, cy + offset + 2, 0, 0, 0, true, false, 0, false);
        canvas->DrawGlyphs(text, cx, cy + offset, 0, 255, 0, true, false, 0, false);
    };
    const bool won = world->Query().MissionWon(), lost = world->Query().MissionLost();
    if (won || lost) {
        const bool single = m_ui.GUIGame().GameType() == 0;
        message(m_ui.GetSystemText(single ? (won ? 266 : 267) : (won ? 292 : 293)), 0);
    }
    // A player that keeps the game waiting: how long, and the game stands.
    const float wait = std::max(m_ui.GUIGame().LargestWait(), 0.0f);
    if (wait > 1.2f) {
        char text[32];
        std::snprintf(text, sizeof text, "%0.1f s", double(wait));
        message(text, 64);
    }
    if (m_ui.GUIGame().Paused() || wait > 1.2f) message(m_ui.GetSystemText(294), 32);
    canvas->m_textFlags = flags;
    canvas->Unlock();
}

// Over the units: a switched-off unit's picture, else over the local
// player's units the one of a way being searched, or for a while the one of
// a search that found no way. The frames follow the animation time.
int32_t CHud::StatusPicture(const SObjectView& o) const {
    if (!o.Is(SObjectView::kUnit) || !o.Is(SObjectView::kShown) || !o.Is(SObjectView::kSeen)) return -1;
    if (!o.Is(SObjectView::kOn)) return kStatusTurnedOff;
    if (!o.Is(SObjectView::kLocal)) return -1;
    if (o.Is(SObjectView::kPathing)) return kStatusPathing;
    auto at = m_noPathTimers.find(o.id);
    return at != m_noPathTimers.end() && at->second > 0.0f ? kStatusNoPath : -1;
}

void CHud::DrawUnitStatusIcons(CE3DSurface* canvas) {
    SCost cost(*this, kCostStatusIcons);
    CWorld* world = m_ui.World();
    if (!world) return;
    // The objects as they are now when the overlays did not read them.
    if (!m_objectsRead) world->Query().Objects(0, m_objects);
    m_objectsRead = 0;
    const float frameTime = m_ui.GUIGame().FrameTime();
    // A search that gave up starts its picture's time once, when it is seen.
    std::unordered_map<int32_t, float> timers;
    for (const SObjectView& o : m_objects) {
        if (!o.Is(SObjectView::kUnit) || !o.Is(SObjectView::kNoPath)) continue;
        auto at = m_noPathTimers.find(o.id);
        timers[o.id] = at == m_noPathTimers.end() ? kNoPathSeconds : at->second;
    }
    m_noPathTimers.swap(timers);
    if (canvas) canvas->ResetClip();
    for (const SObjectView& o : m_objects) {
        const int32_t sequence = StatusPicture(o);
        if (sequence < 0) continue;
        if (sequence == kStatusNoPath) m_noPathTimers[o.id] -= frameTime;
        const std::vector<CBitmapSurface*>& frames = m_ui.m_unitInfoSequences[sequence];
        CBitmapSurface* frame =
            frames.empty() ? nullptr : frames[size_t(std::max(0, int32_t(m_cursorTime))) % frames.size()];
        int32_t p[2];
        if (!canvas || !frame || !Project(o.x, o.y + o.radius, o.z, p)) continue;
        frame->BltTo(p[0] - frame->m_width / 2, p[1] - frame->m_height, canvas);
    }
}
