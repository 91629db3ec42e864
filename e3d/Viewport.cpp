#include "e3d/Viewport.h"

#include <cstring>

#include "core/ListLinks.h"
#include "e3d/Device.h"
#include "e3d/Engine.h"
#include "e3d/Screen.h"
#include "e3d/Timer.h"
#include "platform/d3d/D3DDeviceState.h"

namespace {
using SViewportLinks = SListLinks<CE3DViewport, &CE3DViewport::m_next, &CE3DViewport::m_prev>;
}

CE3DViewport::CE3DViewport(CE3DDevice* device)
    : m_device(device),
      m_engine(device && device->m_screen ? device->m_screen->m_engine : nullptr),
      m_view(new CE3DView(this)) {
    m_combined = D3D_Identity();
    if (m_device) m_device->AddViewport(this);
}

CE3DViewport::~CE3DViewport() {
    delete m_view;
    Detach();
    if (m_device) m_device->RemoveViewport(this);
}

void CE3DViewport::Detach() {
    if (!m_camera) return;
    --m_camera->m_viewportCount;
    SViewportLinks::Unlink(m_camera->m_viewports, this);
    IE3DViewportCamera* camera = m_camera;
    m_camera = nullptr;
    camera->ViewportDetached(this);
}

bool CE3DViewport::SetRect(int32_t x, int32_t y, int32_t width, int32_t height) {
    m_x = x;
    m_y = y;
    m_width = width;
    m_height = height;
    if (width < 1 || height < 1) return false;
    m_d3dViewport = D3DVIEWPORT7{uint32_t(x), uint32_t(y), uint32_t(width), uint32_t(height), 0.0f, 1.0f};
    m_scaleX = m_centreX = float(width) * 0.5f;
    m_scaleY = m_centreY = float(height) * 0.5f;
    return true;
}

bool CE3DViewport::Attach(IE3DViewportCamera* camera) {
    Detach();
    if (camera) {
        m_camera = camera;
        m_cameraSlot = camera->m_viewportCount;
        ++camera->m_viewportCount;
        SViewportLinks::Push(camera->m_viewports, this);
        camera->ViewportAttached(this);
    }
    return true;
}

void CE3DViewport::Render(const int64_t* gameTime) {
    if (m_width < 1 || m_height < 1 || !m_device) return;
    CE3DScreen* screen = m_device->m_screen;
    if (m_x < 0 || m_y < 0 || m_x > screen->m_width - 1 || m_y > screen->m_height - 1) return;
    ID3DDevice* d = m_device->m_device;
    if (!d) return;
    if (gameTime && m_engine && m_engine->m_timer) m_engine->m_timer->SetDrawnTime(*gameTime);
    D3DRECT rect{m_x, m_y, m_x + m_width, m_y + m_height};
    m_clearWord = uint32_t(m_clearColor[0] * 65536 | m_clearColor[1] * 256 | m_clearColor[2]);
    uint32_t ambient = uint32_t(m_ambientColor[0] * 65536 | m_ambientColor[1] * 256 | m_ambientColor[2]);
    if (m_camera) m_camera->SetAmbient(ambient);
    D3DResult r;
    if ((r = d->SetTransform(D3DTRANSFORMSTATE_WORLD, m_view->world))) E3DErrorText(m_engine, r);
    if ((r = d->SetTransform(D3DTRANSFORMSTATE_VIEW, m_view->view))) E3DErrorText(m_engine, r);
    if ((r = d->SetTransform(D3DTRANSFORMSTATE_PROJECTION, m_view->projection))) E3DErrorText(m_engine, r);
    if ((r = d->SetViewport(m_d3dViewport))) E3DErrorText(m_engine, r);
    // A lost surface gives up the frame after restoring; any other failure
    // still keeps the timer running.
    auto failed = [&](D3DResult code) {
        E3DErrorText(m_engine, code);
        if (code == DDERR_SURFACELOST)
            screen->RestoreSurfaces();
        else if (m_engine && m_engine->m_timer)
            m_engine->m_timer->Update(gameTime);
    };
    r = d->Clear(1, &rect, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, m_clearWord, 1.0f, 0);
    if (r) return failed(r);
    r = d->BeginScene();
    if (r) return failed(r);
    if (m_camera) {
        m_camera->SetupView(this);
        m_camera->RenderScene(this);
    }
    if ((r = d->EndScene())) E3DErrorText(m_engine, r);
    if (m_engine && m_engine->m_timer) m_engine->m_timer->Update(gameTime);
    m_combined = D3D_Multiply(m_view->view, m_view->projection);
}
