#include "ui/window/main_window.h"

#include <utility>

#include "model/window_texts.h"
#include "rules/player_message.h"
#include "ui/window/draw.h"
#include "ui/window/window_frame.h"
#include "ui/window/window_platform.h"
#include "ui/window/work_area.h"
#include "win/engine/news_feed.h"
#include "win/engine/self_update.h"
#include "win/platform/known_paths.h"
#include "win/platform/paths.h"
#include "win/platform/support_log.h"

namespace patcher::ui {

using namespace model;
using namespace rules;
using namespace win;

namespace {

constexpr int kStageArtResource = 101;

}  // namespace

MainWindow::MainWindow(const PatcherConfig& config)
    : config_(config), shared_(std::make_shared<WindowShared>()), layout_(ComputeLayout(900, 560)) {
    shared_->pace.SetRate(config_.download_rate_limit);
    // A limit saved in the panel holds for a running download too, within the budget's longest
    // wait.
    settings_.SetDownloadLimit(config_.download_rate_limit, [shared = shared_](std::uint64_t rate) {
        shared->pace.SetRate(rate);
    });
}

MainWindow::~MainWindow() {
    if (hwnd_ == nullptr || !IsWindow(hwnd_)) return;
    // The messages of the destruction find no object behind the window.
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    DestroyWindow(hwnd_);
}

bool MainWindow::Create(HINSTANCE instance, bool self_test, int show_command) {
    self_test_ = self_test;
    if (!RegisterWindowClass(instance, kMainWindowClassName, &MainWindow::WindowProc)) return false;
    // WM_NCCREATE stores `this` and sets hwnd_.
    if (CreateWindowExW(WS_EX_APPWINDOW, kMainWindowClassName, kTextWindowTitle,
                        WS_POPUP | WS_THICKFRAME | WS_MINIMIZEBOX | WS_CLIPCHILDREN, CW_USEDEFAULT,
                        CW_USEDEFAULT, 900, 560, nullptr, nullptr, instance, this) == nullptr) {
        hwnd_ = nullptr;
        return false;
    }
    shared_->window = hwnd_;
    PlaceWindow(self_test);
    UpdateFonts();
    LoadPictures();
    controls_.Create(hwnd_, instance, config_.install_directory, fonts_);
    Relayout();
    SetView(WindowView::Main, ActionButton::Wait);
    if (self_test) return true;
    // The window's downloads carry on from their partial files, so the player may stop one.
    state_.can_pause = true;
    Apply(StartCheck(state_, Context(), MakeWindowPlatform(config_)));
    StartNews();
    ShowWindow(hwnd_, show_command);
    UpdateWindow(hwnd_);
    return true;
}

void MainWindow::PlaceWindow(bool self_test) {
    // A DPI change while the window is being placed must not move it again.
    in_creation_ = !self_test;
    PlaceOnWorkArea(hwnd_, self_test);
    in_creation_ = false;
    Relayout();
}

void MainWindow::LoadPictures() {
    LoadBitmapFile(JoinPath(ParentPath(ExecutablePath()), L"logo.bmp"), logo_);
    if (!gdiplus_.Start()) {
        LogLine("gdiplus would not start; stage art disabled");
        return;
    }
    DecodeImage(ExecutableResource(kStageArtResource), stage_);
}

HWND MainWindow::FolderPromptControl() const {
    return controls_.Get(kFolderPrompt);
}

HWND MainWindow::ActionControl() const {
    return controls_.Get(kActionButton);
}

void MainWindow::Relayout() {
    RECT client{};
    GetClientRect(hwnd_, &client);
    LayOutAs(client.right - client.left, client.bottom - client.top);
}

void MainWindow::LayOutAs(std::int32_t width, std::int32_t height) {
    layout_ = ComputeLayout(width, height);
    UpdateFonts();
    controls_.Place(layout_);
    InvalidateRect(hwnd_, nullptr, TRUE);
}

void MainWindow::UpdateFonts() {
    if (fonts_.complete() && fonts_.made_for == layout_.body_font) return;
    FontSet made = MakeFonts(FontHeightsOf(layout_), layout_.body_font);
    if (!made.complete()) return;  // the old set stays
    controls_.SetFonts(made, true);
    fonts_ = std::move(made);
}

void MainWindow::SetView(WindowView view, ActionButton action) {
    const bool offer_play_anyway =
        shared_->ReadLastCheck([](const CheckOutcome& check) { return check.offer_play_anyway; });
    model::SetView(state_, view, action, offer_play_anyway);
    controls_.Sync(state_);
    InvalidateRect(hwnd_, nullptr, TRUE);
}

bool MainWindow::ShowProgress(const DownloadProgress& progress) {
    rate_.Add(GetTickCount64(), progress.bytes_done);
    // Only what is still to come over the network counts toward the time left.
    const std::uint64_t to_fetch =
        progress.bytes_done < progress.bytes_total ? progress.bytes_total - progress.bytes_done : 0;
    Apply(model::OnProgress(state_, progress, TransferRateLine(rate_, to_fetch)));
    return true;
}

void MainWindow::SetStatus(Rgb dot, std::wstring headline, std::wstring detail) {
    model::SetStatus(state_, dot, std::move(headline), std::move(detail));
    InvalidateStatus();
}

WindowContext MainWindow::Context() const {
    return WindowContext{config_.check_level, config_.install_directory, config_.game_executable,
                         ExecutablePath(), LogPath()};
}

void MainWindow::Apply(WindowEffects effects) {
    state_ = std::move(effects.state);
    if (effects.level_to_full) {
        config_.check_level = CheckLevel::Full;
        repair_next_check_ = true;
    }
    if (effects.install_directory) config_.install_directory = *effects.install_directory;
    if (effects.progress_position) controls_.SetProgress(*effects.progress_position);
    for (const std::wstring& line : effects.log) LogLineWide(line);
    controls_.Sync(state_);
    // Once the controls show it, so the line never runs ahead of what can be clicked.
    LogStateWhenChanged();
    if (effects.view_set) {
        InvalidateRect(hwnd_, nullptr, TRUE);
    } else if (effects.status_set) {
        InvalidateStatus();
    }
    RunNext(effects.next);
}

void MainWindow::LogStateWhenChanged() {
    std::wstring line = WindowStateLine(state_);
    if (line == logged_state_) return;
    LogLineWide(line);
    logged_state_ = std::move(line);
}

void MainWindow::RunNext(NextStep next) {
    switch (next) {
        case NextStep::None:
            return;
        case NextStep::RunCheck: {
            // A repair reads every file; the checks after it trust the records it refreshed.
            PatcherConfig config = config_;
            config.hash_every_file = std::exchange(repair_next_check_, false);
            return StartCheckWorker(shared_, config);
        }
        case NextStep::RunDownload:
            // A speed from before a pause or an earlier download says nothing of this one.
            rate_.Reset();
            return StartDownloadWorker(shared_, config_);
        case NextStep::ApplySelfUpdate:
            return ApplySelfUpdateAndRestart();
        case NextStep::LaunchAndClose:
            return Apply(LaunchStarting(state_));
        case NextStep::ConfirmInstallFolder:
            return Apply(ConfirmInstallFolder(state_, controls_.Text(kFolderEdit),
                                              MakeWindowPlatform(config_)));
        case NextStep::DestroyWindow:
            DestroyWindow(hwnd_);
            return;
        case NextStep::HideWindow:
            ShowWindow(hwnd_, SW_HIDE);
            return;
        case NextStep::RunLaunch:
            return StartLaunch();
        case NextStep::PauseDownload:
            shared_->pause_requested = true;
            return;
    }
}

void MainWindow::StartNews() {
    news_refetch_.FetchStarted(PathExists(AcceptedKeysPath(config_)));
    StartNewsWorker(shared_, config_);
}

void MainWindow::OnNews() {
    const std::string stage_bytes = shared_->StageArt();
    if (!stage_bytes.empty() && gdiplus_.running()) {
        DecodedImage decoded;
        if (DecodeImage(stage_bytes, decoded)) {
            stage_ = std::move(decoded);
            LogLine("stage: published art in use");
        } else {
            LogLine("stage: published art verified but would not decode");
        }
    }
    pointer_.ResetScroll();
    InvalidateRect(hwnd_, nullptr, FALSE);
}

bool MainWindow::HandleWorkerMessage(UINT message) {
    switch (message) {
        case kMsgCheckDone:
            Apply(
                OnCheckDone(state_, shared_->LastCheck(), Context(), MakeWindowPlatform(config_)));
            if (news_refetch_.DueAfterCheck(PathExists(AcceptedKeysPath(config_)))) StartNews();
            return true;
        case kMsgProgress:
            shared_->progress_gate.Release();  // before the read: a newer report posts again
            return ShowProgress(shared_->Progress());
        case kMsgDownloadDone:
            Apply(OnDownloadDone(state_, shared_->Download(), Context(),
                                 MakeWindowPlatform(config_)));
            return true;
        case kMsgNews:
            OnNews();
            return true;
        case kMsgLaunchDone: {
            const auto [started, channel_active] = shared_->Launch();
            Apply(LaunchFinished(state_, Context(), started, channel_active));
            return true;
        }
        case kMsgChannelClosed:
            if (channel_) channel_->Close();
            DestroyWindow(hwnd_);
            return true;
        default:
            return false;
    }
}

void MainWindow::ApplySelfUpdateAndRestart() {
    const std::string sha256 =
        shared_->ReadLastCheck([](const CheckOutcome& check) { return check.self_update_sha256; });
    std::string error;
    bool patcher_intact = true;
    const bool applied = ApplyAndRestart(sha256, restart_arguments_, error, patcher_intact);
    if (!applied) LogLine("self-update: not applied :: " + error);
    Apply(OnSelfUpdateApplied(state_, applied, patcher_intact));
}

void MainWindow::StartLaunch() {
    // A fresh channel per attempt; the one of a failed attempt closes when its last owner lets go.
    channel_ = std::make_shared<KeyChannel>();
    const HWND window = hwnd_;
    channel_->SetClosingCallback([window] { PostMessageW(window, kMsgChannelClosed, 0, 0); });
    StartLaunchWorker(shared_, config_, channel_);
}

void MainWindow::OnCommand(int id) {
    switch (id) {
        case kActionButton:
            return Apply(model::OnActionClick(state_, shared_->LastCheck(), Context(),
                                              MakeWindowPlatform(config_)));
        case kPlayAnywayButton:
            if (shared_->ReadLastCheck(PlayAnywayAllowed)) Apply(LaunchStarting(state_));
            return;
        case kBrowseButton: {
            const std::wstring folder = PickFolder(hwnd_, kTextFolderPickerTitle);
            if (!folder.empty()) SetWindowTextW(controls_.Get(kFolderEdit), folder.c_str());
            return;
        }
    }
}

PictureRef MainWindow::stage() const {
    return PictureRef{stage_.bitmap.get(), stage_.width, stage_.height};
}

PaintScene MainWindow::Scene(bool draw_stage) {
    PaintScene scene;
    scene.layout = &layout_;
    scene.fonts = &fonts_;
    scene.state = &state_;
    scene.stage = stage();
    scene.draw_stage = draw_stage;
    scene.logo = PictureRef{logo_.bitmap.get(), logo_.width, logo_.height};
    scene.hover = pointer_.hover();
    scene.settings = settings_.open() ? &settings_.state() : nullptr;
    scene.news_tab = pointer_.news_tab();
    const std::lock_guard<std::mutex> guard(shared_->lock);
    scene.news = pointer_.news_tab() == 0 ? shared_->news.announce : shared_->news.updates;
    scene.progress = shared_->progress;
    return scene;
}

void MainWindow::PaintInto(HDC dc, bool draw_stage) {
    const PaintResult result = PaintAll(dc, Scene(draw_stage), pointer_.scroll());
    pointer_.SetTabs(result.tabs);
    if (result.repaint && !self_test_) InvalidateRect(hwnd_, nullptr, FALSE);
}

void MainWindow::Paint() {
    PaintBuffered(hwnd_, [this](HDC dc) { PaintInto(dc, true); });
}

void MainWindow::InvalidateStatus() {
    const RECT region = ToRect(StatusRegion(layout_));
    InvalidateRect(hwnd_, &region, FALSE);
}

void MainWindow::InvalidateTitleBar() {
    const RECT bar{0, 0, layout_.width, layout_.title_height};
    InvalidateRect(hwnd_, &bar, FALSE);
}

void MainWindow::DrawActionButtonInto(HDC dc) {
    const RECT rect = ToRect(PlaceControls(layout_).action);
    DrawOwnerButton(dc, rect, ActionCaption(state_.action), true, !state_.action_enabled, false,
                    fonts_.button.get());
}

LRESULT CALLBACK MainWindow::WindowProc(HWND window, UINT message, WPARAM wparam,
                                        LPARAM lparam) noexcept {
    if (message == WM_NCCREATE) {
        auto* created =
            static_cast<MainWindow*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
        created->hwnd_ = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(created));
    }
    // WM_GETMINMAXINFO comes before WM_NCCREATE: until then there is no object to ask.
    auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self == nullptr) return DefWindowProcW(window, message, wparam, lparam);
    if (message == WM_NCDESTROY) SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    try {
        return self->Handle(message, wparam, lparam);
    } catch (const std::exception& e) {
        LogLine(std::string("window: message failed: ") + e.what());
    } catch (...) {
        LogLine("window: message failed");
    }
    return 0;
}

bool MainWindow::HandleMouse(UINT message, WPARAM wparam, LPARAM lparam) {
    SettingsClick settings_click;
    if (settings_.open())
        settings_click = [this](std::int32_t x, std::int32_t y) {
            return settings_.Click(layout_, x, y, config_.install_directory);
        };
    PointerEffects effects;
    if (!pointer_.Handle(hwnd_, layout_, message, wparam, lparam, settings_click, effects))
        return false;
    if (effects.repaint) {
        InvalidateRect(hwnd_, nullptr, FALSE);
    } else if (effects.repaint_title_bar) {
        InvalidateTitleBar();
    }
    if (effects.action == ReleaseAction::ToggleSettings) {
        settings_.Toggle(config_.install_directory);
        InvalidateRect(hwnd_, nullptr, FALSE);
    }
    if (effects.action == ReleaseAction::Minimise) ShowWindow(hwnd_, SW_MINIMIZE);
    if (effects.action == ReleaseAction::Close) PostMessageW(hwnd_, WM_CLOSE, 0, 0);
    return true;
}

LRESULT MainWindow::Handle(UINT message, WPARAM wparam, LPARAM lparam) {
    if (HandleWorkerMessage(message) || HandleMouse(message, wparam, lparam)) return 0;
    if (LRESULT answer = 0; AnswerFrameMessage(hwnd_, layout_, message, lparam, answer))
        return answer;
    switch (message) {
        case WM_DESTROY:
            controls_.ReleaseBrushes();
            PostQuitMessage(0);
            return 0;
        case WM_SIZE:
            // Minimised, the client area is 0 x 0: laying out (and making all fonts) for that only
            // to do it again on restore would be wasted.
            if (wparam != SIZE_MINIMIZED) Relayout();
            return 0;
        case WM_PAINT:
            Paint();
            return 0;
        case WM_DRAWITEM: {
            const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lparam);
            if (item->CtlType != ODT_BUTTON) break;
            controls_.Draw(*item, fonts_);
            return TRUE;
        }
        case WM_COMMAND:
            // Owner-drawn buttons report a second click soon after the first as a double-click,
            // not a click; for the player it is one more press.
            if (HIWORD(wparam) == BN_CLICKED || HIWORD(wparam) == BN_DOUBLECLICKED)
                OnCommand(LOWORD(wparam));
            return 0;
        // The default answers are the system's button-face grey: owner-drawn buttons would flash
        // it before their fill, and the first-install texts would sit in grey boxes.
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN:
            return reinterpret_cast<LRESULT>(controls_.Colours(
                reinterpret_cast<HDC>(wparam), reinterpret_cast<HWND>(lparam), layout_));
        case kWmDpiChanged: {
            if (!in_creation_) MoveToSuggestedRect(hwnd_, lparam);
            Relayout();
            return 0;
        }
    }
    return DefWindowProcW(hwnd_, message, wparam, lparam);
}

}  // namespace patcher::ui
