// The window's palette. Colours are plain data so the layout, the painter and the UI self-test
// compare the same values; the painter turns them into COLORREFs with ColorRefOf.
#pragma once

#include <cstdint>

namespace patcher::model {

struct Rgb {
    std::uint8_t r = 0;
    std::uint8_t g = 0;
    std::uint8_t b = 0;
    constexpr bool operator==(const Rgb&) const = default;
};

inline constexpr Rgb kGround{20, 17, 14};          // window and stage-art background
inline constexpr Rgb kPanel{31, 26, 21};           // title bar, footer, news column, edit field
inline constexpr Rgb kLine{58, 49, 41};            // separators, borders, scrollbar track
inline constexpr Rgb kMutedText{154, 144, 129};    // secondary texts, disabled captions, thumb
inline constexpr Rgb kText{232, 226, 214};         // headline, news text, edit text, text logo
inline constexpr Rgb kHover{42, 35, 28};           // hovered or disabled buttons, progress track
inline constexpr Rgb kAmber{201, 162, 39};         // action button, active tab, news titles
inline constexpr Rgb kAmberPressed{178, 142, 32};  // pressed action button
inline constexpr Rgb kActionText{23, 18, 8};       // caption of the enabled action button
inline constexpr Rgb kGreen{94, 155, 110};         // status dot
inline constexpr Rgb kRed{139, 46, 46};            // status dot, hovered close, red progress fill

// The status dot is only ever one of these three.
inline constexpr Rgb kDotAmber = kAmber;
inline constexpr Rgb kDotGreen = kGreen;
inline constexpr Rgb kDotRed = kRed;

// Windows' COLORREF layout (0x00BBGGRR), without including windows.h.
constexpr std::uint32_t ColorRefOf(Rgb c) {
    return static_cast<std::uint32_t>(c.r) | (static_cast<std::uint32_t>(c.g) << 8) |
           (static_cast<std::uint32_t>(c.b) << 16);
}

}  // namespace patcher::model
