// The walker on real folders, with the platform's own listing (FindFirstFileExW under Wine, readdir on
// Linux). Every test checks the tree against an independent recount of the disk. Listing failures and
// cancellation are injected through the lister rather than with permissions, since tests run as root.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
#include <random>
#include <set>
#include <string>

#include "kinds/kinds.h"
#include "scan/folder.h"
#include "scan/walk.h"
#include "support/temp_tree.h"

namespace spadrim {
namespace {

namespace fs = std::filesystem;
using test::TempTree;
using test::utf8_of;

struct Totals {
    std::uint64_t size = 0;
    std::uint32_t files = 0;
};

// Sizes and file counts of every folder under path, keyed by full path, computed straight from the disk.
Totals recount(const fs::path& path, std::map<std::string, Totals>& folders) {
    Totals totals;
    for (const fs::directory_entry& entry : fs::directory_iterator(path)) {
        if (entry.is_directory()) {
            const Totals inner = recount(entry.path(), folders);
            totals.size += inner.size;
            totals.files += inner.files;
        } else {
            totals.size += entry.file_size();
            totals.files += 1;
        }
    }
    folders[utf8_of(path)] = totals;
    return totals;
}

std::set<std::string> disk_paths(const fs::path& root) {
    std::set<std::string> paths{utf8_of(root)};
    for (const auto& entry : fs::recursive_directory_iterator(root))
        paths.insert(utf8_of(entry.path()));
    return paths;
}

// Checks a finished walk against the disk: every entry once, parents first, and every folder's totals.
void expect_matches_disk(const FileTree& tree, const fs::path& root) {
    std::map<std::string, Totals> folders;
    recount(root, folders);
    std::multiset<std::string> seen;
    for (NodeIndex i = 0; i < tree.nodes.size(); ++i) {
        const Node& node = node_at(tree, i);
        if (i > 0) {
            ASSERT_LT(node.parent, i) << "a parent must precede its children";
        }
        const std::string path = path_of(tree, i);
        seen.insert(path);
        if (node.flags & FLAG_DIR) {
            ASSERT_EQ(folders.count(path), 1u) << path;
            EXPECT_EQ(node.size, folders[path].size) << path;
            EXPECT_EQ(node.file_count, folders[path].files) << path;
        } else {
            EXPECT_EQ(node.size, fs::file_size(test::fs_path(path))) << path;
            EXPECT_EQ(node.file_count, 1u);
        }
    }
    const std::set<std::string> expected = disk_paths(root);
    EXPECT_EQ(seen.size(), expected.size()) << "an entry was listed twice or missed";
    EXPECT_EQ(std::set<std::string>(seen.begin(), seen.end()), expected);
}

// A reproducible layout of `folders` folders holding files of assorted kinds, sizes and scripts; some
// folders stay empty.
void generate(const TempTree& disk, int folders, int files_per_folder, unsigned seed) {
    std::mt19937 random(seed);
    const char* names[] = {"사진", "notes", "Ünïcode", "😀 emoji", "a b", "data.v2", "x"};
    const char* extensions[] = {".jpg", ".mp4", ".txt", ".zip", ".exe", ".log", "", ".JPG"};
    std::vector<std::string> made{""};
    for (int i = 1; i < folders; ++i) {
        const std::string& parent = made[random() % made.size()];
        made.push_back(parent + (parent.empty() ? "" : "/") + names[random() % 7] + std::to_string(i));
        disk.folder(made.back());
    }
    for (std::size_t f = 0; f < made.size(); ++f) {
        if (f % 5 == 4) continue;
        const int count = static_cast<int>(random() % (files_per_folder + 1));
        for (int i = 0; i < count; ++i) {
            const std::string name = "f" + std::to_string(i) + extensions[random() % 8];
            disk.file(made[f] + (made[f].empty() ? "" : "/") + name, random() % 3000);
        }
    }
}

TEST(Walk, MatchesADirectRecountAtEveryFolder) {
    TempTree disk;
    generate(disk, 120, 6, 1);
    ScanProgress progress;
    const std::optional<FileTree> tree = walk_folder(disk.root_text(), 4, progress);
    ASSERT_TRUE(tree);
    expect_matches_disk(*tree, disk.root());
    EXPECT_EQ(tree->unreadable_folders, 0u);
    EXPECT_EQ(tree->root_path, disk.root_text());
    EXPECT_EQ(progress.files.load(), node_at(*tree, 0).file_count);
    EXPECT_EQ(progress.bytes.load(), node_at(*tree, 0).size);
    EXPECT_EQ(progress.folders.load(), 120u);
    EXPECT_FALSE(progress.current_path.empty());
}

TEST(Walk, ManyFoldersWithEightThreads) {
    // Mainly for ThreadSanitizer: thousands of listings racing for the queue, tree and progress locks.
    TempTree disk;
    generate(disk, 3000, 2, 2);
    ScanProgress progress;
    const std::optional<FileTree> tree = walk_folder(disk.root_text(), 8, progress);
    ASSERT_TRUE(tree);
    expect_matches_disk(*tree, disk.root());
    EXPECT_EQ(progress.folders.load(), 3000u);
}

// Sets when a file or folder was last written, in seconds since 1970 UTC, and gives the time the file
// system then holds: the C runtime of Windows cannot set a folder's, which keeps its own.
std::uint32_t set_written(const fs::path& path, std::int64_t seconds) {
    std::error_code refused;
    fs::last_write_time(
        path, std::chrono::file_clock::from_sys(std::chrono::sys_seconds(std::chrono::seconds(seconds))),
        refused);
    const auto held = std::chrono::file_clock::to_sys(fs::last_write_time(path));
    return static_cast<std::uint32_t>(
        std::chrono::floor<std::chrono::seconds>(held).time_since_epoch().count());
}

TEST(Walk, KindsNamesAndTimesComeFromTheListing) {
    TempTree disk;
    disk.file("IMG_0001.JPG", 10);
    disk.file("사진 모음.mp4", 20);
    disk.file("music.mp3/old.flac", 5);
    disk.folder("empty");
    // Folders last, as adding their entries rewrote them.
    set_written(disk.root() / test::fs_path("IMG_0001.JPG"), 1'500'000'000);
    set_written(disk.root() / test::fs_path("사진 모음.mp4"), 1'600'000'000);
    set_written(disk.root() / test::fs_path("music.mp3/old.flac"), 1'700'000'000);
    // A folder older than what it holds shows that; one holding nothing its own; the root, newer than
    // all below, its own.
    const std::uint32_t music =
        std::max(set_written(disk.root() / "music.mp3", 1'000'000'000), 1'700'000'000u);
    const std::uint32_t empty = set_written(disk.root() / "empty", 1'200'000'000);
    const std::uint32_t root = std::max({set_written(disk.root(), 1'750'000'000), music, empty});
    ScanProgress progress;
    const std::optional<FileTree> tree = walk_folder(disk.root_text(), 2, progress);
    ASSERT_TRUE(tree);
    std::map<std::string, const Node*> by_name;
    for (NodeIndex i : sorted_children(*tree, 0))
        by_name[std::string(name_of(*tree, i))] = &node_at(*tree, i);
    ASSERT_EQ(by_name.size(), 4u);
    EXPECT_EQ(by_name["IMG_0001.JPG"]->kind, static_cast<std::uint8_t>(FileKind::Pictures));
    EXPECT_EQ(by_name["사진 모음.mp4"]->kind, static_cast<std::uint8_t>(FileKind::Videos));
    EXPECT_EQ(by_name["music.mp3"]->flags, FLAG_DIR);
    EXPECT_EQ(by_name["music.mp3"]->kind, 0u);
    EXPECT_EQ(by_name["IMG_0001.JPG"]->mtime, 1'500'000'000u);
    EXPECT_EQ(by_name["사진 모음.mp4"]->mtime, 1'600'000'000u);
    EXPECT_EQ(by_name["music.mp3"]->mtime, music);
    EXPECT_EQ(by_name["empty"]->mtime, empty);
    EXPECT_EQ(node_at(*tree, 0).mtime, root);
}

TEST(Walk, EmptyFolderIsTheRootAlone) {
    TempTree disk;
    ScanProgress progress;
    const std::optional<FileTree> tree = walk_folder(disk.root_text(), 3, progress);
    ASSERT_TRUE(tree);
    ASSERT_EQ(tree->nodes.size(), 1u);
    EXPECT_EQ(node_at(*tree, 0).flags, FLAG_DIR);
    EXPECT_EQ(node_at(*tree, 0).size, 0u);
    EXPECT_EQ(node_at(*tree, 0).file_count, 0u);
    EXPECT_EQ(tree->unreadable_folders, 0u);
    EXPECT_EQ(progress.folders.load(), 1u);
    EXPECT_EQ(progress.files.load(), 0u);
}

TEST(Walk, RootWithTrailingSeparatorKeepsItsTextAndWalksTheSameFolder) {
    TempTree disk;
    disk.file("a/b.txt", 42);
    const std::string root = disk.root_text() + PATH_SEPARATOR;
    ScanProgress progress;
    const std::optional<FileTree> tree = walk_folder(root, 2, progress);
    ASSERT_TRUE(tree);
    EXPECT_EQ(tree->root_path, root);
    EXPECT_EQ(name_of(*tree, 0), root);
    EXPECT_EQ(node_at(*tree, 0).size, 42u);
    EXPECT_EQ(tree->nodes.size(), 3u);
}

TEST(Walk, UnreadableFolderIsMarkedAndItsSiblingsListed) {
    TempTree disk;
    disk.file("locked/secret.bin", 500);
    disk.file("open/a.txt", 10);
    disk.file("b.txt", 20);
    const FolderLister refuse_locked = [](const std::string& path, std::vector<ListedEntry>& out,
                                          FolderId& id, const TakeEntries& take) {
        if (path.ends_with("locked")) {
            out.clear();
            return Listing::FAILED;
        }
        return list_folder(path, out, id, take);
    };
    ScanProgress progress;
    const std::optional<FileTree> tree = walk_folder(disk.root_text(), 2, progress, refuse_locked);
    ASSERT_TRUE(tree);
    EXPECT_EQ(tree->unreadable_folders, 1u);
    EXPECT_EQ(progress.folders.load(), 3u);  // a failed listing still counts as a listed folder
    EXPECT_EQ(node_at(*tree, 0).size, 30u);
    EXPECT_EQ(node_at(*tree, 0).file_count, 2u);
    int unreadable = 0;
    for (NodeIndex i : sorted_children(*tree, 0)) {
        const Node& node = node_at(*tree, i);
        if (name_of(*tree, i) == "locked") {
            ++unreadable;
            EXPECT_EQ(node.flags, FLAG_DIR | FLAG_UNREADABLE);
            EXPECT_EQ(node.first_child, NO_NODE);
            EXPECT_EQ(node.size, 0u);
        } else {
            EXPECT_FALSE(node.flags & FLAG_UNREADABLE);
        }
    }
    EXPECT_EQ(unreadable, 1);
}

TEST(Walk, FolderListedButNotMeasuredKeepsItsEntriesAndCountsAsUnreadable) {
    TempTree disk;
    disk.file("partial/a.txt", 10);
    disk.file("partial/sub/b.txt", 20);
    const FolderLister measure_partly = [](const std::string& path, std::vector<ListedEntry>& out,
                                           FolderId& id, const TakeEntries&) {
        const Listing listing = list_folder(path, out, id);
        return path.ends_with("partial") ? Listing::INCOMPLETE : listing;
    };
    ScanProgress progress;
    const std::optional<FileTree> tree = walk_folder(disk.root_text(), 2, progress, measure_partly);
    ASSERT_TRUE(tree);
    EXPECT_EQ(tree->unreadable_folders, 1u);
    const NodeIndex partial = sorted_children(*tree, 0).at(0);
    EXPECT_EQ(node_at(*tree, partial).flags, FLAG_DIR | FLAG_UNREADABLE);
    EXPECT_EQ(node_at(*tree, partial).file_count, 2u);  // its entries stand, and its subfolder was walked
    EXPECT_EQ(node_at(*tree, 0).size, 30u);
}

NodeIndex child_named(const FileTree& tree, NodeIndex folder, std::string_view name) {
    for (NodeIndex i : sorted_children(tree, folder)) {
        if (name_of(tree, i) == name) return i;
    }
    return NO_NODE;
}

TEST(Walk, AFolderWithAnAncestorsIdIsALinkNotEnteredAndOnlyAncestorsCount) {
    TempTree disk;
    disk.file("a/x.bin", 100);
    disk.file("a/b/back/y.bin", 7);  // stands for a way back up to a: the lister gives it a's id
    disk.file("c/twin/z.bin", 5);    // a's id as well, but not below a: walked like any folder
    FolderId a_id;
    std::vector<ListedEntry> scratch;
    ASSERT_EQ(list_folder(walk_root_path(disk.root_text()) + PATH_SEPARATOR + "a", scratch, a_id),
              Listing::COMPLETE);
    ASSERT_NE(a_id.file, 0u);
    const FolderLister lister = [&](const std::string& path, std::vector<ListedEntry>& out, FolderId& id,
                                    const TakeEntries&) {
        const Listing listing = list_folder(path, out, id);
        if (path.ends_with("back") || path.ends_with("twin")) id = a_id;
        return listing;
    };
    ScanProgress progress;
    const std::optional<FileTree> tree = walk_folder(disk.root_text(), 2, progress, lister);
    ASSERT_TRUE(tree);
    EXPECT_EQ(node_at(*tree, 0).size, 105u);
    EXPECT_EQ(node_at(*tree, 0).file_count, 2u);
    EXPECT_EQ(tree->unreadable_folders, 0u);
    EXPECT_EQ(progress.folders.load(), 5u);  // the root, a, b, c and twin: the way back is a link
    const NodeIndex back = child_named(*tree, child_named(*tree, child_named(*tree, 0, "a"), "b"), "back");
    ASSERT_NE(back, NO_NODE);
    EXPECT_EQ(node_at(*tree, back).flags, FLAG_DIR | FLAG_LINK);
    EXPECT_EQ(node_at(*tree, back).first_child, NO_NODE);
    const NodeIndex twin = child_named(*tree, child_named(*tree, 0, "c"), "twin");
    ASSERT_NE(twin, NO_NODE);
    EXPECT_EQ(node_at(*tree, twin).flags, FLAG_DIR);
    EXPECT_EQ(node_at(*tree, twin).size, 5u);
}

TEST(Walk, EntriesPastTheTreesLimitAreLeftOutAndSaidSo) {
    TempTree disk;
    disk.file("top.txt", 1);
    for (const char* name : {"sub/a", "sub/b", "sub/c"})
        disk.file(name, 1);
    LockedTree locked;
    locked.tree = make_tree(disk.root_text());
    locked.tree.node_limit = 4;  // the root, its two entries and one more
    WorkQueue queue;
    queue.items.push_back(WorkItem{0, walk_root_path(disk.root_text()), nullptr});
    ScanProgress progress;
    walk_worker(locked, queue, progress, list_folder);
    roll_up(locked.tree);
    EXPECT_EQ(locked.tree.nodes.size(), 4u);
    EXPECT_EQ(locked.tree.left_out, 2u);
    EXPECT_EQ(locked.tree.unreadable_folders, 1u);
    EXPECT_EQ(node_at(locked.tree, 0).flags, FLAG_DIR);
    const NodeIndex sub = child_named(locked.tree, 0, "sub");
    ASSERT_NE(sub, NO_NODE);
    EXPECT_EQ(node_at(locked.tree, sub).flags, FLAG_DIR | FLAG_UNREADABLE);
    EXPECT_EQ(node_at(locked.tree, sub).file_count, 1u);
}

// A folder bigger than a listing's batch goes in part by part: every entry once, with its own size, and
// where the tree fills up in the first or a later part, the rest is left out and said so.
TEST(Walk, AFolderOfManyBatchesGoesInWholeOrAsFarAsItFits) {
    TempTree disk;
    constexpr std::size_t FILES = 2 * LISTING_BATCH + 5;
    for (std::size_t i = 0; i < FILES; ++i)
        disk.file("big/f" + std::to_string(i), i % 7);
    disk.file("big/sub/inner.txt", 3);
    constexpr std::uint64_t ALL = FILES + 4;  // the root, big, its files, sub and inner.txt
    for (const std::uint64_t limit : {ALL, ALL - 2, 2 + LISTING_BATCH + 10, std::uint64_t{5}}) {
        SCOPED_TRACE(limit);
        LockedTree locked;
        locked.tree = make_tree(disk.root_text());
        locked.tree.node_limit = limit;
        WorkQueue queue;
        queue.items.push_back(WorkItem{0, walk_root_path(disk.root_text()), nullptr});
        ScanProgress progress;
        walk_worker(locked, queue, progress, list_folder);
        const FileTree& tree = locked.tree;
        EXPECT_EQ(tree.nodes.size(), limit);
        const NodeIndex big = child_named(tree, 0, "big");
        ASSERT_NE(big, NO_NODE);
        // What is inside a folder left out is never listed, so not counted either.
        const bool sub_listed = child_named(tree, big, "sub") != NO_NODE;
        EXPECT_EQ(tree.left_out, ALL - limit - (sub_listed ? 0 : 1));
        std::set<std::string> names;
        std::uint64_t files = 0;
        for (NodeIndex i = node_at(tree, big).first_child; i != NO_NODE; i = node_at(tree, i).next_sibling) {
            const std::string name(name_of(tree, i));
            EXPECT_TRUE(names.insert(name).second) << name;
            if (name == "sub") continue;
            EXPECT_EQ(node_at(tree, i).size, std::stoul(name.substr(1)) % 7) << name;
            ++files;
        }
        const bool whole = limit == ALL;
        EXPECT_EQ(node_at(tree, big).flags, whole ? FLAG_DIR : FLAG_DIR | FLAG_UNREADABLE);
        std::uint64_t all_files = 0;
        for (NodeIndex i = 0; i < tree.nodes.size(); ++i)
            all_files += node_at(tree, i).flags & FLAG_DIR ? 0 : 1;
        EXPECT_EQ(progress.files.load(), all_files);
        EXPECT_EQ(all_files, files + (whole ? 1 : 0));
        if (limit >= 2 + LISTING_BATCH) {
            EXPECT_GE(files, LISTING_BATCH);
        }
    }
}

TEST(Walk, UnreadableRootGivesTheRootAloneMarked) {
    TempTree disk;
    disk.file("a.txt", 10);
    const FolderLister refuse = [](const std::string&, std::vector<ListedEntry>& out, FolderId&,
                                   const TakeEntries&) {
        out.clear();
        return Listing::FAILED;
    };
    ScanProgress progress;
    const std::optional<FileTree> tree = walk_folder(disk.root_text(), 4, progress, refuse);
    ASSERT_TRUE(tree);
    ASSERT_EQ(tree->nodes.size(), 1u);
    EXPECT_EQ(node_at(*tree, 0).flags, FLAG_DIR | FLAG_UNREADABLE);
    EXPECT_EQ(tree->unreadable_folders, 1u);
}

TEST(Walk, CancelStopsEveryWorkerAfterItsCurrentFolder) {
    TempTree disk;
    generate(disk, 200, 1, 3);
    constexpr unsigned THREADS = 4;
    ScanProgress progress;
    std::atomic<int> listings{0};
    const FolderLister cancel_at_tenth = [&](const std::string& path, std::vector<ListedEntry>& out,
                                             FolderId& id, const TakeEntries& take) {
        if (++listings == 10) progress.cancel = true;
        return list_folder(path, out, id, take);
    };
    EXPECT_FALSE(walk_folder(disk.root_text(), THREADS, progress, cancel_at_tenth));
    // After the flag is set, each of the other workers may finish the one folder it already took.
    EXPECT_GE(listings.load(), 10);
    EXPECT_LE(listings.load(), 10 + static_cast<int>(THREADS) - 1);
}

TEST(Walk, CancelledWorkerStillAppendsTheFolderItWasListing) {
    TempTree disk;
    disk.file("a/deep/x.txt", 1);
    disk.file("b/y.txt", 2);
    LockedTree locked;
    locked.tree = make_tree(disk.root_text());
    WorkQueue queue;
    queue.items.push_back(WorkItem{0, walk_root_path(disk.root_text()), nullptr});
    ScanProgress progress;
    int listings = 0;
    const FolderLister cancel_now = [&](const std::string& path, std::vector<ListedEntry>& out, FolderId& id,
                                        const TakeEntries& take) {
        ++listings;
        progress.cancel = true;
        return list_folder(path, out, id, take);
    };
    walk_worker(locked, queue, progress, cancel_now);
    EXPECT_EQ(listings, 1);
    EXPECT_EQ(locked.tree.nodes.size(), 3u);  // the root's own entries a and b went in
    EXPECT_EQ(queue.items.size(), 2u);        // their folders were queued but never taken
    EXPECT_TRUE(queue.done);
    EXPECT_EQ(queue.active, 0u);
    EXPECT_EQ(progress.folders.load(), 1u);
}

}  // namespace
}  // namespace spadrim
