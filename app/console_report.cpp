#include "app/console_report.h"

#include <windows.h>

#include "win/platform/text.h"

namespace patcher::app {

using namespace win;

void WriteConsoleText(const std::wstring& text) {
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    if (out == nullptr || out == INVALID_HANDLE_VALUE || text.empty()) return;
    DWORD written = 0;
    // WriteConsoleW only works on a real console; on a file or pipe it fails and the same text goes
    // out as UTF-8 so that scripts reading the report get one well-defined encoding.
    if (WriteConsoleW(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr)) return;
    const std::string utf8 = WideToUtf8(text);
    const char* data = utf8.data();
    std::size_t left = utf8.size();
    while (left > 0) {
        if (!WriteFile(out, data, static_cast<DWORD>(left), &written, nullptr) || written == 0) {
            return;
        }
        data += written;
        left -= written;
    }
}

void PrintField(const std::wstring& key, const std::wstring& value) {
    WriteConsoleText(key + L": " + value + L"\r\n");
}

}  // namespace patcher::app
