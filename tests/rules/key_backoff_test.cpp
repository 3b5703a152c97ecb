#include "rules/key_backoff.h"

#include <gtest/gtest.h>

namespace patcher::rules {
namespace {

TEST(KeyBackoffTest, RetryAfterOpensAWindowThatEnds) {
    struct Case {
        KeyFetchKind kind;
        std::uint32_t retry_after;
        std::uint64_t not_before;
    } cases[] = {
        {KeyFetchKind::RateLimited, 0, 6000},  // none given: 5 s
        {KeyFetchKind::RateLimited, 30, 31000},
        {KeyFetchKind::Unavailable, 30, 0},  // only a 429 keeps us away
        {KeyFetchKind::Ok, 0, 0},
    };
    const std::uint64_t now = 1000;
    for (const Case& c : cases) {
        const BackoffState state{NextNotBefore(c.kind, c.retry_after, now)};
        EXPECT_EQ(state.not_before_ms, c.not_before);
        EXPECT_EQ(BackoffWindowOpen(state, now), c.not_before != 0);
        if (c.not_before == 0) continue;
        EXPECT_TRUE(BackoffWindowOpen(state, c.not_before - 1));
        EXPECT_FALSE(BackoffWindowOpen(state, c.not_before));
    }
}

}  // namespace
}  // namespace patcher::rules
