#include "ui/window/main_window.h"

#include <commctrl.h>
#include <shlobj.h>
#include <windowsx.h>

#include <utility>

#include "model/player_message.h"
#include "model/post_gate.h"
#include "model/window_texts.h"
#include "ui/window/draw.h"
#include "ui/window/window_lock.h"
#include "ui/window/work_area.h"
#include "ui/window/worker_thread.h"
#include "win/engine/check.h"
#include "win/engine/download.h"
#include "win/engine/news_feed.h"
#include "win/engine/self_update.h"
#include "win/launch/launch_game.h"
#include "win/platform/atomic_file.h"
#include "win/platform/disk_space.h"
#include "win/platform/known_paths.h"
#include "win/platform/paths.h"
#include "win/platform/support_log.h"
#include "win/platform/write_probe.h"

namespace patcher::win {
namespace {

enum ControlId : int {
    kActionButton = 1001,
    kPlayAnywayButton = 1002,
    kBrowseButton = 1003,
    kFolderEdit = 1004,
    kSpareLabel = 1006,
    kProgressHolder = 1007,
    kFolderPrompt = 1008,
    kFolderNote = 1009,
};

constexpr int kStageArtResource = 101;
constexpr int kPostAttempts = 200;
constexpr DWORD kPostRetryMs = 50;

// Windows 8.1 and later; the build targets Windows 7 headers.
constexpr UINT kWmDpiChanged = 0x02E0;

// The single window of the process; the window procedure ignores messages while it is null.
MainWindow* g_window = nullptr;

// The nearest existing ancestor's free space, for the first-install folder choice.
bool FreeSpaceNear(std::wstring path, std::uint64_t& free_bytes) {
    while (!path.empty()) {
        if (PathExists(path)) return FreeBytesForCaller(path, free_bytes);
        const std::wstring parent = ParentPath(path);
        if (parent == path) break;
        path = parent;
    }
    return false;
}

CheckOutcome FailedCheck(const std::string& diagnostic) {
    CheckOutcome outcome;
    outcome.code = StatusCode::BadInput;
    outcome.diagnostic = diagnostic;
    outcome.player = PlayerMessage(StatusCode::BadInput);
    return outcome;
}

}  // namespace

// What the workers hand to the window. Workers hold it too, so a worker that finishes after the
// window is gone writes into memory that still exists and posts to a window that no longer does.
struct MainWindow::Shared {
    WindowLock lock;
    HWND window = nullptr;  // set before the first worker starts, never changed
    CheckOutcome last_check;
    StatusCode download_code = StatusCode::Ok;
    std::string download_error;
    DownloadProgress progress;
    NewsBundle news;
    PostGate progress_gate;
    bool launch_started = false;
    bool launch_channel_active = false;

    // A worker's last word (check done, download done, news) must arrive, or the window waits
    // for ever: a full queue makes PostMessageW fail, so try again for a while. Gone windows
    // answer ERROR_INVALID_WINDOW_HANDLE, which no retry mends.
    void Post(UINT message) const {
        for (int attempt = 0; attempt < kPostAttempts; ++attempt) {
            if (PostMessageW(window, message, 0, 0)) return;
            if (!IsWindow(window)) return;
            Sleep(kPostRetryMs);
        }
        LogLine("window: a worker's message could not be posted");
    }

    // Progress is coalesced: at most one message waiting, and a failed post lets the next
    // report try.
    void PostProgress() {
        if (progress_gate.Claim() && !PostMessageW(window, kMsgProgress, 0, 0))
            progress_gate.Release();
    }
};

MainWindow::MainWindow(const PatcherConfig& config)
    : config_(config), shared_(std::make_shared<Shared>()), layout_(ComputeLayout(900, 560)) {}

MainWindow::~MainWindow() {
    if (g_window == this) g_window = nullptr;
    if (hwnd_ != nullptr && IsWindow(hwnd_)) DestroyWindow(hwnd_);
}

void MainWindow::SetAfterSelfUpdate(bool after_self_update) {
    state_.after_self_update = after_self_update;
}

void MainWindow::SetRestartArguments(std::wstring arguments) {
    restart_arguments_ = std::move(arguments);
}

// ---- creation -----------------------------------------------------------------------------

bool MainWindow::RegisterWindowClass(HINSTANCE instance) {
    WNDCLASSEXW window_class{};
    window_class.cbSize = sizeof(window_class);
    window_class.style = CS_HREDRAW | CS_VREDRAW;
    window_class.lpfnWndProc = &MainWindow::WindowProc;
    window_class.hInstance = instance;
    window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    window_class.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
    // Lives as long as the class, i.e. the process.
    window_class.hbrBackground = CreateSolidBrush(ColourRef(kGround));
    window_class.lpszClassName = kMainWindowClassName;
    if (RegisterClassExW(&window_class) != 0) return true;
    DeleteObject(window_class.hbrBackground);
    return GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

bool MainWindow::Create(HINSTANCE instance, bool self_test, int show_command) {
    self_test_ = self_test;
    if (!RegisterWindowClass(instance)) return false;
    g_window = this;
    hwnd_ =
        CreateWindowExW(WS_EX_APPWINDOW, kMainWindowClassName, kTextWindowTitle,
                        WS_POPUP | WS_THICKFRAME | WS_MINIMIZEBOX | WS_CLIPCHILDREN, CW_USEDEFAULT,
                        CW_USEDEFAULT, 900, 560, nullptr, nullptr, instance, nullptr);
    if (hwnd_ == nullptr) {
        g_window = nullptr;
        return false;
    }
    shared_->window = hwnd_;
    PlaceWindow(self_test);
    UpdateFonts();
    LoadPictures();
    CreateControls(instance);
    Relayout();
    SetView(WindowView::Main, ActionButton::Wait);
    if (self_test) return true;
    Apply(StartCheck(state_, Context(), Platform()));
    StartNewsThread();
    ShowWindow(hwnd_, show_command);
    UpdateWindow(hwnd_);
    return true;
}

void MainWindow::PlaceWindow(bool self_test) {
    // The frame the style asks for is taken away by WM_NCCALCSIZE; make Windows ask again now.
    constexpr UINT kQuiet = SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED;
    if (self_test) {
        const WindowRect target = TargetWindowRect(ScreenRect{0, 0, 1920, 1080 - 48});
        SetWindowPos(hwnd_, nullptr, target.left, target.top, target.width, target.height, kQuiet);
        Relayout();
        return;
    }
    in_creation_ = true;
    for (int attempt = 0; attempt < 2; ++attempt) {
        const WindowRect target = TargetWindowRect(WorkAreaUnderCursor());
        RECT now{};
        GetWindowRect(hwnd_, &now);
        if (attempt > 0 && now.left == target.left && now.top == target.top &&
            now.right == target.right && now.bottom == target.bottom)
            break;
        SetWindowPos(hwnd_, nullptr, target.left, target.top, target.width, target.height, kQuiet);
    }
    in_creation_ = false;
    Relayout();
}

void MainWindow::LoadPictures() {
    const std::wstring logo_path = JoinPath(ParentPath(ExecutablePath()), L"logo.bmp");
    logo_.bitmap.reset(static_cast<HBITMAP>(LoadImageW(nullptr, logo_path.c_str(), IMAGE_BITMAP, 0,
                                                       0, LR_LOADFROMFILE | LR_CREATEDIBSECTION)));
    BITMAP info{};
    if (logo_.bitmap && GetObjectW(logo_.bitmap.get(), sizeof(info), &info) != 0) {
        logo_.width = info.bmWidth;
        logo_.height = info.bmHeight < 0 ? -info.bmHeight : info.bmHeight;
    }
    if (!gdiplus_.Start()) {
        LogLine("gdiplus would not start; stage art disabled");
        return;
    }
    DecodeImage(ExecutableResource(kStageArtResource), stage_);
}

void MainWindow::CreateControls(HINSTANCE instance) {
    struct Spec {
        int id;
        DWORD ex_style;
        const wchar_t* window_class;
        DWORD style;
        const wchar_t* text;
    };
    const std::wstring folder = config_.install_directory;
    const Spec specs[] = {
        {kActionButton, 0, L"BUTTON", BS_OWNERDRAW | WS_TABSTOP, kCaptionPlay},
        {kPlayAnywayButton, 0, L"BUTTON", BS_OWNERDRAW | WS_TABSTOP, kTextPlayAnyway},
        {kBrowseButton, 0, L"BUTTON", BS_OWNERDRAW | WS_TABSTOP, kTextBrowse},
        {kFolderEdit, WS_EX_CLIENTEDGE, L"EDIT", ES_AUTOHSCROLL | WS_TABSTOP, folder.c_str()},
        {kSpareLabel, 0, L"STATIC", 0, L""},
        {kProgressHolder, 0, PROGRESS_CLASSW, PBS_SMOOTH, L""},
        {kFolderPrompt, 0, L"STATIC", 0, kTextFolderPrompt},
        {kFolderNote, 0, L"STATIC", 0, L""},
    };
    for (const Spec& spec : specs) {
        const HWND control = CreateWindowExW(
            spec.ex_style, spec.window_class, spec.text, WS_CHILD | spec.style, 0, 0, 1, 1, hwnd_,
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(spec.id)), instance, nullptr);
        if (control == nullptr || spec.id == kProgressHolder) continue;
        const HFONT font = spec.id == kActionButton ? fonts_.button.get() : fonts_.body.get();
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    }
    SendMessageW(Control(kProgressHolder), PBM_SETRANGE32, 0, 100);
}

HWND MainWindow::Control(int id) const {
    return GetDlgItem(hwnd_, id);
}

HWND MainWindow::FolderPromptControl() const {
    return Control(kFolderPrompt);
}

HWND MainWindow::ActionControl() const {
    return Control(kActionButton);
}

// ---- layout -------------------------------------------------------------------------------

void MainWindow::Relayout() {
    RECT client{};
    GetClientRect(hwnd_, &client);
    LayOutAs(client.right - client.left, client.bottom - client.top);
}

void MainWindow::LayOutAs(std::int32_t width, std::int32_t height) {
    layout_ = ComputeLayout(width, height);
    UpdateFonts();
    MoveControls();
    InvalidateRect(hwnd_, nullptr, TRUE);
}

void MainWindow::UpdateFonts() {
    if (fonts_.complete() && fonts_.made_for == layout_.body_font) return;
    FontSet made = MakeFonts(FontHeightsOf(layout_), layout_.body_font);
    if (!made.complete()) return;  // the old set stays
    for (int id : {kActionButton, kPlayAnywayButton, kBrowseButton, kFolderEdit, kSpareLabel,
                   kFolderPrompt, kFolderNote}) {
        const HWND control = Control(id);
        if (control == nullptr) continue;
        const HFONT font = id == kActionButton ? made.button.get() : made.body.get();
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    }
    fonts_ = std::move(made);
}

std::array<std::pair<int, Box>, 8> MainWindow::PlacedControls() const {
    const ControlBoxes boxes = PlaceControls(layout_);
    return {{
        {kSpareLabel, boxes.spare_label},
        {kProgressHolder, boxes.progress},
        {kActionButton, boxes.action},
        {kPlayAnywayButton, boxes.secondary},
        {kFolderPrompt, boxes.prompt},
        {kFolderEdit, boxes.folder_edit},
        {kBrowseButton, boxes.browse},
        {kFolderNote, boxes.note},
    }};
}

void MainWindow::MoveControls() {
    for (const auto& [id, box] : PlacedControls()) {
        if (const HWND control = Control(id))
            MoveWindow(control, box.x, box.y, box.width, box.height, TRUE);
    }
}

// ---- state --------------------------------------------------------------------------------

void MainWindow::SyncControls() {
    const ControlVisibility visible = VisibleControls(state_);
    for (int id : {kFolderPrompt, kFolderEdit, kBrowseButton, kFolderNote})
        ShowWindow(Control(id), visible.first_install ? SW_SHOWNA : SW_HIDE);
    ShowWindow(Control(kPlayAnywayButton), visible.play_anyway ? SW_SHOWNA : SW_HIDE);
    ShowWindow(Control(kSpareLabel), SW_HIDE);
    ShowWindow(Control(kProgressHolder), SW_HIDE);
    const HWND action = Control(kActionButton);
    ShowWindow(action, SW_SHOWNA);
    const wchar_t* caption = ActionCaption(state_.action);
    wchar_t current[64] = {};
    GetWindowTextW(action, current, 64);
    if (wcscmp(current, caption) != 0) {
        SetWindowTextW(action, caption);
        InvalidateRect(action, nullptr, FALSE);
    }
    EnableWindow(action, state_.action_enabled ? TRUE : FALSE);
}

void MainWindow::SetView(WindowView view, ActionButton action) {
    bool offer_play_anyway = false;
    {
        WindowLock::Guard guard(shared_->lock);
        offer_play_anyway = shared_->last_check.offer_play_anyway;
    }
    patcher::win::SetView(state_, view, action, offer_play_anyway);
    SyncControls();
    InvalidateRect(hwnd_, nullptr, TRUE);
}

void MainWindow::SetStatus(Rgb dot, std::wstring headline, std::wstring detail) {
    patcher::win::SetStatus(state_, dot, std::move(headline), std::move(detail));
    InvalidateStatus();
}

WindowContext MainWindow::Context() const {
    return WindowContext{config_.check_level, config_.install_directory, config_.game_executable,
                         ExecutablePath(), LogPath()};
}

WindowPlatform MainWindow::Platform() const {
    WindowPlatform platform;
    platform.probe_writable = [](const std::wstring& directory, std::uint32_t& error) {
        return ProbeWritable(directory, error);
    };
    platform.has_enough_space = [config = config_](const CheckOutcome& result,
                                                   std::uint64_t& free_bytes,
                                                   std::uint64_t& needed_bytes) {
        return HasEnoughSpace(config, result, free_bytes, needed_bytes);
    };
    platform.free_space_near = [](const std::wstring& path, std::uint64_t& free_bytes) {
        return FreeSpaceNear(path, free_bytes);
    };
    platform.ensure_directory = [](const std::wstring& path) { return EnsureDirectory(path); };
    return platform;
}

void MainWindow::Apply(WindowEffects effects) {
    state_ = std::move(effects.state);
    if (effects.level_to_full) config_.check_level = 0;
    if (effects.install_directory) config_.install_directory = *effects.install_directory;
    if (effects.progress_position)
        SendMessageW(Control(kProgressHolder), PBM_SETPOS, *effects.progress_position, 0);
    for (const std::wstring& line : effects.log) LogLineWide(line);
    SyncControls();
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
        case NextStep::RunCheck:
            return StartCheckThread();
        case NextStep::RunDownload:
            return StartDownloadThread();
        case NextStep::ApplySelfUpdate:
            return ApplySelfUpdateAndRestart();
        case NextStep::LaunchAndClose:
            return LaunchAndClose();
        case NextStep::ConfirmInstallFolder: {
            const HWND edit = Control(kFolderEdit);
            std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(edit)) + 1, L'\0');
            text.resize(static_cast<std::size_t>(
                GetWindowTextW(edit, text.data(), static_cast<int>(text.size()))));
            return Apply(ConfirmInstallFolder(state_, text, Platform()));
        }
        case NextStep::DestroyWindow:
            DestroyWindow(hwnd_);
            return;
        case NextStep::HideWindow:
            ShowWindow(hwnd_, SW_HIDE);
            return;
        case NextStep::RunLaunch:
            return StartLaunchThread();
    }
}

// ---- workers ------------------------------------------------------------------------------

void MainWindow::StartCheckThread() {
    const std::shared_ptr<Shared> shared = shared_;
    const PatcherConfig config = config_;
    const bool started = StartWorkerThread("check", [shared, config] {
        CheckOutcome outcome;
        try {
            RunCheck(config, outcome);
        } catch (...) {
            outcome = FailedCheck("the check stopped unexpectedly");
        }
        {
            WindowLock::Guard guard(shared->lock);
            shared->last_check = std::move(outcome);
        }
        shared->Post(kMsgCheckDone);
    });
    if (started) return;
    // Without a thread the window would wait for ever: report the check as failed.
    {
        WindowLock::Guard guard(shared_->lock);
        shared_->last_check = FailedCheck("the check thread could not start");
    }
    shared_->Post(kMsgCheckDone);
}

void MainWindow::StartDownloadThread() {
    const std::shared_ptr<Shared> shared = shared_;
    const PatcherConfig config = config_;
    {
        WindowLock::Guard guard(shared_->lock);
        shared_->progress = DownloadProgress{};
    }
    const bool started = StartWorkerThread("download", [shared, config] {
        CheckOutcome result;
        {
            WindowLock::Guard guard(shared->lock);
            result = shared->last_check;
        }
        // Runs with the download's own lock held: copy, leave the window lock, then post.
        const DownloadProgressCallback on_progress = [shared](const DownloadProgress& progress) {
            {
                WindowLock::Guard guard(shared->lock);
                shared->progress = progress;
            }
            shared->PostProgress();
        };
        std::string error;
        Reject code = StatusCode::BadInput;
        try {
            code = RunDownload(config, result, on_progress, DownloadCancelQuery(), error);
        } catch (...) {
            error = "the download stopped unexpectedly";
        }
        {
            WindowLock::Guard guard(shared->lock);
            shared->download_code = code;
            shared->download_error = error;
        }
        shared->Post(kMsgDownloadDone);
    });
    if (started) return;
    {
        WindowLock::Guard guard(shared_->lock);
        shared_->download_code = StatusCode::BadInput;
        shared_->download_error = "the download thread could not start";
    }
    shared_->Post(kMsgDownloadDone);
}

void MainWindow::StartNewsThread() {
    // News is verified with the keys of the registry a check accepted. On a first-ever start there
    // is none yet: fetch once more when the first check has accepted one.
    news_waits_for_keys_ = !PathExists(AcceptedKeysPath(config_));
    const std::shared_ptr<Shared> shared = shared_;
    const PatcherConfig config = config_;
    StartWorkerThread("news", [shared, config] {
        NewsBundle bundle = FetchNews(config.base_url, config.root_key, AcceptedKeysPath(config));
        if (bundle.announce.items.empty() && bundle.updates.items.empty() &&
            bundle.stage_jpeg.empty())
            return;
        {
            WindowLock::Guard guard(shared->lock);
            shared->news = std::move(bundle);
        }
        shared->Post(kMsgNews);
    });
}

void MainWindow::OnNews() {
    std::string stage_bytes;
    {
        WindowLock::Guard guard(shared_->lock);
        stage_bytes = shared_->news.stage_jpeg;
    }
    if (!stage_bytes.empty() && gdiplus_.running()) {
        DecodedImage decoded;
        if (DecodeImage(stage_bytes, decoded)) {
            stage_ = std::move(decoded);
            LogLine("stage: published art in use");
        } else {
            LogLine("stage: published art verified but would not decode");
        }
    }
    news_scroll_ = {};
    InvalidateRect(hwnd_, nullptr, FALSE);
}

bool MainWindow::HandleWorkerMessage(UINT message) {
    switch (message) {
        case kMsgCheckDone: {
            CheckOutcome result;
            {
                WindowLock::Guard guard(shared_->lock);
                result = shared_->last_check;
            }
            Apply(OnCheckDone(state_, result, Context(), Platform()));
            if (news_waits_for_keys_ && PathExists(AcceptedKeysPath(config_))) StartNewsThread();
            return true;
        }
        case kMsgProgress: {
            shared_->progress_gate.Release();  // before the read: a newer report posts again
            DownloadProgress progress;
            {
                WindowLock::Guard guard(shared_->lock);
                progress = shared_->progress;
            }
            Apply(patcher::win::OnProgress(state_, progress));
            return true;
        }
        case kMsgDownloadDone: {
            DownloadDone done;
            {
                WindowLock::Guard guard(shared_->lock);
                done.code = shared_->download_code;
                done.self_update = shared_->last_check.self_update;
            }
            if (done.code != StatusCode::Ok) done.player = PlayerMessage(done.code);
            Apply(OnDownloadDone(state_, done, Context(), Platform()));
            return true;
        }
        case kMsgNews:
            OnNews();
            return true;
        case kMsgLaunchDone: {
            bool started = false, channel_active = false;
            {
                WindowLock::Guard guard(shared_->lock);
                started = shared_->launch_started;
                channel_active = shared_->launch_channel_active;
            }
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

// ---- actions ------------------------------------------------------------------------------

void MainWindow::ApplySelfUpdateAndRestart() {
    std::string sha256;
    {
        WindowLock::Guard guard(shared_->lock);
        sha256 = shared_->last_check.self_update_sha256;
    }
    std::string error;
    bool patcher_intact = true;
    const bool applied =
        ApplySelfUpdate(sha256, error, patcher_intact) && RestartSelf(restart_arguments_, error);
    if (!applied) LogLine("self-update: not applied :: " + error);
    Apply(OnSelfUpdateApplied(state_, applied, patcher_intact));
}

void MainWindow::LaunchAndClose() {
    Apply(LaunchStarting(state_));
}

void MainWindow::StartLaunchThread() {
    // LaunchGame fetches the first key over HTTPS before it returns: on the window thread the
    // window would neither paint nor answer for as long, and Windows would call it not responding.
    // A fresh channel per attempt; the one of a failed attempt closes when its last owner lets go.
    channel_ = std::make_shared<KeyChannel>();
    const HWND window = hwnd_;
    channel_->SetClosingCallback([window] { PostMessageW(window, kMsgChannelClosed, 0, 0); });
    const std::shared_ptr<Shared> shared = shared_;
    const std::shared_ptr<KeyChannel> channel = channel_;
    const PatcherConfig config = config_;
    const auto report_launch = [shared](bool started, bool channel_active) {
        {
            WindowLock::Guard guard(shared->lock);
            shared->launch_started = started;
            shared->launch_channel_active = started && channel_active;
        }
        shared->Post(kMsgLaunchDone);
    };
    const bool started = StartWorkerThread("launch", [config, channel, report_launch] {
        LaunchReport report;
        std::string diagnostic;
        bool launched = false;
        try {
            launched = LaunchGame(config, *channel, report, diagnostic);
        } catch (...) {
            LogLine("launch: stopped unexpectedly");
        }
        report_launch(launched, report.channel_active);
    });
    if (!started) report_launch(false, false);
}

void MainWindow::OnActionClick() {
    CheckOutcome last;
    {
        WindowLock::Guard guard(shared_->lock);
        last = shared_->last_check;
    }
    Apply(patcher::win::OnActionClick(state_, last, Context(), Platform()));
}

void MainWindow::OnPlayAnywayClick() {
    bool allowed = false;
    {
        WindowLock::Guard guard(shared_->lock);
        allowed = PlayAnywayAllowed(shared_->last_check);
    }
    if (allowed) LaunchAndClose();
}

void MainWindow::BrowseForFolder() {
    // The new dialog style needs OLE on this thread.
    const HRESULT ole = OleInitialize(nullptr);
    BROWSEINFOW info{};
    info.hwndOwner = hwnd_;
    info.lpszTitle = kTextFolderPickerTitle;
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    if (PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&info)) {
        wchar_t path[MAX_PATH] = {};
        if (SHGetPathFromIDListW(chosen, path)) SetWindowTextW(Control(kFolderEdit), path);
        CoTaskMemFree(chosen);
    }
    if (SUCCEEDED(ole)) OleUninitialize();
}

bool MainWindow::SettingsClick(std::int32_t x, std::int32_t y) {
    if (!settings_.Click(layout_, x, y, config_.install_directory)) return false;
    InvalidateRect(hwnd_, nullptr, FALSE);
    return true;
}

void MainWindow::ToggleSettingsPanel() {
    settings_open_ = !settings_open_;
    if (settings_open_) {
        settings_.LoadGameSettings(config_.install_directory);
    } else {
        settings_.ClearMessage();
    }
    InvalidateRect(hwnd_, nullptr, FALSE);
}

// ---- painting -----------------------------------------------------------------------------

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
    scene.hover = hover_;
    scene.settings = settings_open_ ? &settings_.state() : nullptr;
    scene.news_tab = news_tab_;
    WindowLock::Guard guard(shared_->lock);
    scene.news = news_tab_ == 0 ? shared_->news.announce : shared_->news.updates;
    scene.progress = shared_->progress;
    return scene;
}

void MainWindow::PaintInto(HDC dc, bool draw_stage) {
    const PaintResult result = PaintAll(dc, Scene(draw_stage), news_scroll_[news_tab_]);
    tabs_ = result.tabs;
    if (result.repaint && !self_test_) InvalidateRect(hwnd_, nullptr, FALSE);
}

void MainWindow::Paint() {
    PAINTSTRUCT paint{};
    const HDC dc = BeginPaint(hwnd_, &paint);
    const RECT& update = paint.rcPaint;
    const int width = update.right - update.left;
    const int height = update.bottom - update.top;
    unique_memory_dc memory(width > 0 && height > 0 ? CreateCompatibleDC(dc) : nullptr);
    unique_hbitmap buffer(memory ? CreateCompatibleBitmap(dc, width, height) : nullptr);
    if (buffer) {
        const unique_select_object selected(memory.get(), buffer.get());
        SetWindowOrgEx(memory.get(), update.left, update.top, nullptr);
        PaintInto(memory.get(), true);
        SetWindowOrgEx(memory.get(), 0, 0, nullptr);
        BitBlt(dc, update.left, update.top, width, height, memory.get(), 0, 0, SRCCOPY);
    } else {
        PaintInto(dc, true);
    }
    EndPaint(hwnd_, &paint);
}

void MainWindow::InvalidateStatus() {
    const RECT region = ToRect(StatusRegion(layout_));
    InvalidateRect(hwnd_, &region, FALSE);
}

void MainWindow::InvalidateTitleBar() {
    const RECT bar{0, 0, layout_.width, layout_.title_height};
    InvalidateRect(hwnd_, &bar, FALSE);
}

void MainWindow::DrawItem(const DRAWITEMSTRUCT& item) {
    const bool action = item.CtlID == kActionButton;
    const int length = GetWindowTextLengthW(item.hwndItem);
    std::wstring caption(static_cast<std::size_t>(length) + 1, L'\0');
    caption.resize(
        static_cast<std::size_t>(GetWindowTextW(item.hwndItem, caption.data(), length + 1)));
    DrawOwnerButton(item.hDC, item.rcItem, caption, action, (item.itemState & ODS_DISABLED) != 0,
                    (item.itemState & ODS_SELECTED) != 0,
                    action ? fonts_.button.get() : fonts_.body.get());
}

HBRUSH MainWindow::ControlColours(HDC dc, HWND control) {
    // The layout placed every control: its box there says what lies behind it.
    const int id = GetDlgCtrlID(control);
    Box box{};
    for (const auto& [placed_id, placed_box] : PlacedControls())
        if (placed_id == id) box = placed_box;
    const Rgb behind = ColourBehind(layout_, box);
    unique_hbrush& brush = behind == kPanel ? panel_brush_ : ground_brush_;
    if (!brush) brush.reset(CreateSolidBrush(ColourRef(behind)));
    SetTextColor(dc, ColourRef(kText));
    SetBkColor(dc, ColourRef(behind));
    // The edit field redraws its text in place as it scrolls: it needs an opaque background.
    if (id != kFolderEdit) SetBkMode(dc, TRANSPARENT);
    return brush.get();
}

void MainWindow::DrawActionButtonInto(HDC dc) {
    const RECT rect = ToRect(PlaceControls(layout_).action);
    DrawOwnerButton(dc, rect, ActionCaption(state_.action), true, !state_.action_enabled, false,
                    fonts_.button.get());
}

// ---- window procedure ---------------------------------------------------------------------

LRESULT CALLBACK MainWindow::WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    MainWindow* self = g_window;
    if (self == nullptr) return DefWindowProcW(window, message, wparam, lparam);
    if (self->hwnd_ == nullptr) self->hwnd_ = window;
    if (self->hwnd_ != window) return DefWindowProcW(window, message, wparam, lparam);
    // Nothing may unwind through the system's code that called us.
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
    const std::int32_t x = GET_X_LPARAM(lparam);
    const std::int32_t y = GET_Y_LPARAM(lparam);
    switch (message) {
        case WM_MOUSEMOVE: {
            const TitleBarItem item = TitleBarItemAt(layout_, x, y);
            if (item != hover_) {
                hover_ = item;
                InvalidateTitleBar();
            }
            if (!tracking_mouse_) {
                TRACKMOUSEEVENT track{sizeof(track), TME_LEAVE, hwnd_, 0};
                tracking_mouse_ = TrackMouseEvent(&track) != FALSE;
            }
            return true;
        }
        case WM_MOUSELEAVE:
            tracking_mouse_ = false;
            if (hover_ != TitleBarItem::None) {
                hover_ = TitleBarItem::None;
                InvalidateTitleBar();
            }
            return true;
        case WM_LBUTTONDOWN:
            pressed_ = TitleBarItemAt(layout_, x, y);
            return true;
        case WM_LBUTTONUP: {
            // A title-bar button acts only on a click that began on it: a press on the stage
            // released over the close button is no click.
            const TitleBarItem pressed = std::exchange(pressed_, TitleBarItem::None);
            if (settings_open_ && SettingsClick(x, y)) return true;
            const int tab = settings_open_ ? -1 : NewsTabAt(tabs_, x, y);
            if (tab >= 0) {
                if (tab != news_tab_) {
                    news_tab_ = tab;
                    news_scroll_ = {};
                    InvalidateRect(hwnd_, nullptr, FALSE);
                }
                return true;
            }
            const TitleBarItem released = TitleBarItemAt(layout_, x, y);
            switch (released == pressed ? released : TitleBarItem::None) {
                case TitleBarItem::Settings:
                    ToggleSettingsPanel();
                    break;
                case TitleBarItem::Minimise:
                    ShowWindow(hwnd_, SW_MINIMIZE);
                    break;
                case TitleBarItem::Close:
                    PostMessageW(hwnd_, WM_CLOSE, 0, 0);
                    break;
                case TitleBarItem::None:
                    break;
            }
            return true;
        }
        case WM_MOUSEWHEEL: {
            const int delta = GET_WHEEL_DELTA_WPARAM(wparam);
            if (!settings_open_ && delta != 0) {
                NewsScroll& scroll = news_scroll_[news_tab_];
                scroll.offset = WheelScrollOffset(layout_, scroll.offset, delta);
                InvalidateRect(hwnd_, nullptr, FALSE);
            }
            return true;
        }
        default:
            return false;
    }
}

LRESULT MainWindow::Handle(UINT message, WPARAM wparam, LPARAM lparam) {
    if (HandleWorkerMessage(message) || HandleMouse(message, wparam, lparam)) return 0;
    switch (message) {
        case WM_DESTROY:
            panel_brush_.reset();
            ground_brush_.reset();
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
        case WM_ERASEBKGND:
            return 1;
        case WM_GETMINMAXINFO: {
            auto* info = reinterpret_cast<MINMAXINFO*>(lparam);
            std::int32_t width = 0;
            std::int32_t height = 0;
            MinimumTrackSize(WorkAreaUnderCursor(), width, height);
            info->ptMinTrackSize = POINT{width, height};
            return 0;
        }
        case WM_DRAWITEM: {
            const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lparam);
            if (item->CtlType != ODT_BUTTON) break;
            DrawItem(*item);
            return TRUE;
        }
        case WM_NCCALCSIZE:
            return 0;
        case WM_NCHITTEST: {
            RECT window{};
            if (!GetWindowRect(hwnd_, &window)) return HTCLIENT;
            return static_cast<LRESULT>(
                HitTest(layout_, window.right - window.left, window.bottom - window.top,
                        GET_X_LPARAM(lparam) - window.left, GET_Y_LPARAM(lparam) - window.top));
        }
        case WM_COMMAND:
            // Owner-drawn buttons report a second click soon after the first as a double-click,
            // not a click; for the player it is one more press.
            if (HIWORD(wparam) == BN_CLICKED || HIWORD(wparam) == BN_DOUBLECLICKED) {
                switch (LOWORD(wparam)) {
                    case kActionButton:
                        OnActionClick();
                        break;
                    case kPlayAnywayButton:
                        OnPlayAnywayClick();
                        break;
                    case kBrowseButton:
                        BrowseForFolder();
                        break;
                }
            }
            return 0;
        // The default answers are the system's button-face grey: owner-drawn buttons would flash
        // it before their fill, and the first-install texts would sit in grey boxes.
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN:
            return reinterpret_cast<LRESULT>(
                ControlColours(reinterpret_cast<HDC>(wparam), reinterpret_cast<HWND>(lparam)));
        case kWmDpiChanged: {
            if (!in_creation_) {
                const RECT* suggested = reinterpret_cast<const RECT*>(lparam);
                SetWindowPos(hwnd_, nullptr, suggested->left, suggested->top,
                             suggested->right - suggested->left, suggested->bottom - suggested->top,
                             SWP_NOZORDER | SWP_NOACTIVATE);
            }
            Relayout();
            return 0;
        }
    }
    return DefWindowProcW(hwnd_, message, wparam, lparam);
}

}  // namespace patcher::win
