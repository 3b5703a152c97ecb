#include "ui/window/window_frame.h"

#include <windowsx.h>

#include "ui/window/gdi.h"
#include "ui/window/work_area.h"

namespace patcher::ui {

using namespace model;

bool RegisterWindowClass(HINSTANCE instance, const wchar_t* name, WNDPROC procedure) {
    WNDCLASSEXW window_class{};
    window_class.cbSize = sizeof(window_class);
    window_class.style = CS_HREDRAW | CS_VREDRAW;
    window_class.lpfnWndProc = procedure;
    window_class.hInstance = instance;
    window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    window_class.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
    // Lives as long as the class, i.e. the process.
    window_class.hbrBackground = CreateSolidBrush(ColourRef(kGround));
    window_class.lpszClassName = name;
    if (RegisterClassExW(&window_class) != 0) return true;
    DeleteObject(window_class.hbrBackground);
    return GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

bool AnswerFrameMessage(HWND window, const Layout& layout, UINT message, LPARAM lparam,
                        LRESULT& answer) {
    switch (message) {
        case WM_NCCALCSIZE:
            answer = 0;  // the client area is the whole window
            return true;
        case WM_ERASEBKGND:
            answer = 1;  // the paint covers everything, from an off-screen bitmap
            return true;
        case WM_NCHITTEST: {
            RECT box{};
            answer = HTCLIENT;
            if (GetWindowRect(window, &box))
                answer = static_cast<LRESULT>(
                    HitTest(layout, box.right - box.left, box.bottom - box.top,
                            GET_X_LPARAM(lparam) - box.left, GET_Y_LPARAM(lparam) - box.top));
            return true;
        }
        case WM_GETMINMAXINFO: {
            auto* info = reinterpret_cast<MINMAXINFO*>(lparam);
            std::int32_t width = 0;
            std::int32_t height = 0;
            MinimumTrackSize(WorkAreaUnderCursor(), width, height);
            info->ptMinTrackSize = POINT{width, height};
            answer = 0;
            return true;
        }
        default:
            return false;
    }
}

void MoveToSuggestedRect(HWND window, LPARAM lparam) {
    const RECT* suggested = reinterpret_cast<const RECT*>(lparam);
    SetWindowPos(window, nullptr, suggested->left, suggested->top,
                 suggested->right - suggested->left, suggested->bottom - suggested->top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace patcher::ui
