#include "ui/window/draw.h"

#include "model/text_fit.h"
#include "ui/window/gdi.h"

namespace patcher::ui {

using namespace model;

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

namespace {

std::int32_t Measure(HDC dc, const std::wstring& text) {
    SIZE size{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    return size.cx;
}

// The selected font's shortening of a single line to the rectangle's width.
std::wstring Fitted(HDC dc, const std::wstring& text, const RECT& rect) {
    return FitToWidth(text, rect.right - rect.left,
                      [dc](const std::wstring& part) { return Measure(dc, part); });
}

}  // namespace

int Text(HDC dc, const std::wstring& text, RECT rect, HFONT font, Rgb colour, UINT flags) {
    const unique_select_object selected(dc, font);
    SetTextColor(dc, ColourRef(colour));
    // A line that does not fit says so with "…" rather than stopping at the edge mid-word.
    const std::wstring shown = (flags & DT_SINGLELINE) != 0 ? Fitted(dc, text, rect) : text;
    return DrawTextW(dc, shown.c_str(), static_cast<int>(shown.size()), &rect, flags | DT_NOPREFIX);
}

std::wstring ShownText(HDC dc, const std::wstring& text, RECT rect, HFONT font) {
    const unique_select_object selected(dc, font);
    return Fitted(dc, text, rect);
}

std::int32_t TextWidth(HDC dc, const wchar_t* text, HFONT font) {
    const unique_select_object selected(dc, font);
    SIZE size{};
    GetTextExtentPoint32W(dc, text, static_cast<int>(wcslen(text)), &size);
    return size.cx;
}

void PaintBuffered(HWND window, const std::function<void(HDC)>& paint) {
    PAINTSTRUCT ps{};
    const HDC dc = BeginPaint(window, &ps);
    const RECT& update = ps.rcPaint;
    const int width = update.right - update.left;
    const int height = update.bottom - update.top;
    unique_memory_dc memory(width > 0 && height > 0 ? CreateCompatibleDC(dc) : nullptr);
    unique_hbitmap buffer(memory ? CreateCompatibleBitmap(dc, width, height) : nullptr);
    if (buffer) {
        const unique_select_object selected(memory.get(), buffer.get());
        SetWindowOrgEx(memory.get(), update.left, update.top, nullptr);
        paint(memory.get());
        SetWindowOrgEx(memory.get(), 0, 0, nullptr);
        BitBlt(dc, update.left, update.top, width, height, memory.get(), 0, 0, SRCCOPY);
    } else {
        paint(dc);
    }
    EndPaint(window, &ps);
}

}  // namespace patcher::ui
