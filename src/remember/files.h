// The file-system side of remembered scans (remember_posix.cpp, remember_win.cpp): what the portable rules
// in remember.cpp need of the folder. Paths are UTF-8 (on POSIX, bytes).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace spadrim {

// '\\' on Windows, '/' elsewhere: what joins the folder and a file's name.
extern const char SCANS_SEPARATOR;

struct FolderFile {
    std::string name;
    std::uint64_t bytes = 0;
};

// The plain files of a folder (not its folders), in no particular order; nothing when it cannot be
// listed (it does not exist, say).
std::optional<std::vector<FolderFile>> list_files(const std::string& folder);

// Creates the folder and any missing folders above it; true when it is there as a folder.
bool make_folders(const std::string& folder);

// A file's size, or nothing when it cannot be told.
std::optional<std::uint64_t> file_bytes(const std::string& path);

// Deletes a file; true when it is gone.
bool delete_file(const std::string& path);

}  // namespace spadrim
