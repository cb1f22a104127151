// The colours of the interface: one palette for light mode and one for dark mode, plus the helpers
// that turn 0xRRGGBB values into drawing colours. Portable, so that other front ends (the SVG picture)
// share them.
#pragma once

#include <cstdint>

namespace spadrim {

struct Colour {
    float r;
    float g;
    float b;
    float a;
};

constexpr Colour colour(std::uint32_t rgb, float alpha = 1.0f) {
    return Colour{static_cast<float>((rgb >> 16) & 0xFF) / 255.0f,
                  static_cast<float>((rgb >> 8) & 0xFF) / 255.0f, static_cast<float>(rgb & 0xFF) / 255.0f,
                  alpha};
}

constexpr Colour with_alpha(Colour c, float alpha) {
    return Colour{c.r, c.g, c.b, alpha};
}

struct Palette {
    Colour window;  // clears each frame
    Colour bar;     // header bar and status line
    Colour panel;   // list column, drive cards
    Colour text;
    Colour text_dim;     // secondary text; hover tints and tracks at reduced alpha
    Colour line;         // rules, dividers, card outlines
    Colour accent;       // progress fills, tab underline, folder symbols
    Colour treemap_gap;  // behind the treemap tiles
    Colour raised;       // folder tiles
    Colour warning;      // behind what went wrong with the user's input (a query that cannot be read)
};

inline constexpr Palette LIGHT = {colour(0xF2F3F5), colour(0xFFFFFF), colour(0xFFFFFF), colour(0x16181D),
                                  colour(0x6B7280), colour(0xE2E4E8), colour(0x0D9488), colour(0xCDD1D7),
                                  colour(0xE4E7EB), colour(0xB42318)};
inline constexpr Palette DARK = {colour(0x18191C), colour(0x222327), colour(0x1E1F23), colour(0xECEDEF),
                                 colour(0x9CA0A8), colour(0x34363C), colour(0x2DD4BF), colour(0x111214),
                                 colour(0x26282D), colour(0xD92D20)};

// The treemap of the Changes tab: what happened to each file since the earlier scan. Growth goes from a
// pale to a deep warm colour with the size of the increase, shrinking likewise through cool ones; a new
// file has a colour of its own and an unchanged one is muted, so that what changed stands out.
struct GrowthColours {
    Colour grown_least;
    Colour grown_most;
    Colour shrunk_least;
    Colour shrunk_most;
    Colour added;
    Colour unchanged;
};

inline constexpr GrowthColours LIGHT_GROWTH = {colour(0xF2B661), colour(0xB4260F), colour(0x8DB8EE),
                                               colour(0x1E4FC2), colour(0x8B3FD9), colour(0xBFC4CB)};
inline constexpr GrowthColours DARK_GROWTH = {colour(0x8F6224), colour(0xF0582E), colour(0x2C4C7C),
                                              colour(0x5B9BFA), colour(0xA865F5), colour(0x3C4047)};

// Between two colours: t = 0 gives a, 1 gives b.
constexpr Colour mix(Colour a, Colour b, float t) {
    return Colour{a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t, a.a + (b.a - a.a) * t};
}

// Behind the notice pill and other notes laid over the content, in both themes (drawn translucent).
inline constexpr std::uint32_t NOTICE_BACKGROUND = 0x111214;
// Text on those notes and on the coloured treemap tiles.
inline constexpr std::uint32_t ON_COLOUR_TEXT = 0xFFFFFF;

}  // namespace spadrim
