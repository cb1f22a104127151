// Conversions between UTF-16 (the Windows boundary), raw byte names (POSIX) and the UTF-8 used inside.
//
// Anything that cannot be represented (an unpaired surrogate, an invalid UTF-8 sequence) becomes
// U+FFFD, so text inside the program is always valid UTF-8. Pure functions, any thread.
#pragma once

#include <string>
#include <string_view>

namespace spadrim {

// UTF-16 to UTF-8; each unpaired surrogate becomes U+FFFD.
std::string utf8_from_utf16(std::u16string_view text);

// Appends the UTF-8 form of text to out (for callers that build into a reused buffer).
void append_utf8_from_utf16(std::string& out, std::u16string_view text);

// UTF-8 to UTF-16; each invalid UTF-8 sequence becomes U+FFFD.
std::u16string utf16_from_utf8(std::string_view text);

// The exact form of UTF-16 that may hold unpaired surrogates (a Windows file name can): like UTF-8, but
// each unpaired surrogate is kept as its own three-byte sequence (ED A0..BF xx), a form valid UTF-8
// never contains. Paired surrogates and everything else come out as in UTF-8, so for well-formed UTF-16
// this is utf8_from_utf16. Used only for real names and paths, never for text that is shown.
std::string wtf8_from_utf16(std::u16string_view text);
// The same appended to `out`; false when an unpaired surrogate was kept (the bytes are then not UTF-8).
bool append_wtf8_from_utf16(std::string& out, std::u16string_view text);

// The inverse: UTF-8 with kept surrogates back to UTF-16, each surrogate to its one code unit; any other
// invalid sequence becomes U+FFFD. utf16_from_wtf8(wtf8_from_utf16(x)) == x for every x.
std::u16string utf16_from_wtf8(std::string_view text);

// Bytes that should be UTF-8 (a POSIX file name) made valid: each maximal invalid sequence
// becomes U+FFFD, as the Unicode standard recommends for decoders.
std::string valid_utf8(std::string_view bytes);

// True when the bytes are well-formed UTF-8 (no surrogates, no overlong forms, nothing above U+10FFFF).
bool is_valid_utf8(std::string_view bytes);

// The code point that starts at bytes[i] (i < bytes.size()) and how many bytes it takes, at least 1. An
// invalid sequence gives U+FFFD, valid false and the length of its maximal invalid subpart, so that a
// caller stepping by length meets each such subpart once.
struct CodePoint {
    char32_t value;
    std::size_t length;
    bool valid;
};
CodePoint code_point_at(std::string_view bytes, std::size_t i);

// The text without the characters of Unicode's White_Space property at either end.
std::string_view trim_white_space(std::string_view text);

}  // namespace spadrim
