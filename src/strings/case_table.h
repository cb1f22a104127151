// The Unicode lower-case data behind lower_case (generated at build time by make_case_table.py).
#pragma once

#include <cstddef>

namespace spadrim {

struct LowerMapping {
    char32_t from;
    char32_t to[3];  // the full lower-case form; unused places are 0
};

struct CasedRange {
    char32_t first;
    char32_t last;
};

extern const LowerMapping LOWER_MAPPINGS[];  // sorted by `from`
extern const std::size_t LOWER_MAPPING_COUNT;
extern const CasedRange CASED_RANGES[];  // sorted
extern const std::size_t CASED_RANGE_COUNT;

}  // namespace spadrim
