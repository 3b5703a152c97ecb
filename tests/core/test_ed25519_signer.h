// A test-only Ed25519 signer (RFC 8032), so that the tests build and sign their own key
// registries and manifests per case, natively and under Wine alike. It reuses the verifier's
// curve arithmetic and is neither constant-time nor meant for secret keys: the shipped program
// never signs.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/ed25519.h"

namespace patcher::test_support {

struct TestSigningKey {
    std::array<std::uint8_t, 32> scalar{};  // clamped, from the first half of SHA-512(seed)
    std::array<std::uint8_t, 32> prefix{};  // second half of SHA-512(seed)
    Ed25519PublicKey public_key{};
};

// A deterministic key per label, so failures are reproducible.
TestSigningKey SigningKeyFor(std::string_view label);

// The 64-byte signature (R then S) of the message.
std::string SignEd25519(const TestSigningKey& key, std::string_view message);

// The 44-character text form used in the registry and for the root key.
std::string PublicKeyBase64(const Ed25519PublicKey& key);

// The bytes of a hex text; an odd last digit (or "-") is ignored.
std::string Unhex(std::string_view hex);

}  // namespace patcher::test_support
