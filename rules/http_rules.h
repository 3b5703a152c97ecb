// The decisions of the HTTPS client as plain functions of data, so that they can be tested without
// a network or Windows: how host names compare, how Retry-After, Content-Length and Content-Range
// are read, and how the per-phase socket time-outs shrink to fit a request's deadline. The rules
// that lean on WinHTTP itself (URL cracking, redirects, TLS) are in win/platform/winhttp_rules.h.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace patcher::rules {

// Host names compared with ASCII letters A-Z folded; nothing else is folded.
bool SameHostName(std::wstring_view a, std::wstring_view b);

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

// A session time-out lowered to the request's deadline. WinHTTP reads 0 as "no time-out", so a
// deadline of 0 becomes 1 ms; deadlines of 2^31 ms or more keep the session value.
std::uint32_t PhaseTimeout(std::uint32_t session_timeout_ms, std::uint64_t deadline_ms);

}  // namespace patcher::rules
