// Writing manifest.txt: the header values, one `file` line per game file with its size, SHA-256
// and download address, and the finished text held to the core's line rules and parsers. A large
// release moves its file lines into shards (manifest_shards.h) that the manifest names.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "core/status.h"
#include "core/url_join.h"
#include "tools/release/game_tree.h"

namespace patcher::release {

struct ManifestValues {
    std::string version;
    std::string channel;
    std::string counter;
    std::string created;
    std::string expires;
    std::string base_url;  // file addresses are UrlJoin(base_url, path)
};

struct ManifestFile {
    std::string path;
    std::uint64_t size = 0;
    std::string sha256;
    std::string url;  // its address; empty: UrlJoin(base_url, path)
};

// The address of a file under a base address, joined the way the patcher joins release names:
// trailing "/" removed, then one "/", then the name.

// Refuses header values the patcher would refuse (through the core's header parser), a base URL
// the patcher could not fetch from (not https, or not a single printable field), and an expiry
// that is not after both the creation time and now. Messages name the option.
Status CheckManifestValues(const ManifestValues& values, const std::string& now);

// The manifest text with every file line in it, checked by the core as the patcher will check it.
Result<std::string> RenderManifest(const ManifestValues& values,
                                   const std::vector<ManifestFile>& files);

// When a release's file lines go into shards: Auto once the manifest would hold more than
// kAutoShardBytes, half the patcher's 1 MiB cap, so a growing release shards well before it
// would be refused, or once a file's name needs the encoding only shards carry.
enum class ShardMode { Auto, Always, Never };
inline constexpr std::size_t kAutoShardBytes = 512u << 10;

struct ShardDocument {
    std::string sha256;
    std::string text;
};

struct ReleaseDocuments {
    std::string manifest;
    std::vector<ShardDocument> shards;  // each published as shards/<sha256>.txt
};

// The manifest and, when `mode` shards the release, its shards, served below release_url. A
// sharded manifest keeps the patcher's own file line: a deployed patcher that knows no shards sees
// only the manifest's files, and only its self-update brings it to the rest, so a release without
// the patcher's exe is refused sharding. Checked by the core's LoadReleaseFiles over the union.
Result<ReleaseDocuments> RenderRelease(const ManifestValues& values,
                                       const std::vector<ManifestFile>& files, ShardMode mode,
                                       const std::string& release_url);

// Size and SHA-256 of each file, read from disk through the core's hashing.
Result<std::vector<ManifestFile>> DescribeFiles(const std::vector<GameFile>& files);

}  // namespace patcher::release
