// The window the key service asked us to stay away for (429 with Retry-After). Times are
// milliseconds on the GetTickCount64 clock, passed in so that the decisions are plain arithmetic.
#pragma once

#include <cstdint>

#include "rules/key_fetch_outcome.h"

namespace patcher::rules {

// The Retry-After used when a 429 names none (or 0).
inline constexpr std::uint32_t kDefaultRetryAfterSeconds = 5;

struct BackoffState {
    std::uint64_t not_before_ms = 0;  // 0: no window open
};

// Inside the window: the service must not be asked.
bool BackoffWindowOpen(const BackoffState& state, std::uint64_t now_ms);

// The not-before time after a fetch: a window after RATE_LIMITED, none after anything else.
std::uint64_t NextNotBefore(KeyFetchKind kind, std::uint32_t retry_after_seconds,
                            std::uint64_t now_ms);

}  // namespace patcher::rules
