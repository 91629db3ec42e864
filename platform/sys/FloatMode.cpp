#include "platform/sys/FloatMode.h"

#include <cfenv>
#if defined(__SSE__) || defined(__x86_64__)
#include <xmmintrin.h>
#endif

void Sys_SetFloatMode() {
    std::fesetround(FE_TONEAREST);
#if defined(__SSE__) || defined(__x86_64__)
    unsigned csr = _mm_getcsr();
    // Bits 7-12 mask the six exceptions; bit 15 is flush-to-zero and bit 6
    // denormals-are-zero, both of which would change results.
    unsigned want = (csr | 0x1F80u) & ~(0x8000u | 0x0040u | 0x6000u);
    if (want != csr) _mm_setcsr(want);
#endif
}

int Sys_SetRoundTowardZero() {
    int saved = std::fegetround();
    std::fesetround(FE_TOWARDZERO);
    return saved;
}

void Sys_RestoreRounding(int saved) {
    std::fesetround(saved);
}
