// The results view on the App: rows per tab, the selection check, the status line, and duplicate
// comparisons started, cancelled and collected as the window does.
#include <gtest/gtest.h>

#include <algorithm>

#include <condition_variable>
#include <fstream>

#include "app/app.h"
#include "app/input/actions.h"
#include "app/texts.h"
#include "kinds/kinds.h"
#include "scan/folder.h"
#include "support/temp_tree.h"
#include "treemap/treemap.h"

namespace spadrim {
namespace {

constexpr std::uint64_t MiB = 1 << 20;

// Counts wake-ups of the App's owner, as the window's message queue would.
struct Wakes {
    std::mutex lock;
    std::condition_variable changed;
    int count = 0;
    std::function<void()> wake() {
        return [this] {
            std::lock_guard hold(lock);
            ++count;
            changed.notify_all();
        };
    }
    void wait_for(int n) {
        std::unique_lock hold(lock);
        changed.wait(hold, [&] { return count >= n; });
    }
};

void scan(App& app, Wakes& wakes, const std::string& root) {
    app.wake_scan_owner = wakes.wake();
    app.wake_duplicates_owner = wakes.wake();
    const int before = wakes.count;
    ASSERT_TRUE(start_scan(app, root, std::nullopt));
    wakes.wait_for(before + 1);
    finish_scan(app);
    ASSERT_EQ(app.screen, Screen::Results);
}

void write(const test::TempTree& disk, const std::string& name, std::uint64_t size, char fill) {
    std::filesystem::create_directories((disk.root() / test::fs_path(name)).parent_path());
    std::ofstream(disk.root() / test::fs_path(name), std::ios::binary) << std::string(size, fill);
}

TEST(View, EachTabGetsItsRowsAndTheKindTotals) {
    test::TempTree disk;
    disk.file("photos/a.jpg", 300);
    disk.file("notes.txt", 100);
    disk.file("b.JPG", 50);
    App app;
    Wakes wakes;
    scan(app, wakes, disk.root_text());
    EXPECT_EQ(app.node_rows.size(), 3u);  // refreshed on arrival: the Folders tab
    EXPECT_EQ(app.kind_totals[static_cast<int>(FileKind::Pictures)], 350u);

    app.tab = Tab::LargestFiles;
    refresh_view(app);
    ASSERT_EQ(app.node_rows.size(), 3u);
    EXPECT_EQ(name_of(*app.tree, app.node_rows[0]), "a.jpg");

    app.selected_extension = "txt";
    app.tab = Tab::ByType;
    const std::uint64_t generation = app.view_generation;
    refresh_view(app);
    EXPECT_GT(app.view_generation, generation);
    ASSERT_EQ(app.extension_rows.size(), 2u);
    EXPECT_EQ(app.selected_extension, "txt");

    app.current_folder = find_path(*app.tree, path_of(*app.tree, 0) + PATH_SEPARATOR + "photos");
    app.tab = Tab::Folders;
    refresh_view(app);
    EXPECT_EQ(app.selected_extension, "txt");  // other tabs keep a pick the folder lacks
    app.tab = Tab::ByType;
    refresh_view(app);
    EXPECT_FALSE(app.selected_extension);  // By type drops it
}

TEST(View, StatusLineOnTheRootAndTheDuplicatesTab) {
    App app;
    app.tree = make_tree("/r");
    app.screen = Screen::Results;
    EXPECT_FALSE(status_line(app));
    app.tree->unreadable_folders = 3;
    EXPECT_EQ(status_line(app), "3 folders could not be read");
    app.current_folder = 1;  // any folder below the root hides it
    EXPECT_FALSE(status_line(app));

    app.tab = Tab::Duplicates;
    EXPECT_FALSE(status_line(app));  // no result for this folder yet
    app.duplicates[1] = DuplicatesFound{
        {{{1, 2, 3}, 10 * MiB, {}, 20 * MiB}, {{4, 5}, MiB, {}, MiB}, {{6, 7}, MiB, {}, MiB}}, 0};
    EXPECT_EQ(status_line(app), "3 duplicate sets · 22.0 MB can be freed");
    app.duplicates[1].failed = 2;
    EXPECT_EQ(status_line(app), "3 duplicate sets · 22.0 MB can be freed · 2 files could not be opened");
    // Counts of one, in English, with singular nouns.
    app.duplicates[1] = DuplicatesFound{{{{4, 5}, MiB, {}, MiB}}, 1};
    EXPECT_EQ(status_line(app), "1 duplicate set · 1.00 MB can be freed · 1 file could not be opened");
    app.tab = Tab::Folders;
    app.current_folder = 0;
    app.tree->unreadable_folders = 1;
    EXPECT_EQ(status_line(app), "1 folder could not be read");
    app.tree->left_out = 5;  // a walk that filled the tree says its figures are short
    EXPECT_EQ(status_line(app), "1 folder could not be read · Too many entries: some were left out");
}

// A query filters the Folders view and the treemap down to the matching content and lists the matches
// below the current folder on the Found tab, with their totals; it follows the tree and goes with Esc.
TEST(View, AQueryFiltersTheFoldersAndListsItsMatchesBelowTheCurrentFolder) {
    App app;
    app.tree = make_tree("/r");
    FileTree& tree = *app.tree;
    const auto entry = [](std::string name, std::uint64_t size, bool folder = false) {
        const auto kind = static_cast<std::uint8_t>(classify_extension(file_extension(name)));
        return ListedEntry{std::move(name), size, folder ? FLAG_DIR : std::uint8_t{0},
                           folder ? std::uint8_t{0} : kind};
    };
    // /r: videos/ {a.mp4 500, b.mp4 300, notes.txt 50}, docs/ {c.txt 100, sub/ {d.mp4 70}},
    // other/ {e.txt 900}, aa.mp4 40.
    append_listing(tree, 0,
                   std::vector{entry("videos", 0, true), entry("docs", 0, true), entry("other", 0, true),
                               entry("aa.mp4", 40)});
    append_listing(tree, 1, std::vector{entry("a.mp4", 500), entry("b.mp4", 300), entry("notes.txt", 50)});
    append_listing(tree, 2, std::vector{entry("c.txt", 100), entry("sub", 0, true)});
    append_listing(tree, 3, std::vector{entry("e.txt", 900)});
    append_listing(tree, 9, std::vector{entry("d.mp4", 70)});
    roll_up(tree);
    app.screen = Screen::Results;
    refresh_view(app);
    const auto names = [&] {
        std::vector<std::string> out;
        for (std::size_t row = 0; row < app.node_rows.size(); ++row) {
            const std::optional<RowText> text = row_text(app, row);
            out.push_back(std::string(name_of(tree, app.node_rows[row])) + " " +
                          std::to_string(text ? text->size : 0));
        }
        return out;
    };
    using Rows = std::vector<std::string>;
    ASSERT_EQ(names(), (Rows{"other 900", "videos 850", "docs 170", "aa.mp4 40"}));
    EXPECT_EQ(tab_count(app), 4);

    // A small tree is searched within the keystroke: no timer tick needed.
    set_query(app, "*.mp4");
    EXPECT_FALSE(app.searching);
    ASSERT_NE(shown_search(app), nullptr);
    EXPECT_EQ(tab_count(app), 5);
    EXPECT_EQ(names(), (Rows{"videos 800", "docs 70", "aa.mp4 40"}));  // other/ has no match: hidden
    EXPECT_EQ(shown_totals(app, 0), (MatchTotals{910, 4}));
    EXPECT_EQ(app.kind_totals[static_cast<int>(FileKind::Videos)], 910u);  // the legend follows
    EXPECT_EQ(app.kind_totals[static_cast<int>(FileKind::Documents)], 0u);
    EXPECT_EQ(status_line(app), std::nullopt);  // the footer is the Found tab's
    // The treemap is laid out over the matches alone.
    std::vector<TreemapRect> tiles;
    layout_treemap(tree, 0, RectD{0, 0, 400, 300}, 0, 18, 2, tiles,
                   [&](NodeIndex node) { return shown_totals(app, node).size; });
    std::vector<std::string> tiled;
    for (const TreemapRect& tile : tiles)
        tiled.emplace_back(name_of(tree, tile.node));
    std::sort(tiled.begin(), tiled.end());
    EXPECT_EQ(tiled, (Rows{"a.mp4", "aa.mp4", "b.mp4", "d.mp4", "docs", "sub", "videos"}));

    app.tab = Tab::Found;
    refresh_view(app);
    EXPECT_EQ(names(), (Rows{"a.mp4 500", "b.mp4 300", "d.mp4 70", "aa.mp4 40"}));
    EXPECT_EQ(status_line(app), "4 files · 910 B");
    const std::optional<RowText> first = row_text(app, 0);
    ASSERT_TRUE(first && first->location);
    EXPECT_TRUE(first->location->starts_with(path_of(tree, 1))) << *first->location;  // its folder
    app.found_order = FoundOrder::Name;
    refresh_view(app);
    EXPECT_EQ(names(), (Rows{"a.mp4 500", "aa.mp4 40", "b.mp4 300", "d.mp4 70"}));
    app.found_order = FoundOrder::Size;

    // Below docs/: only what lies there, in both views.
    app.current_folder = 2;
    refresh_view(app);
    EXPECT_EQ(names(), (Rows{"d.mp4 70"}));
    EXPECT_EQ(status_line(app), "1 file · 70 B");
    app.tab = Tab::Folders;
    refresh_view(app);
    EXPECT_EQ(names(), (Rows{"sub 70"}));
    // A folder that matched is listed whole; opened, it lists what matches inside it.
    set_query(app, "o");
    app.tab = Tab::Found;
    app.current_folder = 1;  // videos/
    refresh_view(app);
    EXPECT_EQ(names(), (Rows{"notes.txt 50"}));
    EXPECT_EQ(status_line(app), "1 file · 50 B");
    app.tab = Tab::Folders;
    set_query(app, "*.mp4");
    app.current_folder = 0;

    // A text that cannot be read says why and leaves the last results on screen.
    set_query(app, "size:lots");
    EXPECT_FALSE(app.query_error.empty());
    ASSERT_NE(shown_search(app), nullptr);
    EXPECT_EQ(shown_search(app)->query.text, "*.mp4");

    // A tree changed in place is searched again: the results, which still name the same nodes, stay
    // shown meanwhile (the filter does not flicker) without the item gone, and the new ones replace them.
    set_query(app, "*.mp4");
    remove_from_view(app, 5);  // a.mp4
    ASSERT_NE(shown_search(app), nullptr);
    ASSERT_EQ(std::ranges::count(shown_search(app)->found.items, NodeIndex{5}), 1);
    EXPECT_EQ(std::ranges::count(found_rows(app), NodeIndex{5}), 0);
    ASSERT_TRUE(app.searching);
    EXPECT_FALSE(advance_query(app, std::chrono::seconds(5)));
    EXPECT_EQ(shown_totals(app, 0), (MatchTotals{410, 3}));

    // Picking an extension on By type is the query ext:; a second pick, or Esc, ends it.
    app.tab = Tab::ByType;
    refresh_view(app);
    const auto txt = std::find_if(app.extension_rows.begin(), app.extension_rows.end(),
                                  [](const ExtensionRow& row) { return row.extension == "txt"; });
    ASSERT_NE(txt, app.extension_rows.end());
    const HitTarget txt_row{HitKind::Row, static_cast<std::uint64_t>(txt - app.extension_rows.begin())};
    click(app, Surface{}, txt_row, 0, 0);
    EXPECT_EQ(app.query_text, "ext:txt");
    EXPECT_TRUE(row_selected(app, txt_row.payload));
    EXPECT_EQ(shown_totals(app, 0), (MatchTotals{1050, 3}));
    click(app, Surface{}, txt_row, 0, 0);
    EXPECT_EQ(app.query_text, "");
    click(app, Surface{}, txt_row, 0, 0);
    app.tab = Tab::Found;
    key_down(app, Surface{}, Key::Escape, {});
    EXPECT_EQ(app.query_text, "");
    EXPECT_EQ(app.tab, Tab::Folders);  // the Found tab went with the query
    EXPECT_EQ(names(), (Rows{"other 900", "videos 350", "docs 170", "aa.mp4 40"}));
}

TEST(View, UnaccountedSpaceAboveOnePercentOfTheUsedSpace) {
    constexpr std::uint64_t GB = 1000ull * 1000 * 1000;
    const VolumeSpace drive{500 * GB, 400 * GB};  // 100 GB used
    EXPECT_FALSE(unaccounted_bytes(drive, 99 * GB + GB / 2));
    EXPECT_EQ(unaccounted_bytes(drive, 97 * GB), 3 * GB);
    EXPECT_FALSE(unaccounted_bytes(drive, 99 * GB));  // exactly 1%
    EXPECT_FALSE(unaccounted_bytes(drive, 120 * GB));
    EXPECT_FALSE(unaccounted_bytes(std::nullopt, 0));
    EXPECT_FALSE(unaccounted_bytes(VolumeSpace{SIZE_NOT_REPORTED, 0}, 0));

    // The status line uses the figures asked when the scan ended; drawing it asks the volume nothing.
    App app;
    app.tree = make_tree("D:\\");
    app.screen = Screen::Results;
    EXPECT_FALSE(status_line(app));
    app.volume = drive;  // 100 GB used, nothing found
    EXPECT_EQ(status_line(app), "About 93.1 GB not accounted for (system files etc.)");
}

TEST(View, DuplicatesAreComparedPerFolderAndPrunedAfterRemoval) {
    test::TempTree disk;
    for (const char* name : {"one/a.bin", "one/b.bin", "one/c.bin", "two/d.bin"})
        write(disk, name, 2 * MiB, 'x');
    write(disk, "two/e.bin", 2 * MiB - 1, 'x');
    App app;
    Wakes wakes;
    app.duplicate_workers = 2;
    scan(app, wakes, disk.root_text());
    const NodeIndex one = find_path(*app.tree, disk.root_text() + PATH_SEPARATOR + "one");
    const NodeIndex two = find_path(*app.tree, disk.root_text() + PATH_SEPARATOR + "two");

    app.tab = Tab::Duplicates;
    refresh_view(app);  // starts a job for the root
    ASSERT_TRUE(app.duplicate_job);
    const std::uint64_t first = app.duplicate_job->generation;
    app.current_folder = two;
    refresh_view(app);  // another folder: the first job is cancelled, a new one starts
    ASSERT_TRUE(app.duplicate_job);
    EXPECT_NE(app.duplicate_job->generation, first);
    wakes.wait_for(3);  // both jobs posted (scan + 2)
    finish_duplicates(app);
    EXPECT_FALSE(app.duplicate_job);
    ASSERT_TRUE(app.duplicates.contains(two));
    EXPECT_FALSE(app.duplicates.contains(0));  // the cancelled job's outcome was dropped
    EXPECT_TRUE(app.duplicates[two].sets.empty());

    app.current_folder = 0;
    refresh_view(app);
    wakes.wait_for(4);
    finish_duplicates(app);
    ASSERT_EQ(app.duplicates[0].sets.size(), 1u);
    EXPECT_EQ(app.duplicates[0].sets[0].members.size(), 4u);
    EXPECT_EQ(app.duplicate_rows.size(), 1u);
    app.expanded_sets.insert(app.duplicates[0].sets[0].digest);
    refresh_view(app);
    EXPECT_EQ(app.duplicate_rows.size(), 5u);  // the set and its four members

    // Coming back shows the cached result without a new job.
    refresh_view(app);
    EXPECT_FALSE(app.duplicate_job);

    remove_node(*app.tree, one);  // three of the four copies go to the Recycle Bin
    prune_duplicates(app);
    EXPECT_TRUE(app.duplicates[0].sets.empty());
}

}  // namespace
}  // namespace spadrim
