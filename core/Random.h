// Random numbers of the game.
//
// CRandom is the small generator each simulated object owns (units, weapons,
// explosions): the same seed gives the same sequence on every machine, which
// lockstep games need. Its state is cut to 15 bits at every step. The global
// generator gives floats for choices outside the simulation (a player colour,
// start spots) and can be re-seeded with SetRandomSeed. CRandomStream is the
// global generator's sequence in an object of its own: an effect that must
// repeat exactly from its seed (a particle emitter, a lightning bolt) draws
// from its own stream and leaves everyone else's sequence alone.
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

class CRandomStream {
public:
    static constexpr uint32_t kStartState = 0x16BA2118u;

    constexpr explicit CRandomStream(uint32_t seed = kStartState) : m_state(seed & 0x7FFFFFFFu) {}
    void Seed(uint32_t seed) { m_state = seed & 0x7FFFFFFFu; }
    // The next 31-bit state (a full-period generator: every state comes round).
    uint32_t Next() {
        m_state = (m_state * 1103515245u + 12345u) & 0x7FFFFFFFu;
        return m_state;
    }
    // 0 .. 32767: the upper 15 bits of the next state.
    int32_t Rand() { return static_cast<int32_t>(Next() >> 16); }
    float Random01();      // [0, 1)
    float RandomSigned();  // [-1, 1)

    uint32_t m_state;
};

float Random01();      // [0, 1)
float RandomSigned();  // [-1, 1)
void SetRandomSeed(uint32_t seed);
uint32_t GetRandomSeedState();
