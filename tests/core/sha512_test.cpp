// SHA-512, the hash inside the signature check: the FIPS 180-4 examples, the empty input included,
// and lengths around the 112-byte padding boundary fed in one piece and byte by byte.
#include "core/sha512.h"

#include <gtest/gtest.h>

#include <string>

#include "core/hex.h"
#include "core/sha256.h"

namespace patcher {
namespace {

std::string Sha512Hex(const std::string& message) {
    Sha512 hasher;
    hasher.Update(message.data(), message.size());
    return HexEncode(hasher.Finish());
}

TEST(Sha512, FipsExamples) {
    EXPECT_EQ(Sha512Hex(""),
              "cf83e1357eefb8bdf1542850d66d8007d620e4050b5715dc83f4a921d36ce9ce47d0d13c5d85f2b0ff"
              "8318d2877eec2f63b931bd47417a81a538327af927da3e");
    EXPECT_EQ(Sha512Hex("abc"),
              "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a2192992a274fc1a836"
              "ba3c23a3feebbd454d4423643ce80e2a9ac94fa54ca49f");
    EXPECT_EQ(
        Sha512Hex("abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjkl"
                  "mnopqklmnopqrlmnopqrsmnopqrstnopqrstu"),
        "8e959b75dae313da8cf4f72814fc143f8f7779c6eb9f7fa17299aeadb6889018501d289e4900f7e433"
        "1b99dec4b5433ac7d329eeb6dd26545e96e55b874be909");
    EXPECT_EQ(Sha512Hex(std::string(1000000, 'a')),
              "e718483d0ce769644e2e42c7bc15b4638e1f98b13b2044285632a803afa973ebde0ff244877ea60a4c"
              "b0432ce577c31beb009c5c2c49aa2e4eadb217ad8cc09b");
}

// The expected value is SHA-256 over the 261 digests as Python's hashlib computes them.
TEST(Sha512, PiecesAndPaddingBoundariesAgree) {
    std::string message;
    Sha256 all_digests(Sha256Engine::Portable);
    for (int length = 0; length <= 260; ++length) {
        Sha512 bytewise;
        for (char c : message) bytewise.Update(&c, 1);
        const Sha512Digest digest = bytewise.Finish();
        EXPECT_EQ(HexEncode(digest), Sha512Hex(message)) << length;
        all_digests.Update(digest.data(), digest.size());
        message.push_back(static_cast<char>(length * 13 + 5));
    }
    EXPECT_EQ(HexEncode(all_digests.Finish()),
              "d5cecc0bd42a62c58d0c60babed2607196c790ffdf1413a9e05abf365c897483");
}

}  // namespace
}  // namespace patcher
