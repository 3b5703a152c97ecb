// The download's speed limit as the workers meet it: one byte budget for every worker of a run,
// which the window may change while they run (the settings row) and which paces each body as it
// arrives, so that a worker holds back its next read until the budget has room.
#pragma once

#include <cstdint>
#include <functional>

#include "rules/token_bucket.h"

namespace patcher::win {

class DownloadPace {
  public:
    // `bytes_per_second` 0 is no limit.
    explicit DownloadPace(std::uint64_t bytes_per_second = 0);
    DownloadPace(const DownloadPace&) = delete;
    DownloadPace& operator=(const DownloadPace&) = delete;

    // Heeded by every worker within the bucket's longest wait.
    void SetRate(std::uint64_t bytes_per_second);
    std::uint64_t Rate() const { return bucket_.Rate(); }

    // Waits until `bytes` fit the budget. False as soon as `stop` says the run winds down, which
    // it is asked between waits so that a pause ends the transfer within a fraction of a second.
    bool Admit(std::uint32_t bytes, const std::function<bool()>& stop);

  private:
    rules::TokenBucket bucket_;  // holds its own lock: the workers share it as it is
};

}  // namespace patcher::win
