// The Changes tab on an App: an earlier scan read from its file and compared, the rows in each order and
// what a reader hears of them, the header, the tabs by their place in the strip, a baseline that cannot
// be read, and an item moved to the Recycle Bin afterwards.
#include <gtest/gtest.h>

#include <condition_variable>
#include <fstream>

#include "app/access/access.h"
#include "app/app.h"
#include "app/export.h"
#include "app/input/actions.h"
#include "app/texts.h"
#include "ncdu/ncdu.h"
#include "support/temp_tree.h"
#include "treemap/treemap.h"

namespace spadrim {
namespace {

float measure(std::string_view text, TextStyle) {
    return static_cast<float>(text.size()) * 7.0f;
}

const Surface SURFACE{1000, 700, 1, nullptr, measure};

struct Wakes {
    std::mutex lock;
    std::condition_variable changed;
    int count = 0;
    void wait_for(int n) {
        std::unique_lock hold(lock);
        changed.wait(hold, [&] { return count >= n; });
    }
};

// Reads a baseline as the window does: the worker, its wake-up, then the UI thread's turn.
void read_baseline(App& app, Wakes& wakes, const std::string& file) {
    const int before = wakes.count;
    start_baseline(app, file);
    wakes.wait_for(before + 1);
    finish_baseline(app);
}

FileTree built(std::vector<std::pair<std::string, std::uint64_t>> files, std::int64_t when) {
    FileTree tree = make_tree("/r");
    tree.when = when;
    std::vector<ListedEntry> top;
    std::vector<ListedEntry> inside;
    for (auto& [name, size] : files) {
        if (name.starts_with("dir/")) {
            inside.push_back(ListedEntry{name.substr(4), size, 0, 0});
        } else {
            top.push_back(ListedEntry{name, size, 0, 0});
        }
    }
    top.push_back(ListedEntry{"dir", 0, FLAG_DIR, 0});
    append_listing(tree, 0, top);
    append_listing(tree, static_cast<NodeIndex>(top.size()), inside);
    roll_up(tree);
    return tree;
}

std::vector<std::string> rows(const App& app) {
    std::vector<std::string> out;
    for (std::size_t row = 0; row < row_count(app); ++row) {
        const std::optional<RowText> text = row_text(app, row);
        out.push_back(text ? text->label + " " + signed_size(text->change->delta()) + " " + *text->location
                           : "?");
    }
    return out;
}

using Texts = std::vector<std::string>;

TEST(Changes, AnEarlierScanIsReadComparedListedAndKeptWhenAnotherCannotBeRead) {
    constexpr std::int64_t EARLIER = 1'796'299'200;  // 3 Dec 2026, 12:00 UTC: the same day in any zone
    const test::TempTree disk;
    const std::string earlier_file = (disk.root() / "earlier.json").string();
    {
        // Written with the time it was made, which the header takes from the file.
        std::string document;
        ASSERT_TRUE(write_ncdu(
            built(
                {{"grow.bin", 100}, {"shrink.bin", 500}, {"gone.txt", 50}, {"same.txt", 10}, {"dir/a", 100}},
                EARLIER),
            "test", EARLIER, document, [](std::string&) { return true; }));
        std::ofstream(earlier_file, std::ios::binary) << document;
    }
    App app;
    Wakes wakes;
    app.wake_baseline_owner = [&] {
        std::lock_guard hold(wakes.lock);
        ++wakes.count;
        wakes.changed.notify_all();
    };
    app.tree = built({{"grow.bin", 300},
                      {"shrink.bin", 200},
                      {"same.txt", 10},
                      {"new.iso", 1000},
                      {"dir/a", 100},
                      {"dir/b", 400}},
                     EARLIER + 7 * 86'400 + 3600);
    app.screen = Screen::Results;
    refresh_view(app);
    EXPECT_EQ(shown_tabs(app), (std::vector{Tab::Folders, Tab::LargestFiles, Tab::ByType, Tab::Duplicates}));

    read_baseline(app, wakes, earlier_file);
    ASSERT_TRUE(changes_shown(app));  // a small pair is compared on arrival
    EXPECT_EQ(app.baseline_when, EARLIER);
    EXPECT_EQ(changes_header(app), "+1.22 KB since 3 Dec 2026 (7 days) · 2 new files · 1 removed");

    // The tabs by their place: Changes after the four, Found after it while a query is active.
    click(app, SURFACE, HitTarget{HitKind::Tab, 4}, 0, 0);
    ASSERT_EQ(app.tab, Tab::Changes);
    EXPECT_EQ(rows(app),
              (Texts{"new.iso +1000 B 0 B → 1000 B · new", "dir +400 B 100 B → 500 B · grown",
                     "grow.bin +200 B 100 B → 300 B · grown", "same.txt 0 B 10 B → 10 B · unchanged",
                     "gone.txt −50 B 50 B → 0 B · removed", "shrink.bin −300 B 500 B → 200 B · shrunk"}));
    EXPECT_EQ(row_node(app, 4), NO_NODE);  // gone: nothing to open or act on
    const std::string csv = export_csv(app);
    EXPECT_NE(csv.find("path,before,after,delta,status\r\n"), std::string::npos) << csv;
    EXPECT_NE(csv.find("/gone.txt,50,0,-50,removed\r\n"), std::string::npos) << csv;
    EXPECT_EQ(status_line(app), changes_header(app));
    set_query(app, "*.bin");
    EXPECT_EQ(shown_tabs(app).back(), Tab::Found);
    click(app, SURFACE, HitTarget{HitKind::Tab, 5}, 0, 0);
    EXPECT_EQ(app.tab, Tab::Found);
    key_down(app, SURFACE, Key::Tab, Modifiers{true, false, false});  // Ctrl+Tab: round to the start
    EXPECT_EQ(app.tab, Tab::Folders);
    key_down(app, SURFACE, Key::Tab, Modifiers{true, true, false});
    EXPECT_EQ(app.tab, Tab::Found);
    key_down(app, SURFACE, Key::Tab, Modifiers{true, true, false});
    EXPECT_EQ(app.tab, Tab::Changes);
    set_query(app, "");

    // The other orders, through the sort control under the list.
    const ViewInput in = view_input(app, SURFACE);
    EXPECT_EQ(in.tabs.size(), 5u);
    const Box sort = changes_sort_box(in);
    ASSERT_EQ(hit_test(in, sort.x + 1, sort.y + 1), (HitTarget{HitKind::ChangesSort, 0}));
    const Box tab = tab_box(in, 4);
    EXPECT_EQ(hit_test(in, tab.x + 1, tab.y + 1), (HitTarget{HitKind::Tab, 4}));
    EXPECT_EQ(focus_ring(in, Focus{FocusArea::Tabs}, NO_NODE), tab);
    click(app, SURFACE, HitTarget{HitKind::ChangesSort, 0}, 0, 0);
    EXPECT_EQ(rows(app).front(), "shrink.bin −300 B 500 B → 200 B · shrunk");
    click(app, SURFACE, HitTarget{HitKind::ChangesSort, 0}, 0, 0);
    EXPECT_EQ(rows(app)[2], "shrink.bin −300 B 500 B → 200 B · shrunk");  // by size of change: third
    click(app, SURFACE, HitTarget{HitKind::ChangesSort, 0}, 0, 0);
    EXPECT_EQ(app.change_order, ChangeOrder::Increase);

    // Readers hear the change and what it came to; new and removed rows tell how a move shows.
    const ScreenDescription screen = describe(app, view_input(app, SURFACE));
    const auto row_named = [&](std::string_view start) -> const Element* {
        for (const Element& element : screen.elements) {
            if (element.key.piece == Piece::Row && element.name.starts_with(start)) return &element;
        }
        return nullptr;
    };
    const Element* added = row_named("new.iso");
    const Element* gone = row_named("gone.txt");
    ASSERT_TRUE(added && gone && row_named("dir"));
    EXPECT_EQ(added->name, "new.iso, plus 1000 B, now 1000 B, new");
    EXPECT_EQ(gone->name, "gone.txt, minus 50 B, removed");
    EXPECT_EQ(row_named("dir")->name, "dir, plus 400 B, now 500 B, grown");
    EXPECT_EQ(gone->help, "A renamed or moved item shows as removed plus new");
    EXPECT_NE(added->key, gone->key);
    // And its tiles as its rows: the removed one has none.
    std::vector<TreemapRect> tiles;
    layout_treemap(*app.tree, 0, RectD{440, 60, 540, 560}, 0, 18, 2, tiles);
    const ScreenDescription mapped = describe(app, view_input(app, Surface{1000, 700, 1, &tiles, measure}));
    Texts tiled;
    for (const Element& element : mapped.elements) {
        if (element.key.piece == Piece::Tile) tiled.push_back(element.name);
    }
    EXPECT_NE(std::find(tiled.begin(), tiled.end(), "grow.bin, plus 200 B, now 300 B, grown"), tiled.end());
    EXPECT_TRUE(std::none_of(tiled.begin(), tiled.end(),
                             [](const std::string& name) { return name.starts_with("gone.txt"); }));

    // Drilling down lists the folder's own changes.
    double_click(app, SURFACE, HitTarget{HitKind::Row, 1}, 0, 0);
    EXPECT_EQ(rows(app), (Texts{"b +400 B 0 B → 400 B · new", "a 0 B 100 B → 100 B · unchanged"}));
    key_down(app, SURFACE, Key::Backspace, Modifiers{});
    ASSERT_EQ(app.current_folder, 0u);

    // A file that is no scan is refused with the reader's reason; the comparison stays.
    const std::string damaged = (disk.root() / "damaged.json").string();
    std::ofstream(damaged) << "[1,2,{\"progname\":";
    const std::vector<ChangeRow> before = app.change_rows;
    read_baseline(app, wakes, damaged);
    EXPECT_TRUE(app.notice.starts_with(damaged + ": ")) << app.notice;
    EXPECT_GT(app.notice.size(), damaged.size() + 2);
    ASSERT_TRUE(changes_shown(app));
    EXPECT_EQ(app.tab, Tab::Changes);
    EXPECT_EQ(app.change_rows.size(), before.size());
    EXPECT_EQ(app.baseline_file, earlier_file);

    // Moved to the Recycle Bin from the results: removed, with nothing left to act on, and the header's
    // size follows.
    const NodeIndex grow = app.change_rows[2].after;
    remove_from_view(app, grow);
    ASSERT_TRUE(changes_shown(app));
    const auto recycled = std::find_if(app.change_rows.begin(), app.change_rows.end(),
                                       [&](const ChangeRow& row) { return row.after == grow; });
    ASSERT_NE(recycled, app.change_rows.end());
    EXPECT_EQ(recycled->change, Change::Removed);
    EXPECT_EQ(row_node(app, static_cast<std::size_t>(recycled - app.change_rows.begin())), NO_NODE);
    EXPECT_TRUE(changes_header(app).starts_with("+950 B since")) << changes_header(app);

    // Another tree drops the comparison until one is made for it: here with the newest remembered scan of
    // its root made before it, not the one made after.
    app.scans_folder = (disk.root() / "scans").string();
    const std::atomic<bool> go_on{false};
    const FileTree remembered = built({{"x", 5}}, 0);
    ASSERT_TRUE(save_scan(remembered, app.scans_folder, EARLIER + 8 * 86'400, go_on).saved);
    ASSERT_TRUE(save_scan(built({{"x", 9}}, 0), app.scans_folder, EARLIER + 10 * 86'400, go_on).saved);
    app.tree = built({{"x", 1}}, EARLIER + 9 * 86'400);
    ++app.tree_generation;
    const int before_find = wakes.count;
    find_baseline(app);
    refresh_view(app);
    EXPECT_FALSE(changes_shown(app));
    EXPECT_EQ(app.tab, Tab::Folders);
    EXPECT_EQ(shown_tabs(app).size(), 4u);
    EXPECT_TRUE(changes_header(app).empty());
    wakes.wait_for(before_find + 1);
    finish_baseline(app);
    ASSERT_TRUE(changes_shown(app));
    EXPECT_EQ(app.baseline_when, EARLIER + 8 * 86'400);
    EXPECT_TRUE(changes_header(app).starts_with("\u22124 B since")) << changes_header(app);
    // Without one, nothing is compared.
    app.scans_folder.clear();
    find_baseline(app);
    EXPECT_FALSE(changes_shown(app));
    EXPECT_FALSE(app.baseline_reading);
}

}  // namespace
}  // namespace spadrim
