// Following changes on disk while results are open: which folders to list again, and when.
//
// The system reports changes one entry at a time, often thousands in a burst (an unpacked archive, a
// build). Whatever the entry and whatever happened to it (added, removed, written, renamed), what the
// tree needs is a new listing of the folder that holds it. So changes only mark folders; a folder is
// listed again at most once a second, however many changes it sees, and the marked folders go out in
// batches. When the system lost changes (its buffer overflowed), nothing short of walking the whole root
// again is right. Pure: the reader of notifications is the platform's, the clock the caller's.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace spadrim {

using FollowClock = std::chrono::steady_clock;

// At most one listing of a folder per this interval.
inline constexpr std::chrono::milliseconds RELIST_INTERVAL{1000};
// Folders handed out at once: a listing each, on a worker.
inline constexpr std::size_t RELIST_BATCH = 256;

enum class DiskChangeKind : std::uint8_t {
    Added = 1,  // the numbers of ReadDirectoryChangesW's actions
    Removed = 2,
    Modified = 3,
    RenamedFrom = 4,
    RenamedTo = 5,
};

struct DiskChange {
    DiskChangeKind kind;
    std::string path;  // relative to the followed root, UTF-8, with the root's separator
};

struct Following {
    char separator = '\\';
    // Folders marked and not yet handed out (relative paths; "" is the root), and when each folder was
    // last handed out.
    std::unordered_map<std::string, FollowClock::time_point> marked;
    std::unordered_map<std::string, FollowClock::time_point> listed;
    bool lost = false;  // changes were lost: the root is to be walked again
    std::optional<FollowClock::time_point> root_walked;
};

// Marks the folder of each changed entry.
void note_changes(Following& following, std::span<const DiskChange> changes, FollowClock::time_point now);
// The system could not say what changed.
void note_lost(Following& following);

struct Relist {
    bool whole_root = false;           // walk the root again; the folders below are then left out
    std::vector<std::string> folders;  // list these again, parents before children
    // When to ask again for what is still marked; nothing when nothing is.
    std::optional<FollowClock::time_point> next;
};

// What is due now: the whole root when changes were lost (at most once per interval), else up to
// RELIST_BATCH marked folders whose interval has passed. What it hands out is no longer marked.
Relist take_due(Following& following, FollowClock::time_point now);

// The folder that holds an entry: its path up to the last separator ("" for an entry of the root).
std::string_view holder_of(std::string_view path, char separator);

}  // namespace spadrim
