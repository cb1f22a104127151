// Unicode lower-casing. See case.h.
#include "strings/case.h"

#include <algorithm>
#include <vector>

#include "strings/case_table.h"
#include "strings/utf.h"

namespace spadrim {
namespace {

constexpr char32_t CAPITAL_SIGMA = 0x3A3;
constexpr char32_t SMALL_SIGMA = 0x3C3;
constexpr char32_t FINAL_SIGMA = 0x3C2;

bool is_cased(char32_t c) {
    const CasedRange* end = CASED_RANGES + CASED_RANGE_COUNT;
    const CasedRange* range = std::upper_bound(
        CASED_RANGES, end, c, [](char32_t value, const CasedRange& r) { return value < r.first; });
    return range != CASED_RANGES && c <= (range - 1)->last;
}

// Code points of valid UTF-8 (the text is made valid first).
std::vector<char32_t> decode(std::string_view text) {
    const std::u16string utf16 = utf16_from_utf8(text);
    std::vector<char32_t> points;
    for (std::size_t i = 0; i < utf16.size(); ++i) {
        const char32_t unit = utf16[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < utf16.size()) {
            points.push_back(0x10000 + ((unit - 0xD800) << 10) + (utf16[i + 1] - 0xDC00));
            ++i;
        } else {
            points.push_back(unit);
        }
    }
    return points;
}

void append(std::u32string& out, char32_t c) {
    const LowerMapping* end = LOWER_MAPPINGS + LOWER_MAPPING_COUNT;
    const LowerMapping* found = std::lower_bound(
        LOWER_MAPPINGS, end, c, [](const LowerMapping& m, char32_t value) { return m.from < value; });
    if (found == end || found->from != c) {
        out += c;
        return;
    }
    for (const char32_t mapped : found->to) {
        if (mapped) out += mapped;
    }
}

}  // namespace

std::string lower_case(std::string_view text) {
    const std::vector<char32_t> points = decode(text);
    std::u32string lowered;
    for (std::size_t i = 0; i < points.size(); ++i) {
        if (points[i] != CAPITAL_SIGMA) {
            append(lowered, points[i]);
            continue;
        }
        // Final when a cased letter comes before it and none follows (ignoring nothing in between: path
        // names rarely hold the apostrophes and marks the full rule skips).
        const bool after_cased = i > 0 && is_cased(points[i - 1]);
        const bool before_cased = i + 1 < points.size() && is_cased(points[i + 1]);
        lowered += after_cased && !before_cased ? FINAL_SIGMA : SMALL_SIGMA;
    }
    std::u16string utf16;
    for (const char32_t c : lowered) {
        if (c >= 0x10000) {
            utf16 += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
            utf16 += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            utf16 += static_cast<char16_t>(c);
        }
    }
    return utf8_from_utf16(utf16);
}

}  // namespace spadrim
