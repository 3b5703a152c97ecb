// The chunk index the publisher writes beside every large game file ("<file>.chunks"), and the
// grouping of chunks it is built from. It lets a patcher that holds an older copy of the file
// fetch only the chunks it lacks, with HTTP Range requests, from the same static server.
//
// Layout, all numbers little-endian:
//   header   64 bytes  "G2CHUNK1", file size (u64), file SHA-256 (32 bytes), group count (u32),
//                      chunk count (u32), 8 zero bytes
//   groups   12 bytes each: byte length (u32), chunk count (u8), 7 bytes of the group digest
//   chunks    6 bytes each: byte length (u16), the first 4 bytes of the chunk's SHA-256
// A group is a run of consecutive chunks whose end is itself content-defined, so a patcher first
// fetches the group table (about 0.3 bytes per KiB of file) and then the chunk entries of the few
// groups it does not hold. Nothing here is signed: an index can only make a patcher fetch more,
// since the whole file is verified against the signed manifest before it is used.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/content_chunker.h"
#include "core/sha256.h"

namespace patcher {

// Files below this size are fetched whole and get no index.
inline constexpr std::uint64_t kChunkIndexMinFileBytes = 1048576;
inline constexpr const char* kChunkIndexSuffix = ".chunks";
inline constexpr std::size_t kChunkIndexHeaderBytes = 64;
inline constexpr std::size_t kChunkGroupEntryBytes = 12;
inline constexpr std::size_t kChunkEntryBytes = 6;
inline constexpr std::uint32_t kGroupMaxChunks = 64;

struct ChunkIndexHeader {
    std::uint64_t file_size = 0;
    Sha256Digest file_sha256{};
    std::uint32_t group_count = 0;
    std::uint32_t chunk_count = 0;
};

struct ChunkGroup {
    std::uint64_t offset = 0;       // where the group starts in its file
    std::uint32_t length = 0;       // its bytes
    std::uint32_t first_chunk = 0;  // ordinal of its first chunk in the whole file
    std::uint32_t chunk_count = 0;
    std::uint64_t tag = 0;  // 7 bytes of SHA-256 over its chunks' digests
};

struct ChunkEntry {
    std::uint64_t offset = 0;
    std::uint32_t length = 0;
    std::uint32_t tag = 0;  // the first 4 bytes of the chunk's SHA-256
};

std::uint32_t ChunkTag(const Sha256Digest& digest);

// Collects chunks into groups as they are cut: a group ends after a chunk whose digest has four
// zero bits in a place the chunk tag does not use, or after kGroupMaxChunks chunks.
class ChunkGrouper {
  public:
    void Add(std::uint64_t offset, std::uint32_t length, const Sha256Digest& digest);
    void Finish();

    const std::vector<ChunkGroup>& groups() const { return groups_; }
    std::vector<ChunkGroup> TakeGroups() { return std::move(groups_); }

  private:
    std::vector<ChunkGroup> groups_;
    ChunkGroup open_;
    Sha256 hasher_;
    std::uint32_t chunks_ = 0;
};

// The whole index of a file, for the publisher and for the release checks.
std::string SerializeChunkIndex(const ChunkIndexHeader& header,
                                const std::vector<ChunkGroup>& groups,
                                const std::vector<ChunkEntry>& chunks);

// Where the parts of an index lie in its file.
std::uint64_t ChunkGroupTableBytes(const ChunkIndexHeader& header);
std::uint64_t ChunkEntriesOffset(const ChunkIndexHeader& header, std::uint32_t first_chunk);

// Each parser takes exactly the bytes of its part and refuses, with the reason in `why`, an index
// that cannot describe the file the manifest names: another size or digest, counts a file of that
// size cannot have, lengths that do not add up to the file or to their group, chunks the chunker
// never cuts (below its minimum anywhere but at the end of the file).
std::optional<ChunkIndexHeader> ParseChunkIndexHeader(std::string_view bytes,
                                                      std::uint64_t file_size,
                                                      const Sha256Digest& file_sha256,
                                                      std::string& why);
std::optional<std::vector<ChunkGroup>> ParseChunkGroups(std::string_view bytes,
                                                        const ChunkIndexHeader& header,
                                                        std::string& why);
std::optional<std::vector<ChunkEntry>> ParseChunkEntries(std::string_view bytes,
                                                         const ChunkGroup& group,
                                                         std::uint64_t file_size, std::string& why);

}  // namespace patcher

namespace patcher {

// Builds the index of a file fed to it in pieces, as the publisher does.
class ChunkIndexBuilder {
  public:
    ChunkIndexBuilder();
    void Feed(const void* data, std::size_t size);
    // The serialized index; the builder is spent afterwards.
    std::string Finish();

  private:
    ChunkScanner scanner_;
    ChunkGrouper grouper_;
    std::vector<ChunkEntry> chunks_;
    Sha256 whole_;
    std::uint64_t size_ = 0;
};

}  // namespace patcher
