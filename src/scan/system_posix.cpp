// Processor count, volume space and path checks on POSIX systems.
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <filesystem>

#include "scan/open_posix.h"
#include "scan/scan.h"

namespace spadrim {

unsigned processor_count() {
    const long count = sysconf(_SC_NPROCESSORS_ONLN);
    return count > 0 ? static_cast<unsigned>(count) : 0;
}

namespace {

// A look-only descriptor of path, for paths of any length; closed on leaving.
struct LookAt {
    int fd;
    explicit LookAt(const std::string& path) : fd(open_path(AT_FDCWD, path, LOOK_ONLY)) {}
    LookAt(const LookAt&) = delete;
    LookAt& operator=(const LookAt&) = delete;
    ~LookAt() {
        if (fd >= 0) close(fd);
    }
};

}  // namespace

std::optional<VolumeSpace> volume_space(const std::string& path) {
    const LookAt at(path);
    struct statvfs info {};
    if (at.fd < 0 || fstatvfs(at.fd, &info) != 0) return std::nullopt;
    const std::uint64_t unit = info.f_frsize ? info.f_frsize : info.f_bsize;
    return VolumeSpace{static_cast<std::uint64_t>(info.f_blocks) * unit,
                       static_cast<std::uint64_t>(info.f_bfree) * unit};
}

std::string absolute_path(std::string_view path) {
    if (path.empty()) return std::string(path);
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(std::filesystem::path(path), error);
    if (error) return std::string(path);
    return absolute.lexically_normal().string();
}

bool folder_exists(const std::string& path) {
    const LookAt at(path);
    struct stat info {};
    return at.fd >= 0 && fstat(at.fd, &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace spadrim
