#include "core/Determinism.h"
// (the lockstep guard first: the camera roots the simulation's frame tree)

#include <algorithm>
#include <cstring>
#include <vector>

#include "e3d/Camera.h"
#include "e3d/Device.h"
#include "e3d/Engine.h"
#include "e3d/Light.h"
#include "e3d/Screen.h"
#include "e3d/Viewport.h"
#include "platform/d3d/Direct3D.h"

CE3DCamera::CE3DCamera(CE3DScreen* screen) : CE3DFrame(nullptr) {
    m_type = kE3DFrameCamera;
    m_screen = screen;
    if (screen) {
        E3DList_Append(screen->m_cameras, screen->m_cameraCount, this);
        if (CE3DEngine* engine = screen->m_engine) {
            m_keyBuffer = engine->m_keyBuffer;
            m_orderBuffer = engine->m_orderBuffer;
            m_indexBuffer = engine->m_indexBuffer;
        }
    }
    Invalidate();
    UpdateMatrix();
    ResetMatrixHistory();
}

CE3DCamera::~CE3DCamera() {
    // The frames go first (lights leave the light list as they go), then the
    // camera leaves everything that points at it.
    while (m_firstChild) delete m_firstChild;
    delete[] m_sphereRadii;
    delete[] m_sphereCentres;
    delete[] m_results;
    if (m_screen) E3DList_Remove(m_screen->m_cameras, m_screen->m_cameraCount, this);
    while (m_viewports) m_viewports->Attach(nullptr);
}

void CE3DCamera::Message(int code, void* data) {
    // The newest viewport is the one frames that face the camera turn to.
    if (code == kFrameMsgViewportAttached && data)
        m_sceneData->facingView = static_cast<CE3DViewport*>(data)->m_view;
    CE3DFrame::Message(code, data);
}

void CE3DCamera::ViewportDetached(CE3DViewport* viewport) {
    if (m_viewport == viewport) m_viewport = nullptr;
    if (viewport && m_sceneData->facingView == viewport->m_view)
        m_sceneData->facingView = m_viewports ? m_viewports->m_view : nullptr;
}

void CE3DCamera::DeactivateNonEffects() {
    for (SE3DFrameWalk w(m_sceneData->activeHead, SE3DFrameWalk::kActive); CE3DFrame* f = w.Next();) {
        const uint32_t t = f->m_type;
        if (t != kE3DFrameLightning && t != kE3DFrameBeam && t != kE3DFrameLight && t != kE3DFrameEmitter)
            f->Deactivate();
    }
}

// ---------------------------------------------------------------------------
// Spheres.

void CE3DCamera::GrowSpheres(int32_t capacity) {
    float* radii = new float[capacity];
    D3DVECTOR* centres = new D3DVECTOR[capacity];
    uint32_t* results = new uint32_t[capacity];
    if (m_gathered > 0) {
        memcpy(radii, m_sphereRadii, sizeof(float) * m_gathered);
        memcpy(centres, m_sphereCentres, sizeof(D3DVECTOR) * m_gathered);
    }
    delete[] m_sphereRadii;
    delete[] m_sphereCentres;
    delete[] m_results;
    m_sphereRadii = radii;
    m_sphereCentres = centres;
    m_results = results;
    m_sphereCapacity = capacity;
}

int32_t CE3DCamera::AddSphere(const float centre[3], float radius) {
    if (!m_rendering) return -1;
    // More spheres than the scene announced: room for another thousand.
    if (m_gathered >= m_sphereCapacity) GrowSpheres(m_gathered + 1000);
    const int32_t i = m_gathered++;
    m_sphereRadii[i] = radius;
    m_sphereCentres[i] = D3DVECTOR{centre[0], centre[1], centre[2]};
    m_results[i] = kE3DLightOutside;  // until the test has run
    return i;
}

uint32_t CE3DCamera::SphereResult(int32_t index) const {
    if (index < 0 || index >= m_gathered) return kE3DLightOutside;
    return m_results[index];
}

// ---------------------------------------------------------------------------
// Lights.

void CE3DCamera::AddLight(CE3DLight* light) {
    light->m_lightPrev = nullptr;
    light->m_lightNext = m_lightHead;
    if (m_lightHead) m_lightHead->m_lightPrev = light;
    m_lightHead = light;
    ++m_lightCount;
}

void CE3DCamera::RemoveLight(CE3DLight* light) {
    if (light->m_lightPrev)
        light->m_lightPrev->m_lightNext = light->m_lightNext;
    else if (m_lightHead == light)
        m_lightHead = light->m_lightNext;
    else
        return;  // not in this list
    if (light->m_lightNext) light->m_lightNext->m_lightPrev = light->m_lightPrev;
    light->m_lightNext = light->m_lightPrev = nullptr;
    --m_lightCount;
}

void CE3DCamera::SortLights() {
    if (m_lightCount < 2) return;
    std::vector<CE3DLight*> lights;
    for (CE3DLight* l = m_lightHead; l; l = l->m_lightNext) lights.push_back(l);
    std::stable_sort(lights.begin(), lights.end(),
                     [](const CE3DLight* a, const CE3DLight* b) { return a->m_priority < b->m_priority; });
    m_lightHead = nullptr;
    for (size_t i = lights.size(); i-- > 0;) {
        lights[i]->m_lightNext = m_lightHead;
        lights[i]->m_lightPrev = nullptr;
        if (m_lightHead) m_lightHead->m_lightPrev = lights[i];
        m_lightHead = lights[i];
    }
}

// ---------------------------------------------------------------------------
// The render.

void CE3DCamera::BuildOwnMatrix(const CE3DView* view) {
    // Exact sines here: roll about z, then yaw about y, then pitch about x,
    // the position, then the view record's world matrix.
    const float cr = Math_Cos(m_roll), sr = Math_Sin(m_roll);
    const float cy = Math_Cos(m_yaw), sy = Math_Sin(m_yaw);
    const float cp = Math_Cos(m_pitch), sp = Math_Sin(m_pitch);
    const E3DMatrix43 rz = {{cr, sr, 0}, {-sr, cr, 0}, {0, 0, 1}, {0, 0, 0}};
    const E3DMatrix43 ry = {{cy, 0, -sy}, {0, 1, 0}, {sy, 0, cy}, {0, 0, 0}};
    const E3DMatrix43 rx = {{1, 0, 0}, {0, cp, sp}, {0, -sp, cp}, {0, 0, 0}};
    E3DMatrix43 a, b;
    E3D_Matrix43Multiply(a, rz, ry);
    E3D_Matrix43Multiply(b, a, rx);
    for (int i = 0; i < 3; ++i) b[3][i] = m_position[i];
    E3DMatrix43 viewWorld;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 3; ++c) viewWorld[r][c] = view ? view->world.m[r][c] : g_E3DIdentity43[r][c];
    E3DMatrix43 own;
    E3D_Matrix43Multiply(own, b, viewWorld);
    if (memcmp(own, m_world, sizeof own) != 0) {
        // Every frame of the scene inherits it.
        E3D_Matrix43Copy(m_world, own);
        for (CE3DFrame* c = m_firstChild; c; c = c->m_siblingNext) c->Invalidate();
    }
    E3D_Matrix43To44(m_world, &m_render);
}

void CE3DCamera::SetupView(CE3DViewport* viewport) {
    if (!m_sceneData->activeHead || !viewport) return;
    m_device = viewport->m_device;
    m_d3dDevice = m_device ? m_device->m_device : nullptr;
    m_viewport = viewport;
    if (!m_d3dDevice) return;
    m_rendering = true;
    m_sceneData->facingView = viewport->m_view;
    BuildOwnMatrix(viewport->m_view);
    if (m_sphereCapacity < m_sphereTarget) GrowSpheres(m_sphereTarget + 1000);
    m_gathered = 0;
    m_stats = SE3DRenderStats();

    for (SE3DFrameWalk w(m_sceneData->activeHead, SE3DFrameWalk::kActive); CE3DFrame* f = w.Next();) {
        if (f->m_flagsA & kFrameNotUpdated) {
            f->m_flagsA &= uint8_t(~kFrameNotUpdated);
            f->Invalidate();
            f->ResetMatrixHistory();
        }
        if (!(f->m_flagsA & kFrameQueued)) {
            int depth = 0;
            f->UpdateRenderMatrix(&depth);
        }
    }
    for (CE3DLight* l = m_lightHead; l;) {
        CE3DLight* next = l->m_lightNext;
        l->m_sphereIndex = -1;
        if (!(l->m_flagsA & (kFrameNotUpdated | kFrameQueued))) l->GatherSphere(this);
        l = next;
    }
    for (SE3DFrameWalk w(m_sceneData->activeHead, SE3DFrameWalk::kActive); CE3DFrame* f = w.Next();) {
        if (f->m_flagsA & (kFrameNotUpdated | kFrameQueued)) continue;
        int depth = 0;
        f->Update(&depth);
    }
    m_d3dDevice->SetTransform(D3DTRANSFORMSTATE_WORLD, g_E3DIdentity44);
    if (m_gathered > 0) {
        D3DResult r = m_d3dDevice->ComputeSphereVisibility(m_sphereCentres, m_sphereRadii,
                                                           uint32_t(m_gathered), 0, m_results);
        if (r) {
            // Without an answer everything counts as in view.
            E3DErrorText(m_screen ? m_screen->m_engine : nullptr, r);
            memset(m_results, 0, sizeof(uint32_t) * size_t(m_gathered));
        }
    }
    m_stats.gatheredSpheres = m_gathered;
}

void CE3DCamera::ChoosePassLevel() {
    const D3DDEVICEDESC7& caps = m_device->m_reportedCaps;
    const uint32_t simultaneous = caps.wMaxSimultaneousTextures, stages = caps.wMaxTextureBlendStages;
    const uint32_t coordSets = caps.dwFVFCaps & 0xffff;
    if (m_params.multitextureOn && simultaneous > 1 && stages > 2 && coordSets > 2)
        m_passLevel = 2;
    else if (m_params.multitextureOn && simultaneous > 1 && stages > 1 && coordSets > 1)
        m_passLevel = 1;
    else
        m_passLevel = 0;
    if (m_params.forcedPassLevel != -1) {
        for (uint32_t s = 1; s <= 2; ++s) {
            m_device->SetTextureStageState(s, D3DTSS_COLOROP, D3DTOP_DISABLE);
            m_device->SetTextureStageState(s, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
        }
        m_passLevel = uint32_t(std::min(std::max(m_params.forcedPassLevel, 0), 2));
    }
}

void CE3DCamera::RenderScene(CE3DViewport* viewport) {
    if (!m_sceneData->activeHead || !viewport || !m_rendering || !m_d3dDevice) {
        m_rendering = false;
        return;
    }
    m_viewport = viewport;
    ChoosePassLevel();
    m_device->SetRenderState(D3DRENDERSTATE_AMBIENT, m_params.ambient);

    // Lights take the device's slots in list order; slots the last render
    // used and this one does not are switched off. A light whose
    // description did not change is not sent again (the device keeps it).
    int32_t maxSlots = int32_t(m_device->m_reportedCaps.dwMaxActiveLights);
    if (m_params.maxLights > 0 && m_params.maxLights < maxSlots) maxSlots = m_params.maxLights;
    int32_t slot = 0;
    for (CE3DLight* l = m_lightHead; l;) {
        CE3DLight* next = l->m_lightNext;
        if (!(l->m_flagsA & (kFrameNotUpdated | kFrameQueued))) l->Apply(this, &slot, maxSlots);
        l = next;
    }
    for (int32_t i = slot; i < m_enabledLights; ++i) m_device->LightEnable(uint32_t(i), false);
    m_enabledLights = slot;
    m_stats.enabledLights = slot;

    for (SE3DFrameWalk w(m_sceneData->activeHead, SE3DFrameWalk::kActive); CE3DFrame* f = w.Next();) {
        if (f->m_flagsA & (kFrameNotUpdated | kFrameQueued)) continue;
        int depth = 0;
        f->Render(&depth);
    }
    m_rendering = false;
}

void CE3DCamera::SortByDepth(int32_t first, int32_t last) {
    // Quicksort on the middle key, largest first; recursion on the left part,
    // a loop on the right one.
    while (first < last) {
        const float pivot = m_keyBuffer[m_orderBuffer[(first + last) / 2]];
        int32_t i = first, j = last;
        while (i <= j) {
            while (m_keyBuffer[m_orderBuffer[i]] > pivot) ++i;
            while (m_keyBuffer[m_orderBuffer[j]] < pivot) --j;
            if (i <= j) {
                std::swap(m_orderBuffer[i], m_orderBuffer[j]);
                ++i;
                --j;
            }
        }
        if (first < j) SortByDepth(first, j);
        first = i;
    }
}
