// Pure path-text rules of the walk. The Windows long-path forms live here, not in the Win32 file, so that
// they are tested on every platform.
#pragma once

#include <string>
#include <string_view>

namespace spadrim {

// Windows: the form every file-system call of a walk uses. Trailing "\" removed; "\\?\..." unchanged;
// "\\server\share" becomes "\\?\UNC\server\share"; anything else gets "\\?\" in front (C:\ -> \\?\C:).
std::string to_long_path(std::string_view root);

// Windows: a long path as the progress screen shows it (\\?\C:\Users -> C:\Users, \\?\UNC\s\x -> \\s\x).
std::string display_path(std::string_view long_path);

// Appends name to path, inserting sep unless path already ends with it (so C:\ + a gives C:\a).
void append_path(std::string& path, std::string_view name, char sep);

// path + sep + name, with the same rule as append_path.
std::string join_path(std::string_view folder, std::string_view name, char sep);

}  // namespace spadrim
