// A battle to run in lockstep: two sides of demo units (both races, their
// headquarters and factories, tanks, artillery and harvesters) on a map, and
// a script that, every few ticks, sends some units somewhere and sets others
// on the nearest enemy. With orders the moves are move orders that go round
// as messages (the orders, their confirmations and the ways the path finder
// finds, as a session of one machine has them); without, the units' paths
// are set as the waypoint-list message sets them. The script draws from its
// own generator, so two worlds that run the same battle are told the same
// things in the same ticks.
#pragma once

#include <cstdint>
#include <vector>

#include "core/Random.h"

class CUnitWorld;

class CLockstepScene {
public:
    // unitsPerSide mobile units on each side, spread over the map. spacing is
    // the distance between neighbours in their rows (a small one makes
    // crowds that touch).
    CLockstepScene(CUnitWorld& world, int unitsPerSide, bool orders, float spacing = 4.0f);

    // The script's orders of this tick, then one logic tick.
    void Step();
    int32_t Ticks() const { return m_ticks; }

    CUnitWorld& m_world;
    std::vector<int32_t> m_ids;  // the units the script commands, by object id
    CRandom m_script;
    int32_t m_ticks = 0;
    bool m_orders;
};
