#include "win/engine/download.h"

#include "win/engine/download_pool.h"

#include <system_error>
#include <thread>
#include <vector>

#include "core/text.h"
#include "rules/download_plan.h"
#include "rules/path_text.h"
#include "rules/resume_rules.h"
#include "win/engine/chunked_fetch.h"
#include "win/engine/delta_fetch.h"
#include "win/engine/download_pace.h"
#include "win/engine/file_transfer.h"
#include "win/engine/form_fetch.h"
#include "win/engine/partial_sweep.h"
#include "win/engine/phase_clock.h"
#include "win/engine/verified_files.h"
#include "win/platform/atomic_file.h"
#include "win/platform/disk_space.h"
#include "win/platform/known_paths.h"
#include "win/platform/paths.h"
#include "win/platform/support_log.h"
#include "win/platform/text.h"

namespace patcher::win {

using namespace rules;

namespace {

void ReportProgress(DownloadShared& shared) {
    if (shared.on_progress) shared.on_progress(shared.progress);
}

std::wstring DestinationOf(const DiffItem& item, const std::wstring& install_directory) {
    if (item.path == kPatcherManifestPath) {
        const std::wstring executable = ExecutablePath();
        return executable.empty() ? std::wstring() : executable + L".new";
    }
    return JoinPath(install_directory, Utf8ToWide(item.path));
}

DownloadCode Fail(DownloadError& error, DownloadFailure kind, std::string message,
                  DownloadCode code = DownloadCode::Failed) {
    error.diagnostic = std::move(message);
    error.fault.kind = kind;
    return code;
}

DownloadError Failure(DownloadFailure kind, std::string diagnostic) {
    DownloadError failure;
    failure.diagnostic = std::move(diagnostic);
    failure.fault.kind = kind;
    return failure;
}

DownloadCode FailTransfer(DownloadError& error, HttpError http, std::uint32_t status,
                          std::string message) {
    error.fault.http = http;
    error.fault.status = status;
    const DownloadFailure kind = http == HttpError::ProxyAuthRequired ? DownloadFailure::ProxyAuth
                                                                      : DownloadFailure::Transfer;
    return Fail(error, kind, std::move(message));
}

// The time to the body's first byte, and the body's own, of one request.
void NoteTransferPhases(std::uint64_t asked, std::uint64_t first_byte) {
    const std::uint64_t done = PhaseNow();
    if (first_byte == 0) return AddPhase(DownloadPhase::Request, done - asked);
    AddPhase(DownloadPhase::Request, first_byte - asked);
    AddPhase(DownloadPhase::Body, done - first_byte);
}

// The time since `mark`, which then moves to now.
std::uint64_t Lap(std::uint64_t& mark) {
    const std::uint64_t now = PhaseNow();
    return now - std::exchange(mark, now);
}

}  // namespace

DownloadCode FetchRest(const BodySource& source, const DiffItem& item, std::uint64_t expected,
                       Transfer& transfer, DownloadError& error) {
    for (std::uint32_t attempt = 1;; ++attempt) {
        if (transfer.have() == expected) return DownloadCode::Committed;
        const std::uint64_t offset = transfer.have();
        std::string refused;
        std::uint32_t refused_status = 0;
        const HttpAccept accept = [&](const HttpBodyStart& start) {
            switch (ClassifyBodyStart(start, offset, expected)) {
                case RangeAnswer::Append:
                    return true;
                case RangeAnswer::Restart:
                    return offset == 0 || transfer.Restart();
                case RangeAnswer::Refuse:
                    break;
            }
            refused_status = start.status;
            refused = "the server answered status " + std::to_string(start.status) +
                      " with Content-Range \"" + WideToUtf8(start.content_range) +
                      "\" to a request for bytes " + std::to_string(offset) + "-";
            return false;
        };
        const std::uint64_t asked = PhaseNow();
        std::uint64_t first_byte = 0;
        HttpResponse response = source(
            // A 200 may bring the whole file whatever was asked: cap and time fit the whole file.
            BodyRequest{Utf8ToWide(item.url), RangeHeader(offset), expected + kDownloadSlackBytes,
                        FileDeadlineMs(expected)},
            accept,
            [&](const char* bytes, std::uint32_t length) {
                if (first_byte == 0) first_byte = PhaseNow();
                return transfer.Pace(length) && transfer.Accept(bytes, length);
            },
            [&](std::uint64_t, std::uint64_t) { transfer.Progress(); });
        NoteTransferPhases(asked, first_byte);
        if (transfer.cancelled()) return DownloadCode::Failed;
        response.error = BodyOutcome(response.error, transfer.have(), expected);
        if (response.error == HttpError::Ok) return DownloadCode::Committed;
        if (!refused.empty()) {
            return FailTransfer(error, HttpError::HeadRefused, refused_status,
                                TransferFailure(item, refused));
        }
        const std::string failure = TransferFailure(item, DescribeResponse(response));
        switch (AfterFailedAttempt(transfer.shared(), attempt, response, failure,
                                   "carries on from byte " + std::to_string(transfer.have()))) {
            case NextAttempt::Retry:
                continue;
            case NextAttempt::Cancelled:
                transfer.MarkCancelled();
                return DownloadCode::Failed;
            case NextAttempt::GiveUp:
                break;
        }
        // A body longer than the file is not the file: none of it is worth keeping.
        if (response.error == HttpError::TooLarge) transfer.Drop();
        return FailTransfer(error, response.error, response.status, failure);
    }
}

namespace {

void RecordFailure(DownloadShared& shared, std::uint32_t index, DownloadCode code,
                   DownloadError failure) {
    const std::lock_guard<std::mutex> hold(shared.lock);
    // The failure reported is the one earliest in the list among those that happened.
    if (!shared.has_failure || index < shared.failure_index) {
        shared.has_failure = true;
        shared.failure_index = index;
        shared.failure_code = code;
        shared.failure = std::move(failure);
    }
}

// An exception is that worker's failure, with its own text where there is room to say it.
void RecordException(DownloadShared& shared, const std::vector<DiffItem>& items,
                     std::uint32_t index, const char* what) noexcept {
    try {
        const std::string path = index < items.size() ? items[index].path : std::string("a file");
        DownloadError failure =
            Failure(DownloadFailure::Local, "download of " + path + " failed: " + what);
        if (index < items.size()) failure.fault.path = path;
        RecordFailure(shared, index, DownloadCode::Failed, std::move(failure));
    } catch (...) {
        shared.out_of_memory = true;
    }
    shared.stop = true;
}

// A worker's phase times, added to the run's when the worker ends however it ends.
class WorkerPhases {
  public:
    explicit WorkerPhases(DownloadShared& shared) : shared_(shared), recording_(totals_) {}
    ~WorkerPhases() {
        const std::lock_guard<std::mutex> hold(shared_.lock);
        shared_.phases.Merge(totals_);
    }
    WorkerPhases(const WorkerPhases&) = delete;
    WorkerPhases& operator=(const WorkerPhases&) = delete;

  private:
    DownloadShared& shared_;
    DownloadPhaseTotals totals_;
    PhaseRecording recording_;
};

void WorkerLoop(const BodySource& source, const std::vector<DiffItem>& items,
                const std::wstring& install_directory, DownloadShared& shared) noexcept {
    const WorkerPhases phases(shared);
    std::uint32_t index = static_cast<std::uint32_t>(items.size());
    try {
        while (!IsCancelled(shared)) {
            index = shared.next_index.fetch_add(1);
            if (index >= items.size()) return;
            bool cancelled = false;
            DownloadError error;
            const DownloadCode code =
                DownloadOneFile(source, items[index], install_directory, shared, cancelled, error);
            if (cancelled) return;
            if (code != DownloadCode::Committed) {
                RecordFailure(shared, index, code, std::move(error));
                shared.stop = true;
                return;
            }
        }
    } catch (const std::exception& failure) {
        RecordException(shared, items, index, failure.what());
    } catch (...) {
        RecordException(shared, items, index, "unknown exception");
    }
}

DownloadCode Finish(DownloadCode code, DownloadError failure, std::string& error,
                    DownloadFault* fault) {
    error = std::move(failure.diagnostic);
    if (!error.empty()) LogLine("download: " + error);
    if (fault) *fault = std::move(failure.fault);
    return code;
}

// The partial files this download carries on from; every other one goes first.
void SweepPartials(const std::vector<DiffItem>& items, const std::wstring& install_directory) {
    std::vector<std::wstring> keep;
    keep.reserve(items.size());
    for (const DiffItem& item : items) {
        if (item.path == kPatcherManifestPath) continue;
        const std::wstring destination = DestinationOf(item, install_directory);
        keep.push_back(PartialPathOf(destination, item.sha256));
        if (item.delta_bytes != 0) keep.push_back(DeltaPartialPathOf(destination, item));
    }
    DeleteStalePartials(install_directory, keep);
}

// Verifies the assembled file; a file the chunk path or an earlier run helped build gets one
// plain download more when it does not verify, since the index, the old copy or the bytes left
// behind may have misled it.
DownloadCode Verify(const BodySource& source, const DiffItem& item, Transfer& transfer,
                    bool assembled, AtomicFile& file, DownloadError& error) {
    const auto mismatch = [&]() -> std::string {
        if (transfer.have() != item.size) {
            return "size mismatch after download: " + item.path + " (manifest " +
                   std::to_string(item.size) + ", got " + std::to_string(transfer.have()) + ")";
        }
        if (transfer.Digest() != item.sha256) return "sha256 mismatch after download: " + item.path;
        return std::string();
    };
    std::string wrong = mismatch();
    if (!wrong.empty() && assembled) {
        LogLine("download: " + wrong + "; the file is fetched whole");
        if (!transfer.Restart()) {
            return Fail(error, DownloadFailure::Local,
                        "cannot restart the partial file of " + item.path);
        }
        const DownloadCode fetched = FetchRest(source, item, transfer.expected(), transfer, error);
        if (fetched != DownloadCode::Committed || transfer.cancelled()) return fetched;
        wrong = mismatch();
    }
    if (wrong.empty()) return DownloadCode::Committed;
    // Bytes that do not make the manifest's file would only fail again: they go.
    file.Discard();
    return Fail(error, DownloadFailure::Mismatch, wrong, DownloadCode::Mismatch);
}

// Makes a file not yet begun from its planned delta; true when that made the whole file. A delta
// that does not leaves the file empty for the other ways, or fails it when it cannot be emptied.
bool TryDelta(const BodySource& source, const DiffItem& item, const std::wstring& destination,
              const std::wstring& install_directory, Transfer& transfer, DownloadCode& failed,
              DownloadError& error) {
    failed = DownloadCode::Committed;
    if (item.delta_bytes == 0) return false;
    if (transfer.have() != 0) {
        transfer.ExpectReuse(0);
        return false;
    }
    // The patcher's own update is staged afresh each run, and so is its delta.
    AtomicFile delta_file;
    const bool opened =
        item.path == kPatcherManifestPath
            ? delta_file.Open(destination + L".delta")
            : delta_file.OpenResumable(destination, DeltaPartialPathOf(destination, item),
                                       &transfer.shared().checked_folders);
    std::string why = "cannot open a partial file for its delta next to " + WideToUtf8(destination);
    const DecodeResult result =
        opened ? FetchAndDecodeDelta(source, item, OldCopyPath(item, install_directory), delta_file,
                                     transfer, why)
               : DecodeResult::Fallback;
    switch (result) {
        case DecodeResult::Decoded:
            LogLine("download: " + item.path + ": made from a delta of " +
                    std::to_string(item.delta_bytes) + " bytes");
            return true;
        case DecodeResult::Cancelled:
            return false;
        case DecodeResult::Fallback:
            break;
    }
    LogLine("download: " + item.path + ": " + why + "; the file is fetched without its delta");
    if (!transfer.Restart()) {
        failed =
            Fail(error, DownloadFailure::Local, "cannot restart the partial file of " + item.path);
    }
    return false;
}

// Tries the old copy and the chunk index first; true when that path wrote bytes of the file.
bool TryChunkedFetch(const BodySource& source, const DiffItem& item,
                     const std::wstring& destination, std::uint64_t form_bytes, Transfer& transfer,
                     DownloadCode& failed, DownloadError& error) {
    failed = DownloadCode::Committed;
    if (!ChunkedFetchApplies(item, destination, transfer)) return false;
    const std::uint64_t before = transfer.have();
    std::string why;
    switch (FetchChangedChunks(source, item, destination, form_bytes, transfer, why)) {
        case ChunkedResult::Done:
            break;
        case ChunkedResult::Fallback:
            LogLine("download: " + item.path + ": " + why + "; the rest is fetched whole");
            transfer.ExpectReuse(0);
            break;
        case ChunkedResult::Failed:
            failed = Fail(error, DownloadFailure::Transfer, why);
            break;
        case ChunkedResult::Cancelled:
            failed = DownloadCode::Failed;
            break;
    }
    return transfer.have() != before;
}

// The size of the file's compressed form when one is worth fetching: fewer bytes than the file.
std::uint64_t FormBytesOf(const DownloadShared& shared, const DiffItem& item,
                          std::uint64_t expected) {
    const auto form = shared.forms.find(item.sha256);
    return form != shared.forms.end() && form->second < expected ? form->second : 0;
}

// Fetches a file not yet begun as its compressed form; true when that wrote bytes of the file.
bool TryForm(const BodySource& source, const DiffItem& item, std::uint64_t form_bytes,
             Transfer& transfer) {
    if (form_bytes == 0 || transfer.have() != 0) return false;
    std::string why;
    if (FetchWholeForm(source, item, form_bytes, transfer, why) == DecodeResult::Fallback) {
        LogLine("download: " + item.path + ": " + why + "; the file's own bytes are fetched from " +
                std::to_string(transfer.have()));
    }
    return transfer.have() != 0;
}

// Every file committed is known to hold its manifest bytes: the next check need not read it.
void RecordCommitted(const PatcherConfig& config, const std::vector<const DiffItem*>& items) {
    if (items.empty() || config.data_directory.empty()) return;
    RecordedFiles records(config.data_directory, true);
    for (const DiffItem* item : items) {
        records.Committed(item->path, DestinationOf(*item, config.install_directory), item->size,
                          item->sha256);
    }
    records.Save();
}

}  // namespace

std::string TransferFailure(const DiffItem& item, const std::string& why) {
    return "download failed for " + item.path + ": " + why;
}

NextAttempt AfterFailedAttempt(DownloadShared& shared, std::uint32_t attempt,
                               const HttpResponse& response, const std::string& failure,
                               const std::string& resumes) {
    if (!IsRetryable(response.error, response.status) || attempt == kDownloadAttempts) {
        return NextAttempt::GiveUp;
    }
    LogLine("download: " + failure + "; attempt " + std::to_string(attempt + 1) + " of " +
            std::to_string(kDownloadAttempts) + " " + resumes);
    constexpr std::uint32_t kStepMs = 50;
    for (std::uint32_t waited = 0; waited < RetryPauseMs(attempt + 1); waited += kStepMs) {
        if (IsCancelled(shared)) return NextAttempt::Cancelled;
        ::Sleep(kStepMs);
    }
    return IsCancelled(shared) ? NextAttempt::Cancelled : NextAttempt::Retry;
}

bool IsCancelled(DownloadShared& shared) {
    if (shared.stop) return true;
    const std::lock_guard<std::mutex> hold(shared.lock);
    if (shared.stop) return true;
    if (shared.cancel_requested && shared.cancel_requested()) {
        shared.cancelled = true;
        shared.stop = true;
        return true;
    }
    return false;
}

bool IsReservedPath(const std::wstring& destination, std::string& reason) {
    // "C:\G2\.", "sub\..", a relative install folder, an 8.3 name or another letter case (of
    // non-ASCII letters too) reach the same file as the spelling the patcher knows its own files
    // by, so both sides are compared in one spelling.
    const auto spelling = [](const std::wstring& path) {
        return FoldPathCase(CanonicalPath(path));
    };
    // The executable never moves while it runs: one spelling serves every file of every run.
    static const std::wstring executable = spelling(ExecutablePath());
    const auto last_part = [](const std::wstring& path) {
        return FoldPathCase(LastPathPart(path));
    };
    // Asking the file system for a spelling walks the folder under Wine; most names need none.
    static const std::wstring executable_name = last_part(executable);
    const std::wstring log = LogPath();
    if (!MayBeReservedName(last_part(destination), executable_name, last_part(log))) return false;
    reason = ReservedPathReason(spelling(destination), executable, spelling(log));
    return !reason.empty();
}

bool HasEnoughSpace(const PatcherConfig& config, const CheckOutcome& outcome,
                    std::uint64_t& free_bytes, std::uint64_t& needed_bytes) {
    needed_bytes = outcome.download_bytes + kDownloadHeadroomBytes;
    free_bytes = 0;
    // A first install has no install folder yet.
    if (!FreeBytesNear(config.install_directory, free_bytes)) {
        free_bytes = 0;
        return true;
    }
    return free_bytes >= needed_bytes;
}

DownloadCode DownloadOneFile(const BodySource& source, const DiffItem& item,
                             const std::wstring& install_directory, DownloadShared& shared,
                             bool& cancelled, DownloadError& error) {
    std::uint64_t mark = PhaseNow();
    cancelled = false;
    error.fault.path = item.path;
    const std::wstring destination = DestinationOf(item, install_directory);
    if (destination.empty()) {
        return Fail(error, DownloadFailure::Local,
                    "cannot locate the running patcher to stage its update");
    }
    const bool own_executable = item.path == kPatcherManifestPath;
    std::string reason;
    if (!own_executable && IsReservedPath(destination, reason)) {
        Fail(error, DownloadFailure::RefusedDestination,
             "refusing to write manifest entry " + item.path +
                 " into the install directory: " + reason);
        LogLine("download: REFUSED " + error.diagnostic);
        return DownloadCode::Failed;
    }
    AddPhase(DownloadPhase::Prepare, Lap(mark));
    {
        const std::lock_guard<std::mutex> hold(shared.lock);
        shared.progress.current_path = item.path;
        ReportProgress(shared);
    }
    AddPhase(DownloadPhase::Progress, Lap(mark));
    // The patcher's own image is small and is staged beside the running executable, outside the
    // install folder: it is fetched whole each run.
    AtomicFile file;
    const std::wstring partial = PartialPathOf(destination, item.sha256);
    if (!(own_executable ? file.Open(destination)
                         : file.OpenResumable(destination, partial, &shared.checked_folders))) {
        if (file.link_refused()) {
            return Fail(error, DownloadFailure::RefusedDestination,
                        "refusing to download " + item.path + ": " + WideToUtf8(file.temp_path()) +
                            " is a link to another file, left alone; remove it and try again");
        }
        return Fail(error, DownloadFailure::RefusedDestination,
                    "cannot open a temporary file next to " + WideToUtf8(destination));
    }
    const std::uint64_t expected = item.size;
    Transfer transfer(shared, file, expected);
    if (!transfer.TakeOverExisting()) {
        return Fail(error, DownloadFailure::Local,
                    "cannot read the partial file " + WideToUtf8(partial));
    }
    AddPhase(DownloadPhase::Open, Lap(mark));
    // Bytes an earlier run left may have come from an old copy or a chunk index as well as from
    // the server, and either may have misled it.
    const bool carried_over = transfer.have() > 0;
    // The run's total counted a planned delta's bytes, not the file's.
    if (item.delta_bytes != 0 && item.delta_bytes < expected) {
        transfer.PlanReuse(expected - item.delta_bytes);
    }
    DownloadCode fetched = DownloadCode::Committed;
    const bool from_delta =
        TryDelta(source, item, destination, install_directory, transfer, fetched, error);
    const std::uint64_t form_bytes = FormBytesOf(shared, item, expected);
    const bool chunked =
        fetched == DownloadCode::Committed && !transfer.cancelled() &&
        TryChunkedFetch(source, item, destination, form_bytes, transfer, fetched, error);
    const bool decoded = fetched == DownloadCode::Committed && !transfer.cancelled() &&
                         TryForm(source, item, form_bytes, transfer);
    if (fetched == DownloadCode::Committed && !transfer.cancelled()) {
        fetched = FetchRest(source, item, expected, transfer, error);
    }
    if (fetched == DownloadCode::Committed && !transfer.cancelled()) {
        const PhaseTimer timer(DownloadPhase::Verify);
        fetched = Verify(source, item, transfer, from_delta || chunked || carried_over || decoded,
                         file, error);
    }
    if (fetched == DownloadCode::Committed && !transfer.cancelled() && !transfer.WriteOut()) {
        fetched =
            Fail(error, DownloadFailure::Local, "cannot write " + WideToUtf8(file.temp_path()));
    }
    transfer.Settle();
    // An empty partial would only be clutter; bytes are kept for the next attempt.
    if ((transfer.cancelled() || fetched != DownloadCode::Committed) && transfer.have() == 0)
        file.Discard();
    if (transfer.cancelled()) {
        cancelled = true;
        return DownloadCode::Failed;
    }
    if (fetched != DownloadCode::Committed) {
        // Whatever the transfer made of it, a write that found the volume full is a full disk.
        if (transfer.disk_full()) error.fault.kind = DownloadFailure::DiskFull;
        return fetched;
    }
    mark = PhaseNow();
    const bool committed = file.Commit();
    AddPhase(DownloadPhase::Commit, Lap(mark));
    if (!committed) {
        return Fail(error, DownloadFailure::Local, "cannot replace " + WideToUtf8(destination));
    }
    if (transfer.reused() > 0) {
        LogLine("download: " + item.path + ": fetched " + std::to_string(transfer.fetched()) +
                " bytes, reused " + std::to_string(transfer.reused()) + " from the old copy");
    }
    const PhaseTimer timer(DownloadPhase::Progress);
    const std::lock_guard<std::mutex> hold(shared.lock);
    if (!own_executable) shared.committed_items.push_back(&item);
    shared.progress.file_index = shared.committed++;
    shared.progress.current_path = item.path;
    ReportProgress(shared);
    return DownloadCode::Committed;
}

BodySource HttpsBodySource(const HttpClient& client) {
    return [&client](const BodyRequest& request, const HttpAccept& accept, const HttpSink& sink,
                     const HttpProgress& progress) {
        return client.Request(request, sink, progress, accept);
    };
}

DownloadCode RunDownload(const PatcherConfig& config, const CheckOutcome& outcome,
                         const DownloadProgressCallback& on_progress,
                         const DownloadCancelQuery& cancel_requested, std::string& error,
                         DownloadFault* fault, DownloadPace* pace) {
    error.clear();
    if (outcome.diff.empty() || config.offline) {
        return RunDownloadFrom(BodySource(), config, outcome, on_progress, cancel_requested, error,
                               fault, pace);
    }
    const HttpClient client;
    if (!client.has_session()) {
        return Finish(DownloadCode::Failed,
                      Failure(DownloadFailure::Local, "WinHTTP session unavailable"), error, fault);
    }
    return RunDownloadFrom(HttpsBodySource(client), config, outcome, on_progress, cancel_requested,
                           error, fault, pace);
}

DownloadCode RunDownloadFrom(const BodySource& source, const PatcherConfig& config,
                             const CheckOutcome& outcome,
                             const DownloadProgressCallback& on_progress,
                             const DownloadCancelQuery& cancel_requested, std::string& error,
                             DownloadFault* fault, DownloadPace* pace) {
    error.clear();
    if (fault) *fault = DownloadFault{};
    const std::vector<DiffItem>& items = outcome.diff;
    if (config.offline) {
        if (items.empty()) return DownloadCode::Committed;
        return Finish(DownloadCode::Failed,
                      Failure(DownloadFailure::Local, "offline mode: refusing to download"), error,
                      fault);
    }
    SweepPartials(items, config.install_directory);
    if (items.empty()) return DownloadCode::Committed;
    std::uint64_t free_bytes = 0, needed_bytes = 0;
    if (!HasEnoughSpace(config, outcome, free_bytes, needed_bytes)) {
        return Finish(DownloadCode::Failed,
                      Failure(DownloadFailure::DiskFull,
                              "not enough free space on the install volume: need " +
                                  std::to_string(needed_bytes) + " bytes, have " +
                                  std::to_string(free_bytes)),
                      error, fault);
    }
    if (const std::optional<std::string> twice = DuplicatePath(items)) {
        return Finish(DownloadCode::Ambiguous,
                      Failure(DownloadFailure::Local,
                              "manifest names the same file twice, so the download set is "
                              "ambiguous: " +
                                  *twice),
                      error, fault);
    }
    const std::uint32_t workers = DownloadWorkerCount(config.download_workers, items.size());

    DownloadShared shared;
    if (!config.base_url.empty()) shared.forms = FetchFormList(source, config.base_url, items);
    shared.progress.file_count = static_cast<std::uint32_t>(items.size());
    shared.progress.bytes_total = FetchBytes(items);
    shared.on_progress = on_progress;
    shared.cancel_requested = cancel_requested;
    DownloadPace own_pace(config.download_rate_limit);
    shared.pace = pace ? pace : &own_pace;
    if (shared.pace->Rate() != 0) {
        LogLine("download: at most " + std::to_string(shared.pace->Rate()) +
                " bytes per second for all workers together");
    }
    if (IsCancelled(shared))
        return Finish(DownloadCode::Failed,
                      Failure(DownloadFailure::None, "cancelled by the player"), error, fault);

    std::vector<std::thread> helpers;
    for (std::uint32_t i = 1; i < workers; ++i) {
        try {
            helpers.emplace_back(WorkerLoop, std::cref(source), std::cref(items),
                                 std::cref(config.install_directory), std::ref(shared));
        } catch (const std::exception&) {
            break;  // fewer workers only means a slower download
        }
    }
    WorkerLoop(source, items, config.install_directory, shared);
    for (std::thread& helper : helpers) helper.join();
    LogLine("download: time by phase over " + std::to_string(items.size()) + " file(s), " +
            std::to_string(helpers.size() + 1) + " worker(s): " + DescribePhases(shared.phases));

    RecordCommitted(config, shared.committed_items);
    if (shared.cancelled)
        return Finish(DownloadCode::Failed,
                      Failure(DownloadFailure::None, "cancelled by the player"), error, fault);
    if (shared.has_failure) {
        return Finish(shared.failure_code, std::move(shared.failure), error, fault);
    }
    if (shared.out_of_memory) {
        return Finish(DownloadCode::Failed,
                      Failure(DownloadFailure::Local, "download failed: out of memory"), error,
                      fault);
    }
    return DownloadCode::Committed;
}

}  // namespace patcher::win
