// Watching a folder and everything below it for changes, on a thread of the watch's own: the platform's
// reader of change notifications (watch_win.cpp: ReadDirectoryChangesW over the subtree; watch_posix.cpp:
// inotify, a watch per folder). What to do with the changes is follow.h's, on the owner's thread.
//
// The reader only fills an inbox and wakes its owner: it never touches the tree.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "follow/follow.h"

namespace spadrim {

// What the watch found since the owner last looked. The owner takes it whole under the lock.
struct ChangeInbox {
    std::mutex lock;
    std::vector<DiskChange> changes;
    bool lost = false;   // the system could not keep up (its buffer overflowed): what changed is unknown
    bool ended = false;  // the watch stopped for good (the root itself went away, the handle failed)
};

// Moves a reader's batch into the inbox under its lock, notes a loss or the end, and wakes the owner;
// nothing happens (no wake) when there is nothing to tell. The batch is left empty.
void publish(ChangeInbox& inbox, std::vector<DiskChange>& batch, bool lost, bool ended,
             const std::function<void()>& wake);

// The system's buffer the tests shrink to make it overflow; 0 takes the default.
inline constexpr std::size_t DEFAULT_WATCH_BUFFER = 64 * 1024;

struct WatchState;  // per platform
struct WatchStateDeleter {
    void operator()(WatchState* state) const;  // stops the reader and waits for its thread
};

// A running watch; destroying it stops it.
struct Watch {
    std::unique_ptr<WatchState, WatchStateDeleter> state;
};

struct WatchStart {
    std::unique_ptr<WatchState, WatchStateDeleter> watch;  // nothing: not watching
    // Without a watch: true when the drive cannot report changes (a network server that does not notify,
    // a file system without notifications), as opposed to a failure to open the root.
    bool not_supported = false;
    std::string error;
};

// Starts watching `root` (a real path, as FileTree::root_path) and its whole subtree. Each batch of
// changes lands in inbox, followed by a call of wake (from the watch's thread). Paths in the changes are
// relative to root, with the platform's separator.
WatchStart start_watch(const std::string& root, std::shared_ptr<ChangeInbox> inbox,
                       std::function<void()> wake, std::size_t buffer_bytes = DEFAULT_WATCH_BUFFER);

}  // namespace spadrim
