#include "tests/core/test_ed25519_signer.h"

#include <string>

#include "core/ed25519_field16.h"
#include "core/ed25519_group.h"
#include "core/ed25519_scalar.h"
#include "core/sha512.h"

namespace patcher::test_support {
namespace {

using ed25519_detail::Field16;
using Curve = ed25519_detail::Curve<Field16>;
using Scalar = std::array<std::uint8_t, 32>;

// z^(p - 2) = z^(2^255 - 21): (z^(2^250 - 1))^(2^5) * z^11.
Field16::Element Invert(const Field16::Element& z) {
    Field16::Element z11;
    const Field16::Element t = Curve::Pow2to250Minus1(z, z11);
    return Field16::Mul(Curve::SquareTimes(t, 5), z11);
}

Scalar Encode(const Curve::Extended& p) {
    const Field16::Element z_inverse = Invert(p.Z);
    const Field16::Element x = Field16::Mul(p.X, z_inverse);
    const Field16::Element y = Field16::Mul(p.Y, z_inverse);
    Scalar out{};
    Field16::ToBytes(out.data(), y);
    if (Curve::IsNegative(x)) out[31] |= 0x80;
    return out;
}

// [s]B, for s below 2^255.
Scalar BaseTimes(const Scalar& s) {
    const Scalar zero{};
    return Encode(Curve::DoubleScalarMultiply(zero.data(), Curve::Identity(), s.data()));
}

Scalar Reduce(const Sha512Digest& wide) {
    Scalar out{};
    ed25519_detail::ScalarReduce64(wide.data(), out.data());
    return out;
}

// (r + k * a) mod L: the 512-bit sum is formed exactly, then reduced like a digest.
Scalar MulAdd(const Scalar& k, const Scalar& a, const Scalar& r) {
    std::uint64_t acc[64] = {};
    for (int i = 0; i < 32; ++i) {
        for (int j = 0; j < 32; ++j) acc[i + j] += std::uint64_t{k[i]} * a[j];
    }
    for (int i = 0; i < 32; ++i) acc[i] += r[i];
    std::array<std::uint8_t, 64> wide{};
    std::uint64_t carry = 0;
    for (int i = 0; i < 64; ++i) {
        const std::uint64_t v = acc[i] + carry;
        wide[i] = static_cast<std::uint8_t>(v);
        carry = v >> 8;
    }
    Scalar out{};
    ed25519_detail::ScalarReduce64(wide.data(), out.data());
    return out;
}

TestSigningKey SigningKeyFromSeed(const std::array<std::uint8_t, 32>& seed) {
    TestSigningKey key;
    Sha512 hasher;
    hasher.Update(seed.data(), seed.size());
    const Sha512Digest h = hasher.Finish();
    for (int i = 0; i < 32; ++i) {
        key.scalar[i] = h[i];
        key.prefix[i] = h[32 + i];
    }
    key.scalar[0] &= 248;
    key.scalar[31] &= 127;
    key.scalar[31] |= 64;
    key.public_key = BaseTimes(key.scalar);
    return key;
}

}  // namespace

TestSigningKey SigningKeyFor(std::string_view label) {
    Sha512 hasher;
    hasher.Update(label.data(), label.size());
    const Sha512Digest h = hasher.Finish();
    std::array<std::uint8_t, 32> seed{};
    for (int i = 0; i < 32; ++i) seed[i] = h[i];
    return SigningKeyFromSeed(seed);
}

std::string SignEd25519(const TestSigningKey& key, std::string_view message) {
    Sha512 nonce_hash;
    nonce_hash.Update(key.prefix.data(), key.prefix.size());
    nonce_hash.Update(message.data(), message.size());
    const Scalar r = Reduce(nonce_hash.Finish());
    const Scalar r_point = BaseTimes(r);

    Sha512 challenge_hash;
    challenge_hash.Update(r_point.data(), r_point.size());
    challenge_hash.Update(key.public_key.data(), key.public_key.size());
    challenge_hash.Update(message.data(), message.size());
    const Scalar k = Reduce(challenge_hash.Finish());
    const Scalar s = MulAdd(k, key.scalar, r);

    std::string signature(64, '\0');
    for (int i = 0; i < 32; ++i) {
        signature[i] = static_cast<char>(r_point[i]);
        signature[32 + i] = static_cast<char>(s[i]);
    }
    return signature;
}

std::string PublicKeyBase64(const Ed25519PublicKey& key) {
    static constexpr char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    std::uint32_t bits = 0;
    int pending = 0;
    for (std::uint8_t byte : key) {
        bits = (bits << 8) | byte;
        pending += 8;
        while (pending >= 6) {
            pending -= 6;
            text.push_back(kAlphabet[(bits >> pending) & 63]);
        }
    }
    text.push_back(kAlphabet[(bits << (6 - pending)) & 63]);  // 256 = 42 * 6 + 4
    text.push_back('=');
    return text;
}

std::string Unhex(std::string_view hex) {
    std::string bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes.push_back(static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
    }
    return bytes;
}

}  // namespace patcher::test_support
