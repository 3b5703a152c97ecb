// Cutting a release's file lines into shards so that the next release repeats every shard whose
// files did not change, and a patcher fetches again only the shards an update touched: the lines
// go in byte order of their paths, and a shard ends after a line whose path hashes to a cut point
// once it holds enough. Where a shard ends thus depends on the paths near its end, not on what
// came before, so a line added or changed moves at most the cut after it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace patcher::release {

// The folder of a release that holds its shards, each under its core ShardFileName.
inline constexpr const char* kShardsFolder = "shards";

// A shard ends once it holds this much and its last path's hash is 0 modulo kShardCutModulus:
// shards of about 100 KiB, few enough for the core's 1024 and small enough to refetch cheaply.
inline constexpr std::size_t kShardMinBytes = 32u << 10;
inline constexpr std::uint32_t kShardCutModulus = 512;

struct ShardLine {
    std::string path;
    std::string text;  // the whole `file` line, newline included
};

// The shard texts in path order. None passes the manifest's 1 MiB cap: a shard ends before the
// line that would take it past, whatever the hashes say.
std::vector<std::string> SplitShards(std::vector<ShardLine> lines);

// The shards folder beside a manifest, where a release keeps them.
std::string ShardsBeside(const std::string& manifest_path);

// Where in its release a shard of that SHA-256 is kept: shards/ and the core's ShardFileName.
std::string PublishedShardName(const std::string& sha256);

}  // namespace patcher::release
