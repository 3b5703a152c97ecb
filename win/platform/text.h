// Conversions between the narrow UTF-8 text of files, protocols and logs and the wide (UTF-16) text
// of paths and the user interface, plus decimal numbers for reports.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace patcher::win {

// Invalid UTF-8 sequences become U+FFFD. Empty input, 2^31 bytes or more, or a failure give "".
std::wstring Utf8ToWide(const char* bytes, std::size_t length);
std::wstring Utf8ToWide(const std::string& text);

// Same limits as Utf8ToWide; unpaired surrogates become U+FFFD.
std::string WideToUtf8(const wchar_t* chars, std::size_t length);
std::string WideToUtf8(const std::wstring& text);

// UTF-8 that converts back to exactly the same UTF-16: false for an unpaired surrogate (which
// Windows allows in file names), so a path handed to the core always names the file the caller
// meant. Empty input succeeds with empty output.
bool WideToUtf8Exact(const std::wstring& text, std::string& out);

std::wstring FormatDecimal(std::uint64_t value);

}  // namespace patcher::win
