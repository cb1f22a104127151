// Treemap layout. See treemap.h.
#include "treemap/treemap.h"

#include <algorithm>
#include <cmath>

namespace spadrim {
namespace {

// A child with its size beside it, so that ordering reads no nodes unless two sizes are equal.
struct Child {
    std::uint64_t size;
    NodeIndex node;
};

// Children, and areas and rectangles of the ordered ones, of the levels in progress, used as stacks: each
// level takes a slice at the end of each and gives it back before returning, so a whole layout allocates
// only while they grow. Slices are addressed by index, since a deeper level may reallocate.
struct LayoutScratch {
    const TreemapSize* size = nullptr;  // empty: each node's own
    std::vector<Child> children;
    std::vector<double> areas;
    std::vector<RectD> rects;
};

// Integers up to this are exact in a double, and so is every sum of them that stays below it.
constexpr std::uint64_t EXACT_DOUBLE_LIMIT = std::uint64_t{1} << 53;

double worst_ratio(double k, double sum, double largest, double smallest) {
    return std::max(k * largest / (sum * sum), sum * sum / (k * smallest));
}

// Lays out whole rows until every index below needed has its rectangle; returns where the last row ends.
// A row that reaches count is closed there, as if no child followed.
std::size_t squarify_into(const double* areas, std::size_t count, RectD rect, RectD* out,
                          std::size_t needed) {
    double x0 = rect.x;
    double y0 = rect.y;
    double c = rect.width;
    double d = rect.height;
    std::size_t start = 0;
    while (start < count && start < needed) {
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
    return start;
}

// Orders and squarifies the level's children as far as the shown ones need. A child whose area is under
// 1 can never get a tile (one side of a rectangle of that area is under 1 pixel), and folders often
// hold thousands of such children: ordering them all would dominate the layout. The children that can
// be shown are ordered as sorted_children orders them; of the rest, only enough to close the last row of
// the shown ones, and by size alone, since equal sizes give equal areas. So the rows, and every
// rectangle used, are the same as with all children in order. Returns how many children may be shown.
std::size_t place_children(const FileTree& tree, RectD rect, std::size_t base, std::size_t placed,
                           double total, bool exact, LayoutScratch& scratch) {
    const auto first = scratch.children.begin() + static_cast<std::ptrdiff_t>(base);
    const auto last = scratch.children.end();
    const std::size_t count = scratch.children.size() - base;
    const auto before = [&](const Child& a, const Child& b) {
        if (a.size != b.size) return a.size > b.size;
        // Bytes compared as unsigned char, a prefix first: the order of sorted_children.
        return name_of(tree, a.node) < name_of(tree, b.node);
    };
    const auto larger = [](const Child& a, const Child& b) { return a.size > b.size; };

    // The total is a sum in Folders order. Below the exact limit any order gives it; above it, only
    // that order does, so then everything is ordered first.
    std::size_t known = 0;
    if (!exact) {
        std::sort(first, last, before);
        known = count;
        total = 0;
        for (auto it = first; it != last; ++it)
            total += static_cast<double>(it->size);
    }
    const double scale = rect.width * rect.height / total;
    const auto area_of = [&](const Child& child) { return static_cast<double>(child.size) * scale; };
    const auto can_show = [&](const Child& child) { return area_of(child) >= 1; };
    // Areas grow with sizes, so the children that can be shown come first in Folders order.
    std::size_t shown = 0;
    if (known == count) {
        shown = static_cast<std::size_t>(std::count_if(first, last, can_show));
    } else {
        shown = static_cast<std::size_t>(std::partition(first, last, can_show) - first);
        std::sort(first, first + static_cast<std::ptrdiff_t>(shown), before);
        known = shown;
    }
    if (shown == 0) return 0;

    const auto take_areas = [&](std::size_t from, std::size_t to) {
        scratch.areas.resize(placed + to);
        scratch.rects.resize(placed + to);
        for (std::size_t i = from; i < to; ++i)
            scratch.areas[placed + i] = area_of(scratch.children[base + i]);
    };
    take_areas(0, known);
    // The row of the last shown child mostly closes at the first child after it, so the rest are ordered
    // one, then two, four... at a time, each by a pass that only compares against the few kept so far.
    std::size_t extra = 1;
    for (;;) {
        const std::size_t wanted = std::min(count, shown + extra);
        if (known < wanted) {
            const auto from = first + static_cast<std::ptrdiff_t>(known);
            std::partial_sort(from, first + static_cast<std::ptrdiff_t>(wanted), last, larger);
            take_areas(known, wanted);
            known = wanted;
        }
        const std::size_t row_end =
            squarify_into(scratch.areas.data() + placed, known, rect, scratch.rects.data() + placed, shown);
        // A row ending at the last ordered child may have been cut short by the lack of a next one.
        if (row_end < known || known == count) return shown;
        extra *= 2;
    }
}

void layout_level(const FileTree& tree, NodeIndex folder, RectD rect, int depth, int header, int inset,
                  std::vector<TreemapRect>& out, LayoutScratch& scratch) {
    if (out.size() >= TREEMAP_CAP) return;
    if (rect.width < 1 || rect.height < 1) return;
    const std::size_t base = scratch.children.size();
    std::uint64_t total = 0;
    bool exact = true;
    for (NodeIndex i = tree.nodes[folder].first_child; i != NO_NODE; i = tree.nodes[i].next_sibling) {
        const Node& node = tree.nodes[i];
        if (node.flags & FLAG_REMOVED) continue;
        const std::uint64_t size = *scratch.size ? (*scratch.size)(i) : node.size;
        if (size == 0) continue;
        scratch.children.push_back(Child{size, i});
        exact = exact && size <= EXACT_DOUBLE_LIMIT - total;
        if (exact) total += size;
    }
    if (scratch.children.size() == base) return;

    const std::size_t placed = scratch.areas.size();
    const std::size_t shown =
        place_children(tree, rect, base, placed, static_cast<double>(total), exact, scratch);
    const double band_limit = 2.5 * header;
    for (std::size_t i = 0; i < shown; ++i) {
        const RectD r = scratch.rects[placed + i];
        if (r.width < 1 || r.height < 1) continue;
        const NodeIndex child = scratch.children[base + i].node;
        const bool is_folder = (tree.nodes[child].flags & FLAG_DIR) != 0;
        out.push_back(TreemapRect{static_cast<float>(r.x), static_cast<float>(r.y),
                                  static_cast<float>(r.width), static_cast<float>(r.height), child,
                                  static_cast<std::uint8_t>(is_folder ? 1 : 0)});
        if (!is_folder || depth >= TREEMAP_MAX_DEPTH) continue;
        // Small tiles have no room for a readable label, so they only get the frame.
        const int top = r.width > 70 && r.height > band_limit ? header : inset;
        const RectD inner{r.x + inset, r.y + top, r.width - 2.0 * inset, r.height - top - inset};
        if (inner.width >= 3 && inner.height >= 3) {
            layout_level(tree, child, inner, depth + 1, header, inset, out, scratch);
        }
    }
    scratch.children.resize(base);
    scratch.areas.resize(placed);
    scratch.rects.resize(placed);
}

}  // namespace

int treemap_header(unsigned dpi) {
    return static_cast<int>(std::lround(18.0 * dpi / 96.0));
}

int treemap_inset(unsigned dpi) {
    return static_cast<int>(std::lround(2.0 * dpi / 96.0));
}

void layout_treemap(const FileTree& tree, NodeIndex folder, RectD rect, int depth, int header, int inset,
                    std::vector<TreemapRect>& out, const TreemapSize& size) {
    LayoutScratch scratch;
    scratch.size = &size;
    layout_level(tree, folder, rect, depth, header, inset, out, scratch);
}

std::vector<RectD> squarify(const std::vector<double>& areas, RectD rect) {
    std::vector<RectD> rects(areas.size());
    squarify_into(areas.data(), areas.size(), rect, rects.data(), areas.size());
    return rects;
}

}  // namespace spadrim
