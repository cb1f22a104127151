// The refresh benchmark: a folder on disk of about 100,000 entries analysed again inside a drive of about
// 1,000,000 (the generated tree of bench/big_tree.h, into which the folder's first walk is spliced at a
// folder some levels down). Times ten plain walks of the folder (run_scan with worker_count() walkers,
// as the window's scan thread walks) in turn with ten whole refreshes of it: the same walk,
// splice_subtree into the drive, and compact_tree when worth_compacting says so. Prints the medians of the
// wall times (processor times beside them) with the ratio refresh / walk (the aim: at most 1.10), the
// splice and the compaction alone, and after the ten refreshes the memory the drive holds beside that of
// the same content built in one pass, as a fresh scan builds it (the aim: at most 1.05). Exits 1 when an
// aim is missed or the refreshed drive does not hold what it should. Run by bench/refresh.sh (from
// bench/run).
//   spadrim_refresh_bench FOLDER
#include <cstdio>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "big_tree.h"
#include "scan/folder.h"
#include "scan/scan.h"
#include "scan/splice.h"
#include "timing.h"

namespace spadrim {
namespace {

constexpr int REFRESHES = 10;
constexpr double MB = 1024.0 * 1024.0;

// Several runs of one piece of work on both clocks.
struct Times {
    std::vector<double> wall;
    std::vector<double> processor;
};

struct Lap {
    double wall = wall_milliseconds();
    double processor = processor_milliseconds();
};

void stop(Times& times, const Lap& lap) {
    times.wall.push_back(wall_milliseconds() - lap.wall);
    times.processor.push_back(processor_milliseconds() - lap.processor);
}

// One walk of the folder as the window starts one: the scan thread's body, here on this thread.
std::optional<FileTree> walk(const std::string& folder) {
    ScanProgress progress;
    ResultSlot slot;
    run_scan(
        folder, progress, 1, slot, [] {}, worker_count(), list_folder);
    std::optional<ScanOutcome> outcome = take_outcome(slot);
    if (!outcome) return std::nullopt;
    return std::move(outcome->tree);
}

// A folder some levels down the drive that holds only files: what a refresh there replaces is the
// folder's own few entries, not a branch of the drive.
NodeIndex place_in(const FileTree& drive) {
    for (NodeIndex i = 1; i < drive.nodes.size(); ++i) {
        if (!(drive.nodes[i].flags & FLAG_DIR) || drive.nodes[i].first_child == NO_NODE ||
            chain_to(drive, i).size() < 6)
            continue;
        bool files_only = true;
        for (NodeIndex child = drive.nodes[i].first_child; child != NO_NODE;
             child = drive.nodes[child].next_sibling)
            files_only = files_only && !(drive.nodes[child].flags & FLAG_DIR);
        if (files_only) return i;
    }
    return NO_NODE;
}

// The live content of a tree as a fresh scan of it builds it: folder by folder in the order found, each
// listing appended in one piece, then rolled up.
FileTree built_in_one_pass(const FileTree& tree) {
    FileTree built = make_tree(tree.root_path);
    built.nodes[0].mtime = tree.nodes[0].mtime;
    std::vector<std::pair<NodeIndex, NodeIndex>> folders{{0, 0}};  // (in tree, in built) still to list
    std::vector<ListedEntry> entries;
    std::vector<NodeIndex> origins;
    for (std::size_t next = 0; next < folders.size(); ++next) {
        const auto [from, into] = folders[next];
        entries.clear();
        origins.clear();
        for (NodeIndex child = tree.nodes[from].first_child; child != NO_NODE;
             child = tree.nodes[child].next_sibling) {
            const Node& node = tree.nodes[child];
            if (node.flags & FLAG_REMOVED) continue;
            const bool folder = (node.flags & FLAG_DIR) && !(node.flags & FLAG_LINK);
            ListedEntry entry{
                std::string(real_name_of(tree, child)), folder ? 0 : node.size,
                static_cast<std::uint8_t>(node.flags & (FLAG_DIR | FLAG_LINK | FLAG_CLOUD_ONLY)), node.kind};
            entry.unshowable = tree.real_names.contains(child);
            entry.length = content_length(tree, child);
            entry.mtime = node.mtime;
            entries.push_back(std::move(entry));
            origins.push_back(child);
        }
        const auto first = static_cast<NodeIndex>(built.nodes.size());
        append_listing(built, into, entries);
        for (std::size_t k = 0; k < origins.size(); ++k) {
            const auto at = first + static_cast<NodeIndex>(k);
            if (tree.nodes[origins[k]].flags & FLAG_UNREADABLE) mark_unreadable(built, at);
            if ((entries[k].flags & FLAG_DIR) && !(entries[k].flags & FLAG_LINK))
                folders.emplace_back(origins[k], at);
        }
    }
    roll_up(built);
    return built;
}

double megabytes(const FileTree& tree) {
    return static_cast<double>(tree_bytes(tree)) / MB;
}

}  // namespace
}  // namespace spadrim

int main(int argc, char** argv) {
    using namespace spadrim;
    if (argc != 2) {
        std::fprintf(stderr, "usage: spadrim_refresh_bench FOLDER\n");
        return 2;
    }
    const std::string folder = absolute_path(argv[1]);

    std::printf("building the drive ...\n");
    FileTree drive = build_big_tree();
    const std::size_t drive_nodes = drive.nodes.size();
    NodeIndex place = place_in(drive);
    // The first walk also brings the folder's metadata into the cache for the timed ones.
    const std::optional<FileTree> first = walk(folder);
    if (!first || first->nodes.size() < 2 || (first->nodes[0].flags & FLAG_UNREADABLE)) {
        std::fprintf(stderr, "could not walk %s\n", folder.c_str());
        return 1;
    }
    if (place == NO_NODE || !splice_subtree(drive, place, *first)) {
        std::fprintf(stderr, "could not splice the folder into the drive\n");
        return 1;
    }
    if (worth_compacting(drive)) place = compact_tree(drive)[place];
    const double memory_before = megabytes(drive);
    std::printf("folder %s: %zu entries\n", folder.c_str(), first->nodes.size() - 1);
    std::printf("drive of %zu nodes; with the folder at %s, %zu live\n\n", drive_nodes,
                path_of(drive, place).c_str(),
                static_cast<std::size_t>(drive.nodes.size() - drive.freed_nodes));

    // Rounds in pairs, one walking alone and one refreshing, the walk first in one pair and second in the
    // next, so that a drift in the machine's load falls on both alike.
    Times walks;
    Times refreshes;
    Times splices;
    Times compactions;
    for (int round = 0; round < 2 * REFRESHES; ++round) {
        const Lap lap;
        std::optional<FileTree> fresh = walk(folder);
        if (!fresh) {
            std::fprintf(stderr, "could not walk %s again\n", folder.c_str());
            return 1;
        }
        if (round % 4 == 0 || round % 4 == 3) {
            fresh.reset();
            stop(walks, lap);
            continue;
        }
        const Lap splicing;
        if (!splice_subtree(drive, place, *fresh)) {
            std::fprintf(stderr, "the refresh did not splice\n");
            return 1;
        }
        stop(splices, splicing);
        if (worth_compacting(drive)) {
            const Lap compacting;
            place = compact_tree(drive)[place];
            stop(compactions, compacting);
        }
        fresh.reset();
        stop(refreshes, lap);
    }

    const double walk_ms = median(walks.wall);
    const double refresh_ms = median(refreshes.wall);
    const double ratio = refresh_ms / walk_ms;
    const bool fast = ratio <= 1.10;
    std::printf("medians of %d runs each, wall time (processor time on all threads)\n", REFRESHES);
    std::printf("%-40s %8.1f ms  (%.1f ms)\n", "walk of the folder alone", walk_ms, median(walks.processor));
    std::printf("%-40s %8.1f ms  (%.1f ms)  ratio %.2f  aim <= 1.10: %s\n", "refresh: walk, splice, compact",
                refresh_ms, median(refreshes.processor), ratio, fast ? "met" : "MISSED");
    std::printf("%-40s %8.1f ms  (%.1f ms)\n", "  the splice alone", median(splices.wall),
                median(splices.processor));
    if (compactions.wall.empty())
        std::printf("%-40s never worth it\n", "  the compaction alone");
    else
        // The first also drops the folder's entries from the drive's own build, early in the drive, so it
        // moves nearly all of it; the later ones move what the refresh before appended.
        std::printf("%-40s %8.1f ms  (%.1f ms)  in %zu of %d refreshes; the first %.1f ms\n",
                    "  the compaction alone", median(compactions.wall), median(compactions.processor),
                    compactions.wall.size(), REFRESHES, compactions.wall.front());

    // The refreshed drive against the same content built in one pass: as much memory, and the same totals.
    const FileTree built = built_in_one_pass(drive);
    const std::size_t live = drive.nodes.size() - drive.freed_nodes;
    if (built.nodes.size() != live || built.nodes[0].size != drive.nodes[0].size ||
        built.nodes[0].file_count != drive.nodes[0].file_count) {
        std::fprintf(
            stderr,
            "the refreshed drive holds %zu live nodes, the one-pass build %zu, or their totals differ\n",
            live, built.nodes.size());
        return 1;
    }
    const double held = megabytes(drive);
    const double fresh_held = megabytes(built);
    const bool small = held <= 1.05 * fresh_held;
    std::printf("\n%-40s %8.1f MB\n", "the drive before the refreshes", memory_before);
    const std::string after = "the drive after " + std::to_string(REFRESHES) + " refreshes";
    std::printf("%-40s %8.1f MB  (%zu nodes, %llu freed)\n", after.c_str(), held,
                static_cast<std::size_t>(drive.nodes.size()),
                static_cast<unsigned long long>(drive.freed_nodes));
    std::printf("%-40s %8.1f MB  ratio %.3f  aim <= 1.05: %s\n", "the same content built in one pass",
                fresh_held, held / fresh_held, small ? "met" : "MISSED");
    return fast && small ? 0 : 1;
}
