// Scalars of the Ed25519 check: integers modulo the group order
// L = 2^252 + 27742317777372353535851937790883648493, as 32 little-endian bytes.
#pragma once

#include <cstdint>

namespace patcher::ed25519_detail {

// True when the 32 little-endian bytes are below L.
bool ScalarIsBelowOrder(const std::uint8_t* scalar);

// The 64 little-endian bytes (a SHA-512 digest) modulo L, as 32 bytes.
void ScalarReduce64(const std::uint8_t* wide, std::uint8_t* out);

// Signed sliding-window digits of a scalar below 2^255, least significant first: every non-zero
// digit is odd and at most 2^(width-1) - 1 in magnitude, and non-zero digits are at least `width`
// positions apart, so a table of the odd multiples 1P..(2^(width-1) - 1)P covers every addition.
void ScalarToSlidingWindow(const std::uint8_t* scalar, int width, std::int8_t* digits /*[256]*/);

}  // namespace patcher::ed25519_detail
