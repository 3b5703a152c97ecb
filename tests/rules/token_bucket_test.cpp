#include "rules/token_bucket.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>
#include <vector>

namespace patcher::rules {
namespace {

struct Taken {
    std::uint64_t us, bytes;
};

// Workers that read as fast as the budget lets them, each its own chunk size, driven in time order;
// from `change_us` on the rate is `later_rate`.
std::vector<Taken> Simulate(TokenBucket& bucket, std::uint64_t until_us, std::uint64_t change_us,
                            std::uint64_t later_rate) {
    constexpr std::size_t kWorkers = 16;
    std::vector<std::uint64_t> next(kWorkers, 0);
    std::vector<Taken> taken;
    bool changed = false;
    for (;;) {
        std::size_t w = 0;
        for (std::size_t i = 1; i < kWorkers; ++i) {
            if (next[i] < next[w]) w = i;
        }
        const std::uint64_t now = next[w];
        if (now >= until_us) return taken;
        if (!changed && now >= change_us) {
            bucket.SetRate(later_rate, now);
            changed = true;
        }
        const std::uint64_t chunk = 16384 * (1 + w % 4);
        const std::uint64_t wait = bucket.Take(chunk, now);
        EXPECT_LE(wait, TokenBucket::kMaxWaitUs);
        if (wait == 0) {
            taken.push_back({now, chunk});
            next[w] = now + 200;  // the read itself
        } else {
            next[w] = now + wait;
        }
    }
}

// The most and the least taken in any window of `window_us` that lies within [from, to).
void WindowTotals(const std::vector<Taken>& taken, std::uint64_t from, std::uint64_t to,
                  std::uint64_t window_us, std::uint64_t& most, std::uint64_t& least) {
    most = 0;
    least = UINT64_MAX;
    std::size_t end = 0;
    std::uint64_t sum = 0;
    for (std::size_t begin = 0; begin < taken.size(); ++begin) {
        const std::uint64_t start = taken[begin].us;
        if (start < from) continue;
        if (start + window_us > to) break;
        if (end < begin) {
            end = begin;
            sum = 0;
        }
        while (end < taken.size() && taken[end].us < start + window_us) sum += taken[end++].bytes;
        most = std::max(most, sum);
        least = std::min(least, sum);
        sum -= taken[begin].bytes;
    }
}

TEST(TokenBucketTest, SixteenWorkersShareOneBudgetThatFollowsARateChange) {
    constexpr std::uint64_t kSecond = 1000000, kWindow = 3 * kSecond, kLargestChunk = 65536;
    const struct {
        std::uint64_t first, later;
    } cases[] = {{2 * 1048576, 5 * 1048576}, {10 * 1048576, 1048576}, {1048576, 20 * 1048576}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        TokenBucket bucket(c.first);
        const std::vector<Taken> taken = Simulate(bucket, 20 * kSecond, 10 * kSecond, c.later);
        for (const auto& [from, to, rate] : {std::tuple{0 * kSecond, 10 * kSecond, c.first},
                                             std::tuple{10 * kSecond, 20 * kSecond, c.later}}) {
            std::uint64_t most = 0, least = 0;
            WindowTotals(taken, from, to, kWindow, most, least);
            const std::uint64_t allowed = rate * kWindow / kSecond;
            // Never over the limit by more than what an idle budget saves and one read's overshoot,
            // and, with readers always waiting, never far under it.
            EXPECT_LE(most, allowed + rate * TokenBucket::kBurstUs / kSecond + kLargestChunk);
            EXPECT_GE(least, allowed - allowed / 20);
        }
    }
}

TEST(TokenBucketTest, UnlimitedNeverWaitsAndLiftingALimitTakesEffectAtOnce) {
    TokenBucket unlimited;
    for (std::uint64_t i = 0; i < 100; ++i) EXPECT_EQ(unlimited.Take(1 << 20, i), 0u);

    TokenBucket bucket(1048576);
    EXPECT_EQ(bucket.Take(8 << 20, 0), 0u);  // a fresh budget lets one read through...
    EXPECT_EQ(bucket.Take(1, 1), TokenBucket::kMaxWaitUs);  // ...which leaves a debt of seconds
    bucket.SetRate(0, 2);
    EXPECT_EQ(bucket.Take(1, 3), 0u);
    bucket.SetRate(1048576, 4);  // a limit again starts without the old debt or savings
    EXPECT_EQ(bucket.Take(1024, 5), 0u);
    EXPECT_EQ(bucket.Take(1, 5), 976u);  // 1023 bytes of debt at 1 MB/s, rounded up
    // Rates too high for the arithmetic count as no limit; a clock stepping back adds nothing.
    TokenBucket huge(std::uint64_t{1} << 40);
    EXPECT_EQ(huge.Rate(), 0u);
    TokenBucket stepped(1048576);
    stepped.Take(1 << 20, 1000000);
    EXPECT_GT(stepped.Take(1, 0), 0u);
}

}  // namespace
}  // namespace patcher::rules
