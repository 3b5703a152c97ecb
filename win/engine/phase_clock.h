// Times the phases of the files one download worker handles, into the totals the worker names.
// The totals are the worker's own (thread-local), so timing a phase takes no lock.
#pragma once

#include <cstdint>

#include "rules/download_phases.h"

namespace patcher::win {

// While it lives, the calling thread's phases are added to `totals`.
class PhaseRecording {
  public:
    explicit PhaseRecording(rules::DownloadPhaseTotals& totals);
    ~PhaseRecording();
    PhaseRecording(const PhaseRecording&) = delete;
    PhaseRecording& operator=(const PhaseRecording&) = delete;

  private:
    rules::DownloadPhaseTotals* previous_;
};

// Microseconds on a monotonic clock.
std::uint64_t PhaseNow();
// Adds `elapsed_us` to the calling thread's totals, if it records any.
void AddPhase(rules::DownloadPhase phase, std::uint64_t elapsed_us);

// Times its own life as one run of `phase`.
class PhaseTimer {
  public:
    explicit PhaseTimer(rules::DownloadPhase phase) : phase_(phase), start_(PhaseNow()) {}
    ~PhaseTimer() { AddPhase(phase_, PhaseNow() - start_); }
    PhaseTimer(const PhaseTimer&) = delete;
    PhaseTimer& operator=(const PhaseTimer&) = delete;

  private:
    rules::DownloadPhase phase_;
    std::uint64_t start_;
};

}  // namespace patcher::win
