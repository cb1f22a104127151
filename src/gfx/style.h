// The portable vocabulary of drawing: boxes, text styles and alignments, shared by the layout (which
// computes where things go), the painters and the graphics device, and by front ends without a window.
#pragma once

#include <cstdint>

#include "gfx/palette.h"

namespace spadrim {

enum class TextStyle : std::uint8_t {
    Small = 0,
    Body = 1,
    BodyBold = 2,
    Title = 3,
    Icons = 4,
};

enum class Align : std::uint8_t {
    Leading = 0,
    Centre = 1,
    Trailing = 2,
};

struct Box {
    float x = 0;
    float y = 0;
    float width = 0;
    float height = 0;
    bool contains(float px, float py) const {
        return px >= x && px < x + width && py >= y && py < y + height;
    }
    bool operator==(const Box&) const = default;
};

}  // namespace spadrim
