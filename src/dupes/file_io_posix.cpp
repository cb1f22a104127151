// File reading on POSIX systems. See file_io.h.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <vector>

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

namespace {

#if defined(__linux__) && !defined(__alpha__)
#ifndef SYS_cachestat
#define SYS_cachestat 451  // Linux 6.5; the C library's headers may be older than the kernel
#endif
struct CachestatRange {
    std::uint64_t offset;
    std::uint64_t length;
};
struct Cachestat {
    std::uint64_t cached, dirty, writeback, evicted, recently_evicted;  // pages
};

// The pages of [0, size) in the page cache, counted by the kernel over its cache's index in one call;
// nothing where the kernel cannot (older than 6.5, or refused by a sandbox).
std::optional<std::uint64_t> cached_pages(int fd, std::uint64_t size) {
    CachestatRange range{0, size};
    Cachestat stat{};
    if (syscall(SYS_cachestat, fd, &range, &stat, 0) != 0) return std::nullopt;
    return stat.cached;
}
#else
std::optional<std::uint64_t> cached_pages(int, std::uint64_t) {
    return std::nullopt;
}
#endif

// The same answer from the pages of a mapping, asked one by one: some 25 times slower on a large file.
// The mapping is only asked about, never read: a file cut short meanwhile would fault on a read.
bool mapped_pages_resident(int fd, std::uint64_t size, std::size_t page) {
    if (size > SIZE_MAX) return false;
    void* map = mmap(nullptr, static_cast<std::size_t>(size), PROT_READ, MAP_SHARED, fd, 0);
    if (map == MAP_FAILED) return false;
    const std::size_t pages = static_cast<std::size_t>((size + page - 1) / page);
    // Asked a slice at a time, so a huge file needs no huge vector and the first page out stops it.
    constexpr std::size_t SLICE = 16384;
    std::vector<unsigned char> resident(std::min(pages, SLICE));
    bool all = true;
    for (std::size_t first = 0; all && first < pages; first += SLICE) {
        const std::size_t count = std::min(pages - first, SLICE);
        all = mincore(static_cast<char*>(map) + first * page, count * page, resident.data()) == 0 &&
              std::all_of(resident.begin(), resident.begin() + static_cast<std::ptrdiff_t>(count),
                          [](unsigned char flag) { return (flag & 1) != 0; });
    }
    munmap(map, static_cast<std::size_t>(size));
    return all;
}

}  // namespace

bool cached_in_memory(const std::string& path, std::uint64_t size) {
    // Not blocking: a pipe or a device put where a file was would otherwise wait in its opening.
    const InputFile file(open_path(AT_FDCWD, path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    const int fd = static_cast<int>(file.handle());
    struct stat info {};
    if (!file.is_open() || fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) return false;
    if (size == 0) return true;
    const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    if (const std::optional<std::uint64_t> cached = cached_pages(fd, size))
        return *cached == (size + page - 1) / page;  // a file cut short has fewer
    return mapped_pages_resident(fd, size, page);
}

}  // namespace spadrim
