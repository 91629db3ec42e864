// CE3DViewport: a rectangle of the back buffer that one camera renders into
// through one device. It owns the view record (world, view and projection
// matrices), holds the Direct3D viewport and the terms that project world
// points to its pixels, clears its rectangle and drives its camera's scene
// render once per frame.
#pragma once

#include <cstdint>

#include "e3d/View.h"
#include "platform/d3d/D3DTypes.h"

class CE3DDevice;
class CE3DEngine;
class CE3DViewport;

// What a viewport needs of the camera it is attached to. The camera frame
// implements it; it keeps the count and the head of its viewport list.
class IE3DViewportCamera {
public:
    virtual ~IE3DViewportCamera() = default;
    virtual void ViewportAttached(CE3DViewport* viewport) = 0;  // frame message 1
    virtual void SetAmbient(uint32_t rgb) = 0;                  // 0x00RRGGBB
    virtual void SetupView(CE3DViewport* viewport) = 0;
    virtual void RenderScene(CE3DViewport* viewport) = 0;
    // After the viewport left the camera's list.
    virtual void ViewportDetached(CE3DViewport*) {}

    int32_t m_viewportCount = 0;
    CE3DViewport* m_viewports = nullptr;
};

class CE3DViewport {
public:
    explicit CE3DViewport(CE3DDevice* device);
    virtual ~CE3DViewport();
    CE3DViewport(const CE3DViewport&) = delete;
    CE3DViewport& operator=(const CE3DViewport&) = delete;

    bool SetRect(int32_t x, int32_t y, int32_t width, int32_t height);
    bool Attach(IE3DViewportCamera* camera);
    void Render(const int64_t* gameTime);

    // Picking (e3d/ViewportPick.cpp). Screen points are in pixels of the
    // viewport, (0, 0) its top-left corner, with pixel centres on whole
    // coordinates as the device draws them (the view's centre is width / 2).
    //
    // The unit direction of the view ray through the screen point.
    void ViewRay(float x, float y, float direction[3]) const;
    // Where the ray through the point meets the ground (y = 0), or the plane
    // y = height. A ray that never comes down to the plane in front of the
    // eye (parallel to it, or meeting it behind the eye) gives the ground
    // point of the last call that found one (the origin before any).
    D3DVECTOR* ScreenToRay(D3DVECTOR* out, float x, float y);
    D3DVECTOR* ScreenToRayAtDepth(D3DVECTOR* out, float x, float y, float height);
    // Keeps the ray's direction as the pick direction for RaySphere.
    void ComputePickRay(float x, float y);
    // Whether the pick ray from the eye passes through the sphere; the
    // distance of the centre from the ray comes back. A centre behind the eye
    // is never hit.
    bool RaySphere(const D3DVECTOR& centre, float radius, float* distance) const;
    // Half the view's extent at the target's distance (the game view scrolls by them).
    float GetFovScaleX() const;
    float GetFovScaleY() const;
    // A world point to its pixel through the combined matrix, rounded to the
    // nearest; false (and the pixel far off the view) for a point at or
    // behind the eye.
    bool ProjectPoint(int32_t pixel[2], const D3DVECTOR& world) const;
    // The same in floats with the point's depth (its distance along the view
    // axis): a depth of 0 or less means behind the camera, and the position
    // is then the viewport's centre.
    void ProjectPoint(const D3DVECTOR& world, float* x, float* y, float* depth) const;

    uint32_t m_nodeType = 5;
    float m_scaleX = 0.0f, m_scaleY = 0.0f;
    float m_centreX = 0.0f, m_centreY = 0.0f;
    D3DMATRIX m_combined;  // view times projection
    CE3DDevice* m_device;
    CE3DEngine* m_engine;
    CE3DView* m_view;
    uint32_t m_reserved = 0;
    IE3DViewportCamera* m_camera = nullptr;
    CE3DViewport* m_next = nullptr;
    CE3DViewport* m_prev = nullptr;
    D3DVIEWPORT7 m_d3dViewport{0, 0, 0, 0, 0.0f, 1.0f};
    int32_t m_x = 0, m_y = 0, m_width = 0, m_height = 0;
    int32_t m_cameraSlot = 0;
    uint32_t m_clearWord = 0;
    int32_t m_clearColor[3] = {0, 0, 0};
    int32_t m_ambientColor[3] = {25, 25, 25};
    float m_pickDirection[3] = {0.0f, 0.0f, 0.0f};
    D3DVECTOR m_lastGround{0.0f, 0.0f, 0.0f};

private:
    void Detach();
};
