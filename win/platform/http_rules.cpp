#include "win/platform/http_rules.h"

#include <windows.h>
#include <winhttp.h>

#include <limits>

namespace patcher::win {
namespace {

wchar_t FoldAscii(wchar_t c) {
    return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c + 32) : c;
}

bool IsDigit(wchar_t c) {
    return c >= L'0' && c <= L'9';
}

}  // namespace

bool ParseHttpsUrl(const std::wstring& url, HttpsTarget& target) {
    if (url.empty() || url.size() > kMaxUrlLength) return false;
    URL_COMPONENTS parts = {};
    parts.dwStructSize = sizeof(parts);
    // Non-zero lengths with null pointers ask the cracker for pointers into the URL itself.
    parts.dwSchemeLength = static_cast<DWORD>(-1);
    parts.dwHostNameLength = static_cast<DWORD>(-1);
    parts.dwUrlPathLength = static_cast<DWORD>(-1);
    parts.dwExtraInfoLength = static_cast<DWORD>(-1);
    if (!WinHttpCrackUrl(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts)) return false;
    if (parts.nScheme != INTERNET_SCHEME_HTTPS) return false;
    if (parts.lpszHostName == nullptr || parts.dwHostNameLength == 0) return false;
    target.host.assign(parts.lpszHostName, parts.dwHostNameLength);
    target.port = parts.nPort;
    target.path.clear();
    if (parts.lpszUrlPath != nullptr) target.path.assign(parts.lpszUrlPath, parts.dwUrlPathLength);
    if (parts.lpszExtraInfo != nullptr) {
        target.path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    }
    if (target.path.empty()) target.path = L"/";
    return true;
}

bool SameHostName(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
    }
    return true;
}

std::optional<HttpsTarget> RedirectTarget(const std::wstring& location, const HttpsTarget& initial,
                                          const HttpsTarget& current) {
    HttpsTarget next;
    if (ParseHttpsUrl(location, next)) {
        if (!SameHostName(next.host, initial.host) || next.port != initial.port)
            return std::nullopt;
        return next;
    }
    if (location.empty() || location[0] != L'/') return std::nullopt;
    next.host = current.host;
    next.port = current.port;
    next.path = location;
    return next;
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

bool IsTlsFailureError(std::uint32_t os_error) {
    switch (os_error) {
        case ERROR_WINHTTP_SECURE_CERT_DATE_INVALID:  // 12037
        case ERROR_WINHTTP_SECURE_CERT_CN_INVALID:    // 12038
        case ERROR_WINHTTP_SECURE_INVALID_CA:         // 12045
        case ERROR_WINHTTP_SECURE_CERT_REV_FAILED:    // 12057
        case ERROR_WINHTTP_SECURE_CHANNEL_ERROR:      // 12157
        case ERROR_WINHTTP_SECURE_INVALID_CERT:       // 12169
        case ERROR_WINHTTP_SECURE_CERT_REVOKED:       // 12170
        case ERROR_WINHTTP_SECURE_FAILURE:            // 12175
        case ERROR_WINHTTP_SECURE_CERT_WRONG_USAGE:   // 12179
            return true;
        default:
            return false;
    }
}

std::uint32_t PhaseTimeout(std::uint32_t session_timeout_ms, std::uint64_t deadline_ms) {
    if (deadline_ms >= (std::uint64_t{1} << 31)) return session_timeout_ms;
    if (deadline_ms == 0) return 1;
    return deadline_ms < session_timeout_ms ? static_cast<std::uint32_t>(deadline_ms)
                                            : session_timeout_ms;
}

std::optional<TlsFloor> ChooseTlsFloor(const std::function<bool(std::uint32_t)>& require) {
    static constexpr TlsFloor kFloors[] = {
        {WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2 | WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_3,
         "TLS 1.2 and TLS 1.3"},
        {WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2, "TLS 1.2 only"},
    };
    for (const TlsFloor& floor : kFloors) {
        if (require(floor.protocols)) return floor;
    }
    return std::nullopt;
}

}  // namespace patcher::win
