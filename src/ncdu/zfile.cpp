// The portable half of zfile.h.
#include <climits>

#include "ncdu/zfile.h"

namespace spadrim {

std::optional<std::size_t> read_bytes(const ZFile& file, std::span<char> into) {
    const int got =
        gzread(file.get(), into.data(), static_cast<unsigned>(std::min<std::size_t>(into.size(), INT_MAX)));
    if (got < 0) return std::nullopt;
    // zlib reads a damaged or cut gzip stream up to the damage and then reports the end; the error
    // tells them apart.
    int code = Z_OK;
    gzerror(file.get(), &code);
    if (got == 0 && code != Z_OK && code != Z_STREAM_END) return std::nullopt;
    return static_cast<std::size_t>(got);
}

bool write_bytes(const ZFile& file, std::string_view bytes) {
    while (!bytes.empty()) {
        const auto piece = static_cast<unsigned>(std::min<std::size_t>(bytes.size(), 1u << 30));
        if (gzwrite(file.get(), bytes.data(), piece) != static_cast<int>(piece)) return false;
        bytes.remove_prefix(piece);
    }
    return true;
}

bool close(ZFile& file) {
    return gzclose(file.release()) == Z_OK;
}

}  // namespace spadrim
