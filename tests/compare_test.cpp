#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "compare/compare.h"
#include "support/tree_of.h"

namespace spadrim {
namespace {

// Every change below `folder`, depth first in the order asked: "a/b grown +5", a folder's own line before
// its entries'.
void render(const Comparison& c, const FileTree& before, const FileTree& after, NodeIndex folder,
            ChangeOrder order, const std::string& prefix, std::string& out) {
    for (const ChangeRow& row : change_rows(c, before, after, folder, order, false)) {
        const std::string path = prefix + std::string(row.after != NO_NODE ? name_of(after, row.after)
                                                                           : name_of(before, row.before));
        const std::int64_t delta = row.delta();
        out += (out.empty() ? "" : "; ") + path + " " + std::string(change_word(row.change)) + " " +
               (delta > 0 ? "+" : "") + std::to_string(delta);
        if (row.change != Change::Removed && (node_at(after, row.after).flags & FLAG_DIR))
            render(c, before, after, row.after, order, path + "/", out);
    }
}

std::string changes(const Comparison& c, const FileTree& before, const FileTree& after,
                    ChangeOrder order = ChangeOrder::Increase) {
    std::string out;
    render(c, before, after, 0, order, "", out);
    return out;
}

TEST(Compare, MatchesByNameWithinMatchedFolders) {
    const struct {
        const char* what;
        FileTree before, after;
        std::string expected;
        std::uint64_t new_files, removed_files;
    } CASES[] = {
        {"grown, shrunk, new, removed, unchanged left out",
         tree_of("/r", {{"a/x", 10}, {"a/y", 5}, {"b", 7}, {"c", 3}, {"same", 4}}),
         tree_of("/r", {{"a/x", 30}, {"a/y", 2}, {"c", 3}, {"d", 1}, {"same", 4}}),
         "a grown +17; a/x grown +20; a/y shrunk -3; d new +1; b removed -7", 1, 1},
        {"a folder replaced by a file of the same name, and the other way round",
         tree_of("/r", {{"p/one", 4}, {"p/two", 4}, {"q", 9}}), tree_of("/r", {{"p", 20}, {"q/inner", 1}}),
         "p new +20; q new +1; q/inner new +1; p removed -8; q removed -9", 2, 3},
        {"names equal but for case are other entries under a POSIX root",
         tree_of("/r", {{"Photos/a", 5}, {"readme", 1}}), tree_of("/r", {{"photos/a", 5}, {"README", 1}}),
         "photos new +5; photos/a new +5; README new +1; readme removed -1; Photos removed -5", 2, 2},
        {"and the same entries under a Windows root, however their case changed",
         tree_of("C:\\r", {{"Photos/a", 5}, {"readme", 1}, {"Ä", 2}}),
         tree_of("C:\\r", {{"photos/A", 9}, {"README", 1}, {"ä", 1}}),
         "photos grown +4; photos/A grown +4; ä shrunk -1", 0, 0},
        {"a rename and a move are removed plus new",
         tree_of("/r", {{"old.txt", 6}, {"in/moved", 8}, {"to/", 0}}),
         tree_of("/r", {{"new.txt", 6}, {"in/", 0}, {"to/moved", 8}}),
         "to grown +8; to/moved new +8; new.txt new +6; old.txt removed -6; in shrunk -8; in/moved removed "
         "-8",
         2, 2},
        {"an empty earlier scan: everything is new, counted without a visit", tree_of("/r", {}),
         tree_of("/r", {{"big/deep/f1", 50}, {"big/deep/f2", 25}, {"g", 1}}),
         "big new +75; big/deep new +75; big/deep/f1 new +50; big/deep/f2 new +25; g new +1", 3, 0},
        {"roots of other paths stand for each other", tree_of("/mnt/old/copy", {{"k", 1}}),
         tree_of("/home/me", {{"k", 2}}), "k grown +1", 0, 0},
    };
    for (const auto& c : CASES) {
        const Comparison whole = compare_all(c.before, c.after);
        EXPECT_TRUE(whole.done) << c.what;
        EXPECT_EQ(changes(whole, c.before, c.after), c.expected) << c.what;
        EXPECT_EQ(whole.new_files, c.new_files) << c.what;
        EXPECT_EQ(whole.removed_files, c.removed_files) << c.what;
        // In slices of a single entry the same comes out.
        Comparison sliced = start_compare(c.before, c.after);
        int slices = 0;
        while (!advance_compare(sliced, c.before, c.after, 1))
            ++slices;
        EXPECT_EQ(sliced.before_of, whole.before_of) << c.what;
        EXPECT_EQ(sliced.after_of, whole.after_of) << c.what;
        EXPECT_EQ(sliced.new_files, c.new_files) << c.what;
    }
}

TEST(Compare, OrdersRecycledItemsAndTotals) {
    const FileTree before =
        tree_of("/r", {{"up", 10}, {"down", 50}, {"gone", 30}, {"flat", 5}, {"dir/f", 1}});
    FileTree after =
        tree_of("/r", {{"up", 40}, {"down", 10}, {"flat", 5}, {"fresh", 20}, {"dir/f", 1}, {"dir/g", 2}});
    const Comparison c = compare_all(before, after);
    EXPECT_EQ(changes(c, before, after, ChangeOrder::Increase),
              "up grown +30; fresh new +20; dir grown +2; dir/g new +2; gone removed -30; down shrunk -40");
    EXPECT_EQ(changes(c, before, after, ChangeOrder::Decrease),
              "down shrunk -40; gone removed -30; dir grown +2; dir/g new +2; fresh new +20; up grown +30");
    EXPECT_EQ(changes(c, before, after, ChangeOrder::Absolute),
              "down shrunk -40; up grown +30; gone removed -30; fresh new +20; dir grown +2; dir/g new +2");
    // Unchanged entries are listed only when asked for.
    EXPECT_EQ(change_rows(c, before, after, 0, ChangeOrder::Increase, true).size(), 6u);

    const CompareTotals then = totals_of(before);
    const CompareTotals now = totals_of(after);
    EXPECT_EQ(then.size, 96u);
    EXPECT_EQ(then.files, 5u);
    EXPECT_EQ(then.folders, 1u);
    EXPECT_EQ(now.size, 78u);

    // Moved to the Recycle Bin from the results: removed, its counterpart's files counted as such; a new
    // item that went again is no change at all.
    const auto child = [&](std::string_view name) {
        for (NodeIndex i = node_at(after, 0).first_child; i != NO_NODE; i = node_at(after, i).next_sibling)
            if (name_of(after, i) == name) return i;
        return NO_NODE;
    };
    remove_node(after, child("up"));
    remove_node(after, child("fresh"));
    EXPECT_EQ(change_of(c, before, after, child("up")), Change::Removed);
    EXPECT_EQ(changes(c, before, after),
              "dir grown +2; dir/g new +2; up removed -10; gone removed -30; down shrunk -40");
    const Comparison again = compare_all(before, after);
    EXPECT_EQ(again.removed_files, 2u);
    EXPECT_EQ(again.new_files, 1u);
}

}  // namespace
}  // namespace spadrim
