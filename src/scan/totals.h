// The cap on a tree's sizes that every reader of untrusted input (a scan file, a volume's MFT) applies.
#pragma once

#include <cstdint>
#include <limits>
#include <string_view>

namespace spadrim {

// What a reader says when its sizes pass the cap.
inline constexpr std::string_view TOTAL_PAST_LIMIT = "sizes that add up to more than 2^64 bytes";

// Adds a file's size to the sum of every file's size so far, or returns false, leaving the sum as it
// was, when it would pass 2^64 - 1. Every folder's total is at most that sum, so a tree whose files'
// sizes all went through here cannot overflow in roll_up, whatever its shape.
inline bool add_to_total(std::uint64_t& total, std::uint64_t size) {
    if (size > std::numeric_limits<std::uint64_t>::max() - total) return false;
    total += size;
    return true;
}

}  // namespace spadrim
