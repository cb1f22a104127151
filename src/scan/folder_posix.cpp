// Listing a folder on Linux: one open folder, its entries read in large batches with getdents64, and
// fstatat relative to it, so no full path is built per entry. Links are never followed; only a link's
// target is looked at once, to tell a folder link from a file link. See folder.h for the contract.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "scan/classify.h"
#include "scan/folder.h"
#include "strings/utf.h"

namespace spadrim {

const char PATH_SEPARATOR = '/';

namespace {

// The folders a walker thread has open along the path it is walking, root side first. A walker mostly
// goes deep into the folder it just listed or on to a sibling, so the next folder is usually one name
// below an open one: opening it relative to that folder saves the kernel a lookup of every component
// of the full path. At most MAX_OPEN are kept, so deep trees cannot exhaust the file handles. Walker
// threads live for one Scan, so a chain never outlives the walk whose folders it holds.
class OpenChain {
  public:
    OpenChain() = default;
    OpenChain(const OpenChain&) = delete;
    OpenChain& operator=(const OpenChain&) = delete;
    ~OpenChain() { drop_to(0); }

    // Opens the folder at path (cached for the next calls when there is room); -1 with errno on failure.
    int open_folder(const std::string& path) {
        while (!levels_.empty() && !is_below(path, levels_.back().path))
            drop_to(levels_.size() - 1);
        int fd = -1;
        if (levels_.empty()) {
            fd = open(path.c_str(), FLAGS);
        } else {
            const std::string& parent = levels_.back().path;
            const std::size_t skip = parent.size() + (parent.back() == '/' ? 0 : 1);
            fd = openat(levels_.back().fd, path.c_str() + skip, FLAGS);
        }
        if (fd < 0 && errno == EMFILE) {  // handles ran out elsewhere: give back ours and try once more
            drop_to(0);
            fd = open(path.c_str(), FLAGS);
        }
        if (fd >= 0 && levels_.size() < MAX_OPEN) levels_.push_back(Level{path, fd});
        return fd;
    }
    // Whether fd stays open for later calls (otherwise the caller closes it).
    bool keeps(int fd) const { return !levels_.empty() && levels_.back().fd == fd; }

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

// A folder handle for one listing: closed afterwards unless the thread's chain keeps it.
class ListedFolder {
  public:
    ListedFolder(OpenChain& chain, const std::string& path) : chain_(chain), fd_(chain.open_folder(path)) {}
    ListedFolder(const ListedFolder&) = delete;
    ListedFolder& operator=(const ListedFolder&) = delete;
    ~ListedFolder() {
        if (fd_ >= 0 && !chain_.keeps(fd_)) close(fd_);
    }
    int get() const { return fd_; }

  private:
    OpenChain& chain_;
    int fd_;
};

// getdents64 records, as the kernel lays them out.
struct Dirent64 {
    ino64_t d_ino;
    off64_t d_off;
    unsigned short d_reclen;
    unsigned char d_type;
    char d_name[1];
};

}  // namespace

std::string walk_root_path(std::string_view root) {
    while (root.size() > 1 && root.back() == '/')
        root.remove_suffix(1);
    return std::string(root);
}

std::string walk_display_path(std::string_view walk_path) {
    return std::string(walk_path);
}

bool list_folder(const std::string& walk_path, std::vector<ListedEntry>& out) {
    out.clear();
    thread_local OpenChain chain;
    const ListedFolder folder(chain, walk_path);
    if (folder.get() < 0)
        return errno == ENOENT;  // a folder that vanished since its parent was listed is empty
    struct stat folder_stat {};
    if (fstat(folder.get(), &folder_stat) != 0) return false;

    // One buffer per walker thread, reused for every folder it lists.
    thread_local std::vector<char> buffer(64 * 1024);
    for (;;) {
        const long got = syscall(SYS_getdents64, folder.get(), buffer.data(), buffer.size());
        if (got <= 0) break;  // the end, or an error: either way what was found stands
        for (long at = 0; at < got;) {
            const auto* entry = reinterpret_cast<const Dirent64*>(buffer.data() + at);
            at += entry->d_reclen;
            const char* name = entry->d_name;
            if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;
            struct stat st {};
            if (fstatat(folder.get(), name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
                if (errno == ENOENT) continue;  // deleted between the listing and fstatat
                st = {};
            }
            StatEntry facts{};
            facts.is_link = S_ISLNK(st.st_mode);
            facts.is_dir = S_ISDIR(st.st_mode);
            if (facts.is_link) {
                struct stat target {};
                facts.link_to_dir = fstatat(folder.get(), name, &target, 0) == 0 && S_ISDIR(target.st_mode);
            } else if (facts.is_dir) {
                facts.other_device = st.st_dev != folder_stat.st_dev;
            } else {
                facts.size = st.st_size > 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
                facts.blocks = st.st_blocks > 0 ? static_cast<std::uint64_t>(st.st_blocks) : 0;
            }
            out.push_back(classify_stat_entry(valid_utf8(name), facts));
        }
    }
    return true;
}

}  // namespace spadrim
