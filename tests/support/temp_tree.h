// A fresh folder per test under the system's temporary folder, removed when the test ends, with helpers
// to lay out folders and files of exact sizes. Paths are given as UTF-8 relative to the root, '/'-separated.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace spadrim::test {

std::filesystem::path fs_path(std::string_view utf8);
std::string utf8_of(const std::filesystem::path& path);

class TempTree {
  public:
    TempTree();
    TempTree(const TempTree&) = delete;
    TempTree& operator=(const TempTree&) = delete;
    ~TempTree();

    const std::filesystem::path& root() const { return root_; }
    std::string root_text() const { return utf8_of(root_); }

    // Creates the folder and any missing parents.
    std::filesystem::path folder(std::string_view relative) const;
    // Creates a file of exactly `size` written (not sparse) bytes, and its missing parent folders.
    std::filesystem::path file(std::string_view relative, std::uint64_t size) const;

  private:
    std::filesystem::path root_;
};

}  // namespace spadrim::test
