// The keyboard's route round the results and the arrow keys in the treemap.
#include <gtest/gtest.h>

#include <vector>

#include "app/input/focus.h"

namespace spadrim {
namespace {

TEST(Focus, TabGoesRoundTheWindowAndShiftTabBack) {
    // Three header buttons, then the search field, the tabs, the list and the treemap.
    const std::vector<Focus> route{{FocusArea::Header, 0}, {FocusArea::Header, 1}, {FocusArea::Header, 2},
                                   {FocusArea::Search, 0}, {FocusArea::Tabs, 0},   {FocusArea::List, 0},
                                   {FocusArea::Treemap, 0}};
    for (std::size_t i = 0; i < route.size(); ++i) {
        EXPECT_EQ(next_focus(route[i], 3, false), route[(i + 1) % route.size()]) << i;
        EXPECT_EQ(next_focus(route[(i + 1) % route.size()], 3, true), route[i]) << i;
    }
    // A button the header no longer has counts as its last; without buttons the route is four stops.
    EXPECT_EQ(next_focus(Focus{FocusArea::Header, 7}, 3, false), (Focus{FocusArea::Search, 0}));
    EXPECT_EQ(next_focus(Focus{FocusArea::Treemap, 0}, 0, false), (Focus{FocusArea::Search, 0}));
    EXPECT_EQ(next_focus(Focus{FocusArea::Search, 0}, 0, true), (Focus{FocusArea::Treemap, 0}));
}

TreemapRect tile(float x, float y, float width, float height, bool folder = false) {
    return TreemapRect{x, y, width, height, 0, static_cast<std::uint8_t>(folder)};
}

TEST(Focus, ArrowsMoveToTheNearestTileThatWay) {
    // 0 1     a 2×2 grid of 100-pixel tiles, and a wide tile under it
    // 2 3
    // 4 4
    const std::vector<TreemapRect> grid{tile(0, 0, 100, 100), tile(100, 0, 100, 100), tile(0, 100, 100, 100),
                                        tile(100, 100, 100, 100), tile(0, 200, 200, 50)};
    EXPECT_EQ(nearest_tile(grid, 0, Direction::Right), 1u);
    EXPECT_EQ(nearest_tile(grid, 0, Direction::Down), 2u);
    EXPECT_EQ(nearest_tile(grid, 3, Direction::Left), 2u);
    EXPECT_EQ(nearest_tile(grid, 3, Direction::Up), 1u);
    EXPECT_EQ(nearest_tile(grid, 3, Direction::Down), 4u);
    EXPECT_EQ(nearest_tile(grid, 4, Direction::Up), 2u);  // both lie straight above: the earlier one
    EXPECT_FALSE(nearest_tile(grid, 0, Direction::Left));
    EXPECT_FALSE(nearest_tile(grid, 0, Direction::Up));
    EXPECT_FALSE(nearest_tile(grid, 4, Direction::Down));
    EXPECT_FALSE(nearest_tile(grid, 9, Direction::Down));

    // Straight ahead beats nearer but off to the side: from 0, the tile level with it at 250 rather
    // than the one at 150 that starts 60 pixels below it.
    const std::vector<TreemapRect> offset{tile(0, 0, 100, 100), tile(150, 160, 50, 50),
                                          tile(250, 0, 100, 100)};
    EXPECT_EQ(nearest_tile(offset, 0, Direction::Right), 2u);
}

TEST(Focus, ArrowsStayOutOfFoldersAndTheirContents) {
    // Folder A (0) holds files 1 and 2 side by side; folder B (3) right of it holds file 4.
    const std::vector<TreemapRect> nested{tile(0, 0, 200, 100, true), tile(0, 20, 100, 80),
                                          tile(100, 20, 100, 80), tile(200, 0, 100, 100, true),
                                          tile(200, 20, 100, 80)};
    EXPECT_EQ(nearest_tile(nested, 1, Direction::Right), 2u);  // within the folder
    EXPECT_EQ(nearest_tile(nested, 2, Direction::Right), 4u);  // the file level with it in the next folder
    EXPECT_EQ(nearest_tile(nested, 0, Direction::Right), 3u);  // past its own files
    EXPECT_EQ(nearest_tile(nested, 3, Direction::Left), 0u);
    EXPECT_FALSE(nearest_tile(nested, 1, Direction::Up));  // its folder holds it: not a way out
    EXPECT_FALSE(nearest_tile(nested, 0, Direction::Down));
}

}  // namespace
}  // namespace spadrim
