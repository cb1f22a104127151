#include <gtest/gtest.h>

#include <random>

#include "cli/text.h"
#include "strings/utf.h"

namespace spadrim {
namespace {

// Random bytes, most of them the kind that cause trouble: controls, UTF-8 lead and continuation bytes,
// markup characters.
std::string random_bytes(std::mt19937& random, std::size_t size) {
    using namespace std::literals;
    constexpr std::string_view PICKS =
        "\x00\x01\x07\x09\x0a\x0d\x1b\x7f\x80\x9b\xbf\xc2\xe0\xef\xf0\xff&<>\"'\\a"sv;
    std::string bytes;
    for (std::size_t i = 0; i < size; ++i) {
        bytes += random() % 3 == 0 ? static_cast<char>(random() % 256) : PICKS[random() % PICKS.size()];
    }
    return bytes;
}

// Code points of valid UTF-8 text.
std::u32string code_points(std::string_view text) {
    std::u32string points;
    for (std::size_t i = 0; i < text.size();) {
        const CodePoint point = code_point_at(text, i);
        points += point.value;
        i += point.length;
    }
    return points;
}

TEST(TerminalText, LeavesPrintableTextAsItIs) {
    for (const std::string_view text : {"", "plain name.txt", "C:\\Users\\Kim\\사진 😀", "ü\u00A0\u00FF\uFFFD",
                                        "already \\x1b written out"}) {
        EXPECT_EQ(terminal_text(text), text);
    }
}

TEST(TerminalText, WritesOutEveryControlCharacter) {
    EXPECT_EQ(terminal_text("\x1b]0;pwned\x07\x1b[2J"), "\\x1b]0;pwned\\x07\\x1b[2J");
    EXPECT_EQ(terminal_text("two\nlines\r"), "two\\x0alines\\x0d");
    EXPECT_EQ(terminal_text(std::string_view("a\0b", 3)), "a\\x00b");
    EXPECT_EQ(terminal_text("\x01\x1f\x7f\t"), "\\x01\\x1f\\x7f\\x09");
    // C1 controls are two bytes in UTF-8; CSI (U+009B) starts a sequence like ESC [ on some terminals.
    EXPECT_EQ(terminal_text("\u0080x\u009b2J\u0085"), "\\u0080x\\u009b2J\\u0085");
    EXPECT_EQ(terminal_text("\u00A0"), "\u00A0");  // the first character after them is shown
}

TEST(TerminalText, WritesOutWhatReordersOrBreaksALine) {
    // A right-to-left override shows a name's end first: "photo\u202Egpj.exe" would read "photoexe.jpg".
    EXPECT_EQ(terminal_text("photo\u202Egpj.exe"), "photo\\u202egpj.exe");
    EXPECT_EQ(terminal_text("\u061C\u200E\u200F\u202A\u202D\u2066\u2069"),
              "\\u061c\\u200e\\u200f\\u202a\\u202d\\u2066\\u2069");
    EXPECT_EQ(terminal_text("a\u2028b\u2029c"), "a\\u2028b\\u2029c");
    // Their neighbours, and right-to-left letters themselves, are shown as they are.
    EXPECT_EQ(terminal_text("\u2027\u202F\u2065\u206A\u05D0\u0627"), "\u2027\u202F\u2065\u206A\u05D0\u0627");
}

TEST(TerminalText, WritesOutBytesThatAreNotUtf8) {
    EXPECT_EQ(terminal_text("\x9b"), "\\x9b");             // a lone C1 byte, which 8-bit terminals obey
    EXPECT_EQ(terminal_text("a\xc2"), "a\\xc2");           // cut short at the end
    EXPECT_EQ(terminal_text("\xe2\x82z"), "\\xe2\\x82z");  // cut short before another character
    EXPECT_EQ(terminal_text("\xc0\xaf"), "\\xc0\\xaf");    // overlong
    EXPECT_EQ(terminal_text("\xed\xa0\x80"), "\\xed\\xa0\\x80");  // a surrogate
}

TEST(TerminalText, ShowsNoControlForAnyInput) {
    std::mt19937 random(7);
    for (int round = 0; round < 2000; ++round) {
        const std::string bytes = random_bytes(random, random() % 24);
        const std::string shown = terminal_text(bytes);
        ASSERT_TRUE(is_valid_utf8(shown)) << ::testing::PrintToString(bytes);
        for (const char32_t c : code_points(shown)) {
            ASSERT_FALSE(c < 0x20 || (c >= 0x7F && c <= 0x9F))
                << ::testing::PrintToString(bytes) << " shows U+" << std::hex << static_cast<unsigned>(c);
        }
        // Valid text that holds no control comes through unchanged.
        if (shown.find('\\') == std::string::npos) {
            EXPECT_EQ(shown, bytes);
        }
    }
}

TEST(XmlText, EscapesMarkup) {
    EXPECT_EQ(xml_text("a & b <c> \"d\" 'e'"), "a &amp; b &lt;c&gt; &quot;d&quot; &apos;e&apos;");
    EXPECT_EQ(xml_text("tab\there\nline\r"), "tab&#9;here&#10;line&#13;");
    EXPECT_EQ(xml_text("사진 😀 \u0085 \u009b \uFFFD \uFFFC"), "사진 😀 \u0085 \u009b \uFFFD \uFFFC");
}

TEST(CsvRecord, QuotesOnlyWhatNeedsIt) {
    EXPECT_EQ(csv_record({"a", "", "/x/y.iso", "1.00 KB"}), "a,,/x/y.iso,1.00 KB\r\n");
    EXPECT_EQ(csv_record({"a,b", "say \"hi\"", "two\nlines", " padded", "cr\r"}),
              "\"a,b\",\"say \"\"hi\"\"\",\"two\nlines\",\" padded\",\"cr\r\"\r\n");
}

TEST(XmlText, ReplacesWhatXmlForbids) {
    EXPECT_EQ(xml_text("a\x01z"), "a\uFFFDz");
    EXPECT_EQ(xml_text(std::string_view("\0\x08\x0b\x0c\x0e\x1f\x1b", 7)),
              "\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD");
    EXPECT_EQ(xml_text("\uFFFE|\uFFFF"), "\uFFFD|\uFFFD");
    EXPECT_EQ(xml_text("\xff\xc2"), "\uFFFD\uFFFD");
}

TEST(XmlText, GivesOnlyAllowedCharactersForAnyInput) {
    const auto allowed = [](char32_t c) {
        return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
               (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
    };
    std::mt19937 random(11);
    for (int round = 0; round < 2000; ++round) {
        const std::string bytes = random_bytes(random, random() % 24);
        const std::string xml = xml_text(bytes);
        ASSERT_TRUE(is_valid_utf8(xml)) << ::testing::PrintToString(bytes);
        for (const char32_t c : code_points(xml)) {
            ASSERT_TRUE(allowed(c)) << ::testing::PrintToString(bytes);
            ASSERT_TRUE(c != '<' && c != '>' && c != '"' && c != '\'' && c >= 0x20)
                << ::testing::PrintToString(bytes);  // markup only ever as references
        }
    }
}

TEST(Fit, CutsBetweenCharactersAndPadsToTheWidth) {
    EXPECT_EQ(fit("abc", 0), "");
    EXPECT_EQ(fit("abc", 2), "ab");
    EXPECT_EQ(fit("ab", 5), "ab   ");
    EXPECT_EQ(fit("héllo", 3), "hél");
    EXPECT_EQ(fit("", 2), "  ");
    // Wide characters take two columns: one that would overhang is left out and its column padded.
    EXPECT_EQ(fit("사진abc", 3), "사 ");
    EXPECT_EQ(fit("사진abc", 4), "사진");
    EXPECT_EQ(fit("😀x", 1), " ");
    EXPECT_EQ(fit("ｆｕｌｌ", 5), "ｆｕ ");
}

TEST(Fit, NeverGivesMoreColumnsThanAskedNorBrokenCharacters) {
    const std::string text = "a사b진😀cé\u00B7ｆ" + terminal_text("\x1b\u009b") + "Д日本";
    for (std::size_t columns = 0; columns < 40; ++columns) {
        const std::string line = fit(text, columns);
        ASSERT_TRUE(is_valid_utf8(line)) << columns;
        std::size_t width = 0;
        for (const char32_t c : code_points(line))
            width += display_width(c);
        EXPECT_EQ(width, columns) << line;
        EXPECT_TRUE(text.starts_with(line.substr(0, line.find_last_not_of(' ') + 1))) << line;
    }
}

TEST(DisplayWidth, TellsWideScriptsFromNarrowOnes) {
    for (const char32_t narrow : {U'a', U'~', U'é', U'Д', U'\u00B7', U'\uFFFD', U'\u2500'})
        EXPECT_EQ(display_width(narrow), 1u) << static_cast<unsigned>(narrow);
    for (const char32_t wide :
         {U'사', U'\u1100', U'日', U'か', U'カ', U'\u3000', U'ｆ', U'😀', U'🚀', U'\U00020000', U'\uD7A3'})
        EXPECT_EQ(display_width(wide), 2u) << static_cast<unsigned>(wide);
}

TEST(ProgressWidth, LeavesThreeColumnsAndNeverWrapsAround) {
    for (const unsigned narrow : {0u, 1u, 2u, 3u})
        EXPECT_EQ(progress_width(narrow), 0u) << narrow;
    EXPECT_EQ(progress_width(4), 1u);
    EXPECT_EQ(progress_width(80), 77u);
    EXPECT_EQ(progress_width(MAX_PROGRESS_WIDTH + 3), MAX_PROGRESS_WIDTH);
    EXPECT_EQ(progress_width(65535), MAX_PROGRESS_WIDTH);
    EXPECT_EQ(progress_width(~0u), MAX_PROGRESS_WIDTH);
    for (unsigned columns = 0; columns < 2 * MAX_PROGRESS_WIDTH; ++columns) {
        ASSERT_LE(progress_width(columns), columns) << columns;
        ASSERT_LE(progress_width(columns), progress_width(columns + 1)) << columns;
    }
}

}  // namespace
}  // namespace spadrim
