// Regions and hit-testing of the window. See layout.h.
#include "app/paint/layout.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>

#include "app/texts.h"
#include "kinds/kinds.h"
#include "strings/strings.h"

namespace spadrim {
namespace {

constexpr char32_t GLYPH_HOME = 0xE80F;
constexpr char32_t GLYPH_UP = 0xE74A;
constexpr char32_t GLYPH_REFRESH = 0xE72C;
constexpr char32_t GLYPH_MENU = 0xE700;

float client_width(const ViewInput& in) {
    return std::max(in.width, 0.0f);
}
float client_height(const ViewInput& in) {
    return std::max(in.height, 0.0f);
}

float measure(const ViewInput& in, std::string_view text, TextStyle style) {
    return in.measure ? in.measure(text, style) : 0.0f;
}

}  // namespace

float scaled(float n, float scale) {
    return std::round(n * scale);
}

Box header_box(const ViewInput& in) {
    return Box{0, 0, client_width(in), scaled(HEADER_HEIGHT, in.scale)};
}

Box header_path_box(const ViewInput& in) {
    const float s = in.scale;
    return Box{56 * s, 0, client_width(in) - 120 * s, scaled(HEADER_HEIGHT, s)};
}

std::vector<HeaderButton> header_buttons(const ViewInput& in) {
    const float s = in.scale;
    const float side = scaled(36, s);
    const float y = std::round((scaled(HEADER_HEIGHT, s) - side) * 0.5f);
    const float w = client_width(in);
    std::vector<HeaderButton> buttons;
    buttons.reserve(4);  // at most four; growing one at a time also trips a false GCC 12 -O3 overflow warning
    if (in.screen != Screen::Home) buttons.push_back({HitKind::Home, {8 * s, y, side, side}, GLYPH_HOME});
    if (in.screen == Screen::Results) {
        buttons.push_back({HitKind::Up, {8 * s + side + 2 * s, y, side, side}, GLYPH_UP});
        buttons.push_back({HitKind::Refresh, {w - 8 * s - 2 * side - 2 * s, y, side, side}, GLYPH_REFRESH});
    }
    buttons.push_back({HitKind::Menu, {w - 8 * s - side, y, side, side}, GLYPH_MENU});
    return buttons;
}

float status_height(const ViewInput& in) {
    return in.screen == Screen::Results ? scaled(STATUS_HEIGHT, in.scale) : 0.0f;
}

float list_width(const ViewInput& in) {
    const float w = client_width(in);
    const float s = in.scale;
    // At least LIST_LEAST_WIDTH where the window allows: room for four tab labels side by side.
    float width = std::min(0.6f * w, std::min(560 * s, std::max(LIST_LEAST_WIDTH * s, 0.42f * w)));
    if (in.measure && in.tabs.size() > 5) {
        // Six tabs (Changes and Found) may need more: the column widens for their labels, as far as 0.64 W.
        float labels = 0;
        for (const Tab tab : in.tabs)
            labels += measure(in, tab_label(tab), TextStyle::BodyBold) + 2 * TAB_PADDING * s;
        // Pixels to spare: each tab's width is rounded to whole pixels, the last tab taking what is left.
        labels += 2 * static_cast<float>(in.tabs.size()) * s;
        width = std::max(width, std::min(std::ceil(labels), 0.64f * w));
    }
    return std::round(width);
}

Box tab_strip(const ViewInput& in) {
    return Box{0, scaled(HEADER_HEIGHT, in.scale), list_width(in), scaled(TAB_STRIP_HEIGHT, in.scale)};
}

std::vector<Box> tab_boxes(const ViewInput& in) {
    const Box strip = tab_strip(in);
    const int count = std::max(static_cast<int>(in.tabs.size()), 1);
    const float equal = strip.width / static_cast<float>(count);
    std::vector<float> widths(static_cast<std::size_t>(count), equal);
    // Four tabs have always fitted side by side; five or six, with Changes or Found, may not at equal
    // widths.
    if (in.measure && count > 4) {
        const float padding = 2 * TAB_PADDING * in.scale;
        float needed = 0;
        float widest = 0;
        for (int t = 0; t < count; ++t) {
            const float label =
                measure(in, tab_label(in.tabs[static_cast<std::size_t>(t)]), TextStyle::BodyBold) + padding;
            widths[static_cast<std::size_t>(t)] = label;
            needed += label;
            widest = std::max(widest, label);
        }
        const float spare = (strip.width - needed) / static_cast<float>(count);
        for (float& width : widths)
            width = widest <= equal || spare < 0 ? equal : std::round(width + spare);
    }
    std::vector<Box> boxes;
    float x = strip.x;
    for (int t = 0; t < count; ++t) {
        // The last tab ends where the strip does, whatever the rounding left.
        const float width = t + 1 == count ? strip.x + strip.width - x : widths[static_cast<std::size_t>(t)];
        boxes.push_back(Box{x, strip.y, width, strip.height});
        x += width;
    }
    return boxes;
}

int tab_position(const ViewInput& in, Tab tab) {
    const auto at = std::find(in.tabs.begin(), in.tabs.end(), tab);
    return at == in.tabs.end() ? 0 : static_cast<int>(at - in.tabs.begin());
}

Box tab_box(const ViewInput& in, int t) {
    const std::vector<Box> boxes = tab_boxes(in);
    return boxes[static_cast<std::size_t>(std::clamp(t, 0, static_cast<int>(boxes.size()) - 1))];
}

Box tab_label_box(const ViewInput& in, int t) {
    return padded(tab_box(in, t), TAB_PADDING * in.scale);
}

Box list_viewport(const ViewInput& in) {
    const float s = in.scale;
    const float band = !in.warning              ? 0.0f
                       : in.tab == Tab::Changes ? scaled(CHANGES_BAND_HEIGHT, s)
                                                : scaled(WARNING_BAND_HEIGHT, s);
    const float top = scaled(HEADER_HEIGHT, s) + scaled(TAB_STRIP_HEIGHT, s);
    return Box{0, top, list_width(in), std::max(client_height(in) - status_height(in) - top - band, 1.0f)};
}

float row_height(const ViewInput& in) {
    const bool two_lines = in.tab == Tab::LargestFiles || in.tab == Tab::Duplicates || in.tab == Tab::Found ||
                           in.tab == Tab::Changes;
    return scaled(two_lines ? 46.0f : 32.0f, in.scale);
}

double max_scroll(const ViewInput& in) {
    return std::max(static_cast<double>(row_height(in)) * static_cast<double>(in.row_count) -
                        static_cast<double>(list_viewport(in).height),
                    0.0);
}

Box treemap_box(const ViewInput& in) {
    const float s = in.scale;
    const float pad = scaled(8, s);
    const float edge = list_width(in) + 1;
    const float top = scaled(HEADER_HEIGHT, s);
    return Box{
        edge + pad, top + pad, std::max(client_width(in) - edge - 2 * pad, 1.0f),
        std::max(std::max(client_height(in) - top - status_height(in), 1.0f) - scaled(LEGEND_HEIGHT, s) - pad,
                 1.0f)};
}

std::optional<Box> scroll_bar_strip(const ViewInput& in) {
    const Box view = list_viewport(in);
    if (static_cast<double>(row_height(in)) * static_cast<double>(in.row_count) <= view.height)
        return std::nullopt;
    const float s = in.scale;
    const float right = view.x + view.width;
    return Box{right - 16 * s, view.y + 2 * s, 14 * s, view.height - 4 * s};
}

Box cancel_button(const ViewInput& in) {
    const float s = in.scale;
    return Box{std::round((client_width(in) - 140 * s) * 0.5f),
               std::round(110 * s + client_height(in) * 0.5f), 140 * s, 38 * s};
}

ProgressBoxes progress_boxes(const ViewInput& in) {
    const float s = in.scale;
    const float w = client_width(in);
    const float cy = client_height(in) * 0.5f;
    const float bar_width = std::min(w - 80 * s, 520 * s);
    return ProgressBoxes{
        Box{0, cy - 130 * s, w, 40 * s},
        Box{0, cy - 80 * s, w, 28 * s},
        Box{std::round((w - bar_width) * 0.5f), cy - 34 * s, bar_width, 8 * s},
        Box{40 * s, cy - 12 * s, w - 80 * s, 24 * s},
        Box{0, cy + 14 * s, w, 24 * s},
    };
}

HomeCards home_cards(const ViewInput& in) {
    const float s = in.scale;
    const float w = client_width(in);
    const float content = std::min(w - 48 * s, 980 * s);
    const float gap = 16 * s;
    const float columns = std::max(1.0f, std::floor((content + gap) / (300 * s + gap)));
    const float card_width = std::floor((content - (columns - 1) * gap) / columns);
    const float card_height = scaled(112, s);
    const float left = std::round((w - content) * 0.5f);
    const float top = 150 * s + scaled(HEADER_HEIGHT, s);
    const auto per_row = static_cast<std::size_t>(columns);

    HomeCards home;
    const float header = scaled(HEADER_HEIGHT, s);
    home.title = Box{left, header + 44 * s, content, 44 * s};
    home.tagline = Box{left, header + 84 * s, content, 44 * s};  // two lines where one is too short
    const std::size_t count = in.drive_count + 1;
    for (std::size_t i = 0; i < count; ++i) {
        const auto column = static_cast<float>(i % per_row);
        const auto row = static_cast<float>(i / per_row);
        home.cards.push_back(Box{left + column * (card_width + gap), top + row * (card_height + gap),
                                 card_width, card_height});
    }
    if (in.recycle_bin) {
        const auto last_row = static_cast<float>((count - 1) / per_row);
        const float line_top = top + last_row * (card_height + gap) + card_height + 32 * s;
        home.recycle_line = Box{left, line_top, content, 40 * s};
        if (in.measure) {
            const float label_width = measure(in, recycle_bin_text(*in.recycle_bin), TextStyle::Body);
            const float button_width =
                measure(in, tr("휴지통 비우기", "Empty the Recycle Bin"), TextStyle::Body);
            home.recycle_button =
                Box{left + 16 * s + label_width + 30 * s, line_top + 4 * s, button_width + 28 * s, 32 * s};
        }
    }
    // The recent scans go below whatever is there, leaving the cards where they were.
    const float above = home.recycle_line ? home.recycle_line->y + home.recycle_line->height
                                          : home.cards.back().y + home.cards.back().height;
    const float heading_top = above + (home.recycle_line ? 12 : 28) * s;
    const float row_height = scaled(RECENT_ROW_HEIGHT, s);
    const float bottom = client_height(in) - 12 * s;
    const float button_width =
        std::ceil(measure(in, tr("지금과 비교", "Compare with now"), TextStyle::Body)) + 28 * s;
    float y = heading_top + 32 * s;
    for (std::size_t i = 0; i < std::min(in.recent_count, RECENT_SHOWN) && y + row_height <= bottom; ++i) {
        const Box row{left, y, content, row_height};
        home.recent.push_back(RecentRow{row, Box{row.x + row.width - 6 * s - button_width, row.y + 4 * s,
                                                 button_width, row.height - 8 * s}});
        y += row_height + 4 * s;
    }
    if (!home.recent.empty()) home.recent_heading = Box{left, heading_top, content, 28 * s};
    return home;
}

Box card_column(const Box& card, float scale) {
    return Box{card.x + 60 * scale, card.y, card.width - 76 * scale, card.height};
}

Box recent_text_box(const RecentRow& row, float scale) {
    const float left = row.row.x + 40 * scale;
    return Box{left, row.row.y, std::max(row.compare.x - 16 * scale - left, 1.0f), row.row.height};
}

ListMessage list_message(const ViewInput& in) {
    const float s = in.scale;
    const Box view = list_viewport(in);
    const float bar = std::min(320 * s, view.width - 64 * s);
    const float left = view.x + 16 * s;
    const float width = view.width - 32 * s;
    return ListMessage{Box{left, view.y + 28 * s, width, 26 * s},
                       Box{view.x + std::round((view.width - bar) * 0.5f), view.y + 64 * s, bar, 6 * s},
                       Box{left, view.y + 76 * s, width, 44 * s}, Box{left, view.y + 20 * s, width, 44 * s}};
}

Box warning_text_box(const ViewInput& in) {
    const float s = in.scale;
    const Box view = list_viewport(in);
    return Box{12 * s, view.y + view.height, list_width(in) - 24 * s,
               scaled(in.tab == Tab::Changes ? CHANGES_BAND_HEIGHT : WARNING_BAND_HEIGHT, s)};
}

namespace {

// A sort control at the right of the band, `top` DIPs down, as wide as the widest of its texts.
Box sort_chip_box(const ViewInput& in, std::initializer_list<std::string_view> texts, float top) {
    const float s = in.scale;
    const Box band = warning_text_box(in);
    float widest = 0;
    for (const std::string_view text : texts)
        widest = std::max(widest, measure(in, text, TextStyle::Small));
    const float width = std::min(std::ceil(widest) + 2 * CHIP_PADDING * s, band.width);
    return Box{band.x + band.width - width, band.y + top * s, width, 18 * s};
}

}  // namespace

Box found_sort_box(const ViewInput& in) {
    return sort_chip_box(in,
                         {found_order_text(FoundOrder::Size), found_order_text(FoundOrder::Name),
                          found_order_text(FoundOrder::Modified)},
                         21);
}

Box found_footer_box(const ViewInput& in) {
    const Box band = warning_text_box(in);
    return Box{band.x, band.y + 1 * in.scale, band.width, 20 * in.scale};
}

Box changes_sort_box(const ViewInput& in) {
    return sort_chip_box(in,
                         {change_order_text(ChangeOrder::Increase), change_order_text(ChangeOrder::Decrease),
                          change_order_text(ChangeOrder::Absolute)},
                         38);
}

Box changes_counts_box(const ViewInput& in) {
    const Box band = warning_text_box(in);
    return Box{band.x, band.y + 19 * in.scale, band.width, 18 * in.scale};
}

float status_details_room(const ViewInput& in, float free_width) {
    const float s = in.scale;
    return client_width(in) - 12 * s - free_width - 36 * s - 12 * s;
}

std::optional<Box> search_box(const ViewInput& in) {
    if (in.screen != Screen::Results) return std::nullopt;
    const float s = in.scale;
    float right = client_width(in);
    for (const HeaderButton& button : header_buttons(in)) {
        if (button.kind != HitKind::Home && button.kind != HitKind::Up) right = std::min(right, button.box.x);
    }
    const float width = std::clamp(std::round(0.28f * client_width(in)), 160 * s, 300 * s);
    const float height = scaled(32, s);
    return Box{right - 8 * s - width, std::round((scaled(HEADER_HEIGHT, s) - height) * 0.5f), width, height};
}

Box search_text_box(const Box& field, float scale) {
    return Box{field.x + 30 * scale, field.y, std::max(field.width - 38 * scale, 1.0f), field.height};
}

float search_text_shift(float caret_x, const Box& text_box) {
    return std::max(0.0f, caret_x + 1 - text_box.width);
}

std::vector<Crumb> breadcrumb(const ViewInput& in) {
    std::vector<Crumb> crumbs;
    if (in.screen != Screen::Results || !in.measure || !in.tree) return crumbs;
    const float s = in.scale;
    float left = 0;
    float right = client_width(in);
    for (const HeaderButton& button : header_buttons(in)) {
        if (button.kind == HitKind::Home || button.kind == HitKind::Up) {
            left = std::max(left, button.box.x + button.box.width);
        } else {
            right = std::min(right, button.box.x);
        }
    }
    if (const std::optional<Box> field = search_box(in)) right = std::min(right, field->x);
    left += 10 * s;
    const float separator = measure(in, " \u203A ", TextStyle::Body);

    const std::vector<NodeIndex> chain = chain_to(*in.tree, in.current_folder);
    std::vector<float> widths;
    for (std::size_t i = 0; i < chain.size(); ++i) {
        const bool last = i + 1 == chain.size();
        Crumb crumb;
        crumb.label = std::string(name_of(*in.tree, chain[i]));  // the root's name is its shown path
        crumb.node = chain[i];
        const float text = measure(in, crumb.label, last ? TextStyle::BodyBold : TextStyle::Body);
        widths.push_back(std::min(text, 260 * s) + 16 * s);
        crumbs.push_back(std::move(crumb));
    }
    // Drop segments from the left until the rest fits, keeping the current folder in any case.
    const float available = right - 10 * s - left;
    std::size_t dropped = 0;
    const auto needed = [&] {
        float sum = dropped ? 40 * s : 0.0f;
        for (std::size_t i = dropped; i < widths.size(); ++i)
            sum += widths[i] + separator;
        return sum;
    };
    while (widths.size() - dropped > 1 && needed() > available)
        ++dropped;
    crumbs.erase(crumbs.begin(), crumbs.begin() + static_cast<std::ptrdiff_t>(dropped));
    widths.erase(widths.begin(), widths.begin() + static_cast<std::ptrdiff_t>(dropped));
    if (dropped) {
        crumbs.insert(crumbs.begin(), Crumb{"\u2026", false, NO_NODE, {}});
        widths.insert(widths.begin(), measure(in, "\u2026", TextStyle::Body) + 16 * s);
    }
    const float height = scaled(32, s);
    const float top = std::round((scaled(HEADER_HEIGHT, s) - height) * 0.5f);
    float x = left;
    for (std::size_t i = 0; i < crumbs.size(); ++i) {
        crumbs[i].box = Box{x, top, widths[i], height};
        x += widths[i] + separator;
    }
    return crumbs;
}

Box notice_pill(const ViewInput& in, float text_width) {
    const float s = in.scale;
    const float w = client_width(in);
    // A pixel to spare: the text's room comes back from the pill's width through float sums, and a hair
    // less than the measured width is enough for DirectWrite to cut the last word.
    const float pill = std::min(std::ceil(text_width) + 1 + 2 * NOTICE_PADDING * s, w - 32 * s);
    return Box{std::round((w - pill) * 0.5f), client_height(in) - status_height(in) - 60 * s, pill, 38 * s};
}

Box highlight_chip(const ViewInput& in, float text_width, int line) {
    const float s = in.scale;
    const Box area = treemap_box(in);
    const float width = std::min(text_width + 2 * CHIP_PADDING * s, area.width - 16 * s);
    return Box{area.x + area.width - 8 * s - width, area.y + 8 * s + static_cast<float>(line) * 30 * s, width,
               24 * s};
}

Legend legend(const ViewInput& in, const std::vector<KindTotal>& kinds) {
    const float s = in.scale;
    const Box area = treemap_box(in);
    Legend out;
    double sum = 0;
    for (const KindTotal& kind : kinds)
        sum += static_cast<double>(kind.total);
    const float bar_top = area.y + area.height + 8 * s;
    float x = area.x;
    for (const KindTotal& kind : kinds) {
        const auto width = static_cast<float>(static_cast<double>(kind.total) * area.width / sum);
        out.bar.emplace_back(kind.kind, Box{x, bar_top, width, 6 * s});
        x += width;
    }
    x = area.x;
    const float row_top = bar_top + 6 * s;
    for (const KindTotal& kind : kinds) {
        std::string label = std::string(kind_label(kind.kind)) + " " + format_size(kind.total);
        const float width = measure(in, label, TextStyle::Small) + 26 * s;
        if (x + width > area.x + area.width) break;
        out.entries.push_back(LegendEntry{kind.kind, std::move(label),
                                          Box{x, row_top + 7 * s, 10 * s, 10 * s},
                                          Box{x + 14 * s, row_top, width - 14 * s, 24 * s}});
        x += width;
    }
    return out;
}

std::vector<SwatchEntry> swatch_row(const ViewInput& in, const std::vector<std::string>& labels) {
    const float s = in.scale;
    const Box area = treemap_box(in);
    const float row_top = area.y + area.height + 8 * s + 6 * s;  // where the kinds legend has its labels
    std::vector<SwatchEntry> out;
    float x = area.x;
    for (const std::string& label : labels) {
        const float width = measure(in, label, TextStyle::Small) + 26 * s;
        if (x + width > area.x + area.width) break;
        out.push_back(SwatchEntry{label, Box{x, row_top + 7 * s, 10 * s, 10 * s},
                                  Box{x + 14 * s, row_top, width - 14 * s, 24 * s}});
        x += width;
    }
    return out;
}

Box padded(const Box& box, float padding) {
    return Box{box.x + padding, box.y, box.width - 2 * padding, box.height};
}

HitTarget hit_test(const ViewInput& in, float x, float y) {
    for (const HeaderButton& button : header_buttons(in)) {
        if (button.box.contains(x, y)) return HitTarget{button.kind, 0};
    }
    if (const std::optional<Box> field = search_box(in); field && field->contains(x, y))
        return HitTarget{HitKind::SearchField, 0};
    for (const Crumb& crumb : breadcrumb(in)) {
        if (crumb.box.contains(x, y)) {
            if (crumb.link) return HitTarget{HitKind::Crumb, crumb.node};
            break;  // "…" is not a link: the point falls through
        }
    }
    if (y < scaled(HEADER_HEIGHT, in.scale)) return {};
    switch (in.screen) {
        case Screen::Home: {
            const HomeCards home = home_cards(in);
            for (std::size_t i = 0; i < home.cards.size(); ++i) {
                if (home.cards[i].contains(x, y)) return HitTarget{HitKind::DriveCard, i};
            }
            if (home.recycle_button && home.recycle_button->contains(x, y))
                return HitTarget{HitKind::EmptyRecycleBin, 0};
            for (std::size_t i = 0; i < home.recent.size(); ++i) {
                if (home.recent[i].compare.contains(x, y)) return HitTarget{HitKind::CompareWithNow, i};
                if (home.recent[i].row.contains(x, y)) return HitTarget{HitKind::RecentScan, i};
            }
            return {};
        }
        case Screen::Scanning:
            if (cancel_button(in).contains(x, y)) return HitTarget{HitKind::CancelScan, 0};
            return {};
        case Screen::Results: break;
    }
    if (tab_strip(in).contains(x, y)) {
        const std::vector<Box> tabs = tab_boxes(in);
        for (std::size_t t = 0; t < tabs.size(); ++t) {
            if (tabs[t].contains(x, y)) return HitTarget{HitKind::Tab, t};
        }
        return {};
    }
    if (in.tab == Tab::Found && in.warning && found_sort_box(in).contains(x, y))
        return HitTarget{HitKind::FoundSort, 0};
    if (in.tab == Tab::Changes && in.warning && changes_sort_box(in).contains(x, y))
        return HitTarget{HitKind::ChangesSort, 0};
    if (const std::optional<Box> bar = scroll_bar_strip(in); bar && bar->contains(x, y)) {
        return HitTarget{HitKind::ScrollBar, 0};
    }
    const Box view = list_viewport(in);
    if (view.contains(x, y)) {
        const double row = std::floor((static_cast<double>(y) - view.y + in.scroll) / row_height(in));
        if (row >= 0 && row < static_cast<double>(in.row_count))
            return HitTarget{HitKind::Row, static_cast<std::uint64_t>(row)};
        return {};
    }
    if (treemap_box(in).contains(x, y) && in.tiles) {
        // From the last tile back: the innermost tile was laid out last.
        for (auto tile = in.tiles->rbegin(); tile != in.tiles->rend(); ++tile) {
            if (x >= tile->x && x < tile->x + tile->width && y >= tile->y && y < tile->y + tile->height) {
                return HitTarget{HitKind::Tile, tile->node};
            }
        }
    }
    return {};
}

MinimumSize minimum_window_size(unsigned dpi) {
    const double s = std::max(dpi, 96u) / 96.0;
    return MinimumSize{static_cast<int>(720 * s), static_cast<int>(480 * s)};
}

RowColumns row_columns(const Box& viewport, float start, float first_line, float scale) {
    const float s = scale;
    const float right = viewport.x + viewport.width - 10 * s;  // the scroll bar's column
    RowColumns columns;
    columns.size = Box{right - 12 * s - 78 * s, 0, 78 * s, first_line};
    columns.name_left = start + 26 * s;
    const float wanted = 0.5f * viewport.width;  // the least width a name gets
    const Box share{columns.size.x - 52 * s, 0, 52 * s, first_line};
    // With the share text, the room left for the bar once the name has its due.
    const float room = share.x - 4 * s - 10 * s - (columns.name_left + wanted);
    constexpr float BAR = 64;
    constexpr float NARROWEST_BAR = 24;
    if (room >= NARROWEST_BAR * s) {
        const float bar = std::min(room, BAR * s);
        columns.share = share;
        columns.bar = Box{share.x - 4 * s - bar, first_line / 2 - 3 * s, bar, 6 * s};
        columns.name_right = columns.bar->x - 10 * s;
    } else if (share.x - 10 * s - columns.name_left >= wanted) {
        columns.share = share;
        columns.name_right = share.x - 10 * s;
    } else {
        columns.name_right = columns.size.x - 10 * s;
    }
    columns.name_right = std::max(columns.name_right, columns.name_left + 10 * s);
    return columns;
}

LineSplit split_line(float first_width, float second_width, float available, bool shorten_first) {
    available = std::max(available, 0.0f);
    if (shorten_first) {
        const float second = std::min(second_width, available);
        return LineSplit{std::min(first_width, available - second), second};
    }
    const float first = std::min(first_width, available);
    return LineSplit{first, std::min(second_width, available - first)};
}

std::vector<FocusStop> home_stops(const ViewInput& in) {
    const HomeCards home = home_cards(in);
    std::vector<FocusStop> stops;
    for (std::size_t i = 0; i < home.cards.size(); ++i)
        stops.push_back({HitTarget{HitKind::DriveCard, i}, home.cards[i]});
    if (home.recycle_button) stops.push_back({HitTarget{HitKind::EmptyRecycleBin, 0}, *home.recycle_button});
    for (std::size_t i = 0; i < home.recent.size(); ++i) {
        stops.push_back({HitTarget{HitKind::RecentScan, i}, home.recent[i].row});
        stops.push_back({HitTarget{HitKind::CompareWithNow, i}, home.recent[i].compare});
    }
    for (const HeaderButton& button : header_buttons(in))
        stops.push_back({HitTarget{button.kind, 0}, button.box});
    return stops;
}

std::optional<Box> focus_ring(const ViewInput& in, const Focus& focus, NodeIndex selection) {
    if (in.screen == Screen::Home) {
        const std::vector<FocusStop> stops = home_stops(in);
        if (stops.empty()) return std::nullopt;
        return stops[std::min(focus.home, stops.size() - 1)].box;
    }
    if (in.screen != Screen::Results) return std::nullopt;
    switch (focus.area) {
        case FocusArea::Header: {
            const std::vector<HeaderButton> buttons = header_buttons(in);
            if (buttons.empty()) return std::nullopt;
            return buttons[std::min(focus.button, buttons.size() - 1)].box;
        }
        case FocusArea::Search: return search_box(in);
        case FocusArea::Tabs: return tab_box(in, tab_position(in, in.tab));
        case FocusArea::List: return list_viewport(in);
        case FocusArea::Treemap: break;
    }
    if (in.tiles && selection != NO_NODE) {
        for (const TreemapRect& tile : *in.tiles) {
            if (tile.node == selection) return Box{tile.x, tile.y, tile.width, tile.height};
        }
    }
    return treemap_box(in);
}

}  // namespace spadrim
