// The game camera of the view: zoom and field of view, shake, placement and
// the table of the ground seen at each height.
#include <cmath>
#include <cstdlib>

#include "app/Game.h"
#include "app/GameClock.h"
#include "app/GameScreen.h"
#include "app/GameView.h"
#include "core/Math.h"
#include "e3d/Viewport.h"

namespace {
constexpr float kMinFieldOfView = 0.001f;
constexpr float kMaxAdditiveFieldOfView = 3.1315928f;  // pi - 0.01

struct SVec {
    float x, y, z;
};
SVec Sub(SVec a, SVec b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
SVec Cross(SVec a, SVec b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
float Dot(SVec a, SVec b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
SVec Normalize(SVec a) {
    float len = std::sqrt(Dot(a, a));
    return len > 0.0f ? SVec{a.x / len, a.y / len, a.z / len} : SVec{0.0f, 0.0f, 1.0f};
}

// The camera's axes in the left-handed convention of the device: z looks
// from the eye to the target, y is up turned by the roll.
void CameraAxes(const float eye[3], const float target[3], float roll, SVec& xAxis, SVec& yAxis,
                SVec& zAxis) {
    zAxis = Normalize(Sub({target[0], target[1], target[2]}, {eye[0], eye[1], eye[2]}));
    SVec up = {std::sin(roll), std::cos(roll), 0.0f};
    if (std::fabs(Dot(up, zAxis)) > 0.999f) up = {0.0f, 0.0f, 1.0f};
    xAxis = Normalize(Cross(up, zAxis));
    yAxis = Cross(zAxis, xAxis);
}
}  // namespace

void CGameView::RefreshProjection() {
    if (!m_viewport || !m_viewport->m_view) return;
    CE3DView& view = *m_viewport->m_view;
    float dx = m_target[0] - m_eye[0], dy = m_target[1] - m_eye[1], dz = m_target[2] - m_eye[2];
    float nearPlane = m_nearPlane;
    float farPlane = std::sqrt(dx * dx + dy * dy + dz * dz) + m_farMargin;
    float aspect =
        m_viewport->m_height > 0 ? static_cast<float>(m_viewport->m_width) / m_viewport->m_height : 1.0f;
    view.fieldOfView = m_fieldOfView;
    view.aspect = aspect;
    float yScale = 1.0f / std::tan(m_fieldOfView * 0.5f);
    float xScale = yScale / aspect;
    float q = farPlane / (farPlane - nearPlane);
    D3DMATRIX& p = view.projection;
    for (auto& row : p.m)
        for (float& v : row) v = 0.0f;
    p.m[0][0] = xScale;
    p.m[1][1] = yScale;
    p.m[2][2] = q;
    p.m[2][3] = 1.0f;
    p.m[3][2] = -q * nearPlane;
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
        view.eye = {eye[0], eye[1], eye[2]};
        view.target = {target[0], target[1], target[2]};
        view.roll = m_roll;
        SVec x, y, z;
        CameraAxes(eye, target, m_roll, x, y, z);
        SVec e = {eye[0], eye[1], eye[2]};
        D3DMATRIX& v = view.view;
        const SVec axes[3] = {x, y, z};
        for (int c = 0; c < 3; ++c) {
            v.m[0][c] = axes[c].x;
            v.m[1][c] = axes[c].y;
            v.m[2][c] = axes[c].z;
            v.m[3][c] = -Dot(axes[c], e);
        }
        v.m[0][3] = v.m[1][3] = v.m[2][3] = 0.0f;
        v.m[3][3] = 1.0f;
    }
    UpdateVisibleGround();
    if (m_viewport && m_viewport->m_view) {
        const D3DMATRIX& a = m_viewport->m_view->view;
        const D3DMATRIX& b = m_viewport->m_view->projection;
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c) {
                float sum = 0.0f;
                for (int k = 0; k < 4; ++k) sum += a.m[r][k] * b.m[k][c];
                m_viewport->m_combined.m[r][c] = sum;
            }
    }
    return true;
}

void CGameView::ScreenRay(float sx, float sy, float direction[3]) const {
    int width = m_viewRect[2], height = m_viewRect[3];
    SVec x, y, z;
    CameraAxes(m_eye, m_target, m_roll, x, y, z);
    float aspect = height > 0 ? static_cast<float>(width) / height : 1.0f;
    float tanHalf = std::tan((m_fieldOfView > 0.0f ? m_fieldOfView : 0.7853982f) * 0.5f);
    float nx = width > 0 ? 2.0f * sx / width - 1.0f : 0.0f;
    float ny = height > 0 ? 1.0f - 2.0f * sy / height : 0.0f;
    float cx = nx * tanHalf * aspect, cy = ny * tanHalf;
    direction[0] = x.x * cx + y.x * cy + z.x;
    direction[1] = x.y * cx + y.y * cy + z.y;
    direction[2] = x.z * cx + y.z * cy + z.z;
}

void CGameView::UpdateCursorRay(float x, float y) {
    for (int i = 0; i < 3; ++i) m_cursorRayOrigin[i] = m_eye[i];
    ScreenRay(x, y, m_cursorRayDirection);
}

bool CGameView::UpdateVisibleGround() {
    int width = m_viewRect[2], height = m_viewRect[3];
    int margin = Math_RoundToInt(0.15f * static_cast<float>((width + height) / 2));
    const int corners[4][2] = {{-margin, -margin},
                               {width + margin, -margin},
                               {-margin, height + margin},
                               {width + margin, height + margin}};
    SVec dirs[4];
    for (int c = 0; c < 4; ++c) {
        float d[3];
        ScreenRay(static_cast<float>(corners[c][0]), static_cast<float>(corners[c][1]), d);
        dirs[c] = {d[0], d[1], d[2]};
    }
    for (int i = 0; i < 256; ++i) {
        float h = static_cast<float>(i - 128);
        if (h + 1.5f > m_eye[1]) h = m_eye[1] - 1.5f;
        SVisibleGround g = {1e30f, -1e30f, 1e30f, -1e30f};
        for (const SVec& d : dirs) {
            // Where the ray through the corner meets the plane at height h;
            // a ray that never comes down is taken far out along its way.
            float t = d.y < -1e-6f ? (h - m_eye[1]) / d.y : 1e4f;
            float px = m_eye[0] + d.x * t, pz = m_eye[2] + d.z * t;
            g.minX = std::fmin(g.minX, px);
            g.maxX = std::fmax(g.maxX, px);
            g.minZ = std::fmin(g.minZ, pz);
            g.maxZ = std::fmax(g.maxZ, pz);
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
}
