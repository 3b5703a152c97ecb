#include "win/platform/text.h"

#include "rules/wide_text.h"

namespace patcher::win {

using namespace rules;

namespace {

constexpr std::size_t kMaxConvertible = 0x7FFFFFFF;

}  // namespace

// The portable converters, so a text reads the same under Windows and under Wine.
std::wstring Utf8ToWide(const char* bytes, std::size_t length) {
    if (bytes == nullptr || length == 0 || length > kMaxConvertible) return std::wstring();
    return WidenUtf8(std::string_view(bytes, length));
}

std::wstring Utf8ToWide(const std::string& text) {
    return Utf8ToWide(text.data(), text.size());
}

std::string WideToUtf8(const wchar_t* chars, std::size_t length) {
    if (chars == nullptr || length == 0 || length > kMaxConvertible) return std::string();
    return NarrowToUtf8(std::wstring_view(chars, length));
}

std::string WideToUtf8(const std::wstring& text) {
    return WideToUtf8(text.data(), text.size());
}

bool WideToUtf8Exact(const std::wstring& text, std::string& out) {
    out.clear();
    return text.size() <= kMaxConvertible && NarrowToUtf8Exact(text, out);
}

std::wstring FormatDecimal(std::uint64_t value) {
    return std::to_wstring(value);
}

}  // namespace patcher::win
