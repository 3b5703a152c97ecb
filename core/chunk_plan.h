// Which bytes of a new file a patcher can copy from the old copy it holds, and which it must
// fetch: plain functions of the published chunk index and the chunks of the old copy.
#pragma once

#include <cstdint>
#include <vector>

#include "core/chunk_index.h"

namespace patcher {

// A run of the new file: copied from `source` in the old copy, or fetched when not `local`.
struct ChunkSegment {
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
    bool local = false;
    std::uint64_t source = 0;
};

// For each group of the new file, the index in `old_groups` of a group with the same bytes, or -1.
std::vector<std::int64_t> MatchGroups(const std::vector<ChunkGroup>& new_groups,
                                      const std::vector<ChunkGroup>& old_groups);

// The groups of the old copy no group of the new file took whole: the chunks worth looking into.
std::vector<ChunkGroup> UnmatchedOldGroups(const std::vector<ChunkGroup>& old_groups,
                                           const std::vector<std::int64_t>& matches);

// The whole new file as segments, in order and merged where they continue each other. The new
// file's unmatched groups are described by `new_chunks` (their entries, in order); each of those
// chunks is copied when `old_chunks` holds one with the same length and tag, fetched otherwise.
std::vector<ChunkSegment> PlanSegments(const std::vector<ChunkGroup>& new_groups,
                                       const std::vector<ChunkGroup>& old_groups,
                                       const std::vector<std::int64_t>& matches,
                                       const std::vector<ChunkEntry>& new_chunks,
                                       const std::vector<ChunkEntry>& old_chunks);

// The plan for the bytes from `from` on, for a file whose first `from` bytes are already in place.
std::vector<ChunkSegment> SegmentsFrom(const std::vector<ChunkSegment>& segments,
                                       std::uint64_t from);

std::uint64_t LocalBytes(const std::vector<ChunkSegment>& segments);

// What a ranged request costs beyond its bytes (headers both ways and a round trip), counted as
// body bytes, and the most range requests one file's update makes of the file or of its index.
// An index is untrusted: these keep a hostile one from costing more requests, bytes or memory
// than the whole file would.
inline constexpr std::uint64_t kRangeRequestCostBytes = 16384;
inline constexpr std::size_t kMaxRangeRequests = 1024;
// What the patcher keeps in memory of one file's index and of its old copy's chunks: with 16
// workers at once this stays within a 32-bit process.
inline constexpr std::uint32_t kMaxIndexGroups = 1u << 19;
inline constexpr std::size_t kMaxChunkEntriesHeld = std::size_t{1} << 20;

// Bytes from `offset` on, in order and apart.
struct ByteRun {
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
};

// Fewer, longer runs: two runs whose gap is shorter than `min_gap` become one, and then the runs
// with the shortest gaps between them until at most `max_runs` are left. Fetching a short gap
// costs less than a request of its own.
std::vector<ByteRun> CoalesceRuns(const std::vector<ByteRun>& runs, std::uint64_t min_gap,
                                  std::size_t max_runs);

// The plan with its fetched runs coalesced the same way: the old copy's bytes between them are
// fetched instead when that saves a request.
std::vector<ChunkSegment> CoalesceFetches(const std::vector<ChunkSegment>& segments,
                                          std::uint64_t min_gap, std::size_t max_runs);

// The plan is worth its requests: it needs at most kMaxRangeRequests of them, and its fetched
// bytes with kRangeRequestCostBytes per request are fewer than the `whole` bytes of one plain
// fetch of the same part.
bool PlanBeatsWholeFetch(const std::vector<ChunkSegment>& segments, std::uint64_t whole);

}  // namespace patcher
