#include "model/wide_text.h"

#include <cstdint>

namespace patcher::win {
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

bool IsContinuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

// The sequence at `at`: its code point and length, or false when it is not well formed. The
// second byte's range rules out overlong forms, surrogates and values above U+10FFFF.
bool DecodeOne(std::string_view text, std::size_t at, char32_t& code_point, std::size_t& length) {
    const auto lead = static_cast<unsigned char>(text[at]);
    if (lead < 0x80) {
        code_point = lead;
        length = 1;
        return true;
    }
    unsigned char low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code_point = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code_point = lead & 0x0F;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code_point = lead & 0x07;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return false;
    }
    if (at + length > text.size()) return false;
    const auto second = static_cast<unsigned char>(text[at + 1]);
    if (second < low || second > high) return false;
    for (std::size_t k = 1; k < length; ++k) {
        const auto byte = static_cast<unsigned char>(text[at + k]);
        if (!IsContinuation(byte)) return false;
        code_point = (code_point << 6) | (byte & 0x3F);
    }
    return true;
}

}  // namespace

std::wstring WidenUtf8(std::string_view utf8) {
    std::wstring out;
    out.reserve(utf8.size());
    std::size_t at = 0;
    while (at < utf8.size()) {
        char32_t code_point = 0;
        std::size_t length = 0;
        if (DecodeOne(utf8, at, code_point, length)) {
            Append(out, code_point);
            at += length;
        } else {
            Append(out, kReplacement);
            ++at;
        }
    }
    return out;
}

}  // namespace patcher::win
