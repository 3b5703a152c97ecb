#include "tools/release/manifest_shards.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <set>

#include "core/sha256.h"
#include "core/text.h"

namespace patcher::release {
namespace {

ShardLine Line(const std::string& path, const std::string& content, std::size_t padding = 0) {
    const std::string sha = Sha256Hex(content);
    return {path, "file " + path + " " + std::to_string(content.size()) + " " + sha +
                      " https://cdn.example/objects/" + sha.substr(0, 2) + "/" + sha +
                      std::string(padding, 'x') + "\n"};
}

std::vector<ShardLine> Game(std::size_t count, std::size_t padding = 0) {
    std::vector<ShardLine> lines;
    for (std::size_t i = 0; i < count; ++i) {
        char path[64];
        std::snprintf(path, sizeof path, "data/zone%02zu/tile%05zu.pak", i % 37, i);
        lines.push_back(Line(path, std::to_string(i), padding));
    }
    // Handed over out of order: the split sorts.
    std::reverse(lines.begin(), lines.end());
    return lines;
}

// Every line once, in byte order of the paths, and no shard past the cap.
void ExpectCovers(const std::vector<ShardLine>& lines, const std::vector<std::string>& shards) {
    std::vector<ShardLine> sorted = lines;
    std::sort(sorted.begin(), sorted.end(),
              [](const ShardLine& a, const ShardLine& b) { return a.path < b.path; });
    std::string expected, joined;
    for (const ShardLine& line : sorted) expected += line.text;
    for (const std::string& shard : shards) {
        EXPECT_FALSE(shard.empty());
        EXPECT_LE(shard.size(), kMaxDocumentBytes);
        joined += shard;
    }
    EXPECT_EQ(joined, expected);
}

TEST(ManifestShards, AnUpdateChangesOnlyTheShardsNearItsFiles) {
    const std::vector<ShardLine> before = Game(5000);
    const std::vector<std::string> old_shards = SplitShards(before);
    ExpectCovers(before, old_shards);
    ASSERT_GT(old_shards.size(), 4u);
    using Change = void (*)(std::vector<ShardLine>&);
    const std::pair<const char*, Change> cases[] = {
        {"changed", [](std::vector<ShardLine>& g) { g[2500] = Line(g[2500].path, "patched"); }},
        {"added", [](std::vector<ShardLine>& g) { g.push_back(Line("data/zone17/new.pak", "n")); }},
        {"removed", [](std::vector<ShardLine>& g) { g.erase(g.begin() + 2500); }},
        {"first changed", [](std::vector<ShardLine>& g) { g.back() = Line(g.back().path, "p"); }},
    };
    const std::set<std::string> old_set(old_shards.begin(), old_shards.end());
    for (const auto& [name, change] : cases) {
        std::vector<ShardLine> after = before;
        change(after);
        const std::vector<std::string> new_shards = SplitShards(after);
        ExpectCovers(after, new_shards);
        const auto fresh = std::count_if(new_shards.begin(), new_shards.end(),
                                         [&](const std::string& s) { return !old_set.count(s); });
        EXPECT_GE(fresh, 1) << name;
        EXPECT_LE(fresh, 2) << name;
    }
}

TEST(ManifestShards, LongLinesCutBeforeTheCap) {
    // Lines of 20 KiB fill 1 MiB long before a cut point comes; of 300 KiB, three fit; of nearly
    // 1 MiB, one.
    const std::pair<std::size_t, std::size_t> cases[] = {
        {0, 600}, {20000, 600}, {300000, 12}, {1048000, 4}};
    for (const auto& [padding, count] : cases) {
        const std::vector<ShardLine> lines = Game(count, padding);
        ExpectCovers(lines, SplitShards(lines));
    }
    EXPECT_TRUE(SplitShards({}).empty());
}

}  // namespace
}  // namespace patcher::release
