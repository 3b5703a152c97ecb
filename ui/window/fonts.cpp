#include "ui/window/fonts.h"

#include <windows.h>

namespace patcher::ui {

using namespace model;

namespace {

HFONT MakeFont(std::int32_t height, int weight) {
    for (const wchar_t* face : {L"Segoe UI", L"Tahoma"}) {
        const HFONT font = CreateFontW(height, 0, 0, 0, weight, FALSE, FALSE, FALSE,
                                       DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                       CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_DONTCARE, face);
        if (font != nullptr) return font;
    }
    return nullptr;
}

}  // namespace

bool FontSet::complete() const {
    return body && button && large && news_title && small_bold && small;
}

FontSet MakeFonts(const FontHeights& heights, std::int32_t body_height) {
    FontSet made;
    made.body.reset(MakeFont(heights.body, FW_NORMAL));
    made.button.reset(MakeFont(heights.button, FW_SEMIBOLD));
    made.large.reset(MakeFont(heights.large, FW_SEMIBOLD));
    made.news_title.reset(MakeFont(heights.news_title, FW_SEMIBOLD));
    made.small_bold.reset(MakeFont(heights.small_bold, FW_SEMIBOLD));
    made.small.reset(MakeFont(heights.small, FW_NORMAL));
    if (made.complete()) made.made_for = body_height;
    return made;
}

}  // namespace patcher::ui
