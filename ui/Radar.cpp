#include "ui/Radar.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "core/Random.h"
#include "e3d/BitmapSurface.h"
#include "e3d/Surface.h"
#include "e3d/Viewport.h"
#include "ui/GUIObject.h"
#include "ui/GUIRoles.h"
#include "ui/Hud.h"
#include "ui/Interface.h"
#include "world/World.h"
#include "world/WorldQuery.h"

namespace {

constexpr float kPi = 3.14159265f;

int32_t Round(float v) {
    return static_cast<int32_t>(std::lround(v));
}

uint8_t Byte(float v) {
    return static_cast<uint8_t>(std::clamp(Round(v), 0, 255));
}

// A channel of a pixel of the surface's format, and back.
uint32_t Channel(uint32_t pixel, int32_t shift, int32_t loss) {
    const uint32_t bits = loss >= 8 ? 0u : 8u - uint32_t(loss);
    return bits ? (pixel >> uint32_t(shift)) & ((1u << bits) - 1u) : 0u;
}

uint32_t ReadPixel(const CE3DSurface* s, int x, int y) {
    const uint8_t* p = s->Bits() + size_t(y) * size_t(s->Pitch()) + size_t(x) * s->m_bytesPerPixel;
    uint32_t v = 0;
    for (uint32_t b = 0; b < s->m_bytesPerPixel && b < 4; ++b) v |= uint32_t(p[b]) << (8 * b);
    return v;
}

void WritePixel(CE3DSurface* s, int x, int y, uint32_t v) {
    uint8_t* p = s->Bits() + size_t(y) * size_t(s->Pitch()) + size_t(x) * s->m_bytesPerPixel;
    for (uint32_t b = 0; b < s->m_bytesPerPixel && b < 4; ++b) p[b] = uint8_t(v >> (8 * b));
}

// The same pixel at half its brightness: a square explored but not watched.
uint32_t Dimmed(const CE3DSurface* s, uint32_t v) {
    const uint32_t r = Channel(v, s->m_shiftR, s->m_lossR) >> 1;
    const uint32_t g = Channel(v, s->m_shiftG, s->m_lossG) >> 1;
    const uint32_t b = Channel(v, s->m_shiftB, s->m_lossB) >> 1;
    return r << s->m_shiftR | g << s->m_shiftG | b << s->m_shiftB;
}

// The noise's pixels: the view's own generator, never the world's.
CRandomStream s_noise(0x52414452u);

}  // namespace

CRadar::~CRadar() {
    Free();
}

void CRadar::Free() {
    if (CWorld* world = m_ui.World()) world->SetRadarPainter(nullptr);
    if (m_picture) m_picture->Release();
    m_picture = nullptr;
    delete m_explored;
    delete m_objects;
    delete m_composite;
    m_explored = m_objects = m_composite = nullptr;
}

bool CRadar::Create(const void* data, size_t size, const char* name) {
    Free();
    m_lockMode = m_zoomDone = m_zoomFlipped = m_lastOutside = 0;
    m_rings.clear();
    m_powerState = 4;
    m_noise = 0.0f;
    m_closeX = m_closeY = 0.0f;
    m_objectTimer = 0.0f;
    m_radarWarned = m_powerWarned = 0;
    m_nextPowerWarning = 0;
    m_scale = 0.5f;
    m_centreX = m_centreZ = 0.0f;
    CE3DScreen* screen = m_ui.Screen();
    auto fail = [this, name](const char* line) {
        Free();
        m_ui.m_console.PrintfColor("%s %s", 255, 255, 255, 0, line, name ? name : "");
        m_ui.m_console.Print("Error creating radar. Radar disabled.", false, 255, 255, 255, false);
        return false;
    };
    if (!data || size == 0) return fail("Error loading bitmap");
    m_picture = new CBitmapSurface(screen);
    m_picture->AddRef();
    if (!m_picture->LoadVideo(data, static_cast<uint32_t>(size)) || m_picture->m_width < 1 ||
        m_picture->m_height < 1)
        return fail("Error loading bitmap");
    const int w = m_picture->m_width, h = m_picture->m_height;
    CE3DSurface** surfaces[3] = {&m_composite, &m_explored, &m_objects};
    for (CE3DSurface** s : surfaces) {
        *s = new CE3DSurface(screen);
        if (!(*s)->Create(w, h, true))
            return fail(s == &m_explored ? "Error loading bitmap " : "Error loading bitmap");
        (*s)->ResetClip();
        (*s)->Fill(0);
    }
    m_objects->SetColorKey(0, 0, 0);
    if (CWorld* world = m_ui.World()) world->SetRadarPainter(this);
    return true;
}

void CRadar::ToggleLockMode() {
    m_lockMode = !m_lockMode;
    m_zoomDone = m_zoomFlipped = 0;
}

// ---- the cell map's painting

bool CRadar::BeginPaint() {
    if (!m_explored || !m_picture || m_painting) return false;
    if (!m_explored->Lock()) return false;
    if (!m_picture->Lock()) {
        m_explored->Unlock();
        return false;
    }
    m_painting = true;
    return true;
}

void CRadar::EndPaint() {
    if (!m_painting) return;
    m_picture->Unlock();
    m_explored->Unlock();
    m_painting = false;
}

void CRadar::PaintBlock(int x, int y, uint8_t paint) {
    if (!m_painting || !m_explored->Bits() || !m_picture->Bits()) return;
    const bool same = m_picture->m_bytesPerPixel == m_explored->m_bytesPerPixel;
    for (int dy = 0; dy < 2; ++dy)
        for (int dx = 0; dx < 2; ++dx) {
            const int px = x + dx, py = y + dy;
            if (px < 0 || py < 0 || px >= m_explored->m_width || py >= m_explored->m_height ||
                px >= m_picture->m_width || py >= m_picture->m_height)
                continue;
            uint32_t v = same ? ReadPixel(m_picture, px, py) : m_explored->Pack(128, 128, 128);
            if (paint == kPaintExplored && same) v = Dimmed(m_explored, v);
            WritePixel(m_explored, px, py, v);
        }
}

// ---- mapping

// A world offset (dx, dz) from the centre turns by the angle into screen
// pixels: sx = 2s (dz cos a - dx sin a), sy = 2s (dx cos a + dz sin a). At
// the angle -pi/2 the map shows north up (x to the right, z up); at the
// camera's heading the camera looks up the radar.
void CRadar::WorldToRadar(float x, float z, int32_t* sx, int32_t* sy) const {
    const float dx = x - m_centreX, dz = z - m_centreZ;
    const float c = std::cos(m_angle), s = std::sin(m_angle);
    const float k = 2.0f * m_scale;
    *sx = Round(std::floor(k * (dz * c - dx * s) + float(m_width) * 0.5f + float(m_x) + m_panX));
    *sy = Round(std::floor(float(m_height) * 0.5f + float(m_y) + m_panY + k * (dx * c + dz * s)));
}

void CRadar::RadarToWorld(int32_t sx, int32_t sy, float* x, float* z) const {
    const float ox = float(sx - m_x) - m_panX - float(m_width / 2);
    const float oy = float(sy - m_y) - m_panY - float(m_height / 2);
    const float k = m_scale > 0.0f ? 1.0f / (2.0f * m_scale) : 0.0f;
    const float c = std::cos(m_angle), s = std::sin(m_angle);
    // The turn is its own inverse (a reflection).
    *x = m_centreX + k * (-s * ox + c * oy);
    *z = m_centreZ + k * (c * ox + s * oy);
}

bool CRadar::IsOverMap(int32_t sx, int32_t sy) const {
    SPlayerView local;
    CWorld* world = m_ui.World();
    if (!world || Disabled() || !world->Query().LocalPlayer(&local)) return false;
    if (local.energyRatio < 0.5f && !local.watching && !world->Query().WatchingOnly()) return false;
    int32_t left, top, right, bottom;
    world->Query().MapRect(&left, &top, &right, &bottom);
    int32_t ax, ay, bx, by;
    WorldToRadar(float(left), float(top), &ax, &ay);
    WorldToRadar(float(right), float(bottom), &bx, &by);
    return std::min(ax, bx) < sx && sx < std::max(ax, bx) && std::min(ay, by) < sy && sy < std::max(ay, by);
}

// ---- markers

void CRadar::AddMarker(float x, float z, int kind) {
    int32_t base[3] = {255, 255, 255};
    if (kind == 0) {
        base[0] = 255, base[1] = 0, base[2] = 0;
    } else if (kind == 1) {
        base[0] = 50, base[1] = 50, base[2] = 255;
    } else if (kind == 2) {
        base[0] = 255, base[1] = 150, base[2] = 0;
    }
    float radius = 0.0f;
    if (CWorld* world = m_ui.World()) {
        int32_t left, top, right, bottom;
        world->Query().MapRect(&left, &top, &right, &bottom);
        radius = float((right - left) + (top - bottom)) * 0.5f;
    }
    for (int i = 0; i < 6; ++i) {
        SRadarRing ring;
        ring.x = x;
        ring.z = z;
        ring.radius = radius + 7.0f * float(i);
        ring.time = -0.1f * float(i);
        ring.r = std::max(0, base[0] - 40 * i);
        ring.g = std::max(0, base[1] - 40 * i);
        ring.b = std::max(0, base[2] - 40 * i);
        m_rings.insert(m_rings.begin(), ring);
    }
}

// ---- power

bool CRadar::StepPower(float t, int32_t width, int32_t height) {
    CWorld* world = m_ui.World();
    SPlayerView local;
    const bool haveLocal = world && world->Query().LocalPlayer(&local);
    const bool watching = world && (world->Query().WatchingOnly() || (haveLocal && local.watching));
    const float ratio = haveLocal ? local.energyRatio : 1.0f;
    const bool powered = ratio >= 0.5f || watching;
    if (world && haveLocal && !watching) {
        const uint64_t now = world->Clock().GameTime();
        if (ratio < 0.5f && now > m_nextPowerWarning) {
            m_ui.m_hud.PostEventMessage(2, local.id, 0.0f, 0.0f, nullptr, nullptr);
            const int32_t remind = world->Sound().NoticeDelay();
            m_nextPowerWarning = now + uint64_t(std::llround(double(remind > 0 ? remind : 0) * 1193182.0));
            m_powerWarned = 1;
        } else if (ratio >= 0.5f && m_powerWarned) {
            m_ui.m_hud.PostEventMessage(1, local.id, 0.0f, 0.0f, nullptr, nullptr);
            m_powerWarned = 0;
        }
        if (!powered && !m_radarWarned) {
            m_ui.m_hud.PostEventMessage(7, local.id, 0.0f, 0.0f, nullptr, nullptr);
            m_radarWarned = 1;
        } else if (powered && m_radarWarned) {
            m_ui.m_hud.PostEventMessage(6, local.id, 0.0f, 0.0f, nullptr, nullptr);
            m_radarWarned = 0;
        }
    }
    const float halfW = float(width) * 0.5f, halfH = float(height) * 0.5f;
    if (powered && m_powerState == 4) {
        m_noise = 1024.0f;
        m_closeX = halfW;
        m_closeY = halfH;
        m_powerState = 3;
    }
    // One stage of the closing (its value rising to the top, then the next
    // stage) or of the opening (falling under 1, then the one before).
    auto stage = [&](float& value, float rate, float top, int32_t closed, int32_t opened) {
        if (!powered) {
            value += rate * t;
            if (value >= top) {
                value = top;
                m_powerState = closed;
            }
        } else {
            value -= rate * t;
            if (value < 1.0f) {
                value = 0.0f;
                m_powerState = opened;
            }
        }
    };
    switch (m_powerState) {
        case 0:
            if (!powered) {
                m_noise = m_closeX = m_closeY = 0.0f;
                m_powerState = 1;
            }
            break;
        case 1:
            stage(m_noise, 768.0f, 1024.0f, 2, 0);
            break;
        case 2:
            stage(m_closeY, 70.0f, halfH, 3, 1);
            break;
        case 3:
            stage(m_closeX, 70.0f, halfW, 4, 2);
            break;
        default:
            break;
    }
    return powered;
}

// ---- drawing

void CRadar::DrawObjectSurface() {
    CWorld* world = m_ui.World();
    if (!world || !m_objects) return;
    m_objects->ResetClip();
    m_objects->Fill(0);
    if (m_closeY >= 0.1f || !m_objects->Lock()) return;
    int32_t left, top, right, bottom;
    world->Query().MapRect(&left, &top, &right, &bottom);
    for (const SObjectView& o : m_ui.m_hud.m_objects) {
        if (o.Is(SObjectView::kUnit) || !o.Is(SObjectView::kGridMember) || !o.Is(SObjectView::kShown))
            continue;
        if (!o.Is(SObjectView::kSeen)) continue;
        const float size = o.radius * 2.0f * 0.75f;
        const int32_t radius = size <= 2.0f ? 2 : Round(size);
        const uint8_t v = o.Is(SObjectView::kResource) ? 205 : 135;
        m_objects->DrawFilledCircle(Round(2.0f * (o.x - float(left))) - 1,
                                    Round(-2.0f * (o.z + float(bottom))) - 1, radius, v, v, v);
    }
    m_objects->Unlock();
}

bool CRadar::Draw(CE3DSurface* canvas, int32_t x, int32_t y, int32_t width, int32_t height) {
    if (!m_explored || !canvas) return false;
    CWorld* world = m_ui.World();
    if (!world) return false;
    const bool gui = m_ui.m_drawGUI != 0;
    const bool fullScreen = m_ui.m_fields.m_fullScreenRadar != 0;
    // 2. The explored picture with the static objects over it.
    if (gui && m_composite) {
        m_explored->ResetClip();
        m_explored->BltToClipped(0, 0, m_composite);
        m_objects->ResetClip();
        m_objects->BltTo(0, 0, m_composite);
    }
    if (width <= 0 || height <= 0) {
        m_x = x, m_y = y, m_width = width, m_height = height;
        return false;
    }
    canvas->m_destRect = SSurfaceRect{x, y, x + width, y + height};
    int32_t left, top, right, bottom;
    world->Query().MapRect(&left, &top, &right, &bottom);
    const float W = float(std::max(1, right - left)), H = float(std::max(1, top - bottom));
    // 4. Without the GUI the whole map fits.
    if (!gui) m_scale = std::min(0.5f * float(width) / W, 0.5f * float(height) / H);
    m_x = x, m_y = y, m_width = width, m_height = height;
    // 7. The angle: with the GUI the camera looks up the radar.
    const float heading = m_ui.m_camera.m_heading * (kPi / 180.0f);
    m_angle = gui && !fullScreen ? heading : -kPi * 0.5f;
    // 5, 6. Centre and zoom: the camera's focus, or the map's middle with the
    // zoom searched until every corner is just inside.
    if (m_lockMode) {
        m_centreX = m_ui.m_camera.GroundX();
        m_centreZ = m_ui.m_camera.GroundZ();
    } else {
        m_centreX = m_centreZ = 0.0f;
        if (gui && !fullScreen && !m_zoomDone) {
            bool outside = false;
            const float corners[4][2] = {{float(left), float(top)},
                                         {float(left), float(bottom)},
                                         {float(right), float(bottom)},
                                         {float(right), float(top)}};
            for (const auto& c : corners) {
                int32_t sx, sy;
                WorldToRadar(c[0], c[1], &sx, &sy);
                if (sx < x || sy < y || sx >= x + width || sy >= y + height) outside = true;
            }
            m_scale *= outside ? 0.943396f : 1.06f;
            if (outside != (m_lastOutside != 0)) {
                if (m_zoomFlipped)
                    m_zoomDone = 1;
                else
                    m_zoomFlipped = 1;
            }
            m_lastOutside = outside ? 1 : 0;
        } else if (fullScreen) {
            m_scale = std::min(0.5f * float(width) / W, 0.5f * float(height) / H);
        }
    }
    // 8. The picture, turned and magnified about the centre's pixel.
    if (m_closeY < 0.1f && m_composite) {
        if (!gui) {
            m_explored->ResetClip();
            m_explored->BltToClipped(0, 0, m_composite);
            m_objects->ResetClip();
            m_objects->BltTo(0, 0, m_composite);
        }
        const float cx = 2.0f * (m_centreX - float(left)), cy = -2.0f * (m_centreZ + float(bottom));
        // Both locked: the turn reads the composite's pixels.
        if (canvas->Lock()) {
            if (m_composite->Lock()) {
                canvas->DrawRotated(m_composite, 1.0f / m_scale, m_angle + kPi, cx, cy);
                m_composite->Unlock();
            }
            canvas->Unlock();
        }
    }
    // 9. The rectangle is the clip.
    canvas->m_clipRect = SSurfaceRect{x, y, x + width, y + height};
    canvas->ClampClip();
    // 10. Power.
    const float t = m_ui.GUIGame().FrameTime();
    StepPower(t, width, height);
    // 11. The static objects once a second.
    m_objectTimer -= t;
    if (m_objectTimer <= 0.0f) {
        m_objectTimer = 1.0f;
        DrawObjectSurface();
    }
    if (m_closeY < 0.1f) DrawContent(canvas);
    DrawTexts(canvas);
    if (canvas->Lock()) {
        // 20. Noise.
        for (int32_t i = 0; float(i) < m_noise; ++i) {
            const int32_t px = int32_t(s_noise.Next() % uint32_t(width));
            const int32_t py = int32_t(s_noise.Next() % uint32_t(height));
            if (float(py) >= m_closeY && float(py) <= float(height) - m_closeY)
                canvas->PutPixel(x + px, y + py, 255, 255, 255);
        }
        // 21. The shutter.
        if (m_closeY != 0.0f) {
            const int32_t l = x + Round(m_closeX), r = x + width - Round(m_closeX);
            canvas->DrawLine(l, y + Round(m_closeY), r, y + Round(m_closeY), 150, 150, 150);
            canvas->DrawLine(l, y + height - Round(m_closeY), r, y + height - Round(m_closeY), 150, 150, 150);
        }
        canvas->Unlock();
    }
    canvas->ResetClip();
    return true;
}

void CRadar::DrawContent(CE3DSurface* canvas) {
    CWorld* world = m_ui.World();
    if (!world || !canvas->Lock()) return;
    CHud& hud = m_ui.m_hud;
    const bool fullScreen = m_ui.m_fields.m_fullScreenRadar != 0;
    const bool gui = m_ui.m_drawGUI != 0;
    // 12. The objects the local player sees, in their owners' colours.
    const int32_t d = std::max(1, Round(2.0f * m_scale - 0.5f));
    for (const SObjectView& o : hud.m_objects) {
        if (!o.Is(SObjectView::kShown)) continue;
        const bool known = o.Is(SObjectView::kAllied) || o.Is(SObjectView::kSeen);
        if (!known || !o.Is(SObjectView::kUnit)) continue;
        int32_t px, py;
        WorldToRadar(o.x, o.z, &px, &py);
        const uint8_t r = Byte(o.colour[0]), g = Byte(o.colour[1]), b = Byte(o.colour[2]);
        const int32_t grow = fullScreen ? 1 : 0;
        canvas->DrawFilledRect(px - d, py - d, px + d + grow, py + d + grow, r, g, b);
        if (o.id == hud.m_hoverObject)
            canvas->DrawRect(px - d, py - d, px + d + 1, py + d + 1, 255, 255, 255);
        if (fullScreen && o.Is(SObjectView::kSelected))
            canvas->DrawRect(px - d - 1, py - d - 1, px + d + 2, py + d + 2, 255, 255, 255);
    }
    // 13. The range circles of the selected radar units (green, red for a
    // jammer of radar), then of the selected warp units (blue): each reaches
    // its range times its owner's power ratio, drawn above half power.
    auto rangeCircle = [&](const SObjectView& o, float range, uint8_t r, uint8_t g, uint8_t b) {
        SPlayerView owner;
        const float power = world->Query().Player(o.playerId, &owner) ? owner.energyRatio : 1.0f;
        if (!(power > 0.5f)) return;
        int32_t px, py, qx, qy;
        WorldToRadar(o.x, o.z, &px, &py);
        WorldToRadar(o.x, o.z + range * power, &qx, &qy);
        const int32_t radius = Round(std::hypot(float(qx - px), float(qy - py)) + 0.5f);
        canvas->DrawCircle(px, py, radius, r, g, b);
    };
    auto shown = [](const SObjectView& o) {
        return o.Is(SObjectView::kSelected) && o.Is(SObjectView::kComplete) && o.Is(SObjectView::kLocal);
    };
    for (const SObjectView& o : hud.m_objects)
        if (shown(o) && o.Is(SObjectView::kRadar)) {
            if (o.Is(SObjectView::kAntiRadar))
                rangeCircle(o, o.radarRange, 200, 0, 0);
            else
                rangeCircle(o, o.radarRange, 0, 200, 0);
        }
    for (const SObjectView& o : hud.m_objects)
        if (shown(o) && o.warpRange > 0.0f) rangeCircle(o, o.warpRange, 0, 0, 200);
    // 14. The camera's view on the ground.
    if (CE3DViewport* view = m_ui.Viewport()) {
        const float corners[4][2] = {{0.0f, 0.0f},
                                     {float(view->m_width), 0.0f},
                                     {float(view->m_width), float(view->m_height)},
                                     {0.0f, float(view->m_height)}};
        int32_t p[4][2];
        for (int i = 0; i < 4; ++i) {
            D3DVECTOR g;
            view->ScreenToRay(&g, corners[i][0], corners[i][1]);
            WorldToRadar(g.x, g.z, &p[i][0], &p[i][1]);
        }
        for (int i = 0; i < 4; ++i)
            canvas->DrawLine(p[i][0], p[i][1], p[(i + 1) % 4][0], p[(i + 1) % 4][1], 50, 170, 50);
    }
    // 15. The map's border.
    {
        int32_t left, top, right, bottom;
        world->Query().MapRect(&left, &top, &right, &bottom);
        const float c[4][2] = {{float(left), float(top)},
                               {float(right), float(top)},
                               {float(right), float(bottom)},
                               {float(left), float(bottom)}};
        int32_t p[4][2];
        for (int i = 0; i < 4; ++i) WorldToRadar(c[i][0], c[i][1], &p[i][0], &p[i][1]);
        for (int i = 0; i < 4; ++i) {
            const int j = (i + 1) % 4;
            if (gui)
                canvas->DrawLine(p[i][0], p[i][1], p[j][0], p[j][1], 60, 100, 60);
            else
                canvas->DrawPatternLine(p[i][0], p[i][1], p[j][0], p[j][1], 60, 100, 60, 15, 8, 0);
        }
    }
    // 16. The crystal fields the radars cover, pulsing.
    const uint8_t v = Byte(m_ui.m_pulse * 0.5f + 127.0f);
    for (const SObjectView& o : hud.m_objects) {
        if (!o.Is(SObjectView::kResource) || !o.Is(SObjectView::kShown)) continue;
        if (!o.Is(SObjectView::kSeen) && !world->Query().RadarCovers(o.x, o.z)) continue;
        int32_t px, py;
        WorldToRadar(o.x, o.z, &px, &py);
        canvas->PutPixel(px, py, v, 0, v);
        canvas->PutPixel(px - 1, py, v, 0, v);
        canvas->PutPixel(px + 1, py, v, 0, v);
        canvas->PutPixel(px, py - 1, v, 0, v);
        canvas->PutPixel(px, py + 1, v, 0, v);
    }
    // 17. The map scripts' points, the same plus in green.
    for (int32_t i = 0; i < 255; ++i) {  // the points 0 to 254
        float x = 0.0f, z = 0.0f;
        if (!world->Query().ScriptPoint(i, &x, &z)) continue;
        int32_t px, py;
        WorldToRadar(x, z, &px, &py);
        canvas->PutPixel(px, py, 0, v, 0);
        canvas->PutPixel(px - 1, py, 0, v, 0);
        canvas->PutPixel(px + 1, py, 0, v, 0);
        canvas->PutPixel(px, py - 1, 0, v, 0);
        canvas->PutPixel(px, py + 1, 0, v, 0);
    }
    // 18. The event rings shrink and go.
    const float t = m_ui.GUIGame().FrameTime();
    for (size_t i = 0; i < m_rings.size();) {
        SRadarRing& ring = m_rings[i];
        if (ring.time >= 0.0f) {
            int32_t px, py;
            WorldToRadar(ring.x, ring.z, &px, &py);
            canvas->DrawCircle(px, py, Round(m_scale * ring.radius), Byte(float(ring.r)), Byte(float(ring.g)),
                               Byte(float(ring.b)));
            ring.radius -= (ring.radius > 10.0f ? 70.0f : 2.0f) * t;
        }
        ring.time += 2.0f * t;
        if (ring.radius < 1.0f)
            m_rings.erase(m_rings.begin() + std::ptrdiff_t(i));
        else
            ++i;
    }
    canvas->Unlock();
}

void CRadar::DrawTexts(CE3DSurface* canvas) {
    CHud& hud = m_ui.m_hud;
    if (!hud.m_asianFont || !canvas->Lock()) return;
    canvas->SetFont(hud.m_asianFont);
    const uint32_t flags = canvas->m_textFlags;
    canvas->m_textFlags = 0;
    const int32_t bottom = canvas->m_clipRect.bottom;
    auto line = [&](const std::string& text, int32_t n, const uint8_t shadow[3], const uint8_t colour[3]) {
        canvas->DrawGlyphs(text.c_str(), 12, bottom - n, shadow[0], shadow[1], shadow[2], true, false, 0,
                           false);
        canvas->DrawGlyphs(text.c_str(), 10, bottom - n - 2, colour[0], colour[1], colour[2], true, false, 0,
                           false);
    };
    static const uint8_t kGreenShadow[3] = {0, 100, 0}, kGreen[3] = {0, 255, 0};
    line(m_ui.GetSystemText(248), 88, kGreenShadow, kGreen);
    SPlayerView local;
    CWorld* world = m_ui.World();
    if (m_closeY < 0.1f && world && world->Query().LocalPlayer(&local)) {
        static const uint8_t kBlueShadow[3] = {0, 0, 100}, kBlue[3] = {100, 100, 255};
        static const uint8_t kLightGreen[3] = {100, 255, 100};
        static const uint8_t kRedShadow[3] = {100, 0, 0}, kRed[3] = {255, 100, 100};
        auto count = [&](int index, int32_t n) {
            return m_ui.FormatSystemText(index, {std::to_string(n).c_str()});
        };
        line(m_ui.GetSystemText(249), 58, kGreenShadow, kGreen);
        line(count(250, local.units), 38, kBlueShadow, kBlue);
        line(count(251, local.defensive), 26, kGreenShadow, kLightGreen);
        line(count(252, local.offensive), 14, kRedShadow, kRed);
    }
    canvas->m_textFlags = flags;
    canvas->Unlock();
}
