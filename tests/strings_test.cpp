#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <set>

#include "config.h"
#include "source_texts.h"
#include "strings/language.h"
#include "strings/strings.h"
#include "strings/tables.h"
#include "ui_keys.h"

namespace spadrim {
namespace {

std::multiset<std::string> placeholders(std::string_view text) {
    std::multiset<std::string> found;
    const std::string copy(text);
    const std::regex placeholder(R"(\{\d+\})");
    for (auto it = std::sregex_iterator(copy.begin(), copy.end(), placeholder); it != std::sregex_iterator();
         ++it) {
        found.insert(it->str());
    }
    return found;
}

TEST(TranslationTables, EachHoldsEveryKeyWithItsPlaceholders) {
    for (const Language& language : LANGUAGES) {
        if (language.code == "en" || language.code == "ko") {
            EXPECT_EQ(table_text(language.code), "{}");
            continue;
        }
        const TranslationTable table = parse_table(table_text(language.code));
        EXPECT_EQ(table.size(), test::UI_KEYS.size()) << language.code << ": keys missing or extra";
        for (const std::string_view key : test::UI_KEYS) {
            const auto found = table.find(key);
            if (found == table.end()) {
                ADD_FAILURE() << language.code << " lacks \"" << key << '"';
                continue;
            }
            EXPECT_FALSE(found->second.empty()) << language.code << ": " << key;
            EXPECT_EQ(placeholders(found->second), placeholders(key))
                << language.code << ": " << found->second;
        }
        // The site key leads to that language's page of the same site.
        const auto site = table.find(MAKER_SITE);
        ASSERT_NE(site, table.end());
        EXPECT_TRUE(site->second.starts_with(MAKER_SITE)) << site->second;
        EXPECT_GT(site->second.size(), MAKER_SITE.size()) << language.code;
    }
}

// Chinese texts take full-width punctuation; French puts a narrow no-break space (U+202F) before a
// colon, a question or exclamation mark and a closing guillemet, and after an opening one.
TEST(TranslationTables, ChineseAndFrenchPunctuation) {
    for (const std::string_view code : {"zh-Hans", "zh-Hant"}) {
        for (const auto& [key, text] : parse_table(table_text(code))) {
            if (key == MAKER_SITE) continue;  // an address
            EXPECT_EQ(text.find_first_of(":()"), std::string::npos) << code << ": " << text;
        }
    }
    constexpr std::string_view NARROW = "\u202F";
    int marks = 0;
    for (const auto& [key, text] : parse_table(table_text("fr"))) {
        if (key == MAKER_SITE) continue;
        const std::string_view shown = text;
        for (std::size_t i = 0; i < shown.size(); ++i) {
            const std::string_view rest = shown.substr(i);
            if (shown[i] == ':' || shown[i] == '?' || shown[i] == '!' || rest.starts_with("»")) {
                ++marks;
                EXPECT_TRUE(shown.substr(0, i).ends_with(NARROW)) << "fr: " << text;
            }
            if (rest.starts_with("«")) {
                EXPECT_TRUE(rest.substr(2).starts_with(NARROW)) << "fr: " << text;
            }
        }
    }
    EXPECT_GT(marks, 10);
}

// The texts as written at their point of use: each English half is a key that every table holds, and
// means one Korean text wherever it is written.
TEST(SourceTexts, EachEnglishHalfIsAKeyWithOneKoreanText) {
    ASSERT_GT(test::SOURCE_TEXTS.size(), 60u);  // the sources were read
    const std::set<std::string_view> keys(test::UI_KEYS.begin(), test::UI_KEYS.end());
    std::map<std::string_view, std::string_view> korean;
    for (const test::SourceText& text : test::SOURCE_TEXTS) {
        EXPECT_TRUE(keys.contains(text.en)) << text.file << ": \"" << text.en << "\" is in no table";
        const auto [first, fresh] = korean.emplace(text.en, text.ko);
        EXPECT_TRUE(fresh || first->second == text.ko)
            << text.file << ": \"" << text.en << "\" is both " << first->second << " and " << text.ko;
    }
}

// A Korean particle is written onto its word, a Latin name or a figure too: "Spadrim으로",
// "{0}만큼", never "Spadrim 으로".
TEST(SourceTexts, KoreanParticlesAttachToLatinWordsAndFigures) {
    const std::regex detached(
        "[A-Za-z0-9}] (으로|로|의|에서는|에서|에게|만큼|이나|이|가|을|를|은|는|와|과|나|에|도|부터|까지|보다)"
        "(?=$| |,|\\.|·)");
    for (const test::SourceText& text : test::SOURCE_TEXTS) {
        const std::string ko(text.ko);
        EXPECT_FALSE(std::regex_search(ko, detached)) << text.file << ": " << ko;
    }
    // The pattern finds what it is for.
    EXPECT_TRUE(std::regex_search(std::string("Spadrim 으로 공간 보기"), detached));
    EXPECT_TRUE(std::regex_search(std::string("{0} 만큼 공간이 생깁니다"), detached));
    EXPECT_FALSE(std::regex_search(std::string("{0} 이상인 파일"), detached));
}

TEST(Translate, PicksTheLanguageAndFallsBackToEnglish) {
    const TranslationTable ja = parse_table(table_text("ja"));
    EXPECT_EQ(translate("ko", ja, "취소", "Cancel"), "취소");
    EXPECT_EQ(translate("en", ja, "취소", "Cancel"), "Cancel");
    EXPECT_NE(translate("ja", ja, "취소", "Cancel"), "Cancel");
    EXPECT_EQ(translate("ja", ja, "없음", "Not a key"), "Not a key");
    EXPECT_EQ(translate("de", TranslationTable{}, "취소", "Cancel"), "Cancel");
}

TEST(ParseTable, AnythingButAnObjectOfTextsGivesEnglish) {
    EXPECT_TRUE(parse_table("").empty());
    EXPECT_TRUE(parse_table("{\"a\": \"b\"").empty());
    EXPECT_TRUE(parse_table("[\"a\"]").empty());
    EXPECT_TRUE(parse_table("\"text\"").empty());
    const TranslationTable mixed = parse_table(R"({"Cancel": "Abbrechen", "Open": 3})");
    EXPECT_EQ(mixed.size(), 1u);  // a member that is not a text is skipped, the rest kept
    EXPECT_EQ(mixed.at("Cancel"), "Abbrechen");
}

TEST(Substitute, FillsEachPlaceholderFromTheTemplateOnly) {
    EXPECT_EQ(substitute("{0} · {1} files · took {2} s", {"1.00 KB", "3", "0.1"}),
              "1.00 KB · 3 files · took 0.1 s");
    EXPECT_EQ(substitute("{0} and {0}", {"x"}), "x and x");
    EXPECT_EQ(substitute("Файлов: {1}, {0}", {"a", "b"}), "Файлов: b, a");
    EXPECT_EQ(substitute("{0} {1} {2}", {"a"}), "a {1} {2}");  // no value: the placeholder stays
    // A value that looks like a placeholder is a file name, not a template.
    EXPECT_EQ(substitute("{0} in {1}", {"report{1}.pdf", "C:\\x"}), "report{1}.pdf in C:\\x");
    EXPECT_EQ(substitute("{ {0 {x} {}", {"a"}), "{ {0 {x} {}");
}

// The colon after a label joined in code ("Folder not found: C:\\x") follows the same rules as the tables.
TEST(LabelColon, FollowsEachLanguagesPunctuation) {
    EXPECT_EQ(label_colon(), ": ");
    // As the tables write it after a label of their own.
    for (const std::string_view code : {"de", "fr", "zh-Hans", "zh-Hant"}) {
        const std::string in_bin = parse_table(table_text(code)).at("In the Recycle Bin:");
        const std::string_view colon = label_colon_in(code);
        EXPECT_TRUE(in_bin.ends_with(colon.substr(0, colon.find_last_not_of(' ') + 1)))
            << code << ": " << in_bin;
    }
}

TEST(Counts, EnglishTakesTheSingularAfterACountOfOne) {
    const std::string_view progress = "{0}  ·  {1} files  ·  {2} folders";
    EXPECT_EQ(fit_counts("en", progress, {{1, 1}, {2, 1}}), "{0}  ·  {1} file  ·  {2} folder");
    EXPECT_EQ(fit_counts("en", progress, {{1, 1}, {2, 2}}), "{0}  ·  {1} file  ·  {2} folders");
    EXPECT_EQ(fit_counts("en", progress, {{1, 0}, {2, 1}}), "{0}  ·  {1} files  ·  {2} folder");
    // English has no other form: 0, 21 and 101 stay plural.
    for (const std::uint64_t many : {0ull, 2ull, 21ull, 101ull, 1'000'001ull})
        EXPECT_EQ(fit_counts("en", progress, {{1, many}, {2, many}}), progress) << many;
    EXPECT_EQ(fit_counts("en", "{0} duplicate sets · {1} can be freed", {{0, 1}}),
              "{0} duplicate set · {1} can be freed");
    EXPECT_EQ(fit_counts("en", "{0} copies · {1} each · {2} wasted", {{0, 1}}),
              "{0} copy · {1} each · {2} wasted");
    EXPECT_EQ(fit_counts("en", "{0} files could not be opened", {{0, 1}}), "{0} file could not be opened");
    // Only the noun right after the count's own placeholder, and only a whole word.
    EXPECT_EQ(fit_counts("en", "{0} files in {1} folders", {{1, 1}}), "{0} files in {1} folder");
    EXPECT_EQ(fit_counts("en", "{0} filesystems", {{0, 1}}), "{0} filesystems");
}

TEST(Counts, OtherLanguagesKeepTheirTexts) {
    // French writes "copies" too: the English rule must not reach it.
    for (const std::string_view code : {"fr", "ko", "de", "ru"}) {
        EXPECT_EQ(fit_counts(code, "{0} copies · {1} each", {{0, 1}}), "{0} copies · {1} each") << code;
    }
    for (const Language& language : LANGUAGES) {
        if (language.code == "en") continue;
        const TranslationTable table = parse_table(table_text(language.code));
        const std::string_view text =
            translate(language.code, table, "파일 {0}개", "{0} files could not be opened");
        EXPECT_EQ(fit_counts(language.code, text, {{0, 1}}), text) << language.code;
    }
}

// Every key that puts an English plural right after a placeholder gets its singular: a new noun that
// the list of plurals lacks would show "1 items".
TEST(Counts, EveryPluralAfterAPlaceholderInTheKeysHasItsSingular) {
    const std::regex plural_after(R"(\{(\d+)\} ((?:[a-z]+ )?[a-z]{2,}s)\b)");
    int found = 0;
    for (const std::string_view key : test::UI_KEYS) {
        const std::string text(key);
        for (auto it = std::sregex_iterator(text.begin(), text.end(), plural_after);
             it != std::sregex_iterator(); ++it) {
            ++found;
            const std::size_t placeholder = std::stoul((*it)[1].str());
            const std::string fitted = fit_counts("en", text, {{placeholder, 1}});
            EXPECT_NE(fitted, text) << "no singular for \"" << (*it)[2].str() << "\" in " << key;
            EXPECT_EQ(fit_counts("en", text, {{placeholder, 2}}), text) << key;
        }
    }
    EXPECT_GE(found, 6);  // the pattern still finds the known ones
}

TEST(Language, StoredSettingThenWindowsDisplayLanguage) {
    constexpr std::uint16_t GERMAN = 0x0407;
    EXPECT_EQ(language_from_windows("zh-Hant", GERMAN), "zh-Hant");
    EXPECT_EQ(language_from_windows("ZH-HANT", GERMAN), "de");  // codes are case-sensitive
    EXPECT_EQ(language_from_windows("it", GERMAN), "de");
    EXPECT_EQ(language_from_windows("", GERMAN), "de");
    EXPECT_EQ(language_from_windows(std::nullopt, 0x0804), "zh-Hans");  // China
    EXPECT_EQ(language_from_windows(std::nullopt, 0x1004), "zh-Hans");  // Singapore
    EXPECT_EQ(language_from_windows(std::nullopt, 0x0C04), "zh-Hant");  // Hong Kong
    EXPECT_EQ(language_from_windows(std::nullopt, 0x0404), "zh-Hant");  // Taiwan
    EXPECT_EQ(language_from_windows(std::nullopt, 0x0416), "pt");       // Brazil
    EXPECT_EQ(language_from_windows(std::nullopt, 0x0816), "pt");       // Portugal
    EXPECT_EQ(language_from_windows(std::nullopt, 0x0412), "ko");
    EXPECT_EQ(language_from_windows(std::nullopt, 0x0411), "ja");
    EXPECT_EQ(language_from_windows(std::nullopt, 0x0419), "ru");
    EXPECT_EQ(language_from_windows(std::nullopt, 0x080A), "es");
    EXPECT_EQ(language_from_windows(std::nullopt, 0x0C0C), "fr");
    EXPECT_EQ(language_from_windows(std::nullopt, 0x0410), "en");  // Italian
}

TEST(Language, PosixLocales) {
    EXPECT_EQ(language_from_locale("ko_KR.UTF-8"), "ko");
    EXPECT_EQ(language_from_locale("zh_CN.UTF-8"), "zh-Hans");
    EXPECT_EQ(language_from_locale("zh_SG"), "zh-Hans");
    EXPECT_EQ(language_from_locale("zh_TW.Big5"), "zh-Hant");
    EXPECT_EQ(language_from_locale("zh_HK"), "zh-Hant");
    EXPECT_EQ(language_from_locale("pt_BR.UTF-8"), "pt");
    EXPECT_EQ(language_from_locale("pt_PT@euro"), "pt");
    EXPECT_EQ(language_from_locale("de_DE.UTF-8"), "de");
    EXPECT_EQ(language_from_locale("ru"), "ru");
    EXPECT_EQ(language_from_locale("C.UTF-8"), "en");
    EXPECT_EQ(language_from_locale("POSIX"), "en");
    EXPECT_EQ(language_from_locale("it_IT"), "en");
    EXPECT_EQ(language_from_locale("kok_IN"), "en");  // Konkani is not Korean
}

TEST(Language, FixedOncePerProcess) {
    EXPECT_EQ(language_code(), "en");  // chosen before the tests ran
    EXPECT_FALSE(choose_language("ko"));
    EXPECT_FALSE(choose_language("xx"));
    EXPECT_EQ(tr("취소", "Cancel"), "Cancel");
}

}  // namespace
}  // namespace spadrim
