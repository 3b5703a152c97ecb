#include "win/engine/check.h"

#include <windows.h>

#include <string_view>
#include <vector>

#include "core/rollback_state.h"
#include "core/text.h"
#include "core/validate.h"
#include "rules/accepted_release.h"
#include "rules/game_exe_match.h"
#include "rules/player_message.h"
#include "win/engine/delta_fetch.h"
#include "win/engine/metadata_sync.h"
#include "win/engine/release_paths.h"
#include "win/engine/release_promotion.h"
#include "win/engine/shard_cache.h"
#include "win/engine/verified_files.h"
#include "win/platform/atomic_file.h"
#include "win/platform/known_paths.h"
#include "win/platform/paths.h"
#include "win/platform/support_log.h"
#include "win/platform/text.h"

namespace patcher::win {

using namespace rules;

namespace {

struct CheckDirectories {
    std::wstring staging;
    std::wstring accepted;
    std::wstring state;
};

// Ends the check: the player always gets the sentence for the code the outcome ends with.
void Stop(CheckOutcome& outcome, StatusCode code) {
    outcome.code = code;
    outcome.player = PlayerMessage(code);
}

void StopWithDiagnostic(CheckOutcome& outcome, StatusCode code, std::string diagnostic) {
    outcome.diagnostic = std::move(diagnostic);
    Stop(outcome, code);
}

// Converts the keys and manifest paths of a release set for the core.
bool CoreReleasePaths(const std::wstring& directory, std::string& keys, std::string& manifest,
                      CheckOutcome& outcome) {
    const ReleasePaths paths = ReleasePathsOf(directory);
    if (ToCorePath(paths.keys, keys, outcome.diagnostic) &&
        ToCorePath(paths.manifest, manifest, outcome.diagnostic)) {
        return true;
    }
    Stop(outcome, StatusCode::BadInput);
    return false;
}

// A lost state file would turn rollback protection off; it is rebuilt from the accepted set.
bool RebuildStateIfMissing(const PatcherConfig& config, const CheckDirectories& dirs,
                           const std::string& state_path, CheckOutcome& outcome) {
    if (PathExists(dirs.state) || !IsReleaseComplete(dirs.accepted)) return true;
    std::string keys, manifest;
    if (!CoreReleasePaths(dirs.accepted, keys, manifest, outcome)) return false;
    RollbackState state;
    const Status rebuilt = RebuildBaseline(keys, manifest, config.root_key, state);
    if (!rebuilt.ok()) {
        StopWithDiagnostic(outcome, rebuilt.code,
                           "the state file is missing and the installed metadata it would be "
                           "rebuilt from does not verify: " +
                               rebuilt.message);
        return false;
    }
    const Status written = WriteStateFile(state_path, state);
    if (!written.ok()) {
        StopWithDiagnostic(outcome, written.code, written.message);
        return false;
    }
    outcome.state_rebuilt = true;
    return true;
}

// The fresh set from the server, else the accepted one. Empty when there is neither.
std::wstring ChooseSource(const PatcherConfig& config, const CheckDirectories& dirs,
                          CheckOutcome& outcome) {
    bool unreachable = false;
    if (config.offline) {
        outcome.diagnostic = "offline mode: network not attempted";
    } else {
        const HttpClient client;
        std::string error;
        if (!client.has_session()) {
            outcome.diagnostic = "WinHTTP session unavailable";
        } else if (!SyncMetadata(client, config.base_url, dirs.staging, error,
                                 outcome.fetch_error)) {
            outcome.diagnostic = error.empty() ? "WinHTTP session unavailable" : error;
            unreachable = true;
        } else {
            outcome.network = true;
            outcome.source = CheckSource::Network;
            return dirs.staging;
        }
    }
    if (IsReleaseComplete(dirs.accepted)) {
        outcome.source = CheckSource::Local;
        return dirs.accepted;
    }
    outcome.source = CheckSource::None;
    if (outcome.diagnostic.empty()) outcome.diagnostic = "no stored metadata and no connection";
    Stop(outcome, StatusCode::BadInput);
    if (outcome.fetch_error == HttpError::ProxyAuthRequired) {
        outcome.player = ProxyAuthPlayerMessage();
    } else if (unreachable) {
        outcome.player = UnreachablePlayerMessage();
    }
    return std::wstring();
}

// The shards are loaded here already, so a release whose shards cannot be had or do not match
// never moves the rollback state nor becomes the accepted set.
bool ValidateSource(const PatcherConfig& config, const std::wstring& source,
                    const std::string& state_path, ShardCache& shards, CheckOutcome& outcome) {
    ValidateOptions options;
    options.load_shard = shards.Loader();
    if (!CoreReleasePaths(source, options.keys_path, options.manifest_path, outcome)) return false;
    options.root_key = config.root_key;
    options.state_path = state_path;
    options.now = config.now;
    options.expect_version = config.expected_version;
    ValidateReport report;
    const Status status = Validate(options, report);
    outcome.version = report.version;
    outcome.channel = report.channel;
    outcome.files = static_cast<std::uint32_t>(report.file_count);
    outcome.code = status.code;
    outcome.player = PlayerMessage(status.code);
    if (!status.ok()) {
        StopWithDiagnostic(outcome, status.code, status.message);
        return false;
    }
    return true;
}

// Shards of earlier releases go; the log says what this check had to fetch.
void KeepListedShards(const LoadedRelease& release, const ShardCache& shards) {
    Result<std::vector<ShardEntry>> listed = ParseManifestShards(*release.manifest_text);
    if (!listed.ok()) return;
    shards.KeepOnly(listed.value());
    if (!listed.value().empty()) {
        LogLine("check: the release lists " + std::to_string(listed.value().size()) +
                " shard(s) of " + std::to_string(release.files().size()) + " files; " +
                std::to_string(shards.fetched()) + " fetched (" +
                std::to_string(shards.fetched_bytes()) + " bytes), the others kept from earlier");
    }
}

void SummariseDiff(CheckOutcome& outcome) {
    for (const DiffItem& item : outcome.diff) {
        outcome.download_bytes += item.size;
        outcome.fetch_bytes += item.size;
        if (item.path == kPatcherManifestPath) {
            outcome.self_update = true;
            outcome.self_update_sha256 = item.sha256;
        }
    }
}

void LogGameExeFindings(const std::string& normalised, std::size_t entries,
                        const CheckOutcome& outcome) {
    if (outcome.game_exe_in_manifest && !outcome.game_exe_on_disk && outcome.diff.empty()) {
        LogLine("check: the manifest contains " + outcome.game_exe_manifest_path +
                " and reports nothing to download, but the file is not on disk");
    }
    if (!outcome.game_exe_in_manifest) {
        std::string line = "check: the release has no entry at " + normalised +
                           ", which is where OYNA starts the game; " + std::to_string(entries) +
                           " files in the manifest";
        if (!outcome.game_exe_same_name_path.empty()) {
            line += "; a file of that name IS present at " + outcome.game_exe_same_name_path;
        }
        LogLine(line);
    }
}

void CompareWithDisk(const PatcherConfig& config, const LoadedRelease& release,
                     const std::string& install_directory, const std::string& self_path,
                     CheckOutcome& outcome) {
    RecordedFiles records(config.data_directory, !config.hash_every_file);
    outcome.diff = ComputeDiff(release.files(), install_directory, config.check_level,
                               config.critical_paths, config.user_owned_paths,
                               DiffSelfMapping{kPatcherManifestPath, self_path}, 0, &records);
    SummariseDiff(outcome);
    // What is to be fetched is no longer what was recorded; paths the release dropped go too.
    std::vector<std::string_view> listed;
    listed.reserve(release.files().size());
    for (const FileEntry& entry : release.files()) listed.push_back(entry.path);
    records.KeepOnly(std::move(listed));
    for (DiffItem& item : outcome.diff) {
        // The copy a delta may start from is often the last release's file, recorded as verified.
        if (item.reason != DiffReason::Missing) {
            item.old_sha256 =
                records.DigestOf(item.path, item.path == kPatcherManifestPath
                                                ? self_path
                                                : InstalledFilePath(install_directory, item.path));
        }
        records.Forget(item.path);
    }
    records.Save();
    if (records.vouched() != 0) {
        LogLine("check: " + std::to_string(records.vouched()) +
                " file(s) taken as verified from their records, unread");
    }

    const std::string game_exe = WideToUtf8(config.game_executable);
    const GameExeMatch match = MatchGameExe(release.files(), game_exe);
    outcome.game_exe_in_manifest = match.in_manifest;
    outcome.game_exe_manifest_path = match.manifest_path;
    outcome.game_exe_same_name_path = match.same_name_path;
    outcome.game_exe_on_disk =
        PathExists(JoinPath(config.install_directory, config.game_executable));
    LogGameExeFindings(NormaliseGameExe(game_exe), release.files().size(), outcome);
}

}  // namespace

void CheckRelease(const PatcherConfig& config, CheckOutcome& outcome) {
    outcome = CheckOutcome();
    const CheckDirectories dirs{JoinPath(config.data_directory, L"pending"),
                                JoinPath(config.data_directory, L"current"),
                                JoinPath(config.data_directory, L"state.txt")};
    if (!EnsureDirectory(config.data_directory)) {
        return StopWithDiagnostic(
            outcome, StatusCode::BadInput,
            "cannot create data directory " + WideToUtf8(config.data_directory));
    }
    // The running executable is compared as the core sees it too: a path naming another file would
    // make the patcher look missing and be offered as a self-update at every start.
    std::string state_path, install_directory, self_path;
    if (!ToCorePath(dirs.state, state_path, outcome.diagnostic) ||
        !ToCorePath(config.install_directory, install_directory, outcome.diagnostic) ||
        !ToCorePath(ExecutablePath(), self_path, outcome.diagnostic)) {
        return Stop(outcome, StatusCode::BadInput);
    }
    if (!RebuildStateIfMissing(config, dirs, state_path, outcome)) return;
    const std::wstring source = ChooseSource(config, dirs, outcome);
    if (source.empty()) return;
    ShardCache shards(config.data_directory, !config.offline);
    if (!ValidateSource(config, source, state_path, shards, outcome)) return;

    if (outcome.source == CheckSource::Network && !PromoteRelease(dirs.staging, dirs.accepted)) {
        return StopWithDiagnostic(
            outcome, StatusCode::BadInput,
            "cannot store the accepted metadata under " + WideToUtf8(dirs.accepted));
    }
    std::string keys, manifest;
    if (!CoreReleasePaths(dirs.accepted, keys, manifest, outcome)) return;
    LoadedRelease release;
    std::string error;
    StatusCode code = StatusCode::BadInput;
    if (!AcceptManifest(config.root_key, keys, manifest, shards.Loader(), release, error, code)) {
        return StopWithDiagnostic(outcome, code, error);
    }
    KeepListedShards(release, shards);
    CompareWithDisk(config, release, install_directory, self_path, outcome);
    if (outcome.network && !outcome.diff.empty()) {
        const HttpClient client;
        if (client.has_session()) {
            PlanReleaseDeltas(HttpsBodySource(client), config.base_url, config.install_directory,
                              outcome);
        }
    }

    outcome.may_launch = true;
    outcome.offer_play_anyway = !outcome.network;
    if (outcome.diagnostic.empty()) outcome.diagnostic = "manifest accepted";
    outcome.code = StatusCode::Ok;
    outcome.player = PlayerMessage(StatusCode::Ok);
}

void RunCheck(const PatcherConfig& config, CheckOutcome& outcome) {
    CheckRelease(config, outcome);
    LogLine("check: code=" + std::to_string(static_cast<int>(outcome.code)) + " source=" +
            CheckSourceName(outcome.source) + " network=" + (outcome.network ? "yes" : "no") +
            " version=" + outcome.version + " files=" + std::to_string(outcome.files) +
            " to-download=" + std::to_string(outcome.diff.size()) +
            " game-exe-in-manifest=" + (outcome.game_exe_in_manifest ? "yes" : "no") +
            " game-exe-on-disk=" + (outcome.game_exe_on_disk ? "yes" : "no") +
            " :: " + outcome.diagnostic);
}

}  // namespace patcher::win
