// Scrolling the list: the scroll bar's thumb, dragging it, and the wheel. Pure functions of the view,
// so that the window procedure only decodes messages and applies the results.
#pragma once

#include <optional>

#include "app/paint/layout.h"

namespace spadrim {

struct ScrollThumb {
    float bar_left;  // left edge of the 8-DIP bar column
    float track_top;
    float track_length;
    float length;  // at least 28 DIPs, at most the track
    float top;
    float travel;  // how far the thumb's top can move
};

// The thumb for the current scroll offset, or nothing when all rows fit the viewport.
std::optional<ScrollThumb> scroll_thumb(const ViewInput& in);

// Where the pointer holds the thumb when a drag starts at y: where it was grabbed, or the thumb's
// middle when the press landed beside it (the thumb then jumps to centre on the pointer).
float grab_offset(const ScrollThumb& thumb, float x, float y, float scale);

// The scroll offset for a drag at pointer y.
double drag_scroll(const ViewInput& in, const ScrollThumb& thumb, float y, float grab);

// The offset after a wheel turn of delta (120 per notch; positive turns away from the user, up).
double wheel_scroll(const ViewInput& in, int delta);

}  // namespace spadrim
