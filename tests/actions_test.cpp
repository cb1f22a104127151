// Clicks, double-clicks, keys and the pointer as the window hands them to the App, on a window of
// 1000 × 700 pixels at 96 DPI: the list viewport is 582 pixels high (R(48) header, R(40) tabs, R(30)
// status line).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>

#include "app/input/actions.h"
#include "app/input/selection.h"
#include "app/texts.h"
#include "app/timers.h"
#include "scan/folder.h"
#include "support/temp_tree.h"

namespace spadrim {
namespace {

const Surface SURFACE{1000, 700, 1, nullptr, {}};

// /r holds "many" (40 files of 100 bytes, f00 … f39), "deep/er" with one file, and a.txt.
struct Fixture {
    App app;
    NodeIndex many = NO_NODE;
    NodeIndex deep = NO_NODE;
    NodeIndex deeper = NO_NODE;
    NodeIndex a_txt = NO_NODE;
    std::vector<NodeIndex> copies;  // f00 … f39

    Fixture() {
        app.tree = make_tree("/r");
        FileTree& tree = *app.tree;
        append_listing(tree, 0,
                       std::vector<ListedEntry>{
                           {"many", 0, FLAG_DIR, 0}, {"deep", 0, FLAG_DIR, 0}, {"a.txt", 50, 0, 3}});
        many = 1;
        deep = 2;
        a_txt = 3;
        std::vector<ListedEntry> files;
        for (int i = 0; i < 40; ++i) {
            files.push_back(ListedEntry{(i < 10 ? "f0" : "f") + std::to_string(i), 100, 0, 7});
        }
        append_listing(tree, many, files);
        for (NodeIndex i = 0; i < 40; ++i)
            copies.push_back(4 + i);
        append_listing(tree, deep, std::vector<ListedEntry>{{"er", 0, FLAG_DIR, 0}});
        deeper = static_cast<NodeIndex>(tree.nodes.size() - 1);
        append_listing(tree, deeper, std::vector<ListedEntry>{{"x.bin", 7, 0, 4}});
        roll_up(tree);
        app.screen = Screen::Results;
        refresh_view(app);
    }

    // The forty copies as one duplicate set of the root, expanded.
    void duplicates() {
        DuplicateSet set{copies, 100, Digest{}, (copies.size() - 1) * 100};
        app.duplicates[0] = DuplicatesFound{{set}, 0};
        app.expanded_sets.insert(set.digest);
        app.current_folder = 0;
        app.tab = Tab::Duplicates;
        refresh_view(app);
    }

    HitTarget row(std::size_t index) const { return HitTarget{HitKind::Row, index}; }
};

TEST(ActionsClick, RowsSelectToggleOrDoNothing) {
    Fixture f;
    App& app = f.app;
    EXPECT_FALSE(click(app, SURFACE, f.row(3), 0, 0).changed);  // only three rows: past the end
    EXPECT_EQ(app.selection, NO_NODE);
    EXPECT_TRUE(click(app, SURFACE, f.row(1), 0, 0).changed);
    EXPECT_EQ(app.selection, app.node_rows[1]);

    // Duplicates: a set row opens or closes its set, a member row selects the copy.
    f.duplicates();
    ASSERT_EQ(app.duplicate_rows.size(), 41u);
    click(app, SURFACE, f.row(2), 0, 0);
    EXPECT_EQ(app.selection, f.copies[1]);
    click(app, SURFACE, f.row(0), 0, 0);
    EXPECT_EQ(app.duplicate_rows.size(), 1u);
    EXPECT_EQ(app.selection, f.copies[1]);  // toggling a set leaves the selection alone
    click(app, SURFACE, f.row(0), 0, 0);
    EXPECT_EQ(app.duplicate_rows.size(), 41u);

    // By type: a row picks its extension, the same row again clears it.
    click(app, SURFACE, HitTarget{HitKind::Tab, 2}, 0, 0);
    ASSERT_EQ(app.tab, Tab::ByType);
    ASSERT_FALSE(app.extension_rows.empty());
    const std::string first = app.extension_rows[0].extension;
    click(app, SURFACE, f.row(0), 0, 0);
    EXPECT_EQ(app.selected_extension, first);
    click(app, SURFACE, f.row(0), 0, 0);
    EXPECT_FALSE(app.selected_extension);
}

TEST(ActionsClick, ButtonsAskForTheirCommands) {
    Fixture f;
    App& app = f.app;
    EXPECT_EQ(click(app, SURFACE, HitTarget{HitKind::Refresh}, 0, 0).command,
              Command{CommandKind::AnalyzeAgain});
    EXPECT_EQ(click(app, SURFACE, HitTarget{HitKind::Menu}, 970, 20).command,
              (Command{CommandKind::ShowMenu, NO_NODE, 970, 20}));
    app.drives.clear();
    EXPECT_EQ(click(app, SURFACE, HitTarget{HitKind::DriveCard, 0}, 0, 0).command,
              Command{CommandKind::ChooseFolder});  // with no drives the first card is the folder card
    // The Recycle Bin's button does nothing while the bin is empty; it is drawn disabled then.
    app.recycle_bin_bytes = 0;
    EXPECT_FALSE(click(app, SURFACE, HitTarget{HitKind::EmptyRecycleBin}, 0, 0).command);
    app.recycle_bin_bytes = 1;
    EXPECT_EQ(click(app, SURFACE, HitTarget{HitKind::EmptyRecycleBin}, 0, 0).command,
              Command{CommandKind::EmptyRecycleBin});
}

TEST(ActionsClick, ScrollThumbDragEndsOnReleaseOrWhenThePointerIsTaken) {
    Fixture f;
    App& app = f.app;
    f.app.current_folder = f.many;
    refresh_view(app);  // 40 rows of 32 pixels in 582: a scroll bar
    const Reaction pressed = click(app, SURFACE, HitTarget{HitKind::ScrollBar}, 415, 600);
    EXPECT_TRUE(pressed.capture);
    EXPECT_TRUE(app.dragging);
    EXPECT_GT(app.scroll, 0);
    pointer_moved(app, SURFACE, 415, 90);  // dragged to the top
    EXPECT_DOUBLE_EQ(app.scroll, 0);
    EXPECT_TRUE(button_released(app).release);
    EXPECT_FALSE(app.dragging);

    click(app, SURFACE, HitTarget{HitKind::ScrollBar}, 415, 600);
    EXPECT_TRUE(capture_lost(app).changed);  // a message box took the pointer
    EXPECT_FALSE(app.dragging);
    const double scroll = app.scroll;
    pointer_moved(app, SURFACE, 415, 90);  // no button held: the list stays
    EXPECT_DOUBLE_EQ(app.scroll, scroll);
}

TEST(ActionsDoubleClick, OpensRevealsOrCountsAsAClick) {
    Fixture f;
    App& app = f.app;
    // Two quick clicks on Up arrive as a click and a double-click: two levels up.
    app.current_folder = f.deeper;
    click(app, SURFACE, HitTarget{HitKind::Up}, 0, 0);
    double_click(app, SURFACE, HitTarget{HitKind::Up}, 0, 0);
    EXPECT_EQ(app.current_folder, 0u);

    // A folder row opens; a file row in the current folder stays put.
    const std::size_t deep_row = static_cast<std::size_t>(
        std::find(app.node_rows.begin(), app.node_rows.end(), f.deep) - app.node_rows.begin());
    double_click(app, SURFACE, f.row(deep_row), 0, 0);
    EXPECT_EQ(app.current_folder, f.deep);
    double_click(app, SURFACE, HitTarget{HitKind::Tile, f.deeper}, 0, 0);  // a folder tile opens too
    EXPECT_EQ(app.current_folder, f.deeper);
    EXPECT_FALSE(double_click(app, SURFACE, f.row(0), 0, 0).changed);

    // A second quick click on a tab is still a click on it.
    double_click(app, SURFACE, HitTarget{HitKind::Tab, 1}, 0, 0);
    EXPECT_EQ(app.tab, Tab::LargestFiles);

    // Largest files of the root: a file elsewhere opens its folder with the file selected.
    app.current_folder = 0;
    refresh_view(app);
    const std::size_t x_row = static_cast<std::size_t>(
        std::find(app.node_rows.begin(), app.node_rows.end(), f.deeper + 1) - app.node_rows.begin());
    ASSERT_LT(x_row, app.node_rows.size());
    double_click(app, SURFACE, f.row(x_row), 0, 0);
    EXPECT_EQ(app.current_folder, f.deeper);
    EXPECT_EQ(app.selection, f.deeper + 1);
}

TEST(ActionsDoubleClick, ACopyOpensInFoldersMeasuredForFolders) {
    Fixture f;
    App& app = f.app;
    f.duplicates();
    app.scroll = 40 * 46;  // the list scrolled to its end
    clamp_scroll(app, SURFACE);
    // The last copy, f39, is the last of the forty rows of "many" on Folders.
    double_click(app, SURFACE, f.row(40), 0, 0);
    EXPECT_EQ(app.tab, Tab::Folders);
    EXPECT_EQ(app.current_folder, f.many);
    EXPECT_EQ(app.selection, f.copies[39]);
    const double maximum = max_scroll(view_input(app, SURFACE));
    EXPECT_DOUBLE_EQ(maximum, 40 * 32 - 582);
    EXPECT_DOUBLE_EQ(app.scroll, maximum);  // not beyond it: the rows are drawn, the copy at the bottom

    // A set row toggles on a double-click as on a click.
    f.duplicates();
    double_click(app, SURFACE, f.row(0), 0, 0);
    EXPECT_EQ(app.duplicate_rows.size(), 1u);
}

TEST(ActionsKeys, TabsRoundTheFourAndEnterOpensOrAsks) {
    Fixture f;
    App& app = f.app;
    const Modifiers control{true, false, false};
    const Modifiers back{true, true, false};
    const Tab forward[] = {Tab::LargestFiles, Tab::ByType, Tab::Duplicates, Tab::Folders};
    for (const Tab tab : forward) {
        key_down(app, SURFACE, Key::Tab, control);
        EXPECT_EQ(app.tab, tab);
    }
    key_down(app, SURFACE, Key::Tab, back);
    EXPECT_EQ(app.tab, Tab::Duplicates);
    key_down(app, SURFACE, Key::Tab, back);
    EXPECT_EQ(app.tab, Tab::ByType);
    key_down(app, SURFACE, Key::Tab, {});  // Tab alone moves the focus, not the tab
    EXPECT_EQ(app.tab, Tab::ByType);
    app.focus = Focus{FocusArea::List};
    key_down(app, SURFACE, Key::Tab, control);
    key_down(app, SURFACE, Key::Tab, control);
    ASSERT_EQ(app.tab, Tab::Folders);

    app.selection = f.a_txt;
    EXPECT_EQ(key_down(app, SURFACE, Key::Enter, {}).command, (Command{CommandKind::OpenItem, f.a_txt}));
    EXPECT_EQ(app.current_folder, 0u);
    EXPECT_EQ(key_down(app, SURFACE, Key::Delete, {}).command, (Command{CommandKind::RecycleItem, f.a_txt}));
    EXPECT_EQ(key_down(app, SURFACE, Key::C, control).command, (Command{CommandKind::CopyPath, f.a_txt}));
    EXPECT_FALSE(key_down(app, SURFACE, Key::C, {}).command);
    app.selection = f.deep;
    EXPECT_FALSE(key_down(app, SURFACE, Key::Enter, {}).command);
    EXPECT_EQ(app.current_folder, f.deep);
    key_down(app, SURFACE, Key::Left, Modifiers{false, false, true});  // Alt+Left
    EXPECT_EQ(app.current_folder, 0u);
    EXPECT_EQ(app.selection, f.deep);       // revealed
    key_down(app, SURFACE, Key::Left, {});  // Left alone does nothing
    EXPECT_EQ(app.current_folder, 0u);
}

TEST(ActionsKeys, TabMovesTheFocusAndKeysActWhereItIs) {
    Fixture f;
    App& app = f.app;
    const std::vector<HeaderButton> buttons = header_buttons(view_input(app, SURFACE));
    ASSERT_FALSE(buttons.empty());
    // From the list: the treemap, then round to the first header button; Shift+Tab goes back.
    EXPECT_TRUE(key_down(app, SURFACE, Key::Tab, {}).changed);
    EXPECT_EQ(app.focus, (Focus{FocusArea::Treemap}));
    EXPECT_TRUE(app.focus_visible);
    key_down(app, SURFACE, Key::Tab, {});
    EXPECT_EQ(app.focus, (Focus{FocusArea::Header, 0}));
    key_down(app, SURFACE, Key::Tab, Modifiers{false, true, false});
    EXPECT_EQ(app.focus, (Focus{FocusArea::Treemap}));
    // Tab passes through the search field on its way from the header to the tabs.
    app.focus = Focus{FocusArea::Header, buttons.size() - 1};
    key_down(app, SURFACE, Key::Tab, {});
    EXPECT_EQ(app.focus, (Focus{FocusArea::Search}));
    key_down(app, SURFACE, Key::Tab, {});
    EXPECT_EQ(app.focus, (Focus{FocusArea::Tabs}));

    // The arrows on the tab strip choose the tab.
    app.focus = Focus{FocusArea::Tabs};
    key_down(app, SURFACE, Key::Right, {});
    EXPECT_EQ(app.tab, Tab::LargestFiles);
    key_down(app, SURFACE, Key::Left, {});
    key_down(app, SURFACE, Key::Left, {});
    EXPECT_EQ(app.tab, Tab::Duplicates);
    key_down(app, SURFACE, Key::Right, {});
    EXPECT_EQ(app.tab, Tab::Folders);

    // In the treemap the arrows move from tile to tile, the first one picking a tile; Enter opens.
    const std::vector<TreemapRect> tiles{
        {0, 0, 100, 100, f.many, 1}, {100, 0, 100, 100, f.deep, 1}, {200, 0, 100, 100, f.a_txt, 0}};
    const Surface with_tiles{1000, 700, 1, &tiles, {}};
    app.focus = Focus{FocusArea::Treemap};
    app.selection = NO_NODE;
    key_down(app, with_tiles, Key::Right, {});
    EXPECT_EQ(app.selection, f.many);
    key_down(app, with_tiles, Key::Right, {});
    key_down(app, with_tiles, Key::Right, {});
    EXPECT_EQ(app.selection, f.a_txt);
    EXPECT_FALSE(key_down(app, with_tiles, Key::Right, {}).changed);  // nothing further right
    EXPECT_EQ(key_down(app, with_tiles, Key::Enter, {}).command, (Command{CommandKind::OpenItem, f.a_txt}));
    key_down(app, with_tiles, Key::Up, {});  // not the list's selection: no tile lies above
    EXPECT_EQ(app.selection, f.a_txt);

    // Enter or Space presses the focused header button, as a click would.
    const auto home = std::find_if(buttons.begin(), buttons.end(),
                                   [](const HeaderButton& button) { return button.kind == HitKind::Home; });
    ASSERT_NE(home, buttons.end());
    app.focus = Focus{FocusArea::Header, static_cast<std::size_t>(home - buttons.begin())};
    key_down(app, SURFACE, Key::Space, {});
    EXPECT_EQ(app.screen, Screen::Home);
    // A click puts the ring away and the focus where it clicked.
    app.screen = Screen::Results;
    click(app, SURFACE, f.row(0), 10, 100);
    EXPECT_FALSE(app.focus_visible);
    EXPECT_EQ(app.focus, (Focus{FocusArea::List}));
}

TEST(ActionsKeys, TheSearchFieldTakesTypingAndKeepsTheListsKeys) {
    Fixture f;
    App& app = f.app;
    const Modifiers control{true, false, false};
    navigate(app, f.many, NO_NODE, list_geometry(app, SURFACE));
    app.selection = f.copies[0];
    // A space or a control character in the list starts nothing; a letter moves the focus to the field.
    EXPECT_FALSE(type_text(app, SURFACE, " ").changed);
    EXPECT_FALSE(type_text(app, SURFACE, "\x7F").changed);
    EXPECT_TRUE(type_text(app, SURFACE, "f").changed);
    EXPECT_EQ(app.focus, (Focus{FocusArea::Search}));
    type_text(app, SURFACE, "한");
    EXPECT_EQ(app.query_text, "f한");
    // Backspace and Delete edit the field: neither goes up nor moves the selection to the Recycle Bin.
    EXPECT_FALSE(key_down(app, SURFACE, Key::Delete, {}).command);
    key_down(app, SURFACE, Key::Backspace, {});
    EXPECT_EQ(app.current_folder, f.many);
    EXPECT_EQ(app.query_text, "f");
    EXPECT_EQ(key_down(app, SURFACE, Key::C, control).command, Command{CommandKind::CopyFieldText});
    EXPECT_EQ(key_down(app, SURFACE, Key::V, control).command, Command{CommandKind::PasteIntoField});
    // Esc clears the text, a second Esc gives the focus back to the list.
    key_down(app, SURFACE, Key::Escape, {});
    EXPECT_EQ(app.query_text, "");
    EXPECT_EQ(app.focus, (Focus{FocusArea::Search}));
    key_down(app, SURFACE, Key::Escape, {});
    EXPECT_EQ(app.focus, (Focus{FocusArea::List}));
    EXPECT_EQ(app.selection, f.copies[0]);
    // Undo comes back through the query; Ctrl+F selects the text to be typed over.
    app.focus = Focus{FocusArea::Search};
    key_down(app, SURFACE, Key::Z, control);
    EXPECT_EQ(app.query_text, "f");
    app.focus = Focus{FocusArea::Treemap};
    EXPECT_FALSE(type_text(app, SURFACE, "x").changed);  // typing in the treemap is no search
    key_down(app, SURFACE, Key::F, control);
    EXPECT_EQ(app.focus, (Focus{FocusArea::Search}));
    type_text(app, SURFACE, "x");
    EXPECT_EQ(app.query_text, "x");
    // An input method's composition shows but is not the query until committed.
    app.focus = Focus{FocusArea::List};
    EXPECT_TRUE(compose(app, "ㅎ"));
    EXPECT_EQ(app.focus, (Focus{FocusArea::Search}));
    EXPECT_EQ(app.query_text, "x");
    compose(app, "");
    type_text(app, SURFACE, "한");
    EXPECT_EQ(app.query_text, "x한");

    // A click in the field puts the caret at the nearest boundary (7 pixels a code point).
    const Surface measured{1000, 700, 1, nullptr, [](std::string_view text, TextStyle) {
                               float points = 0;
                               for (const char c : text)
                                   points += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
                               return 7 * points;
                           }};
    const std::optional<Box> field = search_box(view_input(app, measured));
    ASSERT_TRUE(field);
    const Box room = search_text_box(*field, 1);
    app.focus = Focus{FocusArea::List};
    click(app, measured, HitTarget{HitKind::SearchField, 0}, room.x + 9, field->y + 5);
    EXPECT_EQ(app.focus, (Focus{FocusArea::Search}));
    EXPECT_EQ(app.search.caret, 1u);
    EXPECT_EQ(search_caret(app, measured), (Box{room.x + 7, field->y, 1, field->height}));
    app.screen = Screen::Home;
    EXPECT_FALSE(type_text(app, SURFACE, "x").changed);
    EXPECT_FALSE(compose(app, "ㅎ"));
}

TEST(ActionsKeys, EscapeClearsThePickedExtensionFirstAndKeysFollowTheScreen) {
    Fixture f;
    App& app = f.app;
    app.selection = f.a_txt;
    app.selected_extension = "txt";
    key_down(app, SURFACE, Key::Escape, {});
    EXPECT_FALSE(app.selected_extension);
    EXPECT_EQ(app.selection, f.a_txt);
    key_down(app, SURFACE, Key::Escape, {});
    EXPECT_EQ(app.selection, NO_NODE);
    EXPECT_FALSE(key_down(app, SURFACE, Key::Escape, {}).changed);

    EXPECT_EQ(key_down(app, SURFACE, Key::O, Modifiers{true, false, false}).command,
              Command{CommandKind::ChooseFolder});
    app.screen = Screen::Home;
    EXPECT_FALSE(key_down(app, SURFACE, Key::F5, {}).command);  // the drives are listed again instead
    EXPECT_FALSE(key_down(app, SURFACE, Key::Backspace, {}).changed);
    app.screen = Screen::Results;
    EXPECT_EQ(key_down(app, SURFACE, Key::F5, {}).command, Command{CommandKind::AnalyzeAgain});
}

TEST(ActionsKeys, TheHomeScreenHasATabRoundItsCardsAndButtons) {
    // The Recycle Bin's button is laid out after its figure, so texts are measured here.
    const Surface measured{1000, 700, 1, nullptr, [](std::string_view text, TextStyle) {
                               return 7.0f * static_cast<float>(text.size());
                           }};
    App app;
    app.drives = {DriveInfo{"C:\\", "", 100, 50}, DriveInfo{"D:\\", "", 100, 50}};
    app.recycle_bin_bytes = 0;
    const std::vector<FocusStop> stops = home_stops(view_input(app, measured));
    std::vector<HitTarget> order;
    for (const FocusStop& stop : stops)
        order.push_back(stop.target);
    EXPECT_EQ(order, (std::vector<HitTarget>{{HitKind::DriveCard, 0},
                                             {HitKind::DriveCard, 1},
                                             {HitKind::DriveCard, 2},  // the folder card
                                             {HitKind::EmptyRecycleBin, 0},
                                             {HitKind::Menu, 0}}));

    // Tab goes round and shows the ring; Shift+Tab goes back round; Ctrl+Tab is not Tab here.
    EXPECT_TRUE(key_down(app, measured, Key::Tab, {}).changed);
    EXPECT_EQ(app.focus.home, 1u);
    EXPECT_TRUE(app.focus_visible);
    for (int i = 0; i < 4; ++i)
        key_down(app, measured, Key::Tab, {});
    EXPECT_EQ(app.focus.home, 0u);
    key_down(app, measured, Key::Tab, Modifiers{false, true, false});
    EXPECT_EQ(app.focus.home, 4u);
    EXPECT_FALSE(key_down(app, measured, Key::Tab, Modifiers{true, false, false}).changed);
    // The arrows step without going round.
    key_down(app, measured, Key::Right, {});
    EXPECT_EQ(app.focus.home, 4u);
    key_down(app, measured, Key::Up, {});
    EXPECT_EQ(app.focus.home, 3u);

    // Enter and Space press what has the focus, as a click does: the Menu opens under its button, the
    // folder card asks for a folder, the empty bin's button does nothing, a drive card starts its scan.
    app.focus.home = 4;
    const Reaction menu = key_down(app, measured, Key::Enter, {});
    ASSERT_TRUE(menu.command);
    EXPECT_EQ(menu.command->kind, CommandKind::ShowMenu);
    EXPECT_EQ(menu.command->y, stops[4].box.y + stops[4].box.height);
    app.focus.home = 2;
    EXPECT_EQ(key_down(app, measured, Key::Space, {}).command, Command{CommandKind::ChooseFolder});
    app.focus.home = 3;
    EXPECT_FALSE(key_down(app, measured, Key::Enter, {}).command);
    app.drives[1].root = "/no/such/drive/spadrim";  // checked before any scan starts
    app.focus.home = 1;
    key_down(app, measured, Key::Enter, {});
    EXPECT_TRUE(app.notice.starts_with("Folder not found: ") && app.notice.ends_with("spadrim"))
        << app.notice;
    EXPECT_EQ(app.screen, Screen::Home);

    // A click moves the focus to what it pressed and hides the ring; a focus past the stops (drives
    // gone since) counts as the last.
    click(app, measured, HitTarget{HitKind::DriveCard, 2}, 0, 0);
    EXPECT_EQ(app.focus.home, 2u);
    EXPECT_FALSE(app.focus_visible);
    app.drives.resize(1);
    app.focus.home = 9;
    key_down(app, measured, Key::Left, {});
    EXPECT_EQ(app.focus.home, 2u);  // from the Menu, the last of: a card, the folder card, the bin, the Menu
}

// The recent scans as the home screen lists them from the folder of remembered scans, each root read
// from its file once (a file that cannot be read goes by its name). A row opens its file as a scan file;
// its button scans the root again, compared with that file, unless the root is gone or not known.
TEST(ActionsHome, ARecentScanOpensOrIsComparedWithNow) {
    test::TempTree disk;
    const std::string scanned = disk.folder("Projects").string();
    App app;
    app.scans_folder = disk.root_text() + "/scans";
    const std::atomic<bool> go{false};
    std::vector<std::string> files;
    for (const std::string& root : {scanned, std::string("/no/such/folder/spadrim")}) {
        FileTree tree = make_tree(root);
        append_listing(tree, 0, std::vector<ListedEntry>{{"a.txt", 10, 0, 1}});
        roll_up(tree);
        const SaveOutcome saved =
            save_scan(tree, app.scans_folder, 1'765'000'000 + 60 * std::ssize(files), go);
        ASSERT_TRUE(saved.saved) << saved.error;
        files.push_back(saved.file);
    }
    const std::string damaged = remembered_name(root_hash("/elsewhere"), 1'765'000'600, 10, 1);
    disk.file("scans/" + damaged, 100);
    show_recent_scans(app);
    ASSERT_EQ(app.recent_scans.size(), 3u);  // newest first
    EXPECT_FALSE(recent_root(app, 0));
    EXPECT_EQ(recent_scan_text(app, 0).root, damaged);
    EXPECT_EQ(recent_root(app, 1), "/no/such/folder/spadrim");
    EXPECT_EQ(recent_root(app, 2), scanned);

    EXPECT_FALSE(click(app, SURFACE, HitTarget{HitKind::CompareWithNow, 0}, 0, 0).changed);
    EXPECT_FALSE(click(app, SURFACE, HitTarget{HitKind::RecentScan, 3}, 0, 0).changed);
    EXPECT_EQ(app.screen, Screen::Home);
    click(app, SURFACE, HitTarget{HitKind::CompareWithNow, 1}, 0, 0);
    EXPECT_EQ(app.screen, Screen::Home);
    EXPECT_FALSE(app.compare_next);
    EXPECT_TRUE(app.notice.starts_with("Folder not found: ")) << app.notice;
    click(app, SURFACE, HitTarget{HitKind::CompareWithNow, 2}, 0, 0);
    ASSERT_EQ(app.screen, Screen::Scanning);
    EXPECT_EQ(app.scan_job->root_path, scanned);
    EXPECT_EQ(app.compare_next, files[0]);
    click(app, SURFACE, HitTarget{HitKind::RecentScan, 0}, 0, 0);
    ASSERT_EQ(app.screen, Screen::Scanning);
    EXPECT_EQ(app.scan_job->root_path, app.recent_scans[0].file);
    cancel_scan(app);

    // A file gone since is listed no more, nor its root kept.
    std::filesystem::remove(files[0]);
    show_recent_scans(app);
    EXPECT_EQ(app.recent_scans.size(), 2u);
    EXPECT_FALSE(app.recent_roots.contains(files[0]));
}

TEST(ActionsScroll, TheOffsetStaysWithinTheShorterList) {
    Fixture f;
    App& app = f.app;
    f.duplicates();
    app.scroll = 1e9;
    clamp_scroll(app, SURFACE);
    ASSERT_GT(app.scroll, 0);
    click(app, SURFACE, f.row(0), 0, 0);  // collapsing the set leaves one row
    EXPECT_DOUBLE_EQ(app.scroll, 0);

    // Moving the last of the forty files away, seen from the end of the list.
    app.tab = Tab::Folders;
    app.current_folder = f.many;
    refresh_view(app);
    app.scroll = max_scroll(view_input(app, SURFACE));
    remove_from_view(app, f.copies[39]);
    clamp_scroll(app, SURFACE);
    EXPECT_DOUBLE_EQ(app.scroll, 39 * 32 - 582);

    // The wheel scrolls only over the list, three rows a notch.
    app.scroll = 0;
    EXPECT_FALSE(wheel(app, SURFACE, -120, 700, 300).changed);  // over the treemap
    wheel(app, SURFACE, -120, 100, 300);
    EXPECT_DOUBLE_EQ(app.scroll, 96);
    EXPECT_EQ(app.hover, (HitTarget{HitKind::Row, 9}));  // the row now under the pointer (y 300 + 96)
}

TEST(ActionsPointer, HoverChangesOnlyBetweenTargets) {
    Fixture f;
    App& app = f.app;
    EXPECT_TRUE(pointer_moved(app, SURFACE, 100, 100).changed);
    EXPECT_FALSE(pointer_moved(app, SURFACE, 120, 110).changed);  // the same row
    EXPECT_TRUE(pointer_left(app).changed);
    EXPECT_FALSE(pointer_left(app).changed);
}

TEST(ActionsRightClick, SelectsAndAsksForTheItemMenu) {
    Fixture f;
    App& app = f.app;
    const Reaction reaction = right_click(app, f.row(0), 10, 100);
    EXPECT_EQ(reaction.command, (Command{CommandKind::ItemMenu, app.node_rows[0], 10, 100}));
    EXPECT_EQ(app.selection, app.node_rows[0]);
    EXPECT_FALSE(right_click(app, HitTarget{HitKind::Tab, 0}, 10, 60).command);
    f.duplicates();
    EXPECT_FALSE(right_click(app, f.row(0), 10, 100).command);  // a set row has no item
}

// The menu key opens the selection's item menu where the selection is drawn: on its row, or on its tile
// when the keyboard is in the treemap; a row scrolled away puts the menu at the list's edge.
TEST(ActionsMenuKey, TheSelectionsMenuAtItsRowOrTile) {
    Fixture f;
    App& app = f.app;
    EXPECT_FALSE(menu_key(app, SURFACE).command);  // nothing selected
    click(app, SURFACE, f.row(1), 0, 0);
    const auto lands_on = [&](const Surface& surface, HitTarget target) {
        const std::optional<Command> command = menu_key(app, surface).command;
        ASSERT_TRUE(command);
        EXPECT_EQ(command->kind, CommandKind::ItemMenu);
        EXPECT_EQ(command->node, app.selection);
        EXPECT_EQ(hit_test(view_input(app, surface), command->x, command->y), target);
    };
    lands_on(SURFACE, f.row(1));
    const std::vector<TreemapRect> tiles = {{700, 100, 200, 300, app.node_rows[0], 0},
                                            {700, 400, 200, 100, app.selection, 0}};
    const Surface with_tiles{1000, 700, 1, &tiles, {}};
    lands_on(with_tiles, f.row(1));  // the keyboard is in the list
    app.focus = Focus{FocusArea::Treemap};
    lands_on(with_tiles, (HitTarget{HitKind::Tile, app.selection}));
    app.focus = Focus{FocusArea::List};

    navigate(app, f.many, f.copies[0], list_geometry(app, SURFACE));  // its rows: the copies
    ASSERT_EQ(app.node_rows.size(), 40u);
    app.selection = app.node_rows[39];
    app.scroll = 0;
    const std::optional<Command> command = menu_key(app, SURFACE).command;
    ASSERT_TRUE(command);
    const Box view = list_viewport(view_input(app, SURFACE));
    EXPECT_TRUE(command->y >= view.y && command->y <= view.y + view.height) << command->y;

    app.screen = Screen::Home;
    EXPECT_FALSE(menu_key(app, SURFACE).command);
}

TEST(ActionsRecycle, TheRootAndProtectedFoldersAreNotOffered) {
    Fixture f;
    const std::string many = path_of(*f.app.tree, f.many);  // spelt with this system's separator
    const EnvironmentLookup profile_is_many = [&](const char* name) -> std::optional<std::string> {
        if (std::string_view(name) == "USERPROFILE") return many;
        return std::nullopt;
    };
    const EnvironmentLookup nothing = [](const char*) -> std::optional<std::string> { return std::nullopt; };
    EXPECT_FALSE(can_recycle(f.app, 0, nothing));
    EXPECT_TRUE(can_recycle(f.app, f.a_txt, nothing));
    EXPECT_TRUE(can_recycle(f.app, f.many, nothing));
    EXPECT_FALSE(can_recycle(f.app, f.many, profile_is_many));
    EXPECT_FALSE(can_recycle(f.app, 9999, nothing));
}

// A tree read from a scan file: nothing that needs the files is offered, the rest works as on a scan.
TEST(ActionsImported, WhatNeedsTheFilesIsNotOffered) {
    Fixture f;
    App& app = f.app;
    app.tree->imported = true;
    const EnvironmentLookup nothing = [](const char*) -> std::optional<std::string> { return std::nullopt; };
    EXPECT_FALSE(header_button_enabled(app, HitKind::Refresh));
    EXPECT_TRUE(header_button_enabled(app, HitKind::Home));
    EXPECT_FALSE(click(app, SURFACE, HitTarget{HitKind::Refresh}, 0, 0).command);
    EXPECT_FALSE(can_recycle(app, f.a_txt, nothing));
    // A double-click still opens a folder of the tree.
    double_click(app, SURFACE, f.row(0), 0, 0);
    EXPECT_EQ(app.current_folder, f.many);
    // Duplicates: no comparison starts, and the status line says why.
    app.current_folder = 0;
    app.tab = Tab::Duplicates;
    refresh_view(app);
    EXPECT_FALSE(app.duplicate_job);
    EXPECT_TRUE(app.duplicate_rows.empty());
    EXPECT_EQ(status_line(app), std::string(duplicates_need_files_text()));
    // The same tree from a walk compares.
    app.tree->imported = false;
    refresh_view(app);
    EXPECT_TRUE(app.duplicate_job || app.duplicates.contains(0));
    cancel_duplicates(app);
}

// Ctrl, Shift, their keys and Ctrl+A over the forty rows of "many", then the copies of a duplicate set:
// each step's selected rows and the focused one. Plain clicks and arrows go back to one.
TEST(ActionsSelection, ManyRowsPickedAndDropped) {
    Fixture f;
    App& app = f.app;
    app.current_folder = f.many;
    refresh_view(app);
    const Modifiers CONTROL{true, false, false};
    const Modifiers SHIFT{false, true, false};
    const auto click_row = [&](std::size_t row, Modifiers with) {
        click(app, SURFACE, f.row(row), 0, 0, with);
    };
    const auto key = [&](Key k, Modifiers with) { key_down(app, SURFACE, k, with); };
    const auto rows = [](std::size_t first, std::size_t last) {
        std::vector<std::size_t> out;
        for (std::size_t r = first; r <= last; ++r)
            out.push_back(r);
        return out;
    };
    constexpr std::size_t NONE = ~std::size_t{0};
    struct Step {
        const char* what;
        std::function<void()> act;
        std::vector<std::size_t> rows;  // selected
        std::size_t focus;              // the focused row, NONE for no selection
    };
    const Step steps[] = {
        {"click", [&] { click_row(2, {}); }, {2}, 2},
        {"shift+click down", [&] { click_row(5, SHIFT); }, {2, 3, 4, 5}, 5},
        {"shift+click above the anchor", [&] { click_row(0, SHIFT); }, {0, 1, 2}, 0},
        {"ctrl+click adds", [&] { click_row(4, CONTROL); }, {0, 1, 2, 4}, 4},
        {"ctrl+click takes away; the focus stays on a picked row",
         [&] { click_row(4, CONTROL); },
         {0, 1, 2},
         0},
        {"shift+down ranges from the ctrl-clicked anchor", [&] { key(Key::Down, SHIFT); }, {1, 2, 3, 4}, 1},
        {"down alone goes back to one", [&] { key(Key::Down, {}); }, {2}, 2},
        {"shift+end", [&] { key(Key::End, SHIFT); }, rows(2, 39), 39},
        {"shift+page up (18 rows a page)", [&] { key(Key::PageUp, SHIFT); }, rows(2, 21), 21},
        {"ctrl+a", [&] { key(Key::A, CONTROL); }, rows(0, 39), 21},
        {"a right click inside keeps the set", [&] { right_click(app, f.row(7), 0, 0); }, rows(0, 39), 7},
        {"a removed item leaves the set", [&] { remove_from_view(app, app.node_rows[30]); }, rows(0, 38), 7},
        {"a right click outside picks one",
         [&] {
             click_row(3, CONTROL);
             right_click(app, f.row(3), 0, 0);
         },
         {3},
         3},
        {"ctrl+click the only one picked", [&] { click_row(3, CONTROL); }, {}, NONE},
        {"shift+click without a selection", [&] { click_row(6, SHIFT); }, {6}, 6},
        {"escape", [&] { key(Key::Escape, {}); }, {}, NONE},
    };
    for (const Step& step : steps) {
        step.act();
        std::vector<NodeIndex> expected;
        for (const std::size_t r : step.rows)
            expected.push_back(app.node_rows[r]);
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(selected_nodes(app), expected) << step.what;
        EXPECT_EQ(app.selection, step.focus == NONE ? NO_NODE : app.node_rows[step.focus]) << step.what;
        for (std::size_t r = 0; r < app.node_rows.size(); ++r) {
            EXPECT_EQ(row_selected(app, r),
                      std::binary_search(expected.begin(), expected.end(), app.node_rows[r]))
                << step.what << ", row " << r;
        }
    }

    // Another tab or folder starts afresh.
    key(Key::A, CONTROL);
    click(app, SURFACE, HitTarget{HitKind::Tab, 1}, 0, 0);
    EXPECT_EQ(selected_nodes(app).size(), 1u);
    key(Key::A, CONTROL);
    navigate(app, 0, NO_NODE, list_geometry(app, SURFACE));
    EXPECT_TRUE(selected_nodes(app).empty());

    // The copies of a set: Ctrl+A takes the members and no set row; "all but the newest or oldest" wants
    // every copy's time, keeps the first listed of equal times.
    Fixture g;  // every copy still there
    g.duplicates();
    key_down(g.app, SURFACE, Key::A, CONTROL);
    const std::vector<NodeIndex> copies = g.copies;
    EXPECT_EQ(selected_nodes(g.app), copies);
    EXPECT_FALSE(select_all_but(g.app, copies[0], Keep::Newest)) << "unknown times";
    for (std::size_t i = 0; i < copies.size(); ++i)
        g.app.tree->nodes[copies[i]].mtime = i == 5 || i == 9 ? 900 : i == 7 || i == 8 ? 10 : 100;
    for (const auto& [keep, kept] : {std::pair{Keep::Newest, 5}, std::pair{Keep::Oldest, 7}}) {
        ASSERT_TRUE(select_all_but(g.app, copies[1], keep));
        std::vector<NodeIndex> others = copies;
        others.erase(others.begin() + kept);
        EXPECT_EQ(selected_nodes(g.app), others);
        EXPECT_NE(g.app.selection, copies[kept]);
    }

    // What moves: nothing inside a folder that moves too, each once.
    EXPECT_EQ(
        outermost(*app.tree, std::vector<NodeIndex>{f.copies[3], f.many, f.deeper, f.a_txt, f.deep, f.many}),
        (std::vector<NodeIndex>{f.many, f.a_txt, f.deep}));
}

TEST(Timers, StartWhenWorkStartsNotOnEveryMessage) {
    App app;
    RunningTimers running;
    EXPECT_EQ(follow_work(app, running).scan, TimerChange::None);
    app.scan_job = ScanJob{};
    EXPECT_EQ(follow_work(app, running).scan, TimerChange::Start);
    for (int message = 0; message < 100; ++message) {  // pointer moves while the scan runs
        const TimerChanges changes = follow_work(app, running);
        EXPECT_EQ(changes.scan, TimerChange::None);
        EXPECT_FALSE(changes.start_notice);
    }
    app.scan_job.reset();
    EXPECT_EQ(follow_work(app, running).scan, TimerChange::Stop);
    EXPECT_EQ(follow_work(app, running).scan, TimerChange::None);

    app.duplicate_job = DuplicateJob{};
    EXPECT_EQ(follow_work(app, running).compare, TimerChange::Start);
    app.duplicate_job.reset();
    EXPECT_EQ(follow_work(app, running).compare, TimerChange::Stop);

    show_notice(app, "Path copied");
    EXPECT_TRUE(follow_work(app, running).start_notice);
    EXPECT_FALSE(follow_work(app, running).start_notice);
    show_notice(app, "Path copied");  // the same text again lives its full time again
    EXPECT_TRUE(follow_work(app, running).start_notice);
}

}  // namespace
}  // namespace spadrim
