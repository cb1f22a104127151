// Classification of listed entries. See classify.h.
#include "scan/classify.h"

#include <algorithm>

#include "kinds/kinds.h"

namespace spadrim {

std::uint8_t kind_of(std::string_view name) {
    return static_cast<std::uint8_t>(classify_name(name));
}

bool wants_on_disk_size(std::uint32_t attributes) {
    return !(attributes & (ATTR_DIRECTORY | CLOUD_ATTRIBUTES)) && (attributes & ON_DISK_ATTRIBUTES);
}

ListedEntry classify_find_attributes(const FindEntry& entry, std::optional<std::uint64_t> on_disk_size) {
    ListedEntry out;
    const std::uint32_t attributes = entry.attributes;
    if (attributes & ATTR_DIRECTORY) out.flags |= FLAG_DIR;
    // Only symbolic links and mount points / junctions are links; other reparse points (cloud
    // placeholders, deduplicated files) hold real data and are counted.
    if ((attributes & ATTR_REPARSE_POINT) &&
        (entry.reparse_tag == TAG_SYMLINK || entry.reparse_tag == TAG_MOUNT_POINT)) {
        out.flags |= FLAG_LINK;
    }
    if (out.flags & FLAG_DIR) return out;
    if (attributes & CLOUD_ATTRIBUTES) {
        out.flags |= FLAG_CLOUD_ONLY;
    } else {
        out.size = entry.size;
        if ((attributes & ON_DISK_ATTRIBUTES) && on_disk_size && *on_disk_size != entry.size) {
            out.size = *on_disk_size;
            out.length = entry.size;
        }
    }
    if (out.flags & FLAG_LINK) {
        out.size = 0;
        out.length = 0;
    }
    return out;
}

ListedEntry classify_find_entry(std::string name, const FindEntry& entry,
                                std::optional<std::uint64_t> on_disk_size) {
    ListedEntry out = classify_find_attributes(entry, on_disk_size);
    if (!(out.flags & FLAG_DIR)) out.kind = kind_of(name);
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
        out.flags = entry.mount_point ? (FLAG_DIR | FLAG_LINK) : FLAG_DIR;
    } else {
        // A sparse file counts the space it takes, like a sparse or compressed file on Windows.
        const std::uint64_t allocated = entry.blocks * 512;
        out.size = allocated < entry.size ? allocated : entry.size;
        if (out.size != entry.size) out.length = entry.size;
    }
    if (!(out.flags & FLAG_DIR)) out.kind = kind_of(name);
    out.name = std::move(name);
    return out;
}

std::vector<std::string> mount_points_from(std::string_view mountinfo) {
    std::vector<std::string> points;
    while (!mountinfo.empty()) {
        const std::size_t end = std::min(mountinfo.find('\n'), mountinfo.size());
        std::string_view line = mountinfo.substr(0, end);
        mountinfo.remove_prefix(std::min(end + 1, mountinfo.size()));
        // "36 35 98:0 /mnt1 /mnt2 rw,noatime master:1 - ext3 /dev/root rw": the fifth field.
        for (int field = 0; field < 4 && !line.empty(); ++field) {
            const std::size_t space = line.find(' ');
            line.remove_prefix(space == std::string_view::npos ? line.size() : space + 1);
        }
        line = line.substr(0, std::min(line.find(' '), line.size()));
        if (line.empty()) continue;
        std::string point;
        for (std::size_t i = 0; i < line.size(); ++i) {
            const auto octal = [&](std::size_t k) { return line[k] >= '0' && line[k] <= '7'; };
            if (line[i] == '\\' && i + 3 < line.size() && octal(i + 1) && octal(i + 2) && octal(i + 3)) {
                point += static_cast<char>(((line[i + 1] - '0') << 6) | ((line[i + 2] - '0') << 3) |
                                           (line[i + 3] - '0'));
                i += 3;
            } else {
                point += line[i];
            }
        }
        points.push_back(std::move(point));
    }
    return points;
}

}  // namespace spadrim
