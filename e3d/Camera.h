// CE3DCamera: the root of a scene and its render.
//
// A camera is built without a parent; every frame below it names it as its
// scene. It keeps the scene's lists (through the frame tree), its lights in
// priority order, its drawing parameters and the state of one render. The
// viewport attached to it renders it once per frame: SetupView brings the
// render matrices of the active frames up to date (blended between the last
// two logic ticks), lets every frame gather its bounding sphere and tests all
// spheres against the view at once; RenderScene gives the device's light
// slots to the lights in priority order and walks the active frames, whose
// Render draws what is in view (meshes queue their vertex lists by
// material, the camera then draws opaque work material by material, then the
// transparent work sorted back to front, then the late work).
//
// A camera without a screen is a plain scene root with the camera's lists: a
// dedicated server and the world's tests run the tree without a display.
#pragma once

#include <cstdint>
#include <vector>

#include "e3d/Frame.h"
#include "e3d/Mesh.h"
#include "e3d/Viewport.h"

class CE3DDevice;
class CE3DEmitter;
class CE3DLight;
class CE3DVertexList;
struct SE3DPassLimits;
class CE3DScreen;
class CE3DViewport;
class ID3DDevice;

// The scene's drawing switches and limits. The state routines clamp each
// render state by these and degrade it by the device's capabilities.
struct SE3DRenderParams {
    uint32_t fogColor = 0;
    uint32_t ambient = 0;
    uint32_t maxFillMode = 3;
    uint32_t maxShadeMode = 2;
    uint32_t maxMagFilter = 5;
    uint32_t maxMinFilter = 3;
    uint32_t maxMipFilter = 2;
    uint32_t mipBiasLimit = 0;
    uint32_t fogTableMode = 3;
    float fogStart = 1.0f;
    float fogEnd = 100.0f;
    float fogDensity = 1.0f;
    int32_t forcedPassLevel = -1;  // -1: chosen from the device
    uint32_t limits[3] = {2048, 1024, 8};
    bool texturesOn = true;
    bool zBufferOn = true;
    bool cullingOn = true;
    bool flag1 = true;
    bool alphaBlendingOn = true;
    bool fogOn = false;
    bool rangeFogOn = false;
    bool antialiasingOn = false;
    bool flags[7] = {true, true, false, false, true, false, false};
    bool colorVertexOn = true;
    bool multitextureOn = true;
    bool stippledAlphaOn = true;
    bool flag2 = true;
    bool lightingOn = true;
    bool flag3 = false;
    bool ditherOn = true;   // DITHERENABLE where the device dithers
    int32_t maxLights = 0;  // 0: as many as the device has
};

// What one render did.
struct SE3DRenderStats {
    int32_t primitives = 0;
    int32_t drawCalls = 0;
    int32_t sortedTransparent = 0;
    int32_t enabledLights = 0;
    int32_t gatheredSpheres = 0;
};

// Visibility result bits of a sphere that lies wholly outside the view (one
// of the clip planes, or beyond the depth range).
constexpr uint32_t kE3DSphereOutside = 0x00FFF000;
constexpr uint32_t kE3DLightOutside = 0x01FFF000;

class CE3DCamera : public CE3DFrame, public IE3DViewportCamera, public IE3DMeshScene {
public:
    // Joins the screen's camera list (a null screen: a root for a scene that
    // is never drawn).
    explicit CE3DCamera(CE3DScreen* screen);
    ~CE3DCamera() override;

    void Message(int code, void* data) override;

    void InitRenderParameters() { m_params = SE3DRenderParams(); }
    // Deactivates every active frame that is not a lightning, beam, light or
    // emitter (the game clears its objects and keeps its effects).
    void DeactivateNonEffects();

    void SetupView(CE3DViewport* viewport) override;
    void RenderScene(CE3DViewport* viewport) override;
    // What the viewports tell the camera: attaching sends frame message 1;
    // the ambient colour comes from the viewport at each render.
    void ViewportAttached(CE3DViewport* viewport) override { Message(kFrameMsgViewportAttached, viewport); }
    void ViewportDetached(CE3DViewport* viewport) override;
    void SetAmbient(uint32_t rgb) override { m_params.ambient = rgb; }

    // --- what the meshes of the scene ask (IE3DMeshScene).
    void CountMesh(int delta) override { m_sphereTarget += delta; }
    int32_t AddBoundingSphere(float radius, const float centre[3]) override {
        return AddSphere(centre, radius);
    }
    uint32_t Visibility(int32_t index) override { return SphereResult(index); }
    int StageLevel() const override { return int(m_passLevel) + 1; }
    bool AllowsBlending() const override { return m_params.alphaBlendingOn; }
    // A translucent vertex list of this render: sorted back to front by the
    // depth of its frame, or drawn last in the order queued.
    void QueueTranslucent(CE3DVertexList* list, bool late) override;
    const D3DMATRIX& ViewMatrix() const override;
    void ListGone(CE3DVertexList* list) override;

    // --- for the frames during a render.
    // Appends a bounding sphere to test in this render; the index to read its
    // result with. -1 outside a render.
    int32_t AddSphere(const float centre[3], float radius);
    // The visibility bits of a sphere added in this render; a sphere that was
    // not added reads as outside.
    uint32_t SphereResult(int32_t index) const;
    bool SphereInView(int32_t index) const { return !(SphereResult(index) & kE3DSphereOutside); }
    // The device interface while a render runs (null otherwise).
    ID3DDevice* Device() const { return m_d3dDevice; }
    CE3DDevice* EngineDevice() const { return m_device; }
    // Counts a draw of the render's statistics.
    void CountDraw(int32_t primitives) {
        ++m_stats.drawCalls;
        m_stats.primitives += primitives;
    }
    // What the scene's parameters allow a material's passes on the device
    // (null: no device, no mip bias).
    void PassLimits(const CE3DDevice* device, SE3DPassLimits* limits) const;
    // Sorting scratch: the order buffer's entries first to last by their keys
    // in the key buffer, largest key first.
    void SortByDepth(int32_t first, int32_t last);

    // --- the scene's lights (each light joins and leaves itself).
    void AddLight(CE3DLight* light);
    void RemoveLight(CE3DLight* light);
    // Stable, ascending by priority.
    void SortLights();

    int32_t m_sphereTarget = 0;  // spheres the scene may gather in one render
    float* m_sphereRadii = nullptr;
    D3DVECTOR* m_sphereCentres = nullptr;
    uint32_t* m_results = nullptr;
    int32_t m_sphereCapacity = 0;
    int32_t m_gathered = 0;
    CE3DLight* m_lightHead = nullptr;
    int32_t m_lightCount = 0;
    CE3DEmitter* m_emitterHead = nullptr;  // the scene's particle emitters (each joins and leaves itself)
    int32_t m_emitterCount = 0;
    SE3DRenderParams m_params;
    CE3DViewport* m_viewport = nullptr;  // the one rendering now
    int32_t m_enabledLights = 0;
    uint32_t m_passLevel = 0;  // 0, 1 or 2: passes of 1, 2 or 3 texture stages
    SE3DRenderStats m_stats;
    // The engine's scratch buffers for the depth sort.
    float* m_keyBuffer = nullptr;
    uint16_t* m_orderBuffer = nullptr;
    uint16_t* m_indexBuffer = nullptr;
    bool m_rendering = false;

private:
    struct SQueued {
        CE3DVertexList* list;
        float key;
    };
    void BuildOwnMatrix(const CE3DView* view);
    void DrawOpaque(const SE3DPassLimits& limits);
    void DrawTranslucent(const SE3DPassLimits& limits);
    void DrawLate(const SE3DPassLimits& limits);
    // One translucent list with its material's passes; sorted lists have
    // their faces drawn farthest first.
    void DrawWithPasses(CE3DVertexList* list, const SE3DPassLimits& limits, bool sortFaces);
    // The list's faces, farthest first, into the engine's index buffer; the
    // number of indices, or 0 when the list cannot be sorted there.
    uint32_t SortFaces(CE3DVertexList* list);

    std::vector<SQueued> m_sorted;
    std::vector<CE3DVertexList*> m_late;
    std::vector<float> m_vertexDepths;
    void GrowSpheres(int32_t capacity);
    void ChoosePassLevel();

    CE3DDevice* m_device = nullptr;
    ID3DDevice* m_d3dDevice = nullptr;
};
