// Window geometry and hit-testing as pure functions, with the figures the window is drawn to.
#include <gtest/gtest.h>

#include "app/input/scrolling.h"
#include "app/paint/layout.h"
#include "app/texts.h"

namespace spadrim {
namespace {

// A stand-in for DirectWrite: 7 px per character in body text, 8 in bold.
float fake_measure(std::string_view text, TextStyle style) {
    std::size_t points = 0;
    for (const char c : text)
        points += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return static_cast<float>(points) * (style == TextStyle::BodyBold ? 8.0f : 7.0f);
}

ViewInput results(float width, float height, float scale = 1) {
    ViewInput in;
    in.width = width;
    in.height = height;
    in.scale = scale;
    in.screen = Screen::Results;
    in.measure = fake_measure;
    return in;
}

TEST(Layout, ResultsColumnsAt96Dpi) {
    ViewInput in = results(1000, 700);
    EXPECT_EQ(list_width(in), 420);  // 0.42 × 1000
    EXPECT_EQ(tab_strip(in), (Box{0, 48, 420, 40}));
    EXPECT_EQ(hit_test(in, 104, 60), (HitTarget{HitKind::Tab, 0}));
    EXPECT_EQ(hit_test(in, 105, 60), (HitTarget{HitKind::Tab, 1}));  // tabs of 105 px
    EXPECT_EQ(hit_test(in, 419, 60), (HitTarget{HitKind::Tab, 3}));
    EXPECT_EQ(list_viewport(in), (Box{0, 88, 420, 700 - 30 - 88}));
    in.warning = true;
    EXPECT_EQ(list_viewport(in).height, 700 - 30 - 88 - 40);
    EXPECT_EQ(treemap_box(in), (Box{429, 56, 1000 - 421 - 16, 700 - 48 - 30 - 46 - 8}));
    EXPECT_EQ(list_width(results(3000, 700)), 560);  // capped
    EXPECT_EQ(list_width(results(400, 700)), 240);   // 0.6 W when that is below 300
    EXPECT_EQ(list_width(results(3000, 700, 1.5)), 840);
    EXPECT_EQ(list_viewport(results(0, -5)).height, 1);  // degenerate sizes stay at least 1
}

TEST(Layout, RowsScrollAndTheirHits) {
    ViewInput in = results(1000, 700);
    in.row_count = 10;
    EXPECT_EQ(row_height(in), 32);
    EXPECT_EQ(max_scroll(in), 0);
    EXPECT_FALSE(scroll_bar_strip(in));
    EXPECT_EQ(hit_test(in, 10, 88 + 32 * 9 + 5), (HitTarget{HitKind::Row, 9}));
    EXPECT_EQ(hit_test(in, 10, 88 + 32 * 10 + 5), HitTarget{});  // below the last row
    EXPECT_EQ(hit_test(in, 420, 100), HitTarget{});              // right of the list, left of the treemap

    in.tab = Tab::LargestFiles;
    in.row_count = 100;
    EXPECT_EQ(row_height(in), 46);
    EXPECT_EQ(max_scroll(in), 46.0 * 100 - 582);
    in.scroll = 100;
    EXPECT_EQ(hit_test(in, 10, 88), (HitTarget{HitKind::Row, 2}));  // 100 px scrolled: row 2 at the top
    EXPECT_EQ(hit_test(in, 410, 300), (HitTarget{HitKind::ScrollBar, 0}));
    EXPECT_EQ(wheel_scroll(in, -120), 100 + 3 * 46);
    EXPECT_EQ(wheel_scroll(in, 240), 0);  // clamped at the top
}

TEST(Layout, ScrollThumbLengthAndDrag) {
    ViewInput in = results(1000, 88 + 200 + 30);  // a viewport 200 px high
    in.row_count = 10;
    // 10 rows of 32 px: a thumb 200 × 196 / 320 long.
    const std::optional<ScrollThumb> thumb = scroll_thumb(in);
    ASSERT_TRUE(thumb);
    EXPECT_FLOAT_EQ(thumb->length, 122.5f);
    EXPECT_FLOAT_EQ(thumb->top, 90);
    EXPECT_FLOAT_EQ(thumb->travel, 196 - 122.5f);
    // Grabbed inside: the offset is kept; pressed below the thumb: it centres on the pointer.
    EXPECT_FLOAT_EQ(grab_offset(*thumb, thumb->bar_left + 1, 100, 1), 10);
    EXPECT_FLOAT_EQ(grab_offset(*thumb, thumb->bar_left + 1, 250, 1), 61.25f);
    EXPECT_DOUBLE_EQ(drag_scroll(in, *thumb, 90 + 10 + thumb->travel, 10), 120);  // to the end: 320 − 200
    EXPECT_DOUBLE_EQ(drag_scroll(in, *thumb, 0, 10), 0);
    in.row_count = 1000;  // a long list keeps a thumb of 28 px
    EXPECT_FLOAT_EQ(scroll_thumb(in)->length, 28);
}

TEST(Layout, HeaderButtonsAndTheirHits) {
    ViewInput in = results(1000, 700);
    const std::vector<HeaderButton> buttons = header_buttons(in);
    ASSERT_EQ(buttons.size(), 4u);
    EXPECT_EQ(buttons[0].box, (Box{8, 6, 36, 36}));
    EXPECT_EQ(buttons[1].box, (Box{46, 6, 36, 36}));
    EXPECT_EQ(buttons[2].box, (Box{1000 - 8 - 72 - 2, 6, 36, 36}));
    EXPECT_EQ(buttons[3].box, (Box{1000 - 8 - 36, 6, 36, 36}));
    // The search field: 28 % of the width, left of Analyze again.
    const std::optional<Box> field = search_box(in);
    ASSERT_TRUE(field);
    EXPECT_EQ(*field, (Box{1000 - 8 - 72 - 2 - 8 - 280, 8, 280, 32}));
    EXPECT_EQ(hit_test(in, field->x + 1, 20), (HitTarget{HitKind::SearchField, 0}));
    EXPECT_EQ(hit_test(in, field->x - 1, 20), HitTarget{});
    const Box room = search_text_box(*field, 1);
    EXPECT_EQ(search_text_shift(room.width - 1, room), 0);  // the caret still shows
    EXPECT_EQ(search_text_shift(room.width + 50, room), 51);
    // Up answers the hit test even at the root, where it is drawn disabled.
    EXPECT_EQ(hit_test(in, 50, 20), (HitTarget{HitKind::Up, 0}));
    EXPECT_EQ(hit_test(in, 500, 47), HitTarget{});
    in.screen = Screen::Home;
    EXPECT_EQ(header_buttons(in).size(), 1u);  // only the menu
    EXPECT_FALSE(search_box(in));
    in.screen = Screen::Scanning;
    EXPECT_EQ(header_buttons(in).size(), 2u);
    EXPECT_EQ(hit_test(in, cancel_button(in).x + 1, cancel_button(in).y + 1),
              (HitTarget{HitKind::CancelScan, 0}));
}

// With Found, five tabs share the smallest window's strip by the widths of their labels, and the Found
// list's band holds its totals beside the sort control.
TEST(Layout, FiveTabsShareTheStripByTheirLabels) {
    ViewInput in = results(704, 441);
    in.tabs.push_back(Tab::Found);
    const auto narrow = [](std::string_view text, TextStyle) { return fake_measure(text, TextStyle::Body); };
    in.measure = narrow;
    const std::vector<Box> tabs = tab_boxes(in);
    ASSERT_EQ(tabs.size(), 5u);
    float x = 0;
    for (int t = 0; t < 5; ++t) {
        const Box& tab = tabs[static_cast<std::size_t>(t)];
        EXPECT_EQ(tab.x, x);
        x += tab.width;
        // At 7 px a character "Largest files" needs 91 px, more than a fifth of the strip.
        EXPECT_GE(tab_label_box(in, t).width, narrow(tab_label(static_cast<Tab>(t)), TextStyle::BodyBold));
        EXPECT_EQ(hit_test(in, tab.x + tab.width - 1, tab.y + 1),
                  (HitTarget{HitKind::Tab, static_cast<std::uint64_t>(t)}));
    }
    EXPECT_EQ(x, 360);
    in.measure = [](std::string_view, TextStyle) { return 40.0f; };  // short labels: equal widths
    EXPECT_EQ(tab_box(in, 4), (Box{288, 48, 72, 40}));

    in.measure = fake_measure;
    in.tab = Tab::Found;
    in.warning = true;
    const Box band = warning_text_box(in);
    const Box sort = found_sort_box(in);
    const Box totals = found_footer_box(in);
    EXPECT_EQ(sort.x + sort.width, band.x + band.width);
    EXPECT_GE(sort.width, fake_measure("Sort: Date modified", TextStyle::Small));
    EXPECT_LE(totals.y + totals.height, sort.y);  // a line each
    EXPECT_LE(sort.y + sort.height, band.y + band.height);
    EXPECT_EQ(hit_test(in, sort.x + 1, sort.y + 1), (HitTarget{HitKind::FoundSort, 0}));
    in.tab = Tab::LargestFiles;  // elsewhere the band is only text
    EXPECT_NE(hit_test(in, sort.x + 1, sort.y + 1), (HitTarget{HitKind::FoundSort, 0}));
}

// The rooms of the texts in the smallest window (720 pixels wide less Windows' frame): what they are
// measured against in every language.
TEST(Layout, TextRoomsOfTheSmallestWindow) {
    ViewInput in = results(704, 441);
    EXPECT_EQ(list_width(in), 360);  // not 0.42 × 704: four tab labels need the room
    // The search field leaves the breadcrumb 300 pixels between Up and itself.
    const std::optional<Box> field = search_box(in);
    ASSERT_TRUE(field);
    EXPECT_EQ(field->width, 197);
    EXPECT_GE(field->x, 82 + 300);
    for (int t = 0; t < 4; ++t) {
        const Box tab = tab_box(in, t);
        const Box label = tab_label_box(in, t);
        EXPECT_EQ(tab.x, 90.0f * static_cast<float>(t));
        EXPECT_EQ(hit_test(in, tab.x + 1, tab.y + 1),
                  (HitTarget{HitKind::Tab, static_cast<std::uint64_t>(t)}));
        EXPECT_EQ(hit_test(in, tab.x + tab.width - 1, tab.y + 1),
                  (HitTarget{HitKind::Tab, static_cast<std::uint64_t>(t)}));
        EXPECT_EQ(label, (Box{tab.x + 4, tab.y, tab.width - 8, tab.height}));  // labels 8 apart at least
    }
    // The warning band lies between the list and the status line and holds two lines of small text.
    in.warning = true;
    const Box band = warning_text_box(in);
    const Box view = list_viewport(in);
    EXPECT_EQ(band.y, view.y + view.height);
    EXPECT_EQ(band.y + band.height, 441 - 30);
    EXPECT_EQ(band.width, 360 - 24);
    // The widest notice, and the highlight chip, inside the window and the treemap.
    const Box notice = padded(notice_pill(in, 5000), NOTICE_PADDING);
    EXPECT_EQ(notice, (Box{32, 441 - 30 - 60, 640, 38}));
    const Box chip = highlight_chip(in, 5000);
    const Box treemap = treemap_box(in);
    EXPECT_EQ(chip.x, treemap.x + 8);
    EXPECT_EQ(chip.x + chip.width, treemap.x + treemap.width - 8);
    EXPECT_EQ(highlight_chip(in, 50).width, 50 + 2 * CHIP_PADDING);
    // The Duplicates tab's texts: the note under the bar; what was not found where the heading stands.
    const ListMessage message = list_message(in);
    EXPECT_GE(message.note.y, message.track.y + message.track.height);
    EXPECT_LE(message.nothing_found.y, message.heading.y);
    EXPECT_GE(message.nothing_found.y + message.nothing_found.height,
              message.heading.y + message.heading.height);
    // Home: the question and its tagline (two lines of 13 px text) over the cards, as wide as they are.
    in.screen = Screen::Home;
    in.drive_count = 1;  // two cards side by side
    const HomeCards home = home_cards(in);
    EXPECT_EQ(home.title.x, home.cards[0].x);
    EXPECT_EQ(home.tagline.x + home.tagline.width, home.cards.back().x + home.cards.back().width);
    EXPECT_GE(home.tagline.y, home.title.y + home.title.height - 4);
    EXPECT_GE(home.tagline.height, 40);
    EXPECT_LE(home.tagline.y + home.tagline.height, home.cards[0].y - 16);
}

TEST(Layout, HomeCardsWrapByWidth) {
    ViewInput in;
    in.drive_count = 1;
    in.width = 48 + 616;  // exactly room for two cards of 300 and a gap
    in.height = 700;
    HomeCards home = home_cards(in);
    ASSERT_EQ(home.cards.size(), 2u);
    EXPECT_EQ(home.cards[0].y, home.cards[1].y);
    EXPECT_EQ(home.cards[0], (Box{24, 198, 300, 112}));
    in.width -= 1;
    home = home_cards(in);
    EXPECT_GT(home.cards[1].y, home.cards[0].y);  // one above the other
    EXPECT_FALSE(home.recycle_line);
    in.recycle_bin = 1024;
    in.measure = fake_measure;
    home = home_cards(in);
    ASSERT_TRUE(home.recycle_line);
    EXPECT_EQ(home.recycle_line->y, 198 + 128 + 112 + 32);
    ASSERT_TRUE(home.recycle_button);
    const float label = fake_measure("In the Recycle Bin: 1.00 KB", TextStyle::Body);
    EXPECT_EQ(home.recycle_button->x, 24 + 16 + label + 30);
    EXPECT_EQ(hit_test(in, home.cards[1].x + 5, home.cards[1].y + 5), (HitTarget{HitKind::DriveCard, 1}));
    EXPECT_EQ(hit_test(in, home.recycle_button->x + 1, home.recycle_button->y + 1),
              (HitTarget{HitKind::EmptyRecycleBin, 0}));
}

// The recent scans fill the room under the cards and the Recycle Bin line, a row at a time, and the cards
// stay where they were; each row is hit as itself but at its button, and both are focus stops.
TEST(Layout, RecentScansTakeTheRoomUnderTheCards) {
    struct Case {
        float height;
        bool bin;
        std::size_t listed;
        std::size_t rows;  // that fit
        float heading;     // its top
    };
    // 1000 wide: three cards in a row (to 310), the bin's line 342 to 382, rows 36 high every 40.
    for (const Case& c : {Case{700, true, 9, 5, 394}, Case{560, true, 9, 3, 394}, Case{700, true, 2, 2, 394},
                          Case{441, true, 9, 0, 0}, Case{560, false, 9, 4, 338}, Case{700, true, 0, 0, 0}}) {
        SCOPED_TRACE(testing::Message() << c.height << " high, " << c.listed << " listed");
        ViewInput in;
        in.width = 1000;
        in.height = c.height;
        in.drive_count = 2;
        in.measure = fake_measure;
        if (c.bin) in.recycle_bin = 0;
        const HomeCards without = home_cards(in);
        in.recent_count = c.listed;
        const HomeCards home = home_cards(in);
        EXPECT_EQ(home.cards, without.cards);
        ASSERT_EQ(home.recent.size(), c.rows);
        EXPECT_EQ(home.recent_heading.has_value(), c.rows > 0);
        if (c.rows == 0) continue;
        EXPECT_EQ(home.recent_heading->y, c.heading);
        const float button = fake_measure("Compare with now", TextStyle::Body) + 28;
        for (std::size_t i = 0; i < c.rows; ++i) {
            const RecentRow& row = home.recent[i];
            EXPECT_EQ(row.row, (Box{24, c.heading + 32 + 40 * static_cast<float>(i), 952, 36}));
            EXPECT_EQ(row.compare, (Box{976 - 6 - button, row.row.y + 4, button, 28}));
            EXPECT_LE(row.row.y + row.row.height, c.height - 12);
            const Box text = recent_text_box(row, 1);
            EXPECT_LE(text.x + text.width, row.compare.x - 16);
            EXPECT_EQ(hit_test(in, row.row.x + 2, row.row.y + 2), (HitTarget{HitKind::RecentScan, i}));
            EXPECT_EQ(hit_test(in, row.compare.x + 2, row.compare.y + 2),
                      (HitTarget{HitKind::CompareWithNow, i}));
        }
        // After the bin's button, each row and then its button, then the Menu.
        const std::vector<FocusStop> stops = home_stops(in);
        ASSERT_EQ(stops.size(), 3 + (c.bin ? 1 : 0) + 2 * c.rows + 1);
        const std::size_t first = 3 + (c.bin ? 1 : 0);
        EXPECT_EQ(stops[first].target, (HitTarget{HitKind::RecentScan, 0}));
        EXPECT_EQ(stops[first + 1].target, (HitTarget{HitKind::CompareWithNow, 0}));
        EXPECT_EQ(stops[first + 1].box, home.recent[0].compare);
        EXPECT_EQ(stops[first + 2 * c.rows - 2].target, (HitTarget{HitKind::RecentScan, c.rows - 1}));
        EXPECT_EQ(stops.back().target, (HitTarget{HitKind::Menu, 0}));
    }
}

TEST(Layout, BreadcrumbDropsLeftmostSegmentsFirst) {
    FileTree tree = make_tree("C:\\");
    NodeIndex parent = 0;
    for (int depth = 0; depth < 12; ++depth) {
        const auto index = static_cast<NodeIndex>(tree.nodes.size());
        append_listing(tree, parent,
                       std::vector<ListedEntry>{{"folder number " + std::to_string(depth), 0, FLAG_DIR, 0}});
        parent = index;
    }
    ViewInput in = results(1000, 700);
    in.tree = &tree;
    in.current_folder = parent;
    const std::vector<Crumb> crumbs = breadcrumb(in);
    ASSERT_GT(crumbs.size(), 2u);
    EXPECT_EQ(crumbs.front().label, "\u2026");
    EXPECT_FALSE(crumbs.front().link);
    EXPECT_EQ(crumbs.back().label, "folder number 11");  // the current folder always stays
    EXPECT_EQ(crumbs.back().node, parent);
    EXPECT_EQ(crumbs[0].box.x, 82 + 10);  // right of Up
    EXPECT_LE(crumbs.back().box.x + crumbs.back().box.width, search_box(in)->x);
    // Clicking a segment goes there; clicking "…" falls through to nothing.
    EXPECT_EQ(hit_test(in, crumbs[1].box.x + 1, 20), (HitTarget{HitKind::Crumb, crumbs[1].node}));
    EXPECT_EQ(hit_test(in, crumbs[0].box.x + 1, 20), HitTarget{});

    in.current_folder = 1;
    const std::vector<Crumb> short_path = breadcrumb(in);
    ASSERT_EQ(short_path.size(), 2u);
    EXPECT_EQ(short_path[0].label, "C:\\");
    in.measure = nullptr;  // no graphics device yet: no breadcrumb
    EXPECT_TRUE(breadcrumb(in).empty());
}

TEST(Layout, TilesAreHitInnermostFirstAndMinimumSizeScales) {
    ViewInput in = results(1000, 700);
    const std::vector<TreemapRect> tiles = {{500, 100, 400, 400, 1, 1}, {520, 130, 100, 100, 2, 0}};
    in.tiles = &tiles;
    EXPECT_EQ(hit_test(in, 530, 140), (HitTarget{HitKind::Tile, 2}));
    EXPECT_EQ(hit_test(in, 800, 400), (HitTarget{HitKind::Tile, 1}));
    EXPECT_EQ(hit_test(in, 950, 600), HitTarget{});
    EXPECT_EQ(minimum_window_size(96).width, 720);
    EXPECT_EQ(minimum_window_size(144).width, 1080);
    EXPECT_EQ(minimum_window_size(144).height, 720);
    EXPECT_EQ(minimum_window_size(72).height, 480);  // never below 96 DPI's size
}

TEST(Layout, TheFocusRingGoesRoundWhatHasTheFocus) {
    ViewInput in = results(1000, 700);
    in.tab = Tab::ByType;
    const std::vector<TreemapRect> tiles = {{500, 100, 400, 400, 1, 1}, {520, 130, 100, 100, 2, 0}};
    in.tiles = &tiles;
    const std::vector<HeaderButton> buttons = header_buttons(in);
    ASSERT_GE(buttons.size(), 2u);
    EXPECT_EQ(focus_ring(in, Focus{FocusArea::Header, 1}, NO_NODE), buttons[1].box);
    EXPECT_EQ(focus_ring(in, Focus{FocusArea::Header, 99}, NO_NODE), buttons.back().box);
    EXPECT_EQ(focus_ring(in, Focus{FocusArea::Tabs}, NO_NODE), tab_box(in, 2));  // the chosen tab
    EXPECT_EQ(focus_ring(in, Focus{FocusArea::Search}, NO_NODE), search_box(in));
    EXPECT_EQ(focus_ring(in, Focus{FocusArea::List}, 2), list_viewport(in));
    EXPECT_EQ(focus_ring(in, Focus{FocusArea::Treemap}, 2), (Box{520, 130, 100, 100}));
    EXPECT_EQ(focus_ring(in, Focus{FocusArea::Treemap}, NO_NODE), treemap_box(in));
    EXPECT_EQ(focus_ring(in, Focus{FocusArea::Treemap}, 7), treemap_box(in));  // a node without a tile
    // On the home screen the ring goes round its stop; the progress screen has none.
    in.screen = Screen::Home;
    const std::vector<FocusStop> stops = home_stops(in);
    ASSERT_GE(stops.size(), 2u);
    EXPECT_EQ(focus_ring(in, Focus{FocusArea::List}, NO_NODE), stops[0].box);
    EXPECT_EQ(focus_ring(in, Focus{FocusArea::List, 0, 99}, NO_NODE), stops.back().box);
    in.screen = Screen::Scanning;
    EXPECT_FALSE(focus_ring(in, Focus{FocusArea::List}, NO_NODE));
}

TEST(LayoutRows, NamesKeepHalfTheListWidth) {
    // The smallest window (720 pixels, less its frame) has a list 360 pixels wide: name and size only.
    ViewInput narrow = results(704, 441);
    const Box small = list_viewport(narrow);
    const RowColumns tight = row_columns(small, small.x + 12, 32, 1);
    EXPECT_GE(tight.name_right - tight.name_left, 0.5f * small.width);
    EXPECT_FALSE(tight.bar);
    EXPECT_FALSE(tight.share);
    EXPECT_EQ(tight.size.x + tight.size.width, small.x + small.width - 22);

    // A wide list keeps every column at its full width.
    const Box wide = list_viewport(results(1600, 900));
    const RowColumns full = row_columns(wide, wide.x + 12, 32, 1);
    ASSERT_TRUE(full.bar && full.share);
    EXPECT_EQ(full.bar->width, 64);
    EXPECT_EQ(full.name_right, full.bar->x - 10);
    EXPECT_EQ(full.share->x + full.share->width, full.size.x);
    EXPECT_GE(full.name_right - full.name_left, 0.5f * wide.width);

    // In between the bar narrows before anything goes, then the bar goes before the share text.
    const Box middle = list_viewport(results(1120, 800));
    const RowColumns narrowed = row_columns(middle, middle.x + 12, 32, 1);
    ASSERT_TRUE(narrowed.bar && narrowed.share);
    EXPECT_LT(narrowed.bar->width, 64);
    EXPECT_GE(narrowed.bar->width, 24);
    EXPECT_FLOAT_EQ(narrowed.name_right - narrowed.name_left, 0.5f * middle.width);
    const Box smaller = list_viewport(results(1000, 700));
    const RowColumns no_bar = row_columns(smaller, smaller.x + 12, 32, 1);
    EXPECT_FALSE(no_bar.bar);
    EXPECT_TRUE(no_bar.share);
    // Copies inside a duplicate set start further right; their name still gets its half where it can.
    const RowColumns member = row_columns(wide, wide.x + 12 + 22, 46, 1);
    EXPECT_GE(member.name_right - member.name_left, 0.5f * wide.width);
}

TEST(LayoutRows, StatusLineCutsThePathNotTheFigures) {
    // A path of 900 pixels and figures of 150 in 600: the figures whole, the path cut to the rest.
    EXPECT_EQ(split_line(900, 150, 600, true).first, 450);
    EXPECT_EQ(split_line(900, 150, 600, true).second, 150);
    // Room for both: each its own width.
    EXPECT_EQ(split_line(200, 150, 600, true).first, 200);
    // A duplicate set's line stays whole and its paths are cut.
    EXPECT_EQ(split_line(300, 900, 600, false).first, 300);
    EXPECT_EQ(split_line(300, 900, 600, false).second, 300);
    // Less room than the figures need: they take it all, and nothing is negative.
    EXPECT_EQ(split_line(900, 150, 100, true).first, 0);
    EXPECT_EQ(split_line(900, 150, 100, true).second, 100);
    EXPECT_EQ(split_line(10, 10, -5, true).first, 0);
}

}  // namespace
}  // namespace spadrim
