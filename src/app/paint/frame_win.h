// What every painter of one frame works with.
#pragma once

#include "app/window_win.h"

namespace spadrim {

struct Frame {
    Gfx& gfx;
    const Palette& palette;
    const ViewInput& in;
    const Window& window;
    float s;  // scale
};

// The results screen: list column, treemap, legend and status line (results_win.cpp).
void paint_results(const Frame& f);

}  // namespace spadrim
