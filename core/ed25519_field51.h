// Arithmetic modulo p = 2^255 - 19 in five 51-bit limbs with 128-bit products: the fast field of
// the Ed25519 check, for compilers that have unsigned __int128 (the 64-bit builds).
//
// Limb bounds the group formulas rely on: Mul and Sq take limbs below 2^60 and return limbs below
// 2^51 + 2^32; Add does not carry; Sub accepts a subtrahend with limbs below 2^54 and carries.
#pragma once

#if defined(__SIZEOF_INT128__)
#define GARUN2_HAVE_FIELD51 1

#include <cstdint>

namespace patcher::ed25519_detail {

struct Field51 {
    struct Element {
        std::uint64_t v[5];
    };
    using Wide = unsigned __int128;
    static constexpr std::uint64_t kMask = (std::uint64_t{1} << 51) - 1;

    static Element Zero() { return {{0, 0, 0, 0, 0}}; }
    static Element One() { return {{1, 0, 0, 0, 0}}; }

    static std::uint64_t Load64(const std::uint8_t* p) {
        std::uint64_t value = 0;
        for (int i = 7; i >= 0; --i) value = (value << 8) | p[i];
        return value;
    }

    // The top bit is the caller's (a sign); a value of p or more is taken modulo p by the
    // arithmetic.
    static Element FromBytes(const std::uint8_t* s) {
        return {{Load64(s) & kMask, (Load64(s + 6) >> 3) & kMask, (Load64(s + 12) >> 6) & kMask,
                 (Load64(s + 19) >> 1) & kMask, (Load64(s + 24) >> 12) & kMask}};
    }

    // The canonical encoding: fully reduced below p.
    static void ToBytes(std::uint8_t* out, const Element& a) {
        std::uint64_t t[5] = {a.v[0], a.v[1], a.v[2], a.v[3], a.v[4]};
        for (int i = 0; i < 4; ++i) {
            t[i + 1] += t[i] >> 51;
            t[i] &= kMask;
        }
        t[0] += 19 * (t[4] >> 51);
        t[4] &= kMask;
        t[1] += t[0] >> 51;
        t[0] &= kMask;
        // Now the value is below 2p; q = 1 exactly when it is p or more.
        std::uint64_t q = (t[0] + 19) >> 51;
        for (int i = 1; i < 5; ++i) q = (t[i] + q) >> 51;
        t[0] += 19 * q;
        for (int i = 0; i < 4; ++i) {
            t[i + 1] += t[i] >> 51;
            t[i] &= kMask;
        }
        t[4] &= kMask;
        const std::uint64_t words[4] = {t[0] | (t[1] << 51), (t[1] >> 13) | (t[2] << 38),
                                        (t[2] >> 26) | (t[3] << 25), (t[3] >> 39) | (t[4] << 12)};
        for (int w = 0; w < 4; ++w) {
            for (int b = 0; b < 8; ++b)
                out[8 * w + b] = static_cast<std::uint8_t>(words[w] >> (8 * b));
        }
    }

    static Element Add(const Element& a, const Element& b) {
        return {
            {a.v[0] + b.v[0], a.v[1] + b.v[1], a.v[2] + b.v[2], a.v[3] + b.v[3], a.v[4] + b.v[4]}};
    }

    // a + 8p - b keeps every limb positive; the carry brings the limbs back near 51 bits.
    static Element Sub(const Element& a, const Element& b) {
        constexpr std::uint64_t kLow = (std::uint64_t{1} << 54) - 152;
        constexpr std::uint64_t kHigh = (std::uint64_t{1} << 54) - 8;
        Element r = {{a.v[0] + kLow - b.v[0], a.v[1] + kHigh - b.v[1], a.v[2] + kHigh - b.v[2],
                      a.v[3] + kHigh - b.v[3], a.v[4] + kHigh - b.v[4]}};
        Carry(r);
        return r;
    }

    static Element Neg(const Element& a) { return Sub(Zero(), a); }

    static void Carry(Element& r) {
        for (int i = 0; i < 4; ++i) {
            r.v[i + 1] += r.v[i] >> 51;
            r.v[i] &= kMask;
        }
        r.v[0] += 19 * (r.v[4] >> 51);
        r.v[4] &= kMask;
    }

    static Element Reduce(Wide t0, Wide t1, Wide t2, Wide t3, Wide t4) {
        t1 += t0 >> 51;
        t2 += t1 >> 51;
        t3 += t2 >> 51;
        t4 += t3 >> 51;
        const Wide folded = (static_cast<std::uint64_t>(t0) & kMask) + (t4 >> 51) * 19;
        Element r = {
            {static_cast<std::uint64_t>(folded) & kMask,
             (static_cast<std::uint64_t>(t1) & kMask) + static_cast<std::uint64_t>(folded >> 51),
             static_cast<std::uint64_t>(t2) & kMask, static_cast<std::uint64_t>(t3) & kMask,
             static_cast<std::uint64_t>(t4) & kMask}};
        return r;
    }

    static Element Mul(const Element& a, const Element& b) {
        const std::uint64_t a0 = a.v[0], a1 = a.v[1], a2 = a.v[2], a3 = a.v[3], a4 = a.v[4];
        const std::uint64_t b0 = b.v[0], b1 = b.v[1], b2 = b.v[2], b3 = b.v[3], b4 = b.v[4];
        const std::uint64_t b1_19 = 19 * b1, b2_19 = 19 * b2, b3_19 = 19 * b3, b4_19 = 19 * b4;
        const Wide t0 = Wide{a0} * b0 + Wide{a1} * b4_19 + Wide{a2} * b3_19 + Wide{a3} * b2_19 +
                        Wide{a4} * b1_19;
        const Wide t1 =
            Wide{a0} * b1 + Wide{a1} * b0 + Wide{a2} * b4_19 + Wide{a3} * b3_19 + Wide{a4} * b2_19;
        const Wide t2 =
            Wide{a0} * b2 + Wide{a1} * b1 + Wide{a2} * b0 + Wide{a3} * b4_19 + Wide{a4} * b3_19;
        const Wide t3 =
            Wide{a0} * b3 + Wide{a1} * b2 + Wide{a2} * b1 + Wide{a3} * b0 + Wide{a4} * b4_19;
        const Wide t4 =
            Wide{a0} * b4 + Wide{a1} * b3 + Wide{a2} * b2 + Wide{a3} * b1 + Wide{a4} * b0;
        return Reduce(t0, t1, t2, t3, t4);
    }

    static Element Sq(const Element& a) {
        const std::uint64_t a0 = a.v[0], a1 = a.v[1], a2 = a.v[2], a3 = a.v[3], a4 = a.v[4];
        const std::uint64_t d0 = 2 * a0, d1 = 2 * a1, d2 = 2 * a2, d3 = 2 * a3;
        const std::uint64_t a3_19 = 19 * a3, a4_19 = 19 * a4;
        const Wide t0 = Wide{a0} * a0 + Wide{d1} * a4_19 + Wide{d2} * a3_19;
        const Wide t1 = Wide{d0} * a1 + Wide{d2} * a4_19 + Wide{a3} * a3_19;
        const Wide t2 = Wide{d0} * a2 + Wide{a1} * a1 + Wide{d3} * a4_19;
        const Wide t3 = Wide{d0} * a3 + Wide{d1} * a2 + Wide{a4} * a4_19;
        const Wide t4 = Wide{d0} * a4 + Wide{d1} * a3 + Wide{a2} * a2;
        return Reduce(t0, t1, t2, t3, t4);
    }
};

}  // namespace patcher::ed25519_detail

#endif
