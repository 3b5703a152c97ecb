#include "ui/window/pointer_input.h"

#include <windowsx.h>

#include <utility>

namespace patcher::ui {

using namespace model;

bool PointerInput::Handle(HWND window, const Layout& layout, UINT message, WPARAM wparam,
                          LPARAM lparam, const SettingsClick& settings_click,
                          PointerEffects& effects) {
    const std::int32_t x = GET_X_LPARAM(lparam);
    const std::int32_t y = GET_Y_LPARAM(lparam);
    switch (message) {
        case WM_MOUSEMOVE: {
            const TitleBarItem item = TitleBarItemAt(layout, x, y);
            effects.repaint_title_bar = item != hover_;
            hover_ = item;
            // Windows reports the pointer leaving only to a window that asked, once per asking.
            if (!tracking_) {
                TRACKMOUSEEVENT track{sizeof(track), TME_LEAVE, window, 0};
                tracking_ = TrackMouseEvent(&track) != FALSE;
            }
            return true;
        }
        case WM_MOUSELEAVE:
            tracking_ = false;
            effects.repaint_title_bar = hover_ != TitleBarItem::None;
            hover_ = TitleBarItem::None;
            return true;
        case WM_LBUTTONDOWN:
            pressed_ = TitleBarItemAt(layout, x, y);
            return true;
        case WM_LBUTTONUP:
            Release(layout, x, y, settings_click, effects);
            return true;
        case WM_MOUSEWHEEL: {
            const int delta = GET_WHEEL_DELTA_WPARAM(wparam);
            if (!settings_click && delta != 0) {
                scroll().offset = WheelScrollOffset(layout, scroll().offset, delta);
                effects.repaint = true;
            }
            return true;
        }
        default:
            return false;
    }
}

void PointerInput::Release(const Layout& layout, std::int32_t x, std::int32_t y,
                           const SettingsClick& settings_click, PointerEffects& effects) {
    PointerRelease release;
    release.pressed = std::exchange(pressed_, TitleBarItem::None);
    release.released = TitleBarItemAt(layout, x, y);
    release.settings_open = static_cast<bool>(settings_click);
    release.settings_took = release.settings_open && settings_click(x, y);
    release.tab_hit = NewsTabAt(tabs_, x, y);
    release.news_tab = news_tab_;
    const ReleaseDecision decision = DecideRelease(release);
    effects.repaint = release.settings_took || decision.action == ReleaseAction::ShowTab;
    if (decision.action == ReleaseAction::ShowTab) {
        news_tab_ = decision.tab;
        scroll_ = {};
    } else {
        effects.action = decision.action;
    }
}

}  // namespace patcher::ui
