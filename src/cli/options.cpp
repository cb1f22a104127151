// Command-line parsing. See options.h.
#include "cli/options.h"

#include <charconv>

#include "strings/strings.h"

namespace spadrim {
namespace {

std::optional<std::uint64_t> number(const std::string& text) {
    std::uint64_t value = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result.ec != std::errc() || result.ptr != text.data() + text.size()) return std::nullopt;
    return value;
}

constexpr std::size_t LARGEST_DEFAULT = 300;

ParsedOptions bad(std::string error) {
    return ParsedOptions{std::nullopt, std::move(error)};
}

}  // namespace

ParsedOptions parse_options(const std::vector<std::string>& args) {
    CliOptions options;
    bool have_folder = false;
    bool options_done = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool takes_value = arg == "--threads" || arg == "--top" || arg == "--lang" || arg == "--svg" ||
                                 arg == "--svg-size" || arg == "--volume" || arg == "--depth" ||
                                 arg == "--import" || arg == "--export" || arg == "--find" ||
                                 arg == "--compare";
        if (options_done || arg.empty() || arg[0] != '-' || arg == "-") {
            if (have_folder) return bad("more than one folder given");
            options.folder = arg;
            have_folder = true;
        } else if (arg == "--") {
            options_done = true;
        } else if (arg == "--json") {
            options.json = true;
        } else if (arg == "--csv") {
            options.csv = true;
        } else if (arg == "--drives") {
            options.drives = true;
        } else if (arg == "-h" || arg == "--help") {
            options.help = true;
        } else if (arg == "--by-type") {
            options.by_type = true;
        } else if (arg == "--duplicates") {
            options.duplicates = true;
        } else if (arg == "--largest") {
            options.largest = LARGEST_DEFAULT;
            // The count is optional: take the next argument only when it is a number.
            if (i + 1 < args.size()) {
                if (const std::optional<std::uint64_t> n = number(args[i + 1])) {
                    if (*n == 0) return bad("--largest needs at least 1");
                    options.largest = static_cast<std::size_t>(*n);
                    ++i;
                }
            }
        } else if (takes_value) {
            if (i + 1 == args.size()) return bad(arg + " needs a value");
            const std::string& value = args[++i];
            if (arg == "--lang") {
                if (!known_language(value)) return bad("unknown language: " + value);
                options.language = value;
            } else if (arg == "--svg") {
                options.svg = value;
            } else if (arg == "--find") {
                if (options.find) return bad("more than one --find given: put both in one query");
                options.find = value;  // empty: everything
            } else if (arg == "--volume") {
                if (!options.volume.empty()) return bad("more than one volume given");
                options.volume = value;
            } else if (arg == "--import") {
                if (!options.import_file.empty()) return bad("more than one scan file given");
                if (value.empty()) return bad("--import needs a file");
                options.import_file = value;
            } else if (arg == "--compare") {
                if (!options.compare_file.empty()) return bad("more than one earlier scan given");
                if (value.empty()) return bad("--compare needs a scan file");
                options.compare_file = value;
            } else if (arg == "--export") {
                if (value.empty()) return bad("--export needs a file");
                options.export_file = value;
            } else if (arg == "--svg-size") {
                const std::size_t x = value.find('x');
                const std::optional<std::uint64_t> w =
                    x == std::string::npos ? std::nullopt : number(value.substr(0, x));
                const std::optional<std::uint64_t> h =
                    x == std::string::npos ? std::nullopt : number(value.substr(x + 1));
                if (!w || !h || *w < 100 || *h < 100 || *w > 20000 || *h > 20000) {
                    return bad("--svg-size needs WxH, each 100 to 20000, not " + value);
                }
                options.svg_width = static_cast<unsigned>(*w);
                options.svg_height = static_cast<unsigned>(*h);
            } else {
                const std::optional<std::uint64_t> n = number(value);
                if (!n) return bad(arg + " needs a whole number, not " + value);
                if (arg == "--threads") {
                    if (*n < 1 || *n > 64) return bad("--threads must be 1 to 64");
                    options.threads = static_cast<unsigned>(*n);
                } else if (arg == "--depth") {
                    if (*n > 100000) return bad("--depth must be at most 100000");
                    options.depth = static_cast<unsigned>(*n);
                } else {
                    options.top = static_cast<std::size_t>(*n);
                }
            }
        } else {
            return bad("unknown option: " + arg);
        }
    }
    if (options.help) return ParsedOptions{options, {}};
    const int sources = int{have_folder} + int{!options.volume.empty()} + int{!options.import_file.empty()};
    if (options.drives && sources != 0) return bad("--drives takes no folder");
    if (options.drives && !options.export_file.empty()) return bad("--drives has nothing to export");
    if (options.drives && (options.find || options.csv)) return bad("--drives takes no --find or --csv");
    if (!options.compare_file.empty()) {
        if (options.drives) return bad("--drives compares nothing");
        if (options.find || options.csv) return bad("--compare takes no --find or --csv");
        if (options.compare_file == "-" && options.import_file == "-")
            return bad("--compare and --import both read standard input: take one");
    }
    if (options.json && options.csv) return bad("--json and --csv: take one");
    if (sources > 1) return bad("more than one of a folder, a volume and a scan file given: take one");
    if (!options.drives && sources == 0) return bad("no folder given");
    if (options.duplicates && !options.import_file.empty())
        return bad("--duplicates compares the files themselves, which a scan file does not hold");
    return ParsedOptions{options, {}};
}

}  // namespace spadrim
