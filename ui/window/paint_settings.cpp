// The settings panel, drawn over the news column in place of the news tabs and list.
#include "model/settings_panel_layout.h"
#include "model/window_texts.h"
#include "ui/window/draw.h"
#include "ui/window/paint.h"

namespace patcher::ui {

using namespace model;

namespace {

constexpr UINT kCentred = DT_SINGLELINE | DT_CENTER | DT_VCENTER;

void PaintRow(HDC dc, HFONT font, const SettingsPanelLayout& panel, int row,
              const SettingsPanelState& state) {
    const SettingsRowBoxes& boxes = panel.rows[static_cast<std::size_t>(row)];
    Text(dc, kTextSettingRows[row], ToRect(boxes.label), font, kMutedText, DT_SINGLELINE);
    Fill(dc, boxes.value, kHover);
    Frame(dc, ToRect(boxes.value), kLine);
    const auto arrow = [&](const wchar_t* glyph, const Box& box, int direction) {
        const bool at_limit = PanelArrowAtLimit(state, row, direction);
        Text(dc, glyph, ToRect(box), font, at_limit ? kLine : kAmber, kCentred);
    };
    arrow(kArrowLeft, boxes.left_arrow, -1);
    arrow(kArrowRight, boxes.right_arrow, +1);
    const Box between{boxes.left_arrow.right(), boxes.value.y,
                      boxes.right_arrow.x - boxes.left_arrow.right(), boxes.value.height};
    Text(dc, PanelValueText(state, row), ToRect(between), font,
         PanelValueMuted(state, row) ? kMutedText : kText, kCentred);
}

void PaintSaveButton(HDC dc, HFONT font, const Box& box, bool offered) {
    const RECT rect = ToRect(box);
    Frame(dc, rect, offered ? kAmber : kLine);
    Text(dc, kTextSave, rect, font, offered ? kAmber : kMutedText, kCentred);
}

}  // namespace

void PaintSettingsPanel(HDC dc, const PaintScene& scene) {
    const Layout& l = *scene.layout;
    const SettingsPanelState& state = *scene.settings;
    const HFONT font = scene.fonts->small_bold.get();
    const SettingsPanelLayout panel = ComputeSettingsPanel(l);
    Text(dc, kTextSettingsHeading, ToRect(panel.heading), font, kAmber, DT_SINGLELINE);
    Fill(dc, SettingsHeadingBar(l, TextWidth(dc, kTextSettingsHeading, font)), kAmber);
    for (int row = 0; row < kSettingsRows; ++row) {
        if (panel.rows[static_cast<std::size_t>(row)].fits) PaintRow(dc, font, panel, row, state);
    }
    if (panel.save_fits) PaintSaveButton(dc, font, panel.save, SaveOffered(state));
    if (panel.notes_fit) {
        Text(dc, SettingsNotesText(state.message, state.editable, IsFullScreen(state.config)),
             ToRect(panel.notes), font, kMutedText, DT_WORDBREAK);
    }
}

}  // namespace patcher::ui
