// Choosing the UI language from what the system says. The mappings are pure; detect_language (one
// definition per platform) gathers the inputs.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace spadrim {

// Windows: the stored "Language" setting when it is one of the ten codes, else the display language
// id (GetUserDefaultUILanguage) mapped by its primary language.
std::string_view language_from_windows(std::optional<std::string_view> setting, std::uint16_t ui_language);

// POSIX locale names such as ko_KR.UTF-8, zh_TW, pt_BR or C.
std::string_view language_from_locale(std::string_view locale);

// The language the system asks for (registry and display language on Windows; LC_ALL, LC_MESSAGES,
// then LANG elsewhere).
std::string_view detect_language();

}  // namespace spadrim
