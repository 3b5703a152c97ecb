#include "core/validate.h"

#include <string_view>
#include <utility>

#include "core/ed25519.h"
#include "core/key_registry.h"
#include "core/manifest.h"
#include "core/sha256.h"
#include "core/signature.h"
#include "core/text.h"

namespace patcher {
namespace {

// Both documents as they pass through the pipeline. Each file is read once: `keys` and `manifest`
// hold the bytes read, are digested and verified as such, and are replaced by exactly the content
// the verification hands back before anything parses them. The parsed header holds views into
// `keys`, so this record stays where it was built.
struct Documents {
    std::string keys;
    std::string manifest;
    std::string keys_sha256;
    std::string manifest_sha256;
    Ed25519PublicKey root{};
    std::string keys_signature;
    std::string manifest_signature;
    KeyRegistryHeader header;
    std::vector<KeyEntry> key_entries;
    ManifestHeader manifest_header;

    Documents() = default;
    Documents(const Documents&) = delete;
    Documents& operator=(const Documents&) = delete;
};

// Moves a step's value out, or hands its failure up unchanged.
template <class T>
Status Take(Result<T> result, T& value) {
    if (!result.ok()) return result.status();
    value = std::move(result).value();
    return Status::Success();
}

Status ReadAndDigest(const std::string& keys_path, const std::string& manifest_path,
                     Documents& docs) {
    Status status = Take(ReadTextFile(keys_path, "key registry"), docs.keys);
    if (!status.ok()) return status;
    status = Take(ReadTextFile(manifest_path, "manifest"), docs.manifest);
    if (!status.ok()) return status;
    docs.keys_sha256 = Sha256Hex(docs.keys);
    docs.manifest_sha256 = Sha256Hex(docs.manifest);
    return Status::Success();
}

// Read both, digest both, the root key, both signatures, and the registry verified by the root
// key, held to the line rules and its header parsed.
Status LoadVerifiedRegistry(const std::string& keys_path, const std::string& manifest_path,
                            const std::string& root_key, Documents& docs) {
    Status status = ReadAndDigest(keys_path, manifest_path, docs);
    if (status.ok()) status = Take(ParseRootKey(root_key), docs.root);
    if (status.ok()) status = Take(LoadSignature(keys_path), docs.keys_signature);
    if (status.ok()) status = Take(LoadSignature(manifest_path), docs.manifest_signature);
    if (status.ok()) {
        status = Take(VerifyDetached("key registry", docs.keys, docs.keys_signature, docs.root),
                      docs.keys);
    }
    if (status.ok()) status = CheckTextFormat(docs.keys, "key registry");
    if (status.ok()) status = Take(ParseKeyRegistryHeader(docs.keys), docs.header);
    return status;
}

const KeyEntry* FindManifestSigner(const Documents& docs, bool skip_revoked,
                                   Ed25519PublicKey& key) {
    return FindSigner(docs.key_entries, docs.manifest, docs.manifest_signature, skip_revoked, key);
}

// The manifest verified with the signer's key, held to the line rules and its header parsed.
Status LoadVerifiedManifest(const Ed25519PublicKey& key, Documents& docs) {
    Status status = Take(VerifyDetached("manifest", docs.manifest, docs.manifest_signature, key),
                         docs.manifest);
    if (status.ok()) status = CheckTextFormat(docs.manifest, "manifest");
    if (status.ok()) status = Take(ParseManifestHeader(docs.manifest), docs.manifest_header);
    return status;
}

RollbackState BaselineOf(const Documents& docs) {
    RollbackState state;
    state.keys_version = std::string(docs.header.version);
    state.keys_sha256 = docs.keys_sha256;
    state.manifest_counter = std::string(docs.manifest_header.counter);
    state.manifest_sha256 = docs.manifest_sha256;
    state.present = true;
    return state;
}

Status CheckRequiredOptions(const ValidateOptions& options) {
    if (options.manifest_path.empty())
        return Status(StatusCode::BadInput, "--manifest is required");
    if (options.keys_path.empty()) return Status(StatusCode::BadInput, "--keys is required");
    if (options.root_key.empty()) {
        return Status(StatusCode::BadInput, "a root public key is required");
    }
    if (!FileExists(options.manifest_path)) {
        return Status(StatusCode::BadInput, "manifest not found: " + options.manifest_path);
    }
    if (!FileExists(options.keys_path)) {
        return Status(StatusCode::BadInput, "key registry not found: " + options.keys_path);
    }
    return Status::Success();
}

Status CheckRegistryRollback(const ValidateOptions& options, const Documents& docs,
                             const RollbackState& stored, ValidateReport& report) {
    if (options.state_path.empty()) {
        report.notes.push_back("rollback check NOT MEASURED: no state file given (--state)");
        return Status::Success();
    }
    Status status = CheckCounter("key registry", docs.keys_sha256, stored.keys_sha256,
                                 docs.header.version, stored.keys_version);
    if (status.ok() && !stored.keys_version.empty()) report.rollback_checked = true;
    return status;
}

Status CheckManifestRollback(const ValidateOptions& options, const Documents& docs,
                             const RollbackState& stored, ValidateReport& report) {
    if (options.state_path.empty() || stored.manifest_counter.empty()) return Status::Success();
    Status status = CheckCounter("manifest", docs.manifest_sha256, stored.manifest_sha256,
                                 docs.manifest_header.counter, stored.manifest_counter);
    if (status.ok()) report.rollback_checked = true;
    return status;
}

// The `file` lines, with the installed files checked as they are parsed when an install
// directory is given, so that the first damaged file in manifest order ends the run.
Status ParseAndCheckFiles(const ValidateOptions& options, const Documents& docs,
                          ReleaseFiles& release, ValidateReport& report) {
    FileEntryCheck check;
    if (!options.dist.empty()) {
        check = [&](const FileEntry& entry) {
            Status status = CheckInstalledFile(options.dist, entry);
            if (status.ok()) ++report.files_verified;
            return status;
        };
    }
    std::vector<ShardEntry> shards;
    Status status = Take(ParseManifestShards(docs.manifest), shards);
    if (status.ok()) {
        status = options.load_shard
                     ? LoadReleaseFiles(docs.manifest, options.load_shard, check, release)
                     : Take(ParseManifestFiles(docs.manifest, check), release.files);
    }
    if (!status.ok()) return status;
    report.file_count = static_cast<std::int32_t>(release.files.size());
    report.content_checked = !options.dist.empty();
    if (!options.load_shard && !shards.empty()) {
        report.notes.push_back("shard files NOT MEASURED: no folder of shards given");
    }
    if (options.dist.empty()) {
        report.notes.push_back("content hashes NOT MEASURED: no install directory given (--dist)");
    }
    return Status::Success();
}

Status RunValidate(const ValidateOptions& options, ValidateReport& report) {
    Status status = CheckRequiredOptions(options);
    if (!status.ok()) return status;

    const std::string now = options.now.empty() ? CurrentUtcTimestamp() : options.now;
    if (!IsIsoUtc(now)) {
        return Status(StatusCode::BadInput,
                      "--now must be fixed-width ISO8601-UTC (YYYY-MM-DDTHH:MM:SSZ): " + now);
    }

    Documents docs;
    status = LoadVerifiedRegistry(options.keys_path, options.manifest_path, options.root_key, docs);
    if (status.ok()) status = CheckExpiry("key registry", docs.header.expires, now);
    if (status.ok()) status = Take(ParseKeyRegistryKeys(docs.keys), docs.key_entries);
    RollbackState stored;
    if (status.ok()) status = Take(ReadStateFile(options.state_path), stored);
    if (status.ok()) status = CheckRegistryRollback(options, docs, stored, report);
    if (!status.ok()) return status;

    Ed25519PublicKey signer_key{};
    const KeyEntry* signer = FindManifestSigner(docs, /*skip_revoked=*/false, signer_key);
    if (signer == nullptr) {
        return Status(StatusCode::BadSignature,
                      "manifest signature did not verify with ANY key in the registry (broken "
                      "signature or unknown key)");
    }
    if (signer->revoked) {
        return Status(StatusCode::RevokedKey,
                      "manifest was signed with a REVOKED key: " + std::string(signer->id));
    }
    report.signing_key_id = std::string(signer->id);

    status = LoadVerifiedManifest(signer_key, docs);
    if (!status.ok()) return status;
    report.version = std::string(docs.manifest_header.version);
    report.channel = std::string(docs.manifest_header.channel);
    report.counter = std::string(docs.manifest_header.counter);

    status = CheckExpiry("manifest", docs.manifest_header.expires, now);
    if (status.ok()) status = CheckManifestRollback(options, docs, stored, report);
    ReleaseFiles release;
    if (status.ok()) status = ParseAndCheckFiles(options, docs, release, report);
    if (!status.ok()) return status;

    if (options.with_diff) {
        report.diff =
            ComputeDiff(release.files, options.dist, options.level, options.critical_paths, {});
    }
    if (!options.expect_version.empty() && docs.manifest_header.version != options.expect_version) {
        return Status(StatusCode::BadInput, "manifest version (" + report.version +
                                                ") is not the expected version (" +
                                                options.expect_version + ")");
    }
    // The baseline moves only here, after every check has passed, and always to the documents
    // just validated.
    if (!options.state_path.empty()) return WriteStateFile(options.state_path, BaselineOf(docs));
    return Status::Success();
}

}  // namespace

Status Validate(const ValidateOptions& options, ValidateReport& report) {
    report = ValidateReport{};
    return RunValidate(options, report);
}

Status RebuildBaseline(const std::string& keys_path, const std::string& manifest_path,
                       const std::string& root_key, RollbackState& state) {
    if (keys_path.empty() || manifest_path.empty() || root_key.empty()) {
        return Status(StatusCode::BadInput,
                      "installed metadata paths and a root public key are required to rebuild "
                      "the rollback baseline");
    }
    if (!FileExists(keys_path) || !FileExists(manifest_path)) {
        return Status(StatusCode::BadInput,
                      "installed metadata is not on disk; no rollback baseline can be rebuilt");
    }
    Documents docs;
    Status status = LoadVerifiedRegistry(keys_path, manifest_path, root_key, docs);
    if (status.ok()) status = Take(ParseKeyRegistryKeys(docs.keys), docs.key_entries);
    if (!status.ok()) return status;

    Ed25519PublicKey signer_key{};
    if (FindManifestSigner(docs, /*skip_revoked=*/true, signer_key) == nullptr) {
        return Status(StatusCode::BadSignature,
                      "the installed manifest does not verify with any non-revoked registry key");
    }
    status = LoadVerifiedManifest(signer_key, docs);
    if (!status.ok()) return status;
    state = BaselineOf(docs);
    return Status::Success();
}

}  // namespace patcher
