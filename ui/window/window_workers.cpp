#include "ui/window/window_workers.h"

#include <utility>

#include "rules/player_message.h"
#include "ui/window/worker_thread.h"
#include "win/engine/check.h"
#include "win/engine/download.h"
#include "win/launch/launch_game.h"
#include "win/platform/support_log.h"

namespace patcher::ui {

using namespace model;
using namespace rules;
using namespace win;

namespace {

constexpr int kPostAttempts = 200;
constexpr DWORD kPostRetryMs = 50;

CheckOutcome FailedCheck(const std::string& diagnostic) {
    CheckOutcome outcome;
    outcome.code = StatusCode::BadInput;
    outcome.diagnostic = diagnostic;
    outcome.player = PlayerMessage(StatusCode::BadInput);
    return outcome;
}

void FinishCheck(WindowShared& shared, CheckOutcome outcome) {
    {
        const std::lock_guard<std::mutex> guard(shared.lock);
        shared.last_check = std::move(outcome);
    }
    shared.Post(kMsgCheckDone);
}

void FinishDownload(WindowShared& shared, DownloadCode code, DownloadFault fault) {
    {
        const std::lock_guard<std::mutex> guard(shared.lock);
        shared.download_code = code;
        shared.download_fault = std::move(fault);
    }
    shared.Post(kMsgDownloadDone);
}

void FinishLaunch(WindowShared& shared, bool started, bool channel_active) {
    {
        const std::lock_guard<std::mutex> guard(shared.lock);
        shared.launch_started = started;
        shared.launch_channel_active = started && channel_active;
    }
    shared.Post(kMsgLaunchDone);
}

}  // namespace

CheckOutcome WindowShared::LastCheck() {
    return ReadLastCheck([](const CheckOutcome& check) { return check; });
}

DownloadProgress WindowShared::Progress() {
    const std::lock_guard<std::mutex> guard(lock);
    return progress;
}

DownloadDone WindowShared::Download() {
    DownloadDone done;
    {
        const std::lock_guard<std::mutex> guard(lock);
        done.code = download_code;
        done.fault = download_fault;
        done.self_update = last_check.self_update;
    }
    return done;
}

std::string WindowShared::StageArt() {
    const std::lock_guard<std::mutex> guard(lock);
    return news.stage_jpeg;
}

std::pair<bool, bool> WindowShared::Launch() {
    const std::lock_guard<std::mutex> guard(lock);
    return {launch_started, launch_channel_active};
}

// A full queue makes PostMessageW fail, so try again for a while: without the message the window
// waits for ever. Gone windows answer ERROR_INVALID_WINDOW_HANDLE, which no retry mends.
void WindowShared::Post(UINT message) const {
    for (int attempt = 0; attempt < kPostAttempts; ++attempt) {
        if (PostMessageW(window, message, 0, 0)) return;
        if (!IsWindow(window)) return;
        Sleep(kPostRetryMs);
    }
    LogLine("window: a worker's message could not be posted");
}

// A failed post lets the next report try.
void WindowShared::PostProgress() {
    if (progress_gate.Claim() && !PostMessageW(window, kMsgProgress, 0, 0)) progress_gate.Release();
}

void StartCheckWorker(const std::shared_ptr<WindowShared>& shared, const PatcherConfig& config) {
    const bool started = StartWorkerThread("check", [shared, config] {
        CheckOutcome outcome;
        try {
            RunCheck(config, outcome);
        } catch (...) {
            outcome = FailedCheck("the check stopped unexpectedly");
        }
        FinishCheck(*shared, std::move(outcome));
    });
    if (!started) FinishCheck(*shared, FailedCheck("the check thread could not start"));
}

void StartDownloadWorker(const std::shared_ptr<WindowShared>& shared, const PatcherConfig& config) {
    {
        const std::lock_guard<std::mutex> guard(shared->lock);
        shared->progress = DownloadProgress{};
    }
    shared->pause_requested = false;
    const bool started = StartWorkerThread("download", [shared, config] {
        const CheckOutcome result = shared->LastCheck();
        // Runs with the download's own lock held: copy, leave the window lock, then post.
        const DownloadProgressCallback on_progress = [shared](const DownloadProgress& progress) {
            {
                const std::lock_guard<std::mutex> guard(shared->lock);
                shared->progress = progress;
            }
            shared->PostProgress();
        };
        // RunDownload logs its own diagnostic.
        std::string error;
        DownloadFault fault;
        fault.kind = DownloadFailure::Local;
        DownloadCode code = DownloadCode::Failed;
        try {
            const DownloadCancelQuery paused = [shared] { return shared->pause_requested.load(); };
            code = RunDownload(config, result, on_progress, paused, error, &fault, &shared->pace);
        } catch (...) {
            LogLine("download: stopped unexpectedly");
        }
        FinishDownload(*shared, code, std::move(fault));
    });
    if (!started) {
        LogLine("download: the download thread could not start");
        DownloadFault fault;
        fault.kind = DownloadFailure::Local;
        FinishDownload(*shared, DownloadCode::Failed, std::move(fault));
    }
}

void StartNewsWorker(const std::shared_ptr<WindowShared>& shared, const PatcherConfig& config) {
    StartWorkerThread("news", [shared, config] {
        NewsBundle bundle = FetchNews(config.base_url, config.root_key, AcceptedKeysPath(config));
        if (bundle.announce.items.empty() && bundle.updates.items.empty() &&
            bundle.stage_jpeg.empty())
            return;
        {
            const std::lock_guard<std::mutex> guard(shared->lock);
            shared->news = std::move(bundle);
        }
        shared->Post(kMsgNews);
    });
}

void StartLaunchWorker(const std::shared_ptr<WindowShared>& shared, const PatcherConfig& config,
                       const std::shared_ptr<KeyChannel>& channel) {
    const bool started = StartWorkerThread("launch", [shared, config, channel] {
        LaunchReport report;
        std::string diagnostic;
        bool launched = false;
        try {
            launched = LaunchGame(config, *channel, report, diagnostic);
        } catch (...) {
            LogLine("launch: stopped unexpectedly");
        }
        FinishLaunch(*shared, launched, report.channel_active);
    });
    if (!started) FinishLaunch(*shared, false, false);
}

}  // namespace patcher::ui
