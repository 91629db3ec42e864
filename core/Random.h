// Random numbers of the game.
//
// CRandom is the small generator each simulated object owns (units, weapons,
// explosions): the same seed gives the same sequence on every machine, which
// lockstep games need. Its state is cut to 15 bits at every step. The global
// generator gives floats for choices outside the simulation (a player colour,
// start spots) and can be re-seeded with SetRandomSeed.
#pragma once

#include <cstdint>

class CRandom {
public:
    int32_t Rand();     // 0 .. 32767
    float RandFloat();  // 0 .. 1, both included
    void Seed(uint32_t seed) { m_state = seed & 0x7FFF; }
    void Reset() { m_state = 8472; }
    uint32_t GetState() const { return m_state; }

    uint32_t m_state;  // no constructor: owners call Reset or Seed
};

float Random01();      // [0, 1)
float RandomSigned();  // [-1, 1)
void SetRandomSeed(uint32_t seed);
uint32_t GetRandomSeedState();
