// The comparison benchmark: the generated tree of 1,000,000 nodes (bench/big_tree.h) compared with a later
// scan of it in which a few per cent of the files grew, shrank, went or came and some small folders moved.
// Prints the best time of several runs of compare_all beside the import of one tree of the same size
// from its scan file (read_ncdu), the floor of what opening an earlier scan costs, with their ratio (the
// aim: at most 1 s), and the memory the comparison holds beside the memory of one tree (the aim: both
// trees and the comparison at most 2.2 times one tree). Times are processor times (std::clock). Run by
// bench/compare.sh (from bench/run).
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <string>

#include "big_tree.h"
#include "compare/compare.h"
#include "ncdu/ncdu.h"
#include "timing.h"

namespace spadrim {
namespace {

constexpr int RUNS = 5;
constexpr std::size_t SLICE = 1 << 16;  // entries per slice, as the window advances a comparison
constexpr double MB = 1024.0 * 1024.0;

// The tree as a later scan finds it: per thousand files 20 gone, 30 grown, 5 shrunk; per folder 0 to 2
// new files (about 2.5 % more); per thousand folders of fewer than 1,000 files 3 renamed, which moves
// everything in them. Built as a walk builds a tree, folder by folder, each listing in one piece.
FileTree later_tree(const FileTree& earlier) {
    std::mt19937 random(2026);
    FileTree later = make_tree(earlier.root_path);
    std::vector<std::pair<NodeIndex, NodeIndex>> folders{{0, 0}};  // (earlier, later) still to list
    std::vector<ListedEntry> entries;
    std::vector<NodeIndex> origins;  // per entry: its earlier folder, or NO_NODE
    for (std::size_t next = 0; next < folders.size(); ++next) {
        const auto [from, into] = folders[next];
        entries.clear();
        origins.clear();
        for (NodeIndex child = earlier.nodes[from].first_child; child != NO_NODE;
             child = earlier.nodes[child].next_sibling) {
            const Node& node = earlier.nodes[child];
            const auto roll = random() % 1000;
            ListedEntry entry{std::string(name_of(earlier, child)), node.size, node.flags, node.kind};
            entry.mtime = node.mtime;
            if (node.flags & FLAG_DIR) {
                entry.size = 0;  // a folder's size is what roll_up adds up
                if (roll < 3 && node.file_count < 1000) entry.name += " (old)";
            } else if (roll < 20) {
                continue;
            } else if (roll < 50) {
                entry.size += random() % 10'000'000;
            } else if (roll < 55) {
                entry.size /= 2;
            }
            entries.push_back(std::move(entry));
            origins.push_back((node.flags & FLAG_DIR) ? child : NO_NODE);
        }
        for (auto i = random() % 3; i > 0; --i) {
            std::string name = "download_" + std::to_string(random() % 100000) + ".zip";
            const auto kind = static_cast<std::uint8_t>(classify_extension(file_extension(name)));
            entries.push_back(ListedEntry{std::move(name), random() % 5'000'000, 0, kind});
            origins.push_back(NO_NODE);
        }
        const auto first = static_cast<NodeIndex>(later.nodes.size());
        append_listing(later, into, entries);
        for (std::size_t k = 0; k < origins.size(); ++k) {
            if (origins[k] != NO_NODE) folders.emplace_back(origins[k], first + static_cast<NodeIndex>(k));
        }
    }
    roll_up(later);
    return later;
}

double tree_megabytes(const FileTree& tree) {
    return static_cast<double>(tree_bytes(tree)) / MB;
}

// The document of a tree in ncdu's format, as a file holds it.
std::string ncdu_document(const FileTree& tree) {
    std::string document;
    std::string out;
    write_ncdu(tree, "bench", 1'800'000'000, out, [&](std::string& piece) {
        document += piece;
        piece.clear();
        return true;
    });
    return document;
}

}  // namespace
}  // namespace spadrim

int main() {
    using namespace spadrim;
    std::printf("building the trees ...\n");
    const FileTree earlier = build_big_tree();
    const FileTree later = later_tree(earlier);

    // The baseline: one tree of this size read from its scan file in memory, with nothing to wait for.
    const std::string document = ncdu_document(earlier);
    std::size_t imported = 0;
    const double import = best_of(RUNS, [&] {
        std::size_t at = 0;
        ScanProgress progress;
        const ImportOutcome read = read_ncdu(
            [&](std::span<char> into) -> std::optional<std::size_t> {
                const std::size_t n = std::min(into.size(), document.size() - at);
                std::copy_n(document.data() + at, n, into.data());
                at += n;
                return n;
            },
            progress);
        imported = read.tree ? read.tree->nodes.size() : 0;
    });
    if (imported != earlier.nodes.size()) {
        std::printf("the scan file read back %zu nodes of %zu\n", imported, earlier.nodes.size());
        return 1;
    }

    Comparison comparison;
    const double compare = best_of(RUNS, [&] { comparison = compare_all(earlier, later); });
    // The comparison's memory at its largest: the two indexes and the most folder pairs ever pending.
    Comparison sliced = start_compare(earlier, later);
    std::size_t pending_peak = 0;
    while (!advance_compare(sliced, earlier, later, SLICE))
        pending_peak = std::max(pending_peak, sliced.pending.capacity());
    const auto index_bytes = [](const std::vector<NodeIndex>& index) {
        return index.capacity() * sizeof(NodeIndex);
    };
    const double held =
        static_cast<double>(index_bytes(comparison.before_of) + index_bytes(comparison.after_of) +
                            pending_peak * sizeof(comparison.pending[0])) /
        MB;

    std::size_t counts[5] = {};
    for (NodeIndex i = 1; i < later.nodes.size(); ++i)
        ++counts[static_cast<int>(change_of(comparison, earlier, later, i))];
    const std::size_t removed = static_cast<std::size_t>(
        std::count(comparison.after_of.begin() + 1, comparison.after_of.end(), NO_NODE));
    const auto share = [&](std::size_t n) {
        return 100.0 * static_cast<double>(n) / static_cast<double>(earlier.nodes.size());
    };
    std::printf("earlier %zu nodes, later %zu: %.1f %% new, %.1f %% removed, %.1f %% grown, %.1f %% shrunk\n",
                earlier.nodes.size(), later.nodes.size(), share(counts[static_cast<int>(Change::New)]),
                share(removed), share(counts[static_cast<int>(Change::Grown)]),
                share(counts[static_cast<int>(Change::Shrunk)]));
    std::printf("%zu new files, %zu removed\n\n", static_cast<std::size_t>(comparison.new_files),
                static_cast<std::size_t>(comparison.removed_files));

    const bool fast = compare <= 1000.0;
    std::printf("%-34s %9.1f ms\n", "import of one tree (read_ncdu)", import);
    std::printf("%-34s %9.1f ms  ratio %5.2f  aim <= 1 s: %s\n", "compare_all", compare, compare / import,
                fast ? "met" : "MISSED");

    const double one = (tree_megabytes(earlier) + tree_megabytes(later)) / 2;
    const double total = tree_megabytes(earlier) + tree_megabytes(later) + held;
    const bool small = total <= 2.2 * one;
    std::printf("\n%-34s %9.1f MB  (earlier %.1f MB, later %.1f MB)\n", "one tree, on average", one,
                tree_megabytes(earlier), tree_megabytes(later));
    std::printf("%-34s %9.1f MB  ratio %5.2f to one tree  (pending at most %zu folder pairs)\n",
                "held by the comparison", held, held / one, pending_peak);
    std::printf("%-34s %9.1f MB  ratio %5.2f  aim <= 2.20: %s\n", "both trees and the comparison", total,
                total / one, small ? "met" : "MISSED");
    return fast && small ? 0 : 1;
}
