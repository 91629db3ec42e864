#include "core/Determinism.h"
// (the lockstep guard first: the camera roots the simulation's frame tree)

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/ListLinks.h"
#include "e3d/Camera.h"
#include "e3d/Device.h"
#include "e3d/Engine.h"
#include "e3d/Light.h"
#include "e3d/Material.h"
#include "e3d/Screen.h"
#include "e3d/VertexList.h"
#include "e3d/Viewport.h"
#include "platform/d3d/D3DDeviceState.h"
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

namespace {
using SLightLinks = SListLinks<CE3DLight, &CE3DLight::m_lightNext, &CE3DLight::m_lightPrev>;
}

void CE3DCamera::AddLight(CE3DLight* light) {
    SLightLinks::Push(m_lightHead, light);
    ++m_lightCount;
}

void CE3DCamera::RemoveLight(CE3DLight* light) {
    if (!light->m_lightPrev && m_lightHead != light) return;  // not in this list
    SLightLinks::Unlink(m_lightHead, light);
    --m_lightCount;
}

void CE3DCamera::SortLights() {
    if (m_lightCount < 2) return;
    std::vector<CE3DLight*> lights;
    for (CE3DLight* l = m_lightHead; l; l = l->m_lightNext) lights.push_back(l);
    std::stable_sort(lights.begin(), lights.end(),
                     [](const CE3DLight* a, const CE3DLight* b) { return a->m_priority < b->m_priority; });
    m_lightHead = nullptr;
    for (size_t i = lights.size(); i-- > 0;) SLightLinks::Push(m_lightHead, lights[i]);
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
    // The scene's own states: its ambient light, depth test and fog.
    m_device->SetRenderState(D3DRENDERSTATE_AMBIENT, m_params.ambient);
    m_device->SetRenderState(D3DRENDERSTATE_ZENABLE, m_params.zBufferOn ? D3DZB_TRUE : D3DZB_FALSE);
    if (m_params.fogOn) {
        m_device->SetRenderState(D3DRENDERSTATE_FOGCOLOR, m_params.fogColor);
        m_device->SetRenderState(D3DRENDERSTATE_FOGTABLEMODE, m_params.fogTableMode);
        m_device->SetRenderState(D3DRENDERSTATE_FOGSTART, D3D_FloatBits(m_params.fogStart));
        m_device->SetRenderState(D3DRENDERSTATE_FOGEND, D3D_FloatBits(m_params.fogEnd));
        m_device->SetRenderState(D3DRENDERSTATE_FOGDENSITY, D3D_FloatBits(m_params.fogDensity));
    }

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

    m_sorted.clear();
    m_late.clear();
    for (SE3DFrameWalk w(m_sceneData->activeHead, SE3DFrameWalk::kActive); CE3DFrame* f = w.Next();) {
        if (f->m_flagsA & (kFrameNotUpdated | kFrameQueued)) continue;
        int depth = 0;
        f->Render(&depth);
    }
    SE3DPassLimits limits;
    PassLimits(m_device, &limits);
    DrawOpaque(limits);
    DrawTranslucent(limits);
    DrawLate(limits);
    m_rendering = false;
}

// ---------------------------------------------------------------------------
// Drawing what the frames queued.

const D3DMATRIX& CE3DCamera::ViewMatrix() const {
    return m_viewport && m_viewport->m_view ? m_viewport->m_view->view : g_E3DIdentity44;
}

void CE3DCamera::QueueTranslucent(CE3DVertexList* list, bool late) {
    if (!list) return;
    if (late) {
        m_late.push_back(list);
        return;
    }
    // The depth of the list's frame along the view: farther lists first.
    float key = 0.0f;
    if (const CE3DFrame* owner = list->m_owner) {
        const D3DMATRIX& v = ViewMatrix();
        const float* p = owner->m_render.m[3];
        key = p[0] * v.m[0][2] + p[1] * v.m[1][2] + p[2] * v.m[2][2] + v.m[3][2];
    }
    m_sorted.push_back(SQueued{list, key});
    ++m_stats.sortedTransparent;
}

void CE3DCamera::ListGone(CE3DVertexList* list) {
    // Only a render under way holds queued lists (a frame's Render deleted
    // a mesh that was walked before it).
    if (!m_rendering || !list) return;
    m_sorted.erase(
        std::remove_if(m_sorted.begin(), m_sorted.end(), [&](const SQueued& q) { return q.list == list; }),
        m_sorted.end());
    m_late.erase(std::remove(m_late.begin(), m_late.end(), list), m_late.end());
    if (CE3DMaterial* m = list->m_material)
        for (CE3DVertexList** q : {&m->m_triangleQueue, &m->m_otherQueue})
            for (CE3DVertexList** at = q; *at; at = &(*at)->m_nextQueued)
                if (*at == list) {
                    *at = list->m_nextQueued;
                    break;
                }
}

void CE3DCamera::PassLimits(const CE3DDevice* device, SE3DPassLimits* limits) const {
    auto clamp8 = [](uint32_t v) { return uint8_t(v > 255 ? 255 : v); };
    limits->maxFillMode = clamp8(m_params.maxFillMode);
    limits->maxShadeMode = clamp8(m_params.maxShadeMode);
    limits->maxMagFilter = clamp8(m_params.maxMagFilter);
    limits->maxMinFilter = clamp8(m_params.maxMinFilter);
    limits->maxMipFilter =
        clamp8(m_params.maxMipFilter + 1);  // the parameter counts from 0, the filters from 1
    limits->lodBias =
        device && (device->m_reportedCaps.dpcTriCaps.dwRasterCaps & D3DPRASTERCAPS_MIPMAPLODBIAS);
    limits->culling = m_params.cullingOn;
    limits->textures = m_params.texturesOn;
    limits->alphaBlending = m_params.alphaBlendingOn;
    limits->fog = m_params.fogOn;
    limits->rangeFog = m_params.rangeFogOn;
    limits->antialiasing = m_params.antialiasingOn;
    limits->stippledAlpha = m_params.stippledAlphaOn;
    limits->colorVertex = m_params.colorVertexOn;
    limits->dither = m_params.ditherOn;
}

void CE3DCamera::DrawOpaque(const SE3DPassLimits& limits) {
    if (!m_screen) return;
    SE3DDrawCounts counts;
    for (CE3DMaterial* m = m_screen->m_materials; m; m = m->m_next)
        m->DrawQueued(m_device, StageLevel(), m_params.lightingOn, limits, &counts);
    m_stats.drawCalls += counts.draws;
    m_stats.primitives += counts.primitives;
}

void CE3DCamera::DrawTranslucent(const SE3DPassLimits& limits) {
    // Farthest first; lists at the same depth keep the order they came in.
    std::stable_sort(m_sorted.begin(), m_sorted.end(),
                     [](const SQueued& a, const SQueued& b) { return a.key > b.key; });
    for (const SQueued& q : m_sorted) DrawWithPasses(q.list, limits, true);
    m_sorted.clear();
}

void CE3DCamera::DrawLate(const SE3DPassLimits& limits) {
    for (CE3DVertexList* l : m_late) DrawWithPasses(l, limits, false);
    m_late.clear();
}

uint32_t CE3DCamera::SortFaces(CE3DVertexList* list) {
    const uint32_t perFace = list->m_perFace ? list->m_perFace : 3;
    const uint32_t indexCount = list->m_drawIndices;
    const uint32_t faces = indexCount / perFace;
    const uint16_t* indices = list->Indices();
    // The scratch buffers hold 65535 entries: a larger list is drawn unsorted.
    if (!indices || faces < 2 || indexCount > uint32_t(kE3DSortScratch) || !m_keyBuffer) return 0;
    if ((list->m_format & D3DFVF_POSITION_MASK) != D3DFVF_XYZ || list->m_stride < 12) return 0;
    // Each vertex's depth through world, view and projection; the w term is
    // the depth along the view axis, which orders the faces as z / w does in
    // front of the eye and stays sane behind it.
    const D3DMATRIX m = D3D_Multiply(
        D3D_Multiply(list->m_owner ? list->m_owner->m_render : g_E3DIdentity44, m_viewport->m_view->view),
        m_viewport->m_view->projection);
    m_vertexDepths.resize(list->m_vertexCount);
    const uint8_t* v = list->Vertices();
    for (uint32_t i = 0; i < list->m_vertexCount; ++i, v += list->m_stride) {
        float p[3];
        memcpy(p, v, sizeof p);
        m_vertexDepths[i] = p[0] * m.m[0][3] + p[1] * m.m[1][3] + p[2] * m.m[2][3] + m.m[3][3];
    }
    for (uint32_t f = 0; f < faces; ++f) {
        float key = 0.0f;
        for (uint32_t k = 0; k < perFace; ++k) {
            const uint16_t index = indices[f * perFace + k];
            key += index < list->m_vertexCount ? m_vertexDepths[index] : 0.0f;
        }
        m_keyBuffer[f] = key;
        m_orderBuffer[f] = uint16_t(f);
    }
    SortByDepth(0, int32_t(faces) - 1);
    for (uint32_t j = 0; j < faces; ++j)
        for (uint32_t k = 0; k < perFace; ++k)
            m_indexBuffer[j * perFace + k] = indices[m_orderBuffer[j] * perFace + k];
    return faces * perFace;
}

void CE3DCamera::DrawWithPasses(CE3DVertexList* list, const SE3DPassLimits& limits, bool sortFaces) {
    CE3DMaterial* material = list->m_material;
    if (!material || !list->m_vertexCount) return;
    const bool particles = list->m_owner && list->m_owner->m_type == kE3DFrameEmitter;
    const uint16_t* indices = list->Indices();
    uint32_t indexCount = list->m_drawIndices;
    if (sortFaces && !particles) {
        if (uint32_t sorted = SortFaces(list)) {
            indices = m_indexBuffer;
            indexCount = sorted;
        }
    }
    material->ApplyDrawStates(m_device, m_params.lightingOn, limits);
    if (list->m_owner) m_d3dDevice->SetTransform(D3DTRANSFORMSTATE_WORLD, list->m_owner->m_render);
    const int level = material->DrawLevel(StageLevel());
    // Lines and points by the device's capabilities for them.
    SE3DPassLimits passLimits = limits;
    passLimits.lines = !particles && list->m_primitive < D3DPT_TRIANGLELIST;
    for (CE3DMaterialPass* p = material->Passes(level); p; p = p->m_next) {
        p->Apply(m_device, passLimits);
        if (particles) {
            // A particle emitter's vertices: one triangle list, no indices.
            m_d3dDevice->DrawPrimitive(D3DPT_TRIANGLELIST, list->m_format, list->Vertices(),
                                       list->m_vertexCount, 0, &list->Kept());
            CountDraw(int32_t(list->m_vertexCount / 3));
        } else {
            int32_t primitives = 0;
            if (list->Draw(m_d3dDevice, indices, indexCount, &primitives)) CountDraw(primitives);
        }
    }
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
