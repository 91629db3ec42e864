// Min and max beside Google Benchmark's mean and median of the repetitions
// (bench/run.sh runs five): the spread of a paired ratio on a busy machine.
// BENCHMARK(...)->Apply(WithMinMax). And the clock of paired timings.
#pragma once

#include <benchmark/benchmark.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <vector>

inline void WithMinMax(benchmark::internal::Benchmark* b) {
    b->ComputeStatistics("min", [](const std::vector<double>& v) {
         return *std::min_element(v.begin(), v.end());
     })->ComputeStatistics("max", [](const std::vector<double>& v) {
        return *std::max_element(v.begin(), v.end());
    });
}

// The calling thread's processor time: the pairs' clock, since on a shared
// machine the wall clock also counts the time others ran.
struct SThreadClock {
    using duration = std::chrono::nanoseconds;
    using rep = duration::rep;
    using period = duration::period;
    using time_point = std::chrono::time_point<SThreadClock>;
    static constexpr bool is_steady = true;
    static time_point now() {
        timespec t{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return time_point(duration(int64_t(t.tv_sec) * 1000000000 + t.tv_nsec));
    }
};
