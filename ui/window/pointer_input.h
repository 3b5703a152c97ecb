// The pointer on the window's own surface: the hover over the title-bar buttons, the press a click
// began with, the news tabs and their scroll. What a release or a wheel turn means is the model's
// (DecideRelease, WheelScrollOffset); this class keeps the state between messages.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <functional>

#include "model/layout.h"
#include "model/window_handlers.h"
#include "ui/window/paint.h"

namespace patcher::ui {

struct PointerEffects {
    bool repaint = false;            // the whole client area
    bool repaint_title_bar = false;  // the hover moved
    // ToggleSettings, Minimise or Close for the window; ShowTab is carried out here.
    model::ReleaseAction action = model::ReleaseAction::None;
};

// Asked only while the settings panel is open: true when the panel took the click.
using SettingsClick = std::function<bool(std::int32_t x, std::int32_t y)>;

class PointerInput {
  public:
    // Mouse messages only: false for any other. `settings_click` is empty while the panel is shut.
    bool Handle(HWND window, const model::Layout& layout, UINT message, WPARAM wparam,
                LPARAM lparam, const SettingsClick& settings_click, PointerEffects& effects);

    model::TitleBarItem hover() const { return hover_; }
    int news_tab() const { return news_tab_; }
    NewsScroll& scroll() { return scroll_[news_tab_]; }
    // New news: both tabs back to their tops.
    void ResetScroll() { scroll_ = {}; }
    // Where the last paint put the tabs.
    void SetTabs(const std::array<model::Box, 2>& tabs) { tabs_ = tabs; }

  private:
    void Release(const model::Layout& layout, std::int32_t x, std::int32_t y,
                 const SettingsClick& settings_click, PointerEffects& effects);

    bool tracking_ = false;
    model::TitleBarItem hover_ = model::TitleBarItem::None;
    model::TitleBarItem pressed_ = model::TitleBarItem::None;  // where the left button went down
    int news_tab_ = 0;
    std::array<NewsScroll, 2> scroll_{};
    std::array<model::Box, 2> tabs_{};
};

}  // namespace patcher::ui
