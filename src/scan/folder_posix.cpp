// Listing a folder on Linux: one open folder, its entries read in large batches with getdents64, and
// statx relative to it, so no full path is built per entry. Links are never followed; only a link's
// target is looked at once, to tell a folder link from a file link. Names are kept as the bytes the file
// system gave. See folder.h for the contract.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <span>

#include "kinds/times.h"
#include "scan/classify.h"
#include "scan/folder.h"
#include "scan/folder_posix.h"
#include "scan/open_posix.h"
#include "scan/paths.h"
#include "strings/utf.h"

namespace spadrim {

const char PATH_SEPARATOR = '/';

namespace {

// The folders a walker thread has open along the path it is walking, root side first. A walker mostly
// goes deep into the folder it just listed or on to a sibling, so the next folder is usually one name
// below an open one: opening it relative to that folder saves the kernel a lookup of every component
// of the full path. At most MAX_OPEN are kept (the deepest), so deep trees cannot exhaust the file
// handles. Walker threads live for one Scan, so a chain never outlives the walk whose folders it holds.
class OpenChain {
  public:
    OpenChain() = default;
    OpenChain(const OpenChain&) = delete;
    OpenChain& operator=(const OpenChain&) = delete;
    ~OpenChain() { drop_to(0); }

    // Opens the folder at path (cached for the next calls); -1 with errno on failure.
    int open_folder(const std::string& path) {
        while (!levels_.empty() && !is_below(path, levels_.back().path))
            drop_to(levels_.size() - 1);
        int fd = -1;
        if (levels_.empty()) {
            fd = open_path(AT_FDCWD, path, FLAGS);
        } else {
            const std::string& parent = levels_.back().path;
            const std::size_t skip = parent.size() + (parent.back() == '/' ? 0 : 1);
            fd = open_path(levels_.back().fd, std::string_view(path).substr(skip), FLAGS);
        }
        if (fd < 0 && errno == EMFILE) {  // handles ran out elsewhere: give back ours and try once more
            drop_to(0);
            fd = open_path(AT_FDCWD, path, FLAGS);
        }
        if (fd >= 0) {
            if (levels_.size() == MAX_OPEN) {  // the root side is the least likely to be needed again
                close(levels_.front().fd);
                levels_.erase(levels_.begin());
            }
            levels_.push_back(Level{path, fd});
        }
        return fd;
    }

  private:
    static constexpr int FLAGS = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
    static constexpr std::size_t MAX_OPEN = 64;
    struct Level {
        std::string path;
        int fd;
    };

    static bool is_below(const std::string& path, const std::string& folder) {
        return path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
               (folder.back() == '/' || path[folder.size()] == '/');
    }
    void drop_to(std::size_t count) {
        while (levels_.size() > count) {
            close(levels_.back().fd);
            levels_.pop_back();
        }
    }

    std::vector<Level> levels_;
};

// The name buffers of entries that a listing of this thread had no more use for (at most
// LISTING_BATCH), for the names of its next listings: most names are too long to be kept inside a
// std::string, and a buffer taken from here saves an allocation and a free per entry.
thread_local std::vector<std::string> spare_names;

// getdents64 records, as the kernel lays them out.
struct Dirent64 {
    ino64_t d_ino;
    off64_t d_off;
    unsigned short d_reclen;
    unsigned char d_type;
    char d_name[1];
};

// Kernels before 5.8 do not say whether a folder is the root of a mount, and a bind mount of the same
// file system keeps its device number; for them the mount table is read once.
const std::vector<std::string>& listed_mount_points() {
    static const std::vector<std::string> points = [] {
        std::ifstream table("/proc/self/mountinfo");
        std::vector<std::string> found = mount_points_from(
            std::string(std::istreambuf_iterator<char>(table), std::istreambuf_iterator<char>()));
        std::sort(found.begin(), found.end());
        return found;
    }();
    return points;
}

// statx without following a link; where a sandbox refuses statx itself, fstatat fills the same fields
// (and the mount table then answers whether a folder is a mount root).
int measure(int folder, const char* name, struct statx& st) {
    static std::atomic<bool> refused{false};
    if (!refused.load(std::memory_order_relaxed)) {
        const int done = statx(folder, name, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT,
                               STATX_TYPE | STATX_SIZE | STATX_BLOCKS | STATX_MTIME, &st);
        if (done == 0 || errno != ENOSYS) return done;
        refused = true;
    }
    struct stat old {};
    if (fstatat(folder, name, &old, AT_SYMLINK_NOFOLLOW) != 0) return -1;
    st = {};
    st.stx_mode = static_cast<std::uint16_t>(old.st_mode);
    st.stx_size = static_cast<std::uint64_t>(old.st_size);
    st.stx_blocks = static_cast<std::uint64_t>(old.st_blocks);
    st.stx_dev_major = major(old.st_dev);
    st.stx_dev_minor = minor(old.st_dev);
    st.stx_mtime.tv_sec = old.st_mtim.tv_sec;
    st.stx_mask = STATX_TYPE | STATX_SIZE | STATX_BLOCKS | STATX_MTIME;
    return 0;
}

// Whether a folder entry is the root of a mount. Where the kernel says (statx, since 5.8) its word is
// the whole answer: a btrfs subvolume has a device number of its own without being mounted. Elsewhere a
// device unlike the parent's or a place in the mount table says so.
bool is_mount_root(const struct statx& st, dev_t parent_device, const std::string& folder, const char* name) {
    const std::optional<bool> said =
        (st.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT)
            ? std::optional<bool>((st.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0)
            : std::nullopt;
    return mount_root_from(said, makedev(st.stx_dev_major, st.stx_dev_minor) != parent_device, [&] {
        const std::vector<std::string>& points = listed_mount_points();
        return std::binary_search(points.begin(), points.end(), join_path(folder, name, '/'));
    });
}

}  // namespace

std::string walk_root_path(std::string_view root) {
    while (root.size() > 1 && root.back() == '/')
        root.remove_suffix(1);
    return std::string(root);
}

std::string walk_display_path(std::string_view walk_path) {
    return std::string(walk_path);
}

std::string shown_form(std::string_view real) {
    return valid_utf8(real);
}

std::uint32_t folder_mtime(const std::string& walk_path) {
    struct stat folder {};
    if (stat(walk_path.c_str(), &folder) != 0) return 0;
    return mtime_from_unix(folder.st_mtim.tv_sec);
}

long read_entries(int folder, char* buffer, std::size_t size) {
    return syscall(SYS_getdents64, folder, buffer, size);
}

Listing list_folder(const std::string& walk_path, std::vector<ListedEntry>& out, FolderId& id,
                    const TakeEntries& take) {
    return list_folder_reading(walk_path, out, id, read_entries, take);
}

Listing list_folder_reading(const std::string& walk_path, std::vector<ListedEntry>& out, FolderId& id,
                            ReadEntries read, const TakeEntries& take) {
    id = {};
    thread_local OpenChain chain;
    const int folder = chain.open_folder(walk_path);
    if (folder < 0) {
        out.clear();
        return errno == ENOENT ? Listing::COMPLETE : Listing::FAILED;  // vanished since its parent was listed
    }
    struct stat folder_stat {};
    if (fstat(folder, &folder_stat) != 0) {
        out.clear();
        return Listing::FAILED;
    }
    id = FolderId{static_cast<std::uint64_t>(folder_stat.st_dev),
                  static_cast<std::uint64_t>(folder_stat.st_ino)};

    Listing listing = Listing::COMPLETE;
    // The entries of out past `used` are spares, left by an earlier listing or batch: a name goes into a
    // spare's string, whose buffer then serves again instead of a new allocation per name.
    std::size_t used = 0;
    // One buffer per walker thread, reused for every folder it lists.
    thread_local std::vector<char> buffer(64 * 1024);
    for (;;) {
        const long got = read(folder, buffer.data(), buffer.size());
        if (got == 0) break;
        if (got < 0) {
            // A disk error or a stale NFS handle: the entries not yet read are missing. ENOENT says the
            // folder was removed meanwhile, which it can only be once empty: nothing of it is missing.
            if (errno != ENOENT) listing = Listing::INCOMPLETE;
            break;
        }
        for (long at = 0; at < got;) {
            const auto* record = reinterpret_cast<const Dirent64*>(buffer.data() + at);
            at += record->d_reclen;
            const char* name = record->d_name;
            if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;
            StatEntry facts{};
            // Not cleared first: measure fills it, and clearing its 256 bytes per entry costs more than
            // the rest of the entry's handling here.
            struct statx st;
            if (measure(folder, name, st) != 0) {
                if (errno == ENOENT) continue;  // deleted between the listing and statx
                st.stx_mask = 0;
                // Listed but not measurable (a folder that may be read but not entered): the listing
                // still tells folders from files, and the folder counts as unreadable.
                listing = Listing::INCOMPLETE;
                facts.is_dir = record->d_type == DT_DIR;
                facts.is_link = record->d_type == DT_LNK;
            } else {
                facts.is_link = S_ISLNK(st.stx_mode);
                facts.is_dir = S_ISDIR(st.stx_mode);
                if (facts.is_link) {
                    struct stat target {};
                    facts.link_to_dir = fstatat(folder, name, &target, 0) == 0 && S_ISDIR(target.st_mode);
                } else if (facts.is_dir) {
                    facts.mount_point = is_mount_root(st, folder_stat.st_dev, walk_path, name);
                } else {
                    facts.size = st.stx_size;
                    facts.blocks = st.stx_blocks;
                }
            }
            ListedEntry& entry = used < out.size() ? out[used] : out.emplace_back();
            ++used;
            std::string spare = std::move(entry.name);
            const std::size_t length = std::strlen(name);
            if (length > spare.capacity() && !spare_names.empty()) {
                spare = std::move(spare_names.back());
                spare_names.pop_back();
            }
            spare.assign(name, length);
            entry = classify_stat_entry(std::move(spare), facts);
            // A file system that keeps no times (some FUSE ones) leaves the bit out: unknown, not 1970.
            if (st.stx_mask & STATX_MTIME) entry.mtime = mtime_from_unix(st.stx_mtime.tv_sec);
            entry.unshowable = !is_valid_utf8(entry.name);
            if (take && used == LISTING_BATCH) {
                take(std::span<const ListedEntry>(out.data(), used), id);
                used = 0;
            }
        }
    }
    for (std::size_t i = used; i < out.size() && spare_names.size() < LISTING_BATCH; ++i) {
        if (!out[i].name.empty()) spare_names.push_back(std::move(out[i].name));
    }
    out.resize(used);
    return listing;
}

}  // namespace spadrim
