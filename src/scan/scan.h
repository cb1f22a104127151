// One Scan: the shared progress, the record of the running job, the outcome and the slot it travels
// through, and the scan thread's body.
//
// A Scan's outcome crosses from its scan thread to the owner (the UI thread) exactly once, through a
// ResultSlot guarded by its own lock, followed by a wake-up the owner supplies (a posted window
// message on Windows, a condition variable in the command-line front end and the tests). Scans carry a
// generation number; the owner drops outcomes of any generation but the one it waits for.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "scan/drives.h"
#include "scan/progress.h"
#include "scan/tree.h"
#include "scan/walk.h"

namespace spadrim {

using Clock = std::chrono::steady_clock;

// The owner's record of the running Scan.
struct ScanJob {
    std::string root_path;                    // absolute; becomes the tree's root_path
    std::optional<std::string> restore_path;  // the folder to show again when it finishes
    Clock::time_point started;
    std::shared_ptr<ScanProgress> progress;
    std::uint64_t generation = 0;
    std::uint64_t expected_bytes = 0;  // used space of the volume for a drive root, else 0
};

struct ScanOutcome {
    std::uint64_t generation = 0;
    std::optional<FileTree> tree;  // nothing: the Scan was cancelled, or failed
    std::string error{};           // why it failed; empty when it was cancelled
};

// Holds at most one outcome. A newer outcome replaces an older one, never the other way round, so a
// cancelled older Scan that finishes late cannot hide the outcome of the Scan that replaced it.
struct ResultSlot {
    std::mutex lock;
    std::optional<ScanOutcome> outcome;
};

void put_outcome(ResultSlot& slot, ScanOutcome outcome);
std::optional<ScanOutcome> take_outcome(ResultSlot& slot);

// Walker threads for a processor count: 2 to 8 (4 when the count is unknown, reported as 0).
unsigned worker_count(unsigned processors);
unsigned worker_count();

// "D:\" exactly: a letter, a colon and a backslash.
bool is_drive_root(std::string_view path);

// Used bytes of the volume when path is a drive root that reports its size, else 0.
std::uint64_t expected_bytes(std::string_view path, std::optional<VolumeSpace> space);

// The scan thread's body: walks root with `threads` walkers listing through lister, publishes
// {generation, tree or cancelled} and calls wake.
void run_scan(const std::string& root, ScanProgress& progress, std::uint64_t generation, ResultSlot& slot,
              const std::function<void()>& wake, unsigned threads, const FolderLister& lister);

// Per platform (system_win.cpp, system_posix.cpp).
unsigned processor_count();                                        // 0 when unknown
std::optional<VolumeSpace> volume_space(const std::string& path);  // total and free bytes of its volume
std::string absolute_path(std::string_view path);  // the text itself when it cannot be made absolute
bool folder_exists(const std::string& path);       // following links

}  // namespace spadrim
