// The stored light record of the content (little-endian):
//   version 20 on: diffuse, ambient, specular (4 floats r, g, b, a each);
//     u32 type (1 point, 2 spot, 3 directional); floats attenuation 0, 1, 2,
//     falloff, phi, range, theta; u8 enabled; local position (3 floats);
//     Euler angles (3 floats);
//   versions 13 to 19: diffuse, type, the seven floats, enabled, position,
//     angles (no ambient, no specular);
//   version 12: diffuse, type and the seven floats only;
//   below 12: nothing.
// A light reads it through E3DLightRecord_Read, which changes only the fields
// the version stores and refuses a cut record or an unknown light type.
#pragma once

#include <cstdint>

#include "platform/d3d/D3DTypes.h"

class CVFSFile;

struct SE3DLightRecord {
    D3DCOLORVALUE diffuse{1.0f, 1.0f, 1.0f, 0.0f};
    D3DCOLORVALUE ambient{0.0f, 0.0f, 0.0f, 0.0f};
    D3DCOLORVALUE specular{1.0f, 1.0f, 1.0f, 0.0f};
    uint32_t type = D3DLIGHT_POINT;
    float attenuation[3] = {0.0f, 0.0f, 1.0f};
    float falloff = 0.0f;
    float phi = 0.0f;
    float range = 1.0f;
    float theta = 0.0f;
    uint8_t enabled = 1;
    float position[3] = {0, 0, 0};
    float angles[3] = {0, 0, 0};
};

// False (and the record unchanged) when the record is cut short or names an
// unknown type.
bool E3DLightRecord_Read(CVFSFile& file, int version, SE3DLightRecord* record);
