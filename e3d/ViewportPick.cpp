// The viewport's picking: screen points to view rays, ground points and
// picked spheres, and world points to pixels.
#include <cmath>

#include "core/Math.h"
#include "e3d/View.h"
#include "e3d/Viewport.h"

void CE3DViewport::ViewRay(float x, float y, float direction[3]) const {
    const CE3DView& v = *m_view;
    // The view plane at distance 1: its half extents are the inverses of the
    // projection's scales; step across it pixel by pixel from its top-left.
    const float m11 = v.projection.m[0][0], m22 = v.projection.m[1][1];
    const float sx = m11 != 0.0f ? 1.0f / m11 : 1.0f;
    const float sy = m22 != 0.0f ? 1.0f / m22 : 1.0f;
    const float ax = m_width > 0 ? 2.0f * sx / float(m_width) : 0.0f;
    const float ay = m_height > 0 ? 2.0f * sy / float(m_height) : 0.0f;
    for (int i = 0; i < 3; ++i) {
        const float r = v.view.m[i][0], u = v.view.m[i][1], d = v.view.m[i][2];
        direction[i] = d - r * sx + u * sy + r * (x * ax) - u * (y * ay);
    }
    if (!E3D_Normalize(direction, 1e-20f)) {
        direction[0] = v.view.m[0][2];
        direction[1] = v.view.m[1][2];
        direction[2] = v.view.m[2][2];
    }
}

D3DVECTOR* CE3DViewport::ScreenToRay(D3DVECTOR* out, float x, float y) {
    return ScreenToRayAtDepth(out, x, y, 0.0f);
}

D3DVECTOR* CE3DViewport::ScreenToRayAtDepth(D3DVECTOR* out, float x, float y, float height) {
    float d[3];
    ViewRay(x, y, d);
    const D3DVECTOR& eye = m_view->eye;
    if (d[1] != 0.0f) {
        const float t = (height - eye.y) / d[1];
        // Only in front of the eye: a point above the horizon has no ground
        // under it.
        if (t > 0.0f && std::isfinite(t))
            m_lastGround = D3DVECTOR{eye.x + d[0] * t, height, eye.z + d[2] * t};
    }
    if (out) *out = m_lastGround;
    return out;
}

void CE3DViewport::ComputePickRay(float x, float y) {
    ViewRay(x, y, m_pickDirection);
}

bool CE3DViewport::RaySphere(const D3DVECTOR& centre, float radius, float* distance) const {
    const D3DVECTOR& eye = m_view->eye;
    const float c[3] = {centre.x - eye.x, centre.y - eye.y, centre.z - eye.z};
    const float p = E3D_Dot(c, m_pickDirection);
    if (p < 0.0f) return false;
    const float cc = E3D_Dot(c, c);
    if (radius * radius - cc + p * p < 0.0f) return false;
    const float off = cc - p * p;
    if (distance) *distance = off > 0.0f ? std::sqrt(off) : 0.0f;
    return true;
}

float CE3DViewport::GetFovScaleY() const {
    const CE3DView& v = *m_view;
    const float d[3] = {v.eye.x - v.target.x, v.eye.y - v.target.y, v.eye.z - v.target.z};
    return Math_Tan(v.fieldOfView * 0.5f) * E3D_Length(d);
}

float CE3DViewport::GetFovScaleX() const {
    const float aspect = m_view->aspect != 0.0f ? m_view->aspect : 1.0f;
    return -(1.0f / aspect) * GetFovScaleY();
}

void CE3DViewport::ProjectPoint(const D3DVECTOR& world, float* x, float* y, float* depth) const {
    const D3DMATRIX& m = m_combined;
    const float p[4] = {world.x, world.y, world.z, 1.0f};
    float h[4];
    for (int c = 0; c < 4; ++c)
        h[c] = p[0] * m.m[0][c] + p[1] * m.m[1][c] + p[2] * m.m[2][c] + p[3] * m.m[3][c];
    float w = h[3];
    float px = 0.0f, py = 0.0f;
    if (w > 0.0f) {
        px = h[0] / w * m_scaleX + m_centreX;
        py = m_centreY - h[1] / w * m_scaleY;
    }
    // Behind the eye (or so close to its plane that the position overflows,
    // or not a number at all): depth 0 or less, position the centre.
    if (!(w > 0.0f) || !std::isfinite(px) || !std::isfinite(py)) {
        w = w < 0.0f ? w : 0.0f;
        px = m_centreX;
        py = m_centreY;
    }
    if (x) *x = px;
    if (y) *y = py;
    if (depth) *depth = w;
}

bool CE3DViewport::ProjectPoint(int32_t pixel[2], const D3DVECTOR& world) const {
    float x, y, depth;
    ProjectPoint(world, &x, &y, &depth);
    // Far outside any view, so overlays drawn there are clipped away.
    const float far = 1.0e6f;
    if (!(depth > 0.0f) || std::fabs(x) > far || std::fabs(y) > far) {
        pixel[0] = pixel[1] = -1000000;
        return false;
    }
    pixel[0] = Math_RoundToInt(x);
    pixel[1] = Math_RoundToInt(y);
    return true;
}
