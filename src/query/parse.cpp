// Reading a query's text. See query.h.
//
// Days are UTC days: modified:<2023-01-01 means before 2023-01-01T00:00:00Z, whatever the PC's zone, so
// that the window, the command line and a scan file read on another machine agree. Ages count back from
// QueryContext::now: d and w in whole 24-hour days, m and y in calendar months and years on the UTC date
// (a day past the month's end becomes its last day).
#include <charconv>
#include <initializer_list>

#include "kinds/times.h"
#include "query/fold.h"
#include "query/query.h"
#include "strings/strings.h"

namespace spadrim {
namespace {

constexpr std::int64_t DAY = 86400;

struct Failure {
    std::string reason;
};

std::string message(std::string_view text, std::initializer_list<std::string_view> values) {
    return substitute(text, values);
}

bool is_space_at(std::string_view text, std::size_t i, std::size_t& width) {
    if (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' || text[i] == '\r') {
        width = 1;
        return true;
    }
    if (text.substr(i).starts_with("\u3000")) {  // the ideographic space an IME types
        width = 3;
        return true;
    }
    return false;
}

// The text split at spaces outside quotation marks; each token as written, quotes and all.
std::optional<std::vector<std::string_view>> tokens_of(std::string_view text) {
    std::vector<std::string_view> tokens;
    std::size_t start = std::string_view::npos;
    bool quoted = false;
    for (std::size_t i = 0; i < text.size();) {
        std::size_t width = 1;
        if (!quoted && is_space_at(text, i, width)) {
            if (start != std::string_view::npos) tokens.push_back(text.substr(start, i - start));
            start = std::string_view::npos;
        } else {
            if (start == std::string_view::npos) start = i;
            if (text[i] == '"') quoted = !quoted;
        }
        i += width;
    }
    if (quoted) return std::nullopt;
    if (start != std::string_view::npos) tokens.push_back(text.substr(start));
    return tokens;
}

std::string unquoted(std::string_view text) {
    std::string out;
    for (const char c : text) {
        if (c != '"') out += c;
    }
    return out;
}

bool ascii_letters(std::string_view text) {
    for (const char c : text) {
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))) return false;
    }
    return true;
}

std::string ascii_lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    }
    return out;
}

std::vector<std::string> split_commas(std::string_view text) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = text.find(',', start);
        parts.emplace_back(
            text.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start));
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
    return parts;
}

// A comparison ahead of a value: <, <=, >, >=, = or nothing, and a range "a..b" (either end open).
struct Bounds {
    enum class Op {
        Below,
        AtMost,
        Above,
        AtLeast,
        Equal,
        Range
    } op = Op::Equal;
    std::string_view low;   // the value, or a range's start
    std::string_view high;  // a range's end
};

Bounds bounds_of(std::string_view value) {
    Bounds b;
    if (value.starts_with("<=")) return {Bounds::Op::AtMost, value.substr(2), {}};
    if (value.starts_with(">=")) return {Bounds::Op::AtLeast, value.substr(2), {}};
    if (value.starts_with("<")) return {Bounds::Op::Below, value.substr(1), {}};
    if (value.starts_with(">")) return {Bounds::Op::Above, value.substr(1), {}};
    if (value.starts_with("=")) return {Bounds::Op::Equal, value.substr(1), {}};
    const std::size_t dots = value.find("..");
    if (dots != std::string_view::npos)
        return {Bounds::Op::Range, value.substr(0, dots), value.substr(dots + 2)};
    b.low = value;
    return b;
}

// "1.5GB", "100mb", "512": bytes in 1024 steps, as format_size writes them.
std::optional<std::uint64_t> size_of(std::string_view text) {
    std::size_t i = 0;
    std::uint64_t whole = 0;
    const char* begin = text.data();
    const auto parsed = std::from_chars(begin, begin + text.size(), whole);
    if (parsed.ec != std::errc() || parsed.ptr == begin) return std::nullopt;
    i = static_cast<std::size_t>(parsed.ptr - begin);
    std::uint64_t fraction = 0;
    std::uint64_t scale = 1;
    if (i < text.size() && text[i] == '.') {
        ++i;
        const std::size_t digits_start = i;
        for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
            if (scale < 1'000'000'000) {
                fraction = fraction * 10 + static_cast<std::uint64_t>(text[i] - '0');
                scale *= 10;
            }
        }
        if (i == digits_start) return std::nullopt;
    }
    const std::string unit = ascii_lower(text.substr(i));
    int shift = 0;
    if (unit.empty() || unit == "b") {
        shift = 0;
    } else if (unit == "kb") {
        shift = 10;
    } else if (unit == "mb") {
        shift = 20;
    } else if (unit == "gb") {
        shift = 30;
    } else if (unit == "tb") {
        shift = 40;
    } else {
        return std::nullopt;
    }
    if (whole > (UINT64_MAX >> shift) - 1) return std::nullopt;
    const std::uint64_t multiplier = std::uint64_t{1} << shift;
    // The fraction in floating point: exact enough for a bound, and no 128-bit product.
    const auto part = static_cast<std::uint64_t>(
        static_cast<double>(fraction) * static_cast<double>(multiplier) / static_cast<double>(scale) + 0.5);
    return whole * multiplier + part;
}

std::int64_t days_from_civil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

struct Civil {
    std::int64_t year;
    unsigned month;
    unsigned day;
};

Civil civil_from_days(std::int64_t z) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    return {static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2), m, d};
}

unsigned days_in_month(std::int64_t year, unsigned month) {
    static constexpr unsigned DAYS[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : DAYS[month - 1];
}

// "2023-01-01" (month and day may have one digit): the day's first second, UTC.
std::optional<std::int64_t> day_start(std::string_view text) {
    auto number = [](std::string_view part, std::size_t max_digits) -> std::optional<unsigned> {
        if (part.empty() || part.size() > max_digits) return std::nullopt;
        unsigned value = 0;
        const auto parsed = std::from_chars(part.data(), part.data() + part.size(), value);
        if (parsed.ec != std::errc() || parsed.ptr != part.data() + part.size()) return std::nullopt;
        return value;
    };
    const std::size_t first = text.find('-');
    const std::size_t second = first == std::string_view::npos ? first : text.find('-', first + 1);
    if (second == std::string_view::npos || first != 4) return std::nullopt;
    const auto year = number(text.substr(0, 4), 4);
    const auto month = number(text.substr(5, second - 5), 2);
    const auto day = number(text.substr(second + 1), 2);
    if (!year || !month || !day || *year < 1601 || *month < 1 || *month > 12 || *day < 1 ||
        *day > days_in_month(*year, *month))
        return std::nullopt;
    return days_from_civil(*year, *month, *day) * DAY;
}

// "30d", "2w", "6m", "2y" back from now.
std::optional<std::int64_t> age_cutoff(std::string_view text, std::int64_t now) {
    if (text.size() < 2) return std::nullopt;
    const char unit = static_cast<char>(ascii_lower(text.substr(text.size() - 1))[0]);
    const std::string_view digits = text.substr(0, text.size() - 1);
    std::uint32_t count = 0;
    const auto parsed = std::from_chars(digits.data(), digits.data() + digits.size(), count);
    if (parsed.ec != std::errc() || parsed.ptr != digits.data() + digits.size() || count > 100'000)
        return std::nullopt;
    if (unit == 'd') return now - std::int64_t{count} * DAY;
    if (unit == 'w') return now - std::int64_t{count} * 7 * DAY;
    if (unit != 'm' && unit != 'y') return std::nullopt;
    const std::int64_t days = now >= 0 ? now / DAY : (now - DAY + 1) / DAY;
    const std::int64_t second_of_day = now - days * DAY;
    const Civil today = civil_from_days(days);
    const std::int64_t months_back = unit == 'y' ? std::int64_t{count} * 12 : count;
    const std::int64_t month_index = today.year * 12 + (today.month - 1) - months_back;
    const std::int64_t year = month_index >= 0 ? month_index / 12 : (month_index - 11) / 12;
    const auto month = static_cast<unsigned>(month_index - year * 12 + 1);
    const unsigned day = std::min(today.day, days_in_month(year, month));
    return days_from_civil(year, month, day) * DAY + second_of_day;
}

// English kind names, singular and plural, by FileKind.
constexpr std::string_view KIND_WORDS[KIND_COUNT][2] = {
    {"picture", "pictures"}, {"video", "videos"},     {"music", "music"},         {"document", "documents"},
    {"archive", "archives"}, {"program", "programs"}, {"temporary", "temporary"}, {"other", "other"},
};

std::optional<int> kind_named(std::string_view name, const QueryContext& context) {
    const std::string wanted = folded(name);
    for (int k = 0; k < KIND_COUNT; ++k) {
        if (wanted == KIND_WORDS[k][0] || wanted == KIND_WORDS[k][1]) return k;
        const std::string& label = context.kind_labels[static_cast<std::size_t>(k)];
        if (!label.empty() && folded(label) == wanted) return k;
    }
    return std::nullopt;
}

// What a parse gathers besides the query: which parts set each bound, for a contradiction's message.
struct Parts {
    std::string_view min_size, max_size, after, before, folder, typed;
    bool saw_file = false;
    bool saw_folder = false;
};

std::optional<Failure> read_size(std::string_view part, std::string_view value, Query& query, Parts& parts) {
    const Bounds b = bounds_of(value);
    const std::string not_size = message(tr("크기로 읽을 수 없습니다: {0}", "Not a size: {0}"), {part});
    std::optional<std::uint64_t> low;
    std::optional<std::uint64_t> high;
    if (b.op == Bounds::Op::Range) {
        if (b.low.empty() && b.high.empty()) return Failure{not_size};
        low = b.low.empty() ? std::optional<std::uint64_t>(0) : size_of(b.low);
        high = b.high.empty() ? std::optional<std::uint64_t>(UINT64_MAX) : size_of(b.high);
        if (!low || !high) return Failure{not_size};
        if (*low > *high)
            return Failure{message(
                tr("범위의 끝이 시작보다 앞섭니다: {0}", "The range ends before it starts: {0}"), {part})};
    } else {
        const std::optional<std::uint64_t> v = size_of(b.low);
        if (!v) return Failure{not_size};
        switch (b.op) {
            case Bounds::Op::Below:
                if (*v == 0) return Failure{not_size};  // nothing is smaller than nothing
                high = *v - 1;
                break;
            case Bounds::Op::AtMost: high = *v; break;
            case Bounds::Op::Above:
                if (*v == UINT64_MAX) return Failure{not_size};
                low = *v + 1;
                break;
            case Bounds::Op::AtLeast:
            case Bounds::Op::Equal:  // size:1GB: at least that much, what one looking for big things means
            case Bounds::Op::Range: low = *v; break;
        }
    }
    if (low && *low > query.min_size) {
        query.min_size = *low;
        parts.min_size = part;
    }
    if (high && *high < query.max_size) {
        query.max_size = *high;
        parts.max_size = part;
    }
    return std::nullopt;
}

void set_time_bounds(std::optional<std::int64_t> after, std::optional<std::int64_t> before,
                     std::string_view part, Query& query, Parts& parts) {
    if (after) {
        const std::uint32_t bound = mtime_from_unix(*after);
        if (bound > query.modified_after) {
            query.modified_after = bound;
            parts.after = part;
        }
    }
    if (before) {
        // Before 1970 every known time is 1 (see Node::mtime), so a bound there keeps nothing known.
        const std::uint32_t bound = *before < 1 ? 1 : mtime_from_unix(*before);
        if (bound < query.modified_before) {
            query.modified_before = bound;
            parts.before = part;
        }
    }
}

std::optional<Failure> read_modified(std::string_view part, std::string_view value, Query& query,
                                     Parts& parts) {
    const Bounds b = bounds_of(value);
    const std::string not_date =
        message(tr("날짜(YYYY-MM-DD)로 읽을 수 없습니다: {0}", "Not a date (YYYY-MM-DD): {0}"), {part});
    if (b.op == Bounds::Op::Range) {
        if (b.low.empty() && b.high.empty()) return Failure{not_date};
        const std::optional<std::int64_t> from =
            b.low.empty() ? std::optional<std::int64_t>(0) : day_start(b.low);
        const std::optional<std::int64_t> to =
            b.high.empty() ? std::optional<std::int64_t>(INT64_MAX / 2) : day_start(b.high);
        if (!from || !to) return Failure{not_date};
        if (*from > *to)
            return Failure{message(
                tr("범위의 끝이 시작보다 앞섭니다: {0}", "The range ends before it starts: {0}"), {part})};
        set_time_bounds(b.low.empty() ? std::nullopt : from,
                        b.high.empty() ? std::nullopt : std::optional(*to + DAY), part, query, parts);
        return std::nullopt;
    }
    const std::optional<std::int64_t> day = day_start(b.low);
    if (!day) return Failure{not_date};
    switch (b.op) {
        case Bounds::Op::Below: set_time_bounds(std::nullopt, *day, part, query, parts); break;
        case Bounds::Op::AtMost: set_time_bounds(std::nullopt, *day + DAY, part, query, parts); break;
        case Bounds::Op::Above: set_time_bounds(*day + DAY, std::nullopt, part, query, parts); break;
        case Bounds::Op::AtLeast: set_time_bounds(*day, std::nullopt, part, query, parts); break;
        case Bounds::Op::Equal:
        case Bounds::Op::Range: set_time_bounds(*day, *day + DAY, part, query, parts); break;
    }
    return std::nullopt;
}

std::optional<Failure> read_qualifier(std::string_view part, std::string_view key_written,
                                      std::string_view value_written, const QueryContext& context,
                                      Query& query, Parts& parts) {
    const std::string key = ascii_lower(key_written);
    const std::string value = unquoted(value_written);
    const bool known = key == "ext" || key == "kind" || key == "size" || key == "modified" ||
                       key == "older" || key == "newer" || key == "folder" || key == "file";
    if (!known) return Failure{message(tr("알 수 없는 조건: {0}", "Unknown qualifier: {0}"), {part})};
    if (key == "folder" || key == "file") {
        if (!value.empty())
            return Failure{message(tr("{0} 뒤에는 값을 쓰지 않습니다", "Nothing may follow {0}"),
                                   {part.substr(0, key.size() + 1)})};
        (key == "folder" ? parts.saw_folder : parts.saw_file) = true;
        if (key == "folder") parts.folder = part;
        return std::nullopt;
    }
    if (value.empty())
        return Failure{message(tr("{0} 뒤에 값이 필요합니다", "A value is missing after {0}"), {part})};
    if (key == "ext") {
        for (const std::string& item : split_commas(value)) {
            const std::string_view extension = std::string_view(item).substr(item.starts_with('.') ? 1 : 0);
            if (extension.empty())
                return Failure{
                    message(tr("{0} 뒤에 값이 필요합니다", "A value is missing after {0}"), {part})};
            query.extensions.push_back(folded(extension));
        }
        parts.typed = part;
    } else if (key == "kind") {
        for (const std::string& item : split_commas(value)) {
            const std::optional<int> kind = kind_named(item, context);
            if (!kind) return Failure{message(tr("알 수 없는 종류: {0}", "Unknown kind: {0}"), {item})};
            query.kinds = static_cast<std::uint8_t>(query.kinds | (1u << *kind));
        }
        parts.typed = part;
    } else if (key == "size") {
        return read_size(part, value, query, parts);
    } else if (key == "modified") {
        return read_modified(part, value, query, parts);
    } else {
        const std::optional<std::int64_t> cutoff = age_cutoff(value, context.now);
        if (!cutoff)
            return Failure{message(
                tr("기간(30d, 6m, 2y)으로 읽을 수 없습니다: {0}", "Not an age (30d, 6m, 2y): {0}"), {part})};
        if (key == "older") {
            set_time_bounds(std::nullopt, *cutoff, part, query, parts);
        } else {
            set_time_bounds(*cutoff, std::nullopt, part, query, parts);
        }
    }
    return std::nullopt;
}

QueryParse failed(std::string reason) {
    return QueryParse{std::nullopt, std::move(reason)};
}

std::string both(std::string_view a, std::string_view b) {
    return message(tr("{0}, {1}: 둘 다 맞는 항목은 없습니다", "Nothing can match both {0} and {1}"), {a, b});
}

}  // namespace

QueryParse parse_query(std::string_view text, const QueryContext& context) {
    Query query;
    query.text = std::string(text);
    const std::optional<std::vector<std::string_view>> tokens = tokens_of(text);
    if (!tokens)
        return failed(std::string(tr("따옴표가 닫히지 않았습니다", "A quotation mark is not closed")));
    Parts parts;
    for (const std::string_view token : *tokens) {
        const std::size_t colon = token.find(':');
        const std::size_t quote = token.find('"');
        // A qualifier is letters and a colon ahead of any quotation mark; one letter is a word ("c:").
        if (colon != std::string_view::npos && colon >= 2 && colon < quote &&
            ascii_letters(token.substr(0, colon))) {
            if (const std::optional<Failure> failure = read_qualifier(
                    token, token.substr(0, colon), token.substr(colon + 1), context, query, parts))
                return failed(failure->reason);
            continue;
        }
        std::string word = folded(unquoted(token));
        if (word.empty()) continue;
        if (word.find_first_of("/\\") != std::string::npos) {
            for (char& c : word) {
                if (c == '\\') c = '/';
            }
        }
        query.words.push_back(std::move(word));
    }
    if (parts.saw_file || parts.saw_folder) {
        query.files = parts.saw_file;
        query.folders = parts.saw_folder;
    }
    // Extensions and kinds are files' alone.
    if (!query.extensions.empty() || query.kinds != 0) {
        if (!query.files) return failed(both(parts.folder, parts.typed));
        query.folders = false;
    }
    if (query.min_size > query.max_size) return failed(both(parts.min_size, parts.max_size));
    if (query.modified_after >= query.modified_before) return failed(both(parts.after, parts.before));
    return QueryParse{std::move(query), {}};
}

}  // namespace spadrim
