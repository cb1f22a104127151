// Terminal and XML text for spadrim-cli. See text.h.
#include "cli/text.h"

#include <algorithm>
#include <array>
#include <utility>

#include "strings/utf.h"

namespace spadrim {
namespace {

constexpr char HEX_DIGITS[] = "0123456789abcdef";
constexpr std::string_view REPLACEMENT = "\uFFFD";

void put_escape(std::string& out, std::string_view prefix, unsigned char value) {
    out += prefix;
    out += HEX_DIGITS[value >> 4];
    out += HEX_DIGITS[value & 0xF];
}

// Characters that reorder or break the text around them: the bidirectional marks, embeddings,
// overrides and isolates, and the line and paragraph separators.
bool reorders_or_breaks(char32_t c) {
    return c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x2028 && c <= 0x202E) ||
           (c >= 0x2066 && c <= 0x2069);
}

// Blocks whose characters a terminal draws two columns wide: Hangul, CJK, kana, Yi, fullwidth forms,
// emoji and pictographs, the supplementary ideographic planes.
constexpr std::array<std::pair<char32_t, char32_t>, 21> WIDE = {{
    {0x1100, 0x115F},   {0x231A, 0x231B},   {0x2329, 0x232A},   {0x2E80, 0x303E},   {0x3041, 0x33FF},
    {0x3400, 0x4DBF},   {0x4E00, 0x9FFF},   {0xA000, 0xA4CF},   {0xA960, 0xA97F},   {0xAC00, 0xD7A3},
    {0xF900, 0xFAFF},   {0xFE10, 0xFE19},   {0xFE30, 0xFE6F},   {0xFF00, 0xFF60},   {0xFFE0, 0xFFE6},
    {0x16FE0, 0x18AFF}, {0x1B000, 0x1B2FF}, {0x1F300, 0x1F64F}, {0x1F680, 0x1F6FF}, {0x1F900, 0x1FAFF},
    {0x20000, 0x3FFFD},
}};

}  // namespace

std::string terminal_text(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x80) {
            if (byte < 0x20 || byte == 0x7F) {
                put_escape(out, "\\x", byte);
            } else {
                out += text[i];
            }
            ++i;
            continue;
        }
        const CodePoint point = code_point_at(text, i);
        if (!point.valid) {
            for (std::size_t k = i; k < i + point.length; ++k)
                put_escape(out, "\\x", static_cast<unsigned char>(text[k]));
        } else if (point.value <= 0x9F) {
            put_escape(out, "\\u00", static_cast<unsigned char>(point.value));
        } else if (reorders_or_breaks(point.value)) {
            put_escape(out, "\\u", static_cast<unsigned char>(point.value >> 8));
            put_escape(out, "", static_cast<unsigned char>(point.value & 0xFF));
        } else {
            out.append(text.substr(i, point.length));
        }
        i += point.length;
    }
    return out;
}

std::string xml_text(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x80) {
            switch (byte) {
                case '&': out += "&amp;"; break;
                case '<': out += "&lt;"; break;
                case '>': out += "&gt;"; break;
                case '"': out += "&quot;"; break;
                case '\'': out += "&apos;"; break;
                case '\t': out += "&#9;"; break;
                case '\n': out += "&#10;"; break;
                case '\r': out += "&#13;"; break;
                default:
                    if (byte < 0x20) {
                        out += REPLACEMENT;
                    } else {
                        out += text[i];
                    }
            }
            ++i;
            continue;
        }
        const CodePoint point = code_point_at(text, i);
        if (!point.valid || point.value == 0xFFFE || point.value == 0xFFFF) {
            out += REPLACEMENT;
        } else {
            out.append(text.substr(i, point.length));
        }
        i += point.length;
    }
    return out;
}

std::size_t display_width(char32_t c) {
    const auto wide = std::find_if(WIDE.begin(), WIDE.end(),
                                   [c](const auto& range) { return c >= range.first && c <= range.second; });
    return wide == WIDE.end() ? 1 : 2;
}

std::string fit(std::string_view text, std::size_t columns) {
    std::size_t used = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        const CodePoint point = code_point_at(text, i);
        const std::size_t width = display_width(point.value);
        if (width > columns - used) break;
        used += width;
        i += point.length;
    }
    return std::string(text.substr(0, i)) + std::string(columns - used, ' ');
}

std::size_t progress_width(unsigned columns) {
    constexpr unsigned KEPT_FREE = 3;
    if (columns <= KEPT_FREE) return 0;
    return std::min<std::size_t>(columns - KEPT_FREE, MAX_PROGRESS_WIDTH);
}

std::string csv_record(std::initializer_list<std::string_view> fields) {
    std::string out;
    bool first = true;
    for (const std::string_view field : fields) {
        if (!first) out += ',';
        first = false;
        const bool quoted = field.find_first_of(",\"\r\n") != std::string_view::npos ||
                            (!field.empty() && (field.front() == ' ' || field.back() == ' '));
        if (!quoted) {
            out += field;
            continue;
        }
        out += '"';
        for (const char c : field) {
            if (c == '"') out += '"';
            out += c;
        }
        out += '"';
    }
    out += "\r\n";
    return out;
}

}  // namespace spadrim
