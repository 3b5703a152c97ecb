// Content-defined chunking: where a chunk ends depends only on the bytes around the cut, so an
// insertion or a deletion moves only the chunk boundaries near it and every chunk further on is
// found again, byte for byte, in the other version of the file. The publisher and the patcher cut
// with this one rule; a change to any constant here makes every published chunk index useless.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "core/sha256.h"

namespace patcher {

// Chunks are 1 to 16 KiB, about 2.7 KiB on average. Small chunks keep a scattered change cheap;
// the chunk index is fetched a group at a time, so their number costs little (chunk_index.h).
inline constexpr std::size_t kChunkMinBytes = 1024;
inline constexpr std::size_t kChunkNormalBytes = 2048;
inline constexpr std::size_t kChunkMaxBytes = 16384;

// The length of the chunk that starts at `data`, given the next `size` bytes: pass at least
// kChunkMaxBytes bytes unless the file ends sooner, in which case `size` is what is left.
std::size_t ChunkLength(const std::uint8_t* data, std::size_t size);

// Cuts a byte stream into chunks and hashes each one, in one pass and in bounded memory.
class ChunkScanner {
  public:
    using OnChunk = std::function<void(std::uint64_t offset, std::uint32_t length,
                                       const Sha256Digest& digest)>;
    explicit ChunkScanner(OnChunk on_chunk) : on_chunk_(std::move(on_chunk)) {}

    void Feed(const void* data, std::size_t size);
    // Cuts whatever is left; the scanner can then start on another stream.
    void Finish();

  private:
    void Cut(std::size_t available);

    OnChunk on_chunk_;
    std::string pending_;
    std::uint64_t offset_ = 0;
    Sha256 hasher_;
};

}  // namespace patcher
