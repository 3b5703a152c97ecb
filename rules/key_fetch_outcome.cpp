#include "rules/key_fetch_outcome.h"

namespace patcher::rules {

const char* KeyFetchKindName(KeyFetchKind kind) {
    switch (kind) {
        case KeyFetchKind::Ok:
            return "OK";
        case KeyFetchKind::Disabled:
            return "DISABLED";
        case KeyFetchKind::BadUrl:
            return "BAD_URL";
        case KeyFetchKind::Unreachable:
            return "UNREACHABLE";
        case KeyFetchKind::RateLimited:
            return "RATE_LIMITED";
        case KeyFetchKind::Unavailable:
            return "UNAVAILABLE";
        case KeyFetchKind::Refused:
            return "REFUSED";
        case KeyFetchKind::BadResponse:
            return "BAD_RESPONSE";
    }
    return "UNKNOWN";
}

}  // namespace patcher::rules
