#include "e3d/EffectVertex.h"

#include <cmath>

#include "core/Random.h"
#include "e3d/Frame.h"
#include "e3d/VertexList.h"

namespace {
CRandomStream g_seeds(0x2545F491u);
}

CE3DVertexList* E3D_NewEffectList(CE3DFrame* owner, CE3DMaterial* material) {
    CE3DVertexList* list = new CE3DVertexList(nullptr, owner, owner->m_screen, nullptr);
    list->m_format = kE3DLitVertexFormat;
    list->m_material = material;
    list->m_indexed = false;
    list->m_perFace = 3;
    list->m_primitive = D3DPT_TRIANGLELIST;
    list->m_flag = 0;
    return list;
}

uint32_t E3D_NextEffectSeed() {
    return g_seeds.Next();
}

void E3D_ResetEffectSeeds() {
    g_seeds.Seed(0x2545F491u);
}

namespace {
// The inverse of the matrix's 3 x 3 rotation rows (row vectors), scaled by
// the factor times the cube root of the determinant's size; false when the
// rows are singular.
bool TurnBack(const D3DMATRIX& m, const float d[3], float out[3], bool keepScale) {
    const double a = m.m[0][0], b = m.m[0][1], c = m.m[0][2];
    const double e = m.m[1][0], f = m.m[1][1], g = m.m[1][2];
    const double h = m.m[2][0], i = m.m[2][1], j = m.m[2][2];
    // The adjugate: the inverse times the determinant.
    const double adj[3][3] = {{f * j - g * i, c * i - b * j, b * g - c * f},
                              {g * h - e * j, a * j - c * h, c * e - a * g},
                              {e * i - f * h, b * h - a * i, a * f - b * e}};
    const double det = a * adj[0][0] + b * adj[1][0] + c * adj[2][0];
    if (!(std::fabs(det) > 1e-12)) return false;
    const double scale = (keepScale ? std::cbrt(std::fabs(det)) : 1.0) / det;
    for (int k = 0; k < 3; ++k)
        out[k] = float((d[0] * adj[0][k] + d[1] * adj[1][k] + d[2] * adj[2][k]) * scale);
    return true;
}
}  // namespace

void E3D_DirectionIntoFrame(const D3DMATRIX& m, const float d[3], float out[3]) {
    if (!TurnBack(m, d, out, true))
        for (int k = 0; k < 3; ++k) out[k] = d[k];
}

void E3D_PointIntoFrame(const D3DMATRIX& m, const float p[3], float out[3]) {
    const float d[3] = {p[0] - m.m[3][0], p[1] - m.m[3][1], p[2] - m.m[3][2]};
    if (!TurnBack(m, d, out, false))
        for (int k = 0; k < 3; ++k) out[k] = d[k];
}
