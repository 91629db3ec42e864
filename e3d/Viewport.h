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

private:
    void Detach();
};
