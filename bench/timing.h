// Timing for the in-memory benchmarks (bench/search.cpp, bench/compare.cpp).
#pragma once

#include <algorithm>
#include <ctime>
#include <functional>

namespace spadrim {

// Processor time of this process, which other programs on a busy machine disturb less than the clock
// on the wall does.
inline double processor_milliseconds() {
    return 1000.0 * static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
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

}  // namespace spadrim
