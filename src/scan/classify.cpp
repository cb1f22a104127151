// Classification of listed entries. See classify.h.
#include "scan/classify.h"

#include "kinds/kinds.h"

namespace spadrim {
namespace {

std::uint8_t kind_of(const std::string& name) {
    return static_cast<std::uint8_t>(classify_extension(file_extension(name)));
}

}  // namespace

bool wants_on_disk_size(std::uint32_t attributes) {
    return !(attributes & (ATTR_DIRECTORY | CLOUD_ATTRIBUTES)) && (attributes & ON_DISK_ATTRIBUTES);
}

ListedEntry classify_find_entry(std::string name, const FindEntry& entry,
                                std::optional<std::uint64_t> on_disk_size) {
    ListedEntry out;
    const std::uint32_t attributes = entry.attributes;
    if (attributes & ATTR_DIRECTORY) out.flags |= FLAG_DIR;
    // Only symbolic links and mount points / junctions are links; other reparse points (cloud
    // placeholders, deduplicated files) hold real data and are counted.
    if ((attributes & ATTR_REPARSE_POINT) &&
        (entry.reparse_tag == TAG_SYMLINK || entry.reparse_tag == TAG_MOUNT_POINT)) {
        out.flags |= FLAG_LINK;
    }
    if (out.flags & FLAG_DIR) {
        out.name = std::move(name);
        return out;
    }
    if (attributes & CLOUD_ATTRIBUTES) {
        out.flags |= FLAG_CLOUD_ONLY;
    } else {
        out.size = entry.size;
        if ((attributes & ON_DISK_ATTRIBUTES) && on_disk_size) out.size = *on_disk_size;
    }
    if (out.flags & FLAG_LINK) out.size = 0;
    out.kind = kind_of(name);
    out.name = std::move(name);
    return out;
}

ListedEntry classify_stat_entry(std::string name, const StatEntry& entry) {
    ListedEntry out;
    if (entry.is_link) {
        // Never followed: a link to a folder is a folder entry that is not entered, as a Windows folder
        // link carries the directory attribute; any other link is a file of size 0.
        out.flags = entry.link_to_dir ? (FLAG_DIR | FLAG_LINK) : FLAG_LINK;
    } else if (entry.is_dir) {
        out.flags = entry.other_device ? (FLAG_DIR | FLAG_LINK) : FLAG_DIR;
    } else {
        // A sparse file counts the space it takes, like a sparse or compressed file on Windows.
        const std::uint64_t allocated = entry.blocks * 512;
        out.size = allocated < entry.size ? allocated : entry.size;
    }
    if (!(out.flags & FLAG_DIR)) out.kind = kind_of(name);
    out.name = std::move(name);
    return out;
}

}  // namespace spadrim
