// Where the settings panel's parts sit (it replaces the news tabs and list while open) and which of
// them a click lands on. Every x range runs over the news content column of the layout.
#pragma once

#include <array>
#include <cstdint>

#include "model/layout.h"

namespace patcher::model {

// Full screen, resolution, brightness, software cursor (the game's), download limit (the
// patcher's).
inline constexpr int kSettingsRows = 5;

struct SettingsRowBoxes {
    Box label;
    Box value;        // the framed box with the two arrows inside its ends
    Box left_arrow;   // the first `arrow_width` pixels of the value box
    Box right_arrow;  // the last `arrow_width` pixels
    bool fits;        // drawn and clickable only when the value box ends at or above the footer top
};

struct SettingsPanelLayout {
    std::int32_t arrow_width;
    Box heading;  // "AYARLAR", as wide as the news column (the painter measures the text)
    std::array<SettingsRowBoxes, kSettingsRows> rows;
    Box save;
    bool save_fits;
    Box notes;
    bool notes_fit;  // a positive height is left between the save button and the footer
};

SettingsPanelLayout ComputeSettingsPanel(const Layout& layout);

// The amber bar under the heading, as wide as its measured text.
Box SettingsHeadingBar(const Layout& layout, std::int32_t heading_text_width);

struct SettingsHit {
    enum class Kind : std::int32_t { None = 0, Row = 1, Save = 2 };
    Kind kind = Kind::None;
    int row = -1;
    int direction = 0;  // -1 within the left arrow, +1 anywhere else in the value box
    bool operator==(const SettingsHit&) const = default;
};

// Rows are tried in order (only those that fit), then the save button (when it fits).
SettingsHit SettingsHitAt(const SettingsPanelLayout& panel, std::int32_t x, std::int32_t y);

}  // namespace patcher::model
