// The walker loop and a whole walk. See walk.h.
#include "scan/walk.h"

#include <algorithm>
#include <memory>
#include <span>
#include <thread>
#include <utility>

#include "scan/paths.h"

namespace spadrim {
namespace {

// Takes the next folder, or nothing when the walk is over. Runs under the queue lock throughout; the
// cancel flag is only looked at here, so a worker always finishes the folder it has.
std::optional<WorkItem> take_work(WorkQueue& queue, const ScanProgress& progress) {
    std::unique_lock hold(queue.lock);
    for (;;) {
        if (queue.done) return std::nullopt;
        if (progress.cancel.load()) {
            queue.done = true;
            queue.changed.notify_all();
            return std::nullopt;
        }
        if (!queue.items.empty()) {
            WorkItem item = std::move(queue.items.back());
            queue.items.pop_back();
            ++queue.active;
            return item;
        }
        if (queue.active == 0) {  // nothing queued and nobody listing: the normal end
            queue.done = true;
            queue.changed.notify_all();
            return std::nullopt;
        }
        queue.changed.wait(hold);
    }
}

// Whether id is one of the folders above: a list as long as the folder is deep, compared without a call
// to the file system.
bool is_ancestor(const Ancestry* above, const FolderId& id) {
    return id.file != 0 && above != nullptr && std::find(above->begin(), above->end(), id) != above->end();
}

// What a worker has made of the folder it is listing so far: the subfolders to queue and the counts.
struct FolderWalk {
    const WorkItem& item;
    std::shared_ptr<const Ancestry> ancestors;  // the subfolders', made at the first one
    std::vector<WorkItem>& found;
    std::uint64_t files = 0;
    std::uint64_t bytes = 0;
    bool full = false;  // the tree had no room for an entry: none of the rest goes in
};

// Appends part of a listing under the tree lock, held by the caller. After the tree filled up, nothing
// more goes in: the folder is then added only as far as it fitted, in listing order.
std::pair<NodeIndex, std::size_t> append_part(FileTree& tree, FolderWalk& walk,
                                              std::span<const ListedEntry> part) {
    if (walk.full) {
        tree.left_out += part.size();
        return {0, 0};
    }
    const auto first = static_cast<NodeIndex>(tree.nodes.size());
    const std::size_t appended = append_listing(tree, walk.item.node, part);
    if (appended < part.size()) {
        tree.left_out += part.size() - appended;
        walk.full = true;
    }
    return {first, appended};
}

// Counts the appended entries first .. first + appended - 1 and finds the subfolders among them; no
// lock needed.
void note_part(FolderWalk& walk, const FolderId& id, std::span<const ListedEntry> part, NodeIndex first,
               std::size_t appended) {
    for (std::size_t i = 0; i < appended; ++i) {
        const ListedEntry& entry = part[i];
        if (!(entry.flags & FLAG_DIR)) {
            ++walk.files;
            walk.bytes += entry.size;
        } else if (!(entry.flags & FLAG_LINK)) {
            // By the name the file system gave: the shown form of a repaired name names nothing, or
            // something else.
            if (walk.ancestors == walk.item.ancestors && id.file != 0) {
                Ancestry above = walk.item.ancestors ? *walk.item.ancestors : Ancestry();
                above.push_back(id);
                walk.ancestors = std::make_shared<const Ancestry>(std::move(above));
            }
            walk.found.push_back(WorkItem{static_cast<NodeIndex>(first + i),
                                          join_path(walk.item.path, entry.name, PATH_SEPARATOR),
                                          walk.ancestors});
        }
    }
}

}  // namespace

void walk_worker(LockedTree& locked, WorkQueue& queue, ScanProgress& progress, const FolderLister& lister) {
    std::vector<ListedEntry> entries;
    std::vector<WorkItem> found;
    FolderWalk* walking = nullptr;
    // The parts of a big folder, as they are listed. A way back up is never entered, so nothing of it
    // goes in. Made once per worker, not per folder: it then holds two references and allocates nothing.
    const TakeEntries take = [&walking, &locked](std::span<const ListedEntry> part, const FolderId& id) {
        FolderWalk& walk = *walking;
        if (is_ancestor(walk.item.ancestors.get(), id)) return;
        std::pair<NodeIndex, std::size_t> added;
        {
            std::lock_guard hold(locked.lock);
            added = append_part(locked.tree, walk, part);
        }
        note_part(walk, id, part, added.first, added.second);
    };
    while (std::optional<WorkItem> item = take_work(queue, progress)) {
        found.clear();
        FolderWalk walk{*item, item->ancestors, found};
        walking = &walk;
        FolderId id;
        Listing listing = lister(item->path, entries, id, take);
        const bool way_back = is_ancestor(item->ancestors.get(), id);
        const bool listed = listing != Listing::FAILED && !way_back;

        // Only the append needs the tree lock; the work items and counts are made afterwards without it.
        std::pair<NodeIndex, std::size_t> added;
        {
            std::lock_guard hold(locked.lock);
            if (way_back) {
                locked.tree.nodes[item->node].flags |= FLAG_LINK;
            } else if (listed) {
                added = append_part(locked.tree, walk, entries);
                if (walk.full) listing = Listing::INCOMPLETE;
            }
            if (listing != Listing::COMPLETE && !way_back) mark_unreadable(locked.tree, item->node);
        }
        if (listed) note_part(walk, id, entries, added.first, added.second);

        progress.files += walk.files;
        progress.bytes += walk.bytes;
        // A way back up is a link, not a folder of its own.
        if (!way_back && progress.folders.fetch_add(1) % 64 == 0) {
            std::unique_lock try_hold(progress.lock, std::try_to_lock);
            if (try_hold.owns_lock()) progress.current_path = shown_form(walk_display_path(item->path));
        }

        std::lock_guard hold(queue.lock);
        for (WorkItem& work : found)
            queue.items.push_back(std::move(work));
        --queue.active;
        queue.changed.notify_all();
    }
}

std::optional<FileTree> walk_folder(std::string_view root, unsigned threads, ScanProgress& progress,
                                    const FolderLister& lister) {
    LockedTree locked;
    locked.tree = make_tree(root);
    locked.tree.nodes[0].mtime = folder_mtime(walk_root_path(root));
    WorkQueue queue;
    queue.items.push_back(WorkItem{0, walk_root_path(root), nullptr});
    {
        std::vector<std::jthread> workers;
        workers.reserve(threads);
        for (unsigned i = 0; i < std::max(threads, 1u); ++i) {
            workers.emplace_back([&] { walk_worker(locked, queue, progress, lister); });
        }
    }
    if (progress.cancel.load()) return std::nullopt;
    FileTree tree = std::move(locked.tree);
    roll_up(tree);
    return tree;
}

}  // namespace spadrim
