#include "tools/release/publish.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <set>
#include <system_error>
#include <unordered_map>

#include "core/binary_delta.h"
#include "core/compressed_form.h"
#include "core/news_document.h"
#include "core/release_shards.h"
#include "core/rollback_state.h"
#include "core/signature.h"
#include "core/text.h"
#include "core/validate.h"
#include "tools/release/authenticode.h"
#include "tools/release/chunk_indexes.h"
#include "tools/release/file_io.h"
#include "tools/release/game_tree.h"
#include "tools/release/manifest_document.h"
#include "tools/release/manifest_shards.h"
#include "tools/release/registry_document.h"
#include "tools/release/release_folders.h"
#include "tools/release/signing.h"

namespace patcher::release {
namespace fs = std::filesystem;
namespace {

Status Refuse(const std::string& message) {
    return Status(StatusCode::BadInput, message);
}

// Hands a failed step's status up with the step named in front, keeping its code.
Status Within(const std::string& step, const Status& status) {
    if (status.ok()) return status;
    return Status(status.code, step + ": " + status.message);
}

// The folder a release is built in, removed with its content unless it was moved into place.
// It stays private while it is incomplete and opens up only as it moves into place.
class StagingFolder {
  public:
    ~StagingFolder() {
        if (path_.empty()) return;
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    Status Create(const std::string& out) {
        std::string trimmed = out;
        while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
        const std::string parent = ParentDirectory(trimmed);
        const std::string name = fs::path(trimmed).filename().string();
        std::string pattern = parent + "/." + name + ".publish-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) {
            return Refuse("cannot create a working folder beside " + out + ": " +
                          std::strerror(errno));
        }
        path_ = pattern;
        return Status::Success();
    }
    const std::string& Root() const { return path_; }
    std::string Path(const std::string& name) const { return path_ + "/" + name; }
    // Moves the folder to out, refusing to replace anything that appeared there meanwhile.
    Status MoveTo(const std::string& out) {
        if (::chmod(path_.c_str(), kServedFolderMode) != 0) {
            return Refuse("cannot open up the release folder " + path_ + ": " +
                          std::strerror(errno));
        }
        if (::renameat2(AT_FDCWD, path_.c_str(), AT_FDCWD, out.c_str(), RENAME_NOREPLACE) != 0) {
            return Refuse("cannot move the release into place at " + out + ": " +
                          std::strerror(errno));
        }
        path_.clear();
        return Status::Success();
    }

  private:
    std::string path_;
};

struct Inputs {
    std::string now;
    ManifestValues values;
    RollbackState previous;  // the previous release's baseline; empty without one
    RegistryDraft registry;
    std::string signing_key_id;
    std::vector<GameFile> game;
    std::vector<std::pair<std::string, std::string>> extras;  // published name, bytes
};

Status ChooseCounter(const PublishOptions& options, Inputs& inputs) {
    std::uint64_t previous = 0;
    const bool has_previous = !options.previous.empty();
    if (has_previous) {
        const Status status =
            RebuildBaseline(options.previous + "/keys.txt", options.previous + "/manifest.txt",
                            options.root_key, inputs.previous);
        if (!status.ok()) return Within("previous release " + options.previous, status);
        if (!ParseU64(inputs.previous.manifest_counter, previous)) {
            return Refuse("the previous release's counter is not a usable integer");
        }
    }
    if (options.counter.empty()) {
        if (!has_previous) return Refuse("--counter or --previous is required");
        if (previous == UINT64_MAX) return Refuse("the previous release's counter cannot grow");
        inputs.values.counter = std::to_string(previous + 1);
        return Status::Success();
    }
    std::uint64_t counter = 0;
    if (!ParseU64(options.counter, counter)) {
        return Refuse("--counter must be a decimal number below 2^64");
    }
    if (has_previous && counter <= previous) {
        return Refuse("--counter " + options.counter + " is not above the previous release's " +
                      inputs.previous.manifest_counter +
                      " (patchers that installed it would refuse this one as a rollback)");
    }
    inputs.values.counter = options.counter;
    return Status::Success();
}

// The signing key must be the first listing of its public key, and valid there: that is the
// entry the patcher's signer search reaches.
Status CheckSigningKey(const PublishOptions& options, const SigningKey& key, Inputs& inputs) {
    Result<std::string> text = ReadTextFile(options.keys, "key registry");
    if (!text.ok()) return text.status();
    Result<RegistryDraft> registry = ParseRegistryDraft(text.value());
    if (!registry.ok()) return registry.status();
    inputs.registry = std::move(registry).value();
    bool revoked = false;
    const std::string public_text = EncodeKeyBase64(key.public_key());
    inputs.signing_key_id = FindRegistryKey(inputs.registry, public_text, revoked);
    if (inputs.signing_key_id.empty()) {
        return Refuse("the signing key " + public_text + " is not listed in " + options.keys);
    }
    if (revoked) {
        return Refuse("the signing key '" + inputs.signing_key_id + "' is revoked in " +
                      options.keys);
    }
    if (!FileExists(options.keys + ".sig")) {
        return Refuse(options.keys +
                      ".sig is missing: sign the registry with the root key "
                      "(garun2-release registry) first");
    }
    return Status::Success();
}

Status ReadNews(const std::string& name, const std::string& path, Inputs& inputs) {
    Result<std::string> bytes = ReadWholeFile(path, 64ull << 20);
    if (!bytes.ok()) return bytes.status();
    Result<NewsDocument> parsed = ParseNewsDocument(bytes.value());
    if (!parsed.ok()) return Within(path, parsed.status());
    inputs.extras.emplace_back(name, bytes.value());
    return Status::Success();
}

Status ReadStage(const std::string& path, Inputs& inputs) {
    Result<std::string> bytes = ReadWholeFile(path, kMaxStageArtBytes);
    if (!bytes.ok()) {
        return Refuse(bytes.status().message + " (the patcher fetches at most 2 MiB of stage art)");
    }
    // The front end shows only what decodes as JPEG; anything else would silently not appear.
    const std::string& jpeg = bytes.value();
    if (jpeg.size() < 3 || static_cast<unsigned char>(jpeg[0]) != 0xFF ||
        static_cast<unsigned char>(jpeg[1]) != 0xD8 ||
        static_cast<unsigned char>(jpeg[2]) != 0xFF) {
        return Refuse(path + " is not a JPEG picture");
    }
    inputs.extras.emplace_back("stage.jpg", jpeg);
    return Status::Success();
}

Status GatherInputs(const PublishOptions& options, const SigningKey& key, Inputs& inputs) {
    inputs.now = options.now.empty() ? CurrentUtcTimestamp() : options.now;
    if (!IsIsoUtc(inputs.now)) return Refuse("--now must be YYYY-MM-DDTHH:MM:SSZ");
    if (PathExists(options.out))
        return Refuse(options.out + " exists; a release is never overwritten");
    if (options.objects.empty() != options.objects_url.empty()) {
        return Refuse("--objects and --objects-url go together");
    }
    if (!options.objects.empty() && !options.files_url.empty()) {
        return Refuse("--files-url has no use with --objects: the objects are served at their URL");
    }
    if (!options.objects_url.empty() && options.objects_url.rfind("https://", 0) != 0) {
        return Refuse("--objects-url must be an https:// address");
    }
    const std::string files_url = !options.objects_url.empty() ? options.objects_url
                                  : options.files_url.empty()
                                      ? UrlJoin(options.base_url, kFilesFolder)
                                      : options.files_url;
    inputs.values = {options.version,
                     options.channel,
                     "0",
                     options.created.empty() ? inputs.now : options.created,
                     options.expires,
                     files_url};
    Status status = ChooseCounter(options, inputs);
    if (status.ok()) status = CheckManifestValues(inputs.values, inputs.now);
    if (status.ok()) status = CheckSigningKey(options, key, inputs);
    if (!status.ok()) return status;
    Result<std::vector<GameFile>> game = WalkGameTree(options.game);
    if (!game.ok()) return game.status();
    inputs.game = std::move(game).value();
    if (!options.announce.empty()) status = ReadNews("announce.txt", options.announce, inputs);
    if (status.ok() && !options.updates.empty()) {
        status = ReadNews("updates.txt", options.updates, inputs);
    }
    if (status.ok() && !options.stage.empty()) status = ReadStage(options.stage, inputs);
    return status;
}

Status WriteSigned(const StagingFolder& staging, const std::string& name, const std::string& bytes,
                   const SigningKey& key) {
    Result<std::string> signature = key.Sign(bytes);
    if (!signature.ok()) return signature.status();
    Status status = WriteNewFile(staging.Path(name), bytes, kServedFileMode);
    if (status.ok()) {
        status = WriteNewFile(staging.Path(name + ".sig"), signature.value(), kServedFileMode);
    }
    return status;
}

// Unsigned like the game files: each is trusted through its line in the signed manifest.
Status WriteShards(const StagingFolder& staging, const std::vector<ShardDocument>& shards) {
    if (shards.empty()) return Status::Success();
    Status status = CreateServedFolders(staging.Root(), kShardsFolder);
    for (const ShardDocument& shard : shards) {
        if (!status.ok()) break;
        status = WriteNewFile(staging.Path(PublishedShardName(shard.sha256)), shard.text,
                              kServedFileMode);
    }
    return status;
}

// Copies the game files under files/ and describes the copies, so the manifest states exactly
// the bytes that are published.
Result<std::vector<ManifestFile>> StageGameFiles(const StagingFolder& staging,
                                                 const std::vector<GameFile>& game) {
    std::vector<GameFile> copies;
    for (const GameFile& file : game) {
        const std::string relative = std::string(kFilesFolder) + "/" + file.path;
        const std::string copy = staging.Path(relative);
        Status status = CreateServedFolders(staging.Root(), ParentDirectory(relative));
        if (status.ok()) status = CopyNewFile(file.disk_path, copy, kServedFileMode);
        if (!status.ok()) return status;
        copies.push_back({file.path, copy});
    }
    return DescribeFiles(copies);
}

// Stores every game file as an object and names the object's address in its manifest line;
// `form_list` gets a line for each object that has a compressed form.
Result<std::vector<ManifestFile>> StoreGameObjects(
    const PublishOptions& options, const std::vector<GameFile>& game, PublishSummary& summary,
    std::string& form_list, std::unordered_map<std::string, std::uint64_t>& form_sizes) {
    // The first release makes the folder; its parent must exist, as a release folder's must.
    // The umask may narrow mkdir's mode, so it is set again.
    if (!PathExists(options.objects) &&
        (::mkdir(options.objects.c_str(), kServedFolderMode) != 0 ||
         ::chmod(options.objects.c_str(), kServedFolderMode) != 0)) {
        return Refuse("cannot create the objects folder " + options.objects + ": " +
                      std::strerror(errno));
    }
    Result<std::vector<ManifestFile>> files = DescribeFiles(game);
    if (!files.ok()) return files;
    std::vector<ManifestFile> described = std::move(files).value();
    std::set<std::string> listed;
    for (std::size_t i = 0; i < described.size(); ++i) {
        ManifestFile& file = described[i];
        std::uint64_t form_bytes = 0;
        const Status status =
            StoreObject(options.objects, file.path, game[i].disk_path, file.sha256, file.size,
                        options.form_level, summary.objects, form_bytes);
        if (!status.ok()) return status;
        if (form_bytes > 0 && listed.insert(file.sha256).second) {
            form_list += "zst " + file.sha256 + " " + std::to_string(form_bytes) + "\n";
            form_sizes[file.sha256] = form_bytes;
        }
        if (WantsChunkIndex(file.size)) ++summary.chunk_indexes;
        file.url = UrlJoin(options.objects_url, ObjectName(file.sha256));
    }
    return described;
}

// Stores the deltas into the release's objects from the copies of their paths that the newest
// releases beside it hold, each kept only when it is smaller than what a patcher would fetch
// otherwise (the form, or the object itself); `delta_list` gets a line for each.
Status StoreGameDeltas(const PublishOptions& options, const std::string& counter,
                       const std::vector<ManifestFile>& files,
                       const std::unordered_map<std::string, std::uint64_t>& form_sizes,
                       PublishSummary& summary, std::string& delta_list) {
    if (options.delta_releases == 0) return Status::Success();
    std::string out = options.out;
    while (out.size() > 1 && out.back() == '/') out.pop_back();
    std::vector<PublishedRelease> releases;
    const Status read = ReadReleases(ParentDirectory(out), releases);
    if (!read.ok()) {
        // Deltas only save bytes: the release is as good without them.
        summary.notes.push_back(read.message + ": no deltas are written");
        return Status::Success();
    }
    std::uint64_t number = 0;
    ParseU64(counter, number);
    for (const DeltaPair& pair :
         ChooseDeltaPairs(files, releases, number, options.delta_releases)) {
        const auto form = form_sizes.find(pair.new_sha256);
        const std::uint64_t below = form != form_sizes.end() ? form->second : pair.new_size;
        std::uint64_t bytes = 0;
        const Status status =
            StoreDelta(options.objects, pair, options.delta_level, below, summary.objects, bytes);
        if (!status.ok()) return status;
        if (bytes > 0) {
            delta_list += "delta " + pair.new_sha256 + " " + pair.old_sha256 + " " +
                          std::to_string(bytes) + "\n";
        }
    }
    return Status::Success();
}

// Where the copy of the patcher's exe that players will fetch lies; empty when there is none.
std::string PublishedPatcher(const PublishOptions& options, const StagingFolder& staging,
                             const std::vector<ManifestFile>& files) {
    if (options.objects.empty())
        return staging.Path(std::string(kFilesFolder) + "/" + kPatcherExeName);
    for (const ManifestFile& file : files) {
        if (file.path == kPatcherExeName) return options.objects + "/" + ObjectName(file.sha256);
    }
    return std::string();
}

// The check the patcher makes before it shows a news document or the stage art: the first
// non-revoked registry key that verifies it, then the news parse of the verified bytes.
Status CheckExtra(const StagingFolder& staging, const std::string& name,
                  const std::vector<KeyEntry>& registry) {
    Result<std::string> bytes = ReadWholeFile(staging.Path(name), kMaxStageArtBytes);
    if (!bytes.ok()) return bytes.status();
    Result<std::string> signature = LoadSignature(staging.Path(name));
    if (!signature.ok()) return signature.status();
    Ed25519PublicKey key{};
    if (FindSigner(registry, bytes.value(), signature.value(), /*skip_revoked=*/true, key) ==
        nullptr) {
        return Status(StatusCode::BadSignature, name + ": no non-revoked registry key verifies it");
    }
    if (name == "stage.jpg") return Status::Success();
    return ParseNewsDocument(bytes.value()).status();
}

// Players download the patcher exe and Windows judges it by its Authenticode signature; the
// patcher's own trust does not depend on it, so one without a signature that verifies is refused
// only on request.
Status CheckPatcherSignature(const PublishOptions& options, const std::string& staged,
                             PublishSummary& summary) {
    if (!PathExists(staged)) {
        if (!options.require_signed_patcher) return Status::Success();
        return Refuse(std::string("--require-signed-patcher: the game folder has no ") +
                      kPatcherExeName);
    }
    Result<std::string> bytes = ReadWholeFile(staged, 1ull << 31);
    if (!bytes.ok()) return bytes.status();
    Result<PeSignature> signature = VerifyExeSignature(staged, bytes.value(), options.ca_file);
    if (signature.ok() && signature.value() == PeSignature::Signed) return Status::Success();
    if (!signature.ok() && signature.status().code != StatusCode::BadSignature) {
        return Within(kPatcherExeName, signature.status());
    }
    // A signature that does not verify is no better than none: Windows rejects it alike.
    const std::string problem =
        signature.ok() ? std::string(kPatcherExeName) +
                             " carries no Authenticode signature (sign it with sign-exe)"
                       : std::string(kPatcherExeName) + ": " + signature.status().message;
    if (options.require_signed_patcher) return Refuse("--require-signed-patcher: " + problem);
    summary.notes.push_back(problem + "; Windows treats it as a program from an unknown publisher");
    return Status::Success();
}

Status BuildRelease(const PublishOptions& options, const SigningKey& key, Inputs& inputs,
                    StagingFolder& staging, PublishSummary& summary) {
    Status status = CopyNewFile(options.keys, staging.Path("keys.txt"), kServedFileMode);
    if (status.ok()) {
        status = CopyNewFile(options.keys + ".sig", staging.Path("keys.txt.sig"), kServedFileMode);
    }
    if (!status.ok()) return status;
    summary.into_objects = !options.objects.empty();
    std::string form_list, delta_list;
    std::unordered_map<std::string, std::uint64_t> form_sizes;
    Result<std::vector<ManifestFile>> files =
        summary.into_objects
            ? StoreGameObjects(options, inputs.game, summary, form_list, form_sizes)
            : StageGameFiles(staging, inputs.game);
    if (!files.ok()) return files.status();
    // Unsigned: they only say where a patcher may look, and what it decodes is verified against
    // the manifest like any download.
    if (summary.into_objects) {
        status = StoreGameDeltas(options, inputs.values.counter, files.value(), form_sizes, summary,
                                 delta_list);
        if (status.ok()) {
            status = WriteNewFile(staging.Path(kFormListName), form_list, kServedFileMode);
        }
        if (status.ok()) {
            status = WriteNewFile(staging.Path(kDeltaListName), delta_list, kServedFileMode);
        }
        if (!status.ok()) return status;
    }
    if (!summary.into_objects) {
        std::vector<ServedFile> served;
        for (const ManifestFile& file : files.value()) {
            served.push_back(
                {staging.Path(std::string(kFilesFolder) + "/" + file.path), file.size});
        }
        status = WriteChunkIndexes(served, kServedFileMode, summary.chunk_indexes);
        if (!status.ok()) return status;
    }
    // The published copy, whose SHA-256 the manifest states, is the one that has to be signed.
    status =
        CheckPatcherSignature(options, PublishedPatcher(options, staging, files.value()), summary);
    if (!status.ok()) return status;
    Result<ReleaseDocuments> documents =
        RenderRelease(inputs.values, files.value(), options.shards, options.base_url);
    if (!documents.ok()) return documents.status();
    status = WriteShards(staging, documents.value().shards);
    if (status.ok()) status = WriteSigned(staging, "manifest.txt", documents.value().manifest, key);
    for (const auto& [name, bytes] : inputs.extras) {
        if (status.ok()) status = WriteSigned(staging, name, bytes, key);
    }
    if (!status.ok()) return status;

    // The core's own acceptance, as a patcher that installed the previous release would run it.
    ValidateOptions validate;
    validate.manifest_path = staging.Path("manifest.txt");
    validate.keys_path = staging.Path("keys.txt");
    validate.root_key = options.root_key;
    validate.load_shard = ShardsInFolder(staging.Path(kShardsFolder));
    if (!summary.into_objects) validate.dist = staging.Path(kFilesFolder);
    validate.expect_version = options.version;
    validate.now = inputs.now;
    const std::string state_path = staging.Path(".baseline-state.txt");
    if (inputs.previous.present) {
        validate.state_path = state_path;
        status = WriteStateFile(state_path, inputs.previous);
        if (!status.ok()) return status;
    }
    ValidateReport report;
    status = Validate(validate, report);
    ::unlink(state_path.c_str());
    if (!status.ok()) return Within("the patcher would refuse this release", status);

    Result<std::string> keys_text = ReadTextFile(validate.keys_path, "key registry");
    if (!keys_text.ok()) return keys_text.status();
    Result<std::vector<KeyEntry>> registry = ParseKeyRegistryKeys(keys_text.value());
    if (!registry.ok()) return registry.status();
    for (const auto& [name, bytes] : inputs.extras) {
        status = CheckExtra(staging, name, registry.value());
        if (!status.ok()) return Within("the patcher would not show " + name, status);
    }
    summary.version = report.version;
    summary.channel = report.channel;
    summary.counter = report.counter;
    summary.signing_key_id = report.signing_key_id;
    summary.file_count = report.file_count;
    summary.shard_count = static_cast<int>(documents.value().shards.size());
    return Status::Success();
}

}  // namespace

Status Publish(const PublishOptions& options, PublishSummary& summary) {
    summary = PublishSummary();
    Result<SigningKey> key = SigningKey::LoadPem(options.signing_key);
    if (!key.ok()) return key.status();
    Inputs inputs;
    Status status = GatherInputs(options, key.value(), inputs);
    if (!status.ok()) return status;

    StagingFolder staging;
    status = staging.Create(options.out);
    if (status.ok()) status = BuildRelease(options, key.value(), inputs, staging, summary);
    if (status.ok()) status = staging.MoveTo(options.out);
    if (!status.ok()) {
        summary = PublishSummary();
        return status;
    }
    summary.published = {"keys.txt", "keys.txt.sig", "manifest.txt", "manifest.txt.sig"};
    if (summary.into_objects) {
        summary.published.push_back(kFormListName);
        summary.published.push_back(kDeltaListName);
    } else {
        summary.published.push_back(kFilesFolder);
    }
    if (summary.shard_count > 0) summary.published.push_back(kShardsFolder);
    for (const auto& extra : inputs.extras) {
        summary.published.push_back(extra.first);
        summary.published.push_back(extra.first + ".sig");
    }
    if (inputs.registry.expires < inputs.values.expires) {
        summary.notes.push_back("the key registry expires at " + inputs.registry.expires +
                                ", before the manifest; patchers refuse the release from then on "
                                "unless a new registry is published");
    }
    return Status::Success();
}

}  // namespace patcher::release
