// The headless report: "KEY: value" lines on standard output, UTF-16 on a console and UTF-8 on a
// file or pipe, CR LF line ends.
#pragma once

#include <string>

namespace patcher::app {

void WriteConsoleText(const std::wstring& text);
void PrintField(const std::wstring& key, const std::wstring& value);

// A report value for a yes-or-no field.
inline const wchar_t* YesNo(bool value) {
    return value ? L"yes" : L"no";
}

}  // namespace patcher::app
