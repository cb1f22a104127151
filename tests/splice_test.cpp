#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "scan/splice.h"
#include "support/tree_of.h"

namespace spadrim {
namespace {

// Every live entry as "path size files", sorted; folders end in '/'.
std::string render(const FileTree& tree) {
    std::vector<std::string> lines{"/ " + std::to_string(node_at(tree, 0).size) + " " +
                                   std::to_string(node_at(tree, 0).file_count)};
    walk_subtree(tree, 0, [&](NodeIndex index) {
        std::string path;
        for (const NodeIndex at : chain_to(tree, index))
            if (at != 0) path += "/" + std::string(name_of(tree, at));
        const Node& node = node_at(tree, index);
        lines.push_back(path + ((node.flags & FLAG_DIR) ? "/ " : " ") + std::to_string(node.size) + " " +
                        std::to_string(node.file_count));
    });
    std::sort(lines.begin(), lines.end());
    std::string text;
    for (const std::string& line : lines)
        text += line + "\n";
    return text;
}

NodeIndex folder_at(const FileTree& tree, std::string_view path) {
    NodeIndex at = 0;
    std::size_t start = 0;
    while (start < path.size()) {
        const std::size_t slash = std::min(path.find('/', start), path.size());
        NodeIndex child = node_at(tree, at).first_child;
        while (child != NO_NODE && name_of(tree, child) != path.substr(start, slash - start))
            child = node_at(tree, child).next_sibling;
        if (child == NO_NODE) return NO_NODE;
        at = child;
        start = slash + 1;
    }
    return at;
}

// The tree with its names pooled in reverse node order, as a read of the MFT leaves them: compacting
// cannot keep such names where they are.
FileTree with_names_reversed(FileTree tree) {
    std::vector<std::string> names;
    for (NodeIndex i = 0; i < tree.nodes.size(); ++i)
        names.emplace_back(name_of(tree, i));
    tree.names = NamePool();
    for (NodeIndex i = static_cast<NodeIndex>(names.size()); i-- > 0;)
        tree.nodes[i].name_offset = static_cast<std::uint32_t>(*tree.names.append(names[i]));
    return tree;
}

TEST(Splice, ANewerWalkOfAFolderTakesItsPlaceAndCompactingDropsTheOld) {
    // Names long enough that the second starts the name pool's next chunk, and moves into the first.
    const std::string first(600'000, 'p');
    const std::string second(600'000, 'q');
    struct {
        const char* what;
        FileTree tree;
        std::string_view folder;
        FileTree fresh;
        FileTree expected;
    } CASES[] = {
        {"a folder grown, a file gone, another new", tree_of("/r", {{"a/x", 10}, {"a/y", 5}, {"b", 7}}), "a",
         tree_of("/r/a", {{"x", 30}, {"z", 1}}), tree_of("/r", {{"a/x", 30}, {"a/z", 1}, {"b", 7}})},
        {"a folder emptied", tree_of("/r", {{"a/d/f", 3}, {"a/g", 2}, {"c", 1}}), "a", tree_of("/r/a", {}),
         tree_of("/r", {{"a/", 0}, {"c", 1}})},
        {"a folder inside replaced by a file of its name", tree_of("/r", {{"a/d/f", 1}, {"a/d/g", 2}}), "a",
         tree_of("/r/a", {{"d", 4}}), tree_of("/r", {{"a/d", 4}})},
        {"deep down, the totals follow up the chain; names out of node order",
         with_names_reversed(tree_of("/r", {{"p/q/r/s", 5}, {"p/t", 1}, {"u", 2}})), "p/q",
         tree_of("/r/p/q", {{"r/s", 9}, {"r/new", 1}, {"w/", 0}}),
         tree_of("/r", {{"p/q/r/s", 9}, {"p/q/r/new", 1}, {"p/q/w/", 0}, {"p/t", 1}, {"u", 2}})},
        {"the root itself", tree_of("/r", {{"a/b", 1}}), "", tree_of("/r", {{"c", 2}}),
         tree_of("/r", {{"c", 2}})},
        {"names moved down across the name pool's chunks",
         tree_of("/r", {{"a/" + first, 1}, {"b/" + second, 2}}), "a", tree_of("/r/a", {{"x", 1}}),
         tree_of("/r", {{"a/x", 1}, {"b/" + second, 2}})},
    };
    for (auto& c : CASES) {
        const NodeIndex folder = folder_at(c.tree, c.folder);
        ASSERT_NE(folder, NO_NODE) << c.what;
        ASSERT_TRUE(splice_subtree(c.tree, folder, c.fresh)) << c.what;
        EXPECT_EQ(render(c.tree), render(c.expected)) << c.what;
        // Nothing outside the folder moved: its index still names it.
        EXPECT_EQ(folder_at(c.tree, c.folder), folder) << c.what;
        EXPECT_EQ(c.tree.nodes.size() - c.tree.freed_nodes, c.expected.nodes.size()) << c.what;

        const std::vector<NodeIndex> renumbered = compact_tree(c.tree);
        EXPECT_EQ(render(c.tree), render(c.expected)) << c.what;
        EXPECT_EQ(c.tree.nodes.size(), c.expected.nodes.size()) << c.what;
        EXPECT_EQ(c.tree.freed_nodes, 0u) << c.what;
        EXPECT_EQ(renumbered[folder], folder_at(c.tree, c.folder)) << c.what;
        std::uint64_t name_bytes = 0;  // the names hold no bytes but the live ones
        for (NodeIndex i = 0; i < c.tree.nodes.size(); ++i)
            name_bytes += node_at(c.tree, i).name_len;
        EXPECT_EQ(c.tree.names.size(), name_bytes) << c.what;
        EXPECT_LE(c.tree.names.capacity_bytes(), c.expected.names.capacity_bytes()) << c.what;
    }
}

TEST(Splice, ANewListingOfAFolderKeepsTheSubfoldersStillThere) {
    struct Listed {
        std::string_view name;
        std::uint64_t size;
        bool folder;
    };
    struct {
        const char* what;
        FileTree tree;
        std::string_view folder;
        std::vector<Listed> listing;
        FileTree expected;  // with the new folders still empty
        std::size_t new_folders;
    } CASES[] = {
        {"a file grown, one gone, one new; the subfolder's content stays",
         tree_of("/r", {{"a/x", 10}, {"a/y", 5}, {"a/sub/deep", 7}, {"b", 1}}),
         "a",
         {{"x", 40, false}, {"z", 2, false}, {"sub", 0, true}},
         tree_of("/r", {{"a/x", 40}, {"a/z", 2}, {"a/sub/deep", 7}, {"b", 1}}),
         0},
        {"a subfolder gone and one come; a file now a folder",
         tree_of("/r", {{"old/f", 3}, {"n", 4}}),
         "",
         {{"n", 0, true}, {"fresh", 0, true}},
         tree_of("/r", {{"n/", 0}, {"fresh/", 0}}),
         2},
        {"the root listed empty", tree_of("/r", {{"p/q", 1}, {"t", 2}}), "", {}, tree_of("/r", {}), 0},
    };
    for (auto& c : CASES) {
        std::vector<ListedEntry> listing;
        for (const Listed& l : c.listing) {
            ListedEntry entry;
            entry.name = std::string(l.name);
            entry.size = l.size;
            entry.flags = l.folder ? FLAG_DIR : 0;
            listing.push_back(entry);
        }
        const std::optional<std::vector<NodeIndex>> folders =
            splice_listing(c.tree, folder_at(c.tree, c.folder), listing);
        ASSERT_TRUE(folders) << c.what;
        EXPECT_EQ(folders->size(), c.new_folders) << c.what;
        EXPECT_EQ(render(c.tree), render(c.expected)) << c.what;
        compact_tree(c.tree);
        EXPECT_EQ(render(c.tree), render(c.expected)) << c.what;
    }
}

TEST(Splice, RefusedWhereItCannotBeRightAndBoundedOverRepeats) {
    FileTree tree = tree_of("/r", {{"a/x", 1}, {"a/y", 2}, {"gone/z", 3}, {"file", 4}});
    const std::string before = render(tree);
    const FileTree fresh = tree_of("/r/a", {{"x", 100}});
    EXPECT_FALSE(splice_subtree(tree, folder_at(tree, "file"), fresh));  // not a folder
    remove_node(tree, folder_at(tree, "gone"));
    const std::string recycled = render(tree);
    EXPECT_FALSE(splice_subtree(tree, folder_at(tree, "gone"), fresh));  // moved to the Recycle Bin
    tree.node_limit = tree.nodes.size();
    EXPECT_FALSE(splice_subtree(tree, folder_at(tree, "a"), fresh));  // no room left
    EXPECT_EQ(render(tree), recycled);
    EXPECT_NE(render(tree), before);

    // The same folder brought up to date again and again: what it freed is dropped once it is worth it,
    // so the tree stays near the size of a fresh one.
    tree.node_limit = NO_NODE;
    const NodeIndex a = folder_at(tree, "a");
    const std::size_t live = tree.nodes.size();
    for (int round = 0; round < 10; ++round) {
        ASSERT_TRUE(splice_subtree(tree, folder_at(tree, "a"), fresh));
        if (worth_compacting(tree)) compact_tree(tree);
        EXPECT_LE(tree.nodes.size(), live + 2) << round;
    }
    EXPECT_EQ(node_at(tree, 0).size, 104u);
    EXPECT_EQ(folder_at(tree, "a"), a);
    // A recycled item stays recycled through compacting: the Recycle Bin notice still counts it.
    EXPECT_NE(folder_at(tree, "gone"), NO_NODE);
    EXPECT_TRUE(node_at(tree, folder_at(tree, "gone")).flags & FLAG_REMOVED);
}

}  // namespace
}  // namespace spadrim
