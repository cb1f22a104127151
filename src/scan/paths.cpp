// Path-text rules. See paths.h.
#include "scan/paths.h"

#include <algorithm>

namespace spadrim {
namespace {

constexpr std::string_view LONG_PREFIX = "\\\\?\\";
constexpr std::string_view LONG_UNC_PREFIX = "\\\\?\\UNC\\";

bool ascii_equal(std::string_view a, std::string_view b) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return lower(x) == lower(y); });
}

// Whether Win32 takes a name for a device: CON, PRN, AUX, NUL, COM0-9, LPT0-9 (also with the
// superscript digits ¹²³), CONIN$ and CONOUT$, before any extension and trailing spaces.
bool device_name(std::string_view name) {
    name = name.substr(0, name.find('.'));
    while (!name.empty() && name.back() == ' ')
        name.remove_suffix(1);
    for (const std::string_view device : {"con", "prn", "aux", "nul", "conin$", "conout$"}) {
        if (ascii_equal(name, device)) return true;
    }
    if (name.size() < 4 || !(ascii_equal(name.substr(0, 3), "com") || ascii_equal(name.substr(0, 3), "lpt")))
        return false;
    const std::string_view digit = name.substr(3);
    return (digit.size() == 1 && digit[0] >= '0' && digit[0] <= '9') || digit == "\u00b9" ||
           digit == "\u00b2" || digit == "\u00b3";
}

bool exact_name(std::string_view name) {
    if (name.empty() || name == "." || name == ".." || name.back() == '.' || name.back() == ' ') return false;
    for (const char c : name) {
        if (static_cast<unsigned char>(c) < 0x20 ||
            std::string_view("<>:\"|?*").find(c) != std::string_view::npos)
            return false;
    }
    return !device_name(name);
}

}  // namespace

std::string to_long_path(std::string_view root) {
    while (!root.empty() && root.back() == '\\')
        root.remove_suffix(1);
    if (root.starts_with(LONG_PREFIX)) return std::string(root);
    if (root.starts_with("\\\\")) return std::string(LONG_UNC_PREFIX).append(root.substr(2));
    return std::string(LONG_PREFIX).append(root);
}

std::string display_path(std::string_view long_path) {
    if (long_path.starts_with(LONG_UNC_PREFIX)) return std::string("\\\\").append(long_path.substr(8));
    while (long_path.starts_with(LONG_PREFIX))
        long_path.remove_prefix(LONG_PREFIX.size());
    return std::string(long_path);
}

bool plain_path_is_exact(std::string_view path) {
    std::size_t start = 0;  // of the first name after the root
    if (path.size() >= 3 && path[1] == ':' && path[2] == '\\') {
        start = 3;
    } else if (path.starts_with("\\\\") && !path.starts_with(LONG_PREFIX)) {
        const std::size_t server_end = path.find('\\', 2);
        if (server_end == std::string_view::npos) return false;
        start = path.find('\\', server_end + 1);  // after the share
        if (start == std::string_view::npos) return true;
        ++start;
    } else {
        return false;  // relative, or already in the long form
    }
    std::string_view rest = path.substr(start);
    while (!rest.empty() && rest.back() == '\\')
        rest.remove_suffix(1);
    while (!rest.empty()) {
        const std::size_t end = std::min(rest.find('\\'), rest.size());
        if (!exact_name(rest.substr(0, end))) return false;
        rest.remove_prefix(std::min(end + 1, rest.size()));
    }
    return true;
}

void append_path(std::string& path, std::string_view name, char sep) {
    if (path.empty() || path.back() != sep) path += sep;
    path += name;
}

std::string join_path(std::string_view folder, std::string_view name, char sep) {
    std::string path;
    path.reserve(folder.size() + 1 + name.size());
    path = folder;
    append_path(path, name, sep);
    return path;
}

}  // namespace spadrim
