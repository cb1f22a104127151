// Language mappings. See language.h.
#include "strings/language.h"

#include "strings/strings.h"

namespace spadrim {

std::string_view language_from_windows(std::optional<std::string_view> setting, std::uint16_t ui_language) {
    if (setting) {
        if (const auto code = known_language(*setting)) return *code;
    }
    switch (ui_language & 0x3FF) {
        case 0x04: return ui_language == 0x0804 || ui_language == 0x1004 ? "zh-Hans" : "zh-Hant";
        case 0x07: return "de";
        case 0x0A: return "es";
        case 0x0C: return "fr";
        case 0x11: return "ja";
        case 0x12: return "ko";
        case 0x16: return "pt";
        case 0x19: return "ru";
        default: return "en";
    }
}

std::string_view language_from_locale(std::string_view locale) {
    // language[_territory][.codeset][@modifier]
    const std::size_t end = locale.find_first_of(".@");
    if (end != std::string_view::npos) locale = locale.substr(0, end);
    const std::size_t split = locale.find_first_of("_-");
    const std::string_view language = locale.substr(0, split);
    const std::string_view territory = split == std::string_view::npos ? "" : locale.substr(split + 1);
    if (language == "zh") {
        const bool traditional =
            territory == "TW" || territory == "HK" || territory == "MO" || territory == "Hant";
        return traditional ? "zh-Hant" : "zh-Hans";
    }
    for (const std::string_view code : {"ko", "ja", "es", "fr", "de", "pt", "ru"}) {
        if (language == code) return code;
    }
    return "en";
}

}  // namespace spadrim
