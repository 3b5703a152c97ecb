#include "core/ed25519_scalar.h"

namespace patcher::ed25519_detail {
namespace {

// L in 32-bit little-endian words.
constexpr std::uint32_t kOrder[8] = {0x5cf5d3ed, 0x5812631a, 0xa2f79cd6, 0x14def9de,
                                     0x00000000, 0x00000000, 0x00000000, 0x10000000};

}  // namespace

bool ScalarIsBelowOrder(const std::uint8_t* scalar) {
    for (int word = 7; word >= 0; --word) {
        std::uint32_t value = 0;
        for (int b = 3; b >= 0; --b) value = (value << 8) | scalar[4 * word + b];
        if (value != kOrder[word]) return value < kOrder[word];
    }
    return false;  // equal to L
}

// Horner's rule in 16-bit steps, keeping the running remainder r below L: after r = r * 2^16 + w,
// the quotient estimate q = r >> 252 is below 2^17 and r - q*L lies in (-L, L), since
// L = 2^252 + c with c < 2^125. One addition of L fixes a negative result.
void ScalarReduce64(const std::uint8_t* wide, std::uint8_t* out) {
    std::uint32_t r[9] = {};
    for (int k = 62; k >= 0; k -= 2) {
        const std::uint32_t word = wide[k] | (std::uint32_t{wide[k + 1]} << 8);
        for (int i = 8; i > 0; --i) r[i] = (r[i] << 16) | (r[i - 1] >> 16);
        r[0] = (r[0] << 16) | word;

        const std::uint32_t q = (r[7] >> 28) | (r[8] << 4);
        std::int64_t carry = 0;
        for (int i = 0; i < 9; ++i) {
            const std::int64_t order_word = i < 8 ? kOrder[i] : 0;
            const std::int64_t v = std::int64_t{r[i]} - std::int64_t{q} * order_word + carry;
            r[i] = static_cast<std::uint32_t>(v);
            carry = v >> 32;
        }
        if (r[8] != 0) {  // negative: the top word holds only sign bits
            carry = 0;
            for (int i = 0; i < 9; ++i) {
                const std::int64_t order_word = i < 8 ? kOrder[i] : 0;
                const std::int64_t v = std::int64_t{r[i]} + order_word + carry;
                r[i] = static_cast<std::uint32_t>(v);
                carry = v >> 32;
            }
        }
    }
    for (int i = 0; i < 8; ++i) {
        for (int b = 0; b < 4; ++b) out[4 * i + b] = static_cast<std::uint8_t>(r[i] >> (8 * b));
    }
}

void ScalarToSlidingWindow(const std::uint8_t* scalar, int width, std::int8_t* digits) {
    const int limit = (1 << (width - 1)) - 1;
    for (int i = 0; i < 256; ++i)
        digits[i] = static_cast<std::int8_t>((scalar[i >> 3] >> (i & 7)) & 1);
    for (int i = 0; i < 256; ++i) {
        if (digits[i] == 0) continue;
        for (int b = 1; b <= width && i + b < 256; ++b) {
            if (digits[i + b] == 0) continue;
            const int shifted = digits[i + b] * (1 << b);
            if (digits[i] + shifted <= limit) {
                digits[i] = static_cast<std::int8_t>(digits[i] + shifted);
                digits[i + b] = 0;
            } else if (digits[i] - shifted >= -limit) {
                digits[i] = static_cast<std::int8_t>(digits[i] - shifted);
                // Subtracting moved a unit up: propagate it as a binary carry.
                for (int k = i + b; k < 256; ++k) {
                    if (digits[k] == 0) {
                        digits[k] = 1;
                        break;
                    }
                    digits[k] = 0;
                }
            } else {
                break;
            }
        }
    }
}

}  // namespace patcher::ed25519_detail
