#include "rules/http_rules.h"

#include <limits>

namespace patcher::rules {
namespace {

wchar_t FoldAscii(wchar_t c) {
    return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c + 32) : c;
}

bool IsDigit(wchar_t c) {
    return c >= L'0' && c <= L'9';
}

}  // namespace

bool SameHostName(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
    }
    return true;
}

std::uint32_t ParseRetryAfter(std::wstring_view value) {
    std::uint32_t seconds = 0;
    for (wchar_t c : value) {
        if (!IsDigit(c)) break;
        seconds = seconds * 10 + static_cast<std::uint32_t>(c - L'0');
        if (seconds >= kMaxRetryAfterSeconds) return kMaxRetryAfterSeconds;
    }
    return seconds;
}

std::optional<std::uint64_t> ParseContentLength(std::wstring_view value) {
    if (value.empty()) return std::nullopt;
    constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
    std::uint64_t length = 0;
    for (wchar_t c : value) {
        if (!IsDigit(c)) return std::nullopt;
        const auto digit = static_cast<std::uint64_t>(c - L'0');
        length = (length > (kMax - digit) / 10) ? kMax : length * 10 + digit;
    }
    return length;
}

namespace {

// Leading digits of `text` as a number, consumed from it; nothing without a digit or past 64 bits.
std::optional<std::uint64_t> TakeNumber(std::wstring_view& text) {
    std::size_t digits = 0;
    while (digits < text.size() && IsDigit(text[digits])) ++digits;
    if (digits == 0 || digits > 19) return std::nullopt;  // 19 digits always fit in 64 bits
    const std::optional<std::uint64_t> number = ParseContentLength(text.substr(0, digits));
    text.remove_prefix(digits);
    return number;
}

bool TakeChar(std::wstring_view& text, wchar_t c) {
    if (text.empty() || text.front() != c) return false;
    text.remove_prefix(1);
    return true;
}

}  // namespace

std::optional<ContentRange> ParseContentRange(std::wstring_view value) {
    constexpr std::wstring_view kUnit = L"bytes ";
    if (value.substr(0, kUnit.size()) != kUnit) return std::nullopt;
    value.remove_prefix(kUnit.size());
    ContentRange range;
    const std::optional<std::uint64_t> first = TakeNumber(value);
    if (!first || !TakeChar(value, L'-')) return std::nullopt;
    const std::optional<std::uint64_t> last = TakeNumber(value);
    if (!last || *last < *first || !TakeChar(value, L'/')) return std::nullopt;
    range.first = *first;
    range.last = *last;
    if (value == L"*") return range;
    range.length = TakeNumber(value);
    if (!range.length || !value.empty() || *range.length <= range.last) return std::nullopt;
    return range;
}

std::uint32_t PhaseTimeout(std::uint32_t session_timeout_ms, std::uint64_t deadline_ms) {
    if (deadline_ms >= (std::uint64_t{1} << 31)) return session_timeout_ms;
    if (deadline_ms == 0) return 1;
    return deadline_ms < session_timeout_ms ? static_cast<std::uint32_t>(deadline_ms)
                                            : session_timeout_ms;
}

}  // namespace patcher::rules
