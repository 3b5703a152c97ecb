// SHA-512 (FIPS 180-4), the hash inside Ed25519 signature checks.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace patcher {

using Sha512Digest = std::array<std::uint8_t, 64>;

class Sha512 {
  public:
    Sha512() { Reset(); }

    void Update(const void* data, std::size_t size);
    // Pads, returns the digest and starts over.
    Sha512Digest Finish();

  private:
    void Reset();
    void Compress(const std::uint8_t* block);

    std::array<std::uint64_t, 8> state_{};
    std::array<std::uint8_t, 128> buffer_{};
    std::size_t buffered_ = 0;
    std::uint64_t total_bytes_ = 0;  // 2^64 bytes is beyond any input this program sees
};

}  // namespace patcher
