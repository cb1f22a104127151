// Case folding and the comparisons of the query module: names are folded only when they hold more than
// ASCII, and ASCII is compared in place without allocating. Internal to the query module.
#pragma once

#include <string>
#include <string_view>

namespace spadrim {

// Appends the text's case-folded form: every character in its full lower-case form (the project's
// Unicode table, as lower_case uses), and both small sigmas as σ, so that "ΟΔΟΣ" and "οδοσ" meet. Bytes
// that are not UTF-8 are kept as they are.
void append_folded(std::string_view text, std::string& out);
std::string folded(std::string_view text);

bool is_ascii(std::string_view text);

// Whether a folded, non-empty needle occurs in the name once folded. `scratch` is reused for names that
// need folding.
bool contains_folded(std::string_view name, std::string_view needle, bool needle_ascii, std::string& scratch);

// Whether folded text matches a folded pattern whole: * any run of characters, ? one character.
bool wildcard_matches(std::string_view pattern, std::string_view text);

}  // namespace spadrim
