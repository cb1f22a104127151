// The walker loop and a whole walk. See walk.h.
#include "scan/walk.h"

#include <algorithm>
#include <memory>
#include <thread>

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

}  // namespace

void walk_worker(LockedTree& locked, WorkQueue& queue, ScanProgress& progress, const FolderLister& lister) {
    std::vector<ListedEntry> entries;
    std::vector<WorkItem> found;
    while (std::optional<WorkItem> item = take_work(queue, progress)) {
        FolderId id;
        Listing listing = lister(item->path, entries, id);
        const bool way_back = is_ancestor(item->ancestors.get(), id);
        const bool listed = listing != Listing::FAILED && !way_back;

        // Only the append needs the tree lock; the new nodes are first .. first + appended - 1, so the
        // work items and counts are made afterwards without it.
        NodeIndex first = 0;
        std::size_t appended = 0;
        {
            std::lock_guard hold(locked.lock);
            if (way_back) {
                locked.tree.nodes[item->node].flags |= FLAG_LINK;
            } else if (listed) {
                first = static_cast<NodeIndex>(locked.tree.nodes.size());
                appended = append_listing(locked.tree, item->node, entries);
                if (appended < entries.size()) {
                    locked.tree.left_out += entries.size() - appended;
                    listing = Listing::INCOMPLETE;
                }
            }
            if (listing != Listing::COMPLETE && !way_back) mark_unreadable(locked.tree, item->node);
        }
        std::uint64_t files = 0;
        std::uint64_t bytes = 0;
        found.clear();
        std::shared_ptr<const Ancestry> ancestors = item->ancestors;
        for (std::size_t i = 0; i < appended; ++i) {
            const ListedEntry& entry = entries[i];
            if (!(entry.flags & FLAG_DIR)) {
                ++files;
                bytes += entry.size;
            } else if (!(entry.flags & FLAG_LINK)) {
                // By the name the file system gave: the shown form of a repaired name names nothing, or
                // something else.
                if (ancestors == item->ancestors && id.file != 0) {
                    Ancestry above = item->ancestors ? *item->ancestors : Ancestry();
                    above.push_back(id);
                    ancestors = std::make_shared<const Ancestry>(std::move(above));
                }
                found.push_back(WorkItem{static_cast<NodeIndex>(first + i),
                                         join_path(item->path, entry.name, PATH_SEPARATOR), ancestors});
            }
        }

        progress.files += files;
        progress.bytes += bytes;
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
