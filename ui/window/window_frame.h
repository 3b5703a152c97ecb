// The window draws its own frame: the system's is taken away, and the hit test, the minimum size
// and the move the system suggests for a new DPI come from the layout.
#pragma once

#include <windows.h>

#include "model/layout.h"

namespace patcher::ui {

// Windows 8.1 and later; the build targets Windows 7 headers.
inline constexpr UINT kWmDpiChanged = 0x02E0;

// The class of a frameless window erased in the ground colour; an existing class is no failure.
bool RegisterWindowClass(HINSTANCE instance, const wchar_t* name, WNDPROC procedure);

// WM_NCCALCSIZE, WM_NCHITTEST, WM_GETMINMAXINFO and WM_ERASEBKGND; false for any other message.
bool AnswerFrameMessage(HWND window, const model::Layout& layout, UINT message, LPARAM lparam,
                        LRESULT& answer);

// WM_DPICHANGED: to the rectangle the system suggests.
void MoveToSuggestedRect(HWND window, LPARAM lparam);

}  // namespace patcher::ui
