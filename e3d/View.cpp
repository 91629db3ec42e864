#include "core/Determinism.h"
// (the lockstep guard first: frames that face the camera read the view)

#include <cmath>
#include <cstring>

#include "e3d/View.h"

namespace {
constexpr float kTiny = 0.000001f;

void ToArray(const D3DVECTOR& v, float out[3]) {
    out[0] = v.x;
    out[1] = v.y;
    out[2] = v.z;
}
D3DVECTOR ToVector(const float v[3]) {
    return D3DVECTOR{v[0], v[1], v[2]};
}
// v minus its projection on the unit vector d.
void Reject(const float v[3], const float d[3], float out[3]) {
    float k = E3D_Dot(v, d);
    for (int i = 0; i < 3; ++i) out[i] = v[i] - d[i] * k;
}
bool Finite(float f) {
    return std::isfinite(f);
}
}  // namespace

D3DVECTOR E3D_VectorRotate(const D3DVECTOR& v, const D3DVECTOR& axis, float angle) {
    float k[3], p[3];
    ToArray(axis, k);
    ToArray(v, p);
    if (!E3D_Normalize(k, 1e-20f)) return v;
    // Rodrigues: v cos + (k x v) sin + k (k . v)(1 - cos).
    const float c = Math_Cos(angle), s = Math_Sin(angle);
    float kxv[3];
    E3D_Cross(k, p, kxv);
    const float kv = E3D_Dot(k, p) * (1.0f - c);
    float out[3];
    for (int i = 0; i < 3; ++i) out[i] = p[i] * c + kxv[i] * s + k[i] * kv;
    return ToVector(out);
}

CE3DView::CE3DView(CE3DViewport* owner) : viewport(owner) {
    E3D_FillTables();
    world = view = projection = g_E3DIdentity44;
}

void CE3DView::LookAt(const D3DVECTOR& eyePoint, const D3DVECTOR& targetPoint, float rollAngle) {
    eye = eyePoint;
    target = targetPoint;
    roll = rollAngle;
    float d[3] = {target.x - eye.x, target.y - eye.y, target.z - eye.z};
    const float length = E3D_Length(d);
    if (!E3D_Normalize(d, kTiny)) return;
    const D3DVECTOR turned = E3D_VectorRotate(D3DVECTOR{0.0f, 1.0f, 0.0f}, ToVector(d), roll);
    float upTurned[3], u[3];
    ToArray(turned, upTurned);
    Reject(upTurned, d, u);
    if (E3D_Length(u) < kTiny) {
        const float y[3] = {0.0f, 1.0f, 0.0f};
        Reject(y, d, u);
        if (E3D_Length(u) < kTiny) {
            const float z[3] = {0.0f, 0.0f, 1.0f};
            Reject(z, d, u);
            if (E3D_Length(u) < kTiny) return;
        }
    }
    E3D_Normalize(u, 0.0f);
    float r[3];
    E3D_Cross(u, d, r);
    // Nearly along the forward axis the rejection loses precision: square
    // the axes up again so that the view stays a pure rotation.
    E3D_Normalize(r, 0.0f);
    E3D_Cross(d, r, u);
    const float e[3] = {eye.x, eye.y, eye.z};
    view = g_E3DIdentity44;
    for (int i = 0; i < 3; ++i) {
        view.m[i][0] = r[i];
        view.m[i][1] = u[i];
        view.m[i][2] = d[i];
    }
    view.m[3][0] = -E3D_Dot(r, e);
    view.m[3][1] = -E3D_Dot(u, e);
    view.m[3][2] = -E3D_Dot(d, e);
    right = ToVector(r);
    up = ToVector(u);
    forward = ToVector(d);
    origin = D3DVECTOR{0.0f, 0.0f, 0.0f};
    distance = length;
    heading = Math_Atan2(d[0], d[2]);
    elevation = length > 0.0f ? Math_Asin(d[1]) : 0.0f;
}

bool CE3DView::SetProjection(float nearPlane, float farPlane, float fov, float aspectRatio, bool) {
    if (!Finite(nearPlane) || !Finite(farPlane) || !Finite(fov) || !Finite(aspectRatio)) return false;
    if (std::fabs(farPlane - nearPlane) < 0.01f) return false;
    if (nearPlane <= 0.0f || nearPlane >= farPlane || aspectRatio <= 0.0f) return false;
    const float s = Math_Sin(fov * 0.5f);
    if (std::fabs(s) < 0.01f) return false;
    fieldOfView = fov;
    aspect = aspectRatio;
    const float q = farPlane / (farPlane - nearPlane);
    memset(&projection, 0, sizeof projection);
    projection.m[0][0] = Math_Cos(fov * 0.5f) / s;
    projection.m[1][1] = projection.m[0][0] * aspect;
    projection.m[2][2] = q;
    projection.m[2][3] = 1.0f;
    projection.m[3][2] = -q * nearPlane;
    return true;
}

void CE3DView::FacingMatrix(float rotation[3][3], const float position[3]) const {
    float d[3] = {position[0] - eye.x, position[1] - eye.y, position[2] - eye.z};
    float u[3], upv[3];
    ToArray(up, upv);
    if (E3D_Normalize(d, kTiny)) {
        Reject(upv, d, u);
        if (E3D_Normalize(u, kTiny)) {
            E3D_Cross(d, u, rotation[0]);
            for (int i = 0; i < 3; ++i) {
                rotation[1][i] = u[i];
                rotation[2][i] = -d[i];
            }
            return;
        }
    }
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) rotation[r][c] = r == c ? 1.0f : 0.0f;
}
