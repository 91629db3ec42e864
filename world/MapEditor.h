// The map editor's work on the world: what its console rows and its mouse
// tools do to the placed objects, in world terms.
//
// The editor works where the game runs on this machine alone (the console's
// editor state, the state mask's bit 8): no other machine shares the world,
// so its direct changes (teams, layers, turning and growing objects) need no
// turn. What makes or takes away objects still goes through the session as
// every machine's would: CREATEUNIT (110) for a new object, which every
// machine places in the same turn (CGameScene::PlaceObject), and KILLUNIT
// (161) with "remove" for a deleted one.
//
// The marked objects are the selected ones (the editor's rectangle selects
// among the current layer's objects). A CMapEditor holds nothing of its
// own: the editor's settings are the scene's (CGameScene::m_editor).
#pragma once

#include <cstdint>
#include <vector>

#include "world/GameScene.h"

class CWorld;
class CTessarakObject;
class CTessarakObjectTemplate;

// The payload of CREATEUNIT (110) for the template and the placement (layout
// in world/GameMessages.h): 38 bytes, 50 for the scene's spot template
// (whose three values are the placement's or the defaults). A negative map
// id asks for the next map id where the message is applied.
int CreateUnit_Encode(const CGameScene& scene, const CTessarakObjectTemplate* tmpl,
                      const CGameScene::SPlacement& placement, uint8_t out[50]);

// The team a map gives the object: its owner's, or the one the map gave it
// while no player of that team plays (the neutral player owns it then).
uint8_t MapTeam_Of(const CTessarakObject* object);

class CMapEditor {
public:
    explicit CMapEditor(CWorld& world) : m_world(world) {}

    // Asks the session to make the object on every machine (CREATEUNIT);
    // false without a template or a session.
    bool RequestCreate(const CTessarakObjectTemplate* tmpl, const CGameScene::SPlacement& placement);

    // The marked (selected) world objects' ids, in the scene's list order.
    std::vector<int32_t> Marked() const;
    // Every marked object is taken off the map on every machine (KILLUNIT,
    // remove). The number asked.
    int DeleteMarked();
    // Every marked object gets the team (0 to 255): the player of that owner
    // id owns it when one plays, the neutral player otherwise, and the map
    // keeps the team. The number changed; -1 for a team outside 0 to 255.
    int SetTeam(int32_t team);
    // Every marked object goes to the layer (0 to 255) at its height. The
    // number moved; -1 for a layer outside.
    int SetLayer(int32_t layer);
    // The layer's objects are hidden, or shown again; false for a layer
    // outside 0 to 255.
    bool HideLayer(int32_t layer);
    bool LayerHidden(int32_t layer) const;
    // The layer's height rises by the amount; its objects follow.
    bool RaiseLayer(int32_t layer, float amount);
    // Every marked object turns by the angle (radians; its heading kept in
    // [0, 2 pi), its heading increment with it), or grows by the amount (each
    // scale factor and its scale increment).
    int TurnMarked(float angle);
    int GrowMarked(float amount);
    // Of every pair of objects at most distance apart on the ground, the
    // later in the scene's list is taken off the map (each pair once, each
    // object once): the names of those taken, in order.
    std::vector<const CTessarakObject*> Merge(float distance);
    // count spots of the scene's spot template at free points of the map,
    // chosen by a generator of the seed alone (the same spots on every
    // machine and run): each point free on the grid and 2 map units from
    // the others chosen (99 tries, then the last), its size within the
    // scene's spot range, its phase and speed drawn too; asked of the
    // session. The number asked (0 without a spot template or map).
    int ScatterSpots(int32_t count, uint32_t seed);
    // Every marked object is made again where it stands (the same template,
    // team, layer, heading and scale), with the next map ids. The number asked.
    int DuplicateMarked();
    // Whether an object of the template may stand at (x, z) on the current
    // layer: no point of its footprint (the middle, the four corners and
    // the four edge middles) lies strictly inside nine tenths of another's.
    // Ground (objects that are no grid members, such as ground tiles) and
    // what stands on it (grid members) never block each other.
    bool MayPlace(const CTessarakObjectTemplate* tmpl, float x, float z) const;
    // The object that refuses the place (null when it is free).
    const CTessarakObject* PlacementBlocker(const CTessarakObjectTemplate* tmpl, float x, float z) const;
    // The template the panel's row shows: the row-th from the offset of the
    // scene's template list (null past its end).
    CTessarakObjectTemplate* PanelTemplate(int32_t row) const;
    // Moves the panel's offset toward the head (negative steps) or the end
    // (positive), stopping at either; an unset offset starts at the head.
    void MoveOffset(int32_t steps);
    // The objects whose ids are firstId or above are marked, every other
    // unmarked (what a script just made). The number marked.
    int MarkFrom(int32_t firstId);

private:
    CWorld& m_world;
};
