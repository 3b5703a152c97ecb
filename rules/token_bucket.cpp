#include "rules/token_bucket.h"

#include <algorithm>

namespace patcher::rules {
namespace {

constexpr std::uint64_t kUsPerSecond = 1000000;
// One ask counts at most this much (1 TiB): no worker reads more at a time, and it bounds the debt.
constexpr std::uint64_t kLargestTake = std::uint64_t{1} << 40;

std::uint64_t Limited(std::uint64_t bytes_per_second) {
    return bytes_per_second > TokenBucket::kHighestRate ? 0 : bytes_per_second;
}

std::int64_t Burst(std::uint64_t rate) {
    return static_cast<std::int64_t>(rate * TokenBucket::kBurstUs / kUsPerSecond);
}

}  // namespace

TokenBucket::TokenBucket(std::uint64_t bytes_per_second) : rate_(Limited(bytes_per_second)) {}

void TokenBucket::SetRate(std::uint64_t bytes_per_second, std::uint64_t now_us) {
    std::lock_guard<std::mutex> guard(lock_);
    Refill(now_us);
    rate_ = Limited(bytes_per_second);
    // A debt run up at a higher rate is not paid at the lower one, nor savings spent at a higher.
    tokens_ = std::clamp<std::int64_t>(tokens_, 0, Burst(rate_));
    remainder_ = 0;
}

std::uint64_t TokenBucket::Rate() const {
    std::lock_guard<std::mutex> guard(lock_);
    return rate_;
}

void TokenBucket::Refill(std::uint64_t now_us) {
    if (!started_) {
        // A fresh budget starts full: the first reads need not wait for it to fill.
        started_ = true;
        last_us_ = now_us;
        tokens_ = Burst(rate_);
        return;
    }
    if (now_us <= last_us_) return;  // a clock that stands or steps back adds nothing
    const std::uint64_t elapsed = now_us - last_us_;
    last_us_ = now_us;
    if (rate_ == 0) return;
    const std::int64_t burst = Burst(rate_);
    // Past the time that pays any debt and fills the budget, more time adds nothing; this also
    // keeps elapsed * rate below 2^64.
    const std::uint64_t to_full =
        static_cast<std::uint64_t>(burst - std::min<std::int64_t>(tokens_, burst)) * kUsPerSecond /
            rate_ +
        1;
    if (elapsed >= to_full) {
        tokens_ = burst;
        remainder_ = 0;
        return;
    }
    const std::uint64_t earned = elapsed * rate_ + remainder_;
    tokens_ =
        std::min<std::int64_t>(burst, tokens_ + static_cast<std::int64_t>(earned / kUsPerSecond));
    remainder_ = earned % kUsPerSecond;
}

std::uint64_t TokenBucket::Take(std::uint64_t bytes, std::uint64_t now_us) {
    std::lock_guard<std::mutex> guard(lock_);
    Refill(now_us);
    if (rate_ == 0) return 0;
    if (tokens_ >= 0) {
        tokens_ -= static_cast<std::int64_t>(std::min(bytes, kLargestTake));
        return 0;
    }
    // The debt is at most kLargestTake, so its byte-microseconds fit in 64 bits; the remainder is
    // below one byte's worth, so it never exceeds them.
    const std::uint64_t debt = static_cast<std::uint64_t>(-tokens_);
    const std::uint64_t wait = (debt * kUsPerSecond - remainder_ + rate_ - 1) / rate_;
    return std::min(wait, kMaxWaitUs);
}

}  // namespace patcher::rules
