// The command line of spadrim-cli, parsed without side effects.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace spadrim {

struct CliOptions {
    bool json = false;
    bool drives = false;
    bool help = false;
    unsigned threads = 0;  // 0: worker_count()
    std::size_t top = 20;
    std::string language;  // empty: follow the environment
    std::string folder;
};

inline constexpr std::string_view CLI_USAGE =
    "usage: spadrim-cli [--json] [--threads N] [--top N] [--lang CODE] FOLDER\n"
    "       spadrim-cli --drives [--json] [--lang CODE]\n"
    "\n"
    "  FOLDER       scan it and list what takes its space, largest first\n"
    "  --drives     list the drives with their free space\n"
    "  --json       one JSON document on standard output instead of text\n"
    "  --threads N  walker threads, 1 to 64 (default: 2 to 8, from the processor count)\n"
    "  --top N      rows of the folder list (default 20; 0 lists every entry)\n"
    "  --lang CODE  en, ko, ja, zh-Hans, zh-Hant, es, fr, de, pt or ru\n";

struct ParsedOptions {
    std::optional<CliOptions> options;  // nothing: bad usage
    std::string error;                  // what was wrong, for the usage message
};

// args excludes the program name.
ParsedOptions parse_options(const std::vector<std::string>& args);

}  // namespace spadrim
