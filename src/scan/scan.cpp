// The scan run's portable part. See scan.h.
#include "scan/scan.h"

#include <algorithm>
#include <utility>

namespace spadrim {

void put_outcome(ResultSlot& slot, ScanOutcome outcome) {
    std::lock_guard hold(slot.lock);
    if (slot.outcome && slot.outcome->generation > outcome.generation) return;  // stale: dropped here
    slot.outcome = std::move(outcome);
}

std::optional<ScanOutcome> take_outcome(ResultSlot& slot) {
    std::lock_guard hold(slot.lock);
    return std::exchange(slot.outcome, std::nullopt);
}

unsigned worker_count(unsigned processors) {
    if (processors == 0) return 4;
    return std::clamp(processors, 2u, 8u);
}

unsigned worker_count() {
    return worker_count(processor_count());
}

bool is_drive_root(std::string_view path) {
    return path.size() == 3 && path[1] == ':' && path[2] == '\\';
}

std::uint64_t expected_bytes(std::string_view path, std::optional<VolumeSpace> space) {
    if (!is_drive_root(path) || !space || space->total >= SIZE_NOT_REPORTED) return 0;
    return space->free > space->total ? 0 : space->total - space->free;
}

void run_scan(const std::string& root, ScanProgress& progress, std::uint64_t generation, ResultSlot& slot,
              const std::function<void()>& wake, unsigned threads, const FolderLister& lister) {
    put_outcome(slot, ScanOutcome{generation, walk_folder(root, threads, progress, lister)});
    wake();
}

}  // namespace spadrim
