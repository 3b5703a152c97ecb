#include "tools/release/manifest_shards.h"

#include <algorithm>

#include "core/release_shards.h"
#include "core/sha256.h"
#include "core/text.h"
#include "tools/release/file_io.h"

namespace patcher::release {
namespace {

bool IsCutPoint(const std::string& path) {
    const Sha256Digest digest = Sha256Of(path);
    const std::uint32_t head = (std::uint32_t{digest[0]} << 24) | (std::uint32_t{digest[1]} << 16) |
                               (std::uint32_t{digest[2]} << 8) | std::uint32_t{digest[3]};
    return head % kShardCutModulus == 0;
}

}  // namespace

std::vector<std::string> SplitShards(std::vector<ShardLine> lines) {
    std::sort(lines.begin(), lines.end(),
              [](const ShardLine& a, const ShardLine& b) { return a.path < b.path; });
    std::vector<std::string> shards;
    std::string shard;
    for (const ShardLine& line : lines) {
        if (!shard.empty() && shard.size() + line.text.size() > kMaxDocumentBytes) {
            shards.push_back(std::move(shard));
            shard.clear();
        }
        shard += line.text;
        if (shard.size() >= kShardMinBytes && IsCutPoint(line.path)) {
            shards.push_back(std::move(shard));
            shard.clear();
        }
    }
    if (!shard.empty()) shards.push_back(std::move(shard));
    return shards;
}

std::string ShardsBeside(const std::string& manifest_path) {
    return ParentDirectory(manifest_path) + "/" + kShardsFolder;
}

std::string PublishedShardName(const std::string& sha256) {
    return std::string(kShardsFolder) + "/" + ShardFileName(ShardEntry{{}, sha256, {}});
}

}  // namespace patcher::release
