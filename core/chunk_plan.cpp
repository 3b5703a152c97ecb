#include "core/chunk_plan.h"

#include <algorithm>
#include <tuple>

namespace patcher {
namespace {

// Finds a piece of the old copy by its length and tag.
template <typename Piece>
class OldPieces {
  public:
    explicit OldPieces(const std::vector<Piece>& pieces) {
        order_.reserve(pieces.size());
        for (std::size_t i = 0; i < pieces.size(); ++i) {
            order_.push_back({pieces[i].tag, pieces[i].length, i});
        }
        std::sort(order_.begin(), order_.end());
    }
    std::int64_t Find(const Piece& wanted) const {
        const Key probe{wanted.tag, wanted.length, 0};
        const auto it = std::lower_bound(order_.begin(), order_.end(), probe);
        if (it == order_.end() || it->tag != wanted.tag || it->length != wanted.length) return -1;
        return static_cast<std::int64_t>(it->index);
    }

  private:
    struct Key {
        std::uint64_t tag;
        std::uint32_t length;
        std::size_t index;
        bool operator<(const Key& other) const {
            return std::tie(tag, length, index) < std::tie(other.tag, other.length, other.index);
        }
    };
    std::vector<Key> order_;
};

void Append(std::vector<ChunkSegment>& plan, const ChunkSegment& next) {
    if (!plan.empty()) {
        ChunkSegment& last = plan.back();
        const bool continues = last.local == next.local &&
                               (!last.local || last.source + last.length == next.source);
        if (continues && last.offset + last.length == next.offset) {
            last.length += next.length;
            return;
        }
    }
    plan.push_back(next);
}

std::vector<ByteRun> FetchedRuns(const std::vector<ChunkSegment>& segments) {
    std::vector<ByteRun> runs;
    for (const ChunkSegment& segment : segments) {
        if (segment.local) continue;
        if (!runs.empty() && runs.back().offset + runs.back().length == segment.offset) {
            runs.back().length += segment.length;
        } else {
            runs.push_back({segment.offset, segment.length});
        }
    }
    return runs;
}

}  // namespace

std::vector<ByteRun> CoalesceRuns(const std::vector<ByteRun>& runs, std::uint64_t min_gap,
                                  std::size_t max_runs) {
    if (runs.empty()) return {};
    const auto gap_after = [&](std::size_t i) {
        return runs[i + 1].offset - (runs[i].offset + runs[i].length);
    };
    // joined[i]: run i+1 continues run i's fetch.
    std::vector<bool> joined(runs.size() - 1, false);
    std::vector<std::size_t> open;
    for (std::size_t i = 0; i + 1 < runs.size(); ++i) {
        if (gap_after(i) < min_gap) {
            joined[i] = true;
        } else {
            open.push_back(i);
        }
    }
    const std::size_t keep = max_runs == 0 ? 1 : max_runs;
    if (open.size() + 1 > keep) {
        const std::size_t extra = open.size() + 1 - keep;
        std::nth_element(open.begin(), open.begin() + static_cast<std::ptrdiff_t>(extra) - 1,
                         open.end(), [&](std::size_t a, std::size_t b) {
                             return std::make_pair(gap_after(a), a) <
                                    std::make_pair(gap_after(b), b);
                         });
        for (std::size_t k = 0; k < extra; ++k) joined[open[k]] = true;
    }
    std::vector<ByteRun> out{runs[0]};
    for (std::size_t i = 1; i < runs.size(); ++i) {
        if (joined[i - 1]) {
            out.back().length = runs[i].offset + runs[i].length - out.back().offset;
        } else {
            out.push_back(runs[i]);
        }
    }
    return out;
}

std::vector<ChunkSegment> CoalesceFetches(const std::vector<ChunkSegment>& segments,
                                          std::uint64_t min_gap, std::size_t max_runs) {
    const std::vector<ByteRun> runs = CoalesceRuns(FetchedRuns(segments), min_gap, max_runs);
    std::vector<ChunkSegment> plan;
    std::size_t next = 0;
    for (const ChunkSegment& segment : segments) {
        while (next < runs.size() && runs[next].offset + runs[next].length <= segment.offset) {
            ++next;
        }
        const bool fetched = next < runs.size() && runs[next].offset <= segment.offset;
        if (!fetched) {
            Append(plan, segment);
        } else if (segment.offset == runs[next].offset) {
            Append(plan, {runs[next].offset, runs[next].length, false, 0});
        }
    }
    return plan;
}

bool PlanBeatsWholeFetch(const std::vector<ChunkSegment>& segments, std::uint64_t whole) {
    std::uint64_t requests = 0, cost = 0;
    for (const ChunkSegment& segment : segments) {
        if (segment.local) continue;
        ++requests;
        cost += segment.length + kRangeRequestCostBytes;
    }
    return requests <= kMaxRangeRequests && cost < whole;
}

std::vector<std::int64_t> MatchGroups(const std::vector<ChunkGroup>& new_groups,
                                      const std::vector<ChunkGroup>& old_groups) {
    const OldPieces<ChunkGroup> old(old_groups);
    std::vector<std::int64_t> matches;
    matches.reserve(new_groups.size());
    for (const ChunkGroup& group : new_groups) matches.push_back(old.Find(group));
    return matches;
}

std::vector<ChunkGroup> UnmatchedOldGroups(const std::vector<ChunkGroup>& old_groups,
                                           const std::vector<std::int64_t>& matches) {
    std::vector<bool> taken(old_groups.size(), false);
    for (const std::int64_t match : matches) {
        if (match >= 0) taken[static_cast<std::size_t>(match)] = true;
    }
    std::vector<ChunkGroup> unmatched;
    for (std::size_t i = 0; i < old_groups.size(); ++i) {
        if (!taken[i]) unmatched.push_back(old_groups[i]);
    }
    return unmatched;
}

std::vector<ChunkSegment> PlanSegments(const std::vector<ChunkGroup>& new_groups,
                                       const std::vector<ChunkGroup>& old_groups,
                                       const std::vector<std::int64_t>& matches,
                                       const std::vector<ChunkEntry>& new_chunks,
                                       const std::vector<ChunkEntry>& old_chunks) {
    const OldPieces<ChunkEntry> old(old_chunks);
    std::vector<ChunkSegment> plan;
    std::size_t next_chunk = 0;
    for (std::size_t g = 0; g < new_groups.size(); ++g) {
        const ChunkGroup& group = new_groups[g];
        if (matches[g] >= 0) {
            const ChunkGroup& from = old_groups[static_cast<std::size_t>(matches[g])];
            Append(plan, {group.offset, group.length, true, from.offset});
            continue;
        }
        // A group without its entries (none were given for it) is fetched whole.
        if (next_chunk >= new_chunks.size() || new_chunks[next_chunk].offset != group.offset) {
            Append(plan, {group.offset, group.length, false, 0});
            continue;
        }
        while (next_chunk < new_chunks.size() &&
               new_chunks[next_chunk].offset < group.offset + group.length) {
            const ChunkEntry& chunk = new_chunks[next_chunk++];
            const std::int64_t found = old.Find(chunk);
            if (found < 0) {
                Append(plan, {chunk.offset, chunk.length, false, 0});
            } else {
                const ChunkEntry& copy = old_chunks[static_cast<std::size_t>(found)];
                Append(plan, {chunk.offset, chunk.length, true, copy.offset});
            }
        }
    }
    return plan;
}

std::vector<ChunkSegment> SegmentsFrom(const std::vector<ChunkSegment>& segments,
                                       std::uint64_t from) {
    std::vector<ChunkSegment> rest;
    for (ChunkSegment segment : segments) {
        const std::uint64_t end = segment.offset + segment.length;
        if (end <= from) continue;
        if (segment.offset < from) {
            const std::uint64_t skip = from - segment.offset;
            segment.offset = from;
            segment.length -= skip;
            if (segment.local) segment.source += skip;
        }
        rest.push_back(segment);
    }
    return rest;
}

std::uint64_t LocalBytes(const std::vector<ChunkSegment>& segments) {
    std::uint64_t bytes = 0;
    for (const ChunkSegment& segment : segments) {
        if (segment.local) bytes += segment.length;
    }
    return bytes;
}

}  // namespace patcher
