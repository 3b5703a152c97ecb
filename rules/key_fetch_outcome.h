// What one request to the key service came to. The kind names are also the reason words the game
// receives in a KEYERR line and the values the self-tests print.
#pragma once

#include <cstdint>
#include <string>

namespace patcher::rules {

enum class KeyFetchKind : std::uint32_t {
    Ok = 0,
    Disabled = 1,
    BadUrl = 2,
    Unreachable = 3,
    RateLimited = 4,
    Unavailable = 5,
    Refused = 6,
    BadResponse = 7,
};

// "OK", "DISABLED", ...; "UNKNOWN" for any other value.
const char* KeyFetchKindName(KeyFetchKind kind);

struct KeyFetchOutcome {
    KeyFetchKind kind = KeyFetchKind::Disabled;
    std::uint32_t status = 0;       // HTTP status of the exchange; 0 when none
    std::uint32_t retry_after = 0;  // seconds from the answer's Retry-After; 0 when none
    std::string message;
};

}  // namespace patcher::rules
