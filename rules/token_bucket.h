// One budget of bytes per second shared by every download worker, so that a limit holds for the
// whole download however many files are in flight. Time is handed in (microseconds of a steady
// clock), so the budget is exercised without sleeping.
#pragma once

#include <cstdint>
#include <mutex>

namespace patcher::rules {

class TokenBucket {
  public:
    // The longest wait Take advises: a rate changed meanwhile is heeded on the next ask.
    static constexpr std::uint64_t kMaxWaitUs = 250000;
    // What an idle budget saves up, as a time at the rate.
    static constexpr std::uint64_t kBurstUs = 250000;
    // Rates above this are taken as no limit (and keep the refill arithmetic within 64 bits).
    static constexpr std::uint64_t kHighestRate = std::uint64_t{1} << 32;

    // `bytes_per_second` 0 is no limit.
    explicit TokenBucket(std::uint64_t bytes_per_second = 0);

    // Takes effect at once: a worker waiting on the old rate learns the new one on its next ask.
    void SetRate(std::uint64_t bytes_per_second, std::uint64_t now_us);
    std::uint64_t Rate() const;

    // A worker about to read up to `bytes`: 0 means go (they are taken from the budget); otherwise
    // sleep that many microseconds (at most kMaxWaitUs) and ask again. Whenever the budget is not
    // in debt one ask goes through whole, so a large read is never starved by small ones; the debt
    // it leaves holds everyone back until it is paid. There is no queue: which waiting worker goes
    // next is up to when each asks again.
    std::uint64_t Take(std::uint64_t bytes, std::uint64_t now_us);

  private:
    void Refill(std::uint64_t now_us);

    mutable std::mutex lock_;
    std::uint64_t rate_ = 0;
    std::int64_t tokens_ = 0;      // bytes; negative while in debt
    std::uint64_t remainder_ = 0;  // byte-microseconds not yet a whole byte
    std::uint64_t last_us_ = 0;
    bool started_ = false;
};

}  // namespace patcher::rules
