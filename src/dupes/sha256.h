// SHA-256 from the platform: BCrypt on Windows (sha256_win.cpp), OpenSSL's libcrypto elsewhere
// (sha256_posix.cpp). One object hashes one message: update with its bytes in order, then finish.
// An object is used by one thread at a time; separate objects may be used on separate threads.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace spadrim {

using Digest = std::array<std::uint8_t, 32>;

struct Sha256State;  // the platform's hash object

class Sha256 {
  public:
    Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;
    ~Sha256();

    void update(const void* data, std::size_t size);
    // A second hash object that continues from this one's state: two messages that share a prefix
    // need it hashed once.
    void copy_to(Sha256& other) const;
    // The digest, or nothing when the platform failed at any step. The object is spent afterwards.
    std::optional<Digest> finish();

  private:
    Sha256State* state_;
};

// Lower-case hexadecimal, 64 characters.
std::string digest_hex(const Digest& digest);

}  // namespace spadrim
