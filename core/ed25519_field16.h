// Arithmetic modulo p = 2^255 - 19 in sixteen 16-bit limbs held in 32-bit words, with 64-bit
// products: the portable field of the Ed25519 check, used where the compiler has no 128-bit
// integer (the 32-bit build). Slower than Field51 but needs nothing beyond standard C++.
//
// Limbs are signed; Add and Sub do not carry, Mul and Sq return limbs near [0, 2^16). The group
// formulas never chain more than a few additions, so products stay far below 2^63.
#pragma once

#include <cstdint>

namespace patcher::ed25519_detail {

struct Field16 {
    struct Element {
        std::int32_t v[16];
    };

    static Element Zero() { return Element{}; }
    static Element One() {
        Element r{};
        r.v[0] = 1;
        return r;
    }

    static Element FromBytes(const std::uint8_t* s);
    static void ToBytes(std::uint8_t* out, const Element& a);

    static Element Add(const Element& a, const Element& b) {
        Element r;
        for (int i = 0; i < 16; ++i) r.v[i] = a.v[i] + b.v[i];
        return r;
    }
    static Element Sub(const Element& a, const Element& b) {
        Element r;
        for (int i = 0; i < 16; ++i) r.v[i] = a.v[i] - b.v[i];
        return r;
    }
    static Element Neg(const Element& a) { return Sub(Zero(), a); }

    static Element Mul(const Element& a, const Element& b);
    static Element Sq(const Element& a) { return Mul(a, a); }
};

}  // namespace patcher::ed25519_detail
