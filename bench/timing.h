// Timing for the in-memory benchmarks (bench/search.cpp, bench/compare.cpp, bench/refresh.cpp).
#pragma once

#include <algorithm>
#include <chrono>
#include <ctime>
#include <functional>
#include <vector>

namespace spadrim {

// Processor time of this process, which other programs on a busy machine disturb less than the clock
// on the wall does.
inline double processor_milliseconds() {
    return 1000.0 * static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

// Time on the wall: what a user waits for work spread over several threads.
inline double wall_milliseconds() {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The best of several runs: the least disturbed by the machine's other work.
inline double best_of(int runs, const std::function<void()>& work) {
    double best = 1e300;
    for (int i = 0; i < runs; ++i) {
        const double start = processor_milliseconds();
        work();
        best = std::min(best, processor_milliseconds() - start);
    }
    return best;
}

// The middle of several runs' figures (the upper middle of an even count).
inline double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}

}  // namespace spadrim
