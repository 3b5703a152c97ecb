// At most one posted message of a kind waiting in the window's queue. Download workers report
// progress for every chunk they receive, thousands of times a second on a fast line; each report
// as its own posted message would crowd out input and painting (posted messages come first) and
// could fill the queue, whose limit makes PostMessage fail. A worker posts only when it claims the
// gate; the window releases it before reading the latest snapshot, so a report made after that
// read claims it again and nothing newer than what was shown is ever left unposted.
#pragma once

#include <atomic>

namespace patcher::model {

class PostGate {
  public:
    // True for the caller that must post; false while a message is already waiting.
    bool Claim() { return !pending_.exchange(true, std::memory_order_acq_rel); }
    // The window took the message (or the post failed): the next report posts again.
    void Release() { pending_.store(false, std::memory_order_release); }

  private:
    std::atomic<bool> pending_{false};
};

}  // namespace patcher::model
