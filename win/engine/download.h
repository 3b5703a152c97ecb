// The parallel download: the files a check listed are fetched by a small pool of workers, each body
// streamed into a partial file while it is hashed, and committed over the destination only once
// its size and SHA-256 match the manifest. A transfer that fails, is cancelled or is killed leaves
// its bytes in the partial file, and the next attempt (in this run or a later one) asks only for
// the rest. The patcher's own entry lands as "<exe>.new" beside the running executable, for the
// self-update. The first failure that survives its retries stops the pool.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/status.h"
#include "model/check_outcome.h"
#include "model/download_failure.h"
#include "model/download_phases.h"
#include "model/download_progress.h"
#include "model/patcher_config.h"
#include "win/platform/checked_folders.h"
#include "win/platform/http_client.h"

namespace patcher::win {

class DownloadPace;
class Transfer;

// Why a file, or the whole download, failed: the diagnostic for the log and the report, and the
// fault the player is told about.
struct DownloadError {
    std::string diagnostic;
    DownloadFault fault;
};

// Both run with the download's lock held: copy what is needed and return.
using DownloadProgressCallback = std::function<void(const DownloadProgress&)>;
using DownloadCancelQuery = std::function<bool()>;

// Shared by the workers of one run. Everything but the atomics is read and written under `lock`.
struct DownloadShared {
    std::mutex lock;
    DownloadProgress progress;
    std::uint32_t committed = 0;
    bool has_failure = false;
    std::uint32_t failure_index = 0;
    DownloadCode failure_code = DownloadCode::Committed;
    DownloadError failure;
    DownloadPhaseTotals phases;  // every worker's, added as it ends
    // The game files committed, for the verified-file records.
    std::vector<const DiffItem*> committed_items;
    CheckedFolders checked_folders;  // the folders files were written into, examined once
    // The compressed forms' sizes by SHA-256, set before the workers start and only read after.
    std::unordered_map<std::string, std::uint64_t> forms;
    // One delta decodes at a time: it holds the old copy and a window as large as the new file.
    std::mutex delta_decode;
    std::atomic<std::uint32_t> next_index{0};
    std::atomic<bool> stop{false};
    std::atomic<bool> cancelled{false};
    // A worker's exception could not even be recorded as its failure.
    std::atomic<bool> out_of_memory{false};
    DownloadProgressCallback on_progress;
    DownloadCancelQuery cancel_requested;
    DownloadPace* pace = nullptr;  // the run's speed limit; none without it
};

// One GET of a file's body, or of the rest of it when `headers` asks for a range.
struct BodyRequest {
    std::wstring url;
    std::wstring headers;
    std::uint64_t cap = 0;
    std::uint64_t deadline_ms = 0;
};
// Where bodies come from: HTTPS through the run's WinHTTP session, or a test's stand-in.
using BodySource = std::function<HttpResponse(const BodyRequest&, const HttpAccept&,
                                              const HttpSink&, const HttpProgress&)>;

// Bodies fetched over HTTPS through `client`, which must outlive the source.
BodySource HttpsBodySource(const HttpClient& client);

// Fetches what `transfer` still lacks of `expected` bytes from `item.url`, carrying on from what it
// has in up to kDownloadAttempts attempts.
DownloadCode FetchRest(const BodySource& source, const DiffItem& item, std::uint64_t expected,
                       Transfer& transfer, DownloadError& error);

// Without `pace` the run keeps to config.download_rate_limit; with it, to whatever rate the
// caller gives it meanwhile.
DownloadCode RunDownload(const PatcherConfig& config, const CheckOutcome& outcome,
                         const DownloadProgressCallback& on_progress,
                         const DownloadCancelQuery& cancel_requested, std::string& error,
                         DownloadFault* fault = nullptr, DownloadPace* pace = nullptr);

// RunDownload with the bodies taken from `source`.
DownloadCode RunDownloadFrom(const BodySource& source, const PatcherConfig& config,
                             const CheckOutcome& outcome,
                             const DownloadProgressCallback& on_progress,
                             const DownloadCancelQuery& cancel_requested, std::string& error,
                             DownloadFault* fault = nullptr, DownloadPace* pace = nullptr);

// One file, in at most kDownloadAttempts attempts, carrying on from its partial file.
DownloadCode DownloadOneFile(const BodySource& source, const DiffItem& item,
                             const std::wstring& install_directory, DownloadShared& shared,
                             bool& cancelled, DownloadError& error);

// True once the pool must wind down; asks the player's cancel query otherwise.
bool IsCancelled(DownloadShared& shared);

// Waits before the given attempt; false when the run winds down meanwhile.
bool PauseBeforeAttempt(DownloadShared& shared, std::uint32_t attempt);

// The destination is one of the patcher's own files (its executable and self-update names, its
// settings file, its open support log and the log's rotated copies).
bool IsReservedPath(const std::wstring& destination, std::string& reason);

// Room for the download plus 256 MiB on the install volume. An empty install directory or a failed
// query counts as enough (free stays 0).
bool HasEnoughSpace(const PatcherConfig& config, const CheckOutcome& outcome,
                    std::uint64_t& free_bytes, std::uint64_t& needed_bytes);

}  // namespace patcher::win
