// Reading files for the duplicate finder, per platform (file_io_win.cpp, file_io_posix.cpp): open for
// reading while others may still write or delete, tell which physical file a path reaches, read and seek,
// and ask whether a volume pays a seek penalty (a rotating disk). Any thread; one file per thread.
#pragma once

#include <compare>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace spadrim {

// Names the physical file behind a path: hard links to one file share it.
struct FileId {
    std::uint64_t volume;  // volume serial number / device
    std::uint64_t index;   // file index / inode
    auto operator<=>(const FileId&) const = default;
};

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

}  // namespace spadrim
