// What the world grid knows of an object that stands in it.
//
// Grid members (structures and units) derive from CGridObject. The grid keeps
// its own bookkeeping in the fields below (the object's place in the cell
// lists of the two link layers, the neighbour chain of the steering, the
// footprint marked on the path grid) and asks the object, through the virtual
// operations, only what its queries test: an id, a ground position, two radii,
// a path clearance, an owner and a few facts given as trait bits. The object
// never touches the grid's fields itself; it calls the grid (CWorldGrid,
// CWorldGridLayer) to link, unlink and mark.
#pragma once

#include <cstdint>

class CGridObject;
class CPlayer;

// One object's place in the cell lists of one link layer.
struct SGridLayerLink {
    CGridObject* next = nullptr;  // next object of the same cell
    CGridObject* prev = nullptr;
    int32_t cell = -1;  // index of the cell the object is linked into, -1 for none
};

// The rectangle of path-grid cells an object has marked: [x, x + width) x
// [y, y + height), on the path grid of the given generation (a reset grid
// has forgotten the marks of older ones).
struct SGridFootprint {
    int32_t x = 0, y = 0, width = 0, height = 0;
    uint32_t generation = 0;
    bool IsEmpty() const { return width <= 0 || height <= 0; }
};

class CGridObject {
public:
    // Facts about the object that the area queries test.
    enum : uint32_t {
        kGridUnit = 0x01,         // a unit (not a structure or another grid member)
        kGridMobile = 0x02,       // the unit's capability "mobile"
        kGridNoTarget = 0x04,     // its template says it is never a target
        kGridAside = 0x08,        // taken aside (carried, docked): no target, no neighbour
        kGridOnWaypoints = 0x10,  // moving along its waypoints
        kGridService = 0x20,      // offers service (a harvester's depot)
        kGridReady = 0x40,        // ready (built and able to act)
        kGridBuilder = 0x80,      // can build
    };

    virtual ~CGridObject() = default;

    virtual int32_t GridId() const = 0;  // the object id
    virtual float GridX() const = 0;     // ground position
    virtual float GridZ() const = 0;
    virtual float GridRadius() const = 0;           // collision radius
    virtual float GridFootprintRadius() const = 0;  // the second radius, of its footprint
    virtual uint32_t GridTraits() const = 0;
    // Half-size in path cells of the square a path for it must keep free.
    virtual int GridClearance() const { return 0; }
    virtual const CPlayer* GridOwner() const { return nullptr; }
    // Whether the object's owner is allied with the player (an object without
    // owner is allied with nobody).
    virtual bool GridIsAlliedWith(const CPlayer* /*player*/) const { return false; }
    // The template it was made from; compared, never read.
    virtual const void* GridTemplate() const { return nullptr; }
    // A builder's linked unit (the one it works on), or null.
    virtual CGridObject* GridLinkedUnit() const { return nullptr; }

    bool HasTraits(uint32_t bits) const { return (GridTraits() & bits) == bits; }

    // Kept by the grid.
    SGridLayerLink m_gridLink[2];            // layer 0 (coarse), layer 1 (fine)
    CGridObject* m_nextNeighbour = nullptr;  // chain built by CollectNeighbours
    SGridFootprint m_footprint;
};
