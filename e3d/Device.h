// CE3DDevice: one Direct3D device of the screen's driver (software, hardware,
// hardware with transform and lighting), with its capabilities, its texture
// formats, the viewports that render through it, and a cache of the render
// and texture-stage states. The cache is read from the device when the device
// becomes current, so the scene render and the materials can send a state only
// when its value differs from what the device already has.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/d3d/Direct3D.h"

class CE3DScreen;
class CE3DViewport;

// Words of the state cache, in the order the device fills them.
struct SE3DStateCache {
    struct SStage {
        uint32_t tss[23];  // texture-stage states 1 to 23
        uint32_t wrap;     // render state WRAP0 + stage
        uint32_t texture;  // non-zero while a texture is set (the pointer is in textures[])
        uint32_t spare;
    };
    SStage stages[kD3DMaxTextureStages];
    uint32_t spare;
    uint32_t ambient, fogTableMode, fogStart, fogEnd, fogDensity, colorVertex;
    uint32_t rs[59];       // render states 2 to 60 without 42
    uint32_t stipple[32];  // STIPPLEPATTERN00 to 31
    CSoftSurface* textures[kD3DMaxTextureStages];

    // The cache word of a render state, or null for a state it does not keep.
    uint32_t* RenderState(uint32_t state);
};

class CE3DDevice {
public:
    CE3DDevice(CE3DScreen* screen, const SD3DDeviceRecord& record);
    virtual ~CE3DDevice();
    CE3DDevice(const CE3DDevice&) = delete;
    CE3DDevice& operator=(const CE3DDevice&) = delete;

    bool Activate(CE3DDevice* previous);
    void Release();

    // Cached state changes: the device is called only when the value differs
    // from the cache (states the cache does not keep always go through). False
    // when the device refused the call.
    bool SetRenderState(uint32_t state, uint32_t value);
    bool SetTextureStageState(uint32_t stage, uint32_t state, uint32_t value);
    bool SetTexture(uint32_t stage, CSoftSurface* texture);
    // Lights through the cache too: a light slot is sent again only when its
    // description or its switch changed.
    bool SetLight(uint32_t index, const D3DLIGHT7& light);
    bool LightEnable(uint32_t index, bool on);

    void AddViewport(CE3DViewport* viewport);
    void RemoveViewport(CE3DViewport* viewport);
    const SD3DGuid& Guid() const { return m_reportedCaps.deviceGUID; }

    uint32_t m_nodeType = 2;
    SE3DStateCache m_cache{};
    CE3DScreen* m_screen;
    CE3DViewport** m_viewports = nullptr;
    int32_t m_viewportCount = 0;
    bool m_hardware = false;
    char m_description[256];
    char m_name[256];
    D3DDEVICEDESC7 m_reportedCaps;
    ID3DDevice* m_device = nullptr;
    D3DDEVICEDESC7 m_workingCaps;
    std::vector<DDPIXELFORMAT> m_textureFormats;
    // The render-state block whose lighting material the device has now
    // (cleared when that block goes).
    const void* m_lastLightingStates = nullptr;
    // The light slots as the device has them (read at activation).
    static constexpr uint32_t kLightSlots = 8;
    D3DLIGHT7 m_lights[kLightSlots];
    bool m_lightKnown[kLightSlots] = {};
    bool m_lightOn[kLightSlots] = {};

private:
    bool FillCache();
};

// Takes the first Z format that is exactly a plain 16-bit Z-buffer.
bool E3D_FindZBufferFormat(const std::vector<DDPIXELFORMAT>& formats, DDPIXELFORMAT* out);
