// SVG picture of a treemap. Tiles are laid out by layout_treemap at 96 DPI; labels go where the window
// writes them, clipped by nested <svg> viewports as the window clips them by their boxes.
#include "cli/svg.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <vector>

#include "app/paint/layout.h"
#include "cli/text.h"
#include "gfx/palette.h"
#include "kinds/kinds.h"
#include "treemap/treemap.h"

namespace spadrim {
namespace {

// The window's light theme: the picture is what the window shows.
constexpr const Palette& THEME = LIGHT;
constexpr double LEGEND = LEGEND_HEIGHT;  // the strip under the treemap
constexpr char FONT[] = "font-family=\"Segoe UI, Noto Sans, DejaVu Sans, sans-serif\" font-size=\"12\"";

std::string number(double value) {
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 2);
    return std::string(buffer, result.ptr);
}

std::string hex(std::uint32_t rgb) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "#%06X", static_cast<unsigned>(rgb & 0xFFFFFF));
    return buffer;
}

std::string hex(Colour c) {
    const auto byte = [](float v) {
        return static_cast<std::uint32_t>(std::lround(std::clamp(v, 0.0f, 1.0f) * 255));
    };
    return hex((byte(c.r) << 16) | (byte(c.g) << 8) | byte(c.b));
}

// Text whose overflow is clipped to the box, like a layout trimmed at paint time.
void label(std::string& out, double x, double y, double width, double height, std::string_view text,
           const std::string& fill, double opacity = 1) {
    if (width <= 0 || height <= 0) return;
    out += "<svg x=\"" + number(x) + "\" y=\"" + number(y) + "\" width=\"" + number(width) + "\" height=\"" +
           number(height) + "\"><text x=\"0\" y=\"13\" fill=\"" + fill + "\"";
    if (opacity < 1) out += " fill-opacity=\"" + number(opacity) + "\"";
    // Names may hold characters XML does not allow at all; xml_text replaces those too.
    out += ">" + xml_text(text) + "</text></svg>\n";
}

// A rough width of a label in the 12 px font, for packing the legend items.
double text_width(std::string_view text) {
    double width = 0;
    for (const char c : text) {
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80)
            width += (static_cast<unsigned char>(c) < 0x80) ? 6.6 : 12;
    }
    return width;
}

}  // namespace

std::string treemap_svg(const FileTree& tree, NodeIndex folder, const KindTotals& totals, unsigned width,
                        unsigned height) {
    const double w = width;
    const double h = height - LEGEND;
    std::vector<TreemapRect> tiles;
    layout_treemap(tree, folder, RectD{0, 0, w, h}, 0, treemap_header(96), treemap_inset(96), tiles);

    std::string out =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
        std::to_string(width) + "\" height=\"" + std::to_string(height) + "\" " + FONT + ">\n";
    out += "<rect width=\"100%\" height=\"100%\" fill=\"" + hex(THEME.window) + "\"/>\n";
    out += "<rect width=\"" + number(w) + "\" height=\"" + number(h) + "\" fill=\"" + hex(THEME.treemap_gap) +
           "\"/>\n";
    const double band = treemap_header(96);
    for (const TreemapRect& tile : tiles) {
        const Node& node = node_at(tree, tile.node);
        const std::string text = std::string(name_of(tree, tile.node)) + "  " + format_size(node.size);
        if (tile.is_folder) {
            out += "<rect x=\"" + number(tile.x) + "\" y=\"" + number(tile.y) + "\" width=\"" +
                   number(tile.width) + "\" height=\"" + number(tile.height) + "\" fill=\"" +
                   hex(THEME.raised) + "\"/>\n";
            if (tile.width > 70 && tile.height > 2.5 * band) {
                label(out, tile.x + 5, tile.y, tile.width - 10, band, text, hex(THEME.text_dim));
            }
            continue;
        }
        const double x = tile.x + 0.5;
        const double y = tile.y + 0.5;
        const double tw = std::max(tile.width - 1.0, 0.5);
        const double th = std::max(tile.height - 1.0, 0.5);
        out += "<rect x=\"" + number(x) + "\" y=\"" + number(y) + "\" width=\"" + number(tw) +
               "\" height=\"" + number(th) + "\" fill=\"" +
               hex(kind_colour(static_cast<FileKind>(node.kind & 7))) + "\"/>\n";
        if (tile.width > 84 && tile.height > 38) {
            label(out, x + 6, y + 4 - 2, tw - 12, 18, name_of(tree, tile.node), hex(ON_COLOUR_TEXT));
            label(out, x + 6, y + 21 - 2, tw - 12, 18, format_size(node.size), hex(ON_COLOUR_TEXT), 0.8);
        }
    }
    if (tiles.empty())
        label(out, w / 2 - 80, h / 2 - 9, 200, 18, "Nothing with a size to show", hex(THEME.text_dim));

    // Legend: a share bar of the kinds, then as many whole items as fit.
    const std::vector<KindTotal> kinds = kinds_list(totals);
    double sum = 0;
    for (const KindTotal& kind : kinds)
        sum += static_cast<double>(kind.total);
    double x = 0;
    const double bar_top = h + 8;
    for (const KindTotal& kind : kinds) {
        const double part = static_cast<double>(kind.total) * w / sum;
        out += "<rect x=\"" + number(x) + "\" y=\"" + number(bar_top) + "\" width=\"" + number(part) +
               "\" height=\"6\" fill=\"" + hex(kind_colour(kind.kind)) + "\"/>\n";
        x += part;
    }
    x = 0;
    for (const KindTotal& kind : kinds) {
        const std::string text = std::string(kind_label(kind.kind)) + " " + format_size(kind.total);
        const double item = text_width(text) + 26;
        if (x + item > w) break;
        out += "<rect x=\"" + number(x) + "\" y=\"" + number(bar_top + 6 + 7) +
               "\" width=\"10\" height=\"10\" rx=\"3\" fill=\"" + hex(kind_colour(kind.kind)) + "\"/>\n";
        label(out, x + 14, bar_top + 6 + 2, item - 14, 20, text, hex(THEME.text_dim));
        x += item;
    }
    out += "</svg>\n";
    return out;
}

}  // namespace spadrim
