#include "ui/window/work_area.h"

#include <windows.h>

namespace patcher::win {
namespace {

bool IsEmpty(const RECT& r) {
    return r.right <= r.left || r.bottom <= r.top;
}

ScreenRect ToScreenRect(const RECT& r) {
    return ScreenRect{r.left, r.top, r.right, r.bottom};
}

}  // namespace

ScreenRect WorkAreaUnderCursor() {
    POINT cursor{};
    if (GetCursorPos(&cursor)) {
        MONITORINFO info{};
        info.cbSize = sizeof(info);
        const HMONITOR monitor = MonitorFromPoint(cursor, MONITOR_DEFAULTTONEAREST);
        if (monitor != nullptr && GetMonitorInfoW(monitor, &info) && !IsEmpty(info.rcWork))
            return ToScreenRect(info.rcWork);
    }
    RECT primary{};
    if (SystemParametersInfoW(SPI_GETWORKAREA, 0, &primary, 0) && !IsEmpty(primary))
        return ToScreenRect(primary);
    return ScreenRect{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
}

}  // namespace patcher::win
