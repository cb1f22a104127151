// SHA-256 through Windows' CNG (BCrypt). The algorithm provider is opened once per process and shared;
// each Sha256 owns one hash object.
#include <windows.h>

#include <bcrypt.h>

#include "dupes/sha256.h"

namespace spadrim {
namespace {

BCRYPT_ALG_HANDLE sha256_provider() {
    // Opened once, on first use, by whichever thread gets there first; never closed before exit.
    static const BCRYPT_ALG_HANDLE provider = [] {
        BCRYPT_ALG_HANDLE handle = nullptr;
        if (BCryptOpenAlgorithmProvider(&handle, BCRYPT_SHA256_ALGORITHM, nullptr, 0) < 0)
            return BCRYPT_ALG_HANDLE{};
        return handle;
    }();
    return provider;
}

}  // namespace

struct Sha256State {
    BCRYPT_HASH_HANDLE hash = nullptr;
    bool ok = false;
};

Sha256::Sha256() : state_(new Sha256State) {
    const BCRYPT_ALG_HANDLE provider = sha256_provider();
    state_->ok = provider && BCryptCreateHash(provider, &state_->hash, nullptr, 0, nullptr, 0, 0) >= 0;
}

Sha256::~Sha256() {
    if (state_->hash) BCryptDestroyHash(state_->hash);
    delete state_;
}

void Sha256::update(const void* data, std::size_t size) {
    // BCryptHashData takes at most 4 GiB - 1 at a time.
    const auto* bytes = static_cast<const unsigned char*>(data);
    while (state_->ok && size) {
        const ULONG chunk = size > 0x40000000 ? 0x40000000 : static_cast<ULONG>(size);
        state_->ok = BCryptHashData(state_->hash, const_cast<PUCHAR>(bytes), chunk, 0) >= 0;
        bytes += chunk;
        size -= chunk;
    }
}

void Sha256::copy_to(Sha256& other) const {
    if (other.state_->hash) BCryptDestroyHash(other.state_->hash);
    other.state_->hash = nullptr;
    other.state_->ok =
        state_->ok && BCryptDuplicateHash(state_->hash, &other.state_->hash, nullptr, 0, 0) >= 0;
}

std::optional<Digest> Sha256::finish() {
    Digest digest{};
    const bool ok = state_->ok &&
                    BCryptFinishHash(state_->hash, digest.data(), static_cast<ULONG>(digest.size()), 0) >= 0;
    state_->ok = false;
    if (!ok) return std::nullopt;
    return digest;
}

}  // namespace spadrim
