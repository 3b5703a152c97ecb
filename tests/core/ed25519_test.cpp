// The Ed25519 check against tests/data/crypto/ed25519_vectors.txt, which make_ed25519_vectors.py
// beside it builds from the acceptance rules with plain integer arithmetic and documents: the RFC
// 8032 vectors, S from L - 1 up to 2^256 - 1, every torsion point as A and R under every encoding,
// mixed-order and off-curve points, another key and altered messages. Every case runs through both
// field implementations, so the portable one that the 32-bit build uses is tested here too.
#include "core/ed25519.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "core/ed25519_field16.h"
#include "core/ed25519_field51.h"
#include "core/hex.h"
#include "tests/core/test_ed25519_signer.h"

namespace patcher {
namespace {

using test_support::Unhex;

struct Vector {
    std::string name;
    bool accept = false;
    Ed25519PublicKey key{};
    std::string message;
    std::string signature;
};

std::vector<Vector> LoadVectors() {
    std::ifstream in(std::string(GARUN2_TEST_DATA_DIR) + "/crypto/ed25519_vectors.txt");
    std::vector<Vector> vectors;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        std::string verdict, key, message, signature;
        Vector v;
        fields >> v.name >> verdict >> key >> message >> signature;
        v.accept = verdict == "accept";
        const std::string key_bytes = Unhex(key);
        std::copy_n(key_bytes.begin(), std::min(key_bytes.size(), v.key.size()), v.key.begin());
        v.message = Unhex(message);
        v.signature = Unhex(signature);
        vectors.push_back(v);
    }
    return vectors;
}

const Vector& Find(const std::vector<Vector>& vectors, const std::string& name) {
    for (const Vector& v : vectors) {
        if (v.name == name) return v;
    }
    static const Vector none;
    ADD_FAILURE() << "no vector " << name;
    return none;
}

using VerifyFunction = bool (*)(const Ed25519PublicKey&, std::string_view, std::string_view);

std::vector<std::pair<const char*, VerifyFunction>> Verifiers() {
    std::vector<std::pair<const char*, VerifyFunction>> verifiers = {
        {"VerifyEd25519", &VerifyEd25519},
        {"portable field", &ed25519_detail::VerifyWithPortableField},
    };
    if (ed25519_detail::WideFieldAvailable()) {
        verifiers.push_back({"wide field", &ed25519_detail::VerifyWithWideField});
    }
    return verifiers;
}

TEST(Ed25519, VectorFileVerdicts) {
    const std::vector<Vector> vectors = LoadVectors();
    ASSERT_GE(vectors.size(), 320u) << "vector file missing or short";
    int accepted = 0;
    for (const auto& [label, verify] : Verifiers()) {
        for (const Vector& v : vectors) {
            EXPECT_EQ(verify(v.key, v.message, v.signature), v.accept) << label << ": " << v.name;
            accepted += v.accept ? 1 : 0;
        }
    }
    EXPECT_GT(accepted, 0);
}

TEST(Ed25519, EverySingleBitFlipAndEveryOtherLengthIsRefused) {
    const std::vector<Vector> vectors = LoadVectors();
    for (const char* name : {"rfc8032-test2", "spread-7"}) {
        const Vector& v = Find(vectors, name);
        for (const auto& [label, verify] : Verifiers()) {
            ASSERT_TRUE(verify(v.key, v.message, v.signature)) << label << ": " << name;
            for (const std::string& cut :
                 {std::string(), v.signature.substr(0, 63), v.signature + std::string(1, '\0')}) {
                EXPECT_FALSE(verify(v.key, v.message, cut)) << label << ": " << cut.size();
            }
            for (int bit = 0; bit < 512; ++bit) {
                std::string flipped = v.signature;
                flipped[bit / 8] = static_cast<char>(flipped[bit / 8] ^ (1 << (bit % 8)));
                EXPECT_FALSE(verify(v.key, v.message, flipped))
                    << label << ": " << name << " bit " << bit;
            }
        }
    }
}

#if defined(GARUN2_HAVE_FIELD51)
// The two field implementations must compute the same residues, including for inputs of p and
// above and for the unreduced limbs that chains of additions and subtractions leave behind.
TEST(Ed25519Field, PortableAndWideAgree) {
    using ed25519_detail::Field16;
    using ed25519_detail::Field51;
    const unsigned seed = std::random_device{}();
    std::printf("seed %u\n", seed);
    std::mt19937 random(seed);

    auto random_bytes = [&](std::uint8_t* out) {
        for (int i = 0; i < 32; ++i) out[i] = static_cast<std::uint8_t>(random());
        switch (random() % 4) {
            case 0:  // p + small: an unreduced value
                for (int i = 1; i < 31; ++i) out[i] = 0xff;
                out[0] = static_cast<std::uint8_t>(0xed + random() % 19);
                out[31] = 0x7f;
                break;
            case 1:  // all ones
                for (int i = 0; i < 32; ++i) out[i] = 0xff;
                break;
            default:
                break;
        }
    };
    auto same = [](const Field16::Element& a, const Field51::Element& b) {
        std::uint8_t x[32], y[32];
        Field16::ToBytes(x, a);
        Field51::ToBytes(y, b);
        return HexEncode(x) == HexEncode(y);
    };

    SCOPED_TRACE(seed);
    for (int round = 0; round < 2000; ++round) {
        SCOPED_TRACE(round);
        std::uint8_t a_bytes[32], b_bytes[32];
        random_bytes(a_bytes);
        random_bytes(b_bytes);
        const auto a16 = Field16::FromBytes(a_bytes), b16 = Field16::FromBytes(b_bytes);
        const auto a51 = Field51::FromBytes(a_bytes), b51 = Field51::FromBytes(b_bytes);
        ASSERT_TRUE(same(a16, a51));
        ASSERT_TRUE(same(Field16::Mul(a16, b16), Field51::Mul(a51, b51)));
        ASSERT_TRUE(same(Field16::Sq(a16), Field51::Sq(a51)));
        ASSERT_TRUE(same(Field16::Sub(a16, b16), Field51::Sub(a51, b51)));
        ASSERT_TRUE(same(Field16::Neg(a16), Field51::Neg(a51)));
        // The deepest chain the group formulas use: a sum of sums into a subtraction and a product.
        const auto s16 = Field16::Add(Field16::Add(a16, b16), Field16::Add(a16, a16));
        const auto s51 = Field51::Add(Field51::Add(a51, b51), Field51::Add(a51, a51));
        ASSERT_TRUE(same(Field16::Mul(Field16::Sub(s16, b16), s16),
                         Field51::Mul(Field51::Sub(s51, b51), s51)));
    }

    // p itself encodes as zero in both.
    std::uint8_t p_bytes[32];
    for (auto& b : p_bytes) b = 0xff;
    p_bytes[0] = 0xed;
    p_bytes[31] = 0x7f;
    std::uint8_t out[32];
    Field16::ToBytes(out, Field16::FromBytes(p_bytes));
    EXPECT_EQ(HexEncode(out), std::string(64, '0'));
    Field51::ToBytes(out, Field51::FromBytes(p_bytes));
    EXPECT_EQ(HexEncode(out), std::string(64, '0'));
}
#endif

}  // namespace
}  // namespace patcher
