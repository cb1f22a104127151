// The keyboard's way round the results. See focus.h.
#include "app/input/focus.h"

#include <algorithm>
#include <cmath>
#include <tuple>

namespace spadrim {
namespace {

// Edges may meet with rounding: a tile this close counts as touching.
constexpr float TOUCH = 0.5f;

bool holds(const TreemapRect& outer, const TreemapRect& inner) {
    return inner.x >= outer.x - TOUCH && inner.y >= outer.y - TOUCH &&
           inner.x + inner.width <= outer.x + outer.width + TOUCH &&
           inner.y + inner.height <= outer.y + outer.height + TOUCH;
}

// How far the interval [a0, a1) lies from [b0, b1): 0 where they overlap.
float apart(float a0, float a1, float b0, float b1) {
    return std::max({0.0f, b0 - a1, a0 - b1});
}

}  // namespace

Focus next_focus(Focus from, std::size_t header_buttons, bool backwards) {
    // The stops in order: buttons 0..n-1, then the search field, the tabs, the list and the treemap.
    constexpr FocusArea AFTER_BUTTONS[] = {FocusArea::Search, FocusArea::Tabs, FocusArea::List,
                                           FocusArea::Treemap};
    constexpr std::size_t AREAS = std::size(AFTER_BUTTONS);
    const std::size_t stops = header_buttons + AREAS;
    std::size_t at = 0;
    if (from.area == FocusArea::Header) {
        at = header_buttons == 0 ? 0 : std::min(from.button, header_buttons - 1);
    } else {
        at = header_buttons + static_cast<std::size_t>(
                                  std::find(AFTER_BUTTONS, AFTER_BUTTONS + AREAS, from.area) - AFTER_BUTTONS);
    }
    at = backwards ? (at + stops - 1) % stops : (at + 1) % stops;
    if (at < header_buttons) return Focus{FocusArea::Header, at};
    return Focus{AFTER_BUTTONS[at - header_buttons], 0};
}

std::optional<std::size_t> nearest_tile(std::span<const TreemapRect> tiles, std::size_t from,
                                        Direction direction) {
    if (from >= tiles.size()) return std::nullopt;
    const TreemapRect& here = tiles[from];
    const bool across = direction == Direction::Left || direction == Direction::Right;
    std::optional<std::size_t> best;
    std::tuple<float, float> best_score{};
    for (std::size_t i = 0; i < tiles.size(); ++i) {
        const TreemapRect& there = tiles[i];
        if (i == from || holds(there, here) || holds(here, there)) continue;
        float ahead = 0;  // the gap along the direction; negative when not beyond the edge
        switch (direction) {
            case Direction::Right: ahead = there.x - (here.x + here.width); break;
            case Direction::Left: ahead = here.x - (there.x + there.width); break;
            case Direction::Down: ahead = there.y - (here.y + here.height); break;
            case Direction::Up: ahead = here.y - (there.y + there.height); break;
        }
        if (ahead < -TOUCH) continue;
        const float sideways = across ? apart(here.y, here.y + here.height, there.y, there.y + there.height)
                                      : apart(here.x, here.x + here.width, there.x, there.x + there.width);
        const float offset = across ? std::abs((there.y + there.height / 2) - (here.y + here.height / 2))
                                    : std::abs((there.x + there.width / 2) - (here.x + here.width / 2));
        const std::tuple<float, float> score{std::max(ahead, 0.0f) + 2 * sideways, offset};
        if (!best || score < best_score) {
            best = i;
            best_score = score;
        }
    }
    return best;
}

}  // namespace spadrim
