// The clock of the game: one monotonic performance counter at 1,193,182
// counts per second, the unit that game time, the engine's timer and the
// content's durations are written in; plus milliseconds for time-outs.
#pragma once

#include <cstdint>

constexpr int64_t kSysPerfFrequency = 1193182;

int64_t Sys_QueryPerformanceCounter();  // counts since an arbitrary start
inline int64_t Sys_QueryPerformanceFrequency() {
    return kSysPerfFrequency;
}
uint32_t Sys_GetTickCount();  // milliseconds, wraps after 49 days
// Seconds since 1970 (wall clock), for seeding and time stamps.
int64_t Sys_GetWallTime();
