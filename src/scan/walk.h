// The directory walker: the loop every scan worker thread runs.
//
// Workers share one stack of folders still to be listed (WorkQueue). A worker pops a folder, lists it
// with no lock held, appends it to the tree under one tree-lock acquisition (one per LISTING_BATCH
// entries of a big folder, which it takes in parts as they are listed), pushes the
// subfolders it found and adds to the progress counters. The stack makes each worker go deep into the
// folder it just listed while idle workers take the rest. The walk ends when the stack is empty and no
// worker is listing, or when the Scan is cancelled; a worker that is listing when the cancel flag is set
// finishes that folder first.
//
// Three locks, never nested: the queue lock (with its condition variable, notified on every change),
// the tree lock and the progress lock (only ever tried, never waited for).
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "scan/folder.h"
#include "scan/progress.h"
#include "scan/tree.h"

namespace spadrim {

// The ids of the folders above one waiting to be listed, the root's first. One immutable list per listed
// folder, shared by its subfolders: freed flat however deep the tree, and read by any worker unlocked.
using Ancestry = std::vector<FolderId>;

// One folder waiting to be listed.
struct WorkItem {
    NodeIndex node;
    std::string path;  // real walk form (long path on Windows), no trailing separator
    std::shared_ptr<const Ancestry> ancestors;  // none for the root
};

struct WorkQueue {
    std::mutex lock;
    std::condition_variable changed;
    std::vector<WorkItem> items;  // a stack: last in, first out
    std::uint64_t active = 0;     // workers listing a folder they took from the stack
    bool done = false;            // set once; every worker then leaves
};

struct LockedTree {
    std::mutex lock;
    FileTree tree;
};

// How a worker lists one folder: list_folder of the platform, or a stand-in that tests use to inject
// failures or to cancel at a chosen moment. Same contract as list_folder; a stand-in may leave take
// uncalled and give every entry in out.
using FolderLister = std::function<Listing(const std::string& walk_path, std::vector<ListedEntry>& out,
                                           FolderId& id, const TakeEntries& take)>;

// Runs until the walk ends. A folder whose id is one of its ancestors' is a way back up the tree: it is
// not entered but kept as a link to a folder (FLAG_LINK), so what it leads to is counted once. A listing
// the tree has no room for (its 32-bit indices) is added as far as it fits; the folder then counts as
// unreadable and the tree's left_out says how many entries are missing.
void walk_worker(LockedTree& tree, WorkQueue& queue, ScanProgress& progress, const FolderLister& lister);

// Walks root with `threads` workers (at least 1) and returns the rolled-up tree, or nothing
// when progress.cancel was set before the walk ended (a cancelled tree is discarded unrolled).
std::optional<FileTree> walk_folder(std::string_view root, unsigned threads, ScanProgress& progress,
                                    const FolderLister& lister = list_folder);

}  // namespace spadrim
