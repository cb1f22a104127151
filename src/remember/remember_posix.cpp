// Remembered scans on POSIX systems: the folder under the user's data home, and its files.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fcntl.h>

#include <cerrno>
#include <cstdlib>
#include <memory>

#include "remember/files.h"
#include "remember/remember.h"

namespace spadrim {

const char SCANS_SEPARATOR = '/';

namespace {

std::optional<std::string> variable(const char* name) {
    const char* value = std::getenv(name);
    if (!value || !*value) return std::nullopt;
    return std::string(value);
}

bool is_folder(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

struct FolderCloser {
    void operator()(DIR* folder) const { closedir(folder); }
};

}  // namespace

std::string remembered_folder() {
    if (std::optional<std::string> chosen = variable("SPADRIM_SCANS")) return *chosen;
    // The XDG base directories: a relative XDG_DATA_HOME is to be ignored.
    if (std::optional<std::string> data = variable("XDG_DATA_HOME"); data && data->front() == '/')
        return *data + "/spadrim/scans";
    if (std::optional<std::string> home = variable("HOME")) return *home + "/.local/share/spadrim/scans";
    return {};
}

std::optional<std::vector<FolderFile>> list_files(const std::string& folder) {
    const std::unique_ptr<DIR, FolderCloser> listing(opendir(folder.c_str()));
    if (!listing) return std::nullopt;
    std::vector<FolderFile> files;
    while (const dirent* entry = readdir(listing.get())) {
        struct stat info {};
        if (fstatat(dirfd(listing.get()), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(info.st_mode))
            continue;
        files.push_back(FolderFile{entry->d_name, static_cast<std::uint64_t>(info.st_size)});
    }
    return files;
}

bool make_folders(const std::string& folder) {
    for (std::size_t slash = folder.find('/', 1); slash != std::string::npos;
         slash = folder.find('/', slash + 1))
        mkdir(folder.substr(0, slash).c_str(), 0755);
    mkdir(folder.c_str(), 0700);  // the scans tell what is on the disk: the user's own
    return is_folder(folder);
}

std::optional<std::uint64_t> file_bytes(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) return std::nullopt;
    return static_cast<std::uint64_t>(info.st_size);
}

bool delete_file(const std::string& path) {
    return unlink(path.c_str()) == 0 || errno == ENOENT;
}

}  // namespace spadrim
