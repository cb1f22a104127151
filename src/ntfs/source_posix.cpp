// MFT bytes from an image file on POSIX systems. See source.h.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "ntfs/source.h"
#include "scan/open_posix.h"

namespace spadrim {

std::optional<ReadAt> open_volume_source(const std::string& path, std::string& error) {
    const int fd = open_path(AT_FDCWD, path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = std::strerror(errno);
        return std::nullopt;
    }
    const auto file = std::shared_ptr<int>(new int(fd), [](int* held) {
        close(*held);
        delete held;
    });
    return ReadAt([file](std::uint64_t offset, std::span<std::uint8_t> into) {
        std::size_t done = 0;
        while (done < into.size()) {
            const ssize_t got =
                pread(*file, into.data() + done, into.size() - done, static_cast<off_t>(offset + done));
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) return false;
            done += static_cast<std::size_t>(got);
        }
        return true;
    });
}

std::optional<std::string> mft_volume_for(std::string_view) {
    return std::nullopt;
}

}  // namespace spadrim
