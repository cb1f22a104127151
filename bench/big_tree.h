// The generated tree of the in-memory benchmarks (bench/micro.cpp, bench/search.cpp, bench/compare.cpp,
// bench/refresh.cpp), and what a tree holds in memory.
#pragma once

#include <random>
#include <string>
#include <vector>

#include "kinds/kinds.h"
#include "scan/tree.h"

namespace spadrim {

inline constexpr std::size_t BIG_TREE_NODES = 1'000'000;

// About 1,000,000 nodes built as a walk builds them: each folder's entries appended in one listing,
// folders in the order they were found, files written between 2017 and 2026. 39 files of ~19-byte names per
// folder, and 0 to 5 subfolders, which gives about 25,000 folders some ten levels deep.
inline FileTree build_big_tree() {
    std::mt19937 random(42);
    std::mt19937 times(7);  // apart, so that the names stay those of earlier runs
    const char* words[] = {"report", "IMG", "backup", "setup", "photo", "invoice", "track", "video", "notes"};
    const char* extensions[] = {".jpg", ".txt", ".dll", ".mp4", ".log", ".pdf", ".zip", ".exe", "", ".JPEG"};
    FileTree tree = make_tree("/bench");
    std::vector<NodeIndex> pending{0};
    std::vector<ListedEntry> entries;
    for (std::size_t next = 0; next < pending.size() && tree.nodes.size() < BIG_TREE_NODES; ++next) {
        entries.clear();
        for (int i = 0; i < 39; ++i) {
            std::string name = std::string(words[random() % 9]) + "_" + std::to_string(random() % 100000) +
                               extensions[random() % 10];
            const auto kind = static_cast<std::uint8_t>(classify_extension(file_extension(name)));
            ListedEntry entry{std::move(name), random() % 5'000'000, 0, kind};
            entry.mtime = static_cast<std::uint32_t>(1'500'000'000 + times() % 300'000'000);
            entries.push_back(std::move(entry));
        }
        const int folders = next == 0 ? 3 : static_cast<int>(random() % 6);
        for (int i = 0; i < folders; ++i)
            entries.push_back(ListedEntry{"folder " + std::to_string(i), 0, FLAG_DIR, 0});
        const auto first = static_cast<NodeIndex>(tree.nodes.size());
        append_listing(tree, pending[next], entries);
        for (int i = 0; i < folders; ++i)
            pending.push_back(first + 39 + static_cast<NodeIndex>(i));
    }
    roll_up(tree);
    return tree;
}

// What a tree holds, in bytes: its nodes and names (the chunks held, not the part in use) and its side
// tables (their buckets and entries).
inline std::size_t tree_bytes(const FileTree& tree) {
    std::size_t side = (tree.real_names.bucket_count() + tree.lengths.bucket_count()) * sizeof(void*);
    for (const auto& [node, name] : tree.real_names)
        side += sizeof(node) + sizeof(name) + 2 * sizeof(void*) + name.capacity();
    side += tree.lengths.size() * (sizeof(NodeIndex) + sizeof(std::uint64_t) + 2 * sizeof(void*));
    return tree.nodes.capacity_bytes() + tree.names.capacity_bytes() + side;
}

}  // namespace spadrim
