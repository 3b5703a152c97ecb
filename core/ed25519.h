// Ed25519 signature verification (RFC 8032, pure Ed25519) with the acceptance rules the release
// chain is built on: S must be below the group order, A and R must decode to curve points (an
// unreduced y, x = 0 with the sign bit set and small-order points are all accepted), and the check
// is cofactored: [8]([S]B - R - [h]A) = identity with h = SHA-512(R || A || message) mod L.
// Signers and other verifiers differ on exactly these points, so they are fixed here on purpose.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace patcher {

using Ed25519PublicKey = std::array<std::uint8_t, 32>;

// `signature` must be exactly 64 bytes (R then S); any other length is refused.
bool VerifyEd25519(const Ed25519PublicKey& public_key, std::string_view message,
                   std::string_view signature);

namespace ed25519_detail {

// The same check on a named field implementation, so that both are tested on every machine.
// VerifyEd25519 uses the wide one where the compiler has 128-bit integers.
bool VerifyWithPortableField(const Ed25519PublicKey& public_key, std::string_view message,
                             std::string_view signature);
bool WideFieldAvailable();
bool VerifyWithWideField(const Ed25519PublicKey& public_key, std::string_view message,
                         std::string_view signature);

}  // namespace ed25519_detail
}  // namespace patcher
