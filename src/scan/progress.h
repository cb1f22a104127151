// Live figures of one Scan, shared by the UI thread, the scan thread and the walkers; owned jointly
// (std::shared_ptr) and freed with its last holder.
//
// The counters are atomics that walkers add to and the UI reads without a lock, so the three figures
// may be momentarily inconsistent with each other. Only current_path needs the lock; walkers only ever
// try it, so painting can never hold up the walk.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

namespace spadrim {

struct ScanProgress {
    std::mutex lock;           // guards current_path only
    std::string current_path;  // refreshed at most once per 64 listed folders
    std::atomic<std::uint64_t> files{0};
    std::atomic<std::uint64_t> folders{0};  // listed folders, the root and failed ones included
    std::atomic<std::uint64_t> bytes{0};
    std::atomic<bool> cancel{false};  // set by the UI thread; workers stop after their current folder
};

}  // namespace spadrim
