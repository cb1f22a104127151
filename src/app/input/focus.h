// The keyboard's way round the home screen and the results: which part of the window has the focus, where Tab
// and Shift+Tab move it, and which treemap tile an arrow key moves to. Pure functions, so the route is tested
// without a window.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "treemap/treemap.h"

namespace spadrim {

// The stops of the focus on the results screen, in Tab order: each header button, the search field, the
// tab strip (the arrow keys then choose a tab), the list, the treemap (the arrow keys then move between
// tiles).
enum class FocusArea : std::uint8_t {
    Header,
    Search,
    Tabs,
    List,
    Treemap,
};

struct Focus {
    FocusArea area = FocusArea::List;
    std::size_t button = 0;  // which header button, in the Header area
    std::size_t home = 0;    // which stop of the home screen (home_stops), while it shows
    bool operator==(const Focus&) const = default;
};

// The next stop after `from` (before it, with backwards), round the window: the last stop leads back to
// the first. A button past the header's buttons (a header that has lost some since) counts as its last.
Focus next_focus(Focus from, std::size_t header_buttons, bool backwards);

enum class Direction : std::uint8_t {
    Left,
    Right,
    Up,
    Down,
};

// The tile an arrow key moves to from tile `from`. Candidates lie wholly beyond from's edge in that
// direction and neither hold it nor lie inside it (a folder's own tiles are reached by opening it). The
// nearest wins: the gap along the direction plus twice the sideways gap between the two tiles' spans, so
// a tile straight ahead beats a closer one off to the side; then the smaller sideways offset of the
// centres; then the earlier tile. Nothing when no tile lies that way.
std::optional<std::size_t> nearest_tile(std::span<const TreemapRect> tiles, std::size_t from,
                                        Direction direction);

}  // namespace spadrim
