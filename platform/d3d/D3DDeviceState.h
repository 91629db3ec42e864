// The state every back end's device keeps: render and texture-stage states by
// number (starting at Direct3D's documented values), textures per stage,
// transforms, viewport, material and lights, with the argument checks. The
// back ends derive from it and act on the stored values when they draw.
#pragma once

#include "platform/d3d/Direct3D.h"

class CD3DDeviceState : public ID3DDevice {
public:
    CD3DDeviceState();

    D3DResult SetRenderState(uint32_t state, uint32_t value) override;
    D3DResult GetRenderState(uint32_t state, uint32_t* value) override;
    D3DResult SetTextureStageState(uint32_t stage, uint32_t state, uint32_t value) override;
    D3DResult GetTextureStageState(uint32_t stage, uint32_t state, uint32_t* value) override;
    D3DResult SetTexture(uint32_t stage, CSoftSurface* texture) override;
    D3DResult GetTexture(uint32_t stage, CSoftSurface** texture) override;
    D3DResult SetTransform(uint32_t which, const D3DMATRIX& m) override;
    D3DResult GetTransform(uint32_t which, D3DMATRIX* m) override;
    D3DResult SetViewport(const D3DVIEWPORT7& vp) override;
    D3DResult GetViewport(D3DVIEWPORT7* vp) override;
    D3DResult SetMaterial(const D3DMATERIAL7& m) override;
    D3DResult GetMaterial(D3DMATERIAL7* m) override;
    D3DResult SetLight(uint32_t index, const D3DLIGHT7& light) override;
    D3DResult GetLight(uint32_t index, D3DLIGHT7* light) override;
    D3DResult LightEnable(uint32_t index, bool on) override;
    D3DResult GetLightEnable(uint32_t index, bool* on) override;
    D3DResult BeginScene() override;
    D3DResult EndScene() override;
    D3DResult ComputeSphereVisibility(const D3DVECTOR* centres, const float* radii, uint32_t count,
                                      uint32_t flags, uint32_t* results) override;

    static constexpr uint32_t kMaxLights = 8;

protected:
    // Checks shared by the draws of every back end.
    D3DResult CheckDraw(uint32_t type, uint32_t fvf, const void* vertices, uint32_t count) const;
    static bool ValidRenderState(uint32_t state);

    uint32_t m_rs[kD3DRenderStateCount];
    uint32_t m_tss[kD3DMaxTextureStages][kD3DTextureStageStateCount];
    CSoftSurface* m_textures[kD3DMaxTextureStages] = {};
    D3DMATRIX m_world, m_view, m_projection;
    D3DVIEWPORT7 m_viewport{0, 0, 0, 0, 0.0f, 1.0f};
    D3DMATERIAL7 m_material{};
    D3DLIGHT7 m_lights[kMaxLights]{};
    bool m_lightSet[kMaxLights] = {};
    bool m_lightOn[kMaxLights] = {};
    bool m_inScene = false;
};

// Row-vector matrix product a × b.
D3DMATRIX D3D_Multiply(const D3DMATRIX& a, const D3DMATRIX& b);
D3DMATRIX D3D_Identity();
