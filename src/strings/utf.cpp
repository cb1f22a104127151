// UTF-8 / UTF-16 conversion with replacement. See utf.h.
#include "strings/utf.h"

#include <array>
#include <cstdint>
#include <cstring>

namespace spadrim {
namespace {

constexpr char32_t REPLACEMENT = 0xFFFD;

// Writes c as UTF-8 at `to`; returns the end of what was written (1 to 4 bytes).
char* encode_utf8(char32_t c, char* to) {
    if (c < 0x80) {
        *to++ = static_cast<char>(c);
    } else if (c < 0x800) {
        *to++ = static_cast<char>(0xC0 | (c >> 6));
        *to++ = static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        *to++ = static_cast<char>(0xE0 | (c >> 12));
        *to++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *to++ = static_cast<char>(0x80 | (c & 0x3F));
    } else {
        *to++ = static_cast<char>(0xF0 | (c >> 18));
        *to++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        *to++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *to++ = static_cast<char>(0x80 | (c & 0x3F));
    }
    return to;
}

void put_utf8(std::string& out, char32_t c) {
    char bytes[4];
    out.append(bytes, encode_utf8(c, bytes));
}

// UTF-16 appended to `out` as UTF-8, each unpaired surrogate kept as its own three bytes (keep) or
// replaced. Sized once and written in place: file names pass through here by the million. False when a
// surrogate was unpaired.
bool append_from_utf16(std::string& out, std::u16string_view text, bool keep) {
    const std::size_t start = out.size();
    out.resize(start + 3 * text.size());  // a unit never takes more than three bytes, nor a pair six
    char* to = out.data() + start;
    bool unpaired = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char32_t unit = text[i];
        if (unit < 0x80) {
            *to++ = static_cast<char>(unit);
        } else if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
                   text[i + 1] <= 0xDFFF) {
            to = encode_utf8(0x10000 + ((unit - 0xD800) << 10) + (text[i + 1] - 0xDC00), to);
            ++i;
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            unpaired = true;
            to = encode_utf8(keep ? unit : REPLACEMENT, to);
        } else {
            to = encode_utf8(unit, to);
        }
    }
    out.resize(static_cast<std::size_t>(to - out.data()));
    return !unpaired;
}

void put_utf16(std::u16string& out, char32_t c) {
    if (c >= 0x10000) {
        out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
        out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
        out += static_cast<char16_t>(c);
    }
}

// Decodes one code point at bytes[i]. Returns the number of bytes consumed (at least 1) and sets ok
// to false for an invalid sequence; the consumed part is then the maximal invalid subpart, so that
// the caller emits exactly one U+FFFD for it.
std::size_t decode_utf8(std::string_view bytes, std::size_t i, char32_t& c, bool& ok) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(bytes[k]); };
    const unsigned char lead = byte(i);
    ok = false;
    if (lead < 0x80) {
        c = lead;
        ok = true;
        return 1;
    }
    std::size_t need = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        need = 1;
        c = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        need = 2;
        c = lead & 0x0F;
        if (lead == 0xE0) low = 0xA0;   // no overlong forms
        if (lead == 0xED) high = 0x9F;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        need = 3;
        c = lead & 0x07;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
    } else {
        return 1;
    }
    std::size_t used = 1;
    for (std::size_t k = 0; k < need; ++k) {
        if (i + used >= bytes.size()) return used;
        const unsigned char next = byte(i + used);
        const unsigned char lo = k == 0 ? low : 0x80;
        const unsigned char hi = k == 0 ? high : 0xBF;
        if (next < lo || next > hi) return used;
        c = (c << 6) | (next & 0x3F);
        ++used;
    }
    ok = true;
    return used;
}

}  // namespace

void append_utf8_from_utf16(std::string& out, std::u16string_view text) {
    append_from_utf16(out, text, false);
}

std::string utf8_from_utf16(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    append_utf8_from_utf16(out, text);
    return out;
}

bool append_wtf8_from_utf16(std::string& out, std::u16string_view text) {
    return append_from_utf16(out, text, true);
}

std::string wtf8_from_utf16(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    append_wtf8_from_utf16(out, text);
    return out;
}

std::u16string utf16_from_wtf8(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
        // A kept surrogate: ED A0..BF 80..BF, which the strict decoder below refuses.
        if (byte(i) == 0xED && i + 2 < text.size() && byte(i + 1) >= 0xA0 && byte(i + 1) <= 0xBF &&
            byte(i + 2) >= 0x80 && byte(i + 2) <= 0xBF) {
            out += static_cast<char16_t>(0xD000 | ((byte(i + 1) & 0x3F) << 6) | (byte(i + 2) & 0x3F));
            i += 3;
            continue;
        }
        char32_t c = 0;
        bool ok = false;
        i += decode_utf8(text, i, c, ok);
        put_utf16(out, ok ? c : REPLACEMENT);
    }
    return out;
}

std::u16string utf16_from_utf8(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        char32_t c = 0;
        bool ok = false;
        i += decode_utf8(text, i, c, ok);
        put_utf16(out, ok ? c : REPLACEMENT);
    }
    return out;
}

bool is_valid_utf8(std::string_view bytes) {
    // Most file names are ASCII: step over it without decoding, eight bytes at a time where no byte of
    // the eight has its top bit set.
    constexpr std::uint64_t TOP_BITS = 0x8080808080808080;
    for (std::size_t i = 0; i < bytes.size();) {
        if (std::uint64_t word = 0; bytes.size() - i >= sizeof word) {
            std::memcpy(&word, bytes.data() + i, sizeof word);
            if ((word & TOP_BITS) == 0) {
                i += sizeof word;
                continue;
            }
        }
        if (static_cast<unsigned char>(bytes[i]) < 0x80) {
            ++i;
            continue;
        }
        char32_t c = 0;
        bool ok = false;
        i += decode_utf8(bytes, i, c, ok);
        if (!ok) return false;
    }
    return true;
}

CodePoint code_point_at(std::string_view bytes, std::size_t i) {
    char32_t c = 0;
    bool ok = false;
    const std::size_t used = decode_utf8(bytes, i, c, ok);
    return CodePoint{ok ? c : REPLACEMENT, used, ok};
}

std::string valid_utf8(std::string_view bytes) {
    if (is_valid_utf8(bytes)) return std::string(bytes);
    std::string out;
    out.reserve(bytes.size() + 8);
    for (std::size_t i = 0; i < bytes.size();) {
        char32_t c = 0;
        bool ok = false;
        const std::size_t used = decode_utf8(bytes, i, c, ok);
        if (ok) {
            out.append(bytes.substr(i, used));
        } else {
            put_utf8(out, REPLACEMENT);
        }
        i += used;
    }
    return out;
}

namespace {

// The code points with Unicode's White_Space property, in UTF-8.
constexpr std::array<std::string_view, 25> WHITE_SPACE = {
    "\t",     "\n",     "\v",     "\f",     "\r",     " ",      "\u0085", "\u00A0", "\u1680",
    "\u2000", "\u2001", "\u2002", "\u2003", "\u2004", "\u2005", "\u2006", "\u2007", "\u2008",
    "\u2009", "\u200A", "\u2028", "\u2029", "\u202F", "\u205F", "\u3000"};

}  // namespace

std::string_view trim_white_space(std::string_view text) {
    for (bool trimmed = true; trimmed;) {
        trimmed = false;
        for (std::string_view space : WHITE_SPACE) {
            if (text.starts_with(space)) text.remove_prefix(space.size()), trimmed = true;
            if (text.ends_with(space)) text.remove_suffix(space.size()), trimmed = true;
        }
    }
    return text;
}

}  // namespace spadrim
