// The window's six fonts, made together for one body-font height and handed out as a set.
#pragma once

#include <cstdint>

#include "model/layout.h"
#include "ui/window/gdi.h"

namespace patcher::ui {

struct FontSet {
    unique_hfont body;
    unique_hfont button;
    unique_hfont large;
    unique_hfont news_title;
    unique_hfont small_bold;
    unique_hfont small;
    std::int32_t made_for = 0;  // the body height the set was made for; 0 for none

    bool complete() const;
};

// "Segoe UI", else the same request with "Tahoma". Not complete() when any of the six could not be
// made. The caller hands a new set to its controls before it lets go of the old one.
FontSet MakeFonts(const model::FontHeights& heights, std::int32_t body_height);

}  // namespace patcher::ui
