// The world: the one door to the simulation.
//
// A CWorld owns the parts of the simulated battlefield: the game scene (with
// its object-id table, its objects and templates), the world grid, the
// physics engine and the explosion manager (whose view effects it keeps
// apart from the simulation). It is given the players of the session (the
// network game keeps them), the content (the projects the unit file loads
// into, the 3D engine's emitter templates) and the roles of the game around
// it (world/WorldRoles.h). Every world object reaches its world through the
// scene it belongs to (CGameScene::World), never through a global.
//
// The simulation moves only through Tick: the orders of one lockstep turn
// (the game messages the session framed for it, in the order the server
// sent them) are applied, then every object steps. Every machine that gives
// its world the same turns has the same StateHash after each: the sync CRC
// that machines compare. The game object, the network game's frames, the
// computer players (on the host) and the tests all go through here.
//
// Who implements what it is given: the roles come from the program that
// makes it (app/GameRoles.cpp for the game, tests/support for the tests);
// the players from the network game (CNetGame::m_players).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "world/WorldCommands.h"
#include "world/WorldQuery.h"
#include "world/WorldRoles.h"

class CGameScene;
class CWorldGrid;
class CPhysicsEngine;
class CExplosionManager;
class CObjectIdTable;
class CPlayer;
class CPlayerList;
class CProjectList;
class CE3DEngine;
class CE3DFrame;
class CTessarakObject;
class CTessarakObjectTemplate;
class CStateArchive;
class CCellMapPainter;

// One lockstep turn.
struct STurn {
    enum EStep : uint8_t {
        kOrdersOnly,  // the orders are taken; nothing steps (a frame of the lobby or of loading)
        kHeld,        // the orders, the deletions, the grid's cell map; the objects stay
                      // (the map editor, a finished game)
        kStep,        // the orders, the deletions, one step of every object, the grid's cell map
    };
    uint16_t frame = 0;  // the lockstep frame it is (1 to 8191; 0 outside a session)
    EStep step = kStep;
};

// The orders of one turn: game messages for the world, in the order they run.
class CTurnOrders {
public:
    struct SOrder {
        uint16_t type;
        std::vector<uint8_t> data;
    };
    void Add(uint16_t type, const void* data, size_t length);
    void Clear() { m_orders.clear(); }
    bool Empty() const { return m_orders.empty(); }
    size_t Count() const { return m_orders.size(); }
    const std::vector<SOrder>& Orders() const { return m_orders; }

private:
    std::vector<SOrder> m_orders;
};

class CWorld {
public:
    explicit CWorld(const SWorldRoles& roles = SWorldRoles());
    // The scene (objects, then templates), the grid, the physics and the
    // explosion manager go; the view's effects first.
    ~CWorld();
    CWorld(const CWorld&) = delete;
    CWorld& operator=(const CWorld&) = delete;

    // ---- the door
    // One turn: its orders (ApplyOrder each, in their order), then as the
    // turn says the frames queued for deletion (DeleteQueuedFrames with the
    // tick's step), the step of every object and the grid's cell map.
    void Tick(const STurn& turn, const CTurnOrders& orders);
    // Tick in two parts, for a caller that steps the computer players
    // between them (they then see neither frames that went nor objects
    // lingering): DeleteQueuedFrames deletes the frames queued for deletion
    // (as the turn says), then TickAfterDeletions applies the orders and
    // steps the objects and the cell map.
    void DeleteQueuedFrames(const STurn& turn);
    void TickAfterDeletions(const STurn& turn, const CTurnOrders& orders);
    // The sync CRC: the object-id counter, the scene's sync CRC (every
    // object with an id in ascending id order) and every player's sync
    // record but the neutral one's. Equal on every machine in step. (The
    // scene's counters and the objectives' turn are left out: a machine that
    // joins a running game is brought into step without them.)
    uint32_t StateHash();
    // One order of a turn (the game messages 110 CREATEUNIT, 134 ORDER, 135
    // and 136 the tow cables, 137 STOPCURRENTORDER, 138 and 139 a unit's
    // mode, 142 WAYPOINTLIST, 143 SIGNAL, 159 and 160 resources, 161
    // KILLUNIT; world/GameMessages.h has their layouts). Each payload is
    // checked whole before anything changes. False when it is refused.
    bool ApplyOrder(uint16_t type, const void* data, size_t length);
    // Whether a game message is an order of the world (ApplyOrder takes it).
    static bool IsWorldOrder(uint16_t type);

    // ---- the whole simulated state (saved games)
    // Writes what StateHash covers and more: i32 the object-id counter, u32 the
    // number of players but the neutral one and each one's sync record (its
    // id first), the scene's saved objects (CGameScene::SaveObjects), the
    // scene's own values (CGameScene::SaveValues) and the mission's
    // objectives (CMissionObjectives::Transfer); then this machine's way
    // searches (CWorldGrid::SavePathState), which a world that loads the
    // state goes on with (ResumeWaySearches). A save is whole only between
    // two way searches (SearchInProgress false).
    void SaveState(CStateArchive& ar);
    // Reads such a state into this world. A checking archive only checks:
    // players then names the ids of the players that will exist when it is
    // applied (null: the world's players now). An applying one needs its
    // players to exist already (the session made them) and its scene to
    // hold no world objects. Every record is checked before anything
    // changes; false (the world as it was) when one does not fit. A world
    // that loaded what another saved has that world's StateHash.
    bool LoadState(CStateArchive& ar, const std::vector<int32_t>* players = nullptr);
    // Whether a way search of this machine is half done (a save waits).
    bool SearchInProgress() const;
    // After LoadState: every go-to-position order goes on with its way on
    // this machine (CGotoPositionOrder::ResumeSearch), given the orders of
    // the turn the state continues with (a way among them is on its way);
    // the requester queue keeps the units this machine searches for.
    void ResumeWaySearches(const CTurnOrders& carried);

    // Makes an object of the template at (x, 0, z) for owner under the id
    // (-1 none), as a turn's CREATEUNIT and a resync do: in its grid cells,
    // a unit finished and active. Null when it cannot be made.
    CTessarakObject* CreateUnit(CTessarakObjectTemplate* tmpl, float x, float z, CPlayer* owner, int32_t id);
    // The same under another engine frame than the scene's root (an object
    // that moves with what it hangs on, a weapon's flame); a null parent is
    // the root.
    CTessarakObject* CreateUnitInFrame(CTessarakObjectTemplate* tmpl, float x, float z, CE3DFrame* parent,
                                       CPlayer* owner, int32_t id);

    // ---- the local player's view
    // The announcer's sample of an event code (the interface's codes) of the
    // player's race goes on the voice queue; nothing for a code or a race
    // without one. View only.
    void PlayEventSound(int32_t playerId, int code);
    // Where the cell map paints the fog of the radar (null: nowhere); every
    // explored square is painted again at once.
    void SetRadarPainter(CCellMapPainter* painter);

    // ---- the world-space order interface (the interface, the commands, the
    // computer players) and the read-only query (the computer players, the
    // interface's panels)
    CWorldCommands& Commands() { return m_commands; }
    const CWorldQuery& Query() const { return m_query; }

    // ---- the parts it owns
    CGameScene& Scene() { return *m_scene; }
    const CGameScene& Scene() const { return *m_scene; }
    CWorldGrid& Grid() { return *m_grid; }
    const CWorldGrid& Grid() const { return *m_grid; }
    CPhysicsEngine& Physics() { return *m_physics; }
    CExplosionManager& Explosions() { return *m_explosions; }
    CObjectIdTable& Ids();

    // ---- what it is given
    // The players of the session (null: none); the list learns its world.
    void SetPlayers(CPlayerList* players);
    CPlayerList* Players() const { return m_players; }
    // This machine plays the player from now on: its objects are the local
    // player's (what the view shows and the mouse may order).
    void SetLocalPlayer(CPlayer* player);
    // The content projects the unit file loads into (null: none).
    void SetProjects(CProjectList* projects) { m_projects = projects; }
    CProjectList* Projects() const { return m_projects; }
    // The 3D engine whose emitter templates the effects name (null without a
    // display).
    void SetEngine(CE3DEngine* engine) { m_engine = engine; }
    CE3DEngine* Engine() const { return m_engine; }
    // The frame new objects are made under (the game screen's scene root).
    void SetRootFrame(CE3DFrame* root);

    // ---- the roles (the quiet default where none was given)
    void SetRoles(const SWorldRoles& roles);
    IWorldConsole& Console() const { return *m_console; }
    IWorldFiles& Files() const { return *m_files; }
    IWorldClock& Clock() const { return *m_clock; }
    IOrderSender& Sender() const { return *m_sender; }
    IWorldView& View() const { return *m_view; }
    IWorldSound& Sound() const { return *m_sound; }
    IWorldSession& Session() const { return *m_session; }
    // Who is told of every unit that leaves play (null: nobody).
    void SetUnitWatcher(IUnitWatcher* watcher) { m_unitWatcher = watcher; }
    IUnitWatcher* UnitWatcher() const { return m_unitWatcher; }

private:
    // The objects' step and the cell map of a turn that is not orders only.
    void Step(const STurn& turn);
    bool ApplyCreateUnit(const uint8_t* data, size_t length);

    IWorldConsole* m_console = nullptr;
    IWorldFiles* m_files = nullptr;
    IWorldClock* m_clock = nullptr;
    IOrderSender* m_sender = nullptr;
    IWorldView* m_view = nullptr;
    IWorldSound* m_sound = nullptr;
    IWorldSession* m_session = nullptr;
    IUnitWatcher* m_unitWatcher = nullptr;

    CPlayerList* m_players = nullptr;
    CProjectList* m_projects = nullptr;
    CE3DEngine* m_engine = nullptr;

    CPhysicsEngine* m_physics = nullptr;
    CExplosionManager* m_explosions = nullptr;
    CWorldGrid* m_grid = nullptr;
    CGameScene* m_scene = nullptr;

    CWorldCommands m_commands{*this};
    CWorldQuery m_query{*this};
};
