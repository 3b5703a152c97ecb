#include "rules/wide_text.h"

#include <cstdint>

#include "core/utf8.h"

namespace patcher::rules {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

void Append(std::wstring& out, char32_t code_point) {
    if constexpr (sizeof(wchar_t) == 2) {
        if (code_point > 0xFFFF) {
            const char32_t v = code_point - 0x10000;
            out += static_cast<wchar_t>(0xD800 + (v >> 10));
            out += static_cast<wchar_t>(0xDC00 + (v & 0x3FF));
            return;
        }
    }
    out += static_cast<wchar_t>(code_point);
}

}  // namespace

std::wstring WidenUtf8(std::string_view utf8) {
    std::wstring out;
    out.reserve(utf8.size());
    std::size_t at = 0;
    while (at < utf8.size()) {
        std::uint32_t code_point = 0;
        if (const std::size_t length = DecodeUtf8(utf8.substr(at), code_point)) {
            Append(out, code_point);
            at += length;
        } else {
            Append(out, kReplacement);
            ++at;
        }
    }
    return out;
}

}  // namespace patcher::rules
