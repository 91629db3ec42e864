// The game camera of the view: zoom and field of view, shake, placement and
// the table of the ground seen at each height.
#include <cmath>
#include <cstdlib>

#include "app/Game.h"
#include "app/GameClock.h"
#include "app/GameScreen.h"
#include "app/GameView.h"
#include "console/CommandTable.h"
#include "core/Math.h"
#include "e3d/Viewport.h"
#include "platform/d3d/D3DDeviceState.h"
#include "ui/Interface.h"

namespace {
constexpr float kMinFieldOfView = 0.001f;
constexpr float kMaxAdditiveFieldOfView = 3.1315928f;  // pi - 0.01
}  // namespace

void CGameView::RefreshProjection() {
    if (!m_viewport || !m_viewport->m_view) return;
    float dx = m_target[0] - m_eye[0], dy = m_target[1] - m_eye[1], dz = m_target[2] - m_eye[2];
    float farPlane = std::sqrt(dx * dx + dy * dy + dz * dz) + m_farMargin;
    float aspect =
        m_viewport->m_height > 0 ? static_cast<float>(m_viewport->m_width) / m_viewport->m_height : 1.0f;
    // A degenerate lens (the view refuses it) keeps the last good one.
    m_viewport->m_view->SetProjection(m_nearPlane, farPlane, m_fieldOfView, aspect, true);
}

bool CGameView::Zoom(float amount) {
    if (m_additiveZoom) {
        m_fieldOfView += amount;
        m_fieldOfView = std::fmin(std::fmax(m_fieldOfView, kMinFieldOfView), kMaxAdditiveFieldOfView);
    } else {
        if (amount < 0.0f)
            m_fieldOfView /= 1.0f - amount;
        else if (amount > 0.0f)
            m_fieldOfView *= 1.0f + amount;
        // Past pi the projection turns inside out: the same upper bound as
        // the additive zoom.
        m_fieldOfView = std::fmin(std::fmax(m_fieldOfView, kMinFieldOfView), kMaxAdditiveFieldOfView);
    }
    RefreshProjection();
    return true;
}

bool CGameView::SetFieldOfView(float radians) {
    m_fieldOfView = std::fmin(std::fmax(radians, kMinFieldOfView), 3.1415927f);
    RefreshProjection();
    return true;
}

void CGameView::PlaceCamera(const float* eye, const float* target, float fieldOfView) {
    for (int i = 0; i < 3; ++i) {
        m_eye[i] = eye[i];
        m_target[i] = target[i];
    }
    if (fieldOfView != m_fieldOfView) SetFieldOfView(fieldOfView);
}

bool CGameView::UpdateCamera() {
    float eye[3] = {m_eye[0], m_eye[1], m_eye[2]};
    float target[3] = {m_target[0], m_target[1], m_target[2]};
    if (m_shake > 0.0f) {
        m_shake = std::fmin(m_shake, m_shakeLimit);
        const float scale = m_shake * 3.0518509e-5f;
        float offset[3];
        for (float& o : offset) o = static_cast<float>(std::rand() & 0x7fff) * scale;
        float frameTime = m_game && m_game->Clock() ? m_game->Clock()->m_frameTime : 0.0f;
        m_shake -= frameTime * m_shakeDecay;
        if (m_shake < 0.0f) {
            m_shake = 0.0f;
        } else {
            for (int i = 0; i < 3; ++i) {
                eye[i] += offset[i];
                target[i] += offset[i];
            }
        }
    }
    if (m_viewport && m_viewport->m_view) {
        CE3DView& view = *m_viewport->m_view;
        view.LookAt(D3DVECTOR{eye[0], eye[1], eye[2]}, D3DVECTOR{target[0], target[1], target[2]}, m_roll);
        UpdateVisibleGround();
        m_viewport->m_combined = D3D_Multiply(view.view, view.projection);
    }
    return true;
}

void CGameView::ScreenRay(float sx, float sy, float direction[3]) const {
    if (m_viewport && m_viewport->m_view) {
        m_viewport->ViewRay(sx, sy, direction);
        return;
    }
    direction[0] = m_target[0] - m_eye[0];
    direction[1] = m_target[1] - m_eye[1];
    direction[2] = m_target[2] - m_eye[2];
}

void CGameView::UpdateCursorRay(float x, float y) {
    for (int i = 0; i < 3; ++i) m_cursorRayOrigin[i] = m_eye[i];
    ScreenRay(x, y, m_cursorRayDirection);
}

bool CGameView::UpdateVisibleGround() {
    if (!m_viewport || !m_viewport->m_view) return true;
    const int width = m_viewRect[2], height = m_viewRect[3];
    const int margin = Math_RoundToInt(0.15f * static_cast<float>((width + height) / 2));
    const float corners[4][2] = {{float(-margin), float(-margin)},
                                 {float(width + margin), float(-margin)},
                                 {float(-margin), float(height + margin)},
                                 {float(width + margin), float(height + margin)}};
    const float eyeHeight = m_viewport->m_view->eye.y;
    for (int i = 0; i < 256; ++i) {
        float h = static_cast<float>(i - 128);
        if (h + 1.5f > eyeHeight) h = eyeHeight - 1.5f;
        SVisibleGround g = {1e30f, -1e30f, 1e30f, -1e30f};
        for (const auto& c : corners) {
            D3DVECTOR p;
            m_viewport->ScreenToRayAtDepth(&p, c[0], c[1], h);
            g.minX = std::fmin(g.minX, p.x);
            g.maxX = std::fmax(g.maxX, p.x);
            g.minZ = std::fmin(g.minZ, p.z);
            g.maxZ = std::fmax(g.maxZ, p.z);
        }
        m_ground[i] = g;
    }
    return true;
}

bool CGameView::ContainsPoint(float x, float z) const {
    const SVisibleGround& g = m_ground[128];
    return g.minX <= x && x <= g.maxX && g.minZ <= z && z <= g.maxZ;
}

void CGameView::ScrollCamera(float vx, float vz, float arrowX, float arrowZ, float frameTime) {
    m_arrowX = arrowX;
    m_arrowZ = arrowZ;
    // Along the ground, in the directions the camera faces.
    float fx = m_target[0] - m_eye[0], fz = m_target[2] - m_eye[2];
    float len = std::sqrt(fx * fx + fz * fz);
    if (len <= 0.0f) {
        fx = 0.0f, fz = 1.0f;
    } else {
        fx /= len, fz /= len;
    }
    float dx = (vx * fz + vz * fx) * frameTime;
    float dz = (-vx * fx + vz * fz) * frameTime;
    m_eye[0] += dx;
    m_eye[2] += dz;
    m_target[0] += dx;
    m_target[2] += dz;
    // The camera is placed around the interface camera's focus each frame:
    // the focus moves with it (its z is kept negated).
    if (CInterface* ui = m_game ? m_game->Interface() : nullptr) {
        ui->m_camera.m_focusX += dx;
        ui->m_camera.m_focusZ -= dz;
    }
}

void CGameView::AddShake(float amount, float distance) {
    if (!(amount > 0.0f) || !(distance < m_shakeRange)) return;
    if (m_shake < 0.0f) m_shake = 0.0f;
    m_shake += amount * (1.0f - distance / m_shakeRange);
    if (m_shake > m_shakeLimit) m_shake = m_shakeLimit;
}

void CGameView::RegisterViewSettings(CCommandInterpreter* ip, std::initializer_list<const char*> names) {
    auto colour = [](const char* name, int32_t* storage, const char* what, const char* syntax) {
        return SCommandRow::Int(name, storage, 0, 255, what, syntax);
    };
    const SCommandRow rows[] = {
        SCommandRow::Float("CameraShake", &m_shake, 0.0f, 10.0f, "Sets the shaking mount of the camera",
                           "CameraShake(float Amount);"),
        SCommandRow::Float("CameraDamping", &m_shakeDecay, 0.0f, 100.0f,
                           "Sets the damping of the camera shake", "CameraDamping(float Amount);"),
        SCommandRow::Float("CameraShakeRoof", &m_shakeLimit, 0.0f, 100.0f,
                           "Sets the max value of the shakeing", "CameraShakeRoof(float Amount);"),
        SCommandRow::Float("CameraShakeRange", &m_shakeRange, 0.0f, 100.0f,
                           "Sets the max range of shake effect", "CameraShakeRange(float Range);"),
        SCommandRow::Float("view_FarClipping", &m_farMargin, 0.0f, 65536.0f, "Sets the far clipping distance",
                           "view_FarClipping(float FarClipping);")
            .Config("Visual.cfg"),
        SCommandRow::Float("view_NearClipping", &m_nearPlane, 0.0f, 65536.0f,
                           "Sets the near clipping distance", "view_NearClipping(float NearClipping)")
            .Config("Visual.cfg"),
        colour("scene_ambinet_red", &m_sceneAmbient[0], "Sets the red component of the ambient light",
               "scene_ambinet_red(int Color);"),
        colour("scene_ambinet_green", &m_sceneAmbient[1], "Sets the green component of the ambient light",
               "scene_ambinet_green(int Color);"),
        colour("scene_ambinet_blue", &m_sceneAmbient[2], "Sets the blue component of the ambient light",
               "scene_ambinet_blue(int Color);"),
        colour("scene_bgcolor_red", &m_sceneBackground[0], "Sets the red component of the background color",
               "scene_bgcolor_red(int Color);"),
        colour("scene_bgcolor_green", &m_sceneBackground[1],
               "Sets the green component of the background color", "scene_bgcolor_green(int Color);"),
        colour("scene_bgcolor_blue", &m_sceneBackground[2], "Sets the blue component of the background color",
               "scene_bgcolor_blue(int Color);"),
        SCommandRow::Bool("cg_EnableTextures", &m_render.textures, "Enables textures",
                          "cg_EnableTextures(bool Enable);")
            .Config("Visual.cfg"),
        SCommandRow::Bool("cg_EnableAlphaBlending", &m_render.alphaBlending, "Enables alpha blending",
                          "cg_EnableAlphaBlending(bool Enable);")
            .Config("Visual.cfg"),
        SCommandRow::Bool("cg_EnableAntialiasing", &m_render.antialiasing, "Enables antialiasing",
                          "cg_EnableAntialiasing(bool Enable);")
            .Config("Visual.cfg"),
        SCommandRow::Bool("cg_EnableDithering", &m_render.dithering, "Enables dithering",
                          "cg_EnableDithering(bool Enable);")
            .Config("Visual.cfg"),
        SCommandRow::Int("cg_MaxNumLights", &m_render.maxLights, 1, 32, "Sets the maximum number of lights",
                         "cg_MaxNumLights(int Num);")
            .Config("Visual.cfg"),
        SCommandRow::Int("cg_TextureMagnification", &m_render.magnification, 1, 5,
                         "Texture magnification mode. 1 = Point, 2 = Linear, 3 = Flat cubic, 4 = Gaussian "
                         "cubic, 5 = Ansiotropic",
                         "cg_TextureMagnification(int Setting);")
            .Config("Visual.cfg"),
        SCommandRow::Int("cg_TextureMinification", &m_render.minification, 1, 3,
                         "Texture minification mode. 1 = Point, 2 = Linear, 3 = Ansiotropic",
                         "cg_TextureMinification(int Setting);")
            .Config("Visual.cfg"),
        SCommandRow::Int("cg_TextureMipmapMode", &m_render.mipmap, 1, 3,
                         "Texture mipmap mode. 1 = None, 2 = Point, 3 = Linear",
                         "cg_TextureMipmapMode(int Setting);")
            .Config("Visual.cfg"),
        SCommandRow::Int("cg_MaxFillMode", &m_render.fillMode, 1, 3,
                         "Max raster fill mode. 1 = Point, 2 = Wire, 3 = Solid",
                         "cg_MaxFillMode(int Setting);")
            .Config("Visual.cfg"),
        SCommandRow::Int("cg_MaxShadeMode", &m_render.shadeMode, 1, 3,
                         "Max raster shade mode. 1 = Flat, 2 = Gouraud, 3 = Phong",
                         "cg_MaxShadeMode(int Setting);")
            .Config("Visual.cfg"),
    };
    CommandTable_RegisterNamed(ip, rows, names);
}
