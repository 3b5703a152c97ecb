#include "ui/window/work_area.h"

#include <windows.h>

namespace patcher::ui {

using namespace model;

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

void PlaceOnWorkArea(HWND window, bool self_test) {
    constexpr UINT kQuiet = SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED;
    if (self_test) {
        const WindowRect target = TargetWindowRect(ScreenRect{0, 0, 1920, 1080 - 48});
        SetWindowPos(window, nullptr, target.left, target.top, target.width, target.height, kQuiet);
        return;
    }
    // A move to another monitor may change the DPI and with it the size: a second pass settles it.
    for (int attempt = 0; attempt < 2; ++attempt) {
        const WindowRect target = TargetWindowRect(WorkAreaUnderCursor());
        RECT now{};
        GetWindowRect(window, &now);
        if (attempt > 0 && now.left == target.left && now.top == target.top &&
            now.right == target.right && now.bottom == target.bottom)
            break;
        SetWindowPos(window, nullptr, target.left, target.top, target.width, target.height, kQuiet);
    }
}

}  // namespace patcher::ui
