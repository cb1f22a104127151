// The per-platform seam of the walk: the only file-system calls the portable scan code makes.
// folder_win.cpp (FindFirstFileExW) and folder_posix.cpp (openat/readdir/fstatat) define them; CMake
// picks one. Paths here are real paths, built from the names exactly as the file system gave them: bytes
// on POSIX, and on Windows UTF-8 that keeps unpaired surrogates (wtf8_from_utf16), which the Win32 file
// turns back into the exact UTF-16 at the call.
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

// A walk path as the user reads it on the progress screen: valid UTF-8.
std::string walk_display_path(std::string_view walk_path);

// The shown form of a real name or path: valid UTF-8, with U+FFFD for each part that has no character.
std::string shown_form(std::string_view real);

enum class Listing {
    COMPLETE,    // every entry listed and measured (a folder that has vanished lists as empty)
    INCOMPLETE,  // listed, but some entries could not be measured: the folder counts as unreadable
    FAILED,      // the folder could not be listed at all
};

// Lists one folder into out (cleared first): every entry but "." and "..", measured and classified, each
// under its real name. An error in the middle of a listing ends it
// silently with what was found so far. Neither the depth nor the length of walk_path limits it.
Listing list_folder(const std::string& walk_path, std::vector<ListedEntry>& out);

}  // namespace spadrim
