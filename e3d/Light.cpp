#include "core/Determinism.h"
// (the lockstep guard first: lights are frames of the simulation's tree)

#include <cstring>

#include "e3d/Camera.h"
#include "e3d/Device.h"
#include "e3d/Light.h"
#include "e3d/LightRecord.h"

CE3DLight::CE3DLight(CE3DFrame* parent) : CE3DFrame(parent) {
    m_type = kE3DFrameLight;
    memset(&m_light, 0, sizeof m_light);
    m_light.dltType = D3DLIGHT_POINT;
    m_light.dcvDiffuse = D3DCOLORVALUE{1.0f, 1.0f, 1.0f, 0.0f};
    m_light.dcvSpecular = D3DCOLORVALUE{1.0f, 1.0f, 1.0f, 0.0f};
    m_light.dvRange = 1.0f;
    m_light.dvAttenuation2 = 1.0f;
    // The switch is cleared before activating, so that the activation's
    // message switches a light right below the root on.
    m_active = 0;
    m_enabled = 1;
    CE3DFrame* root = SceneRoot();
    if (root != this && root->m_type == kE3DFrameCamera) m_camera = static_cast<CE3DCamera*>(root);
    Activate();
    // Under a frame that is active already the activation message has gone
    // by: the light is on as its branch is.
    CE3DFrame* branch = this;
    while (branch->m_parent && branch->m_parent != root) branch = branch->m_parent;
    if (branch->m_activeCount > 0) m_active = 1;
    SetPriority(100);
    // At the head of the list, whatever its priority, until the next sort.
    if (m_camera) {
        m_camera->AddLight(this);
        ++m_camera->m_sphereTarget;
    }
}

CE3DLight::~CE3DLight() {
    if (m_camera) {
        m_camera->RemoveLight(this);
        --m_camera->m_sphereTarget;
    }
}

void CE3DLight::Message(int code, void* data) {
    if (code == kFrameMsgActivated) m_active = 1;
    if (code == kFrameMsgDeactivated) m_active = 0;
    CE3DFrame::Message(code, data);
}

void CE3DLight::SetPriority(int32_t priority) {
    m_priority = priority;
    if (m_camera) m_camera->SortLights();
}

void CE3DLight::SetColor(float r, float g, float b) {
    m_light.dcvDiffuse.r = r;
    m_light.dcvDiffuse.g = g;
    m_light.dcvDiffuse.b = b;
}

void CE3DLight::SetRange(float range) {
    m_light.dvRange = range;
}

void CE3DLight::SetAttenuation(float a0, float a1, float a2) {
    m_light.dvAttenuation0 = a0;
    m_light.dvAttenuation1 = a1;
    m_light.dvAttenuation2 = a2;
}

void CE3DLight::SetType(uint32_t type) {
    if (type >= D3DLIGHT_POINT && type <= D3DLIGHT_DIRECTIONAL) m_light.dltType = type;
}

void CE3DLight::FromMatrix(const float position[3], const float zAxis[3]) {
    m_light.dvPosition = D3DVECTOR{position[0], position[1], position[2]};
    if (m_light.dltType == D3DLIGHT_SPOT || m_light.dltType == D3DLIGHT_DIRECTIONAL) {
        float d[3] = {zAxis[0], zAxis[1], zAxis[2]};
        E3D_Normalize(d, 1e-20f);  // a scaled frame still gives a unit direction
        m_light.dvDirection = D3DVECTOR{d[0], d[1], d[2]};
    }
}

void CE3DLight::UpdateDirection() {
    UpdateMatrixUp();
    FromMatrix(m_world[3], m_world[2]);
}

void CE3DLight::CopyFrom(const CE3DLight& other) {
    m_light = other.m_light;
    m_enabled = other.m_enabled;
    memcpy(m_position, other.m_position, sizeof m_position);
    m_yaw = other.m_yaw;
    m_pitch = other.m_pitch;
    m_roll = other.m_roll;
    Invalidate();
    UpdateDirection();
}

bool CE3DLight::Load(CVFSFile& file, int version) {
    SE3DLightRecord r;
    r.diffuse = m_light.dcvDiffuse;
    r.ambient = m_light.dcvAmbient;
    r.specular = m_light.dcvSpecular;
    r.type = m_light.dltType;
    r.attenuation[0] = m_light.dvAttenuation0;
    r.attenuation[1] = m_light.dvAttenuation1;
    r.attenuation[2] = m_light.dvAttenuation2;
    r.falloff = m_light.dvFalloff;
    r.phi = m_light.dvPhi;
    r.range = m_light.dvRange;
    r.theta = m_light.dvTheta;
    r.enabled = m_enabled;
    memcpy(r.position, m_position, sizeof r.position);
    r.angles[0] = m_yaw;
    r.angles[1] = m_pitch;
    r.angles[2] = m_roll;
    const bool ok = E3DLightRecord_Read(file, version, &r);
    if (ok) {
        m_light.dcvDiffuse = r.diffuse;
        m_light.dcvAmbient = r.ambient;
        m_light.dcvSpecular = r.specular;
        m_light.dltType = r.type;
        m_light.dvAttenuation0 = r.attenuation[0];
        m_light.dvAttenuation1 = r.attenuation[1];
        m_light.dvAttenuation2 = r.attenuation[2];
        m_light.dvFalloff = r.falloff;
        m_light.dvPhi = r.phi;
        m_light.dvRange = r.range;
        m_light.dvTheta = r.theta;
        m_enabled = r.enabled;
        memcpy(m_position, r.position, sizeof m_position);
        m_yaw = r.angles[0];
        m_pitch = r.angles[1];
        m_roll = r.angles[2];
        Invalidate();
    }
    UpdateDirection();
    return ok;
}

void CE3DLight::GatherSphere(CE3DCamera* camera) {
    m_sphereIndex = -1;
    if (m_light.dltType == D3DLIGHT_DIRECTIONAL || (m_flagsA & kFrameHidden)) return;
    // Where the light is drawn this frame: its render matrix.
    const float centre[3] = {m_render.m[3][0], m_render.m[3][1], m_render.m[3][2]};
    m_sphereIndex = camera->AddSphere(centre, m_light.dvRange);
}

void CE3DLight::Apply(CE3DCamera* camera, int32_t* slot, int32_t maxSlots) {
    if (m_light.dltType != D3DLIGHT_DIRECTIONAL) {
        if (m_flagsA & kFrameHidden) return;
        if (camera->SphereResult(m_sphereIndex) & kE3DLightOutside) return;
    }
    if (*slot >= maxSlots || !m_enabled || !m_active) return;
    const float position[3] = {m_render.m[3][0], m_render.m[3][1], m_render.m[3][2]};
    const float zAxis[3] = {m_render.m[2][0], m_render.m[2][1], m_render.m[2][2]};
    FromMatrix(position, zAxis);
    CE3DDevice* device = camera->EngineDevice();
    device->SetLight(uint32_t(*slot), m_light);
    device->LightEnable(uint32_t(*slot), true);
    ++*slot;
}
