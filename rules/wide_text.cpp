#include "rules/wide_text.h"

#include <cstdint>
#include <type_traits>
#include <utility>

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

bool IsLowSurrogate(char32_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

// The code point at `at`, which moves past it; false when there is none to encode.
bool NextCodePoint(std::wstring_view wide, std::size_t& at, char32_t& code_point) {
    // Through the unsigned type of the same width: where wchar_t is signed, a negative value
    // becomes one above U+10FFFF rather than a small one.
    using Unit = std::make_unsigned_t<wchar_t>;
    code_point = static_cast<Unit>(wide[at++]);
    if (IsLowSurrogate(code_point)) return false;
    if (IsHighSurrogate(code_point)) {
        if (at == wide.size()) return false;
        const char32_t low = static_cast<Unit>(wide[at]);
        if (!IsLowSurrogate(low)) return false;
        ++at;
        code_point = 0x10000 + ((code_point - 0xD800) << 10) + (low - 0xDC00);
    }
    return code_point <= 0x10FFFF;
}

void AppendUtf8(std::string& out, char32_t code_point) {
    if (code_point < 0x80) {
        out += static_cast<char>(code_point);
        return;
    }
    const int continuations = code_point < 0x800 ? 1 : code_point < 0x10000 ? 2 : 3;
    static constexpr unsigned char kLead[] = {0, 0xC0, 0xE0, 0xF0};
    out += static_cast<char>(kLead[continuations] | (code_point >> (6 * continuations)));
    for (int shift = 6 * (continuations - 1); shift >= 0; shift -= 6) {
        out += static_cast<char>(0x80 | ((code_point >> shift) & 0x3F));
    }
}

// UTF-8 of `wide`; false at the first code point that has none, unless it is replaced.
bool Narrow(std::wstring_view wide, bool replace, std::string& out) {
    out.clear();
    out.reserve(wide.size());
    for (std::size_t at = 0; at < wide.size();) {
        char32_t code_point = 0;
        if (!NextCodePoint(wide, at, code_point)) {
            if (!replace) return false;
            code_point = kReplacement;
        }
        AppendUtf8(out, code_point);
    }
    return true;
}

}  // namespace

bool IsHighSurrogate(char32_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}

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

std::string NarrowToUtf8(std::wstring_view wide) {
    std::string out;
    Narrow(wide, true, out);
    return out;
}

bool NarrowToUtf8Exact(std::wstring_view wide, std::string& utf8) {
    std::string out;
    if (!Narrow(wide, false, out)) return false;
    utf8 = std::move(out);
    return true;
}

}  // namespace patcher::rules
