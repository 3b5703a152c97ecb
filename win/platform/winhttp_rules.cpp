#include "win/platform/winhttp_rules.h"

#include <windows.h>
#include <winhttp.h>

namespace patcher::win {

using namespace rules;

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
