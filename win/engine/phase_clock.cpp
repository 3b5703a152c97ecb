#include "win/engine/phase_clock.h"

#include <windows.h>

namespace patcher::win {

using namespace rules;

namespace {

thread_local DownloadPhaseTotals* t_totals = nullptr;

std::uint64_t Frequency() {
    LARGE_INTEGER frequency{};
    QueryPerformanceFrequency(&frequency);
    return frequency.QuadPart > 0 ? static_cast<std::uint64_t>(frequency.QuadPart) : 1;
}

}  // namespace

PhaseRecording::PhaseRecording(DownloadPhaseTotals& totals) : previous_(t_totals) {
    t_totals = &totals;
}

PhaseRecording::~PhaseRecording() {
    t_totals = previous_;
}

std::uint64_t PhaseNow() {
    static const std::uint64_t frequency = Frequency();
    LARGE_INTEGER now{};
    QueryPerformanceCounter(&now);
    const auto ticks = static_cast<std::uint64_t>(now.QuadPart);
    // Whole seconds and the rest apart, so that no product overflows.
    return ticks / frequency * 1000000 + ticks % frequency * 1000000 / frequency;
}

void AddPhase(DownloadPhase phase, std::uint64_t elapsed_us) {
    if (t_totals) t_totals->Add(phase, elapsed_us);
}

}  // namespace patcher::win
