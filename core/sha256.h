// SHA-256 (FIPS 180-4), the system's own: document digests and the disk content check. Where the
// CPU has the x86 SHA extensions the block transform runs on them; the plain C++ transform is the
// fallback everywhere else and gives the same digests.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace patcher {

using Sha256Digest = std::array<std::uint8_t, 32>;

// Auto picks the SHA extensions when the CPU has them. Asking for ShaExtensions on a CPU without
// them gives Portable; engine() tells which one a hasher really runs.
enum class Sha256Engine { Auto, Portable, ShaExtensions };

bool Sha256ShaExtensionsAvailable();

class Sha256 {
  public:
    explicit Sha256(Sha256Engine engine = Sha256Engine::Auto);

    void Update(const void* data, std::size_t size);
    void Update(std::string_view bytes) { Update(bytes.data(), bytes.size()); }
    // Pads, returns the digest and starts over, so one object can hash several inputs.
    Sha256Digest Finish();

    Sha256Engine engine() const { return engine_; }

  private:
    void Reset();
    void Compress(const std::uint8_t* blocks, std::size_t count);

    Sha256Engine engine_;
    std::array<std::uint32_t, 8> state_{};
    std::array<std::uint8_t, 64> buffer_{};
    std::size_t buffered_ = 0;
    std::uint64_t total_bytes_ = 0;
};

Sha256Digest Sha256Of(std::string_view bytes);
std::string Sha256Hex(std::string_view bytes);

}  // namespace patcher
