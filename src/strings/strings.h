// UI strings in ten languages.
//
// Every UI text stands at its point of use as a Korean/English pair: tr("폴더를 찾을 수 없습니다",
// "Folder not found"). Korean and English are built in; eight more languages come from embedded tables
// keyed by the English text. The language is chosen once per process (the stored setting, else the
// system's display language) and never changes while it runs.
//
// Threading: the first call of tr or language_code computes the language and its table exactly once,
// whichever thread makes it; afterwards both only read, so any thread may call them.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace spadrim {

struct Language {
    std::string_view code;
    std::string_view name;  // in the language itself
};

inline constexpr std::array<Language, 10> LANGUAGES = {{
    {"en", "English"},
    {"ko", "한국어"},
    {"ja", "日本語"},
    {"zh-Hans", "简体中文"},
    {"zh-Hant", "繁體中文"},
    {"es", "Español"},
    {"fr", "Français"},
    {"de", "Deutsch"},
    {"pt", "Português"},
    {"ru", "Русский"},
}};

// The code of a known language spelled exactly (case-sensitive), or nothing.
std::optional<std::string_view> known_language(std::string_view code);

// This run's language code: one of LANGUAGES.
std::string_view language_code();

// Fixes this run's language before anything asked for it (a command-line choice). Returns false when
// the code is unknown or the language was already fixed.
bool choose_language(std::string_view code);

// The text for this run's language; both arguments must outlive the process (string literals). The
// result is either argument or a table entry: nothing is allocated.
std::string_view tr(std::string_view ko, std::string_view en);

// template with {0}, {1}, ... replaced by values[0], values[1], ... Placeholders are looked for in the
// template only, so a value that happens to contain "{1}" (a file name, say) is inserted as it is.
// Placeholders without a value stay as they are.
std::string substitute(std::string_view text, std::initializer_list<std::string_view> values);

// What joins a label to what it names, in this run's language: ": " mostly, a narrow no-break space
// before the colon in French, a full-width colon in Chinese.
std::string_view label_colon();

// What label_colon gives for a given language.
std::string_view label_colon_in(std::string_view code);

// A count that a placeholder of a text shows: {placeholder} stands for `value`.
struct Count {
    std::size_t placeholder;
    std::uint64_t value;
};

// The text fitted to the counts it shows, ready for substitute. English puts a plural noun after a count
// ("{0} files"), which a count of one makes singular: "1 file", "1 duplicate set". Korean and the
// translation tables word a count so that one form fits every number ("파일 1개", "Dateien: 1"): their
// texts come back as they are.
std::string with_counts(std::string_view text, std::initializer_list<Count> counts);

// What with_counts does for a given language.
std::string fit_counts(std::string_view code, std::string_view text, std::initializer_list<Count> counts);

// A parsed translation table: English text -> translated text.
struct TextHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
};
using TranslationTable = std::unordered_map<std::string, std::string, TextHash, std::equal_to<>>;

// Parses a table's JSON text; anything but an object of string members gives an empty table (English).
TranslationTable parse_table(std::string_view json);

// What tr does for a given language and table.
std::string_view translate(std::string_view code, const TranslationTable& table, std::string_view ko,
                           std::string_view en);

}  // namespace spadrim
