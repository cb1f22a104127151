// Reading files for the duplicate finder, per platform (file_io_win.cpp, file_io_posix.cpp): open for
// reading while others may still write or delete, tell which physical file a path reaches, read and seek,
// ask whether a volume pays a seek penalty (a rotating disk) and whether a file's data is in memory
// already. Any thread; one file per thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace spadrim {

// What a file system says of the physical file behind a path. Hard links to one file share volume and
// id; the id is 128 bits on Windows (ReFS promises only those to be unique), 64 on POSIX (high is 0).
struct FileId {
    std::uint64_t volume;  // volume serial number / device
    std::uint64_t high;    // the upper half of the file id
    std::uint64_t low;     // the lower half: the file index / inode
    std::uint32_t links;   // names the file has
};

// Whether two paths reach one file. Some file systems report an id of 0 for every file, and a file
// with a single name cannot be reached by two paths: trusting the id there would hide real copies.
bool same_file(const FileId& a, const FileId& b);

class InputFile {
  public:
    InputFile() = default;
    explicit InputFile(std::intptr_t handle) : handle_(handle) {}
    InputFile(InputFile&& other) noexcept : handle_(other.release()) {}
    InputFile& operator=(InputFile&& other) noexcept;
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;
    ~InputFile();

    bool is_open() const { return handle_ != -1; }
    std::intptr_t handle() const { return handle_; }
    std::intptr_t release() {
        const std::intptr_t handle = handle_;
        handle_ = -1;
        return handle;
    }

  private:
    std::intptr_t handle_ = -1;
};

// sequential: the whole file will be read front to back (a hint to the cache).
InputFile open_input(const std::string& path, bool sequential);
std::optional<FileId> file_identity(const InputFile& file);
// Bytes read (0 at the end of the file), or nothing on an error.
std::optional<std::size_t> read_some(const InputFile& file, void* buffer, std::size_t size);
bool seek_to(const InputFile& file, std::uint64_t offset);

// true for a rotating disk, false for solid state, nothing when the volume of root_path cannot tell.
std::optional<bool> seek_penalty(const std::string& root_path);

// Whether the first size bytes of the file at path are all in the page cache, so that reading them will
// not touch the disk. false when it cannot tell (an error, not a regular file, a platform without a
// cheap way to ask). Costs a few system calls and nothing is read.
bool cached_in_memory(const std::string& path, std::uint64_t size);

}  // namespace spadrim
