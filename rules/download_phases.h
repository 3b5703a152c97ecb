// Where a download's time goes, file by file: each phase's time summed over the files and the
// workers, and how often it ran. The support log gets the table once per download, so that the
// cost of each file can be measured on real trees.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace patcher::rules {

enum class DownloadPhase : std::uint8_t {
    Prepare,   // the destination's name and its checks
    Open,      // the partial file: created, or opened with the bytes an earlier run left read back
    Request,   // from asking to the first byte of the body (or to the end, when none came)
    Body,      // from the first byte to the last; Hash and Write run inside it
    Hash,      // hashing the bytes as they arrive
    Write,     // writing them to the partial file
    Verify,    // the whole file against the manifest
    Commit,    // flush, rename into place, flush
    Progress,  // the run's lock and the progress report
};
inline constexpr std::size_t kDownloadPhaseCount = 9;

struct DownloadPhaseTotals {
    std::array<std::uint64_t, kDownloadPhaseCount> microseconds{};
    std::array<std::uint64_t, kDownloadPhaseCount> runs{};

    void Add(DownloadPhase phase, std::uint64_t elapsed_us);
    void Merge(const DownloadPhaseTotals& other);
};

// "prepare 12 ms (4800), open 340 ms (4800), ..." in the order above, phases that never ran left
// out.
std::string DescribePhases(const DownloadPhaseTotals& totals);

}  // namespace patcher::rules
