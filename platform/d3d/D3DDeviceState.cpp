#include "platform/d3d/D3DDeviceState.h"

#include <cmath>
#include <cstring>

D3DMATRIX D3D_Identity() {
    D3DMATRIX m;
    memset(&m, 0, sizeof m);
    for (int i = 0; i < 4; ++i) m.m[i][i] = 1.0f;
    return m;
}

D3DMATRIX D3D_Multiply(const D3DMATRIX& a, const D3DMATRIX& b) {
    D3DMATRIX r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            float s = 0.0f;
            for (int k = 0; k < 4; ++k) s += a.m[i][k] * b.m[k][j];
            r.m[i][j] = s;
        }
    return r;
}

CD3DDeviceState::CD3DDeviceState() {
    for (uint32_t s = 0; s < kD3DRenderStateCount; ++s) {
        uint32_t v = 0;
        D3D_DefaultRenderState(s, &v);
        m_rs[s] = v;
    }
    for (uint32_t st = 0; st < kD3DMaxTextureStages; ++st)
        for (uint32_t s = 0; s < kD3DTextureStageStateCount; ++s) {
            uint32_t v = 0;
            D3D_DefaultTextureStageState(st, s, &v);
            m_tss[st][s] = v;
        }
    m_world = m_view = m_projection = D3D_Identity();
}

bool CD3DDeviceState::ValidRenderState(uint32_t state) {
    uint32_t v;
    return D3D_DefaultRenderState(state, &v);
}

D3DResult CD3DDeviceState::SetRenderState(uint32_t state, uint32_t value) {
    if (!ValidRenderState(state)) return DDERR_INVALIDPARAMS;
    m_rs[state] = value;
    // The old single-stage address states also set stage 0's.
    if (state == D3DRENDERSTATE_TEXTUREADDRESS) {
        m_tss[0][D3DTSS_ADDRESS] = m_tss[0][D3DTSS_ADDRESSU] = m_tss[0][D3DTSS_ADDRESSV] = value;
    } else if (state == D3DRENDERSTATE_TEXTUREADDRESSU) {
        m_tss[0][D3DTSS_ADDRESSU] = value;
    } else if (state == D3DRENDERSTATE_TEXTUREADDRESSV) {
        m_tss[0][D3DTSS_ADDRESSV] = value;
    }
    return D3D_OK;
}

D3DResult CD3DDeviceState::GetRenderState(uint32_t state, uint32_t* value) {
    if (!value || !ValidRenderState(state)) return DDERR_INVALIDPARAMS;
    *value = m_rs[state];
    return D3D_OK;
}

D3DResult CD3DDeviceState::SetTextureStageState(uint32_t stage, uint32_t state, uint32_t value) {
    uint32_t v;
    if (!D3D_DefaultTextureStageState(stage, state, &v)) return DDERR_INVALIDPARAMS;
    m_tss[stage][state] = value;
    if (state == D3DTSS_ADDRESS) m_tss[stage][D3DTSS_ADDRESSU] = m_tss[stage][D3DTSS_ADDRESSV] = value;
    return D3D_OK;
}

D3DResult CD3DDeviceState::GetTextureStageState(uint32_t stage, uint32_t state, uint32_t* value) {
    uint32_t v;
    if (!value || !D3D_DefaultTextureStageState(stage, state, &v)) return DDERR_INVALIDPARAMS;
    *value = m_tss[stage][state];
    return D3D_OK;
}

D3DResult CD3DDeviceState::SetTexture(uint32_t stage, CSoftSurface* texture) {
    if (stage >= kD3DMaxTextureStages) return DDERR_INVALIDPARAMS;
    m_textures[stage] = texture;
    return D3D_OK;
}

D3DResult CD3DDeviceState::GetTexture(uint32_t stage, CSoftSurface** texture) {
    if (stage >= kD3DMaxTextureStages || !texture) return DDERR_INVALIDPARAMS;
    *texture = m_textures[stage];
    return D3D_OK;
}

D3DResult CD3DDeviceState::SetTransform(uint32_t which, const D3DMATRIX& m) {
    switch (which) {
        case D3DTRANSFORMSTATE_WORLD:
            m_world = m;
            return D3D_OK;
        case D3DTRANSFORMSTATE_VIEW:
            m_view = m;
            return D3D_OK;
        case D3DTRANSFORMSTATE_PROJECTION:
            m_projection = m;
            return D3D_OK;
    }
    return DDERR_INVALIDPARAMS;
}

D3DResult CD3DDeviceState::GetTransform(uint32_t which, D3DMATRIX* m) {
    if (!m) return DDERR_INVALIDPARAMS;
    switch (which) {
        case D3DTRANSFORMSTATE_WORLD:
            *m = m_world;
            return D3D_OK;
        case D3DTRANSFORMSTATE_VIEW:
            *m = m_view;
            return D3D_OK;
        case D3DTRANSFORMSTATE_PROJECTION:
            *m = m_projection;
            return D3D_OK;
    }
    return DDERR_INVALIDPARAMS;
}

D3DResult CD3DDeviceState::SetViewport(const D3DVIEWPORT7& vp) {
    if (vp.dwWidth == 0 || vp.dwHeight == 0 || !(vp.dvMinZ >= 0.0f) || !(vp.dvMaxZ <= 1.0f) ||
        vp.dvMinZ > vp.dvMaxZ)
        return DDERR_INVALIDPARAMS;
    m_viewport = vp;
    return D3D_OK;
}

D3DResult CD3DDeviceState::GetViewport(D3DVIEWPORT7* vp) {
    if (!vp) return DDERR_INVALIDPARAMS;
    *vp = m_viewport;
    return D3D_OK;
}

D3DResult CD3DDeviceState::SetMaterial(const D3DMATERIAL7& m) {
    m_material = m;
    return D3D_OK;
}

D3DResult CD3DDeviceState::GetMaterial(D3DMATERIAL7* m) {
    if (!m) return DDERR_INVALIDPARAMS;
    *m = m_material;
    return D3D_OK;
}

D3DResult CD3DDeviceState::SetLight(uint32_t index, const D3DLIGHT7& light) {
    if (index >= kMaxLights) return DDERR_INVALIDPARAMS;
    if (light.dltType < D3DLIGHT_POINT || light.dltType > D3DLIGHT_DIRECTIONAL) return DDERR_INVALIDPARAMS;
    if (light.dltType != D3DLIGHT_DIRECTIONAL && !(light.dvRange >= 0.0f)) return DDERR_INVALIDPARAMS;
    m_lights[index] = light;
    m_lightSet[index] = true;
    return D3D_OK;
}

D3DResult CD3DDeviceState::GetLight(uint32_t index, D3DLIGHT7* light) {
    if (index >= kMaxLights || !light) return DDERR_INVALIDPARAMS;
    *light = m_lights[index];
    return D3D_OK;
}

D3DResult CD3DDeviceState::LightEnable(uint32_t index, bool on) {
    if (index >= kMaxLights) return DDERR_INVALIDPARAMS;
    if (on && !m_lightSet[index]) {
        // Direct3D gives a light enabled before being set a white directional one.
        D3DLIGHT7 l;
        memset(&l, 0, sizeof l);
        l.dltType = D3DLIGHT_DIRECTIONAL;
        l.dcvDiffuse = {1.0f, 1.0f, 1.0f, 0.0f};
        l.dvDirection = {0.0f, 0.0f, 1.0f};
        m_lights[index] = l;
        m_lightSet[index] = true;
    }
    m_lightOn[index] = on;
    return D3D_OK;
}

D3DResult CD3DDeviceState::GetLightEnable(uint32_t index, bool* on) {
    if (index >= kMaxLights || !on) return DDERR_INVALIDPARAMS;
    *on = m_lightOn[index];
    return D3D_OK;
}

D3DResult CD3DDeviceState::BeginScene() {
    if (m_inScene) return D3DERR_SCENE_IN_SCENE;
    m_inScene = true;
    return D3D_OK;
}

D3DResult CD3DDeviceState::EndScene() {
    if (!m_inScene) return D3DERR_SCENE_NOT_IN_SCENE;
    m_inScene = false;
    return D3D_OK;
}

D3DResult CD3DDeviceState::CheckDraw(uint32_t type, uint32_t fvf, const void* vertices,
                                     uint32_t count) const {
    if (type < D3DPT_POINTLIST || type > D3DPT_TRIANGLEFAN) return D3DERR_INVALIDPRIMITIVETYPE;
    if (D3D_VertexSize(fvf) == 0) return D3DERR_INVALIDVERTEXFORMAT;
    if (!vertices && count) return DDERR_INVALIDPARAMS;
    if (!m_inScene) return D3DERR_SCENE_NOT_IN_SCENE;
    return D3D_OK;
}

D3DResult CD3DDeviceState::ComputeSphereVisibility(const D3DVECTOR* centres, const float* radii,
                                                   uint32_t count, uint32_t, uint32_t* results) {
    if (count && (!centres || !radii || !results)) return DDERR_INVALIDPARAMS;
    // Clip space of Direct3D: -w <= x, y <= w, 0 <= z <= w. The planes are the
    // rows of the combined matrix; each is normalised so that the sphere's
    // radius compares in world units.
    D3DMATRIX m = D3D_Multiply(D3D_Multiply(m_world, m_view), m_projection);
    float planes[6][4];
    for (int i = 0; i < 4; ++i) {
        float c0 = m.m[i][0], c1 = m.m[i][1], c2 = m.m[i][2], c3 = m.m[i][3];
        planes[0][i] = c3 + c0;  // left:   x >= -w
        planes[1][i] = c3 - c0;  // right:  x <= w
        planes[2][i] = c3 - c1;  // top:    y <= w
        planes[3][i] = c3 + c1;  // bottom: y >= -w
        planes[4][i] = c2;       // front:  z >= 0
        planes[5][i] = c3 - c2;  // back:   z <= w
    }
    for (int p = 0; p < 6; ++p) {
        float len = std::sqrt(planes[p][0] * planes[p][0] + planes[p][1] * planes[p][1] +
                              planes[p][2] * planes[p][2]);
        if (len > 0.0f)
            for (int i = 0; i < 4; ++i) planes[p][i] /= len;
    }
    for (uint32_t s = 0; s < count; ++s) {
        uint32_t bits = 0;
        for (int p = 0; p < 6; ++p) {
            float d = planes[p][0] * centres[s].x + planes[p][1] * centres[s].y +
                      planes[p][2] * centres[s].z + planes[p][3];
            if (d < -radii[s])
                bits |= (0x1000u | 1u) << p;  // wholly outside
            else if (d < radii[s])
                bits |= 1u << p;  // straddles
        }
        results[s] = bits;
    }
    return D3D_OK;
}
