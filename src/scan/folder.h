// The per-platform seam of the walk: the only file-system calls the portable scan code makes.
// folder_win.cpp (FindFirstFileExW) and folder_posix.cpp (openat/readdir/fstatat) define them; CMake
// picks one. Paths here are UTF-8; the Win32 file converts them to UTF-16 at the call.
//
// All functions are safe to call from several walker threads at once.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "scan/tree.h"

namespace spadrim {

// '\\' on Windows, '/' elsewhere.
extern const char PATH_SEPARATOR;

// The form in which the walk addresses the scan root: the long-path form on Windows; on POSIX the path
// without trailing separators ("/" stays "/").
std::string walk_root_path(std::string_view root);

// A walk path as the user reads it on the progress screen.
std::string walk_display_path(std::string_view walk_path);

// Lists one folder into out (cleared first): every entry but "." and "..", measured and classified.
// Returns false when the folder cannot be listed; a folder that has vanished lists as empty. An error in
// the middle of a listing ends it silently with what was found so far.
bool list_folder(const std::string& walk_path, std::vector<ListedEntry>& out);

}  // namespace spadrim
