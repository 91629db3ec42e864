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
class CTessarakObjectTemplate;

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
    bool harvester = false;   // it can hold resources
    bool on = false;          // switched on (MODE_ON)
    bool towing = false;      // it can tow
    uint16_t waitSignal = 0;  // the signal it waits for (0 none)
    uint32_t orders = 0;      // the orders in its queue
    float radius = 0.0f;      // its collision radius
    float maxPower = 0.0f;    // its template's power
    float cost = 0.0f;        // its template's expense
    // The type bits of the order it runs (0: none).
    uint32_t running = 0;
    // What it builds on the map (a construction site's id, -1: none).
    int32_t building = -1;
    // The unit that last hit it, and the enemy its own target scan found
    // (-1: none; the ids of objects that may have gone since).
    int32_t lastAttacker = -1;
    int32_t scanned = -1;
    // A map script commands it (the computer players leave it alone).
    bool scripted = false;
    // The value it has lost to damage and the value its shots destroyed so
    // far (damage over the victim's power, times the victim's cost), summed
    // over its life.
    float valueLost = 0.0f;
    float valueDestroyed = 0.0f;
};

// One player as the query sees it.
struct SPlayerView {
    int32_t id = -1;
    int32_t ownerId = -1;  // what its objects store
    bool neutral = false;
    bool computer = false;  // a computer player plays it
    bool outOfGame = false;
    float resources = 0.0f;
    float energyProduced = 0.0f;  // this tick's, smoothed
    float energyConsumed = 0.0f;
    float energyHelp = 0.0f;               // what a computer player's cheat adds to the production
    float energyRatio = 1.0f;              // smoothed production over use, at most 1 (what its units work at)
    float spent = 0.0f;                    // what it spent in the last tick
    float colour[3] = {0.0f, 0.0f, 0.0f};  // 0 to 255
    const CTessarakObjectTemplate* startUnit = nullptr;  // its race's central template
};

class CWorldQuery {
public:
    explicit CWorldQuery(const CWorld& world);

    // The units of a player (by player id), alive, in the scene's order.
    std::vector<SUnitView> UnitsOf(int32_t playerId) const;
    // Every unit alive, in the scene's order.
    std::vector<SUnitView> AllUnits() const;
    // The players of the session in the list's order (by id), the neutral
    // one included; one by id (false: none).
    std::vector<SPlayerView> Players() const;
    bool Player(int32_t playerId, SPlayerView* out) const;
    // Whether the two players are allies (the same player, team mates, allied,
    // or either the neutral one). False when either does not exist.
    bool Allied(int32_t a, int32_t b) const;
    // Game time (1/1193182 second units) and the map rectangle (left, top,
    // right, bottom: x from left to right, z from bottom to top).
    uint64_t GameTime() const;
    void MapRect(int32_t* left, int32_t* top, int32_t* right, int32_t* bottom) const;
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
    // Every resource field's id, in the scene's order.
    std::vector<int32_t> ResourceFields() const;
    // Whether no object covers the disc of radius around (x, z) (with its own
    // radius added).
    bool IsAreaFree(float radius, float x, float z) const;
    // Whether no structure of a player not allied with the player stands
    // within radius of (x, z).
    bool IsFreeOfEnemyStructures(int32_t playerId, float radius, float x, float z) const;
    // Whether a unit on the ground can drive from (fromX, fromZ) to within
    // reach of (toX, toZ) over free cells of the path grid (a structure's own
    // footprint around the start does not count against it).
    bool Reachable(float fromX, float fromZ, float toX, float toZ, float reach) const;
    // A free site for a structure of the template nearest (x, z), no farther
    // than reach: its footprint clear of objects and inside the map. False
    // when there is none.
    bool FindBuildSite(const CUnitTemplate* structure, float x, float z, float reach, float* outX,
                       float* outZ) const;
    // The danger of an area for a player: the summed power of the armed,
    // complete units of the players it is not allied with, within radius of
    // (x, z).
    float Danger(int32_t playerId, float x, float z, float radius) const;

    // ---- the local player's view (the selection, the script points)
    // The selected units, in the scene's order of units; every selected
    // object still in play, in the order of the list of all objects.
    std::vector<int32_t> SelectedUnits() const;
    std::vector<int32_t> SelectedObjects() const;
    // The first object of the grid's object layer near the ground point
    // whose radius reaches it; -1 when none.
    int32_t ObjectAt(float x, float z) const;
    // The active script point's place; false for one not active or outside
    // 0 to 254.
    bool ScriptPoint(int32_t point, float* x, float* z) const;
    // The first unit of the local player made from its race's start unit
    // (its headquarters); -1 when none.
    int32_t LocalStartUnit() const;
    // The local player's units that wait for the signal (1 to 255).
    std::vector<int32_t> LocalUnitsWaitingFor(int32_t signal) const;

private:
    const CWorld& m_world;
};
