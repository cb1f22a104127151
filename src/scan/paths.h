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

// Windows: whether the plain form of a full path (no "\\?\") names exactly the item it spells out. Win32
// rewrites some names before the file system sees them: it strips trailing dots and spaces ("report."
// and "report " become "report"), takes CON, NUL, COM1 and the like (with any extension) for devices,
// and the shell expands wildcards; a name holding any of these, or a ":", "<", ">", '"', "|" or control
// character, can name another item or none. Such names come from WSL, Cygwin, Samba or other systems'
// disks; the file system itself takes them through "\\?\" paths.
bool plain_path_is_exact(std::string_view path);

// Appends name to path, inserting sep unless path already ends with it (so C:\ + a gives C:\a).
void append_path(std::string& path, std::string_view name, char sep);

// path + sep + name, with the same rule as append_path.
std::string join_path(std::string_view folder, std::string_view name, char sep);

}  // namespace spadrim
