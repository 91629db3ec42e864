// CE3DLight: a light of the scene, as a frame. It carries one device light
// description (point, spot or directional; colours, range, attenuation and
// cone) and sits in its scene camera's light list, which is kept in priority
// order (smaller first) whenever a priority is set. Each render the camera
// gives the device's light slots to the lights in list order, as many as the
// device has, leaving out point and spot lights whose sphere of influence is
// out of view and lights that are switched off.
#pragma once

#include <cstdint>

#include "e3d/Frame.h"
#include "platform/d3d/D3DTypes.h"

class CE3DCamera;
class CVFSFile;

class CE3DLight : public CE3DFrame {
public:
    // A white point light of range 1 and priority 100 under the parent,
    // active when it sits right below the scene root.
    explicit CE3DLight(CE3DFrame* parent);
    ~CE3DLight() override;

    // Messages 3 and 4 switch the light on and off; all go down the tree.
    void Message(int code, void* data) override;

    void SetPriority(int32_t priority);
    void SetColor(float r, float g, float b);
    void SetRange(float range);
    void SetAttenuation(float a0, float a1, float a2);
    void SetType(uint32_t type);
    // The description's position (and for spot and directional lights its
    // direction) from the frame's world matrix.
    void UpdateDirection();
    // The other light's description, switch, local position and angles.
    void CopyFrom(const CE3DLight& other);
    // The stored light record of a file version (e3d/LightRecord.h): the
    // fields that version stores, then UpdateDirection. False when the record
    // is refused (the light keeps what it had).
    bool Load(CVFSFile& file, int version);

    // The render's two steps (called by the scene camera): append the sphere
    // of a point or spot light to the view test, then take the next device
    // slot when in view, switched on and a slot is left.
    void GatherSphere(CE3DCamera* camera);
    void Apply(CE3DCamera* camera, int32_t* slot, int32_t maxSlots);

    int32_t m_priority = 100;
    CE3DLight* m_lightNext = nullptr;
    CE3DLight* m_lightPrev = nullptr;
    uint8_t m_enabled = 1;
    uint8_t m_active = 0;
    D3DLIGHT7 m_light;
    int32_t m_sphereIndex = -1;      // this render's sphere, -1 for none
    CE3DCamera* m_camera = nullptr;  // the scene camera whose list holds it; null under a plain root

private:
    void FromMatrix(const float position[3], const float zAxis[3]);
};
