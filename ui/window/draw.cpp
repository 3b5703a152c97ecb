#include "ui/window/draw.h"

#include "ui/window/gdi.h"

namespace patcher::win {

RECT ToRect(const Box& box) {
    return RECT{box.x, box.y, box.right(), box.bottom()};
}

void Fill(HDC dc, const Box& box, Rgb colour) {
    if (box.width <= 0 || box.height <= 0) return;
    const unique_hbrush brush(CreateSolidBrush(ColourRef(colour)));
    const RECT rect = ToRect(box);
    FillRect(dc, &rect, brush.get());
}

void Frame(HDC dc, const RECT& rect, Rgb colour) {
    const unique_hbrush brush(CreateSolidBrush(ColourRef(colour)));
    FrameRect(dc, &rect, brush.get());
}

int Text(HDC dc, const std::wstring& text, RECT rect, HFONT font, Rgb colour, UINT flags) {
    const unique_select_object selected(dc, font);
    SetTextColor(dc, ColourRef(colour));
    return DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rect, flags | DT_NOPREFIX);
}

std::int32_t TextWidth(HDC dc, const wchar_t* text, HFONT font) {
    const unique_select_object selected(dc, font);
    SIZE size{};
    GetTextExtentPoint32W(dc, text, static_cast<int>(wcslen(text)), &size);
    return size.cx;
}

}  // namespace patcher::win
