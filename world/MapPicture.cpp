#include "core/Determinism.h"

#include "world/MapPicture.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "world/GameScene.h"
#include "world/ObjectTemplate.h"
#include "world/TessarakObject.h"

namespace {

struct SLook {
    const char* name;
    uint8_t r, g, b;
    float radius;  // objects: the disc's radius in map units
};

const SLook kLooks[] = {
    {"Ground_Grass", 79, 122, 53, 0.0f},  {"Ground_Sand", 194, 173, 122, 0.0f},
    {"Ground_Rock", 123, 118, 112, 0.0f}, {"Rock_Large", 150, 146, 140, 3.0f},
    {"Rock_Small", 150, 146, 140, 1.5f},  {"Tree_Pine", 30, 70, 30, 1.5f},
    {"Tree_Round", 40, 84, 34, 1.5f},     {"Game_Resource_Spot", 200, 60, 200, 2.0f},
};
const SLook kOtherGround = {"", 60, 70, 40, 0.0f};
const SLook kOtherObject = {"", 128, 128, 128, 1.5f};

const SLook& LookOf(const char* name, bool ground) {
    for (const SLook& l : kLooks)
        if (name && std::strcmp(name, l.name) == 0) return l;
    return ground ? kOtherGround : kOtherObject;
}

// The pixels whose centres lie inside the map rectangle (x0, z0)-(x1, z1),
// or inside the disc around (cx, cz) as well, take the look's colour.
void Paint(SMapPicture& p, float x0, float z0, float x1, float z1, const SLook& look, bool disc, float cx,
           float cz) {
    if (p.width <= 0 || p.height <= 0) return;
    const float left = -0.25f * float(p.width), top = 0.25f * float(p.height);
    const int px0 = std::max(0, int(std::floor(2.0f * (x0 - left))));
    const int px1 = std::min(p.width - 1, int(std::ceil(2.0f * (x1 - left))));
    const int py0 = std::max(0, int(std::floor(2.0f * (top - z1))));
    const int py1 = std::min(p.height - 1, int(std::ceil(2.0f * (top - z0))));
    for (int py = py0; py <= py1; ++py)
        for (int px = px0; px <= px1; ++px) {
            const float x = left + (float(px) + 0.5f) * 0.5f, z = top - (float(py) + 0.5f) * 0.5f;
            if (x < x0 || x > x1 || z < z0 || z > z1) continue;
            if (disc && (x - cx) * (x - cx) + (z - cz) * (z - cz) > look.radius * look.radius) continue;
            uint8_t* at = &p.rgb[(size_t(py) * size_t(p.width) + size_t(px)) * 3];
            at[0] = look.r, at[1] = look.g, at[2] = look.b;
        }
}

}  // namespace

bool MapPicture_Start(SMapPicture& p, int32_t squaresWide, int32_t squaresDeep) {
    p = SMapPicture();
    if (squaresWide < 1 || squaresDeep < 1 || squaresWide > 2048 || squaresDeep > 2048) return false;
    p.width = 2 * squaresWide;
    p.height = 2 * squaresDeep;
    p.rgb.assign(size_t(p.width) * size_t(p.height) * 3, 0);
    return true;
}

void MapPicture_PaintGround(SMapPicture& p, const char* templateName, float x, float z, float half) {
    Paint(p, x - half, z - half, x + half, z + half, LookOf(templateName, true), false, x, z);
}

void MapPicture_PaintObject(SMapPicture& p, const char* templateName, float x, float z) {
    const SLook& look = LookOf(templateName, false);
    const float r = look.radius;
    Paint(p, x - r, z - r, x + r, z + r, look, true, x, z);
}

bool MapPicture_FromScene(const CGameScene& scene, int32_t squaresWide, int32_t squaresDeep,
                          SMapPicture& out) {
    if (!MapPicture_Start(out, squaresWide, squaresDeep)) return false;
    // In the order they were made (a later tile lies over an earlier one):
    // ground (objects that stand in no grid) first, what stands on it after.
    std::vector<const CTessarakObject*> objects;
    for (const CTessarakObject* o = scene.m_allObjects; o; o = o->m_allNext) objects.push_back(o);
    std::sort(objects.begin(), objects.end(), [](const CTessarakObject* a, const CTessarakObject* b) {
        return a->m_objectId < b->m_objectId;
    });
    for (int pass = 0; pass < 2; ++pass)
        for (const CTessarakObject* o : objects) {
            const CTessarakObjectTemplate* t = o->m_template;
            if (!t || o->IsUnit() || o->IsGridMember() != (pass == 1)) continue;
            const char* name = t->m_name.GetText();
            if (pass == 0) {
                // A tile is as wide as its template's footprint (the larger
                // side), seen from above.
                const float half = std::max(t->m_footprintHalf[0], t->m_footprintHalf[1]);
                MapPicture_PaintGround(out, name, o->m_position[0], o->m_position[2], half);
            } else {
                MapPicture_PaintObject(out, name, o->m_position[0], o->m_position[2]);
            }
        }
    return true;
}

SMapPicture MapPicture_Scaled(const SMapPicture& p, int32_t width, int32_t height) {
    SMapPicture out;
    if (p.width <= 0 || p.height <= 0 || width <= 0 || height <= 0) return out;
    out.width = width;
    out.height = height;
    out.rgb.resize(size_t(width) * size_t(height) * 3);
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x) {
            const size_t sx = size_t(int64_t(x) * p.width / width),
                         sy = size_t(int64_t(y) * p.height / height);
            std::memcpy(&out.rgb[(size_t(y) * size_t(width) + size_t(x)) * 3],
                        &p.rgb[(sy * size_t(p.width) + sx) * 3], 3);
        }
    return out;
}
