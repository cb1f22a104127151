#include "updater/manifest.h"

#include <algorithm>
#include <charconv>

#include <nlohmann/json.hpp>

#include "strings/strings.h"
#include "strings/utf.h"

namespace spadrim {

namespace {

std::uint32_t component(std::string_view piece) {
    if (piece.starts_with('+')) piece.remove_prefix(1);
    if (piece.empty() ||
        !std::all_of(piece.begin(), piece.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return 0;
    std::uint32_t value = 0;
    const auto [end, error] = std::from_chars(piece.data(), piece.data() + piece.size(), value);
    return error == std::errc{} && end == piece.data() + piece.size() ? value : 0;
}

// The text with every number out of a double's range written as 0. The JSON parser refuses the whole
// document over such a number ("size": 1e309), where the rules only need a size that cannot be used
// to count as none. Strings are stepped over, escapes included, so nothing inside one is touched.
std::string overflowing_numbers_as_zero(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    const auto digit = [&](std::size_t k) { return k < text.size() && text[k] >= '0' && text[k] <= '9'; };
    for (std::size_t i = 0; i < text.size();) {
        if (text[i] == '"') {
            std::size_t end = i + 1;
            while (end < text.size() && text[end] != '"')
                end += text[end] == '\\' ? 2 : 1;
            end = std::min(end + 1, text.size());
            out.append(text.substr(i, end - i));
            i = end;
            continue;
        }
        if (text[i] != '-' && !digit(i)) {
            out += text[i++];
            continue;
        }
        std::size_t end = i + 1;
        while (end < text.size() && (digit(end) || text[end] == '.' || text[end] == 'e' || text[end] == 'E' ||
                                     text[end] == '+' || text[end] == '-'))
            ++end;
        const std::string_view number = text.substr(i, end - i);
        double value = 0;
        const auto [stop, error] = std::from_chars(number.data(), number.data() + number.size(), value);
        // Only a well-formed number out of a double's range is rewritten (one too small for it is as good
        // as 0 anyway); anything else is left for the parser to judge.
        const bool out_of_range =
            error == std::errc::result_out_of_range && stop == number.data() + number.size();
        out.append(out_of_range ? std::string_view("0") : number);
        i = end;
    }
    return out;
}

// An address curl is given as one argument: https only, and no blank or control character, which could
// end the command line early or split the address.
bool usable_url(std::string_view url) {
    return url.size() >= 8 && url.starts_with("https://") && std::none_of(url.begin(), url.end(), [](char c) {
               const auto byte = static_cast<unsigned char>(c);
               return byte <= 0x20 || byte == 0x7F;
           });
}

std::optional<std::string> string_member(const nlohmann::json& object, const char* name) {
    const auto found = object.find(name);
    if (found == object.end() || !found->is_string()) return std::nullopt;
    return found->get<std::string>();
}

}  // namespace

VersionNumber parse_version(std::string_view text) {
    text = trim_white_space(text);
    while (text.starts_with('v'))
        text.remove_prefix(1);
    VersionNumber number;
    for (;;) {
        const std::size_t dot = text.find('.');
        number.push_back(component(text.substr(0, dot)));
        if (dot == std::string_view::npos) return number;
        text.remove_prefix(dot + 1);
    }
}

int compare_versions(const VersionNumber& a, const VersionNumber& b) {
    for (std::size_t i = 0; i < std::max(a.size(), b.size()); ++i) {
        const std::uint32_t x = i < a.size() ? a[i] : 0;
        const std::uint32_t y = i < b.size() ? b[i] : 0;
        if (x != y) return x < y ? -1 : 1;
    }
    return 0;
}

std::optional<UpdateManifest> parse_manifest(std::string_view text) {
    // The parser stops at a zero byte as if the text ended there; JSON never holds one raw.
    if (text.find('\0') != std::string_view::npos) return std::nullopt;
    // Not valid UTF-8 is as unusable as not JSON; the parser would otherwise reject it by throwing.
    const nlohmann::json document = nlohmann::json::parse(overflowing_numbers_as_zero(text), nullptr, false);
    if (document.is_discarded() || !document.is_object()) return std::nullopt;
    UpdateManifest manifest;
    std::optional<std::string> version = string_member(document, "version");
    std::optional<std::string> url = string_member(document, "url");
    std::optional<std::string> sha256 = string_member(document, "sha256");
    if (!version || version->empty() || version->size() > 32 ||
        !std::all_of(version->begin(), version->end(),
                     [](char c) { return (c >= '0' && c <= '9') || c == '.'; }))
        return std::nullopt;
    if (!url || !usable_url(*url)) return std::nullopt;
    if (!sha256) return std::nullopt;
    std::transform(sha256->begin(), sha256->end(), sha256->begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    manifest.version = std::move(*version);
    manifest.url = std::move(*url);
    manifest.sha256 = std::move(*sha256);
    if (const auto size = document.find("size"); size != document.end() && size->is_number_unsigned())
        manifest.size = size->get<std::uint64_t>();
    return manifest;
}

std::string manifest_address(std::string_view site, std::string_view version, std::string_view language) {
    while (site.ends_with('/'))
        site.remove_suffix(1);
    std::string address(site);
    address += "/Spadrim/update.json?v=";
    address += version;
    address += "&lang=";
    address += language;
    return address;
}

CheckOutcome judge_manifest(std::string_view text, std::string_view current) {
    std::optional<UpdateManifest> manifest = parse_manifest(text);
    if (!manifest) {
        return CheckOutcome{
            CheckOutcome::Kind::Failed,
            {},
            std::string(tr("업데이트 정보를 읽을 수 없습니다", "The update information could not be read"))};
    }
    if (compare_versions(parse_version(manifest->version), parse_version(current)) > 0)
        return CheckOutcome{CheckOutcome::Kind::Newer, std::move(*manifest), {}};
    return CheckOutcome{CheckOutcome::Kind::UpToDate, {}, {}};
}

std::string update_question(std::string_view available, std::string_view current) {
    std::string text(tr("새 버전이 있습니다:", "A new version is available:"));
    text += ' ';
    text += available;
    text += "\n(";
    text += tr("현재", "current");
    text += ' ';
    text += current;
    text += ")\n\n";
    text += tr("지금 업데이트할까요?", "Update now?");
    return text;
}

std::string up_to_date_notice(std::string_view current) {
    std::string text(tr("최신 버전입니다", "You're up to date"));
    text += " (";
    text += current;
    text += ')';
    return text;
}

}  // namespace spadrim
