#include "core/Random.h"

namespace {

uint32_t g_state = 0x16BA2118u;

// The largest float below 1: a value that rounding would carry to 1.0 stays
// inside the half-open range the callers index with.
constexpr float kBelowOne = 0.99999994f;

uint32_t Step() {
    g_state = (g_state * 1103515245u + 12345u) & 0x7FFFFFFFu;
    return g_state;
}

}  // namespace

int32_t CRandom::Rand() {
    m_state = ((m_state * 214013u + 2531011u) >> 16) & 0x7FFF;
    return static_cast<int32_t>(m_state);
}

float CRandom::RandFloat() {
    return static_cast<float>(Rand()) * 3.0518509e-05f;
}

float Random01() {
    float r = static_cast<float>(Step()) * 4.656612873e-10f;  // 2^-31
    return r < 1.0f ? r : kBelowOne;
}

float RandomSigned() {
    float r = static_cast<float>(Step()) * 9.313225746e-10f - 1.0f;  // 2^-30
    return r < 1.0f ? r : kBelowOne;
}

void SetRandomSeed(uint32_t seed) {
    g_state = seed & 0x7FFFFFFFu;
}

uint32_t GetRandomSeedState() {
    return g_state;
}
