// The text form of keys, the root key text and `.sig` files. The detached check is the Validate
// tests': every document they sign passes it and every altered one is refused. The tests' own
// signer needs no test of its own: whatever it signs wrongly, the check refuses.
#include "core/signature.h"

#include <gtest/gtest.h>

#include <string>

#include "core/hex.h"
#include "tests/core/test_release_fixture.h"
#include "tests/core/test_status.h"

namespace patcher {
namespace {

using test_support::ExpectStatus;
using test_support::Unhex;

// RFC 8032 test 1: key d75a98..511a, empty message, and its signature.
constexpr char kKeyBase64[] = "11qYAYKxCrfVS/7TyWQHOg7hcvPapiMlrwIaaPcHURo=";
constexpr char kKeyHex[] = "d75a980182b10ab7d54bfed3c964073a0ee172f3daa62325af021a68f707511a";
constexpr char kSignatureHex[] =
    "e5564300c360ac729086e2cc806e828a84877f1eb8e5d974d873e065224901555fb8821590a33bacc61e39701cf9b4"
    "6bd25bf5f0595bbe24655141438e7a100b";

TEST(DecodeRawKeyBase64, AcceptsExactlyTheCanonicalForm) {
    Ed25519PublicKey key{};
    ASSERT_TRUE(DecodeRawKeyBase64(kKeyBase64, key));
    EXPECT_EQ(HexEncode(key), kKeyHex);

    // The two spare bits of the 43rd character are ignored: "o" (40) and "p" (41) differ only
    // there.
    const std::string good = kKeyBase64;
    const auto with = [&good](std::size_t at, char c) {
        return std::string(good).replace(at, 1, 1, c);
    };
    ASSERT_EQ(good[42], 'o');
    Ed25519PublicKey same{};
    ASSERT_TRUE(DecodeRawKeyBase64(with(42, 'p'), same));
    EXPECT_EQ(same, key);

    for (const std::string& bad : {with(10, '-'), with(5, '_'), with(20, ' '), good.substr(0, 43),
                                   good + "=", good.substr(0, 43) + "A", " " + good.substr(0, 43),
                                   good.substr(0, 42) + "==", std::string()}) {
        Ed25519PublicKey untouched = key;
        EXPECT_FALSE(DecodeRawKeyBase64(bad, untouched)) << bad;
        EXPECT_EQ(untouched, key) << "a refused text must not change the key";
    }
}

TEST(ParseRootKey, JoinsLinesAndDropsCommentsAndBlanks) {
    const std::string key = kKeyBase64;
    const std::string text = "# release root key\r\n\r\n  " + key.substr(0, 20) + " \r\n\t" +
                             key.substr(20) + "\r\n# end\r\n";
    const Result<Ed25519PublicKey> parsed = ParseRootKey(text);
    ASSERT_TRUE(parsed.ok()) << parsed.status().message;
    EXPECT_EQ(HexEncode(parsed.value()), kKeyHex);
}

TEST(ParseRootKey, Failures) {
    struct Case {
        std::string text;
        std::string message;
    };
    const std::string placeholder_message =
        "root public key is a PLACEHOLDER. The real key is installed by Tovrel after the root key "
        "ceremony (TASARIM 6.6); the agent never generates it. For tests pass a fixture key.";
    const Case cases[] = {
        {"", "root public key is empty"},
        {"ROOT-PUBLIC-KEY-PLACEHOLDER", placeholder_message},
        {"# comment\nROOT-PUBLIC-\nKEY-PLACEHOLDER\n", placeholder_message},
        {std::string(kKeyBase64).substr(0, 43),
         "root public key is not the base64 of a raw 32-byte ed25519 key"},
        {"11qYAYKxCrfVS/7TyWQHOg7hcvPapiMlrwIaaPcHURo= # trailing",
         "root public key is not the base64 of a raw 32-byte ed25519 key"},
    };
    for (const Case& c : cases) {
        ExpectStatus(ParseRootKey(c.text).status(), StatusCode::BadInput, c.message);
    }
}

TEST(LoadSignature, SizesAndRawBytes) {
    test_support::ScratchDir dir("signature");
    const std::string document = dir.Path("keys.txt");
    const std::string sig = document + ".sig";
    const std::pair<int, std::string> refused[] = {
        {0, sig + " is not a 64-byte ed25519 signature"},
        {63, sig + " is not 64 bytes (63) -- not an ed25519 signature"},
        {65, sig + " is not 64 bytes (65) -- not an ed25519 signature"},
    };
    for (const auto& [size, message] : refused) {
        dir.Write("keys.txt.sig", std::string(size, '\x07'));
        ExpectStatus(LoadSignature(document).status(), StatusCode::BadSignature, message);
    }

    // Raw bytes, with a CR LF and a zero inside, come back exactly as stored.
    std::string raw = Unhex(kSignatureHex);
    raw.replace(10, 3, std::string("\r\n\0", 3));
    dir.Write("keys.txt.sig", raw);
    const Result<std::string> loaded = LoadSignature(document);
    ASSERT_TRUE(loaded.ok()) << loaded.status().message;
    EXPECT_EQ(loaded.value(), raw);
}

}  // namespace
}  // namespace patcher
