#include "core/release_shards.h"

#include <algorithm>

#include "core/name_case.h"
#include "core/sha256.h"
#include "core/text.h"

namespace patcher {
namespace {

Status BadFormat(std::string message) {
    return Status(StatusCode::BadFormat, std::move(message));
}

// The failure of a step inside a shard, with the shard named and the step's code kept.
Status InShard(const ShardEntry& shard, const Status& status) {
    if (status.ok()) return status;
    return Status(status.code, "shard " + std::string(shard.url) + ": " + status.message);
}

Status CheckShardText(const ShardEntry& shard, const std::string& text) {
    if (!HasLineOfKind(text, kShardKind) && !HasLineOfKind(text, kEncodedShardKind)) {
        return Status::Success();
    }
    return BadFormat("shard " + std::string(shard.url) +
                     " lists a shard of its own; shards do not nest");
}

}  // namespace

Result<std::vector<ShardEntry>> ParseManifestShards(const std::string& manifest_text) {
    std::vector<ShardEntry> shards;
    std::uint64_t total = 0;
    for (const std::string_view line : SplitLines(manifest_text)) {
        const std::vector<std::string_view> fields = SplitFields(line);
        const bool encoded = fields[0] == kEncodedShardKind;
        if (fields[0] != kShardKind && !encoded) continue;
        if (fields.size() != 4) {
            return BadFormat("shard line does not have 4 fields (" + std::to_string(fields.size()) +
                             "): " + PrintableCopy(line));
        }
        const ShardEntry shard{fields[1], fields[2], fields[3], encoded};
        std::uint64_t size = 0;
        if (!ParseU64(shard.size, size) || size == 0 || size > kMaxDocumentBytes) {
            return BadFormat("shard size is not a number from 1 to 1048576: " +
                             PrintableCopy(line));
        }
        if (!IsLowerHex64(shard.sha256)) {
            return BadFormat("sha256 is not 64 lowercase hex characters: " + PrintableCopy(line));
        }
        if (shards.size() == kMaxShards) {
            return BadFormat("manifest lists more than " + std::to_string(kMaxShards) + " shards");
        }
        total += size;
        if (total > kMaxShardsBytes) {
            return BadFormat("manifest lists more than " + std::to_string(kMaxShardsBytes) +
                             " bytes of shards");
        }
        shards.push_back(shard);
    }
    return shards;
}

std::string ShardFileName(const ShardEntry& shard) {
    return std::string(shard.sha256) + ".txt";
}

ShardLoader ShardsInFolder(const std::string& folder) {
    return [folder](const ShardEntry& shard) {
        return ReadTextFile(folder + "/" + ShardFileName(shard), "shard " + std::string(shard.url));
    };
}

Status CheckShardBytes(const ShardEntry& shard, std::string_view bytes) {
    if (std::to_string(bytes.size()) != shard.size || Sha256Hex(bytes) != shard.sha256) {
        return Status(StatusCode::BadSignature,
                      "shard " + std::string(shard.url) + " (" + std::to_string(bytes.size()) +
                          " bytes) does not match its line in the signed manifest");
    }
    return CheckTextFormat(bytes, "shard " + std::string(shard.url));
}

Status LoadReleaseFiles(const std::string& manifest_text, const ShardLoader& load,
                        const FileEntryCheck& check, ReleaseFiles& release) {
    release = ReleaseFiles();
    Result<std::vector<ShardEntry>> shards = ParseManifestShards(manifest_text);
    if (!shards.ok()) return shards.status();
    if (!shards.value().empty() && !load) {
        return Status(StatusCode::BadInput, "the manifest lists shards and none can be loaded");
    }
    Status status = AppendFileLines(manifest_text, check, release.files);
    if (!status.ok()) return status;
    for (const ShardEntry& shard : shards.value()) {
        Result<std::string> bytes = load(shard);
        if (!bytes.ok()) return bytes.status();
        status = CheckShardBytes(shard, bytes.value());
        auto text = std::make_unique<const std::string>(std::move(bytes).value());
        if (status.ok()) status = CheckShardText(shard, *text);
        const std::size_t before = release.files.size();
        if (status.ok())
            status = InShard(
                shard, AppendFileLines(*text, check, release.files,
                                       shard.encoded_paths ? &release.decoded_paths : nullptr));
        if (status.ok() && release.files.size() == before) {
            status = BadFormat("shard " + std::string(shard.url) + " contains no 'file' line");
        }
        if (!status.ok()) return status;
        release.shard_texts.push_back(std::move(text));
        // Checked as the lines come in, so a hostile shard cannot hold a 32-bit patcher's memory.
        if (release.files.size() > kMaxReleaseFiles) return CheckReleaseFiles(release.files);
    }
    release.shard_count = shards.value().size();
    if (release.files.empty()) return BadFormat("manifest contains no 'file' line");
    if (release.shard_count == 0) return Status::Success();
    return CheckReleaseFiles(release.files);
}

Status CheckReleaseFiles(const std::vector<FileEntry>& files) {
    if (files.size() > kMaxReleaseFiles) {
        return BadFormat("the release lists more than " + std::to_string(kMaxReleaseFiles) +
                         " files");
    }
    std::uint64_t total = 0;
    for (const FileEntry& file : files) {
        if (file.size > kMaxReleaseBytes - total) {
            return BadFormat("the release's files add up to more than " +
                             std::to_string(kMaxReleaseBytes) + " bytes (1 TiB)");
        }
        total += file.size;
    }
    std::vector<std::string_view> paths;
    paths.reserve(files.size());
    for (const FileEntry& file : files) paths.push_back(file.path);
    std::sort(paths.begin(), paths.end(), [](std::string_view a, std::string_view b) {
        return CompareNamesIgnoringCase(a, b) < 0;
    });
    const auto twice = std::adjacent_find(
        paths.begin(), paths.end(),
        [](std::string_view a, std::string_view b) { return CompareNamesIgnoringCase(a, b) == 0; });
    if (twice != paths.end()) {
        return BadFormat(
            "the release names the same file twice (letter case aside), in its manifest or "
            "its shards: " +
            std::string(*twice) + " and " + std::string(*(twice + 1)));
    }
    return Status::Success();
}

}  // namespace patcher
