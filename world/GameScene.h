// The game scene: the one world object.
//
// It holds every placed object of the running game and every object
// template of the loaded content: the object-id table, the lists through
// which world objects, active objects, grid members, units and weapons are
// reached (the links live in the objects, newest first), the template
// lookups and the object factories, and the operations that act on all
// objects at once. The logic tick runs CGameScene::Tick once per executed
// tick. Start-up creates it once the display is set up; it reaches the rest
// of the game through the world that owns it (CWorld, world/World.h).
//
// Iteration order is part of the lockstep contract: every list here is
// walked in its link order, never in the order of addresses.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <vector>

#include "console/ConsoleCommand.h"
#include "core/StrBuf.h"
#include "world/ObjectIdTable.h"
#include "world/ObjectLink.h"
#include "world/Objectives.h"
#include "world/StateArchive.h"

class CCommandInterpreter;
class CWorld;
class CCommandInterpreter;
class CE3DFrame;
class CPlayer;
class CPlayerList;
class CTessarakObject;
class CTessarakObjectTemplate;
class CGridMember;
class CGridMemberTemplate;
class CUnit;
class CUnitWeapon;
class CUnitWeaponTemplate;
class CUnitTemplate;

// A list that a unit template keeps of nodes of its own (Link puts a node at
// the front); the count follows both ways.
struct SUnitTemplateListNode {
    void* m_owner = nullptr;
    SUnitTemplateListNode* m_next = nullptr;
    SUnitTemplateListNode* m_prev = nullptr;
};
struct SUnitTemplateList {
    SUnitTemplateListNode* m_head = nullptr;
    int32_t m_count = 0;
    void Link(SUnitTemplateListNode* node, void* owner);
    void Unlink(SUnitTemplateListNode* node);
};

class CGameScene {
public:
    static constexpr int kGroupLists = 255;
    static constexpr int kLayers = 256;
    // CreateObjectFromTemplate's kinds, tested in this order.
    enum : uint32_t { kKindObject = 1, kKindGridMember = 2, kKindUnit = 4 };

    // Made by its world (CWorld), which it belongs to for its life.
    explicit CGameScene(CWorld& world);
    // Deletes every object, then every template.
    ~CGameScene();
    CGameScene(const CGameScene&) = delete;
    CGameScene& operator=(const CGameScene&) = delete;

    // Removes every object and resets the world for a new game (under the
    // game lock).
    void Clear();
    // One logic tick of the world (SceneTick.cpp): the players' economy,
    // every active object in the active list's order, the mission objectives,
    // the economy again, the resource spots; then what left play during the
    // tick goes (DeleteQueuedFrames with no time passed). Always true.
    bool Tick();
    // What only the view shows, per render frame (frame: its seconds): the
    // players' notice and combat marks run out, every unit's hit flash,
    // alarm and selection fade step (CUnit::StepView). Nothing simulated.
    void StepView(float frame);
    // The frames queued for deletion under the root frame (FrameDeletion.cpp):
    // a world object lingers, taken out of play at once and deleted after
    // five seconds of the time given here; every other frame is deleted now.
    // Every turn of the world runs it with the tick's seconds, whether or not
    // the objects step (CWorld::Tick).
    void DeleteQueuedFrames(float elapsed);
    static constexpr float kLingerSeconds = 5.0f;
    // The CRC-32 of the sync images of every world object with an id, taken
    // in ascending id order: two machines in step give the same value.
    uint32_t ComputeSyncCRC();
    // The active list is kept in descending order of object ids (objects
    // without an id last): a new object, whose id is the highest, enters at
    // the head, and a loaded or resynchronised world walks its objects in
    // the same order as the world it came from.
    void LinkActive(CTessarakObject* object);
    void UnlinkActive(CTessarakObject* object);
    // The player whose world objects have no owner of their own (cables,
    // fence beams, effects): the neutral player.
    CPlayer* DefaultOwner() const { return NeutralPlayer(); }
    // Whether some unit of the local player's radar lists shows the point.
    bool FindUnitCovering(float x, float z) const;
    // Whether a warp of the mover's player to the point is stopped: some
    // complete, live anti-warp unit of a player not allied with it stands
    // within its template's WarpMaxRange x its owner's energy ratio.
    // The first unit of the anti-warp list (the third unit list) that
    // catches an object of mover's warped to (x, z): complete, alive, an
    // enemy of mover's, its owner's energy ratio above 0.5 and the point
    // within its template's WarpMaxRange. Null: none.
    class CUnit* WarpCatcher(const CPlayer* mover, float x, float z) const;

    // ---- the selection (SceneSelection.cpp). Selection is a bit of each
    // object (kA_Selected), a choice of the local player: set and cleared
    // through the objects' messages 1 and 0, never part of a sync image or a
    // saved game. The world's order interface (CWorldCommands) changes it;
    // picking from the screen is the interface's.
    bool IsAnyUnitSelected() const;
    // A selected unit with the builder (8) and mobile (2) bits.
    bool HasSelectedUnitWithFlags() const;
    // The editor's tools: every selected object turns about (cx, cz) by the
    // angle in degrees, or moves along its line to the point by the factor.
    // The objects' own headings stay. True.
    bool RotateSelection(float cx, float cz, float angleDeg);
    bool ScaleSelection(float cx, float cz, float factor);
    // Keeps the larger half of a mixed selection: the mobile armed units
    // when they are at least as many as the mobile unarmed ones, else those;
    // immobile units always leave it.
    void FilterSelection();

    // ---- the script points: ground points numbered 0 to 254 that the map's
    // scripts name (ss_Move(3) and its kin). Each machine keeps its own
    // table, set by the ss_ rows of the map's scripts, which run on every
    // machine. They take no part in the simulation (the orders given toward
    // them carry their points), so no message carries them.
    static constexpr int kScriptPoints = 255;
    struct SScriptPoint {
        float x = 0.0f, z = 0.0f;
        uint8_t active = 0;
    };
    // The active point's place; false for a point not active or outside 0 to 254.
    bool ScriptPoint(int32_t point, float* x, float* z) const;
    // Sets point (0 to 254) at (x, z), or makes it inactive (its place kept);
    // point kScriptPoints makes every point inactive. False outside the table.
    bool SetScriptPoint(int32_t point, float x, float z, bool active);

    // The queue mode of the command being given (the world's order
    // interface sets it for the length of one command): the units'
    // selection and order messages add to what they have instead of
    // replacing it.
    bool CommandQueued() const { return m_commandQueued != 0; }
    void SetCommandQueued(bool queued) { m_commandQueued = queued ? 1 : 0; }

    // ---- templates
    // Null for a negative template id; else the first template of the list
    // with both ids.
    CTessarakObjectTemplate* FindTemplateById(uint16_t projectId, int32_t templateId) const;
    // By name, ignoring case; null when none.
    CTessarakObjectTemplate* FindTemplate(const char* name) const;
    void AddPlayerToTemplates(CPlayer* player);
    void RemovePlayerFromTemplates(CPlayer* player);

    // ---- content
    // Loads the unit file, the packed project of that name (a folder, its
    // file "PackedProject.VXP"), with the effect scripts, the races and the
    // effect system of its "!GlobalSettings" node, and makes every template
    // ready for a game. A name loaded last already (without regard to case)
    // is not loaded again. False when the project did not load.
    bool LoadUnits(const char* name);
    // The size values of every template from the bounds of its shapes.
    void DeriveTemplateSizes();

    // ---- the factories
    // The class of the template's mask; a new object under the scene's root
    // frame (or the frame given), built from the template with its children.
    // Null for a null template; an unknown class or an id another object
    // holds is refused with a console line (never an exit: a running game
    // goes on). id -1: the object gets no id.
    CTessarakObject* CreateObjectByClass(CTessarakObjectTemplate* tmpl, const float* position, CPlayer* owner,
                                         int32_t id);
    CTessarakObject* CreateObjectByClassInFrame(CTessarakObjectTemplate* tmpl, const float* position,
                                                CE3DFrame* parent, CPlayer* owner, int32_t id);
    // The class of the kind bits (1 object, 2 grid member, 4 unit, tested in
    // that order; none: null), cloned from the template tree.
    CTessarakObject* CreateObjectFromTemplate(CTessarakObjectTemplate* tmpl, const float* position,
                                              CE3DFrame* parent, uint32_t kind, CPlayer* owner, int32_t id);
    // The constructor of the class of mask (kMask... values), no children.
    CTessarakObject* NewObjectOfClass(uint32_t mask, CTessarakObjectTemplate* tmpl, const float* position,
                                      CE3DFrame* parent, uint8_t worldObject, CPlayer* owner, int32_t id);
    // An object of the class that a checking reader parses records of a
    // child with (no template, no id, outside every list); kept until the
    // scene goes.
    CTessarakObject* ScratchObject(uint32_t mask);

    // ---- all objects at once
    // HandleMessage(a, b) on every world object whose class shares a bit with
    // mask and that is not leaving play.
    void BroadcastMessage(uint32_t mask, int a, intptr_t b);
    // Moves every selected object by (dx, dz) (the editor's cursor keys).
    bool MoveSelection(float dx, float dz);
    // The saved-game records of the world objects (those the editor has not
    // excluded), counted first; LoadObjects reads them into a cleared world:
    // every record is checked before an object is made, then each object is
    // made by its class and reads its record, and every object's links are
    // resolved. A record that does not fit refuses the whole block and the
    // world stays empty. From a checking archive the block is only checked.
    void SaveObjects(CStateArchive& ar);
    bool LoadObjects(CStateArchive& ar);
    // The scene's own values in a saved state (WorldSave.cpp): its tick
    // counter, the seed of objects without an id, the highest map id, the
    // spots' configuration, the layers. LoadValues checks before it takes.
    void SaveValues(CStateArchive& ar);
    bool LoadValues(CStateArchive& ar);
    // Deletes a world object now (its children with it).
    void DeleteObject(CTessarakObject* object);
    // Puts the lists of objects (all, active, grid members, units, weapons)
    // in the order of their object ids, newest first: machines that made
    // their objects in other orders (a resync remade some) walk them in one
    // order again.
    void SortObjectListsById();

    // A map layer's height (the editor and the map scripts set them); a layer
    // outside 0 to 255 is refused.
    bool SetLayerPosition(int32_t layer, float position) {
        if (layer < 0 || layer >= kLayers) return false;
        m_layerPositions[layer] = position;
        return true;
    }
    // The map's start positions: DefineStartPositions makes n of them at the
    // origin (a negative n none); SetStartPosition sets one, and refuses an
    // index outside them.
    void DefineStartPositions(int32_t count);
    bool SetStartPosition(int32_t index, float x, float z);
    int32_t StartPositionCount() const { return static_cast<int32_t>(m_startX.size()); }

    // The world it belongs to.
    CWorld& World() const { return m_world; }
    // The players of the game (the world's), null without.
    CPlayerList* Players() const;
    CPlayer* LocalPlayer() const;
    CPlayer* NeutralPlayer() const;
    CPlayer* FindPlayerById(int32_t id) const;

    // ---- the end of a game
    // The mission's objectives, evaluated by Tick (world/Objectives.h).
    CMissionObjectives& Objectives() { return m_objectives; }
    const CMissionObjectives& Objectives() const { return m_objectives; }
    // Won or lost, for the local player (the game's objectives decide, and
    // the scripts' WinGame and LooseGame; the game flow sets a lost game for
    // a local player who watches). Not part of the simulated state.
    uint8_t WinGame = 0;
    uint8_t LooseGame = 0;
    // Where the flags are kept, for the console's WinGame and LooseGame.
    uint8_t* EndFlag(bool won) { return won ? &WinGame : &LooseGame; }
    // What the game's flow made of it: the time since the game was won or
    // lost (counted in ticks' game time), the local player watching the
    // others play on, the finish script run. Cleared with the scene.
    float CountEndTime(float step) { return m_endTimer += step; }
    bool Watching() const { return m_watching != 0; }
    void Watch() { m_watching = 1; }
    bool Finished() const { return m_finished != 0; }
    void SetFinished(bool finished) { m_finished = finished ? 1 : 0; }
    uint8_t m_DevmapMode = 0;
    // Holds back the view's order and hover overlays while non-zero: set
    // when a map starts loading (MAPCHANGESTART), cleared when the game
    // loop starts on the whole scene (its saved game applied). View only:
    // in no sync image or saved game.
    int32_t m_overlaySuppress = 0;
    uint8_t m_ticked = 0;
    uint32_t m_frameCounter = 0;

    // ---- objects and templates
    CObjectIdTable m_idTable;
    CTessarakObject* m_activeObjects = nullptr;
    CTessarakObject* m_activeTail = nullptr;
    // The next object of the tick's walk of the active list (an object that
    // leaves the list during the walk moves it on).
    CTessarakObject* m_tickNext = nullptr;
    CTessarakObjectTemplate* m_templates = nullptr;
    int32_t m_templateCount = 0;
    CGridMemberTemplate* m_gridTemplates = nullptr;
    int32_t m_gridTemplateCount = 0;
    CUnitWeaponTemplate* m_weaponTemplates = nullptr;
    int32_t m_weaponTemplateCount = 0;
    CUnitTemplate* m_unitTemplates = nullptr;
    int32_t m_unitTemplateCount = 0;
    CTessarakObject* m_allObjects = nullptr;
    int32_t m_objectCount = 0;  // world objects
    CGridMember* m_gridMembers = nullptr;
    int32_t m_gridMemberCount = 0;
    CUnit* m_units = nullptr;
    int32_t m_unitCount = 0;
    CUnitWeapon* m_weapons = nullptr;
    int32_t m_weaponCount = 0;
    // The parent frame of new objects: the game screen's scene root.
    CE3DFrame* m_rootFrame = nullptr;

    // ---- named records
    CStrBuf m_unitSource = "local";  // "local" or empty: the root's Units folder
    CStrBuf m_sceneName;
    // The control groups: one list per group number (0 none, 1 to 254).
    CObjectGroup m_groupLists[kGroupLists];
    // The map's object layers: their heights and flags (the editor sets them,
    // maps and saved games keep them).
    float m_layerPositions[kLayers] = {};
    uint8_t m_layerFlags[kLayers] = {};
    // The map's start positions.
    std::vector<float> m_startX, m_startZ;
    // The special template (resource spots) and the size range and movement
    // of the spots it places.
    CTessarakObjectTemplate* m_spotTemplate = nullptr;
    CTessarakObjectTemplate* m_globalSettings = nullptr;
    CStrBuf m_loadedProject;  // the name LoadUnits loaded last
    uint8_t m_unitsLoaded = 0;
    float m_spotSizeMin = 0.0f;
    float m_spotSizeMax = 0.0f;
    float m_spotMovement = 0.0f;
    int32_t m_unitUpdateStagger = 20;
    std::vector<CObjectLink*> m_ownedLinks;
    // The local player's radar units, other players' anti-radar units, and
    // every player's anti-warp units (the detectors that stop warps).
    CObjectGroup m_radarList;
    CObjectGroup m_antiRadarList;
    CObjectGroup m_thirdUnitList;
    int32_t m_highestMapId = 0;
    // CREATEUNIT messages handled, whatever came of them: a placement that
    // waits for its object ends with the next one (a refused one included).
    uint32_t m_createUnitsHandled = 0;
    uint8_t m_desync = 0;  // a sync CRC differed from the server's
    // Set by the network game while a resync holds: the grid member's and the
    // weapon's parts of a sync image are read but not taken.
    uint8_t m_syncHold = 0;
    // Set while the scene is emptied (Clear, the destructor): the units that
    // go then do not leave play, the world does, and nobody sums them up.
    uint8_t m_emptying = 0;
    // The interface options the scene keeps (Interface.cfg):
    // Interfaceopt_ControlType and Interfaceopt_MajoritySelection.
    void RegisterInterfaceOptions(CCommandInterpreter* ip);
    uint8_t m_controlType = 1;
    // Units may add their child unit (a harvester's factory makes its
    // first harvester).
    uint8_t m_childUnitsAllowed = 1;
    uint8_t m_majoritySelection = 1;
    // The map editor's current layer: its rectangle selects among the
    // objects of that layer only.
    uint32_t m_editLayer = 0;
    // The map editor's state (world/MapEditor.h): its tools' settings and
    // where its template list starts. This machine's own; the editor works
    // only where the game runs on this machine alone.
    struct SMapEditorState {
        int32_t paintMode = 0;        // M_PaintMode: 0 mark, 1 paint, 2 layer height, 3 camera,
                                      // 4 rotate, 5 scale, 6 rotate group, 7 scale group
        int32_t teamMode = 0;         // M_TeamMode: the team painted objects get
        uint8_t collisionMode = 1;    // M_CollisionMode: painting refuses overlaps
        int32_t templateOffset = -1;  // the first template of the panel (-1 unset: the head)
        int32_t selectLayer = 0;      // M_SelectLayer: the current layer (m_editLayer follows it)
    } m_editor;
    // The editor's and the map scripts' settings the scene holds, in the
    // order of the names (none: all): M_PaintMode, M_TeamMode,
    // M_CollisionMode, M_SelectLayer, m_BuildRestrictionMode (its change
    // calls buildRestrictionChanged with the row), m_DevmapMode.
    void RegisterEditorSettings(CCommandInterpreter* ip, std::initializer_list<const char*> names,
                                CommandHandler buildRestrictionChanged = nullptr);
    // Set by a map script (m_BuildRestrictionMode): only templates allowed
    // by m_NoBuildRestriction may be built.
    uint8_t m_buildRestrictionMode = 0;

    // ---- the map's objects placed (world/MapEditor.cpp): a map's file, its
    // scripts' Create, a turn's CREATEUNIT and the editor alike.
    struct SPlacement {
        float x = 0.0f, y = 0.0f, z = 0.0f;
        int32_t ownerId = 0;  // the team: the player of this owner id owns it (when one plays)
        int32_t layer = 0;    // 0 to 255
        int32_t mapId = -1;
        float headingIncrement = 0.0f, scaleIncrement = 0.0f;
        const float* spot = nullptr;  // the spot template's three values (null: as made)
    };
    // Places a new object: at (x, y, z), owned by the player of the owner id
    // (the team is kept in any case), with its map id (the highest map id
    // rises to it) and layer, turned by the heading increment (the heading
    // kept in [0, 2 pi)), each scale factor grown by the scale increment,
    // its radius taken again; a spot takes the three values. An object on a
    // hidden layer is hidden.
    void PlaceObject(CTessarakObject* object, const SPlacement& placement);

    // Scratch state: the sync image that ComputeSyncCRC builds, the seeds of
    // objects without an id, the scratch objects of checking readers.
    CStateArchive m_syncImage;
    uint32_t m_anonymousSeed = 0;

private:
    CWorld& m_world;
    CMissionObjectives m_objectives{*this};
    uint8_t m_commandQueued = 0;
    SScriptPoint m_scriptPoints[kScriptPoints];
    CTessarakObject* m_scratch[4] = {};
    uint8_t m_finished = 0;
    uint8_t m_watching = 0;
    float m_endTimer = 0.0f;
};

// The unit loader's order of the template list: by name without regard to
// case, a template without a name (or none) as the empty name; negative, 0
// or positive as a comes before, with or after b.
int LoadUnitsTemplateByName(const CTessarakObjectTemplate* a, const CTessarakObjectTemplate* b);
