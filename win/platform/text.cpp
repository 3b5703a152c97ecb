#include "win/platform/text.h"

#include <windows.h>

#include "rules/wide_text.h"

namespace patcher::win {

using namespace rules;

namespace {

constexpr std::size_t kMaxConvertible = 0x7FFFFFFF;

}  // namespace

// The portable decoder, so a text reads the same under Windows and under Wine.
std::wstring Utf8ToWide(const char* bytes, std::size_t length) {
    if (bytes == nullptr || length == 0 || length > kMaxConvertible) return std::wstring();
    return WidenUtf8(std::string_view(bytes, length));
}

std::wstring Utf8ToWide(const std::string& text) {
    return Utf8ToWide(text.data(), text.size());
}

std::string WideToUtf8(const wchar_t* chars, std::size_t length) {
    if (chars == nullptr || length == 0 || length > kMaxConvertible) return std::string();
    const int in = static_cast<int>(length);
    const int needed = WideCharToMultiByte(CP_UTF8, 0, chars, in, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) return std::string();
    std::string out(static_cast<std::size_t>(needed), '\0');
    if (WideCharToMultiByte(CP_UTF8, 0, chars, in, out.data(), needed, nullptr, nullptr) !=
        needed) {
        return std::string();
    }
    return out;
}

std::string WideToUtf8(const std::wstring& text) {
    return WideToUtf8(text.data(), text.size());
}

bool WideToUtf8Exact(const std::wstring& text, std::string& out) {
    out.clear();
    if (text.empty()) return true;
    if (text.size() > kMaxConvertible) return false;
    const int in = static_cast<int>(text.size());
    const int needed = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text.data(), in, nullptr,
                                           0, nullptr, nullptr);
    if (needed <= 0) return false;
    std::string converted(static_cast<std::size_t>(needed), '\0');
    if (WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text.data(), in, converted.data(),
                            needed, nullptr, nullptr) != needed) {
        return false;
    }
    out = std::move(converted);
    return true;
}

std::wstring FormatDecimal(std::uint64_t value) {
    return std::to_wstring(value);
}

}  // namespace patcher::win
