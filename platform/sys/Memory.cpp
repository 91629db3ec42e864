#include "platform/sys/Memory.h"

#include <malloc.h>

#include <mutex>

namespace {
constexpr int kTrimThreshold = 256 << 20;  // free memory kept at the top of the heap before it is returned
constexpr int kMmapThreshold = 16 << 20;   // blocks below this come from the heap
std::once_flag g_tuned;
}  // namespace

void Sys_TuneAllocator() {
    std::call_once(g_tuned, [] {
#if defined(__GLIBC__)
        mallopt(M_TRIM_THRESHOLD, kTrimThreshold);
        mallopt(M_MMAP_THRESHOLD, kMmapThreshold);
#endif
    });
}

void Sys_ReturnFreeMemory() {
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}
