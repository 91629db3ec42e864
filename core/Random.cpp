#include "core/Random.h"

namespace {

CRandomStream g_stream;

// The largest float below 1: a value that rounding would carry to 1.0 stays
// inside the half-open range the callers index with.
constexpr float kBelowOne = 0.99999994f;

}  // namespace

int32_t CRandom::Rand() {
    m_state = ((m_state * 214013u + 2531011u) >> 16) & 0x7FFF;
    return static_cast<int32_t>(m_state);
}

float CRandom::RandFloat() {
    return static_cast<float>(Rand()) * 3.0518509e-05f;
}

float CRandomStream::Random01() {
    float r = static_cast<float>(Next()) * 4.656612873e-10f;  // 2^-31
    return r < 1.0f ? r : kBelowOne;
}

float CRandomStream::RandomSigned() {
    float r = static_cast<float>(Next()) * 9.313225746e-10f - 1.0f;  // 2^-30
    return r < 1.0f ? r : kBelowOne;
}

float Random01() {
    return g_stream.Random01();
}

float RandomSigned() {
    return g_stream.RandomSigned();
}

void SetRandomSeed(uint32_t seed) {
    g_stream.Seed(seed);
}

uint32_t GetRandomSeedState() {
    return g_stream.m_state;
}
