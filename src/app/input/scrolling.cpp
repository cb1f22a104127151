// Scroll bar and wheel arithmetic. See scrolling.h.
#include "app/input/scrolling.h"

#include <algorithm>
#include <cmath>

namespace spadrim {
namespace {

double content_height(const ViewInput& in) {
    return static_cast<double>(row_height(in)) * static_cast<double>(in.row_count);
}

}  // namespace

std::optional<ScrollThumb> scroll_thumb(const ViewInput& in) {
    const Box view = list_viewport(in);
    const double content = content_height(in);
    if (view.height >= content) return std::nullopt;
    const float s = in.scale;
    ScrollThumb thumb{};
    thumb.bar_left = view.x + view.width - 10 * s;
    thumb.track_top = view.y + 2 * s;
    thumb.track_length = view.height - 4 * s;
    const double length = view.height * static_cast<double>(thumb.track_length) / content;
    thumb.length =
        std::isnan(length)
            ? 28 * s
            : static_cast<float>(std::clamp(length, static_cast<double>(28 * s),
                                            static_cast<double>(std::max(thumb.track_length, 28 * s))));
    thumb.length = std::min(thumb.length, thumb.track_length);
    thumb.travel = thumb.track_length - thumb.length;
    thumb.top =
        thumb.track_top + static_cast<float>(in.scroll / std::max(content - view.height, 1.0) * thumb.travel);
    return thumb;
}

float grab_offset(const ScrollThumb& thumb, float x, float y, float scale) {
    if (x < thumb.bar_left + 8 * scale && y >= thumb.top && y < thumb.top + thumb.length)
        return y - thumb.top;
    return thumb.length * 0.5f;
}

double drag_scroll(const ViewInput& in, const ScrollThumb& thumb, float y, float grab) {
    const double position = (static_cast<double>(y) - grab - thumb.track_top) / std::max(thumb.travel, 1.0f);
    return std::clamp(position, 0.0, 1.0) * std::max(content_height(in) - list_viewport(in).height, 0.0);
}

double wheel_scroll(const ViewInput& in, int delta) {
    const double step = (static_cast<double>(delta) / -120.0) * 3.0 * row_height(in);
    return std::clamp(in.scroll + step, 0.0, max_scroll(in));
}

}  // namespace spadrim
