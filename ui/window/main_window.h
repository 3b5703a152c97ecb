// The player's window: one borderless, custom-painted top-level window that checks the
// installation as it opens, downloads what is missing without being asked and offers one action
// button. The rules live in the window model (ui/window_handlers.h): this class feeds them the
// events, carries out the effects they return, runs the worker threads and paints.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "model/layout.h"
#include "model/patcher_config.h"
#include "model/window_handlers.h"
#include "model/window_state.h"
#include "ui/window/fonts.h"
#include "ui/window/gdi.h"
#include "ui/window/image_decode.h"
#include "ui/window/paint.h"
#include "ui/window/settings_panel.h"
#include "win/launch/key_channel.h"

namespace patcher::win {

inline constexpr wchar_t kMainWindowClassName[] = L"Garun2PatcherMainWindow";

// The payload-free messages the workers post; the window reads their results under its lock.
inline constexpr UINT kMsgCheckDone = WM_APP + 1;
inline constexpr UINT kMsgProgress = WM_APP + 2;
inline constexpr UINT kMsgDownloadDone = WM_APP + 3;
inline constexpr UINT kMsgNews = WM_APP + 4;
inline constexpr UINT kMsgChannelClosed = WM_APP + 5;
inline constexpr UINT kMsgLaunchDone = WM_APP + 6;

class MainWindow {
  public:
    explicit MainWindow(const PatcherConfig& config);
    ~MainWindow();
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // Before Create: the --after-self-update switch, and the command-line options a restart after
    // a self-update must repeat so the new patcher serves the same release and folders.
    void SetAfterSelfUpdate(bool after_self_update);
    void SetRestartArguments(std::wstring arguments);

    // In self-test mode the window stays hidden, starts no thread and is laid out for a
    // 1920 x 1080 desktop with a 48-pixel taskbar.
    bool Create(HINSTANCE instance, bool self_test, int show_command);
    HWND hwnd() const { return hwnd_; }

    // The view/action mapping and the status texts, as the self-test drives them.
    void SetView(WindowView view, ActionButton action);
    void SetStatus(Rgb dot, std::wstring headline, std::wstring detail);

    // For the UI self-test.
    const Layout& layout() const { return layout_; }
    const WindowState& state() const { return state_; }
    PictureRef stage() const;
    void PaintInto(HDC dc, bool draw_stage);
    void DrawActionButtonInto(HDC dc);
    // Lays the window out (fonts and controls too) as if its client area had this size; the
    // window itself is not moved, so sizes beyond the screen can be painted.
    void LayOutAs(std::int32_t width, std::int32_t height);
    HWND FolderPromptControl() const;  // 1008
    HWND ActionControl() const;        // 1001

  private:
    struct Shared;

    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
    LRESULT Handle(UINT message, WPARAM wparam, LPARAM lparam);
    bool HandleMouse(UINT message, WPARAM wparam, LPARAM lparam);
    bool HandleWorkerMessage(UINT message);

    bool RegisterWindowClass(HINSTANCE instance);
    void PlaceWindow(bool self_test);
    void LoadPictures();
    void CreateControls(HINSTANCE instance);
    void Relayout();
    void UpdateFonts();
    // Each child control's id with the box the layout gives it.
    std::array<std::pair<int, Box>, 8> PlacedControls() const;
    void MoveControls();
    void SyncControls();
    HWND Control(int id) const;

    WindowContext Context() const;
    WindowPlatform Platform() const;
    void Apply(WindowEffects effects);
    void LogStateWhenChanged();
    void RunNext(NextStep next);

    void StartCheckThread();
    void StartDownloadThread();
    void StartNewsThread();
    void ApplySelfUpdateAndRestart();
    void LaunchAndClose();
    void StartLaunchThread();
    void BrowseForFolder();
    void OnNews();
    void OnActionClick();
    void OnPlayAnywayClick();

    void Paint();
    PaintScene Scene(bool draw_stage);
    void InvalidateStatus();
    void InvalidateTitleBar();
    void DrawItem(const DRAWITEMSTRUCT& item);
    // WM_CTLCOLOR*: the text colour and the brush of what lies behind the control.
    HBRUSH ControlColours(HDC dc, HWND control);

    // The settings panel takes left clicks first while open; the title-bar button opens (and
    // loads) it and closes it.
    bool SettingsClick(std::int32_t x, std::int32_t y);
    void ToggleSettingsPanel();

    PatcherConfig config_;
    std::shared_ptr<Shared> shared_;
    WindowState state_;
    Layout layout_;
    HWND hwnd_ = nullptr;
    FontSet fonts_;
    // Made on first use, kept until WM_DESTROY: what the child controls erase and fill with.
    unique_hbrush panel_brush_;
    unique_hbrush ground_brush_;
    DecodedImage logo_;
    DecodedImage stage_;
    GdiplusSession gdiplus_;
    // Shared with the launch thread, which may still be in LaunchGame when the window goes.
    std::shared_ptr<KeyChannel> channel_;
    std::wstring restart_arguments_;
    std::wstring logged_state_;  // the last WindowStateLine written
    bool self_test_ = false;
    bool in_creation_ = false;
    bool settings_open_ = false;
    bool news_waits_for_keys_ = false;
    SettingsPanel settings_;
    bool tracking_mouse_ = false;
    TitleBarItem hover_ = TitleBarItem::None;
    TitleBarItem pressed_ = TitleBarItem::None;  // where the left button went down
    int news_tab_ = 0;
    std::array<NewsScroll, 2> news_scroll_{};
    std::array<Box, 2> tabs_{};
};

}  // namespace patcher::win
