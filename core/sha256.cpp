#include "core/sha256.h"

#include <algorithm>
#include <cstring>

#include "core/hex.h"
#include "core/sha256_blocks.h"

namespace patcher {
namespace sha256_detail {

const std::uint32_t kRoundConstants[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2,
};

namespace {

inline std::uint32_t Rotr(std::uint32_t x, int n) {
    return (x >> n) | (x << (32 - n));
}

inline std::uint32_t LoadBigEndian32(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
           std::uint32_t{p[3]};
}

}  // namespace

void CompressPortable(std::uint32_t* state, const std::uint8_t* blocks, std::size_t count) {
    for (; count > 0; --count, blocks += 64) {
        std::uint32_t w[64];
        for (int t = 0; t < 16; ++t) w[t] = LoadBigEndian32(blocks + 4 * t);
        for (int t = 16; t < 64; ++t) {
            const std::uint32_t s0 = Rotr(w[t - 15], 7) ^ Rotr(w[t - 15], 18) ^ (w[t - 15] >> 3);
            const std::uint32_t s1 = Rotr(w[t - 2], 17) ^ Rotr(w[t - 2], 19) ^ (w[t - 2] >> 10);
            w[t] = w[t - 16] + s0 + w[t - 7] + s1;
        }
        std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
        std::uint32_t e = state[4], f = state[5], g = state[6], h = state[7];
        for (int t = 0; t < 64; ++t) {
            const std::uint32_t s1 = Rotr(e, 6) ^ Rotr(e, 11) ^ Rotr(e, 25);
            const std::uint32_t ch = (e & f) ^ (~e & g);
            const std::uint32_t t1 = h + s1 + ch + kRoundConstants[t] + w[t];
            const std::uint32_t s0 = Rotr(a, 2) ^ Rotr(a, 13) ^ Rotr(a, 22);
            const std::uint32_t maj = (a & b) ^ (a & c) ^ (b & c);
            h = g;
            g = f;
            f = e;
            e = d + t1;
            d = c;
            c = b;
            b = a;
            a = t1 + s0 + maj;
        }
        state[0] += a;
        state[1] += b;
        state[2] += c;
        state[3] += d;
        state[4] += e;
        state[5] += f;
        state[6] += g;
        state[7] += h;
    }
}

}  // namespace sha256_detail

bool Sha256ShaExtensionsAvailable() {
    static const bool available = sha256_detail::CpuHasShaExtensions();
    return available;
}

Sha256::Sha256(Sha256Engine engine) {
    const bool accelerated = engine != Sha256Engine::Portable && Sha256ShaExtensionsAvailable();
    engine_ = accelerated ? Sha256Engine::ShaExtensions : Sha256Engine::Portable;
    Reset();
}

void Sha256::Reset() {
    state_ = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
              0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    buffered_ = 0;
    total_bytes_ = 0;
}

void Sha256::Compress(const std::uint8_t* blocks, std::size_t count) {
#if defined(GARUN2_SHA256_X86)
    if (engine_ == Sha256Engine::ShaExtensions) {
        sha256_detail::CompressShaExtensions(state_.data(), blocks, count);
        return;
    }
#endif
    sha256_detail::CompressPortable(state_.data(), blocks, count);
}

void Sha256::Update(const void* data, std::size_t size) {
    if (size == 0) return;
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    total_bytes_ += size;
    if (buffered_ > 0) {
        const std::size_t take = std::min(size, buffer_.size() - buffered_);
        std::memcpy(buffer_.data() + buffered_, bytes, take);
        buffered_ += take;
        bytes += take;
        size -= take;
        if (buffered_ < buffer_.size()) return;
        Compress(buffer_.data(), 1);
        buffered_ = 0;
    }
    // Whole blocks go to the transform straight from the caller's memory.
    const std::size_t whole = size / 64;
    if (whole > 0) Compress(bytes, whole);
    bytes += whole * 64;
    size -= whole * 64;
    std::memcpy(buffer_.data(), bytes, size);
    buffered_ = size;
}

Sha256Digest Sha256::Finish() {
    const std::uint64_t bit_length = total_bytes_ * 8;
    buffer_[buffered_++] = 0x80;
    if (buffered_ > 56) {
        std::memset(buffer_.data() + buffered_, 0, buffer_.size() - buffered_);
        Compress(buffer_.data(), 1);
        buffered_ = 0;
    }
    std::memset(buffer_.data() + buffered_, 0, 56 - buffered_);
    for (int i = 0; i < 8; ++i)
        buffer_[56 + i] = static_cast<std::uint8_t>(bit_length >> (56 - 8 * i));
    Compress(buffer_.data(), 1);

    Sha256Digest digest;
    for (int i = 0; i < 8; ++i) {
        for (int j = 0; j < 4; ++j)
            digest[4 * i + j] = static_cast<std::uint8_t>(state_[i] >> (24 - 8 * j));
    }
    Reset();
    return digest;
}

Sha256Digest Sha256Of(std::string_view bytes) {
    Sha256 hasher;
    hasher.Update(bytes);
    return hasher.Finish();
}

std::string Sha256Hex(std::string_view bytes) {
    return HexEncode(Sha256Of(bytes));
}

}  // namespace patcher
