#include "support/temp_tree.h"

#include <fstream>
#include <random>
#include <stdexcept>
#include <vector>

namespace spadrim::test {

std::filesystem::path fs_path(std::string_view utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string utf8_of(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

TempTree::TempTree() {
    std::random_device entropy;
    const auto base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        const auto candidate =
            base / ("spadrim-test-" + std::to_string(entropy()) + std::to_string(entropy()));
        if (std::filesystem::create_directory(candidate)) {
            root_ = std::filesystem::canonical(candidate);
            return;
        }
    }
    throw std::runtime_error("no unique temporary folder");
}

TempTree::~TempTree() {
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
}

std::filesystem::path TempTree::folder(std::string_view relative) const {
    const auto path = root_ / fs_path(relative);
    std::filesystem::create_directories(path);
    return path;
}

std::filesystem::path TempTree::file(std::string_view relative, std::uint64_t size) const {
    const auto path = root_ / fs_path(relative);
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    const std::vector<char> block(64 * 1024, 'x');
    for (std::uint64_t left = size; left > 0;) {
        const auto chunk = static_cast<std::streamsize>(std::min<std::uint64_t>(left, block.size()));
        out.write(block.data(), chunk);
        left -= static_cast<std::uint64_t>(chunk);
    }
    if (!out) throw std::runtime_error("cannot write " + utf8_of(path));
    return path;
}

}  // namespace spadrim::test
