// What the window does for each event, as functions of the window state, the event's data and what
// the platform answers. Each returns the whole new state with the effects the window must carry out
// (support-log lines, the configuration changes, which thread to start, ...), so the rules of the
// window run and are tested without one. The window applies an effect record in this order: store
// the configuration changes, write the log lines, refresh controls and repaint, then run `next`.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "model/layout.h"
#include "model/window_state.h"
#include "rules/check_outcome.h"
#include "rules/download_failure.h"
#include "rules/download_progress.h"

namespace patcher::model {

// From the configuration and the platform, read by the rules.
struct WindowContext {
    CheckLevel check_level = CheckLevel::Full;  // the configuration's
    std::wstring install_directory;
    std::wstring game_executable;
    std::wstring executable_path;  // ExecutablePath()
    std::wstring log_path;         // LogPath(), empty when the log is not open
};

// Platform questions a rule may ask, in the order the rule needs them; a rule that stops earlier
// does not ask. Each must be set before a handler that uses it runs.
struct WindowPlatform {
    // ProbeWritable on a directory; false with the Win32 error.
    std::function<bool(const std::wstring& directory, std::uint32_t& error)> probe_writable;
    // HasEnoughSpace for a check result; false with the bytes needed and free.
    std::function<bool(const rules::CheckOutcome& result, std::uint64_t& free_bytes,
                       std::uint64_t& needed_bytes)>
        has_enough_space;
    // The free space for the caller at the nearest existing ancestor of a path; false when none
    // could be read.
    std::function<bool(const std::wstring& path, std::uint64_t& free_bytes)> free_space_near;
    // EnsureDirectory.
    std::function<bool(const std::wstring& path)> ensure_directory;
};

// What the window starts or does once it has applied the state.
enum class NextStep : std::int32_t {
    None = 0,
    RunCheck = 1,              // start the check thread (busy is already set)
    RunDownload = 2,           // start the download thread (busy is already set)
    ApplySelfUpdate = 3,       // ApplyAndRestart with the last result's self_update_sha256
    LaunchAndClose = 4,        // LaunchAndClose (LaunchStarting, LaunchGame, LaunchFinished)
    ConfirmInstallFolder = 5,  // read the edit field and run ConfirmInstallFolder
    DestroyWindow = 6,         // the process ends with the window
    HideWindow = 7,            // the game holds the key channel; its closing ends the process
    RunLaunch = 8,             // start the launch thread (launching is already set)
    PauseDownload = 9,         // stop every transfer, keeping the partial files; the download
                               // thread still ends through OnDownloadDone
};

struct WindowEffects {
    WindowState state;
    bool view_set = false;    // controls, caption and the whole window must be refreshed (erasing)
    bool status_set = false;  // the status region must be repainted
    bool level_to_full = false;                     // set the configuration's check level to full
    std::optional<std::wstring> install_directory;  // the folder the player chose
    std::optional<std::int32_t> progress_position;  // 0..100 for the progress holder
    std::vector<std::wstring> log;                  // support-log lines, in order
    NextStep next = NextStep::None;
};

// Starting a check: refused while busy; an install directory that cannot be written ends in
// blocked. Exposed for the window's first check; the handlers below call it themselves.
WindowEffects StartCheck(const WindowState& state, const WindowContext& context,
                         const WindowPlatform& platform);

// Starting a download of `result`'s files: refused while busy; refused with the space texts when
// the install volume is too full.
WindowEffects StartDownload(const WindowState& state, const rules::CheckOutcome& result,
                            const WindowPlatform& platform);

// The check thread's result. Repairs re-check at full level, downloads start without being asked
// (two rounds in a row at most), and only a check that finds nothing to download offers "OYNA".
WindowEffects OnCheckDone(const WindowState& state, const rules::CheckOutcome& result,
                          const WindowContext& context, const WindowPlatform& platform);

// The download thread's result. `fault` says why a failed one failed; `self_update` is the last
// check result's.
struct DownloadDone {
    rules::DownloadCode code = rules::DownloadCode::Committed;
    rules::DownloadFault fault;
    bool self_update = false;
};
// A download's end: a verifying check always follows it; a new patcher is applied first. A failed
// one shows its kind's headline and, instead of the last progress, the file and the reason. A
// download the player paused stays paused whatever it ended with, unless it finished.
WindowEffects OnDownloadDone(const WindowState& state, const DownloadDone& done,
                             const WindowContext& context, const WindowPlatform& platform);

// After ApplyAndRestart: the new patcher runs (close), or the failure's texts, clean or
// interrupted.
WindowEffects OnSelfUpdateApplied(const WindowState& state, bool applied, bool patcher_intact);

// 0..100, truncated; 0 when the total is unknown (0), 100 once done reaches the total.
std::int32_t ProgressPercent(std::uint64_t bytes_done, std::uint64_t bytes_total);
// A progress report: the snapshot as position, headline and detail.
// `rate_line` (TransferRateLine's, empty during its warm-up) ends the detail.
WindowEffects OnProgress(const WindowState& state, const rules::DownloadProgress& progress,
                         const std::wstring& rate_line = std::wstring());

// The action button. `last_result` is the shared last check result. "DURAKLAT" pauses the running
// download and "DEVAM ET" resumes it from its partial files, also before the paused thread has
// ended; neither counts as an automatic round. While a launch is under way or the
// window is hidden a click does nothing: a click queued behind the first one must not start a
// second game, whose new channel would end the first game's.
WindowEffects OnActionClick(const WindowState& state, const rules::CheckOutcome& last_result,
                            const WindowContext& context, const WindowPlatform& platform);

// LaunchAndClose, around LaunchGame on its thread: "Oyun başlatılıyor…" with the action disabled
// (nothing while a launch is already under way or the window is hidden), and what follows the
// launch thread's answer.
WindowEffects LaunchStarting(const WindowState& state);
WindowEffects LaunchFinished(const WindowState& state, const WindowContext& context, bool started,
                             bool channel_active);

// The first-install folder: refuse an empty text, an unreadable drive, less than 256 MiB free or a
// folder that cannot be made (headline only); otherwise take it and check it.
WindowEffects ConfirmInstallFolder(const WindowState& state, const std::wstring& edit_text,
                                   const WindowPlatform& platform);

// A left button released on the window's own surface. The settings panel, while open, takes the
// click first (`settings_took`: the window asked it); then a news tab (none while the panel is
// open); then a title-bar button, which acts only on a click that began on it: a press on the stage
// released over the close button is no click.
struct PointerRelease {
    TitleBarItem pressed = TitleBarItem::None;
    TitleBarItem released = TitleBarItem::None;
    bool settings_open = false;
    bool settings_took = false;
    int tab_hit = -1;  // NewsTabAt, -1 outside the tabs
    int news_tab = 0;  // the tab shown
};
enum class ReleaseAction : std::int32_t { None, ShowTab, ToggleSettings, Minimise, Close };
struct ReleaseDecision {
    ReleaseAction action = ReleaseAction::None;
    int tab = -1;  // for ShowTab: a tab other than the one shown
};
ReleaseDecision DecideRelease(const PointerRelease& release);

// News is verified with the keys of the registry a check accepted. On a first-ever start there is
// none yet: the news is fetched once more, after the first check that leaves keys behind.
class NewsRefetch {
  public:
    // A fetch starts; without keys on disk its answer cannot be verified.
    void FetchStarted(bool keys_exist) { waits_for_keys_ = !keys_exist; }
    // A check finished: true when the news must be fetched again now.
    bool DueAfterCheck(bool keys_exist) const { return waits_for_keys_ && keys_exist; }

  private:
    bool waits_for_keys_ = false;
};

}  // namespace patcher::model
