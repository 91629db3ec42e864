#include "e3d/Device.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "e3d/Engine.h"
#include "e3d/Screen.h"
#include "e3d/Surface.h"
#include "e3d/Viewport.h"

uint32_t* SE3DStateCache::RenderState(uint32_t state) {
    switch (state) {
        case D3DRENDERSTATE_AMBIENT:
            return &ambient;
        case D3DRENDERSTATE_FOGTABLEMODE:
            return &fogTableMode;
        case D3DRENDERSTATE_FOGSTART:
            return &fogStart;
        case D3DRENDERSTATE_FOGEND:
            return &fogEnd;
        case D3DRENDERSTATE_FOGDENSITY:
            return &fogDensity;
        case D3DRENDERSTATE_COLORVERTEX:
            return &colorVertex;
    }
    if (state >= 2 && state <= 60 && state != 42) return &rs[state < 42 ? state - 2 : state - 3];
    if (state >= D3DRENDERSTATE_STIPPLEPATTERN00 && state < D3DRENDERSTATE_STIPPLEPATTERN00 + 32)
        return &stipple[state - D3DRENDERSTATE_STIPPLEPATTERN00];
    if (state >= D3DRENDERSTATE_WRAP0 && state < D3DRENDERSTATE_WRAP0 + kD3DMaxTextureStages)
        return &stages[state - D3DRENDERSTATE_WRAP0].wrap;
    return nullptr;
}

bool E3D_FindZBufferFormat(const std::vector<DDPIXELFORMAT>& formats, DDPIXELFORMAT* out) {
    for (const DDPIXELFORMAT& f : formats)
        if (f.dwFlags == DDPF_ZBUFFER && f.dwRGBBitCount == 16) {
            *out = f;
            return true;
        }
    return false;
}

CE3DDevice::CE3DDevice(CE3DScreen* screen, const SD3DDeviceRecord& record) : m_screen(screen) {
    snprintf(m_description, sizeof m_description, "%.255s", record.description);
    snprintf(m_name, sizeof m_name, "%.255s", record.name);
    m_reportedCaps = record.desc;
    m_workingCaps = record.desc;
    if (m_screen) m_screen->AddDevice(this);
}

CE3DDevice::~CE3DDevice() {
    while (m_viewportCount > 0) delete m_viewports[m_viewportCount - 1];
    delete m_device;
    m_device = nullptr;
    if (m_screen) {
        if (m_screen->m_currentDevice == this) m_screen->m_currentDevice = nullptr;
        m_screen->RemoveDevice(this);
    }
}

void CE3DDevice::AddViewport(CE3DViewport* viewport) {
    E3DList_Append(m_viewports, m_viewportCount, viewport);
}

void CE3DDevice::RemoveViewport(CE3DViewport* viewport) {
    E3DList_Remove(m_viewports, m_viewportCount, viewport);
}

void CE3DDevice::Release() {
    for (int32_t i = 0; i < m_viewportCount; ++i)
        if (m_viewports[i]->m_camera) m_viewports[i]->Attach(nullptr);
    delete m_device;
    m_device = nullptr;
}

bool CE3DDevice::Activate(CE3DDevice* previous) {
    CE3DEngine* engine = m_screen->m_engine;
    if (previous) {
        previous->Release();
        if (previous != this) {
            // This device takes over the viewports of the previous one.
            delete[] m_viewports;
            m_viewports = previous->m_viewports;
            m_viewportCount = previous->m_viewportCount;
            previous->m_viewports = nullptr;
            previous->m_viewportCount = 0;
        }
    }
    for (int32_t i = 0; i < m_viewportCount; ++i) m_viewports[i]->m_device = this;
    m_screen->m_currentDevice = this;
    delete m_device;
    m_device = nullptr;
    m_screen->ReleaseInto(m_screen->m_zBuffer);

    if (!m_screen->m_d3d || !m_screen->m_ddraw) return false;
    D3DResult r = m_screen->CreateZBuffer(this);
    if (r) {
        E3DErrorText(engine, r);
        return false;
    }
    r = m_screen->m_d3d->CreateDevice(Guid(), m_screen->BackBufferSurface(), &m_device);
    if (r) {
        E3DErrorText(engine, r);
        m_device = nullptr;
        return false;
    }
    m_textureFormats.clear();
    std::vector<DDPIXELFORMAT> formats;
    r = m_device->EnumTextureFormats(&formats);
    if (r) {
        E3DErrorText(engine, r);
        return false;
    }
    for (const DDPIXELFORMAT& f : formats) {
        bool rgb = (f.dwFlags & DDPF_RGB) != 0;
        bool palette = (f.dwFlags & (DDPF_PALETTEINDEXED1 | DDPF_PALETTEINDEXED2 | DDPF_PALETTEINDEXED4 |
                                     DDPF_PALETTEINDEXED8)) != 0;
        if (rgb ? f.dwRGBBitCount < 16 : !palette) continue;
        m_textureFormats.push_back(f);
    }
    r = m_device->GetCaps(&m_reportedCaps);
    if (r) {
        // The caps of the enumeration stay; the device still works.
        E3DErrorText(engine, r);
    }
    m_hardware = (m_reportedCaps.dwDevCaps & D3DDEVCAPS_HWRASTERIZATION) != 0;
    m_workingCaps = m_reportedCaps;
    if (m_workingCaps.dwMaxTextureAspectRatio < 1) m_workingCaps.dwMaxTextureAspectRatio = 256;
    const uint32_t linear = D3DPTFILTERCAPS_MAGFLINEAR | D3DPTFILTERCAPS_MINFLINEAR;
    m_reportedCaps.dpcLineCaps.dwTextureFilterCaps |= linear;
    m_reportedCaps.dpcTriCaps.dwTextureFilterCaps |= linear;
    if (!FillCache()) return false;
    for (int32_t i = 0; i < m_viewportCount; ++i) m_viewports[i]->m_device = this;
    return true;
}

bool CE3DDevice::FillCache() {
    // A value the device will not give stays as Direct3D's start value, so the
    // cache never holds garbage; the failure is reported.
    CE3DEngine* engine = m_screen->m_engine;
    auto get = [&](uint32_t state, uint32_t* slot) {
        D3DResult r = m_device->GetRenderState(state, slot);
        if (r) {
            E3DErrorText(engine, r);
            D3D_DefaultRenderState(state, slot);
        }
    };
    for (uint32_t st = 0; st < kD3DMaxTextureStages; ++st) {
        SE3DStateCache::SStage& s = m_cache.stages[st];
        for (uint32_t t = 1; t <= 23; ++t) {
            D3DResult r = m_device->GetTextureStageState(st, t, &s.tss[t - 1]);
            if (r) {
                E3DErrorText(engine, r);
                D3D_DefaultTextureStageState(st, t, &s.tss[t - 1]);
            }
        }
        get(D3DRENDERSTATE_WRAP0 + st, &s.wrap);
        CSoftSurface* tex = nullptr;
        if (m_device->GetTexture(st, &tex)) tex = nullptr;
        m_cache.textures[st] = tex;
        s.texture = tex ? 1 : 0;
    }
    get(D3DRENDERSTATE_AMBIENT, &m_cache.ambient);
    get(D3DRENDERSTATE_FOGTABLEMODE, &m_cache.fogTableMode);
    get(D3DRENDERSTATE_FOGSTART, &m_cache.fogStart);
    get(D3DRENDERSTATE_FOGEND, &m_cache.fogEnd);
    get(D3DRENDERSTATE_FOGDENSITY, &m_cache.fogDensity);
    get(D3DRENDERSTATE_COLORVERTEX, &m_cache.colorVertex);
    for (uint32_t s = 2; s <= 60; ++s) {
        if (s == 42) continue;
        uint32_t* slot = m_cache.RenderState(s);
        if (s == 48) {
            // Not read back at activation; the cache starts from Direct3D's value.
            D3D_DefaultRenderState(s, slot);
            continue;
        }
        get(s, slot);
    }
    for (uint32_t i = 0; i < 32; ++i) get(D3DRENDERSTATE_STIPPLEPATTERN00 + i, &m_cache.stipple[i]);
    for (uint32_t i = 0; i < kLightSlots; ++i) {
        m_lightKnown[i] = m_device->GetLight(i, &m_lights[i]) == D3D_OK;
        bool on = false;
        m_lightOn[i] = m_device->GetLightEnable(i, &on) == D3D_OK && on;
    }
    return true;
}

bool CE3DDevice::SetLight(uint32_t index, const D3DLIGHT7& light) {
    if (!m_device) return false;
    const bool cached = index < kLightSlots;
    if (cached && m_lightKnown[index] && memcmp(&m_lights[index], &light, sizeof light) == 0) return true;
    D3DResult r = m_device->SetLight(index, light);
    if (r) {
        E3DErrorText(m_screen->m_engine, r);
        return false;
    }
    if (cached) {
        m_lights[index] = light;
        m_lightKnown[index] = true;
    }
    return true;
}

bool CE3DDevice::LightEnable(uint32_t index, bool on) {
    if (!m_device) return false;
    const bool cached = index < kLightSlots;
    if (cached && m_lightOn[index] == on) return true;
    D3DResult r = m_device->LightEnable(index, on);
    if (r) {
        E3DErrorText(m_screen->m_engine, r);
        return false;
    }
    if (cached) m_lightOn[index] = on;
    return true;
}

bool CE3DDevice::SetRenderState(uint32_t state, uint32_t value) {
    if (!m_device) return false;
    uint32_t* slot = m_cache.RenderState(state);
    if (slot && *slot == value) return true;
    D3DResult r = m_device->SetRenderState(state, value);
    if (r) {
        E3DErrorText(m_screen->m_engine, r);
        return false;
    }
    if (slot) *slot = value;
    return true;
}

bool CE3DDevice::SetTextureStageState(uint32_t stage, uint32_t state, uint32_t value) {
    if (!m_device || stage >= kD3DMaxTextureStages || state < 1 || state >= kD3DTextureStageStateCount)
        return false;
    uint32_t* slot = state <= 23 ? &m_cache.stages[stage].tss[state - 1] : nullptr;
    if (slot && *slot == value) return true;
    D3DResult r = m_device->SetTextureStageState(stage, state, value);
    if (r) {
        E3DErrorText(m_screen->m_engine, r);
        return false;
    }
    if (slot) *slot = value;
    return true;
}

bool CE3DDevice::SetTexture(uint32_t stage, CSoftSurface* texture) {
    if (!m_device || stage >= kD3DMaxTextureStages) return false;
    if (m_cache.textures[stage] == texture) return true;
    D3DResult r = m_device->SetTexture(stage, texture);
    if (r) {
        E3DErrorText(m_screen->m_engine, r);
        return false;
    }
    m_cache.textures[stage] = texture;
    m_cache.stages[stage].texture = texture ? 1 : 0;
    return true;
}
