#include "win/platform/http_client.h"

#include <windows.h>
#include <winhttp.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <optional>
#include <vector>

#include "rules/http_rules.h"
#include "rules/proxy_plan.h"
#include "win/platform/secure_wipe.h"
#include "win/platform/support_log.h"
#include "win/platform/text.h"
#include "win/platform/winhttp_rules.h"

namespace patcher::win {

using namespace rules;

void handle_traits::WinHttp::close(pointer h) noexcept {
    WinHttpCloseHandle(h);
}

namespace {

namespace traits {
// The strings WinHTTP allocates for the proxy settings it hands back.
struct WinHttpString {
    using pointer = LPWSTR;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer text) noexcept { GlobalFree(text); }
};
}  // namespace traits
using unique_winhttp_string = unique_any<traits::WinHttpString>;

std::atomic<bool> user_settings_forced{false};

constexpr wchar_t kUserAgent[] = L"Garun2Patcher/1.0";
constexpr DWORD kResolveTimeoutMs = 15000;
constexpr DWORD kConnectTimeoutMs = 15000;
constexpr DWORD kSendTimeoutMs = 30000;
constexpr DWORD kReceiveTimeoutMs = 60000;
constexpr DWORD kBufferBytes = 65536;
constexpr DWORD kMaxLocationBytes = 65536;
constexpr DWORD kMaxRetryAfterBytes = 1024;
constexpr DWORD kMaxContentLengthBytes = 256;
constexpr int kMaxRedirects = 3;

class Deadline {
  public:
    explicit Deadline(std::uint64_t milliseconds)
        : start_(GetTickCount64()), milliseconds_(milliseconds) {}
    bool Passed() const { return GetTickCount64() - start_ > milliseconds_; }

  private:
    std::uint64_t start_;
    std::uint64_t milliseconds_;
};

// The handles of one hop of a request. The request handle is declared last so that it is closed
// before the connection it belongs to.
struct Exchange {
    unique_hinternet connection;
    unique_hinternet request;
};

void Finish(HttpResponse& response, HttpError error, DWORD os_error = 0) {
    response.error = error;
    response.os_error = os_error;
}

void SetDword(HINTERNET handle, DWORD option, DWORD value) {
    WinHttpSetOption(handle, option, &value, sizeof(value));
}

// The value of one response header, or nothing when it is absent or longer than max_bytes (the
// terminating null included).
std::optional<std::wstring> QueryHeaderText(HINTERNET request, DWORD query, DWORD max_bytes) {
    std::vector<wchar_t> buffer(max_bytes / sizeof(wchar_t));
    DWORD length = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
    if (!WinHttpQueryHeaders(request, query, WINHTTP_HEADER_NAME_BY_INDEX, buffer.data(), &length,
                             WINHTTP_NO_HEADER_INDEX)) {
        return std::nullopt;
    }
    return std::wstring(buffer.data(), length / sizeof(wchar_t));
}

bool IsRedirectStatus(std::uint32_t status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

std::string Narrow(LPCWSTR text) {
    return text ? WideToUtf8(text) : std::string();
}

// The user's auto-configuration (detection and/or script) for one request. Without an answer the
// request keeps the session's way, as Internet Options falls back to its named proxy or none. A
// detection that found nothing can take seconds and would find nothing again: once it fails, the
// session's later requests go its way without asking.
void ApplyAutoProxy(HINTERNET session, HINTERNET request, const HttpsTarget& target,
                    bool auto_detect, const std::wstring& config_url, std::atomic<bool>& gave_up) {
    if ((!auto_detect && config_url.empty()) || gave_up) return;
    const std::wstring url =
        L"https://" + target.host + L":" + std::to_wstring(target.port) + target.path;
    WINHTTP_AUTOPROXY_OPTIONS options = {};
    if (auto_detect) {
        options.dwFlags |= WINHTTP_AUTOPROXY_AUTO_DETECT;
        options.dwAutoDetectFlags = WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A;
    }
    if (!config_url.empty()) {
        options.dwFlags |= WINHTTP_AUTOPROXY_CONFIG_URL;
        options.lpszAutoConfigUrl = config_url.c_str();
    }
    WINHTTP_PROXY_INFO info = {};
    BOOL found = WinHttpGetProxyForUrl(session, url.c_str(), &options, &info);
    // Microsoft's advice: offer the user's logon to the script's server only when it asks.
    if (!found && GetLastError() == ERROR_WINHTTP_LOGIN_FAILURE) {
        options.fAutoLogonIfChallenged = TRUE;
        found = WinHttpGetProxyForUrl(session, url.c_str(), &options, &info);
    }
    const DWORD error = found ? 0 : GetLastError();
    const unique_winhttp_string proxy(info.lpszProxy), bypass(info.lpszProxyBypass);
    if (found) {
        WinHttpSetOption(request, WINHTTP_OPTION_PROXY, &info, sizeof(info));
        return;
    }
    gave_up = true;
    static std::once_flag logged;
    std::call_once(logged, [error] {
        LogLine("http: auto-configuration found no proxy (os " + std::to_string(error) +
                "); requests go the session's way");
    });
}

bool OpenExchange(HINTERNET session, const HttpsTarget& target, const std::wstring& method,
                  std::uint64_t deadline_ms, bool auto_detect, const std::wstring& auto_config_url,
                  std::atomic<bool>& auto_config_gave_up, Exchange& exchange,
                  HttpResponse& response) {
    exchange.connection.reset(WinHttpConnect(session, target.host.c_str(), target.port, 0));
    if (!exchange.connection) {
        Finish(response, HttpError::NoConnection, GetLastError());
        return false;
    }
    exchange.request.reset(WinHttpOpenRequest(exchange.connection.get(), method.c_str(),
                                              target.path.c_str(), nullptr, WINHTTP_NO_REFERER,
                                              WINHTTP_DEFAULT_ACCEPT_TYPES, WINHTTP_FLAG_SECURE));
    if (!exchange.request) {
        Finish(response, HttpError::NoConnection, GetLastError());
        return false;
    }
    HINTERNET request = exchange.request.get();
    ApplyAutoProxy(session, request, target, auto_detect, auto_config_url, auto_config_gave_up);
    WinHttpSetTimeouts(request, static_cast<int>(PhaseTimeout(kResolveTimeoutMs, deadline_ms)),
                       static_cast<int>(PhaseTimeout(kConnectTimeoutMs, deadline_ms)),
                       static_cast<int>(PhaseTimeout(kSendTimeoutMs, deadline_ms)),
                       static_cast<int>(PhaseTimeout(kReceiveTimeoutMs, deadline_ms)));
    // Waiting for the response headers has a time-out of its own (90 s by default) that the four
    // above do not touch; without this a silent server would outlast both the receive time-out
    // and the deadline.
    SetDword(request, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT,
             PhaseTimeout(kReceiveTimeoutMs, deadline_ms));
    // WinHTTP honours the revocation feature only on request handles; the session-level setting
    // is refused, so without this the check would silently be off.
    SetDword(request, WINHTTP_OPTION_ENABLE_FEATURE, WINHTTP_ENABLE_SSL_REVOCATION);
    return true;
}

constexpr DWORD kProxyAuthRequired = 407;

bool SendAndReceive(HINTERNET request, const std::wstring& headers, const std::string& body,
                    HttpResponse& response) {
    if (body.size() > MAXDWORD || headers.size() > MAXDWORD) {
        Finish(response, HttpError::NoConnection, ERROR_INVALID_PARAMETER);
        return false;
    }
    const auto body_length = static_cast<DWORD>(body.size());
    LPVOID optional = body.empty() ? WINHTTP_NO_REQUEST_DATA : const_cast<char*>(body.data());
    const bool sent = WinHttpSendRequest(
        request, headers.empty() ? WINHTTP_NO_ADDITIONAL_HEADERS : headers.c_str(),
        static_cast<DWORD>(headers.size()), optional, body_length, body_length, 0);
    if (sent && WinHttpReceiveResponse(request, nullptr)) return true;
    const DWORD error = GetLastError();
    Finish(response, IsTlsFailureError(error) ? HttpError::TlsFailure : HttpError::NoConnection,
           error);
    return false;
}

bool ReadStatus(HINTERNET request, HttpResponse& response) {
    DWORD status = 0;
    DWORD length = sizeof(status);
    if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &status, &length,
                             WINHTTP_NO_HEADER_INDEX)) {
        Finish(response, HttpError::NoConnection, GetLastError());
        return false;
    }
    response.status = status;
    const auto retry_after = QueryHeaderText(request, WINHTTP_QUERY_RETRY_AFTER,
                                             (kMaxRetryAfterBytes + 1) * sizeof(wchar_t));
    response.retry_after = retry_after ? ParseRetryAfter(*retry_after) : 0;
    return true;
}

std::uint64_t AnnouncedLength(HINTERNET request) {
    const auto text =
        QueryHeaderText(request, WINHTTP_QUERY_CONTENT_LENGTH, kMaxContentLengthBytes);
    if (!text) return 0;
    return ParseContentLength(*text).value_or(0);
}

// WinHttpQueryDataAvailable waits for some data, within the receive time-out, and answers how much
// is buffered; reading no more than that never blocks, so the deadline is checked at least once per
// TLS record however slowly the server sends. (Reading a larger amount straight away waits, under
// Wine, until the whole amount or the end has arrived, and a trickling server would outlast the
// deadline.)
void ReadBody(HINTERNET request, const HttpSink& sink, const HttpProgress& progress,
              std::uint64_t cap, const Deadline& deadline, HttpResponse& response) {
    const std::uint64_t total = AnnouncedLength(request);
    if (total != 0 && total > cap) return Finish(response, HttpError::TooLarge);
    WipedBuffer buffer(kBufferBytes);
    for (;;) {
        if (deadline.Passed()) return Finish(response, HttpError::Timeout);
        DWORD available = 0;
        if (!WinHttpQueryDataAvailable(request, &available)) {
            return Finish(response, HttpError::NoConnection, GetLastError());
        }
        if (available == 0) {
            // A dropped connection looks like the end of the body: only the count tells.
            const bool cut = total != 0 && response.bytes_received < total;
            return Finish(response, cut ? HttpError::Truncated : HttpError::Ok);
        }
        while (available > 0) {
            if (deadline.Passed()) return Finish(response, HttpError::Timeout);
            DWORD read = 0;
            if (!WinHttpReadData(request, buffer.data(), std::min(available, kBufferBytes),
                                 &read)) {
                return Finish(response, HttpError::NoConnection, GetLastError());
            }
            if (read == 0) break;
            response.bytes_received += read;
            // The chunk that crosses the cap never reaches the sink.
            if (response.bytes_received > cap) return Finish(response, HttpError::TooLarge);
            if (sink && !sink(buffer.data(), read)) return Finish(response, HttpError::SinkFailure);
            if (progress) progress(response.bytes_received, total);
            available -= std::min(available, read);
        }
    }
}

HttpBodyStart BodyStartOf(HINTERNET request, std::uint32_t status) {
    HttpBodyStart start;
    start.status = status;
    start.announced = AnnouncedLength(request);
    start.content_range =
        QueryHeaderText(request, WINHTTP_QUERY_CONTENT_RANGE, kMaxContentLengthBytes)
            .value_or(std::wstring());
    return start;
}

// A 200 has its body read; with an accept check a 206 too, and either only once the check agrees.
void ReadResponse(HINTERNET request, const HttpAccept& accept, const HttpSink& sink,
                  const HttpProgress& progress, std::uint64_t cap, const Deadline& deadline,
                  HttpResponse& response) {
    const bool readable = response.status == 200 || (accept && response.status == 206);
    if (!readable) return Finish(response, HttpError::HttpStatus);
    if (accept && !accept(BodyStartOf(request, response.status))) {
        return Finish(response, HttpError::HeadRefused);
    }
    ReadBody(request, sink, progress, cap, deadline, response);
}

HttpSink AppendTo(std::string& out) {
    return [&out](const char* bytes, std::uint32_t length) {
        out.append(bytes, length);
        return true;
    };
}

unique_hinternet OpenSession(DWORD access, LPCWSTR proxy = WINHTTP_NO_PROXY_NAME,
                             LPCWSTR bypass = WINHTTP_NO_PROXY_BYPASS) {
    return unique_hinternet(WinHttpOpen(kUserAgent, access, proxy, bypass, 0));
}

}  // namespace

void TakeProxyFromUserSettings() {
    user_settings_forced = true;
}

HttpClient::HttpClient() {
    std::string proxy_mode = "automatic (Windows' own settings)";
    if (!user_settings_forced) session_ = OpenSession(WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY);
    // Windows before 8.1 refuses the automatic mode as an invalid parameter.
    if (user_settings_forced || (!session_ && GetLastError() == ERROR_INVALID_PARAMETER)) {
        WINHTTP_CURRENT_USER_IE_PROXY_CONFIG user = {};
        const bool read = WinHttpGetIEProxyConfigForCurrentUser(&user) != FALSE;
        const DWORD error = read ? 0 : GetLastError();
        const unique_winhttp_string config_url(user.lpszAutoConfigUrl), proxy(user.lpszProxy),
            bypass(user.lpszProxyBypass);
        if (!read) {
            proxy_mode = "the machine's WinHTTP setting (the user's settings are unreadable, os " +
                         std::to_string(error) + ")";
            session_ = OpenSession(WINHTTP_ACCESS_TYPE_DEFAULT_PROXY);
        } else {
            const ProxyPlan plan =
                PlanUserProxy({user.fAutoDetect != FALSE, Narrow(config_url.get()),
                               Narrow(proxy.get()), Narrow(bypass.get())});
            proxy_mode = "user settings: " + plan.description;
            session_ = plan.named
                           ? OpenSession(WINHTTP_ACCESS_TYPE_NAMED_PROXY, proxy.get(),
                                         bypass.get() && *bypass.get() ? bypass.get()
                                                                       : WINHTTP_NO_PROXY_BYPASS)
                           : OpenSession(WINHTTP_ACCESS_TYPE_DEFAULT_PROXY);
            if (plan.auto_config) {
                auto_detect_ = user.fAutoDetect != FALSE;
                auto_config_url_ = config_url.get() ? config_url.get() : L"";
            }
        }
    }
    if (!session_) return;
    HINTERNET session = session_.get();
    WinHttpSetTimeouts(session, kResolveTimeoutMs, kConnectTimeoutMs, kSendTimeoutMs,
                       kReceiveTimeoutMs);
    const std::optional<TlsFloor> floor = ChooseTlsFloor([session](std::uint32_t protocols) {
        DWORD value = protocols;
        return WinHttpSetOption(session, WINHTTP_OPTION_SECURE_PROTOCOLS, &value, sizeof(value)) !=
               FALSE;
    });
    if (!floor) {
        LogLine("http: the system refuses to require TLS 1.2 or later; no connection is made");
        session_.reset();
        return;
    }
    // Once per run: every check, download and news fetch opens a session of its own.
    static std::once_flag logged;
    std::call_once(logged, [&floor, &proxy_mode] {
        LogLine(std::string("http: secure protocols: ") + floor->name);
        LogLine("http: proxy: " + proxy_mode);
    });
    SetDword(session, WINHTTP_OPTION_ENABLE_FEATURE, WINHTTP_ENABLE_SSL_REVOCATION);
    SetDword(session, WINHTTP_OPTION_REDIRECT_POLICY, WINHTTP_OPTION_REDIRECT_POLICY_NEVER);
}

HttpResponse HttpClient::Request(const HttpRequest& request, const HttpSink& sink,
                                 const HttpProgress& progress, const HttpAccept& accept) const {
    const auto& [url, headers, cap, deadline_ms, method, body] = request;
    HttpResponse response;
    if (!has_session()) return response;
    HttpsTarget initial;
    if (!ParseHttpsUrl(url, initial)) {
        Finish(response, HttpError::BadUrl);
        return response;
    }
    const Deadline deadline(deadline_ms);
    HttpsTarget target = initial;
    for (int redirects = 0;; ++redirects) {
        Exchange exchange;
        if (!OpenExchange(session_.get(), target, method, deadline_ms, auto_detect_,
                          auto_config_url_, auto_config_gave_up_, exchange, response) ||
            !SendAndReceive(exchange.request.get(), headers, body, response) ||
            !ReadStatus(exchange.request.get(), response)) {
            return response;
        }
        // Windows answers a proxy's refusal of the tunnel to the server as the request's status.
        if (response.status == kProxyAuthRequired) {
            Finish(response, HttpError::ProxyAuthRequired);
            return response;
        }
        if (!IsRedirectStatus(response.status)) {
            ReadResponse(exchange.request.get(), accept, sink, progress, cap, deadline, response);
            return response;
        }
        if (!body.empty() || redirects == kMaxRedirects) {
            Finish(response, HttpError::RedirectDenied);
            return response;
        }
        const auto location =
            QueryHeaderText(exchange.request.get(), WINHTTP_QUERY_LOCATION, kMaxLocationBytes);
        if (!location) {
            Finish(response, HttpError::HttpStatus);
            return response;
        }
        const auto next = RedirectTarget(*location, initial, target);
        if (!next) {
            Finish(response, HttpError::RedirectDenied);
            return response;
        }
        if (deadline.Passed()) {
            Finish(response, HttpError::Timeout);
            return response;
        }
        target = *next;
    }
}

HttpResponse HttpClient::GetToString(const std::wstring& url, std::uint32_t cap,
                                     std::string& out) const {
    out.clear();
    return Request(HttpRequest{url, std::wstring(), cap, kGetToStringDeadlineMs}, AppendTo(out));
}

HttpResponse HttpClient::PostToString(const std::wstring& url, const std::string& body,
                                      const std::wstring& content_type, std::uint32_t cap,
                                      std::uint64_t deadline_ms, std::string& out) const {
    out.clear();
    const std::wstring headers =
        content_type.empty() ? std::wstring() : L"Content-Type: " + content_type;
    return Request(HttpRequest{url, headers, cap, deadline_ms, L"POST", body}, AppendTo(out));
}

}  // namespace patcher::win
