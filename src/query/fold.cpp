// Case folding and comparisons for queries. See fold.h.
#include "query/fold.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

#include "strings/case_table.h"

namespace spadrim {
namespace {

constexpr char32_t CAPITAL_SIGMA = 0x3A3;
constexpr char32_t SMALL_SIGMA = 0x3C3;
constexpr char32_t FINAL_SIGMA = 0x3C2;

constexpr std::array<unsigned char, 256> LOWER = [] {
    std::array<unsigned char, 256> table{};
    for (int i = 0; i < 256; ++i)
        table[i] = static_cast<unsigned char>(i >= 'A' && i <= 'Z' ? i + 32 : i);
    return table;
}();

bool continuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

void append_utf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Hangul and the CJK blocks have no case: most non-Latin names skip the table.
bool caseless(char32_t c) {
    return (c >= 0x3040 && c <= 0x9FFF) || (c >= 0xAC00 && c <= 0xD7A3);
}

}  // namespace

void append_folded(std::string_view text, std::string& out) {
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n;) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (b < 0x80) {
            out += static_cast<char>(ascii_lower(b));
            ++i;
            continue;
        }
        char32_t c = 0;
        std::size_t length = 0;
        auto at = [&](std::size_t k) { return static_cast<unsigned char>(text[i + k]); };
        if ((b & 0xE0) == 0xC0 && i + 1 < n && continuation(at(1))) {
            c = (char32_t{b} & 0x1F) << 6 | (at(1) & 0x3F);
            length = 2;
        } else if ((b & 0xF0) == 0xE0 && i + 2 < n && continuation(at(1)) && continuation(at(2))) {
            c = (char32_t{b} & 0x0F) << 12 | (char32_t{at(1)} & 0x3F) << 6 | (at(2) & 0x3F);
            length = 3;
        } else if ((b & 0xF8) == 0xF0 && i + 3 < n && continuation(at(1)) && continuation(at(2)) &&
                   continuation(at(3))) {
            c = (char32_t{b} & 0x07) << 18 | (char32_t{at(1)} & 0x3F) << 12 | (char32_t{at(2)} & 0x3F) << 6 |
                (at(3) & 0x3F);
            length = 4;
        } else {
            out += static_cast<char>(b);  // not UTF-8: kept
            ++i;
            continue;
        }
        const std::string_view original = text.substr(i, length);
        i += length;
        if (c == CAPITAL_SIGMA || c == FINAL_SIGMA) {
            append_utf8(out, SMALL_SIGMA);
            continue;
        }
        if (caseless(c)) {
            out += original;
            continue;
        }
        const LowerMapping* end = LOWER_MAPPINGS + LOWER_MAPPING_COUNT;
        const LowerMapping* found = std::lower_bound(
            LOWER_MAPPINGS, end, c, [](const LowerMapping& m, char32_t value) { return m.from < value; });
        if (found == end || found->from != c) {
            out += original;
            continue;
        }
        for (const char32_t mapped : found->to) {
            if (mapped) append_utf8(out, mapped);
        }
    }
}

std::string folded(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    append_folded(text, out);
    return out;
}

bool contains_folded_slowly(std::string_view name, std::string_view needle, std::string& scratch) {
    scratch.clear();
    append_folded(name, scratch);
    return scratch.find(needle) != std::string::npos;
}

namespace {

bool same_at(std::string_view text, std::size_t at, std::string_view piece, bool lower_ascii) {
    if (!lower_ascii) return text.compare(at, piece.size(), piece) == 0;
    for (std::size_t i = 0; i < piece.size(); ++i) {
        if (static_cast<char>(ascii_lower(static_cast<unsigned char>(text[at + i]))) != piece[i])
            return false;
    }
    return true;
}

// A pattern of literal pieces and stars only (the usual *.iso, report*, *draft*): the first piece
// anchored at the start, the last at the end, each piece in between at its leftmost place after the one
// before, which is enough with no ? to constrain it. Whole UTF-8 pieces can only meet whole characters
// of valid text, so bytes compare as characters.
bool starred_matches(std::string_view pattern, std::string_view text, bool lower_ascii) {
    const std::size_t first_star = pattern.find('*');
    const std::size_t last_star = pattern.rfind('*');
    const std::string_view head = pattern.substr(0, first_star);
    const std::string_view tail = pattern.substr(last_star + 1);
    if (head.size() + tail.size() > text.size()) return false;
    if (!same_at(text, 0, head, lower_ascii)) return false;
    if (!same_at(text, text.size() - tail.size(), tail, lower_ascii)) return false;
    std::size_t at = head.size();
    const std::size_t end = text.size() - tail.size();
    std::size_t p = first_star + 1;
    while (p < last_star) {
        const std::size_t star = pattern.find('*', p);
        const std::string_view piece = pattern.substr(p, star - p);
        p = star + 1;
        if (piece.empty()) continue;
        for (;; ++at) {
            if (at + piece.size() > end) return false;
            if (same_at(text, at, piece, lower_ascii)) break;
        }
        at += piece.size();
    }
    return true;
}

}  // namespace

bool wildcard_matches(std::string_view pattern, std::string_view text, bool lower_ascii) {
    if (pattern.find('*') != std::string_view::npos && pattern.find('?') == std::string_view::npos)
        return starred_matches(pattern, text, lower_ascii);
    auto next_character = [&](std::size_t at) {
        ++at;
        while (at < text.size() && continuation(static_cast<unsigned char>(text[at])))
            ++at;
        return at;
    };
    std::size_t p = 0;
    std::size_t t = 0;
    std::size_t star = std::string_view::npos;
    std::size_t mark = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            mark = t;
        } else if (p < pattern.size() && pattern[p] == '?') {
            ++p;
            t = next_character(t);
        } else if (p < pattern.size() &&
                   pattern[p] == static_cast<char>(lower_ascii
                                                       ? ascii_lower(static_cast<unsigned char>(text[t]))
                                                       : static_cast<unsigned char>(text[t]))) {
            ++p;
            ++t;
        } else if (star != std::string_view::npos) {
            p = star + 1;
            mark = next_character(mark);
            t = mark;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

}  // namespace spadrim
