#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "core/chunk_index.h"
#include "core/chunk_plan.h"
#include "core/content_chunker.h"
#include "core/hex.h"
#include "tests/core/test_release_fixture.h"

namespace patcher {
namespace {

using test_support::RandomBytes;

struct Cut {
    std::uint64_t offset;
    std::uint32_t length;
    Sha256Digest digest;
};

std::vector<Cut> CutsOf(const std::string& bytes, std::size_t piece = std::string::npos) {
    std::vector<Cut> cuts;
    ChunkScanner scanner([&](std::uint64_t offset, std::uint32_t length, const Sha256Digest& d) {
        cuts.push_back({offset, length, d});
    });
    for (std::size_t at = 0; at < bytes.size(); at += piece) {
        scanner.Feed(bytes.data() + at, std::min(piece, bytes.size() - at));
    }
    scanner.Finish();
    return cuts;
}

std::vector<ChunkGroup> GroupsOf(const std::vector<Cut>& cuts) {
    ChunkGrouper grouper;
    for (const Cut& cut : cuts) grouper.Add(cut.offset, cut.length, cut.digest);
    grouper.Finish();
    return grouper.TakeGroups();
}

std::string IndexOf(const std::string& bytes) {
    ChunkIndexBuilder builder;
    builder.Feed(bytes.data(), bytes.size());
    return builder.Finish();
}

// Published indexes are only worth anything while every patcher cuts exactly where the publisher
// did: these figures change only with the chunking rule itself.
TEST(ContentChunkerTest, CutsArePinnedAndIndependentOfHowTheStreamArrives) {
    const std::string bytes = RandomBytes(1 << 20, 7);
    const std::vector<Cut> whole = CutsOf(bytes);
    Sha256 positions;
    std::uint64_t end = 0;
    for (const Cut& cut : whole) {
        EXPECT_EQ(cut.offset, end);
        end += cut.length;
        EXPECT_LE(cut.length, kChunkMaxBytes);
        if (end != bytes.size()) {
            EXPECT_GE(cut.length, kChunkMinBytes);
        }
        positions.Update(&cut.offset, sizeof(cut.offset));
    }
    EXPECT_EQ(end, bytes.size());
    EXPECT_EQ(whole.size(), 389u);
    EXPECT_EQ(HexEncode(positions.Finish()),
              "0fd6b988b355f0fadaac96eea173f475b27e2a123ed80199494b1ebd3b7d2243");
    for (const std::size_t piece : {std::size_t{1}, std::size_t{999}, std::size_t{16385}}) {
        const std::vector<Cut> pieces = CutsOf(bytes, piece);
        ASSERT_EQ(pieces.size(), whole.size()) << piece;
        for (std::size_t i = 0; i < whole.size(); ++i) {
            EXPECT_EQ(pieces[i].length, whole[i].length);
            EXPECT_EQ(pieces[i].digest, whole[i].digest);
        }
    }
}

// The chunkings of two versions fall back into step within a few chunks of a change. How soon
// depends on the bytes, so the inputs are fixed ones rather than fresh random ones each run.
TEST(ContentChunkerTest, AnInsertionChangesOnlyTheChunksAroundIt) {
    for (const std::uint32_t seed : {1u, 2u, 3u, 4u, 5u, 6u, 7u, 8u}) {
        const std::string old = RandomBytes(1 << 20, seed);
        const std::string changed = old.substr(0, 500000) + "inserted" + old.substr(500000);
        std::set<Sha256Digest> before;
        for (const Cut& cut : CutsOf(old)) before.insert(cut.digest);
        std::size_t fresh = 0;
        for (const Cut& cut : CutsOf(changed)) fresh += before.count(cut.digest) == 0;
        EXPECT_LE(fresh, 6u) << seed;
        std::set<std::uint64_t> old_groups;
        for (const ChunkGroup& group : GroupsOf(CutsOf(old))) old_groups.insert(group.tag);
        std::size_t fresh_groups = 0;
        for (const ChunkGroup& group : GroupsOf(CutsOf(changed))) {
            fresh_groups += old_groups.count(group.tag) == 0;
        }
        EXPECT_LE(fresh_groups, 2u) << seed;
    }
}

TEST(ChunkIndexTest, AnIndexReadsBackAsTheFileItWasBuiltFrom) {
    const std::string bytes = RandomBytes(3 << 20, 11);
    const std::string index = IndexOf(bytes);
    std::string why;
    const auto header = ParseChunkIndexHeader(std::string_view(index).substr(0, 64), bytes.size(),
                                              Sha256Of(bytes), why);
    ASSERT_TRUE(header) << why;
    EXPECT_EQ(index.size(), ChunkEntriesOffset(*header, header->chunk_count));
    const auto groups = ParseChunkGroups(
        std::string_view(index).substr(64, ChunkGroupTableBytes(*header)), *header, why);
    ASSERT_TRUE(groups) << why;
    const std::vector<Cut> cuts = CutsOf(bytes);
    for (const ChunkGroup& group : *groups) {
        const auto entries = ParseChunkEntries(
            std::string_view(index).substr(ChunkEntriesOffset(*header, group.first_chunk),
                                           group.chunk_count * kChunkEntryBytes),
            group, bytes.size(), why);
        ASSERT_TRUE(entries) << why;
        for (std::size_t i = 0; i < entries->size(); ++i) {
            const Cut& cut = cuts[group.first_chunk + i];
            EXPECT_EQ((*entries)[i].offset, cut.offset);
            EXPECT_EQ((*entries)[i].tag, ChunkTag(cut.digest));
        }
    }
}

std::uint32_t ReadFirstGroupLength(const std::string& index) {
    std::uint32_t length = 0;
    for (std::size_t i = 4; i-- > 0;)
        length = (length << 8) | static_cast<std::uint8_t>(index[64 + i]);
    return length;
}

std::uint64_t ReadLe16(const std::string& bytes, std::size_t at) {
    return static_cast<std::uint8_t>(bytes[at]) |
           std::uint64_t{static_cast<std::uint8_t>(bytes[at + 1])} << 8;
}

void PutLe(std::string& bytes, std::size_t at, std::uint64_t value, std::size_t width) {
    for (std::size_t i = 0; i < width; ++i) bytes[at + i] = static_cast<char>(value >> (8 * i));
}

// Every part is refused when it cannot describe the manifest's file, whatever the server sent.
TEST(ChunkIndexTest, AnIndexThatCannotDescribeTheFileIsRefused) {
    const std::string bytes = RandomBytes(1 << 20, 5);
    const std::string good = IndexOf(bytes);
    const Sha256Digest digest = Sha256Of(bytes);
    std::string why;
    const ChunkIndexHeader header =
        *ParseChunkIndexHeader(std::string_view(good).substr(0, 64), bytes.size(), digest, why);
    const std::size_t groups_at = 64, chunks_at = 64 + ChunkGroupTableBytes(header);
    struct Row {
        const char* name;
        std::size_t at;
        std::uint64_t value;
        std::size_t width;
    } rows[] = {
        {"magic", 0, 'X', 1},
        {"file size", 8, bytes.size() + 1, 8},
        {"file digest", 16, digest[0] ^ 1u, 1},
        {"no groups", 48, 0, 4},
        {"more groups than chunks", 48, header.chunk_count + 1, 4},
        {"too many chunks", 52, (1 << 10) + 2, 4},
        {"too few chunks", 52, 63, 4},
        {"reserved", 63, 1, 1},
        {"a group longer by one byte", groups_at, 1, 1},
        {"a group of no chunks", groups_at + 4, 0, 1},
        {"a group of too many chunks", groups_at + 4, kGroupMaxChunks + 1, 1},
        {"a chunk of no bytes", chunks_at, 0, 2},
        {"a chunk longer than any", chunks_at, kChunkMaxBytes + 1, 2},
        // The sum stays right: the second chunk takes what the first gives up.
        {"a chunk shorter than the chunker cuts", chunks_at, kChunkMinBytes - 1, 2},
    };
    for (const Row& row : rows) {
        std::string index = good;
        if (row.name == std::string("a group longer by one byte")) {
            PutLe(index, row.at, ReadFirstGroupLength(good) + 1, 4);
        } else if (row.at == chunks_at && row.value == kChunkMinBytes - 1) {
            const std::uint64_t first = ReadLe16(good, chunks_at);
            PutLe(index, chunks_at, row.value, 2);
            PutLe(index, chunks_at + kChunkEntryBytes,
                  ReadLe16(good, chunks_at + kChunkEntryBytes) + first - row.value, 2);
        } else {
            PutLe(index, row.at, row.value, row.width);
        }
        const std::string_view view(index);
        auto parsed = ParseChunkIndexHeader(view.substr(0, 64), bytes.size(), digest, why);
        bool refused = !parsed;
        if (parsed) {
            auto groups =
                ParseChunkGroups(view.substr(64, ChunkGroupTableBytes(*parsed)), *parsed, why);
            refused = !groups;
            if (groups) {
                const ChunkGroup& first = (*groups)[0];
                refused = !ParseChunkEntries(view.substr(ChunkEntriesOffset(*parsed, 0),
                                                         first.chunk_count * kChunkEntryBytes),
                                             first, bytes.size(), why);
            }
        }
        EXPECT_TRUE(refused) << row.name;
    }
}

// The patcher's side: the old copy's groups and chunks against the new file's index. Whatever the
// plan copies must be the new file's bytes, and the plan must cover the file exactly.
TEST(ChunkPlanTest, ThePlanRebuildsTheNewFileFromTheOldCopyAndTheFetchedRest) {
    const std::uint32_t seed = 21;
    const std::string old = RandomBytes(2 << 20, seed);
    std::string changed = old.substr(0, 700000) + RandomBytes(30000, seed + 1) + old.substr(700000);
    changed.replace(1500000, 4096, RandomBytes(4096, seed + 2));
    changed += RandomBytes(5000, seed + 3);

    const std::vector<Cut> old_cuts = CutsOf(old), new_cuts = CutsOf(changed);
    const std::vector<ChunkGroup> old_groups = GroupsOf(old_cuts), new_groups = GroupsOf(new_cuts);
    const std::vector<std::int64_t> matches = MatchGroups(new_groups, old_groups);
    std::vector<ChunkEntry> new_chunks, old_chunks;
    for (std::size_t g = 0; g < new_groups.size(); ++g) {
        if (matches[g] >= 0) continue;
        const ChunkGroup& group = new_groups[g];
        for (std::uint32_t i = 0; i < group.chunk_count; ++i) {
            const Cut& cut = new_cuts[group.first_chunk + i];
            new_chunks.push_back({cut.offset, cut.length, ChunkTag(cut.digest)});
        }
    }
    for (const ChunkGroup& group : UnmatchedOldGroups(old_groups, matches)) {
        for (std::uint32_t i = 0; i < group.chunk_count; ++i) {
            const Cut& cut = old_cuts[group.first_chunk + i];
            old_chunks.push_back({cut.offset, cut.length, ChunkTag(cut.digest)});
        }
    }
    const std::vector<ChunkSegment> plan =
        PlanSegments(new_groups, old_groups, matches, new_chunks, old_chunks);
    const std::uint64_t fetched = changed.size() - LocalBytes(plan);
    EXPECT_GE(fetched, 30000u + 4096 + 5000) << seed;
    EXPECT_LE(fetched, 30000u + 4096 + 5000 + 6 * kChunkMaxBytes) << seed;

    for (const std::uint64_t from :
         {std::uint64_t{0}, std::uint64_t{700001}, std::uint64_t{changed.size()}}) {
        std::string rebuilt = changed.substr(0, from);
        for (const ChunkSegment& segment : SegmentsFrom(plan, from)) {
            ASSERT_EQ(segment.offset, rebuilt.size());
            rebuilt += segment.local ? old.substr(segment.source, segment.length)
                                     : changed.substr(segment.offset, segment.length);
        }
        EXPECT_TRUE(rebuilt == changed) << seed << " from " << from;
    }
    // Without the entries of its unmatched groups, the plan fetches those groups whole.
    const std::vector<ChunkSegment> coarse = PlanSegments(new_groups, old_groups, matches, {}, {});
    std::uint64_t end = 0;
    for (const ChunkSegment& segment : coarse) end = segment.offset + segment.length;
    EXPECT_EQ(end, changed.size());
}

TEST(ChunkPlanTest, RunsCloseTogetherOrBeyondTheRequestLimitAreFetchedAsOne) {
    const std::vector<ByteRun> runs = {{0, 10}, {15, 10}, {100, 10}};
    struct Row {
        std::uint64_t min_gap;
        std::size_t max_runs;
        std::vector<std::pair<std::uint64_t, std::uint64_t>> want;
    } rows[] = {
        {0, 3, {{0, 10}, {15, 10}, {100, 10}}},
        {6, 3, {{0, 25}, {100, 10}}},
        {0, 2, {{0, 25}, {100, 10}}},  // the shortest gap goes first
        {0, 1, {{0, 110}}},
        {100, 3, {{0, 110}}},
    };
    for (const Row& row : rows) {
        std::vector<std::pair<std::uint64_t, std::uint64_t>> got;
        for (const ByteRun& run : CoalesceRuns(runs, row.min_gap, row.max_runs)) {
            got.emplace_back(run.offset, run.length);
        }
        EXPECT_EQ(got, row.want) << row.min_gap << " " << row.max_runs;
    }
}

// A hostile index can split a file into chunks the old copy has and chunks it lacks, one after
// the other; fetched as planned, each lacking chunk would be a request of its own.
TEST(ChunkPlanTest, AnAlternatingPlanCostsNoMoreRequestsThanTheWholeFile) {
    std::vector<ChunkSegment> hostile;
    for (std::uint64_t at = 0; at < (2 << 20); at += 3072) {
        hostile.push_back({at, 2048, true, at});
        hostile.push_back({at + 2048, 1024, false, 0});
    }
    const std::vector<ChunkSegment> shaped =
        CoalesceFetches(hostile, kRangeRequestCostBytes, kMaxRangeRequests);
    ASSERT_EQ(shaped.size(), 2u);
    EXPECT_TRUE(shaped[0].local);
    EXPECT_EQ(shaped[1].offset, 2048u);
    EXPECT_EQ(shaped[1].offset + shaped[1].length, hostile.back().offset + hostile.back().length);
    EXPECT_FALSE(PlanBeatsWholeFetch(shaped, 2 << 20));

    // Changes far apart keep their requests, and the old copy gives the rest.
    const std::vector<ChunkSegment> honest = {
        {0, 1 << 20, true, 0}, {1 << 20, 8192, false, 0}, {(1 << 20) + 8192, 3 << 20, true, 9}};
    EXPECT_EQ(CoalesceFetches(honest, kRangeRequestCostBytes, kMaxRangeRequests).size(), 3u);
    EXPECT_TRUE(PlanBeatsWholeFetch(honest, 4 << 20));
}

}  // namespace
}  // namespace patcher
