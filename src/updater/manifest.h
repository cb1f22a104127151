// The update manifest and version numbers: what the maker's site says is the newest version, read
// strictly, and compared with the running one. Pure functions, any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace spadrim {

struct UpdateManifest {
    std::string version;     // 1 to 32 digits and dots
    std::string url;         // https:// only
    std::string sha256;      // the installer's digest as given, ASCII letters lower-cased
    std::uint64_t size = 0;  // 0 when the manifest gives no usable size
};

using VersionNumber = std::vector<std::uint32_t>;

// Unicode white space trimmed and leading "v"s dropped, then one component per "."-separated piece; a
// piece that is not an optionally "+"-signed decimal fitting 32 bits counts as 0. Never empty.
VersionNumber parse_version(std::string_view text);

// Negative, zero or positive as a is older than, the same as or newer than b; missing components are 0.
int compare_versions(const VersionNumber& a, const VersionNumber& b);

// The manifest in text, or nothing when it is not exactly one JSON object (white space around it
// allowed) with a usable "version", "url" and "sha256".
std::optional<UpdateManifest> parse_manifest(std::string_view text);

// Where the manifest lives: the site's /Spadrim/update.json, asking with our version and language.
std::string manifest_address(std::string_view site, std::string_view version, std::string_view language);

// What a check found, handed from its worker to the window.
struct CheckOutcome {
    enum class Kind : std::uint8_t {
        Newer,
        UpToDate,
        Failed
    };
    Kind kind = Kind::Failed;
    UpdateManifest manifest;  // when Newer
    std::string message;      // when Failed
};

// The manifest's text judged against the running version.
CheckOutcome judge_manifest(std::string_view text, std::string_view current);

// The question asked when a newer version exists, and the notice of a manual check that found none.
std::string update_question(std::string_view available, std::string_view current);
std::string up_to_date_notice(std::string_view current);

}  // namespace spadrim
