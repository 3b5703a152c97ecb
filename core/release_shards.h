// Releases past the manifest's 1 MiB cap: `shard` lines in the signed manifest name documents of
// further `file` lines by size and SHA-256, so only the manifest is signed and each shard is
// trusted through its line. Patchers that do not know the line kind ignore it and see only the
// manifest's own `file` lines.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/manifest.h"
#include "core/status.h"

namespace patcher {

// `shard <size> <sha256> <url>`, or `shard-utf8` with the same fields for a shard whose `file`
// lines may percent-encode their paths (core/release_path.h). Patchers that read only `shard`
// lines never fetch the second kind, so names they would refuse never reach them. Views into the
// manifest text.
struct ShardEntry {
    std::string_view size;
    std::string_view sha256;
    std::string_view url;
    bool encoded_paths = false;
};

inline constexpr std::string_view kShardKind = "shard";
inline constexpr std::string_view kEncodedShardKind = "shard-utf8";

// Caps of a whole release. A shard is held to the manifest's own 1 MiB; the shards together to
// what a 32-bit patcher keeps in memory beside everything else it does.
inline constexpr std::size_t kMaxShards = 1024;
inline constexpr std::uint64_t kMaxShardsBytes = 64ull << 20;
inline constexpr std::size_t kMaxReleaseFiles = 262144;
inline constexpr std::uint64_t kMaxReleaseBytes = 1ull << 40;  // 1 TiB

// The manifest's shard lines of both kinds in order; none is an empty list.
Result<std::vector<ShardEntry>> ParseManifestShards(const std::string& manifest_text);
Result<std::vector<ShardEntry>> ParseManifestShards(std::string&&) = delete;

// The name a shard is kept under wherever it is stored: its SHA-256 and ".txt".
std::string ShardFileName(const ShardEntry& shard);

// A shard's bytes against its signed line, then the manifest's line rules.
Status CheckShardBytes(const ShardEntry& shard, std::string_view bytes);

// The bytes of one shard from wherever the caller keeps or fetches them; they are checked
// against the line after the call, so a loader may hand back anything.
using ShardLoader = std::function<Result<std::string>(const ShardEntry&)>;

// Shards from `folder`, each under its ShardFileName: how a release folder holds them, and so how
// the release tool reads them back.
ShardLoader ShardsInFolder(const std::string& folder);

// Every file of a release. The entries are views into the manifest text, which the caller keeps,
// and into the shard texts and decoded paths held here on the heap, so moving this record moves
// no byte they see.
struct ReleaseFiles {
    std::vector<std::unique_ptr<const std::string>> shard_texts;
    DecodedPaths decoded_paths;
    std::vector<FileEntry> files;
    std::size_t shard_count = 0;
};

// The manifest's `file` lines, then each shard's in the manifest's order, every shard checked
// before one of its lines is read and `check` called for each entry as it is read. With shards,
// the union is held to the release's rules: one entry a path under Windows' case rule
// (core/name_case.h), and the caps.
Status LoadReleaseFiles(const std::string& manifest_text, const ShardLoader& load,
                        const FileEntryCheck& check, ReleaseFiles& release);
Status LoadReleaseFiles(std::string&&, const ShardLoader&, const FileEntryCheck&,
                        ReleaseFiles&) = delete;

// The caps and the one-entry-a-path rule over a release's files, whichever document they came
// from.
Status CheckReleaseFiles(const std::vector<FileEntry>& files);

}  // namespace patcher
