#include "model/settings_panel_layout.h"

#include <algorithm>

namespace patcher::model {

SettingsPanelLayout ComputeSettingsPanel(const Layout& l) {
    auto s = [&l](std::int32_t n) { return Scaled(l, n); };
    SettingsPanelLayout p{};
    p.arrow_width = std::max(s(26), 12);
    p.heading = {l.news_x, l.tabs_y, l.news_content_width, s(20)};
    const std::int32_t value_height = std::max(s(28), 14);
    for (int r = 0; r < kSettingsRows; ++r) {
        SettingsRowBoxes& row = p.rows[static_cast<std::size_t>(r)];
        const std::int32_t top = s(52) * r + l.tabs_y + s(38);
        row.label = {l.news_x, top, l.news_content_width, s(17)};
        row.value = {l.news_x, top + s(20), l.news_content_width, value_height};
        row.left_arrow = {row.value.x, row.value.y, p.arrow_width, value_height};
        row.right_arrow = {row.value.right() - p.arrow_width, row.value.y, p.arrow_width,
                           value_height};
        row.fits = row.value.bottom() <= l.footer_top;
    }
    const std::int32_t save_top = p.rows[kSettingsRows - 1].value.bottom() + s(18);
    p.save = {l.news_x, save_top, l.news_content_width, std::max(s(32), 16)};
    p.save_fits = p.save.bottom() <= l.footer_top;
    const std::int32_t notes_top = p.save.bottom() + s(14);
    p.notes = {l.news_x, notes_top, l.news_content_width, l.footer_top - s(8) - notes_top};
    p.notes_fit = p.notes.height > 0;
    return p;
}

Box SettingsHeadingBar(const Layout& l, std::int32_t heading_text_width) {
    return {l.news_x, l.tabs_y + Scaled(l, 20), heading_text_width, std::max(Scaled(l, 2), 1)};
}

SettingsHit SettingsHitAt(const SettingsPanelLayout& panel, std::int32_t x, std::int32_t y) {
    for (int r = 0; r < kSettingsRows; ++r) {
        const SettingsRowBoxes& row = panel.rows[static_cast<std::size_t>(r)];
        if (!row.fits || !row.value.Contains(x, y)) continue;
        // Only the left arrow steps back; the rest of the box, not just the right arrow, steps on.
        const int direction = x < row.value.x + panel.arrow_width ? -1 : +1;
        return {SettingsHit::Kind::Row, r, direction};
    }
    if (panel.save_fits && panel.save.Contains(x, y)) return {SettingsHit::Kind::Save, -1, 0};
    return {};
}

}  // namespace patcher::model
