// File reading on POSIX systems. See file_io.h.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>

#include "dupes/file_io.h"
#include "scan/open_posix.h"

namespace spadrim {

InputFile& InputFile::operator=(InputFile&& other) noexcept {
    if (this != &other) {
        if (is_open()) close(static_cast<int>(handle_));
        handle_ = other.release();
    }
    return *this;
}

InputFile::~InputFile() {
    if (is_open()) close(static_cast<int>(handle_));
}

InputFile open_input(const std::string& path, bool sequential) {
    const int fd = open_path(AT_FDCWD, path, O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return InputFile();
    if (sequential) posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    return InputFile(fd);
}

std::optional<FileId> file_identity(const InputFile& file) {
    struct stat info {};
    if (fstat(static_cast<int>(file.handle()), &info) != 0) return std::nullopt;
    return FileId{static_cast<std::uint64_t>(info.st_dev), 0, static_cast<std::uint64_t>(info.st_ino),
                  static_cast<std::uint32_t>(std::min<nlink_t>(info.st_nlink, UINT32_MAX))};
}

std::optional<std::size_t> read_some(const InputFile& file, void* buffer, std::size_t size) {
    for (;;) {
        const ssize_t got = read(static_cast<int>(file.handle()), buffer, size);
        if (got >= 0) return static_cast<std::size_t>(got);
        if (errno != EINTR) return std::nullopt;
    }
}

bool seek_to(const InputFile& file, std::uint64_t offset) {
    return lseek(static_cast<int>(file.handle()), static_cast<off_t>(offset), SEEK_SET) ==
           static_cast<off_t>(offset);
}

std::optional<bool> seek_penalty(const std::string& root_path) {
    struct stat info {};
    const int fd = open_path(AT_FDCWD, root_path, LOOK_ONLY);
    const bool known = fd >= 0 && fstat(fd, &info) == 0;
    if (fd >= 0) close(fd);
    if (!known || major(info.st_dev) == 0) return std::nullopt;  // 0: no block device
    // A partition has no queue of its own: its disk, the parent in sysfs, has.
    const std::string device =
        "/sys/dev/block/" + std::to_string(major(info.st_dev)) + ":" + std::to_string(minor(info.st_dev));
    for (const char* queue : {"/queue/rotational", "/../queue/rotational"}) {
        std::ifstream flag(device + queue);
        char value = 0;
        if (flag >> value) return value == '1';
    }
    return std::nullopt;
}

}  // namespace spadrim
