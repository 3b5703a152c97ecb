#include "rules/download_phases.h"

namespace patcher::rules {
namespace {

constexpr const char* kPhaseNames[kDownloadPhaseCount] = {
    "prepare", "open", "request", "body", "hash", "write", "verify", "commit", "progress"};

}  // namespace

void DownloadPhaseTotals::Add(DownloadPhase phase, std::uint64_t elapsed_us) {
    const auto i = static_cast<std::size_t>(phase);
    microseconds[i] += elapsed_us;
    ++runs[i];
}

void DownloadPhaseTotals::Merge(const DownloadPhaseTotals& other) {
    for (std::size_t i = 0; i < kDownloadPhaseCount; ++i) {
        microseconds[i] += other.microseconds[i];
        runs[i] += other.runs[i];
    }
}

std::string DescribePhases(const DownloadPhaseTotals& totals) {
    std::string text;
    for (std::size_t i = 0; i < kDownloadPhaseCount; ++i) {
        if (totals.runs[i] == 0) continue;
        if (!text.empty()) text += ", ";
        text += std::string(kPhaseNames[i]) + " " + std::to_string(totals.microseconds[i] / 1000) +
                " ms (" + std::to_string(totals.runs[i]) + ")";
    }
    return text;
}

}  // namespace patcher::rules
