// A grid object for the world grid's tests: every fact the grid asks is a
// field the test sets.
#pragma once

#include "world/GridObject.h"

class CTestGridObject : public CGridObject {
public:
    CTestGridObject(int32_t id, float x, float z, float radius = 0.5f, uint32_t traits = 0)
        : id(id), x(x), z(z), radius(radius), footprintRadius(radius), traits(traits) {}

    int32_t GridId() const override { return id; }
    float GridX() const override { return x; }
    float GridZ() const override { return z; }
    float GridRadius() const override { return radius; }
    float GridFootprintRadius() const override { return footprintRadius; }
    uint32_t GridTraits() const override { return traits; }
    int GridClearance() const override { return clearance; }
    const CPlayer* GridOwner() const override { return owner; }
    bool GridIsAlliedWith(const CPlayer* player) const override {
        return owner && player && (player == owner || player == ally);
    }
    const void* GridTemplate() const override { return unitTemplate; }
    CGridObject* GridLinkedUnit() const override { return linked; }

    int32_t id;
    float x, z, radius, footprintRadius;
    uint32_t traits;
    int clearance = 0;
    const CPlayer* owner = nullptr;
    const CPlayer* ally = nullptr;  // the one other player the owner is allied with
    const void* unitTemplate = nullptr;
    CGridObject* linked = nullptr;
};

// Distinct player pointers that are never read.
inline const CPlayer* TestPlayer(int n) {
    static char players[8];
    return reinterpret_cast<const CPlayer*>(&players[n]);
}
