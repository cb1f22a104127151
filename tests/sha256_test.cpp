// SHA-256 of the platform (BCrypt under Wine, OpenSSL natively) against the FIPS 180-4 examples.
#include <gtest/gtest.h>

#include <string>

#include "dupes/sha256.h"

namespace spadrim {
namespace {

std::string hash_hex(const std::string& message, std::size_t chunk) {
    Sha256 hash;
    for (std::size_t i = 0; i < message.size(); i += chunk)
        hash.update(message.data() + i, std::min(chunk, message.size() - i));
    const std::optional<Digest> digest = hash.finish();
    return digest ? digest_hex(*digest) : "failed";
}

TEST(Sha256, KnownAnswersInAnyChunking) {
    EXPECT_EQ(hash_hex("", 1), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(hash_hex("abc", 1), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    const std::string two_blocks = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
    for (std::size_t chunk : {1, 7, 64, 1000}) {
        EXPECT_EQ(hash_hex(two_blocks, chunk),
                  "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    }
    EXPECT_EQ(hash_hex(std::string(1000000, 'a'), 65536),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(Sha256, ACopyContinuesFromTheSharedPrefix) {
    Sha256 first;
    first.update("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq", 28);
    Sha256 second;
    second.update("unrelated", 9);  // whatever it held is replaced
    first.copy_to(second);
    first.update("hijkijkljklmklmnlmnomnopnopq", 28);
    second.update("c", 1);
    EXPECT_EQ(digest_hex(*first.finish()),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(digest_hex(*second.finish()), hash_hex("abcdbcdecdefdefgefghfghighijc", 5));
}

}  // namespace
}  // namespace spadrim
