// The window's worker threads: the check, the download, the news fetch and the launch. Each runs
// on a thread nobody waits for, writes its result into the shared record under the window lock and
// posts one payload-free message; the window reads the record when the message arrives.
#pragma once

#include <windows.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "model/post_gate.h"
#include "model/window_handlers.h"
#include "rules/check_outcome.h"
#include "rules/download_progress.h"
#include "rules/patcher_config.h"
#include "win/engine/download_pace.h"
#include "win/engine/news_feed.h"
#include "win/launch/key_channel.h"

namespace patcher::ui {

inline constexpr UINT kMsgCheckDone = WM_APP + 1;
inline constexpr UINT kMsgProgress = WM_APP + 2;
inline constexpr UINT kMsgDownloadDone = WM_APP + 3;
inline constexpr UINT kMsgNews = WM_APP + 4;
inline constexpr UINT kMsgChannelClosed = WM_APP + 5;
inline constexpr UINT kMsgLaunchDone = WM_APP + 6;

// What the workers hand to the window. Workers hold it too, so a worker that finishes after the
// window is gone writes into memory that still exists and posts to a window that no longer does.
struct WindowShared {
    // Held only for copies: nothing is called, shown or posted while it is held.
    std::mutex lock;
    HWND window = nullptr;  // set before the first worker starts, never changed
    rules::CheckOutcome last_check;
    rules::DownloadCode download_code = rules::DownloadCode::Committed;
    rules::DownloadFault download_fault;
    rules::DownloadProgress progress;
    win::NewsBundle news;
    model::PostGate progress_gate;
    bool launch_started = false;
    bool launch_channel_active = false;
    // The player paused: the running download winds down and keeps its partial files. Read by the
    // download's cancel query, which runs under the download's own lock, so not under this one.
    std::atomic<bool> pause_requested{false};
    // Every download of the window keeps to it; the settings row changes it while one runs.
    win::DownloadPace pace;

    // Copies taken under the lock, for the window thread. `read` picks what it needs of the last
    // check, so a caller after one field does not copy the whole outcome and its diff.
    template <class Read>
    auto ReadLastCheck(Read read) {
        const std::lock_guard<std::mutex> guard(lock);
        return read(static_cast<const rules::CheckOutcome&>(last_check));
    }
    rules::CheckOutcome LastCheck();
    rules::DownloadProgress Progress();
    model::DownloadDone Download();
    std::pair<bool, bool> Launch();  // started, channel active
    std::string StageArt();

    // A worker's last word; see the definition for why it may take a while.
    void Post(UINT message) const;
    // Progress is coalesced: at most one message waiting.
    void PostProgress();
};

// Each starter reports a thread that would not start as that worker's failure, so the window
// never waits for a message that cannot come.
void StartCheckWorker(const std::shared_ptr<WindowShared>& shared,
                      const rules::PatcherConfig& config);
void StartDownloadWorker(const std::shared_ptr<WindowShared>& shared,
                         const rules::PatcherConfig& config);
// Posts only when something was fetched and verified.
void StartNewsWorker(const std::shared_ptr<WindowShared>& shared,
                     const rules::PatcherConfig& config);
// Runs LaunchGame, which fetches the first key over HTTPS before it returns, off the window thread.
void StartLaunchWorker(const std::shared_ptr<WindowShared>& shared,
                       const rules::PatcherConfig& config,
                       const std::shared_ptr<win::KeyChannel>& channel);

}  // namespace patcher::ui
