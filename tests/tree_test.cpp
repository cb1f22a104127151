#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "scan/folder.h"
#include "scan/tree.h"

namespace spadrim {
namespace {

ListedEntry file(std::string name, std::uint64_t size) {
    return ListedEntry{std::move(name), size, 0, 7};
}
ListedEntry folder(std::string name) {
    return ListedEntry{std::move(name), 0, FLAG_DIR, 0};
}

// Appends entries to parent and returns the index of each, in the given order.
std::vector<NodeIndex> add(FileTree& tree, NodeIndex parent, const std::vector<ListedEntry>& entries) {
    const auto first = static_cast<NodeIndex>(tree.nodes.size());
    EXPECT_EQ(append_listing(tree, parent, entries), entries.size());
    std::vector<NodeIndex> indices;
    for (NodeIndex i = 0; i < entries.size(); ++i)
        indices.push_back(first + i);
    return indices;
}

std::vector<std::string> names(const FileTree& tree, const std::vector<NodeIndex>& indices) {
    std::vector<std::string> out;
    for (NodeIndex i : indices)
        out.emplace_back(name_of(tree, i));
    return out;
}

std::string root_for_platform() {
    return PATH_SEPARATOR == '\\' ? "C:\\" : "/";
}

std::string under(std::string root, std::initializer_list<const char*> parts) {
    for (const char* part : parts) {
        if (root.back() != PATH_SEPARATOR) root += PATH_SEPARATOR;
        root += part;
    }
    return root;
}

TEST(FileTree, EmptyScanIsTheRootAlone) {
    FileTree tree = make_tree("D:\\Photos");
    roll_up(tree);
    ASSERT_EQ(tree.nodes.size(), 1u);
    const Node& root = node_at(tree, 0);
    EXPECT_EQ(root.size, 0u);
    EXPECT_EQ(root.file_count, 0u);
    EXPECT_EQ(root.flags, FLAG_DIR);
    EXPECT_EQ(root.parent, NO_NODE);
    EXPECT_EQ(name_of(tree, 0), "D:\\Photos");
    EXPECT_TRUE(sorted_children(tree, 0).empty());
}

TEST(FileTree, AppendLinksNewestFirstAndCountsFilesOnly) {
    FileTree tree = make_tree("/r");
    const auto ids = add(tree, 0, {file("a", 1), folder("d"), file("b", 2)});
    EXPECT_EQ(node_at(tree, 0).first_child, ids[2]);
    EXPECT_EQ(node_at(tree, ids[2]).next_sibling, ids[1]);
    EXPECT_EQ(node_at(tree, ids[1]).next_sibling, ids[0]);
    EXPECT_EQ(node_at(tree, ids[0]).next_sibling, NO_NODE);
    EXPECT_EQ(node_at(tree, ids[0]).file_count, 1u);
    EXPECT_EQ(node_at(tree, ids[1]).file_count, 0u);
    for (NodeIndex i : ids)
        EXPECT_EQ(node_at(tree, i).parent, 0u);
    EXPECT_EQ(names(tree, ids), (std::vector<std::string>{"a", "d", "b"}));
    EXPECT_EQ(name_of(tree, 0), "/r");

    // A name longer than the name pool holds ends the listing there, and a root that long is named by
    // what the pool holds: no node claims bytes the pool does not have.
    const std::string too_long(NamePool::MAX_TEXT + 1, 'x');
    EXPECT_EQ(
        append_listing(tree, 0, std::vector<ListedEntry>{file("c", 3), file(too_long, 4), file("e", 5)}), 1u);
    EXPECT_EQ(tree.nodes.size(), 5u);
    EXPECT_EQ(name_of(make_tree("/" + too_long), 0).size(), NamePool::MAX_TEXT);
}

TEST(FileTree, ChildrenSortBySizeThenNameBytes) {
    FileTree tree = make_tree("/r");
    add(tree, 0, {file("a.txt", 10), file("b.txt", 10), file("big.bin", 30)});
    EXPECT_EQ(names(tree, sorted_children(tree, 0)), (std::vector<std::string>{"big.bin", "a.txt", "b.txt"}));

    FileTree cased = make_tree("/r");
    add(cased, 0, {file("a", 5), file("B", 5), file("ab", 5), file("é", 5), file("z", 5)});
    // Plain byte order: capitals before small letters, a prefix before the longer name, UTF-8 last.
    EXPECT_EQ(names(cased, sorted_children(cased, 0)), (std::vector<std::string>{"B", "a", "ab", "z", "é"}));
}

TEST(FileTree, LargeFoldersSortLikeSmallOnes) {
    // Above 20 children the sort is not insertion sort; the order must be the same rule.
    std::mt19937 random(7);
    FileTree tree = make_tree("/r");
    std::vector<ListedEntry> entries;
    for (int i = 0; i < 500; ++i)
        entries.push_back(file("f" + std::to_string(random() % 300), random() % 40));
    add(tree, 0, entries);
    const std::vector<NodeIndex> sorted = sorted_children(tree, 0);
    ASSERT_EQ(sorted.size(), 500u);
    for (std::size_t i = 1; i < sorted.size(); ++i) {
        const Node& a = node_at(tree, sorted[i - 1]);
        const Node& b = node_at(tree, sorted[i]);
        ASSERT_TRUE(a.size > b.size ||
                    (a.size == b.size && name_of(tree, sorted[i - 1]) <= name_of(tree, sorted[i])));
    }
}

TEST(FileTree, RollUpSumsEveryLevel) {
    FileTree tree = make_tree("/r");
    const auto top = add(tree, 0, {folder("x"), file("f", 7), folder("empty")});
    const auto x = add(tree, top[0], {file("g", 100), folder("y")});
    add(tree, x[1], {file("h", 1000), file("i", 1)});
    roll_up(tree);
    EXPECT_EQ(node_at(tree, 0).size, 1108u);
    EXPECT_EQ(node_at(tree, 0).file_count, 4u);
    EXPECT_EQ(node_at(tree, top[0]).size, 1101u);
    EXPECT_EQ(node_at(tree, top[0]).file_count, 3u);
    EXPECT_EQ(node_at(tree, x[1]).file_count, 2u);
    EXPECT_EQ(node_at(tree, top[2]).size, 0u);
    EXPECT_EQ(node_at(tree, top[2]).file_count, 0u);
}

TEST(FileTree, RemovingAFolderHidesItAndLowersEveryAncestor) {
    FileTree tree = make_tree("/r");
    const auto top = add(tree, 0, {folder("keep"), folder("a"), file("loose", 5)});
    const auto a = add(tree, top[1], {folder("b")});
    const auto b = add(tree, a[0], {file("1", 100), file("2", 100), file("3", 100)});
    add(tree, top[0], {file("k", 50)});
    roll_up(tree);
    ASSERT_EQ(node_at(tree, 0).size, 355u);

    remove_node(tree, a[0]);
    EXPECT_EQ(node_at(tree, 0).size, 55u);
    EXPECT_EQ(node_at(tree, 0).file_count, 2u);
    EXPECT_EQ(node_at(tree, top[1]).size, 0u);
    EXPECT_EQ(node_at(tree, top[1]).file_count, 0u);
    EXPECT_EQ(node_at(tree, a[0]).size, 300u);  // the removed node keeps its own figures
    EXPECT_TRUE(sorted_children(tree, top[1]).empty());
    EXPECT_TRUE(is_removed(tree, b[1]));
    EXPECT_FALSE(is_removed(tree, top[1]));

    std::vector<NodeIndex> reached;
    walk_subtree(tree, 0, [&](NodeIndex i) { reached.push_back(i); });
    for (NodeIndex i : b)
        EXPECT_EQ(std::count(reached.begin(), reached.end(), i), 0);
    EXPECT_EQ(reached.size(), 4u);  // keep, k, a, loose: nothing at or below b

    remove_node(tree, a[0]);  // a second time changes nothing
    EXPECT_EQ(node_at(tree, 0).size, 55u);
    EXPECT_EQ(node_at(tree, 0).file_count, 2u);
}

TEST(FileTree, RemovalSaturatesAtZero) {
    FileTree tree = make_tree("/r");
    const auto top = add(tree, 0, {file("f", 10)});
    roll_up(tree);
    tree.nodes[0].size = 4;  // an ancestor already smaller than the removed node
    remove_node(tree, top[0]);
    EXPECT_EQ(node_at(tree, 0).size, 0u);
    EXPECT_EQ(node_at(tree, 0).file_count, 0u);
}

TEST(FileTree, WalkSubtreeVisitsEveryLiveDescendantOnce) {
    FileTree tree = make_tree("/r");
    const auto top = add(tree, 0, {folder("a"), folder("b"), file("c", 1)});
    const auto a = add(tree, top[0], {folder("d"), file("e", 1)});
    add(tree, a[0], {file("f", 1), file("g", 1)});
    add(tree, top[1], {file("h", 1)});
    std::vector<NodeIndex> reached;
    walk_subtree(tree, 0, [&](NodeIndex i) { reached.push_back(i); });
    std::sort(reached.begin(), reached.end());
    std::vector<NodeIndex> all(tree.nodes.size() - 1);
    for (NodeIndex i = 0; i < all.size(); ++i)
        all[i] = i + 1;
    EXPECT_EQ(reached, all);

    reached.clear();
    walk_subtree(tree, top[0], [&](NodeIndex i) { reached.push_back(i); });
    EXPECT_EQ(reached.size(), 4u);  // d, e, f, g; never a itself
}

TEST(FileTree, PathsAndChains) {
    const std::string root = root_for_platform();
    FileTree tree = make_tree(root);
    const auto top = add(tree, 0, {folder("Users")});
    const auto users = add(tree, top[0], {folder("a b"), file("x.txt", 1)});
    const auto ab = add(tree, users[0], {file("사진.jpg", 1)});
    EXPECT_EQ(path_of(tree, 0), root);
    EXPECT_EQ(path_of(tree, top[0]), under(root, {"Users"}));  // no doubled separator after the root
    EXPECT_EQ(path_of(tree, ab[0]), under(root, {"Users", "a b", "사진.jpg"}));
    EXPECT_EQ(chain_to(tree, ab[0]), (std::vector<NodeIndex>{0, top[0], users[0], ab[0]}));
    EXPECT_EQ(chain_to(tree, 0), (std::vector<NodeIndex>{0}));

    FileTree deep = make_tree(under(root, {"data", "set"}));
    const auto inner = add(deep, 0, {file("f", 1)});
    EXPECT_EQ(path_of(deep, inner[0]), under(root, {"data", "set", "f"}));
}

// Names the file system spells in a form that cannot be shown: invalid UTF-8 on POSIX, an unpaired
// surrogate on Windows (kept as its three-byte form).
std::string unshowable(std::string_view stem) {
    return std::string(stem) + (PATH_SEPARATOR == '\\' ? "\xED\xA0\x80" : "\xFF");
}

TEST(FileTree, RealNamesAndLengthsLiveBesideTheNodes) {
    const std::string root = under(root_for_platform(), {"old"});
    const std::string real_root = unshowable(root);
    FileTree tree = make_tree(real_root);
    EXPECT_EQ(path_of(tree, 0), root + "\uFFFD");
    EXPECT_EQ(real_path_of(tree, 0), real_root);

    // Two real names that look the same when shown: each keeps its own way back to the disk.
    ListedEntry a = folder(unshowable("x"));
    a.unshowable = true;
    const ListedEntry b = folder("x\uFFFD");  // a name that really is spelt with U+FFFD
    ListedEntry sparse = file("disk.img", 4096);
    sparse.length = 100u << 20;
    ListedEntry same = file("same.bin", 10);
    same.length = 10;  // not recorded: nothing differs
    const auto top = add(tree, 0, {a, b, sparse, same, folder("plain")});
    EXPECT_EQ(tree.real_names.size(), 1u);
    EXPECT_EQ(name_of(tree, top[0]), "x\uFFFD");
    EXPECT_EQ(path_of(tree, top[0]), path_of(tree, top[1]));
    EXPECT_EQ(real_path_of(tree, top[0]), real_root + PATH_SEPARATOR + unshowable("x"));
    EXPECT_EQ(real_path_of(tree, top[4]), real_root + PATH_SEPARATOR + "plain");
    EXPECT_EQ(real_name_of(tree, top[4]), "plain");
    EXPECT_EQ(find_path(tree, real_path_of(tree, top[0])), top[0]);
    EXPECT_EQ(find_path(tree, real_path_of(tree, top[1])), top[1]);

    EXPECT_EQ(content_length(tree, top[2]), 100u << 20);
    EXPECT_EQ(content_length(tree, top[3]), 10u);
    EXPECT_EQ(tree.lengths.size(), 1u);
}

TEST(FileTree, FindPathFoldsAsciiCaseOnly) {
    const std::string root = under(root_for_platform(), {"scan"});
    FileTree tree = make_tree(root);
    const auto top = add(tree, 0, {folder("docs"), folder("ä"), folder("gone")});
    const auto docs = add(tree, top[0], {folder("Inner")});
    EXPECT_EQ(find_path(tree, under(root, {"DOCS"})), top[0]);
    EXPECT_EQ(find_path(tree, under(root, {"docs", "inner"})), docs[0]);
    EXPECT_EQ(find_path(tree, under(root, {"docs", "inner"}) + PATH_SEPARATOR), docs[0]);
    EXPECT_EQ(find_path(tree, under(root, {"ä"})), top[1]);
    EXPECT_EQ(find_path(tree, under(root, {"Ä"})), 0u);  // only ASCII letters fold
    EXPECT_EQ(find_path(tree, under(root, {"missing"})), 0u);
    EXPECT_EQ(find_path(tree, under(root, {"docs", "..", "docs"})), 0u);
    EXPECT_EQ(find_path(tree, under(root, {"."})), 0u);
    EXPECT_EQ(find_path(tree, root), 0u);
    EXPECT_EQ(find_path(tree, under(root_for_platform(), {"other", "docs"})), 0u);
    EXPECT_EQ(find_path(tree, under(root_for_platform(), {"scanner"})), 0u);  // components, not text

    remove_node(tree, top[2]);
    EXPECT_EQ(find_path(tree, under(root, {"gone"})), 0u);
}

}  // namespace
}  // namespace spadrim
