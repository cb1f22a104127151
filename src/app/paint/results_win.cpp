// The results screen: the list column with its tabs and rows, the treemap with its legend, and the
// status line. Only visible rows are drawn; the treemap is laid out again only when its key changes.
#include <algorithm>
#include <cmath>

#include "app/input/scrolling.h"
#include "app/input/selection.h"
#include "app/paint/paint_win.h"
#include "app/texts.h"
#include "kinds/kinds.h"
#include "strings/strings.h"

namespace spadrim {
namespace {

Colour kind_colour_of(std::uint8_t kind) {
    return colour(kind_colour(static_cast<FileKind>(kind & 7)));
}

const GrowthColours& growth_colours(const Frame& f) {
    return f.window.dark ? DARK_GROWTH : LIGHT_GROWTH;
}

// A file's colour on the Changes tab: a warm or cool colour deepening from a kilobyte's change to some
// sixteen gigabytes' (on a scale of powers of two, as sizes spread over many of them).
Colour growth_colour(const Frame& f, Change change, std::int64_t delta) {
    const GrowthColours& colours = growth_colours(f);
    const double magnitude = std::abs(static_cast<double>(delta));
    const auto depth =
        static_cast<float>(std::clamp((std::log2(std::max(magnitude, 1.0)) - 10) / 24, 0.0, 1.0));
    switch (change) {
        case Change::Grown: return mix(colours.grown_least, colours.grown_most, depth);
        case Change::Shrunk:
        case Change::Removed: return mix(colours.shrunk_least, colours.shrunk_most, depth);
        case Change::New: return colours.added;
        case Change::Unchanged: break;
    }
    return colours.unchanged;
}

struct RowLook {
    Colour symbol;
    std::u32string glyph;  // empty: draw a folder or file symbol
    bool folder = false;
};

RowLook node_look(const Frame& f, const Node& node) {
    if (node.flags & FLAG_CLOUD_ONLY) return {f.palette.text_dim, U"\uE753"};
    if (node.flags & FLAG_UNREADABLE) return {f.palette.text_dim, U"\uE72E"};
    if (node.flags & FLAG_LINK) return {f.palette.text_dim, U"\uE71B"};
    if (node.flags & FLAG_DIR) return {f.palette.accent, U"", true};
    return {kind_colour_of(node.kind), U""};
}

void draw_symbol(const Frame& f, const RowLook& look, float start, float y, float first_line) {
    const float s = f.s;
    const float cx = start + 10 * s;
    const float cy = y + first_line / 2;
    if (!look.glyph.empty()) {
        draw_icon(f.gfx, look.glyph, Box{start, y, 20 * s, first_line}, look.symbol);
    } else if (look.folder) {
        fill_rounded(f.gfx, Box{cx - 8 * s, cy - 6.5f * s, 7 * s, 4 * s}, 1.5f * s, look.symbol);
        fill_rounded(f.gfx, Box{cx - 8 * s, cy - 4.5f * s, 16 * s, 11 * s}, 2 * s, look.symbol);
    } else {
        fill_rounded(f.gfx, Box{cx - 5.5f * s, cy - 7 * s, 11 * s, 14 * s}, 2 * s, look.symbol);
        fill(f.gfx, Box{cx - 2.5f * s, cy - 2 * s, 5 * s, 1.2f * s}, colour(0xFFFFFF, 0.7f));
        fill(f.gfx, Box{cx - 2.5f * s, cy + 1 * s, 5 * s, 1.2f * s}, colour(0xFFFFFF, 0.7f));
    }
}

// The size, share text and share bar at the right of a row, where the columns put them.
void draw_figures(const Frame& f, const RowColumns& columns, float y, std::uint64_t size,
                  std::uint64_t folder_size, Colour symbol) {
    const float s = f.s;
    const auto at_row = [y](Box box) { return Box{box.x, box.y + y, box.width, box.height}; };
    if (columns.bar) {
        const Box track = at_row(*columns.bar);
        fill_rounded(f.gfx, track, 3 * s, with_alpha(f.palette.text_dim, 0.18f));
        if (folder_size > 0 && size > 0) {
            const float share =
                static_cast<float>(static_cast<double>(size) / static_cast<double>(folder_size));
            fill_rounded(f.gfx, Box{track.x, track.y, std::max(share * track.width, 3 * s), track.height},
                         3 * s, symbol);
        }
    }
    if (columns.share) {
        draw_text(f.gfx, share_text(size, folder_size), at_row(*columns.share), f.palette.text_dim,
                  TextStyle::Small, Align::Trailing);
    }
    draw_text(f.gfx, format_size(size), at_row(columns.size), f.palette.text, TextStyle::Body,
              Align::Trailing);
}

void paint_rows(const Frame& f) {
    const App& app = f.window.app;
    const FileTree& tree = *app.tree;
    const float s = f.s;
    const Box view = list_viewport(f.in);
    const float row = row_height(f.in);
    const bool two_lines = app.tab == Tab::LargestFiles || app.tab == Tab::Duplicates ||
                           app.tab == Tab::Found || app.tab == Tab::Changes;
    const float first_line = two_lines ? 26 * s : row;
    const float right = view.x + view.width - 10 * s;
    const std::uint64_t folder_size = shown_totals(app, app.current_folder).size;
    const std::size_t count = f.in.row_count;

    f.gfx.target_view->PushAxisAlignedClip(
        D2D1_RECT_F{view.x, view.y, view.x + view.width, view.y + view.height}, D2D1_ANTIALIAS_MODE_ALIASED);
    for (auto i = static_cast<std::size_t>(std::max(0.0, std::floor(app.scroll / row))); i < count; ++i) {
        const float y = view.y + static_cast<float>(i) * row - static_cast<float>(app.scroll);
        if (y > view.y + view.height) break;
        const Box background{view.x, y, right - view.x, row};
        const bool selected = row_selected(app, i);
        if (selected) {
            fill(f.gfx, background, with_alpha(f.palette.accent, 0.16f));
        } else if (f.window.app.hover == HitTarget{HitKind::Row, i}) {
            fill(f.gfx, background, with_alpha(f.palette.text_dim, 0.09f));
        }
        const std::optional<RowText> text = row_text(app, i);
        if (!text) continue;
        float start = view.x + 12 * s;
        RowLook look;
        if (text->change) {
            // A removed entry is drawn as the earlier scan had it, dimmed.
            const ChangeRow& change = *text->change;
            look = change.after != NO_NODE ? node_look(f, node_at(tree, change.after))
                                           : node_look(f, node_at(*app.baseline, change.before));
            if (change.change == Change::Removed) look.symbol = with_alpha(look.symbol, 0.45f);
        } else if (text->node != NO_NODE) {
            if (app.tab == Tab::Duplicates) start += 22 * s;
            look = node_look(f, node_at(tree, text->node));
        } else if (text->expanded) {
            look = RowLook{kind_colour_of(text->kind), *text->expanded ? U"\uE70D" : U"\uE76C"};
        } else {
            look = RowLook{kind_colour_of(text->kind), U""};
        }
        const std::string& label = text->label;
        const std::uint64_t size = text->size;
        draw_symbol(f, look, start, y, first_line);
        if (!text->change && text->node != NO_NODE && carries_change_mark(app, text->node)) {
            // Changed on disk while followed, not yet opened: a dot on the symbol's shoulder.
            fill_rounded(f.gfx, Box{start + 15 * s, y + first_line / 2 - 10 * s, 7 * s, 7 * s}, 3.5f * s,
                         f.palette.warning);
        }
        const RowColumns columns = row_columns(view, start, first_line, s);
        const float name_left = columns.name_left;
        const Box name{name_left, y, columns.name_right - name_left, first_line};
        if (!text->location && two_lines && text_width(f.gfx, label, TextStyle::Body) > name.width) {
            // A duplicate set's line, too long for one line, takes the row's second one too.
            draw_paragraph(f.gfx, label, Box{name.x, y, name.width, row}, f.palette.text, TextStyle::Body,
                           Align::Leading);
        } else {
            draw_text(f.gfx, label, name, f.palette.text, TextStyle::Body, Align::Leading);
        }
        if (text->change) {
            // The change, signed and in its colour, where other lists have the size.
            const Change change = text->change->change;
            const Colour tint = change == Change::Unchanged ? f.palette.text_dim
                                                            : growth_colour(f, change, text->change->delta());
            const Box figure{columns.size.x - 40 * s, y, columns.size.width + 40 * s, first_line};
            draw_text(f.gfx, signed_size(text->change->delta()), figure,
                      change == Change::Unchanged ? f.palette.text_dim : f.palette.text, TextStyle::BodyBold,
                      Align::Trailing);
            fill_rounded(f.gfx, Box{view.x + 4 * s, y + 6 * s, 3 * s, row - 12 * s}, 1.5f * s, tint);
        } else {
            draw_figures(f, columns, y, size, folder_size, look.symbol);
        }
        if (text->location) {
            // The time keeps its place at the line's end, under the figures; the folder gives way.
            Box second{name_left, y + 22 * s, right - 12 * s - name_left, 22 * s};
            if (!text->modified.empty()) {
                draw_text(f.gfx, text->modified, second, f.palette.text_dim, TextStyle::Small,
                          Align::Trailing);
                second.width = std::max(
                    0.0f, second.width - text_width(f.gfx, text->modified, TextStyle::Small) - 16 * s);
            }
            draw_text(f.gfx, *text->location, second, f.palette.text_dim, TextStyle::Small, Align::Leading);
        }
    }
    f.gfx.target_view->PopAxisAlignedClip();

    if (count == 0) {
        const ListMessage message = list_message(f.in);
        if (app.tab == Tab::Duplicates && app.duplicate_job) {
            const CompareProgress& progress = *app.duplicate_job->progress;
            draw_text(f.gfx,
                      substitute(tr("비교하는 중… {0} / {1}", "Comparing… {0} / {1}"),
                                 {format_count(progress.files_done), format_count(progress.total_files)}),
                      message.heading, f.palette.text, TextStyle::BodyBold, Align::Centre);
            const Box track = message.track;
            const float bar = track.width;
            fill_rounded(f.gfx, track, 3 * s, with_alpha(f.palette.text_dim, 0.2f));
            const double total = static_cast<double>(progress.total_files.load());
            const double done =
                total > 0 ? std::min(static_cast<double>(progress.files_done.load()) / total, 1.0) : 0.0;
            fill_rounded(f.gfx,
                         Box{track.x, track.y, std::max(static_cast<float>(done) * bar, 6 * s), track.height},
                         3 * s, f.palette.accent);
            draw_paragraph(f.gfx, compare_note_text(), message.note, f.palette.text_dim, TextStyle::Small,
                           Align::Centre);
        } else if (app.tab == Tab::Duplicates && imported(app)) {
            draw_paragraph(f.gfx, duplicates_need_files_text(), message.nothing_found, f.palette.text_dim,
                           TextStyle::Body, Align::Centre);
        } else if (app.tab == Tab::Duplicates && app.duplicates.contains(app.current_folder)) {
            draw_paragraph(f.gfx, no_duplicates_text(), message.nothing_found, f.palette.text_dim,
                           TextStyle::Body, Align::Centre);
        } else if (app.tab != Tab::Duplicates) {
            draw_text(f.gfx, tr("비어 있음", "Empty"), Box{view.x, view.y, view.width, 60 * s},
                      f.palette.text_dim, TextStyle::Body, Align::Centre);
        }
    }
    if (const std::optional<ScrollThumb> thumb = scroll_thumb(f.in)) {
        const float left = right;
        fill_rounded(f.gfx, Box{left, thumb->track_top, 8 * s, thumb->track_length}, 4 * s,
                     with_alpha(f.palette.text_dim, 0.08f));
        const bool active = f.window.app.dragging || f.window.app.hover.kind == HitKind::ScrollBar;
        fill_rounded(f.gfx, Box{left, thumb->top, 8 * s, thumb->length}, 4 * s,
                     with_alpha(f.palette.text_dim, active ? 0.55f : 0.35f));
    }
}

// A list's sort control: its current order on a chip, darker under the pointer.
void draw_sort_chip(const Frame& f, const Box& box, std::string_view text, bool hovered) {
    const float s = f.in.scale;
    fill_rounded(f.gfx, box, 4 * s, with_alpha(f.palette.text_dim, hovered ? 0.22f : 0.12f));
    draw_text(f.gfx, text, padded(box, CHIP_PADDING * s), f.palette.text, TextStyle::Small, Align::Centre);
}

void paint_list_column(const Frame& f) {
    const App& app = f.window.app;
    const float s = f.s;
    const float h = std::max(f.in.height, 0.0f);
    const float column = list_width(f.in);
    const float top = scaled(HEADER_HEIGHT, s);
    const float status = status_height(f.in);
    fill(f.gfx, Box{0, top, column, std::max(h - status - top, 1.0f)}, f.palette.panel);
    fill(f.gfx, Box{column, top, 1, h - status - top}, f.palette.line);

    const Box strip = tab_strip(f.in);
    const std::vector<Box> tabs = tab_boxes(f.in);
    for (int t = 0; t < static_cast<int>(tabs.size()); ++t) {
        const Box box = tabs[static_cast<std::size_t>(t)];
        const Box label = padded(box, TAB_PADDING * s);
        const Tab tab = f.in.tabs[static_cast<std::size_t>(t)];
        if (tab == app.tab) {
            draw_text(f.gfx, tab_label(tab), label, f.palette.text, TextStyle::BodyBold, Align::Centre);
            fill(f.gfx, Box{box.x + 16 * s, strip.y + strip.height - 3 * s, box.width - 32 * s, 3 * s},
                 f.palette.accent);
        } else {
            if (f.window.app.hover == HitTarget{HitKind::Tab, static_cast<std::uint64_t>(t)}) {
                fill(f.gfx, box, with_alpha(f.palette.text_dim, 0.08f));
            }
            // A scan file holds no contents to compare: its Duplicates tab is greyed.
            const bool greyed = tab == Tab::Duplicates && imported(app);
            draw_text(f.gfx, tab_label(tab), label,
                      greyed ? with_alpha(f.palette.text_dim, 0.5f) : f.palette.text_dim, TextStyle::Body,
                      Align::Centre);
        }
    }
    fill(f.gfx, Box{0, strip.y + strip.height - 1, column, 1}, f.palette.line);
    paint_rows(f);

    if (const std::optional<std::string> warning = status_line(app)) {
        const Box band = warning_text_box(f.in);
        fill(f.gfx, Box{0, band.y, column, 1}, f.palette.line);
        if (app.tab == Tab::Changes) {
            // The header: the change since when, then the counts beside the control that sorts.
            const ChangesHeader header = changes_header_parts(app);
            draw_text(f.gfx, header.change, found_footer_box(f.in), f.palette.text, TextStyle::Body,
                      Align::Leading);
            draw_text(f.gfx, header.counts, changes_counts_box(f.in), f.palette.text_dim, TextStyle::Small,
                      Align::Leading);
            draw_sort_chip(f, changes_sort_box(f.in), change_order_text(app.change_order),
                           app.hover.kind == HitKind::ChangesSort);
        } else if (app.tab == Tab::Found) {
            // The totals of what is listed, and the control that sorts it.
            draw_text(f.gfx, *warning, found_footer_box(f.in), f.palette.text, TextStyle::Body,
                      Align::Leading);
            draw_sort_chip(f, found_sort_box(f.in), found_order_text(app.found_order),
                           app.hover.kind == HitKind::FoundSort);
        } else {
            draw_paragraph(f.gfx, *warning, band, f.palette.text_dim, TextStyle::Small, Align::Leading);
        }
    }
}

void paint_treemap(const Frame& f) {
    const App& app = f.window.app;
    const FileTree& tree = *app.tree;
    const float s = f.s;
    const Box area = treemap_box(f.in);
    fill(f.gfx, area, f.palette.treemap_gap);
    f.gfx.target_view->PushAxisAlignedClip(
        D2D1_RECT_F{area.x, area.y, area.x + area.width, area.y + area.height}, D2D1_ANTIALIAS_MODE_ALIASED);
    const float band = scaled(18, s);
    // On the Changes tab files are coloured by what happened to them, elsewhere by their kind.
    const bool growth = app.tab == Tab::Changes && changes_shown(app);
    for (const TreemapRect& tile : f.window.tiles) {
        const Node& node = node_at(tree, tile.node);
        if (tile.is_folder) {
            const Box box{tile.x, tile.y, tile.width, tile.height};
            fill(f.gfx, box, f.palette.raised);
            if (tile.width > 70 * s && tile.height > 2.5f * band) {
                draw_text(f.gfx,
                          std::string(name_of(tree, tile.node)) + "  " +
                              format_size(shown_totals(app, tile.node).size),
                          Box{tile.x + 5 * s, tile.y, tile.width - 10 * s, band}, f.palette.text_dim,
                          TextStyle::Small, Align::Leading);
            }
            continue;
        }
        const Box box{tile.x + 0.5f, tile.y + 0.5f, std::max(tile.width - 1, 0.5f),
                      std::max(tile.height - 1, 0.5f)};
        // A changed file's tile says by how much; an unchanged one, muted, says its size in darker text.
        std::optional<std::int64_t> delta;
        Colour label = colour(ON_COLOUR_TEXT);
        if (const std::optional<ChangeRow> change = growth ? change_row_of(app, tile.node) : std::nullopt) {
            fill(f.gfx, box, growth_colour(f, change->change, change->delta()));
            if (change->change == Change::Unchanged) {
                if (!f.window.dark) label = f.palette.text;
            } else {
                delta = change->delta();
            }
        } else {
            fill(f.gfx, box, kind_colour_of(node.kind));
        }
        if (tile.width > 84 * s && tile.height > 38 * s) {
            draw_text(f.gfx, name_of(tree, tile.node),
                      Box{box.x + 6 * s, box.y + 4 * s, box.width - 12 * s, 18 * s}, label, TextStyle::Small,
                      Align::Leading);
            draw_text(f.gfx, delta ? signed_size(*delta) : format_size(node.size),
                      Box{box.x + 6 * s, box.y + 21 * s, box.width - 12 * s, 18 * s}, with_alpha(label, 0.8f),
                      TextStyle::Small, Align::Leading);
        }
    }
    // Outlines last, over every tile: the hovered one, then the selected ones.
    const NodeIndex hovered =
        f.window.app.hover.kind == HitKind::Tile  ? static_cast<NodeIndex>(f.window.app.hover.payload)
        : f.window.app.hover.kind == HitKind::Row ? row_node(app, f.window.app.hover.payload)
                                                  : NO_NODE;
    for (const TreemapRect& tile : f.window.tiles) {
        if (tile.node == hovered) {
            outline(f.gfx,
                    Box{tile.x + 1 * s, tile.y + 1 * s, std::max(tile.width - 2 * s, 1.0f),
                        std::max(tile.height - 2 * s, 1.0f)},
                    colour(0xFFFFFF, 0.9f), 2 * s);
        }
        if (is_selected(app, tile.node)) {
            // In the dark theme `text` is nearly the hover's white: the accent tells them apart there.
            outline(f.gfx,
                    Box{tile.x + 1.5f * s, tile.y + 1.5f * s, std::max(tile.width - 3 * s, 1.0f),
                        std::max(tile.height - 3 * s, 1.0f)},
                    f.window.dark ? f.palette.accent : f.palette.text, 3 * s);
        }
    }
    if (f.window.tiles.empty()) {
        draw_text(f.gfx, tr("크기가 있는 항목이 없습니다", "Nothing with a size to show"), area,
                  f.palette.text_dim, TextStyle::Body, Align::Centre);
    }
    // Under the search field, why its text cannot be read; then, while the filter is on, what the treemap
    // shows and how to undo it.
    int line = 0;
    if (!app.query_error.empty()) {
        const Box chip = highlight_chip(f.in, text_width(f.gfx, app.query_error, TextStyle::Small), line++);
        fill_rounded(f.gfx, chip, 6 * s, f.palette.warning);
        draw_text(f.gfx, app.query_error, padded(chip, CHIP_PADDING * s), colour(ON_COLOUR_TEXT),
                  TextStyle::Small, Align::Centre);
    }
    if (const Search* search = shown_search(app)) {
        const std::string text = showing_text(search->query.text);
        const Box chip = highlight_chip(f.in, text_width(f.gfx, text, TextStyle::Small), line);
        fill_rounded(f.gfx, chip, 6 * s, colour(NOTICE_BACKGROUND, 0.88f));
        draw_text(f.gfx, text, padded(chip, CHIP_PADDING * s), colour(ON_COLOUR_TEXT), TextStyle::Small,
                  Align::Centre);
    }
    f.gfx.target_view->PopAxisAlignedClip();

    if (growth) {
        const GrowthColours& colours = growth_colours(f);
        const Colour swatches[] = {colours.grown_most, colours.added, colours.shrunk_most, colours.unchanged};
        const std::vector<SwatchEntry> entries = swatch_row(f.in, growth_legend());
        for (std::size_t i = 0; i < entries.size(); ++i) {
            fill_rounded(f.gfx, entries[i].swatch, 3 * s, swatches[i]);
            draw_text(f.gfx, entries[i].label, entries[i].text, f.palette.text_dim, TextStyle::Small,
                      Align::Leading);
        }
        // Over the labels, the warm scale from the least growth to the most.
        const Box bar{area.x, area.y + area.height + 8 * s, area.width, 6 * s};
        constexpr int STEPS = 24;
        for (int i = 0; i < STEPS; ++i) {
            const float t = static_cast<float>(i) / (STEPS - 1);
            const float left = std::round(bar.x + bar.width * static_cast<float>(i) / STEPS);
            const float right = std::round(bar.x + bar.width * static_cast<float>(i + 1) / STEPS);
            fill(f.gfx, Box{left, bar.y, right - left, bar.height},
                 mix(colours.grown_least, colours.grown_most, t));
        }
        return;
    }
    const Legend drawn = legend(f.in, kinds_list(app.kind_totals));
    for (const auto& [kind, box] : drawn.bar)
        fill(f.gfx, box, colour(kind_colour(kind)));
    for (const LegendEntry& entry : drawn.entries) {
        fill_rounded(f.gfx, entry.swatch, 3 * s, colour(kind_colour(entry.kind)));
        draw_text(f.gfx, entry.label, entry.text, f.palette.text_dim, TextStyle::Small, Align::Leading);
    }
}

void paint_status(const Frame& f) {
    const App& app = f.window.app;
    const float s = f.s;
    const float w = std::max(f.in.width, 0.0f);
    const float h = std::max(f.in.height, 0.0f);
    const float status = status_height(f.in);
    fill(f.gfx, Box{0, h - status, w, status}, f.palette.bar);
    fill(f.gfx, Box{0, h - status, w, 1}, f.palette.line);
    float free_width = 0;
    if (const std::optional<VolumeSpace> space = app.volume) {
        const std::string text = free_space_text(*space);
        free_width = text_width(f.gfx, text, TextStyle::Small);
        draw_text(f.gfx, text, Box{w - 12 * s - free_width, h - status, free_width, status},
                  f.palette.text_dim, TextStyle::Small, Align::Trailing);
    }
    // A long path is cut short, never the size and count after it.
    const StatusDetails text = status_details(app);
    const float left = 12 * s;
    const LineSplit split = split_line(text_width(f.gfx, text.first, TextStyle::Small),
                                       text_width(f.gfx, text.second, TextStyle::Small),
                                       status_details_room(f.in, free_width), text.shorten_first);
    // A pixel of slack: a box exactly as wide as its text may already trim it.
    draw_text(f.gfx, text.first, Box{left, h - status, std::max(split.first, 0.0f) + 1, status},
              f.palette.text_dim, TextStyle::Small, Align::Leading);
    draw_text(f.gfx, text.second,
              Box{left + split.first, h - status, std::max(split.second, 0.0f) + 1, status},
              f.palette.text_dim, TextStyle::Small, Align::Leading);
}

}  // namespace

void update_treemap(Window& window, const ViewInput& in) {
    const Box area = treemap_box(in);
    const App& app = window.app;
    const Window::TreemapKey key{true,
                                 app.current_folder,
                                 static_cast<int>(area.width),
                                 static_cast<int>(area.height),
                                 app.tree_generation,
                                 shown_search(app) ? app.results_generation : 0};
    if (window.tiles_key == key) return;
    window.tiles.clear();
    const float s = in.scale;
    // With the filter on, only the matches are laid out, each folder by its matching content.
    TreemapSize size;
    if (shown_search(app)) size = [&app](NodeIndex node) { return shown_totals(app, node).size; };
    layout_treemap(*app.tree, app.current_folder, RectD{area.x, area.y, area.width, area.height}, 0,
                   static_cast<int>(scaled(18, s)), static_cast<int>(scaled(2, s)), window.tiles, size);
    window.tiles_key = key;
}

void paint_results(const Frame& f) {
    paint_list_column(f);
    paint_treemap(f);
    paint_status(f);
}

}  // namespace spadrim
