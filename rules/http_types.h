// What a request's outcome and a response's head are, kept free of WinHTTP so that the rules that
// judge them (a ranged answer, a retry) are plain functions tested on any platform.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace patcher::rules {

enum class HttpError : std::uint32_t {
    Ok = 0,
    BadUrl = 1,
    NoConnection = 2,
    TlsFailure = 3,
    HttpStatus = 4,
    TooLarge = 5,
    SinkFailure = 6,
    Timeout = 7,
    RedirectDenied = 8,
    Truncated = 9,           // the connection ended before the announced Content-Length
    HeadRefused = 10,        // the caller's accept check turned the response down before its body
    ProxyAuthRequired = 11,  // a proxy answered 407: it wants credentials the patcher cannot give
};

// "OK", "BAD_URL", ... as printed in logs and reports; "UNKNOWN" for any other value.
const char* HttpErrorName(HttpError error);

struct HttpResponse {
    HttpError error = HttpError::NoConnection;
    std::uint32_t status = 0;          // of the last response read; 0 when none was read
    std::uint32_t os_error = 0;        // Win32/WinHTTP error at the failing call
    std::uint64_t bytes_received = 0;  // may exceed the cap by one chunk when TOO_LARGE
    std::uint32_t retry_after = 0;     // seconds, from the last response read
};

// One request. `cap` bounds the body read and `deadline_ms` the whole exchange, redirects included;
// a request with a body is never redirected.
struct HttpRequest {
    std::wstring url;
    std::wstring headers;  // extra request headers, "\r\n"-separated; empty for none
    std::uint64_t cap = 0;
    std::uint64_t deadline_ms = 0;
    std::wstring method = L"GET";
    std::string body{};
};

// A request's outcome as the logs and diagnostics name it: "HTTP_STATUS (status 404, os 0)".
std::string DescribeResponse(const HttpResponse& response);

// What a response says before its body: the caller's accept check sees it for a 200 or a 206.
struct HttpBodyStart {
    std::uint32_t status = 0;
    std::uint64_t announced = 0;  // Content-Length; 0 without one
    std::wstring content_range;   // empty without one
};
// False turns the response down with HEAD_REFUSED before any byte reaches the sink.
using HttpAccept = std::function<bool(const HttpBodyStart&)>;

// Receives each body chunk; false refuses it and ends the request with SINK_FAILURE.
using HttpSink = std::function<bool(const char* bytes, std::uint32_t length)>;
// Bytes received so far and the announced total (0 without Content-Length).
using HttpProgress = std::function<void(std::uint64_t received, std::uint64_t total)>;

}  // namespace patcher::rules
