// The world-space order interface: how the interface, the console commands
// and the computer players choose units and give them orders.
//
// Everything here speaks in the world's terms: ground points, object ids,
// order types (CUnitOrder::kMove and its kin) and named modes. Pixels, the
// mouse, the radar panel and the camera stay with the interface (ui/), which
// works out what a click or a box means on the ground before it calls here;
// a computer player names its units and targets by id. Nothing here reads a
// field of the interface or the input.
//
// Nothing here changes the simulation by itself. The selection is the local
// player's choice (a bit of each object, set through the objects' messages 1
// and 0, never in a sync image or a saved game). The orders go into the
// units' queues unsent, or, for a move given at once, sent by
// CUnit::AddMoveOrder; the queue sends each as game message 134 when its
// turn comes, and only the copy that comes back in a turn's orders
// (CWorld::Tick) runs, on every machine in the same tick. A computer player
// runs on the host only: its orders take the same road as a player's.
//
// The world owns one (CWorld::Commands).
#pragma once

#include <cstdint>
#include <vector>

class CWorld;
class CUnit;
class CTessarakObject;
class CTessarakObjectTemplate;

// Named modes of a command (bits).
enum : uint32_t {
    kCommandQueue = 0x1,      // behind the units' orders; added to the selection
    kCommandDirect = 0x2,     // a group move: every unit straight to the point
    kCommandFormation = 0x4,  // a group move: the group keeps its shape
};

// One click of the game view or the radar, on the ground.
struct SPointCommand {
    // What the click is (the numbers are the mouse's click modes): a left
    // release that orders (control type 0), a selecting click (the left
    // button), the right button's press, a move whatever lies at the point.
    enum EKind : uint8_t { kOrder = 0, kSelect = 1, kRightPress = 2, kMove = 3 };
    float x = 0.0f, z = 0.0f;  // the ground point
    int32_t target = -1;       // the object picked at the point (-1: none)
    // The order type a HUD button or the forced-action commands left
    // pending (0: the order follows from what lies at the point).
    uint32_t order = 0;
    uint32_t modes = 0;
    EKind kind = kOrder;
    // The click was on the radar panel: a right press on nothing moves.
    bool overRadar = false;
    // The unit the interface's information panel shows (-1: none): a click
    // on a warp gate sends the selection through unless it is one itself.
    int32_t shownUnit = -1;
};

// What a command left, for the interface's panels.
struct SCommandResult {
    // False only for a click outside the map, or a plain move that moved
    // nothing.
    bool done = true;
    // The command ran to its end: the interface takes what follows and
    // rebuilds its panels (false: it changed nothing the panels show).
    bool refresh = false;
    // The pending order of the command was given (the interface forgets it).
    bool pendingTaken = false;
    // The local player's selected units after the command, and the one
    // selected unit's id when exactly one is (-1 otherwise).
    int32_t selected = 0;
    int32_t singleUnit = -1;
};

class CWorldCommands {
public:
    explicit CWorldCommands(CWorld& world);

    // ---- the interface's commands, for the local player's selection
    // A click at a ground point: a selecting click selects the local
    // player's complete unit picked there (with the queue mode it toggles
    // it); any other click gives the pending order, or the order of what was
    // picked (an enemy is attacked, an unfinished building helped, a
    // resource field harvested, a repair point used, a warp gate entered),
    // or, on the ground, a group move. The selected units acknowledge with
    // their sound.
    SCommandResult Point(const SPointCommand& command);
    // A box: inside, the units the interface found in it (on the screen, or
    // on the radar when radar is set); (x, z) its first corner on the ground.
    // Without the queue mode the selection is the local player's complete
    // units among them (the larger half of a mix of armed and unarmed ones);
    // with control type 1 nothing changes unless an allied unit is inside.
    SCommandResult Box(const std::vector<int32_t>& inside, bool radar, float x, float z, uint32_t modes);
    // The local player's complete units among ids join the selection (a
    // double click: the clicked unit's type on the screen).
    SCommandResult SelectUnits(const std::vector<int32_t>& ids);
    // Every unit of the local player joins the selection; every object leaves it.
    SCommandResult SelectAll();
    void DeselectAll();
    // The map editor's rectangle: every object of the current edit layer
    // among inside is selected; the others of the layer leave the selection
    // unless the queue mode holds.
    void SelectInLayer(const std::vector<int32_t>& inside, uint32_t modes);
    // Control groups: the selected units join group (1 to 254), or the
    // group's units are selected (the others leave the selection unless the
    // queue mode holds).
    void AssignGroup(int32_t group);
    void SelectGroup(int32_t group, uint32_t modes);
    // The selected units join group (1 to 254), taking the template's speed
    // again (a group's members keep their own pace).
    void JoinGroup(int32_t group);
    // Every unit of the local player whose template a selected unit has
    // joins the selection.
    SCommandResult SelectSameTemplates();

    // The group orders of the selected units (see the source).
    bool MoveSelected(float x, float z, uint32_t modes);
    bool HarvestSelected(int32_t field, uint32_t modes);
    bool RepairSelected(int32_t target, uint32_t modes);

    // ---- orders for named units (a computer player's, a script's): the
    // local player's or anyone's; units that cannot take the order are
    // passed over. True when some unit took it. A warp unit's move sets
    // where the units on it go; a warp nuke's attack is its jump and burst.
    bool Move(const std::vector<int32_t>& units, float x, float z, uint32_t modes);
    bool Attack(const std::vector<int32_t>& units, int32_t target, uint32_t modes);
    bool AttackGround(const std::vector<int32_t>& units, float x, float z, uint32_t modes);
    bool Harvest(const std::vector<int32_t>& units, int32_t field, uint32_t modes);
    bool Repair(const std::vector<int32_t>& units, int32_t target, uint32_t modes);
    bool Guard(const std::vector<int32_t>& units, int32_t target, uint32_t modes);
    bool Patrol(const std::vector<int32_t>& units, float x, float z, uint32_t modes);
    bool Tow(const std::vector<int32_t>& units, int32_t target, uint32_t modes);
    // A harvest toward the ground point: the units find a field there.
    bool HarvestAt(const std::vector<int32_t>& units, float x, float z, uint32_t modes);
    // Every order of the units goes (the running one's end is sent).
    bool Stop(const std::vector<int32_t>& units);
    // The objects are destroyed (remove: taken off the map without a
    // destruction) on every machine: KILLUNIT goes to the session for each,
    // behind its owner's earlier orders; the server takes it only from the
    // owner's machine.
    bool Kill(const std::vector<int32_t>& objects, bool remove);
    // The units are switched on or off (MODE_ON 138, MODE_OFF 139), every
    // tow cable that holds each lets it go (UNIT_DISCONNECT 136), each waits
    // for the signal (1 to 255) or goes on (0) (SIGNAL 143): on every
    // machine in the same turn, from the owner's machine only.
    bool SwitchOn(const std::vector<int32_t>& units, bool on);
    bool ReleaseTow(const std::vector<int32_t>& units);
    bool Signal(const std::vector<int32_t>& units, int32_t signal);
    // A builder puts up a structure of the template at (x, z).
    bool Build(int32_t builder, CTessarakObjectTemplate* structure, float x, float z, uint32_t modes);
    // A builder works on a construction site standing on the map (helps
    // another builder's construction).
    bool HelpBuild(int32_t builder, int32_t site, uint32_t modes);
    // A factory makes a unit of the template (repeat: again that many times,
    // as the build panel's right click sets it).
    bool Produce(int32_t factory, CTessarakObjectTemplate* product, uint32_t repeat, uint32_t modes);

    // ---- the HUD's build icons and the order paths of the selected units
    // (world/WorldCommandsPanel.cpp): a queue's orders by their place from
    // the front (0 runs now or next), as the query lists them. A queued
    // order is this machine's until the queue sends it, so these change it
    // here; the running one only ends, through the order-list reset every
    // machine takes.
    // Cancels up to count of the factory's unfinished productions of the
    // product, the repeating ones (the build panel's right click) or the
    // others, the front first; the number cancelled.
    int32_t CancelProduce(int32_t factory, const CTessarakObjectTemplate* product, int32_t count,
                          bool repeating);
    // A move to (x, z) that runs right before the unit's queued order at
    // index (1 or more: never before the one that runs first); false when
    // there is no such order.
    bool InsertMove(int32_t unit, int32_t beforeIndex, float x, float z);
    // The unit's queued order at index, of the type (a move, or a
    // construction's site), goes to (x, z); false for a sent or running
    // order or another type.
    bool MoveOrderTarget(int32_t unit, int32_t index, uint32_t type, float x, float z);
    // The unit's order at index of the type goes: a queued one is deleted,
    // the running one ended (the order-list reset).
    bool RemoveOrder(int32_t unit, int32_t index, uint32_t type);

    // ---- the map scripts' orders, for the units of a map id (every machine
    // runs the map's scripts alike; the orders count as given here, so a map
    // export writes them again). False when no unit has the map id.
    // The units come under the script's control.
    bool ScriptControl(int32_t mapId);
    // A move to (x, y, z) (force: it moves whatever it meets) behind the
    // units' orders.
    bool ScriptMove(int32_t mapId, float x, float y, float z, bool force);
    // A patrol point (x, z) behind the units' orders.
    bool ScriptPatrol(int32_t mapId, float x, float z);
    // Script point (0 to 254) at the ground point (x, z), or every point
    // inactive, in this machine's table. Nothing is sent: a map's script
    // runs its ss_ rows on every machine, and the orders given toward a
    // point carry its place. False for a point outside the table.
    bool SetScriptPoint(int32_t point, float x, float z);
    void RemoveScriptPoints();
    // An attack on the first object of the target's map id (in the scene's
    // order), behind the orders of the armed units of the map id; false
    // when no object has the target's map id.
    bool ScriptAttack(int32_t mapId, int32_t targetMapId);
    // While the map restricts building, only what it allows is built.
    bool BuildAllowed(const CTessarakObjectTemplate* item) const;

private:
    bool SendForUnits(const std::vector<int32_t>& units, uint16_t type, const uint8_t* extra,
                      int extraLength);
    template <class T>
    bool TargetOrders(const std::vector<int32_t>& units, int32_t target, uint32_t modes);
    CUnit* UnitOf(int32_t id) const;
    CTessarakObject* ObjectOf(int32_t id) const;
    SCommandResult Finish(float x, float z, int ack, bool objectClicked);
    SCommandResult Selection() const;

    CWorld& m_world;
};
