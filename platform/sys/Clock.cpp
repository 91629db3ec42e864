#include "platform/sys/Clock.h"

#include <ctime>

int64_t Sys_QueryPerformanceCounter() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    // Split seconds and nanoseconds so the product never overflows.
    return static_cast<int64_t>(ts.tv_sec) * kSysPerfFrequency +
           static_cast<int64_t>(ts.tv_nsec) * kSysPerfFrequency / 1000000000;
}

uint32_t Sys_GetTickCount() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint32_t>(static_cast<uint64_t>(ts.tv_sec) * 1000u +
                                 static_cast<uint64_t>(ts.tv_nsec) / 1000000u);
}

int64_t Sys_GetWallTime() {
    return static_cast<int64_t>(std::time(nullptr));
}
