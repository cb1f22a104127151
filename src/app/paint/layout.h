// Where everything sits in the window: pure functions of the client size, the DPI scale, the view state
// and a text-measuring function. The painters and the hit test both ask here, so what is drawn is what
// is clicked; nothing is stored between calls.
//
// All sizes are DIPs times `scale`; boxes include their left and top edges and exclude their right and
// bottom edges.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/app.h"
#include "app/hit.h"
#include "app/summaries.h"
#include "gfx/style.h"
#include "treemap/treemap.h"

namespace spadrim {

// Width in pixels of a text in a style; 0 when it cannot be laid out.
using MeasureText = std::function<float(std::string_view text, TextStyle style)>;

struct HeaderButton {
    HitKind kind;
    Box box;
    char32_t glyph;
};

struct Crumb {
    std::string label;
    bool link = true;
    NodeIndex node = 0;
    Box box;
};

// What the layout reads of the window's state.
struct ViewInput {
    float width = 0;  // client size in pixels; negative extents count as 0
    float height = 0;
    float scale = 1;  // DPI / 96
    Screen screen = Screen::Home;
    Tab tab = Tab::Folders;
    // The tabs shown, in the strip's order (shown_tabs): a tab's place is its index here.
    std::vector<Tab> tabs{Tab::Folders, Tab::LargestFiles, Tab::ByType, Tab::Duplicates};
    NodeIndex current_folder = 0;
    double scroll = 0;
    std::size_t row_count = 0;
    std::size_t drive_count = 0;
    std::optional<std::uint64_t> recycle_bin;  // present once known
    std::size_t recent_count = 0;              // remembered scans to list under the drives
    bool warning = false;                      // the status line of the results has a warning
    const FileTree* tree = nullptr;
    const std::vector<TreemapRect>* tiles = nullptr;  // the cached treemap layout
    MeasureText measure;                              // empty while there is no graphics device
};

// A remembered scan's row on the home screen: a click on it opens the scan, one on its button at the
// right scans the root again and compares.
struct RecentRow {
    Box row;
    Box compare;
};

struct HomeCards {
    Box title;               // the question over the cards
    Box tagline;             // the line under it
    std::vector<Box> cards;  // one per drive, then the folder card
    std::optional<Box> recycle_line;
    std::optional<Box> recycle_button;
    // Under all that, the newest remembered scans, as many as fit above the window's bottom edge (at most
    // RECENT_SHOWN), under a heading that is there when one row is.
    std::optional<Box> recent_heading;
    std::vector<RecentRow> recent;
};

// The texts of the Duplicates tab while its files are compared (a heading, the progress bar's track and
// a note under it, of up to two lines), or once none were found (up to two lines).
struct ListMessage {
    Box heading;
    Box track;
    Box note;
    Box nothing_found;
};

// Heights in DIPs of the header bar across every screen, the tab strip of the results and the status
// line under them.
inline constexpr float HEADER_HEIGHT = 48;
inline constexpr float TAB_STRIP_HEIGHT = 40;
inline constexpr float STATUS_HEIGHT = 30;
inline constexpr float WARNING_BAND_HEIGHT = 40;  // two lines under the list, when the results warn
inline constexpr float CHANGES_BAND_HEIGHT = 58;  // three on the Changes tab: its header and sort control
inline constexpr float LEGEND_HEIGHT = 46;        // the kinds legend under the treemap
inline constexpr float NOTICE_PADDING = 16;       // between a notice pill's ends and its text
inline constexpr float CHIP_PADDING = 10;         // the same in the treemap's highlight chip
inline constexpr float TAB_PADDING = 4;           // at either end of a tab: its label never meets the next
inline constexpr float LIST_LEAST_WIDTH = 360;    // the list column's width in a narrow window
inline constexpr float RECENT_ROW_HEIGHT = 36;    // a remembered scan's row on the home screen
inline constexpr std::size_t RECENT_SHOWN = 5;    // the most of them listed

// roundf(n × scale): halves away from zero.
float scaled(float n, float scale);

Box header_box(const ViewInput& in);
// Between the header's buttons while scanning: the path of the folder being scanned.
Box header_path_box(const ViewInput& in);
std::vector<HeaderButton> header_buttons(const ViewInput& in);
float status_height(const ViewInput& in);
float list_width(const ViewInput& in);
Box tab_strip(const ViewInput& in);
// The tabs of the strip, left to right: four of equal widths; five or six (with Changes, Found) too while
// every label fits one, else each as wide as its label (bold, as the chosen one is drawn) with an equal
// share of the room left over.
std::vector<Box> tab_boxes(const ViewInput& in);
// Where a tab is in the strip (0 for one not shown).
int tab_position(const ViewInput& in, Tab tab);
// The tab at place t (0 to tabs.size() - 1) of the strip, and the box its label is centred in.
Box tab_box(const ViewInput& in, int t);
Box tab_label_box(const ViewInput& in, int t);
Box list_viewport(const ViewInput& in);
float row_height(const ViewInput& in);
double max_scroll(const ViewInput& in);
Box treemap_box(const ViewInput& in);
// The strip of the list's scroll bar, or nothing when the rows fit the viewport.
std::optional<Box> scroll_bar_strip(const ViewInput& in);
Box cancel_button(const ViewInput& in);
// The progress screen's lines over its Cancel button: the heading, the figures, the bar's track, the
// path being listed and the seconds so far.
struct ProgressBoxes {
    Box heading;
    Box figures;
    Box track;
    Box path;
    Box elapsed;
};
ProgressBoxes progress_boxes(const ViewInput& in);
HomeCards home_cards(const ViewInput& in);
// The column of a home card's texts, right of its symbol.
Box card_column(const Box& card, float scale);
// The room of a recent scan's texts (its root, then when and how big), between its symbol and its button.
Box recent_text_box(const RecentRow& row, float scale);
ListMessage list_message(const ViewInput& in);
// The text of the warning band under the list, when the results warn.
Box warning_text_box(const ViewInput& in);
// On the Found tab the band under the list holds the totals on its first line and the sort control at
// the right of its second, as wide as its longest text.
Box found_sort_box(const ViewInput& in);
Box found_footer_box(const ViewInput& in);
// The band of the Changes tab, a line taller: the header's change of size on the first line, its counts
// on the second, the sort control at the right of the third.
Box changes_sort_box(const ViewInput& in);
Box changes_counts_box(const ViewInput& in);
// The room of the status line's details, left of the free space text of free_width pixels.
float status_details_room(const ViewInput& in, float free_width);
std::vector<Crumb> breadcrumb(const ViewInput& in);
// The search field of the results header, between the breadcrumb and the buttons on the right; its
// text's room right of the magnifier; and how far the text is moved left so that a caret `caret_x`
// pixels into it stays in that room.
std::optional<Box> search_box(const ViewInput& in);
Box search_text_box(const Box& field, float scale);
float search_text_shift(float caret_x, const Box& text_box);
// The notice pill for a notice of text_width pixels.
Box notice_pill(const ViewInput& in, float text_width);
// The treemap's chip at its top right, for a text of text_width pixels: line 0 under the header, line 1
// under that (the filter's chip when the query's error takes the first).
Box highlight_chip(const ViewInput& in, float text_width, int line = 0);
// The kinds legend under the treemap: a bar of every kind's share, then as many whole labelled swatches
// as fit on one line.
struct LegendEntry {
    FileKind kind;
    std::string label;  // "Video 1.20 GB"
    Box swatch;
    Box text;
};
struct Legend {
    std::vector<std::pair<FileKind, Box>> bar;
    std::vector<LegendEntry> entries;
};
Legend legend(const ViewInput& in, const std::vector<KindTotal>& kinds);
// The Changes tab's legend in the same place: a labelled swatch for each of `labels`, as many as fit.
struct SwatchEntry {
    std::string label;
    Box swatch;
    Box text;
};
std::vector<SwatchEntry> swatch_row(const ViewInput& in, const std::vector<std::string>& labels);
// A box narrowed by `padding` at either end.
Box padded(const Box& box, float padding);

HitTarget hit_test(const ViewInput& in, float x, float y);

// Where the keyboard focus ring is drawn on the results: round the focused header button, the chosen
// tab, the list's viewport, or in the treemap round the selected tile (the whole treemap while no tile
// is selected). Nothing on the other screens.
std::optional<Box> focus_ring(const ViewInput& in, const Focus& focus, NodeIndex selection);

// The stops of the keyboard's focus on the home screen, in Tab order: the cards (the drives, then the
// folder card), the Recycle Bin's button, each recent scan and its button, then the header's buttons. Each
// with what a click on it hits.
struct FocusStop {
    HitTarget target;
    Box box;
};
std::vector<FocusStop> home_stops(const ViewInput& in);

// Where a row's parts sit, left to right: name, share bar, share text, size. Names get at least half
// the list's width: in a narrow list the bar narrows first, then goes, then the share text goes.
struct RowColumns {
    float name_left = 0;
    float name_right = 0;
    std::optional<Box> bar;    // the share bar's track, relative to the row's top and first-line height
    std::optional<Box> share;  // the share text
    Box size;
};
// Two texts on one line of `available` pixels, one of which may be cut short (a path) while the
// other (the figures) is kept whole as long as it fits at all: the width each is given.
struct LineSplit {
    float first;
    float second;
};
LineSplit split_line(float first_width, float second_width, float available, bool shorten_first);

// For a row whose content starts at `start`, in a viewport, with a first line `first_line` high.
RowColumns row_columns(const Box& viewport, float start, float first_line, float scale);

// The smallest window (outer size) at a DPI.
struct MinimumSize {
    int width;
    int height;
};
MinimumSize minimum_window_size(unsigned dpi);

}  // namespace spadrim
