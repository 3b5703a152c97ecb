#include "model/transfer_rate.h"

#include "model/format_size.h"
#include "model/window_texts.h"

namespace patcher::model {

void TransferRate::Add(std::uint64_t now_ms, std::uint64_t bytes_fetched) {
    if (!samples_.empty() &&
        (bytes_fetched < samples_.back().bytes || now_ms < samples_.back().ms)) {
        samples_.clear();
    }
    samples_.push_back({now_ms, bytes_fetched});
    // Keep one sample at or before the window's start, so the window is always fully spanned.
    while (samples_.size() > 2 && now_ms - samples_[1].ms >= kWindowMs) samples_.pop_front();
}

std::optional<std::uint64_t> TransferRate::BytesPerSecond() const {
    if (samples_.size() < 2) return std::nullopt;
    const Sample& first = samples_.front();
    const Sample& last = samples_.back();
    const std::uint64_t span_ms = last.ms - first.ms;
    if (span_ms < kWarmUpMs) return std::nullopt;
    const std::uint64_t bytes = last.bytes - first.bytes;
    // bytes * 1000 overflows only past 16 PB in one window.
    return bytes / span_ms * 1000 + bytes % span_ms * 1000 / span_ms;
}

std::optional<std::uint64_t> SecondsLeft(std::uint64_t bytes_to_fetch,
                                         std::uint64_t bytes_per_second) {
    if (bytes_per_second < kSlowestRateWithTimeLeft) return std::nullopt;
    return bytes_to_fetch / bytes_per_second + (bytes_to_fetch % bytes_per_second != 0 ? 1 : 0);
}

std::wstring TimeLeftText(std::uint64_t seconds) {
    constexpr std::uint64_t kMinute = 60, kHour = 60 * kMinute, kDay = 24 * kHour;
    // Past 55 s the next multiple of 5 would read "60 sn".
    if (seconds <= 55) {
        const std::uint64_t shown = seconds == 0 ? 5 : (seconds + 4) / 5 * 5;
        return kTextAbout + std::to_wstring(shown) + kTextSecondsLeft;
    }
    const std::uint64_t minutes = (seconds + kMinute - 1) / kMinute;
    if (minutes < 60) return kTextAbout + std::to_wstring(minutes) + kTextMinutesLeft;
    if (seconds >= kDay) return kTextOverADayLeft;
    const std::uint64_t hours = minutes / 60, rest = minutes % 60;
    if (rest == 0) return kTextAbout + std::to_wstring(hours) + kTextHoursLeft;
    return kTextAbout + std::to_wstring(hours) + kTextHours + L" " + std::to_wstring(rest) +
           kTextMinutesLeft;
}

std::wstring TransferRateLine(const TransferRate& rate, std::uint64_t bytes_to_fetch) {
    const std::optional<std::uint64_t> speed = rate.BytesPerSecond();
    if (!speed) return std::wstring();
    std::wstring line = FormatSize(*speed) + kTextPerSecond;
    const std::optional<std::uint64_t> left = SecondsLeft(bytes_to_fetch, *speed);
    if (left) line += kTextDot + TimeLeftText(*left);
    return line;
}

}  // namespace patcher::model
