// The world read, never written: what the computer players (on the host)
// and the interface's panels learn of the battlefield. Records by value and
// template pointers to read; objects are named by id, so nothing kept
// between two turns can dangle. Lists come in the scene's list order, the
// same on every machine.
//
// The world owns one (CWorld::Query). Orders go the other way, through the
// world's order interface (CWorldCommands).
#pragma once

#include <cstdint>
#include <vector>

class CWorld;
class CUnitTemplate;

// One unit as the query sees it.
struct SUnitView {
    int32_t id = -1;
    int32_t ownerId = -1;  // its player's id (-1: none)
    const CUnitTemplate* tmpl = nullptr;
    float x = 0.0f, z = 0.0f;
    float power = 0.0f;
    bool complete = false;
    bool mobile = false;
    bool armed = false;
    bool builder = false;
    bool harvester = false;  // it can hold resources
    uint32_t orders = 0;     // the orders in its queue
};

class CWorldQuery {
public:
    explicit CWorldQuery(const CWorld& world);

    // The units of a player (by player id), alive, in the scene's order.
    std::vector<SUnitView> UnitsOf(int32_t playerId) const;
    // One unit by object id; false when there is none (or it left play).
    bool Unit(int32_t id, SUnitView* out) const;
    // Where an object stands on the ground; false when there is none.
    bool Position(int32_t id, float* x, float* z) const;
    // The unit templates of the loaded content, in the scene's order; one by
    // name (ignoring case), null when none.
    std::vector<const CUnitTemplate*> UnitTemplates() const;
    const CUnitTemplate* FindUnitTemplate(const char* name) const;
    // The resource fields (objects with a resource type) within radius of
    // (x, z), nearest first; their ids.
    std::vector<int32_t> ResourceFieldsNear(float x, float z, float radius) const;
    // A free site for a structure of the template nearest (x, z), no farther
    // than reach: its footprint clear of objects and inside the map. False
    // when there is none.
    bool FindBuildSite(const CUnitTemplate* structure, float x, float z, float reach, float* outX,
                       float* outZ) const;
    // The danger of an area for a player: the summed power of the armed,
    // complete units of the players it is not allied with, within radius of
    // (x, z).
    float Danger(int32_t playerId, float x, float z, float radius) const;

private:
    const CWorld& m_world;
};
