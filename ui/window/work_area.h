// Where the window goes: the work area (the desktop without the taskbar) of the monitor under the
// cursor.
#pragma once

#include <windows.h>

#include "model/layout.h"

namespace patcher::ui {

// The nearest monitor's work area; the primary work area when the cursor or the monitor cannot
// be read or the rectangle is empty; the whole screen when that is empty too.
model::ScreenRect WorkAreaUnderCursor();

// Moves and sizes `window` for the work area under the cursor, or for a 1920 x 1080 desktop with a
// 48-pixel taskbar in self-test mode. The frame the style asks for is taken away by WM_NCCALCSIZE,
// so Windows is made to ask again.
void PlaceOnWorkArea(HWND window, bool self_test);

}  // namespace patcher::ui
