#include "rules/key_backoff.h"

namespace patcher::rules {

bool BackoffWindowOpen(const BackoffState& state, std::uint64_t now_ms) {
    return state.not_before_ms != 0 && state.not_before_ms > now_ms;
}

std::uint64_t NextNotBefore(KeyFetchKind kind, std::uint32_t retry_after_seconds,
                            std::uint64_t now_ms) {
    if (kind != KeyFetchKind::RateLimited) return 0;
    const std::uint32_t seconds =
        retry_after_seconds == 0 ? kDefaultRetryAfterSeconds : retry_after_seconds;
    return now_ms + 1000ull * seconds;
}

}  // namespace patcher::rules
