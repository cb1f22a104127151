// Path-text rules. See paths.h.
#include "scan/paths.h"

namespace spadrim {
namespace {

constexpr std::string_view LONG_PREFIX = "\\\\?\\";
constexpr std::string_view LONG_UNC_PREFIX = "\\\\?\\UNC\\";

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
