#include "app/console_attach.h"

#include <windows.h>

namespace patcher::app {
namespace {

bool HasUsableStandardOutput() {
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    if (out == nullptr || out == INVALID_HANDLE_VALUE) return false;
    // FILE_TYPE_UNKNOWN is also a valid answer for some devices; only a failing query counts.
    SetLastError(NO_ERROR);
    return GetFileType(out) != FILE_TYPE_UNKNOWN || GetLastError() == NO_ERROR;
}

}  // namespace

void AttachParentConsoleIfNeeded() {
    if (HasUsableStandardOutput()) return;
    if (!AttachConsole(ATTACH_PARENT_PROCESS)) return;
    const HANDLE console =
        CreateFileW(L"CONOUT$", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, 0, nullptr);
    // The handle becomes the process's standard output and lives as long as the process.
    if (console != INVALID_HANDLE_VALUE) SetStdHandle(STD_OUTPUT_HANDLE, console);
}

}  // namespace patcher::app
