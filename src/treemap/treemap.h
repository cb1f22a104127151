// Squarified treemap layout: turns a folder of the File tree and a rectangle (client pixels) into a flat
// list of rectangles, one per shown node, in depth-first pre-order (a folder before its contents, so
// drawing the list in order paints contents over their folder). Draws nothing; pure apart from the
// output list, so it is tested and benchmarked natively.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "scan/tree.h"

namespace spadrim {

struct TreemapRect {
    float x;
    float y;
    float width;
    float height;
    NodeIndex node;
    std::uint8_t is_folder;
};

struct RectD {
    double x;
    double y;
    double width;
    double height;
};

// A layout stops adding once it holds this many rectangles (calls already running finish their children).
inline constexpr std::size_t TREEMAP_CAP = 40000;
// Children of folders at this depth are laid out; their own contents are not.
inline constexpr int TREEMAP_MAX_DEPTH = 24;

// The label band at the top of a folder tile and the margin on its other sides, in pixels for a DPI.
int treemap_header(unsigned dpi);
int treemap_inset(unsigned dpi);

// The size a node is laid out by, where it is not the node's own (a filter shows only the matching
// part of each folder); nodes of size 0 get no tile.
using TreemapSize = std::function<std::uint64_t(NodeIndex)>;

// Appends the rectangles of folder's contents, laid out inside rect, to out; by each node's size, or by
// `size` when one is given.
void layout_treemap(const FileTree& tree, NodeIndex folder, RectD rect, int depth, int header, int inset,
                    std::vector<TreemapRect>& out, const TreemapSize& size = {});

// One level: the rectangles of areas (in order, largest first) packed into rect in squarified rows.
std::vector<RectD> squarify(const std::vector<double>& areas, RectD rect);

}  // namespace spadrim
