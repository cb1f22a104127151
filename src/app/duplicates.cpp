// Starting, cancelling and collecting duplicate comparisons on the UI thread. See app.h.
#include <algorithm>
#include <unordered_map>

#include "app/app.h"

namespace spadrim {
namespace {

void reap_runners(App& app) {
    std::erase_if(app.duplicate_runners, [](const JobRunner& runner) { return runner.finished->load(); });
}

// Drops members that went to the Recycle Bin (or whose folder did), then sets left with one member.
void drop_removed(const FileTree& tree, std::vector<DuplicateSet>& sets) {
    for (DuplicateSet& set : sets) {
        const std::size_t before = set.members.size();
        std::erase_if(set.members, [&](NodeIndex member) { return is_removed(tree, member); });
        if (set.members.size() == before) continue;
        std::vector<std::uint64_t> on_disk;
        for (const NodeIndex member : set.members)
            on_disk.push_back(tree.nodes[member].size);
        set.wasted = freed_keeping_one(on_disk);
    }
    std::erase_if(sets, [](const DuplicateSet& set) { return set.members.size() < 2; });
    sort_sets(sets);
}

}  // namespace

void cancel_duplicates(App& app) {
    if (!app.duplicate_job) return;
    app.duplicate_job->progress->cancel = true;
    // Lengths to compare again stay due for the next time the folder's result is shown.
    if (!app.duplicate_job->lengths.empty())
        app.duplicates_stale[app.duplicate_job->folder].merge(app.duplicate_job->lengths);
    app.duplicate_job.reset();
}

void start_duplicates(App& app) {
    if (!app.tree || app.screen != Screen::Results) return;
    const NodeIndex folder = app.current_folder;
    const bool found = app.duplicates.contains(folder);
    const auto stale = app.duplicates_stale.find(folder);
    if (found && stale == app.duplicates_stale.end()) {
        cancel_duplicates(app);
        return;
    }
    if (app.duplicate_job) {
        if (app.duplicate_job->folder == folder) return;
        cancel_duplicates(app);
    }
    reap_runners(app);
    // A result there already: only the lengths that changed on disk since are compared again.
    std::set<std::uint64_t> lengths;
    if (found) {
        lengths = std::move(stale->second);
        app.duplicates_stale.erase(stale);
    }

    const FileTree& tree = *app.tree;
    // Grouped by content length: a sparse or compressed copy takes less space than its twin but reads
    // the same.
    std::unordered_map<std::uint64_t, std::vector<NodeIndex>> by_length;
    walk_subtree(tree, folder, [&](NodeIndex i) {
        if (tree.nodes[i].flags & (FLAG_DIR | FLAG_LINK | FLAG_CLOUD_ONLY)) return;
        const std::uint64_t length = content_length(tree, i);
        if (length >= DUPLICATE_THRESHOLD && (lengths.empty() || lengths.contains(length)))
            by_length[length].push_back(i);
    });
    std::vector<CandidateEntry> entries;
    for (const auto& [length, nodes] : by_length) {
        if (nodes.size() < 2) continue;
        for (const NodeIndex node : nodes) {
            const std::uint64_t on_disk = tree.nodes[node].size;
            entries.push_back(CandidateEntry{real_path_of(tree, node), length, node,
                                             on_disk == length ? std::nullopt : std::optional(on_disk)});
        }
    }

    const std::uint64_t generation = ++app.duplicate_generation;
    auto progress = std::make_shared<CompareProgress>();
    auto finished = std::make_shared<std::atomic<bool>>(false);
    app.duplicate_runners.push_back(JobRunner{
        finished, std::jthread([entries = std::move(entries), root = tree.root_path, generation, progress,
                                outcomes = app.duplicate_outcomes, wake = app.wake_duplicates_owner,
                                workers = app.duplicate_workers, finished]() mutable {
            run_duplicate_job(std::move(entries), root, generation, *progress, *outcomes, wake, workers);
            *finished = true;
        })});
    app.duplicate_job = DuplicateJob{std::move(progress), generation, folder, std::move(lengths)};
}

void finish_duplicates(App& app) {
    std::vector<DuplicateOutcome> outcomes;
    {
        std::lock_guard hold(app.duplicate_outcomes->lock);
        outcomes.swap(app.duplicate_outcomes->outcomes);
    }
    if (!app.duplicate_job) return;
    const auto mine = std::find_if(outcomes.begin(), outcomes.end(), [&](const DuplicateOutcome& outcome) {
        return outcome.generation == app.duplicate_job->generation;
    });
    if (mine == outcomes.end()) return;  // only cancelled jobs' outcomes: keep waiting
    const NodeIndex folder = app.duplicate_job->folder;
    const std::set<std::uint64_t> lengths = std::move(app.duplicate_job->lengths);
    app.duplicate_job.reset();
    if (mine->sets && app.tree) {
        drop_removed(*app.tree, *mine->sets);
        const auto found = app.duplicates.find(folder);
        if (lengths.empty() || found == app.duplicates.end()) {
            app.duplicates[folder] = DuplicatesFound{std::move(*mine->sets), mine->failed};
        } else {
            // The sets of the lengths compared again take the place of the old ones of those lengths.
            std::vector<DuplicateSet>& sets = found->second.sets;
            std::erase_if(sets, [&](const DuplicateSet& set) { return lengths.contains(set.size); });
            sets.insert(sets.end(), std::make_move_iterator(mine->sets->begin()),
                        std::make_move_iterator(mine->sets->end()));
            sort_sets(sets);
            found->second.failed = std::max(found->second.failed, mine->failed);
        }
    }
    refresh_view(app);
}

void remove_from_view(App& app, NodeIndex node) {
    remove_from_view(app, std::span<const NodeIndex>(&node, 1));
}

void remove_from_view(App& app, std::span<const NodeIndex> nodes) {
    if (!app.tree) return;
    wait_for_save(app);  // the save reads the tree
    for (const NodeIndex node : nodes) {
        if (is_removed(*app.tree, node)) continue;  // inside one removed before it
        remove_node(*app.tree, node);
        if (app.selection == node) app.selection = NO_NODE;
    }
    prune_duplicates(app);
    ++app.tree_generation;
    refresh_view(app);
}

void prune_duplicates(App& app) {
    if (!app.tree) return;
    for (auto& [folder, found] : app.duplicates)
        drop_removed(*app.tree, found.sets);
}

}  // namespace spadrim
