// The only way the patcher talks to the network: strict HTTPS over synchronous WinHTTP. TLS 1.2/1.3
// only, revocation checking on, redirects followed by hand within the first request's origin (at
// most three, never for a request with a body), an overall deadline on top of the socket time-outs,
// a hard cap on body bytes, and the body streamed to the caller's sink. Every outcome is one
// HttpResponse; nothing is thrown.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "rules/http_types.h"
#include "win/platform/unique_handle.h"

namespace patcher::win {

inline constexpr std::uint64_t kGetToStringDeadlineMs = 60000;

namespace handle_traits {
// WinHTTP's HINTERNET, kept opaque here so that users of the client need not include winhttp.h.
struct WinHttp {
    using pointer = void*;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer h) noexcept;
};
}  // namespace handle_traits
using unique_hinternet = unique_any<handle_traits::WinHttp>;

// Where sessions look for the proxy: Windows' own automatic mode where it has one (8.1 and later),
// else the current user's settings. Support can make every later session take the user's settings
// even where the automatic mode exists, for a Windows (or Wine, whose automatic mode ignores them)
// that finds the wrong proxy. Start-up decides, before any session is opened.
void TakeProxyFromUserSettings();

// One WinHTTP session. Request keeps no other state than an atomic note that auto-configuration
// found nothing, so several threads may share one client.
class HttpClient {
  public:
    HttpClient();
    HttpClient(const HttpClient&) = delete;
    HttpClient& operator=(const HttpClient&) = delete;

    // False when the session could not be opened; every request then yields NO_CONNECTION.
    bool has_session() const { return session_.is_valid(); }

    // Without `accept` only a 200 has its body read; with it, a 206 too, and either only when
    // `accept` agrees.
    rules::HttpResponse Request(const rules::HttpRequest& request, const rules::HttpSink& sink,
                                const rules::HttpProgress& progress = rules::HttpProgress(),
                                const rules::HttpAccept& accept = rules::HttpAccept()) const;

    // GET with a 60-second deadline; out holds whatever body bytes arrived (use it only on OK).
    rules::HttpResponse GetToString(const std::wstring& url, std::uint32_t cap,
                                    std::string& out) const;

    // POST of body with "Content-Type: " + content_type (no header when it is empty).
    rules::HttpResponse PostToString(const std::wstring& url, const std::string& body,
                                     const std::wstring& content_type, std::uint32_t cap,
                                     std::uint64_t deadline_ms, std::string& out) const;

  private:
    unique_hinternet session_;
    // Only where the session takes the user's settings and they ask for auto-configuration: each
    // request asks it for its proxy.
    bool auto_detect_ = false;
    std::wstring auto_config_url_;
    mutable std::atomic<bool> auto_config_gave_up_{false};
};

}  // namespace patcher::win
