// Every text the window draws in a room of its own, in every language, measured with DirectWrite in the
// window's own text formats against that room in the smallest window, at 96 DPI. A text that does not
// fit is cut short with an ellipsis on screen; here it fails, with its width and its room.
//
// Needs the fonts the window uses: under Wine, a prefix prepared by scripts/wine/prefix.sh, which maps
// "Segoe UI" to an installed font.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <sstream>

#include "app/paint/layout.h"
#include "app/texts.h"
#include "gfx/gfx.h"
#include "kinds/kinds.h"
#include "source_texts.h"
#include "strings/strings.h"
#include "strings/tables.h"

namespace spadrim {
namespace {

// The smallest client area: the window's least outer size less the frame around it. Windows 10 and 11
// draw the widest frame Spadrim runs in (8 px at either side and below, a caption 31 px high, at 96
// DPI); another system's frame counts when it is wider.
ViewInput smallest_window(Screen screen) {
    const MinimumSize outer = minimum_window_size(96);
    RECT frame{0, 0, 0, 0};
    AdjustWindowRectEx(&frame, WS_OVERLAPPEDWINDOW, FALSE, 0);
    ViewInput in;
    in.width = static_cast<float>(outer.width - std::max<LONG>(frame.right - frame.left, 16));
    in.height = static_cast<float>(outer.height - std::max<LONG>(frame.bottom - frame.top, 39));
    in.scale = 1;
    in.screen = screen;
    return in;
}

// The texts of one language, looked up the way tr looks them up: Korean as written in the sources,
// the other languages from their tables by the English text.
struct Texts {
    std::string_view code;
    TranslationTable table;

    std::string operator()(std::string_view en) const {
        if (code == "en") return std::string(en);
        if (code == "ko") {
            for (const test::SourceText& text : test::SOURCE_TEXTS) {
                if (text.en == en) return std::string(text.ko);
            }
            ADD_FAILURE() << "no Korean for \"" << en << "\" in the sources";
            return std::string(en);
        }
        const auto found = table.find(en);
        if (found == table.end()) ADD_FAILURE() << code << " lacks \"" << en << '"';
        return found == table.end() ? std::string(en) : found->second;
    }
    std::string kind(FileKind kind) const {
        const KindNames names = kind_names(kind);
        return std::string(translate(code, table, names.korean, names.english));
    }
    // A text with counts, filled in as the window fills it.
    std::string counted(std::string_view en, std::initializer_list<Count> counts,
                        std::initializer_list<std::string_view> values) const {
        return substitute(fit_counts(code, (*this)(en), counts), values);
    }
};

// Wide figures, in the forms the window writes them.
const std::string SIZE = format_size(987'654'321'000);  // "920 GB"
const std::string TOTAL = format_size(1'987'654'321'000);
const std::string COUNT = format_count(1'234'567);
const std::string FEW = format_count(12'345);

struct Room {
    std::string what;
    std::string text;
    TextStyle style;
    Box box;
    bool paragraph = false;  // broken into lines: must fit the box's height
};

std::vector<Room> rooms(const Texts& t, const Gfx& gfx) {
    std::vector<Room> all;
    const auto add = [&](std::string what, std::string text, TextStyle style, Box box,
                         bool paragraph = false) {
        all.push_back(Room{std::move(what), std::move(text), style, box, paragraph});
    };

    // Home: the question, its tagline, the cards and the Recycle Bin line.
    ViewInput home = smallest_window(Screen::Home);
    home.drive_count = 1;
    home.recycle_bin = 987'654'321'000;
    home.measure = [&](std::string_view text, TextStyle style) {
        // The layout measures the English it looks up; this language's texts stand in for them.
        const std::string_view label = "In the Recycle Bin:";
        if (text.starts_with(label))
            return text_width(gfx, t(label) + std::string(text.substr(label.size())), style);
        return text_width(gfx, t(text), style);
    };
    const HomeCards cards = home_cards(home);
    add("home title", t("What is taking up your disk space?"), TextStyle::Title, cards.title);
    add("home tagline",
        t("Pick a drive or folder and the biggest things show up first. Nothing leaves this PC."),
        TextStyle::Body, cards.tagline, true);
    const Box column = card_column(cards.cards.front(), 1);
    for (const std::string_view drive : {"Local disk", "Network drive", "Removable disk"})
        add("drive card title", t(drive) + " (C:)", TextStyle::BodyBold, column);
    add("drive card space", substitute(t("{0} free of {1}"), {SIZE, TOTAL}), TextStyle::Small, column);
    add("drive card space", t("Size not reported"), TextStyle::Small, column);
    add("folder card title", t("Choose a folder…"), TextStyle::BodyBold, column);
    add("folder card line", t("Analyze just one folder, quickly"), TextStyle::Small, column);
    if (cards.recycle_line && cards.recycle_button) {
        // The button follows the label; both stay on the line.
        const Box line = *cards.recycle_line;
        const Box button = *cards.recycle_button;
        add("Recycle Bin button", t("Empty the Recycle Bin"), TextStyle::Body,
            Box{button.x, button.y, line.x + line.width - button.x, button.height});
    } else {
        ADD_FAILURE() << "no Recycle Bin line on the home screen";
    }
    // The recent scans, in a window as narrow but tall enough to list them: the heading, and on each row
    // when and how big beside the root, and the button.
    ViewInput tall = home;
    tall.height = 900;
    tall.recent_count = RECENT_SHOWN;
    const HomeCards listed = home_cards(tall);
    if (listed.recent_heading && !listed.recent.empty()) {
        add("recent scans heading", t("Recent scans"), TextStyle::BodyBold, *listed.recent_heading);
        add("recent scan details", "2026-12-10 14:03  \u00B7  " + SIZE, TextStyle::Small,
            recent_text_box(listed.recent.front(), 1));
        add("Compare with now button", t("Compare with now"), TextStyle::Body,
            padded(listed.recent.front().compare, 14));
    } else {
        ADD_FAILURE() << "no recent scans on the home screen";
    }

    // Scanning.
    const ViewInput scanning = smallest_window(Screen::Scanning);
    const Box across{0, 0, scanning.width, 40};
    add("progress title", t("Analyzing…"), TextStyle::Title, across);
    add("progress figures",
        t.counted("{0}  ·  {1} files  ·  {2} folders", {{1, 1'234'567}, {2, 12'345}}, {SIZE, COUNT, FEW}),
        TextStyle::BodyBold, across);
    add("Cancel button", t("Cancel"), TextStyle::Body, cancel_button(scanning));

    // Results: the tabs, the list's own texts, the warning band, the status line and the treemap.
    ViewInput results = smallest_window(Screen::Results);
    for (int tab = 0; tab < 4; ++tab) {
        const std::string_view keys[] = {"Folders", "Largest files", "By type", "Duplicates"};
        add("tab", t(keys[tab]), TextStyle::BodyBold, tab_label_box(results, tab));  // bold when chosen
    }
    // While a query is active, five tabs, each as wide as this language's label asks; the Found list's
    // band holds its totals and the sort control.
    ViewInput found = results;
    found.tabs.push_back(Tab::Found);
    found.tab = Tab::Found;
    found.warning = true;
    found.measure = [&](std::string_view text, TextStyle style) {
        // The layout measures the English sort control it looks up ("Sort: Size"): this language's stands in.
        const std::string_view sort = "Sort: ";
        if (text.starts_with(sort))
            return text_width(gfx, substitute(t("Sort: {0}"), {t(text.substr(sort.size()))}), style);
        return text_width(gfx, t(text), style);
    };
    for (int tab = 0; tab < 5; ++tab) {
        const std::string_view keys[] = {"Folders", "Largest files", "By type", "Duplicates", "Found"};
        add("tab with Found", t(keys[tab]), TextStyle::BodyBold, tab_label_box(found, tab));
    }
    // With an earlier scan compared, Changes after the four, and Found after it while a query is active.
    ViewInput changes = found;
    changes.tabs = {Tab::Folders, Tab::LargestFiles, Tab::ByType, Tab::Duplicates, Tab::Changes};
    changes.tab = Tab::Changes;
    for (int tab = 0; tab < 5; ++tab) {
        const std::string_view keys[] = {"Folders", "Largest files", "By type", "Duplicates", "Changes"};
        add("tab with Changes", t(keys[tab]), TextStyle::BodyBold, tab_label_box(changes, tab));
    }
    const std::string day = substitute(t("{2} {1} {0}"), {"2026", t("Sep"), "30"});
    add("Changes header", substitute(t("{0} since {1} ({2} days)"), {"+" + SIZE, day, "365"}),
        TextStyle::Body, found_footer_box(changes));
    add("Changes header", substitute(t("{0} since the earlier scan"), {"\u2212" + SIZE}), TextStyle::Body,
        found_footer_box(changes));
    add("Changes counts",
        t.counted("{0} new files", {{0, 12'345}}, {FEW}) + " · " + substitute(t("{0} removed"), {FEW}),
        TextStyle::Small, changes_counts_box(changes));
    for (const std::string_view order : {"Increase", "Decrease", "Change"}) {
        add("Changes sort", substitute(t("Sort: {0}"), {t(order)}), TextStyle::Small,
            padded(changes_sort_box(changes), CHIP_PADDING));
    }
    ViewInput both = changes;
    both.tabs.push_back(Tab::Found);
    for (int tab = 0; tab < 6; ++tab) {
        const std::string_view keys[] = {"Folders",    "Largest files", "By type",
                                         "Duplicates", "Changes",       "Found"};
        add("tab with Changes and Found", t(keys[tab]), TextStyle::BodyBold, tab_label_box(both, tab));
    }
    add("Found totals", t.counted("{0} files · {1}", {{0, 1'234'567}}, {COUNT, SIZE}), TextStyle::Body,
        found_footer_box(found));
    for (const std::string_view order : {"Size", "Name", "Date modified"}) {
        add("Found sort", substitute(t("Sort: {0}"), {t(order)}), TextStyle::Small,
            padded(found_sort_box(found), CHIP_PADDING));
    }
    const ListMessage message = list_message(results);
    add("comparing", substitute(t("Comparing… {0} / {1}"), {COUNT, COUNT}), TextStyle::BodyBold,
        message.heading);
    add("comparing note",
        substitute(t("Comparing the contents of files of {0} or more that have the same size"),
                   {format_size(DUPLICATE_THRESHOLD)}),
        TextStyle::Small, message.note, true);
    add("no duplicates",
        substitute(t("No duplicates among files of {0} or more"), {format_size(DUPLICATE_THRESHOLD)}),
        TextStyle::Body, message.nothing_found, true);
    add("empty folder", t("Empty"), TextStyle::Body, list_viewport(results));
    const Box view = list_viewport(results);
    const RowColumns row = row_columns(view, view.x + 12, 26, 1);
    const Box name{row.name_left, 0, row.name_right - row.name_left, 26};
    add("By type row", ".jpeg   " + t.counted("{0} files", {{0, 1'234'567}}, {COUNT}), TextStyle::Body, name);
    // A duplicate set's line may take both lines of its row.
    results.tab = Tab::Duplicates;
    add("duplicate set row", t.counted("{0} copies · {1} each · {2} wasted", {{0, 12}}, {"12", SIZE, SIZE}),
        TextStyle::Body, Box{name.x, 0, name.width, row_height(results)}, true);

    results.warning = true;
    const std::string unreadable = t.counted("{0} folders could not be read", {{0, 12'345}}, {FEW});
    const std::string unaccounted = substitute(t("About {0} not accounted for (system files etc.)"), {SIZE});
    const std::string sets = t.counted("{0} duplicate sets · {1} can be freed", {{0, 12'345}}, {FEW, SIZE});
    const std::string unopened = t.counted("{0} files could not be opened", {{0, 12'345}}, {FEW});
    add("warning", unreadable + " · " + unaccounted, TextStyle::Small, warning_text_box(results), true);
    add("warning", sets + " · " + unopened, TextStyle::Small, warning_text_box(results), true);

    // The status line: the free space at the right; at the left the figures after a path (which is
    // cut short first), a By type row's details, or a duplicate set's line before its paths.
    const std::string free = substitute(t("{0} free of {1}"), {SIZE, TOTAL});
    const float room = status_details_room(results, text_width(gfx, free, TextStyle::Small));
    const Box details{12, 0, room, 30};
    add("status figures", "  ·  " + SIZE + "  ·  " + t.counted("{0} files", {{0, 1'234'567}}, {COUNT}),
        TextStyle::Small, details);
    for (int kind = 0; kind < KIND_COUNT; ++kind) {
        add("status By type",
            substitute("{0} · .{1} · {2} · {3}", {t.kind(static_cast<FileKind>(kind)), "jpeg", SIZE,
                                                  t.counted("{0} files", {{0, 1'234'567}}, {COUNT})}),
            TextStyle::Small, details);
    }
    add("status duplicate set",
        t.counted("{0} copies · {1} each · {2} wasted", {{0, 12}}, {"12", SIZE, SIZE}), TextStyle::Small,
        details);

    const Box treemap = treemap_box(results);
    add("treemap empty", t("Nothing with a size to show"), TextStyle::Body, treemap);
    if (const std::optional<Box> field = search_box(results)) {
        add("search placeholder", t("Search"), TextStyle::Body, search_text_box(*field, 1));
    } else {
        ADD_FAILURE() << "no search field on the results";
    }
    add("filter chip", substitute(t("Showing {0} · Esc clears"), {"*.jpeg size:>1GB"}), TextStyle::Small,
        padded(highlight_chip(results, 1e6f), CHIP_PADDING));

    // Notices, in the pill over the bottom of the window.
    const Box notice = padded(notice_pill(results, 1e6f), NOTICE_PADDING);
    for (const std::string_view key :
         {"Path copied", "Takes effect the next time Spadrim opens",
          "Could not move it to the Recycle Bin. Another program may be using it.",
          "The Recycle Bin is empty", "Checking for updates…", "Downloading update…", "Download failed",
          "Downloaded size mismatch", "Downloaded file is corrupt (hash mismatch)",
          "The installer's digital signature could not be verified", "An update is already in progress"}) {
        add("notice", t(key), TextStyle::Body, notice);
    }
    add("notice", t("You're up to date") + " (10.20.30)", TextStyle::Body, notice);
    add("notice", substitute(t("Moved to the Recycle Bin. Emptying it frees {0}."), {SIZE}), TextStyle::Body,
        notice);
    add("notice", t.counted("{0} · {1} files · took {2} s", {{1, 1'234'567}}, {SIZE, COUNT, "1234.5"}),
        TextStyle::Body, notice);
    return all;
}

TEST(TextFit, EveryTextFitsItsRoomInTheSmallestWindow) {
    // The family the window asks for must be there: else DirectWrite measures a fallback font.
    const std::unique_ptr<Gfx> gfx = create_text_gfx(96);
    ASSERT_TRUE(gfx);
    ComPtr<IDWriteFontCollection> fonts;
    ASSERT_TRUE(SUCCEEDED(gfx->write_factory->GetSystemFontCollection(&fonts, FALSE)));
    UINT32 index = 0;
    BOOL found = FALSE;
    ASSERT_TRUE(SUCCEEDED(fonts->FindFamilyName(L"Segoe UI", &index, &found)));
    ASSERT_TRUE(found) << "no \"Segoe UI\": under Wine, prepare the prefix with scripts/wine/prefix.sh";

    int measured = 0;
    for (const Language& language : LANGUAGES) {
        const Texts texts{language.code, parse_table(table_text(language.code))};
        for (const Room& room : rooms(texts, *gfx)) {
            ++measured;
            if (room.paragraph) {
                const float height = paragraph_height(*gfx, room.text, room.box.width, room.style);
                EXPECT_LE(height, room.box.height)
                    << language.code << ", " << room.what << ": " << height << " px high in "
                    << room.box.width << " × " << room.box.height << ": " << room.text;
            } else {
                const float width = text_width(*gfx, room.text, room.style);
                EXPECT_LE(width, room.box.width) << language.code << ", " << room.what << ": " << width
                                                 << " px in " << room.box.width << ": " << room.text;
            }
        }
    }
    EXPECT_GT(measured, 400);
}

// The measure is the font's: a longer text is wider, a bold one wider than a regular one, and a Hangul
// syllable (from the mapped font, not a box for a missing glyph) as wide as a Latin capital or more.
TEST(TextFit, MeasuresWithTheWindowsFonts) {
    const std::unique_ptr<Gfx> gfx = create_text_gfx(96);
    ASSERT_TRUE(gfx);
    const float short_text = text_width(*gfx, "Open", TextStyle::Body);
    EXPECT_GT(short_text, 20);
    EXPECT_LT(short_text, 60);
    EXPECT_GT(text_width(*gfx, "Open the folder", TextStyle::Body), 2 * short_text);
    EXPECT_GT(text_width(*gfx, "Open", TextStyle::BodyBold), short_text);
    EXPECT_GT(text_width(*gfx, "Open", TextStyle::Title), text_width(*gfx, "Open", TextStyle::BodyBold));
    EXPECT_GE(text_width(*gfx, "한", TextStyle::Body), text_width(*gfx, "H", TextStyle::Body));
    // Twice the DPI, twice the width.
    const std::unique_ptr<Gfx> large = create_text_gfx(192);
    ASSERT_TRUE(large);
    EXPECT_NEAR(text_width(*large, "Open the folder", TextStyle::Body),
                2 * text_width(*gfx, "Open the folder", TextStyle::Body), 1.0);
    // A paragraph breaks into lines of its width.
    const float one_line = paragraph_height(*gfx, "Open the folder", 1000, TextStyle::Body);
    EXPECT_GT(one_line, 10);
    EXPECT_NEAR(paragraph_height(*gfx, "Open the folder", short_text * 1.5f, TextStyle::Body), 3 * one_line,
                1.0);
}

}  // namespace
}  // namespace spadrim
