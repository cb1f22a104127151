// What lies under a point of the window: the targets that the hit test reports, that the painters
// compare with the hover target, and that input turns into actions.
#pragma once

#include <cstdint>

namespace spadrim {

enum class HitKind : std::uint8_t {
    None = 0,
    Home = 1,
    Up = 2,
    Crumb = 3,
    Refresh = 4,
    Menu = 5,
    DriveCard = 6,
    EmptyRecycleBin = 7,
    CancelScan = 8,
    Tab = 9,
    Row = 10,
    ScrollBar = 11,
    Tile = 12,
    SearchField = 13,
    FoundSort = 14,       // the Found list's sort control
    RecentScan = 15,      // a remembered scan's row on the home screen: opens it
    CompareWithNow = 16,  // that row's second action
    ChangesSort = 17,     // the Changes list's sort control
};

struct HitTarget {
    HitKind kind = HitKind::None;
    std::uint64_t payload = 0;  // node, card, tab or row index for the kinds that carry one
    bool operator==(const HitTarget&) const = default;
};

}  // namespace spadrim
