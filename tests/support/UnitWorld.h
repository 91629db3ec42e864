// A world with units to test in: the world test host with a world grid over
// a square map, two players of their own (red and blue, enemies), and the
// templates of the demo content's packed project (content/Tessarak/Units/
// PackedProject.VXP) made from its sources as the game's loader makes them:
// the same class, tree, keys and races, every key read by its template.
// Shapes are not built; each template's collision radius is the larger of
// its parts' ground extents (x and z) and its footprint half-size that
// radius in cells of the path grid (three to a map unit), rounded.
#pragma once

#include <cstdint>
#include <string>

#include "tests/support/WorldTestHost.h"

class CUnit;
class CUnitTemplate;
class CWorldGrid;

class CUnitWorld : public CWorldTestHost {
public:
    // A map from -half to half on both axes.
    explicit CUnitWorld(int32_t half = 64);
    ~CUnitWorld() override;

    // The demo templates; false (with the reason in error) when the sources
    // cannot be read.
    bool LoadDemoTemplates(std::string& error);
    CUnitTemplate* UnitTemplate(const char* name) const;
    // A unit of the template at (x, 0, z) with the next object id, complete
    // (built) unless told otherwise.
    CUnit* Spawn(const char* templateName, float x, float z, CPlayer* owner, bool complete = true);
    // Logic ticks as the game runs them: the clock advances one tick period,
    // then the scene's tick and the grid's.
    void Tick(int count = 1);
    // Logic ticks of a session with this machine alone: the orders, stops
    // and ways the world sent (messages 134, 137 and 142) come back at the
    // start of the next tick, as the server's frame brings them, and are
    // taken before the scene's tick. Returns the messages taken.
    size_t Run(int count = 1);
    // Takes the order messages sent so far (the others stay in sent).
    size_t Deliver();

    CPlayer* red = nullptr;
    CPlayer* blue = nullptr;
};
