// SHA-256 through OpenSSL's EVP interface, which picks the CPU's SHA extensions when it has them.
#include <openssl/evp.h>

#include "dupes/sha256.h"

namespace spadrim {

struct Sha256State {
    EVP_MD_CTX* context = nullptr;
    bool ok = false;
};

Sha256::Sha256() : state_(new Sha256State) {
    state_->context = EVP_MD_CTX_new();
    state_->ok = state_->context && EVP_DigestInit_ex(state_->context, EVP_sha256(), nullptr) == 1;
}

Sha256::~Sha256() {
    EVP_MD_CTX_free(state_->context);
    delete state_;
}

void Sha256::update(const void* data, std::size_t size) {
    if (state_->ok && size) state_->ok = EVP_DigestUpdate(state_->context, data, size) == 1;
}

void Sha256::copy_to(Sha256& other) const {
    other.state_->ok = state_->ok && EVP_MD_CTX_copy_ex(other.state_->context, state_->context) == 1;
}

std::optional<Digest> Sha256::finish() {
    Digest digest{};
    unsigned length = 0;
    if (!state_->ok || EVP_DigestFinal_ex(state_->context, digest.data(), &length) != 1 ||
        length != digest.size()) {
        state_->ok = false;
        return std::nullopt;
    }
    state_->ok = false;
    return digest;
}

}  // namespace spadrim
