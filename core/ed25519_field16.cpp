#include "core/ed25519_field16.h"

namespace patcher::ed25519_detail {
namespace {

// One carry pass over the limbs; the carry out of the top limb re-enters at the bottom times 38,
// because 2^256 = 38 (mod p).
void CarryPass(std::int64_t* o) {
    for (int i = 0; i < 16; ++i) {
        o[i] += std::int64_t{1} << 16;
        const std::int64_t c = o[i] >> 16;
        if (i < 15) {
            o[i + 1] += c - 1;
        } else {
            o[0] += 38 * (c - 1);
        }
        o[i] -= c * 65536;
    }
}

}  // namespace

Field16::Element Field16::FromBytes(const std::uint8_t* s) {
    Element r;
    for (int i = 0; i < 16; ++i) r.v[i] = s[2 * i] | (std::int32_t{s[2 * i + 1]} << 8);
    r.v[15] &= 0x7fff;
    return r;
}

void Field16::ToBytes(std::uint8_t* out, const Element& a) {
    std::int64_t t[16];
    for (int i = 0; i < 16; ++i) t[i] = a.v[i];
    CarryPass(t);
    CarryPass(t);
    CarryPass(t);
    // Two conditional subtractions of p bring any value below 2^256 under p.
    for (int round = 0; round < 2; ++round) {
        std::int64_t m[16];
        m[0] = t[0] - 0xffed;
        for (int i = 1; i < 15; ++i) {
            m[i] = t[i] - 0xffff - ((m[i - 1] >> 16) & 1);
            m[i - 1] &= 0xffff;
        }
        m[15] = t[15] - 0x7fff - ((m[14] >> 16) & 1);
        const bool borrowed = ((m[15] >> 16) & 1) != 0;
        m[14] &= 0xffff;
        if (!borrowed) {
            for (int i = 0; i < 16; ++i) t[i] = m[i];
        }
    }
    for (int i = 0; i < 16; ++i) {
        out[2 * i] = static_cast<std::uint8_t>(t[i] & 0xff);
        out[2 * i + 1] = static_cast<std::uint8_t>((t[i] >> 8) & 0xff);
    }
}

Field16::Element Field16::Mul(const Element& a, const Element& b) {
    std::int64_t t[31] = {};
    for (int i = 0; i < 16; ++i) {
        for (int j = 0; j < 16; ++j) t[i + j] += std::int64_t{a.v[i]} * b.v[j];
    }
    for (int i = 0; i < 15; ++i) t[i] += 38 * t[i + 16];
    CarryPass(t);
    CarryPass(t);
    Element r;
    for (int i = 0; i < 16; ++i) r.v[i] = static_cast<std::int32_t>(t[i]);
    return r;
}

}  // namespace patcher::ed25519_detail
