// What the steps of the order classes share (MoveOrders.cpp and
// WorkOrders.cpp): the parts of the unit's world they reach, running a
// sub-order once, and the points they steer to.
#pragma once

#include "world/ExplosionManager.h"
#include "world/TessarakObject.h"
#include "world/UnitOrder.h"
#include "world/UnitTemplate.h"
#include "world/World.h"
#include "world/WorldGrid.h"

namespace OrderSteps {

inline CWorldGrid* Grid(const CTessarakObject* unit) {
    return unit ? unit->WorldGrid() : nullptr;
}

inline CExplosionManager* Effects(const CTessarakObject* unit) {
    return unit ? unit->Explosions() : nullptr;
}

// The clock's tick step: every simulated time steps by it.
inline float TickStep(const CTessarakObject* unit) {
    CWorld* world = unit ? unit->World() : nullptr;
    return world ? world->Clock().TickStep() : 0.0f;
}

inline const CUnitTemplate* UnitTemplateOf(const CTessarakObject* o) {
    const CTessarakObjectTemplate* t = o ? o->m_template : nullptr;
    return t && (t->m_classMask & kClassUnit) ? static_cast<const CUnitTemplate*>(t) : nullptr;
}

// A sub-order made inside a step runs once at once and goes when it has
// finished.
inline void RunOnce(CUnitOrder* child) {
    if (!child->Execute()) delete child;
}

// The point `distance` from `to` on the way toward `from` (the heading by
// the ground plane, the elevation by the arc sine of the height over the
// distance in space), raised by `rise`.
inline void PointToward(const float* to, const float* from, float distance, float rise, float* out) {
    const float dx = from[0] - to[0], dy = from[1] - to[1], dz = from[2] - to[2];
    const float length = Math_Sqrt(dx * dx + dy * dy + dz * dz);
    float s = length > 0.0f ? dy / length : 0.0f;
    s = s > 1.0f ? 1.0f : (s < -1.0f ? -1.0f : s);
    const float heading = Angle2D(0.0f, 0.0f, dx, dz), elevation = Math_Asin(s);
    out[0] = to[0] + Math_Sin(heading) * Math_Cos(elevation) * distance;
    out[1] = to[1] + Math_Sin(elevation) * distance + rise;
    out[2] = to[2] + Math_Cos(heading) * Math_Cos(elevation) * distance;
}

}  // namespace OrderSteps
