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
    // The value it has lost to attackers' damage and the value its shots
    // destroyed so far (the damage over a template's power, times that
    // template's cost: its own template's for both), summed over its life.
    float valueLost = 0.0f;
    float valueDestroyed = 0.0f;
};

// One player as the query sees it: its standing and economy.
struct SPlayerView {
    int32_t id = -1;
    int32_t ownerId = -1;  // what its objects store
    bool neutral = false;
    bool computer = false;  // a computer player plays it
    bool outOfGame = false;
    bool watching = false;        // its race only watches
    bool local = false;           // this machine's player
    float resources = 0.0f;       // the stock
    float storage = 0.0f;         // the stock's limit
    float energyProduced = 0.0f;  // this tick's, smoothed
    float energyConsumed = 0.0f;
    float energyRatio = 1.0f;  // the share of the demand met: the power level
    float energyHelp = 0.0f;   // what a computer player's cheat adds to the production
    float spent = 0.0f;        // what it spent in the last tick
    float gainRate = 0.0f;     // resources a second
    float spendRate = 0.0f;
    float colour[3] = {0.0f, 0.0f, 0.0f};                // 0 to 255
    const CTessarakObjectTemplate* startUnit = nullptr;  // its race's central template
    // Its complete units, those armed that stand (defensive) and those armed
    // that move (offensive): counted by LocalPlayer only.
    int32_t units = 0, defensive = 0, offensive = 0;
};

// ---- what the local player's interface shows. Names are the world's own
// texts, read before the next turn.

// One object of the battlefield.
struct SObjectView {
    enum : uint32_t {
        kUnit = 0x1,
        kGridMember = 0x2,
        kComplete = 0x4,   // finished (a grid member not under construction)
        kSelected = 0x8,   // in the local player's selection
        kShown = 0x10,     // drawn: not hidden, not leaving play
        kLocal = 0x20,     // the local player's
        kAllied = 0x40,    // allied with the local player (its own included)
        kResource = 0x80,  // a resource field that can be harvested
        kOn = 0x100,       // a unit switched on
        kSeen = 0x200,     // the local player sees it: allied, revealed, or its square watched
        kBuilder = 0x400,  // it builds (a factory or a builder)
        kMobile = 0x800,
        kArmed = 0x1000,
        kPathing = 0x2000,  // its way is being searched
        kRadar = 0x4000,    // a radar unit (its range circle)
        kAntiRadar = 0x8000,
        kNoPath = 0x10000,  // its last way search found no way
    };
    int32_t id = -1;
    int32_t playerId = -1;  // its owner's player id (-1: none)
    uint32_t flags = 0;
    const CTessarakObjectTemplate* tmpl = nullptr;
    const CUnitTemplate* unitTmpl = nullptr;  // a unit's template
    const char* name = "";                    // its own name, else its template's
    float x = 0.0f, y = 0.0f, z = 0.0f;
    float radius = 0.0f;
    float power = 0.0f, maxPower = 0.0f;
    float colour[3] = {255.0f, 255.0f, 255.0f};  // its owner's (white: none)
    int16_t group = 0;                           // control group (0 none)
    uint16_t waitSignal = 0;                     // the signal it waits for (0 none)
    float held = 0.0f, maxHeld = 0.0f;           // a harvester's load
    float resourceAmount = 0.0f;                 // a field's resources
    // What it builds now (a factory's product, a builder's site) and how far.
    const CTessarakObjectTemplate* building = nullptr;
    float buildFraction = 0.0f;  // 0 to 1
    float buildPower = 0.0f;     // the product's power over its template's
    float giveEnergy = 0.0f, takeEnergy = 0.0f;
    float barTimer = 0.0f;  // its status bar fades in while selected (0 to 1)
    float reload = -1.0f;   // its weapon's reload, 0 to 1 (-1: no reload bar)
    float radarRange = 0.0f;
    float warpRange = 0.0f;  // a warp unit's reach (gate, jammer, nuke) at full power
    bool Is(uint32_t f) const { return (flags & f) != 0; }
};

// One order of a unit's queue, in the order they run (the front first).
struct SOrderView {
    uint32_t type = 0;  // CUnitOrder::kMove and its kin
    int32_t index = 0;  // its place from the front (0 runs now or next)
    bool running = false;
    bool sent = false;      // sent or confirmed: only the whole queue may change it
    bool hasPoint = false;  // where it goes, when it goes somewhere
    float x = 0.0f, y = 0.0f, z = 0.0f;
    const CTessarakObjectTemplate* item = nullptr;  // a build order's
    bool repeat = false;                            // a production that repeats (the panel's right click)
    bool finished = false;
};

// One entry of a builder's build list, with the builder's orders of it.
struct SBuildItemView {
    const CUnitTemplate* tmpl = nullptr;
    int32_t method = 0;  // CUnitTemplate::kBuildInternal or kBuildExternal
    float cost = 0.0f;
    bool singlePlayerOnly = false;
    bool restricted = false;  // the map restricts building and does not allow it
    int32_t queued = 0;       // unfinished productions of it (left clicks)
    int32_t repeating = 0;    // repeating productions of it (right clicks)
    int32_t sites = 0;        // construction orders of it
    bool inProduction = false;
    float progress = 0.0f;  // of the one in production, 0 to 1
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

    // ---- the local player's view (world/WorldQueryView.cpp)
    // The local player, with its unit counts.
    bool LocalPlayer(SPlayerView* out) const;
    // Whether the objects of the owner id count as the local player's
    // allies (its own among them).
    bool AlliedWithLocal(int32_t playerId) const;
    // One object in play by id; false when there is none.
    bool Object(int32_t id, SObjectView* out) const;
    // Every world object in play of the kinds (SObjectView's kUnit,
    // kGridMember; 0: every world object), in the scene's list order.
    void Objects(uint32_t kinds, std::vector<SObjectView>& out) const;
    // The local player's selected objects, in the order of the list of all
    // objects.
    void Selection(std::vector<SObjectView>& out) const;
    // A unit's queue, the front first (nothing for no unit).
    void Orders(int32_t unitId, std::vector<SOrderView>& out) const;
    // A builder's build list with its orders of each entry (nothing for
    // no builder).
    void BuildList(int32_t builderId, std::vector<SBuildItemView>& out) const;
    // Whether a queued construction order of any unit has its site within
    // radius plus the site's footprint of (x, z).
    bool NearQueuedSite(float x, float z, float radius) const;
    // Whether a structure of the template may not stand at (x, z): its
    // footprint's ground is taken, or the square is not watched.
    bool SiteBlocked(const CTessarakObjectTemplate* structure, float x, float z) const;
    // The footprint radius of a template (its collision radius without one).
    float FootprintOf(const CTessarakObjectTemplate* tmpl) const;
    // Whether the square of (x, z) is hidden from the local player (state
    // under 200, under 120: unseen); outside the map both are true.
    bool Hidden(float x, float z) const;
    bool Unseen(float x, float z) const;
    // Whether the local player's radar units cover the point.
    bool RadarCovers(float x, float z) const;
    // The scene's watching byte: this machine only watches.
    bool WatchingOnly() const;
    // Whether every object counts as the local player's (a spectator).
    bool RevealAll() const;
    // The control type (Interfaceopt_ControlType): 0 a right click
    // deselects, 1 it orders.
    int32_t ControlType() const;
    // The mission's result: won, lost.
    bool MissionWon() const;
    bool MissionLost() const;

private:
    const CWorld& m_world;
};
