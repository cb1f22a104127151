// Turning what a directory listing reports about one entry into a ListedEntry: flags, counted size and
// kind. Pure functions, kept apart from the listing calls so that every case is tested on any machine,
// including those a test machine cannot produce (junctions, cloud placeholders, NTFS compression).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "scan/tree.h"

namespace spadrim {

// Windows attribute bits and reparse tags, as FindFirstFileExW reports them.
inline constexpr std::uint32_t ATTR_DIRECTORY = 0x10;
inline constexpr std::uint32_t ATTR_SPARSE_FILE = 0x200;
inline constexpr std::uint32_t ATTR_REPARSE_POINT = 0x400;
inline constexpr std::uint32_t ATTR_COMPRESSED = 0x800;
inline constexpr std::uint32_t ATTR_OFFLINE = 0x1000;
inline constexpr std::uint32_t ATTR_RECALL_ON_OPEN = 0x40000;
inline constexpr std::uint32_t ATTR_RECALL_ON_DATA_ACCESS = 0x400000;
inline constexpr std::uint32_t CLOUD_ATTRIBUTES =
    ATTR_OFFLINE | ATTR_RECALL_ON_OPEN | ATTR_RECALL_ON_DATA_ACCESS;
inline constexpr std::uint32_t ON_DISK_ATTRIBUTES = ATTR_SPARSE_FILE | ATTR_COMPRESSED;
inline constexpr std::uint32_t TAG_MOUNT_POINT = 0xA0000003;  // junctions and volume mount points
inline constexpr std::uint32_t TAG_SYMLINK = 0xA000000C;

// What one FindFirstFileExW / FindNextFileW entry says.
struct FindEntry {
    std::uint32_t attributes;
    std::uint32_t reparse_tag;  // dwReserved0; meaningful only with ATTR_REPARSE_POINT
    std::uint64_t size;         // nFileSizeHigh:nFileSizeLow
};

// The kind of a file by its name's extension (a FileKind).
std::uint8_t kind_of(std::string_view name);

// True when the entry is a sparse or compressed file whose space on the disk must be asked for.
bool wants_on_disk_size(std::uint32_t attributes);

// on_disk_size: what GetCompressedFileSizeW answered when wants_on_disk_size, nothing when not asked or
// when it failed (the listed size then stays).
ListedEntry classify_find_entry(std::string name, const FindEntry& entry,
                                std::optional<std::uint64_t> on_disk_size);
// The same without the name: everything but name and kind, which a reader that keeps names elsewhere
// sets itself (kind_of(name) for entries without FLAG_DIR).
ListedEntry classify_find_attributes(const FindEntry& entry, std::optional<std::uint64_t> on_disk_size);

// What lstat (and, for a link, stat of its target) says about one POSIX entry.
struct StatEntry {
    bool is_dir;
    bool is_link;
    bool link_to_dir;  // a link whose target is a folder
    bool mount_point;  // the root of a mount (see mount_root_from)
    std::uint64_t size;
    std::uint64_t blocks;  // allocated 512-byte blocks
};

ListedEntry classify_stat_entry(std::string name, const StatEntry& entry);

// Whether a POSIX folder is the root of a mount. kernel_says: statx's STATX_ATTR_MOUNT_ROOT where the
// kernel supports it, which is then the whole answer (a btrfs subvolume has a device of its own but is
// no mount). Without it: on another device than its parent, or listed in the mount table (a bind mount of
// the same file system keeps its device), asked only when the device does not answer.
template <typename InMountTable>
bool mount_root_from(std::optional<bool> kernel_says, bool other_device, InMountTable&& in_mount_table) {
    if (kernel_says) return *kernel_says;
    return other_device || in_mount_table();
}

// The mount points that /proc/self/mountinfo lists (its fifth field, octal escapes undone).
std::vector<std::string> mount_points_from(std::string_view mountinfo);

}  // namespace spadrim
