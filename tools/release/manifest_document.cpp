#include "tools/release/manifest_document.h"

#include <cstdint>

#include "core/file_hash.h"
#include "core/manifest.h"
#include "core/release_path.h"
#include "core/release_shards.h"
#include "core/sha256.h"
#include "core/text.h"
#include "tools/release/authenticode.h"
#include "tools/release/manifest_shards.h"

namespace patcher::release {
namespace {

bool IsFieldText(const std::string& value) {
    if (value.empty()) return false;
    for (unsigned char c : value) {
        if (c <= 32 || c > 126) return false;
    }
    return true;
}

std::string HeaderText(const ManifestValues& values) {
    return "version " + values.version + "\nchannel " + values.channel + "\ncounter " +
           values.counter + "\ncreated " + values.created + "\nexpires " + values.expires + "\n";
}

Status Usage(const std::string& message) {
    return Status(StatusCode::BadInput, message);
}

// A name outside the manifest's own set is percent-encoded, which only `shard-utf8` shards may
// carry; the same encoding makes it a URL path.
std::string FileLine(const ManifestValues& values, const ManifestFile& file) {
    const std::string field = EncodeShardPath(file.path);
    return "file " + field + " " + std::to_string(file.size) + " " + file.sha256 + " " +
           (file.url.empty() ? UrlJoin(values.base_url, field) : file.url) + "\n";
}

// The first file whose name only a shard can carry, or null.
const ManifestFile* FirstEncodedName(const std::vector<ManifestFile>& files) {
    for (const ManifestFile& file : files) {
        if (NeedsShardEncoding(file.path)) return &file;
    }
    return nullptr;
}

Status NeedsShards(const ManifestFile& file, const char* how) {
    return Usage(file.path + ": a name outside [A-Za-z0-9._/-] can only be published in shards, " +
                 "which patchers from before them never read; " + how);
}

// The rendered shards, found as a patcher finds them: by the SHA-256 their line names.
ShardLoader InMemory(const std::vector<ShardDocument>& shards) {
    return [&shards](const ShardEntry& entry) -> Result<std::string> {
        for (const ShardDocument& shard : shards) {
            if (shard.sha256 == entry.sha256) return shard.text;
        }
        return Status(StatusCode::BadInput, "no shard was rendered for " + std::string(entry.url));
    };
}

// The finished manifest through the core's rules, its files and shards' together, which must be
// exactly the files walked.
Status CheckRendered(const std::string& text, const ShardLoader& shards, std::size_t count) {
    if (text.size() > kMaxDocumentBytes) {
        return Status(StatusCode::BadFormat,
                      "manifest would be " + std::to_string(text.size()) +
                          " bytes, above the patcher's 1 MB cap; publish with --shards auto or "
                          "always, or fewer or shorter paths");
    }
    Status status = CheckTextFormat(text, "manifest");
    if (!status.ok()) return status;
    const Result<ManifestHeader> header = ParseManifestHeader(text);
    if (!header.ok()) return header.status();
    ReleaseFiles release;
    status = LoadReleaseFiles(text, shards, {}, release);
    if (!status.ok()) return status;
    if (release.files.size() != count) {
        return Status(StatusCode::BadFormat, "manifest lines do not match the files walked");
    }
    return Status::Success();
}

}  // namespace

Status CheckManifestValues(const ManifestValues& values, const std::string& now) {
    const std::pair<const char*, const std::string*> fields[] = {
        {"--version", &values.version}, {"--channel", &values.channel},
        {"--counter", &values.counter}, {"--created", &values.created},
        {"--expires", &values.expires}, {"--base-url", &values.base_url}};
    for (const auto& [option, value] : fields) {
        if (!IsFieldText(*value)) {
            return Usage(std::string(option) + " must be printable ASCII without spaces");
        }
    }
    const std::string header = HeaderText(values);
    const Result<ManifestHeader> parsed = ParseManifestHeader(header);
    if (!parsed.ok()) return Usage(parsed.status().message);
    std::uint64_t counter = 0;
    if (!ParseU64(values.counter, counter)) {
        return Usage("--counter must be a decimal number below 2^64");
    }
    if (values.base_url.rfind("https://", 0) != 0 || values.base_url.size() <= 8 ||
        values.base_url[8] == '/') {
        return Usage(
            "--base-url must be an https:// address with a host (the patcher fetches "
            "over HTTPS only)");
    }
    if (!IsIsoUtc(now)) return Usage("--now must be YYYY-MM-DDTHH:MM:SSZ");
    if (IsAtOrAfter(values.created, values.expires)) {
        return Usage("--expires " + values.expires + " is not after --created " + values.created);
    }
    if (IsAtOrAfter(now, values.expires)) {
        return Usage("--expires " + values.expires + " is not after now (" + now +
                     "): the patcher would refuse the manifest as expired");
    }
    return Status::Success();
}

Result<std::string> RenderManifest(const ManifestValues& values,
                                   const std::vector<ManifestFile>& files) {
    if (const ManifestFile* file = FirstEncodedName(files)) {
        return NeedsShards(*file, "publish the release with --shards auto or always");
    }
    std::string text = HeaderText(values);
    for (const ManifestFile& file : files) text += FileLine(values, file);
    const Status status = CheckRendered(text, {}, files.size());
    if (!status.ok()) return status;
    return text;
}

Result<ReleaseDocuments> RenderRelease(const ManifestValues& values,
                                       const std::vector<ManifestFile>& files, ShardMode mode,
                                       const std::string& release_url) {
    std::size_t whole = HeaderText(values).size();
    for (const ManifestFile& file : files) whole += FileLine(values, file).size();
    const ManifestFile* encoded = FirstEncodedName(files);
    if (encoded != nullptr && mode == ShardMode::Never) {
        return NeedsShards(*encoded, "publish with --shards auto or always");
    }
    if (mode == ShardMode::Never ||
        (mode == ShardMode::Auto && whole <= kAutoShardBytes && encoded == nullptr)) {
        Result<std::string> text = RenderManifest(values, files);
        if (!text.ok()) return text.status();
        return ReleaseDocuments{std::move(text).value(), {}};
    }
    ReleaseDocuments documents;
    documents.manifest = HeaderText(values);
    std::vector<ShardLine> plain, encoded_lines;
    for (const ManifestFile& file : files) {
        if (file.path == kPatcherExeName) {
            documents.manifest += FileLine(values, file);
        } else {
            (NeedsShardEncoding(file.path) ? encoded_lines : plain)
                .push_back({file.path, FileLine(values, file)});
        }
    }
    if (documents.manifest.size() == HeaderText(values).size()) {
        return Usage(std::string("cannot shard a release without ") + kPatcherExeName +
                     ": a deployed patcher sees only the manifest's own files, so only its "
                     "self-update can bring it to the shards (add it, or publish with --shards "
                     "never while the manifest stays within 1 MiB)");
    }
    // Encoded names go into shards of their own kind, which patchers that read plain shards only
    // never fetch.
    for (const auto& [kind, lines] :
         {std::pair{kShardKind, &plain}, std::pair{kEncodedShardKind, &encoded_lines}}) {
        if (lines->empty()) continue;
        for (std::string& text : SplitShards(std::move(*lines))) {
            ShardDocument shard{Sha256Hex(text), std::move(text)};
            documents.manifest += std::string(kind) + " " + std::to_string(shard.text.size()) +
                                  " " + shard.sha256 + " " +
                                  UrlJoin(release_url, PublishedShardName(shard.sha256)) + "\n";
            documents.shards.push_back(std::move(shard));
        }
    }
    const Status status =
        CheckRendered(documents.manifest, InMemory(documents.shards), files.size());
    if (!status.ok()) return status;
    return documents;
}

Result<std::vector<ManifestFile>> DescribeFiles(const std::vector<GameFile>& files) {
    std::vector<ManifestFile> described;
    described.reserve(files.size());
    for (const GameFile& file : files) {
        std::uint64_t size = 0;
        if (!GetFileSize(file.disk_path, size)) {
            return Status(StatusCode::BadInput, "cannot read the size of " + file.disk_path);
        }
        Result<std::string> digest = HashFileSha256(file.disk_path);
        if (!digest.ok()) return digest.status();
        described.push_back({file.path, size, digest.value(), std::string()});
    }
    return described;
}

}  // namespace patcher::release
