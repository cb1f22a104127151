// Processor count, volume space and path checks on POSIX systems.
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <filesystem>

#include "scan/scan.h"

namespace spadrim {

unsigned processor_count() {
    const long count = sysconf(_SC_NPROCESSORS_ONLN);
    return count > 0 ? static_cast<unsigned>(count) : 0;
}

std::optional<VolumeSpace> volume_space(const std::string& path) {
    struct statvfs info {};
    if (statvfs(path.c_str(), &info) != 0) return std::nullopt;
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
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace spadrim
