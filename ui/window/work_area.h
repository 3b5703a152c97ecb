// Where the window goes: the work area (the desktop without the taskbar) of the monitor under the
// cursor.
#pragma once

#include "model/layout.h"

namespace patcher::win {

// The nearest monitor's work area; the primary work area when the cursor or the monitor cannot
// be read or the rectangle is empty; the whole screen when that is empty too.
ScreenRect WorkAreaUnderCursor();

}  // namespace patcher::win
