// Listing a folder on POSIX systems: one open folder, readdir, and fstatat relative to it, so no full
// path is built per entry. Links are never followed; only a link's target is looked at once, to tell a
// folder link from a file link. See folder.h for the contract.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "scan/classify.h"
#include "scan/folder.h"
#include "strings/utf.h"

namespace spadrim {

const char PATH_SEPARATOR = '/';

namespace {

class OpenDir {
  public:
    explicit OpenDir(DIR* dir) : dir_(dir) {}
    OpenDir(const OpenDir&) = delete;
    OpenDir& operator=(const OpenDir&) = delete;
    ~OpenDir() {
        if (dir_) closedir(dir_);
    }
    DIR* get() const { return dir_; }

  private:
    DIR* dir_;
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
    const int fd = open(walk_path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT;  // a folder that vanished since its parent was listed is empty
    OpenDir dir(fdopendir(fd));
    if (!dir.get()) {
        close(fd);
        return false;
    }
    struct stat folder_stat {};
    if (fstat(fd, &folder_stat) != 0) return false;

    // readdir returns null both at the end and on an error; either way what was found stands.
    while (const dirent* entry = readdir(dir.get())) {
        const char* name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
        struct stat st {};
        if (fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno == ENOENT) continue;  // deleted between readdir and fstatat
            st = {};
        }
        StatEntry facts{};
        facts.is_link = S_ISLNK(st.st_mode);
        facts.is_dir = S_ISDIR(st.st_mode);
        if (facts.is_link) {
            struct stat target {};
            facts.link_to_dir = fstatat(fd, name, &target, 0) == 0 && S_ISDIR(target.st_mode);
        } else if (facts.is_dir) {
            facts.other_device = st.st_dev != folder_stat.st_dev;
        } else {
            facts.size = st.st_size > 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
            facts.blocks = st.st_blocks > 0 ? static_cast<std::uint64_t>(st.st_blocks) : 0;
        }
        out.push_back(classify_stat_entry(valid_utf8(name), facts));
    }
    return true;
}

}  // namespace spadrim
