// The UI string lookup. See strings.h.
#include "strings/strings.h"

#include <mutex>
#include <nlohmann/json.hpp>

#include "strings/language.h"
#include "strings/tables.h"

namespace spadrim {
namespace {

struct Chosen {
    std::once_flag once;
    std::string_view code;
    TranslationTable table;
};

Chosen& chosen() {
    static Chosen state;
    return state;
}

// Fixes the language once; later calls change nothing.
const Chosen& fix_language(std::optional<std::string_view> wanted, bool* took_it = nullptr) {
    Chosen& state = chosen();
    std::call_once(state.once, [&] {
        state.code = wanted ? *wanted : detect_language();
        if (state.code != "en" && state.code != "ko") state.table = parse_table(table_text(state.code));
        if (took_it) *took_it = true;
    });
    return state;
}

}  // namespace

std::optional<std::string_view> known_language(std::string_view code) {
    for (const Language& language : LANGUAGES) {
        if (language.code == code) return language.code;
    }
    return std::nullopt;
}

std::string_view language_code() {
    return fix_language(std::nullopt).code;
}

bool choose_language(std::string_view code) {
    const std::optional<std::string_view> known = known_language(code);
    if (!known) return false;
    bool took_it = false;
    fix_language(known, &took_it);
    return took_it;
}

std::string_view translate(std::string_view code, const TranslationTable& table, std::string_view ko,
                           std::string_view en) {
    if (code == "ko") return ko;
    if (code == "en") return en;
    const auto found = table.find(en);
    return found == table.end() ? en : std::string_view(found->second);
}

std::string_view tr(std::string_view ko, std::string_view en) {
    const Chosen& state = fix_language(std::nullopt);
    return translate(state.code, state.table, ko, en);
}

std::string substitute(std::string_view text, std::initializer_list<std::string_view> values) {
    std::string out;
    out.reserve(text.size() + 32);
    for (std::size_t i = 0; i < text.size();) {
        // {n} with n one or more decimal digits naming a given value.
        if (text[i] == '{') {
            std::size_t end = i + 1;
            std::size_t index = 0;
            while (end < text.size() && end - i <= 3 && text[end] >= '0' && text[end] <= '9') {
                index = index * 10 + static_cast<std::size_t>(text[end] - '0');
                ++end;
            }
            if (end > i + 1 && end < text.size() && text[end] == '}' && index < values.size()) {
                out += values.begin()[index];
                i = end + 1;
                continue;
            }
        }
        out += text[i++];
    }
    return out;
}

std::string_view label_colon_in(std::string_view code) {
    if (code == "fr") return "\u202F: ";
    if (code == "zh-Hans" || code == "zh-Hant") return "：";
    return ": ";
}

std::string_view label_colon() {
    return label_colon_in(language_code());
}

namespace {

struct Plural {
    std::string_view many;
    std::string_view one;
};

// Every English noun that follows a count in a UI text.
constexpr std::array<Plural, 8> ENGLISH_PLURALS = {{
    {" files", " file"},
    {" new files", " new file"},
    {" days", " day"},
    {" folders", " folder"},
    {" duplicate sets", " duplicate set"},
    {" copies", " copy"},
    {" items", " item"},
    {" paths", " path"},
}};

bool is_letter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

}  // namespace

std::string fit_counts(std::string_view code, std::string_view text, std::initializer_list<Count> counts) {
    std::string out(text);
    if (code != "en") return out;
    for (const Count& count : counts) {
        if (count.value != 1) continue;
        const std::string placeholder = "{" + std::to_string(count.placeholder) + "}";
        for (std::size_t at = out.find(placeholder); at != std::string::npos;
             at = out.find(placeholder, at + 1)) {
            const std::size_t noun = at + placeholder.size();
            for (const Plural& plural : ENGLISH_PLURALS) {
                const std::size_t end = noun + plural.many.size();
                // The whole word: "{0} filesystems" is not "{0} files".
                if (out.compare(noun, plural.many.size(), plural.many) == 0 &&
                    (end == out.size() || !is_letter(out[end]))) {
                    out.replace(noun, plural.many.size(), plural.one);
                    break;
                }
            }
        }
    }
    return out;
}

std::string with_counts(std::string_view text, std::initializer_list<Count> counts) {
    return fit_counts(language_code(), text, counts);
}

TranslationTable parse_table(std::string_view json) {
    TranslationTable table;
    const nlohmann::json document = nlohmann::json::parse(json, nullptr, /*allow_exceptions=*/false);
    if (!document.is_object()) return table;
    for (const auto& [english, translated] : document.items()) {
        if (!translated.is_string()) continue;
        table.emplace(english, translated.get<std::string>());
    }
    return table;
}

}  // namespace spadrim
