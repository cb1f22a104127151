#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "scan/tree.h"
#include "treemap/treemap.h"

namespace spadrim {
namespace {

constexpr int HEADER = 18;
constexpr int INSET = 2;

ListedEntry file(std::string name, std::uint64_t size) {
    return ListedEntry{std::move(name), size, 0, 7};
}
ListedEntry folder(std::string name) {
    return ListedEntry{std::move(name), 0, FLAG_DIR, 0};
}

NodeIndex add(FileTree& tree, NodeIndex parent, const ListedEntry& entry) {
    const auto index = static_cast<NodeIndex>(tree.nodes.size());
    EXPECT_EQ(append_listing(tree, parent, std::span(&entry, 1)), 1u);
    return index;
}

std::vector<TreemapRect> layout(const FileTree& tree, RectD rect) {
    std::vector<TreemapRect> out;
    layout_treemap(tree, 0, rect, 0, HEADER, INSET, out);
    return out;
}

// Tiles (floats) and squarified rectangles (doubles) against expected doubles.
template <typename Rect>
bool near(const Rect& a, RectD b) {
    return std::abs(a.x - b.x) < 1e-3 && std::abs(a.y - b.y) < 1e-3 && std::abs(a.width - b.width) < 1e-3 &&
           std::abs(a.height - b.height) < 1e-3;
}

TEST(Treemap, HeaderAndInsetFollowTheDpiRoundingHalvesUp) {
    // 120 DPI gives 22.5 and 2.5, which round up.
    const int cases[3][3] = {{96, 18, 2}, {120, 23, 3}, {144, 27, 3}};
    for (const auto& [dpi, header, inset] : cases) {
        EXPECT_EQ(treemap_header(static_cast<unsigned>(dpi)), header) << dpi;
        EXPECT_EQ(treemap_inset(static_cast<unsigned>(dpi)), inset) << dpi;
    }
}

TEST(Treemap, RowsCloseWhenTheWorstRatioGrowsAndTiesJoin) {
    // Both rows have worst ratio 2, and ties join: one column as wide as the square.
    FileTree two = make_tree("/r");
    const NodeIndex b = add(two, 0, file("b", 7));
    const NodeIndex a = add(two, 0, file("a", 7));
    roll_up(two);
    const auto pair = layout(two, {0, 0, 100, 100});
    ASSERT_EQ(pair.size(), 2u);
    EXPECT_EQ(pair[0].node, a);
    EXPECT_EQ(pair[1].node, b);
    EXPECT_TRUE(near(pair[0], {0, 0, 100, 50}));
    EXPECT_TRUE(near(pair[1], {0, 50, 100, 50}));

    // Worked by hand from the row rule: a column of 6+6, a line of 4+3, then columns 2, 2 and a line 1.
    const auto rects = squarify({6, 6, 4, 3, 2, 2, 1}, {0, 0, 6, 4});
    const RectD expected[7] = {{0, 0, 3, 2},
                               {0, 2, 3, 2},
                               {3, 0, 12.0 / 7, 7.0 / 3},
                               {3 + 12.0 / 7, 0, 9.0 / 7, 7.0 / 3},
                               {3, 7.0 / 3, 1.2, 5.0 / 3},
                               {4.2, 7.0 / 3, 1.2, 5.0 / 3},
                               {5.4, 7.0 / 3, 0.6, 5.0 / 3}};
    ASSERT_EQ(rects.size(), 7u);
    for (std::size_t i = 0; i < 7; ++i)
        EXPECT_TRUE(near(rects[i], expected[i])) << i;
}

TEST(Treemap, TilesAreTheRectanglesOfAllChildrenSquarified) {
    // Children too small for a tile still shape the rows they share with the shown ones: a child of a
    // few pixels followed by hundreds of under one pixel forms one long row with them. Every other round
    // the total is beyond what a double holds exactly.
    std::mt19937 random(11);
    for (int round = 0; round < 20; ++round) {
        FileTree tree = make_tree("/r");
        const std::uint64_t per_pixel = round % 2 ? 100 : std::uint64_t{100} << 40;
        double total = 0;
        for (int i = 0; i < 2000; ++i) {
            const std::uint64_t pixels = i < 3 ? 2000 + random() % 20000 : i < 8 ? 2 + random() % 20 : 0;
            const std::uint64_t size =
                pixels > 0 ? per_pixel * pixels : per_pixel / 100 * (50 + random() % 50);
            add(tree, 0, file("f" + std::to_string(random() % 1000) + "." + std::to_string(i), size));
            total += double(size);
        }
        const double width = 60.0 + double(random() % 200);
        const RectD rect{3, 4, width, total / double(per_pixel) / width};
        const auto children = sorted_children(tree, 0);
        std::vector<double> areas;
        for (NodeIndex child : children)
            areas.push_back(double(node_at(tree, child).size) * (rect.width * rect.height / total));
        const auto rects = squarify(areas, rect);
        const auto tiles = layout(tree, rect);
        std::size_t next = 0;
        for (std::size_t i = 0; i < children.size(); ++i) {
            if (rects[i].width < 1 || rects[i].height < 1) continue;
            ASSERT_LT(next, tiles.size());
            EXPECT_EQ(tiles[next].node, children[i]);
            EXPECT_TRUE(near(tiles[next++], rects[i])) << round << " " << i;
        }
        EXPECT_EQ(next, tiles.size());
    }
}

TEST(Treemap, EmptyAndRemovedChildrenAndTinyAreasGetNothing) {
    FileTree tree = make_tree("/r");
    add(tree, 0, file("zero", 0));
    add(tree, 0, folder("empty"));
    const NodeIndex gone = add(tree, 0, file("gone", 50));
    const NodeIndex kept = add(tree, 0, file("kept", 10));
    roll_up(tree);
    remove_node(tree, gone);
    const auto tiles = layout(tree, {10, 20, 40, 30});  // the one child left fills the rectangle
    ASSERT_EQ(tiles.size(), 1u);
    EXPECT_EQ(tiles[0].node, kept);
    EXPECT_TRUE(near(tiles[0], {10, 20, 40, 30}));

    EXPECT_TRUE(layout(tree, {0, 0, 0.99, 30}).empty());
    EXPECT_TRUE(layout(tree, {0, 0, 40, 0.5}).empty());
    EXPECT_EQ(layout(tree, {0, 0, 1, 1}).size(), 1u);
    remove_node(tree, kept);  // only sizeless children left: nothing to scale by
    EXPECT_TRUE(layout(tree, {0, 0, 40, 30}).empty());
}

TEST(Treemap, LabelBandOnlyOnWideAndTallFolderTiles) {
    FileTree tree = make_tree("/r");
    const NodeIndex sub = add(tree, 0, folder("sub"));
    add(tree, sub, file("f", 3));
    roll_up(tree);
    const double low = 2.5 * HEADER;  // a tile no taller than this gets no band
    const double cases[4][3] = {
        {70, 200, INSET}, {71, 200, HEADER}, {200, low, INSET}, {200, low + 1, HEADER}};
    for (const auto& [w, h, top] : cases) {
        const auto tiles = layout(tree, {0, 0, w, h});
        ASSERT_EQ(tiles.size(), 2u);
        EXPECT_EQ(tiles[0].is_folder, 1);
        EXPECT_TRUE(near(tiles[1], {INSET, top, w - 2 * INSET, h - top - INSET})) << w << " " << h;
    }
    // An inner box under 3 pixels is not laid out.
    EXPECT_EQ(layout(tree, {0, 0, 2 * INSET + 2.9, 100}).size(), 1u);
    EXPECT_EQ(layout(tree, {0, 0, 100, 2 * INSET + 2.9}).size(), 1u);
    EXPECT_EQ(layout(tree, {0, 0, 100, 2 * INSET + 3}).size(), 2u);
}

TEST(Treemap, NestingStopsBelowDepth24) {
    FileTree tree = make_tree("/r");
    std::vector<NodeIndex> chain{0};
    for (int level = 0; level < 30; ++level)
        chain.push_back(add(tree, chain.back(), folder("d")));
    add(tree, chain.back(), file("f", 1));
    roll_up(tree);
    const auto tiles = layout(tree, {0, 0, 2000, 2000});
    ASSERT_EQ(tiles.size(), static_cast<std::size_t>(TREEMAP_MAX_DEPTH) + 1);
    for (std::size_t i = 0; i < tiles.size(); ++i)
        EXPECT_EQ(tiles[i].node, chain[i + 1]);
}

TEST(Treemap, CapIsCheckedWhenACallStarts) {
    FileTree tree = make_tree("/r");
    constexpr std::size_t FOLDERS = 100;
    constexpr std::size_t FILES = 1000;
    for (std::size_t f = 0; f < FOLDERS; ++f) {
        const NodeIndex sub = add(tree, 0, folder("d" + std::to_string(f)));
        for (std::size_t i = 0; i < FILES; ++i)
            add(tree, sub, file(std::to_string(i), 10));
    }
    roll_up(tree);
    const auto tiles = layout(tree, {0, 0, 20000, 20000});
    // Whole folders are laid out until the cap is passed; the remaining folder tiles still appear.
    const std::size_t full = (TREEMAP_CAP + FILES) / (FILES + 1);
    EXPECT_EQ(tiles.size(), full * (FILES + 1) + (FOLDERS - full));

    std::vector<TreemapRect> out(TREEMAP_CAP);
    layout_treemap(tree, 0, {0, 0, 100, 100}, 0, HEADER, INSET, out);
    EXPECT_EQ(out.size(), TREEMAP_CAP);
}

bool overlaps(const TreemapRect& a, const TreemapRect& b) {
    constexpr float SLACK = 1e-2f;
    return a.x + SLACK < b.x + b.width && b.x + SLACK < a.x + a.width && a.y + SLACK < b.y + b.height &&
           b.y + SLACK < a.y + a.height;
}

TEST(Treemap, RandomTreesNestTileAndKeepProportions) {
    std::mt19937 random(2024);
    for (int round = 0; round < 20; ++round) {
        FileTree tree = make_tree("/r");
        std::vector<NodeIndex> folders{0};
        for (int i = 0; i < 400; ++i) {
            const NodeIndex parent = folders[random() % folders.size()];
            const std::string name = "n" + std::to_string(i);
            const bool is_folder = random() % 4 == 0;
            const std::uint64_t size = random() % 5 == 0 ? 0 : random() % 100000;
            const NodeIndex child = add(tree, parent, is_folder ? folder(name) : file(name, size));
            if (is_folder) folders.push_back(child);
        }
        roll_up(tree);
        std::vector<RectD> boxes(tree.nodes.size());  // each laid-out folder's inner box
        boxes[0] = {5, 7, 100.0 + double(random() % 1500), 100.0 + double(random() % 900)};
        const auto tiles = layout(tree, boxes[0]);
        ASSERT_FALSE(tiles.empty());

        std::vector<NodeIndex> open;  // the folders whose contents may still follow
        std::vector<std::vector<std::size_t>> level(tree.nodes.size());
        for (std::size_t i = 0; i < tiles.size(); ++i) {
            const TreemapRect& t = tiles[i];
            const Node& node = node_at(tree, t.node);
            ASSERT_GT(node.size, 0u);
            EXPECT_TRUE(t.width >= 1 && t.height >= 1) << i;
            EXPECT_EQ(t.is_folder, node.flags & FLAG_DIR);
            while (!open.empty() && open.back() != node.parent)
                open.pop_back();
            // Pre-order: the parent's tile came earlier with its contents unbroken, or it is the root.
            ASSERT_EQ(open.empty() ? 0 : open.back(), node.parent) << i;
            const RectD& box = boxes[node.parent];
            EXPECT_TRUE(t.x >= box.x - 1e-2 && t.x + t.width <= box.x + box.width + 1e-2) << i;
            EXPECT_TRUE(t.y >= box.y - 1e-2 && t.y + t.height <= box.y + box.height + 1e-2) << i;
            for (std::size_t sibling : level[node.parent])
                EXPECT_FALSE(overlaps(tiles[sibling], t)) << sibling << " " << i;
            level[node.parent].push_back(i);
            if (!t.is_folder) continue;
            open.push_back(t.node);
            const double top = t.width > 70 && t.height > 2.5 * HEADER ? HEADER : INSET;
            boxes[t.node] = {t.x + INSET, t.y + top, t.width - 2.0 * INSET, t.height - top - INSET};
        }

        // Where no child was skipped, the tiles fill the box in proportion to their sizes.
        for (NodeIndex p = 0; p < tree.nodes.size(); ++p) {
            const auto live = sorted_children(tree, p);
            const auto sized = std::count_if(live.begin(), live.end(),
                                             [&](NodeIndex c) { return node_at(tree, c).size > 0; });
            if (level[p].empty() || static_cast<std::ptrdiff_t>(level[p].size()) != sized) continue;
            const RectD& box = boxes[p];
            for (std::size_t k : level[p]) {
                const double share =
                    double(node_at(tree, tiles[k].node).size) / double(node_at(tree, p).size);
                EXPECT_NEAR(double(tiles[k].width) * tiles[k].height, share * box.width * box.height,
                            1e-3 * (box.width + box.height));
            }
        }
    }
}

}  // namespace
}  // namespace spadrim
