// The painters of one frame and what they work with.
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

// One frame: the current screen, then the header and the notice (paint_win.cpp).
void paint_frame(Window& window);

// The results screen: list column, treemap, legend and status line (results_win.cpp).
void paint_results(const Frame& f);

// Brings the treemap layout up to date for the current folder and box (results_win.cpp).
void update_treemap(Window& window, const ViewInput& in);

}  // namespace spadrim
