// The per-platform seam of the walk: the only file-system calls the portable scan code makes.
// folder_win.cpp (FindFirstFileExW) and folder_posix.cpp (openat/readdir/fstatat) define them; CMake
// picks one. Paths here are real paths, built from the names exactly as the file system gave them: bytes
// on POSIX, and on Windows UTF-8 that keeps unpaired surrogates (wtf8_from_utf16), which the Win32 file
// turns back into the exact UTF-16 at the call.
//
// All functions are safe to call from several walker threads at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
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
    INCOMPLETE,  // listed, but some entries could not be measured or the listing broke off midway: the
                 // folder counts as unreadable
    FAILED,      // the folder could not be listed at all
};

// What tells one folder from every other while a walk runs: its volume and its number there (device and
// inode on POSIX, volume serial and file index on Windows). A folder met again below itself (a link the
// file system passes off as a folder, a share whose server follows its own links) has an ancestor's id.
struct FolderId {
    std::uint64_t volume = 0;
    std::uint64_t file = 0;  // 0: not known, equal to nothing
    bool operator==(const FolderId&) const = default;
};

// The most entries a listing holds before it hands them to its TakeEntries: a folder of a million files
// then costs the walk no more memory than one of a thousand.
inline constexpr std::size_t LISTING_BATCH = 256;

// Takes entries out of a listing that goes on: called with the entries listed since the last call
// (LISTING_BATCH of them) and the folder's id, which is known by then. They are valid during the call only.
using TakeEntries = std::function<void(std::span<const ListedEntry> entries, const FolderId& id)>;

// Lists one folder into out (cleared first): every entry but "." and "..", measured and classified, each
// under its real name, and sets id to the folder's own (left unknown where the system does not say). An
// error in the middle of a listing keeps what was found so far and makes it INCOMPLETE. Neither the depth
// nor the length of walk_path limits it. With take, every full batch of LISTING_BATCH entries goes to take
// as it is listed, and out holds the rest at the end; without it, out holds them all.
Listing list_folder(const std::string& walk_path, std::vector<ListedEntry>& out, FolderId& id,
                    const TakeEntries& take = {});

// When the folder itself was last written (Node::mtime); 0 when it cannot be asked. The walk asks it of
// the root only: every other folder's time comes with its parent's listing.
std::uint32_t folder_mtime(const std::string& walk_path);

}  // namespace spadrim
