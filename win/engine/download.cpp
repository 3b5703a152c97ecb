#include "win/engine/download.h"

#include <system_error>
#include <thread>
#include <vector>

#include "core/text.h"
#include "win/engine/download_plan.h"
#include "win/platform/atomic_file.h"
#include "win/platform/cng_sha256.h"
#include "win/platform/disk_space.h"
#include "win/platform/known_paths.h"
#include "win/platform/paths.h"
#include "win/platform/support_log.h"
#include "win/platform/text.h"

namespace patcher::win {
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

// One body on its way to disk: hashed and written chunk by chunk, refused chunk by chunk once the
// run is cancelled or a write fails.
struct Transfer {
    DownloadShared& shared;
    AtomicFile& file;
    CngSha256& hasher;
    std::uint64_t written = 0;
    std::uint64_t reported = 0;
    bool cancelled = false;

    bool Accept(const char* bytes, std::uint32_t length) {
        if (IsCancelled(shared)) {
            cancelled = true;
            return false;
        }
        if (!hasher.Update(bytes, length) || !file.Write(bytes, length)) return false;
        written += length;
        return true;
    }

    void Progress(std::uint64_t received) {
        if (received <= reported) return;
        const std::lock_guard<std::mutex> hold(shared.lock);
        shared.progress.bytes_done += received - reported;
        reported = received;
        ReportProgress(shared);
    }
};

Reject Fail(std::string& error, std::string message, Reject reject = Reject::BadInput) {
    error = std::move(message);
    return reject;
}

void RecordFailure(DownloadShared& shared, std::uint32_t index, Reject reject,
                   std::string message) {
    const std::lock_guard<std::mutex> hold(shared.lock);
    // The failure reported is the one earliest in the list among those that happened.
    if (!shared.has_failure || index < shared.failure_index) {
        shared.has_failure = true;
        shared.failure_index = index;
        shared.failure_reject = reject;
        shared.failure_message = std::move(message);
    }
}

void WorkerLoop(const HttpClient& client, const std::vector<DiffItem>& items,
                const std::wstring& install_directory, DownloadShared& shared) {
    while (!IsCancelled(shared)) {
        const std::uint32_t index = shared.next_index.fetch_add(1);
        if (index >= items.size()) return;
        bool cancelled = false;
        std::string error;
        Reject reject = Reject::BadInput;
        try {
            reject =
                DownloadOneFile(client, items[index], install_directory, shared, cancelled, error);
        } catch (...) {
            error = "download of " + items[index].path + " failed: out of memory";
        }
        if (cancelled) return;
        if (reject != Reject::Ok) {
            RecordFailure(shared, index, reject, std::move(error));
            shared.stop = true;
            return;
        }
    }
}

Reject Finish(Reject reject, std::string message, std::string& error) {
    error = std::move(message);
    if (!error.empty()) LogLine("download: " + error);
    return reject;
}

}  // namespace

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
    // "C:\G2\.", "sub\..", a relative install folder or an 8.3 name reach the same file as the
    // spelling the patcher knows its own files by, so both sides are compared in one spelling.
    reason = ReservedPathReason(CanonicalPath(destination), CanonicalPath(ExecutablePath()),
                                CanonicalPath(LogPath()));
    return !reason.empty();
}

bool HasEnoughSpace(const PatcherConfig& config, const CheckOutcome& outcome,
                    std::uint64_t& free_bytes, std::uint64_t& needed_bytes) {
    needed_bytes = outcome.download_bytes + kDownloadHeadroomBytes;
    free_bytes = 0;
    // A first install has no install folder yet: ask the deepest folder that exists.
    for (std::wstring folder = config.install_directory; !folder.empty();
         folder = ParentPath(folder)) {
        if (FreeBytesForCaller(folder, free_bytes)) return free_bytes >= needed_bytes;
    }
    return true;
}

Reject DownloadOneFile(const HttpClient& client, const DiffItem& item,
                       const std::wstring& install_directory, DownloadShared& shared,
                       bool& cancelled, std::string& error) {
    cancelled = false;
    const std::wstring destination = DestinationOf(item, install_directory);
    if (destination.empty()) {
        return Fail(error, "cannot locate the running patcher to stage its update");
    }
    std::string reason;
    if (item.path != kPatcherManifestPath && IsReservedPath(destination, reason)) {
        Fail(error, "refusing to write manifest entry " + item.path +
                        " into the install directory: " + reason);
        LogLine("download: REFUSED " + error);
        return Reject::BadInput;
    }
    {
        const std::lock_guard<std::mutex> hold(shared.lock);
        shared.progress.current_path = item.path;
        ReportProgress(shared);
    }
    AtomicFile file;
    if (!file.Open(destination)) {
        return Fail(error, "cannot open a temporary file next to " + WideToUtf8(destination));
    }
    CngSha256 hasher;
    if (!hasher.ready()) return Fail(error, "CNG SHA-256 unavailable");

    const std::uint64_t expected = LeadingU64(item.size);
    Transfer transfer{shared, file, hasher};
    const HttpResponse response = client.Request(
        Utf8ToWide(item.url), L"GET", std::string(), std::wstring(),
        [&](const char* bytes, std::uint32_t length) { return transfer.Accept(bytes, length); },
        [&](std::uint64_t received, std::uint64_t) { transfer.Progress(received); },
        expected + kDownloadSlackBytes, FileDeadlineMs(expected));
    if (transfer.cancelled) {
        cancelled = true;
        return Reject::BadInput;
    }
    if (response.error != HttpError::Ok) {
        return Fail(error, "download failed for " + item.path + ": " +
                               HttpErrorName(response.error) + " (status " +
                               std::to_string(response.status) + ", os " +
                               std::to_string(response.os_error) + ")");
    }
    if (std::to_string(transfer.written) != item.size) {
        return Fail(error,
                    "size mismatch after download: " + item.path + " (manifest " + item.size +
                        ", got " + std::to_string(transfer.written) + ")",
                    Reject::ContentMismatch);
    }
    const std::string digest = hasher.Finish();
    if (digest.empty() || digest != item.sha256) {
        return Fail(error, "sha256 mismatch after download: " + item.path, Reject::ContentMismatch);
    }
    if (!file.Commit()) return Fail(error, "cannot replace " + WideToUtf8(destination));

    const std::lock_guard<std::mutex> hold(shared.lock);
    shared.progress.file_index = shared.committed++;
    shared.progress.current_path = item.path;
    ReportProgress(shared);
    return Reject::Ok;
}

Reject RunDownload(const PatcherConfig& config, const CheckOutcome& outcome,
                   const DownloadProgressCallback& on_progress,
                   const DownloadCancelQuery& cancel_requested, std::string& error) {
    error.clear();
    const std::vector<DiffItem>& items = outcome.diff;
    if (items.empty()) return Reject::Ok;
    if (config.offline) {
        return Finish(Reject::BadInput, "offline mode: refusing to download", error);
    }
    const HttpClient client;
    if (!client.has_session()) {
        return Finish(Reject::BadInput, "WinHTTP session unavailable", error);
    }
    std::uint64_t free_bytes = 0, needed_bytes = 0;
    if (!HasEnoughSpace(config, outcome, free_bytes, needed_bytes)) {
        return Finish(Reject::BadInput,
                      "not enough free space on the install volume: need " +
                          std::to_string(needed_bytes) + " bytes, have " +
                          std::to_string(free_bytes),
                      error);
    }
    if (const std::optional<std::string> twice = DuplicatePath(items, FoldPathCase)) {
        return Finish(
            Reject::BadFormat,
            "manifest names the same file twice, so the download set is ambiguous: " + *twice,
            error);
    }
    const std::uint32_t workers = DownloadWorkerCount(config.download_workers, items.size());

    DownloadShared shared;
    shared.progress.file_count = static_cast<std::uint32_t>(items.size());
    shared.progress.bytes_total = outcome.download_bytes;
    shared.on_progress = on_progress;
    shared.cancel_requested = cancel_requested;
    if (IsCancelled(shared)) return Finish(Reject::BadInput, "cancelled by the player", error);

    std::vector<std::thread> helpers;
    helpers.reserve(workers);
    for (std::uint32_t i = 1; i < workers; ++i) {
        try {
            helpers.emplace_back(WorkerLoop, std::cref(client), std::cref(items),
                                 std::cref(config.install_directory), std::ref(shared));
        } catch (const std::system_error&) {
            break;  // fewer workers only means a slower download
        }
    }
    WorkerLoop(client, items, config.install_directory, shared);
    for (std::thread& helper : helpers) helper.join();

    if (shared.cancelled) return Finish(Reject::BadInput, "cancelled by the player", error);
    if (shared.has_failure) return Finish(shared.failure_reject, shared.failure_message, error);
    return Reject::Ok;
}

}  // namespace patcher::win
