// The rules of the HTTPS client that lean on WinHTTP: which URLs are acceptable (as WinHTTP cracks
// them), where a redirect may lead, which of its errors mean the server's certificate or the
// secure channel was refused, and the oldest TLS version a session accepts in its flags.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "rules/http_rules.h"

namespace patcher::win {

// The longest URL (request or redirect target) the client accepts, in UTF-16 code units.
inline constexpr std::size_t kMaxUrlLength = 32767;

// Where one HTTPS request goes.
struct HttpsTarget {
    std::wstring host;
    std::uint16_t port = 443;
    std::wstring path;  // URL path followed by query and fragment; "/" when both are empty
};

// True when the URL is at most kMaxUrlLength long, cracks, is https and has a non-empty host.
bool ParseHttpsUrl(const std::wstring& url, HttpsTarget& target);

// Where a redirect with this Location value leads, or nothing when it may not be followed: an
// absolute URL must name the initial host and port; anything else must be a path beginning with
// "/", which stays on the host and port of the request that was redirected.
std::optional<HttpsTarget> RedirectTarget(const std::wstring& location, const HttpsTarget& initial,
                                          const HttpsTarget& current);

// The WinHTTP errors that mean the server's certificate or the secure channel was refused.
bool IsTlsFailureError(std::uint32_t os_error);

// The oldest TLS version a session accepts, as WinHTTP's secure-protocol flags.
struct TlsFloor {
    std::uint32_t protocols;
    const char* name;  // for the support log
};

// Asks `require` for TLS 1.2 and 1.3 together, then, on a Windows that refuses the whole value
// because it does not know the 1.3 bit, for TLS 1.2 alone. Nothing when both are refused: a
// session must then not be used, since the system defaults may still allow TLS 1.0 and 1.1.
std::optional<TlsFloor> ChooseTlsFloor(const std::function<bool(std::uint32_t)>& require);

}  // namespace patcher::win
