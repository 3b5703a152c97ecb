#include "rules/http_types.h"

namespace patcher::rules {

std::string DescribeResponse(const HttpResponse& response) {
    return std::string(HttpErrorName(response.error)) + " (status " +
           std::to_string(response.status) + ", os " + std::to_string(response.os_error) + ")";
}

const char* HttpErrorName(HttpError error) {
    switch (error) {
        case HttpError::Ok:
            return "OK";
        case HttpError::BadUrl:
            return "BAD_URL";
        case HttpError::NoConnection:
            return "NO_CONNECTION";
        case HttpError::TlsFailure:
            return "TLS_FAILURE";
        case HttpError::HttpStatus:
            return "HTTP_STATUS";
        case HttpError::TooLarge:
            return "TOO_LARGE";
        case HttpError::SinkFailure:
            return "SINK_FAILURE";
        case HttpError::Timeout:
            return "TIMEOUT";
        case HttpError::RedirectDenied:
            return "REDIRECT_DENIED";
        case HttpError::Truncated:
            return "TRUNCATED";
        case HttpError::HeadRefused:
            return "HEAD_REFUSED";
        case HttpError::ProxyAuthRequired:
            return "PROXY_AUTH_REQUIRED";
    }
    return "UNKNOWN";
}

}  // namespace patcher::rules
