#include <gtest/gtest.h>

#include "app/summaries.h"

namespace spadrim {
namespace {

ListedEntry file(std::string name, std::uint64_t size) {
    const auto kind = static_cast<std::uint8_t>(classify_extension(file_extension(name)));
    return ListedEntry{std::move(name), size, 0, kind};
}

NodeIndex add(FileTree& tree, NodeIndex parent, const std::vector<ListedEntry>& entries) {
    const auto first = static_cast<NodeIndex>(tree.nodes.size());
    append_listing(tree, parent, entries);
    return first;
}

TEST(Summaries, EmptyFolderHasNothing) {
    const FileTree tree = make_tree("/r");
    const KindTotals totals = kind_totals(tree, 0);
    EXPECT_EQ(totals, KindTotals{});
    EXPECT_TRUE(largest_files(tree, 0).empty());
    EXPECT_TRUE(extension_rows(tree, 0).empty());
    EXPECT_TRUE(kinds_list(totals).empty());
}

TEST(Summaries, LargestFilesKeepsTheLargerIndicesAtTheCut) {
    FileTree tree = make_tree("/r");
    std::vector<ListedEntry> files;
    for (int i = 0; i < 301; ++i)
        files.push_back(file("f" + std::to_string(i), 100));
    const NodeIndex first = add(tree, 0, files);
    const std::vector<NodeIndex> rows = largest_files(tree, 0);
    ASSERT_EQ(rows.size(), 300u);
    EXPECT_EQ(rows.front(), first + 300);  // equal sizes: larger index first
    EXPECT_EQ(rows.back(), first + 1);     // the smallest index is the one left out

    FileTree mixed = make_tree("/r");
    const NodeIndex sub = add(mixed, 0, {ListedEntry{"sub", 0, FLAG_DIR, 0}, file("small", 1)});
    add(mixed, sub, {file("big", 50), file("mid", 20)});
    const std::vector<NodeIndex> top = largest_files(mixed, 0, 2);
    ASSERT_EQ(top.size(), 2u);
    EXPECT_EQ(name_of(mixed, top[0]), "big");
    EXPECT_EQ(name_of(mixed, top[1]), "mid");
}

TEST(Summaries, ExtensionsGroupCaseInsensitivelyAndKeepTheirKind) {
    FileTree tree = make_tree("/r");
    add(tree, 0,
        {file("README", 1), file("Makefile", 2), file(".gitignore", 3), file("a.JPG", 10), file("b.jpg", 5),
         file("a.jpeg", 40)});
    const std::vector<ExtensionRow> rows = extension_rows(tree, 0);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].extension, "jpeg");
    EXPECT_EQ(rows[1].extension, "jpg");
    EXPECT_EQ(rows[1].total, 15u);
    EXPECT_EQ(rows[1].count, 2u);
    EXPECT_EQ(rows[1].kind, static_cast<std::uint8_t>(FileKind::Pictures));
    EXPECT_EQ(rows[2].extension, "");
    EXPECT_EQ(rows[2].count, 3u);
}

TEST(Summaries, AtMost200ExtensionsDroppingTheSmallest) {
    FileTree tree = make_tree("/r");
    std::vector<ListedEntry> files;
    for (int i = 0; i < 250; ++i)
        files.push_back(file("f.e" + std::to_string(1000 + i), i < 100 ? 7 : 1000 + i));
    add(tree, 0, files);
    const std::vector<ExtensionRow> rows = extension_rows(tree, 0);
    ASSERT_EQ(rows.size(), 200u);
    EXPECT_EQ(rows.front().extension, "e1249");
    // Of the 100 files of 7 bytes, the 50 with the smallest extension texts stay (ties by text).
    EXPECT_EQ(rows[150].extension, "e1000");
    EXPECT_EQ(rows.back().extension, "e1049");
}

TEST(Summaries, KindsByTotalAndRemovedFoldersLeaveEveryList) {
    FileTree tree = make_tree("/r");
    const NodeIndex folder =
        add(tree, 0,
            {ListedEntry{"gone", 0, FLAG_DIR, 0}, file("a.mp3", 30), file("b.txt", 30), file("c.jpg", 10)});
    add(tree, folder, {file("big.mp4", 1000)});
    roll_up(tree);
    std::vector<KindTotal> kinds = kinds_list(kind_totals(tree, 0));
    ASSERT_EQ(kinds.size(), 4u);
    EXPECT_EQ(kinds[0].kind, FileKind::Videos);
    EXPECT_EQ(kinds[1].kind, FileKind::Music);  // ties keep the kinds' order: Music before Documents
    EXPECT_EQ(kinds[2].kind, FileKind::Documents);

    remove_node(tree, folder);
    kinds = kinds_list(kind_totals(tree, 0));
    EXPECT_EQ(kinds.size(), 3u);
    EXPECT_EQ(largest_files(tree, 0).size(), 3u);
    EXPECT_EQ(extension_rows(tree, 0).size(), 3u);
}

}  // namespace
}  // namespace spadrim
