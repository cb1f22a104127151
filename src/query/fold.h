// Case folding and the comparisons of the query module: names are folded only when they hold more than
// ASCII, and ASCII is compared in place without allocating. Internal to the query module.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace spadrim {

// Appends the text's case-folded form: every character in its full lower-case form (the project's
// Unicode table, as lower_case uses), and both small sigmas as σ, so that "ΟΔΟΣ" and "οδοσ" meet. Bytes
// that are not UTF-8 are kept as they are.
void append_folded(std::string_view text, std::string& out);
std::string folded(std::string_view text);

inline bool is_ascii(std::string_view text) {
    unsigned char any = 0;
    for (const char c : text)
        any |= static_cast<unsigned char>(c);
    return any < 0x80;
}

inline unsigned char ascii_lower(unsigned char b) {
    return static_cast<unsigned char>(static_cast<unsigned>(b - 'A') < 26u ? b + 32 : b);
}

bool contains_folded_slowly(std::string_view name, std::string_view needle, std::string& scratch);

namespace fold_detail {

static_assert(std::endian::native == std::endian::little,
              "the word-wise search reads names as little-endian words");

inline constexpr std::uint64_t ONES = 0x0101010101010101;
inline constexpr std::uint64_t HIGHS = 0x8080808080808080;

inline std::uint64_t load_word(const char* at) {
    std::uint64_t word;
    std::memcpy(&word, at, sizeof word);
    return word;
}

// The eight bytes with ASCII capitals lowered; bytes of 0x80 and above are left as they are.
inline std::uint64_t lower_word(std::uint64_t word) {
    const std::uint64_t low = word & ~HIGHS;
    const std::uint64_t from_a = low + ONES * (0x80 - 'A');
    const std::uint64_t past_z = low + ONES * (0x80 - 'Z' - 1);
    return word | ((from_a & ~past_z & ~word & HIGHS) >> 2);
}

// The high bit of each zero byte, and possibly of bytes above one: candidates, checked one by one.
inline std::uint64_t zero_bytes(std::uint64_t word) {
    return (word - ONES) & ~word & HIGHS;
}

}  // namespace fold_detail

// Whether a folded, non-empty needle occurs in the name once folded. Inline: it runs once per name and
// word. An ASCII needle is looked for eight bytes at a time with the capitals lowered in the word (no
// byte of a longer UTF-8 sequence is ASCII, so what is found there is in the folded name too); only a
// name with more than ASCII is folded, since a character may fold to ASCII (the Kelvin sign to k).
// `scratch` is reused for those.
inline bool contains_folded(std::string_view name, std::string_view needle, bool needle_ascii,
                            std::string& scratch) {
    using namespace fold_detail;
    const std::size_t n = name.size();
    if (!needle_ascii) return !is_ascii(name) && contains_folded_slowly(name, needle, scratch);
    const char* const text = name.data();
    const std::size_t m = needle.size();
    const std::uint64_t first = ONES * static_cast<unsigned char>(needle[0]);
    const std::uint64_t second = ONES * static_cast<unsigned char>(m > 1 ? needle[1] : 0);
    // Positions in the word at `base` where the needle's first two bytes are (the word's last byte: its
    // first alone), each then checked whole: a common first letter alone would stop too often.
    auto found_in = [&](std::uint64_t word, std::size_t base) {
        const std::uint64_t lowered = lower_word(word);
        std::uint64_t candidates = zero_bytes(lowered ^ first);
        if (m > 1) candidates &= (zero_bytes(lowered ^ second) >> 8) | (std::uint64_t{0x80} << 56);
        for (; candidates != 0; candidates &= candidates - 1) {
            const std::size_t at = base + static_cast<std::size_t>(std::countr_zero(candidates) >> 3);
            if (at + m > n) return false;  // later candidates lie further on
            std::size_t k = 1;
            while (k < m && ascii_lower(static_cast<unsigned char>(text[at + k])) ==
                                static_cast<unsigned char>(needle[k]))
                ++k;
            if (k == m) return true;
        }
        return false;
    };
    std::uint64_t all = 0;
    if (n >= 8) {
        std::size_t i = 0;
        for (; i + 8 <= n; i += 8) {
            const std::uint64_t word = load_word(text + i);
            all |= word;
            if (found_in(word, i)) return true;
        }
        if (i < n) {  // the last bytes, in a word that overlaps the one before
            const std::uint64_t word = load_word(text + n - 8);
            all |= word;
            if (found_in(word, n - 8)) return true;
        }
    } else {
        for (std::size_t i = 0; i < n; ++i)
            all |= std::uint64_t{static_cast<unsigned char>(text[i])} << (8 * i);
        if (found_in(all, 0)) return true;
    }
    return (all & HIGHS) != 0 && contains_folded_slowly(name, needle, scratch);
}

// Whether folded text matches a folded pattern whole: * any run of characters, ? one character. With
// lower_ascii the text is ASCII as it stands, its capitals lowered as they are compared.
bool wildcard_matches(std::string_view pattern, std::string_view text, bool lower_ascii = false);

}  // namespace spadrim
