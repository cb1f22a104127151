// Full Unicode lower-casing of UTF-8 text, for comparing paths the way Windows' file systems treat
// names as equal regardless of case. Pure; any thread.
#pragma once

#include <string>
#include <string_view>

namespace spadrim {

// Every character in its full lower-case form; a capital sigma at the end of a word becomes the final
// sigma ς, elsewhere σ.
std::string lower_case(std::string_view text);

}  // namespace spadrim
