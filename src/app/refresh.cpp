// Folders of the tree on screen brought up to date in place. See app.h.
//
// A worker walks or lists the folders; the UI thread splices what it brings into the tree, so nothing
// else ever sees the tree half changed. Splicing keeps every index of what stayed (new entries are
// appended, replaced ones freed), so the view's place survives as it is, except for what lay inside a
// replaced folder: that is found again by path, or its nearest folder still there. When enough is freed
// the tree is compacted and every index the App holds is renumbered.
#include <algorithm>
#include <utility>

#include "app/app.h"
#include "app/texts.h"
#include "scan/splice.h"
#include "strings/strings.h"

namespace spadrim {
namespace {

void reap_runners(App& app) {
    std::erase_if(app.refresh_runners, [](const JobRunner& runner) { return runner.finished->load(); });
}

// The path of the folder holding `path`, never above the root.
std::string parent_path(std::string_view path, std::string_view root) {
    std::size_t at = path.rfind(PATH_SEPARATOR);
    if (at == std::string_view::npos || at < root.size()) return std::string(root);
    if (at == 0) at = 1;  // "/a" is in "/"
    return std::string(path.substr(0, at));
}

// The live folder of the tree at a real path, or NO_NODE.
NodeIndex folder_at(const FileTree& tree, std::string_view path) {
    if (path == tree.root_path) return 0;
    const NodeIndex node = find_path(tree, path);
    if (node == 0 || !(tree.nodes[node].flags & FLAG_DIR) || is_removed(tree, node)) return NO_NODE;
    return node;
}

// The deepest live folder of the tree on the way to a real path: where a view inside a folder gone ends up.
NodeIndex nearest_folder(const FileTree& tree, std::string path) {
    while (path.size() > tree.root_path.size()) {
        if (const NodeIndex node = folder_at(tree, path); node != NO_NODE) return node;
        path = parent_path(path, tree.root_path);
    }
    return 0;
}

// Whether the node lies in what a splice freed.
bool freed(const FileTree& tree, NodeIndex node) {
    for (; node != NO_NODE && node < tree.nodes.size(); node = tree.nodes[node].parent) {
        if (tree.nodes[node].flags & FLAG_FREED) return true;
    }
    return false;
}

// The worker's part: each task in turn, as far as it gets before a cancellation.
RefreshOutcome run_tasks(const std::vector<RefreshTask>& tasks, const std::string& root,
                         ScanProgress& progress, unsigned threads, const FolderLister& lister) {
    RefreshOutcome outcome;
    for (const RefreshTask& task : tasks) {
        if (progress.cancel) break;
        RefreshResult result;
        result.task = task;
        // A folder gone is taken out of the tree by a listing of the nearest folder above it still there.
        std::string path = task.path;
        while (!folder_exists(path) && path.size() > root.size())
            path = parent_path(path, root);
        if (!folder_exists(path)) {
            outcome.results.push_back(std::move(result));  // the root itself is gone
            continue;
        }
        if (task.walk && path == task.path) {
            result.walked = walk_folder(path, threads, progress, lister);
            if (!result.walked) break;  // cancelled
        } else {
            FolderId id;
            result.listed_path = path;
            result.listing = lister(walk_root_path(path), result.entries, id, {});
        }
        outcome.results.push_back(std::move(result));
    }
    return outcome;
}

void start_job(App& app, std::vector<RefreshTask> tasks, bool asked) {
    reap_runners(app);
    const std::uint64_t generation = ++app.refresh_generation;
    auto progress = std::make_shared<ScanProgress>();
    auto finished = std::make_shared<std::atomic<bool>>(false);
    RefreshJob job{generation, progress, asked, {}, Clock::now()};
    if (asked) {
        const NodeIndex folder = folder_at(*app.tree, tasks.front().path);
        job.shown = folder == NO_NODE ? tasks.front().path : path_of(*app.tree, folder);
    }
    const unsigned threads = app.scan_threads ? app.scan_threads : worker_count();
    app.refresh_runners.push_back(
        JobRunner{finished, std::jthread([tasks = std::move(tasks), root = app.tree->root_path, progress,
                                          generation, threads, lister = app.scan_lister,
                                          slot = app.refresh_slot, wake = app.wake_refresh_owner, finished] {
                      RefreshOutcome outcome = run_tasks(tasks, root, *progress, threads, lister);
                      outcome.generation = generation;
                      {
                          const std::lock_guard hold(slot->lock);
                          slot->outcomes.push_back(std::move(outcome));
                      }
                      *finished = true;
                      wake();
                  })});
    app.refreshing = std::move(job);
}

// Starts what waits, the folder the user asked for first, unless a job runs.
void start_next(App& app) {
    if (app.refreshing || !app.tree) return;
    if (app.refresh_asked) {
        RefreshTask task = std::move(*app.refresh_asked);
        app.refresh_asked.reset();
        start_job(app, {std::move(task)}, true);
    } else if (!app.refresh_queue.empty()) {
        start_job(app, std::exchange(app.refresh_queue, {}), false);
    }
}

// Where the user is, for what a splice may free.
struct Place {
    std::string folder;
    std::string selection;
    std::string anchor;
};

NodeIndex renumber(std::span<const NodeIndex> renumbered, NodeIndex node) {
    return node < renumbered.size() ? renumbered[node] : NO_NODE;
}

// Every index the App holds, after compaction renumbered the tree.
void renumber_app(App& app, std::span<const NodeIndex> renumbered) {
    cancel_duplicates(app);  // its candidates carry the old numbers; what it was to compare stays due
    app.current_folder = renumber(renumbered, app.current_folder);
    app.selection = renumber(renumbered, app.selection);
    app.anchor = renumber(renumbered, app.anchor);
    for (NodeIndex& node : app.selected)
        node = renumber(renumbered, node);
    std::erase(app.selected, NO_NODE);
    std::set<NodeIndex> changed;
    for (const NodeIndex folder : app.changed_folders) {
        if (const NodeIndex now = renumber(renumbered, folder); now != NO_NODE) changed.insert(now);
    }
    app.changed_folders = std::move(changed);
    std::unordered_map<NodeIndex, DuplicatesFound> duplicates;
    for (auto& [folder, found] : app.duplicates) {
        const NodeIndex now = renumber(renumbered, folder);
        if (now == NO_NODE) continue;
        for (DuplicateSet& set : found.sets) {
            for (NodeIndex& member : set.members)
                member = renumber(renumbered, member);
            std::erase(set.members, NO_NODE);
        }
        std::erase_if(found.sets, [](const DuplicateSet& set) { return set.members.size() < 2; });
        duplicates.emplace(now, std::move(found));
    }
    app.duplicates = std::move(duplicates);
    std::unordered_map<NodeIndex, std::set<std::uint64_t>> stale;
    for (auto& [folder, lengths] : app.duplicates_stale) {
        if (const NodeIndex now = renumber(renumbered, folder); now != NO_NODE)
            stale.emplace(now, std::move(lengths));
    }
    app.duplicates_stale = std::move(stale);
    if (app.comparison) {
        // The comparison shown until the one started after this splice is done.
        Comparison& comparison = *app.comparison;
        std::vector<NodeIndex> before_of(renumbered.size() > 0 ? app.tree->nodes.size() : 0, NO_NODE);
        for (std::size_t i = 0; i < comparison.before_of.size() && i < renumbered.size(); ++i) {
            if (renumbered[i] != NO_NODE) before_of[renumbered[i]] = comparison.before_of[i];
        }
        comparison.before_of = std::move(before_of);
        for (NodeIndex& after : comparison.after_of)
            after = renumber(renumbered, after);
    }
    app.hover = {};
    ++app.tree_numbering;
    // The filter's results stay shown until the search of the tree as it is now is done.
    if (app.results && app.results->done && app.results_numbering + 1 == app.tree_numbering) {
        renumber_search(*app.results, renumbered, app.tree->nodes.size());
        app.results_numbering = app.tree_numbering;
    }
}

// What changed in the folders a splice touched can make or break duplicate sets of the results that hold
// them: those lengths are compared again when the results are next shown.
void note_duplicate_lengths(App& app, std::span<const NodeIndex> touched, NodeIndex first_new) {
    if (app.duplicates.empty()) return;
    const FileTree& tree = *app.tree;
    const auto note = [&](NodeIndex node) {
        const Node& item = tree.nodes[node];
        if (item.flags & (FLAG_DIR | FLAG_LINK | FLAG_CLOUD_ONLY | FLAG_REMOVED)) return;
        const std::uint64_t length = content_length(tree, node);
        if (length < DUPLICATE_THRESHOLD || is_removed(tree, node)) return;
        for (NodeIndex folder = item.parent; folder != NO_NODE; folder = tree.nodes[folder].parent) {
            if (app.duplicates.contains(folder)) app.duplicates_stale[folder].insert(length);
        }
    };
    // New files, and those of the folders listed again (their content may have changed in place).
    for (std::size_t i = first_new; i < tree.nodes.size(); ++i)
        note(static_cast<NodeIndex>(i));
    for (const NodeIndex folder : touched) {
        for (NodeIndex child = tree.nodes[folder].first_child; child != NO_NODE;
             child = tree.nodes[child].next_sibling)
            if (child < first_new) note(child);
    }
}

}  // namespace

bool start_refresh(App& app, NodeIndex folder) {
    if (!app.tree || app.tree->imported || folder >= app.tree->nodes.size()) return false;
    const Node& node = node_at(*app.tree, folder);
    if (!(node.flags & FLAG_DIR) || (node.flags & FLAG_LINK) || is_removed(*app.tree, folder)) return false;
    if (app.refreshing && app.refreshing->asked) app.refreshing->progress->cancel = true;  // the newer wins
    app.refresh_asked = RefreshTask{real_path_of(*app.tree, folder), true};
    start_next(app);
    return true;
}

void cancel_refresh(App& app) {
    app.refresh_asked.reset();
    if (app.refreshing && app.refreshing->asked) app.refreshing->progress->cancel = true;
}

bool refresh_asked(const App& app) {
    return app.refresh_asked ||
           (app.refreshing && app.refreshing->asked && !app.refreshing->progress->cancel);
}

void drop_refreshes(App& app) {
    if (app.refreshing) app.refreshing->progress->cancel = true;
    app.refreshing.reset();
    app.refresh_asked.reset();
    app.refresh_queue.clear();
    reap_runners(app);
}

std::string refresh_progress_text(const App& app) {
    if (!refresh_asked(app)) return {};
    const bool running = app.refreshing && app.refreshing->asked;
    const std::uint64_t files = running ? app.refreshing->progress->files.load() : 0;
    std::string shown = running ? app.refreshing->shown : std::string();
    if (!running && app.tree) {
        const NodeIndex folder = folder_at(*app.tree, app.refresh_asked->path);
        shown = folder == NO_NODE ? app.refresh_asked->path : path_of(*app.tree, folder);
    }
    return substitute(
        with_counts(tr("{0} 다시 검사 중… 파일 {1}개", "Analyzing {0} again… {1} files"), {{1, files}}),
        {shown, format_count(files)});
}

void queue_refresh(App& app, std::vector<RefreshTask> tasks) {
    for (RefreshTask& task : tasks) {
        const bool queued = std::ranges::any_of(app.refresh_queue, [&](const RefreshTask& other) {
            return other.path == task.path && (other.walk || !task.walk);
        });
        if (!queued) app.refresh_queue.push_back(std::move(task));
    }
    start_next(app);
}

void finish_refresh(App& app) {
    std::vector<RefreshOutcome> outcomes;
    {
        const std::lock_guard hold(app.refresh_slot->lock);
        outcomes.swap(app.refresh_slot->outcomes);
    }
    reap_runners(app);
    if (!app.refreshing) return;
    const auto mine = std::ranges::find_if(outcomes, [&](const RefreshOutcome& outcome) {
        return outcome.generation == app.refreshing->generation;
    });
    if (mine == outcomes.end()) return;  // only cancelled jobs' outcomes: keep waiting
    const RefreshJob job = std::move(*app.refreshing);
    app.refreshing.reset();
    if (!app.tree || (job.asked && job.progress->cancel)) {
        start_next(app);
        return;
    }

    wait_for_save(app);  // the save reads the tree
    FileTree& tree = *app.tree;
    const auto first_new = static_cast<NodeIndex>(tree.nodes.size());
    std::vector<NodeIndex> touched;  // folders whose content changed
    std::vector<RefreshTask> walks;  // new folders a listing found, to walk
    bool full = false;               // the tree could not hold what was found
    bool root_gone = false;
    for (const RefreshResult& result : mine->results) {
        if (result.walked) {
            const NodeIndex folder = folder_at(tree, result.task.path);
            if (folder == NO_NODE) continue;  // gone since, with a folder above it
            if (splice_subtree(tree, folder, *result.walked))
                touched.push_back(folder);
            else
                full = true;
        } else if (!result.listed_path.empty()) {
            const NodeIndex folder = folder_at(tree, result.listed_path);
            if (folder == NO_NODE || result.listing == Listing::FAILED) continue;
            const std::optional<std::vector<NodeIndex>> added = splice_listing(tree, folder, result.entries);
            if (!added) {
                full = true;
                continue;
            }
            touched.push_back(folder);
            for (const NodeIndex node : *added)
                walks.push_back(RefreshTask{real_path_of(tree, node), true});
        } else {
            root_gone = true;
        }
    }

    if (!touched.empty()) {
        // The view's place, where the splice freed it: found again by path in the tree as it is now.
        const auto again = [&](NodeIndex& node, bool folder) {
            if (node == NO_NODE || !freed(tree, node)) return;
            const std::string path = real_path_of(tree, node);
            if (folder) {
                node = nearest_folder(tree, path);
            } else {
                node = find_path(tree, path);
                if (node == 0 && path != tree.root_path) node = NO_NODE;
            }
        };
        again(app.current_folder, true);
        again(app.selection, false);
        again(app.anchor, false);
        for (NodeIndex& node : app.selected)
            again(node, false);
        std::erase(app.selected, NO_NODE);
        std::erase_if(app.changed_folders, [&](NodeIndex folder) { return freed(tree, folder); });
        if (!job.asked) {
            for (const NodeIndex folder : touched) {
                if (folder != app.current_folder) app.changed_folders.insert(folder);
            }
            app.updated = Clock::now();
        }
        note_duplicate_lengths(app, touched, first_new);
        prune_duplicates(app);
        if (worth_compacting(tree)) renumber_app(app, compact_tree(tree));
        ++app.tree_generation;
        recompare(app);
        refresh_view(app);
    }
    if (job.asked) {
        const std::chrono::duration<double> took = Clock::now() - job.started;
        const NodeIndex folder =
            folder_at(tree, mine->results.empty() ? std::string() : mine->results[0].task.path);
        if (folder == NO_NODE) {
            show_notice(app, std::string(tr("폴더를 찾을 수 없습니다", "Folder not found")) +
                                 std::string(label_colon()) + job.shown);
        } else {
            show_notice(app, walk_done_text(node_at(tree, folder), took.count()));
        }
    }
    if (full)
        show_notice(app, std::string(tr("항목이 너무 많아 일부를 담지 못했습니다",
                                        "Too many entries: some were left out")));
    if (root_gone)
        show_notice(app, std::string(tr("폴더를 찾을 수 없습니다", "Folder not found")) +
                             std::string(label_colon()) + tree.root_path);
    if (!walks.empty()) queue_refresh(app, std::move(walks));
    start_next(app);
}

}  // namespace spadrim
