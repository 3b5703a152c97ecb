// The SHA-256 block transforms behind patcher::Sha256. Internal to the core; the tests use it to
// check each transform on its own.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(__x86_64__) || defined(__i386__)
#define GARUN2_SHA256_X86 1
#endif

namespace patcher::sha256_detail {

extern const std::uint32_t kRoundConstants[64];

// Both transforms take the eight state words and `count` consecutive 64-byte blocks.
void CompressPortable(std::uint32_t* state, const std::uint8_t* blocks, std::size_t count);

bool CpuHasShaExtensions();
#if defined(GARUN2_SHA256_X86)
void CompressShaExtensions(std::uint32_t* state, const std::uint8_t* blocks, std::size_t count);
#endif

}  // namespace patcher::sha256_detail
