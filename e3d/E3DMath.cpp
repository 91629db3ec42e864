#include "core/Determinism.h"
// (the lockstep guard first: this is simulation code)

#include <cmath>
#include <cstring>
#include <mutex>

#include "e3d/E3DMath.h"

float g_E3DIdentity43[4][3];
D3DMATRIX g_E3DIdentity44;
D3DMATRIX g_E3DZero44;
float g_E3DZero12[12];
float g_E3DSinTable[kE3DSineSteps + 2];
float g_E3DCosTable[kE3DSineSteps + 2];
float g_E3DAngleToIndex;

namespace {
std::once_flag g_tablesFilled;

void Fill() {
    memset(g_E3DIdentity43, 0, sizeof g_E3DIdentity43);
    g_E3DIdentity43[0][0] = g_E3DIdentity43[1][1] = g_E3DIdentity43[2][2] = 1.0f;
    memset(&g_E3DIdentity44, 0, sizeof g_E3DIdentity44);
    for (int i = 0; i < 4; ++i) g_E3DIdentity44.m[i][i] = 1.0f;
    memset(&g_E3DZero44, 0, sizeof g_E3DZero44);
    memset(g_E3DZero12, 0, sizeof g_E3DZero12);
    g_E3DAngleToIndex = float(kE3DSineSteps / 6.283185307179586);
    // Each entry from its own angle (i steps), not from a running sum: a sum
    // in single precision drifts almost a whole step by the end of the turn.
    for (int i = 0; i < kE3DSineSteps + 2; ++i) {
        const float angle = float(i * (6.283185307179586 / kE3DSineSteps));
        g_E3DSinTable[i] = Math_Sin(angle);
        g_E3DCosTable[i] = Math_Cos(angle);
    }
}
}  // namespace

void E3D_FillTables() {
    std::call_once(g_tablesFilled, Fill);
}

int E3D_AngleIndex(float angle) {
    // Angles reach here wrapped into [0, 2 pi), so the rounded index is 0 to
    // 8192; the mask also keeps a stray angle (NaN included) inside the table,
    // and 8192 steps is the full turn, index 0.
    return Math_RoundToInt(angle * g_E3DAngleToIndex) & (kE3DSineSteps - 1);
}

float E3D_WrapAngle(float angle) {
    float a = std::fmod(angle, kTwoPi);
    if (a < 0.0f) a += kTwoPi;
    // A tiny negative angle comes back as 2 pi itself: that is 0.
    if (a >= kTwoPi) a = 0.0f;
    return a;
}

void E3D_Matrix43Identity(E3DMatrix43 m) {
    memset(m, 0, sizeof(float) * 12);
    m[0][0] = m[1][1] = m[2][2] = 1.0f;
}

void E3D_Matrix43Copy(E3DMatrix43 out, const E3DMatrix43 in) {
    memcpy(out, in, sizeof(float) * 12);
}

void E3D_Matrix43Multiply(E3DMatrix43 out, const E3DMatrix43 a, const E3DMatrix43 b) {
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) out[r][c] = a[r][0] * b[0][c] + a[r][1] * b[1][c] + a[r][2] * b[2][c];
    for (int c = 0; c < 3; ++c)
        out[3][c] = a[3][0] * b[0][c] + a[3][1] * b[1][c] + a[3][2] * b[2][c] + b[3][c];
}

void E3D_TransformPoint(const E3DMatrix43 m, const float in[3], float out[3]) {
    float r[3];
    for (int c = 0; c < 3; ++c) r[c] = in[0] * m[0][c] + in[1] * m[1][c] + in[2] * m[2][c] + m[3][c];
    out[0] = r[0];
    out[1] = r[1];
    out[2] = r[2];
}

void E3D_Matrix43To44(const E3DMatrix43 in, D3DMATRIX* out) {
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 3; ++c) out->m[r][c] = in[r][c];
        out->m[r][3] = r == 3 ? 1.0f : 0.0f;
    }
}

float E3D_Dot(const float a[3], const float b[3]) {
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

void E3D_Cross(const float a[3], const float b[3], float out[3]) {
    float r[3] = {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
    out[0] = r[0];
    out[1] = r[1];
    out[2] = r[2];
}

float E3D_Length(const float v[3]) {
    return std::sqrt(E3D_Dot(v, v));
}

bool E3D_Normalize(float v[3], float limit) {
    float len = E3D_Length(v);
    if (!(len >= limit)) return false;
    v[0] /= len;
    v[1] /= len;
    v[2] /= len;
    return true;
}
