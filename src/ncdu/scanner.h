// The tokens of a scan file, read straight from the pulled chunks. Internal to read.cpp.
//
// A hand-written JSON scanner for the one document shape ncdu writes, kept to the rules of a strict
// JSON reader: every escape, surrogate pairs joined, control characters in strings refused, numbers as
// JSON writes them. Strings come out exactly as their bytes go (escapes decoded, bytes that are not
// UTF-8 kept as they are, as ncdu writes names), with a note when they are not UTF-8. Nothing is
// allocated per token: a string is decoded into one buffer that keeps its capacity.
//
// Places are counted as if every byte sequence that is not UTF-8 were the three bytes of U+FFFD, the
// text a reader that repairs its input would see, so that a place names the same column whichever
// way the document was read. Two places are kept: where the scanner stands (consumed bytes, plus one
// for a read of the end), for syntax errors, and the furthest byte pulled (the scanner looks one byte
// past a number), for errors about what a token says. The bounds on tokens are entries.h's, which every
// reader of scan files keeps.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "ncdu/entries.h"
#include "ncdu/ncdu.h"

namespace spadrim::ncdu_scan {

enum class Token : std::uint8_t {
    UNINITIALIZED,
    TRUE_LITERAL,
    FALSE_LITERAL,
    NULL_LITERAL,
    STRING,
    UNSIGNED,
    INTEGER,
    FLOAT,
    BEGIN_ARRAY,
    BEGIN_OBJECT,
    END_ARRAY,
    END_OBJECT,
    NAME_SEPARATOR,
    VALUE_SEPARATOR,
    PARSE_ERROR,
    END_OF_INPUT,
    LITERAL_OR_VALUE,
    TOO_LONG,  // a token passed its bound: nothing past it is read
};

class Scanner {
  public:
    static constexpr std::size_t CHUNK = 256 * 1024;

    explicit Scanner(const PullBytes& pull) : pull_(pull) {
        buffer_.resize(CHUNK + 8);
        at_ = end_ = buffer_.data();
    }

    // The token's content, for the kinds that have one.
    std::string text;                  // STRING: its bytes, escapes decoded
    bool text_is_utf8 = true;          // STRING: no byte sequence in text is invalid UTF-8
    std::uint64_t text_repaired = 0;   // STRING: text's length with each invalid sequence as U+FFFD
    std::string number;                // INTEGER, FLOAT: as written (UNSIGNED: not always kept)
    std::uint64_t unsigned_value = 0;  // UNSIGNED
    std::int64_t integer_value = 0;    // INTEGER
    const char* message = "";          // PARSE_ERROR: what is wrong; TOO_LONG: "string" or "number"
    Place error_place{};               // PARSE_ERROR at the start, where the place is set apart

    bool read_failed() const { return read_failed_; }

    // The document's start: a byte order mark is stepped over, any other start of that shape refused.
    Token start() {
        if (!fill(1) || static_cast<unsigned char>(*at_) < 0x80) return next();
        const auto lead = static_cast<unsigned char>(*at_);
        fill(lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2);
        std::size_t length = 0;
        const bool valid = whole_sequence(length);
        if (valid && lead != 0xEF) return next();  // a character out of place: refused as a literal
        // As repaired text this starts with 0xEF: a byte order mark, whole or broken.
        const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(at_[k]); };
        if (valid && byte(1) == 0xBB && byte(2) == 0xBF) {
            at_ += 3;
            return next();
        }
        message = "invalid BOM; must be 0xEF 0xBB 0xBF if given";
        error_place = Place{1, valid && byte(1) == 0xBB ? 3u : 2u};
        placed_error_ = true;
        return Token::PARSE_ERROR;
    }

    // The next token. After PARSE_ERROR or TOO_LONG nothing more may be asked.
    Token next() {
        ahead_ = false;
        int c;
        for (;;) {
            if (at_ == end_ && !refill()) {
                eof_read_ = true;
                return Token::END_OF_INPUT;
            }
            c = static_cast<unsigned char>(*at_++);
            if (c == ' ' || c == '\t' || c == '\r') {
                run_start_ = offset();
                continue;
            }
            if (c == '\n') {
                newline();
                continue;
            }
            break;
        }
        switch (c) {
            case '[': run_start_ = offset(); return Token::BEGIN_ARRAY;
            case ']': run_start_ = offset(); return Token::END_ARRAY;
            case '{': run_start_ = offset(); return Token::BEGIN_OBJECT;
            case '}': run_start_ = offset(); return Token::END_OBJECT;
            case ':': run_start_ = offset(); return Token::NAME_SEPARATOR;
            case ',': run_start_ = offset(); return Token::VALUE_SEPARATOR;
            case '"': return scan_string();
            case 't': return literal("true", Token::TRUE_LITERAL);
            case 'f': return literal("false", Token::FALSE_LITERAL);
            case 'n': return literal("null", Token::NULL_LITERAL);
            case '-':
            case '0':
            case '1':
            case '2':
            case '3':
            case '4':
            case '5':
            case '6':
            case '7':
            case '8':
            case '9': return scan_number(c);
            case '\0':  // as in a C string: the end
                if (past_run_bound()) return too_long("number");
                return Token::END_OF_INPUT;
            default:
                if (past_run_bound()) return too_long("number");
                message = "invalid literal";
                return Token::PARSE_ERROR;
        }
    }

    // Where the scanner stands, for a syntax error. A newline looked at past a number and put back
    // leaves the column at 0, as the strict reader this keeps to counts it.
    Place place() const {
        if (placed_error_) return error_place;
        if (ahead_ && at_ < end_ && *at_ == '\n') return Place{line_ + 1, 0};
        return Place{line_ + 1, offset() - line_start_ + extra_ + (eof_read_ ? 1 : 0)};
    }

    // The furthest byte pulled, for an error about a token: its line and column (at least 1).
    Place pulled_place() const {
        if (ahead_ && at_ < end_ && *at_ == '\n') return Place{line_ + 2, 1};
        const std::uint64_t column = offset() + (ahead_ ? 1 : 0) - line_start_ + extra_;
        return Place{line_ + 1, column == 0 ? 1 : column};
    }

    // A FLOAT's value, as the C library reads the text.
    double float_value() const { return std::strtod(number.c_str(), nullptr); }

  private:
    std::uint64_t offset() const { return base_ + static_cast<std::uint64_t>(at_ - buffer_.data()); }

    void newline() {
        ++line_;
        line_start_ = run_start_ = offset();
        extra_ = 0;
    }

    // The next chunk, once everything before was read; false at the end.
    bool refill() {
        if (ended_) return false;
        base_ += static_cast<std::uint64_t>(end_ - buffer_.data());
        at_ = end_ = buffer_.data();
        const std::optional<std::size_t> got = pull_(std::span<char>(buffer_.data(), CHUNK));
        if (!got) read_failed_ = true;
        if (!got || *got == 0) {
            ended_ = true;
            return false;
        }
        end_ = buffer_.data() + *got;
        return true;
    }

    // At least `count` bytes unread in the buffer, or all that is left (only at the start, where the
    // buffer can be moved freely). False when none.
    bool fill(std::size_t count) {
        while (static_cast<std::size_t>(end_ - at_) < count && !ended_) {
            const std::size_t kept = static_cast<std::size_t>(end_ - at_);
            base_ += static_cast<std::uint64_t>(at_ - buffer_.data());
            std::memmove(buffer_.data(), at_, kept);
            at_ = buffer_.data();
            end_ = at_ + kept;
            const std::optional<std::size_t> got = pull_(std::span<char>(buffer_.data() + kept, CHUNK));
            if (!got) read_failed_ = true;
            if (!got || *got == 0) ended_ = true;
            end_ += got.value_or(0);
        }
        return end_ > at_;
    }

    // Whether the bytes at at_ begin with a whole UTF-8 sequence, and its length or that of the broken
    // part.
    bool whole_sequence(std::size_t& length) const {
        std::uint8_t state_need = 0;
        unsigned char low = 0x80;
        unsigned char high = 0xBF;
        const auto lead = static_cast<unsigned char>(*at_);
        if (!lead_of(lead, state_need, low, high)) {
            length = 1;
            return false;
        }
        length = 1;
        for (std::uint8_t k = 0; k < state_need; ++k) {
            if (at_ + length >= end_) return false;
            const auto next = static_cast<unsigned char>(at_[length]);
            if (next < low || next > high) return false;
            low = 0x80;
            high = 0xBF;
            ++length;
        }
        return true;
    }

    // What a lead byte asks of the bytes that follow: how many, and the range of the first.
    static bool lead_of(unsigned char lead, std::uint8_t& need, unsigned char& low, unsigned char& high) {
        low = 0x80;
        high = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF) {
            need = 1;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            need = 2;
            if (lead == 0xE0) low = 0xA0;   // no overlong forms
            if (lead == 0xED) high = 0x9F;  // no surrogates
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            need = 3;
            if (lead == 0xF0) low = 0x90;
            if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
        } else {
            return false;
        }
        return true;
    }

    // Whether the byte just read outside a string is past the bound of a run.
    bool past_run_bound() const { return offset() - run_start_ > MAX_NUMBER_TOKEN; }

    // Whether a byte ends a run rather than being part of one (so never past its bound).
    static bool ends_run(int c) {
        switch (c) {
            case ' ':
            case '\t':
            case '\n':
            case '\r':
            case '[':
            case ']':
            case '{':
            case '}':
            case ',':
            case ':':
            case '"': return true;
            default: return false;
        }
    }

    // Stops at the byte just read, the first past a token's bound.
    Token too_long(const char* what) {
        message = what;
        ahead_ = false;
        return Token::TOO_LONG;
    }

    int get() {
        if (at_ == end_ && !refill()) {
            eof_read_ = true;
            return -1;
        }
        return static_cast<unsigned char>(*at_++);
    }

    Token literal(const char* word, Token kind) {
        if (past_run_bound()) return too_long("number");
        for (const char* rest = word + 1; *rest != '\0'; ++rest) {
            const int c = get();
            if (c >= 0 && !ends_run(c) && past_run_bound()) return too_long("number");
            if (c != *rest) {
                if (c == '\n') newline();
                message = "invalid literal";
                return Token::PARSE_ERROR;
            }
        }
        return kind;
    }

    // A number by JSON's grammar; the byte after it is looked at and left for the next token.
    Token scan_number(int first) {
        if (first != '-' && first != '0') {
            // Sizes, times and counts: a few digits, whole in the buffer with the byte after them.
            const char* digits = at_;
            std::uint64_t value = static_cast<std::uint64_t>(first - '0');
            while (digits < end_ && digits - at_ < 18 && *digits >= '0' && *digits <= '9')
                value = value * 10 + static_cast<std::uint64_t>(*digits++ - '0');
            const std::uint64_t run =
                base_ + static_cast<std::uint64_t>(digits + 1 - buffer_.data()) - run_start_;
            if (digits < end_ && !(*digits >= '0' && *digits <= '9') && *digits != '.' && *digits != 'e' &&
                *digits != 'E' && run <= MAX_NUMBER_TOKEN) {
                at_ = digits;
                ahead_ = true;
                unsigned_value = value;
                return Token::UNSIGNED;
            }
        }
        number.clear();
        number += static_cast<char>(first);
        if (past_run_bound()) return too_long("number");
        bool negative = first == '-';
        bool whole = true;
        int c = 0;
        // One read: the byte is counted in the run even when it ends the number.
        const auto read = [&]() -> bool {
            c = get();
            return c < 0 || ends_run(c) || !past_run_bound();
        };
        const auto digit = [&] { return c >= '0' && c <= '9'; };
        const auto fail = [&](const char* what) {
            if (c == '\n') newline();
            message = what;
            return Token::PARSE_ERROR;
        };
        if (negative) {
            if (!read()) return too_long("number");
            if (!digit()) return fail("invalid number; expected digit after '-'");
            number += static_cast<char>(c);
            first = c;
        }
        if (!read()) return too_long("number");
        if (first != '0') {
            while (digit()) {
                number += static_cast<char>(c);
                if (!read()) return too_long("number");
            }
        }
        if (c == '.') {
            whole = false;
            number += '.';
            if (!read()) return too_long("number");
            if (!digit()) return fail("invalid number; expected digit after '.'");
            while (digit()) {
                number += static_cast<char>(c);
                if (!read()) return too_long("number");
            }
        }
        if (c == 'e' || c == 'E') {
            whole = false;
            number += static_cast<char>(c);
            if (!read()) return too_long("number");
            if (c == '+' || c == '-') {
                number += static_cast<char>(c);
                if (!read()) return too_long("number");
                if (!digit()) return fail("invalid number; expected digit after exponent sign");
            } else if (!digit()) {
                return fail("invalid number; expected '+', '-', or digit after exponent");
            }
            while (digit()) {
                number += static_cast<char>(c);
                if (!read()) return too_long("number");
            }
        }
        if (c >= 0) {
            --at_;  // looked at, not taken
            ahead_ = true;
        } else {
            eof_read_ = false;  // the end is read again by the next token
        }
        if (whole) {
            // Whole numbers that fit 64 bits; the others are read as floating point, as strtoull and
            // strtoll would leave them.
            const std::size_t digits_at = negative ? 1 : 0;
            std::uint64_t magnitude = 0;
            bool fits = number.size() - digits_at <= 20;
            for (std::size_t i = digits_at; fits && i < number.size(); ++i) {
                const auto d = static_cast<std::uint64_t>(number[i] - '0');
                if (magnitude > (UINT64_MAX - d) / 10) fits = false;
                magnitude = magnitude * 10 + d;
            }
            if (fits && !negative) {
                unsigned_value = magnitude;
                return Token::UNSIGNED;
            }
            if (fits && magnitude <= std::uint64_t{1} << 63) {
                integer_value = static_cast<std::int64_t>(0 - magnitude);
                return Token::INTEGER;
            }
        }
        return Token::FLOAT;
    }

    // Appends the UTF-8 form of a code point (from an escape, so valid).
    void put_code_point(std::uint32_t point) {
        if (point < 0x80) {
            text += static_cast<char>(point);
        } else if (point < 0x800) {
            text += static_cast<char>(0xC0 | (point >> 6));
            text += static_cast<char>(0x80 | (point & 0x3F));
        } else if (point < 0x10000) {
            text += static_cast<char>(0xE0 | (point >> 12));
            text += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
            text += static_cast<char>(0x80 | (point & 0x3F));
        } else {
            text += static_cast<char>(0xF0 | (point >> 18));
            text += static_cast<char>(0x80 | ((point >> 12) & 0x3F));
            text += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
            text += static_cast<char>(0x80 | (point & 0x3F));
        }
    }

    // A sequence begun and broken: it counts as U+FFFD.
    void broken_sequence() {
        const std::uint64_t more = 3 - seen_;
        extra_ += more;
        string_extra_ += more;
        text_is_utf8 = false;
        need_ = 0;
    }

    // One byte of 0x80 or more inside a string.
    void high_byte(unsigned char byte) {
        text += static_cast<char>(byte);
        if (need_ != 0) {
            if (byte >= low_ && byte <= high_) {
                ++seen_;
                --need_;
                low_ = 0x80;
                high_ = 0xBF;
                return;
            }
            broken_sequence();
        }
        if (lead_of(byte, need_, low_, high_)) {
            seen_ = 1;
            return;
        }
        seen_ = 1;
        broken_sequence();
    }

    // The string's bytes so far, as the repaired text counts them, with the byte at at_ - 1.
    bool string_past_bound() const { return offset() - string_start_ + string_extra_ > MAX_STRING_TOKEN; }

    // A byte inside a string, from an escape: -1 at the end, -2 past the bound.
    int string_get() {
        const int c = get();
        if (c >= 0 && string_past_bound()) return -2;
        return c;
    }

    // Four hex digits after "\u": the code unit, or -1 (-2 past the bound).
    int code_unit() {
        int unit = 0;
        for (int k = 0; k < 4; ++k) {
            const int c = string_get();
            if (c == -2) return -2;
            int value;
            if (c >= '0' && c <= '9') {
                value = c - '0';
            } else if (c >= 'a' && c <= 'f') {
                value = c - 'a' + 10;
            } else if (c >= 'A' && c <= 'F') {
                value = c - 'A' + 10;
            } else {
                if (c == '\n') newline();
                return -1;
            }
            unit = unit * 16 + value;
        }
        return unit;
    }

    Token string_error(const char* what) {
        message = what;
        return Token::PARSE_ERROR;
    }

    // After "\": one escape.
    Token escape() {
        const int c = string_get();
        if (c == -2) return too_long("string");
        switch (c) {
            case '"': text += '"'; return Token::STRING;
            case '\\': text += '\\'; return Token::STRING;
            case '/': text += '/'; return Token::STRING;
            case 'b': text += '\b'; return Token::STRING;
            case 'f': text += '\f'; return Token::STRING;
            case 'n': text += '\n'; return Token::STRING;
            case 'r': text += '\r'; return Token::STRING;
            case 't': text += '\t'; return Token::STRING;
            case 'u': break;
            default:
                if (c == '\n') newline();
                return string_error("invalid string: forbidden character after backslash");
        }
        constexpr const char* NOT_HEX = "invalid string: '\\u' must be followed by 4 hex digits";
        constexpr const char* UNPAIRED_HIGH =
            "invalid string: surrogate U+D800..U+DBFF must be followed by U+DC00..U+DFFF";
        const int unit = code_unit();
        if (unit == -2) return too_long("string");
        if (unit < 0) return string_error(NOT_HEX);
        if (unit >= 0xDC00 && unit <= 0xDFFF)
            return string_error("invalid string: surrogate U+DC00..U+DFFF must follow U+D800..U+DBFF");
        if (unit < 0xD800 || unit > 0xDBFF) {
            put_code_point(static_cast<std::uint32_t>(unit));
            return Token::STRING;
        }
        int c2 = string_get();
        if (c2 == -2) return too_long("string");
        if (c2 == '\\') {
            c2 = string_get();
            if (c2 == -2) return too_long("string");
            if (c2 == 'u') {
                const int low = code_unit();
                if (low == -2) return too_long("string");
                if (low < 0) return string_error(NOT_HEX);
                if (low < 0xDC00 || low > 0xDFFF) return string_error(UNPAIRED_HIGH);
                put_code_point(0x10000 + ((static_cast<std::uint32_t>(unit) - 0xD800) << 10) +
                               (static_cast<std::uint32_t>(low) - 0xDC00));
                return Token::STRING;
            }
        }
        if (c2 == '\n') newline();
        return string_error(UNPAIRED_HIGH);
    }

    static const char* control_message(int c);

    // After the opening quote: the string up to its closing quote.
    Token scan_string() {
        text.clear();
        text_is_utf8 = true;
        string_start_ = offset();
        string_extra_ = 0;
        need_ = 0;
        for (;;) {
            if (need_ == 0) {
                // The plain bytes, eight at a time while none is a quote, a backslash, a control
                // character or past ASCII: nearly all of every name.
                const char* run = at_;
                while (end_ - at_ >= 8) {
                    std::uint64_t word;
                    std::memcpy(&word, at_, 8);
                    constexpr std::uint64_t ONES = 0x0101010101010101u;
                    constexpr std::uint64_t HIGHS = 0x8080808080808080u;
                    const std::uint64_t quote = word ^ (ONES * '"');
                    const std::uint64_t backslash = word ^ (ONES * '\\');
                    const std::uint64_t special = ((quote - ONES) & ~quote) |
                                                  ((backslash - ONES) & ~backslash) | (word - ONES * 0x20) |
                                                  word;
                    if (special & HIGHS) break;
                    at_ += 8;
                }
                while (at_ < end_) {
                    const auto b = static_cast<unsigned char>(*at_);
                    if (b < 0x20 || b >= 0x80 || b == '"' || b == '\\') break;
                    ++at_;
                }
                if (at_ != run) {
                    if (string_past_bound()) {
                        at_ = buffer_.data() + (string_start_ + MAX_STRING_TOKEN - string_extra_ + 1 - base_);
                        return too_long("string");
                    }
                    text.append(run, static_cast<std::size_t>(at_ - run));
                }
            }
            const int c = get();
            if (c < 0) {
                if (need_ != 0) broken_sequence();
                return string_error("invalid string: missing closing quote");
            }
            if (c >= 0x80) {
                high_byte(static_cast<unsigned char>(c));
                if (string_past_bound()) return too_long("string");
                continue;
            }
            if (need_ != 0) broken_sequence();
            if (c == '"') {
                run_start_ = offset();
                text_repaired = text.size() + string_extra_;
                return Token::STRING;
            }
            if (string_past_bound()) return too_long("string");
            if (c == '\\') {
                const Token escaped = escape();
                if (escaped != Token::STRING) return escaped;
                continue;
            }
            if (c < 0x20) {
                if (c == '\n') newline();
                return string_error(control_message(c));
            }
            text += static_cast<char>(c);
        }
    }

    const PullBytes& pull_;
    std::vector<char> buffer_;
    const char* at_;          // the next byte to read
    const char* end_;         // past the last byte pulled
    std::uint64_t base_ = 0;  // the document offset of buffer_[0]
    bool ended_ = false;
    bool read_failed_ = false;
    bool ahead_ = false;     // the byte at at_ was looked at past a number
    bool eof_read_ = false;  // the last read found the end
    bool placed_error_ = false;
    std::uint64_t line_ = 0;          // newlines read
    std::uint64_t line_start_ = 0;    // the offset after the last of them
    std::uint64_t extra_ = 0;         // bytes the repaired text has more than the document on this line
    std::uint64_t run_start_ = 0;     // the offset after the last byte that ends a run (see MAX_NUMBER_TOKEN)
    std::uint64_t string_start_ = 0;  // the offset after the string's opening quote
    std::uint64_t string_extra_ = 0;  // bytes the repaired string has more than the document's
    std::uint8_t need_ = 0;           // continuation bytes a UTF-8 sequence still wants
    std::uint8_t seen_ = 0;           // bytes of that sequence so far
    unsigned char low_ = 0x80;        // the range of its next byte
    unsigned char high_ = 0xBF;
};

inline const char* Scanner::control_message(int c) {
    static constexpr const char* MESSAGES[32] = {
        "invalid string: control character U+0000 (NUL) must be escaped to \\u0000",
        "invalid string: control character U+0001 (SOH) must be escaped to \\u0001",
        "invalid string: control character U+0002 (STX) must be escaped to \\u0002",
        "invalid string: control character U+0003 (ETX) must be escaped to \\u0003",
        "invalid string: control character U+0004 (EOT) must be escaped to \\u0004",
        "invalid string: control character U+0005 (ENQ) must be escaped to \\u0005",
        "invalid string: control character U+0006 (ACK) must be escaped to \\u0006",
        "invalid string: control character U+0007 (BEL) must be escaped to \\u0007",
        "invalid string: control character U+0008 (BS) must be escaped to \\u0008 or \\b",
        "invalid string: control character U+0009 (HT) must be escaped to \\u0009 or \\t",
        "invalid string: control character U+000A (LF) must be escaped to \\u000A or \\n",
        "invalid string: control character U+000B (VT) must be escaped to \\u000B",
        "invalid string: control character U+000C (FF) must be escaped to \\u000C or \\f",
        "invalid string: control character U+000D (CR) must be escaped to \\u000D or \\r",
        "invalid string: control character U+000E (SO) must be escaped to \\u000E",
        "invalid string: control character U+000F (SI) must be escaped to \\u000F",
        "invalid string: control character U+0010 (DLE) must be escaped to \\u0010",
        "invalid string: control character U+0011 (DC1) must be escaped to \\u0011",
        "invalid string: control character U+0012 (DC2) must be escaped to \\u0012",
        "invalid string: control character U+0013 (DC3) must be escaped to \\u0013",
        "invalid string: control character U+0014 (DC4) must be escaped to \\u0014",
        "invalid string: control character U+0015 (NAK) must be escaped to \\u0015",
        "invalid string: control character U+0016 (SYN) must be escaped to \\u0016",
        "invalid string: control character U+0017 (ETB) must be escaped to \\u0017",
        "invalid string: control character U+0018 (CAN) must be escaped to \\u0018",
        "invalid string: control character U+0019 (EM) must be escaped to \\u0019",
        "invalid string: control character U+001A (SUB) must be escaped to \\u001A",
        "invalid string: control character U+001B (ESC) must be escaped to \\u001B",
        "invalid string: control character U+001C (FS) must be escaped to \\u001C",
        "invalid string: control character U+001D (GS) must be escaped to \\u001D",
        "invalid string: control character U+001E (RS) must be escaped to \\u001E",
        "invalid string: control character U+001F (US) must be escaped to \\u001F",
    };
    return MESSAGES[c];
}

}  // namespace spadrim::ncdu_scan
