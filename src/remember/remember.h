// Remembered scans: each finished scan kept as a gzip scan file in ncdu's format (readable by ncdu and by
// --import), so that a later scan of the same place can be compared with it.
//
// The files live in one folder of the user's own (on Windows %LOCALAPPDATA%\Spadrim\Scans). A file's name
// tells when the scan was made, which root it is of (a hash) and the root's size and files, so the home
// screen and the search for an earlier scan of a root read no more than the folder's listing and, for
// the root's own text, the first bytes of a file. Names that do not have that shape are not ours and are
// left alone.
//
// What is kept is bounded: the newest REMEMBER_PER_ROOT per root and REMEMBER_TOTAL_BYTES in all, the
// oldest going first; and nothing is saved when the drive would be left with less than twice the file's
// size free. These rules are pure functions (plan_*), the file-system side thin.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "scan/progress.h"
#include "scan/tree.h"

namespace spadrim {

inline constexpr std::size_t REMEMBER_PER_ROOT = 10;
inline constexpr std::uint64_t REMEMBER_TOTAL_BYTES = std::uint64_t{1} << 30;

struct RememberedScan {
    std::string file;             // full path of the scan file
    std::uint64_t root_hash = 0;  // of the root's path, case folded under a Windows root
    std::int64_t when = 0;        // seconds since 1970 UTC: when the scan was made
    std::uint64_t size = 0;       // the root's size and files at that time
    std::uint64_t files = 0;
    std::uint64_t bytes = 0;  // the scan file's own size
};

// The hash that names a root in file names: FNV-1a over its path, lower-cased under a Windows root so
// that C:\Users and c:\users are one root.
std::uint64_t root_hash(std::string_view root_path);

// The file name (no folder) for a scan of a root, and the reverse: nothing for a name of another shape.
std::string remembered_name(std::uint64_t hash, std::int64_t when, std::uint64_t size, std::uint64_t files);
std::optional<RememberedScan> parse_remembered_name(std::string_view name);

// What to delete so that, once a new file of `new_bytes` for root `hash` joins `kept`, at most
// REMEMBER_PER_ROOT of that root and REMEMBER_TOTAL_BYTES in all remain: the oldest first. The new file
// itself is never among them.
std::vector<std::string> plan_removals(std::span<const RememberedScan> kept, std::uint64_t hash,
                                       std::uint64_t new_bytes);
// Whether a file of `bytes` may be written to a drive with `free_bytes` free: it must leave at least twice
// its size free. An unknown free space (nothing) allows it.
bool room_to_save(std::uint64_t bytes, std::optional<std::uint64_t> free_bytes);
// The scan file's size before it is written, estimated on the generous side from the tree's entries, for
// room_to_save; the file's real size is checked again once written.
std::uint64_t estimated_bytes(const FileTree& tree);

// The folder of remembered scans (%LOCALAPPDATA%\Spadrim\Scans on Windows, $XDG_DATA_HOME/spadrim/scans
// or ~/.local/share/spadrim/scans elsewhere); empty when it cannot be told. Not created here.
std::string remembered_folder();

// The remembered scans in `folder`, newest first; none when it does not exist.
std::vector<RememberedScan> list_remembered(const std::string& folder);

// The root path written in a scan file (its first entry's name) and the timestamp of its header, read
// from its first bytes only; nothing when it is not a readable scan file.
struct ScanFileHead {
    std::string root;
    std::int64_t timestamp = 0;  // 0 when the file does not say
};
std::optional<ScanFileHead> read_scan_head(const std::string& file);

// The newest remembered scan of the same root as `tree` made before `before` (seconds since 1970), read
// heads confirming the root; nothing when there is none.
std::optional<RememberedScan> earlier_scan(std::span<const RememberedScan> remembered, const FileTree& tree,
                                           std::int64_t before);

struct SaveOutcome {
    bool saved = false;
    std::string file;   // the file written
    std::string error;  // why nothing was saved (English), empty when saved or when there was no room
    bool no_room = false;
};

// Saves the tree as a remembered scan made at `when`: creates the folder, checks the room, writes aside
// and renames, then removes what the bounds leave no place for. Stops, leaving nothing, when `cancel`
// becomes true. Any thread; the tree must not change meanwhile.
SaveOutcome save_scan(const FileTree& tree, const std::string& folder, std::int64_t when,
                      const std::atomic<bool>& cancel);

// Deletes every remembered scan in the folder (and what a save left aside); how many could not be.
std::size_t forget_remembered(const std::string& folder);

}  // namespace spadrim
