// The command line of spadrim-cli, parsed without side effects.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace spadrim {

struct CliOptions {
    bool json = false;
    bool csv = false;  // the report as CSV on standard output instead of text
    bool drives = false;
    bool help = false;
    unsigned threads = 0;  // 0: worker_count()
    std::size_t top = 20;
    unsigned depth = 0;    // JSON and --compare: levels of folders whose entries are nested in their rows
    std::string language;  // empty: follow the environment
    std::string folder;
    std::string volume;       // an NTFS image or volume to read from its MFT instead of a folder
    std::string import_file;  // a scan file in ncdu's format to read instead of a folder; "-": stdin
    std::string export_file;  // where to write the scan in ncdu's format; "-": stdout, instead of a report
    std::size_t largest = 0;  // rows of the largest files; 0: not asked
    bool by_type = false;
    bool duplicates = false;
    std::string svg;                  // where to write the treemap picture; empty: none
    std::optional<std::string> find;  // a query (the search field's grammar) whose matches are listed
    std::string compare_file;         // an earlier scan file the scan is compared with; "-": stdin
    unsigned svg_width = 1600;
    unsigned svg_height = 1000;
};

inline constexpr std::string_view CLI_USAGE =
    "usage: spadrim-cli [options] FOLDER\n"
    "       spadrim-cli [options] --volume SOURCE\n"
    "       spadrim-cli [options] --import FILE\n"
    "       spadrim-cli [options] --compare OLD FOLDER|--import NEW\n"
    "       spadrim-cli --drives [--json] [--lang CODE]\n"
    "\n"
    "  FOLDER             scan it and list what takes its space, largest first\n"
    "  --volume SOURCE    read a whole NTFS volume from its master file table instead: a file holding\n"
    "                     an NTFS image, or on Windows a volume such as \\\\.\\C: (as administrator)\n"
    "  --import FILE      read a scan file in ncdu's JSON format (ncdu -o, gdu; gzip-compressed too)\n"
    "                     instead of scanning; - reads standard input\n"
    "  --export FILE      write the scan in ncdu's JSON format, compressed when FILE ends in .gz;\n"
    "                     - writes it to standard output instead of the report\n"
    "  --drives           list the drives with their free space\n"
    "  --json             one JSON document on standard output instead of text; reports not\n"
    "                     asked for are null there\n"
    "  --csv              the report as CSV on standard output (UTF-8 with a BOM): the matches of\n"
    "                     --find, else the folder list's entries and the largest files\n"
    "  --find QUERY       list what matches QUERY, largest first, with the total: words in names\n"
    "                     (* and ? as wildcards, a / or \\ for paths), ext:iso, kind:video,\n"
    "                     size:>1GB, size:100MB..1GB, modified:<2023-01-01, older:2y, newer:30d,\n"
    "                     folder:, file:; days in UTC. An unreadable query exits 2 with why\n"
    "  --compare OLD      compare the scan with OLD, an earlier scan file (as --import reads): the\n"
    "                     totals before and after, then what changed, largest increase first\n"
    "  --threads N        walker threads, 1 to 64 (default: 2 to 8, from the processor count)\n"
    "  --top N            rows of the folder list (default 20; 0 lists every entry)\n"
    "  --depth N          JSON and --compare: nest each folder's entries in its row, N levels down\n"
    "                     (default 0)\n"
    "  --largest [N]      the N largest files (default 300)\n"
    "  --by-type          space per kind and per extension\n"
    "  --duplicates       find files of 1 MiB or more with identical contents\n"
    "  --svg FILE         draw the treemap of FOLDER into an SVG picture\n"
    "  --svg-size WxH     its size in pixels (default 1600x1000)\n"
    "  --lang CODE        en, ko, ja, zh-Hans, zh-Hant, es, fr, de, pt or ru\n";

struct ParsedOptions {
    std::optional<CliOptions> options;  // nothing: bad usage
    std::string error;                  // what was wrong, for the usage message
};

// args excludes the program name.
ParsedOptions parse_options(const std::vector<std::string>& args);

}  // namespace spadrim
