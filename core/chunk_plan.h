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

}  // namespace patcher
