// SHA-512, the hash inside the signature check: every length around the 112-byte padding boundary
// (the empty input and the short FIPS 180-4 examples' lengths among them), in one piece and byte by
// byte, and the FIPS million-byte example, whose bit count takes a third byte.
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

TEST(Sha512, FipsMillionBytes) {
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
