// Drawing the window: everything the painter needs arrives in one scene record (the window copies
// the shared parts under its lock first), so painting touches no window state and the UI self-test
// paints exactly what the window paints.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <string>

#include "core/news_document.h"
#include "model/layout.h"
#include "model/settings_panel_state.h"
#include "model/window_state.h"
#include "rules/download_progress.h"
#include "ui/window/fonts.h"

namespace patcher::ui {

struct PictureRef {
    HBITMAP bitmap = nullptr;
    std::int32_t width = 0;
    std::int32_t height = 0;
    bool usable() const { return bitmap != nullptr && width >= 1 && height >= 1; }
};

struct PaintScene {
    const model::Layout* layout = nullptr;
    const FontSet* fonts = nullptr;
    const model::WindowState* state = nullptr;
    PictureRef stage;
    bool draw_stage = true;  // the UI self-test samples the flat ground under it
    PictureRef logo;
    model::TitleBarItem hover = model::TitleBarItem::None;
    const model::SettingsPanelState* settings = nullptr;  // while open: drawn in place of the news
    int news_tab = 0;
    NewsDocument news;  // the current tab's list
    rules::DownloadProgress progress;
};

// Kept by the window between paints: the current tab's scroll offset and the content height the
// last paint measured.
struct NewsScroll {
    std::int32_t offset = 0;
    std::int32_t content_height = 0;
};

struct PaintResult {
    std::array<model::Box, 2> tabs{};  // where the tab headings were drawn, for clicks
    bool repaint = false;              // the scroll offset was clamped: paint once more
};

PaintResult PaintAll(HDC dc, const PaintScene& scene, NewsScroll& scroll);

// The settings panel over the news column (paint_settings.cpp).
void PaintSettingsPanel(HDC dc, const PaintScene& scene);

// The news tab headings as PaintAll places them, measured in the small bold font.
std::array<model::Box, 2> MeasureNewsTabs(HDC dc, const model::Layout& layout,
                                          const FontSet& fonts);

// An owner-drawn button (1001, 1002, 1003) filling `rect`.
void DrawOwnerButton(HDC dc, const RECT& rect, const std::wstring& caption, bool action_button,
                     bool disabled, bool pressed, HFONT font);

}  // namespace patcher::ui
