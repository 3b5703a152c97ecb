// The few drawing steps every painter of the window repeats: solid fills and frames (each brush
// made and deleted at once) and text in one font and colour.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

#include "model/colours.h"
#include "model/layout.h"

namespace patcher::ui {

RECT ToRect(const model::Box& box);

// Nothing for an empty box.
void Fill(HDC dc, const model::Box& box, model::Rgb colour);
// One pixel wide, inside the rectangle.
void Frame(HDC dc, const RECT& rect, model::Rgb colour);

// Draws `text` in `rect` (never as a prefix; a single line that does not fit ends with "…") and
// answers the height DrawTextW reports.
int Text(HDC dc, const std::wstring& text, RECT rect, HFONT font, model::Rgb colour, UINT flags);

// What Text shows of `text` as a single line in `rect`.
std::wstring ShownText(HDC dc, const std::wstring& text, RECT rect, HFONT font);

// The single-line width of `text` in `font`.
std::int32_t TextWidth(HDC dc, const wchar_t* text, HFONT font);

// WM_PAINT through an off-screen bitmap of the update region, so that nothing flickers; straight
// onto the window when the bitmap cannot be made.
void PaintBuffered(HWND window, const std::function<void(HDC)>& paint);

}  // namespace patcher::ui
