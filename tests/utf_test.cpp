#include <gtest/gtest.h>

#include <string>

#include "strings/utf.h"

namespace spadrim {
namespace {

TEST(Utf16ToUtf8, PairsJoinAndLoneSurrogatesBecomeReplacement) {
    EXPECT_EQ(utf8_from_utf16(u"abc"), "abc");
    EXPECT_EQ(utf8_from_utf16(u"사진 Ä 😀"), "사진 Ä 😀");
    EXPECT_EQ(utf8_from_utf16(std::u16string{u'a', 0xD800, u'b'}),
              "a\xEF\xBF\xBD"
              "b");  // lone high
    EXPECT_EQ(utf8_from_utf16(std::u16string{0xDC00, u'b'}),
              "\xEF\xBF\xBD"
              "b");                                                             // lone low
    EXPECT_EQ(utf8_from_utf16(std::u16string{u'a', 0xD83D}), "a\xEF\xBF\xBD");  // high at the end
    EXPECT_EQ(utf8_from_utf16(std::u16string{0xDE00, 0xD83D}), "\xEF\xBF\xBD\xEF\xBF\xBD");  // reversed pair
}

TEST(Utf8ToUtf16, RoundTripsAndReplacesInvalidBytes) {
    EXPECT_EQ(utf16_from_utf8("사진 Ä 😀"), u"사진 Ä 😀");
    EXPECT_EQ(utf16_from_utf8("a\xFF"
                              "b"),
              u"a\uFFFDb");
    EXPECT_EQ(utf16_from_utf8("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");  // an encoded surrogate is not UTF-8
}

TEST(ValidUtf8, KeepsValidTextAndReplacesEachMaximalInvalidSequence) {
    EXPECT_EQ(valid_utf8("plain ascii"), "plain ascii");
    EXPECT_EQ(valid_utf8("사진"), "사진");
    const std::string fffd = "\xEF\xBF\xBD";
    EXPECT_EQ(valid_utf8("a\xFF"
                         "b"),
              "a" + fffd + "b");
    EXPECT_EQ(valid_utf8("\xC3"), fffd);  // truncated two-byte sequence
    EXPECT_EQ(valid_utf8("\xE2\x82"
                         "x"),
              fffd + "x");                           // truncated three-byte sequence: one U+FFFD
    EXPECT_EQ(valid_utf8("\xC0\xAF"), fffd + fffd);  // overlong '/'
    EXPECT_EQ(valid_utf8("\xF4\x90\x80\x80"), fffd + fffd + fffd + fffd);  // above U+10FFFF
    EXPECT_EQ(valid_utf8("Latin1 caf\xE9"), "Latin1 caf" + fffd);
    EXPECT_TRUE(is_valid_utf8(valid_utf8("\x80\x80\xF0\x9F\x98")));
    EXPECT_FALSE(is_valid_utf8("\xF0\x9F\x98"));
    EXPECT_TRUE(is_valid_utf8("\xF0\x9F\x98\x80"));
}

// The exact form of Windows names: every UTF-16 string survives the round trip, unpaired surrogates
// included, and well-formed text is spelt exactly as UTF-8 spells it.
// The validator skips ASCII eight bytes at a time: every invalid or multi-byte sequence, at every
// position within and across those eight-byte steps, must get the answer of decoding it one character
// after another.
TEST(ValidUtf8, WordAtATimeCheckAgreesWithDecodingAtEveryPosition) {
    const std::string pieces[] = {
        "\xC3\xA9",        "\xE2\x82\xAC", "\xF0\x9F\x98\x80", "\x80",         "\xBF", "\xC0\xAF", "\xC3",
        "\xE2\x82",        "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xF0\x9F\x98", "\xFF", "\xFE",     "\x7F",
        "\xC3\xA9\xC3\xA9"};
    const auto decodes = [](std::string_view text) {
        for (std::size_t i = 0; i < text.size();) {
            const CodePoint point = code_point_at(text, i);
            if (!point.valid) return false;
            i += point.length;
        }
        return true;
    };
    for (const std::string& piece : pieces) {
        for (std::size_t before = 0; before <= 17; ++before) {
            for (std::size_t after = 0; after <= 9; ++after) {
                const std::string text = std::string(before, 'a') + piece + std::string(after, 'z');
                ASSERT_EQ(is_valid_utf8(text), decodes(text)) << ::testing::PrintToString(text);
            }
        }
    }
}

TEST(Wtf8, KeepsUnpairedSurrogatesExactly) {
    const std::u16string samples[] = {
        u"plain",
        u"사진 😀",
        std::u16string{u'a', 0xD800, u'b'},
        std::u16string{0xDC00},
        std::u16string{u'x', 0xD83D},
        std::u16string{0xDE00, 0xD83D},  // a reversed pair is two lone halves
        std::u16string{0xDBFF, 0xDBFF, 0xDFFF},
    };
    for (const std::u16string& sample : samples) {
        EXPECT_EQ(utf16_from_wtf8(wtf8_from_utf16(sample)), sample);
    }
    EXPECT_EQ(wtf8_from_utf16(u"사진 😀"), utf8_from_utf16(u"사진 😀"));
    EXPECT_EQ(wtf8_from_utf16(std::u16string{u'a', 0xD800}), "a\xED\xA0\x80");
    // The kept form differs from the shown one exactly where a name needed repair.
    EXPECT_NE(wtf8_from_utf16(std::u16string{0xDC00}), utf8_from_utf16(std::u16string{0xDC00}));
    EXPECT_FALSE(is_valid_utf8(wtf8_from_utf16(std::u16string{0xDC00})));
}

TEST(Wtf8, OtherInvalidBytesStillBecomeReplacement) {
    EXPECT_EQ(utf16_from_wtf8("a\xFF"
                              "b"),
              u"a\uFFFDb");
    EXPECT_EQ(utf16_from_wtf8("\xED\xA0"), u"\uFFFD\uFFFD");  // a surrogate cut short
    EXPECT_EQ(utf16_from_wtf8("\xC0\xAF"), u"\uFFFD\uFFFD");  // overlong
}

}  // namespace
}  // namespace spadrim
