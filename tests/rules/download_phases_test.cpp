#include "rules/download_phases.h"

#include <gtest/gtest.h>

namespace patcher::rules {
namespace {

TEST(DownloadPhasesTest, WorkersTotalsAddUpAndUnusedPhasesAreLeftOut) {
    DownloadPhaseTotals first, second;
    first.Add(DownloadPhase::Open, 1500);
    first.Add(DownloadPhase::Commit, 2'000'000);
    second.Add(DownloadPhase::Open, 2600);
    second.Add(DownloadPhase::Progress, 999);
    first.Merge(second);
    EXPECT_EQ(DescribePhases(first), "open 4 ms (2), commit 2000 ms (1), progress 0 ms (1)");
    EXPECT_EQ(DescribePhases(DownloadPhaseTotals{}), "");
}

}  // namespace
}  // namespace patcher::rules
