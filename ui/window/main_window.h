// The player's window: one borderless, custom-painted top-level window that checks the
// installation as it opens, downloads what is missing without being asked and offers one action
// button. The rules live in the window model (model/window_handlers.h): this class routes the
// messages to them, carries out the effects they return, starts the workers and paints.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "model/layout.h"
#include "model/transfer_rate.h"
#include "model/window_handlers.h"
#include "model/window_state.h"
#include "rules/patcher_config.h"
#include "ui/window/child_controls.h"
#include "ui/window/fonts.h"
#include "ui/window/gdi.h"
#include "ui/window/image_decode.h"
#include "ui/window/paint.h"
#include "ui/window/pointer_input.h"
#include "ui/window/settings_panel.h"
#include "ui/window/window_workers.h"
#include "win/launch/key_channel.h"

namespace patcher::ui {

inline constexpr wchar_t kMainWindowClassName[] = L"Garun2PatcherMainWindow";

class MainWindow {
  public:
    explicit MainWindow(const rules::PatcherConfig& config);
    ~MainWindow();
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // Before Create: the --after-self-update switch, and the command-line options a restart after
    // a self-update must repeat so the new patcher serves the same release and folders.
    void SetAfterSelfUpdate(bool after_self_update) {
        state_.after_self_update = after_self_update;
    }
    void SetRestartArguments(std::wstring arguments) { restart_arguments_ = std::move(arguments); }

    // In self-test mode the window stays hidden, starts no thread and is laid out for a
    // 1920 x 1080 desktop with a 48-pixel taskbar.
    bool Create(HINSTANCE instance, bool self_test, int show_command);
    HWND hwnd() const { return hwnd_; }

    // The view/action mapping and the status texts, as the self-test drives them.
    void SetView(model::WindowView view, model::ActionButton action);
    void SetStatus(model::Rgb dot, std::wstring headline, std::wstring detail);

    // For the UI self-test.
    const model::Layout& layout() const { return layout_; }
    const model::WindowState& state() const { return state_; }
    PictureRef stage() const;
    void PaintInto(HDC dc, bool draw_stage);
    void DrawActionButtonInto(HDC dc);
    // Lays the window out (fonts and controls too) as if its client area had this size; the
    // window itself is not moved, so sizes beyond the screen can be painted.
    void LayOutAs(std::int32_t width, std::int32_t height);
    HWND FolderPromptControl() const;  // 1008
    HWND ActionControl() const;        // 1001

  private:
    bool ShowProgress(const rules::DownloadProgress& progress);
    // Reached through GWLP_USERDATA, set at WM_NCCREATE. Nothing may unwind through the system's
    // code that called it.
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam,
                                       LPARAM lparam) noexcept;
    LRESULT Handle(UINT message, WPARAM wparam, LPARAM lparam);
    bool HandleMouse(UINT message, WPARAM wparam, LPARAM lparam);
    bool HandleWorkerMessage(UINT message);
    void OnCommand(int id);

    void PlaceWindow(bool self_test);
    void LoadPictures();
    void Relayout();
    void UpdateFonts();

    model::WindowContext Context() const;
    void Apply(model::WindowEffects effects);
    void LogStateWhenChanged();
    void RunNext(model::NextStep next);

    void StartNews();
    void ApplySelfUpdateAndRestart();
    void StartLaunch();
    void OnNews();

    void Paint();
    PaintScene Scene(bool draw_stage);
    void InvalidateStatus();
    void InvalidateTitleBar();

    rules::PatcherConfig config_;
    bool repair_next_check_ = false;  // the next check ignores the verified-file records
    std::shared_ptr<WindowShared> shared_;
    model::WindowState state_;
    model::Layout layout_;
    HWND hwnd_ = nullptr;
    FontSet fonts_;
    ChildControls controls_;
    DecodedImage logo_;
    DecodedImage stage_;
    GdiplusSession gdiplus_;
    // Shared with the launch thread, which may still be in LaunchGame when the window goes.
    std::shared_ptr<win::KeyChannel> channel_;
    std::wstring restart_arguments_;
    std::wstring logged_state_;  // the last WindowStateLine written
    bool self_test_ = false;
    bool in_creation_ = false;
    model::NewsRefetch news_refetch_;
    model::TransferRate rate_;  // of the running download, for the detail line
    SettingsPanel settings_;
    PointerInput pointer_;
};

}  // namespace patcher::ui
