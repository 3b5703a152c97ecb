// How fast a download goes and how long it still takes, as the detail line under the progress bar
// says it: "4,2 MB/s · yaklaşık 3 dk kaldı".
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>

namespace patcher::model {

// Fed the bytes fetched so far (a running total) at times in milliseconds of a steady clock; the
// speed is that of the last few seconds, so a stall shows within them and an early burst fades.
class TransferRate {
  public:
    static constexpr std::uint64_t kWindowMs = 5000;
    // Less than this much history says nothing a player could rely on.
    static constexpr std::uint64_t kWarmUpMs = 3000;

    // A total below the previous one (a new download counting from zero) starts over.
    void Add(std::uint64_t now_ms, std::uint64_t bytes_fetched);
    // Forgets every sample: after a pause the speed before it says nothing of the one after.
    void Reset() { samples_.clear(); }
    // Bytes per second over the window; nothing during the warm-up.
    std::optional<std::uint64_t> BytesPerSecond() const;

  private:
    struct Sample {
        std::uint64_t ms;
        std::uint64_t bytes;
    };
    std::deque<Sample> samples_;
};

// Below this a time left would only be noise (or days).
inline constexpr std::uint64_t kSlowestRateWithTimeLeft = 1024;

// Seconds until `bytes_to_fetch` arrive at `bytes_per_second`, rounded up; nothing when the speed
// is near zero.
std::optional<std::uint64_t> SecondsLeft(std::uint64_t bytes_to_fetch,
                                         std::uint64_t bytes_per_second);

// "yaklaşık 25 sn kaldı" (under a minute, up to a multiple of 5 s), "yaklaşık 3 dk kaldı" (under an
// hour, minutes rounded up), "yaklaşık 1 sa 20 dk kaldı" / "yaklaşık 2 sa kaldı" (under a day),
// "1 günden fazla kaldı" beyond.
std::wstring TimeLeftText(std::uint64_t seconds);

// The speed with FormatSize's units and, when there is one, the time left: "4,2 MB/s · yaklaşık 3
// dk kaldı" or "512 B/s". `bytes_to_fetch` counts only what is still to come over the network, not
// what partial files or old copies give. Empty during the warm-up.
std::wstring TransferRateLine(const TransferRate& rate, std::uint64_t bytes_to_fetch);

}  // namespace patcher::model
