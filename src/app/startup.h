// The pure parts of starting the program: reading the command line, the Explorer verb's command text,
// and the daily update-check schedule.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace spadrim {

// True when any argument is exactly "--unregister".
bool wants_unregister(const std::vector<std::string>& args);
// True when any argument is exactly "--register": the installer's way to have the Explorer verb in
// place before the program is first started.
bool wants_register(const std::vector<std::string>& args);

// The first argument that is not an option, cleaned up: white space trimmed, trailing double quotes
// removed (Explorer passes "D:\" as D:"), and a bare drive "D:" made "D:\".
std::optional<std::string> folder_argument(const std::vector<std::string>& args);

// Whether a command-line argument names a scan file rather than a folder: it ends in ".json" or
// ".json.gz", ASCII letters in any case.
bool is_scan_file_name(std::string_view path);

// What each Explorer verb key runs: "exe" "%1".
std::string verb_command(std::string_view exe, std::string_view placeholder);

struct VerbKey {
    const char* key;
    const char* placeholder;
};
inline constexpr VerbKey VERB_KEYS[] = {
    {"Software\\Classes\\Directory\\shell\\Spadrim", "%1"},
    {"Software\\Classes\\Directory\\Background\\shell\\Spadrim", "%V"},
    {"Software\\Classes\\Drive\\shell\\Spadrim", "%1"},
};
inline constexpr const char* SETTINGS_KEY = "Software\\Spadrim";

// The argument that hands a root to an elevated instance: quoted, with its trailing backslashes
// removed (a backslash before the closing quote would escape it); the new instance turns "D:" back
// into the drive's root.
std::string elevated_argument(std::string_view root);

// "LastUpdateCheck" as stored: decimal digits with an optional leading "+"; anything else gives 0.
std::uint64_t parse_check_time(std::string_view text);

// Whether the daily automatic check is due at `now` (seconds since 1970).
bool update_check_due(std::optional<std::uint32_t> auto_update, std::uint64_t last, std::uint64_t now);

}  // namespace spadrim
