// The decisions of the HTTPS client as plain functions of data, so that they can be tested without
// a network: which URLs are acceptable, where a redirect may lead, how Retry-After and
// Content-Length are read, which WinHTTP errors are certificate or secure-channel failures, and how
// the per-phase socket time-outs shrink to fit a request's deadline.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

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

// Host names compared with ASCII letters A-Z folded; nothing else is folded.
bool SameHostName(std::wstring_view a, std::wstring_view b);

// Where a redirect with this Location value leads, or nothing when it may not be followed: an
// absolute URL must name the initial host and port; anything else must be a path beginning with
// "/", which stays on the host and port of the request that was redirected.
std::optional<HttpsTarget> RedirectTarget(const std::wstring& location, const HttpsTarget& initial,
                                          const HttpsTarget& current);

// Leading decimal digits, capped at kMaxRetryAfterSeconds; 0 when the value starts otherwise (the
// HTTP-date form included).
inline constexpr std::uint32_t kMaxRetryAfterSeconds = 100000;
std::uint32_t ParseRetryAfter(std::wstring_view value);

// A Content-Length value made of decimal digits only. Values beyond 64 bits saturate, so that an
// absurd announcement still counts as larger than any cap.
std::optional<std::uint64_t> ParseContentLength(std::wstring_view value);

// A Content-Range value of the form "bytes FIRST-LAST/LENGTH" (LENGTH may be "*"), decimal digits
// only and FIRST <= LAST; anything else, the "bytes */LENGTH" of a 416 included, gives nothing.
struct ContentRange {
    std::uint64_t first = 0;
    std::uint64_t last = 0;
    std::optional<std::uint64_t> length;  // nothing for "*"
};
std::optional<ContentRange> ParseContentRange(std::wstring_view value);

// The WinHTTP errors that mean the server's certificate or the secure channel was refused.
bool IsTlsFailureError(std::uint32_t os_error);

// A session time-out lowered to the request's deadline. WinHTTP reads 0 as "no time-out", so a
// deadline of 0 becomes 1 ms; deadlines of 2^31 ms or more keep the session value.
std::uint32_t PhaseTimeout(std::uint32_t session_timeout_ms, std::uint64_t deadline_ms);

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
