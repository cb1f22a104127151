// Keyboard selection and folder navigation on the App, with the list geometry of the window.
#include <gtest/gtest.h>

#include "app/input/navigation.h"
#include "scan/folder.h"

namespace spadrim {
namespace {

// A results App over /r holding ten folders sub0..sub9 of decreasing size, each with one file.
void ten_folders(App& app) {
    app.tree = make_tree("/r");
    std::vector<ListedEntry> folders;
    for (int i = 0; i < 10; ++i)
        folders.push_back(ListedEntry{"sub" + std::to_string(i), 0, FLAG_DIR, 0});
    append_listing(*app.tree, 0, folders);
    for (NodeIndex i = 1; i <= 10; ++i) {
        append_listing(*app.tree, i, std::vector<ListedEntry>{{"f", 1000 - i, 0, 7}});
    }
    roll_up(*app.tree);
    app.screen = Screen::Results;
    refresh_view(app);
}

constexpr ListGeometry LIST{100, 32};  // three rows fit

TEST(Navigation, SelectionMovesOverRowsAndScrollsThemIntoView) {
    App app;
    ten_folders(app);
    ASSERT_EQ(app.node_rows.size(), 10u);
    EXPECT_TRUE(move_selection(app, Key::Down, LIST));  // no selection: the first row
    EXPECT_EQ(app.selection, app.node_rows[0]);
    move_selection(app, Key::Up, LIST);  // stays on row 0
    move_selection(app, Key::PageUp, LIST);
    EXPECT_EQ(app.selection, app.node_rows[0]);
    EXPECT_TRUE(move_selection(app, Key::End, LIST));
    EXPECT_EQ(app.selection, app.node_rows[9]);
    EXPECT_DOUBLE_EQ(app.scroll, 10 * 32 - 100);  // the last row at the bottom
    move_selection(app, Key::Down, LIST);         // stays on row 9
    EXPECT_EQ(app.selection, app.node_rows[9]);
    EXPECT_TRUE(move_selection(app, Key::PageUp, LIST));
    EXPECT_EQ(app.selection, app.node_rows[6]);  // a page is three rows
    EXPECT_TRUE(move_selection(app, Key::Home, LIST));
    EXPECT_DOUBLE_EQ(app.scroll, 0);
}

TEST(Navigation, SetRowsAreSkipped) {
    App app;
    ten_folders(app);
    app.tab = Tab::Duplicates;
    app.duplicate_rows = {{0, NO_NODE}, {0, 3}, {0, 4}, {1, NO_NODE}};
    EXPECT_TRUE(move_selection(app, Key::Home, LIST));
    EXPECT_EQ(app.selection, 3u);  // the first set row holds no node
    EXPECT_TRUE(move_selection(app, Key::End, LIST));
    EXPECT_EQ(app.selection, 4u);          // searching back from the last set row
    move_selection(app, Key::Down, LIST);  // only a set row below: the member stays selected
    EXPECT_EQ(app.selection, 4u);
    app.selection = NO_NODE;
    app.duplicate_rows = {{0, NO_NODE}};
    EXPECT_FALSE(move_selection(app, Key::Down, LIST));  // no node row at all
}

TEST(Navigation, OpeningAndGoingUpRevealsWhereWeCameFrom) {
    App app;
    ten_folders(app);
    const NodeIndex deep = app.node_rows[8];
    navigate(app, deep, NO_NODE, LIST);
    EXPECT_EQ(app.current_folder, deep);
    EXPECT_EQ(window_title(app),
              "/r" + std::string(1, PATH_SEPARATOR) + std::string(name_of(*app.tree, deep)) + " - Spadrim");
    go_to_parent(app, LIST);
    EXPECT_EQ(app.current_folder, 0u);
    EXPECT_EQ(app.selection, deep);
    EXPECT_DOUBLE_EQ(app.scroll, 8 * 32 - 50);  // its row's top at the middle of the list
    go_to_parent(app, LIST);                    // at the root: nothing
    EXPECT_EQ(app.current_folder, 0u);
    const NodeIndex file = node_at(*app.tree, deep).first_child;
    navigate(app, file, NO_NODE, LIST);  // a file is no folder to open
    EXPECT_EQ(app.current_folder, 0u);
}

TEST(Navigation, AMovedFolderLeavesTheViewAtOnce) {
    App app;
    ten_folders(app);
    const NodeIndex gone = app.node_rows[0];
    const std::uint64_t before = node_at(*app.tree, 0).size;
    const std::uint64_t size = node_at(*app.tree, gone).size;
    app.selection = gone;
    const std::uint64_t generation = app.tree_generation;
    remove_from_view(app, gone);
    EXPECT_EQ(node_at(*app.tree, 0).size, before - size);
    EXPECT_EQ(app.selection, NO_NODE);
    EXPECT_EQ(app.node_rows.size(), 9u);
    EXPECT_GT(app.tree_generation, generation);  // the treemap is laid out again
}

}  // namespace
}  // namespace spadrim
