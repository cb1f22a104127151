// Platform-independent helpers of sha256.h.
#include "dupes/sha256.h"

namespace spadrim {

std::string digest_hex(const Digest& digest) {
    static constexpr char HEX[] = "0123456789abcdef";
    std::string text;
    text.reserve(64);
    for (const std::uint8_t byte : digest) {
        text += HEX[byte >> 4];
        text += HEX[byte & 15];
    }
    return text;
}

}  // namespace spadrim
