// Remembered scans: names, bounds, the head of a scan file and saving. See remember.h.
#include "remember/remember.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "config.h"
#include "ncdu/ncdu.h"
#include "ncdu/zfile.h"
#include "remember/files.h"
#include "scan/scan.h"
#include "strings/case.h"
#include "strings/utf.h"

namespace spadrim {
namespace {

constexpr std::string_view SUFFIX = ".json.gz";
// What a save writes before it is whole; forgetting removes these too.
constexpr std::string_view PART = ".part";
// "20261203T101500Z": when, in UTC, so that names sort by time.
constexpr std::size_t TIME_CHARS = 16;
constexpr std::size_t HASH_CHARS = 16;
// The latest time a name can say: 9999-12-31T23:59:59Z.
constexpr std::int64_t LAST_WHEN = 253402300799;

// zlib's level for remembered scans. Saving must cost a small part of the scan it saves (bench/remember.sh
// measures it): the fastest level writes a tree's JSON at several times the speed of the default one, for
// a file about a third larger.
constexpr int SAVE_LEVEL = 1;

// For estimated_bytes: the JSON of an entry besides its name, and how many times over gzip at SAVE_LEVEL
// shrinks it at the least (measured on generated trees and on a home folder).
constexpr std::uint64_t ENTRY_BYTES = 64;
constexpr std::uint64_t ESTIMATE_RATIO = 3;

// The first bytes of a scan file read for its head, and the most: past the metadata and the root's name,
// which may be 32 KiB of escapes at six bytes each.
constexpr std::size_t HEAD_CHUNK = 16 * 1024;
constexpr std::size_t HEAD_LIMIT = 256 * 1024;

// A drive letter ("C:") or two backslashes (\\server\share, \\?\C:\): a root of Windows, whose names
// are one whatever their case.
bool windows_root(std::string_view path) {
    const bool letter = path.size() >= 2 && path[1] == ':' &&
                        ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
    return letter || path.starts_with("\\\\");
}

// Two roots' paths as one: the shown forms compared, regardless of case under a Windows root.
bool same_root(std::string_view a, std::string_view b) {
    const std::string shown_a = valid_utf8(a);
    const std::string shown_b = valid_utf8(b);
    if (!windows_root(shown_a)) return shown_a == shown_b;
    return lower_case(shown_a) == lower_case(shown_b);
}

std::string join(const std::string& folder, std::string_view name) {
    std::string path = folder;
    if (!path.empty() && path.back() != '/' && path.back() != SCANS_SEPARATOR) path += SCANS_SEPARATOR;
    path += name;
    return path;
}

bool parse_digits(std::string_view text, unsigned& value) {
    if (text.empty()) return false;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

bool parse_number(std::string_view text, std::uint64_t& value, int base) {
    if (text.empty() || text[0] == '+' || text[0] == '-') return false;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    return error == std::errc() && end == text.data() + text.size();
}

// "20261203T101500Z" back to seconds since 1970, or nothing.
std::optional<std::int64_t> parse_time(std::string_view text) {
    if (text.size() != TIME_CHARS || text[8] != 'T' || text[15] != 'Z') return std::nullopt;
    if (!std::all_of(text.begin(), text.begin() + 8, [](char c) { return c >= '0' && c <= '9'; }) ||
        !std::all_of(text.begin() + 9, text.begin() + 15, [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    unsigned year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (!parse_digits(text.substr(0, 4), year) || !parse_digits(text.substr(4, 2), month) ||
        !parse_digits(text.substr(6, 2), day) || !parse_digits(text.substr(9, 2), hour) ||
        !parse_digits(text.substr(11, 2), minute) || !parse_digits(text.substr(13, 2), second))
        return std::nullopt;
    const std::chrono::year_month_day date{std::chrono::year(static_cast<int>(year)),
                                           std::chrono::month(month), std::chrono::day(day)};
    if (year < 1970 || !date.ok() || hour > 23 || minute > 59 || second > 59) return std::nullopt;
    const std::chrono::sys_days days(date);
    return static_cast<std::int64_t>(days.time_since_epoch().count()) * 86400 + hour * 3600 + minute * 60 +
           second;
}

// Reads the metadata's "timestamp" and the root's name from the start of a document, stopping at the
// name: a document cut anywhere after it is read as well as a whole one.
class HeadReader : public nlohmann::json_sax<nlohmann::json> {
  public:
    std::optional<std::string> root;
    std::int64_t timestamp = 0;

    bool null() override { return scalar(); }
    bool boolean(bool) override { return scalar(); }
    bool number_integer(number_integer_t value) override {
        if (in_metadata() && key_ == "timestamp") timestamp = value;
        return scalar();
    }
    bool number_unsigned(number_unsigned_t value) override {
        if (in_metadata() && key_ == "timestamp")
            timestamp = static_cast<std::int64_t>(std::min<number_unsigned_t>(value, INT64_MAX));
        if (arrays_ == 1 && objects_ == 0 && outer_values_ == 0 && value != 1) return false;  // not version 1
        return scalar();
    }
    bool number_float(number_float_t, const string_t&) override { return scalar(); }
    bool string(string_t& value) override {
        if (arrays_ == 2 && objects_ == 1 && outer_values_ == 3 && key_ == "name") {
            root = std::move(value);
            return false;  // all that was wanted
        }
        return scalar();
    }
    bool binary(binary_t&) override { return scalar(); }
    bool start_object(std::size_t) override {
        ++objects_;
        key_.clear();
        return true;
    }
    bool key(string_t& name) override {
        key_ = objects_ == 1 ? name : std::string();
        return true;
    }
    bool end_object() override {
        --objects_;
        key_.clear();
        if (arrays_ == 1 && objects_ == 0) ++outer_values_;
        return true;
    }
    bool start_array(std::size_t) override {
        // The outer array holds the version, its minor number, the metadata and then the root folder.
        if (arrays_ == 1 && objects_ == 0 && outer_values_ < 3) return false;
        ++arrays_;
        return true;
    }
    bool end_array() override {
        if (objects_ == 0) return false;  // the outer array or the root's ended before the root's name
        --arrays_;
        return true;
    }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override {
        return false;
    }

  private:
    bool in_metadata() const { return arrays_ == 1 && objects_ == 1 && outer_values_ == 2; }
    bool scalar() {
        if (arrays_ == 1 && objects_ == 0) ++outer_values_;
        return true;
    }

    int arrays_ = 0;
    int objects_ = 0;
    int outer_values_ = 0;  // the outer array's elements so far
    std::string key_;       // of the value being read, in a top-level object
};

}  // namespace

std::uint64_t root_hash(std::string_view root_path) {
    const std::string shown = valid_utf8(root_path);
    const std::string text = windows_root(shown) ? lower_case(shown) : shown;
    std::uint64_t hash = 14695981039346656037ull;
    for (const char c : text) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ull;
    }
    return hash;
}

std::string remembered_name(std::uint64_t hash, std::int64_t when, std::uint64_t size, std::uint64_t files) {
    const std::chrono::sys_seconds at{std::chrono::seconds(std::clamp<std::int64_t>(when, 0, LAST_WHEN))};
    const auto days = std::chrono::floor<std::chrono::days>(at);
    const std::chrono::year_month_day date{days};
    const std::chrono::hh_mm_ss time{at - days};
    char name[128];
    std::snprintf(name, sizeof name, "%04d%02u%02uT%02d%02d%02dZ-%016llx-%llu-%llu",
                  static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                  static_cast<unsigned>(date.day()), static_cast<int>(time.hours().count()),
                  static_cast<int>(time.minutes().count()), static_cast<int>(time.seconds().count()),
                  static_cast<unsigned long long>(hash), static_cast<unsigned long long>(size),
                  static_cast<unsigned long long>(files));
    return std::string(name) + std::string(SUFFIX);
}

std::optional<RememberedScan> parse_remembered_name(std::string_view name) {
    if (!name.ends_with(SUFFIX)) return std::nullopt;
    name.remove_suffix(SUFFIX.size());
    if (name.size() < TIME_CHARS + HASH_CHARS + 5 || name[TIME_CHARS] != '-' ||
        name[TIME_CHARS + 1 + HASH_CHARS] != '-')
        return std::nullopt;
    RememberedScan scan;
    const std::optional<std::int64_t> when = parse_time(name.substr(0, TIME_CHARS));
    const std::string_view hash = name.substr(TIME_CHARS + 1, HASH_CHARS);
    const std::string_view figures = name.substr(TIME_CHARS + HASH_CHARS + 2);
    const std::size_t dash = figures.find('-');
    if (!when || dash == std::string_view::npos ||
        !std::all_of(hash.begin(), hash.end(),
                     [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); }) ||
        !parse_number(hash, scan.root_hash, 16) || !parse_number(figures.substr(0, dash), scan.size, 10) ||
        !parse_number(figures.substr(dash + 1), scan.files, 10))
        return std::nullopt;
    scan.when = *when;
    return scan;
}

std::vector<std::string> plan_removals(std::span<const RememberedScan> kept, std::uint64_t hash,
                                       std::uint64_t new_bytes) {
    std::vector<const RememberedScan*> oldest_first;
    for (const RememberedScan& scan : kept)
        oldest_first.push_back(&scan);
    std::sort(oldest_first.begin(), oldest_first.end(), [](const RememberedScan* a, const RememberedScan* b) {
        return a->when != b->when ? a->when < b->when : a->file < b->file;
    });
    std::vector<bool> removed(oldest_first.size(), false);
    // Room for the new one among its root's: REMEMBER_PER_ROOT - 1 others at most.
    std::size_t same_root = static_cast<std::size_t>(std::count_if(
        kept.begin(), kept.end(), [&](const RememberedScan& scan) { return scan.root_hash == hash; }));
    for (std::size_t i = 0; i < oldest_first.size() && same_root >= REMEMBER_PER_ROOT; ++i) {
        if (oldest_first[i]->root_hash != hash) continue;
        removed[i] = true;
        --same_root;
    }
    // Then room in all, whatever their root. A new file larger than the whole bound leaves it alone.
    std::uint64_t total = new_bytes;
    for (std::size_t i = 0; i < oldest_first.size(); ++i) {
        if (!removed[i]) total += std::min(oldest_first[i]->bytes, REMEMBER_TOTAL_BYTES + 1);
    }
    for (std::size_t i = 0; i < oldest_first.size() && total > REMEMBER_TOTAL_BYTES; ++i) {
        if (removed[i]) continue;
        removed[i] = true;
        total -= std::min(oldest_first[i]->bytes, REMEMBER_TOTAL_BYTES + 1);
    }
    std::vector<std::string> files;
    for (std::size_t i = 0; i < oldest_first.size(); ++i) {
        if (removed[i]) files.push_back(oldest_first[i]->file);
    }
    return files;
}

bool room_to_save(std::uint64_t bytes, std::optional<std::uint64_t> free_bytes) {
    if (!free_bytes) return true;
    return bytes <= *free_bytes / 2;
}

std::uint64_t estimated_bytes(const FileTree& tree) {
    // Each entry's JSON is its name and about 64 bytes of keys and figures; compressed, such text takes
    // less than ESTIMATE_RATIO of it.
    const std::uint64_t text = tree.names.size() + std::uint64_t{ENTRY_BYTES} * tree.nodes.size();
    return text / ESTIMATE_RATIO + 4096;
}

std::vector<RememberedScan> list_remembered(const std::string& folder) {
    std::vector<RememberedScan> scans;
    if (folder.empty()) return scans;
    const std::optional<std::vector<FolderFile>> files = list_files(folder);
    if (!files) return scans;
    for (const FolderFile& file : *files) {
        std::optional<RememberedScan> scan = parse_remembered_name(file.name);
        if (!scan) continue;
        scan->file = join(folder, file.name);
        scan->bytes = file.bytes;
        scans.push_back(std::move(*scan));
    }
    std::sort(scans.begin(), scans.end(), [](const RememberedScan& a, const RememberedScan& b) {
        return a.when != b.when ? a.when > b.when : a.file > b.file;
    });
    return scans;
}

std::optional<ScanFileHead> read_scan_head(const std::string& file) {
    const ZFile input = open_for_reading(file);
    if (!input) return std::nullopt;
    std::string bytes;
    while (bytes.size() < HEAD_LIMIT) {
        const std::size_t had = bytes.size();
        bytes.resize(had + HEAD_CHUNK);
        const std::optional<std::size_t> got =
            read_bytes(input, std::span<char>(bytes.data() + had, HEAD_CHUNK));
        bytes.resize(had + got.value_or(0));
        HeadReader reader;
        nlohmann::json::sax_parse(valid_utf8(bytes), &reader, nlohmann::json::input_format_t::json, true);
        if (reader.root) return ScanFileHead{std::move(*reader.root), reader.timestamp};
        if (!got || *got == 0) break;
    }
    return std::nullopt;
}

std::optional<RememberedScan> earlier_scan(std::span<const RememberedScan> remembered, const FileTree& tree,
                                           std::int64_t before) {
    const std::uint64_t hash = root_hash(tree.root_path);
    std::vector<const RememberedScan*> newest_first;
    for (const RememberedScan& scan : remembered) {
        if (scan.root_hash == hash && scan.when < before) newest_first.push_back(&scan);
    }
    std::sort(newest_first.begin(), newest_first.end(), [](const RememberedScan* a, const RememberedScan* b) {
        return a->when != b->when ? a->when > b->when : a->file > b->file;
    });
    // The hash only narrows the search: the file's own root says whether it is this one.
    for (const RememberedScan* scan : newest_first) {
        const std::optional<ScanFileHead> head = read_scan_head(scan->file);
        if (head && same_root(head->root, tree.root_path)) return *scan;
    }
    return std::nullopt;
}

SaveOutcome save_scan(const FileTree& tree, const std::string& folder, std::int64_t when,
                      const std::atomic<bool>& cancel) {
    SaveOutcome outcome;
    if (folder.empty()) {
        outcome.error = "there is no folder for remembered scans";
        return outcome;
    }
    if (!make_folders(folder)) {
        outcome.error = "could not create " + folder;
        return outcome;
    }
    const std::optional<VolumeSpace> space = volume_space(folder);
    if (!room_to_save(estimated_bytes(tree), space ? std::optional(space->free) : std::nullopt)) {
        outcome.no_room = true;
        return outcome;
    }
    const Node& root = node_at(tree, 0);
    const std::uint64_t hash = root_hash(tree.root_path);
    const std::string file = join(folder, remembered_name(hash, when, root.size, root.file_count));
    const std::string part = file + std::string(PART);
    {
        ZFile output = open_for_writing(part, true);
        if (!output) {
            outcome.error = "could not create " + part;
            return outcome;
        }
        gzsetparams(output.get(), SAVE_LEVEL, Z_DEFAULT_STRATEGY);
        std::string out;
        const bool written = write_ncdu(tree, VERSION, when, out, [&](std::string& piece) {
            if (cancel) return false;
            const bool ok = write_bytes(output, piece);
            piece.clear();
            return ok;
        });
        const bool closed = close(output);
        if (!written || !closed || cancel) {
            delete_file(part);
            if (!cancel) outcome.error = "could not write " + file;
            return outcome;
        }
    }
    // The file's real size against the free space it left: it goes when it took too much of it.
    const std::optional<std::uint64_t> bytes = file_bytes(part);
    const std::optional<VolumeSpace> left = volume_space(folder);
    if (bytes && left && !room_to_save(*bytes, left->free + *bytes)) {
        delete_file(part);
        outcome.no_room = true;
        return outcome;
    }
    if (cancel || !replace_file(part, file)) {
        delete_file(part);
        if (!cancel) outcome.error = "could not write " + file;
        return outcome;
    }
    outcome.saved = true;
    outcome.file = file;
    std::vector<RememberedScan> kept = list_remembered(folder);
    std::erase_if(kept, [&](const RememberedScan& scan) { return scan.file == file; });
    for (const std::string& old : plan_removals(kept, hash, bytes.value_or(0)))
        delete_file(old);
    return outcome;
}

std::size_t forget_remembered(const std::string& folder) {
    if (folder.empty()) return 0;
    const std::optional<std::vector<FolderFile>> files = list_files(folder);
    if (!files) return 0;
    std::size_t failed = 0;
    for (const FolderFile& file : *files) {
        std::string_view name = file.name;
        if (name.ends_with(PART)) name.remove_suffix(PART.size());
        if (parse_remembered_name(name) && !delete_file(join(folder, file.name))) ++failed;
    }
    return failed;
}

}  // namespace spadrim
