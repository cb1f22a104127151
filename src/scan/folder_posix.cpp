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

class OpenFd {
public:
    explicit OpenFd(int fd) : fd_(fd) {}
    OpenFd(const OpenFd&) = delete;
    OpenFd& operator=(const OpenFd&) = delete;
    ~OpenFd() {
        if (fd_ >= 0) close(fd_);
    }
    int get() const { return fd_; }

private:
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
    const OpenFd folder(open(walk_path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() < 0) return errno == ENOENT;  // a folder that vanished since its parent was listed is empty
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
