#include "model/window_handlers.h"
#include "model/download_failure_text.h"
#include "rules/download_plan.h"
#include "rules/error_text.h"

#include "model/format_size.h"
#include "model/window_texts.h"
#include "rules/player_message.h"
#include "rules/wide_text.h"

namespace patcher::model {

using namespace rules;

namespace {

constexpr std::uint32_t kMaxAutomaticRounds = 2;

std::wstring Decimal(std::uint64_t value) {
    return std::to_wstring(value);
}

WindowEffects Unchanged(const WindowState& state) {
    WindowEffects e;
    e.state = state;
    return e;
}

void View(WindowEffects& e, WindowView view, ActionButton action, bool offer_play_anyway = false) {
    SetView(e.state, view, action, offer_play_anyway);
    e.view_set = true;
}

void Status(WindowEffects& e, Rgb dot, std::wstring headline, std::wstring detail) {
    SetStatus(e.state, dot, std::move(headline), std::move(detail));
    e.status_set = true;
}

void Headline(WindowEffects& e, std::wstring headline) {
    e.state.headline = std::move(headline);
    e.status_set = true;
}

// Blocked with "TEKRAR DENE": where every refusal that needs the player ends.
void Block(WindowEffects& e) {
    View(e, WindowView::Blocked, ActionButton::Retry);
}

// Back to the main view with the button waiting, before a check or download is started.
void Wait(WindowEffects& e) {
    View(e, WindowView::Main, ActionButton::Wait);
}

// StartCheck on an effect record already under way; true when the check thread is to start.
bool ChainCheck(WindowEffects& e, const std::wstring& install_directory,
                const WindowPlatform& platform) {
    if (e.state.busy) return false;
    std::uint32_t error = 0;
    if (!platform.probe_writable(install_directory, error)) {
        e.log.push_back(WithError(L"install directory is not writable", error, L"win32 error") +
                        L": " + install_directory);
        Block(e);
        Status(e, kDotRed, kTextNotWritable, kTextMoveThePatcher);
        return false;
    }
    e.state.busy = true;
    // A handler that already said what this check is for (a repair, say) keeps its words.
    if (!e.status_set) Status(e, kDotAmber, kTextChecking, std::wstring());
    e.state.action_enabled = false;
    e.view_set = true;  // the button's enabled state changed
    e.next = NextStep::RunCheck;
    return true;
}

// A re-check at full level that the next check result turns into a download.
void ChainCheckThenDownload(WindowEffects& e, const WindowContext& context,
                            const WindowPlatform& platform) {
    e.state.download_after_check = ChainCheck(e, context.install_directory, platform);
}

void ChainFullCheckThenDownload(WindowEffects& e, const WindowContext& context,
                                const WindowPlatform& platform) {
    e.level_to_full = true;
    ChainCheckThenDownload(e, context, platform);
}

std::wstring DownloadHeadline(bool patcher_only_excluded, ActionButton kind, std::uint64_t bytes) {
    if (patcher_only_excluded) return kTextUpdateDownloading;
    const std::wstring size = FormatSize(bytes);
    if (kind == ActionButton::Install) return kTextFirstInstallLead + size + kTextFirstInstallTail;
    if (kind == ActionButton::Repair) return kTextDamagedLead + size + kTextDamagedTail;
    return kTextUpdateLead + size;
}

void ChainDownload(WindowEffects& e, const CheckOutcome& result, const WindowPlatform& platform) {
    if (e.state.busy) return;
    std::uint64_t free_bytes = 0, needed_bytes = 0;
    if (!platform.has_enough_space(result, free_bytes, needed_bytes)) {
        e.log.push_back(L"download refused before it started: need " + Decimal(needed_bytes) +
                        L" bytes, have " + Decimal(free_bytes));
        Block(e);
        Status(e, kDotRed, kTextNoSpaceLead + FormatSize(needed_bytes) + kTextNoSpaceTail,
               kTextNeeded + FormatSize(needed_bytes) + kTextFree + FormatSize(free_bytes));
        return;
    }
    e.state.busy = true;
    e.state.paused = false;
    e.state.resume_on_stop = false;
    e.state.bytes_left = result.fetch_bytes;
    View(e, WindowView::Downloading, e.state.can_pause ? ActionButton::Pause : ActionButton::Wait);
    e.progress_position = 0;
    // A handler's headline describes this download and stays while the files come in.
    if (!e.status_set) {
        Status(
            e, kDotAmber, DownloadHeadline(false, DecideAction(result, false), result.fetch_bytes),
            FormatSize(result.fetch_bytes) + kTextDot + Decimal(result.diff.size()) + kTextFiles);
    }
    e.next = NextStep::RunDownload;
}

void OnCheckFailed(WindowEffects& e, const CheckOutcome& r) {
    View(e, WindowView::ConnectionError, ActionButton::Retry, r.offer_play_anyway);
    const std::wstring player = WidenUtf8(r.player);
    if (r.network || r.fetch_error == HttpError::ProxyAuthRequired) {
        // The server, or a proxy on the way to it, answered: its refusal is the whole story.
        Status(e, kDotRed, player, std::wstring());
    } else {
        // Where the check's own sentence is the connection's, it is not said twice.
        const std::wstring headline = WidenUtf8(UnreachablePlayerMessage());
        Status(e, kDotRed, headline, player == headline ? std::wstring() : player);
    }
}

// Nothing to download: ready, or the game executable itself is the problem.
void OnNothingToDownload(WindowEffects& e, const CheckOutcome& r, const WindowContext& context,
                         const WindowPlatform& platform) {
    e.state.rounds = 0;
    const std::wstring manifest_path = WidenUtf8(r.game_exe_manifest_path);
    if (!r.game_exe_in_manifest) {
        Block(e);
        std::wstring detail;
        if (!r.game_exe_same_name_path.empty()) {
            detail = context.game_executable + kTextNotHere + WidenUtf8(r.game_exe_same_name_path) +
                     kTextIsThereAs;
        } else {
            detail = context.game_executable + kTextReleaseVersion + WidenUtf8(r.version) +
                     kTextLogIs + context.log_path;
        }
        Status(e, kDotRed, kTextGameNotInRelease, detail);
        return;
    }
    if (!r.game_exe_on_disk) {
        if (context.check_level != CheckLevel::Full) {
            Wait(e);
            Status(e, kDotAmber, kTextRepairingFile + manifest_path, kTextRepairKeepsSaves);
            ChainFullCheckThenDownload(e, context, platform);
            return;
        }
        Block(e);
        Status(e, kDotRed, kTextMissingFile + manifest_path, kTextRepairKeepsSaves);
        return;
    }
    View(e, WindowView::Main, ActionButton::Play);
    const std::wstring version = kTextVersion + WidenUtf8(r.version);
    if (e.state.patcher_stuck) {
        Status(e, kDotRed, kTextPatcherStuck, SyncedFolderHint(context.executable_path));
    } else if (!r.network) {
        const std::wstring headline = r.fetch_error == HttpError::ProxyAuthRequired
                                          ? WidenUtf8(ProxyAuthPlayerMessage())
                                          : std::wstring(kTextServerUnreachable);
        Status(e, kDotAmber, headline, version + kTextContinuingOffline);
    } else {
        Status(e, kDotGreen, kTextGameUpToDate, version + kTextFilesVerified);
    }
}

// The next digit of the fraction rest / total (rest < total) in decimal, leaving the remainder in
// `rest`: 10 * rest / total by repeated addition, because 10 * rest can overflow 64 bits.
std::uint64_t NextDecimalDigit(std::uint64_t& rest, std::uint64_t total) {
    std::uint64_t digit = 0, remainder = 0;
    for (int i = 0; i < 10; ++i) {
        if (remainder >= total - rest) {
            remainder -= total - rest;
            ++digit;
        } else {
            remainder += rest;
        }
    }
    rest = remainder;
    return digit;
}

std::wstring PausedHeadline(std::uint64_t bytes_left) {
    return kTextPausedLead + FormatSize(bytes_left) + kTextPausedTail;
}

void Pause(WindowEffects& e) {
    WindowState& s = e.state;
    if (!s.busy || s.paused || s.view != WindowView::Downloading) return;
    s.paused = true;
    s.resume_on_stop = false;
    e.log.push_back(L"download paused by the player, " + Decimal(s.bytes_left) +
                    L" bytes still to fetch");
    View(e, WindowView::Downloading, ActionButton::Resume);
    Status(e, kDotAmber, PausedHeadline(s.bytes_left), kTextPausedDetail);
    e.next = NextStep::PauseDownload;
}

// Carries on the paused download: at once when its thread has ended, else as soon as it does. A
// check comes first, so that files finished before the pause are not fetched again; only the
// partial files carry on.
void Resume(WindowEffects& e, const WindowContext& context, const WindowPlatform& platform) {
    WindowState& s = e.state;
    if (!s.paused) return;
    e.log.push_back(L"download resumed by the player");
    s.paused = false;
    if (s.busy) {
        s.resume_on_stop = true;
        View(e, WindowView::Downloading, ActionButton::Pause);
        Status(e, kDotAmber, kTextDownloading, std::wstring());
        return;
    }
    Wait(e);
    ChainCheckThenDownload(e, context, platform);
}

}  // namespace

WindowEffects StartCheck(const WindowState& state, const WindowContext& context,
                         const WindowPlatform& platform) {
    WindowEffects e = Unchanged(state);
    ChainCheck(e, context.install_directory, platform);
    return e;
}

WindowEffects StartDownload(const WindowState& state, const CheckOutcome& result,
                            const WindowPlatform& platform) {
    WindowEffects e = Unchanged(state);
    ChainDownload(e, result, platform);
    return e;
}

WindowEffects OnCheckDone(const WindowState& state, const CheckOutcome& r,
                          const WindowContext& context, const WindowPlatform& platform) {
    WindowEffects e = Unchanged(state);
    WindowState& s = e.state;
    s.busy = false;
    const bool download_next = s.download_after_check;
    s.download_after_check = false;
    const bool after_self_update = s.after_self_update;
    if (r.network) s.after_self_update = false;

    if (r.code == StatusCode::ContentMismatch) {
        Wait(e);
        Status(e, kDotAmber, kTextRepairingFiles, kTextRepairKeepsSaves);
        if (context.check_level != CheckLevel::Full) {
            ChainFullCheckThenDownload(e, context, platform);
        } else {
            ChainDownload(e, r, platform);
        }
        return e;
    }
    if (r.code != StatusCode::Ok) {
        OnCheckFailed(e, r);
        return e;
    }

    // A patcher that could not replace itself is left out of what counts as still to download.
    const bool patcher_excluded = s.patcher_stuck && r.self_update;
    const std::int64_t wanted =
        static_cast<std::int64_t>(r.diff.size()) - (patcher_excluded ? 1 : 0);
    if (wanted <= 0) {
        OnNothingToDownload(e, r, context, platform);
        return e;
    }

    if (!s.patcher_stuck && after_self_update && r.self_update) {
        e.log.push_back(
            L"self-update did not stick: restarted with --after-self-update and the manifest "
            L"still wants a new patcher -- not retrying");
        e.log.push_back(L"self-update: exe is " + context.executable_path);
        s.patcher_stuck = true;
        e.log.push_back(
            L"self-update stuck; patcher excluded from further decisions, game files still "
            L"handled normally");
    }
    if (download_next) {
        ChainDownload(e, r, platform);
        return e;
    }
    const ActionButton kind = DecideAction(r, false);
    const std::wstring headline = DownloadHeadline(patcher_excluded, kind, r.fetch_bytes);
    if (s.rounds >= kMaxAutomaticRounds) {
        e.log.push_back(L"automatic download did not converge after " + Decimal(s.rounds) +
                        L" rounds -- stopping, " + Decimal(static_cast<std::uint64_t>(wanted)) +
                        L" file(s) still wanted");
        Block(e);
        Status(e, kDotRed, kTextDoesNotStay, SyncedFolderHint(context.install_directory));
        return e;
    }
    Wait(e);
    Status(e, kDotAmber, headline, Decimal(static_cast<std::uint64_t>(wanted)) + kTextFiles);
    if (!patcher_excluded && kind == ActionButton::Repair &&
        context.check_level != CheckLevel::Full) {
        ChainFullCheckThenDownload(e, context, platform);
    } else {
        ++s.rounds;
        ChainDownload(e, r, platform);
    }
    return e;
}

WindowEffects OnDownloadDone(const WindowState& state, const DownloadDone& done,
                             const WindowContext& context, const WindowPlatform& platform) {
    WindowEffects e = Unchanged(state);
    e.state.busy = false;
    if (state.paused || state.resume_on_stop) {
        const bool resume = state.resume_on_stop;
        if (done.code != DownloadCode::Committed && !resume)
            return e;  // paused with its partial files
        e.state.paused = false;
        e.state.resume_on_stop = false;
        if (done.code != DownloadCode::Committed) {
            Wait(e);
            ChainCheckThenDownload(e, context, platform);
            return e;
        }
    }
    if (done.code != DownloadCode::Committed) {
        Block(e);
        Status(e, kDotRed, DownloadFailureHeadline(done.fault.kind),
               DownloadFailureDetail(done.fault));
        e.log.push_back(L"download failed: " + e.state.detail);
        return e;
    }
    if (done.self_update && !e.state.patcher_stuck) {
        e.next = NextStep::ApplySelfUpdate;
        return e;
    }
    if (done.self_update) {
        e.log.push_back(
            L"self-update suppressed: replacement did not stick earlier in this session");
    }
    Wait(e);
    ChainCheck(e, context.install_directory, platform);
    return e;
}

WindowEffects OnSelfUpdateApplied(const WindowState& state, bool applied, bool patcher_intact) {
    WindowEffects e = Unchanged(state);
    if (applied) {
        e.next = NextStep::DestroyWindow;
        return e;
    }
    Headline(e, patcher_intact ? kTextPatcherNotRenewed : kTextPatcherRenewInterrupted);
    View(e, WindowView::Main, ActionButton::Retry);
    return e;
}

std::int32_t ProgressPercent(std::uint64_t bytes_done, std::uint64_t bytes_total) {
    if (bytes_total == 0) return 0;
    if (bytes_done >= bytes_total) return 100;
    std::uint64_t rest = bytes_done;
    const std::uint64_t tens = NextDecimalDigit(rest, bytes_total);
    return static_cast<std::int32_t>(tens * 10 + NextDecimalDigit(rest, bytes_total));
}

WindowEffects OnProgress(const WindowState& state, const DownloadProgress& p,
                         const std::wstring& rate_line) {
    WindowEffects e = Unchanged(state);
    const std::int32_t percent = ProgressPercent(p.bytes_done, p.bytes_total);
    e.progress_position = percent;
    e.state.bytes_left = p.bytes_done < p.bytes_total ? p.bytes_total - p.bytes_done : 0;
    if (state.paused) {
        // Transfers stopping after the pause still report; the headline keeps saying paused.
        Status(e, e.state.dot, PausedHeadline(e.state.bytes_left), kTextPausedDetail);
        return e;
    }
    // The headline says what is downloaded and why; the progress is the detail's.
    Status(e, e.state.dot, e.state.headline.empty() ? kTextDownloading : e.state.headline,
           Decimal(std::uint64_t{p.file_index} + 1) + L" / " + Decimal(p.file_count) + kTextFiles +
               L" (%" + Decimal(percent) + L")" + kTextDot + WidenUtf8(p.current_path) + kTextDot +
               FormatSize(p.bytes_done) + L" / " + FormatSize(p.bytes_total) +
               (rate_line.empty() ? std::wstring() : kTextDot + rate_line));
    return e;
}

WindowEffects OnActionClick(const WindowState& state, const CheckOutcome& last_result,
                            const WindowContext& context, const WindowPlatform& platform) {
    WindowEffects e = Unchanged(state);
    if (state.launching || state.hidden) return e;
    if (state.view == WindowView::FirstInstall) {
        e.next = NextStep::ConfirmInstallFolder;
        return e;
    }
    switch (state.action) {
        case ActionButton::Wait:
            break;
        case ActionButton::Install:
        case ActionButton::Update:
            ChainDownload(e, last_result, platform);
            break;
        case ActionButton::Repair:
            Wait(e);
            ChainFullCheckThenDownload(e, context, platform);
            break;
        case ActionButton::Play:
            e.next = NextStep::LaunchAndClose;
            break;
        case ActionButton::Pause:
            Pause(e);
            break;
        case ActionButton::Resume:
            Resume(e, context, platform);
            break;
        default:
            e.state.rounds = 0;
            Wait(e);
            ChainCheck(e, context.install_directory, platform);
            break;
    }
    return e;
}

WindowEffects LaunchStarting(const WindowState& state) {
    WindowEffects e = Unchanged(state);
    if (state.launching || state.hidden) return e;
    Status(e, kDotAmber, kTextStartingGame, std::wstring());
    e.state.launching = true;
    e.state.action_enabled = false;
    e.view_set = true;  // the button's enabled state changed
    e.next = NextStep::RunLaunch;
    return e;
}

WindowEffects LaunchFinished(const WindowState& state, const WindowContext& context, bool started,
                             bool channel_active) {
    WindowEffects e = Unchanged(state);
    e.state.launching = false;
    if (!started) {
        // The text sends the player to "Onar": the button offers exactly that.
        View(e, WindowView::Blocked, ActionButton::Repair);
        Status(e, kDotRed, kTextGameDidNotStart,
               context.game_executable + kTextDot + context.log_path);
        return e;
    }
    e.state.hidden = channel_active;
    e.next = channel_active ? NextStep::HideWindow : NextStep::DestroyWindow;
    return e;
}

WindowEffects ConfirmInstallFolder(const WindowState& state, const std::wstring& edit_text,
                                   const WindowPlatform& platform) {
    WindowEffects e = Unchanged(state);
    if (edit_text.empty()) {
        Headline(e, kTextChooseFolder);
        return e;
    }
    std::uint64_t free_bytes = 0;
    if (!platform.free_space_near(edit_text, free_bytes)) {
        Headline(e, kTextDriveUnreadable);
        return e;
    }
    if (free_bytes < kDownloadHeadroomBytes) {
        Headline(e, kTextDriveTooFullLead + FormatSize(free_bytes) + kTextDriveTooFullTail);
        return e;
    }
    if (!platform.ensure_directory(edit_text)) {
        Headline(e, kTextFolderNotMade);
        return e;
    }
    e.install_directory = edit_text;
    Wait(e);
    ChainCheck(e, edit_text, platform);
    return e;
}

ReleaseDecision DecideRelease(const PointerRelease& release) {
    if (release.settings_took) return {};
    const int tab = release.settings_open ? -1 : release.tab_hit;
    if (tab >= 0) {
        if (tab == release.news_tab) return {};
        return {ReleaseAction::ShowTab, tab};
    }
    if (release.released != release.pressed) return {};
    switch (release.released) {
        case TitleBarItem::Settings:
            return {ReleaseAction::ToggleSettings, -1};
        case TitleBarItem::Minimise:
            return {ReleaseAction::Minimise, -1};
        case TitleBarItem::Close:
            return {ReleaseAction::Close, -1};
        case TitleBarItem::None:
            break;
    }
    return {};
}

}  // namespace patcher::model
