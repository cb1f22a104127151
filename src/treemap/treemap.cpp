// Treemap layout. See treemap.h.
#include "treemap/treemap.h"

#include <algorithm>
#include <cmath>

namespace spadrim {
namespace {

// Areas and rectangles of the levels in progress, used as a stack: each level takes a slice at the end
// and gives it back before returning, so a whole layout allocates these only while they grow. Slices are
// addressed by index, since a deeper level may reallocate.
struct LayoutScratch {
    std::vector<double> areas;
    std::vector<RectD> rects;
};

double worst_ratio(double k, double sum, double largest, double smallest) {
    return std::max(k * largest / (sum * sum), sum * sum / (k * smallest));
}

void squarify_into(const double* areas, std::size_t count, RectD rect, RectD* out) {
    double x0 = rect.x;
    double y0 = rect.y;
    double c = rect.width;
    double d = rect.height;
    std::size_t start = 0;
    while (start < count) {
        const double side = std::min(c, d);
        const double k = side * side;
        // Sum, maximum and minimum grow in the same order a fresh pass over the row would use, so each
        // comparison sees exactly the values a recomputation from scratch would give.
        double sum = areas[start];
        double largest = areas[start];
        double smallest = areas[start];
        std::size_t end = start + 1;
        for (; end < count; ++end) {
            const double next = areas[end];
            const double grown_sum = sum + next;
            const double grown_largest = std::max(largest, next);
            const double grown_smallest = std::min(smallest, next);
            // Written as "not at least" so that a NaN from degenerate areas closes the row.
            if (!(worst_ratio(k, sum, largest, smallest) >=
                  worst_ratio(k, grown_sum, grown_largest, grown_smallest)))
                break;
            sum = grown_sum;
            largest = grown_largest;
            smallest = grown_smallest;
        }
        if (c >= d) {
            const double w = d == 0 ? 0.0 : sum / d;
            double y = y0;
            for (std::size_t i = start; i < end; ++i) {
                const double h = w == 0 ? 0.0 : areas[i] / w;
                out[i] = RectD{x0, y, w, h};
                y += h;
            }
            x0 += w;
            c -= w;
        } else {
            const double h = c == 0 ? 0.0 : sum / c;
            double x = x0;
            for (std::size_t i = start; i < end; ++i) {
                const double w = h == 0 ? 0.0 : areas[i] / h;
                out[i] = RectD{x, y0, w, h};
                x += w;
            }
            y0 += h;
            d -= h;
        }
        start = end;
    }
}

void layout_level(const FileTree& tree, NodeIndex folder, RectD rect, int depth, int header, int inset,
                  std::vector<TreemapRect>& out, LayoutScratch& scratch) {
    if (out.size() >= TREEMAP_CAP) return;
    if (rect.width < 1 || rect.height < 1) return;
    std::vector<NodeIndex> children = sorted_children(tree, folder);
    // Largest first, so the empty ones are all at the end.
    while (!children.empty() && tree.nodes[children.back()].size == 0)
        children.pop_back();
    if (children.empty()) return;

    double total = 0;
    for (NodeIndex child : children)
        total += static_cast<double>(tree.nodes[child].size);
    const double scale = rect.width * rect.height / total;

    const std::size_t base = scratch.areas.size();
    const std::size_t count = children.size();
    scratch.areas.resize(base + count);
    scratch.rects.resize(base + count);
    for (std::size_t i = 0; i < count; ++i)
        scratch.areas[base + i] = static_cast<double>(tree.nodes[children[i]].size) * scale;
    squarify_into(scratch.areas.data() + base, count, rect, scratch.rects.data() + base);

    const double band_limit = 2.5 * header;
    for (std::size_t i = 0; i < count; ++i) {
        const RectD r = scratch.rects[base + i];
        if (r.width < 1 || r.height < 1) continue;
        const bool is_folder = (tree.nodes[children[i]].flags & FLAG_DIR) != 0;
        out.push_back(TreemapRect{static_cast<float>(r.x), static_cast<float>(r.y),
                                  static_cast<float>(r.width), static_cast<float>(r.height), children[i],
                                  static_cast<std::uint8_t>(is_folder ? 1 : 0)});
        if (!is_folder || depth >= TREEMAP_MAX_DEPTH) continue;
        // Small tiles have no room for a readable label, so they only get the frame.
        const int top = r.width > 70 && r.height > band_limit ? header : inset;
        const RectD inner{r.x + inset, r.y + top, r.width - 2.0 * inset, r.height - top - inset};
        if (inner.width >= 3 && inner.height >= 3) {
            layout_level(tree, children[i], inner, depth + 1, header, inset, out, scratch);
        }
    }
    scratch.areas.resize(base);
    scratch.rects.resize(base);
}

}  // namespace

int treemap_header(unsigned dpi) {
    return static_cast<int>(std::lround(18.0 * dpi / 96.0));
}

int treemap_inset(unsigned dpi) {
    return static_cast<int>(std::lround(2.0 * dpi / 96.0));
}

void layout_treemap(const FileTree& tree, NodeIndex folder, RectD rect, int depth, int header, int inset,
                    std::vector<TreemapRect>& out) {
    LayoutScratch scratch;
    layout_level(tree, folder, rect, depth, header, inset, out, scratch);
}

std::vector<RectD> squarify(const std::vector<double>& areas, RectD rect) {
    std::vector<RectD> rects(areas.size());
    squarify_into(areas.data(), areas.size(), rect, rects.data());
    return rects;
}

}  // namespace spadrim
